// The full recovery pass: every item loaded and summarised.
// File: $BREVIK_BENCH_FILE, else the largest sample file.
#include <benchmark/benchmark.h>

#include <cstdlib>

#include "engine/recovery_pass.h"

namespace {

std::string benchFile() {
    if (const char* f = std::getenv("BREVIK_BENCH_FILE")) return f;
    return std::string(BREVIK_SOURCE_DIR) + "/../shared/corpus/pst/chunks-part1.pst";
}

void FullPass(benchmark::State& state) {
    const std::string path = benchFile();
    for (auto _ : state) {
        brevik::MessageBase base;
        brevik::setMessageBasePath(base, path);
        brevik::openMessageBase(base);
        if (base.resultOk != 1) {
            state.SkipWithError("recovery failed");
            return;
        }
        state.SetBytesProcessed(state.bytes_processed() + base.fileSize);
        state.SetItemsProcessed(state.items_processed() + base.itemCount);
        state.counters["items"] = base.itemCount;
        state.counters["folders"] = base.folderCount;
    }
}

BENCHMARK(FullPass)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
