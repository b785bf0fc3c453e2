// The user administration window without a server: the panel's checks and
// their order, the permission matrices, the group sheet, and the list's
// buttons and columns.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDialog>
#include <QGuiApplication>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTableView>
#include <QApplication>
#include <QTest>
#include <QTimer>

#include "admin/PermissionMatrix.h"
#include "admin/TVXPopButton.h"
#include "admin/UserAccountChecks.h"
#include "admin/UserAccountController.h"
#include "admin/UserTables.h"
#include "model/BMGroup.h"
#include "model/BMPasswordPolicyController.h"
#include "model/TVXUser_Admin.h"
#include "store/TVXDataBase.h"
#include "support/UiTestSupport.h"

using namespace useradmin;
using tvxtest::AlertRecorder;
using tvxtest::ModalScript;

namespace {

const QString kSpaces = QStringLiteral("Username should not contain spaces.");
const QString kMismatch = QStringLiteral(" Password Mismatch: Please re-enter the password.");
const QString kInvalid = QStringLiteral("Invalid Username.");
const QString kNoEmail = QStringLiteral("Email field cannnot be empty.");
const QString kExists = QStringLiteral(" Username Already exist in database.Please Choose another username.");
const QString kTooLongName = QStringLiteral(" Username can contain maximum of 16 characters.Please Choose another username.");
const QString kTooLongDescription =
    QStringLiteral(" Description too long, Description can contain maximum of 200 characters.Please change Description.");
const QString kTooLongPassword =
    QStringLiteral(" Password is too long, it  can contain maximum of 40 characters.Please Choose another password.");
const QString kPolicy = QStringLiteral("Your password doesn't match with password policy.");

class AccountChecks : public ::testing::Test {
protected:
    QString refusal(AccountInput input, bool editing = false, const QString& original = QString())
    {
        const auto r = checkAccountInput(input, editing, original, exists, policy);
        return r ? r->message : QString();
    }
    static AccountInput valid()
    {
        return {QStringLiteral("nina"), QStringLiteral("desk"), QStringLiteral("pw1234"), QStringLiteral("pw1234"),
                QStringLiteral("nina@example.org")};
    }
    QStringList existing{QStringLiteral("alice")};
    std::function<bool(const QString&)> exists = [this](const QString& n) { return existing.contains(n); };
    BMPasswordPolicyController policy;
};

TEST_F(AccountChecks, EachCheckInItsOrder)
{
    EXPECT_EQ(refusal(valid()), QString());

    auto in = valid();
    in.name = "a b";
    in.retypedPassword = "other"; // the blank is reported before the mismatch
    const auto spaces = checkAccountInput(in, false, {}, exists, policy);
    ASSERT_TRUE(spaces);
    EXPECT_EQ(spaces->message, kSpaces);
    EXPECT_EQ(spaces->title, "Tolvanex Enterprise");

    in = valid();
    in.name = "ROOT";
    in.retypedPassword = "other"; // the mismatch comes before the name
    EXPECT_EQ(refusal(in), kMismatch);
    in.retypedPassword = in.password;
    const auto root = checkAccountInput(in, false, {}, exists, policy);
    ASSERT_TRUE(root);
    EXPECT_EQ(root->message, kInvalid);
    EXPECT_EQ(root->title, "Tolvanex Enterprise Alert!");

    for (const char* name : {"  ", "", "\t", "root", "Root"}) {
        in.name = name;
        EXPECT_EQ(refusal(in), kInvalid) << name;
    }

    in = valid();
    in.email.clear();
    EXPECT_EQ(refusal(in), kNoEmail);
}

TEST_F(AccountChecks, ExistingNamesAreRefusedExceptTheEditedAccountsOwn)
{
    auto in = valid();
    in.name = "alice";
    EXPECT_EQ(refusal(in), kExists);
    EXPECT_EQ(refusal(in, true, "alice"), QString()); // renamed to its own name
    EXPECT_EQ(refusal(in, true, "bob"), kExists);
    in.name = "bob";
    EXPECT_EQ(refusal(in, true, "bob"), QString());
}

TEST_F(AccountChecks, LengthLimits)
{
    auto in = valid();
    in.name = QString(16, 'n');
    EXPECT_EQ(refusal(in), QString());
    in.name = QString(17, 'n');
    EXPECT_EQ(refusal(in), kTooLongName);

    in = valid();
    in.description = QString(255, 'd');
    EXPECT_EQ(refusal(in), QString());
    in.description = QString(256, 'd');
    EXPECT_EQ(refusal(in), kTooLongDescription);

    // A policy no password meets: the length is refused before the policy is asked.
    policy.passwordPolicyDidChanged({{kSPPMinLength, 60}, {kSPPCharSetFlag, 0}});
    in = valid();
    in.password = in.retypedPassword = QString(41, 'p');
    EXPECT_EQ(refusal(in), kTooLongPassword);
    in.password = in.retypedPassword = QString(40, 'p');
    EXPECT_EQ(refusal(in), kPolicy);
    // An empty password is not held to the policy.
    in.password = in.retypedPassword = QString();
    EXPECT_EQ(refusal(in), QString());
}

TEST_F(AccountChecks, NamesTheServerWouldRefuseAreInvalid)
{
    for (const char* name : {"o'brien", "x;drop", "a%", "jos\xc3\xa9", "carl\n", "PUBLIC", "mysql.sys", "MariaDB.sys"}) {
        auto in = valid();
        in.name = QString::fromUtf8(name);
        EXPECT_EQ(refusal(in), kInvalid) << name;
    }
}

TEST(PermissionMatrixBits, CellsMapToTheWordsBits)
{
    PermissionMatrix data(kDataMatrixRows, kMatrixColumns, {});
    data.cellAt(1, 0)->setChecked(true);
    EXPECT_EQ(data.word(), dataPermissionBit(1, 0));
    EXPECT_EQ(data.word(), kDataPermissionExportAndMail);
    data.cellAt(0, 2)->setChecked(true);
    EXPECT_EQ(data.word(), kDataPermissionExportAndMail | kDataPermissionImport);
    data.setWord(kAllDataPermissions);
    EXPECT_TRUE(data.cellAt(1, 2)->isChecked());
    data.setWord(2);
    EXPECT_TRUE(data.cellAt(0, 1)->isChecked());
    EXPECT_FALSE(data.cellAt(0, 0)->isChecked());

    PermissionMatrix item(1, kMatrixColumns, {});
    item.cellAt(0, 2)->setChecked(true);
    EXPECT_EQ(item.word(), kPermissionDelete);
}

// The window over a manager without a server, its caches filled by hand.
class AccountWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        addUser("alice", "pw", "Accounts");
        addUser("albert", "", "Albert's desk");
        addUser("bob", "pw", "");
        addGroup("00000000000000A1", "Finance");
        addGroup("00000000000000A2", "Servers");
        controller = std::make_unique<UserAccountController>(db.caches(), db.accountAdmin());
        controller->performSearch();
    }

    std::shared_ptr<TVXUser_Admin> addUser(const QString& name, const QString& password, const QString& description)
    {
        auto user = TVXUser_Admin::createUser();
        user->setMUsername(name);
        user->setMPassword(password);
        user->setMDescription(description);
        user->setMEmail(name + "@example.org");
        user->setMRecordPermissionsBit(3);
        db.caches().mUsers().insert(user->mUserID(), user);
        return user;
    }
    void addGroup(const QString& uid, const QString& name)
    {
        auto group = std::make_shared<BMGroup>();
        group->setMGroupUID(uid);
        group->setMGroupName(name);
        db.caches().mGroups().insert(uid, group);
    }
    template <class T> T* panelChild(const char* name) const
    {
        return controller->accountPanel()->findChild<T*>(QString::fromLatin1(name));
    }
    template <class T> T* listChild(const char* name) const
    {
        return controller->usersWindow()->findChild<T*>(QString::fromLatin1(name));
    }
    QTableView* table() const { return listChild<QTableView>("mUserManagementTable"); }
    void selectRows(std::initializer_list<int> rows)
    {
        table()->clearSelection();
        for (int row : rows)
            table()->selectionModel()->select(controller->userListModel()->index(row, 0),
                                              QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
    QString cell(int row, int column) const
    {
        return controller->userListModel()->index(row, column).data().toString();
    }
    bool enabled(const char* button) const { return listChild<QPushButton>(button)->isEnabled(); }

    TVXDataBase db;
    std::unique_ptr<UserAccountController> controller;
};

TEST_F(AccountWindow, ListColumnsAndSearch)
{
    ASSERT_EQ(controller->userListModel()->rowCount(), 3);
    EXPECT_EQ(cell(0, 0), "albert");
    EXPECT_EQ(cell(0, 2), "No"); // no password
    EXPECT_EQ(cell(1, 0), "alice");
    EXPECT_EQ(cell(1, 1), "Accounts");
    EXPECT_EQ(cell(1, 2), "Yes");

    QTest::keyClicks(listChild<QLineEdit>("mSearchField"), "AL");
    ASSERT_EQ(controller->userListModel()->rowCount(), 2);
    EXPECT_EQ(cell(1, 0), "alice");
}

TEST_F(AccountWindow, ActionButtonsFollowTheSelection)
{
    EXPECT_FALSE(enabled("editButton"));
    EXPECT_FALSE(enabled("deleteButton"));
    selectRows({1});
    EXPECT_TRUE(enabled("editButton"));
    EXPECT_TRUE(enabled("duplicateButton"));
    EXPECT_TRUE(enabled("deleteButton"));
    selectRows({0, 2});
    EXPECT_FALSE(enabled("editButton"));
    EXPECT_FALSE(enabled("duplicateButton"));
    EXPECT_TRUE(enabled("deleteButton"));

    // A search that matches nothing empties the list and disables all three.
    selectRows({1});
    QTest::keyClicks(listChild<QLineEdit>("mSearchField"), "zz");
    EXPECT_EQ(controller->userListModel()->rowCount(), 0);
    EXPECT_FALSE(enabled("editButton"));
    EXPECT_FALSE(enabled("duplicateButton"));
    EXPECT_FALSE(enabled("deleteButton"));
}

TEST_F(AccountWindow, WithoutSelectionOnlyTheEditButtonComplainsOnEdit)
{
    AlertRecorder alerts;
    ModalScript script;
    controller->editUser(0); // a double-click on no row
    EXPECT_TRUE(alerts.alerts().empty());
    controller->editUser(UserAccountController::kEditTag);
    controller->duplicateUser();
    controller->deleteUser();
    EXPECT_EQ(alerts.messages(), QStringList(3, "No User is selected"));
    EXPECT_TRUE(script.windows().isEmpty());
}

TEST_F(AccountWindow, ANewAccountStartsWithAllPermissions)
{
    ModalScript script;
    bool allTicked = false;
    bool selectAllAfterUntick = true;
    bool allClearedBySelectAll = false;
    script.then([&](QWidget*) {
        auto* selectAll = panelChild<QCheckBox>("mSelectAllCheckBox");
        auto* data = panelChild<PermissionMatrix>("mDataPermissionMatrix");
        auto* groups = panelChild<PermissionMatrix>("mGroupPermisiionMatrix");
        allTicked = selectAll->isChecked() && data->word() == kAllDataPermissions
                    && groups->word() == kAllItemPermissions
                    && panelChild<PermissionMatrix>("mRecordPermissionMatrix")->word() == kAllItemPermissions
                    && panelChild<PermissionMatrix>("mTypePermisiionMatrix")->word() == kAllItemPermissions;
        groups->cellAt(0, 1)->click();
        selectAllAfterUntick = selectAll->isChecked();
        selectAll->click(); // ticks: all on again
        selectAll->click(); // unticks: all off
        allClearedBySelectAll = data->word() == 0 && groups->word() == 0;
        return platform::kModalRunAborted;
    });
    controller->newUser();
    EXPECT_TRUE(allTicked);
    EXPECT_FALSE(selectAllAfterUntick);
    EXPECT_TRUE(allClearedBySelectAll);
}

TEST_F(AccountWindow, AFailedCheckKeepsThePanelAndItsInput)
{
    AlertRecorder alerts;
    ModalScript script;
    bool accepted = true;
    script.then([&](QWidget*) {
        QTest::keyClicks(panelChild<QLineEdit>("mUserNameField"), "new one");
        QTest::keyClicks(panelChild<QLineEdit>("mEmail"), "n@x.org");
        QTest::mouseClick(panelChild<QPushButton>("okButton"), Qt::LeftButton);
        accepted = false;
        // The user fixes the name; OK passes now.
        panelChild<QLineEdit>("mUserNameField")->setText("newone");
        accepted = controller->OK();
        return accepted ? platform::kModalRunStopped : platform::kModalRunAborted;
    });
    int code = kPanelNew;
    const auto user = controller->orderFrontAddUserPanelWithUser(nullptr, code);
    EXPECT_EQ(alerts.messages(), QStringList{kSpaces});
    EXPECT_EQ(alerts.lastTitle(), "Tolvanex Enterprise");
    EXPECT_TRUE(accepted);
    ASSERT_TRUE(user);
    EXPECT_EQ(user->mUsername(), "newone");
    EXPECT_EQ(user->mEmail(), "n@x.org");
    EXPECT_EQ(user->mDataPermissionsBit(), kAllDataPermissions);
}

TEST_F(AccountWindow, DuplicateOffersTheNameWithCopyAndNoPassword)
{
    selectRows({1}); // alice
    QString offeredName;
    QString offeredPassword = "unset";
    uint16_t offeredRecordBits = 0;
    ModalScript script;
    script.then([&](QWidget*) {
        offeredName = panelChild<QLineEdit>("mUserNameField")->text();
        offeredPassword = panelChild<QLineEdit>("mPasswordField")->text();
        offeredRecordBits = panelChild<PermissionMatrix>("mRecordPermissionMatrix")->word();
        return platform::kModalRunAborted;
    });
    controller->duplicateUser();
    EXPECT_EQ(offeredName, "alicecopy");
    EXPECT_TRUE(offeredPassword.isEmpty());
    EXPECT_EQ(offeredRecordBits, 3);
    EXPECT_EQ(db.caches().mUsers().size(), 3); // cancelled: nothing stored
}

TEST_F(AccountWindow, EditingHidesThePasswordAndKeepsTheIdentifier)
{
    selectRows({1}); // alice
    const QString aliceID = controller->userListModel()->userAt(1)->mUserID();
    int code = kPanelEdit;
    ModalScript script;
    bool hidden = false;
    bool emailReadOnly = false;
    script.then([&](QWidget*) {
        hidden = panelChild<QLineEdit>("mPasswordField")->echoMode() == QLineEdit::Password;
        emailReadOnly = panelChild<QLineEdit>("mEmail")->isReadOnly();
        return platform::kModalRunAborted;
    });
    controller->editUser();
    EXPECT_TRUE(hidden);
    EXPECT_TRUE(emailReadOnly);

    // The panel's result for an edit carries the edited account's identifier.
    script.then([&](QWidget*) { return platform::kModalRunStopped; });
    const auto result = controller->orderFrontAddUserPanelWithUser(db.caches().mUsers().value(aliceID), code);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->mUserID(), aliceID);
    EXPECT_EQ(result->mUsername(), "alice");
    EXPECT_EQ(result->mPassword(), "pw");
}

TEST_F(AccountWindow, OpensOnScreenOverTheMainWindowAndMasksEveryPassword)
{
    QWidget mainWindow;
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    mainWindow.setGeometry(screen.adjusted(screen.width() / 4, screen.height() / 5, 0, 0));
    mainWindow.show();
    ModalScript script;
    QRect frame;
    script.then([&](QWidget* window) {
        frame = window->frameGeometry();
        return platform::kModalRunStopped;
    });
    controller->displayUserList(&mainWindow);
    EXPECT_TRUE(screen.contains(frame)) << "the window is kept whole on the screen";
    if (frame.width() <= screen.width() * 3 / 4 && frame.height() <= screen.height() * 4 / 5)
        EXPECT_LE((frame.center() - mainWindow.frameGeometry().center()).manhattanLength(), 2);

    // Without a main window on screen, the middle of the screen.
    mainWindow.hide();
    controller->usersWindow()->move(-5000, -5000);
    script.then([&](QWidget* window) {
        frame = window->frameGeometry();
        return platform::kModalRunStopped;
    });
    controller->displayUserList(&mainWindow);
    EXPECT_TRUE(screen.contains(frame));

    // A new account's password, typed or generated, is masked.
    bool masked = false;
    script.then([&](QWidget*) {
        panelChild<QPushButton>("generateButton")->click();
        masked = panelChild<QLineEdit>("mPasswordField")->echoMode() == QLineEdit::Password
                 && panelChild<QLineEdit>("mRetypePasswordField")->echoMode() == QLineEdit::Password;
        return platform::kModalRunAborted;
    });
    controller->newUser();
    EXPECT_TRUE(masked);
}

TEST_F(AccountWindow, GroupSheetTicksAreKeptOnOKAndDroppedOnCancel)
{
    auto* popup = panelChild<TVXPopButton>("mGroupChoiceButton");
    auto* groupTable = controller->groupListPanel()->findChild<QTableView*>("mGroupListTable");
    const auto tick = [&](int row) {
        groupTable->model()->setData(groupTable->model()->index(row, 1), Qt::Checked, Qt::CheckStateRole);
    };
    ModalScript script;
    QStringList shown;
    script.then([&](QWidget*) {
        // The pop-up holds only its last item: clicking it opens the group sheet.
        EXPECT_EQ(popup->count(), 1);
        popup->showPopup();
        shown.clear();
        for (int i = 0; i < popup->count(); ++i)
            shown << popup->itemText(i);
        // Now it lists Servers; choosing the last item again, then cancelling, keeps that.
        popup->setCurrentIndex(popup->count() - 1);
        emit popup->activated(popup->count() - 1);
        return platform::kModalRunStopped;
    });
    script.then([&](QWidget* sheet) { // the group sheet: tick Servers, OK
        EXPECT_EQ(sheet, controller->groupListPanel());
        tick(1);
        controller->OKGroupList();
        return platform::kModalRunStopped;
    });
    script.then([&](QWidget*) { // the second time: tick Finance, Cancel
        tick(0);
        EXPECT_EQ(controller->selectedGroups().size(), 2);
        controller->cancelGroupList();
        return platform::kModalRunAborted;
    });
    int code = kPanelEdit;
    auto bob = controller->userListModel()->userAt(2);
    const auto result = controller->orderFrontAddUserPanelWithUser(bob, code);
    EXPECT_EQ(shown, (QStringList{"Servers", "<Add more Groups>"}));
    ASSERT_TRUE(result);
    EXPECT_EQ(result->mUsersGroupArray(), QStringList{"00000000000000A2"});
    // Nothing is stored by the panel itself: the cached groups are as they were.
    EXPECT_TRUE(db.caches().mGroups().value("00000000000000A2")->mUserMembersArray().isEmpty());
}

TEST_F(AccountWindow, DeleteAsksWithNoAsTheDefault)
{
    selectRows({0});
    AlertRecorder alerts;
    controller->deleteUser(); // answered with the default: No
    ASSERT_EQ(alerts.alerts().size(), 1u);
    EXPECT_EQ(alerts.lastMessage(), " Are you sure,you want to delete selected users?");
    EXPECT_EQ(alerts.alerts()[0].defaultButton, "No");
    EXPECT_EQ(alerts.alerts()[0].alternateButton, "Yes");
    EXPECT_EQ(db.caches().mUsers().size(), 3);
}

} // namespace

TEST_F(AccountWindow, EscapeClosesTheListAndAsksBeforeDroppingTypedAccountInput)
{
    const auto previous = platform::setModalResponder({});
    AlertRecorder alerts;
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [] { platform::stopModalWithCode(-1); });

    QTimer::singleShot(0, [this] {
        QApplication::setActiveWindow(controller->usersWindow());
        QTest::keyClick(table(), Qt::Key_Escape);
    });
    guard.start(5000);
    controller->displayUserList();
    EXPECT_TRUE(guard.isActive()) << "Escape did not close the users window";
    EXPECT_FALSE(controller->usersWindow()->isVisible());

    const auto accounts = db.caches().mUsers().size();
    QString kept;
    QTimer::singleShot(0, [&] {
        auto* name = panelChild<QLineEdit>("mUserNameField");
        QTest::keyClicks(name, "nina");
        QTest::keyClick(name, Qt::Key_Escape); // answered No
        kept = name->text();
        alerts.answerNext(platform::kAlertAlternateReturn);
        QTest::keyClick(name, Qt::Key_Escape);
    });
    guard.start(5000);
    controller->newUser();
    guard.stop();
    EXPECT_EQ(kept, "nina");
    EXPECT_EQ(alerts.messages(), QStringList({"You have made changes. Do you want to discard them?",
                                              "You have made changes. Do you want to discard them?"}));
    EXPECT_EQ(db.caches().mUsers().size(), accounts);
    platform::setModalResponder(previous);
}
