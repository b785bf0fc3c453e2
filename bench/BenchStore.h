#pragma once
// The benchmark store: a server of our own (scripts/bench starts it), a
// generator that fills it like a large organisation's store, and log-in helpers.
#include "store/TVXDataBase.h"

#include <QString>

#include <cstdint>
#include <memory>

namespace sql {
class Connection;
}

namespace bench {

inline const QString kBenchMaster = QStringLiteral("Bench-Master-1");
inline const QString kBenchUser = QStringLiteral("bench");
inline const QString kBenchPassword = QStringLiteral("bench-pw");
// In value 2 of one record in a hundred.
inline const QString kSearchMarker = QStringLiteral("Zebrafink");

struct StoreShape {
    int records = 10000;
    int groups = 200;
    int types = 50;
    double customised = 0.20;
    double withAttachment = 0.05;
};

int serverPort();
std::unique_ptr<sql::Connection> connect(const QString& user, const QString& password);

// Recreates the store with the shape given; deterministic for a given shape.
void generateStore(const StoreShape& shape);
// What the store was generated with ("" when it was not).
QString shapeTag(const StoreShape& shape);
QString storedShapeTag();
// Number of records the store holds now.
int storedRecordCount();

// The manager's log-in: straight to the server, or with TVX_BENCH_RTT_MS=N
// through a relay that adds N ms to every round trip (made once per process).
TVXDataBase::LoginRequest loginRequest();
// Round trips through that relay so far (0 without it).
uint64_t relayedRoundTrips();

// A manager logged in and loaded as the benchmark user (made once per process).
TVXDataBase& loadedStore();

// Peak resident memory of this process so far, in MiB.
double peakMemoryMiB();

} // namespace bench
