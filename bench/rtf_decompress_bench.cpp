// Compressed RTF bodies: honest ones, and ones whose header claims the largest raw size the
// reader accepts while holding a few bytes (what a hostile file repeats in every item).
#include <benchmark/benchmark.h>

#include <string>

#include "engine/bytes.h"
#include "message/rtf_decompress.h"

namespace {

brevik::Bytes body(std::size_t bytes) {
    std::string rtf = "{\\rtf1\\ansi ";
    while (rtf.size() < bytes)
        rtf += "Some text of a mail body, repeated. ";
    rtf += "}";
    return brevik::compressRtfLiterals(brevik::Bytes(rtf.begin(), rtf.end()));
}

void HonestSize(benchmark::State& state) {
    const brevik::Bytes compressed = body(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(brevik::decompressRtf(compressed).rtf.size());
    state.SetItemsProcessed(state.iterations());
}

void LyingSize(benchmark::State& state) {
    brevik::Bytes compressed = body(static_cast<std::size_t>(state.range(0)));
    for (int k = 0; k < 4; ++k)
        compressed[4 + k] = 0xFF;  // raw size 4 GiB
    for (auto _ : state)
        benchmark::DoNotOptimize(brevik::decompressRtf(compressed).rtf.size());
    state.SetItemsProcessed(state.iterations());
}

}  // namespace

BENCHMARK(HonestSize)->Arg(200)->Arg(20000);
BENCHMARK(LyingSize)->Arg(200)->Arg(20000);
BENCHMARK_MAIN();
