#!/usr/bin/env bash
# Builds Quorvane (Release) and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUORVANE_TESTS=OFF
cmake --build build-release --target quorvane
exec ./build-release/src/quorvane
