"""Cost of the complete elliptic integrals per element, next to SciPy's ufuncs on the same arrays.

    cmake -S . -B build/bench -G Ninja -DOBRIVANE_BENCHMARKS=ON && cmake --build build/bench
    python3 benchmarks/bench_elliptic.py --native build/bench/bench_elliptic

The parameters are those the uniform-disk kernel forms: for a source radius rho (log-uniform in
[1e-3, 0.5] Einstein radii) and a lens-source separation u (uniform in [0, 3] Einstein radii),

    d = u - rho,  s = rho + u,  S = sqrt(d^2 + 4),  n = 4 rho u / s^2,  m = (sqrt(4 n) / S)^2.

The native program (benchmarks/native/bench_elliptic.cpp) times ellipk(m), ellipe(m),
ellippi(n, m), elliprf(0, 1 - m, 1) and elliprj(0, 1 - m, 1, 1 - n) in a C++ loop over the
arrays; SciPy times scipy.special.ellipk, ellipe, elliprf and elliprj on the same arrays, and Pi
as the sum R_F(0, 1 - m, 1) + n/3 R_J(0, 1 - m, 1, 1 - n) of two ufunc calls (SciPy has no
complete integral of the third kind). Each figure is the fastest of several passes.
"""

import argparse
import subprocess
import sys
import tempfile
import time
from pathlib import Path

import numpy as np
import scipy.special as special


def uniform_disk_parameters(count: int, seed: int) -> tuple[np.ndarray, np.ndarray]:
    rng = np.random.default_rng(seed)
    rho = 10.0 ** rng.uniform(-3, np.log10(0.5), count)
    u = rng.uniform(0, 3, count)
    d = u - rho
    s = rho + u
    big_s = np.sqrt(d * d + 4)
    n = ((rho * 4) * u) / (s * s)
    k = np.sqrt(n * 4) / big_s
    m = k * k
    # The kernel takes a closed form, without elliptic integrals, where |u - rho| < 1e-5.
    keep = np.abs(d) >= 1e-5
    return m[keep], n[keep]


def best_of(repeats: int, function) -> float:
    best = float("inf")
    for _ in range(repeats):
        start = time.perf_counter_ns()
        function()
        best = min(best, time.perf_counter_ns() - start)
    return best


def scipy_timings(m: np.ndarray, n: np.ndarray, repeats: int) -> dict[str, float]:
    v = 1 - m
    p = 1 - n
    zeros, ones = np.zeros_like(m), np.ones_like(m)
    count = m.size
    return {
        "ellipk": best_of(repeats, lambda: special.ellipk(m)) / count,
        "ellipe": best_of(repeats, lambda: special.ellipe(m)) / count,
        "ellippi": best_of(
            repeats,
            lambda: special.elliprf(zeros, v, ones) + n * special.elliprj(zeros, v, ones, p) / 3,
        )
        / count,
        "elliprf": best_of(repeats, lambda: special.elliprf(zeros, v, ones)) / count,
        "elliprj": best_of(repeats, lambda: special.elliprj(zeros, v, ones, p)) / count,
    }


def native_timings(program: Path, m: np.ndarray, n: np.ndarray, repeats: int) -> dict[str, float]:
    with tempfile.NamedTemporaryFile(suffix=".bin") as arguments:
        np.array([m.size], dtype="<u8").tofile(arguments)
        m.astype("<f8").tofile(arguments)
        n.astype("<f8").tofile(arguments)
        arguments.flush()
        completed = subprocess.run(
            [str(program), arguments.name, str(repeats)], capture_output=True, text=True, check=True
        )
    timings = {}
    for line in completed.stdout.splitlines():
        name, nanoseconds, _checksum = line.split()
        timings[name] = float(nanoseconds)
    return timings


def main(argv: list[str]) -> int:
    parser = argparse.ArgumentParser(
        description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter
    )
    parser.add_argument("--native", type=Path, default=Path("build/bench/bench_elliptic"))
    parser.add_argument("--count", type=int, default=200_000)
    parser.add_argument("--repeats", type=int, default=20)
    parser.add_argument("--seed", type=int, default=1)
    options = parser.parse_args(argv)

    m, n = uniform_disk_parameters(options.count, options.seed)
    ours = native_timings(options.native, m, n, options.repeats)
    theirs = scipy_timings(m, n, options.repeats)
    print(f"{m.size} uniform-disk parameter pairs; m in [{m.min():.3g}, {m.max():.3g}], ", end="")
    print(f"{np.mean(m >= 0.9):.1%} of them at m >= 0.9 (outside the Taylor table)")
    print(f"{'routine':>8} {'ours ns':>9} {'SciPy ns':>9} {'ratio':>6}")
    for name in ("ellipk", "ellipe", "ellippi", "elliprf", "elliprj"):
        print(f"{name:>8} {ours[name]:9.1f} {theirs[name]:9.1f} {theirs[name] / ours[name]:6.2f}")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
