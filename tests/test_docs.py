"""The documentation builds without a warning, and every recipe page shows a script that
exists."""

import pathlib
import re
import subprocess
import sys

import pytest

pytestmark = pytest.mark.tooling

ROOT = pathlib.Path(__file__).resolve().parent.parent
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
    for page in ["index", "conventions", "install", "performance", "recipes/dask"]:
        assert (html / f"{page}.html").exists(), page
    function_pages = sorted(p.stem for p in (html / "functions").glob("*_magnification.html"))
    assert len(function_pages) == 8
    # The pictures are copied with the pages.
    assert (html / "_static" / "light_curves.png").exists()


def test_every_function_has_a_page():
    import obrivane

    pages = {p.stem for p in (DOCS / "functions").glob("*.rst") if not p.stem.startswith("_")}
    pages -= {"index"}
    assert pages == set(obrivane.__all__)


def test_included_examples_and_pictures_exist():
    for page in DOCS.rglob("*.rst"):
        text = page.read_text()
        for target in re.findall(r"\.\. (?:literalinclude|image|include):: (\S+)", text):
            assert (page.parent / target).resolve().is_file(), (page.name, target)
