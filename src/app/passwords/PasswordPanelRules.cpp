#include "app/passwords/PasswordPanelRules.h"

#include "model/StringAdditions.h"
#include "platform/ui/AlertPanel.h"
#include "store/accounts/HintQuestions.h"
#include "store/eventlog/EventLogStore.h"
#include "store/accounts/HintStore.h"
#include "store/eventlog/TVXEventLogger.h"

#include <QCoreApplication>
#include <QSet>
#include <QVariantHash>

namespace passwordpanels {
namespace {

QString tr(const char* text) { return QCoreApplication::translate("BMController", text); }

QString standardTitle() { return platform::standardAlertTitle(); }
QString mismatchTitle() { return tr(" Password Mismatch!"); }

bool isAsciiPunctuation(QChar c)
{
    const char16_t u = c.unicode();
    return u > 0x20 && u < 0x7F && !c.isLetterOrNumber();
}

const QString& optionKeyCharacters()
{
    static const QString characters = QStringLiteral("å∫ç∂´ƒ©˙ˆ∆˚¬µ˜øπœ®ß†¨√∑≈¥Ω");
    return characters;
}

} // namespace

bool isValidPassword(const QString& password)
{
    if (password.size() < 2)
        return false;
    for (const QChar c : password)
        if (c != password.front())
            return true;
    return false;
}

double passwordStrength(const QString& password)
{
    bool alphanumeric = false, lower = false, upper = false, punctuation = false, optionKey = false;
    for (const QChar c : password) {
        alphanumeric = alphanumeric || c.isLetterOrNumber() || c.isMark();
        lower = lower || c.isLower();
        upper = upper || c.isUpper() || c.isTitleCase();
        punctuation = punctuation || isAsciiPunctuation(c);
        optionKey = optionKey || optionKeyCharacters().contains(c);
    }
    const int points = 10 * (int(alphanumeric) + int(lower) + int(upper) + int(punctuation) + int(optionKey));
    return (points / 50.0 + password.size() / 20.0) * 0.5;
}

QString passwordStrengthLabel(double strength)
{
    if (strength <= 0.25)
        return tr("Password Strength: Weak");
    if (strength <= 0.5)
        return tr("Password Strength: Fair");
    if (strength <= 0.75)
        return tr("Password Strength: Good");
    return tr("Password Strength: Excellent");
}

std::optional<Refusal> checkUserPasswordPanel(const UserPasswordInput& input, bool userHasPassword,
                                              const PolicyTest& validatesOldPassword,
                                              const PolicyTest& conformsToPolicy)
{
    if (userHasPassword && !(validatesOldPassword && validatesOldPassword(input.oldPassword)))
        return Refusal{standardTitle(), tr("Your old password is incorrect."), tr("OK")};
    if (!input.newPassword.isEmpty() && conformsToPolicy && !conformsToPolicy(input.newPassword))
        return Refusal{standardTitle(), tr("Your new password doesn't match with password policy."), QString()};
    if (input.newPassword != input.confirmPassword)
        return Refusal{standardTitle(), tr("Your new password doesn't match the confirm password."), tr("OK")};
    if (!isValidPassword(input.newPassword))
        return Refusal{standardTitle(),
                       tr("Password must be atleast 2 characters and have atleast 2 unique characters."), tr("OK")};
    return std::nullopt;
}

void storeUserPassword(TVXPasswordHint& passwords, TVXEventLogAccess& eventLog, const UserPasswordInput& input,
                       const QString& userName, std::function<void(TVXResult)> answer)
{
    // Every password change is an event, hint or not, with its outcome.
    auto logged = [&eventLog, userName, answer = std::move(answer)](TVXResult code) {
        eventLog.eventLogger().addLogEventBehind(QStringLiteral("Set Password"), QString(),
                                                 TVXEventLogger::actionForResult(code), userName);
        if (answer)
            answer(code);
    };
    // The hint is shown back as it was typed, less what the store cannot keep.
    const QString hintText = storableText(input.hint);
    if (hintText.isEmpty() || input.answer.isEmpty()) {
        passwords.setPasswordBehindWindow(input.newPassword, hintText.isEmpty() ? QStringLiteral("") : hintText,
                                          std::move(logged));
        return;
    }
    const QVariantHash hint{{kUserPasswordHint, hintText},
                            {kUserPasswordHintAnswer, input.answer},
                            {kUserPasswordHintQuestionNumber, input.questionNumber}};
    passwords.setPasswordBehindWindow(input.newPassword, std::optional<QVariantHash>(hint), std::move(logged));
}

std::optional<Refusal> checkMasterPasswordPanel(const MasterPasswordInput& input, const QString& storedMasterPassword,
                                                const PolicyTest& conformsToPolicy)
{
    if (input.changePanel && !storedMasterPassword.isEmpty() && input.oldPassword != storedMasterPassword)
        return Refusal{mismatchTitle(), tr("Your old password is incorrect."), QString()};
    if (!input.newPassword.isEmpty() && conformsToPolicy && !conformsToPolicy(input.newPassword))
        return Refusal{standardTitle(), tr("Your new password doesn't match with password policy."), QString()};
    if (input.newPassword != input.confirmPassword)
        return Refusal{mismatchTitle(), tr("Your new password doesn't match the confirm password."), QString()};
    if (input.newPassword.isEmpty())
        return Refusal{standardTitle(), tr("Please enter the new master password."), QString()};
    return std::nullopt;
}

} // namespace passwordpanels
