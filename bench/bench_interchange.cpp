// Exporting the loaded store to files, and importing a file into an empty group.
#include "BenchStore.h"

#include "exchange/CExportDelegate.h"
#include "exchange/ImportExport.h"
#include "exchange/TVXqVXImportDelegate.h"
#include "model/BMGroup.h"
#include "model/TVXRecord.h"
#include "platform/core/BackgroundTask.h"

#include <benchmark/benchmark.h>

#include <QDir>
#include <QTemporaryDir>

namespace {

QTemporaryDir& scratch()
{
    static QTemporaryDir dir;
    return dir;
}

void BM_Export(benchmark::State& state)
{
    TVXDataBase& db = bench::loadedStore();
    const auto kind = static_cast<EFileType>(state.range(0));
    const std::string password = state.range(1) ? "export-pw" : "";
    const std::string path = QDir(scratch().path()).filePath(QStringLiteral("export-%1-%2.qvx").arg(state.range(0)).arg(state.range(1))).toStdString();
    qsizetype records = 0;
    for (auto _ : state) {
        CExportDelegate provider(true, {}, db.caches(), db.attachments());
        if (!RunExport(provider, path, kind, password)) {
            state.SkipWithError("export failed");
            break;
        }
        records = db.caches().mRecords().size();
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * records);
    state.counters["peak_MiB"] = bench::peakMemoryMiB();
}
// qVX version 3 plain and encrypted, version 4 (with its side files), CSV.
BENCHMARK(BM_Export)
    ->Args({eFileQVXv3, 0})
    ->Args({eFileQVXv3, 1})
    ->Args({eFileQVXv4, 0})
    ->Args({eFileCSVExport, 0})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

void BM_ImportTenThousand(benchmark::State& state)
{
    TVXDataBase& db = bench::loadedStore();
    const std::string path = QDir(scratch().path()).filePath(QStringLiteral("import.qvx")).toStdString();
    // TVX_BENCH_IMPORT_N: a smaller file, for looking at the import under a profiler.
    const qsizetype wanted = qEnvironmentVariableIntValue("TVX_BENCH_IMPORT_N") > 0
                                 ? qEnvironmentVariableIntValue("TVX_BENCH_IMPORT_N")
                                 : 10000;
    QList<std::shared_ptr<TVXRecord>> some;
    for (const auto& record : db.caches().mRecords()) {
        if (some.size() == wanted)
            break;
        some.append(record);
    }
    {
        CExportDelegate provider(false, some, db.caches(), db.attachments());
        if (!RunExport(provider, path, eFileQVXv3, "")) {
            state.SkipWithError("making the file failed");
            return;
        }
    }
    int imported = 0;
    uint64_t trips = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto group = BMGroup::newGroup();
        group->setMGroupName(QStringLiteral("Import %1").arg(state.iterations()));
        if (db.addGroup(group) != kTVXDone) {
            state.SkipWithError("no empty group");
            break;
        }
        TVXqVXImportDelegate sink(path, group, &db);
        const uint64_t tripsBefore = bench::relayedRoundTrips();
        state.ResumeTiming();
        // On a worker, as the client runs it: its batches then go to the
        // store while the next one is read.
        const auto task = platform::BackgroundTask::start([&sink] { RunImport(sink, ""); });
        task->waitForFinished();
        state.PauseTiming();
        trips = bench::relayedRoundTrips() - tripsBefore;
        imported = sink.importSummary().recordsImported;
        if (db.deleteGroup(*group) != kTVXDone) {
            state.SkipWithError("removing the imported group failed");
            break;
        }
        state.ResumeTiming();
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * imported);
    state.counters["imported"] = imported;
    if (trips > 0)
        state.counters["round_trips"] = double(trips); // through TVX_BENCH_RTT_MS's relay
    state.counters["peak_MiB"] = bench::peakMemoryMiB();
}
BENCHMARK(BM_ImportTenThousand)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

} // namespace
