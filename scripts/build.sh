#!/usr/bin/env bash
# Configures and builds into build/ (or build-asan/ with BREVIK_SANITIZE=1).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
dir=build
flags=()
if [ "${BREVIK_SANITIZE:-0}" = 1 ]; then
    dir=build-asan
    flags+=(-DBREVIK_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug -DBREVIK_BENCH=OFF)
fi
cmake -S . -B "$dir" -G Ninja "${flags[@]}" >/dev/null
cmake --build "$dir" -j "$(nproc)"
