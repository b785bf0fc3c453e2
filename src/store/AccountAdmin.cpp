// Creating, changing and deleting the store's user accounts.
#include "store/AccountAdmin.h"

#include "model/PasswordGenerator.h"
#include "model/TVXUID.h"
#include "model/TVXUser.h"
#include "model/TVXUser_Admin.h"
#include "store/AccountNames.h"
#include "store/QueryConstants.h"
#include "store/StatementHelpers.h"
#include "store/StoreChanges.h"
#include "store/StoreGrants.h"
#include "store/PersonalStore.h"
#include "store/PreferencesStore.h"
#include "store/StoreCaches.h"
#include "store/StoreSession.h"
#include "store/Transaction.h"

#include <cppconn/connection.h>
#include <cppconn/exception.h>
#include <cppconn/prepared_statement.h>
#include <cppconn/resultset.h>
#include <cppconn/statement.h>
#include <mysql_connection.h>

#include <QRegularExpression>
#include <QSet>

#include <functional>

namespace {

// An account call's ending: the caller's code gets the result too, and an
// account written is announced (once the call has released the guard).
auto accountCallEnding(TVXResult* code, storechanges::Announcement& changed)
{
    return [code, &changed](TVXResult result) {
        if (result == kTVXDone)
            changed.add(storechanges::kUsers);
        if (code)
            *code = result;
        return result;
    };
}

// The account listing joined on equal names: with LIKE, an underscore or a
// percent sign in one name would pull in another account's details.
constexpr char kQueryUserDetailsExact[] =
    "SELECT UT.USERID,UT.USERNAME,UT.PASSWORD,UT.PLATFORMNAME,UT.GROUPPERMISSION,UT.TYPEPERMISSION,"
    "UT.RECORDPERMISSION,UT.DATAPERMISSION,UT.CANCHANGEPASSWORD,UT.ISACCOUNTDISABLED,UIT.FULL_NAME,"
    "UIT.DESCRIPTION,UIT.EMAIL,UIT.CONTACT_INFORMATION FROM USERTABLE UT LEFT OUTER JOIN MYSQL.USER_INFO UIT "
    "ON (CONVERT(UT.USERNAME USING utf8mb3) COLLATE utf8mb3_bin = UIT.USER)";

constexpr char kQueryInsertUserRow[] =
    "INSERT INTO USERTABLE (USERID, USERNAME, PASSWORD, PLATFORMNAME, GROUPPERMISSION, TYPEPERMISSION, "
    "RECORDPERMISSION, DATAPERMISSION, CANCHANGEPASSWORD, ISACCOUNTDISABLED) VALUES (?,?,?,?,?,?,?,?,?,?)";
constexpr char kQueryUpdateUserRow[] =
    "UPDATE USERTABLE SET USERNAME=?, PASSWORD=?, PLATFORMNAME=?, GROUPPERMISSION=?, TYPEPERMISSION=?, "
    "RECORDPERMISSION=?, DATAPERMISSION=?, CANCHANGEPASSWORD=?, ISACCOUNTDISABLED=? WHERE USERID=?";
constexpr char kQueryUserNameForID[] = "SELECT USERNAME, PASSWORD FROM USERTABLE WHERE USERID=?";
constexpr char kQueryUpdatePreferenceName[] = "UPDATE APPPREFTABLE SET USERNAME=? WHERE USERID=?";
constexpr char kQueryDeleteUserGroups[] = "DELETE FROM USERGROUPTABLE WHERE USERID=?";
constexpr char kQueryDeleteUserRow[] = "DELETE FROM USERTABLE WHERE USERID=?";
constexpr char kQueryServerAccountExists[] = "SELECT COUNT(*) FROM MYSQL.USER WHERE USER=?";
constexpr char kQueryStoreUserExists[] = "SELECT COUNT(*) FROM USERTABLE WHERE USERNAME=?";
constexpr char kQueryReplaceUserInfo[] =
    "REPLACE INTO mysql.user_info (User, Full_name, Description, Email, Contact_information) VALUES (?,?,?,?,?)";
constexpr char kQueryDeleteUserInfo[] = "DELETE FROM mysql.user_info WHERE User=?";

// A password no one learns, for an account that must not log in again.
constexpr uint16_t kLockOutPasswordFlags = 15;
constexpr uint16_t kLockOutPasswordLength = 40;

} // namespace

// The manager's methods of account administration.
TVXResult TVXAccountAdminAccess::addUser(const TVXUser_Admin& user, TVXResult* code) { return mAccountAdmin->addUser(user, code); }
TVXResult TVXAccountAdminAccess::replaceUser(const TVXUser_Admin& user, TVXResult* code) { return mAccountAdmin->replaceUser(user, code); }
TVXResult TVXAccountAdminAccess::deleteUser(const TVXUser_Admin& user, TVXResult* code) { return mAccountAdmin->deleteUser(user, code); }
TVXResult TVXAccountAdminAccess::deleteUser(TVXUser& current, TVXResult* code) { return mAccountAdmin->deleteCurrentUser(current, code); }
bool TVXAccountAdminAccess::isUserExistsInTolvanex(const QString& name) { return mAccountAdmin->accountExists(name); }
bool TVXAccountAdminAccess::isStoreAdministrator() const { return mAccountAdmin->isStoreAdministrator(); }
void TVXAccountAdminAccess::reloadAccounts() { mAccountAdmin->reloadAccounts(); }
QString TVXAccountAdminAccess::passwordOfAccount(const TVXUser_Admin& user) const
{
    return mAccountAdmin->passwordOfAccount(user);
}
TVXResult TVXAccountAdminAccess::applyStoreRights(const QString& name, bool administrator)
{
    return mAccountAdmin->applyStoreRights(name, administrator);
}

void TVXAccountAdminAccess::readUserTableIfErrorReturnCode(TVXResult* code) { mAccountAdmin->readAccounts(code); }

void TVXAccountAdmin::readAccounts(TVXResult* code)
{
    // Administrators may create accounts; only an administrator may read this.
    QSet<QString> administrators;
    bool mayReadAccounts = false;
    try {
        std::unique_ptr<sql::Statement> admins(mDatabase.liveConnection().createStatement());
        std::unique_ptr<sql::ResultSet> names(
            admins->executeQuery("SELECT User FROM MYSQL.USER WHERE Create_user_priv='Y'"));
        while (names->next())
            administrators.insert(tvxsql::textColumn(*names, 1));
        mayReadAccounts = true;
    } catch (const sql::SQLException&) {
    }
    const QString me = mDatabase.caches().mCurrentUser()->mUsername();
    mIsStoreAdministrator.store(mayReadAccounts && administrators.contains(me));

    std::unique_ptr<sql::Statement> stmt(mDatabase.liveConnection().createStatement());
    std::unique_ptr<sql::ResultSet> rs(stmt->executeQuery(kQueryUserDetailsExact));
    TVXUserCache& users = mDatabase.caches().mUsers();
    users.clear();
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
        if (mIsStoreAdministrator.load())
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
        user->setMUsersGroupArray(tvxsql::textColumnOfRows(mDatabase.liveConnection(), kQuerySelectUserGroupList, uid));
        user->setAdministrator(administrators.contains(name));
        users.insert(uid, std::move(user));
        if (code)
            *code = kTVXDone;
    }
}


void TVXAccountAdmin::reloadAccounts()
{
    const auto guard = mDatabase.lockConnection(); // one thread at a time on the connection
    if (!mDatabase.connection())
        return;
    try {
        TVXResult code = kTVXDone;
        readAccounts(&code);
    } catch (const sql::SQLException& e) {
        (void)mDatabase.reportDatabaseError(e);
    }
}

QString TVXAccountAdmin::passwordOfAccount(const TVXUser_Admin& user) const
{
    if (!user.mPassword().isEmpty())
        return user.mPassword(); // typed in this run
    if (!isStoreAdministrator())
        return QString();
    return mDatabase.decryptDataString(user.mStoredPassword());
}

QString TVXAccountAdmin::quotedForAccount(const QString& text) const
{
    auto* native = dynamic_cast<sql::mysql::MySQL_Connection*>(mDatabase.connection());
    if (!native)
        return QString();
    return QLatin1Char('\'') + QString::fromStdString(native->escapeString(text.toStdString()).asStdString())
           + QLatin1Char('\'');
}

TVXResult TVXAccountAdmin::runAccountStatement(const QString& statement, bool secretInside)
{
    try {
        std::unique_ptr<sql::Statement> stmt(mDatabase.connection()->createStatement());
        stmt->execute(statement.toStdString());
        return kTVXDone;
    } catch (const sql::SQLException& e) {
        // A server message may quote the statement, and with it a password.
        if (secretInside)
            return mDatabase.reportDatabaseError(
                sql::SQLException("An account statement failed", e.getSQLStateCStr(), e.getErrorCode()));
        return mDatabase.reportDatabaseError(e);
    }
}

TVXResult TVXAccountAdmin::grantStoreRights(const QString& account, bool administrator)
{
    // Table by table, as server/grants.txt lists them; never every server privilege.
    const QStringList grants = storeGrantStatements(account, administrator);
    if (grants.isEmpty())
        return kTVXStatementFailed;
    for (const QString& grant : grants)
        if (const TVXResult code = runAccountStatement(grant); code != kTVXDone)
            return code;
    return kTVXDone;
}

TVXResult TVXAccountAdmin::applyStoreRights(const QString& name, bool administrator)
{
    const auto guard = mDatabase.lockConnection(); // one thread at a time on the connection
    if (!mDatabase.connection() || !tvxsql::isValidAccountName(name))
        return kTVXStatementFailed;
    return replaceStoreRights(quotedForAccount(name) + QStringLiteral("@'%'"), administrator);
}

TVXResult TVXAccountAdmin::replaceStoreRights(const QString& account, bool administrator)
{
    // What the account held before goes: the list is the whole of its rights.
    if (const TVXResult code = runAccountStatement(QStringLiteral("REVOKE ALL PRIVILEGES, GRANT OPTION FROM %1").arg(account));
        code != kTVXDone)
        return code;
    return grantStoreRights(account, administrator);
}

TVXResult TVXAccountAdmin::writeUserRow(const TVXUser_Admin& user, bool insert, const QString& password)
{
    std::unique_ptr<sql::PreparedStatement> stmt(mDatabase.connection()->prepareStatement(insert ? kQueryInsertUserRow : kQueryUpdateUserRow));
    auto stored = tvxsql::blobStream(mDatabase.encryptDataString(password));
    int i = 1;
    if (insert)
        stmt->setString(i++, user.mUserID().toStdString());
    stmt->setString(i++, user.mUsername().toStdString());
    stmt->setBlob(i++, stored->stream());
    stmt->setString(i++, user.mPlatformName().toStdString());
    stmt->setInt(i++, user.mGroupPermissionsBit());
    stmt->setInt(i++, user.mTypePermissionsBit());
    stmt->setInt(i++, user.mRecordPermissionsBit());
    stmt->setInt(i++, user.mDataPermissionsBit());
    stmt->setBoolean(i++, !user.mIsNotAllowedToChangePassword());
    stmt->setBoolean(i++, user.mIsAccountDisabled());
    if (!insert)
        stmt->setString(i++, user.mUserID().toStdString());
    return stmt->executeUpdate() == 0 ? kTVXReloadFirst : kTVXDone;
}

TVXResult TVXAccountAdmin::writeMemberships(const TVXUser_Admin& user)
{
    std::unique_ptr<sql::PreparedStatement> clear(mDatabase.connection()->prepareStatement(kQueryDeleteUserGroups));
    clear->setString(1, user.mUserID().toStdString());
    clear->executeUpdate();
    std::unique_ptr<sql::PreparedStatement> insert(mDatabase.connection()->prepareStatement(kQueryInsertIntoUserGroupList));
    for (const QString& group : user.mUsersGroupArray()) {
        insert->setString(1, user.mUserID().toStdString());
        insert->setString(2, group.toStdString());
        insert->executeUpdate();
    }
    return kTVXDone;
}

TVXResult TVXAccountAdmin::writeUserInfo(const TVXUser_Admin& user, const QString& previousName)
{
    try {
        if (!previousName.isEmpty() && previousName != user.mUsername()) {
            std::unique_ptr<sql::PreparedStatement> old(mDatabase.connection()->prepareStatement(kQueryDeleteUserInfo));
            old->setString(1, previousName.toStdString());
            old->executeUpdate();
        }
        std::unique_ptr<sql::PreparedStatement> stmt(mDatabase.connection()->prepareStatement(kQueryReplaceUserInfo));
        stmt->setString(1, user.mUsername().toStdString());
        stmt->setString(2, user.mFullName().toStdString());
        stmt->setString(3, user.mDescription().toStdString());
        stmt->setString(4, user.mEmail().toStdString());
        stmt->setString(5, user.mPhoneNo().toStdString());
        stmt->executeUpdate();
        return kTVXDone;
    } catch (const sql::SQLException& e) {
        return mDatabase.reportDatabaseError(e);
    }
}

bool TVXAccountAdmin::accountExists(const QString& name)
{
    const auto guard = mDatabase.lockConnection(); // one thread at a time on the connection
    if (!mDatabase.connection())
        return false;
    const auto count = [this, &name](const char* query) {
        std::unique_ptr<sql::PreparedStatement> stmt(mDatabase.connection()->prepareStatement(query));
        stmt->setString(1, name.toStdString());
        std::unique_ptr<sql::ResultSet> rs(stmt->executeQuery());
        return rs->next() ? rs->getInt(1) : 0;
    };
    try {
        if (count(kQueryStoreUserExists) > 0)
            return true;
    } catch (const sql::SQLException& e) {
        (void)mDatabase.reportDatabaseError(e);
        return false;
    }
    try {
        return count(kQueryServerAccountExists) > 0;
    } catch (const sql::SQLException&) {
        return false; // an account that may not read the server's accounts knows only the store's
    }
}

TVXResult TVXAccountAdmin::addUser(const TVXUser_Admin& user, TVXResult* code)
{
    storechanges::GuardedChange changed(mDatabase);
    const auto done = accountCallEnding(code, changed);
    if (!mDatabase.connection() || !tvxsql::isValidAccountName(user.mUsername()) || user.mUserID().isEmpty())
        return done(kTVXStatementFailed);
    const QString account = quotedForAccount(user.mUsername()) + QStringLiteral("@'%'");
    const QString password = quotedForAccount(user.mPassword());

    if (TVXResult r = runAccountStatement(QStringLiteral("CREATE USER %1 IDENTIFIED BY %2").arg(account, password), true);
        r != kTVXDone)
        return done(r);
    // Undoing is best effort: the failure that called for it is what the caller learns.
    const auto undo = [&] { (void)runAccountStatement(QStringLiteral("DROP USER IF EXISTS %1").arg(account)); };
    if (TVXResult r = grantStoreRights(account, user.isAdministrator()); r != kTVXDone) {
        undo();
        return done(r);
    }

    const TVXResult result = inTransaction([&] {
        TVXResult rows = writeUserRow(user, true, user.mPassword());
        if (rows == kTVXDone)
            mPreferences.initUserPreferencesForUser(user.mUserID(), user.mUsername(), &rows);
        if (rows == kTVXDone)
            rows = mPersonal.addUserPersonalGroup(user);
        return rows == kTVXDone ? writeMemberships(user) : rows;
    });
    if (result != kTVXDone) {
        undo();
        return done(result);
    }
    return done(writeUserInfo(user, QString()));
}

TVXResult TVXAccountAdmin::replaceUser(const TVXUser_Admin& user, TVXResult* code)
{
    storechanges::GuardedChange changed(mDatabase);
    const auto done = accountCallEnding(code, changed);
    if (!mDatabase.connection() || !tvxsql::isValidAccountName(user.mUsername()))
        return done(kTVXStatementFailed);

    QString oldName;
    QString oldPassword;
    try {
        std::unique_ptr<sql::PreparedStatement> stmt(mDatabase.connection()->prepareStatement(kQueryUserNameForID));
        stmt->setString(1, user.mUserID().toStdString());
        std::unique_ptr<sql::ResultSet> rs(stmt->executeQuery());
        if (!rs->next())
            return done(kTVXReloadFirst);
        oldName = tvxsql::textColumn(*rs, 1);
        oldPassword = mDatabase.decryptDataString(tvxsql::blobColumn(*rs, 2));
    } catch (const sql::SQLException& e) {
        return done(mDatabase.reportDatabaseError(e));
    }
    if (!tvxsql::isValidAccountName(oldName))
        return done(kTVXStatementFailed);

    const QString oldAccount = quotedForAccount(oldName) + QStringLiteral("@'%'");
    const QString account = quotedForAccount(user.mUsername()) + QStringLiteral("@'%'");
    const bool renamed = oldName != user.mUsername();
    if (renamed)
        if (TVXResult r = runAccountStatement(QStringLiteral("RENAME USER %1 TO %2").arg(oldAccount, account)); r != kTVXDone)
            return done(r);
    const auto undo = [&] {
        // Best effort: the failure that called for it is what the caller learns.
        (void)runAccountStatement(QStringLiteral("ALTER USER %1 IDENTIFIED BY %2").arg(account, quotedForAccount(oldPassword)), true);
        if (renamed)
            (void)runAccountStatement(QStringLiteral("RENAME USER %1 TO %2").arg(account, oldAccount));
    };
    // An empty password in the edited account keeps the one it has.
    const QString password = user.mPassword().isEmpty() ? oldPassword : user.mPassword();
    if (TVXResult r = runAccountStatement(
            QStringLiteral("ALTER USER %1 IDENTIFIED BY %2").arg(account, quotedForAccount(password)), true);
        r != kTVXDone) {
        undo();
        return done(r);
    }
    // An account made or unmade administrator holds exactly its role's rights.
    if (TVXResult r = replaceStoreRights(account, user.isAdministrator()); r != kTVXDone) {
        undo();
        return done(r);
    }

    const TVXResult result = inTransaction([&] {
        TVXResult rows = writeUserRow(user, false, password);
        if (rows == kTVXDone) {
            std::unique_ptr<sql::PreparedStatement> pref(mDatabase.connection()->prepareStatement(kQueryUpdatePreferenceName));
            pref->setString(1, user.mUsername().toStdString());
            pref->setString(2, user.mUserID().toStdString());
            pref->executeUpdate();
            rows = writeMemberships(user);
        }
        if (rows == kTVXDone && renamed) {
            rows = mPersonal.renameUserPersonalGroup(user);
            if (rows == kTVXReloadFirst)
                rows = mPersonal.addUserPersonalGroup(user); // an account made without one gets it now
        }
        return rows;
    });
    if (result != kTVXDone) {
        undo();
        return done(result);
    }
    return done(writeUserInfo(user, oldName));
}

TVXResult TVXAccountAdmin::inTransaction(const std::function<TVXResult()>& rows)
{
    TVXResult result = kTVXDone;
    try {
        tvxsql::Transaction transaction(*mDatabase.connection());
        result = rows();
        if (result == kTVXDone)
            transaction.commit();
    } catch (const sql::SQLException& e) {
        result = mDatabase.reportDatabaseError(e);
    }
    return result;
}

TVXResult TVXAccountAdmin::deleteAccountRows(const QString& userID, const std::function<TVXResult()>& deletePersonalGroup)
{
    return inTransaction([&] {
        // The personal group takes its records with it; the user row takes its
        // preferences, memberships and recent lists.
        TVXResult result = deletePersonalGroup();
        if (result == kTVXReloadFirst)
            result = kTVXDone; // an account without a personal group
        if (result == kTVXDone) {
            std::unique_ptr<sql::PreparedStatement> stmt(mDatabase.connection()->prepareStatement(kQueryDeleteUserRow));
            stmt->setString(1, userID.toStdString());
            if (stmt->executeUpdate() == 0)
                result = kTVXReloadFirst;
        }
        return result;
    });
}

TVXResult TVXAccountAdmin::deleteUser(const TVXUser_Admin& user, TVXResult* code)
{
    storechanges::GuardedChange changed(mDatabase);
    const auto done = accountCallEnding(code, changed);
    if (!mDatabase.connection() || !tvxsql::isValidAccountName(user.mUsername()))
        return done(kTVXStatementFailed);
    const TVXResult result = deleteAccountRows(user.mUserID(), [&] { return mPersonal.deleteUserPersonalGroup(user); });
    if (result != kTVXDone)
        return done(result);
    try {
        std::unique_ptr<sql::PreparedStatement> info(mDatabase.connection()->prepareStatement(kQueryDeleteUserInfo));
        info->setString(1, user.mUsername().toStdString());
        info->executeUpdate();
    } catch (const sql::SQLException& e) {
        (void)mDatabase.reportDatabaseError(e); // the account is gone from the store all the same
    }
    mDatabase.caches().mUsers().remove(user.mUserID());
    return done(runAccountStatement(
        QStringLiteral("DROP USER IF EXISTS %1@'%'").arg(quotedForAccount(user.mUsername()))));
}

TVXResult TVXAccountAdmin::deleteCurrentUser(TVXUser& current, TVXResult* code)
{
    storechanges::GuardedChange changed(mDatabase);
    const auto done = accountCallEnding(code, changed);
    if (!mDatabase.connection() || !tvxsql::isValidAccountName(current.mUsername()))
        return done(kTVXStatementFailed);
    // A row already gone counts as deleted: the account must be locked out all the same.
    TVXResult result = deleteAccountRows(current.mUserID(), [&] { return mPersonal.deleteUserPersonalGroup(current); });
    if (result == kTVXReloadFirst)
        result = kTVXDone;
    // Whatever happened to the rows, the account must not get in again.
    const QString lockOut = mDatabase.generatePasswordWith(kLockOutPasswordFlags, kLockOutPasswordLength);
    QString statement = QString::fromUtf8(kQuerySetUserPassword);
    statement.replace(statement.indexOf(QLatin1String("'%@'")), 4, quotedForAccount(current.mUsername()));
    statement.replace(statement.indexOf(QLatin1String("'%@'")), 4, quotedForAccount(lockOut));
    const TVXResult locked = runAccountStatement(statement, true);
    return done(result != kTVXDone ? result : locked);
}
