// Census and index tables against one sequential read of the same file from the page cache.
// File: $BREVIK_BENCH_FILE, else the largest sample file.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "engine/format_detection.h"
#include "engine/index_tables.h"

namespace {

std::string benchFile() {
    if (const char* f = std::getenv("BREVIK_BENCH_FILE")) return f;
    return std::string(BREVIK_SOURCE_DIR) + "/../shared/corpus/pst/chunks-part1.pst";
}

void ReadFileOnce(benchmark::State& state) {
    const std::string path = benchFile();
    std::vector<char> buf(4 << 20);
    for (auto _ : state) {
        std::ifstream in(path, std::ios::binary);
        std::size_t total = 0;
        while (in.read(buf.data(), buf.size()) || in.gcount() > 0)
            total += in.gcount();
        benchmark::DoNotOptimize(total);
        state.SetBytesProcessed(state.bytes_processed() + total);
    }
}

void CensusAndTables(benchmark::State& state) {
    const std::string path = benchFile();
    for (auto _ : state) {
        brevik::MessageBase base;
        brevik::setMessageBasePath(base, path);
        if (!base.openFile() || brevik::detectFormat(base) != 0) {
            state.SkipWithError("not a readable file");
            return;
        }
        brevik::buildIndexTables(base);
        benchmark::DoNotOptimize(base.blockTable.data());
        state.SetBytesProcessed(state.bytes_processed() + base.fileSize);
        state.counters["blocks"] = base.blockCount();
        state.counters["nodes"] = base.nodeCount();
    }
}

BENCHMARK(ReadFileOnce)->Unit(benchmark::kMillisecond);
BENCHMARK(CensusAndTables)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
