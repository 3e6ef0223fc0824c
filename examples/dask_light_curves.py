"""Light curves of many events on a Dask cluster (dask.distributed).

Each task computes the uniform-disk light curves of a block of events on a common grid of
epochs in one obrivane.fspl call, the event parameters broadcast against the epochs; the
blocks are spread over the cluster's worker processes and gathered into one array of shape
(events, epochs). By default a LocalCluster is started on
this machine; --address connects to an existing scheduler instead (the workers there must have
obrivane installed).

Threads: every worker process has its own obrivane worker pool, sized when the process first
calls obrivane, from RAYON_NUM_THREADS. With W worker processes of T Dask threads each on a
machine of C cores, RAYON_NUM_THREADS = max(1, C // (W * T)) keeps the machine busy without
oversubscribing it; --pool-threads sets it for the LocalCluster's workers (an existing
cluster's workers take it from their own environment).

Run: python examples/dask_light_curves.py [--events N] [--epochs M] [--address tcp://host:8786]
     python examples/dask_light_curves.py --in-process   (no Dask: the same computation here)
"""

import argparse
import os
import time

import numpy as np
from obrivane import fspl


def events(count, seed=2026):
    """Reproducible event parameters (t0, u0, tE, rho): t0 in days, u0 and rho in Einstein
    radii, tE in days."""
    rng = np.random.default_rng(seed)
    return np.column_stack(
        [
            rng.uniform(0.0, 100.0, count),
            rng.uniform(0.0, 1.0, count),
            rng.lognormal(np.log(20.0), 0.7, count),
            10.0 ** rng.uniform(-3.0, -1.0, count),
        ]
    )


def light_curves(block, epochs):
    """Uniform-disk magnifications of each event of block (rows t0, u0, tE, rho) at epochs:
    an array of shape (events, epochs)."""
    t0, u0, tE, rho = (column[:, np.newaxis] for column in np.asarray(block).T)
    u = np.hypot(u0, (epochs - t0) / tE)
    return fspl.uniform(u, rho)


def in_process(parameters, epochs):
    return light_curves(parameters, epochs)


def on_cluster(client, parameters, epochs, block_size):
    """The same array, computed in blocks of events on the client's cluster."""
    epochs_on_cluster = client.scatter(epochs, broadcast=True)
    blocks = [parameters[i : i + block_size] for i in range(0, len(parameters), block_size)]
    futures = client.map(light_curves, blocks, epochs=epochs_on_cluster, pure=False)
    return np.concatenate(client.gather(futures))


def local_cluster(workers, pool_threads):
    from dask.distributed import LocalCluster

    return LocalCluster(
        n_workers=workers,
        threads_per_worker=1,
        processes=True,
        dashboard_address=None,
        # Set in each worker process before it starts, so before obrivane sizes its pool there.
        env={"RAYON_NUM_THREADS": str(pool_threads)},
    )


def run(event_count, epoch_count, address=None, workers=2, pool_threads=None, block_size=250):
    """Computes the light curves on a cluster; returns (array, seconds, seconds to start)."""
    from dask.distributed import Client

    parameters = events(event_count)
    epochs = np.linspace(0.0, 100.0, epoch_count)
    started = time.perf_counter()
    if address is None:
        cores = os.cpu_count() or 1
        cluster = local_cluster(workers, pool_threads or max(1, cores // workers))
        client = Client(cluster)
    else:
        cluster, client = None, Client(address)
    try:
        client.wait_for_workers(1)
        ready = time.perf_counter()
        result = on_cluster(client, parameters, epochs, block_size)
        finished = time.perf_counter()
    finally:
        client.close()
        if cluster is not None:
            cluster.close()
    return result, finished - ready, ready - started


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--events", type=int, default=10_000)
    parser.add_argument("--epochs", type=int, default=1_000)
    parser.add_argument("--address", help="address of an existing scheduler")
    parser.add_argument("--workers", type=int, default=2, help="LocalCluster worker processes")
    parser.add_argument("--pool-threads", type=int, help="RAYON_NUM_THREADS for those workers")
    parser.add_argument("--block", type=int, default=250, help="events per task")
    parser.add_argument("--in-process", action="store_true", help="compute here, without Dask")
    arguments = parser.parse_args()

    if arguments.in_process:
        started = time.perf_counter()
        result = in_process(events(arguments.events), np.linspace(0.0, 100.0, arguments.epochs))
        seconds, where = time.perf_counter() - started, "in process"
    else:
        result, seconds, startup = run(
            arguments.events,
            arguments.epochs,
            arguments.address,
            arguments.workers,
            arguments.pool_threads,
            arguments.block,
        )
        where = f"on the cluster (started in {startup:.2f} s)"
    print(f"{result.shape[0]} events x {result.shape[1]} epochs {where}: {seconds:.2f} s")
    print(f"peak magnification: median {np.median(result.max(axis=1)):.3f}, max {result.max():.1f}")


if __name__ == "__main__":
    main()
