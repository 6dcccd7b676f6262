#!/usr/bin/env bash
# Main job: opens the desktop program on the given .pst files (the first one is recovered at
# once). Without a file it writes a small sample with deleted and orphaned items and opens that.
# Without a display it says so and lists what the recovery finds on the terminal instead.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh >/dev/null
if [ $# -eq 0 ]; then
    ./build/brevik-cli generate build/sample.pst --items 20 --deleted 3 --orphans 2 >/dev/null
    set -- build/sample.pst
fi
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -x build/brevik ]; then
    exec ./build/brevik "$@"
fi
echo "No display available: listing the recovery on the terminal instead of opening the window."
for f in "$@"; do
    ./build/brevik-cli list "$f"
done
