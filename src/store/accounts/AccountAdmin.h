#pragma once
// Account administration, owned by the database manager: an account is its
// server account (host '%', changed only through the store's account
// routines) with the store's grants, its USERTABLE, APPPREFTABLE
// and mysql.user_info rows, its personal group and its group memberships.
// Server account statements cannot be rolled back, so they are undone by hand
// when the rows fail. The manager's methods of the same purpose forward here.
#include "store/session/ReadAhead.h"
#include "store/session/ResultCodes.h"
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>

class BMGroup;
class TVXPersonalAccess;
class TVXPreferences;
class TVXStoreSession;
class TVXUser;
class TVXUserAccount;
class TVXUser_Admin;

class TVXAccountAdmin {
public:
    // A new account gets its preference row and its personal group.
    TVXAccountAdmin(TVXStoreSession& database, TVXPersonalAccess& personal, TVXPreferences& preferences)
        : mDatabase(database)
        , mPersonal(personal)
        , mPreferences(preferences)
    {
    }

    // 0 done, 8 the account's row is gone (reload first), anything else failure;
    // the result also goes to *code when given.
    TVXResult addUser(const TVXUser_Admin& user, TVXResult* code);
    TVXResult replaceUser(const TVXUser_Admin& user, TVXResult* code);
    TVXResult deleteUser(const TVXUser_Admin& user, TVXResult* code);
    // The signed-in user deletes itself: what its grants allow goes, and its
    // server password becomes one it never learns.
    TVXResult deleteCurrentUser(const TVXUserAccount& current, TVXResult* code);
    bool accountExists(const QString& name); // false without a connection
    bool isStoreAdministrator() const { return mIsStoreAdministrator.load(); }
    // Refills the user cache with every other account (their groups, and only
    // for an administrator their enciphered passwords) and finds whether the
    // signed-in user may create accounts. The caller holds the guard; server
    // errors reach it.
    void readAccounts(TVXResult* code);
    // Re-reads the other accounts into the caches; nothing without a
    // connection, and a server error takes the error path.
    void reloadAccounts();
    // The same as the server part of a save from the window: `me` (the
    // signed-in user's name) copied on the main thread, the caches refilled
    // there once the rows are read; 3 without a connection.
    TVXResult reloadAccountsServerPart(const QString& me);
    // The password typed in this run, else the stored one; empty for non-administrators.
    QString passwordOfAccount(const TVXUser_Admin& user) const;
    // Replaces an existing account's rights by those of server/grants.txt.
    TVXResult applyStoreRights(const QString& name, bool administrator);
    // Lets in again an account the server blocked after wrong passwords.
    TVXResult unblockAccount(const QString& name);

private:
    // What the listing read, kept apart from the caches until the main thread takes it.
    struct AccountListing {
        bool administrator = false;
        QList<std::shared_ptr<BMGroup>> storeGroups;
        QList<std::shared_ptr<TVXUser_Admin>> users;
    };
    // The server's side of readAccounts; server errors are thrown.
    AccountListing readAccountListing(const QString& me);
    void applyAccountListing(const AccountListing& listing);
    QString quotedForAccount(const QString& text) const;
    // A statement on server accounts; one with a password inside never has
    // the server's message (which may quote it) reported.
    TVXResult runAccountStatement(const QString& statement, bool secretInside = false);
    // One of the store's account routines, the texts and then the flag (when
    // given) as its parameters.
    TVXResult callAccountRoutine(const char* call, const QStringList& texts, std::optional<bool> flag = std::nullopt);
    TVXResult writeUserInfo(const TVXUser_Admin& user, const QString& previousName);
    TVXResult writeUserRow(const TVXUser_Admin& user, bool insert, const QString& password);
    TVXResult writeMemberships(const TVXUser_Admin& user);
    // Rows written in one transaction, committed when `rows` answers 0; a
    // server error takes the error path.
    TVXResult inTransaction(const std::function<TVXResult()>& rows);
    // The account's rows in one transaction: its personal group, then its user row.
    TVXResult deleteAccountRows(const TVXUserAccount& user);

    TVXStoreSession& mDatabase;
    TVXPersonalAccess& mPersonal;
    TVXPreferences& mPreferences;
    std::atomic<bool> mIsStoreAdministrator{false}; // set by the account listing
};

// The manager holds one of these: its account administration calls are
// declared here, beside the object they forward to.
class TVXAccountAdminAccess {
public:
    TVXResult addUser(const TVXUser_Admin& user, TVXResult* code = nullptr);
    TVXResult replaceUser(const TVXUser_Admin& user, TVXResult* code = nullptr);
    TVXResult deleteUser(const TVXUser_Admin& user, TVXResult* code = nullptr);
    TVXResult deleteUser(TVXUser& current, TVXResult* code = nullptr);
    // The same for the signed-in user, as the server part of a save from the
    // window (saveBehindWindow): it works on a copy of the account's name and
    // identifier made now, and its memory part and errors follow the answer.
    std::function<TVXResult()> deleteUserServerPart(const TVXUser& current);
    bool isUserExistsInTolvanex(const QString& name);

    // The administration window's calls behind the window (saveBehindWindow):
    // the server's part on the write-behind worker after every write sent
    // before it, then on the main thread its errors, what it changes in
    // memory and the answer. Each takes what the worker needs now; the
    // account handed over is the window's own and is not changed meanwhile.
    using Answer = std::function<void(TVXResult)>;
    // With `checkName`, a name already taken stores nothing and answers
    // nameTaken (the code is then 3).
    using AccountAnswer = std::function<void(TVXResult code, bool nameTaken)>;
    void addUserBehind(std::shared_ptr<const TVXUser_Admin> user, bool checkName, AccountAnswer answer);
    void replaceUserBehind(std::shared_ptr<const TVXUser_Admin> user, bool checkName, AccountAnswer answer);
    // The user cache forgets the account once the server has deleted it.
    void deleteUserBehind(std::shared_ptr<const TVXUser_Admin> user, Answer answer);
    void unblockAccountBehind(const QString& name, Answer answer);
    // The other accounts read again, the caches refilled before the answer.
    void reloadAccountsBehind(Answer answer);
    // Whether the name is taken, answered on the main thread.
    void accountExistsBehind(const QString& name, std::function<void(bool)> answer);

    TVXResult applyStoreRights(const QString& name, bool administrator);
    TVXResult unblockAccount(const QString& name); // the server's block after wrong passwords
    bool isStoreAdministrator() const; // as the load found it: whoever may create accounts
    void reloadAccounts();
    QString passwordOfAccount(const TVXUser_Admin& user) const;
    // Refills mUsers with every other account; failures reach the caller.
    void readUserTableIfErrorReturnCode(TVXResult* code);
    // What it reads, in its order (sent ahead by the load).
    static std::vector<TVXReadAhead::Read> loadReads();

    TVXAccountAdminAccess(TVXStoreSession& store, TVXPersonalAccess& personal, TVXPreferences& preferences)
        : mStore(store)
        , mAccountAdmin(std::make_unique<TVXAccountAdmin>(store, personal, preferences))
    {
    }

private:
    friend class TVXDataBase;
    void saveAccountBehind(std::shared_ptr<const TVXUser_Admin> user, bool checkName, bool replace,
                           AccountAnswer answer);

    TVXStoreSession& mStore;
    std::unique_ptr<TVXAccountAdmin> mAccountAdmin;
};
