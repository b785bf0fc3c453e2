#pragma once
// Writes sent as one call of a store routine each (server/writes.sql): the
// routine begins, checks, writes, stores the event row and commits, so that a
// distant server is asked once instead of once a statement. What the
// routines answer besides the server's own errors.
#include "store/session/ResultCodes.h"

namespace sql {
class Connection;
class SQLException;
}

namespace tvxcalls {

inline constexpr int kKeyRowChanged = 45020; // nothing written: the statements check the row
inline constexpr int kNoRowChanged = 45021;  // nothing written: 8
// Stored; the event row, the recent-list row, or both go their usual way.
inline constexpr int kLogRowRefused = 45022;
inline constexpr int kRecentRowRefused = 45023;
inline constexpr int kSideRowsRefused = 45024;

struct CallAnswer {
    TVXResult code = kTVXDone;
    bool logRefused = false;
    bool recentRefused = false;
    // Whether the routine's error is one of its answers (then taken into this).
    bool take(const sql::SQLException& e);
};

// A store whose routines or rights are older than this client: the statements serve.
bool notServed(const sql::SQLException& e);
void executeText(sql::Connection& connection, const char* text);
// After a failure inside a transaction this client began: a connection gone
// has nothing left to undo.
void rollBackQuietly(sql::Connection& connection);

} // namespace tvxcalls
