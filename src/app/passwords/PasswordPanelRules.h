#pragma once
// The checks, messages and storage of the user-password and master-password
// panels, apart from the panels: the controller asks these and shows what
// they answer.

#include "store/session/ResultCodes.h"
#include <QString>

#include <functional>
#include <optional>

class TVXEventLogAccess;
class TVXPasswordHint;

namespace passwordpanels {

// An alert a check answers with; empty button means the standard "OK".
struct Refusal {
    QString title;
    QString message;
    QString button;
};

// What the user typed into the user-password panel.
struct UserPasswordInput {
    QString oldPassword;
    QString newPassword;
    QString confirmPassword;
    QString hint;
    QString answer;
    int questionNumber = 0;
};

// What the user typed into a master-password panel (old is empty on the set panel).
struct MasterPasswordInput {
    bool changePanel = false;
    QString oldPassword;
    QString newPassword;
    QString confirmPassword;
};

using PolicyTest = std::function<bool(const QString&)>;

// At least 2 characters, of which at least 2 differ.
bool isValidPassword(const QString& password);

// The strength meter: 10 points for each class present (letters or digits,
// lower case, upper case, ASCII punctuation, the option-key characters),
// then (points / 50 + length / 20) / 2; not capped.
double passwordStrength(const QString& password);
// "Password Strength: Weak" (<= 0.25), "Fair" (<= 0.5), "Good" (<= 0.75), "Excellent".
QString passwordStrengthLabel(double strength);

// The panel's checks in order: the old password (when the user has one),
// the policy (for a non-empty new password), the confirmation, validity.
std::optional<Refusal> checkUserPasswordPanel(const UserPasswordInput& input, bool userHasPassword,
                                              const PolicyTest& validatesOldPassword,
                                              const PolicyTest& conformsToPolicy);

// Stores the password with the hint as the panel asks: the hint text alone, or
// with its question and answer, behind the window; once the server answered,
// logs "Set Password" with the outcome and gives `answer` the store's code.
void storeUserPassword(TVXPasswordHint& passwords, TVXEventLogAccess& eventLog, const UserPasswordInput& input,
                       const QString& userName, std::function<void(TVXResult)> answer);

// The master-password panels' checks: the old password against the stored
// one (change panel), the policy, the confirmation, and a new password at all:
// an empty master password would leave every value readable on the server.
std::optional<Refusal> checkMasterPasswordPanel(const MasterPasswordInput& input, const QString& storedMasterPassword,
                                                const PolicyTest& conformsToPolicy);

} // namespace passwordpanels
