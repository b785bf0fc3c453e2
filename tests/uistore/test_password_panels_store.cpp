// The password panels against a real store: what a later log-in then needs.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QLineEdit>

#include "app/BMController.h"
#include "app/passwords/BMMasterPasswordPanel.h"
#include "app/passwords/BMUserPasswordPanel.h"
#include "model/TVXRecord.h"
#include "model/TVXUID.h"
#include "model/TVXUser.h"
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

    // Plays the user on the password panel: fills it and presses OK.
    // Whether OK let the panel close.
    bool changePassword(const QString& old, const QString& hint = {}, int question = 0, const QString& answer = {})
    {
        bool accepted = false;
        tvxtest::ModalScript script;
        script.then([&](QWidget* window) {
            auto* panel = qobject_cast<BMUserPasswordPanel*>(window);
            panel->mOldPasswordField()->setText(old);
            panel->mNewPasswordField()->setText(kNewPassword);
            panel->mConfirmPasswordField()->setText(kNewPassword);
            panel->mHintField()->setText(hint);
            panel->mHintQuestion()->setCurrentIndex(question);
            panel->mHintAnswer()->setText(answer);
            accepted = controller.passwordPanels().passwordPanelOK();
            return accepted ? platform::kModalRunStopped : platform::kModalRunAborted;
        });
        controller.passwordPanels().setPassword();
        return accepted;
    }
    int setPasswordRows()
    {
        return rootQueryValue("SELECT COUNT(*) FROM tolvanexdb.EVENTLOGGERTABLE WHERE EVENT='Set Password'").toInt();
    }

    TVXDataBase db;
    BMController controller{&db};
};

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
    script.then([&](QWidget* window) {
        auto* panel = qobject_cast<BMMasterPasswordPanel*>(window);
        panel->mOldMasterPasswordField()->setText(kMasterPassword);
        panel->mNewMasterPasswordField()->setText(kNewMaster);
        panel->mConfirmMasterPasswordField()->setText(kNewMaster);
        return own.passwordPanels().masterPasswordPanelOK() ? platform::kModalRunStopped : platform::kModalRunAborted;
    });
    own.passwordPanels().setMasterPassword();
    EXPECT_TRUE(alerts.alerts().empty()) << alerts.lastMessage().toStdString();
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
