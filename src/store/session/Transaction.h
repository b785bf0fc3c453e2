#pragma once
// A transaction on the shared connection that rolls back unless committed.
// Inside an outer transaction it is a savepoint: a failure undoes only its
// own rows, and only the outermost commits. Should undoing a savepoint fail
// (the server dropped the whole transaction), every enclosing transaction is
// marked broken and its commit throws instead of storing a part. The
// outermost one sets a savepoint of its own when it begins and releases it
// just before its commit: a savepoint gone means the server undid the
// transaction meanwhile, and the commit throws as a deadlock would.
#include "store/session/ResultCodes.h"

#include <cppconn/connection.h>
#include <cppconn/exception.h>
#include <cppconn/statement.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <random>
#include <string>
#include <thread>

namespace tvxsql {

// Deadlock, lock wait timeout, or a cluster's certification conflict (which
// the server answers as a deadlock, often at COMMIT): the server undid the
// transaction, and running it again is the documented remedy.
inline bool isTransientConflict(int errorNumber) { return errorNumber == 1213 || errorNumber == 1205; }

inline constexpr int kWriteAttempts = 10;
// A lock wait runs out only after a while: the write is tried once more, and
// then the store is reported busy rather than holding the window longer.
inline constexpr int kLockWaitAttempts = 2;

// Runs `work` (a whole write: its own transaction or single statements) and
// runs it again after a transient conflict, a few times, with a short random
// pause so that two clients do not collide again in step. Inside an enclosing
// transaction nothing is repeated: the conflict undid the enclosing one too.
// `hopeless` tells a conflict that no repetition can mend (a cluster node cut off).
template <class Work, class Hopeless>
auto retryOnConflict(sql::Connection& connection, Work&& work, Hopeless&& hopeless)
{
    const bool outermost = connection.getAutoCommit();
    thread_local std::minstd_rand jitter{std::random_device{}()};
    int lockWaits = 0;
    for (int attempt = 1;; ++attempt) {
        try {
            return work();
        } catch (const sql::SQLException& e) {
            if (!outermost || attempt >= kWriteAttempts || !isTransientConflict(e.getErrorCode()) || hopeless(e))
                throw;
            if (e.getErrorCode() == kErrLockWaitTimeout && ++lockWaits >= kLockWaitAttempts)
                throw;
        }
        const int most = 5 * attempt * attempt;
        std::this_thread::sleep_for(std::chrono::milliseconds(1 + int(jitter() % unsigned(most))));
    }
}

class Transaction {
public:
    // A nested one committed with KeepSavepoint leaves its savepoint to the
    // outermost commit, which releases it with the rest: a round trip less.
    enum class Nested { ReleaseSavepoint, KeepSavepoint };

    explicit Transaction(sql::Connection& connection, Nested nested = Nested::ReleaseSavepoint)
        : mConnection(connection), mOwner(connection.getAutoCommit()), mParent(tCurrent),
          mKeepSavepoint(nested == Nested::KeepSavepoint)
    {
        if (mOwner) {
            mConnection.setAutoCommit(false);
            try {
                execute("SAVEPOINT " + std::string(kBegun));
            } catch (const sql::SQLException&) {
                restoreAutoCommit();
                throw;
            }
        } else {
            static std::atomic<unsigned> counter{0};
            mSavepoint = "tvx_sp_" + std::to_string(counter.fetch_add(1) + 1);
            execute("SAVEPOINT " + mSavepoint);
        }
        tCurrent = this;
    }
    ~Transaction()
    {
        tCurrent = mParent;
        if (mCommitted)
            return;
        try {
            if (mOwner) {
                restoreAutoCommit();
            } else {
                execute("ROLLBACK TO SAVEPOINT " + mSavepoint);
                execute("RELEASE SAVEPOINT " + mSavepoint);
            }
        } catch (const sql::SQLException&) {
            // The connection is gone, or the server already rolled the whole
            // transaction back: what the enclosing ones wrote is lost too.
            if (!mOwner)
                markBroken();
        }
    }
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    void commit()
    {
        if (mBroken)
            throw sql::SQLException("Transaction rolled back by the server", "40000", 1213);
        if (mOwner) {
            // A cluster node may undo the transaction under us (another node's
            // write took its locks) and still run a prepared statement sent
            // after that in a new transaction: the savepoint of the start is
            // then gone, and committing would store only what followed.
            try {
                execute("RELEASE SAVEPOINT " + std::string(kBegun));
            } catch (const sql::SQLException& e) {
                if (e.getErrorCode() != kErrNoSuchSavepoint)
                    throw;
                throw sql::SQLException("Transaction rolled back by the server", "40001", 1213);
            }
            // As a statement: the connector's own commit() lets a failure pass.
            execute("COMMIT");
            mConnection.setAutoCommit(true);
        } else if (!mKeepSavepoint) {
            execute("RELEASE SAVEPOINT " + mSavepoint);
        }
        mCommitted = true;
    }

    // True when a nested transaction could not be undone alone.
    bool broken() const { return mBroken; }

private:
    void execute(const std::string& text)
    {
        std::unique_ptr<sql::Statement> stmt(mConnection.createStatement());
        stmt->execute(text);
    }
    // Ends the transaction: the connection never stays out of autocommit,
    // where every later write would only be a savepoint of this one.
    void restoreAutoCommit()
    {
        mConnection.rollback();
        mConnection.setAutoCommit(true);
    }
    void markBroken()
    {
        for (Transaction* outer = mParent; outer; outer = outer->mParent)
            if (&outer->mConnection == &mConnection)
                outer->mBroken = true;
    }

    static constexpr const char* kBegun = "tvx_begun";
    static constexpr int kErrNoSuchSavepoint = 1305;

    // Transactions nest lexically on one thread.
    static inline thread_local Transaction* tCurrent = nullptr;

    sql::Connection& mConnection;
    bool mOwner;
    Transaction* mParent;
    bool mKeepSavepoint;
    std::string mSavepoint;
    bool mCommitted = false;
    bool mBroken = false;
};

} // namespace tvxsql
