// The four recent lists of the signed-in user (most viewed, recently viewed,
// recently modified, recently added): kept in memory and as rows on the server,
// so that they follow the user from one log-in to the next.
#include "model/TVXRecord.h"
#include "store/QueryConstants.h"
#include "store/StatementHelpers.h"
#include "store/SmartLists.h"
#include "store/TVXDataBase.h"

#include <cppconn/connection.h>
#include <cppconn/exception.h>
#include <cppconn/prepared_statement.h>
#include <cppconn/resultset.h>

#include <algorithm>

namespace {

sql::Connection& liveConnection(const std::unique_ptr<sql::Connection>& connection)
{
    if (!connection)
        throw sql::SQLException("Invalid Connection", "HY000", kErrServerLost);
    return *connection;
}

// The user's first rows, as many as bound: those that as many runs of the
// one-row delete would remove, in a single statement.
constexpr char kQueryRemoveFirstRowsRecentlyAdded[] = "delete  from RECENTLYADDEDTABLE where USERID=? LIMIT ?";

} // namespace

const TVXDataBase::RecentListStatements TVXDataBase::kMostViewedStatements{
    kQueryMostViewedTable, kQueryInsertMostViewedTable, kQueryDeleteMostViewedTable,
    kQueryRemoveFirstRowMostViewed};
const TVXDataBase::RecentListStatements TVXDataBase::kRecentlyViewedStatements{
    kQueryRecentlyViewedTable, kQueryInsertRecentlyViewedTable, kQueryDeleteRecentlyViewedTable,
    kQueryRemoveFirstRowRecentlyViewed};
const TVXDataBase::RecentListStatements TVXDataBase::kRecentlyModifiedStatements{
    kQueryRecentlyModifiedTable, kQueryInsertRecentlyModifiedTable, kQueryDeleteRecentlyModifiedTable,
    kQueryRemoveFirstRowRecentlyModified};
const TVXDataBase::RecentListStatements TVXDataBase::kRecentlyAddedStatements{
    kQueryRecentlyAddedTable, kQueryInsertRecentlyAddedTable, kQueryDeleteRecentlyAddedTable,
    kQueryRemoveFirstRowRecentlyAdded};

// --- adding ------------------------------------------------------------------

int TVXDataBase::addMostViewedRecordID(const QString& recordID, const QString& userID)
{
    return addRecentListEntry(m_mostViewedRecords, kMostViewedStatements, recordID, userID);
}

int TVXDataBase::addRecentlyViewedRecordID(const QString& recordID, const QString& userID)
{
    return addRecentListEntry(m_recentlyViewedTypes, kRecentlyViewedStatements, recordID, userID);
}

int TVXDataBase::addRecentlyModifiedRecordID(const TVXRecord& record, const QString& userID)
{
    return addRecentListEntry(m_recentlyMofifiedTypes, kRecentlyModifiedStatements, record.mRecordUID(),
                              userID);
}

int TVXDataBase::addRecentlyAddedID(const QString& recordID, const QString& userID)
{
    return addRecentListEntry(m_recentlyAddedRecords, kRecentlyAddedStatements, recordID, userID);
}

// The user's rows of a list on the server. In a batch the count is kept:
// its transaction sees no other change.
int TVXDataBase::serverRecentRowCount(sql::Connection& connection, const RecentListStatements& statements,
                                      const QString& userID)
{
    int* const known = batchRecentRows(statements.read, userID);
    if (known && *known >= 0)
        return *known;
    const PreparedRef read = prepareForBatch(connection, statements.read);
    read->setString(1, userID.toStdString());
    std::unique_ptr<sql::ResultSet> rs(read->executeQuery());
    int rows = 0;
    while (rs->next())
        ++rows;
    if (known)
        *known = rows;
    return rows;
}

int TVXDataBase::trimRecentListOnServer(const RecentListStatements& statements, const QString& userID)
{
    // The server's count decides, not the memory list's: the recently added
    // list starts empty at every log-in while its rows stay, and rows written
    // by other tools may already exceed the limit.
    writeBatchRecentRows(); // the count below includes them
    try {
        const auto guard = lockConnection(); // released before the error path runs
        sql::Connection& connection = liveConnection(mCPcon);
        const int rows = serverRecentRowCount(connection, statements, userID);
        int* const known = batchRecentRows(statements.read, userID); // kept in step with deletions
        if (rows < kRecentListLimit)
            return kTVXDone;
        // Each run deletes the user's first row, the oldest in insertion order.
        const PreparedRef removeFirst = prepareForBatch(connection, statements.removeFirst);
        removeFirst->setString(1, userID.toStdString());
        for (int surplus = rows - (kRecentListLimit - 1); surplus > 0; --surplus) {
            const int removed = removeFirst->executeUpdate();
            if (known)
                *known -= removed;
        }
        return kTVXDone;
    } catch (const sql::SQLException& e) {
        return reportDatabaseError(e);
    } catch (const std::exception&) {
        return kTVXNotServerError;
    }
}

int TVXDataBase::addRecentListEntry(QStringList& list, const RecentListStatements& statements,
                                    const QString& recordID, const QString& userID)
{
    if (&statements == &kRecentlyAddedStatements)
        if (QStringList* const deferred = batchRecentlyAddedRows(recordID, userID)) {
            while (list.size() >= kRecentListLimit)
                list.removeFirst();
            deferred->append(recordID);
            list.append(recordID);
            return kTVXDone;
        }
    // A failed trim does not stop the insert; its failure is still reported.
    const int trimCode = trimRecentListOnServer(statements, userID);
    while (list.size() >= kRecentListLimit)
        list.removeFirst();

    try {
        const auto guard = lockConnection(); // released before the error path runs
        const PreparedRef insert = prepareForBatch(liveConnection(mCPcon), statements.insert);
        insert->setString(1, userID.toStdString());
        insert->setString(2, recordID.toStdString());
        // The insert ignores a refused key: no row means the record is gone
        // from the server and the cached copy is stale.
        const int inserted = insert->executeUpdate();
        if (int* const known = batchRecentRows(statements.read, userID); known && *known >= 0)
            *known += inserted;
        if (inserted == 0)
            return kTVXReloadFirst;
    } catch (const sql::SQLException& e) {
        return reportDatabaseError(e);
    } catch (const std::exception&) {
        return kTVXNotServerError;
    }
    list.append(recordID);
    return trimCode;
}

void TVXDataBase::writeRecentlyAddedRows(const QString& userID, const QStringList& recordIDs)
{
    const RecentListStatements& statements = kRecentlyAddedStatements;
    if (recordIDs.isEmpty())
        return;
    // Each add made room for itself: of the user's rows, those beyond what the
    // run leaves room for go, oldest first; none of the run's own rows that a
    // later add would delete is written at all.
    try {
        const auto guard = lockConnection(); // released before the error path runs
        sql::Connection& connection = liveConnection(mCPcon);
        const int rows = serverRecentRowCount(connection, statements, userID);
        int* const known = batchRecentRows(statements.read, userID); // kept in step with deletions
        const qsizetype surplus =
            std::min<qsizetype>(rows, std::max<qsizetype>(0, rows + recordIDs.size() - kRecentListLimit));
        if (surplus > 0) {
            const PreparedRef removeFirst = prepareForBatch(connection, kQueryRemoveFirstRowsRecentlyAdded);
            removeFirst->setString(1, userID.toStdString());
            removeFirst->setInt64(2, surplus);
            const int removed = removeFirst->executeUpdate();
            if (known)
                *known -= removed;
        }
    } catch (const sql::SQLException& e) {
        reportDatabaseError(e); // the rows still go in, as after a failed trim
    } catch (const std::exception&) {
    }

    const QStringList newest = recordIDs.mid(std::max<qsizetype>(0, recordIDs.size() - kRecentListLimit));
    try {
        const auto guard = lockConnection(); // released before the error path runs
        const std::unique_ptr<sql::PreparedStatement> insert(liveConnection(mCPcon).prepareStatement(
            tvxsql::repeatedRowsText(statements.insert, int(newest.size()))));
        for (qsizetype i = 0; i < newest.size(); ++i) {
            insert->setString(int(i) * 2 + 1, userID.toStdString());
            insert->setString(int(i) * 2 + 2, newest[i].toStdString());
        }
        const int inserted = insert->executeUpdate();
        if (int* const known = batchRecentRows(statements.read, userID); known && *known >= 0)
            *known += inserted;
        return;
    } catch (const sql::SQLException& e) {
        reportDatabaseError(e);
    } catch (const std::exception&) {
    }
    // Not stored: out of the memory list too, as a failed single insert leaves it.
    for (const QString& recordID : recordIDs)
        m_recentlyAddedRecords.removeAll(recordID);
}

// --- removing ----------------------------------------------------------------

int TVXDataBase::removeMostViewedRecordID(const QString& recordID)
{
    return removeRecentListEntry(m_mostViewedRecords, kMostViewedStatements.deleteRecord, recordID);
}

int TVXDataBase::removeRecentlyViewedRecordID(const QString& recordID)
{
    return removeRecentListEntry(m_recentlyViewedTypes, kRecentlyViewedStatements.deleteRecord, recordID);
}

int TVXDataBase::removeRecentlyModifiedRecordID(const QString& recordID)
{
    return removeRecentListEntry(m_recentlyMofifiedTypes, kRecentlyModifiedStatements.deleteRecord, recordID);
}

int TVXDataBase::removeRecentlyAddedRecordID(const QString& recordID)
{
    return removeRecentListEntry(m_recentlyAddedRecords, kRecentlyAddedStatements.deleteRecord, recordID);
}

int TVXDataBase::removeRecentListEntry(QStringList& list, const char* deleteStatement, const QString& recordID)
{
    writeBatchRecentRows(); // a row still waiting would come back after the delete
    try {
        const auto guard = lockConnection(); // released before the error path runs
        std::unique_ptr<sql::PreparedStatement> stmt(liveConnection(mCPcon).prepareStatement(deleteStatement));
        stmt->setString(1, recordID.toStdString());
        stmt->executeUpdate();
    } catch (const sql::SQLException& e) {
        return reportDatabaseError(e);
    } catch (const std::exception&) {
        return kTVXNotServerError;
    }
    list.removeAll(recordID);
    return kTVXDone;
}

int TVXDataBase::removeMostViewedRecordIDForUser(const QString& recordID, const QString& userID)
{
    static constexpr char kDeleteUsersMostViewed[] =
        "DELETE FROM MOSTVIEWEDTABLE WHERE RECORDID =? AND USERID =?";
    try {
        const auto guard = lockConnection(); // released before the error path runs
        std::unique_ptr<sql::PreparedStatement> stmt(
            liveConnection(mCPcon).prepareStatement(kDeleteUsersMostViewed));
        stmt->setString(1, recordID.toStdString());
        stmt->setString(2, userID.toStdString());
        stmt->executeUpdate();
    } catch (const sql::SQLException& e) {
        return reportDatabaseError(e);
    } catch (const std::exception&) {
        return kTVXNotServerError;
    }
    m_mostViewedRecords.removeAll(recordID);
    return kTVXDone;
}

int TVXDataBase::removeRecordIDFromRecentLists(const QString& recordID)
{
    const int codes[] = {
        removeMostViewedRecordID(recordID),
        removeRecentlyViewedRecordID(recordID),
        removeRecentlyModifiedRecordID(recordID),
        removeRecentlyAddedRecordID(recordID),
    };
    for (const int code : codes)
        if (code != kTVXDone)
            return code;
    return kTVXDone;
}

// --- reading -----------------------------------------------------------------

int TVXDataBase::readMostViewedRecordIDForUser(const QString& userID)
{
    return readRecentList(m_mostViewedRecords, kMostViewedStatements.read, userID);
}

void TVXDataBase::readRecentlyViewedRecordIDForUser(const QString& userID, int* returnCode)
{
    const int code = readRecentList(m_recentlyViewedTypes, kRecentlyViewedStatements.read, userID);
    if (returnCode)
        *returnCode = code;
}

void TVXDataBase::readRecentlyModifiedRecordIDForUser(const QString& userID, int* returnCode)
{
    const int code = readRecentList(m_recentlyMofifiedTypes, kRecentlyModifiedStatements.read, userID);
    if (returnCode)
        *returnCode = code;
}

int TVXDataBase::readRecentList(QStringList& list, const char* readStatement, const QString& userID)
{
    try {
        const auto guard = lockConnection(); // released before the error path runs
        std::unique_ptr<sql::PreparedStatement> stmt(liveConnection(mCPcon).prepareStatement(readStatement));
        stmt->setString(1, userID.toStdString());
        std::unique_ptr<sql::ResultSet> rs(stmt->executeQuery());
        QStringList rows;
        rows.reserve(kRecentListLimit);
        while (rs->next())
            rows << tvxsql::textColumn(*rs, 2);
        list = std::move(rows);
        return kTVXDone;
    } catch (const sql::SQLException& e) {
        return reportDatabaseError(e);
    } catch (const std::exception&) {
        return kTVXNotServerError;
    }
}

void TVXDataBase::addMostViewedRecord(const TVXRecord* record, bool increment)
{
    smartlists::addMostViewedRecord(*this, record, increment);
}

void TVXDataBase::addRecentlyViewedRecord(const TVXRecord* record) { smartlists::addRecentlyViewedRecord(*this, record); }

void TVXDataBase::addRecentlyAddedRecord(const TVXRecord* record) { smartlists::addRecentlyAddedRecord(*this, record); }

void TVXDataBase::addRecentlyModifiedRecord(const TVXRecord* record)
{
    smartlists::addRecentlyModifiedRecord(*this, record);
}

void TVXDataBase::removeRecordFromSmartTypes(const TVXRecord* record)
{
    smartlists::removeRecordFromSmartTypes(*this, record);
}
