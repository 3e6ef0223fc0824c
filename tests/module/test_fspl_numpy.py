"""obrivane.fspl as NumPy users meet it: how it is imported, broadcasting, dtypes, out= and
where=, views, bad input, the worker pool, the interpreter lock and Ctrl-C."""

import hashlib
import subprocess
import sys
import threading
import time

import numpy as np
import obrivane
import pytest
from obrivane import fspl
from pool_runs import output_with_pool_size, outputs_with_pool_sizes

# name, number of inputs, valid coefficients (after u and rho)
LAWS = [
    ("uniform", ()),
    ("linear", (0.6,)),
    ("quadratic", (0.4, 0.25)),
    ("square_root", (0.3, 0.4)),
    ("logarithmic", (0.5, 0.2)),
    ("power2", (0.6, 0.7)),
]
UFUNCS = [
    "point_source",
    *(name for name, _ in LAWS),
    "tabulated",
    "u1_from_gamma",
    "gamma_from_u1",
]
GRADIENT_UFUNCS = [f"{name}_and_gradient" for name in ("point_source", *(n for n, _ in LAWS))]


def test_both_import_forms_give_the_one_submodule():
    import obrivane.fspl as imported

    assert imported is fspl is obrivane.fspl
    assert sys.modules["obrivane.fspl"] is fspl
    assert fspl.__name__ == "obrivane.fspl"
    assert "fspl" not in obrivane.__all__
    assert fspl.__all__ == UFUNCS + GRADIENT_UFUNCS
    assert set(fspl.__all__) <= set(dir(fspl))


def test_importing_obrivane_does_not_import_numpy():
    program = "import sys, obrivane, obrivane.fspl; print('numpy' in sys.modules)"
    output = subprocess.run([sys.executable, "-c", program], capture_output=True, text=True)
    assert output.returncode == 0, output.stderr
    assert output.stdout.strip() == "False"


@pytest.mark.parametrize("name", UFUNCS)
def test_every_function_is_a_ufunc_with_its_own_signature_line(name):
    ufunc = getattr(fspl, name)
    assert isinstance(ufunc, np.ufunc)
    assert ufunc.__name__ == name and ufunc.nout == 1
    first_line = ufunc.__doc__.splitlines()[0]
    assert first_line.startswith(f"{name}(") and "x1" not in first_line
    assert "Parameters\n----------" in ufunc.__doc__


def test_unknown_attribute_is_an_attribute_error():
    with pytest.raises(AttributeError, match="module 'obrivane.fspl' has no attribute 'nonlinear'"):
        fspl.nonlinear  # noqa: B018


@pytest.mark.parametrize(("name", "coefficients"), LAWS)
def test_scalars_give_a_float_and_arrays_the_broadcast_shape(name, coefficients):
    law = getattr(fspl, name)
    scalar = law(0.05, 0.1, *coefficients)
    assert isinstance(scalar, float) and scalar > 1
    u = np.linspace(0.0, 0.3, 7)[:, None]
    rho = np.array([0.01, 0.1, 1.0])
    array = law(u, rho, *coefficients)
    assert array.shape == (7, 3) and array.dtype == np.float64
    assert array[1, 1] == law(u[1, 0], rho[1], *coefficients)


def test_coefficients_broadcast_like_any_argument():
    u1 = np.array([0.3, 0.6, 0.9])
    together = fspl.linear(0.05, 0.1, u1)
    assert together.tolist() == [fspl.linear(0.05, 0.1, c) for c in u1]


@pytest.mark.parametrize(
    ("name", "first", "second"),
    [
        ("linear", (0.3,), (0.9,)),
        ("quadratic", (0.4, 0.0), (0.4, -0.0)),
        ("quadratic", (0.4, 0.25), (0.1, 0.5)),
        ("square_root", (0.3, 0.4), (0.6, 0.1)),
        ("logarithmic", (0.5, 0.2), (0.7, -0.1)),
        ("power2", (0.6, 0.7), (0.6, 0.35)),
    ],
)
def test_interleaved_coefficients_give_each_element_its_own_law(name, first, second):
    # Elements whose laws alternate, near the source and far from it (where the law's series
    # weights serve many points), are each the value of their own law.
    law = getattr(fspl, name)
    u = np.array([0.05, 0.5, 3.0, 40.0, 0.05, 0.5, 3.0, 40.0])
    coefficients = [np.array([c, d] * 4) for c, d in zip(first, second, strict=True)]
    together = law(u, 0.1, *coefficients)
    alone = [law(x, 0.1, *(c[i] for c in coefficients)) for i, x in enumerate(u)]
    assert together.tolist() == alone


@pytest.mark.parametrize("dtype", [np.float32, np.int64, np.int8, np.float64])
def test_inputs_are_cast_to_float64(dtype):
    u = np.array([0, 1, 2], dtype=dtype)
    result = fspl.uniform(u, np.array(1, dtype=dtype))
    assert result.dtype == np.float64
    assert result.tolist() == fspl.uniform(u.astype(np.float64), 1.0).tolist()


def test_out_where_and_float32_output():
    u = np.linspace(0.0, 0.2, 6)
    out = np.full(6, -1.0)
    returned = fspl.linear(u, 0.1, 0.6, out=out, where=u > 0.05)
    assert returned is out
    mask = u > 0.05
    assert (out[~mask] == -1.0).all()
    assert out[mask].tolist() == fspl.linear(u[mask], 0.1, 0.6).tolist()
    single = np.empty(6, dtype=np.float32)
    fspl.uniform(u, 0.1, out=single)
    assert single.tolist() == fspl.uniform(u, 0.1).astype(np.float32).tolist()


def test_non_contiguous_views_and_empty_arrays():
    base = np.linspace(0.0, 0.5, 40).reshape(8, 5)
    view = base[::2, ::-2]
    assert not view.flags.c_contiguous
    assert fspl.uniform(view, 0.1).tolist() == fspl.uniform(view.copy(), 0.1).tolist()
    assert fspl.linear(np.empty((0, 3)), 0.1, 0.6).shape == (0, 3)


def test_bad_shapes_and_types_are_numpys_errors():
    with pytest.raises(ValueError, match="could not be broadcast"):
        fspl.uniform(np.ones(3), np.ones(4))
    for bad in (1j, "0.5", np.array([1 + 2j])):
        with pytest.raises(TypeError):
            fspl.uniform(bad, 0.1)
    with pytest.raises(TypeError):
        fspl.linear(0.1, 0.1)


@pytest.mark.parametrize(
    ("name", "coefficients", "message"),
    [
        ("linear", (3.0,), "linear: the coefficients give a non-positive total flux (u1 = 3.0)"),
        (
            "quadratic",
            (3.0, 1.0),
            "quadratic: the coefficients give a non-positive total flux (a = 3.0, b = 1.0)",
        ),
        (
            "square_root",
            (3.0, 1.0),
            "square_root: the coefficients give a non-positive total flux (c = 3.0, d = 1.0)",
        ),
        (
            "logarithmic",
            (3.0, -0.5),
            "logarithmic: the coefficients give a non-positive total flux (e = 3.0, f = -0.5)",
        ),
        (
            "power2",
            (4.0, 1.0),
            "power2: the coefficients give a non-positive total flux (c = 4.0, alpha = 1.0)",
        ),
        (
            "power2",
            (0.5, -0.5),
            "power2: the exponent alpha must not be negative (c = 0.5, alpha = -0.5)",
        ),
    ],
)
def test_coefficients_without_a_positive_flux_raise(name, coefficients, message):
    law = getattr(fspl, name)
    with pytest.raises(ValueError) as raised:
        law(0.05, 0.1, *coefficients)
    assert str(raised.value) == message
    # Also when the bad element is one of many, in a long call on the pool.
    many = [np.full(20_000, value) for value in coefficients]
    many[0] = np.concatenate([np.full(19_999, 0.1), [coefficients[0]]])
    with pytest.raises(ValueError, match="non-positive|negative"):
        law(np.linspace(0.0, 0.2, 20_000), 0.1, *many)


@pytest.mark.parametrize(("name", "coefficients"), LAWS)
def test_geometry_without_a_value_gives_nan(name, coefficients):
    law = getattr(fspl, name)
    u = np.array([-0.1, np.nan, 0.05, 0.05, 0.05, 0.05])
    rho = np.array([0.1, 0.1, 0.0, -0.1, np.nan, np.inf])
    assert np.isnan(law(u, rho, *coefficients)).all()
    if coefficients:
        nan_first = (np.nan, *coefficients[1:])
        assert np.isnan(law(0.05, 0.1, *nan_first))


def test_point_source_and_the_limit_of_large_separations():
    u = np.array([0.0, 1.0, 1e3, np.inf, -1.0])
    expected = [np.inf, 3 / np.sqrt(5), (1e6 + 2) / (1e3 * np.sqrt(1e6 + 4)), 1.0]
    result = fspl.point_source(u)
    assert result[:4].tolist() == pytest.approx(expected, rel=1e-15)
    assert np.isnan(result[4])


def test_the_gamma_conversions_invert_each_other():
    u1 = np.array([0.0, 0.3, 0.6, 1.0])
    gamma = fspl.gamma_from_u1(u1)
    assert gamma.tolist() == pytest.approx([0.0, 0.6 / 2.7, 1.2 / 2.4, 1.0], rel=1e-15)
    assert fspl.u1_from_gamma(gamma).tolist() == pytest.approx(u1.tolist(), rel=1e-15)


def test_uniform_agrees_with_the_low_level_function():
    # Away from the limb, where the low-level function's fixed evaluation order keeps its digits.
    x = np.linspace(0.0, 3.0, 301)
    x = np.concatenate([x[np.abs(x - 1) > 0.05], np.geomspace(3.0, 1e5, 60)])
    for rho in (1e-4, 0.01, 0.3, 1.0, 5.0):
        fast = fspl.uniform(x * rho, rho)
        reference = np.array(obrivane.witt_mao_magnification(x, 1.0, rho))
        # Between 10 and 100 source radii the fixed order itself cancels to about 2e-12.
        assert np.abs(fast / reference - 1).max() <= 2e-12


def test_linear_with_the_built_in_coefficient_agrees_with_the_low_level_function():
    x = np.concatenate([np.linspace(0.0, 3.0, 121), [1 - 1e-9, 1 + 1e-9], np.geomspace(3, 1e4, 20)])
    for rho in (1e-3, 0.05, 0.5, 2.0):
        law = fspl.linear(x * rho, rho, 0.6)
        reference = np.array(obrivane.integrated_witt_mao_magnification(x, 1.0, rho))
        assert np.abs(law / reference - 1).max() <= 1e-13


@pytest.mark.parametrize(
    ("name", "coefficients"),
    [
        ("quadratic", (0.6, 0.0)),
        ("square_root", (0.6, 0.0)),
        ("logarithmic", (0.6, 0.0)),
        ("power2", (0.6, 1.0)),
    ],
)
def test_laws_that_reduce_to_the_linear_law(name, coefficients):
    u = np.linspace(0.0, 0.3, 31)
    reduced = getattr(fspl, name)(u, 0.1, *coefficients)
    assert np.abs(reduced / fspl.linear(u, 0.1, 0.6) - 1).max() <= 2e-15


def test_results_do_not_depend_on_the_pool_size():
    program = (
        "import hashlib, numpy as np; from obrivane import fspl\n"
        "u = np.linspace(0.0, 0.3, 30_001)\n"
        "r = np.concatenate([fspl.uniform(u, 0.1), fspl.linear(u, 0.1, 0.6),"
        " fspl.power2(u, 0.1, 0.6, np.linspace(0.2, 1.5, 30_001))])\n"
        "print(hashlib.sha256(r.tobytes()).hexdigest())"
    )
    digests = outputs_with_pool_sizes(program)
    assert len(set(digests)) == 1
    u = np.linspace(0.0, 0.3, 30_001)
    here = np.concatenate(
        [
            fspl.uniform(u, 0.1),
            fspl.linear(u, 0.1, 0.6),
            fspl.power2(u, 0.1, 0.6, np.linspace(0.2, 1.5, 30_001)),
        ]
    )
    assert hashlib.sha256(here.tobytes()).hexdigest() == digests[0].strip()


def test_another_thread_runs_during_a_long_call():
    u = np.linspace(0.0, 0.3, 2_000_000)
    counted = []
    stop = threading.Event()

    def count():
        n = 0
        while not stop.is_set():
            n += 1
        counted.append(n)

    worker = threading.Thread(target=count)
    started = time.perf_counter()
    worker.start()
    fspl.linear(u, 0.1, 0.6)
    elapsed = time.perf_counter() - started
    stop.set()
    worker.join()
    # Holding the lock, the call would leave the counter one switch interval (5 ms) at most.
    assert elapsed > 0.05 and counted[0] > 1000


def test_ctrl_c_stops_a_long_call():
    from test_interrupt import LIVENESS_BOUND, sigint_after

    u = np.linspace(0.0, 0.3, 30_000_000)
    with sigint_after(0.2) as sent, pytest.raises(KeyboardInterrupt):
        fspl.linear(u, 0.1, 0.6)
    assert time.perf_counter() - sent[0] < LIVENESS_BOUND
    assert fspl.linear(0.05, 0.1, 0.6) > 1


@pytest.mark.parametrize("pool_size", [1, 2])
def test_a_long_call_releases_the_lock_and_stops_on_ctrl_c_whatever_the_pool(pool_size):
    # A single worker runs the chunks on the calling thread; it must still give the lock up and
    # consult the signal handlers between chunks, as the pool's workers do.
    program = """
import signal, threading, time
import numpy as np
from obrivane import fspl
u = np.linspace(0.0, 0.3, 30_000_000)
counted, stop = [0], threading.Event()
def count():
    while not stop.is_set():
        counted[0] += 1
worker = threading.Thread(target=count)
worker.start()
main = threading.main_thread().ident
threading.Timer(0.3, lambda: signal.pthread_kill(main, signal.SIGINT)).start()
started = time.perf_counter()
try:
    fspl.linear(u, 0.1, 0.6)
    outcome = "finished"
except KeyboardInterrupt:
    outcome = "interrupted"
elapsed = time.perf_counter() - started
stop.set()
worker.join()
print(outcome, elapsed, counted[0], fspl.linear(0.05, 0.1, 0.6) > 1)
"""
    outcome, elapsed, counted, works = output_with_pool_size(program, pool_size).split()
    assert outcome == "interrupted" and float(elapsed) < 3.3 and works == "True"
    assert int(counted) > 1000


def test_dask_arrays_go_through_array_ufunc():
    da = pytest.importorskip("dask.array")
    u = np.linspace(0.0, 0.3, 1000)
    lazy = fspl.quadratic(da.from_array(u, chunks=250), 0.1, 0.4, 0.25)
    assert isinstance(lazy, da.Array)
    assert lazy.compute().tolist() == fspl.quadratic(u, 0.1, 0.4, 0.25).tolist()


def test_tabulated_is_the_flux_map_function_in_einstein_units():
    radius, brightness = [0.0, 0.3, 0.3, 0.8, 1.0], [1.0, 0.9, 0.7, 0.5, 0.2]
    rho = 0.1
    u = np.concatenate([np.linspace(0.0, 0.5, 26), [0.1 * (1 + 1e-12), 2.0, np.inf]])
    result = fspl.tabulated(u, rho, radius, brightness)
    low_level = obrivane.integrated_flux_map_witt_mao_magnification(
        list(u[:-1] / rho), 1.0, rho, radius, brightness
    )
    assert result[:-1].tolist() == low_level
    assert result[-1] == 1.0
    # A long table on the pool gives the same bits as element by element.
    many = np.linspace(0.0, 0.5, 5000)
    assert fspl.tabulated(many, rho, radius, brightness)[::500].tolist() == [
        fspl.tabulated(x, rho, radius, brightness) for x in many[::500]
    ]


def test_tabulated_broadcasts_over_tables():
    tables_r = np.array([[0.0, 1.0], [0.0, 1.0]])
    tables_b = np.array([[1.0, 1.0], [1.0, 0.4]])
    u = np.array([[0.02], [0.05], [0.2]])
    result = fspl.tabulated(u, 0.1, tables_r, tables_b)
    assert result.shape == (3, 2)
    assert result[:, 0].tolist() == fspl.tabulated(u[:, 0], 0.1, [0.0, 1.0], [1.0, 1.0]).tolist()
    assert np.abs(result[:, 0] / fspl.uniform(u[:, 0], 0.1) - 1).max() <= 1e-14
    assert result[1, 1] == fspl.tabulated(0.05, 0.1, [0.0, 1.0], [1.0, 0.4])
    with pytest.raises(ValueError):
        fspl.tabulated(0.05, 0.1, [0.0, 0.5, 1.0], [1.0, 1.0])


@pytest.mark.parametrize(
    ("radius", "brightness"),
    [
        ([], []),
        ([0.0, 1.0], [0.0, 0.0]),
        ([0.0, 1.0], [1.0, np.nan]),
        ([0.0, np.inf], [1.0, 1.0]),
        ([0.0, 0.6, 0.3, 1.0], [1.0, 0.9, 0.8, 0.7]),
    ],
)
def test_tabulated_tables_without_a_source_give_nan(radius, brightness):
    assert np.isnan(fspl.tabulated(np.array([0.0, 0.05, 1.0]), 0.1, radius, brightness)).all()


def test_a_one_row_table_is_a_uniform_source():
    u = np.linspace(0.0, 0.3, 13)
    one_row = fspl.tabulated(u, 0.1, [0.4], [2.0])
    assert np.abs(one_row / fspl.uniform(u, 0.1) - 1).max() <= 1e-14


# A source so small against its distance from the lens that u/rho overflows: a point source,
# where the laws give the point lens too.
@pytest.mark.parametrize(
    ("u", "rho"), [(0.1, 5e-324), (9.0e-16, 5e-324), (1e295, 1e-14), (1e308, 0.1)]
)
def test_tabulated_with_more_source_radii_than_a_double_holds_is_the_point_lens(u, rho):
    radius, brightness = [0.0, 0.3, 0.6, 1.0], [1.0, 0.9, 0.6, 0.2]
    assert fspl.tabulated(u, rho, radius, brightness) == fspl.point_source(u)
    assert fspl.linear(u, rho, 0.6) == fspl.point_source(u)
