// The password panels' checks, messages, strength meter and which fields show.
#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QTest>

#include "app/BMController.h"
#include "app/passwords/BMMasterPasswordPanel.h"
#include "app/passwords/BMUserPasswordPanel.h"
#include "app/passwords/PasswordPanelRules.h"
#include "model/TVXUser.h"
#include "store/TVXDataBase.h"
#include "support/UiTestSupport.h"

using namespace passwordpanels;

namespace {

const PolicyTest kAnyPassword = [](const QString&) { return true; };
const PolicyTest kNoPassword = [](const QString&) { return false; };

TEST(PasswordStrength, PointsPerClassAndLength)
{
    // One of each of four classes in four characters: 40 points.
    EXPECT_DOUBLE_EQ(passwordStrength("Ab1!"), 0.5);
    EXPECT_EQ(passwordStrengthLabel(passwordStrength("Ab1!")), "Password Strength: Fair");
    EXPECT_DOUBLE_EQ(passwordStrength(""), 0.0);
    // A class counts once however often it occurs.
    EXPECT_DOUBLE_EQ(passwordStrength("aaaa"), (20 / 50.0 + 4 / 20.0) * 0.5);
    // The option-key characters are a class of their own; å is also a lower-case letter.
    EXPECT_DOUBLE_EQ(passwordStrength(QStringLiteral("∫")), (10 / 50.0 + 1 / 20.0) * 0.5);
    EXPECT_DOUBLE_EQ(passwordStrength(QStringLiteral("å")), (30 / 50.0 + 1 / 20.0) * 0.5);
    // The blank is no punctuation.
    EXPECT_DOUBLE_EQ(passwordStrength(" "), (1 / 20.0) * 0.5);
    // Twenty characters of all five classes reach 1; more is not capped.
    EXPECT_DOUBLE_EQ(passwordStrength(QStringLiteral("aB3$ø") + QStringLiteral("x").repeated(15)), 1.0);
    EXPECT_GT(passwordStrength(QStringLiteral("aB3$ø") + QStringLiteral("x").repeated(25)), 1.0);
}

TEST(PasswordStrength, LabelBoundaries)
{
    EXPECT_EQ(passwordStrengthLabel(0.25), "Password Strength: Weak");
    EXPECT_EQ(passwordStrengthLabel(0.2501), "Password Strength: Fair");
    EXPECT_EQ(passwordStrengthLabel(0.5), "Password Strength: Fair");
    EXPECT_EQ(passwordStrengthLabel(0.75), "Password Strength: Good");
    EXPECT_EQ(passwordStrengthLabel(0.7501), "Password Strength: Excellent");
}

TEST(PasswordChecks, ValidPasswordsHaveTwoDifferentCharacters)
{
    EXPECT_FALSE(isValidPassword(""));
    EXPECT_FALSE(isValidPassword("a"));
    EXPECT_FALSE(isValidPassword("aaaa"));
    EXPECT_TRUE(isValidPassword("ab"));
    EXPECT_TRUE(isValidPassword("aaab"));
}

TEST(PasswordChecks, UserPanelChecksInOrder)
{
    UserPasswordInput in{"wrong", "", "x", "", "", 0};
    const PolicyTest oldIsRight = [](const QString& typed) { return typed == "right"; };

    auto refusal = checkUserPasswordPanel(in, true, oldIsRight, kNoPassword);
    ASSERT_TRUE(refusal);
    EXPECT_EQ(refusal->message, "Your old password is incorrect.");
    EXPECT_EQ(refusal->title, "Tolvanex Enterprise Alert!");
    EXPECT_EQ(refusal->button, "OK");

    // Without a password the old field is not asked; an empty new one skips the policy.
    refusal = checkUserPasswordPanel(in, false, oldIsRight, kNoPassword);
    ASSERT_TRUE(refusal);
    EXPECT_EQ(refusal->message, "Your new password doesn't match the confirm password.");

    in = {"right", "new-pw", "new-pw", "", "", 0};
    refusal = checkUserPasswordPanel(in, true, oldIsRight, kNoPassword);
    ASSERT_TRUE(refusal);
    EXPECT_EQ(refusal->message, "Your new password doesn't match with password policy.");
    EXPECT_TRUE(refusal->button.isEmpty()); // the default button
    EXPECT_FALSE(checkUserPasswordPanel(in, true, oldIsRight, kAnyPassword));

    // Empty new and confirm: refused by the validity check.
    in = {"right", "", "", "", "", 0};
    refusal = checkUserPasswordPanel(in, true, oldIsRight, kAnyPassword);
    ASSERT_TRUE(refusal);
    EXPECT_EQ(refusal->message, "Password must be atleast 2 characters and have atleast 2 unique characters.");
}

TEST(PasswordChecks, MasterPanelsChecksAndTitles)
{
    MasterPasswordInput in{true, "not-it", "Neu-1", "Neu-1"};
    auto refusal = checkMasterPasswordPanel(in, "Master-Pw1", kAnyPassword);
    ASSERT_TRUE(refusal);
    EXPECT_EQ(refusal->title, " Password Mismatch!");
    EXPECT_EQ(refusal->message, "Your old password is incorrect.");

    in.oldPassword = "Master-Pw1";
    EXPECT_FALSE(checkMasterPasswordPanel(in, "Master-Pw1", kAnyPassword));
    refusal = checkMasterPasswordPanel(in, "Master-Pw1", kNoPassword);
    ASSERT_TRUE(refusal);
    EXPECT_EQ(refusal->title, "Tolvanex Enterprise Alert!");
    EXPECT_EQ(refusal->message, "Your new password doesn't match with password policy.");

    in.confirmPassword = "Neu-2";
    refusal = checkMasterPasswordPanel(in, "Master-Pw1", kAnyPassword);
    ASSERT_TRUE(refusal);
    EXPECT_EQ(refusal->title, " Password Mismatch!");
    EXPECT_EQ(refusal->message, "Your new password doesn't match the confirm password.");

    // The set panel has no old password to compare.
    MasterPasswordInput first{false, "", "Erstes-1", "Erstes-1"};
    EXPECT_FALSE(checkMasterPasswordPanel(first, "", kAnyPassword));
    // No store is left without a master password.
    first.newPassword = first.confirmPassword = "";
    refusal = checkMasterPasswordPanel(first, "", kAnyPassword);
    ASSERT_TRUE(refusal);
    EXPECT_EQ(refusal->message, "Please enter the new master password.");
}

class PasswordPanels : public ::testing::Test {
protected:
    void SetUp() override
    {
        TVXUser& user = *db.caches().getCurrentUser();
        user.setMUsername("alice");
        user.setMIsNotAllowedToChangePassword(false);
        // Without a server every query reports a lost connection, whose
        // log-in panel would take the scripted modal runs.
        controller.startup().unregisterObservers();
    }
    TVXDataBase db; // no server
    BMController controller{&db};
};

TEST_F(PasswordPanels, AUserWhoMayNotChangeItNeverSeesThePanel)
{
    db.caches().getCurrentUser()->setMIsNotAllowedToChangePassword(true);
    tvxtest::AlertRecorder alerts;
    tvxtest::ModalScript script;
    controller.passwordPanels().setPassword();
    EXPECT_TRUE(script.windows().isEmpty());
    ASSERT_EQ(alerts.alerts().size(), 1u);
    EXPECT_EQ(alerts.lastTitle(), "Tolvanex Enterprise Alert");
    EXPECT_EQ(alerts.lastMessage(), "You don't have sufficient access permissions.");
}

TEST_F(PasswordPanels, OldPasswordShowsOnlyForAUserWhoHasOne)
{
    tvxtest::ModalScript script;
    bool oldShown = true;
    script.then([&](QWidget* window) {
        auto* panel = qobject_cast<BMUserPasswordPanel*>(window);
        window->show();
        oldShown = panel->mOldPasswordField()->isVisible() || panel->mOldPAsswordLabel()->isVisible();
        window->hide();
        return platform::kModalRunAborted;
    });
    controller.passwordPanels().setPassword();
    EXPECT_FALSE(oldShown);

    db.caches().getCurrentUser()->setMPassword("alice-pw");
    script.then([&](QWidget* window) {
        window->show();
        oldShown = qobject_cast<BMUserPasswordPanel*>(window)->mOldPasswordField()->isVisible();
        window->hide();
        return platform::kModalRunAborted;
    });
    controller.passwordPanels().setPassword();
    EXPECT_TRUE(oldShown);
}

TEST_F(PasswordPanels, TypingShowsTheStrengthAndRefusalsKeepThePanelOpen)
{
    db.caches().getCurrentUser()->setMPassword("alice-pw");
    tvxtest::AlertRecorder alerts;
    tvxtest::ModalScript script;
    script.then([&](QWidget* window) {
        auto* panel = qobject_cast<BMUserPasswordPanel*>(window);
        EXPECT_TRUE(panel->mNewPasswordField()->text().isEmpty());
        QTest::keyClicks(panel->mNewPasswordField(), "Ab1!");
        EXPECT_EQ(panel->mtPassWordStrengthLabel()->text(), "Password Strength: Fair");
        EXPECT_FLOAT_EQ(panel->mPassWordStrengthIndicator()->mProgress(), 0.5f);
        QTest::keyClicks(panel->mOldPasswordField(), "not-alice-pw");
        QTest::keyClicks(panel->mConfirmPasswordField(), "Ab1!");
        EXPECT_FALSE(controller.passwordPanels().passwordPanelOK());
        panel->mOldPasswordField()->setText("alice-pw");
        panel->mConfirmPasswordField()->setText("Ab1?");
        EXPECT_FALSE(controller.passwordPanels().passwordPanelOK());
        return platform::kModalRunAborted;
    });
    controller.passwordPanels().setPassword();
    EXPECT_EQ(alerts.messages(), QStringList({"Your old password is incorrect.",
                                              "Your new password doesn't match the confirm password."}));
    // Nothing was stored, and the panel keeps no secret once closed.
    EXPECT_EQ(db.caches().getCurrentUser()->mPassword(), "alice-pw");
    EXPECT_TRUE(controller.passwordPanels().passwordPanel()->mNewPasswordField()->text().isEmpty());
    EXPECT_TRUE(controller.passwordPanels().passwordPanel()->mOldPasswordField()->text().isEmpty());
}

TEST_F(PasswordPanels, WithoutAStoredMasterPasswordTheSetPanelRuns)
{
    // Without a server there is no stored master password: the set panel runs.
    tvxtest::AlertRecorder alerts;
    tvxtest::ModalScript script;
    script.then([&](QWidget* window) {
        EXPECT_EQ(window->objectName(), "mSetMasterPasswordPanel");
        auto* panel = qobject_cast<BMMasterPasswordPanel*>(window);
        panel->mNewMasterPasswordField()->setText("Erstes-1");
        panel->mConfirmMasterPasswordField()->setText("Erstes-2");
        EXPECT_FALSE(controller.passwordPanels().masterPasswordPanelOK());
        return platform::kModalRunAborted;
    });
    controller.passwordPanels().setMasterPassword();
    ASSERT_EQ(alerts.alerts().size(), 1u);
    EXPECT_EQ(alerts.lastTitle(), " Password Mismatch!");
    EXPECT_EQ(alerts.lastMessage(), "Your new password doesn't match the confirm password.");
}

} // namespace
