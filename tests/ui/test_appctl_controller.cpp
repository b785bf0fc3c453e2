// The controller's start-up, log-in panel, reload messages and clipboard
// rules, with the panels driven as a user would and no store server.
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>

#include "app/startup/BMLoginPanel.h"
#include "model/TVXUser.h"
#include "platform/core/UserDefaults.h"
#include "platform/ui/Pasteboard.h"
#include "store/attachments/TVXAttachmentFolder.h"
#include "store/TVXDataBase.h"
#include "support/UiTestSupport.h"
#include "ui/AppctlTestSupport.h"

using namespace appctltest;
using platform::UserDefaults;

namespace {

class ControllerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        controller = std::make_unique<BMController>(&db);
        controller->startup().setTerminateHandler([this] { ++terminations; });
    }
    void TearDown() override { controller.reset(); }

    BMLoginPanel* panel() { return controller->startup().connectionWindow(); }
    void fill(const QString& host, const QString& account, const QString& port,
              const QString& serverPassword = QString(), const QString& master = QString())
    {
        panel()->mIPAddressField()->setText(host);
        panel()->mLoginUserName()->setText(account);
        panel()->mPortNumberField()->setText(port);
        panel()->mUserPassword()->setText(serverPassword);
        panel()->mMasterPassword()->setText(master);
    }

    IsolatedDesktop desktop;
    TVXDataBase db;
    std::unique_ptr<BMController> controller;
    int terminations = 0;
};

} // namespace

TEST_F(ControllerTest, FirstLaunchIsMarkedAndLaterLaunchesPrefillThePanel)
{
    desktop.keychain.secrets.insert("MasterPassword", "kept-master");
    controller->startup().setUserDefaultValues();
    EXPECT_TRUE(UserDefaults::value("IsApplicationFirstLaunch").toBool());
    EXPECT_TRUE(panel()->mMasterPassword()->text().isEmpty()) << "the first launch prefills nothing";
    EXPECT_EQ(UserDefaults::value("EventLoggerDatabaseLocation").toString(),
              QDir::homePath() + "/Documents/Tolvanex/");
    EXPECT_EQ(panel()->mLoginUserNameLabel()->text(), "Tolvanex Username:");
    EXPECT_EQ(panel()->mLoginUserPassword()->text(), "Tolvanex User Password:");

    UserDefaults::setValue("ServerHostName", "vault.example");
    UserDefaults::setValue("Username", "alice");
    UserDefaults::setValue("PortNumber", "3310");
    UserDefaults::setValue("EventLoggerDatabaseLocation", "/srv/logs/");
    controller = std::make_unique<BMController>(&db);
    controller->startup().setTerminateHandler([this] { ++terminations; });
    controller->startup().setUserDefaultValues();
    EXPECT_EQ(panel()->mMasterPassword()->text(), "kept-master");
    EXPECT_EQ(panel()->mIPAddressField()->text(), "vault.example");
    EXPECT_EQ(panel()->mLoginUserName()->text(), "alice");
    EXPECT_EQ(panel()->mPortNumberField()->text(), "3310");
    EXPECT_TRUE(panel()->mLoginUserName()->isEnabled());
    EXPECT_FALSE(panel()->mLoginUserName()->isReadOnly());
    EXPECT_EQ(UserDefaults::value("EventLoggerDatabaseLocation").toString(), "/srv/logs/");
}

TEST_F(ControllerTest, TheLogInPanelPutsTheFocusInTheFirstEmptyField)
{
    controller->startup().setUserDefaultValues(); // the first launch
    UserDefaults::setValue("ServerHostName", "vault.example");
    UserDefaults::setValue("Username", "alice");
    UserDefaults::setValue("PortNumber", "3310");
    tvxtest::ModalScript script;
    QWidget* focused = nullptr;
    script.then([&](QWidget*) {
        focused = panel()->focusWidget();
        return platform::kModalRunAborted;
    });
    EXPECT_FALSE(controller->applicationDidFinishLaunching());
    EXPECT_EQ(focused, panel()->mUserPassword());
}

TEST_F(ControllerTest, RefusalsLeaveThePanelOpenAndStoreNothing)
{
    tvxtest::AlertRecorder alerts;
    fill("10.1.2.3", "Root", "");
    panel()->mConnectToServer()->click();
    ASSERT_EQ(alerts.alerts().size(), 1u);
    EXPECT_EQ(alerts.lastTitle(), "Connection Failed!");
    EXPECT_EQ(alerts.lastMessage(), "Invalid User.");

    fill("10.1.2.3", "alice", " ");
    panel()->mConnectToServer()->click();
    EXPECT_EQ(alerts.lastTitle(), "Tolvanex Enterprise Alert!");
    EXPECT_EQ(alerts.lastMessage(), "Port field cannot be blank.");

    fill("no-such-host.invalid", "alice", "3306");
    panel()->mConnectToServer()->click();
    EXPECT_EQ(alerts.lastMessage(), "Invalid server detials.");

    EXPECT_FALSE(controller->startup().isLoginInFlight());
    EXPECT_FALSE(panel()->mConnectToServerView()->isVisibleTo(panel()));
    EXPECT_TRUE(panel()->mConnectToServer()->isEnabled());
    EXPECT_FALSE(UserDefaults::value("ServerHostName").isValid());
    EXPECT_FALSE(UserDefaults::value("Username").isValid());
    EXPECT_EQ(desktop.keychain.writes, 0);
}

TEST_F(ControllerTest, ARefusedConnectionIsReportedAndTheMasterPasswordStaysOutOfTheSettings)
{
    tvxtest::AlertRecorder alerts;
    // Nothing listens on port 1: the worker reports the host as unreachable.
    fill("127.0.0.1", "alice", "1", "server-secret-1", "master-secret-9");
    panel()->mConnectToServer()->click();
    EXPECT_TRUE(controller->startup().isLoginInFlight());
    EXPECT_FALSE(panel()->mConnectToServer()->isEnabled());
    EXPECT_TRUE(panel()->mMasterPassword()->isReadOnly());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !controller->startup().isLoginInFlight(); }, 30000));

    ASSERT_EQ(alerts.alerts().size(), 1u);
    EXPECT_EQ(alerts.lastTitle(), "Connection Failed!");
    EXPECT_EQ(alerts.lastMessage(), "Invalid server detials.");
    EXPECT_TRUE(panel()->mConnectToServer()->isEnabled());
    EXPECT_FALSE(panel()->mMasterPassword()->isReadOnly());
    EXPECT_FALSE(panel()->mConnectToServerView()->isVisibleTo(panel()));

    EXPECT_EQ(UserDefaults::value("ServerHostName").toString(), "127.0.0.1");
    EXPECT_EQ(UserDefaults::value("Username").toString(), "alice");
    EXPECT_EQ(UserDefaults::value("PortNumber").toString(), "1");
    // A master password no log-in accepted is not remembered.
    EXPECT_FALSE(desktop.keychain.secrets.contains("MasterPassword"));
    EXPECT_EQ(desktop.keychain.writes, 0);
    const QByteArray settings = desktop.settingsFileText();
    EXPECT_TRUE(settings.contains("alice"));
    EXPECT_FALSE(settings.contains("master-secret-9"));
    EXPECT_FALSE(settings.contains("server-secret-1"));
    EXPECT_EQ(terminations, 0);
}

TEST_F(ControllerTest, ThePortStepperMovesThePortByOne)
{
    panel()->mPortNumberField()->setText("3306");
    panel()->mPortStepper()->upButton()->click();
    EXPECT_EQ(panel()->mPortNumberField()->text(), "3307");
    panel()->mPortStepper()->downButton()->click();
    panel()->mPortStepper()->downButton()->click();
    EXPECT_EQ(panel()->mPortNumberField()->text(), "3305");
    panel()->mPortNumberField()->setText("65535");
    panel()->mPortStepper()->upButton()->click();
    EXPECT_EQ(panel()->mPortNumberField()->text(), "65535");
}

TEST_F(ControllerTest, ClosingTheLogInPanelQuitsWithoutSavingOrTouchingTheClipboard)
{
    platform::Pasteboard::generalPasteboard().setString("copied secret");
    db.caches().mCurrentUser()->setMClearClipboardState(true);
    tvxtest::ModalScript script;
    script.then([](QWidget* window) {
        window->close();
        return platform::kModalRunStopped;
    });
    EXPECT_FALSE(controller->applicationDidFinishLaunching());
    EXPECT_EQ(script.windows(), QStringList{"mConnectionWindow"});
    EXPECT_TRUE(controller->isConnectionCancelled());
    EXPECT_EQ(terminations, 1);
    EXPECT_EQ(platform::Pasteboard::generalPasteboard().string(), "copied secret");
}

TEST_F(ControllerTest, ReloadFailuresAndTheLostConnectionPanel)
{
    tvxtest::AlertRecorder alerts;
    controller->startup().reloadFailed(0);
    EXPECT_TRUE(alerts.alerts().empty());
    controller->startup().reloadFailed(3);
    EXPECT_EQ(alerts.lastTitle(), "Reload Failed!");
    EXPECT_EQ(alerts.lastMessage(), "Data can't be reloaded.");

    // Code 10 is a lost connection: the same account must log in again.
    fill("127.0.0.1", "alice", "3306", "typed-before");
    bool accountFixed = false;
    QString passwordShown = "unset";
    tvxtest::ModalScript script;
    script.then([&](QWidget* window) {
        auto* login = static_cast<BMLoginPanel*>(window);
        accountFixed = login->mLoginUserName()->isReadOnly();
        passwordShown = login->mUserPassword()->text();
        // Connecting is refused client-side; the account stays fixed afterwards.
        login->mLoginUserName()->setText("root");
        login->mConnectToServer()->click();
        EXPECT_TRUE(login->mLoginUserName()->isReadOnly());
        window->close();
        return platform::kModalRunStopped;
    });
    controller->startup().reloadFailed(10);
    ASSERT_GE(alerts.alerts().size(), 3u);
    EXPECT_EQ(alerts.alerts()[1].title, "Tolvanex Enterprise Alert!");
    EXPECT_EQ(alerts.alerts()[1].message, "Connection to the server has been lost.Please connect again.");
    EXPECT_EQ(alerts.alerts()[2].message, "Invalid User.");
    EXPECT_TRUE(accountFixed);
    EXPECT_EQ(passwordShown, "");
    // Closing the panel instead of logging in quits without saving.
    EXPECT_TRUE(controller->isConnectionCancelled());
    EXPECT_EQ(terminations, 1);
}

TEST_F(ControllerTest, ARemovedAccountQuitsWithoutSaving)
{
    tvxtest::AlertRecorder alerts;
    controller->startup().dbUserDeletedError();
    ASSERT_EQ(alerts.alerts().size(), 1u);
    EXPECT_EQ(alerts.lastMessage(), "This User may be deleted. Please contact Administrator for more information.");
    EXPECT_EQ(alerts.alerts()[0].defaultButton, "Quit");
    EXPECT_TRUE(controller->isConnectionCancelled());
    EXPECT_EQ(terminations, 1);
}

TEST_F(ControllerTest, LockingNeedsAPassword)
{
    tvxtest::AlertRecorder alerts;
    tvxtest::ModalScript script;
    controller->lockControl().displayLockPanel();
    EXPECT_EQ(alerts.lastMessage(), "You need to set password first.");
    EXPECT_EQ(alerts.lastTitle(), "Tolvanex Enterprise Alert!");
    EXPECT_TRUE(script.windows().isEmpty());
    EXPECT_FALSE(controller->lockControl().isLocked());
}

TEST_F(ControllerTest, TheTemporaryFolderIsPrivateAndGoesAtQuitUnlessCancelled)
{
    controller->startup().createTemperoryFolders();
    const QString path = BMStartup::temporaryFolderPath();
    ASSERT_TRUE(QFileInfo(path).isDir());
    EXPECT_EQ(QFileInfo(path).permissions() & (QFile::ReadOther | QFile::ReadGroup | QFile::WriteOther), 0);
    controller->startup().dontSavePreference();
    controller->startup().applicationWillTerminate();
    EXPECT_TRUE(QFileInfo::exists(path));

    auto second = std::make_unique<BMController>(&db);
    second->startup().applicationWillTerminate();
    EXPECT_FALSE(QFileInfo::exists(path));
}

namespace {

class Clipboard : public ControllerTest {
protected:
    void SetUp() override
    {
        ControllerTest::SetUp();
        controller->lockControl().setApplicationActiveProbe([this] { return active; });
        TVXUser& user = *db.caches().mCurrentUser();
        user.setMClearClipboardState(true);
        user.setMClipBoardOnExit(false);
        user.setMClearClipBoardTimer(2);
        board().setString("earlier");
        controller->lockControl().checkClipBoard();
        controller->lockControl().clearClipBoardAction();
    }
    platform::Pasteboard& board() { return platform::Pasteboard::generalPasteboard(); }
    bool active = true;
};

} // namespace

TEST_F(Clipboard, CopyingArmsTheClearOnlyWhileActive)
{
    board().setString("pw-1");
    active = false;
    controller->lockControl().checkClipBoard();
    EXPECT_FALSE(controller->lockControl().isClearClipBoardPending()) << "inactive: nothing armed";
    active = true;
    controller->lockControl().checkClipBoard();
    EXPECT_TRUE(controller->lockControl().isClearClipBoardPending()) << "armed once active again";

    // An empty string on the board cancels the pending clear.
    board().setString("");
    controller->lockControl().checkClipBoard();
    EXPECT_FALSE(controller->lockControl().isClearClipBoardPending());

    board().setString("pw-2");
    controller->lockControl().checkClipBoard();
    EXPECT_TRUE(controller->lockControl().isClearClipBoardPending());
    controller->lockControl().clearClipBoardAction();
    EXPECT_FALSE(controller->lockControl().isClearClipBoardPending());
    EXPECT_EQ(board().string(), "");
}

TEST_F(Clipboard, ACopiedSecretIsMarkedAndClearedWhileAnotherWindowIsActive)
{
    db.caches().mCurrentUser()->setMClearClipBoardTimer(0);
    active = false; // the browser of a web log-in has the focus
    board().setSecretString("pw-6");
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(data->data("x-kde-passwordManagerHint"), "secret");
    EXPECT_EQ(data->text(), "pw-6");
    EXPECT_TRUE(controller->lockControl().isClearClipBoardPending());
    controller->lockControl().checkClipBoard(); // the watch leaves the secret's clear armed
    EXPECT_TRUE(controller->lockControl().isClearClipBoardPending());
    EXPECT_TRUE(QTest::qWaitFor([&] { return board().string().isEmpty(); }, 5000));
}

TEST_F(Clipboard, TheArmedClearEmptiesTheBoard)
{
    db.caches().mCurrentUser()->setMClearClipBoardTimer(0);
    board().setString("pw-3");
    controller->lockControl().checkClipBoard();
    ASSERT_TRUE(controller->lockControl().isClearClipBoardPending());
    EXPECT_TRUE(QTest::qWaitFor([&] { return board().string().isEmpty(); }, 5000));
    EXPECT_FALSE(controller->lockControl().isClearClipBoardPending());
}

TEST_F(Clipboard, ClearingAtQuitOnlyOrNotAtAll)
{
    db.caches().mCurrentUser()->setMClipBoardOnExit(true);
    board().setString("pw-4");
    controller->lockControl().checkClipBoard();
    EXPECT_FALSE(controller->lockControl().isClearClipBoardPending());
    controller->startup().terminate();
    EXPECT_EQ(terminations, 1);
    EXPECT_EQ(board().string(), "");

    auto second = std::make_unique<BMController>(&db);
    int secondTerminations = 0;
    second->startup().setTerminateHandler([&] { ++secondTerminations; });
    db.caches().mCurrentUser()->setMClearClipboardState(false);
    board().setString("pw-5");
    second->startup().terminate();
    EXPECT_EQ(secondTerminations, 1);
    EXPECT_EQ(board().string(), "pw-5");
}
