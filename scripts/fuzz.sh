#!/usr/bin/env bash
# Builds the fuzz targets with clang and runs each for a short while, seeded with the sample
# files. Any crash, leak or sanitizer report fails the run. By default a run is the same every
# time (FUZZ_SEED 1, a fixed number of inputs per target that a slow machine gets through in
# half a minute), so that a gate passes or fails on the code alone; FUZZ_SEED=0 picks a new seed
# and runs each target for FUZZ_SECONDS (default 60), for searching further.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
for p in clang libclang-rt-14-dev; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing="${missing:-} $p"
done
if [ -n "${missing:-}" ]; then
    sudo_cmd=""
    [ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
    DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq --no-install-recommends $missing
fi
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DBREVIK_FUZZ=ON -DBREVIK_TESTS=OFF \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build-fuzz --target recovery_fuzz mutate_fuzz writer_fuzz pages4k_fuzz item_fields_fuzz brevik-cli -j "$(nproc)"
seconds=${FUZZ_SECONDS:-60}
seed=${FUZZ_SEED:-1}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/seeds" "$work/a" "$work/b" "$work/c" "$work/d"
for f in sample1 sample2 test_ansi submessage sample-contacts empty; do
    [ -f "../shared/corpus/pst/$f.pst" ] && cp "../shared/corpus/pst/$f.pst" "$work/seeds/"
done
# Texts a hostile file holds (escapes, line breaks in ids and MIME types, bidi marks), for the
# writer above all.
./build-fuzz/brevik-cli generate "$work/seeds/hostile.pst" --items 12 --deleted 2 --orphans 2 \
    --hostile >/dev/null
# Runs one target; prints its final stats, or on failure its whole report (the input that failed
# is kept as fuzz-crash-* in the working folder so that it can be replayed).
run_target() {
    local name=$1 runs=$2
    shift 2
    [ "$seed" = 0 ] && runs=-1
    local log="$work/$name.log" rc=0
    "./build-fuzz/fuzz/$name" -seed="$seed" -runs="$runs" -max_total_time="$seconds" \
        -rss_limit_mb=4096 -print_final_stats=1 -artifact_prefix="$PWD/fuzz-crash-$name-" "$@" >"$log" 2>&1 || rc=$?
    if [ "$rc" -ne 0 ]; then
        echo "$name failed (exit $rc):"
        grep -n -m1 -E 'ERROR|==[0-9]+==|deadly|out-of-memory|timeout|_fuzz:' "$log" || true
        tail -n 80 "$log"
        return "$rc"
    fi
    tail -n 5 "$log"
}
run_target recovery_fuzz 10000 -timeout=20 "$work/a" "$work/seeds"
run_target mutate_fuzz 1000 -timeout=20 -max_len=200 "$work/b"
run_target writer_fuzz 2000 -timeout=60 "$work/c" "$work/seeds"
mkdir -p "$work/d" "$work/e"
run_target pages4k_fuzz 2000 -timeout=20 -max_len=200 -len_control=0 "$work/d"
run_target item_fields_fuzz 100000 -timeout=20 -max_len=600 "$work/e"
