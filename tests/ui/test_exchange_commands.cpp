// The import and export commands' rules and refusals, without a server.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLineEdit>
#include <QTest>
#include <QRadioButton>
#include <QFile>
#include <QTemporaryDir>

#include <sys/stat.h>

#include "app/BMController.h"
#include "app/exchange/BMExchangeHooks.h"
#include "app/exchange/BMExportOptionsView.h"
#include "app/exchange/ExchangeRules.h"
#include "exchange/CExportDelegate.h"
#include "exchange/TVXqVXImportDelegate.h"
#include "model/BMGroup.h"
#include "model/TVXUser.h"
#include "store/TVXDataBase.h"
#include "support/UiTestSupport.h"

using namespace exchange;
using tvxtest::AlertRecorder;
using tvxtest::ModalScript;

namespace {

TEST(ExchangeRules, ScopeRowsKindsAndExtensions)
{
    EXPECT_EQ(scopeCodeForRow(kRowAllRecords), kScopeAll);
    EXPECT_EQ(scopeCodeForRow(kRowListedRecords), kScopeListed);
    EXPECT_EQ(scopeCodeForRow(kRowSelectedRecords), kScopeSelected);

    EXPECT_EQ(exportKind(kScopeAll, eFileQVXv1, true), eFileQVXv4);
    EXPECT_EQ(exportKind(kScopeSelected, eFileQVXv1, false), eFileQVXv3);
    // The hidden box of 1071 never asks for version 4; the backup writes what it asks for.
    EXPECT_EQ(exportKind(kScopeListed, eFileQVXv3, false), eFileQVXv3);
    EXPECT_EQ(exportKind(kScopeBackup, eFileQVXv3, true), eFileQVXv3);
    EXPECT_EQ(exportKind(kScopeBackup, eFileQVXv4, false), eFileQVXv4);

    EXPECT_EQ(withExtension("/x/Records", "qvx"), "/x/Records.qvx");
    EXPECT_EQ(withExtension("/x/Records.QVX", "qvx"), "/x/Records.QVX");
    EXPECT_EQ(withExtension(QString(), "qvx"), QString());
}

TEST(ExchangeRules, ExportPasswordsNeedTwoDifferentCharacters)
{
    EXPECT_FALSE(isValidExportPassword(""));
    EXPECT_FALSE(isValidExportPassword("a"));
    EXPECT_FALSE(isValidExportPassword("aaaa"));
    EXPECT_TRUE(isValidExportPassword("ab"));
    EXPECT_TRUE(isValidExportPassword("aab"));
}

TEST(ExchangeRules, SummariesSayWhatWasLost)
{
    TVXImportSummary imported;
    imported.recordsInFile = imported.recordsImported = 4;
    imported.typesAdded = 1;
    // A complete import shows its counts too.
    EXPECT_EQ(importSummaryText(imported).split('\n').mid(0, 4),
              QStringList({"The import is complete.", "Records read: 4", "Records imported: 4", "Records refused: 0"}));
    EXPECT_TRUE(importSummaryText(imported).contains("Types added: 1"));
    imported.recordsImported = 2;
    imported.failedValueTooLong = 1;
    imported.failedNotStored = 1;
    imported.attachmentsMissing = 1;
    const QString text = importSummaryText(imported);
    EXPECT_TRUE(text.startsWith("Not everything could be imported.\nRecords read: 4\nRecords imported: 2\n"
                                "Records refused: 2\n"))
        << text.toStdString();
    EXPECT_TRUE(text.contains("  a value or note too long: 1\n"));
    EXPECT_TRUE(text.contains("  refused by the server: 1\n"));
    EXPECT_TRUE(text.contains("  no type given for them: 0\n"));
    EXPECT_TRUE(text.contains("Records imported without their attachment, the file missing: 1\n"));

    // Every record stored, but a line carried fields no record takes: a loss all the same.
    TVXImportSummary surplus;
    surplus.recordsInFile = surplus.recordsImported = 2;
    surplus.linesWithSurplusFields = 1;
    const QString surplusText = importSummaryText(surplus);
    EXPECT_TRUE(surplusText.startsWith("Not everything could be imported.")) << surplusText.toStdString();
    EXPECT_TRUE(surplusText.contains("(the extra fields dropped): 1")) << surplusText.toStdString();

    TVXImportSummary wrong;
    wrong.fileError = kImportErrorWrongPassword;
    EXPECT_EQ(importSummaryText(wrong), "That is not the correct password for this import file.");
    TVXImportSummary huge;
    huge.fileError = kImportErrorFileTooLarge;
    EXPECT_EQ(importSummaryText(huge),
              "Import failed. The file is larger than 512 MB, more than an export file holds; it was not read.");

    TVXExportSummary exported;
    exported.recordsInScope = exported.recordsExported = 3;
    exported.path = "/x/R.qvx";
    EXPECT_TRUE(exportSummaryText(exported).isEmpty());
    exported.firstError = kExportErrorAttachment;
    exported.attachmentsFailed = 1;
    EXPECT_EQ(exportSummaryText(exported), "3 of 3 records were exported.\n1 attachments could not be read from the server.");
    TVXExportSummary leftOut;
    leftOut.recordsInScope = 3;
    leftOut.recordsExported = 2;
    leftOut.notesTooLong = 1;
    leftOut.firstError = kExportErrorNoteTooLong;
    leftOut.path = "/x/R.csv";
    EXPECT_EQ(exportSummaryText(leftOut), "2 of 3 records were exported.\n1 records were left out: their note is "
                                          "longer than 4000 bytes, more than an import takes.");
    TVXExportSummary none;
    none.firstError = kExportErrorCreateFile;
    EXPECT_EQ(exportSummaryText(none), "Export failed. The file could not be created.");
}

// The commands over a manager without a server, the user set by hand.
class ExchangeCommands : public ::testing::Test {
protected:
    void SetUp() override
    {
        db.caches().mCurrentUser()->setMUserID("00000000000000E1");
        db.caches().mCurrentUser()->setMDataPermissionsBit(0);
        shared = BMGroup::newGroup();
        shared->setMGroupName("Finance");
        personal = std::make_shared<BMGroup>();
        personal->setMGroupUID("00000000000000E1");
        personal->setMGroupName("Personal-me");
        controller = std::make_unique<BMController>(&db);
        BMExchangeHooks hooks;
        hooks.chooseFile = [this](const BMFilePanelRequest& request) {
            ++panels;
            lastRequest = request;
            if (request.accessory)
                allRowEnabled = static_cast<BMExportOptionsView*>(request.accessory)->rowButton(0)->isEnabled();
            return chosenPath;
        };
        hooks.selectedGroup = [this] { return selected; };
        hooks.recordsForExporting = [](bool) { return BMExchangeHooks::RecordList(); };
        hooks.recordsToBackUp = [] { return BMExchangeHooks::RecordList(); };
        hooks.deleteBackedUpGroup = [this] { ++deletions; };
        hooks.refreshAfterImport = [this] { ++refreshes; };
        hooks.offerMail = [this](const QString&) { ++mails; };
        controller->importExport().setExchangeHooks(hooks);
    }

    TVXDataBase db;
    std::unique_ptr<BMController> controller;
    std::shared_ptr<BMGroup> shared;
    std::shared_ptr<BMGroup> personal;
    std::shared_ptr<BMGroup> selected;
    QString chosenPath;
    BMFilePanelRequest lastRequest;
    bool allRowEnabled = true;
    int panels = 0, deletions = 0, refreshes = 0, mails = 0;
};

TEST_F(ExchangeCommands, WithoutTheExportBitOnlyThePersonalGroupExports)
{
    AlertRecorder alerts;
    selected = shared;
    controller->importExport().exportSelectedFile(kTagExportQVX);
    EXPECT_EQ(alerts.lastMessage(), " You don't have sufficient privileges to export records.");
    EXPECT_EQ(alerts.lastTitle(), "Tolvanex  Enterprise Alert");
    controller->importExport().mailSelectedFile();
    EXPECT_EQ(alerts.lastTitle(), "Tolvanex Enterprise Alert!");
    EXPECT_EQ(panels, 0);

    selected = personal; // its own records: yes, but not all records
    controller->importExport().exportSelectedFile(kTagExportCSV);
    EXPECT_EQ(panels, 1);
    EXPECT_FALSE(allRowEnabled);
    EXPECT_EQ(lastRequest.extension, "csv");
    EXPECT_EQ(alerts.alerts().size(), 2u);

    db.caches().mCurrentUser()->setMDataPermissionsBit(kDataPermissionExportAndMail);
    selected = shared;
    controller->importExport().exportSelectedFile(kTagExportQVX);
    EXPECT_EQ(panels, 2);
    EXPECT_TRUE(allRowEnabled);
}

TEST_F(ExchangeCommands, TheAttachmentsBoxFollowsTheCommand)
{
    db.caches().mCurrentUser()->setMDataPermissionsBit(kDataPermissionExportAndMail);
    selected = shared;
    auto* options = static_cast<BMExportOptionsView*>(controller->importExport().exportOptionsView());
    controller->importExport().exportSelectedFile(kTagExportQVXWithAttachments);
    // No record has an attachment: the box is turned off.
    EXPECT_FALSE(options->attachmentsBox()->isEnabled());
    EXPECT_FALSE(options->attachmentsBox()->isChecked());
    EXPECT_EQ(options->selectedRow(), kRowAllRecords) << "nothing is selected";
    controller->importExport().exportSelectedFile(kTagExportQVX);
    EXPECT_TRUE(options->attachmentsBox()->isHidden());
    controller->importExport().exportSelectedFile(kTagExportCSV);
    EXPECT_FALSE(options->attachmentsBox()->isHidden());
    EXPECT_FALSE(options->attachmentsBox()->isEnabled());
}

TEST_F(ExchangeCommands, ImportRefusalsComeBeforeThePanel)
{
    AlertRecorder alerts;
    controller->importExport().importSelectedFile(kTagImportQVX);
    EXPECT_EQ(alerts.lastMessage(), " You should have atleast one Group to import records.");
    selected = shared;
    controller->importExport().importSelectedFile(kTagImportQVX);
    EXPECT_EQ(alerts.lastMessage(), " You don't have sufficient privileges to import records.");
    EXPECT_EQ(alerts.lastTitle(), "Tolvanex  Enterprise Alert");
    EXPECT_EQ(panels, 0);
    selected = personal;
    controller->importExport().importSelectedFile(kTagImportCSV); // cancelled panel
    EXPECT_EQ(panels, 1);
    EXPECT_EQ(lastRequest.extension, "csv");
    EXPECT_FALSE(lastRequest.save);
    EXPECT_EQ(refreshes, 0);
}

TEST_F(ExchangeCommands, MissingFilesAndRestoreConfirmation)
{
    db.caches().mCurrentUser()->setMDataPermissionsBit(kDataPermissionImport);
    selected = shared;
    AlertRecorder alerts;
    QTemporaryDir dir;
    chosenPath = dir.filePath("nothing-here.qvx");
    controller->importExport().importSelectedFile(kTagImportQVX);
    EXPECT_EQ(alerts.lastMessage(), "Import failed. Invaild import file name.");
    EXPECT_EQ(refreshes, 1);

    controller->importExport().importSelectedFile(kTagRestore); // answered "No", the default
    ASSERT_EQ(alerts.alerts().size(), 2u);
    EXPECT_EQ(alerts.lastMessage(), "This operation will destroy the current contents of the database and restore the "
                                    "selected database.\n Are you sure you want to do this? ");
    EXPECT_EQ(alerts.alerts().back().defaultButton, "No");
    EXPECT_EQ(alerts.alerts().back().alternateButton, "Yes");
}

TEST_F(ExchangeCommands, AFileThatCannotBeReadEndsTheImportWithAnError)
{
    db.caches().mCurrentUser()->setMDataPermissionsBit(kDataPermissionImport);
    selected = shared;
    AlertRecorder alerts;
    QTemporaryDir dir;
    const QString pipe = dir.filePath("pipe.csv");
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    // A folder, a pipe that no one writes to, and a regular file whose read fails.
    const QStringList paths{dir.path(), pipe, QStringLiteral("/proc/self/mem")};
    for (const QString& path : paths) {
        chosenPath = path;
        controller->importExport().importSelectedFile(kTagImportCSV);
        EXPECT_EQ(alerts.lastMessage(), "Import failed. The file cannot be read or is empty.") << path.toStdString();
    }
    chosenPath = QStringLiteral("/proc/self/mem");
    controller->importExport().importSelectedFile(kTagImportQVX);
    EXPECT_EQ(alerts.lastMessage(), "Import failed. The file cannot be read or is empty.");
    chosenPath = pipe;
    controller->importExport().importSelectedFile(kTagImportQVX);
    EXPECT_EQ(alerts.lastMessage(), "Import failed. Invaild import file name.");
    EXPECT_EQ(alerts.alerts().size(), 5u);
    EXPECT_EQ(refreshes, 5);
}

TEST_F(ExchangeCommands, ExportPasswordSheetChecks)
{
    AlertRecorder alerts;
    auto* panel = controller->importExport().exportPasswordPanel();
    auto* first = panel->findChild<QLineEdit*>("mqvxExportNewPasswordField");
    auto* second = panel->findChild<QLineEdit*>("mqvxExportConfirmPasswordField");
    first->setText("abc");
    second->setText("abd");
    EXPECT_FALSE(controller->importExport().qvxExportpasswordPanelOK());
    EXPECT_EQ(alerts.lastMessage(), "Your new password doesn't match the confirm password.");
    first->setText("aa");
    second->setText("aa");
    EXPECT_FALSE(controller->importExport().qvxExportpasswordPanelOK());
    EXPECT_EQ(alerts.lastMessage(), "Password must be atleast 2 characters and have atleast 2 unique characters.");
    first->setText("ab");
    second->setText("ab");
    EXPECT_TRUE(controller->importExport().qvxExportpasswordPanelOK());
    EXPECT_EQ(alerts.alerts().size(), 2u);
}

TEST_F(ExchangeCommands, CancelledBackupsDeleteNothing)
{
    QTemporaryDir dir;
    controller->importExport().backupRecords(); // save panel cancelled
    EXPECT_EQ(deletions, 0);
    chosenPath = dir.filePath("Backup");
    ModalScript script; // the password sheet is cancelled
    controller->importExport().backupRecords();
    EXPECT_EQ(script.windows(), QStringList{"mqvxExportPasswordPanel"});
    EXPECT_EQ(deletions, 0);
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("Backup.qvx")));
}

TEST_F(ExchangeCommands, TheExportPasswordSheetKeepsNoPasswordOnceClosed)
{
    QTemporaryDir dir;
    chosenPath = dir.filePath("Backup");
    ModalScript script;
    script.then([](QWidget* panel) {
        for (const char* name : {"mqvxExportNewPasswordField", "mqvxExportConfirmPasswordField"})
            QTest::keyClicks(panel->findChild<QLineEdit*>(name), "typed-secret");
        return platform::kModalRunAborted;
    });
    controller->importExport().backupRecords();
    ASSERT_EQ(script.windows(), QStringList{"mqvxExportPasswordPanel"});
    for (const char* name : {"mqvxExportNewPasswordField", "mqvxExportConfirmPasswordField"}) {
        auto* field = controller->importExport().exportPasswordPanel()->findChild<QLineEdit*>(name);
        EXPECT_TRUE(field->text().isEmpty()) << name;
        // Undo would bring the typed password back.
        EXPECT_FALSE(field->isUndoAvailable()) << name;
    }
}

} // namespace
