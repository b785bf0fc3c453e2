// Searching and sorting the loaded caches.
#include "BenchStore.h"

#include "model/BMGroup.h"
#include "model/TVXType.h"
#include "store/loading/RecordSearch.h"

#include <benchmark/benchmark.h>

namespace {

void BM_SearchAllRecords(benchmark::State& state)
{
    TVXDataBase& db = bench::loadedStore();
    db.caches().itemsOfGroup(nullptr, nullptr, bench::kSearchMarker); // the first search prepares the index
    qsizetype found = 0;
    for (auto _ : state) {
        found = db.caches().itemsOfGroup(nullptr, nullptr, bench::kSearchMarker).size();
        benchmark::DoNotOptimize(found);
    }
    state.counters["found"] = static_cast<double>(found);
    state.counters["records"] = static_cast<double>(db.caches().mRecords().size());
    state.counters["peak_MiB"] = bench::peakMemoryMiB();
}
BENCHMARK(BM_SearchAllRecords)->Unit(benchmark::kMillisecond);

// The first search after a load pays for preparing every record.
void BM_FirstSearchAfterLoad(benchmark::State& state)
{
    TVXDataBase& db = bench::loadedStore();
    for (auto _ : state) {
        state.PauseTiming();
        if (db.reloadDatabase() != kTVXDone) {
            state.SkipWithError("the reload failed");
            break;
        }
        state.ResumeTiming();
        benchmark::DoNotOptimize(db.caches().itemsOfGroup(nullptr, nullptr, bench::kSearchMarker).size());
    }
    state.counters["peak_MiB"] = bench::peakMemoryMiB();
}
BENCHMARK(BM_FirstSearchAfterLoad)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_SearchOneGroupAndType(benchmark::State& state)
{
    TVXDataBase& db = bench::loadedStore();
    const auto group = db.caches().mGroups().value(QStringLiteral("A000000000000000"));
    const auto type = db.caches().mTypes().value(QStringLiteral("C000000000000000"));
    db.caches().itemsOfGroup(group.get(), type.get(), bench::kSearchMarker);
    for (auto _ : state)
        benchmark::DoNotOptimize(db.caches().itemsOfGroup(group.get(), type.get(), bench::kSearchMarker).size());
    state.counters["peak_MiB"] = bench::peakMemoryMiB();
}
BENCHMARK(BM_SearchOneGroupAndType)->Unit(benchmark::kMillisecond);

void BM_SortAllRecords(benchmark::State& state)
{
    TVXDataBase& db = bench::loadedStore();
    const int column = static_cast<int>(state.range(0));
    db.caches().itemsOfGroup(nullptr, nullptr, QString(), column, true);
    for (auto _ : state)
        benchmark::DoNotOptimize(db.caches().itemsOfGroup(nullptr, nullptr, QString(), column, true).size());
    state.counters["peak_MiB"] = bench::peakMemoryMiB();
}
BENCHMARK(BM_SortAllRecords)->DenseRange(kRecordColumnIcon, kRecordColumnAttachment)->Unit(benchmark::kMillisecond);

} // namespace
