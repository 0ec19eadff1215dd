#!/usr/bin/env bash
# Builds Quorvane (Release) and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
if [[ -z ${DISPLAY:-} && -z ${WAYLAND_DISPLAY:-} && -z ${QT_QPA_PLATFORM:-} ]]; then
    echo "run.sh: no graphical session here (neither DISPLAY nor WAYLAND_DISPLAY is set): start it from a desktop, or see 'Command line' in README.md" >&2
    exit 1
fi
bash scripts/install-deps.sh
cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUORVANE_TESTS=OFF
cmake --build build-release --target quorvane
exec ./build-release/src/quorvane
