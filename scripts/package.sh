#!/usr/bin/env bash
# Builds the project for /usr and makes its Debian packages with CPack: build/packages/*.deb.
# Extra arguments go to CMake's configure step.
set -euo pipefail
cd "$(dirname "$0")/.."
builddir=${MARLIN_BUILD_DIR:-build}
bash scripts/build.sh -DCMAKE_INSTALL_PREFIX=/usr "$@"
rm -rf "$builddir/packages"
(cd "$builddir" && cpack --config CPackConfig.cmake)
ls -1 "$builddir"/packages/*.deb
