#include "admin/UserAccountChecks.h"

#include "model/BMPasswordPolicyController.h"
#include "model/TVXUser_Admin.h"
#include "platform/ui/AlertPanel.h"
#include "store/accounts/AccountNames.h"

#include <QCoreApplication>

namespace useradmin {
namespace {

QString tr(const char* text)
{
    return QCoreApplication::translate("UserAccountController", text);
}

bool onlyBlanksAndTabs(const QString& text)
{
    for (const QChar c : text)
        if (c != QLatin1Char(' ') && c != QLatin1Char('\t'))
            return false;
    return true;
}

} // namespace

QString addMoreGroupsTitle()
{
    return tr("<Add more Groups>");
}

Refusal nameTakenRefusal()
{
    return Refusal{platform::standardAlertTitle(),
                   tr(" Username Already exist in database.Please Choose another username.")};
}

StagedAccountChecks stageAccountChecks(const AccountInput& input, bool editing, const QString& originalName,
                                       const BMPasswordPolicyController& policy)
{
    const QString standard = platform::standardAlertTitle();
    const QString& name = input.name;
    StagedAccountChecks staged;
    const auto before = [&]() -> std::optional<Refusal> {
        // A name of blanks only is no name at all; any other blank is refused as a blank.
        if (name.contains(QLatin1Char(' ')) && !onlyBlanksAndTabs(name))
            return Refusal{tr("Tolvanex Enterprise"), tr("Username should not contain spaces.")};
        if (input.password != input.retypedPassword)
            return Refusal{standard, tr(" Password Mismatch: Please re-enter the password.")};
        if (onlyBlanksAndTabs(name) || name.compare(QLatin1String("root"), Qt::CaseInsensitive) == 0)
            return Refusal{standard, tr("Invalid Username.")};
        if (input.email.isEmpty())
            return Refusal{standard, tr("Email field cannnot be empty.")};
        return std::nullopt;
    };
    staged.beforeName = before();
    if (staged.beforeName)
        return staged;
    staged.nameMustBeFree = !editing || name != originalName;
    const auto after = [&]() -> std::optional<Refusal> {
        if (name.size() > kMaxUserNameLength)
            return Refusal{standard,
                           tr(" Username can contain maximum of 16 characters.Please Choose another username.")};
        // The server account takes the name as it is: only characters the store
        // accepts in an account name, so that it is never refused after the checks.
        if (!tvxsql::isValidAccountName(name))
            return Refusal{standard, tr("Invalid Username.")};
        if (input.description.size() > kMaxDescriptionLength)
            return Refusal{standard, tr(" Description too long, Description can contain maximum of 200 characters."
                                        "Please change Description.")};
        if (input.password.size() > kMaxPasswordLength)
            return Refusal{standard, tr(" Password is too long, it  can contain maximum of 40 characters.Please "
                                        "Choose another password.")};
        if (!input.password.isEmpty() && !policy.stringConformsPassowrdPolicy(input.password))
            return Refusal{standard, tr("Your password doesn't match with password policy.")};
        return std::nullopt;
    };
    staged.afterName = after();
    return staged;
}

std::optional<Refusal> checkAccountInput(const AccountInput& input, bool editing, const QString& originalName,
                                         const std::function<bool(const QString&)>& exists,
                                         const BMPasswordPolicyController& policy)
{
    const StagedAccountChecks staged = stageAccountChecks(input, editing, originalName, policy);
    if (staged.beforeName)
        return staged.beforeName;
    if (staged.nameMustBeFree && exists && exists(input.name))
        return nameTakenRefusal();
    return staged.afterName;
}

std::shared_ptr<TVXUser_Admin> createDuplicateForUser(const TVXUser_Admin& user)
{
    auto copy = TVXUser_Admin::createUser();
    copy->setMUsername(user.mUsername());
    copy->setMPlatformName(user.mPlatformName());
    copy->setMUserID(user.mUserID());
    copy->setMDescription(user.mDescription());
    copy->setMIsNotAllowedToChangePassword(user.mIsNotAllowedToChangePassword());
    copy->setMIsAccountDisabled(user.mIsAccountDisabled());
    copy->setMGroupPermissionsBit(user.mGroupPermissionsBit());
    copy->setMTypePermissionsBit(user.mTypePermissionsBit());
    copy->setMRecordPermissionsBit(user.mRecordPermissionsBit());
    copy->setMDataPermissionsBit(user.mDataPermissionsBit());
    copy->setMFullName(user.mFullName());
    copy->setMEmail(user.mEmail());
    copy->setMPhoneNo(user.mPhoneNo());
    copy->setAdministrator(user.isAdministrator());
    copy->setMPassword(QString());
    return copy;
}

QString duplicateName(const QString& name)
{
    return name + QStringLiteral("copy");
}

QString passwordColumnText(const TVXUser_Admin& user)
{
    return user.hasPassword() ? tr("Yes") : tr("No");
}

} // namespace useradmin
