#!/usr/bin/env bash
# An offline file with 4 KiB pages and compressed blocks against the same content in the Unicode
# layout: time and peak memory of `brevik-cli list --json` and of readpst -j 0 -S on each, and
# the inflation throughput (inflate_bench). ITEMS (default 100000) items, generated into WORK
# (kept and reused when WORK is given). Uses build/brevik-cli and build/bench/inflate_bench.
set -euo pipefail
cd "$(dirname "$0")/.."
cli=$(pwd)/build/brevik-cli
n=${ITEMS:-100000}
work=${WORK:-$(mktemp -d)}
[ -z "${WORK:-}" ] && trap 'rm -rf "$work"' EXIT
mkdir -p "$work"
unicode="$work/u$n.pst"
pages4k="$work/a$n.ost"
[ -f "$unicode" ] || "$cli" generate "$unicode" --items "$n" --seed 3 >/dev/null
[ -f "$pages4k" ] || "$cli" generate "$pages4k" --items "$n" --seed 3 --pages4k >/dev/null

measure() {  # label, command...
    local label=$1
    shift
    local start=$EPOCHREALTIME status=0
    /usr/bin/time -f "%M" -o "$work/time" "$@" >/dev/null 2>"$work/err" || status=$?
    local end=$EPOCHREALTIME
    [ "$status" = 0 ] || [ "$status" = 3 ] || { cat "$work/err"; exit 1; }
    awk -v l="$label" -v a="$start" -v b="$end" -v k="$(tail -1 "$work/time")" \
        'BEGIN { printf "%-36s %9.2f s %7d MiB\n", l, b - a, k / 1024 }'
}

echo "load average: $(cut -d' ' -f1-3 /proc/loadavg); $n items"
ls -l "$unicode" "$pages4k" | awk '{ printf "%-36s %9.1f MB\n", $NF, $5 / 1e6 }'
measure "list --json, Unicode" "$cli" list --json "$unicode"
measure "list --json, 4 KiB pages" "$cli" list --json "$pages4k"
for f in "$unicode" "$pages4k"; do
    rm -rf "$work/rp" && mkdir "$work/rp"
    measure "readpst -j 0 -S, $(basename "$f")" readpst -q -j 0 -S -o "$work/rp" "$f"
done
BREVIK_BENCH_FILE="$pages4k" ./build/bench/inflate_bench --benchmark_min_time=2
