// Records added in batches (as an import does): a record's failure inside a
// batch undoes only that record's rows, the batch reaches other clients only
// once committed, and a batch whose commit fails takes its records out of the
// caches and says so.
#include "store/Transaction.h"
#include "support/RecordFixture.h"

#include <cppconn/prepared_statement.h>

using namespace teststore;

namespace {

using RecordBatches = RecordFixture;

std::shared_ptr<TVXType> lookOf(int icon)
{
    auto type = TVXType::createType();
    type->setMTypeIconID(icon);
    type->setFieldAtIndex(0, QStringLiteral("Site"));
    return type;
}

int eventRows(const QString& description)
{
    return rootQueryValue(
               QStringLiteral("SELECT COUNT(*) FROM tolvanexdb.EVENTLOGGERTABLE WHERE DESCRIPTION='%1'")
                   .arg(description))
        .toInt();
}

} // namespace

TEST_F(RecordBatches, AFailedRecordUndoesOnlyItsOwnRows)
{
    ASSERT_EQ(logInBoth(), kTVXDone);
    // The server refuses the custom type of one record, after its record row went in.
    rootExec("CREATE TRIGGER tolvanexdb.refuse_look BEFORE INSERT ON tolvanexdb.CUSTOMTYPETABLE FOR EACH ROW "
             "BEGIN IF NEW.ICONID = 99 THEN SIGNAL SQLSTATE '45000' SET MESSAGE_TEXT = 'refused'; END IF; END");
    auto first = newRecord(alice, {"first"});
    auto refused = newRecord(alice, {"refused"});
    refused->setMIsCustomized(true);
    refused->setMRecordCustomType(lookOf(99));
    auto last = newRecord(alice, {"last"});
    last->setMIsCustomized(true);
    last->setMRecordCustomType(lookOf(7));

    ASSERT_EQ(alice.beginRecordBatch(), kTVXDone);
    EXPECT_TRUE(alice.inRecordBatch());
    EXPECT_EQ(alice.addRecord(first), kTVXDone);
    EXPECT_EQ(alice.addRecord(refused), kTVXStatementFailed);
    EXPECT_EQ(alice.addRecord(last), kTVXDone);
    // Not yet committed: no other client sees the batch.
    EXPECT_EQ(rowCount("RECORDTABLE", first->mRecordUID()), 0);
    QStringList lost;
    ASSERT_EQ(alice.endRecordBatch(&lost), kTVXDone);
    EXPECT_FALSE(alice.inRecordBatch());
    EXPECT_TRUE(lost.isEmpty());
    EXPECT_TRUE(alice.connection()->getAutoCommit());

    EXPECT_EQ(rowCount("RECORDTABLE", first->mRecordUID()), 1);
    EXPECT_EQ(rowCount("RECORDTABLE", refused->mRecordUID()), 0);
    EXPECT_EQ(rowCount("CUSTOMTYPETABLE", refused->mRecordUID()), 0);
    EXPECT_EQ(rowCount("RECORDTABLE", last->mRecordUID()), 1);
    EXPECT_EQ(rowCount("CUSTOMTYPETABLE", last->mRecordUID()), 1);
    EXPECT_EQ(rowCount("RECENTLYADDEDTABLE", first->mRecordUID()), 1);
    EXPECT_EQ(rowCount("RECENTLYADDEDTABLE", last->mRecordUID()), 1);
    EXPECT_FALSE(alice.mRecords().contains(refused->mRecordUID()));
    // Each outcome is logged, the failure included.
    EXPECT_EQ(eventRows("first"), 1);
    EXPECT_EQ(eventRows("refused"), 1);
    rootExec("DROP TRIGGER tolvanexdb.refuse_look");
}

TEST_F(RecordBatches, KeepTheRecentListAtItsLimitAsSingleAddsDo)
{
    ASSERT_EQ(logInBoth(), kTVXDone);
    QStringList ids;
    ASSERT_EQ(alice.beginRecordBatch(), kTVXDone);
    for (int i = 0; i < TVXDataBase::kRecentListLimit + 5; ++i) {
        auto record = newRecord(alice, {QStringLiteral("r%1").arg(i)});
        ASSERT_EQ(alice.addRecord(record), kTVXDone);
        ids << record->mRecordUID();
    }
    ASSERT_EQ(alice.endRecordBatch(), kTVXDone);
    EXPECT_EQ(rootQueryValue(QStringLiteral("SELECT COUNT(*) FROM tolvanexdb.RECENTLYADDEDTABLE WHERE USERID='%1'")
                                 .arg(aliceID))
                  .toInt(),
              TVXDataBase::kRecentListLimit);
    EXPECT_EQ(alice.mRecentlyAddedRecords(), ids.mid(5));
    // The log rows, written together at the end, keep their order.
    QStringList described;
    for (int i = 0; i < TVXDataBase::kRecentListLimit + 5; ++i)
        described << QStringLiteral("r%1").arg(i);
    EXPECT_EQ(rootQueryValue("SELECT GROUP_CONCAT(DESCRIPTION SEPARATOR ',') FROM tolvanexdb.EVENTLOGGERTABLE "
                             "WHERE EVENT='Add Record'"),
              described.join(','));
    // One more outside a batch still trims to the limit.
    ASSERT_EQ(alice.addRecord(newRecord(alice, {"single"})), kTVXDone);
    EXPECT_EQ(rootQueryValue(QStringLiteral("SELECT COUNT(*) FROM tolvanexdb.RECENTLYADDEDTABLE WHERE USERID='%1'")
                                 .arg(aliceID))
                  .toInt(),
              TVXDataBase::kRecentListLimit);
}

TEST_F(RecordBatches, AFailedCommitTakesTheBatchsRecordsOutOfTheCaches)
{
    ASSERT_EQ(logInBoth(), kTVXDone);
    auto record = newRecord(alice, {"lost with the connection"});
    ASSERT_EQ(alice.beginRecordBatch(), kTVXDone);
    ASSERT_EQ(alice.addRecord(record), kTVXDone);
    EXPECT_TRUE(alice.mRecords().contains(record->mRecordUID()));
    ASSERT_NO_FATAL_FAILURE(killConnection(alice));
    QStringList lost;
    EXPECT_NE(alice.endRecordBatch(&lost), kTVXDone);
    EXPECT_EQ(lost, QStringList{record->mRecordUID()});
    EXPECT_FALSE(alice.mRecords().contains(record->mRecordUID()));
    EXPECT_FALSE(alice.mRecentlyAddedRecords().contains(record->mRecordUID()));
    EXPECT_EQ(rowCount("RECORDTABLE", record->mRecordUID()), 0);
}

TEST_F(RecordBatches, ANestedTransactionIsASavepoint)
{
    ASSERT_EQ(logInBoth(), kTVXDone);
    sql::Connection& connection = *alice.connection();
    auto insertLog = [&connection](const char* description) {
        std::unique_ptr<sql::PreparedStatement> stmt(connection.prepareStatement(
            "INSERT INTO EVENTLOGGERTABLE VALUES ('Test', 'Tolvan Id', ?, '2026-01-01 00:00:00', 'alice', 'pc')"));
        stmt->setString(1, description);
        stmt->executeUpdate();
    };
    {
        tvxsql::Transaction outer(connection);
        insertLog("outer");
        {
            tvxsql::Transaction inner(connection);
            insertLog("undone");
        } // not committed: only its own row goes
        {
            tvxsql::Transaction inner(connection);
            insertLog("kept");
            inner.commit();
        }
        EXPECT_FALSE(outer.broken());
        outer.commit();
    }
    EXPECT_TRUE(connection.getAutoCommit());
    EXPECT_EQ(eventRows("outer"), 1);
    EXPECT_EQ(eventRows("undone"), 0);
    EXPECT_EQ(eventRows("kept"), 1);
}
