// Creating, changing and deleting the store's user accounts.
#include "store/accounts/AccountAdmin.h"

#include "model/BMGroup.h"
#include "model/PasswordGenerator.h"
#include "model/TVXUID.h"
#include "model/TVXUser.h"
#include "model/TVXUser_Admin.h"
#include "store/accounts/AccountNames.h"
#include "store/schema/QueryConstants.h"
#include "store/session/StatementHelpers.h"
#include "store/loading/StoreChanges.h"
#include "store/accounts/StoreGrants.h"
#include "store/personal/PersonalStore.h"
#include "store/accounts/PreferencesStore.h"
#include "store/loading/StoreCaches.h"
#include "store/session/ReadAhead.h"
#include "store/session/StoreSession.h"
#include "store/session/Transaction.h"

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
// The same for an ordinary account, which may not read the password copies.
constexpr char kQueryUserDetailsWithoutPasswords[] =
    "SELECT UT.USERID,UT.USERNAME,NULL,UT.PLATFORMNAME,UT.GROUPPERMISSION,UT.TYPEPERMISSION,"
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
constexpr char kQueryServerAccountExists[] = "SELECT tolvanexdb.TVX_ACCOUNT_NAME_TAKEN(?)";
constexpr char kQueryStoreUserExists[] = "SELECT COUNT(*) FROM USERTABLE WHERE USERNAME=?";
constexpr char kQueryReplaceUserInfo[] =
    "REPLACE INTO mysql.user_info (User, Full_name, Description, Email, Contact_information) VALUES (?,?,?,?,?)";
constexpr char kQueryDeleteUserInfo[] = "DELETE FROM mysql.user_info WHERE User=?";

// Server accounts change only through the store's routines, which act on
// the store's own accounts alone; names and passwords go as parameters.
constexpr char kCallCreateAccount[] = "CALL tolvanexdb.TVX_CREATE_ACCOUNT(?, ?, ?)";
constexpr char kCallSetAccountPassword[] = "CALL tolvanexdb.TVX_SET_ACCOUNT_PASSWORD(?, ?)";
constexpr char kCallRenameAccount[] = "CALL tolvanexdb.TVX_RENAME_ACCOUNT(?, ?)";
constexpr char kCallDropAccount[] = "CALL tolvanexdb.TVX_DROP_ACCOUNT(?)";
constexpr char kCallGrantAccount[] = "CALL tolvanexdb.TVX_GRANT_ACCOUNT(?, ?)";
constexpr char kCallUnblockAccount[] = "CALL tolvanexdb.TVX_UNBLOCK_ACCOUNT(?)";
constexpr char kQueryIsAdministrator[] = "SELECT tolvanexdb.TVX_IS_ADMIN()";
constexpr char kQueryAdministrators[] = "SELECT USERNAME FROM USERTABLE WHERE tolvanexdb.TVX_ACCOUNT_IS_ADMIN(USERNAME)";

// A password no one learns, for an account that must not log in again.
constexpr uint16_t kLockOutPasswordFlags = 15;
constexpr uint16_t kLockOutPasswordLength = 40;

} // namespace

// The manager's methods of account administration.
TVXResult TVXAccountAdminAccess::addUser(const TVXUser_Admin& user, TVXResult* code) { return mAccountAdmin->addUser(user, code); }
TVXResult TVXAccountAdminAccess::replaceUser(const TVXUser_Admin& user, TVXResult* code) { return mAccountAdmin->replaceUser(user, code); }
TVXResult TVXAccountAdminAccess::deleteUser(const TVXUser_Admin& user, TVXResult* code) { return mAccountAdmin->deleteUser(user, code); }
TVXResult TVXAccountAdminAccess::deleteUser(TVXUser& current, TVXResult* code) { return mAccountAdmin->deleteCurrentUser(current, code); }
std::function<TVXResult()> TVXAccountAdminAccess::deleteUserServerPart(const TVXUser& current)
{
    auto account = TVXUser_Admin::createUser();
    account->setMUserID(current.mUserID());
    account->setMUsername(current.mUsername());
    return [admin = mAccountAdmin.get(), account = std::shared_ptr<const TVXUser_Admin>(std::move(account))] {
        return admin->deleteCurrentUser(*account, nullptr);
    };
}
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

TVXResult TVXAccountAdminAccess::unblockAccount(const QString& name) { return mAccountAdmin->unblockAccount(name); }

void TVXAccountAdminAccess::saveAccountBehind(std::shared_ptr<const TVXUser_Admin> user, bool checkName, bool replace,
                                              AccountAnswer answer)
{
    // Written on the worker, read by the answer: the queued answer follows the write.
    auto taken = std::make_shared<bool>(false);
    mStore.saveBehindWindow(
        [admin = mAccountAdmin.get(), user, checkName, replace, taken] {
            if (checkName && admin->accountExists(user->mUsername())) {
                *taken = true;
                return kTVXStatementFailed;
            }
            return replace ? admin->replaceUser(*user, nullptr) : admin->addUser(*user, nullptr);
        },
        [taken, answer = std::move(answer)](TVXResult code) {
            if (answer)
                answer(code, *taken);
        });
}

void TVXAccountAdminAccess::addUserBehind(std::shared_ptr<const TVXUser_Admin> user, bool checkName, AccountAnswer answer)
{
    saveAccountBehind(std::move(user), checkName, false, std::move(answer));
}

void TVXAccountAdminAccess::replaceUserBehind(std::shared_ptr<const TVXUser_Admin> user, bool checkName,
                                              AccountAnswer answer)
{
    saveAccountBehind(std::move(user), checkName, true, std::move(answer));
}

void TVXAccountAdminAccess::deleteUserBehind(std::shared_ptr<const TVXUser_Admin> user, Answer answer)
{
    mStore.saveBehindWindow([admin = mAccountAdmin.get(), user] { return admin->deleteUser(*user, nullptr); },
                            std::move(answer));
}

void TVXAccountAdminAccess::unblockAccountBehind(const QString& name, Answer answer)
{
    mStore.saveBehindWindow([admin = mAccountAdmin.get(), name] { return admin->unblockAccount(name); },
                            std::move(answer));
}

void TVXAccountAdminAccess::reloadAccountsBehind(Answer answer)
{
    const auto current = mStore.caches().mCurrentUser();
    const QString me = current ? current->mUsername() : QString();
    mStore.saveBehindWindow([admin = mAccountAdmin.get(), me] { return admin->reloadAccountsServerPart(me); },
                            std::move(answer));
}

void TVXAccountAdminAccess::accountExistsBehind(const QString& name, std::function<void(bool)> answer)
{
    auto exists = std::make_shared<bool>(false);
    mStore.saveBehindWindow(
        [admin = mAccountAdmin.get(), name, exists] {
            *exists = admin->accountExists(name);
            return kTVXDone;
        },
        [exists, answer = std::move(answer)](TVXResult) {
            if (answer)
                answer(*exists);
        });
}

void TVXAccountAdminAccess::readUserTableIfErrorReturnCode(TVXResult* code) { mAccountAdmin->readAccounts(code); }

std::vector<TVXReadAhead::Read> TVXAccountAdminAccess::loadReads()
{
    // An administrator's reads differ after the second: they then run alone.
    return {{kQueryAdministrators}, {kQueryIsAdministrator}, {kQueryAllGroupMembers}, {kQueryUserDetailsWithoutPasswords}};
}

TVXAccountAdmin::AccountListing TVXAccountAdmin::readAccountListing(const QString& me)
{
    AccountListing listing;
    // Administrators hold the account routines; the server says who does.
    QSet<QString> administrators;
    {
        tvxsql::Rows names = mDatabase.readAhead().rows(mDatabase.liveConnection(), kQueryAdministrators);
        while (names->next())
            administrators.insert(tvxsql::textColumn(*names, 1));
        names.reset();
        const tvxsql::Rows self = mDatabase.readAhead().rows(mDatabase.liveConnection(), kQueryIsAdministrator);
        listing.administrator = self->next() && self->getInt(1) == 1;
    }

    // An administrator gives accounts any group, also one it is not in itself.
    if (listing.administrator) {
        const tvxsql::Rows rows = mDatabase.readAhead().rows(mDatabase.liveConnection(), kQueryGroupNotPersonal);
        while (rows->next()) {
            const QString uid = tvxsql::textColumn(*rows, 1);
            if (uid == kUnfiledUID)
                continue; // the unfiled group is no group to join
            auto group = std::make_shared<BMGroup>();
            group->setMGroupUID(uid);
            group->setMGroupName(mDatabase.decryptString(tvxsql::blobColumn(*rows, 2)));
            listing.storeGroups.append(std::move(group));
        }
    }

    // Every account's groups in one read, not one per account; each list in
    // the order its own read gives (by group).
    QHash<QString, QStringList> groupsOf;
    {
        const tvxsql::Rows rows = mDatabase.readAhead().rows(mDatabase.liveConnection(), kQueryAllGroupMembers);
        while (rows->next())
            groupsOf[tvxsql::textColumn(*rows, 2).section(QLatin1Char(' '), 0, 0)] << tvxsql::textColumn(*rows, 1);
    }
    const tvxsql::Rows rs = mDatabase.readAhead().rows(
        mDatabase.liveConnection(), listing.administrator ? kQueryUserDetailsExact : kQueryUserDetailsWithoutPasswords);
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
        if (listing.administrator)
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
        user->setMUsersGroupArray(groupsOf.value(uid));
        user->setAdministrator(administrators.contains(name));
        listing.users.append(std::move(user));
    }
    return listing;
}

void TVXAccountAdmin::applyAccountListing(const AccountListing& listing)
{
    mIsStoreAdministrator.store(listing.administrator);
    TVXGroupCache& storeGroups = mDatabase.caches().mStoreGroups();
    storeGroups.clear();
    for (const auto& group : listing.storeGroups)
        storeGroups.insert(group->mGroupUID(), group);
    TVXUserCache& users = mDatabase.caches().mUsers();
    users.clear();
    for (const auto& user : listing.users)
        users.insert(user->mUserID(), user);
}

void TVXAccountAdmin::readAccounts(TVXResult* code)
{
    const AccountListing listing = readAccountListing(mDatabase.caches().mCurrentUser()->mUsername());
    applyAccountListing(listing);
    if (code && !listing.users.isEmpty())
        *code = kTVXDone;
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

TVXResult TVXAccountAdmin::reloadAccountsServerPart(const QString& me)
{
    std::shared_ptr<const AccountListing> listing;
    {
        const auto guard = mDatabase.lockConnection(); // one thread at a time on the connection
        if (!mDatabase.connection())
            return kTVXStatementFailed;
        try {
            listing = std::make_shared<const AccountListing>(readAccountListing(me));
        } catch (const sql::SQLException& e) {
            return mDatabase.reportDatabaseError(e);
        }
    }
    mDatabase.afterServer([this, listing] { applyAccountListing(*listing); });
    return kTVXDone;
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

TVXResult TVXAccountAdmin::callAccountRoutine(const char* call, const QStringList& texts, std::optional<bool> flag)
{
    try {
        std::unique_ptr<sql::PreparedStatement> stmt(mDatabase.connection()->prepareStatement(call));
        int i = 1;
        for (const QString& text : texts)
            stmt->setString(i++, text.toStdString());
        if (flag)
            stmt->setBoolean(i, *flag);
        stmt->execute();
        return kTVXDone;
    } catch (const sql::SQLException& e) {
        // Passwords are parameters: the server's message never holds one.
        return mDatabase.reportDatabaseError(e);
    }
}

TVXResult TVXAccountAdmin::applyStoreRights(const QString& name, bool administrator)
{
    const auto guard = mDatabase.lockConnection(); // one thread at a time on the connection
    if (!mDatabase.connection() || !tvxsql::isValidAccountName(name))
        return kTVXStatementFailed;
    return callAccountRoutine(kCallGrantAccount, {name}, administrator);
}

TVXResult TVXAccountAdmin::unblockAccount(const QString& name)
{
    const auto guard = mDatabase.lockConnection(); // one thread at a time on the connection
    if (!mDatabase.connection() || !tvxsql::isValidAccountName(name))
        return kTVXStatementFailed;
    return callAccountRoutine(kCallUnblockAccount, {name});
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
    // The routine makes the server account with its role's rights.
    if (TVXResult r = callAccountRoutine(kCallCreateAccount, {user.mUsername(), user.mPassword()}, user.isAdministrator());
        r != kTVXDone)
        return done(r);
    // Undoing is best effort: the failure that called for it is what the caller learns.
    const auto undo = [&] { (void)callAccountRoutine(kCallDropAccount, {user.mUsername()}); };

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

    const bool renamed = oldName != user.mUsername();
    if (renamed)
        if (TVXResult r = callAccountRoutine(kCallRenameAccount, {oldName, user.mUsername()}); r != kTVXDone)
            return done(r);
    // An empty password in the edited account keeps the one it has.
    const bool newPassword = !user.mPassword().isEmpty();
    const QString password = newPassword ? user.mPassword() : oldPassword;
    const auto undo = [&] {
        // Best effort: the failure that called for it is what the caller learns.
        if (newPassword && !oldPassword.isEmpty())
            (void)callAccountRoutine(kCallSetAccountPassword, {user.mUsername(), oldPassword});
        if (renamed)
            (void)callAccountRoutine(kCallRenameAccount, {user.mUsername(), oldName});
    };
    if (newPassword)
        if (TVXResult r = callAccountRoutine(kCallSetAccountPassword, {user.mUsername(), password}); r != kTVXDone) {
            undo();
            return done(r);
        }
    // An account made or unmade administrator holds exactly its role's rights.
    if (TVXResult r = callAccountRoutine(kCallGrantAccount, {user.mUsername()}, user.isAdministrator()); r != kTVXDone) {
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

TVXResult TVXAccountAdmin::deleteAccountRows(const TVXUserAccount& user)
{
    return inTransaction([&] {
        // The personal group takes its records with it; the user row takes its
        // preferences, memberships and recent lists.
        TVXResult result = mPersonal.deleteUserPersonalGroup(user);
        if (result == kTVXReloadFirst)
            result = kTVXDone; // an account without a personal group
        if (result == kTVXDone) {
            std::unique_ptr<sql::PreparedStatement> stmt(mDatabase.connection()->prepareStatement(kQueryDeleteUserRow));
            stmt->setString(1, user.mUserID().toStdString());
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
    const TVXResult result = deleteAccountRows(user);
    if (result != kTVXDone)
        return done(result);
    try {
        std::unique_ptr<sql::PreparedStatement> info(mDatabase.connection()->prepareStatement(kQueryDeleteUserInfo));
        info->setString(1, user.mUsername().toStdString());
        info->executeUpdate();
    } catch (const sql::SQLException& e) {
        (void)mDatabase.reportDatabaseError(e); // the account is gone from the store all the same
    }
    mDatabase.afterServer([this, userID = user.mUserID()] { mDatabase.caches().mUsers().remove(userID); });
    return done(callAccountRoutine(kCallDropAccount, {user.mUsername()}));
}

TVXResult TVXAccountAdmin::deleteCurrentUser(const TVXUserAccount& current, TVXResult* code)
{
    storechanges::GuardedChange changed(mDatabase);
    const auto done = accountCallEnding(code, changed);
    if (!mDatabase.connection() || !tvxsql::isValidAccountName(current.mUsername()))
        return done(kTVXStatementFailed);
    // A row already gone counts as deleted: the account must be locked out all the same.
    TVXResult result = deleteAccountRows(current);
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
