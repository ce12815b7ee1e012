#!/usr/bin/env bash
# The main job: record from the built-in analyzer simulator.
set -euo pipefail
cd "$(dirname "$0")/.."
bin=build/bin
echo "Built programs:"; ls "$bin"
