"""Sphinx configuration of the obrivane documentation (build: sphinx-build -W docs out)."""

import pathlib
import re

_pyproject = (pathlib.Path(__file__).resolve().parent.parent / "pyproject.toml").read_text()

project = "obrivane"
author = "obrivane developers"
copyright = "2026, obrivane developers"
release = re.search(r'^version = "([^"]+)"$', _pyproject, re.MULTILINE).group(1)
version = release

extensions = ["sphinx.ext.mathjax"]
exclude_patterns = ["_build", "functions/_integrated_method.rst"]
html_theme = "alabaster"
html_static_path = ["_static"]
html_theme_options = {
    "description": "Finite-source point-lens microlensing magnifications",
    "fixed_sidebar": True,
}
# Python signatures in the function pages are written out, not imported: the documentation
# builds without the compiled module.
default_role = "math"
primary_domain = "py"
nitpicky = True
nitpick_ignore = [
    ("py:class", "float"),
    ("py:class", "list"),
    ("py:class", "sequence"),
    ("py:exc", "TypeError"),
    ("py:exc", "RuntimeError"),
    ("py:exc", "MemoryError"),
    ("py:exc", "KeyboardInterrupt"),
    ("py:exc", "pyo3_runtime.PanicException"),
]
