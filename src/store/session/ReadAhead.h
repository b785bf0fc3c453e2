#pragma once
// Reads sent to the server together, as one text of several statements, so
// that a distant server is asked once rather than once per statement. Each
// reader then takes its result as it would have run its statement alone: in
// the order sent, the ones it passes over read and dropped. A read that is not
// among them, or that comes after one of them failed, runs alone (after the
// rest of the batch is dropped), so that a failure answers exactly as before.
//
// While results are due the connection can carry nothing else: the batch
// holds the connection guard from send() until its last result is taken, a
// read fails or drop() is called. Nothing may wait for the main thread in
// between.
#include "store/session/ConnectionGuard.h"

#include <QString>

#include <cppconn/exception.h>
#include <cppconn/prepared_statement.h>
#include <cppconn/resultset.h>
#include <cppconn/statement.h>

#include <cstddef>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

namespace sql {
class Connection;
}

namespace tvxsql {

// A read's rows with the statement they came from, which must outlive them.
struct Rows {
    std::unique_ptr<sql::Statement> statement;
    std::unique_ptr<sql::PreparedStatement> prepared;
    std::unique_ptr<sql::ResultSet> rows;

    sql::ResultSet* operator->() const { return rows.get(); }
    sql::ResultSet& operator*() const { return *rows; }
    void reset()
    {
        rows.reset();
        prepared.reset();
        statement.reset();
    }
};

} // namespace tvxsql

class TVXReadAhead {
public:
    struct Read {
        Read(const char* text, QString parameter = QString(), bool stream = false)
            : query(text)
            , key(std::move(parameter))
            , streamed(stream)
        {
        }
        const char* query;
        QString key;   // the one parameter of a query that takes one (null: none)
        bool streamed; // fetched as read, not held whole: its reader closes it before the next read
    };

    TVXReadAhead() = default;
    TVXReadAhead(const TVXReadAhead&) = delete;
    TVXReadAhead& operator=(const TVXReadAhead&) = delete;
    ~TVXReadAhead();

    // Sends `reads` in one go over `connection`, holding `guard` while results
    // are due. A key that is not a plain identifier is never written into the
    // text: its read and those after it are left to run alone.
    void send(sql::Connection& connection, std::unique_lock<TVXConnectionGuard> guard, std::vector<Read> reads);
    // The rows of `query` (for `key`, its one parameter): from the batch when
    // it is among the reads still due, otherwise run now on its own.
    tvxsql::Rows rows(sql::Connection& connection, const char* query, bool streamed = false);
    tvxsql::Rows rowsFor(sql::Connection& connection, const char* query, const QString& key);
    // Reads what is still due and drops it; releases the guard.
    void drop();
    // Sends `reads` in one go and holds every result whole at once, so that the
    // connection is free again on return (the caller holds the guard). Readers
    // then take them in any order, each once; a failed read keeps its error for
    // its reader, and the reads after it run alone.
    void fetchAll(sql::Connection& connection, std::vector<Read> reads);
    // Forgets what fetchAll read and no reader took.
    void forgetFetched();
    bool pending() const { return !mReads.empty(); }
    // How many statements went out in batches since the start (for tests).
    std::size_t statementsSentTogether() const { return mSentTogether; }

private:
    tvxsql::Rows take(sql::Connection& connection, const char* query, const QString& key, bool streamed);
    std::optional<tvxsql::Rows> fromBatch(const char* query, const QString& key);
    std::optional<tvxsql::Rows> fromFetched(const char* query, const QString& key);
    void skipCurrent();
    void advance();
    void end();

    sql::Connection* mConnection = nullptr;
    std::unique_ptr<sql::Statement> mStatement;
    std::vector<Read> mReads;
    std::size_t mNext = 0;     // the read whose result the connection brings next
    bool mHandedOut = false;   // mNext's result was given to its reader: advance before the next
    std::optional<sql::SQLException> mFailure; // what read mNext met; nothing follows it
    std::unique_lock<TVXConnectionGuard> mGuard;
    std::size_t mSentTogether = 0;

    struct Fetched {
        Read read;
        std::unique_ptr<sql::ResultSet> rows;
        std::shared_ptr<const sql::SQLException> failure;
    };
    sql::Connection* mFetchedOn = nullptr;
    std::unique_ptr<sql::Statement> mFetchedStatement;
    std::vector<Fetched> mFetched;
};
