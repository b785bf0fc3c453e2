#pragma once
// What the store's concern objects (preferences, hint, icons, recent lists,
// event log, account administration) run their statements through: the one
// connection and its guard, the error path, the value ciphers and the batch an
// import runs. The manager implements it; the concern objects depend on this
// instead of on the whole manager.
#include "store/session/ConnectionGuard.h"
#include "store/session/ResultCodes.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

namespace sql {
class Connection;
class PreparedStatement;
class SQLException;
} // namespace sql

class TVXEventLogEntry;
class TVXReadAhead;
class TVXStoreCaches;

class TVXStoreSession {
public:
    virtual TVXStoreCaches& caches() = 0;
    virtual const TVXStoreCaches& caches() const = 0;

    // --- the connection ---------------------------------------------------------
    virtual sql::Connection* connection() const = 0;
    virtual sql::Connection& liveConnection() const = 0; // throws a lost connection's error (2013) when none
    virtual bool isDataReloading() const = 0;
    // Statements run under this guard. Never hold it while waiting for the
    // main thread; errors reported under it reach the error path on release.
    virtual std::unique_lock<TVXConnectionGuard> lockConnection() const = 0;
    virtual const TVXConnectionGuard& connectionGuard() const = 0;
    // Sends a write behind the window, after every write sent so before it
    // (store/writers/WriteBehind.h); the write reports its own failures.
    virtual void sendBehindWindow(std::function<void()> write) = 0;
    // The load's reads sent together (store/session/ReadAhead.h): readers take
    // their rows through it, and run alone when their read is not among them.
    virtual TVXReadAhead& readAhead() = 0;
    // What a write changes in memory (the caches): on the main thread once the
    // server answered when this thread runs the server part of a save from
    // the window (store/writers/RecordWriter.h), else at once.
    virtual void afterServer(std::function<void()> memoryPart) = 0;
    // A save from the window: `serverPart` on the worker behind the window,
    // its errors and then `answer` on the main thread (store/writers/RecordWriter.h).
    virtual void saveBehindWindow(std::function<TVXResult()> serverPart, std::function<void(TVXResult)> answer) = 0;
    // A worker thread's client state, ended before the thread finishes.
    virtual void endClientThreadState() const = 0;

    // --- the error path ---------------------------------------------------------
    // Hands the error to the main thread's handler and returns `code`; under
    // the guard the handing over waits for its release.
    virtual TVXResult reportDatabaseError(const sql::SQLException& e, TVXResult code = kTVXStatementFailed) = 0;
    // A cluster node's "not ready" is recognised behind its lock wait timeout (1047).
    virtual int serverErrorNumber(const sql::SQLException& e) = 0;
    // For a caller holding the guard: server errors go to reportDatabaseError
    // (3), other failures give `otherFailure`; otherwise work's code.
    virtual TVXResult runStatement(const std::function<TVXResult()>& work,
                                   TVXResult otherFailure = kTVXNotServerError) = 0;
    // Takes the guard, runs work, releases it; only then does a server error
    // reach the error path (3). Other failures give 1.
    virtual TVXResult runOnConnection(const std::function<TVXResult(sql::Connection&)>& work) = 0;

    // --- value enciphering; without an encrypter the plain UTF-8 bytes ----------
    virtual QByteArray encryptString(const QString& text) const = 0; // field encrypter (master password)
    virtual QString decryptString(const QByteArray& stored) const = 0;
    virtual QByteArray encryptDataString(const QString& text) const = 0; // user-data encrypter (application key)
    virtual QString decryptDataString(const QByteArray& stored) const = 0;
    // From the system's random source; flags 1 lower, 2 upper, 4 digits,
    // 8 symbols, 16 international, 32 pronounceable.
    virtual QString generatePasswordWith(uint16_t flags, uint16_t length) const = 0;

    // --- an import's batch (one transaction on the importing thread) ------------
    // The batch's own prepared statement while this thread runs a batch, else a fresh one.
    struct PreparedRef {
        std::unique_ptr<sql::PreparedStatement> owned;
        sql::PreparedStatement* stmt = nullptr;
        sql::PreparedStatement* operator->() const { return stmt; }
        sql::PreparedStatement& operator*() const { return *stmt; }
    };
    virtual PreparedRef prepareForBatch(sql::Connection& connection, const char* query) = 0;
    // The one-row INSERT or REPLACE `oneRow` taking `rows` rows, kept as prepareForBatch keeps its statements.
    virtual PreparedRef prepareRowsForBatch(sql::Connection& connection, const char* oneRow, int rows) = 0;
    // A log row kept for the batch's end (written together before the commit).
    virtual bool deferLogRowToBatchEnd(const TVXEventLogEntry& entry) = 0;
    // The batch's own count of the user's rows in a recent-list table; null outside a batch.
    virtual int* batchRecentRows(const char* readStatement, const QString& userID) = 0;
    // Recently added rows of the batch's own records wait for its end; null
    // when the record is not the batch's or no batch runs.
    virtual QStringList* batchRecentlyAddedRows(const QString& recordID, const QString& userID) = 0;
    virtual void writeBatchRecentRows() = 0;

protected:
    TVXStoreSession() = default;
    ~TVXStoreSession() = default;
    TVXStoreSession(const TVXStoreSession&) = delete;
    TVXStoreSession& operator=(const TVXStoreSession&) = delete;
};
