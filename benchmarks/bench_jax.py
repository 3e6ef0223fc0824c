"""Cost of calling the laws from JAX (obrivane_jax), against calling the ufuncs directly.

For 1, 100 and 10^4 points of a light curve crossing the source (the linear law), the time of
one call of
- the ufunc obrivane.fspl.linear, the kernel's own cost;
- a jitted obrivane_jax.linear through XLA's foreign-function interface ("ffi");
- the same through jax.pure_callback of the ufunc ("callback");
and the same for the derivatives: the ufunc linear_and_gradient against a jitted jax.jvp (one
call of the gradient kernel, the value and every partial derivative). Each time is the minimum
and the median over repeats, per call, with the results forced (block_until_ready); the overhead
is the JAX time less the ufunc's, the ratio their quotient.

The rule for the callback path: acceptable only if it adds at most 20 us to a call of one point
and at most a factor 1.2 at 10^4 points.

Run with the built module and the package on the path, for example
    PYTHONPATH=build/dev:python python benchmarks/bench_jax.py [--repeat 15]
"""

import argparse
import statistics
import time

import jax

jax.config.update("jax_enable_x64", True)

import jax.numpy as jnp  # noqa: E402
import numpy as np  # noqa: E402
import obrivane_jax  # noqa: E402
from obrivane import fspl  # noqa: E402

RHO = 0.005
U1 = 0.6
SIZES = (1, 100, 10_000)


def per_call(call, number, repeat):
    """(minimum, median) seconds per call over `repeat` blocks of `number` calls."""
    call()  # compiled and warm
    times = []
    for _ in range(repeat):
        start = time.perf_counter()
        for _ in range(number):
            call()
        times.append((time.perf_counter() - start) / number)
    return min(times), statistics.median(times)


def cases(n):
    """(label, callable) pairs for n points: the ufuncs, then each JAX path."""
    u = np.linspace(0.0, 4 * RHO, n) if n > 1 else np.array([0.5 * RHO])
    uj = jnp.asarray(u)
    rows = [("ufunc linear", lambda: fspl.linear(u, RHO, U1))]
    paths = ["ffi", "callback"] if obrivane_jax.backend == "ffi" else ["callback"]
    for path in paths:
        law = obrivane_jax._laws(path)["linear"]
        value = jax.jit(law)
        rows.append((f"jit {path}", lambda value=value: value(uj, RHO, U1).block_until_ready()))
    rows.append(("ufunc linear_and_gradient", lambda: fspl.linear_and_gradient(u, RHO, U1)))
    for path in paths:
        law = obrivane_jax._laws(path)["linear"]
        # The JVP along rho: one call of the gradient kernel, which gives every partial.
        jvp = jax.jit(lambda x, law=law: jax.jvp(lambda r: law(x, r, U1), (RHO,), (1.0,)))
        rows.append((f"jit jvp {path}", lambda jvp=jvp: jax.block_until_ready(jvp(uj))))
    return rows


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--repeat", type=int, default=15)
    arguments = parser.parse_args()
    print(f"jax {jax.__version__}, obrivane_jax backend: {obrivane_jax.backend}")
    print(
        f"{'points':>6} {'call':<28}"
        f" {'min us':>10} {'median us':>10} {'overhead':>18} {'ratio':>12}"
    )
    verdict = {}
    for n in SIZES:
        number = max(5, int(2000 / max(1.0, n / 20)))
        baseline = None
        for label, call in cases(n):
            low, middle = per_call(call, number, arguments.repeat)
            if label.startswith("ufunc"):
                baseline = (low, middle)
                extra = ratio = ""
            else:
                extra = f"{(low - baseline[0]) * 1e6:+8.1f} {(middle - baseline[1]) * 1e6:+8.1f}"
                ratio = f"{low / baseline[0]:5.2f} {middle / baseline[1]:5.2f}"
                verdict[(n, label)] = (low - baseline[0], middle / baseline[1])
            print(
                f"{n:6d} {label:<28} {low * 1e6:10.1f} {middle * 1e6:10.1f} {extra:>18} {ratio:>12}"
            )
    print("overhead and ratio: against the ufunc of the same row group, (min, median)")
    if (1, "jit callback") in verdict:
        small = verdict[(1, "jit callback")][0] * 1e6
        large = verdict[(10_000, "jit callback")][1]
        fits = small <= 20 and large <= 1.2
        print(
            f"callback path: +{small:.1f} us at 1 point (limit 20), x{large:.2f} at 10^4 points"
            f" (limit 1.2): {'within' if fits else 'beyond'} the limits"
        )


if __name__ == "__main__":
    main()
