#pragma once
// Result codes of the database manager's operations. The numbers are what
// callers and messages depend on; keep them.

#include <iosfwd>

enum class [[nodiscard]] TVXResult : int {
    kTVXDone = 0,
    kTVXNotServerError = 1,         // failure that is not a server error
    kTVXStatementFailed = 3,        // a statement failed, or could not be done
    kTVXMasterPasswordMismatch = 4, // also: a write refused, the master password
                                    // having changed since this client logged in
    kTVXAccountDisabled = 6,
    kTVXAccountDeleted = 7,         // access to the tables refused
    kTVXReloadFirst = 8,            // changed no row: the cached copy is stale
    kTVXClientError = 9,            // server errors 2000..2050
    kTVXHostUnreachable = 10,       // 2002 (refused), 2003, 2005
    kTVXAccessDenied = 11,          // 1045
    kTVXAllPrivileges = 13,         // the account holds every server privilege
    kTVXSecureConnectionRefused = 14, // no TLS, or a certificate that does not verify
    kTVXStoreBusy = 15,             // 1205: a lock still held after the retries; the
                                    // connection stays, the write may be tried again
    kTVXPermissionRefused = 16,     // the server refused a write the account's bits do not allow
    kTVXServerNotTrusted = 17,      // no CA file and no fingerprint kept for the server yet: the
                                    // certificate met is in serverFingerprint(); nothing was sent
    kTVXAccountBlocked = 18,        // 4150: too many wrong passwords; an administrator unblocks it
    kTVXNameTaken = 19,             // a group or type of that name is stored (another client's,
                                    // perhaps): nothing was written
};
// Callers name the codes as they always have, unqualified.
using enum TVXResult;

// The number messages and logs show, and what crosses the application hooks
// (the platform layer knows no store types).
inline constexpr int resultNumber(TVXResult result) { return static_cast<int>(result); }
inline constexpr TVXResult resultOfNumber(int number) { return static_cast<TVXResult>(number); }
// Shows the number (test output).
std::ostream& operator<<(std::ostream& out, TVXResult result);

// Server error numbers the manager reacts to.
inline constexpr int kErrAllPrivilegesAccount = 100; // raised by the log-in itself
inline constexpr int kErrMasterPasswordChanged = 101; // raised by a write: log in again
inline constexpr int kErrAccessDenied = 1045;
inline constexpr int kErrTableAccessDenied = 1142;
inline constexpr int kErrColumnAccessDenied = 1143;
inline constexpr int kErrConnectionRefused = 2002;
inline constexpr int kErrConnectHostFailed = 2003;
inline constexpr int kErrUnknownHost = 2005;
inline constexpr int kErrServerLost = 2013;
inline constexpr int kErrUnknownSystemVariable = 1193;
inline constexpr int kErrLockWaitTimeout = 1205;
// The server blocks an account after max_password_errors wrong passwords in a row.
inline constexpr int kErrUserBlocked = 4150;
// The store's write rules (server/rules.sql) refuse a change the account's bits do not allow.
inline constexpr int kErrPermissionRefused = 45001;
// A cluster node that is not part of the primary component, or a server that
// is going down, answers these: to the client it is a lost connection.
inline constexpr int kErrNodeNotReady = 1047;        // "WSREP has not yet prepared node for application use"
inline constexpr int kErrServerShutdown = 1053;
inline constexpr int kErrConnectionKilled = 1927;
// A commit in flight when its node leaves the primary component ("Got error 6
// during COMMIT"): the transaction was not stored, and the node serves no more.
inline constexpr int kErrErrorDuringCommit = 1180;

inline constexpr bool isNodeNotReady(int serverErrorNumber)
{
    return serverErrorNumber == kErrNodeNotReady || serverErrorNumber == kErrServerShutdown
           || serverErrorNumber == kErrConnectionKilled || serverErrorNumber == kErrErrorDuringCommit;
}

// Results whose cause the manager's error path has already put before the
// user (a lost connection, a refused or removed account): a window that
// started the write only keeps its input.
inline constexpr bool isReportedByErrorPath(TVXResult code)
{
    return code == kTVXAccountDisabled || code == kTVXAccountDeleted || code == kTVXClientError
           || code == kTVXHostUnreachable || code == kTVXAccessDenied || code == kTVXAllPrivileges;
}
