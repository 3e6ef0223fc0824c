"""The ufuncs <law>_and_gradient as NumPy users meet them: their outputs and signatures,
broadcasting, out=, bad input, and agreement with the laws' own ufuncs. Their accuracy against
independent references is tested with the models (tests/models/test_law_gradients.py)."""

import numpy as np
import pytest
from obrivane import fspl
from pool_runs import outputs_with_pool_sizes

# law, valid coefficients, coefficients without a positive flux and the message's tail
LAWS = [
    ("uniform", (), None),
    ("linear", (0.6,), ((3.0,), "(u1 = 3.0)")),
    ("quadratic", (0.4, 0.25), ((3.0, 1.0), "(a = 3.0, b = 1.0)")),
    ("square_root", (0.3, 0.4), ((3.0, 0.5), "(c = 3.0, d = 0.5)")),
    ("logarithmic", (0.5, 0.2), ((3.0, -0.1), "(e = 3.0, f = -0.1)")),
    ("power2", (0.6, 0.7), ((3.5, 1.0), "(c = 3.5, alpha = 1.0)")),
]
LAW_IDS = [name for name, _, _ in LAWS]


def gradient_of(name):
    return getattr(fspl, f"{name}_and_gradient")


@pytest.mark.parametrize(("name", "coefficients", "refused"), LAWS, ids=LAW_IDS)
def test_outputs_are_the_magnification_then_one_derivative_per_argument(
    name, coefficients, refused
):
    ufunc = gradient_of(name)
    assert isinstance(ufunc, np.ufunc)
    assert ufunc.nin == 2 + len(coefficients) and ufunc.nout == ufunc.nin + 1
    first_line = ufunc.__doc__.splitlines()[0]
    assert first_line.startswith(f"{name}_and_gradient(u, rho, ") and "x1" not in first_line
    outputs = ufunc(0.05, 0.1, *coefficients)
    assert isinstance(outputs, tuple) and len(outputs) == ufunc.nout
    assert all(isinstance(value, float) for value in outputs)


@pytest.mark.parametrize(("name", "coefficients", "refused"), LAWS, ids=LAW_IDS)
def test_the_magnification_is_the_laws_own(name, coefficients, refused):
    # From the centre to the far series (beyond four radii), whose terms the gradient takes from
    # the value's own sum, and sources from the tiniest, rescaled, to the large ones.
    u = np.concatenate([[0.0, 1.0, 1 - 1e-13, 1 + 1e-13, 1.0005], np.geomspace(1e-4, 1e4, 300)])
    for rho in (1e-70, 1e-3, 0.1, 1.0, 30.0, 300.0, 1e6):
        value = getattr(fspl, name)(u * rho, rho, *coefficients)
        with_gradient = gradient_of(name)(u * rho, rho, *coefficients)[0]
        # The very number, also where the gradient computes the value's integrals itself.
        np.testing.assert_array_equal(with_gradient, value)


@pytest.mark.parametrize(
    ("name", "coefficients"),
    [
        ("power2", (0.6, 0.05)),
        ("power2", (0.6, 0.3)),
        ("power2", (0.6, 0.7)),
        ("power2", (-0.4, 2.7)),
        ("logarithmic", (0.6, 0.2)),
        ("logarithmic", (1.0, -1.0)),
        ("square_root", (0.3, 0.4)),
        ("square_root", (-0.2, 1.0)),
        ("square_root", (0.0, 1.0)),
        ("linear", (0.6,)),
        ("quadratic", (0.4, 0.25)),
        ("quadratic", (2.0, -1.0)),
    ],
)
@pytest.mark.parametrize("rho", [10.5, 100.0, 1000.0])
def test_the_magnification_from_the_gradients_rays_is_the_laws_own(name, coefficients, rho):
    # For a large source the laws' gradients form the value's rays beside their derivatives'
    # where those are the value's, and hand them to the value: the very number, over the whole
    # source (deep, middle and limb rays) and outside it up to the lines from 1.25 radii, densely
    # 1 to 2 Einstein radii inside the limb, where the value's rays choose their rules one by one.
    s = np.concatenate(
        [
            np.linspace(0.0, 1.3, 4000),
            1 - np.geomspace(1e-9, 0.2, 100),
            1 - np.linspace(1.0, 2.0, 1000) / rho,
        ]
    )
    u = rho * np.concatenate([s, 1 + np.geomspace(1e-9, 0.25, 100)])
    value = getattr(fspl, name)(u, rho, *coefficients)
    np.testing.assert_array_equal(gradient_of(name)(u, rho, *coefficients)[0], value)


def assert_agrees_with_differences_of_the_values(name, arguments, outputs):
    law = getattr(fspl, name)
    rho = arguments[1]
    for index, derivative in enumerate(outputs[1:]):
        step = 1e-5 * max(abs(arguments[index]), 0.1)
        plus, minus = list(arguments), list(arguments)
        plus[index] += step
        minus[index] -= step
        difference = (law(*plus) - law(*minus)) / (2 * step)
        scale = max(abs(difference), outputs[0] / max(arguments[0], rho) * 1e-3)
        assert abs(derivative - difference) <= 1e-6 * scale, (index, derivative, difference)


# Central differences of the value ufuncs, a check of the outputs' order and signs: the
# derivatives' accuracy is measured against the source integrals with the models.
@pytest.mark.parametrize(("name", "coefficients", "refused"), LAWS, ids=LAW_IDS)
@pytest.mark.parametrize(
    ("s", "rho"), [(0.3, 0.05), (0.8, 1.0), (1.7, 0.3), (6.0, 0.02), (0.5, 20.0)]
)
def test_derivatives_agree_with_differences_of_the_values(name, coefficients, refused, s, rho):
    arguments = [s * rho, rho, *coefficients]
    assert_agrees_with_differences_of_the_values(name, arguments, gradient_of(name)(*arguments))


def test_point_source_derivative():
    u = np.array([0.0, 1e-3, 0.5, 1.0, 7.0, 1e8, np.inf])
    magnification, derivative = fspl.point_source_and_gradient(u)
    np.testing.assert_array_equal(magnification, fspl.point_source(u))
    finite = u[1:-1]
    expected = -8 / (finite**2 * (finite**2 + 4) ** 1.5)
    np.testing.assert_allclose(derivative[1:-1], expected, rtol=4e-16 * 8)
    assert derivative[0] == -np.inf and derivative[-1] == 0


@pytest.mark.parametrize(("name", "coefficients", "refused"), LAWS, ids=LAW_IDS)
def test_the_lens_over_the_centre_has_no_derivative_in_u(name, coefficients, refused):
    for rho in (1e-4, 0.1, 2.0, 50.0):
        outputs = gradient_of(name)(0.0, rho, *coefficients)
        assert outputs[1] == 0
        assert np.isfinite(outputs).all()


@pytest.mark.parametrize(("name", "coefficients", "refused"), LAWS, ids=LAW_IDS)
def test_arguments_broadcast_and_out_takes_a_tuple(name, coefficients, refused):
    ufunc = gradient_of(name)
    u = np.linspace(0.0, 0.3, 7)[:, None]
    rho = np.array([0.01, 0.1, 1.0])
    outputs = ufunc(u, rho, *coefficients)
    assert all(array.shape == (7, 3) and array.dtype == np.float64 for array in outputs)
    out = tuple(np.full((7, 3), -1.0) for _ in range(ufunc.nout))
    where = np.arange(21).reshape(7, 3) % 2 == 0
    returned = ufunc(u, rho, *coefficients, out=out, where=where)
    assert all(a is b for a, b in zip(returned, out, strict=True))
    for computed, written in zip(outputs, out, strict=True):
        np.testing.assert_array_equal(written[where], computed[where])
        assert (written[~where] == -1).all()


def test_coefficients_broadcast_per_band():
    u1 = np.array([0.3, 0.6, 0.9])
    together = fspl.linear_and_gradient(0.02, 0.05, u1)
    for i, coefficient in enumerate(u1):
        apart = fspl.linear_and_gradient(0.02, 0.05, coefficient)
        assert [float(output[i]) for output in together] == list(apart)


# Laws whose coefficients change from one point to the next, far from the source (where the
# gradient keeps each law's series weights across points) and near it; the power-2 law with more
# exponents than it keeps rules for.
ALTERNATING = [
    ("linear", [(0.3,), (0.6,), (0.9,)]),
    ("quadratic", [(0.4, 0.25), (0.1, 0.6), (0.4, 0.3)]),
    ("square_root", [(0.3, 0.4), (0.3, 0.5), (0.6, 0.1)]),
    ("logarithmic", [(0.5, 0.2), (0.6, 0.2), (0.5, -0.1)]),
    ("power2", [(0.6, alpha) for alpha in (0.3, 0.5, 0.7, 0.9, 1.1, 1.3)]),
]


@pytest.mark.parametrize(("name", "laws"), ALTERNATING, ids=[name for name, _ in ALTERNATING])
def test_coefficients_that_alternate_between_points_give_each_points_own_gradient(name, laws):
    ufunc = gradient_of(name)
    rho = 0.05
    u = rho * np.array([4.5, 9.0, 40.0, 0.5, 1.1])
    count = 3 * len(laws)
    points = np.resize(u, count)
    columns = np.array([laws[i % len(laws)] for i in range(count)]).T
    together = ufunc(points, rho, *columns)
    # Point by point in the opposite order, so that no point follows the law it followed above;
    # and against differences of the values, which keep nothing of the gradients.
    for i in reversed(range(count)):
        apart = ufunc(points[i], rho, *laws[i % len(laws)])
        own = [float(output[i]) for output in together]
        assert own == list(apart)
        assert_agrees_with_differences_of_the_values(
            name, [points[i], rho, *laws[i % len(laws)]], own
        )


@pytest.mark.parametrize(
    ("name", "refused"), [(name, refused) for name, _, refused in LAWS if refused], ids=LAW_IDS[1:]
)
def test_coefficients_without_a_positive_flux_raise_with_the_ufuncs_name(name, refused):
    values, tail = refused
    message = f"{name}_and_gradient: the coefficients give a non-positive total flux {tail}"
    with pytest.raises(ValueError) as raised:
        gradient_of(name)(np.array([0.1, 0.2]), 0.1, *values)
    assert str(raised.value) == message


def test_a_negative_power2_exponent_raises():
    with pytest.raises(ValueError) as raised:
        fspl.power2_and_gradient(0.1, 0.1, 0.5, -0.5)
    assert str(raised.value) == (
        "power2_and_gradient: the exponent alpha must not be negative (c = 0.5, alpha = -0.5)"
    )


@pytest.mark.parametrize(("name", "coefficients", "refused"), LAWS, ids=LAW_IDS)
def test_geometry_without_a_value_gives_nan_everywhere_and_infinity_gives_one(
    name, coefficients, refused
):
    ufunc = gradient_of(name)
    for u, rho in [
        (-0.1, 0.1),
        (np.nan, 0.1),
        (0.1, 0.0),
        (0.1, -1.0),
        (0.1, np.nan),
        (0.1, np.inf),
    ]:
        assert np.isnan(ufunc(u, rho, *coefficients)).all(), (u, rho)
    assert ufunc(np.inf, 0.1, *coefficients) == (1.0, *([0.0] * (ufunc.nout - 1)))


# Far from the lens the derivative in rho is linear in rho down to subnormal radii (whose square
# underflows): the same per unit radius as for a small normal one, within the subnormal's precision.
@pytest.mark.parametrize(("name", "coefficients", "refused"), LAWS, ids=LAW_IDS)
def test_a_subnormal_source_far_from_the_lens_has_a_finite_radius_derivative(
    name, coefficients, refused
):
    u = np.array([1e-100, 1e-10, 0.4, 1.0, 30.0])
    tiny, small = 1e-310, 1e-150
    per_radius = gradient_of(name)(u, tiny, *coefficients)[2] / tiny
    expected = gradient_of(name)(u, small, *coefficients)[2] / small
    # The subnormal derivative itself is rounded to a multiple of the smallest subnormal.
    smallest = np.nextafter(0.0, 1.0)
    np.testing.assert_allclose(per_radius, expected, rtol=1e-12, atol=4 * smallest / tiny)


def test_uniform_derivatives_are_infinite_on_the_limb():
    magnification, d_u, d_rho = fspl.uniform_and_gradient(0.1, 0.1)
    assert np.isfinite(magnification)
    assert d_u == -np.inf and d_rho == np.inf


def test_results_do_not_depend_on_the_pool_size():
    program = (
        "import hashlib, numpy as np; from obrivane import fspl\n"
        "u = np.linspace(0.0, 0.3, 4_001)\n"
        "r = np.concatenate(fspl.linear_and_gradient(u, 0.1, np.linspace(0.1, 0.9, 4_001)) +"
        " fspl.uniform_and_gradient(u, 0.1))\n"
        "print(hashlib.sha256(r.tobytes()).hexdigest())"
    )
    assert len(set(outputs_with_pool_sizes(program))) == 1


# Separations and radii across the whole range of doubles, subnormal ones included, and the lens
# about the limb: wherever the geometry has a value, so has every derivative (infinite where the
# derivative overflows, or on the uniform disk's limb), and the magnification is the law's own.
@pytest.mark.parametrize(("name", "coefficients", "refused"), LAWS, ids=LAW_IDS)
def test_every_valid_geometry_has_derivatives_and_the_laws_own_value(name, coefficients, refused):
    sizes = np.concatenate([[5e-324, 1e-310, 2.2e-308], 10.0 ** np.arange(-300.0, 301.0, 20.0)])
    offsets = [0.0, 1e-12, 0.5, 1 - 1e-12, 1.0, 1 + 1e-12, 1.1, 3.0, 4.0, 1e10]
    rho = np.repeat(sizes, len(offsets))
    with np.errstate(over="ignore"):
        u = rho * np.tile(offsets, len(sizes))
        outputs = gradient_of(name)(u, rho, *coefficients)
        value = getattr(fspl, name)(u, rho, *coefficients)
    np.testing.assert_array_equal(outputs[0], value)
    for output in outputs:
        assert not np.isnan(output).any()
