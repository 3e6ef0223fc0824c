"""The brightness laws of :mod:`obrivane.fspl` as JAX functions.

Each function takes the arguments of its ufunc (separation ``u`` and source radius ``rho`` in
Einstein radii, then the law's coefficients), broadcasts them against each other and returns a
float64 :class:`jax.Array` of the magnification. The functions work under :func:`jax.jit`,
:func:`jax.vmap`, :func:`jax.grad`, :func:`jax.jvp` and their combinations:

- the values come from the same native kernels as the ufuncs, through XLA's foreign-function
  interface on the CPU (no Python runs while a compiled function evaluates them), when the
  module was built with XLA's header (``backend == "ffi"``); a module built without it calls the
  ufuncs through :func:`jax.pure_callback` instead (``backend == "callback"``), with the same
  results and a larger cost per call;
- their derivatives come from the kernels of the ``<law>_and_gradient`` ufuncs, the exact partial
  derivatives of the magnification with respect to every argument, through a custom JVP rule:
  forward and reverse mode give the same numbers, and a function that is only evaluated never
  computes a derivative;
- derivatives of first order only: differentiating a derivative again raises an error.

JAX must compute in double precision: enable it, before any array is made, with
``jax.config.update("jax_enable_x64", True)`` (or ``JAX_ENABLE_X64=1``); without it every function
raises :class:`RuntimeError`. Inputs of any real type are accepted: integers and float32 arrays are
converted to float64, so float32 inputs give float64 results computed from the float32 values, and
the gradient with respect to a float32 input is float32, as JAX gives it for any conversion.

Importing this module imports JAX and registers the kernels with XLA; ``import obrivane`` does
neither.
"""

from __future__ import annotations

import importlib
from collections.abc import Callable, Sequence

import jax
import jax.numpy as jnp
import numpy as np
from jax.custom_derivatives import SymbolicZero
from jax.typing import ArrayLike

__all__ = [
    "backend",
    "point_source",
    "uniform",
    "linear",
    "quadratic",
    "square_root",
    "logarithmic",
    "power2",
]

# The handlers live in the compiled module, in obrivane._xla_ffi (registered when obrivane is
# imported); each target is "obrivane_" and its ufunc's name. A module built without XLA's
# header has none.
_TARGETS: dict[str, object] = importlib.import_module("obrivane._xla_ffi").targets
for _name, _capsule in _TARGETS.items():
    jax.ffi.register_ffi_target(_name, _capsule, platform="cpu")

#: How the kernels are called: ``"ffi"`` (XLA's foreign-function interface) or ``"callback"``
#: (:func:`jax.pure_callback` of the ufuncs, for a module built without XLA's header).
backend: str = "ffi" if _TARGETS else "callback"

# The parameters of each law, in the order of its ufunc.
_PARAMETERS: dict[str, tuple[str, ...]] = {
    "point_source": ("u",),
    "uniform": ("u", "rho"),
    "linear": ("u", "rho", "u1"),
    "quadratic": ("u", "rho", "a", "b"),
    "square_root": ("u", "rho", "c", "d"),
    "logarithmic": ("u", "rho", "e", "f"),
    "power2": ("u", "rho", "c", "alpha"),
}

_X64_MESSAGE = (
    "obrivane_jax computes in float64: enable it with "
    'jax.config.update("jax_enable_x64", True) before making any array'
)


def _as_float64(name: str, parameter: str, value: ArrayLike) -> jax.Array:
    array = jnp.asarray(value)
    if not (
        jnp.issubdtype(array.dtype, jnp.floating)
        or jnp.issubdtype(array.dtype, jnp.integer)
        or array.dtype == jnp.bool_
    ):
        raise TypeError(f"{name}: {parameter} must be real, not {array.dtype}")
    return array.astype(jnp.float64)


_Call = Callable[[str, int, Sequence[jax.Array]], tuple[jax.Array, ...]]


def _ffi_call(ufunc: str, results: int, operands: Sequence[jax.Array]) -> tuple[jax.Array, ...]:
    """The FFI target of a ufunc on operands of one shape: float64 arrays of that shape."""
    shape = jax.ShapeDtypeStruct(operands[0].shape, jnp.float64)  # type: ignore[no-untyped-call]
    # "broadcast_all": under vmap every operand gets the batch axis, so the handler always sees
    # operands of one size, whichever of them are batched.
    call = jax.ffi.ffi_call(f"obrivane_{ufunc}", (shape,) * results, vmap_method="broadcast_all")
    return tuple(call(*operands))


def _callback_call(
    ufunc: str, results: int, operands: Sequence[jax.Array]
) -> tuple[jax.Array, ...]:
    """The ufunc itself, called back from the computation: float64 arrays of the operands'
    shape."""
    from obrivane import fspl

    function = getattr(fspl, ufunc)

    def host(*arrays: np.ndarray) -> tuple[np.ndarray, ...]:
        out = function(*arrays)
        return tuple(np.asarray(o, dtype=np.float64) for o in (out if results > 1 else (out,)))

    shape = jax.ShapeDtypeStruct(operands[0].shape, jnp.float64)  # type: ignore[no-untyped-call]
    return tuple(
        jax.pure_callback(host, (shape,) * results, *operands, vmap_method="broadcast_all")
    )


def _law(name: str, parameters: tuple[str, ...], call: _Call) -> Callable[..., jax.Array]:
    """The function of one law: its values from the ufunc's kernel, its JVP from the kernel of
    <name>_and_gradient."""
    arity = len(parameters)

    @jax.custom_jvp
    def core(*operands: jax.Array) -> jax.Array:
        return call(name, 1, operands)[0]

    def core_jvp(
        primals: tuple[jax.Array, ...], tangents: tuple[jax.Array | SymbolicZero, ...]
    ) -> tuple[jax.Array, jax.Array]:
        value, *partials = call(f"{name}_and_gradient", 1 + arity, primals)
        tangent = jnp.zeros_like(value)
        for partial, direction in zip(partials, tangents, strict=True):
            if not isinstance(direction, SymbolicZero):
                tangent = tangent + partial * direction
        return value, tangent

    core.defjvp(core_jvp, symbolic_zeros=True)

    def law(*arguments: ArrayLike) -> jax.Array:
        if len(arguments) != arity:
            raise TypeError(f"{name}() takes {arity} arguments ({', '.join(parameters)})")
        if not jax.config.read("jax_enable_x64"):  # type: ignore[no-untyped-call]
            raise RuntimeError(_X64_MESSAGE)
        operands = [
            _as_float64(name, parameter, argument)
            for parameter, argument in zip(parameters, arguments, strict=True)
        ]
        shape = jnp.broadcast_shapes(*(operand.shape for operand in operands))
        return core(*(jnp.broadcast_to(operand, shape) for operand in operands))

    return law


def _laws(through: str) -> dict[str, Callable[..., jax.Array]]:
    """Every law, calling its kernels through "ffi" or "callback"."""
    call = {"ffi": _ffi_call, "callback": _callback_call}[through]
    return {name: _law(name, parameters, call) for name, parameters in _PARAMETERS.items()}


_LAWS = _laws(backend)
_point_source = _LAWS["point_source"]
_uniform = _LAWS["uniform"]
_linear = _LAWS["linear"]
_quadratic = _LAWS["quadratic"]
_square_root = _LAWS["square_root"]
_logarithmic = _LAWS["logarithmic"]
_power2 = _LAWS["power2"]


def point_source(u: ArrayLike) -> jax.Array:
    """Magnification of a point source, as :func:`obrivane.fspl.point_source`.

    Parameters
    ----------
    u : array_like
        Lens-source separation in Einstein radii.

    Returns
    -------
    jax.Array
        The magnification, float64, of the shape of ``u``.
    """
    return _point_source(u)


def uniform(u: ArrayLike, rho: ArrayLike) -> jax.Array:
    """Magnification of a uniform source, as :func:`obrivane.fspl.uniform`.

    Parameters
    ----------
    u : array_like
        Lens-source separation in Einstein radii.
    rho : array_like
        Source radius in Einstein radii.

    Returns
    -------
    jax.Array
        The magnification, float64, of the broadcast shape of the arguments.
    """
    return _uniform(u, rho)


def linear(u: ArrayLike, rho: ArrayLike, u1: ArrayLike) -> jax.Array:
    """Magnification of a source with linear limb darkening, as :func:`obrivane.fspl.linear`.

    The brightness is ``1 - u1 (1 - mu)``.

    Parameters
    ----------
    u : array_like
        Lens-source separation in Einstein radii.
    rho : array_like
        Source radius in Einstein radii.
    u1 : array_like
        Limb-darkening coefficient.

    Returns
    -------
    jax.Array
        The magnification, float64, of the broadcast shape of the arguments.

    Raises
    ------
    jax.errors.JaxRuntimeError
        When the result is computed (under :func:`jax.jit`, when the compiled function runs), if
        the coefficient gives a non-positive total flux; the message holds the ufunc's. Outside
        jit, JAX may run the computation at once and raise :class:`ValueError` instead.
    """
    return _linear(u, rho, u1)


def quadratic(u: ArrayLike, rho: ArrayLike, a: ArrayLike, b: ArrayLike) -> jax.Array:
    """Magnification under the quadratic law, as :func:`obrivane.fspl.quadratic`.

    The brightness is ``1 - a (1 - mu) - b (1 - mu)**2``.

    Parameters
    ----------
    u : array_like
        Lens-source separation in Einstein radii.
    rho : array_like
        Source radius in Einstein radii.
    a, b : array_like
        Limb-darkening coefficients.

    Returns
    -------
    jax.Array
        The magnification, float64, of the broadcast shape of the arguments.

    Raises
    ------
    jax.errors.JaxRuntimeError
        When the result is computed, if the coefficients give a non-positive total flux.
    """
    return _quadratic(u, rho, a, b)


def square_root(u: ArrayLike, rho: ArrayLike, c: ArrayLike, d: ArrayLike) -> jax.Array:
    """Magnification under the square-root law, as :func:`obrivane.fspl.square_root`.

    The brightness is ``1 - c (1 - mu) - d (1 - sqrt(mu))``.

    Parameters
    ----------
    u : array_like
        Lens-source separation in Einstein radii.
    rho : array_like
        Source radius in Einstein radii.
    c, d : array_like
        Limb-darkening coefficients.

    Returns
    -------
    jax.Array
        The magnification, float64, of the broadcast shape of the arguments.

    Raises
    ------
    jax.errors.JaxRuntimeError
        When the result is computed, if the coefficients give a non-positive total flux.
    """
    return _square_root(u, rho, c, d)


def logarithmic(u: ArrayLike, rho: ArrayLike, e: ArrayLike, f: ArrayLike) -> jax.Array:
    """Magnification under the logarithmic law, as :func:`obrivane.fspl.logarithmic`.

    The brightness is ``1 - e (1 - mu) - f mu ln(mu)``.

    Parameters
    ----------
    u : array_like
        Lens-source separation in Einstein radii.
    rho : array_like
        Source radius in Einstein radii.
    e, f : array_like
        Limb-darkening coefficients.

    Returns
    -------
    jax.Array
        The magnification, float64, of the broadcast shape of the arguments.

    Raises
    ------
    jax.errors.JaxRuntimeError
        When the result is computed, if the coefficients give a non-positive total flux.
    """
    return _logarithmic(u, rho, e, f)


def power2(u: ArrayLike, rho: ArrayLike, c: ArrayLike, alpha: ArrayLike) -> jax.Array:
    """Magnification under the power-2 law, as :func:`obrivane.fspl.power2`.

    The brightness is ``1 - c (1 - mu**alpha)``.

    Parameters
    ----------
    u : array_like
        Lens-source separation in Einstein radii.
    rho : array_like
        Source radius in Einstein radii.
    c, alpha : array_like
        Limb-darkening coefficient and exponent (``alpha >= 0``).

    Returns
    -------
    jax.Array
        The magnification, float64, of the broadcast shape of the arguments.

    Raises
    ------
    jax.errors.JaxRuntimeError
        When the result is computed, if ``alpha`` is negative or the coefficients give a
        non-positive total flux.
    """
    return _power2(u, rho, c, alpha)
