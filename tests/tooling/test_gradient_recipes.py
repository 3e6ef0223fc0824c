"""The recipes that use the exact derivatives, on MOA-2008-BLG-310: least squares with the
analytic Jacobian (examples/jacobian_mb08310.py) and NUTS through obrivane_jax beside emcee
(examples/nuts_mb08310.py), run small. The Jacobian is checked against central differences of
the residuals, jax.grad of the log likelihood against the chain rule through the gradient ufunc,
the log density against a NumPy evaluation with the ufunc, and the fits and samples against the
published event."""

import numpy as np
import pytest
from example_loader import load_example

pytest.importorskip("jax")
pytest.importorskip("numpyro")
pytest.importorskip("emcee")

pytestmark = pytest.mark.tooling


@pytest.fixture(scope="module")
def least_squares():
    return load_example("jacobian_mb08310")


@pytest.fixture(scope="module")
def event():
    return load_example("fit_mb08310")


@pytest.fixture(scope="module")
def photometry(least_squares, event):
    return least_squares.Photometry(event.load())


@pytest.fixture(scope="module")
def comparison(least_squares, event):
    return least_squares.compare(event.load(), repeat=1)


def test_jacobian_matches_central_differences_of_the_residuals(least_squares, photometry):
    x = photometry.start()
    x[:4] = [4656.3995, 0.0029, 11.3, 0.0049]  # the lens inside the source near the peak
    jacobian = photometry.jacobian(x)
    assert jacobian.shape == (len(photometry.t), 18)
    # Steps of 1e-4 of the scales the fit uses (x_scale): a fraction of a millionth of rho in u.
    k = len(photometry.telescopes)
    steps = 1e-4 * np.array(least_squares.SCALE_EVENT + [1e-2, 1e-2] * k)
    for j in range(len(x)):
        up, down = x.copy(), x.copy()
        up[j] += steps[j]
        down[j] -= steps[j]
        column = (photometry.residuals(up) - photometry.residuals(down)) / (2 * steps[j])
        scale = np.max(np.abs(column))
        assert scale > 0, j
        np.testing.assert_allclose(jacobian[:, j], column, rtol=0, atol=1e-5 * scale, err_msg=j)


def test_both_jacobians_reach_the_same_minimum(comparison):
    analytic, differences = comparison["analytic"], comparison["differences"]
    assert analytic["result"].success and differences["result"].success
    assert analytic["chi2"] == pytest.approx(differences["chi2"], rel=1e-6)
    np.testing.assert_allclose(analytic["result"].x[:4], differences["result"].x[:4], rtol=1e-4)
    # The same minimum as fit_mb08310.py, where the fluxes are solved at each step: 1.25 a point.
    points = len(comparison["analytic"]["result"].fun)
    assert analytic["chi2"] / points == pytest.approx(1.247, abs=0.01)
    t0, u0, tE, rho = analytic["result"].x[:4]
    assert t0 == pytest.approx(4656.399, abs=1e-3)
    assert 10.0 < tE < 13.0 and 4.2e-3 < rho < 5.4e-3 and u0 < rho


def test_the_analytic_jacobian_computes_fewer_magnifications(comparison):
    analytic, differences = comparison["analytic"], comparison["differences"]
    # Each Jacobian of differences costs one residual evaluation per parameter (18); the
    # analytic one costs a single call of the gradient kernel.
    points = len(analytic["result"].fun)
    assert differences["values"] >= points * (differences["nfev"] + 18 * differences["njev"])
    assert analytic["gradients"] == points * analytic["njev"]
    total_analytic = analytic["values"] + analytic["gradients"]
    assert total_analytic * 5 < differences["values"]


@pytest.fixture(scope="module")
def sampling():
    return load_example("nuts_mb08310")


@pytest.fixture(scope="module")
def small_event(sampling, event):
    """Every 12th point of each telescope (at least a tenth of each): about 320 points."""
    return sampling.subsample(event.load(), 12)


def test_grad_of_the_log_likelihood_is_the_chain_rule_of_the_gradient_ufunc(
    sampling, least_squares, small_event
):
    import jax
    import jax.numpy as jnp

    data = sampling.Data(small_event)
    start, _ = sampling.least_squares_start(small_event)
    start["u1"] = np.asarray(data.u1_prior)
    # Away from the minimum, where the gradient is not near zero.
    start["t0"] += 2e-4
    start["rho"] *= 1.05
    parameters = {name: jnp.asarray(value) for name, value in start.items()}
    gradient = jax.grad(sampling.log_likelihood)(parameters, data)
    # The same with NumPy: d(-chi^2/2)/dx = -J^T r, J from linear_and_gradient by the chain rule
    # (jacobian_mb08310.py), in its order t0, u0, tE, rho, then (fs_k, fb_k) by telescope.
    photometry = least_squares.Photometry(small_event)
    x = np.concatenate(
        [[start[name] for name in ("t0", "u0", "tE", "rho")]]
        + [[fs, fb] for fs, fb in zip(start["fs"], start["fb"], strict=True)]
    )
    jacobian, residuals = photometry.jacobian(x), photometry.residuals(x)
    expected = -jacobian.T @ residuals
    # Near the minimum the sums cancel to a small part of their terms: the tolerance is one of
    # the terms' magnitudes (u from jnp.hypot and np.hypot may differ in the last bit).
    magnitude = np.abs(jacobian).T @ np.abs(residuals)
    got = np.concatenate(
        [[float(gradient[name]) for name in ("t0", "u0", "tE", "rho")]]
        + [[fs, fb] for fs, fb in zip(gradient["fs"], gradient["fb"], strict=True)]
    )
    assert np.all(np.abs(got - expected) <= 1e-8 * magnitude), (got, expected)
    assert np.min(np.abs(expected[:4]) / magnitude[:4]) > 1e-3  # not sums of zeros


def test_log_posterior_is_the_numpy_chi2_and_prior(sampling, small_event):
    import jax.numpy as jnp
    from obrivane import fspl
    from scipy.stats import truncnorm

    data = sampling.Data(small_event)
    start, _ = sampling.least_squares_start(small_event)
    u1 = np.asarray(data.u1_prior) + 0.03
    phi = np.asarray(sampling.phi_of({name: jnp.asarray(v) for name, v in start.items()}))
    # The coordinates and back.
    back = sampling.event_of(jnp.asarray(phi), len(small_event))
    for name in ("t0", "u0", "tE", "rho", "fs", "fb"):
        np.testing.assert_allclose(np.asarray(back[name]), start[name], rtol=1e-13)
    outside = phi.copy()
    outside[3] = -1e-3  # a negative source radius
    rows = jnp.asarray([np.concatenate([phi, u1]), np.concatenate([outside, u1])])
    got = np.asarray(sampling.log_posterior_function(data)(rows))
    chi2, log_prior = 0.0, 0.0
    for k, telescope in enumerate(small_event):
        band_u1 = u1[data.bands.index(telescope.band)]
        u = np.hypot(start["u0"], (telescope.t - start["t0"]) / start["tE"])
        model = start["fs"][k] * fspl.linear(u, start["rho"], band_u1) + start["fb"][k]
        chi2 += np.sum(((model - telescope.flux) / telescope.sigma) ** 2)
    for mean, value in zip(np.asarray(data.u1_prior), u1, strict=True):
        width = sampling.U1_WIDTH
        prior = truncnorm((0 - mean) / width, (1 - mean) / width, loc=mean, scale=width)
        log_prior += prior.logpdf(value)
    # Flat priors in (u0, tE, rho, fs, fb) are tE^-(1 + telescopes) in the sampled coordinates.
    jacobian = -(1 + len(small_event)) * np.log(start["tE"])
    assert got[0] == pytest.approx(log_prior - chi2 / 2 + jacobian, rel=1e-10)
    assert got[1] == -np.inf


def test_nuts_and_emcee_sample_the_event(sampling, small_event):
    outcome = sampling.compare(small_event, warmup=40, samples=40, walkers=48, steps=80, depth=5)
    layout, nuts, ensemble = outcome["layout"], outcome["nuts"], outcome["emcee"]
    assert len(layout.names) == 23
    assert nuts["samples"].shape == (40, 23)
    assert ensemble["chain"].shape == (80, 48, 23)
    assert ensemble["samples"].shape == (40 * 48, 23)
    # Every sample near the published event (Janczak et al. 2010: t0 = 4656.399, tE about 11
    # days, rho about 5e-3, the lens across the source), and the means near the least-squares
    # solution of the same points.
    start = outcome["start"]
    for name, low, high in [
        ("t0", 4656.394, 4656.404),
        ("rho", 1.5e-3, 1.0e-2),
        ("tE", 4.0, 30.0),
        ("u0", 0.0, 6e-3),
    ]:
        j = layout.names.index(name)
        for samples in (nuts["samples"], ensemble["samples"]):
            assert np.all((samples[:, j] > low) & (samples[:, j] < high)), name
            assert abs(samples[:, j].mean() - start[name]) < 3 * samples[:, j].std(), name
    bands = [j for j, name in enumerate(layout.names) if name.startswith("u1[")]
    assert len(bands) == 5
    for samples in (nuts["samples"], ensemble["samples"]):
        assert np.all((samples[:, bands] >= 0) & (samples[:, bands] <= 1))
        # The samples move: neither sampler stays at its start.
        assert np.std(samples[:, layout.names.index("rho")]) > 1e-5
    assert 0.05 < ensemble["acceptance"] < 0.9
    assert nuts["leapfrogs"] >= 1
    assert np.all(nuts["ess"] > 0) and np.all(ensemble["ess"] > 0)
    assert nuts["seconds"] > 0 and ensemble["seconds"] > 0
