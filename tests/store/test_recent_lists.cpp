// The recent lists against a real store: memory and server rows kept together,
// at most ten entries per user and list.
#include "model/TVXRecord.h"
#include "store/TVXDataBase.h"
#include "support/StoreSeed.h"
#include "support/TestStore.h"

#include <cppconn/connection.h>
#include <cppconn/resultset.h>
#include <cppconn/statement.h>

#include <functional>

using namespace teststore;

namespace {

const QString G1 = QStringLiteral("00000000000000A1");
const QString T1 = QStringLiteral("00000000000000C1");

QString recordID(int n) { return QStringLiteral("00000000000001%1").arg(n, 2, 16, QLatin1Char('0')).toUpper(); }

QStringList recordIDs(int first, int last)
{
    QStringList ids;
    for (int n = first; n <= last; ++n)
        ids << recordID(n);
    return ids;
}

// One of the four lists, as its callers reach it.
struct ListUnderTest {
    const char* name;
    QString table;
    std::function<TVXResult(TVXDataBase&, const QString& record, const QString& user)> add;
    std::function<TVXResult(TVXDataBase&, const QString& record)> remove;
    std::function<const QStringList&(TVXDataBase&)> memory;
    // Null for the recently added list, which is never read back.
    std::function<TVXResult(TVXDataBase&, const QString& user)> read;
};

std::vector<ListUnderTest> allLists()
{
    return {
        {"most viewed", "MOSTVIEWEDTABLE",
         [](TVXDataBase& db, const QString& r, const QString& u) { return db.recentLists().addMostViewedRecordID(r, u); },
         [](TVXDataBase& db, const QString& r) { return db.recentLists().removeMostViewedRecordID(r); },
         [](TVXDataBase& db) -> const QStringList& { return db.recentLists().mMostViewedRecords(); },
         [](TVXDataBase& db, const QString& u) { return db.recentLists().readMostViewedRecordIDForUser(u); }},
        {"recently viewed", "RECENTLYVIEWEDTABLE",
         [](TVXDataBase& db, const QString& r, const QString& u) { return db.recentLists().addRecentlyViewedRecordID(r, u); },
         [](TVXDataBase& db, const QString& r) { return db.recentLists().removeRecentlyViewedRecordID(r); },
         [](TVXDataBase& db) -> const QStringList& { return db.recentLists().mRecentlyViewedTypes(); },
         [](TVXDataBase& db, const QString& u) {
             TVXResult code = resultOfNumber(-1); // not set by the call
             db.recentLists().readRecentlyViewedRecordIDForUser(u, &code);
             return code;
         }},
        {"recently modified", "RECENTLYMODIFIEDTABLE",
         [](TVXDataBase& db, const QString& r, const QString& u) {
             auto record = TVXRecord::createRecord();
             record->setMRecordUID(r);
             return db.recentLists().addRecentlyModifiedRecordID(*record, u);
         },
         [](TVXDataBase& db, const QString& r) { return db.recentLists().removeRecentlyModifiedRecordID(r); },
         [](TVXDataBase& db) -> const QStringList& { return db.recentLists().mRecentlyMofifiedTypes(); },
         [](TVXDataBase& db, const QString& u) {
             TVXResult code = resultOfNumber(-1); // not set by the call
             db.recentLists().readRecentlyModifiedRecordIDForUser(u, &code);
             return code;
         }},
        {"recently added", "RECENTLYADDEDTABLE",
         [](TVXDataBase& db, const QString& r, const QString& u) { return db.recentLists().addRecentlyAddedID(r, u); },
         [](TVXDataBase& db, const QString& r) { return db.recentLists().removeRecentlyAddedRecordID(r); },
         [](TVXDataBase& db) -> const QStringList& { return db.recentLists().mRecentlyAddedRecords(); },
         nullptr},
    };
}

class RecentLists : public StoreTest {
protected:
    void SetUp() override
    {
        StoreTest::SetUp();
        bobID = addUser("bob", "bob-pw");
        StoreSeed seed(kMasterPassword);
        seed.group(G1, "Finance", 7);
        seed.type(T1, "Web log-in");
        for (int n = 1; n <= 20; ++n) {
            SeedRecord record;
            record.uid = recordID(n);
            record.groupUID = G1;
            record.typeUID = T1;
            record.values = {QStringLiteral("record %1").arg(n)};
            seed.record(record);
        }
        ASSERT_EQ(db.startConnectionToServer(loginRequest()), kTVXDone);
        ASSERT_EQ(db.initUserDetails(kUserName, kUserPassword), kTVXDone);
    }

    // The user's rows of a table, in the order the server keeps them.
    static QStringList serverRows(const QString& table, const QString& userID)
    {
        auto root = rootConnection();
        std::unique_ptr<sql::Statement> stmt(root->createStatement());
        std::unique_ptr<sql::ResultSet> rs(stmt->executeQuery(
            QStringLiteral("SELECT RECORDID FROM tolvanexdb.%1 WHERE USERID='%2'").arg(table, userID).toStdString()));
        QStringList rows;
        while (rs->next())
            rows << QString::fromStdString(rs->getString(1).asStdString());
        return rows;
    }

    static void rootInsert(const QString& table, const QString& userID, const QStringList& records)
    {
        for (const QString& record : records)
            rootExec(QStringLiteral("INSERT INTO tolvanexdb.%1 VALUES('%2', '%3')").arg(table, userID, record));
    }

    TVXDataBase db;
    QString bobID;
};

} // namespace

TEST_F(RecentLists, TheEleventhEntryDropsTheUsersOldest)
{
    // Added newest identifier first, so that insertion order and identifier order differ.
    const auto added = [](int first, int last) {
        QStringList ids;
        for (int n = first; n >= last; --n)
            ids << recordID(n);
        return ids;
    };
    for (const ListUnderTest& list : allLists()) {
        SCOPED_TRACE(list.name);
        for (int n = 20; n >= 12; --n)
            ASSERT_EQ(list.add(db, recordID(n), aliceID), kTVXDone);
        // Nine and a tenth: nothing dropped yet.
        ASSERT_EQ(list.add(db, recordID(11), aliceID), kTVXDone);
        EXPECT_EQ(serverRows(list.table, aliceID), added(20, 11));
        EXPECT_EQ(list.memory(db), added(20, 11));

        ASSERT_EQ(list.add(db, recordID(10), aliceID), kTVXDone);
        EXPECT_EQ(serverRows(list.table, aliceID), added(19, 10));
        EXPECT_EQ(list.memory(db), added(19, 10));

        ASSERT_EQ(list.add(db, recordID(9), aliceID), kTVXDone);
        EXPECT_EQ(serverRows(list.table, aliceID), added(18, 9));
        EXPECT_EQ(list.memory(db), added(18, 9));
    }
}

TEST_F(RecentLists, TrimmingLeavesOtherUsersRowsAlone)
{
    for (const ListUnderTest& list : allLists()) {
        SCOPED_TRACE(list.name);
        rootInsert(list.table, bobID, recordIDs(15, 20));
        for (int n = 1; n <= 14; ++n)
            ASSERT_EQ(list.add(db, recordID(n), aliceID), kTVXDone);
        EXPECT_EQ(serverRows(list.table, aliceID), recordIDs(5, 14));
        EXPECT_EQ(serverRows(list.table, bobID), recordIDs(15, 20));
    }
}

TEST_F(RecentLists, AnOverfullListIsTrimmedToTenByTheNextAdd)
{
    for (const ListUnderTest& list : allLists()) {
        SCOPED_TRACE(list.name);
        rootInsert(list.table, aliceID, recordIDs(1, 13));
        if (list.read) {
            ASSERT_EQ(list.read(db, aliceID), kTVXDone);
            EXPECT_EQ(list.memory(db), recordIDs(1, 13)); // read whole
        }
        ASSERT_EQ(list.add(db, recordID(14), aliceID), kTVXDone);
        EXPECT_EQ(serverRows(list.table, aliceID), recordIDs(5, 14));
        // The recently added list starts empty in memory: only the new entry.
        EXPECT_EQ(list.memory(db), list.read ? recordIDs(5, 14) : QStringList{recordID(14)});
    }
}

TEST_F(RecentLists, RemovingARecordDropsEveryOccurrenceOfTheUsersOwnAndLeavesOthersLists)
{
    for (const ListUnderTest& list : allLists()) {
        SCOPED_TRACE(list.name);
        ASSERT_EQ(list.add(db, recordID(1), aliceID), kTVXDone);
        ASSERT_EQ(list.add(db, recordID(2), aliceID), kTVXDone);
        ASSERT_EQ(list.add(db, recordID(1), aliceID), kTVXDone);
        rootInsert(list.table, bobID, {recordID(1), recordID(3)});

        EXPECT_EQ(list.remove(db, recordID(1)), kTVXDone);
        EXPECT_EQ(list.memory(db), QStringList{recordID(2)});
        EXPECT_EQ(serverRows(list.table, aliceID), QStringList{recordID(2)});
        // Another user's rows are theirs: the server refuses the client's writes there.
        EXPECT_EQ(serverRows(list.table, bobID), (QStringList{recordID(1), recordID(3)}));
    }
}

TEST_F(RecentLists, ADeletedRecordLeavesEveryList)
{
    const auto lists = allLists();
    for (const ListUnderTest& list : lists) {
        ASSERT_EQ(list.add(db, recordID(1), aliceID), kTVXDone);
        ASSERT_EQ(list.add(db, recordID(2), aliceID), kTVXDone);
        rootInsert(list.table, bobID, {recordID(1)});
    }
    // The record writer deletes the row; the schema takes its list rows with it.
    rootExec(QStringLiteral("DELETE FROM tolvanexdb.RECORDTABLE WHERE RECORDID='%1'").arg(recordID(1)));
    for (const ListUnderTest& list : lists) {
        SCOPED_TRACE(list.name);
        EXPECT_EQ(serverRows(list.table, aliceID), QStringList{recordID(2)});
        EXPECT_TRUE(serverRows(list.table, bobID).isEmpty());
    }
    // Memory follows through the removers.
    EXPECT_EQ(db.recentLists().removeRecordIDFromRecentLists(recordID(1)), kTVXDone);
    for (const ListUnderTest& list : lists) {
        SCOPED_TRACE(list.name);
        EXPECT_EQ(list.memory(db), QStringList{recordID(2)});
    }
}

TEST_F(RecentLists, MakingRoomInOnesMostViewedListKeepsOtherUsersEntries)
{
    ASSERT_EQ(db.recentLists().addMostViewedRecordID(recordID(1), aliceID), kTVXDone);
    ASSERT_EQ(db.recentLists().addMostViewedRecordID(recordID(2), aliceID), kTVXDone);
    rootInsert("MOSTVIEWEDTABLE", bobID, {recordID(1)});

    EXPECT_EQ(db.recentLists().removeMostViewedRecordIDForUser(recordID(1), aliceID), kTVXDone);
    EXPECT_EQ(db.recentLists().mMostViewedRecords(), QStringList{recordID(2)});
    EXPECT_EQ(serverRows("MOSTVIEWEDTABLE", aliceID), QStringList{recordID(2)});
    EXPECT_EQ(serverRows("MOSTVIEWEDTABLE", bobID), QStringList{recordID(1)});
}

TEST_F(RecentLists, ReadingReplacesTheListWithTheUsersRows)
{
    const QString carolID = addUser("carol", "carol-pw");
    for (const ListUnderTest& list : allLists()) {
        if (!list.read)
            continue;
        SCOPED_TRACE(list.name);
        rootInsert(list.table, aliceID, {recordID(3), recordID(1), recordID(2)});
        rootInsert(list.table, bobID, {recordID(4)});
        ASSERT_EQ(list.add(db, recordID(5), aliceID), kTVXDone); // something to replace
        ASSERT_EQ(list.read(db, aliceID), kTVXDone);
        EXPECT_EQ(list.memory(db), QStringList({recordID(3), recordID(1), recordID(2), recordID(5)}));

        // A user without rows leaves an empty list, not the previous one.
        ASSERT_EQ(list.read(db, carolID), kTVXDone);
        EXPECT_TRUE(list.memory(db).isEmpty());
    }
}

TEST_F(RecentLists, AnEntryOfARecordNoLongerStoredIsNotListed)
{
    const QString unknown = QStringLiteral("00000000DEADBEEF"); // deleted by another client, say
    for (const ListUnderTest& list : allLists()) {
        SCOPED_TRACE(list.name);
        ASSERT_EQ(list.add(db, recordID(1), aliceID), kTVXDone);
        EXPECT_EQ(list.add(db, unknown, aliceID), kTVXReloadFirst);
        EXPECT_EQ(list.memory(db), QStringList{recordID(1)});
        EXPECT_EQ(serverRows(list.table, aliceID), QStringList{recordID(1)});
    }
}
