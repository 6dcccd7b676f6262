#!/usr/bin/env bash
# Records everything brevik-cli prints and writes for the sample files, so that a change meant to
# keep behaviour can be checked byte for byte:
#   bash scripts/record-outputs.sh DIR            records into DIR
#   bash scripts/record-outputs.sh --compare DIR  records afresh and compares with DIR
# Per file: list --json, report --json, show --json of every item, and the .pst, .msg, .eml and
# mbox exports (their checksums, file by file). Uses build/brevik-cli (CLI=... for another).
set -euo pipefail
cd "$(dirname "$0")/.."
compare=0
if [ "${1:-}" = --compare ]; then
    compare=1
    shift
fi
[ $# -eq 1 ] || { echo "usage: $0 [--compare] DIR" >&2; exit 2; }
cli=${CLI:-$PWD/build/brevik-cli}
corpus=${CORPUS:-$PWD/../shared/corpus/pst}
out=$1
[ "$compare" = 1 ] && out=$(mktemp -d)
mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"; [ "$compare" = 1 ] && rm -rf "$out"' EXIT

# Exit status 3 (damaged, data lost) is an outcome to record, not a failure of the run.
run() {
    local status=0
    "$@" || status=$?
    echo "exit $status"
}

for f in "$corpus"/*.pst; do
    name=$(basename "$f" .pst)
    d="$out/$name"
    mkdir -p "$d"
    run "$cli" list "$f" --json >"$d/list.json" 2>/dev/null
    run "$cli" list "$f" --json --all >"$d/list-all.json" 2>/dev/null
    run "$cli" report "$f" --json >"$d/report.json" 2>/dev/null
    count=$(python3 -c 'import json, sys
doc = json.JSONDecoder().raw_decode(open(sys.argv[1]).read())[0]
print(max([i.get("number", 0) for i in doc.get("items", [])] + [0]))' \
        "$d/list-all.json" 2>/dev/null || echo 0)
    : >"$d/show.json"
    for ((i = 1; i <= count; i++)); do
        run "$cli" show "$f" "$i" --json >>"$d/show.json" 2>/dev/null
    done
    for fmt in pst msg eml mbox; do
        rm -rf "$work/x"
        mkdir -p "$work/x"
        run "$cli" export "$f" --format "$fmt" --out "$work/x" 2>/dev/null |
            sed "s|$work|OUT|g" >"$d/export-$fmt.txt"
        # GMime draws MIME boundaries at random: they are numbered in order of appearance.
        (cd "$work/x" && find . -type f -print0 | sort -z | while IFS= read -r -d '' p; do
            echo "$(perl -pe 'BEGIN { %b = () } s/=-[A-Za-z0-9+\/]{20}/$b{$&} \/\/= "=-B" . (keys %b)/ge' "$p" |
                md5sum | cut -c1-32)  $p"
        done) >>"$d/export-$fmt.txt"
    done
done

if [ "$compare" = 1 ]; then
    if diff -r "$1" "$out" >"$work/diff"; then
        echo "identical: $(find "$out" -type f | wc -l) records of $(ls "$corpus"/*.pst | wc -l) files"
    else
        head -n 40 "$work/diff"
        echo "outputs differ" >&2
        exit 1
    fi
else
    echo "recorded into $out"
fi
