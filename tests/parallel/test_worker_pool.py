"""The process-wide worker pool: its size rules, observed from outside the process where the
environment or the thread count matters, failure carrying, nested loops, threads and fork."""

import json
import os
import subprocess
import sys
import textwrap
import threading
import time

import obrivane
import pytest

PANIC = "pyo3_runtime.PanicException"


def run_python(code: str, env_changes: dict | None = None, timeout: float = 60) -> dict:
    """Runs code in a fresh interpreter with the given environment changes (None removes a
    variable); the code prints one JSON document as its last line, which is returned."""
    env = {key: value for key, value in os.environb.items()}
    for variable in (b"RAYON_NUM_THREADS", b"RAYON_RS_NUM_CPUS"):
        env.pop(variable, None)
    for key, value in (env_changes or {}).items():
        key_bytes = key.encode() if isinstance(key, str) else key
        if value is None:
            env.pop(key_bytes, None)
        else:
            env[key_bytes] = value.encode() if isinstance(value, str) else value
    completed = subprocess.run(
        [sys.executable, "-c", textwrap.dedent(code)],
        env=env,
        capture_output=True,
        text=True,
        timeout=timeout,
    )
    assert completed.returncode == 0, completed.stderr
    return json.loads(completed.stdout.strip().splitlines()[-1])


def with_thread_count(code: str) -> str:
    """Prefixes code with thread_count(), the number of threads of the running process."""
    counter = """
def thread_count():
    for line in open("/proc/self/status"):
        if line.startswith("Threads:"):
            return int(line.split()[1])
"""
    return counter + textwrap.dedent(code)


def expected_cgroup_quota() -> int | None:
    """The CPU quota of this process's control group, read from the standard locations
    (v1 cpu controller, else v2), the smallest along the path to the root."""
    try:
        table = open("/proc/self/cgroup").read().splitlines()
    except OSError:
        return None
    v1 = [line.split(":", 2) for line in table if "cpu" in line.split(":")[1].split(",")]
    v2 = [line.split(":", 2) for line in table if line.split(":")[1] == ""]
    quotas = []
    if v1:
        mount = "/sys/fs/cgroup/cpu"
        directory = os.path.join(mount, v1[-1][2].lstrip("/"))
        while directory.startswith(mount):
            try:
                limit = int(open(os.path.join(directory, "cpu.cfs_quota_us")).read())
                period = int(open(os.path.join(directory, "cpu.cfs_period_us")).read())
                if limit >= 0 and period > 0:
                    quotas.append(limit // period)
            except (OSError, ValueError):
                pass
            directory = os.path.dirname(directory)
    elif v2:
        directory = os.path.join("/sys/fs/cgroup", v2[-1][2].lstrip("/"))
        while directory.startswith("/sys/fs/cgroup"):
            try:
                limit, period = open(os.path.join(directory, "cpu.max")).read().split()[:2]
                if limit != "max" and int(period) > 0:
                    quotas.append(int(limit) // int(period))
            except (OSError, ValueError):
                pass
            directory = os.path.dirname(directory)
    return min(quotas) if quotas else None


def expected_default_size() -> int:
    available = len(os.sched_getaffinity(0))
    quota = expected_cgroup_quota()
    return min(available, max(quota, 1)) if quota is not None else available


# --- the number rule of the two environment variables ---------------------------------------


@pytest.mark.parametrize(
    "text, expected",
    [
        ("4", 4),
        ("+4", 4),
        ("0", 0),
        ("007", 7),
        ("18446744073709551615", 2**64 - 1),
        ("18446744073709551616", None),
        ("99999999999999999999999", None),
        ("", None),
        ("+", None),
        ("++4", None),
        ("-1", None),
        ("-0", None),
        (" 4", None),
        ("4 ", None),
        ("4\n", None),
        ("0x10", None),
        ("1e3", None),
        ("4.0", None),
        ("\u0663", None),  # a non-ASCII digit
        (b"\xff4", None),  # not UTF-8
    ],
)
def test_thread_count_number_rule(testing_module, text, expected):
    assert testing_module.parse_thread_count(text) == expected


# --- sizing from the environment, read when the pool is created -----------------------------

SIZE_FROM_ENVIRONMENT = """
import json, _obrivane_testing as t
print(json.dumps(t.configured_pool_size()))
"""


@pytest.mark.parametrize(
    "environment, expected",
    [
        ({"RAYON_NUM_THREADS": "3"}, 3),
        ({"RAYON_NUM_THREADS": "+4"}, 4),
        ({"RAYON_NUM_THREADS": "0"}, "default"),
        ({"RAYON_NUM_THREADS": "0", "RAYON_RS_NUM_CPUS": "3"}, "default"),
        ({"RAYON_NUM_THREADS": " 4", "RAYON_RS_NUM_CPUS": "3"}, 3),
        ({"RAYON_NUM_THREADS": "-1", "RAYON_RS_NUM_CPUS": "3"}, 3),
        ({"RAYON_NUM_THREADS": b"\xff", "RAYON_RS_NUM_CPUS": "5"}, 5),
        ({"RAYON_NUM_THREADS": "", "RAYON_RS_NUM_CPUS": "+6"}, 6),
        ({"RAYON_NUM_THREADS": "7", "RAYON_RS_NUM_CPUS": "3"}, 7),
        ({"RAYON_RS_NUM_CPUS": "0"}, "default"),
        ({"RAYON_RS_NUM_CPUS": "two"}, "default"),
        ({}, "default"),
        ({"RAYON_NUM_THREADS": "65535"}, 65535),
        ({"RAYON_NUM_THREADS": "65536"}, 65535),
        ({"RAYON_NUM_THREADS": "18446744073709551615"}, 65535),
        ({"RAYON_NUM_THREADS": "18446744073709551616", "RAYON_RS_NUM_CPUS": "2"}, 2),
        ({"RAYON_RS_NUM_CPUS": "100000"}, 65535),
    ],
)
def test_pool_size_from_environment(environment, expected):
    size = run_python(SIZE_FROM_ENVIRONMENT, environment)
    assert size == (expected_default_size() if expected == "default" else expected)


def test_default_size_follows_the_affinity_mask():
    code = """
    import json, os, _obrivane_testing as t
    os.sched_setaffinity(0, {min(os.sched_getaffinity(0))})
    print(json.dumps(t.configured_pool_size()))
    """
    assert run_python(code) == 1


# --- the control-group quota, read from prepared file trees ---------------------------------


def write_tree(root, files: dict) -> None:
    for relative, contents in files.items():
        path = root / relative
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_text(contents)


def mountinfo_line(mount_point, root="/", options="rw,cpu,cpuacct", fs_type="cgroup") -> str:
    return f"32 31 0:29 {root} {mount_point} rw,relatime shared:9 - {fs_type} cgroup {options}\n"


def quota_of(testing_module, tmp_path, files: dict, mountinfo: str = ""):
    write_tree(tmp_path, files)
    (tmp_path / "mountinfo").write_text(mountinfo)
    return testing_module.cgroup_cpu_quota(
        str(tmp_path / "cgroup"), str(tmp_path / "mountinfo"), str(tmp_path / "v2")
    )


@pytest.mark.parametrize(
    "levels, expected",
    [
        ({"": "max 100000\n"}, None),
        ({"": "200000 100000\n"}, 2),
        ({"": "250000 100000\n"}, 2),
        ({"": "50000 100000\n"}, 0),
        ({"": "300000 100000\n", "..": "150000 100000\n"}, 1),
        ({"": "max 100000\n", "..": "400000 100000\n"}, 4),
        ({"": "400000 0\n"}, None),
        ({"": "garbage\n"}, None),
    ],
)
def test_cgroup_v2_quota(testing_module, tmp_path, levels, expected):
    files = {
        "cgroup": "0::/system.slice/job\n",
        "v2/system.slice/job/cgroup.controllers": "cpu io\n",
    }
    for level, contents in levels.items():
        directory = "v2/system.slice/job" if level == "" else "v2/system.slice"
        files[f"{directory}/cpu.max"] = contents
    assert quota_of(testing_module, tmp_path, files) == expected


def test_cgroup_v2_needs_the_unified_hierarchy(testing_module, tmp_path):
    files = {"cgroup": "0::/job\n", "v2/job/cpu.max": "200000 100000\n"}
    assert quota_of(testing_module, tmp_path, files) is None


@pytest.mark.parametrize(
    "quota, period, parent_quota, expected",
    [
        ("-1", "100000", "-1", None),
        ("200000", "100000", "-1", 2),
        ("350000", "100000", "200000", 2),
        ("-1", "100000", "100000", 1),
        ("99999", "100000", "-1", 0),
    ],
)
def test_cgroup_v1_quota(testing_module, tmp_path, quota, period, parent_quota, expected):
    mount = tmp_path / "v1cpu"
    files = {
        "cgroup": "5:memory:/job\n4:cpu,cpuacct:/batch/job\n0::/job\n",
        "v1cpu/batch/job/cpu.cfs_quota_us": quota + "\n",
        "v1cpu/batch/job/cpu.cfs_period_us": period + "\n",
        "v1cpu/batch/cpu.cfs_quota_us": parent_quota + "\n",
        "v1cpu/batch/cpu.cfs_period_us": "100000\n",
        # v1 names its controllers and so takes precedence over the unified hierarchy.
        "v2/job/cgroup.controllers": "cpu\n",
        "v2/job/cpu.max": "100000 100000\n",
    }
    mountinfo = mountinfo_line(tmp_path / "v2", fs_type="cgroup2", options="rw") + mountinfo_line(
        mount
    )
    assert quota_of(testing_module, tmp_path, files, mountinfo) == expected


def test_cgroup_v1_bind_mount_of_a_subtree(testing_module, tmp_path):
    mount = tmp_path / "v1cpu"
    files = {
        "cgroup": "4:cpu,cpuacct:/docker/abc\n",
        "v1cpu/cpu.cfs_quota_us": "300000\n",
        "v1cpu/cpu.cfs_period_us": "100000\n",
    }
    mountinfo = mountinfo_line(tmp_path / "elsewhere", root="/other") + mountinfo_line(
        mount, root="/docker/abc"
    )
    assert quota_of(testing_module, tmp_path, files, mountinfo) == 3


def test_cgroup_without_cpu_controller_or_files(testing_module, tmp_path):
    assert quota_of(testing_module, tmp_path, {"cgroup": "5:memory:/job\n"}) is None
    assert (
        testing_module.cgroup_cpu_quota(
            str(tmp_path / "missing"), str(tmp_path / "missing"), str(tmp_path)
        )
        is None
    )


# --- the pool as seen from outside the process ----------------------------------------------

THREADS_AFTER_FIRST_USE = with_thread_count(
    """
    import json, obrivane
    before = thread_count()
    obrivane.witt_mao_magnification([], 1.0, 1.0)
    after_first = thread_count()
    obrivane.witt_mao_magnification([0.5, 1.5, 2.5], 1.0, 0.1)
    print(json.dumps([before, after_first, thread_count()]))
    """
)


@pytest.mark.parametrize(
    "environment, workers",
    [
        ({"RAYON_NUM_THREADS": "1"}, 1),
        ({"RAYON_NUM_THREADS": "+4"}, 4),
        ({"RAYON_NUM_THREADS": "-1", "RAYON_RS_NUM_CPUS": "3"}, 3),
        ({"RAYON_NUM_THREADS": "0"}, "default"),
    ],
)
def test_workers_started_by_the_first_map(environment, workers):
    if workers == "default":
        workers = expected_default_size()
    before, after_first, after_second = run_python(THREADS_AFTER_FIRST_USE, environment)
    assert before == 1  # nothing is started at import
    assert after_first == 1 + workers  # even an empty map creates the pool
    assert after_second == 1 + workers  # and it is reused


def test_empty_batched_map_creates_the_pool():
    code = with_thread_count(
        """
    import json, obrivane
    result = obrivane.multi_witt_mao_magnification([1.0], [], [1.0])
    print(json.dumps([result, thread_count()]))
    """
    )
    assert run_python(code, {"RAYON_NUM_THREADS": "3"}) == [[], 4]


def test_affinity_mask_limits_the_default_pool():
    code = with_thread_count(
        """
    import json, os, obrivane
    os.sched_setaffinity(0, {min(os.sched_getaffinity(0))})
    obrivane.witt_mao_magnification([1.0, 2.0], 1.0, 0.5)
    print(json.dumps(thread_count()))
    """
    )
    assert run_python(code) == 2


def test_idle_pool_does_not_spin():
    code = """
    import json, time, obrivane
    obrivane.witt_mao_magnification([0.1 * i for i in range(10000)], 1.0, 0.5)
    time.sleep(0.3)
    start = time.process_time()
    time.sleep(0.5)
    print(json.dumps(time.process_time() - start))
    """
    assert run_python(code, {"RAYON_NUM_THREADS": "2"}) < 0.05


def test_waiting_caller_does_not_spin():
    # 40 items that each sleep 20 ms on 2 workers: about 0.4 s of waiting, almost no CPU.
    code = """
    import json, time, _obrivane_testing as t
    t.pool_size()
    time.sleep(0.2)
    start = time.process_time()
    t.probe_parallel_for(40, [], 0.02)
    print(json.dumps(time.process_time() - start))
    """
    assert run_python(code, {"RAYON_NUM_THREADS": "2"}) < 0.1


# AddressSanitizer maps memory of its own in each new thread (an alternate signal stack) and aborts
# the process where that fails: under an address-space limit it fails about as often as the pool's
# own thread creation, so the outcome would be a matter of timing. The ordinary build runs it.
@pytest.mark.skipif(
    "libasan" in os.environ.get("LD_PRELOAD", ""),
    reason="AddressSanitizer aborts where its own per-thread memory cannot be mapped",
)
def test_pool_creation_failure_is_an_internal_failure():
    # Too little address space for 64 stacks of 2 MiB: thread creation fails part way.
    code = """
    import json, resource, obrivane
    size_kib = next(int(line.split()[1]) for line in open("/proc/self/status")
                    if line.startswith("VmSize:"))
    resource.setrlimit(resource.RLIMIT_AS, ((size_kib + 24 * 1024) * 1024, resource.RLIM_INFINITY))
    outcomes = []
    for _ in range(2):
        try:
            obrivane.witt_mao_magnification([1.0, 2.0], 1.0, 0.5)
            outcomes.append(None)
        except BaseException as failure:
            outcomes.append([type(failure).__module__ + "." + type(failure).__name__, str(failure)])
    print(json.dumps(outcomes))
    """
    outcomes = run_python(code, {"RAYON_NUM_THREADS": "64"})
    for outcome in outcomes:
        assert outcome is not None
        kind, message = outcome
        assert kind == PANIC
        assert message.startswith("The global thread pool has not been initialized.")


# --- where the work runs --------------------------------------------------------------------


@pytest.mark.parametrize(
    "pool, items, workers, on_caller",
    [
        ("1", 50, 1, 0),
        ("2", 100, 2, 0),
        ("2", 1, 0, 1),  # a single item is evaluated on the calling thread
        ("2", 0, 0, 0),
    ],
)
def test_items_run_on_the_workers(pool, items, workers, on_caller):
    code = f"""
    import json, _obrivane_testing as t
    print(json.dumps(t.probe_threads({items}, 0.002)))
    """
    assert run_python(code, {"RAYON_NUM_THREADS": pool}) == [workers, on_caller]


@pytest.mark.parametrize("items", [0, 1, 2, 3, 17, 1000])
def test_every_item_lands_in_its_slot(testing_module, items):
    assert testing_module.probe_parallel_for(items, [], 0.0) == [float(i) for i in range(items)]


# --- failures inside the pool ---------------------------------------------------------------

FAILURE_CASES = [
    (2, [0, 1], "element 0 failed"),
    (2, [1], "element 1 failed"),
    (100, [99], "element 99 failed"),
    (100, [50, 49], "element 49 failed"),
    (100, [0, 99], "element 0 failed"),
    (1000, [999, 512, 511, 3], "element 3 failed"),
    (1, [0], "element 0 failed"),
]


@pytest.mark.parametrize("items, failing, message", FAILURE_CASES)
def test_failure_of_the_first_half_wins(testing_module, items, failing, message):
    # Each piece stops at its first failure and the lower half's failure wins at every split,
    # so the lowest failing index is reported whatever the schedule.
    with pytest.raises(BaseException) as caught:
        testing_module.probe_parallel_for(items, failing, 0.0)
    assert f"{type(caught.value).__module__}.{type(caught.value).__name__}" == PANIC
    assert str(caught.value) == message
    assert not isinstance(caught.value, Exception)


def test_failures_are_the_same_for_every_pool_size():
    code = f"""
    import json, _obrivane_testing as t
    messages = []
    for items, failing, _ in {FAILURE_CASES!r}:
        try:
            t.probe_parallel_for(items, failing, 0.0)
        except BaseException as failure:
            messages.append(str(failure))
    print(json.dumps(messages))
    """
    expected = [message for _, _, message in FAILURE_CASES]
    for pool in ("1", "3", "8"):
        assert run_python(code, {"RAYON_NUM_THREADS": pool}) == expected


def test_failure_waits_for_the_pieces_running_alongside(testing_module):
    # Item 63 fails last; every other item sleeps first. The failure is raised only once all
    # 64 items have been evaluated, and nothing is still running afterwards.
    with pytest.raises(BaseException, match="element 63 failed"):
        testing_module.probe_parallel_for(64, [63], 0.003)
    assert testing_module.probe_evaluations() == 64
    with pytest.raises(BaseException, match="element 0 failed"):
        testing_module.probe_parallel_for(64, [0], 0.003)
    settled = testing_module.probe_evaluations()
    time.sleep(0.05)
    assert testing_module.probe_evaluations() == settled


def test_pool_works_after_a_failure(testing_module):
    with pytest.raises(BaseException, match="element 5 failed"):
        testing_module.probe_parallel_for(10, [5], 0.0)
    assert testing_module.probe_parallel_for(10, [], 0.0) == [float(i) for i in range(10)]


# --- nested loops ---------------------------------------------------------------------------


@pytest.mark.parametrize("outer, inner", [(0, 5), (5, 0), (1, 1), (3, 7), (16, 1000), (200, 3)])
def test_nested_loops(testing_module, outer, inner):
    expected = [[float(i * inner + j) for j in range(inner)] for i in range(outer)]
    assert testing_module.nested_parallel_for(outer, inner, []) == expected


@pytest.mark.parametrize(
    "outer, inner, failing, message",
    [
        (4, 10, [25], "element 25 failed"),
        (4, 10, [39, 12], "element 12 failed"),
        (8, 100, [799, 400, 401], "element 400 failed"),
    ],
)
def test_nested_failure_is_carried_through_both_levels(
    testing_module, outer, inner, failing, message
):
    with pytest.raises(BaseException) as caught:
        testing_module.nested_parallel_for(outer, inner, failing)
    assert f"{type(caught.value).__module__}.{type(caught.value).__name__}" == PANIC
    assert str(caught.value) == message


def test_nested_loops_on_one_worker():
    # The only worker waits for nothing it cannot do itself: no deadlock.
    code = """
    import json, _obrivane_testing as t
    rows = t.nested_parallel_for(50, 50, [])
    print(json.dumps(rows == [[float(i * 50 + j) for j in range(50)] for i in range(50)]))
    """
    assert run_python(code, {"RAYON_NUM_THREADS": "1"}, timeout=30) is True


# --- several Python threads -----------------------------------------------------------------


def test_calls_from_several_python_threads():
    separations = [0.013 * i for i in range(3000)]
    sources = [(1.0, 0.01), (2.0, 0.5), (0.5, 0.7), (1.0, 3.0)]
    expected = [obrivane.witt_mao_magnification(separations, re, rstar) for re, rstar in sources]
    results: dict = {}
    failures = []

    def worker(index: int) -> None:
        try:
            re, rstar = sources[index]
            for _ in range(5):
                results.setdefault(index, []).append(
                    obrivane.witt_mao_magnification(separations, re, rstar)
                )
        except BaseException as failure:  # noqa: BLE001 - reported below
            failures.append(failure)

    threads = [threading.Thread(target=worker, args=(i,)) for i in range(len(sources))]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join(timeout=60)
    assert not failures
    for index, outputs in results.items():
        assert all(output == expected[index] for output in outputs)
    assert len(results) == len(sources)


# --- fork -----------------------------------------------------------------------------------


def test_forked_child_gets_its_own_pool():
    code = with_thread_count(
        """
    import json, os, obrivane
    separations = [0.01 * i for i in range(5000)]
    parent = obrivane.witt_mao_magnification(separations, 1.0, 0.1)
    read_end, write_end = os.pipe()
    pid = os.fork()
    if pid == 0:
        try:
            threads_at_start = thread_count()
            child = obrivane.witt_mao_magnification(separations, 1.0, 0.1)
            nested = obrivane.multi_witt_mao_magnification(separations[:50], [1.0, 2.0], [0.1, 0.2])
            report = json.dumps([threads_at_start, thread_count(), child == parent, len(nested)])
            os.write(write_end, report.encode())
        finally:
            os._exit(0)
    os.close(write_end)
    report = b""
    while chunk := os.read(read_end, 65536):
        report += chunk
    os.waitpid(pid, 0)
    print(report.decode())
    """
    )
    threads_at_start, threads_after, same, pairs = run_python(
        code, {"RAYON_NUM_THREADS": "3"}, timeout=60
    )
    assert threads_at_start == 1  # the parent's workers do not exist in the child
    assert threads_after == 4  # the child built a pool of its own
    assert same is True
    assert pairs == 4


def test_multiprocessing_with_fork_after_the_pool_was_used():
    code = """
    import json, multiprocessing, warnings, obrivane

    def magnify(rstar):
        return obrivane.witt_mao_magnification([0.5, 1.0, 1.5, 2.0], 1.0, rstar)

    if __name__ == "__main__":
        warnings.simplefilter("ignore", DeprecationWarning)
        sources = [0.05 * (i + 1) for i in range(8)]
        expected = [magnify(rstar) for rstar in sources]
        with multiprocessing.get_context("fork").Pool(2) as workers:
            got = workers.map(magnify, sources)
        print(json.dumps(got == expected))
    """
    script = textwrap.dedent(code)
    completed = subprocess.run(
        [sys.executable, "-c", script],
        env={**os.environ, "RAYON_NUM_THREADS": "2"},
        capture_output=True,
        text=True,
        timeout=60,
    )
    assert completed.returncode == 0, completed.stderr
    assert json.loads(completed.stdout.strip().splitlines()[-1]) is True
