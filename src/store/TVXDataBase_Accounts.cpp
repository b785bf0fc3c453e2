// The store's user accounts as the administrator sees them.
#include "model/BMGroup.h"
#include "model/TVXUID.h"
#include "model/TVXUser.h"
#include "model/TVXUser_Admin.h"
#include "store/AccountNames.h"
#include "store/QueryConstants.h"
#include "store/StatementHelpers.h"
#include "store/TVXDataBase.h"

#include <cppconn/connection.h>
#include <cppconn/exception.h>
#include <cppconn/prepared_statement.h>
#include <cppconn/resultset.h>
#include <cppconn/statement.h>

#include <QRegularExpression>
#include <QSet>

namespace {

// The account listing joined on equal names: with LIKE, an underscore or a
// percent sign in one name would pull in another account's details.
constexpr char kQueryUserDetailsExact[] =
    "SELECT UT.USERID,UT.USERNAME,UT.PASSWORD,UT.PLATFORMNAME,UT.GROUPPERMISSION,UT.TYPEPERMISSION,"
    "UT.RECORDPERMISSION,UT.DATAPERMISSION,UT.CANCHANGEPASSWORD,UT.ISACCOUNTDISABLED,UIT.FULL_NAME,"
    "UIT.DESCRIPTION,UIT.EMAIL,UIT.CONTACT_INFORMATION FROM USERTABLE UT LEFT OUTER JOIN MYSQL.USER_INFO UIT "
    "ON (CONVERT(UT.USERNAME USING utf8mb3) COLLATE utf8mb3_bin = UIT.USER)";

bool isGrantPrivilegeList(const QString& privileges)
{
    // Only the lists the account code uses: plain privilege names, optionally with a column list.
    static const QRegularExpression pattern(
        QStringLiteral("^(\\s*(SELECT|INSERT|UPDATE|DELETE|CREATE)(\\([A-Z_]+\\))?\\s*,)+$"));
    return pattern.match(privileges).hasMatch();
}

} // namespace

bool tvxsql::isValidAccountName(const QString& name)
{
    static const QRegularExpression pattern(QStringLiteral("^[A-Za-z0-9_.-]{1,16}$"));
    return pattern.match(name).hasMatch();
}

bool TVXDataBase::isValidAccountName(const QString& name)
{
    return tvxsql::isValidAccountName(name);
}

void TVXDataBase::readUserTableIfErrorReturnCode(TVXResult* code)
{
    // Administrators may create accounts; only an administrator may read this.
    QSet<QString> administrators;
    bool mayReadAccounts = false;
    try {
        std::unique_ptr<sql::Statement> admins(mCPcon->createStatement());
        std::unique_ptr<sql::ResultSet> names(
            admins->executeQuery("SELECT User FROM MYSQL.USER WHERE Create_user_priv='Y'"));
        while (names->next())
            administrators.insert(tvxsql::textColumn(*names, 1));
        mayReadAccounts = true;
    } catch (const sql::SQLException&) {
    }
    const QString me = m_currentUser->mUsername();
    mCurrentUserIsAdministrator.store(mayReadAccounts && administrators.contains(me));

    std::unique_ptr<sql::Statement> stmt(mCPcon->createStatement());
    std::unique_ptr<sql::ResultSet> rs(stmt->executeQuery(kQueryUserDetailsExact));
    m_users.clear();
    while (rs->next()) {
        const QString uid = tvxsql::textColumn(*rs, 1);
        const QString name = tvxsql::textColumn(*rs, 2);
        if (name == me || TVXUID::isWellKnownUID(uid))
            continue;
        auto user = std::make_shared<TVXUser_Admin>();
        user->setMUserID(uid);
        user->setMUsername(name);
        // Other accounts' passwords stay enciphered, and only an administrator
        // keeps even those (passwordOfAccount() deciphers one when asked).
        const QByteArray storedPassword = tvxsql::blobColumn(*rs, 3);
        user->setHasStoredPassword(!storedPassword.isEmpty());
        if (mCurrentUserIsAdministrator.load())
            user->setMStoredPassword(storedPassword);
        user->setMPlatformName(tvxsql::textColumn(*rs, 4));
        user->setMGroupPermissionsBit(static_cast<uint16_t>(rs->getInt(5)));
        user->setMTypePermissionsBit(static_cast<uint16_t>(rs->getInt(6)));
        user->setMRecordPermissionsBit(static_cast<uint16_t>(rs->getInt(7)));
        user->setMDataPermissionsBit(static_cast<uint16_t>(rs->getInt(8)));
        user->setMIsNotAllowedToChangePassword(!rs->getBoolean(9));
        user->setMIsAccountDisabled(rs->getBoolean(10));
        user->setMFullName(tvxsql::textColumn(*rs, 11));
        user->setMDescription(tvxsql::textColumn(*rs, 12));
        user->setMEmail(tvxsql::textColumn(*rs, 13));
        user->setMPhoneNo(tvxsql::textColumn(*rs, 14));
        user->setMUsersGroupArray(fetchGroupArrayForUserID(uid));
        user->setAdministrator(administrators.contains(name));
        m_users.insert(uid, std::move(user));
        if (code)
            *code = kTVXDone;
    }
}

void TVXDataBase::assignTablePrivilegesforTable(const QString& grantFormat, const QString& privileges,
                                                const QString& account)
{
    const auto guard = lockConnection(); // one thread at a time on the connection
    if (privileges.isEmpty())
        return;
    // Only well-formed names and privilege lists reach the server: the texts are
    // spliced into the statement, which cannot take them as parameters.
    if (!isValidAccountName(account) || !isGrantPrivilegeList(privileges))
        return;
    QString statement = grantFormat;
    statement.replace(statement.indexOf(QLatin1String("%@")), 2, privileges.chopped(1));
    const qsizetype second = statement.indexOf(QLatin1String("%@"));
    if (second < 0)
        return;
    statement.replace(second, 2, account);
    try {
        std::unique_ptr<sql::Statement> stmt(mCPcon->createStatement());
        stmt->execute(statement.toStdString());
    } catch (const sql::SQLException& e) {
        (void)reportDatabaseError(e);
    }
}

TVXResult TVXDataBase::removePasswordInUserTable()
{
    const auto guard = lockConnection(); // one thread at a time on the connection
    try {
        std::unique_ptr<sql::Statement> stmt(mCPcon->createStatement());
        stmt->executeUpdate(kRemovePasswordFromUserTable);
        return kTVXDone;
    } catch (const sql::SQLException& e) {
        return reportDatabaseError(e);
    }
}

bool TVXDataBase::HasSufficientPVOnDB(int kind, uint16_t mask, const BMGroup& group)
{
    if (kind == 0)
        return (mask & group.mRecordLevelPermissions()) != 0;
    if (kind == 1)
        return (mask & group.mTypeLevelPermissions()) != 0;
    return false;
}
