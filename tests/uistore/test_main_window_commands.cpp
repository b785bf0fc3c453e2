// The record commands and the window openers of the main window over a real
// store: they act on what the current view has selected, and what they
// change reaches the server.
#include "MainWindowFixture.h"

#include "app/options/OptionsApplying.h"

#include "app/exchange/BMExchangeHooks.h"
#include "app/lock/BMLockPanel.h"
#include "app/startup/BMLoginPanel.h"
#include "app/BMProgressPanel.h"
#include "app/exchange/ExchangeRules.h"
#include "model/BMGroup.h"
#include "model/TVXRecord.h"
#include "model/TVXType.h"
#include "model/TVXUser.h"
#include "platform/core/NotificationCenter.h"
#include "platform/core/UserDefaults.h"
#include "support/MainWindowSelection.h"
#include "ui/AppctlTestSupport.h"
#include "views/BMTableView.h"
#include "windows/BMCategoryEditWindowController.h"
#include "windows/BMCustomSettingsController.h"
#include "windows/BMDetailsWindowController.h"
#include "windows/BMEventLoggerWindowController.h"
#include "windows/BMGroupSettingsPanel.h"
#include "windows/BMOptionsWindowController.h"
#include "windows/BMTypeSettingsPanel.h"
#include "windows/EventLogTableModel.h"
#include "windows/GroupTypeSettingsRules.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>
#include <QTimer>

#include <cppconn/connection.h>
#include <cppconn/resultset.h>
#include <cppconn/statement.h>

#include <any>
#include <chrono>
#include <thread>

using namespace mainwintest;
using namespace teststore;
using tvxtest::AlertRecorder;
using tvxtest::ModalScript;
using tvxtest::Ticker;

namespace {

class MainWindowCommands : public MainWindowTest {
protected:
    QString recordCount(const QString& recordUID) const
    {
        return serverValue(QString("SELECT COUNT(*) FROM tolvanexdb.RECORDTABLE WHERE RECORDID='%1'").arg(recordUID));
    }
    QString selectedUID() const
    {
        const auto record = controller->tables().itemPropertiesForTableViewSelectedRow();
        return record ? record->mRecordUID() : QString();
    }
    QStringList eventDescriptions(const QString& event) const
    {
        QStringList out;
        for (const auto& entry : db->eventLog().eventLogger().logArrary())
            if (entry.event == event)
                out << entry.description;
        return out;
    }
    // The list's records of these identifiers, in the order a delete takes them: from the last row.
    QList<std::shared_ptr<TVXRecord>> deletionOrder(const QStringList& uids) const
    {
        QList<std::shared_ptr<TVXRecord>> order;
        for (int row = controller->tables().listModel()->rowCount() - 1; row >= 0; --row)
            if (const auto r = controller->tables().listModel()->recordAt(row); r && uids.contains(r->mRecordUID()))
                order << r;
        return order;
    }
    // The record sheet's own answer once its buttons were pressed.
    int sheetEnd() const { return controller->recordCommands().detailsWindowController().requestedEnd().value_or(-1001); }
    // A new run of the application over the same session (the controller deletes its window).
    void startTheApplicationAgain()
    {
        window = nullptr;
        controller.reset();
        controller = std::make_unique<BMController>(db.get());
        window = tvxtest::createMainWindow(*controller);
    }
    // The group or type sheet's OK, then the server's answer: the run's end as the sheet asked for it.
    int sheetOK(bool endedAtOnce) const
    {
        BMCustomSettingsController& sheets = controller->recordCommands().customSettingsController();
        EXPECT_TRUE(QTest::qWaitFor([&] { return !sheets.isSaving(); }, 30000));
        return endedAtOnce ? platform::kModalRunStopped : sheets.requestedEnd().value_or(platform::kModalRunAborted);
    }
};

TEST_F(MainWindowCommands, DeleteRemovesTheListsSelectedRecordsFromTheLastAndSelectsTheRowAbove)
{
    ASSERT_TRUE(tvxtest::selectRecords(*controller, {R2, R1}));
    const int first = qMin(listRowOf(R2), listRowOf(R1));
    ASSERT_GT(first, 0);
    const QString above = controller->tables().listModel()->recordAt(first - 1)->mRecordUID();
    const QString lowerRow = listRowOf(R1) > listRowOf(R2) ? "mail" : "Bank of Nowhere";

    AlertRecorder alerts;
    controller->recordCommands().deleteSelected(); // "No" is the default answer
    EXPECT_EQ(recordCount(R1), "1");
    EXPECT_EQ(recordCount(R2), "1");

    alerts.answerNext(platform::kAlertAlternateReturn);
    controller->recordCommands().deleteSelected();
    ASSERT_TRUE(writesAnswered());
    EXPECT_EQ(recordCount(R1), "0");
    EXPECT_EQ(recordCount(R2), "0");
    EXPECT_EQ(listValue1s().size(), 2);
    EXPECT_EQ(selectedUID(), above);
    // The lower row went first.
    EXPECT_EQ(eventDescriptions("Delete Record").value(0), lowerRow);
}

TEST_F(MainWindowCommands, DeleteInTheColumnAndTreeViewsTakesTheOneRecordShownNeverATypeRow)
{
    AlertRecorder alerts;
    ASSERT_TRUE(tvxtest::selectRecords(*controller, {R5}, kColumnViewTag));
    alerts.answerNext(platform::kAlertAlternateReturn);
    controller->recordCommands().deleteSelected();
    ASSERT_TRUE(writesAnswered());
    EXPECT_EQ(recordCount(R5), "0");

    ASSERT_TRUE(tvxtest::selectRecords(*controller, {R2}, kTreeViewTag));
    QTreeView* outline = window->mTreeViewOutlineView;
    // A type row selected: nothing is deleted.
    outline->selectionModel()->setCurrentIndex(controller->tables().outlineModel()->indexOfRecord(R2).parent(),
                                               QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    alerts.answerNext(platform::kAlertAlternateReturn);
    controller->recordCommands().deleteSelected();
    ASSERT_TRUE(writesAnswered());
    EXPECT_EQ(serverValue("SELECT COUNT(*) FROM tolvanexdb.RECORDTABLE WHERE GROUPUID='00000000000000A1'"), "4");

    ASSERT_TRUE(tvxtest::selectRecords(*controller, {R2}, kTreeViewTag));
    alerts.answerNext(platform::kAlertAlternateReturn);
    controller->recordCommands().deleteSelected();
    ASSERT_TRUE(writesAnswered());
    EXPECT_EQ(recordCount(R2), "0");
    EXPECT_EQ(recordCount(R1), "1");
}

TEST_F(MainWindowCommands, DoubleClickOnATreeTypeRowExpandsItInsteadOfEditing)
{
    ASSERT_TRUE(tvxtest::selectRecords(*controller, {R2}, kTreeViewTag));
    QTreeView* outline = window->mTreeViewOutlineView;
    const QModelIndex typeRow = controller->tables().outlineModel()->indexOfRecord(R2).parent();
    outline->collapse(typeRow);
    outline->selectionModel()->setCurrentIndex(typeRow, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    ModalScript script;
    controller->recordCommands().editItemDoubleAction(outline);
    EXPECT_TRUE(outline->isExpanded(typeRow));
    controller->recordCommands().editItemDoubleAction(outline);
    EXPECT_FALSE(outline->isExpanded(typeRow));
    EXPECT_TRUE(script.windows().isEmpty()); // no record sheet
}

TEST_F(MainWindowCommands, AnEditStoresTheSheetsValuesAndARemovedAttachmentLosesItsStoredRow)
{
    QTemporaryDir dir;
    const QString file = dir.filePath("keys.txt");
    {
        QFile out(file);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write("ssh-key");
    }
    auto record = db->caches().recordWithUID(R5);
    record->setMHasAttachment(true);
    record->setMAttachmentName("keys.txt");
    record->setMAttachmentPath(file);
    record->setMAttachmentState(kAttachmentStateStoreNewFile);
    ASSERT_EQ(db->replaceRecord(record), kTVXDone);
    ASSERT_EQ(serverValue(QString("SELECT COUNT(*) FROM tolvanexdb.ATTACHMENTTABLE WHERE RECORDID='%1'").arg(R5)), "1");

    ASSERT_TRUE(tvxtest::selectRecords(*controller, {R5}));
    AlertRecorder alerts;
    alerts.answerNext(platform::kAlertAlternateReturn); // yes, remove the attachment
    ModalScript script;
    script.then([this](QWidget*) {
        BMDetailsWindowController& sheet = controller->recordCommands().detailsWindowController();
        EXPECT_EQ(sheet.valueField(0)->text(), "db1");
        sheet.valueField(1)->setText("admin");
        sheet.attachmentButton()->click();
        pressOK(sheet);
        return sheetEnd();
    });
    controller->recordCommands().editItemDoubleAction();
    EXPECT_EQ(script.windows(), QStringList{"DetailsWindowController"});

    TVXDataBase other;
    ASSERT_EQ(logInAndLoad(other), kTVXDone);
    const auto seen = other.caches().recordWithUID(R5);
    ASSERT_TRUE(seen);
    EXPECT_EQ(seen->mValue2(), "admin");
    EXPECT_FALSE(seen->mHasAttachment());
    EXPECT_EQ(serverValue(QString("SELECT COUNT(*) FROM tolvanexdb.ATTACHMENTTABLE WHERE RECORDID='%1'").arg(R5)), "0");
}

TEST_F(MainWindowCommands, DuplicateOffersACopyOfTheSelectedRecordAndStoresIt)
{
    ASSERT_TRUE(tvxtest::selectRecords(*controller, {R2}, kColumnViewTag));
    ModalScript script;
    script.then([this](QWidget*) {
        BMDetailsWindowController& sheet = controller->recordCommands().detailsWindowController();
        EXPECT_EQ(sheet.valueField(0)->text(), "Bank of Nowhere Copy");
        pressOK(sheet);
        return sheetEnd();
    });
    controller->recordCommands().duplicateItem();
    EXPECT_EQ(serverValue("SELECT COUNT(*) FROM tolvanexdb.RECORDTABLE WHERE GROUPUID='00000000000000A1'"), "5");
    EXPECT_EQ(eventDescriptions("Duplicate Record"), QStringList{"Bank of Nowhere Copy"});
    controller->tables().changeView(kListViewTag);
    EXPECT_TRUE(listValue1s().contains("Bank of Nowhere Copy"));
}

TEST_F(MainWindowCommands, SelectAllTakesEveryRowOfTheListOnly)
{
    ASSERT_TRUE(tvxtest::selectRecords(*controller, {R1}));
    controller->recordCommands().selectAll();
    EXPECT_EQ(window->mListViewTypesTable->selectionModel()->selectedRows().size(), 4);
    EXPECT_TRUE(window->mDeleteButton->isEnabled());
    EXPECT_FALSE(window->mEditButton->isEnabled()); // several rows: nothing to edit

    ASSERT_TRUE(tvxtest::selectRecords(*controller, {R1}, kColumnViewTag));
    controller->recordCommands().selectAll();
    EXPECT_EQ(window->mColumnViewDescriptionTable->selectionModel()->selectedRows().size(), 1);
}

TEST_F(MainWindowCommands, ExportWritesTheRecordsSelectedInTheCurrentView)
{
    QTemporaryDir dir;
    BMExchangeHooks hooks;
    QString path = dir.filePath("chosen.csv");
    hooks.chooseFile = [&path](const BMFilePanelRequest&) { return path; };
    controller->importExport().setExchangeHooks(hooks);
    const auto exported = [&path] {
        QFile in(path);
        return in.open(QIODevice::ReadOnly) ? QString::fromUtf8(in.readAll()) : QString();
    };

    ASSERT_TRUE(tvxtest::selectRecords(*controller, {R1, R3}));
    AlertRecorder alerts; // no mail
    controller->importExport().exportSelectedFile(exchange::kTagExportCSV);
    QString text = exported();
    EXPECT_TRUE(text.contains("mail"));
    EXPECT_TRUE(text.contains("Admin portal"));
    EXPECT_FALSE(text.contains("Bank of Nowhere"));

    path = dir.filePath("tree.csv");
    ASSERT_TRUE(tvxtest::selectRecords(*controller, {R5}, kTreeViewTag));
    controller->importExport().exportSelectedFile(exchange::kTagExportCSV);
    text = exported();
    EXPECT_TRUE(text.contains("db1"));
    EXPECT_FALSE(text.contains("mail"));
}

TEST_F(MainWindowCommands, TheEventLogOptionsAndUserWindowsOpenFromTheirCommands)
{
    (void)db->eventLog().eventLogger().addLogEvent("Edit Settings", "seen in the viewer", QString(), "alice");
    ModalScript script;
    int logRows = -1;
    script.then([&](QWidget* viewer) {
        logRows = static_cast<BMEventLoggerWindowController*>(viewer)->model()->rowCount();
        return platform::kModalRunStopped;
    });
    controller->recordCommands().eventLogger();
    EXPECT_EQ(logRows, db->eventLog().eventLogger().logArrary().size());
    EXPECT_GT(logRows, 0);

    // The options window takes the list's sorting with it.
    controller->tables().changeView(kListViewTag);
    controller->tables().listModel()->sort(5, Qt::DescendingOrder);
    controller->recordCommands().displayOptionsPanel();
    EXPECT_EQ(serverValue(QString("SELECT COUNT(*) FROM tolvanexdb.APPPREFTABLE WHERE USERID='%1'").arg(aliceID)), "1");
    ASSERT_TRUE(db->caches().getCurrentUser()->mSortingInfo());
    EXPECT_EQ(db->caches().getCurrentUser()->mSortingInfo()->key, "5");
    EXPECT_FALSE(db->caches().getCurrentUser()->mSortingInfo()->ascending);

    controller->recordCommands().displayEditUsersPanel();
    EXPECT_EQ(script.windows(), (QStringList{"EventLoggerWindowController", "OptionsWindowController", "mUsersWindow"}));
}

TEST_F(MainWindowCommands, ARenamedGroupStaysChosenAfterTheGroupEditor)
{
    chooseGroup("Servers");
    ModalScript script;
    script.then([this](QWidget*) {
        BMCategoryEditWindowController& editor = controller->recordCommands().categoryEditController();
        const auto groups = db->caches().groupsForEditing(true);
        for (int row = 0; row < groups.size(); ++row)
            if (groups.at(row)->mGroupUID() == G2)
                editor.selectRow(row);
        editor.editTableEntry();
        return platform::kModalRunStopped;
    });
    script.then([this](QWidget*) {
        controller->recordCommands().customSettingsController().groupSettingsPanel()->mGroupNameField->setText("Hosts");
        return sheetOK(controller->recordCommands().customSettingsController().customGroupSettingsOK());
    });
    controller->recordCommands().displayEditGroupPanel();
    ASSERT_EQ(script.windows().size(), 2);
    ASSERT_TRUE(controller->tables().selectedGroup());
    EXPECT_EQ(controller->tables().selectedGroup()->mGroupUID(), G2);
    EXPECT_EQ(window->mCategoriesPopup->currentText(), "Hosts (1)");
}

TEST_F(MainWindowCommands, BackingUpAGroupBeforeDeletingItExportsItsRecordsThenDeletesIt)
{
    QTemporaryDir dir;
    BMExchangeHooks hooks;
    hooks.chooseFile = [&dir](const BMFilePanelRequest&) { return dir.filePath("servers.qvx"); };
    controller->importExport().setExchangeHooks(hooks);
    chooseGroup("Servers");

    AlertRecorder alerts; // "Backup" is the default answer
    ModalScript script;
    script.then([this](QWidget*) {
        BMCategoryEditWindowController& editor = controller->recordCommands().categoryEditController();
        const auto groups = db->caches().groupsForEditing(true);
        for (int row = 0; row < groups.size(); ++row)
            if (groups.at(row)->mGroupUID() == G2)
                editor.selectRow(row);
        editor.deleteSelectedTableEntry();
        return platform::kModalRunStopped;
    });
    script.then([this](QWidget* panel) {
        EXPECT_EQ(panel, controller->importExport().exportPasswordPanel());
        panel->findChild<QLineEdit*>("mqvxExportNewPasswordField")->setText("backup-pw");
        panel->findChild<QLineEdit*>("mqvxExportConfirmPasswordField")->setText("backup-pw");
        return controller->importExport().qvxExportpasswordPanelOK() ? platform::kModalRunStopped : platform::kModalRunAborted;
    });
    controller->recordCommands().displayEditGroupPanel();
    EXPECT_TRUE(QTest::qWaitFor([this] { return !controller->recordCommands().categoryEditController().isDeleting(); },
                                30000));

    EXPECT_GT(QFileInfo(dir.filePath("servers.qvx")).size(), 0);
    EXPECT_EQ(serverValue(QString("SELECT COUNT(*) FROM tolvanexdb.GROUPTABLE WHERE UID='%1'").arg(G2)), "0");
    EXPECT_EQ(recordCount(R5), "0");
    // The window shows another group now.
    ASSERT_TRUE(controller->tables().selectedGroup());
    EXPECT_NE(controller->tables().selectedGroup()->mGroupUID(), G2);
}

TEST_F(MainWindowCommands, TheRowColourOfTheOptionsReachesTheListsBands)
{
    controller->tables().changeView(kListViewTag);
    db->caches().getCurrentUser()->setMRowColor(QColor(200, 40, 40));
    platform::NotificationCenter::defaultCenter().post(kTolvanPreferenceChangedNotification);
    EXPECT_EQ(controller->tables().listModel()->bandColor(), blendedBandColor(QColor(200, 40, 40)));
}

TEST_F(MainWindowCommands, TheMaskButtonMasksTheListAndThePaneAndIsKept)
{
    BMDetailsView pane(nullptr, db.get());
    tvxtest::showRecordsIn(*controller, pane);
    ASSERT_TRUE(tvxtest::selectRecords(*controller, {R1}));
    QToolButton* mask = window->mUnmaskButton;
    mask->setChecked(false);
    controller->recordCommands().unmask(mask);
    EXPECT_FALSE(pane.shouldMask());
    const QModelIndex password = controller->tables().listModel()->index(listRowOf(R1), 5);
    EXPECT_EQ(password.data().toString(), "s3cret");

    QAction* item = BMMainWindow::menuItemWithTag(window->mViewMenu, kMaskMenuItemTag);
    controller->recordCommands().unmaskFromMenu(item);
    EXPECT_TRUE(mask->isChecked());
    EXPECT_TRUE(pane.shouldMask());
    EXPECT_EQ(item->text(), "Unmask");
    EXPECT_EQ(password.data().toString(), "******");
    EXPECT_TRUE(platform::UserDefaults::value("MaskingStatus").toBool());
}

TEST_F(MainWindowCommands, TheAboutBoxShowsTheVersionFromTheHelpMenu)
{
    QCoreApplication::setApplicationVersion("4.2.1");
    controller->windowSetup().orderFrontAboutPanel();
    QWidget* box = controller->windowSetup().aboutBox();
    ASSERT_NE(box, nullptr);
    EXPECT_TRUE(box->isVisible());
    EXPECT_EQ(box->findChild<QLabel*>("AboutVersion")->text(), "Version 4.2.1");
    box->hide();
    auto* item = window->findChild<QAction*>("AboutItem");
    ASSERT_NE(item, nullptr);
    item->trigger();
    EXPECT_TRUE(box->isVisible());
    box->hide();
    QCoreApplication::setApplicationVersion(QString());
}

} // namespace

namespace {

// The server refuses every write of the kind: a trigger raising an error.
void refuseWrites(const QString& when, const QString& table)
{
    rootExec(QString("CREATE TRIGGER tolvanexdb.refuse_%1 %2 ON tolvanexdb.%1 FOR EACH ROW "
                     "SIGNAL SQLSTATE '45000' SET MESSAGE_TEXT='refused for the test'")
                 .arg(teststore::rowsTable(table), when));
}
void acceptWrites(const QString& table)
{
    rootExec(QString("DROP TRIGGER tolvanexdb.refuse_%1").arg(teststore::rowsTable(table)));
}

} // namespace

TEST_F(MainWindowCommands, ATooLongValueKeepsTheSheetOpenWithItsInputAndStoresNothing)
{
    ASSERT_TRUE(tvxtest::selectRecords(*controller, {R5}));
    AlertRecorder alerts;
    ModalScript script;
    const QString tooLong(250, QLatin1Char('h'));
    script.then([&](QWidget*) {
        BMDetailsWindowController& sheet = controller->recordCommands().detailsWindowController();
        sheet.valueField(0)->setText(tooLong);
        sheet.valueField(1)->setText("admin");
        pressOK(sheet);
        EXPECT_FALSE(sheet.requestedEnd()) << "the sheet stays open";
        EXPECT_EQ(alerts.messages(),
                  QStringList{"The value of \"Host\" is too long to be stored (at most 240 bytes). Please shorten it."});
        EXPECT_EQ(sheet.valueField(0)->text(), tooLong);
        EXPECT_EQ(sheet.valueField(1)->text(), "admin");
        EXPECT_EQ(serverValue(QString("SELECT COUNT(*) FROM tolvanexdb.EVENTLOGGERTABLE WHERE EVENT='Replace Record'")),
                  "0");
        // Shortened, it is stored.
        sheet.valueField(0)->setText("db1.example");
        pressOK(sheet);
        return sheetEnd();
    });
    controller->recordCommands().editItemDoubleAction();
    EXPECT_EQ(alerts.alerts().size(), 1u);
    TVXDataBase other;
    ASSERT_EQ(logInAndLoad(other), kTVXDone);
    EXPECT_EQ(other.caches().recordWithUID(R5)->mValue1(), "db1.example");
    EXPECT_EQ(other.caches().recordWithUID(R5)->mValue2(), "admin");
}

TEST_F(MainWindowCommands, AStoreFailureFromTheSheetIsShownAndTheInputStays)
{
    ASSERT_TRUE(tvxtest::selectRecords(*controller, {R5}));
    refuseWrites("BEFORE UPDATE", "RECORDTABLE");
    AlertRecorder alerts;
    ModalScript script;
    script.then([&](QWidget*) {
        BMDetailsWindowController& sheet = controller->recordCommands().detailsWindowController();
        sheet.valueField(1)->setText("admin");
        sheet.notesView()->setPlainText("moved to rack 4");
        pressOK(sheet);
        EXPECT_FALSE(sheet.requestedEnd()) << "the sheet stays open";
        EXPECT_EQ(alerts.lastMessage(), "Operation failed. Please reload the database first.");
        EXPECT_EQ(sheet.valueField(1)->text(), "admin");
        EXPECT_EQ(sheet.notesView()->toPlainText(), "moved to rack 4");
        acceptWrites("RECORDTABLE");
        pressOK(sheet);
        return sheetEnd();
    });
    controller->recordCommands().editItemDoubleAction();
    EXPECT_EQ(alerts.alerts().size(), 1u);
    TVXDataBase other;
    ASSERT_EQ(logInAndLoad(other), kTVXDone);
    EXPECT_EQ(other.caches().recordWithUID(R5)->mValue2(), "admin");
    EXPECT_EQ(other.caches().recordWithUID(R5)->mNotes(), "moved to rack 4");

    // A new record the server refuses stays in the sheet too.
    refuseWrites("BEFORE INSERT", "RECORDTABLE");
    ModalScript adding;
    adding.then([&](QWidget*) {
        BMDetailsWindowController& sheet = controller->recordCommands().detailsWindowController();
        sheet.valueField(0)->setText("new host");
        pressOK(sheet);
        EXPECT_FALSE(sheet.requestedEnd());
        EXPECT_EQ(sheet.valueField(0)->text(), "new host");
        return platform::kModalRunAborted;
    });
    controller->recordCommands().addItemsToDetail();
    EXPECT_EQ(alerts.alerts().size(), 2u);
    EXPECT_EQ(alerts.lastMessage(), "Operation failed. Please reload the database first.");
}

// Another client changed the record meanwhile: the sheet offers the reload
// itself, keeps what was typed and stores it over the fresh copy; a record
// deleted meanwhile goes in as a new one, and the sheet says so.
TEST_F(MainWindowCommands, AStaleSaveIsMendedFromTheSheetByAReloadThatKeepsTheInput)
{
    TVXDataBase other;
    ASSERT_EQ(logInAndLoad(other), kTVXDone);
    ASSERT_TRUE(tvxtest::selectRecords(*controller, {R5}));
    auto changed = TVXRecord::copyRecord(*other.caches().recordWithUID(R5));
    changed->setMRecordUID(R5);
    changed->setMNotes("changed by the other client");
    ASSERT_EQ(other.replaceRecord(changed), kTVXDone);

    AlertRecorder alerts; // the reload offer is answered with its default, Reload
    ModalScript script;
    const QString typed(200, QLatin1Char('a'));
    script.then([&](QWidget*) {
        BMDetailsWindowController& sheet = controller->recordCommands().detailsWindowController();
        sheet.valueField(1)->setText(typed);
        pressOK(sheet); // stale: the offer, the reload behind the sheet
        EXPECT_FALSE(sheet.requestedEnd()) << "the sheet stays open";
        EXPECT_EQ(sheet.valueField(1)->text(), typed);
        EXPECT_EQ(alerts.messages(), QStringList{"Operation failed. Please reload the database first."});
        if (!alerts.alerts().empty()) {
            EXPECT_EQ(alerts.alerts().front().defaultButton, "Reload");
        }
        pressOK(sheet); // over the fresh copy
        return sheetEnd();
    });
    script.then([](QWidget*) { return platform::kModalRunStopped; }); // the reload's progress panel
    controller->recordCommands().editItemDoubleAction();
    EXPECT_EQ(alerts.alerts().size(), 1u) << alerts.messages().join('\n').toStdString();
    EXPECT_EQ(serverValue(QString("SELECT COUNT(*) FROM tolvanexdb.RECORDTABLE WHERE RECORDID='%1'").arg(R5)), "1");
    TVXDataBase after;
    ASSERT_EQ(logInAndLoad(after), kTVXDone);
    EXPECT_EQ(after.caches().recordWithUID(R5)->mValue2(), typed);

    // Deleted meanwhile.
    ASSERT_TRUE(tvxtest::selectRecords(*controller, {R2}));
    ASSERT_EQ(other.reloadDatabase(), kTVXDone);
    ASSERT_EQ(other.deleteRecord(other.caches().recordWithUID(R2)), kTVXDone);
    ModalScript again;
    again.then([&](QWidget*) {
        BMDetailsWindowController& sheet = controller->recordCommands().detailsWindowController();
        sheet.valueField(0)->setText("Bank of Somewhere");
        pressOK(sheet);
        EXPECT_FALSE(sheet.requestedEnd());
        EXPECT_EQ(alerts.lastMessage(),
                  "This record was deleted by another user meanwhile. OK stores what the sheet shows as a new record.");
        EXPECT_EQ(sheet.valueField(0)->text(), "Bank of Somewhere");
        pressOK(sheet);
        return sheetEnd();
    });
    again.then([](QWidget*) { return platform::kModalRunStopped; });
    controller->recordCommands().editItemDoubleAction();
    EXPECT_EQ(recordCount(R2), "0");
    TVXDataBase last;
    ASSERT_EQ(logInAndLoad(last), kTVXDone);
    int stored = 0;
    for (const auto& record : last.caches().mRecords())
        stored += record->mValue1() == "Bank of Somewhere" ? 1 : 0;
    EXPECT_EQ(stored, 1);
}

// The edit right taken away after this client read it: the server refuses,
// and the sheet says so instead of asking for a reload.
TEST_F(MainWindowCommands, AnEditTheServersRulesRefuseShowsInsufficientPermissionsAndTheInputStays)
{
    ASSERT_TRUE(tvxtest::selectRecords(*controller, {R5}));
    AlertRecorder alerts;
    ModalScript script;
    script.then([&](QWidget*) {
        rootExec(QString("UPDATE tolvanexdb.USERTABLE SET RECORDPERMISSION=1 WHERE USERID='%1'").arg(aliceID));
        BMDetailsWindowController& sheet = controller->recordCommands().detailsWindowController();
        sheet.valueField(1)->setText("admin");
        pressOK(sheet);
        EXPECT_FALSE(sheet.requestedEnd()) << "the sheet stays open";
        EXPECT_EQ(alerts.lastMessage(), "You don't have sufficient access permissions.");
        EXPECT_EQ(sheet.valueField(1)->text(), "admin");
        return platform::kModalRunAborted;
    });
    controller->recordCommands().editItemDoubleAction();
    EXPECT_EQ(alerts.alerts().size(), 1u);
    TVXDataBase other;
    ASSERT_EQ(logInAndLoad(other), kTVXDone);
    EXPECT_EQ(other.caches().recordWithUID(R5)->mValue2(), "postgres");
}

// The server is slow to answer: the window goes on, the sheet keeps what was
// typed, says that it waits and takes no second OK; memory changes only once
// the server has taken the save.
TEST_F(MainWindowCommands, ASaveWaitingForTheServersAnswerKeepsTheWindowAnsweringAndTheSheetsInput)
{
    ASSERT_TRUE(tvxtest::selectRecords(*controller, {R5}));
    AlertRecorder alerts;
    ModalScript script;
    const Ticker ticker;
    script.then([&](QWidget*) {
        BMDetailsWindowController& sheet = controller->recordCommands().detailsWindowController();
        const auto holder = holdEverySave();
        sheet.valueField(1)->setText("admin");
        sheet.okButton()->click();
        EXPECT_TRUE(sheet.isSaving());
        EXPECT_FALSE(sheet.requestedEnd()) << "the click returned before the answer";
        const int before = ticker.ticks();
        EXPECT_TRUE(QTest::qWaitFor([&] { return !sheet.savingLine()->isHidden(); }, 2000)) << "the waiting line";
        EXPECT_GT(ticker.ticks(), before + 10) << "the window's timers ran while the save waited";
        EXPECT_TRUE(QGuiApplication::overrideCursor()
                    && QGuiApplication::overrideCursor()->shape() == Qt::BusyCursor);
        EXPECT_FALSE(sheet.okButton()->isEnabled());
        EXPECT_FALSE(sheet.cancelButton()->isEnabled());
        sheet.detailPanelOK();     // Return in a value cell
        sheet.detailPanelCancel(); // Escape
        EXPECT_FALSE(sheet.window()->close()) << "the window stays until the answer";
        EXPECT_FALSE(sheet.requestedEnd());
        EXPECT_EQ(sheet.valueField(1)->text(), "admin");
        EXPECT_EQ(db->caches().recordWithUID(R5)->mValue2(), "postgres") << "memory waits for the server";
        holder->rollback();
        EXPECT_TRUE(QTest::qWaitFor([&] { return !sheet.isSaving(); }, 30000));
        EXPECT_TRUE(sheet.savingLine()->isHidden());
        EXPECT_TRUE(sheet.okButton()->isEnabled());
        return sheetEnd();
    });
    controller->recordCommands().editItemDoubleAction();
    EXPECT_EQ(controller->recordCommands().detailsWindowController().requestedEnd(), platform::kModalRunStopped);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_TRUE(alerts.alerts().empty()) << alerts.lastMessage().toStdString();
    EXPECT_EQ(db->caches().recordWithUID(R5)->mValue2(), "admin");
    EXPECT_EQ(serverValue("SELECT COUNT(*) FROM tolvanexdb.EVENTLOGGERTABLE WHERE EVENT='Replace Record'"), "1");
    TVXDataBase other;
    ASSERT_EQ(logInAndLoad(other), kTVXDone);
    EXPECT_EQ(other.caches().recordWithUID(R5)->mValue2(), "admin");
}

// An answer that comes once the sheet's run is over (ended from outside) only
// stores; it ends no later run. A lock asked for meanwhile waits for the answer.
TEST_F(MainWindowCommands, AnAnswerAfterTheSheetsRunOrDuringALockRequestDoesNoHarm)
{
    ASSERT_TRUE(tvxtest::selectRecords(*controller, {R5}));
    AlertRecorder alerts;
    ModalScript script;
    BMDetailsWindowController& sheet = controller->recordCommands().detailsWindowController();
    auto holder = holdEverySave();
    script.then([&](QWidget*) {
        sheet.valueField(1)->setText("late");
        sheet.okButton()->click();
        EXPECT_TRUE(sheet.isSaving());
        return platform::kModalRunAborted; // the run ends before the answer
    });
    controller->recordCommands().editItemDoubleAction();
    EXPECT_FALSE(sheet.isSaving());
    EXPECT_FALSE(sheet.isVisible());
    // A command on the records meanwhile is refused, saying why.
    const auto recordsBefore = db->caches().mRecords().size();
    controller->recordCommands().duplicateItem();
    ASSERT_EQ(alerts.alerts().size(), 1u);
    EXPECT_EQ(alerts.lastMessage(), "The last change is still waiting for the server's answer. Try again once it has answered.");
    EXPECT_EQ(db->caches().mRecords().size(), recordsBefore) << "no copy was made";

    // The next run is under way when the first answer arrives.
    bool ranOn = false;
    script.then([&](QWidget*) {
        holder->rollback();
        EXPECT_TRUE(writesAnswered());
        ranOn = !sheet.requestedEnd().has_value();
        return platform::kModalRunAborted;
    });
    int operation = kOperationEdit;
    EXPECT_EQ(sheet.orderFrontDetailsWindowWithInfo(db->caches().recordWithUID(R2), operation), nullptr);
    EXPECT_TRUE(ranOn) << "the late answer ended no other run";
    EXPECT_EQ(alerts.alerts().size(), 1u) << alerts.lastMessage().toStdString();
    EXPECT_EQ(db->caches().recordWithUID(R5)->mValue2(), "late");
    EXPECT_EQ(recordCount(R5), "1");

    // A lock asked for while a save waits comes after its answer.
    ASSERT_TRUE(tvxtest::selectRecords(*controller, {R5}));
    holder = holdEverySave();
    bool lockedDuringTheSave = false;
    QString storedAtTheLock;
    script.then([&](QWidget*) {
        sheet.valueField(1)->setText("before the lock");
        sheet.okButton()->click();
        controller->lockControl().displayLockPanel();
        lockedDuringTheSave = controller->lockControl().isLocked();
        holder->rollback();
        EXPECT_TRUE(QTest::qWaitFor([&] { return !sheet.isSaving(); }, 30000));
        return sheetEnd();
    });
    script.then([&](QWidget* panel) {
        storedAtTheLock = db->caches().recordWithUID(R5)->mValue2();
        auto* lock = static_cast<BMLockPanel*>(panel);
        QTest::keyClicks(lock->mPasswordField(), kUserPassword);
        lock->mLackPanelOKButton()->click();
        return platform::kModalRunStopped;
    });
    controller->recordCommands().editItemDoubleAction();
    EXPECT_TRUE(QTest::qWaitFor([&] { return script.windows().contains("mLockPanel"); }, 5000));
    EXPECT_FALSE(lockedDuringTheSave);
    EXPECT_EQ(storedAtTheLock, "before the lock");
    EXPECT_FALSE(controller->lockControl().isLocked());
    EXPECT_EQ(db->caches().recordWithUID(R5)->mValue2(), "before the lock");
}

// A quit asked for while a save waits for the server ends the run only once
// the save is answered: what the window reported stored is on the server when
// the process would end, and a refusal has been shown. A second quit asked
// meanwhile is the same one.
TEST_F(MainWindowCommands, AQuitWhileASaveWaitsEndsOnlyOnceTheSaveIsAnswered)
{
    AlertRecorder alerts;
    int terminations = 0;
    QString storedAtTheEnd;
    QString replacedRowsAtTheEnd;
    QStringList alertsAtTheEnd;
    QString undeletedAtTheEnd;
    const auto quitAsTheApplication = [&] {
        controller->startup().setTerminateHandler([&] {
            ++terminations;
            // The will-terminate step, then the end of the process: what is
            // not on the server now never gets there.
            controller->startup().applicationWillTerminate();
            alertsAtTheEnd = alerts.messages();
            replacedRowsAtTheEnd =
                rootQueryValue("SELECT COUNT(*) FROM tolvanexdb.EVENTLOGGERTABLE WHERE EVENT='Replace Record'");
            undeletedAtTheEnd = rootQueryValue(
                QString("SELECT COUNT(*) FROM tolvanexdb.RECORDTABLE WHERE RECORDID IN ('%1','%2')").arg(R1, R2));
            TVXDataBase plain;
            storedAtTheEnd = logInAndLoad(plain) == kTVXDone ? plain.caches().recordWithUID(R5)->mValue2() : "no log-in";
        });
    };
    quitAsTheApplication();
    BMDetailsWindowController* sheet = &controller->recordCommands().detailsWindowController();
    ASSERT_TRUE(tvxtest::selectRecords(*controller, {R5}));
    auto holder = holdEverySave();
    ModalScript script;
    script.then([&](QWidget*) {
        sheet->valueField(1)->setText("stored at the quit");
        sheet->okButton()->click();
        QTimer::singleShot(300, [&] { holder->rollback(); });
        controller->startup().terminate();
        EXPECT_EQ(terminations, 0) << "the quit waits for the answer";
        controller->startup().terminate();
        EXPECT_TRUE(QTest::qWaitFor([&] { return terminations > 0; }, 30000));
        return sheetEnd();
    });
    controller->recordCommands().editItemDoubleAction();
    EXPECT_EQ(terminations, 1);
    EXPECT_EQ(storedAtTheEnd, "stored at the quit");
    EXPECT_EQ(replacedRowsAtTheEnd, "1") << "the save's event row went out before the end";
    EXPECT_TRUE(alertsAtTheEnd.isEmpty()) << alertsAtTheEnd.join('\n').toStdString();

    // A new run of the application; its save is refused while it waits.
    startTheApplicationAgain();
    terminations = 0;
    quitAsTheApplication();
    sheet = &controller->recordCommands().detailsWindowController();
    ASSERT_TRUE(tvxtest::selectRecords(*controller, {R5}));
    holder = holdEverySave();
    const QString permissions =
        rootQueryValue(QString("SELECT RECORDPERMISSION FROM tolvanexdb.USERTABLE WHERE USERID='%1'").arg(aliceID));
    script.then([&](QWidget*) {
        sheet->valueField(1)->setText("refused at the quit");
        sheet->okButton()->click();
        rootExec(QString("UPDATE tolvanexdb.USERTABLE SET RECORDPERMISSION=1 WHERE USERID='%1'").arg(aliceID));
        QTimer::singleShot(300, [&] { holder->rollback(); });
        controller->startup().terminate();
        EXPECT_EQ(terminations, 0);
        EXPECT_TRUE(QTest::qWaitFor([&] { return terminations > 0; }, 30000));
        return platform::kModalRunAborted;
    });
    controller->recordCommands().editItemDoubleAction();
    EXPECT_EQ(terminations, 1);
    EXPECT_EQ(alertsAtTheEnd, QStringList{"You don't have sufficient access permissions."}) << "shown before the end";
    EXPECT_EQ(storedAtTheEnd, "stored at the quit");

    // And a run that quits while a delete of two records waits.
    rootExec(QString("UPDATE tolvanexdb.USERTABLE SET RECORDPERMISSION=%1 WHERE USERID='%2'").arg(permissions, aliceID));
    startTheApplicationAgain();
    terminations = 0;
    quitAsTheApplication();
    ASSERT_TRUE(tvxtest::selectRecords(*controller, {R1, R2}));
    holder = holdEverySave();
    alerts.answerNext(platform::kAlertAlternateReturn);
    controller->recordCommands().deleteSelected();
    ASSERT_TRUE(controller->recordCommands().isDeleting());
    QTimer::singleShot(300, [&] { holder->rollback(); });
    controller->startup().terminate();
    EXPECT_EQ(terminations, 0);
    EXPECT_TRUE(QTest::qWaitFor([&] { return terminations > 0; }, 30000));
    EXPECT_EQ(undeletedAtTheEnd, "0");
}

// Another client changed the master password while a save waits: the new
// log-in comes once the save is answered on the session it was sent on, and
// the session goes on over the new connection.
TEST_F(MainWindowCommands, ANewLogInAskedForWhileASaveWaitsComesAfterItsAnswer)
{
    appctltest::IsolatedDesktop desktop; // the keyring and settings the log-in writes
    platform::UserDefaults::setValue("TLSCAFile", caFile());
    ASSERT_TRUE(tvxtest::selectRecords(*controller, {R5}));
    AlertRecorder alerts;
    ModalScript script;
    BMDetailsWindowController& sheet = controller->recordCommands().detailsWindowController();
    auto holder = holdEverySave();
    int savesAtThePanel = -1;
    bool sheetSavingAtThePanel = true;
    QString storedAtThePanel;
    TVXResult loggedIn = kTVXNotServerError;
    script.then([&](QWidget*) {
        sheet.valueField(1)->setText("before the new log-in");
        sheet.okButton()->click();
        QTimer::singleShot(300, [&] { holder->rollback(); });
        platform::NotificationCenter::defaultCenter().post(kDBMasterPasswordChangedNotification, std::any());
        EXPECT_TRUE(QTest::qWaitFor([&] { return !sheet.isSaving(); }, 30000));
        EXPECT_TRUE(QTest::qWaitFor([&] { return script.windows().contains("mConnectionWindow"); }, 30000));
        return sheetEnd();
    });
    script.then([&](QWidget* window) {
        savesAtThePanel = db->savesInFlight();
        sheetSavingAtThePanel = sheet.isSaving();
        TVXDataBase plain;
        storedAtThePanel = logInAndLoad(plain) == kTVXDone ? plain.caches().recordWithUID(R5)->mValue2() : "no log-in";
        auto* panel = static_cast<BMLoginPanel*>(window);
        panel->mIPAddressField()->setText("127.0.0.1");
        panel->mPortNumberField()->setText(QString::number(port()));
        panel->mLoginUserName()->setText(kUserName);
        panel->mUserPassword()->setText(kUserPassword);
        panel->mMasterPassword()->setText(kMasterPassword);
        QTest::mouseClick(panel->mConnectToServer(), Qt::LeftButton);
        EXPECT_TRUE(QTest::qWaitFor([&] { return !controller->startup().isLoginInFlight(); }, 30000));
        loggedIn = db->connectionErrorCode();
        return platform::kModalRunAborted;
    });
    controller->recordCommands().editItemDoubleAction();
    EXPECT_EQ(savesAtThePanel, 0) << "the save was answered before the log-in panel";
    EXPECT_FALSE(sheetSavingAtThePanel);
    EXPECT_EQ(storedAtThePanel, "before the new log-in");
    EXPECT_EQ(loggedIn, kTVXDone);
    EXPECT_EQ(alerts.messages(), QStringList{"Master Password does not match."});
    EXPECT_EQ(db->caches().recordWithUID(R5)->mValue2(), "before the new log-in");

    // The new connection takes the next save.
    script.then([&](QWidget*) {
        sheet.valueField(1)->setText("after the new log-in");
        pressOK(sheet);
        return sheetEnd();
    });
    controller->recordCommands().editItemDoubleAction();
    TVXDataBase other;
    ASSERT_EQ(logInAndLoad(other), kTVXDone);
    EXPECT_EQ(other.caches().recordWithUID(R5)->mValue2(), "after the new log-in");
}

// Waiting on the main thread for the queue (as the quit's view state does)
// serves the writers' hand-overs only: a save's answer and the window's
// timers wait for the event loop, not for whatever called the wait.
TEST_F(MainWindowCommands, WaitingForTheQueueRunsNoSavesAnswerNorTimer)
{
    ASSERT_TRUE(tvxtest::selectRecords(*controller, {R5}));
    AlertRecorder alerts;
    ModalScript script;
    BMDetailsWindowController& sheet = controller->recordCommands().detailsWindowController();
    auto holder = holdEverySave();
    bool savingAfterTheWait = false;
    int ticksDuringTheWait = -1;
    script.then([&](QWidget*) {
        sheet.valueField(1)->setText("answered later");
        sheet.okButton()->click();
        const Ticker ticker(5);
        std::thread release([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            holder->rollback();
        });
        db->writeBehind().flush();
        release.join();
        savingAfterTheWait = sheet.isSaving();
        ticksDuringTheWait = ticker.ticks();
        EXPECT_TRUE(QTest::qWaitFor([&] { return !sheet.isSaving(); }, 30000));
        return sheetEnd();
    });
    controller->recordCommands().editItemDoubleAction();
    EXPECT_TRUE(savingAfterTheWait) << "the answer waited for the event loop";
    EXPECT_EQ(ticksDuringTheWait, 0);
    EXPECT_EQ(db->caches().recordWithUID(R5)->mValue2(), "answered later");
    EXPECT_TRUE(alerts.alerts().empty()) << alerts.lastMessage().toStdString();
}

// What the clicks and the lock wrote behind the window is on the server
// before the process ends, also when the run ends from the lock's Quit
// (which keeps no view state).
TEST_F(MainWindowCommands, TheClicksAndTheLocksWritesReachTheServerBeforeAQuitFromTheLock)
{
    int terminations = 0;
    QString viewsAtTheEnd;
    QString viewRowsAtTheEnd;
    QString lockRowsAtTheEnd;
    controller->startup().setTerminateHandler([&] {
        ++terminations;
        controller->startup().applicationWillTerminate();
        viewsAtTheEnd = rootQueryValue(QString("SELECT VIEWCOUNT FROM tolvanexdb.RECORDTABLE WHERE RECORDID='%1'").arg(R5));
        viewRowsAtTheEnd = rootQueryValue("SELECT COUNT(*) FROM tolvanexdb.EVENTLOGGERTABLE WHERE EVENT='View Record'");
        lockRowsAtTheEnd =
            rootQueryValue("SELECT COUNT(*) FROM tolvanexdb.EVENTLOGGERTABLE WHERE EVENT='Lock Application'");
    });
    // Another session holds the record's row: the clicks' writes queue behind it.
    auto holder = rootConnection();
    std::unique_ptr<sql::Statement> hold(holder->createStatement());
    hold->execute("START TRANSACTION");
    std::unique_ptr<sql::ResultSet>(
        hold->executeQuery(
            QString("SELECT VIEWCOUNT FROM tolvanexdb.RECORDTABLE WHERE RECORDID='%1' FOR UPDATE").arg(R5).toStdString()))
        ->next();
    const int viewsBefore = db->caches().getRecordForUID(R5)->mViewCounter();
    ASSERT_TRUE(tvxtest::selectRecords(*controller, {R5}));
    ASSERT_EQ(db->caches().getRecordForUID(R5)->mViewCounter(), viewsBefore + 1);
    ModalScript script;
    std::thread release;
    script.then([&](QWidget* panel) {
        // The hold ends while the quit waits for the writes.
        release = std::thread([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            hold->execute("ROLLBACK");
        });
        static_cast<BMLockPanel*>(panel)->mLockPanelQuitButton()->click();
        return platform::kModalRunAborted;
    });
    controller->lockControl().displayLockPanel();
    if (release.joinable())
        release.join();
    EXPECT_EQ(terminations, 1);
    EXPECT_EQ(viewsAtTheEnd, QString::number(viewsBefore + 1));
    EXPECT_EQ(viewRowsAtTheEnd, "1");
    EXPECT_EQ(lockRowsAtTheEnd, "1");
}

// Several records deleted: a panel shows how far the series has come, and
// its end names each record's result; the server refuses one, the series
// stops there and the one before it is not tried.
TEST_F(MainWindowCommands, ADeleteOfManyRecordsShowsItsProgressAndEachRecordsResult)
{
    ASSERT_TRUE(tvxtest::selectRecords(*controller, {R1, R2, R3}));
    QList<std::shared_ptr<TVXRecord>> order; // as listed: deleted from the last
    for (int row = 0; row < controller->tables().listModel()->rowCount(); ++row)
        if (const auto r = controller->tables().listModel()->recordAt(row);
            r && QStringList({R1, R2, R3}).contains(r->mRecordUID()))
            order << r;
    ASSERT_EQ(order.size(), 3);
    const QString refused = order[1]->mRecordUID();
    rootExec(QString("CREATE TRIGGER tolvanexdb.refuse_one BEFORE DELETE ON tolvanexdb.%1 FOR EACH ROW "
                     "IF OLD.RECORDID='%2' THEN SIGNAL SQLSTATE '45000' SET MESSAGE_TEXT='refused for the test'; "
                     "END IF")
                 .arg(teststore::rowsTable("RECORDTABLE"), refused));

    AlertRecorder alerts;
    alerts.answerNext(platform::kAlertAlternateReturn);
    controller->recordCommands().deleteSelected();
    BMProgressPanel* panel = controller->recordCommands().deletionPanel();
    ASSERT_NE(panel, nullptr);
    EXPECT_TRUE(panel->isVisible()) << "the panel shows while the server answers";
    EXPECT_EQ(panel->mDataLoadingProgressIndiator()->maximum(), 3);
    EXPECT_TRUE(controller->recordCommands().isDeleting());
    ASSERT_TRUE(writesAnswered());
    EXPECT_FALSE(panel->isVisible());

    EXPECT_EQ(recordCount(order[2]->mRecordUID()), "0");
    EXPECT_EQ(recordCount(refused), "1");
    EXPECT_EQ(recordCount(order[0]->mRecordUID()), "1");
    EXPECT_FALSE(db->caches().recordWithUID(order[2]->mRecordUID()));
    EXPECT_TRUE(db->caches().recordWithUID(refused));
    ASSERT_EQ(alerts.alerts().size(), 2u) << alerts.messages().join('\n').toStdString();
    EXPECT_EQ(alerts.lastMessage(),
              QString("1 of 3 records deleted.\nNot deleted: \"%1\". The server did not take the change.\n"
                      "Not tried: %2.")
                  .arg(order[1]->mValue1(), order[0]->mValue1()));
    EXPECT_EQ(listValue1s().size(), 3);

    // One record: no panel, and the window follows the answer.
    ASSERT_TRUE(tvxtest::selectRecords(*controller, {R4}));
    alerts.answerNext(platform::kAlertAlternateReturn);
    controller->recordCommands().deleteSelected();
    EXPECT_FALSE(panel->isVisible());
    ASSERT_TRUE(writesAnswered());
    EXPECT_EQ(recordCount(R4), "0");
    EXPECT_EQ(alerts.alerts().size(), 3u);
    EXPECT_FALSE(listValue1s().contains("Credit union"));
}

// Forty records: a few records a round trip, the panel moving on with each
// answer; a refusal in the middle of the second round trip's records ends
// the series there, each record's result named at the end.
TEST_F(MainWindowCommands, ADeleteOfManyRecordsGoesSeveralRecordsARoundTrip)
{
    const auto model = db->caches().recordWithUID(R1);
    ASSERT_TRUE(model);
    QStringList uids;
    for (int i = 0; i < 40; ++i) {
        auto record = TVXRecord::createRecord();
        record->setMGroup(model->mGroup());
        record->setMType(model->mType());
        record->setMValue1(QStringLiteral("bulk %1").arg(i, 2, 10, QLatin1Char('0')));
        ASSERT_EQ(db->addRecord(record), kTVXDone);
        uids << record->mRecordUID();
    }
    ASSERT_TRUE(tvxtest::selectRecords(*controller, uids));
    const QList<std::shared_ptr<TVXRecord>> order = deletionOrder(uids);
    ASSERT_EQ(order.size(), 40);
    const int refusedAt = TVXRecordWriter::kDeletesPerRoundTrip + 5;
    rootExec(QString("CREATE TRIGGER tolvanexdb.refuse_one BEFORE DELETE ON tolvanexdb.%1 FOR EACH ROW "
                     "IF OLD.RECORDID='%2' THEN SIGNAL SQLSTATE '45000' SET MESSAGE_TEXT='refused for the test'; "
                     "END IF")
                 .arg(teststore::rowsTable("RECORDTABLE"), order[refusedAt]->mRecordUID()));

    AlertRecorder alerts;
    alerts.answerNext(platform::kAlertAlternateReturn);
    controller->recordCommands().deleteSelected();
    BMProgressPanel* panel = controller->recordCommands().deletionPanel();
    ASSERT_NE(panel, nullptr);
    QList<int> progress;
    QObject::connect(panel->mDataLoadingProgressIndiator(), &QProgressBar::valueChanged,
                     [&progress](int value) { progress << value; });
    EXPECT_EQ(panel->mDataLoadingProgressIndiator()->maximum(), 40);
    ASSERT_TRUE(writesAnswered());
    EXPECT_EQ(progress, QList<int>{TVXRecordWriter::kDeletesPerRoundTrip}) << "once a round trip";
    EXPECT_FALSE(panel->isVisible());

    QStringList notTried;
    for (int i = 0; i < order.size(); ++i) {
        const QString id = order[i]->mRecordUID();
        EXPECT_EQ(recordCount(id), i < refusedAt ? "0" : "1") << i;
        EXPECT_EQ(db->caches().recordWithUID(id) != nullptr, i >= refusedAt) << i;
        if (i > refusedAt)
            notTried << order[i]->mValue1();
    }
    EXPECT_EQ(alerts.lastMessage(),
              QString("%1 of 40 records deleted.\nNot deleted: \"%2\". The server did not take the change.\n"
                      "Not tried: %3.")
                  .arg(refusedAt)
                  .arg(order[refusedAt]->mValue1(), notTried.join(", ")));
    EXPECT_EQ(eventDescriptions("Delete Record").size(), refusedAt + 1);
    for (int i = 0; i < order.size(); ++i)
        EXPECT_EQ(listValue1s().contains(order[i]->mValue1()), i >= refusedAt) << i;
}

TEST_F(MainWindowCommands, AGroupTheServerRefusesComesBackInTheGroupSheet)
{
    const int groups = serverValue("SELECT COUNT(*) FROM tolvanexdb.GROUPTABLE").toInt();
    refuseWrites("BEFORE INSERT", "GROUPTABLE");
    AlertRecorder alerts;
    ModalScript script;
    script.then([this](QWidget*) {
        controller->recordCommands().categoryEditController().addNewEntry();
        return platform::kModalRunStopped;
    });
    script.then([&](QWidget*) {
        controller->recordCommands().customSettingsController().groupSettingsPanel()->mGroupNameField->setText("Operations");
        // The refusal's answer leaves the sheet open.
        EXPECT_EQ(sheetOK(controller->recordCommands().customSettingsController().customGroupSettingsOK()),
                  platform::kModalRunAborted);
        EXPECT_EQ(alerts.lastMessage(), "Operation failed. Please reload the database first.");
        EXPECT_EQ(controller->recordCommands().customSettingsController().groupSettingsPanel()->mGroupNameField->text(), "Operations");
        acceptWrites("GROUPTABLE");
        return sheetOK(controller->recordCommands().customSettingsController().customGroupSettingsOK());
    });
    controller->recordCommands().displayEditGroupPanel();
    EXPECT_EQ(script.windows().size(), 2);
    EXPECT_EQ(alerts.alerts().size(), 1u);
    EXPECT_EQ(serverValue("SELECT COUNT(*) FROM tolvanexdb.GROUPTABLE").toInt(), groups + 1);
}

TEST_F(MainWindowCommands, ATypeTheServerRefusesComesBackInTheTypeSheet)
{
    const int types = serverValue("SELECT COUNT(*) FROM tolvanexdb.TYPETABLE").toInt();
    refuseWrites("BEFORE INSERT", "TYPETABLE");
    AlertRecorder alerts;
    ModalScript script;
    script.then([this](QWidget*) {
        controller->recordCommands().categoryEditController().addNewEntry();
        return platform::kModalRunStopped;
    });
    script.then([&](QWidget*) {
        auto* sheet = controller->recordCommands().customSettingsController().customSettingsPanel();
        sheet->mTypeNameField->setText("Licence");
        sheet->mFieldNameFields[0]->setText("Product");
        EXPECT_EQ(sheetOK(controller->recordCommands().customSettingsController().customSettingsOK()),
                  platform::kModalRunAborted);
        EXPECT_EQ(alerts.lastMessage(), "Operation failed. Please reload the database first.");
        EXPECT_EQ(sheet->mTypeNameField->text(), "Licence");
        EXPECT_EQ(sheet->mFieldNameFields[0]->text(), "Product");
        acceptWrites("TYPETABLE");
        return sheetOK(controller->recordCommands().customSettingsController().customSettingsOK());
    });
    controller->recordCommands().displayEditTypesPanel();
    EXPECT_EQ(script.windows().size(), 2);
    EXPECT_EQ(alerts.alerts().size(), 1u);
    EXPECT_EQ(serverValue("SELECT COUNT(*) FROM tolvanexdb.TYPETABLE").toInt(), types + 1);
}

TEST_F(MainWindowCommands, TheListShowsTheColumnsOfTheOptionsWhenFirstShownAfterAStartInTheColumnView)
{
    // What an earlier session stored in Options: the first two values only;
    // it was quit in the column view.
    db->caches().mCurrentUser()->setMLastView(kColumnViewTag);
    {
        TVXDataBase earlier;
        ASSERT_EQ(logInAndLoad(earlier), kTVXDone);
        earlier.caches().mCurrentUser()->setMColoumInfo(0x1 | 0x2);
        earlier.caches().mCurrentUser()->setMColoumWidthArray(QList<int>(kListNoOfColumns, 90));
        ASSERT_EQ(earlier.preferences().setShowColumnsInListViewForTypeName(kAllCategoriesUID), kTVXDone);
    }
    // The next start: its load reads the columns.
    window = nullptr; // the controller deletes its window
    controller.reset();
    db = std::make_unique<TVXDataBase>();
    ASSERT_EQ(logInAndLoad(*db), kTVXDone);
    db->caches().mCurrentUser()->setMLastView(kColumnViewTag);
    controller = std::make_unique<BMController>(db.get());
    window = tvxtest::createMainWindow(*controller);
    ASSERT_EQ(controller->tables().currentView(), kColumnViewTag);
    controller->tables().changeView(kListViewTag);
    QTableView* list = window->mListViewTypesTable;
    QStringList shown;
    for (int column = 0; column < list->model()->columnCount(); ++column)
        if (!list->isColumnHidden(column) && applyoptions::columnIdentifier(*list, column) != 0)
            shown << QString::number(applyoptions::columnIdentifier(*list, column));
    EXPECT_EQ(shown, QStringList({"3", "4"}));
}

TEST_F(MainWindowCommands, TheAccountMasterPasswordAndEventLogItemsStayForAStoreAdministratorOnly)
{
    const auto offered = [](BMMainWindow* w) {
        return QList<bool>{w->mFileMenu->actions().contains(w->mEditUserMenuItem),
                           w->mFileMenu->actions().contains(w->mSetMasterPasswordMenuItem),
                           w->mViewMenu->actions().contains(w->mEventLoggerMenuItem)};
    };
    controller->windowSetup().removeUnofferedMenuItems();
    EXPECT_EQ(offered(window), QList<bool>({false, false, false}));

    addAccount("boss", "boss-pw", true);
    TVXDataBase bossStore;
    ASSERT_EQ(logInAndLoad(bossStore, "boss", "boss-pw"), kTVXDone);
    auto boss = std::make_unique<BMController>(&bossStore);
    BMMainWindow* bossWindow = tvxtest::createMainWindow(*boss);
    boss->windowSetup().removeUnofferedMenuItems();
    EXPECT_EQ(offered(bossWindow), QList<bool>({true, true, true}));
    boss.reset();
}

// --- the keyboard ----------------------------------------------------------------------------

namespace {

class KeyboardWalk : public MainWindowCommands {
protected:
    void SetUp() override
    {
        MainWindowCommands::SetUp();
        window->show();
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    }
    // Plays the user on the record sheet once it is up and has the keyboard: a
    // fixed delay may come before that on a slow build, and the key is lost.
    void onceTheSheetIsActive(std::function<void(BMDetailsWindowController&)> act)
    {
        auto& sheet = controller->recordCommands().detailsWindowController();
        auto* poll = new QTimer(window);
        poll->setInterval(10);
        QObject::connect(poll, &QTimer::timeout, [poll, &sheet, act = std::move(act)] {
            QWidget* shown = sheet.window();
            if (!shown || !shown->isVisible() || QApplication::activeWindow() != shown)
                return;
            poll->deleteLater();
            poll->stop();
            act(sheet);
        });
        poll->start();
    }
    QWidget* focused() const { return QApplication::focusWidget() ? QApplication::focusWidget() : window; }
    void press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) { QTest::keyClick(focused(), key, modifiers); }
    // Alt and the menu's mnemonic, then the items' mnemonics in the menus that open.
    bool menu(Qt::Key title, std::initializer_list<Qt::Key> items)
    {
        // The user is back at the main window (the desktop gives it back once a menu goes).
        if (QApplication::activeWindow() != window) {
            window->activateWindow();
            if (!QTest::qWaitForWindowActive(window))
                return false;
        }
        if (!QApplication::focusWidget())
            window->mListViewTypesTable->setFocus();
        QTest::keyClick(focused(), title, Qt::AltModifier);
        if (!QApplication::activePopupWidget()) {
            // The bar still holds the menu last used: Escape leaves it, as on the desktop.
            QTest::keyClick(window->menuBar(), Qt::Key_Escape);
            QTest::keyClick(focused(), title, Qt::AltModifier);
        }
        for (Qt::Key item : items) {
            QWidget* open = QApplication::activePopupWidget();
            if (!open)
                return false;
            QTest::keyClick(open, item);
        }
        return QApplication::activePopupWidget() == nullptr;
    }
    // The arrow keys leave the first row selected, wherever the cursor was.
    void selectFirstRow()
    {
        press(Qt::Key_Home);
        press(Qt::Key_Down);
        press(Qt::Key_Up);
    }
    // Tab until the widget has the focus.
    bool tabTo(QWidget* target)
    {
        if (QApplication::focusWidget() == target)
            return true;
        if (QApplication::activeWindow() != window) {
            window->activateWindow();
            (void)QTest::qWaitForWindowActive(window);
        }
        for (int i = 0; i < 60 && QApplication::focusWidget() != target; ++i)
            press(Qt::Key_Tab);
        return QApplication::focusWidget() == target;
    }
    ModalScript::Step sheetStep(std::function<void(BMDetailsWindowController&)> edit)
    {
        return [this, edit](QWidget*) {
            BMDetailsWindowController& sheet = controller->recordCommands().detailsWindowController();
            edit(sheet);
            pressOK(sheet);
            // Served while the save was answered, the desktop's late word on a
            // menu closed long before may have moved the focus: the sheet gives
            // the window back.
            if (QApplication::activeWindow() != window)
                QApplication::setActiveWindow(window);
            return sheetEnd();
        };
    }
};

} // namespace

TEST_F(KeyboardWalk, EveryCommandIsReachedWithoutTheMouse)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("walk.csv");
    BMExchangeHooks hooks;
    hooks.chooseFile = [&path](const BMFilePanelRequest&) { return path; };
    controller->importExport().setExchangeHooks(hooks);
    AlertRecorder alerts;
    ModalScript script;

    // F10 opens the first menu; Escape closes it and leaves the menu bar.
    press(Qt::Key_F10);
    EXPECT_EQ(QApplication::activePopupWidget(), window->mFileMenu);
    if (QApplication::activePopupWidget())
        QTest::keyClick(QApplication::activePopupWidget(), Qt::Key_Escape);
    QTest::keyClick(window->menuBar(), Qt::Key_Escape);

    // Views.
    press(Qt::Key_1, Qt::ControlModifier);
    EXPECT_EQ(controller->tables().currentView(), kColumnViewTag);
    press(Qt::Key_3, Qt::ControlModifier);
    EXPECT_EQ(controller->tables().currentView(), kTreeViewTag);
    press(Qt::Key_2, Qt::ControlModifier);
    ASSERT_EQ(controller->tables().currentView(), kListViewTag);

    // The window opened on a group with records; choose another in its pop-up.
    ASSERT_FALSE(listValue1s().isEmpty());
    const QString firstGroup = window->mCategoriesPopup->currentText();
    ASSERT_TRUE(tabTo(window->mCategoriesPopup));
    press(Qt::Key_Down);
    for (int i = 0; i < 6 && listValue1s().isEmpty(); ++i)
        press(Qt::Key_Down);
    EXPECT_NE(window->mCategoriesPopup->currentText(), firstGroup);
    ASSERT_FALSE(listValue1s().isEmpty());

    // Open with Return, the first record of the list.
    ASSERT_TRUE(tabTo(window->mListViewTypesTable));
    selectFirstRow();
    const QString opened = selectedUID();
    ASSERT_FALSE(opened.isEmpty());
    script.then([](QWidget*) { return platform::kModalRunAborted; });
    press(Qt::Key_Return);
    EXPECT_EQ(script.windows(), QStringList{"DetailsWindowController"});

    // Edit Item has a shortcut.
    script.then(sheetStep([](BMDetailsWindowController& sheet) { sheet.valueField(1)->setText("by keys"); }));
    press(Qt::Key_E, Qt::ControlModifier);
    EXPECT_EQ(serverValue(QString("SELECT COUNT(*) FROM tolvanexdb.RECORDTABLE")).toInt(), 6);
    ASSERT_EQ(script.windows().size(), 2);
    EXPECT_EQ(db->caches().recordWithUID(opened)->mValue2(), "by keys");

    // Duplicate through the Item menu.
    script.then(sheetStep([](BMDetailsWindowController&) {}));
    EXPECT_TRUE(menu(Qt::Key_I, {Qt::Key_U}));
    EXPECT_EQ(script.windows().size(), 3);
    EXPECT_EQ(eventDescriptions("Duplicate Record").size(), 1);

    // Add.
    script.then(sheetStep([](BMDetailsWindowController& sheet) { sheet.valueField(0)->setText("added by keys"); }));
    press(Qt::Key_N, Qt::ControlModifier);
    EXPECT_EQ(script.windows().size(), 4);
    EXPECT_EQ(serverValue("SELECT COUNT(*) FROM tolvanexdb.RECORDTABLE").toInt(), 8);

    // Search, then Escape clears it.
    press(Qt::Key_F, Qt::ControlModifier);
    ASSERT_EQ(QApplication::focusWidget(), window->mSearchField);
    QTest::keyClicks(window->mSearchField, "added by");
    EXPECT_EQ(listValue1s(), QStringList{"added by keys"});
    press(Qt::Key_Escape);
    EXPECT_TRUE(window->mSearchField->text().isEmpty());
    EXPECT_GT(listValue1s().size(), 1);

    // Delete the selected record, confirmed with Yes.
    ASSERT_TRUE(tabTo(window->mListViewTypesTable));
    selectFirstRow();
    const QString deleted = selectedUID();
    ASSERT_FALSE(deleted.isEmpty());
    alerts.answerNext(platform::kAlertAlternateReturn);
    press(Qt::Key_Delete);
    ASSERT_TRUE(writesAnswered());
    EXPECT_EQ(recordCount(deleted), "0");

    // Another group, and back.
    const QString group = window->mCategoriesPopup->currentText();
    ASSERT_TRUE(tabTo(window->mCategoriesPopup));
    press(Qt::Key_Down);
    EXPECT_NE(window->mCategoriesPopup->currentText(), group);
    press(Qt::Key_Up);
    EXPECT_EQ(window->mCategoriesPopup->currentText(), group);

    // Options.
    EXPECT_TRUE(menu(Qt::Key_F, {Qt::Key_O}));
    EXPECT_EQ(script.windows().value(script.windows().size() - 1), "OptionsWindowController");

    // Lock: unlocking gives back the focus and the selection.
    ASSERT_TRUE(tabTo(window->mListViewTypesTable));
    selectFirstRow();
    const QString kept = selectedUID();
    script.then([](QWidget* panel) {
        auto* lock = static_cast<BMLockPanel*>(panel);
        QTest::keyClicks(lock->mPasswordField(), kUserPassword);
        lock->mLackPanelOKButton()->click();
        return platform::kModalRunStopped;
    });
    press(Qt::Key_L, Qt::ControlModifier);
    EXPECT_TRUE(script.windows().contains("mLockPanel"));
    EXPECT_FALSE(controller->lockControl().isLocked());
    EXPECT_EQ(selectedUID(), kept);
    EXPECT_TRUE(QTest::qWaitFor([&] { return QApplication::focusWidget() == window->mListViewTypesTable; }, 2000));

    // Export the selected record to a CSV file. (Offscreen, the menu bar answers
    // no more keys once a command has run a worker from it: the import has a walk of its own.)
    EXPECT_TRUE(menu(Qt::Key_F, {Qt::Key_E, Qt::Key_C}));
    EXPECT_TRUE(QFileInfo::exists(path));
}

TEST_F(KeyboardWalk, ImportIsReachedFromTheFileMenu)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("walk.csv");
    BMExchangeHooks hooks;
    hooks.chooseFile = [&path](const BMFilePanelRequest&) { return path; };
    controller->importExport().setExchangeHooks(hooks);
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("Tolvanex Export File\rWeb log-in,imported by keys,,,,,,,,,\"May 07,2009\",n,G\r");
    }
    AlertRecorder alerts;
    ModalScript script;
    ASSERT_TRUE(tabTo(window->mCategoriesPopup));
    for (int i = 0; i < 6 && listValue1s().isEmpty(); ++i)
        press(Qt::Key_Down);
    EXPECT_TRUE(menu(Qt::Key_F, {Qt::Key_I, Qt::Key_C}));
    EXPECT_TRUE(alerts.messages().join('\n').contains("The import is complete."))
        << alerts.messages().join('\n').toStdString();
    EXPECT_EQ(serverValue("SELECT COUNT(*) FROM tolvanexdb.RECORDTABLE").toInt(), 7);
}

TEST_F(KeyboardWalk, ShortcutsFollowTheSelectionNotTheLastOpeningOfTheirMenu)
{
    ModalScript script;
    // Opens the menu by its mnemonic with whatever is selected then, and closes it again.
    const auto openAndClose = [this](Qt::Key title) {
        QTest::keyClick(focused(), title, Qt::AltModifier);
        if (QWidget* open = QApplication::activePopupWidget())
            QTest::keyClick(open, Qt::Key_Escape);
        QTest::keyClick(window->menuBar(), Qt::Key_Escape);
        window->activateWindow();
        (void)QTest::qWaitForWindowActive(window);
    };

    press(Qt::Key_3, Qt::ControlModifier);
    ASSERT_EQ(controller->tables().currentView(), kTreeViewTag);
    ASSERT_TRUE(selectedUID().isEmpty());
    openAndClose(Qt::Key_I); // Edit Item disabled: nothing is selected
    openAndClose(Qt::Key_E); // Select All disabled: not the list view
    press(Qt::Key_2, Qt::ControlModifier);
    ASSERT_EQ(controller->tables().currentView(), kListViewTag);
    openAndClose(Qt::Key_V); // List View disabled: it is the current view

    chooseGroup("Finance");
    ASSERT_TRUE(tabTo(window->mListViewTypesTable));
    selectFirstRow();
    ASSERT_FALSE(selectedUID().isEmpty());
    script.then([](QWidget*) { return platform::kModalRunAborted; });
    press(Qt::Key_E, Qt::ControlModifier);
    EXPECT_EQ(script.windows(), QStringList{"DetailsWindowController"});

    press(Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(window->mListViewTypesTable->selectionModel()->selectedRows().size(), 4);

    press(Qt::Key_1, Qt::ControlModifier);
    EXPECT_EQ(controller->tables().currentView(), kColumnViewTag);
    press(Qt::Key_2, Qt::ControlModifier);
    EXPECT_EQ(controller->tables().currentView(), kListViewTag);
}

TEST_F(KeyboardWalk, TheFocusIsBackInTheListOnceASheetCloses)
{
    tvxtest::RealRuns real;
    AlertRecorder alerts;
    chooseGroup("Finance");
    press(Qt::Key_2, Qt::ControlModifier);
    ASSERT_TRUE(tabTo(window->mListViewTypesTable));
    selectFirstRow();
    const QString first = selectedUID();
    ASSERT_FALSE(first.isEmpty());

    // Return opens the sheet; Escape (nothing typed) closes it.
    bool sheetShown = false;
    onceTheSheetIsActive([&](BMDetailsWindowController& sheet) {
        sheetShown = sheet.window()->isVisible();
        QTest::keyClick(sheet.valueField(0), Qt::Key_Escape);
    });
    press(Qt::Key_Return);
    EXPECT_TRUE(sheetShown);
    EXPECT_TRUE(QTest::qWaitFor([&] { return QApplication::focusWidget() == window->mListViewTypesTable; }, 2000));
    press(Qt::Key_Down);
    EXPECT_NE(selectedUID(), first);
    EXPECT_FALSE(selectedUID().isEmpty());

    // The same after an edit stored through OK, which refreshes the list.
    onceTheSheetIsActive([](BMDetailsWindowController& sheet) {
        sheet.valueField(1)->setText("changed");
        sheet.okButton()->click();
    });
    press(Qt::Key_Return);
    EXPECT_TRUE(QTest::qWaitFor([&] { return QApplication::focusWidget() == window->mListViewTypesTable; }, 2000));
    const QString edited = selectedUID();
    press(Qt::Key_Up);
    EXPECT_NE(selectedUID(), edited);
}

TEST_F(KeyboardWalk, TheColumnViewIsWalkedWithTheArrowsAndAViewSwitchKeepsTheRecord)
{
    chooseGroup("Finance");
    press(Qt::Key_1, Qt::ControlModifier);
    ASSERT_EQ(controller->tables().currentView(), kColumnViewTag);
    ASSERT_TRUE(tabTo(window->mColumnViewTypesTable));
    press(Qt::Key_Down); // the first type
    ASSERT_EQ(window->mColumnViewTypesTable->selectionModel()->selectedRows().size(), 1);

    // Right goes on to the type's records and the first Down there selects one.
    press(Qt::Key_Right);
    EXPECT_EQ(QApplication::focusWidget(), window->mColumnViewDescriptionTable);
    press(Qt::Key_Down);
    const QString chosen = selectedUID();
    EXPECT_FALSE(chosen.isEmpty());
    // Left goes back to the types.
    press(Qt::Key_Left);
    EXPECT_EQ(QApplication::focusWidget(), window->mColumnViewTypesTable);
    ASSERT_TRUE(tabTo(window->mColumnViewDescriptionTable));
    EXPECT_EQ(selectedUID(), chosen);

    // The record chosen stays chosen through every view.
    press(Qt::Key_3, Qt::ControlModifier);
    EXPECT_EQ(selectedUID(), chosen);
    press(Qt::Key_2, Qt::ControlModifier);
    EXPECT_EQ(selectedUID(), chosen);
    press(Qt::Key_1, Qt::ControlModifier);
    EXPECT_EQ(selectedUID(), chosen);
    press(Qt::Key_3, Qt::ControlModifier);
    EXPECT_EQ(selectedUID(), chosen);
    press(Qt::Key_1, Qt::ControlModifier);
    EXPECT_EQ(selectedUID(), chosen);
}

TEST_F(KeyboardWalk, CtrlLLocksOverAnOpenSheetAndGivesItBackWithItsInput)
{
    tvxtest::RealRuns real;
    chooseGroup("Finance");
    press(Qt::Key_2, Qt::ControlModifier);
    ASSERT_TRUE(tabTo(window->mListViewTypesTable));
    selectFirstRow();
    bool lockShown = false;
    bool sheetHidden = false;
    QString afterUnlock;
    auto& sheet = controller->recordCommands().detailsWindowController();
    QTimer::singleShot(50, [&] {
        sheet.valueField(1)->setFocus();
        sheet.valueField(1)->setText("typed before the lock");
        QTest::keyClick(sheet.valueField(1), Qt::Key_L, Qt::ControlModifier);
    });
    // The lock panel, once up: the right password.
    QTimer poll;
    poll.setInterval(20);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* lock = qobject_cast<BMLockPanel*>(QApplication::activeModalWidget());
        if (!lock || lockShown)
            return;
        lockShown = true;
        sheetHidden = !sheet.window()->isVisible();
        QTest::keyClicks(lock->mPasswordField(), kUserPassword);
        lock->mLackPanelOKButton()->click();
        QTimer::singleShot(50, [&] {
            afterUnlock = sheet.valueField(1)->text();
            sheet.cancelButton()->click();
        });
    });
    poll.start();
    // A key that failed to lock leaves the sheet open: it is closed here, and the test fails below.
    QTimer::singleShot(8000, &sheet, [&sheet] {
        if (sheet.isVisible())
            sheet.cancelButton()->click();
    });
    press(Qt::Key_Return);
    poll.stop();
    EXPECT_TRUE(lockShown) << "Ctrl+L did not lock over the sheet";
    EXPECT_TRUE(sheetHidden) << "the sheet shows under the lock";
    EXPECT_EQ(afterUnlock, "typed before the lock");
    EXPECT_FALSE(controller->lockControl().isLocked());
}

TEST_F(MainWindowCommands, TheColumnViewKeepsItsTypeAndRecordThroughTheLockAndASearch)
{
    window->show();
    ASSERT_TRUE(tvxtest::selectRecords(*controller, {R2}, kColumnViewTag));
    const auto selectedType = [this] {
        const QModelIndexList rows = window->mColumnViewTypesTable->selectionModel()->selectedRows();
        const auto type = rows.isEmpty() ? nullptr : controller->tables().typesModel()->typeAt(rows.first().row());
        return type ? type->mTypeName() : QString();
    };
    ASSERT_EQ(selectedType(), "Bank Account");

    ModalScript script;
    script.then([](QWidget* panel) {
        auto* lock = static_cast<BMLockPanel*>(panel);
        QTest::keyClicks(lock->mPasswordField(), kUserPassword);
        lock->mLackPanelOKButton()->click();
        return platform::kModalRunStopped;
    });
    controller->lockControl().displayLockPanel();
    ASSERT_TRUE(script.windows().contains("mLockPanel"));
    EXPECT_EQ(selectedType(), "Bank Account");
    EXPECT_EQ(selectedUID(), R2);

    // A hit of another type shows at once, and stays chosen once the search is cleared.
    window->mSearchField->setText("Admin");
    EXPECT_EQ(selectedType(), "Web log-in");
    ASSERT_EQ(controller->tables().namesModel()->rowCount(), 1);
    window->mColumnViewDescriptionTable->selectRow(0);
    EXPECT_EQ(selectedUID(), R3);
    window->mSearchField->clear();
    EXPECT_EQ(selectedType(), "Web log-in");
    EXPECT_EQ(selectedUID(), R3);
}
