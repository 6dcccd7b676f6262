#!/usr/bin/env bash
# Exports every item of a generated file (ITEMS, default 100000) as .eml and as .msg files and,
# side by side, with readpst -j 0 -S (one .eml-like file per item). Prints wall time and peak
# memory of each run. Uses build/brevik-cli; the generated file and outputs live in WORK
# (default: a new folder under /tmp, removed at the end).
set -euo pipefail
cd "$(dirname "$0")/.."
cli=./build/brevik-cli
items=${ITEMS:-100000}
work=${WORK:-$(mktemp -d)}
[ -z "${WORK:-}" ] && trap 'rm -rf "$work"' EXIT
[ -f "$work/bench.pst" ] || "$cli" generate "$work/bench.pst" --items "$items" >/dev/null

measure() {  # label, command...
    local label=$1
    shift
    /usr/bin/time -f "%e %M" -o "$work/time" "$@" >/dev/null 2>"$work/err" ||
        { cat "$work/err"; exit 1; }
    read -r seconds kib <"$work/time"
    printf '%-22s %8.1f s %8d MiB peak\n' "$label" "$seconds" $((kib / 1024))
}

measure "brevik-cli eml" "$cli" export "$work/bench.pst" --format eml --out "$work/eml"
measure "brevik-cli msg" "$cli" export "$work/bench.pst" --format msg --out "$work/msg"
mkdir -p "$work/readpst"
measure "readpst -j 0 -S" readpst -j 0 -S -q -o "$work/readpst" "$work/bench.pst"
for d in eml msg readpst; do
    printf '%-22s %8d files\n' "$d" "$(find "$work/$d" -type f | wc -l)"
done
