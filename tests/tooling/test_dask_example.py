"""The scale-out example on a real two-process Dask cluster: the light curves gathered from the
workers equal, bit for bit, the ones computed in this process."""

import os

import numpy as np
import pytest
from example_loader import EXAMPLES, load_example

pytestmark = pytest.mark.tooling


def test_two_process_cluster_gives_the_in_process_result_bit_for_bit(monkeypatch):
    pytest.importorskip("dask.distributed")
    example = load_example("dask_light_curves")
    # The tasks name the example's functions by module: the workers import it as this process
    # did (they start with this process's search path).
    monkeypatch.syspath_prepend(str(EXAMPLES))
    events, epochs = 37, 120
    result, seconds, startup = example.run(events, epochs, workers=2, pool_threads=1, block_size=5)
    expected = example.in_process(example.events(events), np.linspace(0.0, 100.0, epochs))
    assert result.shape == (events, epochs)
    assert result.tobytes() == expected.tobytes()
    assert np.all(np.isfinite(result)) and np.all(result > 1.0)
    assert seconds > 0 and startup > 0


def test_workers_are_separate_processes_with_the_pool_size_given():
    distributed = pytest.importorskip("dask.distributed")
    example = load_example("dask_light_curves")
    with example.local_cluster(2, 3) as cluster, distributed.Client(cluster) as client:
        client.wait_for_workers(2)
        seen = client.run(lambda: (os.getpid(), os.environ.get("RAYON_NUM_THREADS")))
    assert len({pid for pid, _ in seen.values()} | {os.getpid()}) == 3
    assert {threads for _, threads in seen.values()} == {"3"}
