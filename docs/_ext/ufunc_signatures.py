"""Signatures of NumPy ufuncs in the API pages, with the parameters' own names.

A ufunc's ``__doc__`` starts with a signature NumPy writes from the number of operands, with
positional names ``x``, ``x1``, ``x2``, ...; autodoc takes that line as the signature. This
extension puts in their place the names that the docstring's Parameters section gives, in
order, and keeps NumPy's keyword arguments (``out``, ``where``, ``casting``, ...) as they are.
"""

import re

import numpy as np

_SECTION = re.compile(r"^Parameters\n-+\n(?P<body>.*?)(?:\n\n[A-Z]\w*\n-+\n|\Z)", re.S | re.M)
_ENTRY = re.compile(r"^(?P<names>\w+(?:, \w+)*) :", re.M)


def parameter_names(doc: str) -> list[str]:
    """Names of the Parameters section, in order ("a, b : float" gives two)."""
    section = _SECTION.search(doc)
    if section is None:
        return []
    names = []
    for entry in _ENTRY.finditer(section.group("body")):
        names.extend(entry.group("names").split(", "))
    return names


def rename(app, what, name, obj, options, signature, return_annotation):
    if not isinstance(obj, np.ufunc) or obj.__doc__ is None:
        return None
    names = parameter_names(obj.__doc__)[: obj.nin]
    positional, slash, keywords = (signature or "").partition(", /")
    if len(names) != obj.nin or not slash or len(positional.split(",")) != obj.nin:
        return None
    return f"({', '.join(names)}, /{keywords}", return_annotation


def setup(app):
    app.setup_extension("sphinx.ext.autodoc")
    app.connect("autodoc-process-signature", rename)
    return {"parallel_read_safe": True, "parallel_write_safe": True}
