#pragma once
// The signed-in user's password panel: old password (when there is one), new
// password with its strength, confirmation, and an optional hint with a
// question and its answer. The controller runs it and checks what it holds.
#include "app/passwords/PasswordPanelRules.h"
#include "views/BMPasswordStrengthMeter.h"

#include "platform/ui/SheetFrame.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
namespace platform {
class SaveWait;
}

// The meter the panel shows, the password generator's own.
using PasswordStrengthMeterView = BMPasswordStrengthMeter;

class BMUserPasswordPanel : public platform::SheetPanel {
    Q_OBJECT
public:
    explicit BMUserPasswordPanel(QWidget* parent = nullptr);

    // Empties every field and the meter; shows the old password only to a user who has one.
    void prepare(bool userHasPassword);
    passwordpanels::UserPasswordInput input() const;
    // Escape is Cancel.
    void reject() override { emit cancelClicked(); }
    // Shows the strength of the new password.
    void showStrength(double strength);

    QLineEdit* mOldPasswordField() const { return m_oldPasswordField; }
    QLineEdit* mNewPasswordField() const { return m_newPasswordField; }
    QLineEdit* mConfirmPasswordField() const { return m_confirmPasswordField; }
    QLineEdit* mHintField() const { return m_hintField; }
    QComboBox* mHintQuestion() const { return m_hintQuestion; }
    QLineEdit* mHintAnswer() const { return m_hintAnswer; }
    QLabel* mOldPAsswordLabel() const { return m_oldPAsswordLabel; }
    PasswordStrengthMeterView* mPassWordStrengthIndicator() const { return m_passWordStrengthIndicator; }
    QLabel* mtPassWordStrengthLabel() const { return m_tPassWordStrengthLabel; }
    // While the password OK sent waits for the server.
    platform::SaveWait* saveWait() const { return m_saveWait; }

signals:
    void passwordTextChanged(QObject* field);

private:
    QLineEdit* m_oldPasswordField = nullptr;
    QLabel* m_oldPAsswordLabel = nullptr;
    QLineEdit* m_newPasswordField = nullptr;
    QLineEdit* m_confirmPasswordField = nullptr;
    QLineEdit* m_hintField = nullptr;
    QComboBox* m_hintQuestion = nullptr;
    QLineEdit* m_hintAnswer = nullptr;
    PasswordStrengthMeterView* m_passWordStrengthIndicator = nullptr;
    QLabel* m_tPassWordStrengthLabel = nullptr;
    platform::SaveWait* m_saveWait = nullptr;
};
