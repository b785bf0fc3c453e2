// The controller against a real store: a log-in through the panel, the first
// load, a reload, a lost connection and the lock panel's attempts.
#include <gtest/gtest.h>

#include <cppconn/connection.h>
#include <cppconn/resultset.h>
#include <cppconn/statement.h>

#include <atomic>
#include <chrono>
#include <optional>
#include <thread>

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "app/lock/BMLockPanel.h"
#include "platform/ui/SaveWait.h"
#include "app/startup/BMLoginPanel.h"
#include "app/BMProgressPanel.h"
#include "model/TVXRecord.h"
#include "model/TVXUser.h"
#include "views/BMRecordModels.h"
#include "windows/BMMainWindow.h"
#include "windows/BMDetailsWindowController.h"
#include "platform/core/UserDefaults.h"
#include "support/StoreSeed.h"
#include "support/TestStore.h"
#include "support/MainWindowSelection.h"
#include "support/UiTestSupport.h"
#include "ui/AppctlTestSupport.h"

using namespace teststore;

namespace {

const QString G1 = QStringLiteral("00000000000000A1");

class Session : public StoreTest {
protected:
    void SetUp() override
    {
        StoreTest::SetUp();
        seed = std::make_unique<StoreSeed>(kMasterPassword);
        seed->group(G1, "Finance", 7, true);
        seed->member(aliceID, G1);
        seed->record({"00000000000000B1", G1, "0000000000000000", {"bank", "alice", "pw1"}});
        // As scripts/run sets it up: the server verified against the store's authority.
        platform::UserDefaults::setValue("TLSCAFile", caFile());
        controller = std::make_unique<BMController>(&db);
        controller->startup().setTerminateHandler([this] { ++terminations; });
    }
    void TearDown() override
    {
        controller.reset();
        StoreTest::TearDown();
    }

    // The user at the panel: fills it, connects and waits for the worker's answer.
    void connectAs(QWidget* window, const QString& password, const QString& master = kMasterPassword)
    {
        auto* panel = static_cast<BMLoginPanel*>(window);
        panel->mIPAddressField()->setText("127.0.0.1");
        panel->mPortNumberField()->setText(QString::number(port()));
        if (!panel->mLoginUserName()->isReadOnly())
            panel->mLoginUserName()->setText(kUserName);
        panel->mUserPassword()->setText(password);
        panel->mMasterPassword()->setText(master);
        QTest::mouseClick(panel->mConnectToServer(), Qt::LeftButton);
        ASSERT_TRUE(QTest::qWaitFor([&] { return !controller->startup().isLoginInFlight(); }, 30000));
    }

    // Log-in and first load as the application runs them.
    bool launch()
    {
        tvxtest::ModalScript script;
        script.then([this](QWidget* window) {
            connectAs(window, kUserPassword);
            return platform::kModalRunAborted;
        });
        return controller->applicationDidFinishLaunching();
    }

    QString storedAttempts()
    {
        return rootQueryValue(
            QStringLiteral("SELECT LOGINATTEMPTCOUNT FROM tolvanexdb.APPPREFTABLE WHERE USERID='%1'").arg(aliceID));
    }
    int loggedEvents(const QString& event)
    {
        db.writeBehind().flush(); // what went out behind the window first
        return rootQueryValue(QStringLiteral("SELECT COUNT(*) FROM tolvanexdb.EVENTLOGGERTABLE WHERE EVENT='%1'")
                                  .arg(event))
            .toInt();
    }
    // The preference row that the attempt count and the hint live in.
    void givePreferenceRow()
    {
        teststore::givePreferenceRow(aliceID, kUserName);
    }

    appctltest::IsolatedDesktop desktop;
    std::unique_ptr<StoreSeed> seed;
    TVXDataBase db;
    std::unique_ptr<BMController> controller;
    int terminations = 0;
};

} // namespace

TEST_F(Session, LogInThroughThePanelLoadsTheStoreAndShowsTheMainWindow)
{
    tvxtest::AlertRecorder alerts;
    tvxtest::ModalScript script;
    script.then([this](QWidget* window) {
        connectAs(window, kUserPassword, "wrong master");
        // The refusal leaves the panel open with its controls usable.
        auto* panel = static_cast<BMLoginPanel*>(window);
        EXPECT_TRUE(panel->mConnectToServer()->isEnabled());
        EXPECT_FALSE(panel->mMasterPassword()->isReadOnly());
        connectAs(window, kUserPassword);
        return platform::kModalRunAborted;
    });
    ASSERT_TRUE(controller->applicationDidFinishLaunching());
    EXPECT_EQ(script.windows(), QStringList({"mConnectionWindow", "mLoadingDataPanel"}));
    ASSERT_EQ(alerts.alerts().size(), 1u);
    EXPECT_EQ(alerts.lastTitle(), "Connection Failed!");
    EXPECT_EQ(alerts.lastMessage(), "Master Password does not match.");

    EXPECT_TRUE(db.isLoadingComplete());
    EXPECT_TRUE(db.caches().mRecords().contains("00000000000000B1"));
    EXPECT_EQ(controller->currentUserName(), kUserName);
    ASSERT_NE(controller->mainWindow(), nullptr);
    EXPECT_TRUE(controller->mainWindow()->isVisible());
    // Only the master password the store accepted reached the keyring.
    EXPECT_EQ(desktop.keychain.secrets.value("MasterPassword"), kMasterPassword);
    EXPECT_EQ(desktop.keychain.writes, 1);
    EXPECT_EQ(terminations, 0);
}

TEST_F(Session, TheLoadingPanelStaysUntilTheMainWindowHasPainted)
{
    // Whether the progress panel was still up when the main window first painted.
    struct FirstPaint : QObject {
        BMController* controller = nullptr;
        std::optional<bool> panelUp;
        bool eventFilter(QObject* object, QEvent* event) override
        {
            auto* widget = qobject_cast<QWidget*>(object);
            if (event->type() == QEvent::Paint && !panelUp && widget && controller->mainWindow()
                && widget->window() == controller->mainWindow())
                panelUp = controller->startup().loadingDataPanel()->isVisible();
            return false;
        }
    } watch;
    watch.controller = controller.get();
    qApp->installEventFilter(&watch);
    tvxtest::ModalScript script;
    script.then([this](QWidget* window) {
        connectAs(window, kUserPassword);
        return platform::kModalRunAborted;
    });
    // The polled run saw the load end: it leaves the panel up for the launch.
    script.then([](QWidget* panel) {
        panel->show();
        return platform::kModalRunStopped;
    });
    ASSERT_TRUE(controller->applicationDidFinishLaunching());
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return watch.panelUp.has_value() && !controller->startup().loadingDataPanel()->isVisible(); }, 10000));
    qApp->removeEventFilter(&watch);
    EXPECT_EQ(watch.panelUp, std::optional<bool>(true));
}

TEST_F(Session, TheMainWindowIsMadeInTurnsWhileTheStoreLoadsAndShownWhole)
{
    tvxtest::ModalScript script;
    script.then([this](QWidget* window) {
        connectAs(window, kUserPassword);
        return platform::kModalRunAborted;
    });
    // While the load runs the window is still being made, a part a turn of the event loop.
    bool madeMeanwhile = false;
    bool keptBeforeWhole = true;
    script.then([&](QWidget* panel) {
        madeMeanwhile = controller->windowSetup().isMainWindowInParts();
        keptBeforeWhole = controller->mainWindow() != nullptr;
        panel->show();
        return platform::kModalRunStopped;
    });
    ASSERT_TRUE(controller->applicationDidFinishLaunching());
    EXPECT_TRUE(madeMeanwhile);
    EXPECT_FALSE(keptBeforeWhole);
    EXPECT_FALSE(controller->windowSetup().isMainWindowInParts());
    auto* window = controller->windowSetup().mainWindowView();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->isBuilt());
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->mCategoriesPopup->currentText(), "Finance (1)");
    EXPECT_EQ(terminations, 0);
}

TEST_F(Session, AServerThatDoesNotVerifyAgainstTheNamedAuthorityIsRefusedWithTheReason)
{
    // The system's authorities did not sign the fixture server's certificate.
    platform::UserDefaults::setValue("TLSCAFile", "/etc/ssl/certs/ca-certificates.crt");
    tvxtest::AlertRecorder alerts;
    tvxtest::ModalScript script;
    script.then([this](QWidget* window) {
        connectAs(window, kUserPassword);
        platform::UserDefaults::setValue("TLSCAFile", caFile());
        connectAs(window, kUserPassword);
        return platform::kModalRunAborted;
    });
    ASSERT_TRUE(controller->applicationDidFinishLaunching());
    ASSERT_EQ(alerts.alerts().size(), 1u);
    EXPECT_EQ(alerts.lastTitle(), "Connection Failed!");
    EXPECT_TRUE(alerts.lastMessage().contains("/etc/ssl/certs/ca-certificates.crt")) << alerts.lastMessage().toStdString();
    EXPECT_TRUE(alerts.lastMessage().contains("does not verify")) << alerts.lastMessage().toStdString();
    EXPECT_TRUE(db.isLoadingComplete());
}

TEST_F(Session, AFirstLogInWithoutAnAuthorityShowsTheFingerprintAndKeepsTheAnswer)
{
    platform::UserDefaults::remove("TLSCAFile");
    const QString fingerprint = serverFingerprint();
    const QString key = QStringLiteral("TrustedServerCertificates/127.0.0.1:%1").arg(port());
    tvxtest::AlertRecorder alerts;
    alerts.answerNext(platform::kAlertAlternateReturn); // Cancel: nothing kept, no log-in
    alerts.answerNext(platform::kAlertDefaultReturn);   // Trust
    tvxtest::ModalScript script;
    script.then([&](QWidget* window) {
        connectAs(window, kUserPassword);
        EXPECT_EQ(db.connection(), nullptr);
        EXPECT_FALSE(platform::UserDefaults::value(key).isValid());
        connectAs(window, kUserPassword);
        // The answer is kept and the log-in goes on by itself.
        EXPECT_TRUE(QTest::qWaitFor([&] { return db.connection() != nullptr && !controller->startup().isLoginInFlight(); }, 30000));
        return platform::kModalRunAborted;
    });
    ASSERT_TRUE(controller->applicationDidFinishLaunching());
    ASSERT_EQ(alerts.alerts().size(), 2u);
    for (const auto& alert : alerts.alerts()) {
        EXPECT_EQ(alert.title, "Trust this server?");
        EXPECT_TRUE(alert.message.contains(fingerprint)) << alert.message.toStdString();
    }
    EXPECT_EQ(platform::UserDefaults::value(key).toString(), fingerprint);
    EXPECT_TRUE(desktop.settingsFileText().contains(fingerprint.toLatin1()));
    EXPECT_FALSE(desktop.settingsFileText().contains(kUserPassword.toUtf8()));

    // A certificate that is no longer the trusted one: refused with both fingerprints, nothing asked.
    const QString other = QString(fingerprint).replace(0, 2, fingerprint.startsWith("00") ? "11" : "00");
    platform::UserDefaults::setValue(key, other);
    controller = std::make_unique<BMController>(&db);
    tvxtest::ModalScript again;
    again.then([&](QWidget* window) {
        connectAs(window, kUserPassword);
        return platform::kModalRunAborted;
    });
    EXPECT_FALSE(controller->applicationDidFinishLaunching());
    ASSERT_EQ(alerts.alerts().size(), 3u);
    EXPECT_EQ(alerts.lastTitle(), "Connection Failed!");
    EXPECT_TRUE(alerts.lastMessage().contains(fingerprint)) << alerts.lastMessage().toStdString();
    EXPECT_TRUE(alerts.lastMessage().contains(other)) << alerts.lastMessage().toStdString();
    EXPECT_EQ(platform::UserDefaults::value(key).toString(), other);
}

TEST_F(Session, AnUnknownAccountIsRefusedAndThePanelComesBack)
{
    addUser("bob", "bob-pw");
    rootExec("DELETE FROM tolvanexdb.USERTABLE WHERE USERNAME='bob'");
    tvxtest::AlertRecorder alerts;
    tvxtest::ModalScript script;
    script.then([this](QWidget* window) {
        static_cast<BMLoginPanel*>(window)->mLoginUserName()->setText("bob");
        auto* panel = static_cast<BMLoginPanel*>(window);
        panel->mIPAddressField()->setText("127.0.0.1");
        panel->mPortNumberField()->setText(QString::number(port()));
        panel->mUserPassword()->setText("bob-pw");
        panel->mMasterPassword()->setText(kMasterPassword);
        panel->mConnectToServer()->click();
        EXPECT_TRUE(QTest::qWaitFor([&] { return !controller->startup().isLoginInFlight(); }, 30000));
        return platform::kModalRunAborted;
    });
    // The server account logs in, but the store has no user row: asked again, then closed.
    script.then([](QWidget* window) {
        window->close();
        return platform::kModalRunStopped;
    });
    EXPECT_FALSE(controller->applicationDidFinishLaunching());
    EXPECT_EQ(script.windows(), QStringList({"mConnectionWindow", "mConnectionWindow"}));
    EXPECT_EQ(alerts.messages(), QStringList{" Connection Failed"});
    EXPECT_TRUE(db.caches().mRecords().isEmpty());
    EXPECT_EQ(terminations, 1);
}

TEST_F(Session, AReloadShowsWhatAnotherClientStored)
{
    ASSERT_TRUE(launch());
    seed->record({"00000000000000B2", G1, "0000000000000000", {"mail"}});
    tvxtest::AlertRecorder alerts;
    tvxtest::ModalScript script; // the progress panel's run ends at once; the worker is awaited
    controller->startup().reloadDatabase(nullptr);
    EXPECT_EQ(script.windows(), QStringList{"mLoadingDataPanel"});
    EXPECT_TRUE(alerts.alerts().empty());
    EXPECT_TRUE(db.caches().mRecords().contains("00000000000000B2"));
    EXPECT_FALSE(db.isDataReloading());
    EXPECT_EQ(hooks.reloadsFinished.load(), 0) << "the controller is the application's hooks";
}

TEST_F(Session, ASearchTypedWhileTheSearchEntriesArePreparedIsShownOnceTheyAreAlsoAfterAReload)
{
    // Prepared on threads of their own however few the records, and held at their start until released.
    std::atomic<bool> holding{true};
    TVXStoreCaches::setBackgroundPreparationFrom(0);
    TVXStoreCaches::setPreparationHold([&holding](const std::atomic<bool>& stopAsked) {
        while (holding && !stopAsked)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    });
    struct Restore {
        ~Restore()
        {
            TVXStoreCaches::setPreparationHold({});
            TVXStoreCaches::setBackgroundPreparationFrom(32768);
        }
    } restore;
    seed->record({"00000000000000B2", G1, "0000000000000000", {"Needle one"}});
    seed->record({"00000000000000B3", G1, "0000000000000000", {"hay"}});
    ASSERT_TRUE(launch());
    BMMainWindow* window = controller->windowSetup().mainWindowView();
    controller->tables().changeView(kListViewTag);
    const auto listed = [this] {
        QStringList uids;
        for (const auto& record : controller->tables().listModel()->records())
            uids << record->mRecordUID();
        uids.sort();
        return uids;
    };
    // The log-in's counts and list, with the preparation still held.
    ASSERT_TRUE(db.caches().isPreparingSearchEntries());
    EXPECT_EQ(window->mCategoriesPopup->currentText(), "Finance (3)");
    EXPECT_EQ(listed(), QStringList({"00000000000000B1", "00000000000000B2", "00000000000000B3"}));

    // Typed meanwhile: the window goes on, and the search follows the preparation.
    QTest::keyClicks(window->mSearchField, "NEEDLE");
    EXPECT_TRUE(controller->tables().isRefreshAwaitingSearchEntries());
    EXPECT_TRUE(db.caches().isPreparingSearchEntries());
    holding = false;
    ASSERT_TRUE(QTest::qWaitFor([&] { return !controller->tables().isRefreshAwaitingSearchEntries(); }, 30000));
    EXPECT_EQ(listed(), QStringList({"00000000000000B2"}));
    EXPECT_EQ(window->mCategoriesPopup->currentText(), "Finance (1)");

    // A reload brings another client's record; the search text stays and finds it too.
    holding = true;
    seed->record({"00000000000000B4", G1, "0000000000000000", {"hay", "needle two"}});
    {
        tvxtest::ModalScript script;
        controller->startup().reloadDatabase(nullptr);
    }
    ASSERT_TRUE(db.caches().isPreparingSearchEntries());
    holding = false;
    ASSERT_TRUE(QTest::qWaitFor([&] { return !controller->tables().isRefreshAwaitingSearchEntries(); }, 30000));
    EXPECT_EQ(listed(), QStringList({"00000000000000B2", "00000000000000B4"}));
    EXPECT_EQ(window->mCategoriesPopup->currentText(), "Finance (2)");
    window->mSearchField->clear();
    EXPECT_EQ(listed().size(), 4);
    EXPECT_EQ(window->mCategoriesPopup->currentText(), "Finance (4)");
}

TEST_F(Session, ALostConnectionAsksForTheLogInAgainAndWorkGoesOn)
{
    ASSERT_TRUE(launch());
    const QString id = rootQueryValue("SELECT ID FROM information_schema.PROCESSLIST WHERE USER='alice' LIMIT 1");
    ASSERT_FALSE(id.isEmpty());
    rootExec("KILL " + id);

    tvxtest::AlertRecorder alerts;
    tvxtest::ModalScript script;
    script.then([](QWidget*) { return platform::kModalRunAborted; }); // the reload's progress panel
    bool accountFixed = false;
    QString passwordShown = "unset";
    script.then([&](QWidget* window) {
        auto* panel = static_cast<BMLoginPanel*>(window);
        accountFixed = panel->mLoginUserName()->isReadOnly();
        passwordShown = panel->mUserPassword()->text();
        connectAs(window, kUserPassword);
        return platform::kModalRunAborted;
    });
    controller->startup().reloadDatabase(nullptr);
    EXPECT_EQ(script.windows(), QStringList({"mLoadingDataPanel", "mConnectionWindow"}));
    ASSERT_FALSE(alerts.alerts().empty());
    EXPECT_EQ(alerts.alerts()[0].message, "Connection to the server has been lost.Please connect again.");
    EXPECT_EQ(alerts.alerts().size(), 1u);
    EXPECT_TRUE(accountFixed);
    EXPECT_EQ(passwordShown, "");
    EXPECT_EQ(terminations, 0);

    // The new connection carries the next reload.
    seed->record({"00000000000000B3", G1, "0000000000000000", {"after"}});
    tvxtest::ModalScript again;
    controller->startup().reloadDatabase(nullptr);
    EXPECT_EQ(alerts.alerts().size(), 1u);
    EXPECT_TRUE(db.caches().mRecords().contains("00000000000000B3"));
}

TEST_F(Session, AClickOverALostConnectionReturnsAtOnceAndTheLossIsToldAsBefore)
{
    ASSERT_TRUE(launch());
    BMMainWindow* window = controller->windowSetup().mainWindowView();
    controller->tables().changeView(kListViewTag);
    const QString id = rootQueryValue("SELECT ID FROM information_schema.PROCESSLIST WHERE USER='alice' LIMIT 1");
    ASSERT_FALSE(id.isEmpty());
    rootExec("KILL " + id);

    tvxtest::AlertRecorder alerts;
    tvxtest::ModalScript script;
    script.then([&](QWidget* panel) {
        connectAs(panel, kUserPassword);
        return platform::kModalRunAborted;
    });
    window->mListViewTypesTable->selectRow(0);
    // The click's writes fail behind the window: the click itself did not wait for them.
    EXPECT_TRUE(alerts.alerts().empty());
    EXPECT_TRUE(script.windows().isEmpty());

    ASSERT_TRUE(QTest::qWaitFor([&] { return script.windows().contains("mConnectionWindow"); }, 30000));
    ASSERT_EQ(alerts.alerts().size(), 1u);
    EXPECT_EQ(alerts.alerts()[0].message, "Connection to the server has been lost.Please connect again.");
    EXPECT_EQ(terminations, 0);
    // The new connection takes the next click's rows.
    db.writeBehind().flush();
    window->mListViewTypesTable->clearSelection();
    window->mListViewTypesTable->selectRow(0);
    db.writeBehind().flush();
    EXPECT_EQ(loggedEvents("View Record"), 1);
    EXPECT_EQ(alerts.alerts().size(), 1u);
}

TEST_F(Session, WrongPasswordsAreCountedOnTheServerAndTheRightOneUnlocks)
{
    ASSERT_TRUE(launch());
    givePreferenceRow();
    ASSERT_EQ(db.preferences().setNumberofAttemptsLeft(4, db.caches().getCurrentUser()), kTVXDone);
    tvxtest::AlertRecorder alerts;
    tvxtest::ModalScript script;
    bool labelAtOpen = true;
    QString labelAfter;
    script.then([&](QWidget* window) {
        auto* panel = static_cast<BMLockPanel*>(window);
        EXPECT_TRUE(controller->lockControl().isLocked());
        EXPECT_EQ(panel->mUserLockPanelField()->text(), kUserName);
        labelAtOpen = panel->mAttemptsLabel()->isVisibleTo(panel);
        QTest::keyClicks(panel->mPasswordField(), "not-it");
        QTest::mouseClick(panel->mLackPanelOKButton(), Qt::LeftButton);
        labelAfter = panel->mAttemptsLabel()->isVisibleTo(panel) ? panel->mAttemptsLabel()->text() : QString();
        EXPECT_EQ(storedAttempts(), "5");
        QTest::keyClicks(panel->mPasswordField(), kUserPassword);
        QTest::mouseClick(panel->mLackPanelOKButton(), Qt::LeftButton);
        return platform::kModalRunStopped;
    });
    controller->lockControl().displayLockPanel();
    EXPECT_FALSE(labelAtOpen) << "four failures show no label";
    EXPECT_EQ(labelAfter, "5 attempts left");
    EXPECT_EQ(alerts.messages(), QStringList({"That is not a correct password.", "Only 5 attempts left !!!"}));
    EXPECT_FALSE(controller->lockControl().isLocked());
    EXPECT_EQ(storedAttempts(), "0");
    EXPECT_EQ(loggedEvents("Lock Application"), 1);
    EXPECT_EQ(loggedEvents("Failed login attempt"), 1);
    // Unlocking reloads: the lock panel's run, then the reload's progress panel.
    EXPECT_EQ(script.windows(), QStringList({"mLockPanel", "mLoadingDataPanel"}));
    EXPECT_EQ(terminations, 0);
}

TEST_F(Session, TheTenthWrongPasswordDeletesTheAccountAndLeavesOnlyQuit)
{
    ASSERT_TRUE(launch());
    givePreferenceRow();
    ASSERT_EQ(db.preferences().setNumberofAttemptsLeft(9, db.caches().getCurrentUser()), kTVXDone);
    tvxtest::AlertRecorder alerts;
    tvxtest::ModalScript script;
    QString labelAtOpen;
    bool okEnabledAfter = true;
    uint64_t usesBefore = 0;
    uint64_t usesAfter = 1;
    script.then([&](QWidget* window) {
        auto* panel = static_cast<BMLockPanel*>(window);
        labelAtOpen = panel->mAttemptsLabel()->text();
        QTest::keyClicks(panel->mPasswordField(), "still-wrong");
        usesBefore = db.connectionUsesOnMainThread();
        QTest::mouseClick(panel->mLackPanelOKButton(), Qt::LeftButton);
        usesAfter = db.connectionUsesOnMainThread();
        okEnabledAfter = panel->mLackPanelOKButton()->isEnabled();
        EXPECT_TRUE(panel->mLockPanelQuitButton()->isEnabled());
        return platform::kModalRunAborted; // Quit
    });
    controller->lockControl().displayLockPanel();
    EXPECT_EQ(labelAtOpen, "1 attempts left");
    EXPECT_FALSE(okEnabledAfter);
    EXPECT_EQ(usesAfter, usesBefore) << "the lock-out's writes go behind the window";
    // Quit ends the application without saving, once the deletion is answered.
    EXPECT_TRUE(controller->isConnectionCancelled());
    ASSERT_TRUE(QTest::qWaitFor([&] { return terminations > 0; }, 30000));
    EXPECT_EQ(terminations, 1);
    ASSERT_EQ(alerts.alerts().size(), 2u);
    EXPECT_EQ(alerts.alerts()[1].message,
              "Since you have entered an incorrect password 10 times, your data will now be deleted.\n"
              "Quit Tolvanex, and you can start the app again and start entering data from scratch.");
    EXPECT_EQ(rootQueryValue(QStringLiteral("SELECT COUNT(*) FROM tolvanexdb.USERTABLE WHERE USERID='%1'").arg(aliceID)),
              "0");
    EXPECT_FALSE(db.caches().mGroups().contains(aliceID)) << "the personal group left the caches with the answer";
    // The account cannot log in again with its old password.
    TVXDataBase other;
    EXPECT_EQ(other.startConnectionToServer(loginRequest()), kTVXAccessDenied);
}

// A deletion the store refuses is told as before, and the account is locked out all the same.
TEST_F(Session, TheTenthWrongPasswordsRefusedDeletionIsStillTold)
{
    ASSERT_TRUE(launch());
    givePreferenceRow();
    ASSERT_EQ(db.preferences().setNumberofAttemptsLeft(9, db.caches().getCurrentUser()), kTVXDone);
    rootExec(QStringLiteral("REVOKE DELETE ON tolvanexdb.GROUPTABLE FROM '%1'@'%'").arg(kUserName));
    tvxtest::AlertRecorder alerts;
    tvxtest::ModalScript script;
    uint64_t usesBefore = 0;
    uint64_t usesAfter = 1;
    script.then([&](QWidget* window) {
        auto* panel = static_cast<BMLockPanel*>(window);
        QTest::keyClicks(panel->mPasswordField(), "still-wrong");
        usesBefore = db.connectionUsesOnMainThread();
        QTest::mouseClick(panel->mLackPanelOKButton(), Qt::LeftButton);
        usesAfter = db.connectionUsesOnMainThread();
        return platform::kModalRunAborted; // Quit
    });
    controller->lockControl().displayLockPanel();
    EXPECT_EQ(usesAfter, usesBefore);
    ASSERT_TRUE(QTest::qWaitFor([&] { return terminations > 0; }, 30000));
    EXPECT_EQ(terminations, 1);
    EXPECT_EQ(alerts.lastMessage(), "This User may be deleted. Please contact Administrator for more information.");
    EXPECT_EQ(rootQueryValue(QStringLiteral("SELECT COUNT(*) FROM tolvanexdb.USERTABLE WHERE USERID='%1'").arg(aliceID)),
              "1");
    TVXDataBase other;
    EXPECT_EQ(other.startConnectionToServer(loginRequest()), kTVXAccessDenied);
}

TEST_F(Session, TheHintQuestionGivesTheHintOnlyForTheRightAnswer)
{
    ASSERT_TRUE(launch());
    givePreferenceRow();
    TVXUser& user = *db.caches().getCurrentUser();
    user.setMHintQuestionNumber(1);
    user.setMHintAnswer("Oslo");
    user.setMHintEntered("the cat's name");
    TVXResult code = resultOfNumber(-1); // not set by the call
    db.passwordHint().saveHintPreferencs(user, &code);
    ASSERT_EQ(code, kTVXDone);
    user.setMHintEntered(QString());

    tvxtest::AlertRecorder alerts;
    tvxtest::ModalScript script;
    QString question;
    uint64_t usesBefore = 0;
    uint64_t usesAfter = 1;
    script.then([&](QWidget* window) {
        auto* panel = static_cast<BMLockPanel*>(window);
        panel->hintButton()->setFocus();
        usesBefore = db.connectionUsesOnMainThread();
        QTest::mouseClick(panel->hintButton(), Qt::LeftButton); // wrong answer
        QTest::mouseClick(panel->hintButton(), Qt::LeftButton); // right answer
        usesAfter = db.connectionUsesOnMainThread();
        EXPECT_EQ(panel->focusWidget(), panel->mPasswordField()) << "the password is typed next";
        QTest::keyClicks(panel->mPasswordField(), kUserPassword);
        QTest::mouseClick(panel->mLackPanelOKButton(), Qt::LeftButton);
        return platform::kModalRunStopped;
    });
    // The first answer waits for the server: the panel keeps it and takes no second OK.
    script.then([&](QWidget* window) {
        auto* panel = static_cast<BMHintQuestionPanel*>(window);
        question = panel->mHintToQuestion()->text();
        auto holder = holdTable("APPPREFTABLE");
        QTest::keyClicks(panel->mHintAnswerToQuestion(), "Paris");
        QTest::mouseClick(panel->okButton(), Qt::LeftButton);
        EXPECT_TRUE(panel->saveWait()->isSaving());
        EXPECT_TRUE(QTest::qWaitFor([&] { return !panel->saveWait()->line()->isHidden(); }, 2000));
        EXPECT_FALSE(panel->okButton()->isEnabled());
        controller->lockControl().HintQuestionAnswerPanelOK(); // Return in the answer
        EXPECT_FALSE(panel->close()) << "the panel stays until the answer";
        EXPECT_EQ(panel->mHintAnswerToQuestion()->text(), "Paris");
        EXPECT_TRUE(alerts.alerts().empty());
        holder.reset();
        EXPECT_TRUE(QTest::qWaitFor([&] { return !panel->saveWait()->isSaving(); }, 30000));
        EXPECT_TRUE(panel->okButton()->isEnabled());
        return platform::kModalRunStopped;
    });
    script.then([&](QWidget* window) {
        auto* panel = static_cast<BMHintQuestionPanel*>(window);
        QTest::keyClicks(panel->mHintAnswerToQuestion(), "Oslo");
        QTest::mouseClick(panel->okButton(), Qt::LeftButton);
        EXPECT_TRUE(QTest::qWaitFor([&] { return !panel->saveWait()->isSaving(); }, 30000));
        return platform::kModalRunStopped;
    });
    controller->lockControl().displayLockPanel();
    EXPECT_EQ(usesAfter, usesBefore) << "the hint's reads go behind the window";
    EXPECT_EQ(question, "What city were you born in?");
    ASSERT_EQ(alerts.alerts().size(), 2u);
    EXPECT_EQ(alerts.alerts()[0].message, "Hint Challenge Answer is incorrect.");
    EXPECT_EQ(alerts.alerts()[1].title, "The Hint");
    EXPECT_EQ(alerts.alerts()[1].message, "the cat's name");
    EXPECT_EQ(user.mHintEntered(), "the cat's name");
    EXPECT_EQ(loggedEvents("Request Hint"), 2);
    EXPECT_EQ(loggedEvents("Failed Hint Question Answer"), 1);
    EXPECT_FALSE(controller->lockControl().isLocked());
}

// Without a question the hint is read behind the window too; the lock panel
// keeps the password typed meanwhile and takes no unlock, quit or second hint.
TEST_F(Session, TheHintWithoutAQuestionIsReadBehindTheWindow)
{
    ASSERT_TRUE(launch());
    givePreferenceRow();
    tvxtest::AlertRecorder alerts;
    tvxtest::ModalScript script;
    uint64_t usesBefore = 0;
    uint64_t usesAfter = 1;
    script.then([&](QWidget* window) {
        auto* panel = static_cast<BMLockPanel*>(window);
        usesBefore = db.connectionUsesOnMainThread();
        QTest::mouseClick(panel->hintButton(), Qt::LeftButton);
        EXPECT_TRUE(QTest::qWaitFor([&] { return !panel->saveWait()->isSaving(); }, 30000));

        TVXUser& user = *db.caches().getCurrentUser();
        user.setMHintEntered("ask the admin");
        TVXResult code = resultOfNumber(-1); // not set by the call
        db.passwordHint().saveHintPreferencs(user, &code);
        EXPECT_EQ(code, kTVXDone);
        user.setMHintEntered(QString());
        const uint64_t usesBetween = db.connectionUsesOnMainThread();

        auto holder = holdTable("APPPREFTABLE");
        QTest::keyClicks(panel->mPasswordField(), "typed meanwhile");
        QTest::mouseClick(panel->hintButton(), Qt::LeftButton);
        EXPECT_TRUE(panel->saveWait()->isSaving());
        EXPECT_FALSE(panel->mLackPanelOKButton()->isEnabled());
        EXPECT_FALSE(panel->mLockPanelQuitButton()->isEnabled());
        controller->lockControl().lockPanelOK();   // Return in the password field
        controller->lockControl().lockPanelQuit(); // Quit by its shortcut
        controller->lockControl().lockPanelHint();
        EXPECT_FALSE(panel->close());
        EXPECT_EQ(panel->mPasswordField()->text(), "typed meanwhile");
        EXPECT_EQ(alerts.alerts().size(), 1u) << "nothing answered yet";
        holder.reset();
        EXPECT_TRUE(QTest::qWaitFor([&] { return !panel->saveWait()->isSaving(); }, 30000));
        EXPECT_TRUE(panel->mLackPanelOKButton()->isEnabled());
        usesAfter = db.connectionUsesOnMainThread() - (usesBetween - usesBefore);
        panel->mPasswordField()->setText(kUserPassword);
        QTest::mouseClick(panel->mLackPanelOKButton(), Qt::LeftButton);
        return platform::kModalRunStopped;
    });
    controller->lockControl().displayLockPanel();
    EXPECT_EQ(usesAfter, usesBefore) << "the hint's reads go behind the window";
    ASSERT_EQ(alerts.alerts().size(), 2u);
    EXPECT_EQ(alerts.alerts()[0].title, "The Hint");
    EXPECT_EQ(alerts.alerts()[0].message, "You have not set any hint.");
    EXPECT_EQ(alerts.alerts()[1].message, "ask the admin");
    EXPECT_EQ(db.caches().getCurrentUser()->mHintEntered(), "ask the admin");
    EXPECT_FALSE(controller->lockControl().isLocked());
    EXPECT_EQ(terminations, 0);
}

// A quit asked for while the hint waits ends the run once the hint is
// answered, and the answer is shown before.
TEST_F(Session, AQuitWhileTheHintWaitsEndsOnceItIsAnswered)
{
    ASSERT_TRUE(launch());
    givePreferenceRow();
    tvxtest::AlertRecorder alerts;
    tvxtest::ModalScript script;
    int terminationsWhileHeld = -1;
    QStringList alertsAtTheEnd;
    controller->startup().setTerminateHandler([&] {
        ++terminations;
        alertsAtTheEnd = alerts.messages();
    });
    script.then([&](QWidget* window) {
        auto* panel = static_cast<BMLockPanel*>(window);
        auto holder = holdTable("APPPREFTABLE");
        QTest::mouseClick(panel->hintButton(), Qt::LeftButton);
        controller->startup().terminate(); // the desktop session ends
        QTest::qWait(100);
        terminationsWhileHeld = terminations;
        holder.reset();
        EXPECT_TRUE(QTest::qWaitFor([&] { return terminations > 0; }, 30000));
        return platform::kModalRunAborted;
    });
    controller->lockControl().displayLockPanel();
    EXPECT_EQ(terminationsWhileHeld, 0);
    EXPECT_EQ(terminations, 1);
    EXPECT_EQ(alertsAtTheEnd, QStringList{"You have not set any hint."});
}

namespace {

class IdleLock : public Session {
protected:
    void SetUp() override
    {
        Session::SetUp();
        ASSERT_TRUE(launch());
        TVXUser& user = *db.caches().getCurrentUser();
        user.setMAutoLOck(true);
        user.setMLockTime(5);
    }
    // The user comes back and unlocks with the right password.
    tvxtest::ModalScript::Step unlock()
    {
        return [](QWidget* window) {
            auto* panel = static_cast<BMLockPanel*>(window);
            QTest::keyClicks(panel->mPasswordField(), kUserPassword);
            QTest::mouseClick(panel->mLackPanelOKButton(), Qt::LeftButton);
            return platform::kModalRunStopped;
        };
    }
};

} // namespace

TEST_F(IdleLock, AnOpenEditorIsConfirmedFirstAndTheLockFollows)
{
    QWidget sheet;
    sheet.setWindowModality(Qt::ApplicationModal);
    QWidget inner;
    inner.setWindowModality(Qt::ApplicationModal);
    sheet.show();
    inner.show();
    QList<int> posted;
    controller->lockControl().setReturnKeyPoster([&](int times) {
        posted << times;
        inner.hide();
        sheet.hide();
    });
    tvxtest::ModalScript script;
    script.then(unlock());
    controller->lockControl().DoIdle();
    EXPECT_EQ(posted, QList<int>{2}) << "a panel inside the sheet takes the first Return";
    EXPECT_TRUE(script.windows().isEmpty()) << "the lock waits for the editor to close";
    controller->lockControl().DoIdle(); // a second firing meanwhile starts nothing
    EXPECT_EQ(posted.size(), 1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return script.windows().contains("mLockPanel"); }, 5000));
    EXPECT_FALSE(controller->lockControl().isLocked());
    EXPECT_EQ(loggedEvents("Lock Application"), 1);

    // Without an editor the lock comes at once.
    tvxtest::ModalScript again;
    again.then(unlock());
    controller->lockControl().DoIdle();
    EXPECT_EQ(again.windows().value(0), "mLockPanel");
    EXPECT_EQ(posted.size(), 1);
}

TEST_F(IdleLock, TheLockOverTheRecordSheetStoresItsEditWhateverHasTheFocus)
{
    ASSERT_TRUE(controller->windowSetup().mainWindowView());
    ASSERT_TRUE(tvxtest::selectRecords(*controller, {"00000000000000B1"}));
    tvxtest::ModalScript script;
    script.then([this](QWidget*) {
        BMDetailsWindowController& sheet = controller->recordCommands().detailsWindowController();
        sheet.valueField(1)->setText("bob");
        // The user was typing a note when the idle time ran out.
        sheet.notesView()->setFocus();
        sheet.notesView()->setPlainText("first line");
        controller->lockControl().DoIdle();
        EXPECT_TRUE(QTest::qWaitFor([&] { return sheet.requestedEnd().has_value(); }, 5000));
        EXPECT_EQ(sheet.notesView()->toPlainText(), "first line") << "no Return typed into the note";
        return sheet.requestedEnd().value_or(platform::kModalRunAborted);
    });
    script.then(unlock());
    controller->recordCommands().editItemDoubleAction();
    ASSERT_TRUE(QTest::qWaitFor([&] { return script.windows().contains("mLockPanel"); }, 5000));
    EXPECT_EQ(script.windows().value(0), "DetailsWindowController");
    TVXDataBase other;
    ASSERT_EQ(logInAndLoad(other), kTVXDone);
    const auto seen = other.caches().recordWithUID("00000000000000B1");
    ASSERT_TRUE(seen);
    EXPECT_EQ(seen->mValue2(), "bob");
    EXPECT_EQ(seen->mNotes(), "first line");
}

TEST_F(IdleLock, HidesARefusedEditWithItsAlertAndGivesBothBackAsTheyWere)
{
    // Every window runs for real here: the sheet, its alert, the lock panel.
    tvxtest::RealRuns real;
    ASSERT_TRUE(controller->windowSetup().mainWindowView());
    ASSERT_TRUE(tvxtest::selectRecords(*controller, {"00000000000000B1"}));
    BMDetailsWindowController& sheet = controller->recordCommands().detailsWindowController();
    // Return as the idle handler posts it: the alert's default button.
    controller->lockControl().setReturnKeyPoster([](int) {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
            QTimer::singleShot(0, box->defaultButton(), &QPushButton::click);
    });
    const QString tooLong(300, QLatin1Char('x'));
    QStringList shownWhileLocked;
    bool sheetBackWithItsEdit = false;
    bool focusBack = false;
    bool openAfterAlert = false;
    int step = 0;
    QTimer user;
    user.setInterval(10);
    QObject::connect(&user, &QTimer::timeout, [&] {
        auto* alert = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        switch (step) {
        case 0: // the sheet: a value too long to store, and OK
            if (!sheet.window()->isVisible())
                return;
            sheet.valueField(1)->setText(tooLong);
            step = 1;
            QTimer::singleShot(0, sheet.okButton(), &QPushButton::click);
            return;
        case 1: // the refusal's alert is up when the idle time runs out
            if (!alert)
                return;
            step = 2;
            QTimer::singleShot(0, controller.get(), [this] { controller->lockControl().DoIdle(); });
            return;
        case 2: // locked: only the lock panel shows
            if (!controller->lockControl().lockPanel()->isVisible())
                return;
            for (QWidget* w : QApplication::topLevelWidgets())
                if (w->isVisible())
                    shownWhileLocked << (w->objectName().isEmpty() ? w->metaObject()->className() : w->objectName());
            QTest::keyClicks(controller->lockControl().lockPanel()->mPasswordField(), kUserPassword);
            step = 3;
            QTimer::singleShot(0, controller->lockControl().lockPanel()->mLackPanelOKButton(), &QPushButton::click);
            return;
        case 3: // unlocked: the sheet and its alert are back
            if (controller->lockControl().isLocked() || !alert || !alert->isVisible())
                return;
            sheetBackWithItsEdit = sheet.window()->isVisible() && sheet.valueField(1)->text() == tooLong;
            focusBack = sheet.window()->focusWidget() == sheet.valueField(1);
            step = 4;
            QTimer::singleShot(0, alert->defaultButton(), &QPushButton::click);
            return;
        case 4: // OK on the alert leaves the sheet open; a value that fits is stored
            if (alert)
                return;
            openAfterAlert = sheet.window()->isVisible() && !sheet.requestedEnd().has_value();
            sheet.valueField(1)->setText(QStringLiteral("fixed"));
            step = 5;
            QTimer::singleShot(0, sheet.okButton(), &QPushButton::click);
            return;
        default:
            return;
        }
    });
    user.start();
    controller->recordCommands().editItemDoubleAction();
    user.stop();

    EXPECT_EQ(step, 5);
    EXPECT_EQ(shownWhileLocked, QStringList{"mLockPanel"});
    EXPECT_TRUE(sheetBackWithItsEdit);
    EXPECT_TRUE(focusBack);
    EXPECT_TRUE(openAfterAlert) << "the alert's OK must not end the sheet";
    EXPECT_EQ(sheet.requestedEnd(), platform::kModalRunStopped);
    EXPECT_EQ(loggedEvents("Lock Application"), 1);
    TVXDataBase other;
    ASSERT_EQ(logInAndLoad(other), kTVXDone);
    const auto seen = other.caches().recordWithUID("00000000000000B1");
    ASSERT_TRUE(seen);
    EXPECT_EQ(seen->mValue2(), "fixed");
}

TEST_F(IdleLock, WaitsWhileTheLogInPanelIsUp)
{
    const QString id = rootQueryValue("SELECT ID FROM information_schema.PROCESSLIST WHERE USER='alice' LIMIT 1");
    rootExec("KILL " + id);
    tvxtest::AlertRecorder alerts;
    tvxtest::ModalScript script;
    script.then([](QWidget*) { return platform::kModalRunAborted; }); // the reload's progress panel
    script.then([this](QWidget* window) {
        controller->lockControl().DoIdle();
        EXPECT_FALSE(controller->lockControl().isLocked());
        connectAs(window, kUserPassword);
        return platform::kModalRunAborted;
    });
    script.then(unlock());
    controller->startup().reloadDatabase(nullptr);
    EXPECT_EQ(script.windows(), QStringList({"mLoadingDataPanel", "mConnectionWindow"}));
    ASSERT_TRUE(QTest::qWaitFor([&] { return script.windows().contains("mLockPanel"); }, 5000));
    EXPECT_EQ(terminations, 0);
    EXPECT_FALSE(controller->isConnectionCancelled());
}

TEST_F(Session, AFirstLoadThatFailsSaysSo)
{
    rootExec("DROP TABLE tolvanexdb.CUSTOMICONTABLE");
    tvxtest::AlertRecorder alerts;
    EXPECT_TRUE(launch());
    ASSERT_EQ(alerts.alerts().size(), 1u);
    EXPECT_EQ(alerts.lastTitle(), "Reload Failed!");
    EXPECT_EQ(alerts.lastMessage(), "Data can't be reloaded.");
    EXPECT_EQ(terminations, 0);
}
