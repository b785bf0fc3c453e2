// Accounts added, edited and deleted through the administration window
// against the real store, and what the account can do when it logs in.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QCursor>
#include <QDialog>
#include <QGuiApplication>
#include <QLabel>
#include <QProgressBar>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QTimer>

#include <cppconn/connection.h>
#include <cppconn/resultset.h>
#include <cppconn/statement.h>

#include "admin/PermissionMatrix.h"
#include "admin/TVXPopButton.h"
#include "admin/UserAccountController.h"
#include "admin/UserTables.h"
#include "app/BMController.h"
#include "app/BMProgressPanel.h"
#include "app/startup/BMStartup.h"
#include "model/BMGroup.h"
#include "model/TVXUser.h"
#include "model/TVXUser_Admin.h"
#include "store/TVXDataBase.h"
#include "support/MainWindowSelection.h"
#include "support/StoreSeed.h"
#include "support/TestStore.h"
#include "support/UiTestSupport.h"

using namespace teststore;
using tvxtest::AlertRecorder;
using tvxtest::ModalScript;
using tvxtest::Ticker;

namespace {

const QString G1 = QStringLiteral("00000000000000A1");
const QString G2 = QStringLiteral("00000000000000A2");
const QString kNameTaken = QStringLiteral(" Username Already exist in database.Please Choose another username.");

// Another client holds every account row: a new account's row waits for it.
std::unique_ptr<sql::Connection> holdAccountRows()
{
    auto holder = rootConnection();
    holder->setAutoCommit(false);
    std::unique_ptr<sql::Statement> hold(holder->createStatement());
    std::unique_ptr<sql::ResultSet>(hold->executeQuery("SELECT * FROM tolvanexdb.USERTABLE FOR UPDATE"));
    return holder;
}

bool busyCursor()
{
    return QGuiApplication::overrideCursor() && QGuiApplication::overrideCursor()->shape() == Qt::BusyCursor;
}

class AccountWindowStore : public StoreTest {
protected:
    void SetUp() override
    {
        StoreTest::SetUp();
        adminID = addAccount("boss", "boss-pw", true);
        StoreSeed seed(kMasterPassword);
        seed.group(G1, "Finance");
        seed.group(G2, "Servers");
        seed.member(adminID, G1);
        seed.member(adminID, G2);
        seed.record({"00000000000000D1", G1, "0000000000000000", {"ledger"}});
        seed.record({"00000000000000D2", G2, "0000000000000000", {"rack"}});
        ASSERT_EQ(logInAndLoad(admin, "boss", "boss-pw"), kTVXDone);
        controller = std::make_unique<UserAccountController>(admin.caches(), admin.accountAdmin());
        controller->performSearch();
    }

    template <class T> T* panelChild(const char* name) const
    {
        return controller->accountPanel()->findChild<T*>(QString::fromLatin1(name));
    }
    QTableView* groupTable() const { return controller->groupListPanel()->findChild<QTableView*>("mGroupListTable"); }
    QStringList listedNames() const
    {
        QStringList names;
        for (int row = 0; row < controller->userListModel()->rowCount(); ++row)
            names << controller->userListModel()->userAt(row)->mUsername();
        return names;
    }
    void selectUser(const QString& name) { selectUsers({name}); }
    void selectUsers(const QStringList& names)
    {
        auto* table = controller->usersWindow()->findChild<QTableView*>("mUserManagementTable");
        table->clearSelection();
        for (int row = 0; row < controller->userListModel()->rowCount(); ++row)
            if (names.contains(controller->userListModel()->userAt(row)->mUsername()))
                table->selectionModel()->select(controller->userListModel()->index(row, 0),
                                                QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
    QPushButton* listButton(const char* name) const
    {
        return controller->usersWindow()->findChild<QPushButton*>(QString::fromLatin1(name));
    }
    // Plays the group sheet: ticks the named group rows.
    void tickGroups(ModalScript& script, const QStringList& names)
    {
        script.then([this, names](QWidget*) {
            auto* model = groupTable()->model();
            for (int row = 0; row < model->rowCount(); ++row)
                if (names.contains(model->index(row, 0).data().toString()))
                    model->setData(model->index(row, 1), Qt::Checked, Qt::CheckStateRole);
            controller->OKGroupList();
            return platform::kModalRunStopped;
        });
    }
    // Fills the panel as a user would and presses OK.
    int fillAndOK(const QString& name, const QString& password, const QString& email)
    {
        fill(name, password, email);
        return pressOK();
    }
    void fill(const QString& name, const QString& password, const QString& email)
    {
        auto* nameField = panelChild<QLineEdit>("mUserNameField");
        nameField->clear();
        QTest::keyClicks(nameField, name);
        for (const char* field : {"mPasswordField", "mRetypePasswordField"}) {
            panelChild<QLineEdit>(field)->clear();
            QTest::keyClicks(panelChild<QLineEdit>(field), password);
        }
        if (!email.isNull()) {
            panelChild<QLineEdit>("mEmail")->clear();
            QTest::keyClicks(panelChild<QLineEdit>("mEmail"), email);
        }
    }
    // OK as the user presses it, then the server's answer: the run's end
    // when the account was stored, else the panel stays (aborted here).
    int pressOK(UserAccountController* window = nullptr)
    {
        UserAccountController& panel = window ? *window : *controller;
        panel.OK();
        EXPECT_TRUE(QTest::qWaitFor([&] { return !panel.isSaving(); }, 30000)) << "the save was answered";
        return panel.requestedEnd().value_or(platform::kModalRunAborted);
    }
    // What the window sent behind it was answered: the list read again, deletes, unblocks.
    bool answered(UserAccountController* window = nullptr) const
    {
        UserAccountController& list = window ? *window : *controller;
        return QTest::qWaitFor([&] { return !list.isWaitingForServer() && admin.savesInFlight() == 0; }, 30000);
    }

    QString adminID;
    TVXDataBase admin;
    std::unique_ptr<UserAccountController> controller;
};

} // namespace

TEST_F(AccountWindowStore, ANewAccountLogsInWithWhatThePanelGaveIt)
{
    ModalScript script;
    script.then([this, &script](QWidget*) {
        QTest::keyClicks(panelChild<QLineEdit>("mFullName"), "Nina Neu");
        // Records: add only. Data: print and export only.
        auto* records = panelChild<PermissionMatrix>("mRecordPermissionMatrix");
        records->cellAt(0, 1)->click();
        records->cellAt(0, 2)->click();
        auto* data = panelChild<PermissionMatrix>("mDataPermissionMatrix");
        for (auto [r, c] : {std::pair{0, 1}, {0, 2}, {1, 1}, {1, 2}})
            data->cellAt(r, c)->click();
        // The group pop-up opens the group sheet: Finance.
        tickGroups(script, {"Finance"});
        panelChild<TVXPopButton>("mGroupChoiceButton")->showPopup();
        return fillAndOK("nina", "Nina-pw1", "nina@example.org");
    });
    AlertRecorder alerts;
    controller->newUser();
    ASSERT_TRUE(answered());
    EXPECT_TRUE(alerts.alerts().empty()) << alerts.lastMessage().toStdString();
    EXPECT_TRUE(listedNames().contains("nina"));

    TVXDataBase nina;
    ASSERT_EQ(logInAndLoad(nina, "nina", "Nina-pw1"), kTVXDone);
    const TVXUser& me = *nina.caches().mCurrentUser();
    EXPECT_EQ(me.mRecordPermissionsBit(), kPermissionAdd);
    EXPECT_EQ(me.mDataPermissionsBit(), kDataPermissionPrint | kDataPermissionExportAndMail);
    EXPECT_EQ(me.mGroupPermissionsBit(), 7);
    EXPECT_EQ(me.mUsersGroupArray(), QStringList{G1});
    // It sees the records of Finance, not those of Servers.
    EXPECT_TRUE(nina.caches().mRecords().contains("00000000000000D1"));
    EXPECT_FALSE(nina.caches().mRecords().contains("00000000000000D2"));
    EXPECT_EQ(rootQueryValue("SELECT Full_name FROM mysql.user_info WHERE User='nina'"), "Nina Neu");
    // Not an administrator: it may not make accounts.
    auto other = TVXUser_Admin::createUser();
    other->setMUsername("eve");
    other->setMPassword("pw");
    EXPECT_NE(nina.accountAdmin().addUser(*other), kTVXDone);
    // The administrator's cached group counts the new member.
    EXPECT_TRUE(admin.caches().mGroups().value(G1)->mUserMembersArray().contains(me.mUserID()));
}

TEST_F(AccountWindowStore, ExistingNamesAreRefusedBeforeAnythingIsStored)
{
    ModalScript script;
    AlertRecorder alerts;
    script.then([this](QWidget*) { return fillAndOK("alice", "pw-pw", "a@x.org"); });
    controller->newUser();
    EXPECT_EQ(alerts.lastMessage(), " Username Already exist in database.Please Choose another username.");
    EXPECT_EQ(rootQueryValue("SELECT COUNT(*) FROM tolvanexdb.USERTABLE"), "2");
}

TEST_F(AccountWindowStore, AnAccountTheServerRefusesComesBackInThePanel)
{
    rootExec("CREATE TRIGGER tolvanexdb.refuse_user BEFORE INSERT ON tolvanexdb.USERTABLE FOR EACH ROW "
             "SIGNAL SQLSTATE '45000' SET MESSAGE_TEXT='refused for the test'");
    ModalScript script;
    AlertRecorder alerts;
    QStringList listedWhileRefused;
    script.then([&](QWidget*) {
        QTest::keyClicks(panelChild<QLineEdit>("mFullName"), "Nina Neu");
        panelChild<PermissionMatrix>("mRecordPermissionMatrix")->cellAt(0, 1)->click();
        EXPECT_EQ(fillAndOK("nina", "Nina-pw1", "nina@example.org"), platform::kModalRunAborted)
            << "the panel stays";
        EXPECT_EQ(alerts.lastMessage(), "Unable to create user. Try again later.");
        EXPECT_EQ(panelChild<QLineEdit>("mUserNameField")->text(), "nina");
        EXPECT_EQ(panelChild<QLineEdit>("mFullName")->text(), "Nina Neu");
        EXPECT_EQ(panelChild<QLineEdit>("mEmail")->text(), "nina@example.org");
        EXPECT_EQ(panelChild<QLineEdit>("mPasswordField")->text(), "Nina-pw1");
        EXPECT_TRUE(panelChild<QPushButton>("okButton")->isEnabled());
        listedWhileRefused = listedNames();
        rootExec("DROP TRIGGER tolvanexdb.refuse_user");
        return pressOK();
    });
    controller->newUser();
    ASSERT_TRUE(answered());
    EXPECT_EQ(script.windows().size(), 1);
    EXPECT_EQ(alerts.alerts().size(), 1u);
    EXPECT_FALSE(listedWhileRefused.contains("nina")) << "nothing reported stored";
    EXPECT_TRUE(listedNames().contains("nina"));
    TVXDataBase nina;
    ASSERT_EQ(logInAndLoad(nina, "nina", "Nina-pw1"), kTVXDone);
    EXPECT_EQ(nina.caches().mCurrentUser()->mRecordPermissionsBit(), kPermissionAdd | kPermissionDelete)
        << "the permissions chosen are kept";
}

TEST_F(AccountWindowStore, EditRenamesAndChangesThePassword)
{
    ModalScript script;
    script.then([this](QWidget*) { return fillAndOK("nina", "old-pw", "nina@example.org"); });
    controller->newUser();
    ASSERT_TRUE(answered());
    ASSERT_TRUE(listedNames().contains("nina"));

    // The name it opened with passes the existence check.
    selectUser("nina");
    script.then([&](QWidget*) { return pressOK(); });
    AlertRecorder alerts;
    controller->editUser();
    ASSERT_TRUE(answered());
    EXPECT_TRUE(alerts.alerts().empty()) << alerts.lastMessage().toStdString();
    EXPECT_EQ(controller->requestedEnd(), platform::kModalRunStopped);

    selectUser("nina");
    bool passwordShown = false;
    script.then([&](QWidget*) {
        passwordShown = panelChild<QLineEdit>("mPasswordField")->text() == "old-pw";
        return fillAndOK("nina2", "new-pw", QString());
    });
    controller->editUser();
    ASSERT_TRUE(answered());
    EXPECT_TRUE(alerts.alerts().empty()) << alerts.lastMessage().toStdString();
    EXPECT_TRUE(passwordShown);
    EXPECT_EQ(listedNames(), (QStringList{"alice", "nina2"}));

    TVXDataBase client;
    EXPECT_EQ(client.startConnectionToServer(loginRequest("nina", "old-pw")), kTVXAccessDenied);
    ASSERT_EQ(logInAndLoad(client, "nina2", "new-pw"), kTVXDone);
    EXPECT_EQ(client.caches().mCurrentUser()->mRecordPermissionsBit(), 7);
}

TEST_F(AccountWindowStore, DuplicateStoresANewAccountWithTheSamePermissions)
{
    ModalScript script;
    script.then([this](QWidget*) {
        panelChild<PermissionMatrix>("mDataPermissionMatrix")->setWord(kDataPermissionPrint);
        return fillAndOK("nina", "pw-one", "nina@example.org");
    });
    controller->newUser();
    ASSERT_TRUE(answered());
    selectUser("nina");
    script.then([this](QWidget*) {
        EXPECT_EQ(panelChild<QLineEdit>("mUserNameField")->text(), "ninacopy");
        return fillAndOK("ninacopy", "pw-two", QString());
    });
    controller->duplicateUser();
    ASSERT_TRUE(answered());
    ASSERT_EQ(listedNames(), (QStringList{"alice", "nina", "ninacopy"}));
    EXPECT_NE(controller->userListModel()->userAt(1)->mUserID(), controller->userListModel()->userAt(2)->mUserID());
    TVXDataBase copy;
    ASSERT_EQ(logInAndLoad(copy, "ninacopy", "pw-two"), kTVXDone);
    EXPECT_EQ(copy.caches().mCurrentUser()->mDataPermissionsBit(), kDataPermissionPrint);
}

TEST_F(AccountWindowStore, DeletedAccountsAreGoneAndCannotLogIn)
{
    ModalScript script;
    script.then([this](QWidget*) { return fillAndOK("nina", "pw-pw", "nina@example.org"); });
    controller->newUser();
    ASSERT_TRUE(answered());
    selectUser("nina");

    AlertRecorder alerts;
    alerts.answerNext(platform::kAlertAlternateReturn); // Yes
    controller->deleteUser();
    EXPECT_EQ(controller->deletionPanel(), nullptr) << "one account: no progress panel";
    ASSERT_TRUE(answered());
    EXPECT_EQ(alerts.alerts().size(), 1u);
    EXPECT_EQ(listedNames(), QStringList{"alice"});
    TVXDataBase client;
    EXPECT_EQ(client.startConnectionToServer(loginRequest("nina", "pw-pw")), kTVXAccessDenied);
    EXPECT_EQ(rootQueryValue("SELECT COUNT(*) FROM tolvanexdb.USERTABLE WHERE USERNAME='nina'"), "0");
}

TEST_F(AccountWindowStore, AnAdministratorInNoGroupGivesAnAccountAnyGroupOfTheStore)
{
    addAccount("keeper", "keeper-pw", true); // an administrator in no group
    TVXDataBase keeper;
    ASSERT_EQ(logInAndLoad(keeper, "keeper", "keeper-pw"), kTVXDone);
    ASSERT_TRUE(keeper.caches().groups(false).isEmpty());
    UserAccountController window(keeper.caches(), keeper.accountAdmin());
    window.performSearch();

    ModalScript script;
    QStringList offered;
    script.then([&](QWidget*) {
        script.then([&](QWidget*) {
            auto* table = window.groupListPanel()->findChild<QTableView*>("mGroupListTable");
            auto* model = table->model();
            for (int row = 0; row < model->rowCount(); ++row)
                offered << model->index(row, 0).data().toString();
            for (int row = 0; row < model->rowCount(); ++row)
                if (model->index(row, 0).data().toString() == "Servers")
                    model->setData(model->index(row, 1), Qt::Checked, Qt::CheckStateRole);
            window.OKGroupList();
            return platform::kModalRunStopped;
        });
        window.accountPanel()->findChild<TVXPopButton*>("mGroupChoiceButton")->showPopup();
        auto* popup = window.accountPanel()->findChild<TVXPopButton*>("mGroupChoiceButton");
        EXPECT_EQ(popup->itemText(0), "Servers"); // the chosen group by its name
        for (const char* name : {"mUserNameField", "mPasswordField", "mRetypePasswordField", "mEmail"})
            QTest::keyClicks(window.accountPanel()->findChild<QLineEdit*>(name),
                             QString(name) == "mEmail" ? "nina@example.org" : QString(name) == "mUserNameField" ? "nina" : "Nina-pw1");
        return pressOK(&window);
    });
    AlertRecorder alerts;
    window.newUser();
    ASSERT_TRUE(answered(&window));
    EXPECT_EQ(offered, QStringList({"Finance", "Servers"}));
    EXPECT_TRUE(alerts.alerts().empty()) << alerts.lastMessage().toStdString();

    TVXDataBase nina;
    ASSERT_EQ(logInAndLoad(nina, "nina", "Nina-pw1"), kTVXDone);
    EXPECT_EQ(nina.caches().mCurrentUser()->mUsersGroupArray(), QStringList{G2});
    EXPECT_TRUE(nina.caches().mRecords().contains("00000000000000D2"));
}

TEST_F(AccountWindowStore, UnblockLetsAnAccountTheServerBlockedLogInAgain)
{
    const int limit = rootQueryValue("SELECT @@GLOBAL.max_password_errors").toInt();
    ASSERT_GT(limit, 0);
    ASSERT_LE(limit, 100);
    TVXDataBase client;
    for (int i = 0; i < limit; ++i)
        (void)client.startConnectionToServer(loginRequest(kUserName, "guess"));
    ASSERT_EQ(client.startConnectionToServer(loginRequest()), kTVXAccountBlocked);

    auto* unblock = controller->usersWindow()->findChild<QPushButton*>("unblockButton");
    ASSERT_NE(unblock, nullptr);
    EXPECT_FALSE(unblock->isEnabled());
    selectUser(kUserName);
    ASSERT_TRUE(unblock->isEnabled());
    AlertRecorder alerts;
    QTest::mouseClick(unblock, Qt::LeftButton);
    EXPECT_FALSE(unblock->isEnabled()) << "until the server answered";
    ASSERT_TRUE(answered());
    ASSERT_EQ(alerts.alerts().size(), 1u);
    EXPECT_TRUE(alerts.lastMessage().contains("alice can log in again")) << alerts.lastMessage().toStdString();
    EXPECT_EQ(client.startConnectionToServer(loginRequest()), kTVXDone);
}

// With the server far away, the main thread waits for it in none of the
// window's commands: it never takes the connection's guard.
TEST_F(AccountWindowStore, TheWindowsCommandsLeaveTheConnectionToTheWorker)
{
    const uint64_t before = admin.connectionUsesOnMainThread();
    addAccount("zed", "zed-pw"); // by another administrator, after this client's read
    ModalScript script;
    AlertRecorder alerts;
    QStringList listedAtOnce;
    bool waitedBusy = false;
    bool editWaited = false;
    script.then([&](QWidget* window) {
        EXPECT_EQ(window, controller->usersWindow());
        listedAtOnce = listedNames();
        waitedBusy = controller->isWaitingForServer() && busyCursor();
        selectUser("alice");
        editWaited = !listButton("editButton")->isEnabled() && !listButton("deleteButton")->isEnabled();
        EXPECT_TRUE(answered());
        return platform::kModalRunStopped;
    });
    controller->displayUserList();
    EXPECT_EQ(listedAtOnce, QStringList{"alice"}) << "shown at once as cached";
    EXPECT_TRUE(waitedBusy);
    EXPECT_TRUE(editWaited) << "the row commands wait for the fresh list";
    EXPECT_EQ(listedNames(), (QStringList{"alice", "zed"}));
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_EQ(admin.connectionUsesOnMainThread(), before) << "opening";

    script.then([this](QWidget*) { return fillAndOK("nina", "Nina-pw1", "nina@example.org"); });
    controller->newUser();
    ASSERT_TRUE(answered());
    EXPECT_EQ(admin.connectionUsesOnMainThread(), before) << "adding";

    selectUser("nina");
    script.then([this](QWidget*) { return fillAndOK("nina2", "Nina-pw2", QString()); });
    controller->editUser();
    ASSERT_TRUE(answered());
    EXPECT_EQ(admin.connectionUsesOnMainThread(), before) << "editing";

    selectUser("nina2");
    script.then([this](QWidget*) { return fillAndOK("nina2copy", "Nina-pw3", QString()); });
    controller->duplicateUser();
    ASSERT_TRUE(answered());
    EXPECT_EQ(listedNames(), (QStringList{"alice", "nina2", "nina2copy", "zed"}));
    EXPECT_EQ(admin.connectionUsesOnMainThread(), before) << "duplicating";

    selectUsers({"nina2", "nina2copy"});
    alerts.answerNext(platform::kAlertAlternateReturn); // Yes
    controller->deleteUser();
    ASSERT_NE(controller->deletionPanel(), nullptr);
    EXPECT_TRUE(controller->deletionPanel()->isVisible()) << "shown while the server answers";
    EXPECT_EQ(controller->deletionPanel()->mDataLoadingProgressIndiator()->maximum(), 2);
    ASSERT_TRUE(answered());
    EXPECT_FALSE(controller->deletionPanel()->isVisible());
    EXPECT_EQ(listedNames(), (QStringList{"alice", "zed"}));
    EXPECT_EQ(rootQueryValue("SELECT COUNT(*) FROM tolvanexdb.USERTABLE WHERE USERNAME LIKE 'nina%'"), "0");
    EXPECT_EQ(admin.connectionUsesOnMainThread(), before) << "deleting two accounts";

    selectUser("zed");
    listButton("unblockButton")->click();
    ASSERT_TRUE(answered());
    EXPECT_TRUE(alerts.lastMessage().contains("zed can log in again")) << alerts.lastMessage().toStdString();
    EXPECT_EQ(admin.connectionUsesOnMainThread(), before) << "unblocking";
    for (const QString& item : UserAccountController::toolbarIdentifiers())
        controller->toolBarItemClicked(item);
    EXPECT_EQ(admin.connectionUsesOnMainThread(), before) << "the toolbar's password policy, import and export";
    EXPECT_EQ(alerts.alerts().size(), 5u) << alerts.messages().join('\n').toStdString();
}

// The server is slow to store the account: the window goes on, the panel
// keeps what was typed, says that it waits and takes no second OK; the list
// changes only once the server has taken the account.
TEST_F(AccountWindowStore, AnAddWaitingForTheServerKeepsTheWindowAnsweringAndThePanelsInput)
{
    ModalScript script;
    AlertRecorder alerts;
    const Ticker ticker;
    script.then([&](QWidget*) {
        const auto holder = holdAccountRows();
        fill("nina", "Nina-pw1", "nina@example.org");
        EXPECT_TRUE(controller->OK()) << "the checks passed";
        EXPECT_TRUE(controller->isSaving());
        EXPECT_FALSE(controller->requestedEnd()) << "OK returned before the answer";
        const int before = ticker.ticks();
        EXPECT_TRUE(QTest::qWaitFor([&] { return !controller->savingLine()->isHidden(); }, 2000)) << "the waiting line";
        EXPECT_GT(ticker.ticks(), before + 10) << "the window's timers ran while the save waited";
        EXPECT_TRUE(busyCursor());
        EXPECT_FALSE(panelChild<QPushButton>("okButton")->isEnabled());
        EXPECT_FALSE(panelChild<QPushButton>("cancelButton")->isEnabled());
        EXPECT_FALSE(controller->OK()) << "a second OK";
        controller->cancel();
        QTest::keyClick(controller->accountPanel(), Qt::Key_Escape);
        EXPECT_TRUE(controller->isSaving());
        EXPECT_FALSE(controller->requestedEnd());
        EXPECT_EQ(panelChild<QLineEdit>("mUserNameField")->text(), "nina");
        EXPECT_EQ(panelChild<QLineEdit>("mPasswordField")->text(), "Nina-pw1");
        EXPECT_FALSE(listedNames().contains("nina")) << "memory waits for the server";
        holder->rollback();
        EXPECT_TRUE(QTest::qWaitFor([&] { return !controller->isSaving(); }, 30000));
        EXPECT_TRUE(controller->savingLine()->isHidden());
        return controller->requestedEnd().value_or(platform::kModalRunAborted);
    });
    controller->newUser();
    EXPECT_EQ(controller->requestedEnd(), platform::kModalRunStopped);
    ASSERT_TRUE(answered());
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_TRUE(alerts.alerts().empty()) << alerts.lastMessage().toStdString();
    EXPECT_EQ(rootQueryValue("SELECT COUNT(*) FROM tolvanexdb.USERTABLE WHERE USERNAME='nina'"), "1");
    EXPECT_EQ(listedNames().count("nina"), 1);
    TVXDataBase nina;
    EXPECT_EQ(logInAndLoad(nina, "nina", "Nina-pw1"), kTVXDone);
}

// A name another client took after this window read its list is refused by
// the server's check, before any later check of the panel; the panel keeps
// its input and nothing is stored.
TEST_F(AccountWindowStore, ANameAnotherClientTookMeanwhileComesBackInThePanel)
{
    addAccount("nina", "other-pw");
    ModalScript script;
    AlertRecorder alerts;
    script.then([&](QWidget*) {
        EXPECT_FALSE(listedNames().contains("nina")) << "the window does not know it";
        QTest::keyClicks(panelChild<QLineEdit>("mDescriptionField"), QString(300, QLatin1Char('d')));
        EXPECT_EQ(fillAndOK("nina", "Nina-pw1", "nina@example.org"), platform::kModalRunAborted);
        EXPECT_EQ(alerts.lastMessage(), kNameTaken) << "the taken name is told before the long description";
        EXPECT_EQ(fillAndOK("nina3", "Nina-pw1", QString()), platform::kModalRunAborted);
        EXPECT_TRUE(alerts.lastMessage().startsWith(" Description too long")) << alerts.lastMessage().toStdString();
        panelChild<QLineEdit>("mDescriptionField")->setText("desk");
        EXPECT_EQ(fillAndOK("nina", "Nina-pw1", QString()), platform::kModalRunAborted);
        EXPECT_EQ(alerts.lastMessage(), kNameTaken);
        EXPECT_EQ(panelChild<QLineEdit>("mUserNameField")->text(), "nina");
        EXPECT_EQ(panelChild<QLineEdit>("mEmail")->text(), "nina@example.org");
        return platform::kModalRunAborted;
    });
    controller->newUser();
    ASSERT_TRUE(answered());
    EXPECT_EQ(alerts.alerts().size(), 3u);
    EXPECT_EQ(rootQueryValue("SELECT COUNT(*) FROM tolvanexdb.USERTABLE WHERE USERNAME LIKE 'nina%'"), "1");
    TVXDataBase client;
    EXPECT_EQ(client.startConnectionToServer(loginRequest("nina", "other-pw")), kTVXDone) << "the other's account stays";
}

// A quit asked for while an account's save waits for the server ends only
// once the save is answered: the account is on the server when the process would end.
TEST_F(AccountWindowStore, AQuitWhileAnAccountSaveWaitsEndsOnlyOnceItIsAnswered)
{
    BMController application(&admin);
    tvxtest::createMainWindow(application);
    int terminations = 0;
    QString storedAtTheEnd;
    application.startup().setTerminateHandler([&] {
        ++terminations;
        storedAtTheEnd = rootQueryValue("SELECT COUNT(*) FROM tolvanexdb.USERTABLE WHERE USERNAME='nina'");
    });
    auto holder = holdAccountRows();
    ModalScript script;
    AlertRecorder alerts;
    script.then([&](QWidget*) {
        fill("nina", "Nina-pw1", "nina@example.org");
        EXPECT_TRUE(controller->OK());
        QTimer::singleShot(300, [&] { holder->rollback(); });
        application.startup().terminate();
        EXPECT_EQ(terminations, 0) << "the quit waits for the answer";
        EXPECT_TRUE(QTest::qWaitFor([&] { return terminations > 0; }, 30000));
        return controller->requestedEnd().value_or(platform::kModalRunAborted);
    });
    controller->newUser();
    EXPECT_EQ(terminations, 1);
    EXPECT_EQ(storedAtTheEnd, "1");
    EXPECT_EQ(controller->requestedEnd(), platform::kModalRunStopped);
    EXPECT_TRUE(alerts.alerts().empty()) << alerts.lastMessage().toStdString();
}
