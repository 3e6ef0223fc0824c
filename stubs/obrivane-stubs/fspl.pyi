"""Finite-source point-lens magnifications as NumPy ufuncs, in Einstein units.

Separations ``u`` and source radii ``rho`` are in Einstein radii. Scalars give a float, arrays a
float64 array of the broadcast shape.
"""

from typing import Any, Final, Literal, Protocol, TypeAlias, overload

import numpy as np
from numpy.typing import ArrayLike, DTypeLike, NDArray

# A scalar input: a Python or NumPy real number. (Not SupportsFloat: a NumPy array has __float__
# too, and would then be taken for a scalar.)
_Scalar: TypeAlias = float | np.floating[Any] | np.integer[Any] | np.bool_
_Out: TypeAlias = NDArray[Any] | tuple[NDArray[Any] | None] | None
_Casting: TypeAlias = Literal["no", "equiv", "safe", "same_kind", "unsafe"]
_Order: TypeAlias = Literal["K", "A", "C", "F"]
# One array (or None) per output of a ufunc with several.
_Outs: TypeAlias = tuple[NDArray[Any] | None, ...]
_F64: TypeAlias = NDArray[np.float64]

class _Ufunc1(Protocol):
    @property
    def __name__(self) -> str: ...
    @property
    def nin(self) -> Literal[1]: ...
    @property
    def nout(self) -> Literal[1]: ...
    @overload
    def __call__(
        self,
        x1: _Scalar,
        /,
        out: None = None,
        *,
        where: ArrayLike = True,
        casting: _Casting = "same_kind",
        order: _Order = "K",
        dtype: DTypeLike | None = None,
        subok: bool = True,
    ) -> float: ...
    @overload
    def __call__(
        self,
        x1: ArrayLike,
        /,
        out: _Out = None,
        *,
        where: ArrayLike = True,
        casting: _Casting = "same_kind",
        order: _Order = "K",
        dtype: DTypeLike | None = None,
        subok: bool = True,
    ) -> NDArray[np.float64]: ...

class _Ufunc2(Protocol):
    @property
    def __name__(self) -> str: ...
    @property
    def nin(self) -> Literal[2]: ...
    @property
    def nout(self) -> Literal[1]: ...
    @overload
    def __call__(
        self,
        x1: _Scalar,
        x2: _Scalar,
        /,
        out: None = None,
        *,
        where: ArrayLike = True,
        casting: _Casting = "same_kind",
        order: _Order = "K",
        dtype: DTypeLike | None = None,
        subok: bool = True,
    ) -> float: ...
    @overload
    def __call__(
        self,
        x1: ArrayLike,
        x2: ArrayLike,
        /,
        out: _Out = None,
        *,
        where: ArrayLike = True,
        casting: _Casting = "same_kind",
        order: _Order = "K",
        dtype: DTypeLike | None = None,
        subok: bool = True,
    ) -> NDArray[np.float64]: ...

class _Ufunc3(Protocol):
    @property
    def __name__(self) -> str: ...
    @property
    def nin(self) -> Literal[3]: ...
    @property
    def nout(self) -> Literal[1]: ...
    @overload
    def __call__(
        self,
        x1: _Scalar,
        x2: _Scalar,
        x3: _Scalar,
        /,
        out: None = None,
        *,
        where: ArrayLike = True,
        casting: _Casting = "same_kind",
        order: _Order = "K",
        dtype: DTypeLike | None = None,
        subok: bool = True,
    ) -> float: ...
    @overload
    def __call__(
        self,
        x1: ArrayLike,
        x2: ArrayLike,
        x3: ArrayLike,
        /,
        out: _Out = None,
        *,
        where: ArrayLike = True,
        casting: _Casting = "same_kind",
        order: _Order = "K",
        dtype: DTypeLike | None = None,
        subok: bool = True,
    ) -> NDArray[np.float64]: ...

class _Ufunc4(Protocol):
    @property
    def __name__(self) -> str: ...
    @property
    def nin(self) -> Literal[4]: ...
    @property
    def nout(self) -> Literal[1]: ...
    @overload
    def __call__(
        self,
        x1: _Scalar,
        x2: _Scalar,
        x3: _Scalar,
        x4: _Scalar,
        /,
        out: None = None,
        *,
        where: ArrayLike = True,
        casting: _Casting = "same_kind",
        order: _Order = "K",
        dtype: DTypeLike | None = None,
        subok: bool = True,
    ) -> float: ...
    @overload
    def __call__(
        self,
        x1: ArrayLike,
        x2: ArrayLike,
        x3: ArrayLike,
        x4: ArrayLike,
        /,
        out: _Out = None,
        *,
        where: ArrayLike = True,
        casting: _Casting = "same_kind",
        order: _Order = "K",
        dtype: DTypeLike | None = None,
        subok: bool = True,
    ) -> NDArray[np.float64]: ...

class _TableUfunc(Protocol):
    """(u, rho, radius, brightness): signature (),(),(n),(n)->()."""

    @property
    def __name__(self) -> str: ...
    @property
    def signature(self) -> str: ...
    @overload
    def __call__(
        self,
        u: _Scalar,
        rho: _Scalar,
        radius: ArrayLike,
        brightness: ArrayLike,
        /,
        out: None = None,
        *,
        casting: _Casting = "same_kind",
        order: _Order = "K",
        dtype: DTypeLike | None = None,
        subok: bool = True,
    ) -> float: ...
    @overload
    def __call__(
        self,
        u: ArrayLike,
        rho: ArrayLike,
        radius: ArrayLike,
        brightness: ArrayLike,
        /,
        out: _Out = None,
        *,
        casting: _Casting = "same_kind",
        order: _Order = "K",
        dtype: DTypeLike | None = None,
        subok: bool = True,
    ) -> NDArray[np.float64] | float: ...

class _GradientUfunc1(Protocol):
    """1 inputs; the magnification and its 1 partial derivatives."""

    @property
    def __name__(self) -> str: ...
    @property
    def nin(self) -> Literal[1]: ...
    @property
    def nout(self) -> Literal[2]: ...
    @overload
    def __call__(
        self,
        x1: _Scalar,
        /,
        out: None = None,
        *,
        where: ArrayLike = True,
        casting: _Casting = "same_kind",
        order: _Order = "K",
        dtype: DTypeLike | None = None,
        subok: bool = True,
    ) -> tuple[float, float]: ...
    @overload
    def __call__(
        self,
        x1: ArrayLike,
        /,
        out: _Outs | None = None,
        *,
        where: ArrayLike = True,
        casting: _Casting = "same_kind",
        order: _Order = "K",
        dtype: DTypeLike | None = None,
        subok: bool = True,
    ) -> tuple[_F64, _F64]: ...

class _GradientUfunc2(Protocol):
    """2 inputs; the magnification and its 2 partial derivatives."""

    @property
    def __name__(self) -> str: ...
    @property
    def nin(self) -> Literal[2]: ...
    @property
    def nout(self) -> Literal[3]: ...
    @overload
    def __call__(
        self,
        x1: _Scalar,
        x2: _Scalar,
        /,
        out: None = None,
        *,
        where: ArrayLike = True,
        casting: _Casting = "same_kind",
        order: _Order = "K",
        dtype: DTypeLike | None = None,
        subok: bool = True,
    ) -> tuple[float, float, float]: ...
    @overload
    def __call__(
        self,
        x1: ArrayLike,
        x2: ArrayLike,
        /,
        out: _Outs | None = None,
        *,
        where: ArrayLike = True,
        casting: _Casting = "same_kind",
        order: _Order = "K",
        dtype: DTypeLike | None = None,
        subok: bool = True,
    ) -> tuple[_F64, _F64, _F64]: ...

class _GradientUfunc3(Protocol):
    """3 inputs; the magnification and its 3 partial derivatives."""

    @property
    def __name__(self) -> str: ...
    @property
    def nin(self) -> Literal[3]: ...
    @property
    def nout(self) -> Literal[4]: ...
    @overload
    def __call__(
        self,
        x1: _Scalar,
        x2: _Scalar,
        x3: _Scalar,
        /,
        out: None = None,
        *,
        where: ArrayLike = True,
        casting: _Casting = "same_kind",
        order: _Order = "K",
        dtype: DTypeLike | None = None,
        subok: bool = True,
    ) -> tuple[float, float, float, float]: ...
    @overload
    def __call__(
        self,
        x1: ArrayLike,
        x2: ArrayLike,
        x3: ArrayLike,
        /,
        out: _Outs | None = None,
        *,
        where: ArrayLike = True,
        casting: _Casting = "same_kind",
        order: _Order = "K",
        dtype: DTypeLike | None = None,
        subok: bool = True,
    ) -> tuple[_F64, _F64, _F64, _F64]: ...

class _GradientUfunc4(Protocol):
    """4 inputs; the magnification and its 4 partial derivatives."""

    @property
    def __name__(self) -> str: ...
    @property
    def nin(self) -> Literal[4]: ...
    @property
    def nout(self) -> Literal[5]: ...
    @overload
    def __call__(
        self,
        x1: _Scalar,
        x2: _Scalar,
        x3: _Scalar,
        x4: _Scalar,
        /,
        out: None = None,
        *,
        where: ArrayLike = True,
        casting: _Casting = "same_kind",
        order: _Order = "K",
        dtype: DTypeLike | None = None,
        subok: bool = True,
    ) -> tuple[float, float, float, float, float]: ...
    @overload
    def __call__(
        self,
        x1: ArrayLike,
        x2: ArrayLike,
        x3: ArrayLike,
        x4: ArrayLike,
        /,
        out: _Outs | None = None,
        *,
        where: ArrayLike = True,
        casting: _Casting = "same_kind",
        order: _Order = "K",
        dtype: DTypeLike | None = None,
        subok: bool = True,
    ) -> tuple[_F64, _F64, _F64, _F64, _F64]: ...

__all__: list[str]

point_source: Final[_Ufunc1]
"""point_source(u): the point-source magnification."""
uniform: Final[_Ufunc2]
"""uniform(u, rho): a uniformly bright source."""
linear: Final[_Ufunc3]
"""linear(u, rho, u1): I = 1 - u1 (1 - mu)."""
quadratic: Final[_Ufunc4]
"""quadratic(u, rho, a, b): I = 1 - a (1 - mu) - b (1 - mu)^2."""
square_root: Final[_Ufunc4]
"""square_root(u, rho, c, d): I = 1 - c (1 - mu) - d (1 - sqrt(mu))."""
logarithmic: Final[_Ufunc4]
"""logarithmic(u, rho, e, f): I = 1 - e (1 - mu) - f mu ln(mu)."""
power2: Final[_Ufunc4]
"""power2(u, rho, c, alpha): I = 1 - c (1 - mu^alpha)."""
tabulated: Final[_TableUfunc]
"""tabulated(u, rho, radius, brightness): the linear interpolation of a table."""
u1_from_gamma: Final[_Ufunc1]
"""u1_from_gamma(gamma): u1 = 3 Gamma / (2 + Gamma)."""
gamma_from_u1: Final[_Ufunc1]
"""gamma_from_u1(u1): Gamma = 2 u1 / (3 - u1)."""
point_source_and_gradient: Final[_GradientUfunc1]
"""point_source_and_gradient(u): A and dA/du."""
uniform_and_gradient: Final[_GradientUfunc2]
"""uniform_and_gradient(u, rho): A, dA/du and dA/drho."""
linear_and_gradient: Final[_GradientUfunc3]
"""linear_and_gradient(u, rho, u1): A, dA/du, dA/drho and dA/du1."""
quadratic_and_gradient: Final[_GradientUfunc4]
"""quadratic_and_gradient(u, rho, a, b): A, dA/du, dA/drho, dA/da and dA/db."""
square_root_and_gradient: Final[_GradientUfunc4]
"""square_root_and_gradient(u, rho, c, d): A, dA/du, dA/drho, dA/dc and dA/dd."""
logarithmic_and_gradient: Final[_GradientUfunc4]
"""logarithmic_and_gradient(u, rho, e, f): A, dA/du, dA/drho, dA/de and dA/df."""
power2_and_gradient: Final[_GradientUfunc4]
"""power2_and_gradient(u, rho, c, alpha): A, dA/du, dA/drho, dA/dc and dA/dalpha."""
