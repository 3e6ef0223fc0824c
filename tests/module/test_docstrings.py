"""What help() shows: the module's and every function's description, the text signatures
unchanged in front of it, and __version__."""

import importlib.metadata
import inspect
import pathlib
import re

import obrivane
import pytest

SIGNATURES = {
    "witt_mao_magnification": "(l, re, rstar)",
    "integrated_witt_mao_magnification": "(l, re, rstar)",
    "integrated_flux_map_witt_mao_magnification": "(l, re, rstar, bl, bf)",
    "multi_witt_mao_magnification": "(l, re, rstar)",
    "heyrovsky_magnification": "(l, r, re, rstar)",
    "integrated_heyrovsky_magnification": "(l, re, rstar)",
    "integrated_flux_map_heyrovsky_magnification": "(l, re, rstar, bl, bf)",
    "discrete_flux_map_heyrovsky_magnification": "(l, re, rstar, bl, bf)",
}

# What each description must say beyond its parameters: the method and the errors a user meets.
MENTIONS = {
    "witt_mao_magnification": ["Witt & Mao (1994)", "uniformly bright", "NaN"],
    "integrated_witt_mao_magnification": ["1 - 0.6 (1 - mu)", "Gamma = 0.5"],
    "integrated_flux_map_witt_mao_magnification": ["linear interpolation", "PanicException"],
    "multi_witt_mao_magnification": ["i * len(rstar) + j", "list of list of float"],
    "heyrovsky_magnification": ["Heyrovsky's (2003)", "RuntimeError", "1e-5"],
    "integrated_heyrovsky_magnification": ["1 - 0.6 (1 - mu)", "thin-ring"],
    "integrated_flux_map_heyrovsky_magnification": ["linear interpolation", "PanicException"],
    "discrete_flux_map_heyrovsky_magnification": ["not normalised", "RuntimeError"],
}

SEQUENCE = "sequence of float"


def parameter_entries(doc: str) -> dict[str, str]:
    """The "name : type" lines of the Parameters section."""
    section = doc.split("Parameters\n----------\n", 1)[1].split("\n\nReturns", 1)[0]
    return dict(re.findall(r"^(\w+) : (.+)$", section, flags=re.MULTILINE))


@pytest.mark.parametrize("name", SIGNATURES)
def test_signature_is_unchanged_by_the_description(name):
    function = getattr(obrivane, name)
    assert function.__text_signature__ == SIGNATURES[name]
    assert str(inspect.signature(function)) == SIGNATURES[name]


@pytest.mark.parametrize("name", SIGNATURES)
def test_description_documents_every_parameter_with_its_unit(name):
    doc = getattr(obrivane, name).__doc__
    assert doc is not None and not doc.startswith(name + "(")
    parameters = list(inspect.signature(getattr(obrivane, name)).parameters)
    entries = parameter_entries(doc)
    assert list(entries) == parameters
    sequences = {"l", "bl", "bf"} | ({"re", "rstar"} if name.startswith("multi_") else set())
    for parameter, kind in entries.items():
        is_sequence = parameter in sequences and name != "heyrovsky_magnification"
        assert kind == (SEQUENCE if is_sequence else "float"), parameter
    for needle in ["source radii", "Returns\n-------", "Raises\n------", "TypeError"]:
        assert needle in doc
    words = " ".join(doc.split())
    for needle in MENTIONS[name]:
        assert needle in words


def test_help_shows_signature_and_description(capsys):
    help(obrivane.witt_mao_magnification)
    shown = capsys.readouterr().out
    assert "witt_mao_magnification(l, re, rstar)" in shown
    assert "Magnification of a uniformly bright source disk" in shown


def test_module_docstring_states_the_units_and_lists_every_function():
    doc = obrivane.__doc__
    assert doc.startswith("Finite-source point-lens microlensing magnifications")
    assert "rho = rstar / re" in doc and "u = l * rho" in doc
    for name in SIGNATURES:
        assert name in doc


def test_version_matches_the_project():
    pyproject = pathlib.Path(__file__).resolve().parents[2] / "pyproject.toml"
    declared = re.search(r'^version = "([^"]+)"$', pyproject.read_text(), re.MULTILINE)
    assert declared is not None
    assert obrivane.__version__ == declared.group(1)


def test_version_matches_the_installed_distribution():
    try:
        installed = importlib.metadata.distribution("obrivane")
    except importlib.metadata.PackageNotFoundError:
        pytest.skip("obrivane is not installed as a distribution (run from a build directory)")
    module_path = pathlib.Path(obrivane.__file__).resolve()
    installed_files = {
        pathlib.Path(installed.locate_file(f)).resolve() for f in installed.files or []
    }
    if module_path not in installed_files:
        pytest.skip("the obrivane imported here is not the installed distribution's")
    assert obrivane.__version__ == installed.version
