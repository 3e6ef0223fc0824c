"""The documentation builds without a warning, documents every function of both layers, needs
no network for its mathematics, and every recipe page shows a script that exists."""

import pathlib
import re
import subprocess
import sys

import pytest

pytestmark = pytest.mark.tooling

ROOT = pathlib.Path(__file__).resolve().parents[2]
DOCS = ROOT / "docs"


def test_sphinx_builds_with_warnings_as_errors(tmp_path):
    pytest.importorskip("sphinx")
    completed = subprocess.run(
        [sys.executable, "-m", "sphinx", "-W", "--keep-going", "-q", "-b", "html"]
        + ["-d", str(tmp_path / "doctrees"), str(DOCS), str(tmp_path / "html")],
        capture_output=True,
        text=True,
        timeout=600,
    )
    assert completed.returncode == 0, completed.stdout + completed.stderr
    html = tmp_path / "html"
    pages = ["index", "conventions", "install", "performance", "recipes/dask"]
    pages += ["recipes/real_event", "references", "changelog", "citing", "fspl/index"]
    for page in pages:
        assert (html / f"{page}.html").exists(), page
    function_pages = sorted(p.stem for p in (html / "functions").glob("*_magnification.html"))
    assert len(function_pages) == 8
    # The pictures are copied with the pages.
    assert (html / "_static" / "light_curves.png").exists()
    # Every ufunc of obrivane.fspl has its entry, made from its docstring.
    import obrivane.fspl

    api = "".join(page.read_text() for page in (html / "fspl").glob("*.html"))
    for name in obrivane.fspl.__all__:
        assert f'id="obrivane.fspl.{name}"' in api, name
    assert "Parameters" in api and "ValueError" in api
    # MathJax is served from the built pages, not from a network.
    index = (html / "index.html").read_text()
    scripts = re.findall(r'<script[^>]* src="([^"]+)"', index)
    assert any(src.startswith("_static/mathjax/tex-chtml.js") for src in scripts), scripts
    assert not [src for src in scripts if "//" in src], scripts
    assert (html / "_static" / "mathjax" / "tex-chtml.js").stat().st_size > 100_000


def test_every_function_has_a_page():
    import obrivane

    pages = {p.stem for p in (DOCS / "functions").glob("*.rst") if not p.stem.startswith("_")}
    pages -= {"index"}
    assert pages == set(obrivane.__all__)


def test_every_fspl_function_is_on_an_api_page():
    import obrivane.fspl

    text = "".join(page.read_text() for page in (DOCS / "fspl").glob("*.rst"))
    documented = re.findall(r"^\.\. autofunction:: obrivane\.fspl\.(\w+)$", text, re.MULTILINE)
    assert sorted(documented) == sorted(obrivane.fspl.__all__)


def test_readme_quick_start_runs():
    readme = (ROOT / "README.md").read_text()
    snippet = re.search(r"```python\n(.*?)```", readme, re.DOTALL).group(1)
    namespace = {}
    exec(compile(snippet, "README.md", "exec"), namespace)
    np = namespace["np"]
    # The limb-darkened source is brighter in the middle than the uniform one: a higher peak.
    assert namespace["a_linear"].shape == namespace["t"].shape
    assert namespace["a_linear"].max() > namespace["a_uniform"].max() > 1
    assert np.all(np.isfinite(namespace["a_uniform"]))


def test_included_examples_and_pictures_exist():
    for page in DOCS.rglob("*.rst"):
        text = page.read_text()
        for target in re.findall(r"\.\. (?:literalinclude|image|include):: (\S+)", text):
            assert (page.parent / target).resolve().is_file(), (page.name, target)
