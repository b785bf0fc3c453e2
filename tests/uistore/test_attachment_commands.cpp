// The attachment, print, mail and web log-in commands against a real store:
// what ends up on the server and on disk, what the user is told, and which
// command lines reach the desktop (nothing is really started).
#include <gtest/gtest.h>

#include "app/BMController.h"
#include "model/TVXUser.h"
#include "platform/ui/Pasteboard.h"
#include "platform/ui/ProcessLauncher.h"
#include "platform/ui/ScriptRunner.h"
#include "store/attachments/TVXAttachmentFolder.h"
#include "support/MainWindowSelection.h"
#include "support/RecordFixture.h"
#include "support/UiTestSupport.h"
#include "views/BMDetailsView.h"
#include "views/BMPrintDocument.h"
#include "views/BMTextTable.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>
#include <QPdfWriter>
#include <QTest>

#include <condition_variable>
#include <mutex>

using namespace teststore;

namespace {

class RecordingLauncher : public platform::ProcessLauncher {
public:
    bool startDetached(const QString& program, const QStringList& arguments) override
    {
        std::unique_lock lock(mutex);
        detached << (QStringList{program} + arguments);
        released.wait(lock, [this] { return !hold; });
        return !missing;
    }
    int execute(const QString& program, const QStringList& arguments, int) override
    {
        std::lock_guard lock(mutex);
        executed << (QStringList{program} + arguments);
        return 0;
    }
    void release()
    {
        {
            std::lock_guard lock(mutex);
            hold = false;
        }
        released.notify_all();
    }
    QList<QStringList> detachedCalls()
    {
        std::lock_guard lock(mutex);
        return detached;
    }
    QList<QStringList> executedCalls()
    {
        std::lock_guard lock(mutex);
        return executed;
    }
    bool hold = false;
    bool missing = false; // the program is not installed

private:
    std::mutex mutex;
    std::condition_variable released;
    QList<QStringList> detached;
    QList<QStringList> executed;
};

class AttachmentCommands : public RecordFixture {
protected:
    void SetUp() override
    {
        RecordFixture::SetUp();
        launcher = std::make_shared<RecordingLauncher>();
        previousLauncher = platform::setProcessLauncher(launcher);
        ASSERT_EQ(logInAndLoad(alice), kTVXDone);
        record = newRecord(alice, {"Bank", "alice.jones", "s3cret", "www.bank.example"});
        ASSERT_EQ(alice.addRecord(record), kTVXDone);
        controller = std::make_unique<BMController>(&alice);
        window = tvxtest::createMainWindow(*controller);
        pane = std::make_unique<BMDetailsView>(nullptr, &alice);
        pane->resize(340, 480);
        tvxtest::showRecordsIn(*controller, *pane);
        ASSERT_TRUE(tvxtest::selectRecords(*controller, {record->mRecordUID()}));
    }
    void TearDown() override
    {
        launcher->release();
        platform::ScriptRunner::shared().waitUntilIdle(5000);
        platform::setProcessLauncher(previousLauncher);
        delete window;
        controller.reset();
        pane.reset();
        RecordFixture::TearDown();
    }

    // A modal step that picks the file in a file panel and confirms it.
    static tvxtest::ModalScript::Step choose(const QString& path)
    {
        return [path](QWidget* window) {
            auto* panel = qobject_cast<QFileDialog*>(window);
            EXPECT_NE(panel, nullptr);
            if (panel)
                panel->selectFile(path);
            return platform::kModalRunStopped;
        };
    }

    void attach(const QByteArray& bytes, const QString& name)
    {
        tvxtest::ModalScript modal;
        modal.then(choose(writeFile(name, bytes)));
        controller->attachmentCommands().attachmentAction();
    }

    std::shared_ptr<RecordingLauncher> launcher;
    std::shared_ptr<platform::ProcessLauncher> previousLauncher;
    std::shared_ptr<TVXRecord> record;
    std::unique_ptr<BMController> controller;
    BMMainWindow* window = nullptr;
    std::unique_ptr<BMDetailsView> pane;
};

TEST_F(AttachmentCommands, AFileJustUnderOneMegabyteIsStoredOneOfExactlyOneIsRefused)
{
    tvxtest::AlertRecorder alerts;
    attach(QByteArray(BMAttachmentCommands::kAttacmentMaxSize, 'x'), "big.bin");
    EXPECT_EQ(alerts.lastMessage(), QStringLiteral("The attachment size exceeds 1MB limit."));
    EXPECT_FALSE(record->mHasAttachment());
    EXPECT_EQ(rowCount("ATTACHMENTTABLE", record->mRecordUID()), 0);

    const QByteArray contents(BMAttachmentCommands::kAttacmentMaxSize - 1, 'y');
    attach(contents, "almost.bin");
    EXPECT_EQ(alerts.alerts().size(), 1u);
    EXPECT_TRUE(record->mHasAttachment());
    EXPECT_EQ(record->mAttachmentName(), QStringLiteral("almost.bin"));
    EXPECT_TRUE(record->mAttachmentPath().isEmpty());
    EXPECT_EQ(rowCount("ATTACHMENTTABLE", record->mRecordUID()), 1);
    TVXResult code = resultOfNumber(-1); // not set by the call
    EXPECT_EQ(alice.attachments().extractAttachmentDataForRecord(*record, &code), contents);
    // The pane now shows the attachment row.
    EXPECT_EQ(pane->infoView()->value(BMTextTable::kAttachmentRow), QStringLiteral("almost.bin"));
    EXPECT_TRUE(alice.recentLists().mRecentlyMofifiedTypes().contains(record->mRecordUID()));
}

TEST_F(AttachmentCommands, RemovingAsksFirstAndOnlyYesRemoves)
{
    attach("contents", "note.txt");
    ASSERT_TRUE(record->mHasAttachment());

    tvxtest::AlertRecorder alerts; // default answer: "No"
    controller->attachmentCommands().attachmentAction();
    ASSERT_EQ(alerts.alerts().size(), 1u);
    EXPECT_EQ(alerts.alerts()[0].message, QStringLiteral("Are you sure you want to delete attachment?"));
    EXPECT_EQ(alerts.alerts()[0].defaultButton, QStringLiteral("No"));
    EXPECT_EQ(alerts.alerts()[0].alternateButton, QStringLiteral("Yes"));
    EXPECT_TRUE(record->mHasAttachment());
    EXPECT_EQ(rowCount("ATTACHMENTTABLE", record->mRecordUID()), 1);

    alerts.answerNext(platform::kAlertAlternateReturn);
    controller->attachmentCommands().attachmentAction();
    EXPECT_FALSE(record->mHasAttachment());
    EXPECT_EQ(rowCount("ATTACHMENTTABLE", record->mRecordUID()), 0);
    EXPECT_TRUE(pane->infoView()->value(BMTextTable::kAttachmentRow).isEmpty());
}

TEST_F(AttachmentCommands, OpenAndSaveRoundTripThroughTheAttachmentMenu)
{
    const QByteArray contents("%PDF-1.4 statement of account\n");
    attach(contents, "statement.pdf");
    pane->show();
    pane->showRecord(record);
    QTest::mouseClick(pane->infoView()->rowButton(BMTextTable::kAttachmentRow), Qt::LeftButton);

    QMenu* menu = pane->attachmentMenu();
    ASSERT_NE(menu, nullptr);
    QAction* saveAs = menu->findChild<QAction*>(QStringLiteral("SaveAs"));
    ASSERT_NE(saveAs, nullptr);
    EXPECT_NE(menu->findChild<QAction*>(QStringLiteral("OpenWith")), nullptr);
    // The temporary copy, private to the user, holds the contents.
    const QString temporary = saveAs->data().toString();
    EXPECT_TRUE(temporary.startsWith(TVXAttachmentFolder::shared().path()));
    QFile copy(temporary);
    ASSERT_TRUE(copy.open(QIODevice::ReadOnly));
    EXPECT_EQ(copy.readAll(), contents);
    copy.close();

    // Saved under a name typed without its extension: ".pdf" is added.
    tvxtest::ModalScript modal;
    modal.then(choose(files.filePath("my statement")));
    saveAs->trigger();
    EXPECT_EQ(modal.windows(), QStringList({"AttachmentSavePanel"}));
    const QString saved = files.filePath("my statement.pdf");
    QFile out(saved);
    ASSERT_TRUE(out.open(QIODevice::ReadOnly));
    EXPECT_EQ(out.readAll(), contents);
    EXPECT_FALSE(QFileInfo::exists(temporary));

    // The saved file is shown in the file manager.
    ASSERT_TRUE(platform::ScriptRunner::shared().waitUntilIdle(5000));
    const auto calls = launcher->executedCalls();
    ASSERT_EQ(calls.size(), 1);
    EXPECT_EQ(calls[0].first(), QStringLiteral("dbus-send"));
    EXPECT_EQ(calls[0].value(7), QStringLiteral("array:string:") +
                                     QString::fromUtf8(QUrl::fromLocalFile(saved).toEncoded()));
    menu->close();
}

TEST_F(AttachmentCommands, CancellingTheSaveStillRemovesTheTemporaryCopy)
{
    attach("abc", "data.csv");
    pane->show();
    pane->showRecord(record);
    QTest::mouseClick(pane->infoView()->rowButton(BMTextTable::kAttachmentRow), Qt::LeftButton);
    QMenu* menu = pane->attachmentMenu();
    ASSERT_NE(menu, nullptr);
    QAction* saveAs = menu->findChild<QAction*>(QStringLiteral("SaveAs"));
    const QString temporary = saveAs->data().toString();
    {
        tvxtest::ModalScript modal; // cancelled
        saveAs->trigger();
    }
    EXPECT_FALSE(QFileInfo::exists(temporary));
}

TEST_F(AttachmentCommands, MailAsksAndHandsTheFileToTheMailClient)
{
    tvxtest::AlertRecorder alerts; // "No"
    controller->attachmentCommands().askForSendingMailWithAttachment(files.filePath("Attached_Records.qvx"));
    ASSERT_EQ(alerts.alerts().size(), 1u);
    EXPECT_EQ(alerts.lastTitle(), QStringLiteral("Send Mail"));
    EXPECT_EQ(alerts.lastMessage(), QStringLiteral("Do you want to mail the exported file ?"));
    ASSERT_TRUE(platform::ScriptRunner::shared().waitUntilIdle(5000));
    EXPECT_TRUE(launcher->detachedCalls().isEmpty());

    alerts.answerNext(platform::kAlertAlternateReturn);
    controller->attachmentCommands().askForSendingMailWithAttachment(files.filePath("Attached_Records.qvx"));
    ASSERT_TRUE(platform::ScriptRunner::shared().waitUntilIdle(5000));
    ASSERT_EQ(launcher->detachedCalls().size(), 1);
    EXPECT_EQ(launcher->detachedCalls()[0],
              QStringList({"xdg-email", "--attach", files.filePath("Attached_Records.qvx")}));
    EXPECT_EQ(lastEvent(alice).value(QStringLiteral("Event")), QStringLiteral("Email Record"));
}

TEST_F(AttachmentCommands, WebLogInOpensTheAddressOnceAtATime)
{
    launcher->hold = true; // the first hand-over is still running
    platform::Pasteboard::generalPasteboard().setString(QStringLiteral("before"));
    controller->attachmentCommands().webLogin();
    controller->attachmentCommands().webLogin();
    launcher->release();
    ASSERT_TRUE(platform::ScriptRunner::shared().waitUntilIdle(5000));
    ASSERT_EQ(launcher->detachedCalls().size(), 1);
    EXPECT_EQ(launcher->detachedCalls()[0], QStringList({"xdg-open", "http://www.bank.example"}));
    EXPECT_EQ(platform::Pasteboard::generalPasteboard().string(), QStringLiteral("s3cret"));

    // Anything but a web address is never handed over.
    for (const char* address : {"file:///etc/passwd", "/usr/bin/xterm", "javascript:alert(1)", "-x"}) {
        record->setMValue4(QString::fromLatin1(address));
        controller->attachmentCommands().webLogin();
    }
    ASSERT_TRUE(platform::ScriptRunner::shared().waitUntilIdle(5000));
    EXPECT_EQ(launcher->detachedCalls().size(), 1);

    record->setMValue4(QStringLiteral("https://secure.example/login"));
    controller->attachmentCommands().webLogin();
    ASSERT_TRUE(platform::ScriptRunner::shared().waitUntilIdle(5000));
    ASSERT_EQ(launcher->detachedCalls().size(), 2);
    EXPECT_EQ(launcher->detachedCalls()[1], QStringList({"xdg-open", "https://secure.example/login"}));

    // No launcher: the user is told, not left with only a copied password.
    tvxtest::AlertRecorder alerts;
    launcher->missing = true;
    controller->attachmentCommands().webLogin();
    ASSERT_TRUE(platform::ScriptRunner::shared().waitUntilIdle(5000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !alerts.alerts().empty(); }, 5000));
    EXPECT_TRUE(alerts.lastMessage().startsWith("No web browser could be opened for https://secure.example/login"))
        << alerts.lastMessage().toStdString();
    EXPECT_FALSE(alerts.lastMessage().contains("s3cret"));
}

TEST_F(AttachmentCommands, PrintingARecordNeedsThePrintPermission)
{
    QTemporaryDir out;
    int printed = 0;
    bool dialogOnWhilePrinting = false;
    auto previous = setPrintPresenter([&](const BMPrintDocument& document, QWidget*) {
        dialogOnWhilePrinting = controller->attachmentCommands().isPrintDialogOn();
        QPdfWriter writer(out.filePath("record.pdf"));
        writer.setResolution(96);
        printed = printDocument(writer, document);
        return printed > 0;
    });
    alice.caches().mCurrentUser()->setMDataPermissionsBit(kDataPermissionPrint);
    controller->attachmentCommands().printRecord();
    EXPECT_EQ(printed, 1);
    EXPECT_TRUE(dialogOnWhilePrinting);
    EXPECT_FALSE(controller->attachmentCommands().isPrintDialogOn());
    EXPECT_GT(QFileInfo(out.filePath("record.pdf")).size(), 0);

    printed = 0;
    alice.caches().mCurrentUser()->setMDataPermissionsBit(0);
    tvxtest::AlertRecorder alerts;
    controller->attachmentCommands().printRecord();
    EXPECT_EQ(printed, 0);
    EXPECT_EQ(alerts.lastMessage(), QStringLiteral(" You don't have sufficient access permissions."));
    setPrintPresenter(previous);
}

} // namespace

namespace {

// The main window as the pane's double click sees it; the sheet is played
// by `sheet`, which may change the record and the operation.
class SheetDelegate : public BMDetailsViewDelegate {
public:
    QMenu* extendMenu(QContextMenuEvent*, BMDetailsView*) override { return nullptr; }
    void deleteSelected() override { ++deletes; }
    void showStoredChanges() override { ++tableUpdates; }
    std::shared_ptr<TVXRecord> itemPropertiesForTableViewSelectedRow() override { return selected; }
    bool checkForRecordPermissionFor(uint16_t, const BMGroup*) override { return true; }
    std::shared_ptr<TVXRecord> runDetailsSheet(const std::shared_ptr<TVXRecord>& r, int& operation) override
    {
        return sheet(r, operation);
    }
    std::function<std::shared_ptr<TVXRecord>(const std::shared_ptr<TVXRecord>&, int&)> sheet;
    std::shared_ptr<TVXRecord> selected;
    int deletes = 0;
    int tableUpdates = 0;
};

using PaneEditing = AttachmentCommands;

TEST_F(PaneEditing, EditedValuesReachTheServer)
{
    SheetDelegate delegate;
    delegate.selected = record;
    delegate.sheet = [](const std::shared_ptr<TVXRecord>& r, int& operation) {
        EXPECT_EQ(operation, 1);
        r->setMValue3(QStringLiteral("n3w-secret"));
        return r;
    };
    EXPECT_EQ(editRecordFromDetailsPane(delegate, alice), kTVXDone);
    EXPECT_EQ(delegate.tableUpdates, 1);
    ASSERT_EQ(logInAndLoad(bob, "bob", "bob-pw"), kTVXDone);
    ASSERT_TRUE(bob.caches().mRecords().contains(record->mRecordUID()));
    EXPECT_EQ(bob.caches().mRecords().value(record->mRecordUID())->mValue3(), QStringLiteral("n3w-secret"));
}

TEST_F(PaneEditing, ARecordDeletedMeanwhileAsksForAReload)
{
    ASSERT_EQ(logInAndLoad(bob, "bob", "bob-pw"), kTVXDone);
    ASSERT_EQ(bob.deleteRecord(bob.caches().mRecords().value(record->mRecordUID())), kTVXDone);
    SheetDelegate delegate;
    delegate.selected = record;
    delegate.sheet = [](const std::shared_ptr<TVXRecord>& r, int&) { return r; };
    tvxtest::AlertRecorder alerts;
    EXPECT_EQ(editRecordFromDetailsPane(delegate, alice), kTVXReloadFirst);
    EXPECT_EQ(alerts.lastMessage(), QStringLiteral("Operation failed. Please reload the database first."));
    EXPECT_EQ(delegate.tableUpdates, 1);
}

TEST_F(PaneEditing, ADuplicateSharesTheStoredAttachment)
{
    const QByteArray contents("attached bytes");
    attach(contents, "card.txt");
    ASSERT_TRUE(record->mHasAttachment());
    std::shared_ptr<TVXRecord> duplicate;
    SheetDelegate delegate;
    delegate.selected = record;
    delegate.sheet = [&](const std::shared_ptr<TVXRecord>& r, int& operation) {
        duplicate = TVXRecord::copyRecord(*r);
        duplicate->setMValue1(QStringLiteral("Bank Copy"));
        operation = 2;
        return duplicate;
    };
    EXPECT_EQ(editRecordFromDetailsPane(delegate, alice), kTVXDone);
    ASSERT_NE(duplicate, nullptr);
    EXPECT_EQ(rowCount("RECORDTABLE", duplicate->mRecordUID()), 1);
    EXPECT_EQ(rowCount("ATTACHMENTTABLE", duplicate->mRecordUID()), 1);
    TVXResult code = resultOfNumber(-1); // not set by the call
    EXPECT_EQ(alice.attachments().extractAttachmentDataForRecord(*duplicate, &code), contents);
    // The original keeps its own.
    EXPECT_EQ(alice.attachments().extractAttachmentDataForRecord(*record, &code), contents);
}

} // namespace
