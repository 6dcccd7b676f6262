#!/usr/bin/env bash
# How time and peak memory grow with the number of items. For each count in ITEMS (default
# "10000 100000") generates a file into WORK (kept and reused when WORK is given, else a new
# folder under /tmp removed at the end) and times: reading it with cat, `brevik-cli list --json`,
# readpst -j 0 -S (up to 100000 items: it takes about a minute there) and an export as .pst.
# Prints wall time, peak memory and both per 1000 items. Uses build/brevik-cli. COLD=1 (as root)
# empties the page cache before each command, so that every one reads the file from the disk.
set -euo pipefail
cd "$(dirname "$0")/.."
cli=$(pwd)/build/brevik-cli
items=${ITEMS:-10000 100000}
work=${WORK:-$(mktemp -d)}
[ -z "${WORK:-}" ] && trap 'rm -rf "$work"' EXIT
mkdir -p "$work"

measure() {  # label, item count, command...
    local label=$1 count=$2
    shift 2
    local status=0
    if [ "${COLD:-0}" = 1 ]; then
        sync
        echo 3 >/proc/sys/vm/drop_caches
    fi
    /usr/bin/time -f "%e %M" -o "$work/time" "$@" >/dev/null 2>"$work/err" || status=$?
    # 3: the file is damaged and some data was lost; the run itself succeeded.
    if [ "$status" != 0 ] && [ "$status" != 3 ]; then
        cat "$work/err"
        exit 1
    fi
    read -r seconds kib <"$work/time"
    awk -v l="$label" -v n="$count" -v s="$seconds" -v k="$kib" 'BEGIN {
        printf "%-30s %9d %9.2f s %7d MiB %9.2f ms %9.1f KiB\n",
               l, n, s, k / 1024, s * 1e6 / n, k * 1000 / n }'
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
    measure "cat" "$n" cat "$pst"
    measure "brevik-cli list --json" "$n" "$cli" list --json "$pst"
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
