"""obrivane_jax: each law as a JAX function, through XLA's foreign-function interface and through
callbacks of the ufuncs. Its values are the ufuncs' to the bit, under jit and vmap; its
derivatives, by jvp and by grad, are the partial derivatives of the <law>_and_gradient ufuncs and
agree with central differences of the values; float32 inputs, a disabled float64 mode, complex
inputs and refused coefficients behave as documented; and import obrivane never imports JAX."""

import subprocess
import sys

import numpy as np
import pytest

jax = pytest.importorskip("jax")
jax.config.update("jax_enable_x64", True)

import jax.numpy as jnp  # noqa: E402
import obrivane_jax  # noqa: E402
from obrivane import fspl  # noqa: E402
from profile_reference import LIMB_DARKENED, profile_magnification  # noqa: E402

pytestmark = pytest.mark.tooling

# Each law's coefficients, inside the range where its total flux is positive.
COEFFICIENTS = {
    "point_source": (),
    "uniform": (),
    "linear": (0.6,),
    "quadratic": (0.4, 0.25),
    "square_root": (0.3, 0.4),
    "logarithmic": (0.5, 0.2),
    "power2": (0.6, 0.55),
}
LAWS = list(COEFFICIENTS)
RHO = 0.05
# Separations across the source, near both sides of its limb (not on it, where the uniform
# disk's derivatives diverge) and outside it.
SEPARATIONS = np.array([0.0, 0.013, 0.031, 0.0485, 0.0515, 0.08, 0.3, 1.7])


@pytest.fixture(params=["ffi", "callback"])
def laws(request):
    if request.param == "ffi" and obrivane_jax.backend != "ffi":
        pytest.skip("the module was built without XLA's FFI header")
    return obrivane_jax._laws(request.param)


def arguments(name, separations=SEPARATIONS):
    """Every argument of a law as an array, one element per separation: u, then rho and the
    coefficients."""
    n = len(separations)
    values = [np.asarray(separations)]
    if name != "point_source":
        values.append(np.linspace(0.8 * RHO, 1.2 * RHO, n))
    values += [np.full(n, c) for c in COEFFICIENTS[name]]
    return values


@pytest.mark.parametrize("name", LAWS)
def test_values_are_the_ufuncs_under_jit_with_broadcasting(laws, name):
    law, ufunc = laws[name], getattr(fspl, name)
    u = SEPARATIONS[:, None]
    rest = () if name == "point_source" else (np.array([0.5, 1.0, 1.5]) * RHO, *COEFFICIENTS[name])
    expected = ufunc(u, *rest)
    for function in (law, jax.jit(law)):
        got = function(u, *rest)
        assert got.dtype == jnp.float64 and got.shape == expected.shape
        np.testing.assert_array_equal(np.asarray(got), expected)


def test_a_scalar_call_gives_a_float64_scalar(laws):
    got = laws["linear"](0.02, RHO, 0.6)
    assert got.shape == () and got.dtype == jnp.float64
    assert float(got) == fspl.linear(0.02, RHO, 0.6)


@pytest.mark.parametrize("s", [0.0, 0.7, 1.3])
def test_linear_law_matches_the_direct_integral_over_the_source(laws, s):
    # Against the two-dimensional integral of the point-lens magnification over the source
    # (LIMB_DARKENED: the linear law with u1 = 0.6).
    got = float(laws["linear"](s * RHO, RHO, 0.6))
    assert got == pytest.approx(profile_magnification(s, 1 / RHO, LIMB_DARKENED), rel=1e-7)


@pytest.mark.parametrize("name", LAWS)
def test_derivatives_are_the_gradient_ufuncs_in_both_modes(laws, name):
    law = laws[name]
    values = arguments(name)
    partials = getattr(fspl, f"{name}_and_gradient")(*values)[1:]
    for k, partial in enumerate(partials):

        def along(x, k=k):
            return law(*values[:k], x, *values[k + 1 :])

        # Forward mode: the JVP along a unit vector of every element at once.
        _, tangent = jax.jvp(along, (jnp.asarray(values[k]),), (jnp.ones(len(values[k])),))
        np.testing.assert_allclose(np.asarray(tangent), partial, rtol=1e-14, atol=0)
        # Reverse mode, one element at a time through vmap.
        per_element = jax.vmap(
            jax.grad(lambda *xs: law(*xs), argnums=k), in_axes=(0,) * len(values)
        )(*map(jnp.asarray, values))
        np.testing.assert_allclose(np.asarray(per_element), partial, rtol=1e-14, atol=0)


@pytest.mark.parametrize("name", LAWS)
def test_derivatives_agree_with_central_differences_of_the_values(name):
    law = obrivane_jax._laws(obrivane_jax.backend)[name]
    ufunc = getattr(fspl, name)
    # Not at u = 0, where a central difference would step to a negative separation.
    values = arguments(name, SEPARATIONS[1:])
    for k in range(len(values)):
        gradient = jax.vmap(jax.grad(lambda *xs: law(*xs), argnums=k))(*map(jnp.asarray, values))
        # Steps relative to each argument (absolute near zero); the error of the central
        # difference is then far below the tolerance.
        h = 1e-6 * np.maximum(np.abs(values[k]), 1e-2)
        up = [v + h if i == k else v for i, v in enumerate(values)]
        down = [v - h if i == k else v for i, v in enumerate(values)]
        difference = (ufunc(*up) - ufunc(*down)) / (2 * h)
        # 1e-5 of the derivative, and the rounding of the values (1e-14 of them, 20 times
        # their last bit) divided by the step, which the difference carries.
        bound = 1e-5 * np.abs(difference) + 1e-14 * np.abs(ufunc(*values)) / h
        assert np.all(np.abs(np.asarray(gradient) - difference) <= bound), (k, gradient)


def test_grad_sums_over_a_broadcast_argument(laws):
    # rho is one number for a whole light curve: its gradient is the sum over the points.
    u = jnp.asarray(SEPARATIONS)
    got = jax.grad(lambda rho: jnp.sum(laws["quadratic"](u, rho, 0.4, 0.25)))(RHO)
    partial = fspl.quadratic_and_gradient(SEPARATIONS, RHO, 0.4, 0.25)[2]
    assert float(got) == pytest.approx(partial.sum(), rel=1e-13)


@pytest.mark.parametrize(
    ("in_axes", "shape"),
    [((None, 0, None), (3, 8)), ((0, 0, 0), (3, 8)), ((None, None, 0), (3, 8))],
)
def test_vmap_batches_any_argument(laws, in_axes, shape):
    u = SEPARATIONS
    rho = np.array([0.02, 0.05, 0.1])
    u1 = np.array([0.2, 0.5, 0.8])
    batched = {0: np.broadcast_to(u, (3, 8)), 1: rho, 2: u1}
    unbatched = {0: u, 1: RHO, 2: 0.6}
    operands = [batched[i] if axis == 0 else unbatched[i] for i, axis in enumerate(in_axes)]
    got = jax.jit(jax.vmap(laws["linear"], in_axes=in_axes))(*operands)
    assert got.shape == shape
    # The batched scalars as columns, against the rows of u.
    pairs = enumerate(zip(operands, in_axes, strict=True))
    columns = [o[:, None] if axis == 0 and i > 0 else o for i, (o, axis) in pairs]
    np.testing.assert_array_equal(np.asarray(got), fspl.linear(*columns))


def test_nested_vmap_over_a_grid_of_radii_and_coefficients(laws):
    u = SEPARATIONS
    rho = np.array([0.02, 0.05])
    u1 = np.array([0.1, 0.4, 0.7])
    grid = jax.vmap(jax.vmap(laws["linear"], (None, None, 0)), (None, 0, None))(u, rho, u1)
    assert grid.shape == (2, 3, 8)
    expected = fspl.linear(u, rho[:, None, None], u1[None, :, None])
    np.testing.assert_array_equal(np.asarray(grid), expected)


def test_evaluation_alone_never_computes_a_derivative():
    if obrivane_jax.backend != "ffi":
        pytest.skip("the module was built without XLA's FFI header")
    u = jnp.asarray(SEPARATIONS)
    values_only = jax.jit(obrivane_jax.linear).lower(u, RHO, 0.6).as_text()
    assert "@obrivane_linear(" in values_only
    assert "obrivane_linear_and_gradient" not in values_only
    # A gradient takes the value from the gradient kernel too: one call, not two.
    chi2 = jax.jit(jax.value_and_grad(lambda rho: jnp.sum(obrivane_jax.linear(u, rho, 0.6) ** 2)))
    text = chi2.lower(RHO).as_text()
    assert text.count("@obrivane_linear_and_gradient(") == 1
    assert "@obrivane_linear(" not in text


def test_float32_inputs_are_computed_in_float64(laws):
    u32 = jnp.asarray(SEPARATIONS, dtype=jnp.float32)
    got = laws["linear"](u32, jnp.float32(RHO), jnp.float32(0.6))
    assert got.dtype == jnp.float64
    # The float32 values themselves, widened exactly: not the float64 numbers they approximate.
    expected = fspl.linear(
        SEPARATIONS.astype(np.float32).astype(np.float64),
        float(np.float32(RHO)),
        float(np.float32(0.6)),
    )
    np.testing.assert_array_equal(np.asarray(got), expected)
    assert not np.array_equal(expected, fspl.linear(SEPARATIONS, RHO, 0.6))
    # The gradient with respect to a float32 input is float32, the float64 partials rounded.
    gradient = jax.grad(lambda x: jnp.sum(laws["linear"](x, RHO, 0.6)))(u32)
    assert gradient.dtype == jnp.float32
    partial = fspl.linear_and_gradient(SEPARATIONS.astype(np.float32), RHO, 0.6)[1]
    np.testing.assert_array_equal(np.asarray(gradient), partial.astype(np.float32))


def test_without_float64_every_law_refuses(laws):
    jax.config.update("jax_enable_x64", False)
    try:
        for name in LAWS:
            with pytest.raises(RuntimeError) as raised:
                laws[name](*arguments(name, SEPARATIONS[:2]))
            assert str(raised.value) == (
                "obrivane_jax computes in float64: enable it with "
                'jax.config.update("jax_enable_x64", True) before making any array'
            )
    finally:
        jax.config.update("jax_enable_x64", True)


def test_complex_inputs_are_refused(laws):
    with pytest.raises(TypeError) as raised:
        laws["linear"](0.1, RHO, 0.6 + 0.1j)
    assert str(raised.value) == "linear: u1 must be real, not complex128"


@pytest.mark.parametrize(
    ("name", "coefficients", "message"),
    [
        ("linear", (3.5,), "linear: the coefficients give a non-positive total flux (u1 = 3.5)"),
        (
            "power2",
            (0.5, -1.0),
            "power2: the exponent alpha must not be negative (c = 0.5, alpha = -1.0)",
        ),
    ],
)
def test_refused_coefficients_raise_the_ufunc_message(laws, name, coefficients, message):
    # JAX reports a failed computation as JaxRuntimeError, or as ValueError when it runs an
    # operation at once, outside jit; either carries the ufunc's message.
    refused = (jax.errors.JaxRuntimeError, ValueError)
    u = jnp.asarray(SEPARATIONS)
    for function in (laws[name], jax.jit(laws[name])):
        with pytest.raises(refused) as raised:
            function(u, RHO, *coefficients).block_until_ready()
        assert message in str(raised.value)
    # The same for a derivative, whose kernel checks the coefficients as well: the message of
    # the ufunc <law>_and_gradient.
    with pytest.raises(refused) as raised:
        jax.grad(lambda r: jnp.sum(laws[name](u, r, *coefficients)))(RHO).block_until_ready()
    assert message.replace(":", "_and_gradient:", 1) in str(raised.value)


def test_second_derivatives_are_refused(laws):
    with pytest.raises(ValueError, match="cannot be differentiated|do not support JVP"):
        jax.hessian(lambda rho: laws["uniform"](0.03, rho))(RHO)


def test_importing_obrivane_does_not_import_jax():
    code = (
        "import sys, obrivane, obrivane.fspl; obrivane.fspl.linear(0.1, 0.05, 0.6); "
        "import importlib; importlib.import_module('obrivane._xla_ffi'); "
        "print(sorted(m for m in sys.modules if m.split('.')[0] in ('jax', 'jaxlib')))"
    )
    completed = subprocess.run(
        [sys.executable, "-c", code], capture_output=True, text=True, timeout=120, check=True
    )
    assert completed.stdout.strip() == "[]"
