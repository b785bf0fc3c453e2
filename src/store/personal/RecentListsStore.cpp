// The four recent lists of the signed-in user (most viewed, recently viewed,
// recently modified, recently added): kept in memory and as rows on the server,
// so that they follow the user from one log-in to the next.
#include "store/personal/RecentListsStore.h"

#include "model/TVXRecord.h"
#include "model/TVXUser.h"
#include "store/schema/QueryConstants.h"
#include "store/session/StatementHelpers.h"
#include "store/loading/SmartLists.h"
#include "store/loading/StoreCaches.h"
#include "store/session/ReadAhead.h"
#include "store/session/StoreSession.h"

#include <cppconn/connection.h>
#include <cppconn/exception.h>
#include <cppconn/prepared_statement.h>
#include <cppconn/resultset.h>

#include <algorithm>

namespace {

// All but the user's newest rows, as many as bound: those that as many runs
// of the one-row delete (oldest first) would leave, in a single statement.
// RECENTLYADDEDKEYS is the list's view with its row keys in sight.
constexpr char kQueryKeepNewestRowsRecentlyAdded[] =
    "DELETE FROM RECENTLYADDEDKEYS WHERE USERID=? AND ROWKEY < (SELECT MIN(ROWKEY) FROM "
    "(SELECT ROWKEY FROM RECENTLYADDEDKEYS WHERE USERID=? ORDER BY ROWKEY DESC LIMIT ?) AS kept)";

constexpr int kLimit = TVXRecentListsAccess::kRecentListLimit;

// A store not yet upgraded has no such view, or grants none on it: the
// one-row deletes serve there as before.
bool trimNotServed(const sql::SQLException& e)
{
    constexpr int kErrTableAccessDenied = 1142;
    constexpr int kErrNoSuchTable = 1146;
    constexpr int kErrViewInvalid = 1356;
    return e.getErrorCode() == kErrTableAccessDenied || e.getErrorCode() == kErrNoSuchTable
        || e.getErrorCode() == kErrViewInvalid;
}

} // namespace

const std::array<TVXRecentLists::Statements, TVXRecentLists::ListCount> TVXRecentLists::kStatements{{
    {kQueryMostViewedTable, kQueryInsertMostViewedTable, kQueryDeleteMostViewedTable,
     kQueryRemoveFirstRowMostViewed},
    {kQueryRecentlyViewedTable, kQueryInsertRecentlyViewedTable, kQueryDeleteRecentlyViewedTable,
     kQueryRemoveFirstRowRecentlyViewed},
    {kQueryRecentlyModifiedTable, kQueryInsertRecentlyModifiedTable, kQueryDeleteRecentlyModifiedTable,
     kQueryRemoveFirstRowRecentlyModified},
    {kQueryRecentlyAddedTable, kQueryInsertRecentlyAddedTable, kQueryDeleteRecentlyAddedTable,
     kQueryRemoveFirstRowRecentlyAdded},
}};

// --- the manager's methods of the recent lists ----------------------------------

const QStringList& TVXRecentListsAccess::mMostViewedRecords() const { return mRecentLists->list(TVXRecentLists::MostViewed); }
const QStringList& TVXRecentListsAccess::mRecentlyViewedTypes() const
{
    return mRecentLists->list(TVXRecentLists::RecentlyViewed);
}
const QStringList& TVXRecentListsAccess::mRecentlyMofifiedTypes() const
{
    return mRecentLists->list(TVXRecentLists::RecentlyModified);
}
const QStringList& TVXRecentListsAccess::mRecentlyAddedRecords() const
{
    return mRecentLists->list(TVXRecentLists::RecentlyAdded);
}
TVXResult TVXRecentListsAccess::addMostViewedRecordID(const QString& recordID, const QString& userID)
{
    return mRecentLists->add(TVXRecentLists::MostViewed, recordID, userID);
}
TVXResult TVXRecentListsAccess::addRecentlyViewedRecordID(const QString& recordID, const QString& userID)
{
    return mRecentLists->add(TVXRecentLists::RecentlyViewed, recordID, userID);
}
TVXResult TVXRecentListsAccess::addRecentlyModifiedRecordID(const TVXRecord& record, const QString& userID)
{
    return mRecentLists->add(TVXRecentLists::RecentlyModified, record.mRecordUID(), userID);
}
TVXResult TVXRecentListsAccess::addRecentlyAddedID(const QString& recordID, const QString& userID)
{
    return mRecentLists->add(TVXRecentLists::RecentlyAdded, recordID, userID);
}
TVXResult TVXRecentListsAccess::removeMostViewedRecordID(const QString& recordID)
{
    return mRecentLists->remove(TVXRecentLists::MostViewed, recordID);
}
TVXResult TVXRecentListsAccess::removeRecentlyViewedRecordID(const QString& recordID)
{
    return mRecentLists->remove(TVXRecentLists::RecentlyViewed, recordID);
}
TVXResult TVXRecentListsAccess::removeRecentlyModifiedRecordID(const QString& recordID)
{
    return mRecentLists->remove(TVXRecentLists::RecentlyModified, recordID);
}
TVXResult TVXRecentListsAccess::removeRecentlyAddedRecordID(const QString& recordID)
{
    return mRecentLists->remove(TVXRecentLists::RecentlyAdded, recordID);
}
TVXResult TVXRecentListsAccess::removeMostViewedRecordIDForUser(const QString& recordID, const QString& userID)
{
    return mRecentLists->removeMostViewedForUser(recordID, userID);
}
TVXResult TVXRecentListsAccess::readMostViewedRecordIDForUser(const QString& userID)
{
    return mRecentLists->read(TVXRecentLists::MostViewed, userID);
}
void TVXRecentListsAccess::readRecentlyViewedRecordIDForUser(const QString& userID, TVXResult* returnCode)
{
    const TVXResult code = mRecentLists->read(TVXRecentLists::RecentlyViewed, userID);
    if (returnCode)
        *returnCode = code;
}
void TVXRecentListsAccess::readRecentlyModifiedRecordIDForUser(const QString& userID, TVXResult* returnCode)
{
    const TVXResult code = mRecentLists->read(TVXRecentLists::RecentlyModified, userID);
    if (returnCode)
        *returnCode = code;
}

// --- adding ------------------------------------------------------------------

// The user's rows of a list on the server. In a batch the count is kept:
// its transaction sees no other change.
int TVXRecentLists::serverRowCount(sql::Connection& connection, const Statements& statements,
                                   const QString& userID)
{
    int* const known = mDatabase.batchRecentRows(statements.read, userID);
    if (known && *known >= 0)
        return *known;
    const TVXStoreSession::PreparedRef read = mDatabase.prepareForBatch(connection, statements.read);
    read->setString(1, userID.toStdString());
    std::unique_ptr<sql::ResultSet> rs(read->executeQuery());
    int rows = 0;
    while (rs->next())
        ++rows;
    if (known)
        *known = rows;
    return rows;
}

TVXResult TVXRecentLists::trimOnServer(const Statements& statements, const QString& userID, int room)
{
    // The server's count decides, not the memory list's: the recently added
    // list starts empty at every log-in while its rows stay, and rows written
    // by other tools may already exceed the limit.
    mDatabase.writeBatchRecentRows(); // the count below includes them
    return mDatabase.runStatement([&] {
        const auto guard = mDatabase.lockConnection(); // released before the error path runs
        sql::Connection& connection = mDatabase.liveConnection();
        const int rows = serverRowCount(connection, statements, userID);
        int* const known = mDatabase.batchRecentRows(statements.read, userID); // kept in step with deletions
        if (rows <= kLimit - room)
            return kTVXDone;
        // Each run deletes the user's first row, the oldest in insertion order.
        const TVXStoreSession::PreparedRef removeFirst = mDatabase.prepareForBatch(connection, statements.removeFirst);
        removeFirst->setString(1, userID.toStdString());
        for (int surplus = rows - (kLimit - room); surplus > 0; --surplus) {
            const int removed = removeFirst->executeUpdate();
            if (known)
                *known -= removed;
        }
        return kTVXDone;
    });
}

TVXResult TVXRecentLists::add(List which, const QString& recordID, const QString& userID)
{
    QStringList& list = mLists[which];
    if (which == RecentlyAdded)
        if (QStringList* const deferred = mDatabase.batchRecentlyAddedRows(recordID, userID)) {
            deferred->append(recordID);
            addInMemory(which, recordID);
            return kTVXDone;
        }
    bool stored = false;
    const TVXResult code = writeAdded(which, recordID, userID, &stored);
    // Room is made in memory whatever the insert did; the entry only when it was stored.
    while (list.size() >= kLimit)
        list.removeFirst();
    if (stored)
        list.append(recordID);
    return code;
}

void TVXRecentLists::addInMemory(List which, const QString& recordID)
{
    QStringList& list = mLists[which];
    while (list.size() >= kLimit)
        list.removeFirst();
    list.append(recordID);
}

TVXResult TVXRecentLists::writeAdded(List which, const QString& recordID, const QString& userID, bool* stored)
{
    const Statements& statements = kStatements[which];
    // A failed trim does not stop the insert; its failure is still reported.
    const TVXResult trimCode = trimOnServer(statements, userID, 1);
    const TVXResult code = mDatabase.runStatement([&] {
        const auto guard = mDatabase.lockConnection(); // released before the error path runs
        const TVXStoreSession::PreparedRef insert = mDatabase.prepareForBatch(mDatabase.liveConnection(), statements.insert);
        insert->setString(1, userID.toStdString());
        insert->setString(2, recordID.toStdString());
        // The insert ignores a refused key: no row means the record is gone
        // from the server and the cached copy is stale.
        const int inserted = insert->executeUpdate();
        if (int* const known = mDatabase.batchRecentRows(statements.read, userID); known && *known >= 0)
            *known += inserted;
        return inserted == 0 ? kTVXReloadFirst : kTVXDone;
    });
    if (stored)
        *stored = code == kTVXDone;
    return code != kTVXDone ? code : trimCode;
}

void TVXRecentLists::writeRecentlyAddedRows(const QString& userID, const QStringList& recordIDs)
{
    const Statements& statements = kStatements[RecentlyAdded];
    if (recordIDs.isEmpty())
        return;
    // Each add made room for itself: none of the run's own rows that a later
    // add would delete is written at all, and of the user's rows only the
    // newest stay afterwards, as after as many single adds. Two statements,
    // whatever the user's rows on the server.
    const QStringList newest = recordIDs.mid(std::max<qsizetype>(0, recordIDs.size() - kLimit));
    bool stored = false;
    try {
        const auto guard = mDatabase.lockConnection(); // released before the error path runs
        const TVXStoreSession::PreparedRef insert =
            mDatabase.prepareRowsForBatch(mDatabase.liveConnection(), statements.insert, int(newest.size()));
        for (qsizetype i = 0; i < newest.size(); ++i) {
            insert->setString(int(i) * 2 + 1, userID.toStdString());
            insert->setString(int(i) * 2 + 2, newest[i].toStdString());
        }
        insert->executeUpdate();
        stored = true;
    } catch (const sql::SQLException& e) {
        (void)mDatabase.reportDatabaseError(e);
    } catch (const std::exception&) {
    }
    // A failed insert does not stop the trim; its failure is still reported.
    bool trimServed = true;
    try {
        const auto guard = mDatabase.lockConnection();
        // The batch's count of the user's rows is no longer known.
        if (int* const known = mDatabase.batchRecentRows(statements.read, userID))
            *known = -1;
        const TVXStoreSession::PreparedRef trim =
            mDatabase.prepareForBatch(mDatabase.liveConnection(), kQueryKeepNewestRowsRecentlyAdded);
        trim->setString(1, userID.toStdString());
        trim->setString(2, userID.toStdString());
        trim->setInt(3, kLimit);
        trim->executeUpdate();
    } catch (const sql::SQLException& e) {
        trimServed = !trimNotServed(e);
        if (trimServed)
            (void)mDatabase.reportDatabaseError(e);
    } catch (const std::exception&) {
    }
    if (!trimServed)
        (void)trimOnServer(statements, userID, 0);
    if (stored)
        return;
    // Not stored: out of the memory list too, as a failed single insert leaves it.
    for (const QString& recordID : recordIDs)
        mLists[RecentlyAdded].removeAll(recordID);
}

// --- removing ----------------------------------------------------------------

TVXResult TVXRecentLists::remove(List which, const QString& recordID)
{
    mDatabase.writeBatchRecentRows(); // a row still waiting would come back after the delete
    // The signed-in user's rows: the server refuses other users' (a deleted
    // record's rows of every user go with it).
    const QString userID = mDatabase.caches().mCurrentUser()->mUserID();
    return deleteRows(&mLists[which], kStatements[which].deleteRecord, recordID, &userID);
}

namespace {
constexpr char kDeleteUsersMostViewed[] = "DELETE FROM MOSTVIEWEDTABLE WHERE RECORDID =? AND USERID =?";
}

TVXResult TVXRecentLists::removeMostViewedForUser(const QString& recordID, const QString& userID)
{
    return deleteRows(&mLists[MostViewed], kDeleteUsersMostViewed, recordID, &userID);
}

TVXResult TVXRecentLists::deleteMostViewedRows(const QString& recordID, const QString& userID)
{
    return deleteRows(nullptr, kDeleteUsersMostViewed, recordID, &userID);
}

TVXResult TVXRecentLists::deleteRows(QStringList* list, const char* statement, const QString& recordID,
                               const QString* userID)
{
    const TVXResult code = mDatabase.runStatement([&] {
        const auto guard = mDatabase.lockConnection(); // released before the error path runs
        const TVXStoreSession::PreparedRef stmt = mDatabase.prepareForBatch(mDatabase.liveConnection(), statement);
        stmt->setString(1, recordID.toStdString());
        if (userID)
            stmt->setString(2, userID->toStdString());
        stmt->executeUpdate();
        return kTVXDone;
    });
    if (code == kTVXDone && list)
        list->removeAll(recordID);
    return code;
}

TVXResult TVXRecentListsAccess::removeRecordIDFromRecentLists(const QString& recordID)
{
    const TVXResult codes[] = {
        removeMostViewedRecordID(recordID),
        removeRecentlyViewedRecordID(recordID),
        removeRecentlyModifiedRecordID(recordID),
        removeRecentlyAddedRecordID(recordID),
    };
    for (const TVXResult code : codes)
        if (code != kTVXDone)
            return code;
    return kTVXDone;
}

// --- reading -----------------------------------------------------------------

TVXResult TVXRecentLists::read(List which, const QString& userID)
{
    return mDatabase.runStatement([&] {
        const auto guard = mDatabase.lockConnection(); // released before the error path runs
        const tvxsql::Rows rs = mDatabase.readAhead().rowsFor(mDatabase.liveConnection(), kStatements[which].read, userID);
        QStringList rows;
        rows.reserve(kLimit);
        while (rs->next())
            rows << tvxsql::textColumn(*rs, 2);
        mLists[which] = std::move(rows);
        return kTVXDone;
    });
}

void TVXRecentListsAccess::addMostViewedRecord(const TVXRecord* record, bool increment)
{
    smartlists::addMostViewedRecord(*this, mCaches, record, increment);
}

void TVXRecentListsAccess::addRecentlyViewedRecord(const TVXRecord* record) { smartlists::addRecentlyViewedRecord(*this, mCaches, record); }

void TVXRecentListsAccess::addRecentlyAddedRecord(const TVXRecord* record) { smartlists::addRecentlyAddedRecord(*this, mCaches, record); }

void TVXRecentListsAccess::addRecentlyModifiedRecord(const TVXRecord* record)
{
    smartlists::addRecentlyModifiedRecord(*this, mCaches, record);
}

void TVXRecentListsAccess::removeRecordFromSmartTypes(const TVXRecord* record)
{
    smartlists::removeRecordFromSmartTypes(*this, record);
}
