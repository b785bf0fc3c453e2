// Loading the store: the physical floor (every row the load reads, each value
// deciphered once) beside the client's first load and its reload.
#include "BenchStore.h"

#include "crypto/DBEncrypter.h"
#include "store/session/StatementHelpers.h"

#include <benchmark/benchmark.h>

#include <cppconn/connection.h>
#include <cppconn/resultset.h>
#include <cppconn/statement.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>

namespace {

void setCounters(benchmark::State& state)
{
    state.counters["records"] = bench::storedRecordCount();
    state.counters["peak_MiB"] = bench::peakMemoryMiB();
}

// Every table the load reads, every enciphered column deciphered once. The
// floor streams the rows as the load does; the buffered floor lets the client
// library hold each whole result first.
void loadFloor(benchmark::State& state, bool streamed)
{
    auto connection = bench::connect(bench::kBenchUser, bench::kBenchPassword);
    connection->setSchema("tolvanexdb");
    const CDBEncrypter encrypter(bench::kBenchMaster.toUtf8());
    struct Query {
        const char* sql;
        std::vector<int> enciphered;
    };
    const std::vector<Query> queries = {
        // What an ordinary account may read of the user rows and its own preferences.
        {"SELECT USERID, USERNAME, PLATFORMNAME, GROUPPERMISSION, TYPEPERMISSION, RECORDPERMISSION, DATAPERMISSION, "
         "CANCHANGEPASSWORD, ISACCOUNTDISABLED FROM USERTABLE",
         {}},
        {"SELECT * FROM USERGROUPTABLE", {}},
        {"SELECT * FROM GROUPSUBGROUPTABLE", {}},
        {"SELECT * FROM GROUPTABLE", {2}},
        {"SELECT * FROM TYPETABLE", {2, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14}},
        {"SELECT * FROM RECORDTABLE", {4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14}},
        {"SELECT * FROM CUSTOMTYPETABLE", {4, 5, 6, 7, 8, 9, 10, 11, 12, 13}},
        {"SELECT RECORDID, ATTACHMENTNAME, ENCRYPTIONKEY FROM ATTACHMENTTABLE", {2, 3}},
        {"SELECT * FROM APPPREFSELFVIEW", {}},
    };
    for (auto _ : state) {
        size_t bytes = 0;
        for (const Query& query : queries) {
            std::unique_ptr<sql::Statement> stmt(connection->createStatement());
            if (streamed)
                stmt->setResultSetType(sql::ResultSet::TYPE_FORWARD_ONLY);
            std::unique_ptr<sql::ResultSet> rs(stmt->executeQuery(query.sql));
            while (rs->next())
                for (int column : query.enciphered)
                    bytes += static_cast<size_t>(encrypter.decryptBytes(tvxsql::blobColumn(*rs, column)).size());
        }
        benchmark::DoNotOptimize(bytes);
    }
    setCounters(state);
}

void BM_LoadFloor(benchmark::State& state) { loadFloor(state, true); }
BENCHMARK(BM_LoadFloor)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_LoadFloorBuffered(benchmark::State& state) { loadFloor(state, false); }
BENCHMARK(BM_LoadFloorBuffered)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_FirstLoad(benchmark::State& state)
{
    for (auto _ : state) {
        state.PauseTiming();
        auto db = std::make_unique<TVXDataBase>();
        if (db->startConnectionToServer(bench::loginRequest()) != kTVXDone) {
            state.SkipWithError("log-in failed");
            break;
        }
        state.ResumeTiming();
        if (db->initUserDetails(bench::kBenchUser, bench::kBenchPassword) != kTVXDone
            || db->loadDataBase() != kTVXDone) {
            state.SkipWithError("load failed");
            break;
        }
        benchmark::DoNotOptimize(db->caches().mRecords().size());
        state.PauseTiming();
        db.reset();
        state.ResumeTiming();
    }
    setCounters(state);
}
BENCHMARK(BM_FirstLoad)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_Reload(benchmark::State& state)
{
    TVXDataBase db;
    if (db.startConnectionToServer(bench::loginRequest()) != kTVXDone
        || db.initUserDetails(bench::kBenchUser, bench::kBenchPassword) != kTVXDone
        || db.loadDataBase() != kTVXDone) {
        state.SkipWithError("load failed");
        return;
    }
    for (auto _ : state) {
        if (db.reloadDatabase() != kTVXDone) {
            state.SkipWithError("reload failed");
            break;
        }
        benchmark::DoNotOptimize(db.caches().mRecords().size());
    }
    setCounters(state);
}
BENCHMARK(BM_Reload)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// A session in its own process (tvx-bench-quit): the time from the request to
// quit until the process has ended, after a load, a search and a sort.
void BM_QuitAfterLoad(benchmark::State& state)
{
    const QString program = QCoreApplication::applicationDirPath() + QStringLiteral("/tvx-bench-quit");
    QList<double> figures;
    for (auto _ : state) {
        QProcess session;
        session.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        session.start(program, {});
        QByteArray line;
        while (!line.contains('\n') && session.waitForReadyRead(600000))
            line += session.readAllStandardOutput();
        const QList<QByteArray> words = line.trimmed().split(' ');
        if (words.value(0) != "ready" || words.size() < 5) {
            state.SkipWithError("the session did not load");
            break;
        }
        figures.clear();
        for (qsizetype i = 1; i < words.size(); ++i)
            figures << words[i].toDouble();
        QElapsedTimer timer;
        timer.start();
        session.write("quit\n");
        session.closeWriteChannel();
        session.waitForFinished(600000);
        state.SetIterationTime(double(timer.nsecsElapsed()) / 1e9);
    }
    if (figures.size() >= 4) {
        state.counters["load_ms"] = figures[0];
        state.counters["first_search_ms"] = figures[1];
        state.counters["sort_ms"] = figures[2];
        state.counters["peak_MiB"] = figures[3];
    }
}
BENCHMARK(BM_QuitAfterLoad)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);

} // namespace
