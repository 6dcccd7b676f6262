#!/usr/bin/env bash
# Builds and runs every test (BREVIK_SANITIZE=1: under AddressSanitizer and UBSan).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh
dir=build
[ "${BREVIK_SANITIZE:-0}" = 1 ] && dir=build-asan
cd "$dir"
ctest --output-on-failure -j "$(nproc)" --timeout 900 "$@"
