#pragma once
// The store tests' view of the MariaDB that the CTest fixture started: a root
// connection, a fresh store per test, and accounts made per test.
#include "store/StoreTypes.h"
#include "store/schema/TVXStoreCreator.h"

#include "platform/core/ApplicationHooks.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>

#include <QString>

#include <atomic>
#include <functional>
#include <memory>
#include <vector>

namespace sql {
class Connection;
}
class TVXDataBase;

namespace teststore {

inline const QString kMasterPassword = QStringLiteral("Master-Pw1");
inline const QString kUserName = QStringLiteral("alice");
inline const QString kUserPassword = QStringLiteral("alice-pw");

int port();
// Makes port() answer this port (a cluster node) instead of the fixture server's.
void useServerPort(int port);
std::unique_ptr<sql::Connection> rootConnection();
std::unique_ptr<sql::Connection> rootConnection(int port);

// Runs one statement as root; fails the test on error.
void rootExec(const QString& statement);
// First column of the first row, as text (empty when there is no row).
QString rootQueryValue(const QString& query);
// Another session holds the master-password row every write confirms: a
// save waits for the server until the hold ends (rollback, or the end of the
// returned connection).
std::unique_ptr<sql::Connection> holdEverySave();
// Another session locks the store's table (LOCK TABLES ... WRITE): whoever
// reads or writes it waits for the server until the returned connection
// ends or unlocks.
std::unique_ptr<sql::Connection> holdTable(const QString& table);

// Drops every account made by tests and recreates the store.
void resetStore(const QString& masterPassword);
// Adds a bare store user (server account, grants, user row; quotes in the
// texts are not escaped): returns its user identifier.
QString addUser(const QString& name, const QString& password);
// Adds a whole account the way the store tool and the administration window do.
QString addAccount(const QString& name, const QString& password, bool administrator = false);

// Gives an account an administrator's rights (server/grants.txt).
void makeAdministrator(const QString& name);

// A plain connection with an account's own credentials (no schema chosen), as
// anyone holding them would have with a mariadb client; throws when refused.
std::unique_ptr<sql::Connection> accountConnection(const QString& name, const QString& password);
// Runs one statement: 0 when it went through, else the server's error number.
int refusalOf(sql::Connection& connection, const QString& statement);
// The names that are views over rows kept under NAMEROWS: NAMETABLE.
inline constexpr const char* kViewedTablePrefixes[] = {"RECORD",         "CUSTOMTYPE",       "ATTACHMENT",
                                                       "MOSTVIEWED",     "RECENTLYVIEWED",   "RECENTLYMODIFIED",
                                                       "RECENTLYADDED",  "COLUMNINFO"};
// Statements that take a store back to before its records were read through
// views, its log numbered only by the server and its links named the rows
// (for upgrade tests).
inline QStringList olderStoreRules()
{
    QStringList steps;
    for (const char* trigger : {"TVX_EVENT_INSERT", "TVX_EVENT_UPDATE", "TVX_MOSTVIEWED_KEY", "TVX_RECENTLYVIEWED_KEY",
                                "TVX_RECENTLYMODIFIED_KEY", "TVX_RECENTLYADDED_KEY", "TVX_INFO_INSERT",
                                "TVX_INFO_UPDATE", "TVX_INFO_DELETE", "TVX_ICON_INSERT", "TVX_ICON_DELETE"})
        steps << QStringLiteral("DROP TRIGGER IF EXISTS tolvanexdb.%1").arg(QLatin1String(trigger));
    // The links named the rows themselves, before the key tables.
    struct Link {
        const char* table;
        const char* name;
        const char* column;
        const char* target;
        const char* key;
    };
    constexpr Link links[] = {{"RECORDROWS", "RECORD_GROUP_FK", "GROUPUID", "GROUPTABLE", "UID"},
                              {"RECORDROWS", "RECORD_TYPE_FK", "TYPEUID", "TYPETABLE", "UID"},
                              {"USERGROUPTABLE", "USERGROUP_GROUP_FK", "GROUPID", "GROUPTABLE", "UID"},
                              {"USERGROUPTABLE", "USERGROUP_USER_FK", "USERID", "USERTABLE", "USERID"},
                              {"GROUPSUBGROUPTABLE", "GROUPSUBGROUP_GROUP_FK", "GROUPID", "GROUPTABLE", "UID"},
                              {"APPPREFTABLE", "APPPREF_USER_FK", "USERID", "USERTABLE", "USERID"},
                              {"MOSTVIEWEDROWS", "MOSTVIEWED_USER_FK", "USERID", "USERTABLE", "USERID"},
                              {"RECENTLYVIEWEDROWS", "RECENTLYVIEWED_USER_FK", "USERID", "USERTABLE", "USERID"},
                              {"RECENTLYMODIFIEDROWS", "RECENTLYMODIFIED_USER_FK", "USERID", "USERTABLE", "USERID"},
                              {"RECENTLYADDEDROWS", "RECENTLYADDED_USER_FK", "USERID", "USERTABLE", "USERID"}};
    for (const Link& link : links)
        steps << QStringLiteral("ALTER TABLE tolvanexdb.%1 DROP FOREIGN KEY %2")
                     .arg(QLatin1String(link.table), QLatin1String(link.name));
    for (const char* keys : {"TVXMEMBERKEYS", "TVXGROUPKEYS", "TVXTYPEKEYS", "TVXUSERKEYS"})
        steps << QStringLiteral("DROP TABLE tolvanexdb.%1").arg(QLatin1String(keys));
    for (const char* trigger : {"TVX_USERTABLE_KEY_INSERT", "TVX_USERTABLE_KEY_UPDATE", "TVX_USERTABLE_KEY_DELETE",
                                "TVX_GROUP_KEY_INSERT", "TVX_GROUP_KEY_UPDATE", "TVX_GROUP_KEY_DELETE",
                                "TVX_TYPE_KEY_INSERT", "TVX_TYPE_KEY_UPDATE", "TVX_TYPE_KEY_DELETE",
                                "TVX_MEMBER_KEY_INSERT", "TVX_MEMBER_KEY_UPDATE", "TVX_MEMBER_KEY_DELETE"})
        steps << QStringLiteral("DROP TRIGGER tolvanexdb.%1").arg(QLatin1String(trigger));
    for (const Link& link : links)
        steps << QStringLiteral("ALTER TABLE tolvanexdb.%1 ADD CONSTRAINT %2 FOREIGN KEY (%3) REFERENCES "
                                "tolvanexdb.%4 (%5) ON DELETE CASCADE ON UPDATE CASCADE")
                     .arg(QLatin1String(link.table), QLatin1String(link.name), QLatin1String(link.column),
                          QLatin1String(link.target), QLatin1String(link.key));
    for (const char* viewed : kViewedTablePrefixes)
        steps << QStringLiteral("DROP VIEW tolvanexdb.%1TABLE").arg(QLatin1String(viewed))
              << QStringLiteral("RENAME TABLE tolvanexdb.%1ROWS TO tolvanexdb.%1TABLE").arg(QLatin1String(viewed));
    steps << QStringLiteral("DROP TABLE tolvanexdb.TVXLISTWRITERTABLE")
          << QStringLiteral("DROP TABLE tolvanexdb.TVXMASTERPASSWORDTABLE");
    return steps;
}

// The table that holds a name's rows and triggers: some names are views over
// rows kept under another name.
inline QString rowsTable(const QString& name)
{
    const QString upper = name.toUpper();
    for (const char* viewed : kViewedTablePrefixes)
        if (upper == QLatin1String(viewed) + QLatin1String("TABLE"))
            return QLatin1String(viewed) + QLatin1String("ROWS");
    return name;
}
// First column of the first row as text; null without a row or on a NULL.
QString queryValueOn(sql::Connection& connection, const QString& query);

// The user's preference row with its defaults, written as account
// administration writes it (an ordinary account may not add one).
void givePreferenceRow(const QString& userID, const QString& name);

// The certificate authority of the fixture server (scripts/store-server).
QString caFile();
// The SHA-256 fingerprint of the fixture server's certificate, as openssl x509 -fingerprint -sha256 shows it.
QString serverFingerprint();

TVXLoginRequest loginRequest(const QString& user = kUserName, const QString& password = kUserPassword,
                             const QString& master = kMasterPassword);

// Log-in, the main-thread step and the load worker, as the client runs them.
TVXResult logInAndLoad(TVXDataBase& db, const QString& user = kUserName, const QString& password = kUserPassword,
                 const QString& master = kMasterPassword);

// Counts the application calls the manager makes on the main thread.
class RecordingHooks : public platform::ApplicationHooks {
public:
    void connectionISComplete() override;
    void finishReloadingData() override { ++reloadsFinished; }
    void reloadFailed(int code) override
    {
        ++reloadFailures;
        lastReloadFailure = code;
    }
    void accountRefusedDuringReload(int code) override
    {
        ++accountRefusals;
        lastReloadFailure = code;
    }
    std::atomic<int> completions{0};
    std::atomic<int> reloadsFinished{0};
    std::atomic<int> reloadFailures{0};
    std::atomic<int> accountRefusals{0};
    std::atomic<int> lastReloadFailure{0};
    std::atomic<bool> calledOffMainThread{false};
};

// Ends the test program when the scope has not been left within the time: a
// hang then fails at once rather than holding the suite until its timeout.
class HangDeadline {
public:
    explicit HangDeadline(int seconds);
    ~HangDeadline();
    HangDeadline(const HangDeadline&) = delete;
    HangDeadline& operator=(const HangDeadline&) = delete;

private:
    std::shared_ptr<std::atomic<bool>> mLeft;
};

// Runs the bodies on threads of their own, started together so that they
// really meet, while the calling (main) thread serves their hand-overs.
void runTogether(const std::vector<std::function<void()>>& bodies);

// A fresh store with master password kMasterPassword and the user alice.
class StoreTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    QString aliceID;
    RecordingHooks hooks;
};

} // namespace teststore
