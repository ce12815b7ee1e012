#!/usr/bin/env bash
# Installs what is missing, builds everything with warnings as errors and runs every test:
# the Linux build's tests, then the Windows DLL's export tables and its tests under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
bash scripts/build.sh -DMARLIN_WERROR=ON -DMARLIN_BUILD_TESTS=ON
bash scripts/ctest.sh "${MARLIN_BUILD_DIR:-build}" --output-on-failure --parallel "$(nproc)" --timeout 300
# After the Linux tests, never beside them: both bind the same loopback addresses.
bash scripts/test-windows.sh
