#!/usr/bin/env bash
# Configures and builds the project into build/ (programs in build/bin, libraries in build/lib).
# Extra arguments go to CMake's configure step, e.g. -DMARLIN_SANITIZE=ON.
set -euo pipefail
cd "$(dirname "$0")/.."
builddir=${MARLIN_BUILD_DIR:-build}
generator=()
command -v ninja >/dev/null && generator=(-G Ninja)
if [ ! -f "$builddir/CMakeCache.txt" ]; then
  cmake -S . -B "$builddir" "${generator[@]}" "$@"
else
  cmake -S . -B "$builddir" "$@"
fi
cmake --build "$builddir" --parallel "$(nproc)"
