"""Posterior sampling of MOA-2008-BLG-310 with NUTS (NumPyro, through obrivane_jax) and emcee.

The model is that of fit_mb08310.py with every parameter free: the event (t0, u0, tE, rho), one
linear limb-darkening coefficient u1 per band, and each telescope's source and blended fluxes
(fs_k, fb_k), 23 parameters in all. The priors are flat (u0, tE and rho positive), except for u1,
whose prior is a normal distribution of width 0.1 about the tabulated value of its band
(LIMB_DARKENING of fit_mb08310.py), truncated to [0, 1]: the light curve measures the limb
darkening of the bands with many points across the source, the prior holds the others near
theory. The likelihood is Gaussian in the fluxes.

Both samplers draw from the same log density, evaluated by obrivane_jax.linear, in the
coordinates phi = (t0, ln tE, u0 tE, rho tE, fs_k tE, fs_k + fb_k) and u1, where the light
curve's degeneracies (a fainter source, more magnified for longer) are nearly straight; the
flat priors of the event's parameters are carried to phi by the Jacobian of the change:
- NumPyro's NUTS follows the gradient of the log density (the exact derivatives of the
  magnification from obrivane's gradient kernels, through JAX's chain rule), with phi scaled by
  its least-squares errors and a dense mass matrix adapted in the warm-up;
- emcee's affine-invariant ensemble needs only the values, the walkers of a step evaluated in
  one call (jax.vmap).
NUTS starts at the least-squares solution, emcee's walkers are drawn from its normal
approximation. The script prints the samples' means and spreads in the event's parameters,
each one's effective sample size (ESS, NumPyro's estimator; emcee's walkers taken as chains)
and ESS per second of wall time, warm-up and burn-in included.

Run: python examples/nuts_mb08310.py [--every N] [--warmup N] [--samples N] [--steps N]
"""

import argparse
import os
import pathlib
import sys
import time

# One BLAS thread and JAX in double precision, before NumPy and JAX are first imported.
for _variable in ("OPENBLAS_NUM_THREADS", "OMP_NUM_THREADS", "MKL_NUM_THREADS"):
    os.environ.setdefault(_variable, "1")

import jax  # noqa: E402

jax.config.update("jax_enable_x64", True)

import emcee  # noqa: E402
import jax.numpy as jnp  # noqa: E402
import numpy as np  # noqa: E402
import numpyro  # noqa: E402
import numpyro.distributions as dist  # noqa: E402
import obrivane_jax  # noqa: E402
from numpyro.diagnostics import effective_sample_size  # noqa: E402
from numpyro.infer import MCMC, NUTS, init_to_value  # noqa: E402

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent))
import fit_mb08310 as event  # noqa: E402
import jacobian_mb08310 as least_squares  # noqa: E402

# Flat priors: on the whole line for t0 and the fluxes, on the positive numbers for u0, tE and
# rho; a normal prior of width U1_WIDTH about each band's tabulated u1, truncated to [0, 1].
U1_WIDTH = 0.1


class Data:
    """The points of every telescope as arrays, with the telescope and band of each."""

    def __init__(self, telescopes):
        self.telescopes = telescopes
        self.bands = sorted({s.band for s in telescopes})
        self.t = jnp.asarray(np.concatenate([s.t for s in telescopes]))
        self.flux = jnp.asarray(np.concatenate([s.flux for s in telescopes]))
        self.sigma = jnp.asarray(np.concatenate([s.sigma for s in telescopes]))
        self.telescope = jnp.asarray(
            np.concatenate([np.full(len(s.t), k) for k, s in enumerate(telescopes)])
        )
        self.band = jnp.asarray(
            np.concatenate([np.full(len(s.t), self.bands.index(s.band)) for s in telescopes])
        )
        self.u1_prior = jnp.asarray([event.LIMB_DARKENING[band] for band in self.bands])

    @property
    def size(self):
        return int(self.t.shape[0])


def log_likelihood(p, data):
    """log L of the parameters p (a dictionary of arrays)."""
    u = jnp.hypot(p["u0"], (data.t - p["t0"]) / p["tE"])
    a = obrivane_jax.linear(u, p["rho"], p["u1"][data.band])
    model = p["fs"][data.telescope] * a + p["fb"][data.telescope]
    return -0.5 * jnp.sum(((model - data.flux) / data.sigma) ** 2)


def u1_prior(data):
    return dist.TruncatedNormal(data.u1_prior, U1_WIDTH, low=0.0, high=1.0)


# The sampled coordinates phi, in this order: t0, ln tE, u0 tE, rho tE, then for each telescope
# fs tE and fs + fb. Along the light curve's degeneracies (a fainter source more magnified, over
# a longer time) these are nearly independent and nearly normal, where (u0, tE, rho, fs, fb)
# bend along curved ridges.
def event_of(phi, k):
    """The parameters (a dictionary, without u1) of a vector phi, for k telescopes."""
    t_e = jnp.exp(phi[1])
    return {
        "t0": phi[0],
        "tE": t_e,
        "u0": phi[2] / t_e,
        "rho": phi[3] / t_e,
        "fs": phi[4 : 4 + k] / t_e,
        "fb": phi[4 + k : 4 + 2 * k] - phi[4 : 4 + k] / t_e,
    }


def phi_of(p):
    """The inverse of event_of."""
    t_e = p["tE"]
    return jnp.concatenate(
        [
            jnp.stack([p["t0"], jnp.log(t_e), p["u0"] * t_e, p["rho"] * t_e]),
            p["fs"] * t_e,
            p["fs"] + p["fb"],
        ]
    )


def log_density_of_phi(phi, u1, data):
    """log posterior in the coordinates phi, less u1's prior: the likelihood, the flat priors of
    (u0, tE, rho, fs, fb) carried to phi by the Jacobian |d(event)/d(phi)| = tE^-(1 + k), and
    their support (u0 and rho positive)."""
    k = len(data.telescopes)
    p = event_of(phi, k)
    p["u1"] = u1
    value = log_likelihood(p, data) - (1 + k) * phi[1]
    return jnp.where((phi[2] > 0) & (phi[3] > 0), value, -jnp.inf)


def model(data, centre, scale):
    """The NumPyro model: u1 from its prior, phi = centre + scale z with z flat (scaled by the
    least-squares errors, so that NUTS starts with steps of the right size in every
    direction), and the rest of the log density as a factor."""
    u1 = numpyro.sample("u1", u1_prior(data))
    z = numpyro.sample("z", dist.ImproperUniform(dist.constraints.real, (), np.shape(centre)))
    numpyro.factor("rest", log_density_of_phi(centre + scale * z, u1, data))


class Layout:
    """The parameters of the event as one vector: t0, u0, tE, rho, u1 by band, fs, fb."""

    def __init__(self, data):
        k, bands = len(data.telescopes), len(data.bands)
        self.k, self.bands = k, bands
        self.sizes = {"t0": 1, "u0": 1, "tE": 1, "rho": 1, "u1": bands, "fs": k, "fb": k}
        labels = {"u1": data.bands, "fs": [s.name for s in data.telescopes]}
        labels["fb"] = labels["fs"]
        self.names = [
            f"{name}[{label}]" if name in labels else name
            for name in self.sizes
            for label in labels.get(name, [None])
        ]

    def unpack(self, vector):
        p, start = {}, 0
        for name, size in self.sizes.items():
            p[name] = vector[start:][:size] if name in ("u1", "fs", "fb") else vector[start]
            start += size
        return p

    def pack(self, p):
        return np.concatenate([np.atleast_1d(np.asarray(p[name])) for name in self.sizes])

    def from_phi(self, phi, u1):
        """Event vectors of rows of phi and u1 (NumPy arrays of samples)."""
        p = jax.vmap(lambda row: event_of(row, self.k))(jnp.asarray(phi))
        p["u1"] = u1
        return np.column_stack([np.reshape(np.asarray(p[n]), (len(phi), -1)) for n in self.sizes])


def log_posterior_function(data):
    """log posterior of rows (phi, u1) of a matrix, up to a constant (-inf outside the priors'
    support): the log density NUTS samples, jitted and vectorised for emcee's walkers."""
    prior = u1_prior(data)
    bands = len(data.bands)

    def log_posterior(vector):
        phi, u1 = vector[:-bands], vector[-bands:]
        inside = jnp.all((u1 >= 0) & (u1 <= 1))
        value = jnp.sum(prior.log_prob(u1)) + log_density_of_phi(phi, u1, data)
        return jnp.where(inside, value, -jnp.inf)

    return jax.jit(jax.vmap(log_posterior))


def least_squares_start(telescopes):
    """The least-squares solution of every parameter but u1 (jacobian_mb08310.py, with the
    analytic Jacobian) as a dictionary, and the covariance matrix of phi there."""
    photometry = least_squares.Photometry(telescopes)
    result = least_squares.fit(photometry, photometry.jacobian)
    jacobian = photometry.jacobian(result.x)
    covariance = np.linalg.inv(jacobian.T @ jacobian)
    k = len(telescopes)
    x = result.x
    start = {"t0": x[0], "u0": x[1], "tE": x[2], "rho": x[3], "fs": x[4::2], "fb": x[5::2]}

    def phi_of_x(x):
        p = {"t0": x[0], "u0": x[1], "tE": x[2], "rho": x[3], "fs": x[4::2], "fb": x[5::2]}
        return phi_of(p)

    carry = np.asarray(jax.jacfwd(phi_of_x)(jnp.asarray(x)))
    assert carry.shape == (4 + 2 * k, 4 + 2 * k)
    return start, carry @ covariance @ carry.T


def run_nuts(data, start, covariance, warmup, samples, seed=0, depth=8):
    """(samples of phi, samples of u1, seconds, divergences, mean leapfrog steps) of one NUTS
    chain started at `start`."""
    centre = jnp.asarray(phi_of({name: jnp.asarray(v) for name, v in start.items()}))
    scale = jnp.sqrt(jnp.diag(jnp.asarray(covariance)))
    values = {"z": jnp.zeros_like(centre), "u1": jnp.asarray(start["u1"])}
    kernel = NUTS(
        model, dense_mass=True, max_tree_depth=depth, init_strategy=init_to_value(values=values)
    )
    mcmc = MCMC(kernel, num_warmup=warmup, num_samples=samples, progress_bar=False)
    begin = time.perf_counter()
    mcmc.run(jax.random.PRNGKey(seed), data, centre, scale, extra_fields=("diverging", "num_steps"))
    drawn = jax.block_until_ready(mcmc.get_samples())
    seconds = time.perf_counter() - begin
    extra = mcmc.get_extra_fields()
    phi = np.asarray(centre + scale * drawn["z"])
    steps = float(np.mean(extra["num_steps"]))
    return phi, np.asarray(drawn["u1"]), seconds, int(np.sum(extra["diverging"])), steps


def run_emcee(data, start, covariance, walkers, steps, seed=0):
    """(chain of shape (steps, walkers, phi and u1), seconds, acceptance) of an emcee ensemble
    whose walkers start drawn from the least-squares solution's normal approximation."""
    log_posterior = log_posterior_function(data)
    rng = np.random.default_rng(seed)
    bands = len(data.bands)
    centre = np.asarray(phi_of({name: jnp.asarray(v) for name, v in start.items()}))
    phi = rng.multivariate_normal(centre, covariance, size=walkers)
    u1 = np.clip(start["u1"] + U1_WIDTH * rng.standard_normal((walkers, bands)), 0.01, 0.99)
    initial = np.column_stack([phi, u1])

    def batch(rows):
        return np.asarray(log_posterior(jnp.asarray(rows)))

    sampler = emcee.EnsembleSampler(walkers, initial.shape[1], batch, vectorize=True)
    begin = time.perf_counter()
    sampler.run_mcmc(initial, steps, progress=False)
    seconds = time.perf_counter() - begin
    return sampler.get_chain(), seconds, float(np.mean(sampler.acceptance_fraction))


def effective_sizes(chains):
    """ESS of each parameter of chains of shape (chains, draws, parameters)."""
    return np.array([effective_sample_size(chains[:, :, j]) for j in range(chains.shape[2])])


def compare(telescopes, warmup, samples, walkers, steps, seed=0, depth=8):
    """Both samplers on the telescopes' points: a dictionary of what they give, the samples as
    event vectors (Layout)."""
    data = Data(telescopes)
    layout = Layout(data)
    start, covariance = least_squares_start(telescopes)
    start["u1"] = np.asarray(data.u1_prior)
    phi, u1, nuts_seconds, divergences, leapfrogs = run_nuts(
        data, start, covariance, warmup, samples, seed, depth
    )
    nuts_samples = layout.from_phi(phi, u1)
    chain, emcee_seconds, acceptance = run_emcee(data, start, covariance, walkers, steps, seed)
    discard = steps // 2
    bands = len(data.bands)
    kept = chain[discard:]
    flat = kept.reshape(-1, kept.shape[2])
    emcee_samples = layout.from_phi(flat[:, :-bands], flat[:, -bands:])
    # Each walker a chain: (walkers, draws, parameters).
    walker_chains = emcee_samples.reshape(kept.shape[0], kept.shape[1], -1).transpose(1, 0, 2)
    return {
        "data": data,
        "layout": layout,
        "start": start,
        "nuts": {
            "samples": nuts_samples,
            "seconds": nuts_seconds,
            "ess": effective_sizes(nuts_samples[None]),
            "divergences": divergences,
            "leapfrogs": leapfrogs,
        },
        "emcee": {
            "samples": emcee_samples,
            "chain": chain,
            "seconds": emcee_seconds,
            "ess": effective_sizes(walker_chains),
            "acceptance": acceptance,
            "discard": discard,
        },
    }


def subsample(telescopes, every):
    """Every `every`-th point of each telescope (all points for every = 1), but at least a tenth
    of a telescope's points: a telescope keeps enough for its two fluxes."""
    for telescope in telescopes:
        step = max(1, min(every, len(telescope.t) // 10))
        for name in ("t", "flux", "sigma"):
            setattr(telescope, name, getattr(telescope, name)[::step])
    return telescopes


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--every", type=int, default=1, help="keep every N-th point")
    parser.add_argument("--warmup", type=int, default=500, help="NUTS warm-up iterations")
    parser.add_argument("--samples", type=int, default=1000, help="NUTS samples")
    parser.add_argument("--walkers", type=int, default=64, help="emcee walkers")
    parser.add_argument("--steps", type=int, default=4000, help="emcee steps (half burn-in)")
    parser.add_argument("--depth", type=int, default=8, help="NUTS's largest tree depth")
    arguments = parser.parse_args()
    telescopes = subsample(event.load(), arguments.every)
    outcome = compare(
        telescopes,
        arguments.warmup,
        arguments.samples,
        arguments.walkers,
        arguments.steps,
        depth=arguments.depth,
    )
    data, layout = outcome["data"], outcome["layout"]
    nuts, ensemble = outcome["nuts"], outcome["emcee"]
    print(f"{data.size} points from {len(telescopes)} telescopes, {len(layout.names)} parameters")
    print(
        f"NUTS: {arguments.warmup} warm-up + {arguments.samples} samples in"
        f" {nuts['seconds']:.1f} s, {nuts['leapfrogs']:.0f} leapfrog steps a sample,"
        f" {nuts['divergences']} divergences"
    )
    print(
        f"emcee: {arguments.walkers} walkers x {arguments.steps} steps in"
        f" {ensemble['seconds']:.1f} s (first {ensemble['discard']} discarded),"
        f" acceptance {ensemble['acceptance']:.2f}"
    )
    print(
        f"{'parameter':>15} {'NUTS mean':>11} {'sd':>8} {'emcee mean':>11} {'sd':>8}"
        f" {'ESS NUTS':>8} {'emcee':>7} {'ESS/s NUTS':>10} {'emcee':>7}"
    )
    a, b = nuts["samples"], ensemble["samples"]
    for j, name in enumerate(layout.names):
        print(
            f"{name:>15} {a[:, j].mean():11.6g} {a[:, j].std():8.2g}"
            f" {b[:, j].mean():11.6g} {b[:, j].std():8.2g}"
            f" {nuts['ess'][j]:8.0f} {ensemble['ess'][j]:7.0f}"
            f" {nuts['ess'][j] / nuts['seconds']:10.2f}"
            f" {ensemble['ess'][j] / ensemble['seconds']:7.2f}"
        )
    worst_nuts = nuts["ess"].min() / nuts["seconds"]
    worst_emcee = ensemble["ess"].min() / ensemble["seconds"]
    print(
        f"least ESS per second over the parameters: NUTS {worst_nuts:.2f}, emcee {worst_emcee:.2f}"
    )


if __name__ == "__main__":
    main()
