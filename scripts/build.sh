#!/usr/bin/env bash
# Configures and builds the project into build/ (programs in build/bin, libraries in build/lib).
# Extra arguments go to CMake's configure step, e.g. -DMARLIN_SANITIZE=ON.
set -euo pipefail
cd "$(dirname "$0")/.."
builddir=${MARLIN_BUILD_DIR:-build}
generator=()
command -v ninja >/dev/null && generator=(-G Ninja)
launcher=()
if command -v ccache >/dev/null; then
  [ -n "${CMAKE_CXX_COMPILER_LAUNCHER:-}" ] ||
    launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  # Paths relative to the checkout, so that another clone of the same sources (CI's) finds
  # what this one compiled.
  export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$PWD}
  export CCACHE_NOHASHDIR=${CCACHE_NOHASHDIR:-1}
fi
if [ ! -f "$builddir/CMakeCache.txt" ]; then
  cmake -S . -B "$builddir" "${generator[@]}" "${launcher[@]}" "$@"
else
  cmake -S . -B "$builddir" "$@"
fi
cmake --build "$builddir" --parallel "$(nproc)"
