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

from . import fspl as fspl

__version__: Final[str]
__all__: list[str]

def witt_mao_magnification(l: _RealSequence, re: _Real, rstar: _Real) -> list[float]:
    """Uniform source disk (Witt & Mao 1994), one magnification per separation."""

def integrated_witt_mao_magnification(l: _RealSequence, re: _Real, rstar: _Real) -> list[float]:
    """Linearly limb-darkened source, I(mu) = 1 - 0.6 (1 - mu)."""

def integrated_flux_map_witt_mao_magnification(
    l: _RealSequence, re: _Real, rstar: _Real, bl: _RealSequence, bf: _RealSequence
) -> list[float]:
    """Tabulated radial profile: the linear interpolation of (bl, bf)."""

def multi_witt_mao_magnification(
    l: _RealSequence, re: _RealSequence, rstar: _RealSequence
) -> list[list[float]]:
    """Uniform source disk for every (re[i], rstar[j]); list i * len(rstar) + j."""

def heyrovsky_magnification(l: _Real, r: _Real, re: _Real, rstar: _Real) -> float:
    """Thin ring of radius r on the source (Heyrovsky 2003)."""

def integrated_heyrovsky_magnification(l: _RealSequence, re: _Real, rstar: _Real) -> list[float]:
    """Linearly limb-darkened source; the same quantity as integrated_witt_mao_magnification."""

def integrated_flux_map_heyrovsky_magnification(
    l: _RealSequence, re: _Real, rstar: _Real, bl: _RealSequence, bf: _RealSequence
) -> list[float]:
    """Tabulated radial profile; the same quantity as the Witt-Mao flux-map function."""

def discrete_flux_map_heyrovsky_magnification(
    l: _RealSequence, re: _Real, rstar: _Real, bl: _RealSequence, bf: _RealSequence
) -> list[float]:
    """Unnormalised sum of bf[j] times the thin-ring magnification at radius bl[j]."""
