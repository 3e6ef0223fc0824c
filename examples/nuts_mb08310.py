"""Posterior sampling of MOA-2008-BLG-310 with NUTS (NumPyro, through obrivane_jax) and emcee.

The model is that of fit_mb08310.py with every parameter free: the event (t0, u0, tE, rho), one
linear limb-darkening coefficient u1 per band, and each telescope's source and blended fluxes
(fs_k, fb_k), 23 parameters in all. The priors are flat (u0, tE and rho positive), except for u1,
whose prior is a normal distribution of width 0.1 about the tabulated value of its band
(LIMB_DARKENING of fit_mb08310.py), truncated to [0, 1]: the light curve measures the limb
darkening of the bands with many points across the source, the prior holds the others near
theory. The likelihood is Gaussian in the fluxes.

Both samplers draw from the same log density, evaluated by obrivane_jax.linear:
- NumPyro's NUTS, which follows its gradient (the exact derivatives of the magnification from
  obrivane's gradient kernels, through JAX's chain rule), with a dense mass matrix adapted in the
  warm-up;
- emcee's affine-invariant ensemble, which needs only the values, the walkers of a step evaluated
  in one call (jax.vmap).
Both start at the least-squares solution. The script prints each one's effective sample size
(ESS, NumPyro's estimator on each parameter, emcee's walkers taken as chains) and ESS per second
of wall time, warm-up and burn-in included.

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
POSITIVE = ("u0", "tE", "rho")
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


def model(data, centre, scale):
    """The NumPyro model: the priors, and the likelihood as a factor. t0 and the fluxes are
    sampled as (value - centre) / scale, the scales of the least-squares solution (a flat prior
    stays flat): NUTS then starts with steps of the right size in every direction."""
    p = {}
    for name in ("t0", "fs", "fb"):
        shape = np.shape(centre[name])
        z = numpyro.sample(f"{name}_z", dist.ImproperUniform(dist.constraints.real, (), shape))
        p[name] = numpyro.deterministic(name, centre[name] + scale[name] * z)
    for name in POSITIVE:
        p[name] = numpyro.sample(name, dist.ImproperUniform(dist.constraints.positive, (), ()))
    p["u1"] = numpyro.sample("u1", u1_prior(data))
    numpyro.factor("likelihood", log_likelihood(p, data))


class Layout:
    """The parameters as one vector (for emcee): t0, u0, tE, rho, u1 by band, fs, fb."""

    def __init__(self, data):
        k, bands = len(data.telescopes), len(data.bands)
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


def log_posterior_function(data, layout):
    """log posterior of a vector of parameters, up to a constant (-inf outside the priors'
    support), jitted and vectorised over the rows of a matrix of walkers."""
    prior = u1_prior(data)

    def log_posterior(vector):
        p = layout.unpack(vector)
        inside = (p["u0"] > 0) & (p["tE"] > 0) & (p["rho"] > 0)
        inside &= jnp.all((p["u1"] >= 0) & (p["u1"] <= 1))
        value = jnp.sum(prior.log_prob(p["u1"])) + log_likelihood(p, data)
        return jnp.where(inside, value, -jnp.inf)

    return jax.jit(jax.vmap(log_posterior))


def least_squares_start(telescopes):
    """The least-squares solution of every parameter but u1 (jacobian_mb08310.py, with the
    analytic Jacobian) as a dictionary, and its covariance matrix in the order of Layout."""
    photometry = least_squares.Photometry(telescopes)
    result = least_squares.fit(photometry, photometry.jacobian)
    jacobian = photometry.jacobian(result.x)
    covariance = np.linalg.inv(jacobian.T @ jacobian)
    order = [0, 1, 2, 3, *range(4, len(result.x), 2), *range(5, len(result.x), 2)]
    x = result.x[order]
    k = len(telescopes)
    start = {"t0": x[0], "u0": x[1], "tE": x[2], "rho": x[3], "fs": x[4 : 4 + k], "fb": x[4 + k :]}
    return start, covariance[np.ix_(order, order)]


def run_nuts(data, start, errors, warmup, samples, seed=0, depth=8):
    """(samples by parameter name, seconds, divergences) of one NUTS chain started at `start`."""
    centre = {name: jnp.asarray(start[name]) for name in ("t0", "fs", "fb")}
    scale = {name: jnp.asarray(errors[name]) for name in ("t0", "fs", "fb")}
    values = {f"{name}_z": jnp.zeros_like(centre[name]) for name in centre}
    values.update({name: jnp.asarray(start[name]) for name in (*POSITIVE, "u1")})
    kernel = NUTS(
        model, dense_mass=True, max_tree_depth=depth, init_strategy=init_to_value(values=values)
    )
    mcmc = MCMC(kernel, num_warmup=warmup, num_samples=samples, progress_bar=False)
    begin = time.perf_counter()
    mcmc.run(jax.random.PRNGKey(seed), data, centre, scale, extra_fields=("diverging",))
    drawn = jax.block_until_ready(mcmc.get_samples())
    seconds = time.perf_counter() - begin
    divergences = int(np.sum(mcmc.get_extra_fields()["diverging"]))
    return {name: np.asarray(value) for name, value in drawn.items()}, seconds, divergences


def run_emcee(data, layout, start, covariance, walkers, steps, seed=0):
    """(chain of shape (steps, walkers, parameters), seconds, acceptance) of an emcee ensemble
    whose walkers start drawn from the least-squares solution's normal approximation."""
    log_posterior = log_posterior_function(data, layout)
    rng = np.random.default_rng(seed)
    initial = rng.multivariate_normal(layout.pack(start), covariance, size=walkers)
    initial[:, 1:4] = np.abs(initial[:, 1:4])
    initial[:, 4 : 4 + len(data.bands)] = np.clip(initial[:, 4 : 4 + len(data.bands)], 0.01, 0.99)

    def batch(thetas):
        return np.asarray(log_posterior(jnp.asarray(thetas)))

    sampler = emcee.EnsembleSampler(walkers, covariance.shape[0], batch, vectorize=True)
    begin = time.perf_counter()
    sampler.run_mcmc(initial, steps, progress=False)
    seconds = time.perf_counter() - begin
    return sampler.get_chain(), seconds, float(np.mean(sampler.acceptance_fraction))


def nuts_ess(samples, layout):
    """ESS of each entry of the vector layout, from one NUTS chain."""
    columns = np.column_stack(
        [np.reshape(samples[name], (len(samples[name]), -1)) for name in layout.sizes]
    )
    return np.array([effective_sample_size(columns[None, :, j]) for j in range(columns.shape[1])])


def emcee_ess(chain, discard):
    """ESS of each parameter from the walkers after `discard` steps, each walker a chain."""
    kept = chain[discard:]
    return np.array([effective_sample_size(kept[:, :, j].T) for j in range(kept.shape[2])])


def compare(telescopes, warmup, samples, walkers, steps, seed=0, depth=8):
    """Both samplers on the telescopes' points: a dictionary of what they give."""
    data = Data(telescopes)
    layout = Layout(data)
    start, covariance = least_squares_start(telescopes)
    start["u1"] = np.asarray(data.u1_prior)
    # The covariance of the vector of Layout: u1 (not fitted by least squares) from its prior.
    bands, event_size = len(data.bands), 4
    full = np.zeros((len(layout.names),) * 2)
    keep = [*range(event_size), *range(event_size + bands, len(layout.names))]
    full[np.ix_(keep, keep)] = covariance
    full[event_size : event_size + bands, event_size : event_size + bands] = np.diag(
        np.full(bands, U1_WIDTH**2)
    )
    deviation = np.sqrt(np.diag(full))
    errors = layout.unpack(deviation)
    drawn, nuts_seconds, divergences = run_nuts(data, start, errors, warmup, samples, seed, depth)
    chain, emcee_seconds, acceptance = run_emcee(data, layout, start, full, walkers, steps, seed)
    discard = steps // 2
    return {
        "data": data,
        "layout": layout,
        "start": start,
        "nuts": {
            "samples": drawn,
            "seconds": nuts_seconds,
            "ess": nuts_ess(drawn, layout),
            "divergences": divergences,
        },
        "emcee": {
            "chain": chain,
            "seconds": emcee_seconds,
            "ess": emcee_ess(chain, discard),
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
    data, layout, nuts, ensemble = (
        outcome["data"],
        outcome["layout"],
        outcome["nuts"],
        outcome["emcee"],
    )
    print(f"{data.size} points from {len(telescopes)} telescopes, {len(layout.names)} parameters")
    print(
        f"NUTS: {arguments.warmup} warm-up + {arguments.samples} samples in"
        f" {nuts['seconds']:.1f} s, {nuts['divergences']} divergences"
    )
    print(
        f"emcee: {arguments.walkers} walkers x {arguments.steps} steps in"
        f" {ensemble['seconds']:.1f} s (first {ensemble['discard']} discarded),"
        f" acceptance {ensemble['acceptance']:.2f}"
    )
    chain = ensemble["chain"][ensemble["discard"] :].reshape(-1, len(layout.names))
    columns = np.column_stack(
        [np.reshape(nuts["samples"][n], (arguments.samples, -1)) for n in layout.sizes]
    )
    print(
        f"{'parameter':>16} {'NUTS mean':>12} {'sd':>9} {'emcee mean':>12} {'sd':>9}"
        f" {'ESS NUTS':>9} {'ESS emcee':>9} {'ESS/s NUTS':>10} {'ESS/s emcee':>11}"
    )
    for j, name in enumerate(layout.names):
        print(
            f"{name:>16} {columns[:, j].mean():12.6g} {columns[:, j].std():9.2g}"
            f" {chain[:, j].mean():12.6g} {chain[:, j].std():9.2g}"
            f" {nuts['ess'][j]:9.0f} {ensemble['ess'][j]:9.0f}"
            f" {nuts['ess'][j] / nuts['seconds']:10.2f}"
            f" {ensemble['ess'][j] / ensemble['seconds']:11.2f}"
        )
    worst_nuts = nuts["ess"].min() / nuts["seconds"]
    worst_emcee = ensemble["ess"].min() / ensemble["seconds"]
    print(
        f"least ESS per second over the parameters: NUTS {worst_nuts:.2f}, emcee"
        f" {worst_emcee:.2f} ({worst_nuts / worst_emcee:.1f} times)"
    )


if __name__ == "__main__":
    main()
