#!/usr/bin/env bash
# Cross-compiles the native core (numerics, models, parallel runtime, with the Windows platform
# files CMake picks for WIN32) for 64-bit Windows with MinGW-w64, under the project's warning
# flags, and links it into tools/windows_link_check.cpp. With --run, runs that program under Wine
# (when installed: $WINE, else wine, wine64 or Debian's /usr/lib/wine/wine64) and prints its output.
#
# The compiler is $MINGW_CXX, by default the posix-threads variant of Debian's
# g++-mingw-w64-x86-64: the win32-threads variant of GCC 12 has no std::mutex or
# std::condition_variable, which the worker pool uses (MSVC has them). The posix variant's libstdc++
# implements them on winpthreads, so this script also checks, from the compiler's include trace,
# that no project file includes a POSIX header itself. The Python boundary (src/module) is not
# compiled: it needs the Windows Python headers.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
out="$top/build/windows-check"
cxx=${MINGW_CXX:-x86_64-w64-mingw32-g++-posix}
run=no
[[ ${1:-} == --run ]] && run=yes

if ! command -v "$cxx" >/dev/null; then
  echo "check_windows_build.sh: $cxx not found (apt-get install g++-mingw-w64-x86-64)" >&2
  exit 2
fi

cd "$top"
mkdir -p "$out"
rm -f "$out"/*.o "$out"/*.o.trace
# The same files as CMake's obrivane_core and obrivane_parallel for WIN32.
sources=$(find src/numeric -name '*.cpp'
  ls src/models/*.cpp src/parallel/*.cpp src/parallel/platform/windows/*.cpp \
    src/platform/*.cpp src/platform/windows/*.cpp tools/windows_link_check.cpp)
export cxx out
compile_one() {
  local source=$1 object
  object="$out/$(echo "$source" | tr / _).o"
  # -H prints every header opened, one dot per level of nesting, to standard error.
  "$cxx" -std=c++20 -O2 -ffp-contract=off -fno-fast-math -Wall -Wextra -Wpedantic -Wshadow -Wconversion \
    -Wno-sign-conversion -Werror -Isrc -H -c "$source" -o "$object" 2>"$object.trace" || {
    grep -v '^\.\+ \|^Multiple include guards\|^[^ ]*$' "$object.trace" >&2
    echo "check_windows_build.sh: $source does not compile for Windows" >&2
    return 1
  }
}
export -f compile_one
echo "$sources" | xargs -P 2 -n 1 bash -c 'compile_one "$0"'

# Headers that do not exist on Windows (or come only with winpthreads), opened directly by a
# project file, are a portability fault even though this compiler finds them.
status=0
for trace in "$out"/*.o.trace; do
  if ! awk -v top="$top" '
    /^\.+ / {
      depth = length($1); file = $2
      parent[depth] = file
      if (depth == 1 || index(parent[depth - 1], "src/") == 1 || index(parent[depth - 1], top "/src/") == 1) {
        if (file ~ /\/(pthread|unistd|sched|dlfcn|signal)\.h$/ || file ~ /\/sys\/[^\/]*\.h$/) {
          print "check_windows_build.sh: " file " included by a project file" > "/dev/stderr"
          bad = 1
        }
      }
    }
    END { exit bad }' "$trace"; then
    echo "  (in the compilation traced by $trace)" >&2
    status=1
  fi
done
[[ $status == 0 ]] || exit 1

objects=$(ls "$out"/*.o)
# shellcheck disable=SC2086
"$cxx" -static -o "$out/windows_link_check.exe" $objects
echo "check_windows_build.sh: the core compiles and links for Windows ($out/windows_link_check.exe)"

if [[ $run == yes ]]; then
  wine=${WINE:-$(command -v wine || command -v wine64 || { [[ -x /usr/lib/wine/wine64 ]] && echo /usr/lib/wine/wine64; } || true)}
  if [[ -n $wine ]]; then
    WINEDEBUG=-all WINEPREFIX="$out/wine-prefix" "$wine" "$out/windows_link_check.exe"
  else
    echo "check_windows_build.sh: wine not found, the program was not run" >&2
    exit 3
  fi
fi
