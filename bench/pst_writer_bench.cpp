// Writing generated .pst files: throughput in MB/s and items/s, and the peak resident memory of
// the process (which must stay flat as the item count grows). Output goes to
// $BREVIK_BENCH_DIR, else the system's temporary folder, and is removed afterwards.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <cstdlib>
#include <filesystem>

#include "writers/pst/sample_generator.h"

namespace {

std::filesystem::path benchDir() {
    if (const char* d = std::getenv("BREVIK_BENCH_DIR")) return d;
    return std::filesystem::temp_directory_path();
}

double peakRssMiB() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;  // ru_maxrss is in KiB on Linux
}

void WriteGeneratedPst(benchmark::State& state) {
    const auto items = static_cast<std::uint64_t>(state.range(0));
    const std::filesystem::path out = benchDir() / "brevik-writer-bench.pst";
    std::uint64_t bytes = 0;
    for (auto _ : state) {
        brevik::pst::SampleOptions options;
        options.items = items;
        options.deleted = items / 1000;
        options.orphans = items / 1000;
        options.tempFolder = benchDir().string();
        brevik::pst::PstWriteStats stats;
        const auto status = brevik::pst::generateSamplePst(out.string(), options, &stats);
        if (!status.ok()) {
            state.SkipWithError(status.message.c_str());
            return;
        }
        bytes += stats.fileSize;
    }
    std::filesystem::remove(out);
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * items));
    state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
    state.counters["file_MB"] = static_cast<double>(bytes) / state.iterations() / 1e6;
    state.counters["peak_rss_MiB"] = peakRssMiB();
}

BENCHMARK(WriteGeneratedPst)
    ->Arg(1000)
    ->Arg(10000)
    ->Arg(100000)
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
