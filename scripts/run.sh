#!/usr/bin/env bash
# Main job: recovers the given .pst file and lists every folder and item it found, deleted and
# orphaned ones included. Without a file it writes a small sample (with deleted and orphaned
# items) and recovers that.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh >/dev/null
if [ $# -eq 0 ]; then
    ./build/brevik-cli generate build/sample.pst --items 20 --deleted 3 --orphans 2 >/dev/null
    set -- build/sample.pst
fi
exec ./build/brevik-cli list "$@"
