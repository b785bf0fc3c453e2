// The import, export and backup commands against the real store, the file
// paths chosen by the test instead of a file panel.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QRadioButton>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>

#include "app/BMController.h"
#include "app/exchange/BMExchangeHooks.h"
#include "app/exchange/BMExchangeProgressPanel.h"
#include "app/exchange/BMExportOptionsView.h"
#include "model/BMGroup.h"
#include "model/TVXRecord.h"
#include "model/TVXType.h"
#include "store/TVXDataBase.h"
#include "support/StoreSeed.h"
#include "support/TestStore.h"
#include "support/UiTestSupport.h"

using namespace teststore;
using tvxtest::AlertRecorder;
using tvxtest::ModalScript;

namespace {

const QString G1 = QStringLiteral("00000000000000A1");
const QString GTarget = QStringLiteral("00000000000000B7");
const QString T1 = QStringLiteral("00000000000000C1");
const QByteArray kFileBytes("attached \x01\x02 contents, not a multiple of the block");

class ExchangeCommandsStore : public StoreTest {
protected:
    void SetUp() override
    {
        StoreTest::SetUp();
        ASSERT_TRUE(files.isValid());
        rootExec(QStringLiteral("UPDATE tolvanexdb.USERTABLE SET DATAPERMISSION=15 WHERE USERID='%1'").arg(aliceID));
        StoreSeed seed(kMasterPassword);
        seed.group(G1, "Finance", 7, true);
        seed.group(GTarget, "Imported here", 7, true);
        seed.type(T1, "Web log-in", 12, 0b100, {"URL", "User", "Password"});
        seed.member(aliceID, G1);
        seed.member(aliceID, GTarget);
        ASSERT_EQ(logInAndLoad(db), kTVXDone);
        addRecord({"bank", "alice", "pw, with \"quotes\""});
        addRecord({"mail", "bob", "p2"});
        const QString attachment = files.filePath("scan.bin");
        QFile out(attachment);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(kFileBytes);
        out.close();
        addRecord({"with file", "carol", "p3"}, attachment);

        controller = std::make_unique<BMController>(&db);
        BMExchangeHooks hooks;
        if (!realFilePanel)
            hooks.chooseFile = [this](const BMFilePanelRequest& request) {
                if (auto* options = static_cast<BMExportOptionsView*>(request.accessory); options && scopeRow >= 0)
                    options->rowButton(scopeRow)->click();
                return chosenPath;
            };
        hooks.selectedGroup = [this] { return db.caches().mGroups().value(selectedGroupUID); };
        hooks.recordsForExporting = [this](bool listed) {
            auto records = recordsOf(G1);
            return listed ? records : BMExchangeHooks::RecordList{records.constFirst()};
        };
        hooks.recordsToBackUp = [this] { return recordsOf(G1); };
        hooks.deleteBackedUpGroup = [this] { deleteResult = db.deleteGroup(*db.caches().mGroups().value(G1)); };
        hooks.refreshAfterImport = [this] { ++refreshes; };
        hooks.offerMail = [this](const QString& path) { mailed << path; };
        controller->importExport().setExchangeHooks(hooks);
    }

    void addRecord(const QStringList& values, const QString& attachment = QString())
    {
        auto record = TVXRecord::createRecord();
        record->setMGroup(db.caches().mGroups().value(G1));
        record->setMType(db.caches().mTypes().value(T1));
        for (int i = 0; i < values.size(); ++i)
            record->setValueAtIndex(i, values[i]);
        record->setMValue10(TVXRecord::modificationDateText(QDateTime(QDate(2022, 3, 4), QTime(9, 30))));
        if (!attachment.isEmpty()) {
            record->setMHasAttachment(true);
            record->setMAttachmentName("scan.bin");
            record->setMAttachmentPath(attachment);
        }
        ASSERT_EQ(db.addRecord(record), kTVXDone);
    }

    BMExchangeHooks::RecordList recordsOf(const QString& groupUID) const
    {
        return db.caches().itemsOfGroup(db.caches().mGroups().value(groupUID).get(), nullptr, QString(), 3, true);
    }
    QStringList firstValuesIn(const QString& groupUID) const
    {
        QStringList names;
        for (const auto& record : recordsOf(groupUID))
            names << record->mValue1();
        return names;
    }
    // The export password sheet, answered with the password twice.
    void answerExportPassword(ModalScript& script, const QString& password)
    {
        script.then([this, password](QWidget* panel) {
            EXPECT_EQ(panel, controller->importExport().exportPasswordPanel());
            panel->findChild<QLineEdit*>("mqvxExportNewPasswordField")->setText(password);
            panel->findChild<QLineEdit*>("mqvxExportConfirmPasswordField")->setText(password);
            return controller->importExport().qvxExportpasswordPanelOK() ? platform::kModalRunStopped : platform::kModalRunAborted;
        });
    }

    bool realFilePanel = false; // set by a test's constructor: the desktop's file panel runs
    QTemporaryDir files;
    TVXDataBase db;
    std::unique_ptr<BMController> controller;
    QString chosenPath;
    int scopeRow = -1;
    QString selectedGroupUID = G1;
    TVXResult deleteResult = resultOfNumber(-1); // not deleted
    int refreshes = 0;
    QStringList mailed;
};

// While it lives, `answer` is called once for each file panel that opens, as
// a user would meet it, and must close it.
class FilePanelUser {
public:
    explicit FilePanelUser(std::function<void(QFileDialog*)> answer) : mAnswer(std::move(answer))
    {
        mTimer.setInterval(10);
        QObject::connect(&mTimer, &QTimer::timeout, [this] {
            auto* panel = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            if (!panel || panel == mHandled)
                return;
            mHandled = panel;
            mAnswer(panel);
        });
        mTimer.start();
    }

private:
    std::function<void(QFileDialog*)> mAnswer;
    QPointer<QFileDialog> mHandled;
    QTimer mTimer;
};

class ExportFilePanel : public ExchangeCommandsStore {
protected:
    ExportFilePanel() { realFilePanel = true; }

    static void closePanel(QFileDialog* panel, bool accept)
    {
        QTimer::singleShot(0, panel, [panel, accept] {
            auto* dialog = static_cast<QDialog*>(panel); // QFileDialog hides accept()
            accept ? dialog->accept() : dialog->reject();
        });
    }
};

} // namespace

TEST_F(ExportFilePanel, EveryPanelOffersTheScopeAndKeepsTheLastChoice)
{
    tvxtest::RealRuns real;
    ModalScript progress; // the export's progress panel
    AlertRecorder alerts;
    auto* options = static_cast<BMExportOptionsView*>(controller->importExport().exportOptionsView());
    const QString path = files.filePath("all.csv");
    QList<bool> offered;
    QList<int> preselected;
    int panels = 0;
    FilePanelUser user([&](QFileDialog* panel) {
        ++panels;
        offered << (options->isVisible() && options->rowButton(0)->isVisible());
        preselected << options->selectedRow();
        if (panels == 2) {
            // All records this time, written to a file of its own.
            options->rowButton(0)->click();
            panel->selectFile(path);
        }
        closePanel(panel, panels == 2);
    });
    controller->importExport().exportSelectedFile(1072); // cancelled
    controller->importExport().exportSelectedFile(1072); // all records
    controller->importExport().exportSelectedFile(1072); // the choice is kept

    ASSERT_EQ(panels, 3);
    EXPECT_EQ(offered, QList<bool>({true, true, true}));
    EXPECT_EQ(preselected, QList<int>({2, 2, 0}));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    int records = 0;
    for (const QByteArray& line : file.readAll().split('\r'))
        records += line.startsWith("Web log-in,") ? 1 : 0;
    EXPECT_EQ(records, 3) << "every record of the group, not the one selected";
}

TEST_F(ExportFilePanel, WithNothingSelectedTheScopeIsAllRecordsAndAFewTabsAway)
{
    BMExchangeHooks nothingSelected;
    nothingSelected.recordsForExporting = [this](bool listed) {
        return listed ? recordsOf(G1) : BMExchangeHooks::RecordList{};
    };
    controller->importExport().setExchangeHooks(nothingSelected);
    tvxtest::RealRuns real;
    auto* options = static_cast<BMExportOptionsView*>(controller->importExport().exportOptionsView());
    options->selectRow(2); // the selected records were the last choice
    int preselected = -1;
    int tabs = -1;
    FilePanelUser user([&](QFileDialog* panel) {
        preselected = options->selectedRow();
        panel->activateWindow();
        (void)QTest::qWaitForWindowActive(panel);
        for (int i = 1; i <= 20 && tabs < 0; ++i) {
            QWidget* focus = QApplication::focusWidget() ? QApplication::focusWidget() : panel;
            QTest::keyClick(focus, Qt::Key_Tab);
            if (QApplication::focusWidget() && options->isAncestorOf(QApplication::focusWidget()))
                tabs = i;
        }
        closePanel(panel, false);
    });
    controller->importExport().exportSelectedFile(1072);
    EXPECT_EQ(preselected, 0);
    EXPECT_GE(tabs, 1);
    EXPECT_LE(tabs, 3) << "the scope is reached from the file name in a few Tabs";
}

TEST_F(ExchangeCommandsStore, EncryptedExportWithAttachmentsComesBackInAnotherGroup)
{
    ModalScript script;
    AlertRecorder alerts;
    scopeRow = 0; // all records
    chosenPath = files.filePath("Records");
    answerExportPassword(script, "Secret-1");
    controller->importExport().exportSelectedFile(1070);
    EXPECT_TRUE(alerts.alerts().empty()) << alerts.lastMessage().toStdString();
    // Version 4 with its side files: a folder holding the file of its own name.
    const QString folder = files.filePath("Records.qvx");
    ASSERT_TRUE(QFileInfo(folder).isDir());
    ASSERT_TRUE(QFileInfo(QDir(folder).filePath("Records.qvx")).isFile());
    EXPECT_EQ(mailed, QStringList{folder});

    // Import the folder into the other group: a wrong password first.
    selectedGroupUID = GTarget;
    chosenPath = folder;
    script.then([this](QWidget* panel) {
        auto* field = panel->findChild<QLineEdit*>("mqvxImportPasswordField");
        field->setText("wrong");
        EXPECT_FALSE(controller->importExport().qvxImportpasswordPanelOK());
        field->setText("Secret-1");
        return controller->importExport().qvxImportpasswordPanelOK() ? platform::kModalRunStopped : platform::kModalRunAborted;
    });
    controller->importExport().importSelectedFile(1060);
    ASSERT_EQ(alerts.messages().size(), 2);
    EXPECT_EQ(alerts.messages().at(0), "That is not the correct password for this import file.");
    EXPECT_TRUE(alerts.messages().at(1).startsWith("The import is complete.\nRecords read: 3\nRecords imported: 3\n"))
        << alerts.messages().at(1).toStdString();
    EXPECT_EQ(refreshes, 1);

    // What another client of the store finds there.
    TVXDataBase reader;
    ASSERT_EQ(logInAndLoad(reader), kTVXDone);
    QStringList names;
    std::shared_ptr<TVXRecord> withFile;
    for (const auto& record : reader.caches().mRecords())
        if (record->mGroup() && record->mGroup()->mGroupUID() == GTarget) {
            names << record->mValue1();
            if (record->mHasAttachment())
                withFile = record;
        }
    names.sort();
    EXPECT_EQ(names, (QStringList{"bank", "mail", "with file"}));
    ASSERT_TRUE(withFile);
    TVXResult code = resultOfNumber(-1); // not set by the call
    QByteArray contents = reader.attachments().extractAttachmentDataForRecord(*withFile, &code).value_or(QByteArray());
    while (contents.endsWith('\0'))
        contents.chop(1); // side files carry no length
    EXPECT_EQ(contents, kFileBytes);
}

TEST_F(ExchangeCommandsStore, ACancelledImportPasswordImportsNothing)
{
    ModalScript script;
    scopeRow = 1; // the listed records, without attachments: version 3
    chosenPath = files.filePath("Listed.qvx");
    answerExportPassword(script, "ab");
    controller->importExport().exportSelectedFile(1071);
    ASSERT_TRUE(QFileInfo(chosenPath).isFile());

    selectedGroupUID = GTarget;
    script.then([](QWidget*) { return platform::kModalRunAborted; });
    controller->importExport().importSelectedFile(1060);
    EXPECT_TRUE(firstValuesIn(GTarget).isEmpty());
}

TEST_F(ExchangeCommandsStore, ABackupMustBeWholeBeforeTheGroupIsDeleted)
{
    ModalScript script;
    AlertRecorder alerts;
    // A backup that cannot be written leaves the group.
    chosenPath = files.filePath("missing-folder/Backup");
    answerExportPassword(script, "Secret-1");
    controller->importExport().backupRecords();
    EXPECT_EQ(alerts.lastMessage(), "Export failed. The file could not be created.");
    EXPECT_EQ(deleteResult, resultOfNumber(-1));
    EXPECT_EQ(rootQueryValue(QStringLiteral("SELECT COUNT(*) FROM tolvanexdb.GROUPTABLE WHERE UID='%1'").arg(G1)), "1");

    chosenPath = files.filePath("Backup");
    answerExportPassword(script, "Secret-1");
    controller->importExport().backupRecords();
    EXPECT_EQ(deleteResult, kTVXDone);
    EXPECT_TRUE(QFileInfo(files.filePath("Backup.qvx/Backup.qvx")).isFile()); // with the attachment
    EXPECT_TRUE(mailed.isEmpty()); // a backup is not offered for mail
    EXPECT_EQ(rootQueryValue(QStringLiteral("SELECT COUNT(*) FROM tolvanexdb.GROUPTABLE WHERE UID='%1'").arg(G1)), "0");

    // Restoring it puts the records into the chosen group.
    selectedGroupUID = GTarget;
    chosenPath = files.filePath("Backup.qvx");
    alerts.answerNext(platform::kAlertAlternateReturn); // Yes
    script.then([this](QWidget* panel) {
        panel->findChild<QLineEdit*>("mqvxImportPasswordField")->setText("Secret-1");
        return controller->importExport().qvxImportpasswordPanelOK() ? platform::kModalRunStopped : platform::kModalRunAborted;
    });
    controller->importExport().importSelectedFile(109);
    EXPECT_EQ(firstValuesIn(GTarget), (QStringList{"bank", "mail", "with file"}));
}

TEST_F(ExchangeCommandsStore, CSVOfTheSelectedRecordImportsWithoutPassword)
{
    ModalScript script;
    AlertRecorder alerts;
    chosenPath = files.filePath("Selected");
    controller->importExport().exportSelectedFile(1072); // the selected record: "bank"
    const QString file = files.filePath("Selected.csv");
    ASSERT_TRUE(QFileInfo(file).isFile());
    EXPECT_EQ(mailed, QStringList{file});

    selectedGroupUID = GTarget;
    chosenPath = file;
    controller->importExport().importSelectedFile(1061);
    // The user is told what arrived.
    ASSERT_EQ(alerts.alerts().size(), 1u);
    EXPECT_TRUE(alerts.lastMessage().startsWith("The import is complete.\nRecords read: 1\nRecords imported: 1\n"))
        << alerts.lastMessage().toStdString();
    EXPECT_EQ(firstValuesIn(GTarget), QStringList{"bank"});
    EXPECT_EQ(recordsOf(GTarget).constFirst()->mValue3(), "pw, with \"quotes\"");
}

TEST_F(ExchangeCommandsStore, ALargeImportCountsItsRecordsAndStopsOnRequestSayingWhatWasStored)
{
    const QString file = files.filePath("large.csv");
    {
        QFile out(file);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        QByteArray text = "Tolvanex Export File\r";
        for (int i = 0; i < 20000; ++i)
            text += "Web log-in,host " + QByteArray::number(i) + ",user,pw,,,,,,,\"May 07,2009\",n,G\r";
        out.write(text);
    }
    selectedGroupUID = GTarget;
    chosenPath = file;
    ModalScript script;
    AlertRecorder alerts;
    QString counted;
    script.then([&](QWidget* panel) {
        auto* progress = qobject_cast<BMExchangeProgressPanel*>(panel);
        EXPECT_NE(progress, nullptr);
        if (!progress)
            return platform::kModalRunStopped;
        const QRegularExpression count(QStringLiteral("Importing Data\\.\\.\\. [1-9][0-9,.]* records"));
        EXPECT_TRUE(QTest::qWaitFor([&] { return count.match(progress->text()).hasMatch(); }, 20000));
        counted = progress->text();
        EXPECT_TRUE(progress->stopButton()->isVisibleTo(progress));
        progress->stopButton()->click();
        return platform::kModalRunStopped;
    });
    controller->importExport().importSelectedFile(1061);
    EXPECT_FALSE(counted.isEmpty());
    ASSERT_EQ(alerts.alerts().size(), 1u);
    const QString report = alerts.lastMessage();
    EXPECT_TRUE(report.startsWith("The import was stopped.")) << report.toStdString();
    const QRegularExpression imported(QStringLiteral("Records imported: (\\d+)"));
    const auto match = imported.match(report);
    ASSERT_TRUE(match.hasMatch()) << report.toStdString();
    const int stored = match.captured(1).toInt();
    EXPECT_GT(stored, 0);
    EXPECT_LT(stored, 20000);
    EXPECT_EQ(rootQueryValue(QString("SELECT COUNT(*) FROM tolvanexdb.RECORDTABLE WHERE GROUPUID='%1'").arg(GTarget)),
              QString::number(stored));
}

TEST_F(ExchangeCommandsStore, MailedRecordsAreWrittenToAPrivateFolder)
{
    controller->importExport().mailItems();
    ASSERT_EQ(mailed.size(), 1);
    const QFileInfo written(mailed.constFirst());
    EXPECT_TRUE(written.isFile());
    EXPECT_EQ(written.fileName(), "Attached_Records.qvx");
    const QFileInfo folder(written.absolutePath());
    EXPECT_EQ(folder.permissions() & (QFile::ReadGroup | QFile::ReadOther | QFile::WriteOther), 0);
    QDir(folder.absoluteFilePath()).removeRecursively();
}
