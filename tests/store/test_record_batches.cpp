// Records added in batches (as an import does): a record's failure inside a
// batch undoes only that record's rows, the batch reaches other clients only
// once committed, and a batch whose commit fails takes its records out of the
// caches and says so. A run of new records handed over together ends as the
// same records added one by one would.
#include "model/TVXUID.h"
#include "platform/core/NotificationCenter.h"
#include "store/writers/RecordStorageParts.h"
#include "store/loading/StoreChanges.h"
#include "store/session/Transaction.h"
#include "support/RecordFixture.h"

#include <cppconn/prepared_statement.h>

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QScopeGuard>

#include <chrono>
#include <thread>

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

// An event row written on the connection, inside whatever transaction it has open.
void insertEventRow(sql::Connection& connection, const char* description)
{
    std::unique_ptr<sql::PreparedStatement> stmt(connection.prepareStatement(
        "INSERT INTO EVENTLOGGERTABLE VALUES ('Test', 'Tolvan Id', ?, '2026-01-01 00:00:00', 'alice', 'pc')"));
    stmt->setString(1, description);
    stmt->executeUpdate();
}

// The user's recently added rows, in the order the server keeps them.
QStringList recentRows(const QString& userID)
{
    auto root = rootConnection();
    std::unique_ptr<sql::Statement> stmt(root->createStatement());
    std::unique_ptr<sql::ResultSet> rs(stmt->executeQuery(
        QStringLiteral("SELECT RECORDID FROM tolvanexdb.RECENTLYADDEDTABLE WHERE USERID='%1'").arg(userID).toStdString()));
    QStringList rows;
    while (rs->next())
        rows << QString::fromStdString(rs->getString(1).asStdString());
    return rows;
}

QStringList newest(const QStringList& entries)
{
    return entries.mid(std::max<qsizetype>(0, entries.size() - TVXRecentListsAccess::kRecentListLimit));
}

QString addRecordDescriptions()
{
    return rootQueryValue("SELECT GROUP_CONCAT(DESCRIPTION SEPARATOR ',') FROM tolvanexdb.EVENTLOGGERTABLE "
                          "WHERE EVENT='Add Record'");
}

// A new record enciphered ahead, as the import hands it over.
TVXDataBase::NewRecord enciphered(const TVXDataBase& db, std::shared_ptr<TVXRecord> record)
{
    TVXDataBase::NewRecord entry;
    entry.record = std::move(record);
    EXPECT_EQ(db.encipherRecord(*entry.record, entry.ciphers), kTVXDone);
    if (entry.record->mIsCustomized()) {
        EXPECT_EQ(db.encipherCustomType(*entry.record->mRecordCustomType(), entry.typeCiphers), kTVXDone);
    }
    return entry;
}

} // namespace

TEST_F(RecordBatches, ARunOfNewRecordsReadsBackAsSingleAddsWould)
{
    ASSERT_EQ(logInBoth(), kTVXDone);
    QList<TVXDataBase::NewRecord> run;
    QStringList ids;
    QStringList described;
    for (int i = 0; i < 6; ++i) {
        auto record = newRecord(alice, {QStringLiteral("run %1").arg(i), QStringLiteral("user %1").arg(i),
                                        QStringLiteral("pw %1").arg(i)});
        record->setMNotes(i == 2 ? QStringLiteral("a note\nof two lines") : QString());
        record->setMViewCounter(i);
        if (i % 2) {
            auto look = lookOf(10 + i);
            look->setFieldAtIndex(1, QStringLiteral("Own %1").arg(i));
            record->setMIsCustomized(true);
            record->setMRecordCustomType(look);
        }
        ids << record->mRecordUID();
        described << record->mValue1();
        run << enciphered(alice, record);
    }

    ASSERT_EQ(alice.beginRecordBatch(), kTVXDone);
    QList<TVXResult> codes;
    alice.addRecords(run, codes);
    EXPECT_EQ(codes, QList<TVXResult>(6, kTVXDone));
    ASSERT_EQ(alice.endRecordBatch(), kTVXDone);

    // Each row where a second client finds it, values and own look included.
    TVXDataBase reader;
    ASSERT_EQ(logInAndLoad(reader, "bob", "bob-pw"), kTVXDone);
    for (int i = 0; i < 6; ++i) {
        SCOPED_TRACE(i);
        const auto& written = run[i].record;
        const auto read = reader.caches().mRecords().value(ids[i]);
        ASSERT_TRUE(read);
        EXPECT_TRUE(alice.caches().mRecords().contains(ids[i]));
        for (int f = 0; f < kNumberOfFields; ++f)
            EXPECT_EQ(read->valueAtIndex(f), written->valueAtIndex(f));
        EXPECT_EQ(read->mNotes(), written->mNotes());
        EXPECT_EQ(storedCipher("NOTE", "RECORDTABLE", ids[i]), cipherOf(written->mNotes()));
        EXPECT_EQ(stored("VIEWCOUNT", "RECORDTABLE", ids[i]), QString::number(i));
        EXPECT_EQ(read->mIsCustomized(), i % 2 == 1);
        EXPECT_EQ(rowCount("CUSTOMTYPETABLE", ids[i]), i % 2);
        if (i % 2) {
            ASSERT_TRUE(read->mRecordCustomType());
            EXPECT_EQ(read->mRecordCustomType()->mTypeIconID(), 10 + i);
            EXPECT_EQ(read->mRecordCustomType()->fieldAtIndex(0), QStringLiteral("Site"));
            EXPECT_EQ(read->mRecordCustomType()->fieldAtIndex(1), QStringLiteral("Own %1").arg(i));
        }
    }
    EXPECT_EQ(alice.recentLists().mRecentlyAddedRecords(), ids);
    EXPECT_EQ(recentRows(aliceID), ids);
    EXPECT_EQ(addRecordDescriptions(), described.join(','));
}

TEST_F(RecordBatches, SharedInsertsCarryAnyBytesAndRecordsOfAnySize)
{
    // A server taking packets of 1 MiB at most, the least one is set up with.
    const QString packetLimit = rootQueryValue("SELECT @@GLOBAL.max_allowed_packet");
    rootExec("SET GLOBAL max_allowed_packet = 1048576");
    struct Restore {
        QString limit;
        ~Restore() { rootExec(QStringLiteral("SET GLOBAL max_allowed_packet = %1").arg(limit)); }
    } restore{packetLimit};
    ASSERT_EQ(logInBoth(), kTVXDone);
    // Ciphers are bytes of every value, zero included, that are no text.
    QByteArray everyByte;
    for (int b = 0; b < 255; ++b)
        everyByte.append(char(b));
    const auto pattern = [](qsizetype size, int seed) {
        QByteArray bytes(size, '\0');
        for (qsizetype i = 0; i < size; ++i)
            bytes[i] = char((i * 131 + seed) % 256);
        return bytes;
    };
    QList<TVXDataBase::NewRecord> run;
    // Small ones, one too large to share a statement, and more of 60 KiB
    // than one packet takes.
    QList<qsizetype> noteSizes{256, 0, 100 * 1024, 16};
    noteSizes += QList<qsizetype>(20, 60 * 1024);
    noteSizes << 32;
    for (int i = 0; i < noteSizes.size(); ++i) {
        TVXDataBase::NewRecord entry = enciphered(alice, newRecord(alice, {QStringLiteral("bytes %1").arg(i)}));
        entry.ciphers.values[0] = everyByte;
        entry.ciphers.values[9] = everyByte.mid(i, 16);
        entry.ciphers.note = pattern(noteSizes[i], i);
        run << entry;
    }
    ASSERT_EQ(alice.beginRecordBatch(), kTVXDone);
    QList<TVXResult> codes;
    alice.addRecords(run, codes);
    ASSERT_EQ(alice.endRecordBatch(), kTVXDone);
    EXPECT_EQ(codes, QList<TVXResult>(noteSizes.size(), kTVXDone));
    for (int i = 0; i < noteSizes.size(); ++i) {
        SCOPED_TRACE(i);
        const QString recordID = run[i].record->mRecordUID();
        EXPECT_EQ(storedCipher("FIELD1", "RECORDTABLE", recordID), hex(everyByte));
        EXPECT_EQ(storedCipher("FIELD10", "RECORDTABLE", recordID), hex(everyByte.mid(i, 16)));
        EXPECT_EQ(stored("LENGTH(NOTE)", "RECORDTABLE", recordID), QString::number(noteSizes[i]));
        EXPECT_EQ(stored("MD5(NOTE)", "RECORDTABLE", recordID),
                  QString::fromLatin1(QCryptographicHash::hash(run[i].ciphers.note, QCryptographicHash::Md5).toHex()));
    }
}

TEST_F(RecordBatches, ARunTheServerRefusesInPartIsAddedOneRecordAtATime)
{
    ASSERT_EQ(logInBoth(), kTVXDone);
    auto kept = newRecord(alice, {"kept"});
    ASSERT_EQ(alice.addRecord(kept), kTVXDone);
    rootExec("CREATE TRIGGER tolvanexdb.refuse_look BEFORE INSERT ON tolvanexdb.CUSTOMTYPEROWS FOR EACH ROW "
             "BEGIN IF NEW.ICONID = 99 THEN SIGNAL SQLSTATE '45000' SET MESSAGE_TEXT = 'refused'; END IF; END");
    auto first = newRecord(alice, {"first"});
    auto refused = newRecord(alice, {"refused"});
    refused->setMIsCustomized(true);
    refused->setMRecordCustomType(lookOf(99));
    auto last = newRecord(alice, {"last"});
    last->setMIsCustomized(true);
    last->setMRecordCustomType(lookOf(7));
    // A new record under an identifier the store already holds.
    auto twin = newRecord(alice, {"twin"});
    twin->setMRecordUID(kept->mRecordUID());
    auto after = newRecord(alice, {"after"});

    ASSERT_EQ(alice.beginRecordBatch(), kTVXDone);
    QList<TVXDataBase::NewRecord> run{enciphered(alice, first), enciphered(alice, refused), enciphered(alice, last)};
    QList<TVXResult> codes;
    alice.addRecords(run, codes);
    EXPECT_EQ(codes, (QList<TVXResult>{kTVXDone, kTVXStatementFailed, kTVXDone}));
    QList<TVXDataBase::NewRecord> second{enciphered(alice, twin), enciphered(alice, after)};
    alice.addRecords(second, codes);
    EXPECT_EQ(codes, (QList<TVXResult>{kTVXReloadFirst, kTVXDone}));
    QStringList lost;
    ASSERT_EQ(alice.endRecordBatch(&lost), kTVXDone);
    EXPECT_TRUE(lost.isEmpty());
    rootExec("DROP TRIGGER tolvanexdb.refuse_look");

    for (const auto& record : {first, last, after}) {
        EXPECT_EQ(rowCount("RECORDTABLE", record->mRecordUID()), 1) << record->mValue1().toStdString();
        EXPECT_EQ(alice.caches().mRecords().value(record->mRecordUID()), record);
    }
    EXPECT_EQ(rowCount("CUSTOMTYPETABLE", last->mRecordUID()), 1);
    EXPECT_EQ(rowCount("RECORDTABLE", refused->mRecordUID()), 0);
    EXPECT_EQ(rowCount("CUSTOMTYPETABLE", refused->mRecordUID()), 0);
    EXPECT_FALSE(alice.caches().mRecords().contains(refused->mRecordUID()));
    // The stored record keeps its values and its place in memory.
    EXPECT_EQ(storedCipher("FIELD1", "RECORDTABLE", kept->mRecordUID()), cipherOf("kept"));
    EXPECT_EQ(alice.caches().mRecords().value(kept->mRecordUID()), kept);

    const QStringList added{kept->mRecordUID(), first->mRecordUID(), last->mRecordUID(), after->mRecordUID()};
    EXPECT_EQ(alice.recentLists().mRecentlyAddedRecords(), added);
    EXPECT_EQ(recentRows(aliceID), added);
    // Every outcome logged in order, the failures as such.
    EXPECT_EQ(addRecordDescriptions(), "kept,first,refused,last,twin,after");
    QStringList actions;
    for (const auto& entry : alice.eventLog().eventLogger().logArrary())
        if (entry.event == QStringLiteral("Add Record"))
            actions << entry.action.value_or(QString());
    EXPECT_EQ(actions, (QStringList{"Success", "Success", "Failed", "Success", "Failed", "Success"}));
}

TEST_F(RecordBatches, RecentlyAddedRowsOfABatchEndAsSingleAddsLeaveThem)
{
    ASSERT_EQ(logInBoth(), kTVXDone);
    // Twelve rows already, more than the list holds, as another tool may leave them.
    QStringList old;
    for (int i = 0; i < 12; ++i) {
        const QString uid = QStringLiteral("00000000000002%1").arg(i, 2, 10, QLatin1Char('0'));
        seed->record({uid, G1, T1, {QStringLiteral("old %1").arg(i)}});
        rootExec(QStringLiteral("INSERT INTO tolvanexdb.RECENTLYADDEDTABLE VALUES('%1', '%2')").arg(aliceID, uid));
        old << uid;
    }
    const auto addSome = [this](int count, QStringList& ids) {
        for (int i = 0; i < count; ++i) {
            auto record = newRecord(alice, {QStringLiteral("new %1").arg(ids.size())});
            ASSERT_EQ(alice.addRecord(record), kTVXDone);
            ids << record->mRecordUID();
        }
    };

    // Three adds: each makes room for itself, the oldest rows first.
    QStringList added;
    ASSERT_EQ(alice.beginRecordBatch(), kTVXDone);
    ASSERT_NO_FATAL_FAILURE(addSome(3, added));
    ASSERT_EQ(alice.endRecordBatch(), kTVXDone);
    EXPECT_EQ(recentRows(aliceID), old.mid(5) + added);
    EXPECT_EQ(alice.recentLists().mRecentlyAddedRecords(), added);

    // Twelve more, with an entry of a record the batch did not add between
    // them: only the newest ten of everything stay, in their order.
    QStringList sequence = old.mid(5) + added;
    ASSERT_EQ(alice.beginRecordBatch(), kTVXDone);
    ASSERT_NO_FATAL_FAILURE(addSome(6, added));
    ASSERT_EQ(alice.recentLists().addRecentlyAddedID(old[0], aliceID), kTVXDone);
    ASSERT_NO_FATAL_FAILURE(addSome(6, added));
    ASSERT_EQ(alice.endRecordBatch(), kTVXDone);
    sequence = sequence + added.mid(3, 6) + QStringList{old[0]} + added.mid(9);
    EXPECT_EQ(recentRows(aliceID), newest(sequence));
    EXPECT_EQ(alice.recentLists().mRecentlyAddedRecords(), newest(sequence));
}

// A store not yet upgraded has no view of the list's row keys, or grants
// none on it: the batch's rows are trimmed the older way, and the client is
// not told that its account is gone.
TEST_F(RecordBatches, RecentlyAddedRowsAreTrimmedOnAStoreWithoutTheKeysView)
{
    ASSERT_EQ(logInBoth(), kTVXDone);
    int refusals = 0;
    auto& center = platform::NotificationCenter::defaultCenter();
    const auto token = center.addObserver(kDBUserDeletedNotification, [&](const auto&) { ++refusals; });
    const auto unobserve = qScopeGuard([&] { center.removeObserver(token); });
    const QString older[] = {
        QStringLiteral("REVOKE SELECT, DELETE ON tolvanexdb.RECENTLYADDEDKEYS FROM 'alice'@'%'"),
        QStringLiteral("DROP VIEW tolvanexdb.RECENTLYADDEDKEYS"),
    };
    QStringList added;
    for (const QString& step : older) {
        SCOPED_TRACE(step.toStdString());
        rootExec(step);
        ASSERT_EQ(alice.beginRecordBatch(), kTVXDone);
        for (int i = 0; i < 7; ++i) {
            auto record = newRecord(alice, {QStringLiteral("r%1").arg(added.size())});
            ASSERT_EQ(alice.addRecord(record), kTVXDone);
            added << record->mRecordUID();
        }
        ASSERT_EQ(alice.endRecordBatch(), kTVXDone);
        QCoreApplication::processEvents();
        EXPECT_EQ(refusals, 0);
        EXPECT_EQ(recentRows(aliceID), newest(added));
        EXPECT_EQ(alice.recentLists().mRecentlyAddedRecords(), newest(added));
    }
}

TEST_F(RecordBatches, AFailedRecordUndoesOnlyItsOwnRows)
{
    ASSERT_EQ(logInBoth(), kTVXDone);
    // The server refuses the custom type of one record, after its record row went in.
    rootExec("CREATE TRIGGER tolvanexdb.refuse_look BEFORE INSERT ON tolvanexdb.CUSTOMTYPEROWS FOR EACH ROW "
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
    EXPECT_FALSE(alice.caches().mRecords().contains(refused->mRecordUID()));
    // Each outcome is logged, the failure included.
    EXPECT_EQ(eventRows("first"), 1);
    EXPECT_EQ(eventRows("refused"), 1);
    rootExec("DROP TRIGGER tolvanexdb.refuse_look");
}

TEST_F(RecordBatches, CommittedWritesAnnounceWhatTheyChangedAndABatchOnceAtItsEnd)
{
    ASSERT_EQ(logInBoth(), kTVXDone);
    QList<storechanges::StoreChange> notices;
    auto& center = platform::NotificationCenter::defaultCenter();
    const auto token = center.addObserver(storechanges::kStoreChangedNotification, [&](const platform::Notification& n) {
        notices.append(std::any_cast<storechanges::StoreChange>(n.object));
        EXPECT_FALSE(alice.inRecordBatch()) << "announced before the batch's commit";
    });

    ASSERT_EQ(alice.addRecord(newRecord(alice, {"single"})), kTVXDone);
    ASSERT_EQ(notices.size(), 1);
    EXPECT_EQ(notices[0].store, &alice.caches());
    EXPECT_EQ(notices[0].kinds, storechanges::kRecords);
    EXPECT_FALSE(notices[0].handedOver);

    // A write the server refuses changed nothing: nothing is announced.
    notices.clear();
    EXPECT_EQ(bob.deleteRecord(newRecord(bob, {"never stored"})), kTVXReloadFirst);
    EXPECT_TRUE(notices.isEmpty());

    ASSERT_EQ(alice.beginRecordBatch(), kTVXDone);
    for (const char* name : {"one", "two", "three"})
        ASSERT_EQ(alice.addRecord(newRecord(alice, {name})), kTVXDone);
    EXPECT_TRUE(notices.isEmpty());
    QStringList lost;
    ASSERT_EQ(alice.endRecordBatch(&lost), kTVXDone);
    ASSERT_EQ(notices.size(), 1);
    EXPECT_EQ(notices[0].kinds, storechanges::kRecords);

    // A worker's write is handed over to the main thread: the worker does not wait for it.
    notices.clear();
    std::thread worker([&] { EXPECT_EQ(alice.addRecord(newRecord(alice, {"from a worker"})), kTVXDone); });
    worker.join();
    EXPECT_TRUE(notices.isEmpty());
    QCoreApplication::processEvents();
    ASSERT_EQ(notices.size(), 1);
    EXPECT_TRUE(notices[0].handedOver);

    // A renamed type changes what its records show as well.
    notices.clear();
    const auto type = alice.caches().mTypes().value(T1);
    type->setMTypeName("Sites");
    ASSERT_EQ(alice.updateType(type), kTVXDone);
    ASSERT_EQ(notices.size(), 1);
    EXPECT_EQ(notices[0].kinds, storechanges::kTypes | storechanges::kRecords);
    center.removeObserver(token);
}

TEST_F(RecordBatches, KeepTheRecentListAtItsLimitAsSingleAddsDo)
{
    ASSERT_EQ(logInBoth(), kTVXDone);
    QStringList ids;
    ASSERT_EQ(alice.beginRecordBatch(), kTVXDone);
    for (int i = 0; i < TVXRecentListsAccess::kRecentListLimit + 5; ++i) {
        auto record = newRecord(alice, {QStringLiteral("r%1").arg(i)});
        ASSERT_EQ(alice.addRecord(record), kTVXDone);
        ids << record->mRecordUID();
    }
    ASSERT_EQ(alice.endRecordBatch(), kTVXDone);
    EXPECT_EQ(rootQueryValue(QStringLiteral("SELECT COUNT(*) FROM tolvanexdb.RECENTLYADDEDTABLE WHERE USERID='%1'")
                                 .arg(aliceID))
                  .toInt(),
              TVXRecentListsAccess::kRecentListLimit);
    EXPECT_EQ(alice.recentLists().mRecentlyAddedRecords(), ids.mid(5));
    // The log rows, written together at the end, keep their order.
    QStringList described;
    for (int i = 0; i < TVXRecentListsAccess::kRecentListLimit + 5; ++i)
        described << QStringLiteral("r%1").arg(i);
    EXPECT_EQ(rootQueryValue("SELECT GROUP_CONCAT(DESCRIPTION SEPARATOR ',') FROM tolvanexdb.EVENTLOGGERTABLE "
                             "WHERE EVENT='Add Record'"),
              described.join(','));
    // One more outside a batch still trims to the limit.
    ASSERT_EQ(alice.addRecord(newRecord(alice, {"single"})), kTVXDone);
    EXPECT_EQ(rootQueryValue(QStringLiteral("SELECT COUNT(*) FROM tolvanexdb.RECENTLYADDEDTABLE WHERE USERID='%1'")
                                 .arg(aliceID))
                  .toInt(),
              TVXRecentListsAccess::kRecentListLimit);
}

TEST_F(RecordBatches, AFailedCommitTakesTheBatchsRecordsOutOfTheCaches)
{
    ASSERT_EQ(logInBoth(), kTVXDone);
    auto record = newRecord(alice, {"lost with the connection"});
    ASSERT_EQ(alice.beginRecordBatch(), kTVXDone);
    ASSERT_EQ(alice.addRecord(record), kTVXDone);
    EXPECT_TRUE(alice.caches().mRecords().contains(record->mRecordUID()));
    ASSERT_NO_FATAL_FAILURE(killConnection(alice));
    QStringList lost;
    EXPECT_NE(alice.endRecordBatch(&lost), kTVXDone);
    EXPECT_EQ(lost, QStringList{record->mRecordUID()});
    EXPECT_FALSE(alice.caches().mRecords().contains(record->mRecordUID()));
    EXPECT_FALSE(alice.recentLists().mRecentlyAddedRecords().contains(record->mRecordUID()));
    EXPECT_EQ(rowCount("RECORDTABLE", record->mRecordUID()), 0);
}

TEST_F(RecordBatches, ANestedTransactionIsASavepoint)
{
    ASSERT_EQ(logInBoth(), kTVXDone);
    sql::Connection& connection = *alice.connection();
    const auto insertLog = [&connection](const char* description) { insertEventRow(connection, description); };
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

// A cluster node can undo an open transaction (another node's write took
// its locks) and still run a prepared statement sent after that in a new
// transaction: the commit then refuses, as a deadlock, instead of storing the
// part that followed.
TEST_F(RecordBatches, ATransactionUndoneUnderItNeverCommitsThePartAfter)
{
    ASSERT_EQ(logInBoth(), kTVXDone);
    sql::Connection& connection = *alice.connection();
    const auto insertLog = [&connection](const char* description) { insertEventRow(connection, description); };
    {
        tvxsql::Transaction transaction(connection);
        insertLog("before the undo");
        std::unique_ptr<sql::Statement>(connection.createStatement())->execute("ROLLBACK"); // what the node does
        insertLog("after the undo");
        try {
            transaction.commit();
            ADD_FAILURE() << "committed";
        } catch (const sql::SQLException& e) {
            EXPECT_EQ(e.getErrorCode(), 1213);
        }
    }
    EXPECT_TRUE(connection.getAutoCommit());
    EXPECT_EQ(eventRows("before the undo"), 0);
    EXPECT_EQ(eventRows("after the undo"), 0);
}

TEST_F(RecordBatches, ABatchTheServerRollsBackStoresWhatItReportsAndReportsWhatItLost)
{
    ASSERT_EQ(logInBoth(), kTVXDone);
    auto first = newRecord(alice, {"first"});
    auto withFile = newRecord(alice, {"with file"});
    withFile->setMHasAttachment(true);
    withFile->setMAttachmentName("file.bin");
    withFile->setMAttachmentPath(writeFile("file.bin", QByteArray(100, 'x')));
    withFile->setMAttachmentState(kAttachmentStateStoreNewFile);
    auto victim = TVXRecord::createRecord(); // unfiled: needs the row the other session holds
    victim->setMValue1("victim");
    auto after = newRecord(alice, {"after"});

    ASSERT_EQ(alice.beginRecordBatch(), kTVXDone);
    ASSERT_EQ(alice.addRecord(first), kTVXDone);
    ASSERT_EQ(alice.addRecord(withFile), kTVXDone);

    // Another session, heavier than the batch, holds the unfiled group's key
    // (as a change of its permission word does) and then waits for a row the
    // batch holds: the server rolls the batch back.
    auto other = rootConnection();
    std::unique_ptr<sql::Statement> stmt(other->createStatement());
    stmt->execute("BEGIN");
    for (int i = 0; i < 20; ++i)
        stmt->execute("INSERT INTO tolvanexdb.EVENTLOGGERTABLE VALUES ('Weight', '', 'w', '', '', '')");
    stmt->execute(QStringLiteral("UPDATE tolvanexdb.TVXGROUPKEYS SET RECORDPERMISSION = RECORDPERMISSION + 1 "
                                 "WHERE UID='%1'")
                      .arg(kUnfiledUID)
                      .toStdString());
    std::thread waiter([&] {
        std::unique_ptr<sql::Statement> wait(other->createStatement());
        std::unique_ptr<sql::ResultSet> rs(wait->executeQuery(
            QStringLiteral("SELECT * FROM tolvanexdb.RECORDTABLE WHERE RECORDID='%1' FOR UPDATE")
                .arg(first->mRecordUID())
                .toStdString()));
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_EQ(alice.addRecord(victim), kTVXStatementFailed);
    waiter.join();
    stmt->execute("ROLLBACK");
    ASSERT_EQ(alice.addRecord(after), kTVXDone);

    QStringList lost;
    EXPECT_NE(alice.endRecordBatch(&lost), kTVXDone);
    // What it could add again alone is stored; the record with a file is reported.
    EXPECT_EQ(lost, QStringList{withFile->mRecordUID()});
    EXPECT_EQ(rowCount("RECORDTABLE", first->mRecordUID()), 1);
    EXPECT_EQ(rowCount("RECORDTABLE", after->mRecordUID()), 1);
    EXPECT_EQ(rowCount("RECORDTABLE", withFile->mRecordUID()), 0);
    EXPECT_EQ(rowCount("RECORDTABLE", victim->mRecordUID()), 0);
    EXPECT_TRUE(alice.caches().mRecords().contains(first->mRecordUID()));
    EXPECT_TRUE(alice.caches().mRecords().contains(after->mRecordUID()));
    EXPECT_FALSE(alice.caches().mRecords().contains(withFile->mRecordUID()));
    EXPECT_TRUE(alice.connection()->getAutoCommit());
    ASSERT_EQ(bob.reloadDatabase(), kTVXDone);
    EXPECT_EQ(bob.caches().mRecords().value(first->mRecordUID())->mValue1(), "first");
}
