// Changing the master password re-enciphers the whole store at once.
#include "model/BMGroup.h"
#include "model/TVXRecord.h"
#include "model/TVXType.h"
#include "model/TVXUID.h"
#include "model/TVXUser.h"
#include "platform/core/NotificationCenter.h"
#include "store/TVXDataBase.h"
#include "support/StoreSeed.h"
#include "support/TestStore.h"

#include <cppconn/connection.h>
#include <cppconn/resultset.h>
#include <cppconn/statement.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <thread>

using namespace teststore;

namespace {

const QString G1 = QStringLiteral("00000000000000A1");
const QString T1 = QStringLiteral("00000000000000C1");
const QString kNewMaster = QStringLiteral("Neues-Kennwort-2");

// The change to kNewMaster on a thread of its own, as the password panel runs it.
class ChangeOnWorker {
public:
    explicit ChangeOnWorker(TVXDataBase& db)
        : mThread([this, &db] {
            mCode.store(db.masterPasswordChange().reEncyptAllDatabaseInformation(kNewMaster));
            mDone = true;
        })
    {
    }
    ~ChangeOnWorker()
    {
        if (mThread.joinable())
            mThread.join();
    }

    bool done() const { return mDone.load(); }
    // Serves the main thread's events until the change ended; its result.
    TVXResult finish()
    {
        while (!mDone.load()) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            QThread::msleep(1);
        }
        mThread.join();
        return mCode.load();
    }

private:
    std::atomic<bool> mDone{false};
    std::atomic<TVXResult> mCode{resultOfNumber(-1)};
    std::thread mThread; // last: it starts once the flags are made
};

class MasterPassword : public StoreTest {
protected:
    // Changing the master password is an administrator's work.
    void SetUp() override
    {
        StoreTest::SetUp();
        makeAdministrator(kUserName);
    }

    void seedStore(const QString& master)
    {
        StoreSeed seed(master);
        seed.group(G1, "Finanzen");
        seed.type(T1, "Bank", 12, 0, {"Konto", "PIN"});
        seed.member(aliceID, G1);
        SeedRecord r{"00000000000000B1", G1, T1, {"Sparkasse", "1234", "Grüße"}};
        r.note = QStringLiteral("Notiz — 東京").repeated(100);
        r.hasCustomField = true;
        r.hasAttachment = true;
        seed.record(r);
        seed.customType("00000000000000B1", 12, 1, {"Eigenes Feld"});
        seed.attachment("00000000000000B1", "vertrag.pdf", "pass-key-16chars");
        seed.record({"00000000000000B2", kUnfiledUID, kUnfiledUID, {"lose"}});
    }

    static TVXResult logInAndLoad(TVXDataBase& db, const QString& master)
    {
        TVXResult code = db.startConnectionToServer(loginRequest(kUserName, kUserPassword, master));
        if (code == kTVXDone)
            code = db.initUserDetails(kUserName, kUserPassword);
        return code == kTVXDone ? db.loadDataBase() : code;
    }

    static void expectReadable(TVXDataBase& db)
    {
        const auto record = db.caches().mRecords().value("00000000000000B1");
        ASSERT_NE(record, nullptr);
        EXPECT_EQ(record->mValue1(), "Sparkasse");
        EXPECT_EQ(record->mValue3(), "Grüße");
        EXPECT_EQ(record->mNotes(), QStringLiteral("Notiz — 東京").repeated(100));
        ASSERT_NE(record->mRecordCustomType(), nullptr);
        EXPECT_EQ(record->mRecordCustomType()->mField1(), "Eigenes Feld");
        EXPECT_EQ(record->mAttachmentName(), "vertrag.pdf");
        EXPECT_EQ(record->mAttachmentPassKey(), "pass-key-16chars");
        EXPECT_EQ(db.caches().mGroups().value(G1)->mGroupName(), "Finanzen");
        EXPECT_EQ(db.caches().mTypes().value(T1)->mTypeName(), "Bank");
        EXPECT_EQ(db.caches().mTypes().value(T1)->mField2(), "PIN");
        EXPECT_EQ(db.caches().mTypes().value(kUnfiledUID)->mTypeName(), "Unfiled");
        EXPECT_EQ(db.caches().mRecords().value("00000000000000B2")->mValue1(), "lose");
    }

    // Alice and bob signed in to the seeded store; bob waits at most 4 s for a row.
    void signInAliceAndBob(TVXDataBase& alice, TVXDataBase& bob)
    {
        seedStore(kMasterPassword);
        addUser("bob", "bob-pw");
        bob.setReadWriteTimeout(4);
        ASSERT_EQ(logInAndLoad(alice, kMasterPassword), kTVXDone);
        ASSERT_EQ(teststore::logInAndLoad(bob, "bob", "bob-pw", kMasterPassword), kTVXDone);
    }

    // Every record's rewrite sleeps this long (dropped with slow_rewrite).
    static void slowRewrites(int seconds)
    {
        rootExec(QStringLiteral("CREATE TRIGGER tolvanexdb.slow_rewrite BEFORE UPDATE ON tolvanexdb.RECORDROWS "
                                "FOR EACH ROW SET @pause = SLEEP(%1)")
                     .arg(seconds));
    }

    // The connection of a change that sleeps in a slowed rewrite, once it does.
    static QString sleepingConnection()
    {
        QString id;
        while ((id = rootQueryValue("SELECT ID FROM information_schema.PROCESSLIST WHERE STATE='User sleep'"))
                   .isEmpty())
            QThread::msleep(20);
        return id;
    }

    static QString storeFingerprint()
    {
        auto root = rootConnection();
        std::unique_ptr<sql::Statement> stmt(root->createStatement());
        std::unique_ptr<sql::ResultSet> rs(stmt->executeQuery(
            "CHECKSUM TABLE tolvanexdb.GROUPTABLE, tolvanexdb.TYPETABLE, tolvanexdb.RECORDROWS, "
            "tolvanexdb.CUSTOMTYPEROWS, tolvanexdb.ATTACHMENTROWS, tolvanexdb.DATABASEINFOTABLE EXTENDED"));
        QString all;
        while (rs->next())
            all += QString::fromStdString(rs->getString(2).asStdString()) + QLatin1Char('/');
        return all;
    }
};

} // namespace

TEST_F(MasterPassword, EveryValueReadsBackUnderTheNewPassword)
{
    seedStore(kMasterPassword);
    TVXDataBase alice;
    ASSERT_EQ(logInAndLoad(alice, kMasterPassword), kTVXDone);
    alice.masterPasswordChange().saveMasterPasswordForAdmin(kNewMaster);
    alice.masterPasswordChange().setChangeMasterPassword(true);
    EXPECT_EQ(alice.masterPasswordChange().reEncyptAllDatabaseInformation(kNewMaster), kTVXDone);
    EXPECT_TRUE(alice.isLoadingComplete());
    EXPECT_EQ(alice.masterPassword(), kNewMaster);
    EXPECT_EQ(alice.checkForMasterPasswordMatch(), kNewMaster);

    TVXDataBase fresh;
    EXPECT_EQ(fresh.startConnectionToServer(loginRequest(kUserName, kUserPassword, kMasterPassword)),
              kTVXMasterPasswordMismatch);
    ASSERT_EQ(logInAndLoad(fresh, kNewMaster), kTVXDone);
    expectReadable(fresh);

    // The same password again changes nothing.
    const QString before = storeFingerprint();
    EXPECT_EQ(alice.masterPasswordChange().reEncyptAllDatabaseInformation(kNewMaster), kTVXDone);
    EXPECT_EQ(storeFingerprint(), before);
}

TEST_F(MasterPassword, AFailureHalfWayChangesNothing)
{
    seedStore(kMasterPassword);
    TVXDataBase alice;
    ASSERT_EQ(logInAndLoad(alice, kMasterPassword), kTVXDone);
    const QByteArray oldCipher = alice.encryptString("x");
    const QString before = storeFingerprint();
    // Groups and types are rewritten before the server refuses the second record.
    rootExec("CREATE TRIGGER tolvanexdb.refuse_rewrite BEFORE UPDATE ON tolvanexdb.RECORDROWS FOR EACH ROW "
             "BEGIN IF NEW.RECORDID = '00000000000000B2' THEN "
             "SIGNAL SQLSTATE '45000' SET MESSAGE_TEXT = 'refused'; END IF; END");

    EXPECT_EQ(alice.masterPasswordChange().reEncyptAllDatabaseInformation(kNewMaster), kTVXStatementFailed);
    EXPECT_TRUE(alice.isLoadingComplete());
    EXPECT_EQ(storeFingerprint(), before);
    EXPECT_EQ(alice.encryptString("x"), oldCipher);
    EXPECT_EQ(alice.masterPassword(), kMasterPassword);

    TVXDataBase fresh;
    ASSERT_EQ(logInAndLoad(fresh, kMasterPassword), kTVXDone);
    expectReadable(fresh);
}

TEST_F(MasterPassword, AnEmptyPasswordStoresPlainBytesAndBack)
{
    seedStore(kMasterPassword);
    TVXDataBase alice;
    ASSERT_EQ(logInAndLoad(alice, kMasterPassword), kTVXDone);
    ASSERT_EQ(alice.masterPasswordChange().reEncyptAllDatabaseInformation(QString()), kTVXDone);
    EXPECT_FALSE(alice.ciphers().hasFieldEncrypter());
    EXPECT_EQ(rootQueryValue("SELECT FIELD1 FROM tolvanexdb.RECORDTABLE WHERE RECORDID='00000000000000B1'"),
              "Sparkasse");

    TVXDataBase plain;
    ASSERT_EQ(logInAndLoad(plain, QString()), kTVXDone);
    expectReadable(plain);

    ASSERT_EQ(plain.masterPasswordChange().reEncyptAllDatabaseInformation(kNewMaster), kTVXDone);
    TVXDataBase again;
    ASSERT_EQ(logInAndLoad(again, kNewMaster), kTVXDone);
    expectReadable(again);
}

TEST_F(MasterPassword, AValueThatWouldNoLongerFitIsRefusedBeforeWriting)
{
    ASSERT_NO_FATAL_FAILURE(resetStore(QString()));
    addUser(kUserName, kUserPassword);
    makeAdministrator(kUserName);
    StoreSeed seed{QString()};
    // 250 plain bytes fit a TINYBLOB; enciphered they take 256.
    seed.record({"00000000000000B3", kUnfiledUID, kUnfiledUID, {QString(250, 'a')}});
    TVXDataBase alice;
    ASSERT_EQ(logInAndLoad(alice, QString()), kTVXDone);
    const QString before = storeFingerprint();
    EXPECT_EQ(alice.masterPasswordChange().reEncyptAllDatabaseInformation(kNewMaster), kTVXStatementFailed);
    EXPECT_EQ(storeFingerprint(), before);
    EXPECT_FALSE(alice.ciphers().hasFieldEncrypter());
}

TEST_F(MasterPassword, AFailingChangeOnAWorkerNeverBlocksTheMainThreadWritingMeanwhile)
{
    seedStore(kMasterPassword);
    TVXDataBase alice;
    ASSERT_EQ(logInAndLoad(alice, kMasterPassword), kTVXDone);
    TVXResult prefs = resultOfNumber(-1);
    alice.preferences().initUserPreferencesForUser(aliceID, kUserName, &prefs);
    ASSERT_EQ(prefs, kTVXDone);
    // The server takes a moment before refusing: the main thread is by then
    // waiting for the connection, and the worker's error waits for the main thread.
    rootExec("CREATE TRIGGER tolvanexdb.refuse_rewrite BEFORE UPDATE ON tolvanexdb.RECORDROWS FOR EACH ROW "
             "BEGIN IF NEW.RECORDID = '00000000000000B2' THEN SET @pause = SLEEP(1); "
             "SIGNAL SQLSTATE '45000' SET MESSAGE_TEXT = 'refused'; END IF; END");
    const HangDeadline deadline(30);
    ChangeOnWorker change(alice);
    QThread::msleep(300);
    QElapsedTimer timer;
    timer.start();
    alice.caches().mCurrentUser()->setMShowDetailOnPane(true);
    EXPECT_EQ(alice.preferences().saveToggleInfoForUser(*alice.caches().mCurrentUser()), kTVXDone);
    const TVXResult code = change.finish();
    EXPECT_LT(timer.elapsed(), 10000);
    EXPECT_EQ(code, kTVXStatementFailed);
    EXPECT_EQ(alice.masterPassword(), kMasterPassword);
    EXPECT_EQ(rootQueryValue(QStringLiteral("SELECT SHOWDETAILPANE FROM tolvanexdb.APPPREFTABLE WHERE USERID='%1'")
                                 .arg(aliceID)),
              "1");
}

TEST_F(MasterPassword, AClientStillOnTheOldPasswordWritesNothingUntilItLogsInAgain)
{
    seedStore(kMasterPassword);
    addUser("bob", "bob-pw");
    TVXDataBase alice;
    TVXDataBase bob;
    ASSERT_EQ(logInAndLoad(alice, kMasterPassword), kTVXDone);
    ASSERT_EQ(teststore::logInAndLoad(bob, "bob", "bob-pw", kMasterPassword), kTVXDone);
    ASSERT_EQ(alice.masterPasswordChange().reEncyptAllDatabaseInformation(kNewMaster), kTVXDone);

    int notices = 0;
    auto& center = platform::NotificationCenter::defaultCenter();
    const auto token = center.addObserver(kDBMasterPasswordChangedNotification,
                                          [&notices](const platform::Notification&) { ++notices; });
    auto record = TVXRecord::createRecord();
    record->setMValue1("unter altem Schlüssel");
    EXPECT_EQ(bob.addRecord(record), kTVXMasterPasswordMismatch);
    EXPECT_FALSE(bob.caches().mRecords().contains(record->mRecordUID()));
    const auto loose = bob.caches().mRecords().value("00000000000000B2");
    ASSERT_NE(loose, nullptr);
    loose->setMValue1("geändert");
    EXPECT_EQ(bob.replaceRecord(loose), kTVXMasterPasswordMismatch);
    QCoreApplication::processEvents();
    center.removeObserver(token);
    EXPECT_EQ(notices, 1);
    EXPECT_EQ(rootQueryValue(QStringLiteral("SELECT COUNT(*) FROM tolvanexdb.RECORDTABLE WHERE RECORDID='%1'")
                                 .arg(record->mRecordUID())),
              "0");

    // Logged in again with the new password, the same writes go in and read back.
    ASSERT_EQ(bob.startConnectionToServer(loginRequest("bob", "bob-pw", kNewMaster)), kTVXDone);
    EXPECT_EQ(bob.addRecord(record), kTVXDone);
    // Every stored cipher changed: a copy from before the change is stale.
    EXPECT_EQ(bob.replaceRecord(loose), kTVXReloadFirst);
    ASSERT_EQ(bob.reloadDatabase(), kTVXDone);
    const auto reloaded = bob.caches().mRecords().value("00000000000000B2");
    ASSERT_NE(reloaded, nullptr);
    reloaded->setMValue1("geändert");
    EXPECT_EQ(bob.replaceRecord(reloaded), kTVXDone);
    TVXDataBase fresh;
    ASSERT_EQ(logInAndLoad(fresh, kNewMaster), kTVXDone);
    EXPECT_EQ(fresh.caches().mRecords().value("00000000000000B2")->mValue1(), "geändert");
    ASSERT_TRUE(fresh.caches().mRecords().contains(record->mRecordUID()));
    EXPECT_EQ(fresh.caches().mRecords().value(record->mRecordUID())->mValue1(), "unter altem Schlüssel");
}

// A writer held up by a change under way is told the store is busy (the
// change may yet fail); once the change committed, it is told the master
// password changed.
TEST_F(MasterPassword, AChangeOutlastingTheReadTimeoutKeepsAnotherClientBusyThenRefusesItsWrites)
{
    TVXDataBase alice;
    TVXDataBase bob;
    ASSERT_NO_FATAL_FAILURE(signInAliceAndBob(alice, bob));
    // Each record's rewrite takes a while: the change outlasts bob's read timeout.
    slowRewrites(7);
    int lost = 0;
    int changed = 0;
    auto& center = platform::NotificationCenter::defaultCenter();
    const auto lostToken =
        center.addObserver(kDBCommLostNotification, [&lost](const platform::Notification&) { ++lost; });
    const auto changedToken = center.addObserver(kDBMasterPasswordChangedNotification,
                                                 [&changed](const platform::Notification&) { ++changed; });

    const HangDeadline deadline(60);
    ChangeOnWorker change(alice);
    (void)sleepingConnection();

    auto record = TVXRecord::createRecord();
    record->setMValue1("während des Wechsels");
    EXPECT_EQ(bob.addRecord(record), kTVXStoreBusy);
    const auto loose = bob.caches().mRecords().value("00000000000000B2");
    ASSERT_NE(loose, nullptr);
    EXPECT_EQ(bob.deleteRecord(loose), kTVXStoreBusy);
    EXPECT_FALSE(change.done()); // the change was still under way
    QCoreApplication::processEvents();
    EXPECT_EQ(changed, 0);
    const TVXResult code = change.finish();
    EXPECT_EQ(code, kTVXDone);
    EXPECT_EQ(bob.addRecord(record), kTVXMasterPasswordMismatch);
    QCoreApplication::processEvents();
    center.removeObserver(lostToken);
    center.removeObserver(changedToken);

    EXPECT_EQ(lost, 0);
    EXPECT_EQ(changed, 1);
    EXPECT_EQ(rootQueryValue(QStringLiteral("SELECT COUNT(*) FROM tolvanexdb.RECORDTABLE WHERE RECORDID='%1'")
                                 .arg(record->mRecordUID())),
              "0");
    rootExec("DROP TRIGGER tolvanexdb.slow_rewrite");
    TVXDataBase fresh;
    ASSERT_EQ(logInAndLoad(fresh, kNewMaster), kTVXDone);
    expectReadable(fresh);
}

// A change ended half way (its connection killed) while another client's save
// waits on it: the save is told the store is busy, never that the master
// password changed, and goes through once the change is gone; the store
// stays under the old password.
TEST_F(MasterPassword, AChangeKilledWhileAnotherClientsSaveWaitsLeavesThatSaveBusyThenStored)
{
    TVXDataBase alice;
    TVXDataBase bob;
    ASSERT_NO_FATAL_FAILURE(signInAliceAndBob(alice, bob));
    slowRewrites(30);
    int changed = 0;
    auto& center = platform::NotificationCenter::defaultCenter();
    const auto changedToken = center.addObserver(kDBMasterPasswordChangedNotification,
                                                 [&changed](const platform::Notification&) { ++changed; });

    const HangDeadline deadline(90);
    ChangeOnWorker change(alice);
    const QString changer = sleepingConnection();

    auto record = TVXRecord::createRecord();
    record->setMValue1("nach dem Abbruch");
    EXPECT_EQ(bob.addRecord(record), kTVXStoreBusy);
    EXPECT_FALSE(change.done());
    rootExec(QStringLiteral("KILL %1").arg(changer));
    const TVXResult code = change.finish();
    EXPECT_NE(code, kTVXDone);
    rootExec("DROP TRIGGER tolvanexdb.slow_rewrite");
    for (int i = 0; i < 100 && rootQueryValue(QStringLiteral("SELECT COUNT(*) FROM information_schema.PROCESSLIST "
                                                             "WHERE ID=%1").arg(changer)) != "0"; ++i)
        QThread::msleep(50);

    EXPECT_EQ(bob.addRecord(record), kTVXDone);
    QCoreApplication::processEvents();
    center.removeObserver(changedToken);
    EXPECT_EQ(changed, 0);
    EXPECT_EQ(rootQueryValue(QStringLiteral("SELECT COUNT(*) FROM tolvanexdb.RECORDTABLE WHERE RECORDID='%1'")
                                 .arg(record->mRecordUID())),
              "1");
    TVXDataBase fresh;
    ASSERT_EQ(logInAndLoad(fresh, kMasterPassword), kTVXDone);
    expectReadable(fresh);
    EXPECT_EQ(fresh.caches().mRecords().value(record->mRecordUID())->mValue1(), "nach dem Abbruch");
}
