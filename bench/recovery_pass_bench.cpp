// The full recovery pass: every item loaded and summarised, on 1, 2 and 4 loading threads.
// File: $BREVIK_BENCH_FILE, else the largest sample file.
#include <benchmark/benchmark.h>

#include <cstdlib>

#include "recovery/recovery_pass.h"

namespace {

std::string benchFile() {
    if (const char* f = std::getenv("BREVIK_BENCH_FILE")) return f;
    return std::string(BREVIK_SOURCE_DIR) + "/../shared/corpus/pst/chunks-part1.pst";
}

void FullPass(benchmark::State& state) {
    const std::string path = benchFile();
    for (auto _ : state) {
        brevik::RecoveredBase base;
        brevik::setMessageBasePath(base, path);
        base.passThreads = static_cast<std::uint32_t>(state.range(0));
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

BENCHMARK(FullPass)->ArgName("threads")->Arg(1)->Arg(2)->Arg(4)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
