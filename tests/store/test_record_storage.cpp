// Record storage against a real store with two clients: adds, replaces,
// deletes, custom types and view counts reach the other client; failures
// leave both the server and the cache as they were.
#include "platform/core/NotificationCenter.h"
#include "support/RecordFixture.h"

#include "DelayingRelay.h"

#include <QThread>

using namespace teststore;

namespace {

using RecordStore = RecordFixture;
using RecordStoreFailures = RecordFixture;

std::shared_ptr<TVXType> customType(int icon, int mask, const QStringList& fields)
{
    auto type = TVXType::createType();
    type->setMTypeIconID(icon);
    type->setMTypeMask(mask);
    for (int i = 0; i < fields.size(); ++i)
        type->setFieldAtIndex(i, fields[i]);
    return type;
}

} // namespace

TEST_F(RecordStore, WhatOneClientWritesTheOtherReadsAfterItsReload)
{
    ASSERT_EQ(logInBoth(), kTVXDone);
    auto record = newRecord(alice, {"bank", "alice", "pw1"});
    record->setMNotes(QStringLiteral("Notiz für die Bank ✓"));
    auto type = customType(5, 0b100, {"Bank", "Login"});
    type->setMField3(QString()); // no name: stored as "Field3"
    record->setMIsCustomized(true);
    record->setMRecordCustomType(type);
    const QString id = record->mRecordUID();

    ASSERT_EQ(alice.addRecord(record), kTVXDone);
    EXPECT_EQ(alice.caches().mRecords().value(id), record);
    EXPECT_TRUE(alice.recentLists().mRecentlyAddedRecords().contains(id));
    EXPECT_TRUE(record->mIsCustomized());
    EXPECT_EQ(storedCipher("FIELD3", "CUSTOMTYPETABLE", id), cipherOf("Field3"));
    EXPECT_EQ(lastEvent(alice).event, "Add Record");
    EXPECT_EQ(lastEvent(alice).action, "Success");

    ASSERT_EQ(bob.reloadDatabase(), kTVXDone);
    auto seen = bob.caches().mRecords().value(id);
    ASSERT_NE(seen, nullptr);
    EXPECT_EQ(seen->mValue1(), "bank");
    EXPECT_EQ(seen->mValue3(), "pw1");
    EXPECT_EQ(seen->mValue10(), record->mValue10());
    EXPECT_EQ(seen->mNotes(), "Notiz für die Bank ✓");
    EXPECT_EQ(seen->mGroup(), bob.caches().mGroups().value(G1));
    ASSERT_TRUE(seen->mIsCustomized());
    ASSERT_NE(seen->mRecordCustomType(), nullptr);
    EXPECT_EQ(seen->mRecordCustomType()->mTypeIconID(), 5); // a built-in icon: kept
    EXPECT_EQ(seen->mRecordCustomType()->mTypeMask(), 0b100);
    EXPECT_EQ(seen->mRecordCustomType()->mField1(), "Bank");
    EXPECT_EQ(seen->mRecordCustomType()->mField3(), "Field3");
    EXPECT_EQ(seen->mRecordCustomType()->mField4(), "Field 4");

    record->setMValue2("alice.b");
    record->mRecordCustomType()->setMField2("Account");
    ASSERT_EQ(alice.replaceRecord(record), kTVXDone);
    EXPECT_TRUE(alice.recentLists().mRecentlyMofifiedTypes().contains(id));
    alice.updateRecordViewCountForRecord(id);
    alice.updateRecordViewCountForRecord(id);

    ASSERT_EQ(bob.reloadDatabase(), kTVXDone);
    seen = bob.caches().mRecords().value(id);
    ASSERT_NE(seen, nullptr);
    EXPECT_EQ(seen->mValue2(), "alice.b");
    EXPECT_EQ(seen->mRecordCustomType()->mField2(), "Account");
    EXPECT_EQ(seen->mViewCounter(), 2);

    ASSERT_EQ(alice.deleteRecord(record), kTVXDone);
    EXPECT_FALSE(alice.caches().mRecords().contains(id));
    EXPECT_EQ(rowCount("CUSTOMTYPETABLE", id), 0);
    EXPECT_EQ(lastEvent(alice).event, "Delete Record");
    ASSERT_EQ(bob.reloadDatabase(), kTVXDone);
    EXPECT_FALSE(bob.caches().mRecords().contains(id));
}


TEST_F(RecordStore, AReplaceFromAStaleCopyAnswers8AndKeepsTheOthersChange)
{
    ASSERT_EQ(logInBoth(), kTVXDone);
    auto record = newRecord(alice, {"bank", "alice", "pw1"});
    record->setMIsCustomized(true);
    record->setMRecordCustomType(customType(5, 0, {"Bank", "Login"}));
    const QString id = record->mRecordUID();
    ASSERT_EQ(alice.addRecord(record), kTVXDone);
    ASSERT_EQ(bob.reloadDatabase(), kTVXDone);
    const auto bobs = bob.caches().mRecords().value(id);
    ASSERT_NE(bobs, nullptr);

    // Merely viewing a record changes nobody's copy.
    bob.updateRecordViewCountForRecord(id);
    record->setMValue2("alice.b");
    ASSERT_EQ(alice.replaceRecord(record), kTVXDone);

    bobs->setMValue3("bobs-pw");
    EXPECT_EQ(bob.replaceRecord(bobs), kTVXReloadFirst);
    EXPECT_EQ(storedCipher("FIELD2", "RECORDTABLE", id), cipherOf("alice.b"));
    EXPECT_EQ(storedCipher("FIELD3", "RECORDTABLE", id), cipherOf("pw1"));

    // A change of the custom type alone makes an older copy stale too.
    ASSERT_EQ(bob.reloadDatabase(), kTVXDone);
    record->mRecordCustomType()->setMField2("Account");
    ASSERT_EQ(alice.replaceRecord(record), kTVXDone);
    const auto reloaded = bob.caches().mRecords().value(id);
    reloaded->setMValue3("bobs-pw");
    EXPECT_EQ(bob.replaceRecord(reloaded), kTVXReloadFirst);
    EXPECT_EQ(storedCipher("FIELD2", "CUSTOMTYPETABLE", id), cipherOf("Account"));
    EXPECT_EQ(storedCipher("FIELD3", "RECORDTABLE", id), cipherOf("pw1"));

    // From a fresh copy the change goes in, and Alice's copy is the stale one.
    ASSERT_EQ(bob.reloadDatabase(), kTVXDone);
    const auto fresh = bob.caches().mRecords().value(id);
    fresh->setMValue3("bobs-pw");
    EXPECT_EQ(bob.replaceRecord(fresh), kTVXDone);
    EXPECT_EQ(bob.replaceRecord(fresh), kTVXDone);
    EXPECT_EQ(storedCipher("FIELD3", "RECORDTABLE", id), cipherOf("bobs-pw"));
    EXPECT_EQ(storedCipher("FIELD2", "RECORDTABLE", id), cipherOf("alice.b"));
    EXPECT_EQ(alice.replaceRecord(record), kTVXReloadFirst);
}
TEST_F(RecordStore, SavingUnchangedAnswersDoneAndAStaleCopyAnswers8)
{
    ASSERT_EQ(logInBoth(), kTVXDone);
    auto record = newRecord(alice, {"db", "root", "pw"});
    const QString id = record->mRecordUID();
    ASSERT_EQ(alice.addRecord(record), kTVXDone);
    EXPECT_EQ(alice.replaceRecord(record), kTVXDone);
    EXPECT_EQ(alice.replaceRecord(nullptr), kTVXReloadFirst);

    ASSERT_EQ(bob.reloadDatabase(), kTVXDone);
    ASSERT_EQ(bob.deleteRecord(bob.caches().mRecords().value(id)), kTVXDone);

    // Gone on the server: alice's copy is stale and stays as it was.
    record->setMValue1("changed");
    EXPECT_EQ(alice.replaceRecord(record), kTVXReloadFirst);
    EXPECT_EQ(lastEvent(alice).event, "Replace Record");
    EXPECT_EQ(lastEvent(alice).action, "Failed");
    EXPECT_EQ(alice.deleteRecord(record), kTVXReloadFirst);
    EXPECT_EQ(alice.caches().mRecords().value(id), record);
    EXPECT_EQ(rowCount("RECORDTABLE", id), 0);
}

// A distant server is asked as few times as the checks allow: an add and a
// delete twice (the write, the commit), an edit four times (begin, the
// checks, the write, the commit), their event and recent-list rows included.
// The commit is a statement of its own: only there does a cluster node's
// conflict fail the write.
TEST_F(RecordStore, AnAddAnEditAndADeleteTakeFewRoundTrips)
{
    ASSERT_EQ(logInAndLoad(bob, "bob", "bob-pw"), kTVXDone);
    DelayingRelay relay(port(), 0);
    TVXLoginRequest request = loginRequest();
    request[kLoginPortNumber] = QString::number(relay.port());
    ASSERT_EQ(alice.startConnectionToServer(request), kTVXDone);
    ASSERT_EQ(alice.initUserDetails(kUserName, kUserPassword), kTVXDone);
    ASSERT_EQ(alice.loadDataBase(), kTVXDone);
    const auto tripsOf = [&relay](const std::function<TVXResult()>& write, TVXResult expected = kTVXDone) {
        const uint64_t before = relay.roundTrips();
        EXPECT_EQ(write(), expected);
        return relay.roundTrips() - before;
    };
    // The first of each prepares its statements, once per connection.
    auto warm = newRecord(alice, {"warm"});
    ASSERT_EQ(alice.addRecord(warm), kTVXDone);
    warm->setMValue2("edited");
    ASSERT_EQ(alice.replaceRecord(warm), kTVXDone);
    ASSERT_EQ(alice.deleteRecord(warm), kTVXDone);
    // A failure's event row goes on its own.
    ASSERT_EQ(alice.eventLog().eventLogger().logOutcome("Replace Record", "warm", kTVXReloadFirst), kTVXDone);

    auto record = newRecord(alice, {"bank", "alice"});
    record->setMIsCustomized(true);
    record->setMRecordCustomType(customType(5, 0, {"Bank", "Login"}));
    const QString id = record->mRecordUID();
    EXPECT_LE(tripsOf([&] { return alice.addRecord(record); }), 2u);
    record->setMValue2("alice.b");
    EXPECT_LE(tripsOf([&] { return alice.replaceRecord(record); }), 4u);
    record->setMValue2("alice.c");
    EXPECT_LE(tripsOf([&] { return alice.replaceRecord(record); }), 4u);
    EXPECT_EQ(storedCipher("FIELD2", "RECORDTABLE", id), cipherOf("alice.c"));
    EXPECT_EQ(lastEvent(alice).event, "Replace Record");
    EXPECT_EQ(lastEvent(alice).action, "Success");
    EXPECT_EQ(rowCount("RECENTLYADDEDTABLE", id), 1);
    EXPECT_EQ(rowCount("RECENTLYMODIFIEDTABLE", id), 1);
    EXPECT_EQ(alice.recentLists().mRecentlyAddedRecords().count(id), 1);
    EXPECT_EQ(alice.recentLists().mRecentlyMofifiedTypes().count(id), 1);

    // Bob's change makes alice's copy stale: answered in as many, nothing written.
    ASSERT_EQ(bob.reloadDatabase(), kTVXDone);
    const auto bobs = bob.caches().mRecords().value(id);
    ASSERT_NE(bobs, nullptr);
    bobs->setMValue3("bobs-pw");
    ASSERT_EQ(bob.replaceRecord(bobs), kTVXDone);
    record->setMValue2("alice.d");
    EXPECT_LE(tripsOf([&] { return alice.replaceRecord(record); }, kTVXReloadFirst), 4u);
    EXPECT_EQ(storedCipher("FIELD2", "RECORDTABLE", id), cipherOf("alice.c"));
    EXPECT_EQ(lastEvent(alice).action, "Failed");

    EXPECT_LE(tripsOf([&] { return alice.deleteRecord(record); }), 2u);
    EXPECT_EQ(rowCount("RECORDTABLE", id), 0);
    EXPECT_EQ(rowCount("CUSTOMTYPETABLE", id), 0);
    EXPECT_EQ(rootQueryValue(QStringLiteral("SELECT GROUP_CONCAT(EVENT ORDER BY ROWKEY) FROM tolvanexdb.EVENTLOGGERTABLE "
                                            "WHERE DESCRIPTION='bank' AND USERNAME='alice'")),
              "Add Record,Replace Record,Replace Record,Replace Record,Delete Record");
    EXPECT_EQ(lastEvent(alice).event, "Delete Record");
}

// Many records deleted together: a few records' calls and commits a round
// trip, each record still its own transaction with its own event row; names
// that would break a statement's text reach the log as they are.
TEST_F(RecordStore, ManyRecordsAreDeletedInAFewRoundTrips)
{
    ASSERT_EQ(logInAndLoad(bob, "bob", "bob-pw"), kTVXDone);
    DelayingRelay relay(port(), 0);
    TVXLoginRequest request = loginRequest();
    request[kLoginPortNumber] = QString::number(relay.port());
    ASSERT_EQ(alice.startConnectionToServer(request), kTVXDone);
    ASSERT_EQ(alice.initUserDetails(kUserName, kUserPassword), kTVXDone);
    ASSERT_EQ(alice.loadDataBase(), kTVXDone);
    const QString odd = QStringLiteral("O'Brien \"bank\"; DROP TABLE x; -- \\ ✓");
    QList<std::shared_ptr<TVXRecord>> records;
    QStringList ids;
    for (int i = 0; i < 60; ++i) {
        records << newRecord(alice, {i == 31 ? odd : QStringLiteral("doomed %1").arg(i)});
        ASSERT_EQ(alice.addRecord(records.last()), kTVXDone);
        ids << records.last()->mRecordUID();
    }
    ASSERT_EQ(alice.recentLists().addRecentlyViewedRecordID(ids[7], aliceID), kTVXDone);

    const uint64_t before = relay.roundTrips();
    const QList<TVXResult> codes = alice.deleteRecords(records);
    EXPECT_LE(relay.roundTrips() - before, 3u); // 25 records a round trip
    EXPECT_EQ(codes, QList<TVXResult>(60, kTVXDone));
    const QString stored = QStringLiteral("SELECT COUNT(*) FROM tolvanexdb.RECORDTABLE WHERE RECORDID IN ('%1')")
                               .arg(ids.join("','"));
    EXPECT_EQ(rootQueryValue(stored), "0");
    EXPECT_EQ(rootQueryValue(QStringLiteral("SELECT COUNT(*) FROM tolvanexdb.EVENTLOGGERTABLE WHERE EVENT='Delete "
                                            "Record' AND USERNAME='alice'")),
              "60");
    EXPECT_EQ(rootQueryValue(QStringLiteral("SELECT COUNT(*) FROM tolvanexdb.EVENTLOGGERTABLE WHERE EVENT='Delete "
                                            "Record' AND DESCRIPTION='%1'")
                                 .arg(QString(odd).replace("\\", "\\\\").replace("'", "''"))),
              "1");
    EXPECT_EQ(rowCount("RECENTLYVIEWEDTABLE", ids[7]), 0);
    for (const QString& id : ids)
        EXPECT_FALSE(alice.caches().mRecords().contains(id)) << id.toStdString();
    EXPECT_FALSE(alice.recentLists().mRecentlyViewedTypes().contains(ids[7]));
    EXPECT_FALSE(alice.recentLists().mRecentlyAddedRecords().contains(ids[0]));
    EXPECT_EQ(lastEvent(alice).event, "Delete Record");
    EXPECT_EQ(lastEvent(alice).action, "Success");
    EXPECT_EQ(alice.caches().itemsOfGroup(nullptr, QStringLiteral("doomed")).size(), 0);
    ASSERT_EQ(bob.reloadDatabase(), kTVXDone);
    EXPECT_FALSE(bob.caches().mRecords().contains(ids[59]));
    EXPECT_EQ(alice.deleteRecords({}), QList<TVXResult>{});
}

// A store whose routines are older than the client, or an account not yet
// granted them, still takes the writes, with the same answers.
TEST_F(RecordStore, AStoreWithoutTheWriteRoutinesTakesTheWritesAsStatements)
{
    ASSERT_EQ(logInBoth(), kTVXDone);
    rootExec("DROP PROCEDURE tolvanexdb.TVX_ADD_RECORD");
    rootExec("REVOKE EXECUTE ON PROCEDURE tolvanexdb.TVX_REPLACE_RECORD FROM 'alice'@'%'");
    rootExec("DROP PROCEDURE tolvanexdb.TVX_DELETE_RECORD");
    auto record = newRecord(alice, {"bank", "alice"});
    const QString id = record->mRecordUID();
    ASSERT_EQ(alice.addRecord(record), kTVXDone);
    EXPECT_EQ(alice.addRecord(record), kTVXReloadFirst);
    record->setMValue2("alice.b");
    ASSERT_EQ(alice.replaceRecord(record), kTVXDone);
    EXPECT_EQ(storedCipher("FIELD2", "RECORDTABLE", id), cipherOf("alice.b"));
    EXPECT_EQ(rowCount("RECENTLYMODIFIEDTABLE", id), 1);

    ASSERT_EQ(bob.reloadDatabase(), kTVXDone);
    const auto bobs = bob.caches().mRecords().value(id);
    ASSERT_NE(bobs, nullptr);
    bobs->setMValue3("bobs-pw");
    ASSERT_EQ(bob.replaceRecord(bobs), kTVXDone); // bob still holds the routine
    record->setMValue2("alice.c");
    EXPECT_EQ(alice.replaceRecord(record), kTVXReloadFirst);
    EXPECT_EQ(storedCipher("FIELD2", "RECORDTABLE", id), cipherOf("alice.b"));
    ASSERT_EQ(alice.deleteRecord(bobs), kTVXDone);
    EXPECT_EQ(rowCount("RECORDTABLE", id), 0);
    EXPECT_EQ(rootQueryValue(QStringLiteral("SELECT GROUP_CONCAT(CONCAT(EVENT, ':', USERNAME) ORDER BY ROWKEY) FROM "
                                            "tolvanexdb.EVENTLOGGERTABLE WHERE DESCRIPTION='bank'")),
              "Add Record:alice,Add Record:alice,Replace Record:alice,Replace Record:bob,Replace Record:alice,"
              "Delete Record:alice");
}

// The event and recent-list rows go with the write, but one the server
// refuses undoes nothing: the record is stored, and the refusal takes the
// error path as when the row went on its own.
TEST_F(RecordStoreFailures, ARefusedEventOrRecentRowLeavesTheRecordStored)
{
    ASSERT_EQ(logInAndLoad(alice, kUserName, kUserPassword), kTVXDone);
    refuse("EVENTLOGGERTABLE");
    auto logged = newRecord(alice, {"unlogged"});
    EXPECT_EQ(alice.addRecord(logged), kTVXDone);
    EXPECT_EQ(rowCount("RECORDTABLE", logged->mRecordUID()), 1);
    EXPECT_EQ(rowCount("RECENTLYADDEDTABLE", logged->mRecordUID()), 1);
    EXPECT_TRUE(alice.recentLists().mRecentlyAddedRecords().contains(logged->mRecordUID()));
    EXPECT_EQ(lastEvent(alice).event, "Add Record");
    EXPECT_EQ(lastEvent(alice).action, "Success");
    EXPECT_EQ(rootQueryValue("SELECT COUNT(*) FROM tolvanexdb.EVENTLOGGERTABLE"), "0");
    rootExec("DROP TRIGGER tolvanexdb.refuse_eventloggertable_INSERT");

    refuse("RECENTLYMODIFIEDTABLE");
    logged->setMValue1("unlisted");
    EXPECT_EQ(alice.replaceRecord(logged), kTVXDone);
    EXPECT_EQ(storedCipher("FIELD1", "RECORDTABLE", logged->mRecordUID()), cipherOf("unlisted"));
    EXPECT_EQ(rowCount("RECENTLYMODIFIEDTABLE", logged->mRecordUID()), 0);
    EXPECT_FALSE(alice.recentLists().mRecentlyMofifiedTypes().contains(logged->mRecordUID()));
    EXPECT_EQ(rootQueryValue("SELECT GROUP_CONCAT(EVENT) FROM tolvanexdb.EVENTLOGGERTABLE"), "Replace Record");
}

TEST_F(RecordStore, AStoredIdentifierIsNotAddedAgain)
{
    ASSERT_EQ(logInAndLoad(alice, kUserName, kUserPassword), kTVXDone);
    auto record = newRecord(alice, {"first"});
    const QString id = record->mRecordUID();
    ASSERT_EQ(alice.addRecord(record), kTVXDone);

    auto twin = newRecord(alice, {"second"});
    twin->setMRecordUID(id);
    EXPECT_EQ(alice.addRecord(twin), kTVXReloadFirst);
    EXPECT_EQ(alice.caches().mRecords().value(id), record);
    EXPECT_EQ(alice.recentLists().mRecentlyAddedRecords().count(id), 1);
    EXPECT_EQ(storedCipher("FIELD1", "RECORDTABLE", id), cipherOf("first"));
    EXPECT_EQ(lastEvent(alice).event, "Add Record");
    EXPECT_EQ(lastEvent(alice).action, "Failed");
}

TEST_F(RecordStore, CustomTypesAreWrittenOnlyWithTheirRecordAndDroppedOnRequest)
{
    ASSERT_EQ(logInAndLoad(alice, kUserName, kUserPassword), kTVXDone);
    // Marked customised without a custom type: stored, and kept, as not customised.
    auto plain = newRecord(alice, {"plain"});
    plain->setMIsCustomized(true);
    ASSERT_EQ(alice.addRecord(plain), kTVXDone);
    EXPECT_FALSE(plain->mIsCustomized());
    EXPECT_EQ(stored("HASCUSTOMFIELD", "RECORDTABLE", plain->mRecordUID()), "0");
    EXPECT_EQ(rowCount("CUSTOMTYPETABLE", plain->mRecordUID()), 0);

    auto custom = newRecord(alice, {"custom"});
    custom->setMIsCustomized(true);
    custom->setMRecordCustomType(customType(7, 0, {"Host"}));
    ASSERT_EQ(alice.addRecord(custom), kTVXDone);
    EXPECT_EQ(stored("HASCUSTOMFIELD", "RECORDTABLE", custom->mRecordUID()), "1");
    EXPECT_EQ(stored("ICONID", "CUSTOMTYPETABLE", custom->mRecordUID()), "7");

    // Writing the type of a record that is not stored: refused by the server.
    auto loose = TVXRecord::createRecord();
    EXPECT_EQ(alice.updateCustomType(*loose, *customType(7, 0, {})), kTVXStatementFailed);

    TVXResult code = resultOfNumber(-1); // not set by the call
    alice.deleteReferencesFromCustomType(*custom, &code);
    EXPECT_EQ(code, kTVXDone);
    EXPECT_EQ(rowCount("CUSTOMTYPETABLE", custom->mRecordUID()), 0);
}

TEST_F(RecordStore, ADeletedRecordLeavesTheRecentLists)
{
    ASSERT_EQ(logInBoth(), kTVXDone);
    auto record = newRecord(alice, {"short-lived"});
    const QString id = record->mRecordUID();
    ASSERT_EQ(alice.addRecord(record), kTVXDone);
    ASSERT_EQ(alice.replaceRecord(record), kTVXDone);
    ASSERT_EQ(alice.recentLists().addMostViewedRecordID(id, aliceID), kTVXDone);
    ASSERT_EQ(alice.recentLists().addRecentlyViewedRecordID(id, aliceID), kTVXDone);
    ASSERT_EQ(bob.recentLists().addRecentlyViewedRecordID(id, bobID), kTVXDone);

    ASSERT_EQ(alice.deleteRecord(record), kTVXDone);
    EXPECT_FALSE(alice.recentLists().mMostViewedRecords().contains(id));
    EXPECT_FALSE(alice.recentLists().mRecentlyViewedTypes().contains(id));
    EXPECT_FALSE(alice.recentLists().mRecentlyMofifiedTypes().contains(id));
    EXPECT_FALSE(alice.recentLists().mRecentlyAddedRecords().contains(id));
    for (const char* table : {"MOSTVIEWEDTABLE", "RECENTLYVIEWEDTABLE", "RECENTLYMODIFIEDTABLE", "RECENTLYADDEDTABLE"})
        EXPECT_EQ(rowCount(table, id), 0) << table;
}

TEST_F(RecordStore, ViewsOfAnUnknownRecordChangeNothing)
{
    ASSERT_EQ(logInAndLoad(alice, kUserName, kUserPassword), kTVXDone);
    const QString before = rootQueryValue("SELECT SUM(VIEWCOUNT) FROM tolvanexdb.RECORDTABLE");
    alice.updateRecordViewCountForRecord(QStringLiteral("00000000000000FF"));
    EXPECT_EQ(rootQueryValue("SELECT SUM(VIEWCOUNT) FROM tolvanexdb.RECORDTABLE"), before);
    EXPECT_FALSE(alice.isConnectionLostHandlerOn());
}

TEST_F(RecordStoreFailures, TextsThatDoNotFitTheirColumnAreRefusedNotCut)
{
    ASSERT_EQ(logInAndLoad(alice, kUserName, kUserPassword), kTVXDone);
    allowTruncation(alice);
    const QString tooLong(250, QLatin1Char('x')); // 256 bytes once enciphered

    auto record = newRecord(alice, {"fits"});
    record->setMValue5(tooLong);
    EXPECT_EQ(alice.addRecord(record), kTVXStatementFailed);
    EXPECT_EQ(rowCount("RECORDTABLE", record->mRecordUID()), 0);
    EXPECT_FALSE(alice.caches().mRecords().contains(record->mRecordUID()));

    // A field name of the custom type: nothing of the record is written either.
    auto custom = newRecord(alice, {"custom"});
    custom->setMIsCustomized(true);
    custom->setMRecordCustomType(customType(31, 0, {"Host", tooLong}));
    EXPECT_EQ(alice.addRecord(custom), kTVXStatementFailed);
    EXPECT_EQ(rowCount("RECORDTABLE", custom->mRecordUID()), 0);

    // An attachment name.
    auto attached = newRecord(alice, {"attached"});
    attached->setMHasAttachment(true);
    attached->setMAttachmentName(tooLong);
    attached->setMAttachmentPath(writeFile("a.bin", "abc"));
    attached->setMAttachmentState(kAttachmentStateStoreNewFile);
    EXPECT_EQ(alice.addRecord(attached), kTVXStatementFailed);
    EXPECT_EQ(rowCount("RECORDTABLE", attached->mRecordUID()), 0);
    EXPECT_EQ(rowCount("ATTACHMENTTABLE", attached->mRecordUID()), 0);

    // A replace: the stored row stays whole.
    auto kept = newRecord(alice, {"kept"});
    ASSERT_EQ(alice.addRecord(kept), kTVXDone);
    kept->setMValue1(tooLong);
    EXPECT_EQ(alice.replaceRecord(kept), kTVXStatementFailed);
    EXPECT_EQ(storedCipher("FIELD1", "RECORDTABLE", kept->mRecordUID()), cipherOf("kept"));

    // A note has the limit the sheet and the importer apply: 4,000 bytes of
    // UTF-8 are stored whole, one more is refused, on an add and a replace.
    const QString overLimit = QString(2000, QChar(char16_t(0xE9))) + QLatin1Char('x');
    auto over = newRecord(alice, {"over"});
    over->setMNotes(overLimit);
    EXPECT_EQ(alice.addRecord(over), kTVXStatementFailed);
    EXPECT_EQ(rowCount("RECORDTABLE", over->mRecordUID()), 0);
    auto longer = newRecord(alice, {"kept"});
    longer->setMRecordUID(kept->mRecordUID());
    longer->setMNotes(overLimit);
    const QString noteBefore = storedCipher("NOTE", "RECORDTABLE", kept->mRecordUID());
    EXPECT_EQ(alice.replaceRecord(longer), kTVXStatementFailed);
    EXPECT_EQ(storedCipher("NOTE", "RECORDTABLE", kept->mRecordUID()), noteBefore);
    auto noted = newRecord(alice, {"noted"});
    noted->setMNotes(QString(2000, QChar(char16_t(0xE9))));
    ASSERT_EQ(alice.addRecord(noted), kTVXDone);
    ASSERT_EQ(logInAndLoad(bob, "bob", "bob-pw"), kTVXDone);
    EXPECT_EQ(bob.caches().mRecords().value(noted->mRecordUID())->mNotes(), noted->mNotes());
}

TEST_F(RecordStoreFailures, ARefusedCustomTypeLeavesNoRecordBehind)
{
    ASSERT_EQ(logInAndLoad(alice, kUserName, kUserPassword), kTVXDone);
    refuse("CUSTOMTYPETABLE");

    auto record = newRecord(alice, {"custom"});
    record->setMIsCustomized(true);
    record->setMRecordCustomType(customType(31, 0, {"Host"}));
    EXPECT_EQ(alice.addRecord(record), kTVXStatementFailed);
    EXPECT_EQ(rowCount("RECORDTABLE", record->mRecordUID()), 0);
    EXPECT_FALSE(alice.caches().mRecords().contains(record->mRecordUID()));
    EXPECT_FALSE(alice.recentLists().mRecentlyAddedRecords().contains(record->mRecordUID()));
    EXPECT_EQ(lastEvent(alice).event, "Add Record");
    EXPECT_EQ(lastEvent(alice).action, "Failed");

    // A replace that cannot store its custom type keeps the old row and the cached record.
    auto kept = newRecord(alice, {"before"});
    const QString id = kept->mRecordUID();
    ASSERT_EQ(alice.addRecord(kept), kTVXDone);
    auto edited = newRecord(alice, {"after"});
    edited->setMRecordUID(id);
    edited->setMIsCustomized(true);
    edited->setMRecordCustomType(customType(31, 0, {"Host"}));
    EXPECT_EQ(alice.replaceRecord(edited), kTVXStatementFailed);
    EXPECT_EQ(storedCipher("FIELD1", "RECORDTABLE", id), cipherOf("before"));
    EXPECT_EQ(stored("HASCUSTOMFIELD", "RECORDTABLE", id), "0");
    EXPECT_EQ(alice.caches().mRecords().value(id), kept);
    EXPECT_FALSE(alice.recentLists().mRecentlyMofifiedTypes().contains(id));
    EXPECT_FALSE(alice.isConnectionLostHandlerOn()); // a refusal, not a lost connection
}

TEST_F(RecordStoreFailures, ALostConnectionLeavesCacheAndServerAlone)
{
    ASSERT_EQ(logInAndLoad(alice, kUserName, kUserPassword), kTVXDone);
    auto record = newRecord(alice, {"kept"});
    const QString id = record->mRecordUID();
    ASSERT_EQ(alice.addRecord(record), kTVXDone);

    int lost = 0;
    const auto token = platform::NotificationCenter::defaultCenter().addObserver(
        kDBCommLostNotification, [&lost](const platform::Notification&) { ++lost; });
    ASSERT_NO_FATAL_FAILURE(killConnection(alice));
    // The lost connection, as a load answers it: the window adds nothing to its notice.
    EXPECT_EQ(alice.deleteRecord(record), kTVXClientError);
    auto other = newRecord(alice, {"new"});
    EXPECT_EQ(alice.addRecord(other), kTVXClientError);
    platform::NotificationCenter::defaultCenter().removeObserver(token);

    EXPECT_EQ(lost, 1);
    EXPECT_EQ(alice.caches().mRecords().value(id), record);
    EXPECT_FALSE(alice.caches().mRecords().contains(other->mRecordUID()));
    EXPECT_EQ(rowCount("RECORDTABLE", id), 1);
    EXPECT_EQ(rowCount("RECORDTABLE", other->mRecordUID()), 0);
    EXPECT_EQ(lastEvent(alice).action, "Failed");
}

// A delete of many records stops at the first record not deleted: those
// before it stay deleted, it keeps its reason, those after it are not tried
// and stay stored, on the server and in the cache.
TEST_F(RecordStoreFailures, ADeleteOfManyRecordsStopsAtTheFirstRecordNotDeleted)
{
    ASSERT_EQ(logInBoth(), kTVXDone);
    QList<std::shared_ptr<TVXRecord>> records;
    for (int i = 0; i < 40; ++i) {
        records << newRecord(alice, {QStringLiteral("record %1").arg(i)});
        ASSERT_EQ(alice.addRecord(records.last()), kTVXDone);
    }
    const auto expectStored = [&](qsizetype from, qsizetype to, bool stored) {
        for (qsizetype i = from; i < to; ++i) {
            const QString id = records.at(i)->mRecordUID();
            EXPECT_EQ(rowCount("RECORDTABLE", id), stored ? 1 : 0) << i;
            EXPECT_EQ(alice.caches().mRecords().contains(id), stored) << i;
        }
    };
    const auto deletesLogged = [] {
        return rootQueryValue("SELECT COUNT(*) FROM tolvanexdb.EVENTLOGGERTABLE WHERE EVENT='Delete Record'").toInt();
    };

    // Refused by the server in the middle of the first round trip's records.
    rootExec(QStringLiteral("CREATE TRIGGER tolvanexdb.refuse_one BEFORE DELETE ON tolvanexdb.%1 FOR EACH ROW "
                            "IF OLD.RECORDID='%2' THEN SIGNAL SQLSTATE '45000' SET MESSAGE_TEXT='refused'; END IF")
                 .arg(rowsTable("RECORDTABLE"), records.at(10)->mRecordUID()));
    QList<TVXResult> codes = alice.deleteRecords(records.mid(0, 30));
    QList<TVXResult> expected(10, kTVXDone);
    expected << kTVXStatementFailed;
    EXPECT_EQ(codes, expected);
    expectStored(0, 10, false);
    expectStored(10, 40, true);
    EXPECT_EQ(deletesLogged(), 11); // the refused one's row too
    EXPECT_EQ(lastEvent(alice).event, "Delete Record");
    EXPECT_EQ(lastEvent(alice).action, "Failed");
    EXPECT_FALSE(alice.isConnectionLostHandlerOn());
    rootExec("DROP TRIGGER tolvanexdb.refuse_one");

    // Another client deleted one meanwhile: alice's copy is stale there.
    ASSERT_EQ(bob.reloadDatabase(), kTVXDone);
    ASSERT_EQ(bob.deleteRecord(bob.caches().mRecords().value(records.at(14)->mRecordUID())), kTVXDone);
    codes = alice.deleteRecords(records.mid(10, 10));
    expected = QList<TVXResult>(4, kTVXDone);
    expected << kTVXReloadFirst;
    EXPECT_EQ(codes, expected);
    expectStored(10, 14, false);
    expectStored(15, 40, true);
    EXPECT_TRUE(alice.caches().mRecords().contains(records.at(14)->mRecordUID())); // until a reload

    // An event row refused: each record is deleted all the same, its row
    // taking the error path as when it went on its own.
    refuse("EVENTLOGGERTABLE");
    codes = alice.deleteRecords(records.mid(15, 3));
    EXPECT_EQ(codes, QList<TVXResult>(3, kTVXDone));
    expectStored(15, 18, false);
    expectStored(18, 40, true);
    rootExec("DROP TRIGGER tolvanexdb.refuse_eventloggertable_INSERT");

    // A store without the routine: the statements serve, with the same answers.
    rootExec("DROP PROCEDURE tolvanexdb.TVX_DELETE_RECORD");
    codes = alice.deleteRecords({records.at(18), records.at(19), records.at(14), records.at(20)});
    EXPECT_EQ(codes, QList<TVXResult>({kTVXDone, kTVXDone, kTVXReloadFirst}));
    expectStored(18, 20, false);
    expectStored(20, 40, true);
}

// The connection is lost in the middle of a round trip's records: what the
// server committed before is deleted, the record it was on and those after it
// are not, and the loss is told once.
TEST_F(RecordStoreFailures, ALostConnectionInTheMiddleOfADeleteOfManyRecords)
{
    ASSERT_EQ(logInAndLoad(alice, kUserName, kUserPassword), kTVXDone);
    QList<std::shared_ptr<TVXRecord>> records;
    for (int i = 0; i < 20; ++i) {
        records << newRecord(alice, {QStringLiteral("record %1").arg(i)});
        ASSERT_EQ(alice.addRecord(records.last()), kTVXDone);
    }
    rootExec(QStringLiteral("CREATE TRIGGER tolvanexdb.slow_one BEFORE DELETE ON tolvanexdb.%1 FOR EACH ROW "
                            "IF OLD.RECORDID='%2' THEN SET @pause = SLEEP(20); END IF")
                 .arg(rowsTable("RECORDTABLE"), records.at(6)->mRecordUID()));
    int lost = 0;
    const auto token = platform::NotificationCenter::defaultCenter().addObserver(
        kDBCommLostNotification, [&lost](const platform::Notification&) { ++lost; });
    const HangDeadline deadline(60);
    QList<TVXResult> codes;
    runTogether({[&] { codes = alice.deleteRecords(records); },
                 [] {
                     QString id;
                     // The trigger's account shows while it sleeps.
                     while ((id = rootQueryValue("SELECT ID FROM information_schema.PROCESSLIST WHERE STATE='User "
                                                 "sleep' AND INFO LIKE '%SLEEP(20)%'"))
                                .isEmpty())
                         QThread::msleep(20);
                     rootExec(QStringLiteral("KILL %1").arg(id));
                 }});
    platform::NotificationCenter::defaultCenter().removeObserver(token);

    QList<TVXResult> expected(6, kTVXDone);
    expected << kTVXClientError;
    EXPECT_EQ(codes, expected);
    EXPECT_EQ(lost, 1);
    for (qsizetype i = 0; i < records.size(); ++i) {
        const QString id = records.at(i)->mRecordUID();
        EXPECT_EQ(rowCount("RECORDTABLE", id), i < 6 ? 0 : 1) << i;
        EXPECT_EQ(alice.caches().mRecords().contains(id), i >= 6) << i;
    }
    EXPECT_EQ(rootQueryValue("SELECT COUNT(*) FROM tolvanexdb.EVENTLOGGERTABLE WHERE EVENT='Delete Record'"), "6");
}

TEST_F(RecordStoreFailures, TextsThatWouldNotReadBackAsWrittenAreRefused)
{
    ASSERT_EQ(logInAndLoad(alice, kUserName, kUserPassword), kTVXDone);
    auto kept = newRecord(alice, {"kept"});
    ASSERT_EQ(alice.addRecord(kept), kTVXDone);
    auto type = customType(12, 0, {"URL", "User"});
    type->setMTypeUID(T1);
    type->setMTypeName(QStringLiteral("Web log-in"));

    const QChar high(char16_t(0xD83D));
    const QChar low(char16_t(0xDE00));
    const QChar mark(char16_t(0xFEFF));
    // A zero character cuts the text; a lone surrogate has no UTF-8 form; a
    // leading byte-order mark is dropped when read.
    const QList<QString> refused = {
        QStringLiteral("before") + QChar(u'\0') + QStringLiteral("after"),
        QStringLiteral("half ") + high + QStringLiteral(" pair"),
        QStringLiteral("ends on half ") + high,
        low + QStringLiteral(" alone"),
        mark + QStringLiteral("marked"),
    };
    int n = 0;
    for (const QString& text : refused) {
        SCOPED_TRACE(n++);
        auto value = newRecord(alice, {"v", text});
        EXPECT_EQ(alice.addRecord(value), kTVXStatementFailed);
        EXPECT_EQ(rowCount("RECORDTABLE", value->mRecordUID()), 0);
        EXPECT_FALSE(alice.caches().mRecords().contains(value->mRecordUID()));
        auto note = newRecord(alice, {"n"});
        note->setMNotes(text);
        EXPECT_EQ(alice.addRecord(note), kTVXStatementFailed);
        auto field = newRecord(alice, {"f"});
        field->setMIsCustomized(true);
        field->setMRecordCustomType(customType(31, 0, {text}));
        EXPECT_EQ(alice.addRecord(field), kTVXStatementFailed);
        EXPECT_EQ(rowCount("RECORDTABLE", field->mRecordUID()), 0);

        auto edited = newRecord(alice, {text});
        edited->setMRecordUID(kept->mRecordUID());
        EXPECT_EQ(alice.replaceRecord(edited), kTVXStatementFailed);
        EXPECT_EQ(storedCipher("FIELD1", "RECORDTABLE", kept->mRecordUID()), cipherOf("kept"));

        auto group = std::make_shared<BMGroup>();
        group->setMGroupUID(QStringLiteral("00000000000000A7"));
        group->setMGroupName(text);
        EXPECT_EQ(alice.addGroup(group), kTVXStatementFailed);
        EXPECT_EQ(rootQueryValue("SELECT COUNT(*) FROM tolvanexdb.GROUPTABLE WHERE UID='00000000000000A7'"), "0");
        type->setMField2(text);
        EXPECT_EQ(alice.updateType(type), kTVXStatementFailed);
        type->setMField2(QStringLiteral("User"));
        type->setMTypeName(text);
        EXPECT_EQ(alice.updateType(type), kTVXStatementFailed);
        type->setMTypeName(QStringLiteral("Web log-in"));
        EXPECT_EQ(alice.caches().mTypes().value(T1)->mTypeName(), "Web log-in");
    }

    // A whole pair, and the mark inside a text, are kept exactly.
    const QString exact = QStringLiteral("smile ") + high + low + QStringLiteral(" and ") + mark + QStringLiteral("inside");
    auto whole = newRecord(alice, {exact});
    whole->setMNotes(exact);
    ASSERT_EQ(alice.addRecord(whole), kTVXDone);
    ASSERT_EQ(logInAndLoad(bob, "bob", "bob-pw"), kTVXDone);
    const auto read = bob.caches().mRecords().value(whole->mRecordUID());
    ASSERT_NE(read, nullptr);
    EXPECT_EQ(read->mValue1(), exact);
    EXPECT_EQ(read->mNotes(), exact);
}

TEST_F(RecordStoreFailures, ARowLockedElsewhereIsABusyStoreNotALostConnection)
{
    alice.setReadWriteTimeout(4);
    ASSERT_EQ(logInAndLoad(alice, kUserName, kUserPassword), kTVXDone);
    auto kept = newRecord(alice, {"before"});
    const QString id = kept->mRecordUID();
    ASSERT_EQ(alice.addRecord(kept), kTVXDone);
    auto edited = newRecord(alice, {"after"});
    edited->setMRecordUID(id);
    auto added = newRecord(alice, {"new"});

    int lost = 0;
    auto& center = platform::NotificationCenter::defaultCenter();
    const auto token =
        center.addObserver(kDBCommLostNotification, [&lost](const platform::Notification&) { ++lost; });
    const HangDeadline deadline(90);
    auto holder = rootConnection();
    holder->setAutoCommit(false);
    std::unique_ptr<sql::Statement> hold(holder->createStatement());
    // A master-password change holds the master password's lock row.
    std::unique_ptr<sql::ResultSet>(
        hold->executeQuery("SELECT VALUE FROM tolvanexdb.TVXMASTERPASSWORDTABLE WHERE NAME='DBPASSWORD' FOR UPDATE"));
    EXPECT_EQ(alice.replaceRecord(edited), kTVXStoreBusy);
    EXPECT_EQ(alice.addRecord(added), kTVXStoreBusy);
    EXPECT_EQ(alice.deleteRecord(kept), kTVXStoreBusy);
    holder->rollback();

    // The record's own row.
    std::unique_ptr<sql::ResultSet>(hold->executeQuery(
        QStringLiteral("SELECT * FROM tolvanexdb.RECORDTABLE WHERE RECORDID='%1' FOR UPDATE").arg(id).toStdString()));
    EXPECT_EQ(alice.replaceRecord(edited), kTVXStoreBusy);
    EXPECT_EQ(alice.deleteRecord(kept), kTVXStoreBusy);

    EXPECT_EQ(storedCipher("FIELD1", "RECORDTABLE", id), cipherOf("before"));
    EXPECT_EQ(alice.caches().mRecords().value(id), kept);
    EXPECT_FALSE(alice.caches().mRecords().contains(added->mRecordUID()));
    EXPECT_EQ(rowCount("RECORDTABLE", added->mRecordUID()), 0);
    EXPECT_EQ(lastEvent(alice).action, "Failed");

    // Released, the same writes go in on the same connection.
    holder->rollback();
    EXPECT_EQ(alice.replaceRecord(edited), kTVXDone);
    EXPECT_EQ(alice.addRecord(added), kTVXDone);
    center.removeObserver(token);
    EXPECT_EQ(storedCipher("FIELD1", "RECORDTABLE", id), cipherOf("after"));
    EXPECT_EQ(rowCount("RECORDTABLE", added->mRecordUID()), 1);
    EXPECT_EQ(lost, 0);
    EXPECT_FALSE(alice.isConnectionLostHandlerOn());
}
