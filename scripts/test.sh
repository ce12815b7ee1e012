#!/usr/bin/env bash
# Installs what is missing, builds everything with warnings as errors and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
bash scripts/build.sh -DMARLIN_WERROR=ON -DMARLIN_BUILD_TESTS=ON
cd "${MARLIN_BUILD_DIR:-build}"
ctest --output-on-failure --parallel "$(nproc)" --timeout 300
