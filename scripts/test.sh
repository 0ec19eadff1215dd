#!/usr/bin/env bash
# Builds Quorvane with its tests and runs every test, headless.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -G Ninja -DQUORVANE_WERROR=ON
cmake --build build
ctest --test-dir build --output-on-failure
