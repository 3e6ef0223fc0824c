"""Sphinx configuration of the obrivane documentation (build: sphinx-build -W docs out)."""

import pathlib
import re

_pyproject = (pathlib.Path(__file__).resolve().parent.parent / "pyproject.toml").read_text()

project = "obrivane"
author = "obrivane developers"
copyright = "2026, obrivane developers"
release = re.search(r'^version = "([^"]+)"$', _pyproject, re.MULTILINE).group(1)
version = release

# The obrivane.fspl pages come from the ufuncs' own docstrings (autodoc, NumPy-style sections
# read by napoleon; each docstring starts with its signature, which autodoc takes), so the build
# imports the compiled module; the low-level layer's pages are written out. MathJax is copied
# into the built pages (sphinx-mathjax-offline), so the mathematics renders without a network.
extensions = [
    "sphinx.ext.mathjax",
    "sphinx-mathjax-offline",
    "sphinx.ext.autodoc",
    "sphinx.ext.napoleon",
]
exclude_patterns = ["_build", "functions/_integrated_method.rst"]
html_theme = "furo"
html_title = f"obrivane {release}"
html_static_path = ["_static"]
html_css_files = ["wide_code.css"]
napoleon_google_docstring = False
napoleon_numpy_docstring = True
# "optional" and "default" are shown as words, the rest of a type line as references.
napoleon_preprocess_types = True
default_role = "math"
primary_domain = "py"
nitpicky = True
nitpick_ignore = [
    # NumPy's words for the types of ufunc arguments and results ("array_like, last axis of
    # length n" for a generalised ufunc's core dimension).
    ("py:class", "array_like"),
    ("py:class", "last axis"),
    ("py:class", "length n"),
    ("py:class", "ndarray"),
    ("py:class", "scalar"),
    ("py:class", "tuple"),
    ("py:obj", "None"),
    ("py:class", "float"),
    ("py:class", "list"),
    ("py:class", "sequence"),
    ("py:exc", "TypeError"),
    ("py:exc", "RuntimeError"),
    ("py:exc", "MemoryError"),
    ("py:exc", "KeyboardInterrupt"),
    ("py:exc", "pyo3_runtime.PanicException"),
]
