// tvx-bench-quit: what a session does with a store, in a process of its own:
// log in and load through the shared manager (as the client does), search
// once, sort by the slowest column, print
//   ready <load ms> <first search ms> <sort ms> <peak MiB>
// and wait for a line on standard input; then end as the client ends.
#include "BenchStore.h"

#include "store/loading/RecordSearch.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <iostream>
#include <string>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    TVXDataBase& db = TVXDataBase::sharedTVXDataBase();
    QElapsedTimer timer;
    timer.start();
    if (db.startConnectionToServer(bench::loginRequest()) != kTVXDone
        || db.initUserDetails(bench::kBenchUser, bench::kBenchPassword) != kTVXDone || db.loadDataBase() != kTVXDone) {
        std::cerr << "tvx-bench-quit: the store cannot be loaded\n";
        return 1;
    }
    const qint64 load = timer.restart();
    const auto found = db.caches().itemsOfGroup(nullptr, nullptr, bench::kSearchMarker);
    const qint64 search = timer.restart();
    const auto sorted = db.caches().itemsOfGroup(nullptr, nullptr, QString(), kRecordColumnIcon, true);
    const qint64 sort = timer.restart();
    std::cout << "ready " << load << ' ' << search << ' ' << sort << ' ' << bench::peakMemoryMiB() << std::endl;
    std::string line;
    std::getline(std::cin, line);
    return found.isEmpty() || sorted.isEmpty() ? 1 : 0;
}
