#!/usr/bin/env bash
# Main job: recovers the given .pst file and lists what it found.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh >/dev/null
if [ $# -eq 0 ]; then
    set -- ../shared/corpus/pst/outlook1.pst
fi
exec ./build/brevik-cli list "$@"
