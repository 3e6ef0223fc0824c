#!/usr/bin/env bash
# Builds both extension modules with AddressSanitizer and UndefinedBehaviorSanitizer and runs
# the test suite against that build. Extra arguments go to pytest (e.g. a test file or -k).
# The interpreter itself is not instrumented, so the sanitizer runtime is preloaded and leak
# detection (which would report the interpreter's own allocations at exit) is off. A huge
# reservation must fail as it does in an ordinary build (the size hints of sequences are only
# hints), and freed memory is reused at once so that memory-growth tests measure the process.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build="$top/build/sanitize"
python=${PYTHON:-python3}

cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DOBRIVANE_TESTING=ON -DOBRIVANE_SANITIZE=ON \
  -DPython_EXECUTABLE="$(command -v "$python")" >/dev/null
cmake --build "$build"

asan_runtime=$(${CXX:-c++} -print-file-name=libasan.so)
ubsan_runtime=$(${CXX:-c++} -print-file-name=libubsan.so)
cd "$top"
LD_PRELOAD="$asan_runtime $ubsan_runtime" \
  ASAN_OPTIONS=detect_leaks=0:abort_on_error=1:allocator_may_return_null=1:quarantine_size_mb=0 \
  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  PYTHONPATH="$build" \
  "$python" -m pytest -p no:cacheprovider -m "not tooling" "$@"
