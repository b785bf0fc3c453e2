#pragma once
// Prepares a store on a server: the database and its tables, the master
// password row, the unfiled group and type, and the store's user accounts.
// Runs over an administrator's connection (one that may create databases,
// accounts and grants); the client itself never creates any of this.

#include <QString>

#include <cstdint>
#include <memory>

namespace sql {
class Connection;
}
class TVXDataBase;

struct StoreUser {
    QString name;     // server account name; letters, digits, '_', '.', '-', at most 16
    QString password; // server account password, also the client's unlock password
    uint16_t groupPermission = 7;
    uint16_t typePermission = 7;
    uint16_t recordPermission = 7;
    uint16_t dataPermission = 15;
    bool canChangePassword = true;
    bool accountDisabled = false;
    // May create, rename and delete the store's accounts (never every server privilege).
    bool administrator = false;
};

struct StoreResult {
    bool ok = true;
    QString message; // for the person running the tool; never holds a password

    static StoreResult failure(const QString& text) { return {false, text}; }
};

class TVXStoreCreator {
public:
    // Takes over an administrator's connection.
    explicit TVXStoreCreator(std::unique_ptr<sql::Connection> admin);
    ~TVXStoreCreator();

    // The server must resolve table names without regard to case.
    StoreResult checkServer();
    // Creates the database, its tables and the server's user_info table, and
    // writes the master-password row and the unfiled group and type. With
    // replaceExisting an existing store is dropped first; without it an existing
    // store is left as it is and reported.
    // All or nothing: what it made is dropped again when a step fails.
    StoreResult createStore(const QString& masterPassword, bool replaceExisting);
    // Brings a store made by an earlier version to the current tables: the
    // server's user_info table InnoDB, a primary key on every table. Keeps
    // every row; can be run again, and a run after a failed one finishes the
    // job. The message says what changed, on failure too.
    StoreResult upgradeSchema();
    // Adds a user the way the administration window does (through the store's
    // account routines): server account (host '%') with the store's grants, its
    // rows, its personal group. The account is removed again when the rows fail.
    StoreResult addStoreUser(const StoreUser& user, QString* userID = nullptr);
    // The store-wide password policy: minimum length and character-set flag
    // (0 none, 1 letters, 4 digits, 5 digits and letters).
    StoreResult setPasswordPolicy(int minimumLength, int charSetFlag);
    // The demo store's contents for a newcomer: a web log-in, a bank card and
    // a server account type, two groups with a few records, and the account
    // `memberID` in both groups.
    StoreResult addDemoContent(const QString& memberID);
    // Gives an existing server account (host '%', or the host given) exactly
    // the rights of server/grants.txt for its role (what it held before is
    // revoked), through the store's rights routine.
    StoreResult applyStoreRights(const QString& name, bool administrator);
    StoreResult applyStoreRights(const QString& name, const QString& host, bool administrator);
    // Re-grants every store account (a USERTABLE row with a server account),
    // at every host of its name: administrators are those that hold the account
    // routines or may create accounts. Installs the routines and their definer
    // first. Reports how many accounts were re-granted.
    StoreResult upgradeGrants(int* accounts = nullptr);
    // The definer account 'tvx_definer'@'localhost' (locked) and the store's
    // routines (server/routines.sql, the rights routine granting exactly
    // server/grants.txt). Can be run again; notes in *changes a definer it made.
    StoreResult installRoutines(QStringList* changes);
    // Removes a server account if it exists (for re-running a set-up).
    StoreResult dropServerAccount(const QString& name);

    static bool isValidAccountName(const QString& name);

private:
    StoreResult run(const QString& statement);
    // First column of the first row as text; null when there is none.
    QString queryValue(const QString& query);
    bool hasPrimaryKey(const QString& schema, const QString& table);
    // Makes mysql.user_info, or copies a non-InnoDB one into an InnoDB one.
    StoreResult ensureUserInfo(bool* created, QStringList* changes);
    StoreResult keyIconNumbers(QStringList* changes);
    StoreResult keepRowsUnderViews(QStringList* changes);
    // The upgrade's steps; `changes` holds what was done, also when one fails.
    StoreResult upgradeTables(QStringList& changes);
    // The engine of a table of the server's own schema; null when there is no such table.
    QString serverTableEngine(const char* table);
    // The server's write rules (server/rules.sql), replacing those installed.
    StoreResult installRules();
    QString quoted(const QString& text) const;

    sql::Connection& admin() const;

    std::unique_ptr<TVXDataBase> mStore; // holds the connection and the encrypters
};
