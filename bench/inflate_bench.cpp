// Inflating the compressed blocks of an offline file with 4 KiB pages, as the readers do: MB/s
// of inflated data. File: $BREVIK_BENCH_FILE (write one with `brevik-cli generate --pages4k`).
#include <benchmark/benchmark.h>

#include <cstdlib>

#include "engine/block_data.h"
#include "engine/format_detection.h"
#include "engine/index_tables.h"

namespace {

void InflateEveryBlock(benchmark::State& state) {
    const char* path = std::getenv("BREVIK_BENCH_FILE");
    brevik::MessageBase base;
    if (path) brevik::setMessageBasePath(base, path);
    if (!path || !base.openFile() || brevik::detectFormat(base) != 0 || !base.has4kPages()) {
        state.SkipWithError("BREVIK_BENCH_FILE names no file with 4 KiB pages");
        return;
    }
    brevik::buildIndexTables(base);
    // The stored bytes are read first: what is timed is inflation alone.
    std::vector<brevik::Bytes> stored;
    std::vector<std::uint16_t> sizes;
    for (const brevik::BlockEntry& e : base.blockTable) {
        if (!brevik::isDeflated(base, e)) continue;
        stored.push_back(base.readAt(e.fileOffset, e.byteCount));
        sizes.push_back(e.inflatedCount);
    }
    brevik::Bytes out(65536);
    std::uint64_t storedBytes = 0;
    for (const brevik::Bytes& b : stored)
        storedBytes += b.size();
    for (auto _ : state) {
        std::uint64_t inflated = 0;
        for (std::size_t k = 0; k < stored.size(); ++k)
            if (brevik::inflateInto(stored[k], std::span(out).first(sizes[k])) ==
                brevik::InflateFault::None)
                inflated += sizes[k];
        state.SetBytesProcessed(state.bytes_processed() + static_cast<std::int64_t>(inflated));
    }
    state.counters["blocks"] = static_cast<double>(stored.size());
    state.counters["stored MB"] = static_cast<double>(storedBytes) / 1e6;
}

BENCHMARK(InflateEveryBlock)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
