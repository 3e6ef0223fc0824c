"""Finite-source point-lens microlensing magnifications.

Lengths: separations ``l`` and ring radii ``r`` in source radii; ``re`` and ``rstar`` in one
common unit, so that rho = rstar / re and a separation l is u = l * rho Einstein radii.
"""

from collections.abc import Iterator
from typing import Any, Final, Protocol, SupportsFloat, SupportsIndex, TypeAlias

# What the float rule accepts: float, int, bool, and anything with __float__ or __index__.
_Real: TypeAlias = SupportsFloat | SupportsIndex

class _RealSequence(Protocol):
    """A sequence of float-like elements: list, tuple, range, array.array, a NumPy array...

    Sliceable, sized and iterable: mappings and sets, which the module refuses, do not match.
    """

    def __len__(self) -> int: ...
    def __getitem__(self, index: slice, /) -> Any: ...
    def __iter__(self) -> Iterator[_Real]: ...

from . import fspl as fspl  # noqa: E402

__version__: Final[str]
__all__: list[str]

def witt_mao_magnification(l: _RealSequence, re: _Real, rstar: _Real) -> list[float]:
    """Magnification of a uniformly bright source disk by a point lens."""

def integrated_witt_mao_magnification(l: _RealSequence, re: _Real, rstar: _Real) -> list[float]:
    """Magnification of a linearly limb-darkened source disk."""

def integrated_flux_map_witt_mao_magnification(
    l: _RealSequence, re: _Real, rstar: _Real, bl: _RealSequence, bf: _RealSequence
) -> list[float]:
    """Magnification of a source with a tabulated radial profile."""

def multi_witt_mao_magnification(
    l: _RealSequence, re: _RealSequence, rstar: _RealSequence
) -> list[list[float]]:
    """Uniform-disk magnifications for every combination of Einstein and source radius."""

def heyrovsky_magnification(l: _Real, r: _Real, re: _Real, rstar: _Real) -> float:
    """Magnification of a thin, uniformly bright ring on the source by a point lens."""

def integrated_heyrovsky_magnification(l: _RealSequence, re: _Real, rstar: _Real) -> list[float]:
    """Magnification of a linearly limb-darkened source disk."""

def integrated_flux_map_heyrovsky_magnification(
    l: _RealSequence, re: _Real, rstar: _Real, bl: _RealSequence, bf: _RealSequence
) -> list[float]:
    """Magnification of a source with a tabulated radial profile."""

def discrete_flux_map_heyrovsky_magnification(
    l: _RealSequence, re: _Real, rstar: _Real, bl: _RealSequence, bf: _RealSequence
) -> list[float]:
    """Weighted sum of thin-ring magnifications, one ring per table row."""
