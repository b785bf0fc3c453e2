// The password panels against a real store: what a later log-in then needs.
#include <gtest/gtest.h>

#include <cppconn/connection.h>
#include <cppconn/resultset.h>
#include <cppconn/statement.h>

#include <QComboBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "app/BMController.h"
#include "app/lock/BMLockControl.h"
#include "app/lock/BMLockPanel.h"
#include "app/passwords/BMPasswordPanels.h"
#include "app/passwords/BMMasterPasswordPanel.h"
#include "app/passwords/BMUserPasswordPanel.h"
#include "model/TVXRecord.h"
#include "model/TVXUID.h"
#include "model/TVXUser.h"
#include "platform/ui/SaveWait.h"
#include "store/TVXDataBase.h"
#include "support/StoreSeed.h"
#include "support/TestStore.h"
#include "support/UiTestSupport.h"

using namespace teststore;

namespace {

const QString kNewPassword = QStringLiteral("N3u-geheim");
const QString kNewMaster = QStringLiteral("Neues-Master-2");

class PasswordPanelsOnTheStore : public StoreTest {
protected:
    void SetUp() override
    {
        StoreTest::SetUp();
        ASSERT_EQ(logInAndLoad(db), kTVXDone);
        givePreferenceRow(aliceID, kUserName);
        db.caches().getCurrentUser()->setMIsNotAllowedToChangePassword(false);
    }

    static void fill(BMUserPasswordPanel* panel, const QString& old, const QString& hint = {}, int question = 0,
                     const QString& answer = {})
    {
        panel->mOldPasswordField()->setText(old);
        panel->mNewPasswordField()->setText(kNewPassword);
        panel->mConfirmPasswordField()->setText(kNewPassword);
        panel->mHintField()->setText(hint);
        panel->mHintQuestion()->setCurrentIndex(question);
        panel->mHintAnswer()->setText(answer);
    }
    // Plays the user on the password panel: fills it, presses OK and waits
    // for the server's answer. Whether the answer let the panel close; the
    // main thread never waited for the connection meanwhile.
    bool changePassword(const QString& old, const QString& hint = {}, int question = 0, const QString& answer = {})
    {
        BMPasswordPanels& panels = controller.passwordPanels();
        tvxtest::ModalScript script;
        script.then([&](QWidget* window) {
            fill(qobject_cast<BMUserPasswordPanel*>(window), old, hint, question, answer);
            const uint64_t uses = db.connectionUsesOnMainThread();
            if (panels.passwordPanelOK())
                EXPECT_TRUE(QTest::qWaitFor([&] { return !panels.isWaitingForServer(); }, 30000));
            EXPECT_EQ(db.connectionUsesOnMainThread(), uses) << "the password goes out behind the window";
            return panels.passwordPanelEnd().value_or(platform::kModalRunAborted);
        });
        panels.setPassword();
        return panels.passwordPanelEnd() == platform::kModalRunStopped;
    }
    int setPasswordRows()
    {
        return rootQueryValue("SELECT COUNT(*) FROM tolvanexdb.EVENTLOGGERTABLE WHERE EVENT='Set Password'").toInt();
    }

    TVXDataBase db;
    BMController controller{&db};
};

// The server is slow to take the password: the window goes on, the panel
// keeps what was typed, says that it waits and takes no second OK or Cancel;
// memory changes only once the server has the new password.
TEST_F(PasswordPanelsOnTheStore, APasswordWaitingForTheServerKeepsTheWindowAnsweringAndThePanelsInput)
{
    tvxtest::AlertRecorder alerts;
    BMPasswordPanels& panels = controller.passwordPanels();
    const tvxtest::Ticker ticker;
    tvxtest::ModalScript script;
    script.then([&](QWidget* window) {
        auto* panel = qobject_cast<BMUserPasswordPanel*>(window);
        fill(panel, kUserPassword, "the dog", 5, "Rex");
        auto holder = holdTable("USERTABLE"); // the stored copy waits
        EXPECT_TRUE(panels.passwordPanelOK());
        EXPECT_TRUE(panels.isWaitingForServer());
        const int before = ticker.ticks();
        EXPECT_TRUE(QTest::qWaitFor([&] { return !panel->saveWait()->line()->isHidden(); }, 2000))
            << "the waiting line";
        EXPECT_GT(ticker.ticks(), before + 10) << "the window's timers ran while the password waited";
        EXPECT_TRUE(QGuiApplication::overrideCursor() && QGuiApplication::overrideCursor()->shape() == Qt::BusyCursor);
        EXPECT_FALSE(panel->okButton()->isEnabled());
        EXPECT_FALSE(panel->cancelButton()->isEnabled());
        EXPECT_FALSE(panels.passwordPanelOK()); // Return in a field
        panels.passwordPanelCancel();           // Escape
        EXPECT_FALSE(panel->close()) << "the panel stays until the answer";
        EXPECT_FALSE(panels.passwordPanelEnd());
        EXPECT_EQ(panel->mNewPasswordField()->text(), kNewPassword);
        EXPECT_EQ(panel->mHintAnswer()->text(), "Rex");
        EXPECT_EQ(db.caches().getCurrentUser()->mPassword(), kUserPassword) << "memory waits for the server";
        holder.reset();
        EXPECT_TRUE(QTest::qWaitFor([&] { return !panels.isWaitingForServer(); }, 30000));
        EXPECT_TRUE(panel->saveWait()->line()->isHidden());
        return panels.passwordPanelEnd().value_or(platform::kModalRunAborted);
    });
    panels.setPassword();
    EXPECT_EQ(panels.passwordPanelEnd(), platform::kModalRunStopped);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_TRUE(alerts.alerts().empty()) << alerts.lastMessage().toStdString();
    EXPECT_EQ(db.caches().getCurrentUser()->mPassword(), kNewPassword);
    EXPECT_EQ(db.caches().getCurrentUser()->mHintQuestionNumber(), 5);
    EXPECT_TRUE(panels.passwordPanel()->mNewPasswordField()->text().isEmpty()) << "no secret stays in the panel";
    EXPECT_EQ(setPasswordRows(), 1);
    TVXDataBase fresh;
    ASSERT_EQ(logInAndLoad(fresh, kUserName, kNewPassword), kTVXDone);
    TVXResult code = resultOfNumber(-1); // not set by the call
    EXPECT_EQ(fresh.passwordHint().passwordHintForUser(*fresh.caches().getCurrentUser(), "Rex", &code), "the dog");
}

// A lock asked for while the password waits comes after the answer, and the
// answer ends no run but the panel's: the new password then unlocks.
TEST_F(PasswordPanelsOnTheStore, ALockAskedForWhileThePasswordWaitsComesAfterItsAnswer)
{
    tvxtest::AlertRecorder alerts;
    BMPasswordPanels& panels = controller.passwordPanels();
    bool lockedDuringTheWait = true;
    bool storedAtTheLock = false;
    tvxtest::ModalScript script;
    script.then([&](QWidget* window) {
        fill(qobject_cast<BMUserPasswordPanel*>(window), kUserPassword);
        auto holder = holdTable("USERTABLE");
        EXPECT_TRUE(panels.passwordPanelOK());
        controller.lockControl().displayLockPanel(); // Ctrl+L
        lockedDuringTheWait = controller.lockControl().isLocked();
        holder.reset();
        EXPECT_TRUE(QTest::qWaitFor([&] { return script.windows().contains("mLockPanel"); }, 30000));
        return panels.passwordPanelEnd().value_or(platform::kModalRunAborted);
    });
    script.then([&](QWidget* window) {
        storedAtTheLock = panels.passwordPanelEnd() == platform::kModalRunStopped && !panels.isWaitingForServer();
        auto* lock = static_cast<BMLockPanel*>(window);
        QTest::keyClicks(lock->mPasswordField(), kNewPassword);
        lock->mLackPanelOKButton()->click();
        return platform::kModalRunStopped;
    });
    panels.setPassword();
    EXPECT_FALSE(lockedDuringTheWait);
    EXPECT_TRUE(storedAtTheLock);
    EXPECT_FALSE(controller.lockControl().isLocked()) << "the new password unlocked";
    EXPECT_EQ(panels.passwordPanelEnd(), platform::kModalRunStopped);
    EXPECT_EQ(alerts.messages(), QStringList()) << "no wrong-password alert";
}

// A change the server refuses (the connection is gone) is told, keeps the
// panel and what was typed, and nothing is taken as stored: the lock still
// opens with the old password.
TEST_F(PasswordPanelsOnTheStore, ARefusedPasswordChangeIsToldAndNothingIsTakenAsStored)
{
    controller.startup().unregisterObservers(); // no new log-in panel for the lost connection
    tvxtest::AlertRecorder alerts;
    BMPasswordPanels& panels = controller.passwordPanels();
    {
        std::unique_ptr<sql::Statement> stmt(db.connection()->createStatement());
        std::unique_ptr<sql::ResultSet> rs(stmt->executeQuery("SELECT CONNECTION_ID()"));
        ASSERT_TRUE(rs->next());
        rootExec(QStringLiteral("KILL %1").arg(rs->getInt64(1)));
    }
    tvxtest::ModalScript script;
    QString keptAfterTheAnswer;
    script.then([&](QWidget* window) {
        auto* panel = qobject_cast<BMUserPasswordPanel*>(window);
        fill(panel, kUserPassword, "the dog", 5, "Rex");
        EXPECT_TRUE(panels.passwordPanelOK());
        EXPECT_TRUE(QTest::qWaitFor([&] { return !panels.isWaitingForServer(); }, 30000));
        keptAfterTheAnswer = panel->mNewPasswordField()->text();
        EXPECT_TRUE(panel->okButton()->isEnabled()) << "OK may be tried again";
        return panels.passwordPanelEnd().value_or(platform::kModalRunAborted);
    });
    panels.setPassword();
    EXPECT_FALSE(panels.passwordPanelEnd());
    EXPECT_FALSE(alerts.alerts().empty());
    for (const QString& message : alerts.messages())
        EXPECT_FALSE(message.contains(kNewPassword)) << "no secret in an error text";
    EXPECT_EQ(keptAfterTheAnswer, kNewPassword);
    const TVXUser& user = *db.caches().getCurrentUser();
    EXPECT_EQ(user.mPassword(), kUserPassword);
    EXPECT_EQ(user.mHintQuestionNumber(), 0);
    EXPECT_FALSE(TVXPasswordHint::doesPasswordMatchForUser(&user, kNewPassword));
    TVXDataBase again;
    EXPECT_EQ(again.startConnectionToServer(loginRequest(kUserName, kUserPassword)), kTVXDone);
}

TEST_F(PasswordPanelsOnTheStore, ANewPasswordWithAQuestionIsWhatTheNextLogInNeeds)
{
    tvxtest::AlertRecorder alerts;
    changePassword(kUserPassword, "the dog", 5, "Rex");
    EXPECT_TRUE(alerts.alerts().empty()) << alerts.lastMessage().toStdString();
    EXPECT_EQ(setPasswordRows(), 1);

    TVXDataBase old;
    EXPECT_EQ(old.startConnectionToServer(loginRequest(kUserName, kUserPassword)), kTVXAccessDenied);
    TVXDataBase fresh;
    ASSERT_EQ(logInAndLoad(fresh, kUserName, kNewPassword), kTVXDone);
    EXPECT_EQ(fresh.caches().getCurrentUser()->mPassword(), kNewPassword);
    TVXResult code = resultOfNumber(-1); // not set by the call
    EXPECT_TRUE(fresh.passwordHint().validatePasswordHintAnswerForUser(kUserName, "Rex", 5, &code));
    EXPECT_EQ(fresh.passwordHint().passwordHintForUser(*fresh.caches().getCurrentUser(), "Rex", &code), "the dog");
}

TEST_F(PasswordPanelsOnTheStore, APasswordWithoutHintIsStoredAndLoggedToo)
{
    changePassword(kUserPassword);
    EXPECT_EQ(setPasswordRows(), 1);
    TVXDataBase fresh;
    EXPECT_EQ(logInAndLoad(fresh, kUserName, kNewPassword), kTVXDone);
    TVXResult code = resultOfNumber(-1); // not set by the call
    EXPECT_FALSE(fresh.passwordHint().isHintExist(*fresh.caches().getCurrentUser(), &code));
}

TEST_F(PasswordPanelsOnTheStore, APasswordTheStoreRefusesKeepsThePanelOpen)
{
    // The stored copy of the password is refused.
    rootExec("CREATE TRIGGER tolvanexdb.refuse_copy BEFORE UPDATE ON tolvanexdb.USERTABLE FOR EACH ROW "
             "SIGNAL SQLSTATE '45000' SET MESSAGE_TEXT = 'refused'");
    tvxtest::AlertRecorder alerts; // the store's error path speaks
    EXPECT_FALSE(changePassword(kUserPassword, "the dog"));
    EXPECT_FALSE(alerts.alerts().empty());
}

using MasterPasswordPanelOnTheStore = PasswordPanelsOnTheStore;

TEST_F(MasterPasswordPanelOnTheStore, TheNewMasterPasswordOpensTheStoreAndTheOldOneNoLonger)
{
    StoreSeed seed(kMasterPassword);
    seed.record({"00000000000000B1", kUnfiledUID, kUnfiledUID, {"Sparkasse", "1234"}});
    makeAdministrator(kUserName); // the change rewrites every table: an administrator's work
    TVXDataBase alice;
    ASSERT_EQ(logInAndLoad(alice), kTVXDone);
    BMController own(&alice);
    tvxtest::AlertRecorder alerts;
    tvxtest::ModalScript script;
    uint64_t usesAtTheChecks = 1;
    const uint64_t usesBefore = alice.connectionUsesOnMainThread();
    script.then([&](QWidget* window) {
        auto* panel = qobject_cast<BMMasterPasswordPanel*>(window);
        panel->mOldMasterPasswordField()->setText(kNewMaster);
        panel->mNewMasterPasswordField()->setText(kNewMaster);
        panel->mConfirmMasterPasswordField()->setText(kNewMaster);
        EXPECT_FALSE(own.passwordPanels().masterPasswordPanelOK());
        panel->mOldMasterPasswordField()->setText(kMasterPassword);
        const bool passed = own.passwordPanels().masterPasswordPanelOK();
        usesAtTheChecks = alice.connectionUsesOnMainThread();
        return passed ? platform::kModalRunStopped : platform::kModalRunAborted;
    });
    own.passwordPanels().setMasterPassword();
    EXPECT_EQ(usesAtTheChecks, usesBefore) << "the panel and its checks ask no server";
    // The one refusal; the change itself went through without a word.
    ASSERT_EQ(alerts.alerts().size(), 1u) << alerts.lastMessage().toStdString();
    EXPECT_EQ(alerts.lastMessage(), "Your old password is incorrect.");
    EXPECT_TRUE(alice.isLoadingComplete());
    EXPECT_EQ(alice.masterPassword(), kNewMaster);
    EXPECT_TRUE(own.passwordPanels().resetMasterPasswordPanel()->mNewMasterPasswordField()->text().isEmpty());

    TVXDataBase old;
    EXPECT_EQ(old.startConnectionToServer(loginRequest(kUserName, kUserPassword, kMasterPassword)),
              kTVXMasterPasswordMismatch);
    TVXDataBase fresh;
    ASSERT_EQ(logInAndLoad(fresh, kUserName, kUserPassword, kNewMaster), kTVXDone);
    ASSERT_TRUE(fresh.caches().mRecords().contains("00000000000000B1"));
    EXPECT_EQ(fresh.caches().mRecords().value("00000000000000B1")->mValue2(), "1234");
}

} // namespace
