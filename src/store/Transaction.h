#pragma once
// A transaction on the shared connection that rolls back unless committed.
// Inside an outer transaction it joins that one: only the outermost commits.
#include <cppconn/connection.h>
#include <cppconn/exception.h>

namespace tvxsql {

class Transaction {
public:
    explicit Transaction(sql::Connection& connection)
        : mConnection(connection), mOwner(connection.getAutoCommit())
    {
        if (mOwner)
            mConnection.setAutoCommit(false);
    }
    ~Transaction()
    {
        if (!mOwner || mCommitted)
            return;
        try {
            mConnection.rollback();
            mConnection.setAutoCommit(true);
        } catch (const sql::SQLException&) {
            // The connection is gone; the server rolls back on its own.
        }
    }
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    void commit()
    {
        if (!mOwner)
            return;
        mConnection.commit();
        mConnection.setAutoCommit(true);
        mCommitted = true;
    }

private:
    sql::Connection& mConnection;
    bool mOwner;
    bool mCommitted = false;
};

} // namespace tvxsql
