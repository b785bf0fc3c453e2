// Accounts added, edited and deleted through the administration window
// against the real store, and what the account can do when it logs in.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDialog>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTest>

#include "admin/PermissionMatrix.h"
#include "admin/TVXPopButton.h"
#include "admin/UserAccountController.h"
#include "admin/UserTables.h"
#include "model/BMGroup.h"
#include "model/TVXUser.h"
#include "model/TVXUser_Admin.h"
#include "store/TVXDataBase.h"
#include "support/StoreSeed.h"
#include "support/TestStore.h"
#include "support/UiTestSupport.h"

using namespace teststore;
using tvxtest::AlertRecorder;
using tvxtest::ModalScript;

namespace {

const QString G1 = QStringLiteral("00000000000000A1");
const QString G2 = QStringLiteral("00000000000000A2");

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
    void selectUser(const QString& name)
    {
        auto* table = controller->usersWindow()->findChild<QTableView*>("mUserManagementTable");
        table->clearSelection();
        for (int row = 0; row < controller->userListModel()->rowCount(); ++row)
            if (controller->userListModel()->userAt(row)->mUsername() == name)
                table->selectRow(row);
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
        return controller->OK() ? platform::kModalRunStopped : platform::kModalRunAborted;
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
    script.then([this](QWidget*) {
        QTest::keyClicks(panelChild<QLineEdit>("mFullName"), "Nina Neu");
        panelChild<PermissionMatrix>("mRecordPermissionMatrix")->cellAt(0, 1)->click();
        return fillAndOK("nina", "Nina-pw1", "nina@example.org");
    });
    script.then([&](QWidget*) {
        EXPECT_EQ(alerts.lastMessage(), "Unable to create user. Try again later.");
        EXPECT_EQ(panelChild<QLineEdit>("mUserNameField")->text(), "nina");
        EXPECT_EQ(panelChild<QLineEdit>("mFullName")->text(), "Nina Neu");
        EXPECT_EQ(panelChild<QLineEdit>("mEmail")->text(), "nina@example.org");
        rootExec("DROP TRIGGER tolvanexdb.refuse_user");
        return controller->OK() ? platform::kModalRunStopped : platform::kModalRunAborted;
    });
    controller->newUser();
    EXPECT_EQ(script.windows().size(), 2);
    EXPECT_EQ(alerts.alerts().size(), 1u);
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
    ASSERT_TRUE(listedNames().contains("nina"));

    selectUser("nina");
    bool passwordShown = false;
    script.then([&](QWidget*) {
        passwordShown = panelChild<QLineEdit>("mPasswordField")->text() == "old-pw";
        // The name it opened with passes the existence check.
        EXPECT_TRUE(controller->OK());
        return fillAndOK("nina2", "new-pw", QString());
    });
    AlertRecorder alerts;
    controller->editUser();
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
    selectUser("nina");
    script.then([this](QWidget*) {
        EXPECT_EQ(panelChild<QLineEdit>("mUserNameField")->text(), "ninacopy");
        return fillAndOK("ninacopy", "pw-two", QString());
    });
    controller->duplicateUser();
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
    selectUser("nina");

    AlertRecorder alerts;
    alerts.answerNext(platform::kAlertAlternateReturn); // Yes
    controller->deleteUser();
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
        return window.OK() ? platform::kModalRunStopped : platform::kModalRunAborted;
    });
    AlertRecorder alerts;
    window.newUser();
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
    ASSERT_EQ(alerts.alerts().size(), 1u);
    EXPECT_TRUE(alerts.lastMessage().contains("alice can log in again")) << alerts.lastMessage().toStdString();
    EXPECT_EQ(client.startConnectionToServer(loginRequest()), kTVXDone);
}
