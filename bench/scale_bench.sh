#!/usr/bin/env bash
# How time and peak memory grow with the number of items. For each count in ITEMS (default
# "10000 100000") generates a file into WORK (kept and reused when WORK is given, else a new
# folder under /tmp removed at the end) and times: reading it with cat, `brevik-cli list --json`,
# readpst -j 0 -S (up to 100000 items: it takes about a minute there) and an export as .pst.
# Prints wall time, peak memory and both per 1000 items. Uses build/brevik-cli. COLD=1 (as root)
# empties the page cache before each command, so that every one reads the file from the disk.
# cat and list --json run ROUNDS times (default 5) in turns, and print their medians and the
# ratio of the two: a virtual machine's speed drifts by a third from one second to the next.
set -euo pipefail
cd "$(dirname "$0")/.."
cli=$(pwd)/build/brevik-cli
items=${ITEMS:-10000 100000}
work=${WORK:-$(mktemp -d)}
[ -z "${WORK:-}" ] && trap 'rm -rf "$work"' EXIT
mkdir -p "$work"

# Runs a command once; appends "seconds kib" to the file $1.
run_once() {
    local times=$1
    shift
    local status=0
    if [ "${COLD:-0}" = 1 ]; then
        sync
        echo 3 >/proc/sys/vm/drop_caches
    fi
    # time's own wall clock counts in hundredths, too coarse for a cat of a cached file.
    local start=$EPOCHREALTIME
    /usr/bin/time -f "%M" -o "$work/time" "$@" >/dev/null 2>"$work/err" || status=$?
    local end=$EPOCHREALTIME
    # 3: the file is damaged and some data was lost; the run itself succeeded.
    if [ "$status" != 0 ] && [ "$status" != 3 ]; then
        cat "$work/err"
        exit 1
    fi
    echo "$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.4f", b - a }') $(tail -1 "$work/time")" >>"$times"
}

median() {  # of the times in file $1
    sort -n "$1" | awk '{ s[NR] = $1 } END { print NR % 2 ? s[(NR + 1) / 2] : (s[NR / 2] + s[NR / 2 + 1]) / 2 }'
}

# Prints the median time and the largest peak of the runs in file $3.
report() {  # label, item count, times file
    local seconds kib
    seconds=$(median "$3")
    kib=$(awk '$2 > k { k = $2 } END { print k }' "$3")
    awk -v l="$1" -v n="$2" -v s="$seconds" -v k="$kib" 'BEGIN {
        printf "%-30s %9d %9.3f s %7d MiB %9.2f ms %9.1f KiB\n",
               l, n, s, k / 1024, s * 1e6 / n, k * 1000 / n }'
}

measure() {  # label, item count, command...
    local label=$1 count=$2
    shift 2
    : >"$work/times"
    run_once "$work/times" "$@"
    report "$label" "$count" "$work/times"
}

cold=""
[ "${COLD:-0}" = 1 ] && cold=", page cache emptied before each command"
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)$cold"
# Where the kernel keeps file pages in large folios, a cat of a cached file runs several times
# faster than with 4 KiB pages; ours gains far less. Printed so that runs can be compared.
grep -s '^FileHugePages' /proc/meminfo || true
printf '%-30s %9s %11s %11s %12s %13s\n' command items time peak "per 1000" "per 1000"
for n in $items; do
    pst="$work/g$n.pst"
    [ -f "$pst" ] || "$cli" generate "$pst" --items "$n" >/dev/null
    : >"$work/cat" && : >"$work/list"
    for _ in $(seq "${ROUNDS:-5}"); do
        run_once "$work/cat" cat "$pst"
        run_once "$work/list" "$cli" list --json "$pst"
    done
    report "cat (median of ${ROUNDS:-5})" "$n" "$work/cat"
    report "brevik-cli list --json" "$n" "$work/list"
    awk -v c="$(median "$work/cat")" -v l="$(median "$work/list")" \
        'BEGIN { printf "%-30s %9s %9.1f x\n", "  list --json / cat", "", l / c }'
    if [ "$n" -le 100000 ]; then
        rm -rf "$work/readpst" && mkdir -p "$work/readpst"
        measure "readpst -j 0 -S" "$n" readpst -j 0 -S -q -o "$work/readpst" "$pst"
        rm -rf "$work/readpst"
    fi
    rm -rf "$work/export"
    measure "brevik-cli export --format pst" "$n" "$cli" export "$pst" --format pst --out "$work/export"
    rm -rf "$work/export"
done
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
