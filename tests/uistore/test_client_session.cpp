// The client as a user meets it: the application's controller over the shared
// database manager logs in through its panel, shows the user's records,
// fills the detail pane, adds a record through the record sheet that another
// client then sees, and locks and unlocks.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSplitter>
#include <QStackedWidget>
#include <QTest>
#include <QToolButton>
#include <QTreeView>

#include "app/BMController.h"
#include "app/lock/BMLockPanel.h"
#include "app/startup/BMLoginPanel.h"
#include "model/TVXRecord.h"
#include "model/TVXType.h"
#include "model/TVXUser.h"
#include "model/TVXUID.h"
#include "platform/core/UserDefaults.h"
#include "store/accounts/HintQuestions.h"
#include "store/TVXDataBase.h"
#include "support/StoreSeed.h"
#include "support/TestStore.h"
#include "support/UiTestSupport.h"
#include "ui/AppctlTestSupport.h"
#include "views/BMDetailsView.h"
#include "views/BMPrintDocument.h"
#include "views/BMRecordModels.h"
#include "views/BMTableView.h"
#include "windows/BMDetailsWindowController.h"
#include "windows/BMMainWindow.h"
#include "windows/BMOptionsWindowController.h"

using namespace teststore;

namespace {

const QString G1 = QStringLiteral("00000000000000A1");
const QString TBank = QStringLiteral("00000000000000C2");
const QString R1 = QStringLiteral("00000000000000B1");
const QString R2 = QStringLiteral("00000000000000B2");

class ClientSession : public StoreTest {
protected:
    void SetUp() override
    {
        StoreTest::SetUp();
        platform::UserDefaults::setValue("TLSCAFile", caFile());
        StoreSeed seed(kMasterPassword);
        seed.group(G1, "Finance");
        seed.member(aliceID, G1);
        seed.type(kWebLoginUID, "Web log-in", 12, 0b100, {"URL", "User", "Password"});
        seed.type(TBank, "Bank Account", 5, 0b10, {"Bank", "Number", "PIN"});
        seed.record({R1, G1, kWebLoginUID, {"mail", "alice", "s3cret"}});
        seed.record({R2, G1, TBank, {"Bank of Nowhere", "12-34"}, "branch in town"});
        {
            // The preference row a first start makes (the lock's attempt count lives there).
            TVXDataBase first;
            ASSERT_EQ(logInAndLoad(first), kTVXDone);
            givePreferenceRow(aliceID, kUserName);
        }
        controller = std::make_unique<BMController>(); // over the shared manager, as the application
        controller->startup().setTerminateHandler([this] { ++terminations; });
    }
    void TearDown() override
    {
        controller.reset();
        StoreTest::TearDown();
    }

    // The user at the log-in panel; the first load's progress panel closes by itself.
    bool launch()
    {
        tvxtest::ModalScript script;
        script.then([this](QWidget* window) {
            auto* panel = static_cast<BMLoginPanel*>(window);
            panel->mIPAddressField()->setText("127.0.0.1");
            panel->mPortNumberField()->setText(QString::number(port()));
            panel->mLoginUserName()->setText(kUserName);
            panel->mUserPassword()->setText(kUserPassword);
            panel->mMasterPassword()->setText(kMasterPassword);
            QTest::mouseClick(panel->mConnectToServer(), Qt::LeftButton);
            EXPECT_TRUE(QTest::qWaitFor([this] { return !controller->startup().isLoginInFlight(); }, 30000));
            return platform::kModalRunAborted;
        });
        const bool shown = controller->applicationDidFinishLaunching();
        window = controller->windowSetup().mainWindowView();
        return shown && window;
    }

    void showListView() { window->mViewsSelectionControl->button(kListViewTag)->click(); }
    QStringList listedFirstValues() const
    {
        QStringList values;
        for (const auto& record : controller->tables().listModel()->records())
            values.append(record->mValue1());
        return values;
    }
    void selectInList(const QString& value1)
    {
        const int row = int(listedFirstValues().indexOf(value1));
        ASSERT_GE(row, 0) << value1.toStdString();
        window->mListViewTypesTable->selectRow(row);
    }
    BMDetailsView* pane() const { return qobject_cast<BMDetailsView*>(window->detailsView()); }
    static QStringList titlesOf(QMenu* menu)
    {
        QStringList titles;
        for (QAction* action : menu->actions())
            if (!action->isSeparator())
                titles.append(action->text().remove(QLatin1Char('&')));
        return titles;
    }
    // The next widget the Tab key reaches after `from` (its own parts skipped).
    static QWidget* nextTabStop(QWidget* from)
    {
        for (QWidget* next = from->nextInFocusChain(); next && next != from; next = next->nextInFocusChain())
            if (!from->isAncestorOf(next) && (next->focusPolicy() & Qt::TabFocus))
                return next;
        return nullptr;
    }

    appctltest::IsolatedDesktop desktop;
    std::unique_ptr<BMController> controller;
    BMMainWindow* window = nullptr;
    int terminations = 0;
};

} // namespace

TEST_F(ClientSession, TheMainWindowShowsTheUsersRecordsAndTheSelectedOneInThePane)
{
    ASSERT_TRUE(launch());
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->windowTitle(), "Tolvanex Enterprise - alice");
    EXPECT_EQ(window->mCategoriesPopup->currentText(), "Finance (2)");
    ASSERT_NE(pane(), nullptr);
    EXPECT_EQ(controller->attachmentCommands().detailInfoView(), pane());
    window->mViewsSelectionControl->button(kColumnViewTag)->click();
    EXPECT_EQ(controller->tables().typesModel()->rowCount(), 2) << "the chosen group's types";
    QApplication::processEvents();
    EXPECT_GT(window->mColumnViewTypesTable->height(), 92) << "the types table is not folded away at launch";

    showListView();
    EXPECT_EQ(listedFirstValues(), QStringList({"Bank of Nowhere", "mail"}));
    selectInList("mail");
    ASSERT_NE(pane()->detailInfo(), nullptr);
    EXPECT_EQ(pane()->detailInfo()->mRecordUID(), R1);
    EXPECT_EQ(pane()->headerTitle(), "mail");
    EXPECT_TRUE(window->mAutoFillButton->isEnabled()) << "a web log-in record";
    selectInList("Bank of Nowhere");
    EXPECT_EQ(pane()->detailInfo()->mRecordUID(), R2);
    EXPECT_FALSE(window->mAutoFillButton->isEnabled());

    // The launch took three items out of the menus and let the type views take drops.
    EXPECT_FALSE(titlesOf(window->mFileMenu).contains("Edit Users..."));
    EXPECT_FALSE(titlesOf(window->mFileMenu).contains("Set Master Password..."));
    EXPECT_TRUE(titlesOf(window->mFileMenu).contains("Set Password..."));
    EXPECT_FALSE(titlesOf(window->mViewMenu).contains("Event Log..."));
    EXPECT_TRUE(window->mColumnViewTypesTable->acceptDrops());
    EXPECT_TRUE(window->mTreeViewOutlineView->acceptDrops());
    // Tab goes from the types to their records, then to the smart types.
    EXPECT_EQ(nextTabStop(window->mColumnViewTypesTable), window->mColumnViewDescriptionTable);
    EXPECT_EQ(nextTabStop(window->mColumnViewDescriptionTable), window->mSmartTypesTable);
    EXPECT_EQ(terminations, 0);
}

TEST_F(ClientSession, ARecordAddedThroughTheSheetReachesAnotherClient)
{
    ASSERT_TRUE(launch());
    showListView();
    auto& sheet = controller->recordCommands().detailsWindowController();
    tvxtest::AlertRecorder alerts;
    tvxtest::ModalScript script;
    script.then([&](QWidget*) {
        EXPECT_EQ(sheet.groupPopup()->currentText(), "Finance") << "the chosen group is preset";
        const int web = sheet.typePopup()->findText("Web log-in");
        EXPECT_GE(web, 0);
        sheet.typePopup()->setCurrentIndex(web);
        emit sheet.typePopup()->activated(web);
        QTest::keyClicks(sheet.valueField(0), "router");
        QTest::keyClicks(sheet.valueField(1), "admin");
        QTest::keyClicks(sheet.valueField(2), "r0uter-pw");
        sheet.okButton()->click();
        EXPECT_TRUE(QTest::qWaitFor([&] { return !sheet.isSaving(); }, 30000)); // the store's answer
        return sheet.requestedEnd().value_or(platform::kModalRunAborted);
    });
    window->mAddButton->click();
    EXPECT_EQ(script.windows(), QStringList{"DetailsWindowController"});
    EXPECT_TRUE(alerts.alerts().empty()) << alerts.lastMessage().toStdString();
    EXPECT_EQ(listedFirstValues(), QStringList({"Bank of Nowhere", "mail", "router"}));

    TVXDataBase other;
    ASSERT_EQ(logInAndLoad(other), kTVXDone);
    std::shared_ptr<TVXRecord> seen;
    for (const auto& record : other.caches().mRecords())
        if (record->mValue1() == "router")
            seen = record;
    ASSERT_NE(seen, nullptr);
    EXPECT_EQ(seen->mValue2(), "admin");
    EXPECT_EQ(seen->mValue3(), "r0uter-pw");
    ASSERT_NE(seen->mType(), nullptr);
    EXPECT_EQ(seen->mType()->mTypeUID(), kWebLoginUID);
}

TEST_F(ClientSession, LockingHidesTheRecordsUntilTheRightPasswordUnlocks)
{
    ASSERT_TRUE(launch());
    showListView();
    selectInList("mail");
    tvxtest::AlertRecorder alerts;
    tvxtest::ModalScript script;
    int rowsWhileLocked = -1;
    bool paneEmptyWhileLocked = false;
    script.then([&](QWidget* window) {
        auto* panel = static_cast<BMLockPanel*>(window);
        rowsWhileLocked = controller->tables().listModel()->rowCount();
        paneEmptyWhileLocked = pane()->detailInfo() == nullptr;
        QTest::keyClicks(panel->mPasswordField(), "not-it");
        QTest::mouseClick(panel->mLackPanelOKButton(), Qt::LeftButton);
        QTest::keyClicks(panel->mPasswordField(), kUserPassword);
        QTest::mouseClick(panel->mLackPanelOKButton(), Qt::LeftButton);
        return platform::kModalRunStopped;
    });
    window->mToolbarLockButton->click();
    EXPECT_EQ(script.windows(), QStringList({"mLockPanel", "mLoadingDataPanel"}));
    EXPECT_EQ(alerts.messages(), QStringList{"That is not a correct password."});
    EXPECT_EQ(rowsWhileLocked, 0);
    EXPECT_TRUE(paneEmptyWhileLocked);
    EXPECT_FALSE(controller->lockControl().isLocked());
    EXPECT_EQ(listedFirstValues(), QStringList({"Bank of Nowhere", "mail"}));
    EXPECT_EQ(terminations, 0);
}

// With the server far away, the main thread waits for it in none of these:
// it never takes the connection's guard (a worker may hold it for a while).
TEST_F(ClientSession, TheLogInsEndTheSwitchesLockAndUnlockLeaveTheConnectionToWorkers)
{
    const TVXDataBase& store = TVXDataBase::sharedTVXDataBase();
    const uint64_t before = store.connectionUsesOnMainThread();
    ASSERT_TRUE(launch());
    EXPECT_EQ(store.connectionUsesOnMainThread(), before) << "the log-in, its end included";

    // The list reads its columns, and keeps them when left.
    for (int view : {kListViewTag, kColumnViewTag, kTreeViewTag, kListViewTag, kColumnViewTag})
        window->mViewsSelectionControl->button(view)->click();
    EXPECT_EQ(store.connectionUsesOnMainThread(), before) << "the view switches";
    QComboBox* groups = window->mCategoriesPopup;
    for (int i = groups->count() - 1; i >= 0; --i) {
        groups->setCurrentIndex(i);
        controller->tables().changeCategory();
    }
    EXPECT_EQ(store.connectionUsesOnMainThread(), before) << "the group switches";
    controller->tables().toggleInfoView(false);
    EXPECT_EQ(store.connectionUsesOnMainThread(), before) << "the detail pane hidden";

    tvxtest::AlertRecorder alerts;
    tvxtest::ModalScript script;
    script.then([&](QWidget* window) {
        auto* panel = static_cast<BMLockPanel*>(window);
        QTest::keyClicks(panel->mPasswordField(), "not-it");
        QTest::mouseClick(panel->mLackPanelOKButton(), Qt::LeftButton);
        QTest::keyClicks(panel->mPasswordField(), kUserPassword);
        QTest::mouseClick(panel->mLackPanelOKButton(), Qt::LeftButton);
        return platform::kModalRunStopped;
    });
    window->mToolbarLockButton->click();
    EXPECT_FALSE(controller->lockControl().isLocked());
    EXPECT_EQ(store.connectionUsesOnMainThread(), before) << "the lock and unlock";

    // What went behind the window arrived: the failed attempt's count was put back.
    TVXDataBase::sharedTVXDataBase().writeBehind().flush();
    EXPECT_EQ(rootQueryValue(QStringLiteral("SELECT LOGINATTEMPTCOUNT FROM tolvanexdb.APPPREFTABLE WHERE USERID='%1'")
                                 .arg(aliceID)),
              "0");
    EXPECT_EQ(rootQueryValue("SELECT COUNT(*) FROM tolvanexdb.EVENTLOGGERTABLE WHERE EVENT='Failed login attempt'"),
              "1");
    EXPECT_EQ(rootQueryValue(QStringLiteral("SELECT COUNT(*) FROM tolvanexdb.COLUMNINFOTABLE WHERE USERID='%1'")
                                 .arg(aliceID)),
              "1");
    EXPECT_EQ(rootQueryValue(QStringLiteral("SELECT SHOWDETAILPANE FROM tolvanexdb.APPPREFTABLE WHERE USERID='%1'")
                                 .arg(aliceID)),
              "0");

    // The options window's OK: its row, the column settings of every type and the edit's event row.
    {
        tvxtest::AlertRecorder answers;
        answers.answerNext(platform::kAlertOtherReturn); // every type takes the columns
        tvxtest::ModalScript options;
        options.then([&](QWidget* window) {
            auto* sheet = static_cast<BMOptionsWindowController*>(window);
            auto* notes = sheet->findChild<QCheckBox*>("mShowColumnMatrix_2_2");
            notes->setChecked(!notes->isChecked());
            sheet->ok();
            EXPECT_TRUE(QTest::qWaitFor([&] { return !sheet->isSaving(); }, 30000));
            return sheet->requestedEnd().value_or(platform::kModalRunAborted);
        });
        controller->recordCommands().displayOptionsPanel(nullptr);
        EXPECT_EQ(options.windows().size(), 1);
    }
    EXPECT_EQ(store.connectionUsesOnMainThread(), before) << "the options saved";
    TVXDataBase::sharedTVXDataBase().writeBehind().flush();
    EXPECT_EQ(rootQueryValue("SELECT COUNT(*) FROM tolvanexdb.EVENTLOGGERTABLE WHERE EVENT='Edit Settings'"), "1");

    // The quit's view state: every part of it is on the server once the quit
    // is through, though another client overwrote the row meanwhile.
    const auto preference = [this](const char* column) {
        return rootQueryValue(
            QStringLiteral("SELECT %1 FROM tolvanexdb.APPPREFTABLE WHERE USERID='%2'").arg(QLatin1String(column), aliceID));
    };
    rootExec(QStringLiteral("UPDATE tolvanexdb.APPPREFTABLE SET LASTVIEW=7, SHOWDETAILPANE=1, CURRENTCATEGORY='x', "
                            "WINDOWPOS='', DETAILPANEWIDTH=1 WHERE USERID='%1'")
                 .arg(aliceID));
    controller->startup().applicationWillTerminate();
    EXPECT_EQ(store.connectionUsesOnMainThread(), before) << "the view state at the quit";
    EXPECT_EQ(preference("LASTVIEW"), QString::number(kColumnViewTag));
    EXPECT_EQ(preference("SHOWDETAILPANE"), "0");
    EXPECT_EQ(preference("CURRENTCATEGORY"), store.caches().mCurrentUser()->mCurrentGroup());
    EXPECT_FALSE(preference("WINDOWPOS").isEmpty());
    EXPECT_EQ(preference("DETAILPANEWIDTH"), QString::number(store.caches().mCurrentUser()->mDetailPanelWidth()));
}

TEST_F(ClientSession, TheRecordSheetCustomisesAndPrintsThroughTheApplication)
{
    ASSERT_TRUE(launch());
    auto& sheet = controller->recordCommands().detailsWindowController();
    EXPECT_FALSE(sheet.customiseButton()->isHidden());
    EXPECT_FALSE(sheet.printButton()->isHidden());

    QList<BMPrintDocument> printed;
    const auto previous = setPrintPresenter([&](const BMPrintDocument& document, QWidget*) {
        printed.append(document);
        return true;
    });
    tvxtest::ModalScript script;
    script.then([&](QWidget*) {
        sheet.printButton()->click();
        sheet.customiseButton()->click();
        return platform::kModalRunAborted;
    });
    script.then([](QWidget*) { return platform::kModalRunAborted; }); // the field-set sheet: Cancel
    auto record = TVXDataBase::sharedTVXDataBase().caches().mRecords().value(R2);
    ASSERT_NE(record, nullptr);
    int operation = 1;
    EXPECT_EQ(sheet.orderFrontDetailsWindowWithInfo(record, operation), nullptr);
    setPrintPresenter(previous);
    EXPECT_EQ(script.windows(), QStringList({"DetailsWindowController", "CustomSettingsPanel"}));
    ASSERT_EQ(printed.size(), 1);
    EXPECT_EQ(printed.first().footer, recordPrintFooter(kUserName));
    EXPECT_FALSE(record->mIsCustomized()) << "a cancelled field-set sheet changes nothing";
}

TEST_F(ClientSession, TheSplitLayoutsAreKeptAtQuitAndComeBackAtTheNextStart)
{
    ASSERT_TRUE(launch());
    window->resize(1100, 680);
    QSplitter* main = window->mMainSplitView;
    main->setSizes({700, main->width() - 700 - main->handleWidth()});
    ASSERT_EQ(main->sizes().at(0), 700);
    controller->startup().applicationWillTerminate();
    const QStringList stored = platform::UserDefaults::stringList(kMainSplitViewAutosaveName);
    ASSERT_EQ(stored.size(), 2);
    EXPECT_TRUE(stored.at(0).contains(", {700, ")) << stored.at(0).toStdString();

    // The next start puts the divider back where it was.
    controller.reset();
    controller = std::make_unique<BMController>();
    controller->startup().setTerminateHandler([this] { ++terminations; });
    ASSERT_TRUE(launch());
    window->resize(1100, 680);
    EXPECT_EQ(window->mMainSplitView->sizes().at(0), 700);
}

// Pictures of the launched client, for looking at by eye: written only when
// TVX_SCREENSHOT_DIR names a folder.
TEST_F(ClientSession, PicturesOfTheLaunchedWindow)
{
    const QString folder = qEnvironmentVariable("TVX_SCREENSHOT_DIR");
    if (folder.isEmpty())
        GTEST_SKIP() << "set TVX_SCREENSHOT_DIR to write the pictures";
    QDir().mkpath(folder);
    ASSERT_TRUE(launch());
    window->resize(1180, 720);
    window->mViewsSelectionControl->button(kColumnViewTag)->click();
    window->mColumnViewTypesTable->selectRow(0);
    window->mColumnViewDescriptionTable->selectRow(0);
    QApplication::processEvents();
    EXPECT_TRUE(window->grab().save(folder + "/client-column.png"));
    showListView();
    selectInList("mail");
    QApplication::processEvents();
    EXPECT_TRUE(window->grab().save(folder + "/client-list.png"));
    window->mUnmaskButton->click();
    QApplication::processEvents();
    EXPECT_TRUE(window->grab().save(folder + "/client-list-unmasked.png"));
    for (QMenu* menu : {window->mFileMenu, window->mItemMenu}) {
        menu->popup(window->mapToGlobal(QPoint(10, 20)));
        QApplication::processEvents();
        EXPECT_TRUE(menu->grab().save(folder + "/client-menu-" + menu->title().remove(QLatin1Char('&')) + ".png"));
        menu->hide();
    }
}

TEST_F(ClientSession, TheColumnViewShowsTheRecordsOfItsSelectedTypeAfterTheLogIn)
{
    // The user quit in the column view with the bank type chosen.
    rootExec(QString("UPDATE tolvanexdb.APPPREFTABLE SET LASTVIEW=0 WHERE USERID='%1'").arg(aliceID));
    ASSERT_TRUE(launch());
    window->show();
    QApplication::processEvents();
    ASSERT_EQ(controller->tables().currentView(), kColumnViewTag);
    const QModelIndexList types = window->mColumnViewTypesTable->selectionModel()->selectedRows();
    ASSERT_EQ(types.size(), 1) << "a type is chosen";
    EXPECT_EQ(window->mColumnViewTypesTable->currentIndex().row(), types.first().row());
    EXPECT_GT(window->mColumnViewDescriptionTable->model()->rowCount(), 0) << "and its records are listed";
}

TEST_F(ClientSession, TheListViewAtTheLogInListsTheGroupInOrderWithThePaneOnTheChosenRecord)
{
    rootExec(QString("UPDATE tolvanexdb.APPPREFTABLE SET LASTVIEW=1 WHERE USERID='%1'").arg(aliceID));
    ASSERT_TRUE(launch());
    QApplication::processEvents();
    ASSERT_EQ(controller->tables().currentView(), kListViewTag);
    EXPECT_EQ(window->mTabView->currentWidget(), window->mListView);
    EXPECT_EQ(window->mCategoriesPopup->currentText(), "Finance (2)");
    EXPECT_EQ(listedFirstValues(), QStringList({"Bank of Nowhere", "mail"}));
    const auto chosen = controller->tables().itemPropertiesForTableViewSelectedRow();
    ASSERT_NE(pane(), nullptr);
    if (chosen) {
        ASSERT_NE(pane()->detailInfo(), nullptr);
        EXPECT_EQ(pane()->detailInfo()->mRecordUID(), chosen->mRecordUID());
    } else {
        EXPECT_EQ(pane()->detailInfo(), nullptr);
    }
    EXPECT_EQ(terminations, 0);
}
