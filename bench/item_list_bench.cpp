// The item list over 100,000 rows of one folder: filling, sorting each column, filtering.
// File: $BREVIK_BENCH_FILE, else a generated sample (kept in the build folder) whose Inbox holds
// about 100,000 items, most of them deleted ones.
#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <cstdlib>
#include <filesystem>

#include "message/records.h"
#include "recovery/recovery_pass.h"
#include "views/item_list_model.h"
#include "writers/pst/sample_generator.h"

namespace {

using namespace brevik;

std::string benchFile() {
    if (const char* f = std::getenv("BREVIK_BENCH_FILE")) return f;
    const std::string path = "item_list_bench_100k.pst";
    if (!std::filesystem::exists(path)) {
        pst::SampleOptions options;
        options.items = 1000;
        options.deleted = 100000;  // deleted items are found in the Inbox
        if (!pst::generateSamplePst(path, options).ok()) return {};
    }
    return path;
}

struct Recovered {
    RecoveredBase base;
    std::uint32_t folder = 0;

    Recovered() {
        setMessageBasePath(base, benchFile());
        openMessageBase(base);
        base.openMode = base.resultOk ? 1 : 0;
        for (std::uint32_t f = 0; f < base.folderCount; ++f)
            if (base.folderEntries[f].itemCount > base.folderEntries[folder].itemCount) folder = f;
    }
};

Recovered& recovered() {
    static Recovered r;
    return r;
}

void Fill(benchmark::State& state) {
    Recovered& r = recovered();
    views::ItemListModel model;
    for (auto _ : state) {
        model.fill(&r.base, r.folder);
        state.counters["rows"] = model.rowCount();
    }
}

void SortColumn(benchmark::State& state) {
    Recovered& r = recovered();
    views::ItemListModel model;
    model.fill(&r.base, r.folder);
    const int column = static_cast<int>(state.range(0));
    for (auto _ : state)
        model.sortByColumn(column);  // each click reverses the last one
    state.counters["rows"] = model.rowCount();
}

void Filter(benchmark::State& state) {
    Recovered& r = recovered();
    views::ItemListModel model;
    model.fill(&r.base, r.folder);
    bool on = false;
    for (auto _ : state) {
        model.setFilterText((on = !on) ? QStringLiteral("invoice") : QString());
        state.counters["rows"] = model.rowCount();
    }
}

BENCHMARK(Fill)->Unit(benchmark::kMillisecond);
// Mail layout: 0 deleted, 1 attachment, 2 From, 3 To, 4 Subject, 5 Date, 6 Number.
BENCHMARK(SortColumn)->DenseRange(0, 6)->Unit(benchmark::kMillisecond);
BENCHMARK(Filter)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
