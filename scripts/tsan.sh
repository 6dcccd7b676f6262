#!/usr/bin/env bash
# Builds the program-state, worker and window tests with ThreadSanitizer and runs them: the
# worker and the user-interface thread share the state, and races there must not creep in. The
# recovery pass's own loading threads are checked by its parallel tests, the saves' threads that
# read and convert items ahead of the writer by theirs, and the ordered workers under all of them
# (listings, table rows) by their own.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build-tsan -G Ninja -DBREVIK_TSAN=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build-tsan -j "$(nproc)" --target brevik_app_tests brevik_window_tests brevik_views_tests \
    brevik_engine_tests brevik_recovery_tests brevik_writers_tests
export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$PWD/scripts/tsan.supp"
./build-tsan/tests/brevik_app_tests
./build-tsan/tests/brevik_engine_tests --gtest_filter='ReadWindow.*:InOrderedChunks.*:OrderedWorkers.*'
./build-tsan/tests/brevik_recovery_tests \
    --gtest_filter='ParallelRecoveryPass.*:RecoveryPass.Stopping*:RecoveryPass.ItemsWhoseNodesAreGone*:RecoveryPass.AFailedPass*'
./build-tsan/tests/brevik_writers_tests \
    --gtest_filter='SaveTask.ReadingAhead*:SaveTask.Stop*:SaveFiles.StopHalfWay*:SaveFiles.ConvertingAhead*'
QT_QPA_PLATFORM=offscreen ./build-tsan/tests/brevik_window_tests
QT_QPA_PLATFORM=offscreen ./build-tsan/tests/brevik_views_tests --gtest_filter='TreeFixture.*'
