// Records added, edited and duplicated through the record sheet, stored the
// way the record commands store them, as the server and a second client see
// them; and the generator's choice of sets kept on the server.
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QToolButton>

#include "support/RecordFixture.h"
#include "support/UiTestSupport.h"
#include "views/BMImageMatrix.h"
#include "views/StoreFailureAlert.h"
#include "windows/BMDetailsWindowController.h"
#include "windows/BMPasswordWindowController.h"

#include <QCheckBox>
#include <QSpinBox>

using namespace teststore;
using namespace recorddetails;

namespace {

const QString T2 = QStringLiteral("00000000000000C2");

class RecordSheetStore : public RecordFixture {
protected:
    void SetUp() override
    {
        RecordFixture::SetUp();
        seed->type(T2, "Server", 20, 0, {"Host", "Account"});
        ASSERT_EQ(logInBoth(), kTVXDone);
        sheet = std::make_unique<BMDetailsWindowController>(alice);
        sheet->setFileChooser({[this](QWidget*) { return offeredFile; }, [](QWidget*) { return QStringList(); }});
    }

    int end() const { return sheet->requestedEnd().value_or(-1001); }

    // Opens the sheet on the record and returns what it hands back; `play` acts as the user.
    std::shared_ptr<TVXRecord> run(const std::shared_ptr<TVXRecord>& record, int& operation,
                                   const std::function<void()>& play)
    {
        script.then([&](QWidget*) {
            play();
            return end();
        });
        return sheet->orderFrontDetailsWindowWithInfo(record, operation);
    }

    std::shared_ptr<TVXRecord> storedWithAttachment(const QStringList& values, const QByteArray& contents)
    {
        auto record = newRecord(alice, values);
        record->setMHasAttachment(true);
        record->setMAttachmentName("codes.txt");
        record->setMAttachmentPath(writeFile("codes.txt", contents));
        record->setMAttachmentState(kAttachmentStateStoreNewFile);
        EXPECT_EQ(alice.addRecord(record), kTVXDone);
        record->setMAttachmentPath(QString());
        return record;
    }

    static QByteArray attachmentOf(TVXDataBase& db, const QString& id)
    {
        auto record = db.caches().mRecords().value(id);
        if (!record)
            return "<no record>";
        TVXResult code = resultOfNumber(-1); // not set by the call
        const auto data = db.attachments().extractAttachmentDataForRecord(*record, &code);
        return data && code == kTVXDone ? *data : QByteArray("<code ") + QByteArray::number(resultNumber(code)) + ">";
    }

    std::shared_ptr<TVXRecord> recordNamed(TVXDataBase& db, const QString& value1)
    {
        for (const auto& r : db.caches().mRecords())
            if (r->mValue1() == value1)
                return r;
        return nullptr;
    }

    static QString recordColumn(const QString& column, const QString& id) { return stored(column, "RECORDTABLE", id); }

    QString offeredFile;
    tvxtest::AlertRecorder alerts;
    tvxtest::ModalScript script;
    std::unique_ptr<BMDetailsWindowController> sheet;
};

TEST_F(RecordSheetStore, AnAddedRecordWithItsAttachmentReachesTheOtherClient)
{
    auto fresh = TVXRecord::createRecord();
    fresh->setMGroup(alice.caches().mGroups().value(G1));
    fresh->setMType(alice.caches().mTypes().value(T1));
    offeredFile = writeFile("key.pem", QByteArray("-----BEGIN KEY-----\n\0\1\2", 23));
    int operation = kOperationAdd;
    auto result = run(fresh, operation, [&] {
        QTest::keyClicks(sheet->valueField(0), "https://bank.example");
        QTest::keyClicks(sheet->valueField(1), "alice");
        sheet->valueField(2)->setText("pw-\u00e9t\u00e9"); // typed keys are ASCII only
        sheet->notesView()->setPlainText("Notiz \u2713");
        sheet->attachmentButton()->click();
        sheet->okButton()->click();
    });
    ASSERT_NE(result, nullptr);
    EXPECT_EQ(operation, kOperationAdd);
    ASSERT_EQ(storeRecordFromSheet(alice, result, operation, fresh), kTVXDone);
    const QString id = result->mRecordUID();
    EXPECT_EQ(alice.caches().mRecords().value(id), result);
    EXPECT_EQ(storedCipher("FIELD3", "RECORDTABLE", id), cipherOf("pw-\u00e9t\u00e9"));
    EXPECT_EQ(rowCount("ATTACHMENTTABLE", id), 1);
    EXPECT_EQ(lastEvent(alice).event, "Add Record");

    ASSERT_EQ(bob.reloadDatabase(), kTVXDone);
    auto seen = bob.caches().mRecords().value(id);
    ASSERT_NE(seen, nullptr);
    EXPECT_EQ(seen->mValue1(), "https://bank.example");
    EXPECT_EQ(seen->mValue3(), "pw-\u00e9t\u00e9");
    EXPECT_EQ(seen->mNotes(), "Notiz \u2713");
    EXPECT_EQ(seen->mAttachmentName(), "key.pem");
    EXPECT_EQ(attachmentOf(bob, id), QByteArray("-----BEGIN KEY-----\n\0\1\2", 23));
}

TEST_F(RecordSheetStore, AnEditKeepsTheAttachmentAndRemovingItDropsTheRow)
{
    auto stored = storedWithAttachment({"db1", "root"}, "secret file");
    const QString id = stored->mRecordUID();

    int operation = kOperationEdit;
    auto edited = run(stored, operation, [&] {
        sheet->valueField(1)->setText("admin");
        sheet->okButton()->click();
    });
    ASSERT_NE(edited, nullptr);
    ASSERT_EQ(storeRecordFromSheet(alice, edited, operation, stored), kTVXDone);
    EXPECT_EQ(alice.caches().mRecords().value(id), edited);
    // The cache's new object still opens the stored attachment.
    EXPECT_EQ(attachmentOf(alice, id), "secret file");
    ASSERT_EQ(bob.reloadDatabase(), kTVXDone);
    EXPECT_EQ(bob.caches().mRecords().value(id)->mValue2(), "admin");
    EXPECT_EQ(attachmentOf(bob, id), "secret file");

    operation = kOperationEdit;
    auto removed = run(edited, operation, [&] {
        alerts.answerNext(platform::kAlertAlternateReturn); // "Yes"
        sheet->attachmentButton()->click();
        sheet->okButton()->click();
    });
    ASSERT_NE(removed, nullptr);
    ASSERT_EQ(storeRecordFromSheet(alice, removed, operation, edited), kTVXDone);
    EXPECT_EQ(rowCount("ATTACHMENTTABLE", id), 0);
    EXPECT_EQ(recordColumn("HASATTACHMENT", id), "0");
    ASSERT_EQ(bob.reloadDatabase(), kTVXDone);
    EXPECT_FALSE(bob.caches().mRecords().value(id)->mHasAttachment());
}

TEST_F(RecordSheetStore, DuplicatingTwiceStoresTheFirstCopyWithItsAttachment)
{
    auto stored = storedWithAttachment({"vpn"}, "ovpn profile");
    int operation = kOperationEdit;
    auto second = run(stored, operation, [&] {
        sheet->duplicateButton()->click();
        sheet->duplicateButton()->click(); // stores "vpn Copy", offers "vpn Copy Copy"
        EXPECT_EQ(sheet->valueField(0)->text(), "vpn Copy Copy");
        sheet->okButton()->click();
    });
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(operation, kOperationDuplicate);
    EXPECT_TRUE(alerts.alerts().empty());

    auto first = recordNamed(alice, "vpn Copy");
    ASSERT_NE(first, nullptr);
    EXPECT_NE(first->mRecordUID(), stored->mRecordUID());
    EXPECT_EQ(attachmentOf(alice, first->mRecordUID()), "ovpn profile");
    const auto log = alice.eventLog().eventLogger().logArrary();
    ASSERT_FALSE(log.isEmpty());
    EXPECT_EQ(log.last().event, "Duplicate Record");
    EXPECT_EQ(log.last().action, "Success");
    EXPECT_EQ(log.last().user, kUserName);

    ASSERT_EQ(storeRecordFromSheet(alice, second, operation, stored), kTVXDone);
    EXPECT_EQ(attachmentOf(alice, second->mRecordUID()), "ovpn profile");
    ASSERT_EQ(bob.reloadDatabase(), kTVXDone);
    EXPECT_NE(recordNamed(bob, "vpn"), nullptr);
    EXPECT_NE(recordNamed(bob, "vpn Copy"), nullptr);
    auto seen = recordNamed(bob, "vpn Copy Copy");
    ASSERT_NE(seen, nullptr);
    EXPECT_EQ(attachmentOf(bob, seen->mRecordUID()), "ovpn profile");
}

TEST_F(RecordSheetStore, AnotherIconIsStoredAsTheRecordsOwnFieldSet)
{
    auto fresh = newRecord(alice, {"router"});
    int operation = kOperationAdd;
    script.then([&](QWidget*) {
        sheet->iconButton()->click();
        sheet->okButton()->click();
        return end();
    });
    script.then([&](QWidget*) {
        sheet->imageMatrix()->setSelectedImage(40);
        return -1000;
    });
    auto result = sheet->orderFrontDetailsWindowWithInfo(fresh, operation);
    ASSERT_NE(result, nullptr);
    ASSERT_EQ(storeRecordFromSheet(alice, result, operation, fresh), kTVXDone);
    const QString id = result->mRecordUID();
    EXPECT_EQ(recordColumn("HASCUSTOMFIELD", id), "1");
    EXPECT_EQ(stored("ICONID", "CUSTOMTYPETABLE", id), "40");
    ASSERT_EQ(bob.reloadDatabase(), kTVXDone);
    auto seen = bob.caches().mRecords().value(id);
    ASSERT_TRUE(seen->mIsCustomized());
    EXPECT_EQ(seen->mRecordCustomType()->mTypeIconID(), 40);
    EXPECT_EQ(seen->mRecordCustomType()->mField1(), "URL");
    EXPECT_EQ(bob.caches().mTypes().value(T1)->mTypeIconID(), 12);

    // Another type chosen later: the record is plain again, its own field set gone.
    operation = kOperationEdit;
    auto retyped = run(alice.caches().mRecords().value(id), operation, [&] {
        sheet->typePopup()->setCurrentIndex(sheet->typePopup()->findText("Server"));
        sheet->changeTypeSelection();
        sheet->okButton()->click();
    });
    ASSERT_NE(retyped, nullptr);
    ASSERT_EQ(storeRecordFromSheet(alice, retyped, operation, alice.caches().mRecords().value(id)), kTVXDone);
    EXPECT_EQ(recordColumn("HASCUSTOMFIELD", id), "0");
    EXPECT_EQ(rowCount("CUSTOMTYPETABLE", id), 0);
    EXPECT_EQ(recordColumn("TYPEUID", id), T2);
}

TEST_F(RecordSheetStore, AStaleRecordAnswersReloadFirst)
{
    auto stored = newRecord(alice, {"gone soon"});
    ASSERT_EQ(alice.addRecord(stored), kTVXDone);
    ASSERT_EQ(bob.reloadDatabase(), kTVXDone);
    ASSERT_EQ(bob.deleteRecord(bob.caches().mRecords().value(stored->mRecordUID())), kTVXDone);

    int operation = kOperationEdit;
    auto edited = run(stored, operation, [&] {
        sheet->valueField(0)->setText("changed");
        sheet->okButton()->click();
    });
    ASSERT_NE(edited, nullptr);
    EXPECT_EQ(storeRecordFromSheet(alice, edited, operation, stored), kTVXReloadFirst);
    EXPECT_EQ(alice.caches().mRecords().value(stored->mRecordUID()), stored); // the cache keeps its copy
    EXPECT_EQ(stored->mValue1(), "gone soon");
}

TEST_F(RecordSheetStore, ABusyStoreKeepsTheSheetWithItsInputUntilTheSaveGoesIn)
{
    alice.setReadWriteTimeout(4);
    ASSERT_EQ(logInAndLoad(alice, kUserName, kUserPassword), kTVXDone);
    auto stored = newRecord(alice, {"before"});
    ASSERT_EQ(alice.addRecord(stored), kTVXDone);
    const HangDeadline deadline(60);
    auto holder = rootConnection();
    holder->setAutoCommit(false);
    std::unique_ptr<sql::Statement> hold(holder->createStatement());
    std::unique_ptr<sql::ResultSet>(
        hold->executeQuery("SELECT VALUE FROM tolvanexdb.TVXMASTERPASSWORDTABLE WHERE NAME='DBPASSWORD' FOR UPDATE"));

    std::vector<TVXResult> codes;
    bool keptOpen = false;
    QString keptText;
    script.then([&](QWidget*) {
        sheet->valueField(0)->setText("after");
        sheet->okButton()->click();
        keptOpen = !sheet->requestedEnd().has_value();
        keptText = sheet->valueField(0)->text();
        holder->rollback();
        sheet->okButton()->click();
        return end();
    });
    int operation = kOperationEdit;
    const auto edited = sheet->orderFrontDetailsWindowWithInfo(
        stored, operation, [&](const std::shared_ptr<TVXRecord>& built, int storedOperation) {
            const TVXResult code = storeRecordFromSheet(alice, built, storedOperation, stored);
            storealert::reportStoreFailure(code);
            codes.push_back(code);
            return code;
        });
    EXPECT_EQ(codes, (std::vector<TVXResult>{kTVXStoreBusy, kTVXDone}));
    EXPECT_TRUE(keptOpen);
    EXPECT_EQ(keptText, "after");
    EXPECT_EQ(alerts.messages(), QStringList{"The store is busy; try again in a moment."});
    ASSERT_NE(edited, nullptr);
    EXPECT_EQ(storedCipher("FIELD1", "RECORDTABLE", stored->mRecordUID()), cipherOf("after"));
    EXPECT_FALSE(alice.isConnectionLostHandlerOn());
}

TEST_F(RecordSheetStore, TheGeneratorKeepsTheChosenSetsOnTheServer)
{
    givePreferenceRow(aliceID, kUserName);
    BMPasswordWindowController generator(BMPasswordWindowController::backendFor(alice.preferences()));
    for (int i = 0; i < 5; ++i)
        generator.characterSetBox(i)->setChecked(i < 2); // lower and upper case
    const uint64_t uses = alice.connectionUsesOnMainThread();
    generator.characterSetChange();
    generator.lengthField()->setValue(14);
    generator.generatePassword();
    EXPECT_EQ(alice.connectionUsesOnMainThread(), uses) << "the sets go out behind the window";
    ASSERT_EQ(generator.mGenratedPasswordList().size(), 10);
    for (const QString& password : generator.mGenratedPasswordList())
        EXPECT_EQ(password.size(), 14);
    alice.writeBehind().flush();
    EXPECT_EQ(rootQueryValue(QStringLiteral("SELECT PWDGENFLAG FROM tolvanexdb.APPPREFTABLE WHERE USERID='%1'")
                                 .arg(aliceID)),
              "35"); // 1 + 2 + pronounceable
    // A new sheet starts from the stored sets.
    BMPasswordWindowController again(BMPasswordWindowController::backendFor(alice.preferences()));
    EXPECT_TRUE(again.characterSetBox(0)->isChecked());
    EXPECT_TRUE(again.characterSetBox(1)->isChecked());
    EXPECT_FALSE(again.characterSetBox(2)->isChecked());
}

} // namespace
