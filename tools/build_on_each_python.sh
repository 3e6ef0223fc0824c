#!/usr/bin/env bash
# Builds the obrivane module with every CPython from 3.11 to 3.13 that this machine has, each
# into build/python3.X, and smoke-tests each build with its own interpreter
# (tools/smoke_test.py). An interpreter is looked for as python3.X on the PATH, then under
# pyenv's versions directory. Needs cmake and ninja on the PATH.
#
#   tools/build_on_each_python.sh [3.11 3.12 3.13]
#
# Exits non-zero if a build or a smoke test fails, or if no interpreter was found.
set -uo pipefail
cd "$(dirname "$0")/.."

find_python() {
  local version=$1 candidate
  for candidate in "$(command -v "python$version" 2>/dev/null)" \
    "${PYENV_ROOT:-$HOME/.pyenv}"/versions/"$version".*/bin/"python$version"; do
    if [ -n "$candidate" ] && [ -x "$candidate" ] && "$candidate" -c "import sys" >/dev/null 2>&1; then
      echo "$candidate"
      return 0
    fi
  done
  return 1
}

# NumPy's headers for the ufuncs of obrivane.fspl: the interpreter's own NumPy if it has one,
# else that of the python3 on the PATH (the headers do not depend on the interpreter version).
numpy_include() {
  "$1" -c "import numpy; print(numpy.get_include())" 2>/dev/null ||
    python3 -c "import numpy; print(numpy.get_include())"
}

versions=("$@")
[ ${#versions[@]} -gt 0 ] || versions=(3.11 3.12 3.13)
built=0
failed=0
for version in "${versions[@]}"; do
  if ! python=$(find_python "$version"); then
    echo "python$version: not found, skipped"
    continue
  fi
  directory="build/python$version"
  log="$directory.log"
  mkdir -p build
  start=$SECONDS
  if cmake -S . -B "$directory" -G Ninja -DPython_EXECUTABLE="$python" \
    -DOBRIVANE_NUMPY_INCLUDE_DIR="$(numpy_include "$python")" >"$log" 2>&1 &&
    cmake --build "$directory" -j2 >>"$log" 2>&1 &&
    PYTHONPATH="$directory" "$python" tools/smoke_test.py >>"$log" 2>&1; then
    echo "python$version ($python): built and smoke-tested in $((SECONDS - start)) s"
    tail -n 1 "$log"
    built=$((built + 1))
  else
    echo "python$version ($python): FAILED, see $log"
    tail -n 20 "$log"
    failed=$((failed + 1))
  fi
done
if [ "$built" -eq 0 ] && [ "$failed" -eq 0 ]; then
  echo "no CPython 3.11-3.13 found" >&2
  exit 1
fi
[ "$failed" -eq 0 ]
