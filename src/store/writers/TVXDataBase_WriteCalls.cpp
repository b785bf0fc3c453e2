// Writes as one call of a store routine each (store/writers/WriteCalls.h).
#include "store/writers/WriteCalls.h"

#include "store/TVXDataBase.h"
#include "store/session/StatementHelpers.h"

#include <cppconn/connection.h>
#include <cppconn/exception.h>
#include <cppconn/prepared_statement.h>
#include <cppconn/resultset.h>
#include <cppconn/statement.h>

namespace {

constexpr int kErrNoSuchRoutine = 1305;
constexpr int kErrRoutineDenied = 1370;

} // namespace

bool tvxcalls::CallAnswer::take(const sql::SQLException& e)
{
    switch (e.getErrorCode()) {
    case kNoRowChanged:
        code = kTVXReloadFirst; // the routine rolled back
        return true;
    case kLogRowRefused:
    case kRecentRowRefused:
    case kSideRowsRefused:
        code = kTVXDone; // written: the client commits
        logRefused = e.getErrorCode() != kRecentRowRefused;
        recentRefused = e.getErrorCode() != kLogRowRefused;
        return true;
    default:
        return false;
    }
}

bool tvxcalls::notServed(const sql::SQLException& e)
{
    return e.getErrorCode() == kErrNoSuchRoutine || e.getErrorCode() == kErrRoutineDenied;
}

void tvxcalls::executeText(sql::Connection& connection, const char* text)
{
    const std::unique_ptr<sql::Statement> stmt(connection.createStatement());
    stmt->execute(text);
}

void tvxcalls::rollBackQuietly(sql::Connection& connection)
{
    try {
        executeText(connection, "ROLLBACK");
    } catch (const sql::SQLException&) {
    }
}

void tvxcalls::commitWritten(sql::Connection& connection, const CallAnswer& answer)
{
    // A routine that wrote leaves its transaction open: only this statement's
    // answer says whether a cluster kept it. One that answered 8 rolled back.
    if (answer.code == kTVXDone)
        executeText(connection, "COMMIT");
}

bool TVXDataBase::mayCall(sql::Connection& connection) const
{
    return !batchOfThisThread() && connection.getAutoCommit();
}

bool TVXDataBase::callWrite(sql::Connection& connection, const char* call, bool checksKey, const CallBind& bind,
                            tvxcalls::CallAnswer& answer)
{
    answer = tvxcalls::CallAnswer{};
    if (checksKey && !keyRowMatchesKey())
        return false;
    try {
        const PreparedRef stmt = prepareForBatch(connection, call);
        int next = 1;
        if (checksKey) {
            stmt->setBoolean(1, mCiphers.keyedMasterPassword().has_value());
            if (mKeyRow.present)
                tvxsql::bindBytes(*stmt, 2, mKeyRow.cipher);
            else
                stmt->setNull(2, sql::DataType::LONGVARBINARY);
            next = 3;
        }
        bind(*stmt, next);
        stmt->execute();
    } catch (const sql::SQLException& e) {
        if (!answer.take(e)) {
            if (e.getErrorCode() == tvxcalls::kKeyRowChanged) {
                mKeyRow = {};
                return false;
            }
            if (tvxcalls::notServed(e))
                return false;
            throw;
        }
    }
    try {
        tvxcalls::commitWritten(connection, answer);
    } catch (const sql::SQLException&) {
        tvxcalls::rollBackQuietly(connection);
        throw;
    }
    return true;
}

bool TVXDataBase::callLockedWrite(sql::Connection& connection, const char* lockQuery, const QString& uid,
                                  const std::function<TVXResult(sql::ResultSet&)>& check, const char* call,
                                  const CallBind& bind, tvxcalls::CallAnswer& answer)
{
    return callLockedWrite(
        connection, lockQuery, [&uid](sql::PreparedStatement& lock, int first) { lock.setString(first, uid.toStdString()); },
        check, call, bind, answer);
}

bool TVXDataBase::callLockedWrite(sql::Connection& connection, const char* lockQuery, const CallBind& lockBind,
                                  const std::function<TVXResult(sql::ResultSet&)>& check, const char* call,
                                  const CallBind& bind, tvxcalls::CallAnswer& answer)
{
    answer = tvxcalls::CallAnswer{};
    tvxcalls::executeText(connection, "START TRANSACTION");
    try {
        TVXResult checked = kTVXReloadFirst; // a row gone
        {
            const PreparedRef lock = prepareForBatch(connection, lockQuery);
            lockBind(*lock, 1);
            const std::unique_ptr<sql::ResultSet> rs(lock->executeQuery());
            if (rs->next()) {
                noteKeyRow(*rs, 1);
                // Nothing is written under a key the store no longer uses.
                if (!keyRowMatchesKey())
                    checked = kTVXMasterPasswordMismatch;
                else if (!rs->isNull(2))
                    checked = check(*rs);
            }
        }
        if (checked != kTVXDone) {
            tvxcalls::rollBackQuietly(connection);
            answer.code = checked;
            return true;
        }
        const PreparedRef stmt = prepareForBatch(connection, call);
        bind(*stmt, 1);
        try {
            stmt->execute();
        } catch (const sql::SQLException& e) {
            if (!answer.take(e))
                throw;
        }
        tvxcalls::commitWritten(connection, answer);
        return true;
    } catch (const sql::SQLException& e) {
        tvxcalls::rollBackQuietly(connection);
        if (tvxcalls::notServed(e))
            return false;
        throw;
    } catch (...) {
        tvxcalls::rollBackQuietly(connection);
        throw;
    }
}
