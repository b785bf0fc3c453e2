// What store accounts can and cannot do with their own credentials and a
// plain connection, as someone trying to act as another would.
#include "model/TVXUser.h"
#include "store/TVXDataBase.h"
#include "store/schema/QueryConstants.h"
#include "store/schema/TVXStoreCreator.h"
#include "support/TestStore.h"

#include <cppconn/connection.h>
#include <cppconn/exception.h>
#include <cppconn/prepared_statement.h>
#include <cppconn/resultset.h>

using namespace teststore;

namespace {

class AccountSecurity : public StoreTest {
protected:
    void SetUp() override
    {
        StoreTest::SetUp();
        bossID = addAccount("boss", "boss-pw", true);
        bobID = addAccount("bob", "bob-pw");
    }

    QString bossID;
    QString bobID;
};

} // namespace

TEST_F(AccountSecurity, TheSessionFunctionsNameTheLoggedInAccount)
{
    const auto alice = accountConnection(kUserName, kUserPassword);
    EXPECT_EQ(queryValueOn(*alice, "SELECT tolvanexdb.TVX_SESSION_USERID()"), aliceID);
    EXPECT_EQ(queryValueOn(*alice, "SELECT tolvanexdb.TVX_IS_ADMIN()"), "0");
    const auto boss = accountConnection("boss", "boss-pw");
    EXPECT_EQ(queryValueOn(*boss, "SELECT tolvanexdb.TVX_SESSION_USERID()"), bossID);
    EXPECT_EQ(queryValueOn(*boss, "SELECT tolvanexdb.TVX_IS_ADMIN()"), "1");

    // Server account names differ by case where user rows do not: ALICE is not alice.
    rootExec("CREATE USER 'ALICE'@'%' IDENTIFIED BY 'upper-pw'");
    ASSERT_TRUE(TVXStoreCreator(rootConnection()).applyStoreRights("ALICE", true).ok);
    const auto upper = accountConnection("ALICE", "upper-pw");
    EXPECT_TRUE(queryValueOn(*upper, "SELECT tolvanexdb.TVX_SESSION_USERID()").isNull());
    EXPECT_EQ(queryValueOn(*upper, "SELECT tolvanexdb.TVX_IS_ADMIN()"), "0"); // no user row of its own

    // The server's own administrator is no account of the store.
    auto root = rootConnection();
    EXPECT_TRUE(queryValueOn(*root, "SELECT tolvanexdb.TVX_SESSION_USERID()").isNull());
    EXPECT_EQ(queryValueOn(*root, "SELECT tolvanexdb.TVX_IS_ADMIN()"), "0");
}

TEST_F(AccountSecurity, OnlyTheAccountRoutinesMakeAnAdministrator)
{
    const auto bob = accountConnection("bob", "bob-pw");
    EXPECT_NE(refusalOf(*bob, "GRANT EXECUTE ON PROCEDURE tolvanexdb.TVX_CREATE_ACCOUNT TO 'bob'@'%'"), 0);
    EXPECT_NE(refusalOf(*bob, "CALL tolvanexdb.TVX_GRANT_ACCOUNT('bob', 1)"), 0);
    EXPECT_NE(refusalOf(*bob, "CALL tolvanexdb.TVX_APPLY_RIGHTS('bob', '%', 1)"), 0);
    EXPECT_NE(refusalOf(*bob, "UPDATE tolvanexdb.STOREACCOUNTTABLE SET ISADMIN=1"), 0);
    EXPECT_EQ(queryValueOn(*bob, "SELECT tolvanexdb.TVX_IS_ADMIN()"), "0");

    // An administrator promotes bob and demotes itself; new sessions see it.
    const auto boss = accountConnection("boss", "boss-pw");
    EXPECT_EQ(refusalOf(*boss, "CALL tolvanexdb.TVX_GRANT_ACCOUNT('bob', 1)"), 0);
    EXPECT_EQ(queryValueOn(*accountConnection("bob", "bob-pw"), "SELECT tolvanexdb.TVX_IS_ADMIN()"), "1");
    EXPECT_EQ(refusalOf(*boss, "CALL tolvanexdb.TVX_GRANT_ACCOUNT('boss', 0)"), 0);
    EXPECT_EQ(queryValueOn(*accountConnection("boss", "boss-pw"), "SELECT tolvanexdb.TVX_IS_ADMIN()"), "0");
}

TEST_F(AccountSecurity, TheRoutinesRunAsALockedAccountThatUpgradesAdd)
{
    EXPECT_THROW(accountConnection("tvx_definer", ""), sql::SQLException);
    EXPECT_THROW(accountConnection("tvx_definer", "invalid"), sql::SQLException);
    EXPECT_TRUE(rootQueryValue("SHOW CREATE USER 'tvx_definer'@'localhost'").contains("ACCOUNT LOCK"));

    // A store of an earlier version: no definer, no routines.
    rootExec("DROP FUNCTION tolvanexdb.TVX_IS_ADMIN");
    rootExec("DROP USER 'tvx_definer'@'localhost'");
    TVXStoreCreator creator(rootConnection());
    const StoreResult schema = creator.upgradeSchema();
    ASSERT_TRUE(schema.ok) << schema.message.toStdString();
    EXPECT_TRUE(schema.message.contains("tvx_definer")) << schema.message.toStdString();
    // A routine made anew is held by no one until the rights are granted again.
    int accounts = 0;
    ASSERT_TRUE(creator.upgradeGrants(&accounts).ok);
    EXPECT_EQ(accounts, 3);
    EXPECT_EQ(queryValueOn(*accountConnection("boss", "boss-pw"), "SELECT tolvanexdb.TVX_IS_ADMIN()"), "1");

    rootExec("DROP FUNCTION tolvanexdb.TVX_SESSION_USERID");
    ASSERT_TRUE(creator.upgradeGrants(&accounts).ok);
    EXPECT_EQ(queryValueOn(*accountConnection("bob", "bob-pw"), "SELECT tolvanexdb.TVX_SESSION_USERID()"), bobID);
}

TEST_F(AccountSecurity, AnOrdinaryAccountReadsNoOtherUsersPasswordCopyOrHint)
{
    givePreferenceRow(aliceID, kUserName);
    givePreferenceRow(bobID, "bob");
    // A hint set without a question is enciphered under a text every client knows.
    rootExec(QStringLiteral("UPDATE tolvanexdb.APPPREFTABLE SET HINTQNO=0, HINTQANSWER=UNHEX('00112233'), "
                            "HINTQUESTION=UNHEX('44556677') WHERE USERID='%1'")
                 .arg(aliceID));
    const int columnDenied = 1143;
    const auto bob = accountConnection("bob", "bob-pw");
    EXPECT_EQ(refusalOf(*bob, QStringLiteral("SELECT PASSWORD FROM tolvanexdb.USERTABLE WHERE USERID='%1'").arg(aliceID)),
              columnDenied);
    EXPECT_NE(refusalOf(*bob, "SELECT * FROM tolvanexdb.USERTABLE"), 0);
    EXPECT_EQ(refusalOf(*bob, "SELECT HINTQANSWER FROM tolvanexdb.APPPREFTABLE"), columnDenied);
    EXPECT_EQ(refusalOf(*bob, "SELECT HINTQUESTION FROM tolvanexdb.APPPREFTABLE"), columnDenied);
    EXPECT_NE(refusalOf(*bob, "SELECT * FROM tolvanexdb.APPPREFTABLE"), 0);
    // Through the view of its own row: its own hint, nobody else's.
    EXPECT_EQ(queryValueOn(*bob, QStringLiteral("SELECT COUNT(*) FROM tolvanexdb.APPPREFSELFVIEW WHERE USERID='%1'")
                                     .arg(aliceID)),
              "0");
    EXPECT_EQ(queryValueOn(*bob, "SELECT USERID FROM tolvanexdb.APPPREFSELFVIEW"), bobID);
    EXPECT_EQ(queryValueOn(*accountConnection(kUserName, kUserPassword),
                           "SELECT HEX(HINTQANSWER) FROM tolvanexdb.APPPREFSELFVIEW"),
              "00112233");
    // An administrator reads what the account window shows.
    const auto boss = accountConnection("boss", "boss-pw");
    EXPECT_EQ(refusalOf(*boss, "SELECT PASSWORD FROM tolvanexdb.USERTABLE"), 0);
}

// Which records a user looked at and how a user sets up the lists are that
// user's own: the client's own statements, bound to another user, find nothing.
TEST_F(AccountSecurity, AnOrdinaryAccountReadsOnlyItsOwnRecentListsAndColumnSettings)
{
    rootExec("INSERT INTO tolvanexdb.RECORDTABLE (RECORDID, TYPEUID, GROUPUID) VALUES "
             "('00000000000000F1', '0000000000000000', '0000000000000000')");
    const char* const lists[] = {kQueryMostViewedTable, kQueryRecentlyViewedTable, kQueryRecentlyModifiedTable,
                                 kQueryRecentlyAddedTable};
    for (const QString& user : {aliceID, bobID}) {
        rootExec(QStringLiteral("INSERT INTO tolvanexdb.COLUMNINFOTABLE (USERID, TYPEID, COLUMN1) VALUES ('%1', 'T1', 5)")
                     .arg(user));
        for (const char* table : {"MOSTVIEWEDTABLE", "RECENTLYVIEWEDTABLE", "RECENTLYMODIFIEDTABLE", "RECENTLYADDEDTABLE"})
            rootExec(QStringLiteral("INSERT INTO tolvanexdb.%1 VALUES ('%2', '00000000000000F1')").arg(table, user));
    }
    const auto rowsFor = [](sql::Connection& connection, const char* statement, const QString& user) {
        std::unique_ptr<sql::PreparedStatement> read(connection.prepareStatement(statement));
        read->setString(1, user.toStdString());
        if (QByteArray(statement).count('?') > 1)
            read->setString(2, "T1");
        std::unique_ptr<sql::ResultSet> rs(read->executeQuery());
        int rows = 0;
        while (rs->next())
            ++rows;
        return rows;
    };
    const auto bob = accountConnection("bob", "bob-pw");
    const auto boss = accountConnection("boss", "boss-pw");
    bob->setSchema(kTolvanexSchema);
    boss->setSchema(kTolvanexSchema);
    for (const char* statement : {lists[0], lists[1], lists[2], lists[3], KQuerySelectColumnInfoTable}) {
        EXPECT_EQ(rowsFor(*bob, statement, aliceID), 0) << statement;
        EXPECT_EQ(rowsFor(*bob, statement, bobID), 1) << statement;
        // Administrators read every user's, as they read every view in the event log.
        EXPECT_EQ(rowsFor(*boss, statement, aliceID), 1) << statement;
    }
    for (const char* table : {"COLUMNINFOTABLE", "MOSTVIEWEDTABLE", "RECENTLYVIEWEDTABLE", "RECENTLYMODIFIEDTABLE",
                              "RECENTLYADDEDTABLE"})
        EXPECT_EQ(queryValueOn(*bob, QStringLiteral("SELECT GROUP_CONCAT(USERID) FROM %1").arg(table)), bobID) << table;
    // A disabled account reads none, its own neither.
    rootExec(QStringLiteral("UPDATE tolvanexdb.USERTABLE SET ISACCOUNTDISABLED=1 WHERE USERID='%1'").arg(bobID));
    EXPECT_EQ(rowsFor(*bob, KQuerySelectColumnInfoTable, bobID), 0);
}

TEST_F(AccountSecurity, RowsOfOtherUsersAreWrittenOnlyByAnAdministrator)
{
    givePreferenceRow(aliceID, kUserName);
    givePreferenceRow(bobID, "bob");
    rootExec(QStringLiteral("INSERT INTO tolvanexdb.COLUMNINFOTABLE (USERID, TYPEID, COLUMN1) VALUES ('%1', 'T1', 5)")
                 .arg(aliceID));
    rootExec("INSERT INTO tolvanexdb.RECORDTABLE (RECORDID, TYPEUID, GROUPUID) VALUES "
             "('00000000000000F1', '0000000000000000', '0000000000000000')");
    for (const char* list : {"MOSTVIEWEDTABLE", "RECENTLYVIEWEDTABLE", "RECENTLYMODIFIEDTABLE", "RECENTLYADDEDTABLE"})
        rootExec(QStringLiteral("INSERT INTO tolvanexdb.%1 VALUES ('%2', '00000000000000F1')").arg(list, aliceID));
    const QString aliceRows = QStringLiteral(" WHERE USERID='%1'").arg(aliceID);

    const auto refusedToBob = [&](sql::Connection& bob) {
        QStringList wentThrough;
        for (const QString& statement : {
                 QStringLiteral("UPDATE tolvanexdb.USERTABLE SET PASSWORD=''") + aliceRows,
                 QStringLiteral("DELETE FROM tolvanexdb.USERTABLE") + aliceRows,
                 QStringLiteral("UPDATE tolvanexdb.APPPREFTABLE SET LOGINATTEMPTCOUNT=9") + aliceRows,
                 QStringLiteral("UPDATE tolvanexdb.APPPREFTABLE SET AUTOLOCK=0"),
                 QStringLiteral("UPDATE tolvanexdb.APPPREFTABLE SET HINTQANSWER=''") + aliceRows,
                 QStringLiteral("REPLACE INTO tolvanexdb.COLUMNINFOTABLE (USERID, TYPEID) VALUES ('%1', 'T1')").arg(aliceID),
                 QStringLiteral("INSERT INTO tolvanexdb.COLUMNINFOTABLE (USERID, TYPEID) VALUES ('%1', 'T2')").arg(aliceID),
             })
            if (refusalOf(bob, statement) == 0)
                wentThrough << statement;
        for (const char* list : {"MOSTVIEWEDTABLE", "RECENTLYVIEWEDTABLE", "RECENTLYMODIFIEDTABLE", "RECENTLYADDEDTABLE"}) {
            for (const QString& statement :
                 {QStringLiteral("INSERT INTO tolvanexdb.%1 VALUES ('%2', '00000000000000F1')").arg(list, aliceID)})
                if (refusalOf(bob, statement) == 0)
                    wentThrough << statement;
        }
        // Her list and column rows are out of his sight: his deletes find none
        // of them (aliceState below shows they stay).
        for (const char* table : {"COLUMNINFOTABLE", "MOSTVIEWEDTABLE", "RECENTLYVIEWEDTABLE",
                                  "RECENTLYMODIFIEDTABLE", "RECENTLYADDEDTABLE"})
            (void)refusalOf(bob, QStringLiteral("DELETE FROM tolvanexdb.%1").arg(table) + aliceRows);
        return wentThrough;
    };
    // Alice's rows as a whole, to see that nothing of them changed.
    const auto aliceState = [this] {
        return rootQueryValue(QStringLiteral(
            "SELECT CONCAT_WS('/', HEX(U.PASSWORD), P.LOGINATTEMPTCOUNT, P.AUTOLOCK, HEX(P.HINTQANSWER), "
            "(SELECT COUNT(*) FROM tolvanexdb.COLUMNINFOTABLE C WHERE C.USERID=U.USERID), "
            "(SELECT COUNT(*) FROM tolvanexdb.MOSTVIEWEDTABLE L WHERE L.USERID=U.USERID), "
            "(SELECT COUNT(*) FROM tolvanexdb.RECENTLYVIEWEDTABLE L WHERE L.USERID=U.USERID), "
            "(SELECT COUNT(*) FROM tolvanexdb.RECENTLYMODIFIEDTABLE L WHERE L.USERID=U.USERID), "
            "(SELECT COUNT(*) FROM tolvanexdb.RECENTLYADDEDTABLE L WHERE L.USERID=U.USERID)) "
            "FROM tolvanexdb.USERTABLE U JOIN tolvanexdb.APPPREFTABLE P ON P.USERID=U.USERID WHERE U.USERID='%1'")
                                  .arg(aliceID));
    };
    const QString before = aliceState();
    ASSERT_FALSE(before.isEmpty());
    const auto bob = accountConnection("bob", "bob-pw");
    EXPECT_EQ(refusedToBob(*bob), QStringList());
    // Its own rows it writes as the client does.
    EXPECT_EQ(refusalOf(*bob, QStringLiteral("UPDATE tolvanexdb.APPPREFTABLE SET LOGINATTEMPTCOUNT=1 WHERE USERID='%1'")
                                  .arg(bobID)),
              0);
    EXPECT_EQ(refusalOf(*bob, QStringLiteral("REPLACE INTO tolvanexdb.COLUMNINFOTABLE (USERID, TYPEID) VALUES ('%1', 'T1')")
                                  .arg(bobID)),
              0);
    // Without a user row of its own it is still no one else.
    EXPECT_EQ(refusalOf(*bob, QStringLiteral("DELETE FROM tolvanexdb.USERTABLE WHERE USERID='%1'").arg(bobID)), 0);
    EXPECT_EQ(refusedToBob(*bob), QStringList());

    EXPECT_EQ(aliceState(), before);

    // An administrator may: the account window and the master-password change do.
    const auto boss = accountConnection("boss", "boss-pw");
    EXPECT_EQ(refusalOf(*boss, QStringLiteral("UPDATE tolvanexdb.APPPREFTABLE SET LOGINATTEMPTCOUNT=2 WHERE USERID='%1'")
                                   .arg(aliceID)),
              0);
    EXPECT_EQ(refusalOf(*boss, QStringLiteral("UPDATE tolvanexdb.USERTABLE SET PASSWORD=PASSWORD WHERE USERID='%1'")
                                   .arg(aliceID)),
              0);
}

TEST_F(AccountSecurity, AnAdministratorIsConfinedToTheStoresAccounts)
{
    // An account of another database on the same server, and a server administrator
    // that even holds the store's rights.
    rootExec("CREATE USER 'otherapp'@'%' IDENTIFIED BY 'other-pw'");
    rootExec("GRANT ALL PRIVILEGES ON test.* TO 'otherapp'@'%'");
    rootExec("CREATE USER 'dba'@'%' IDENTIFIED BY 'dba-pw'");
    ASSERT_TRUE(TVXStoreCreator(rootConnection()).applyStoreRights("dba", false).ok);
    rootExec("GRANT ALL PRIVILEGES ON *.* TO 'dba'@'%' WITH GRANT OPTION");
    const auto boss = accountConnection("boss", "boss-pw");
    QStringList wentThrough;
    for (const QString& statement : {
             QStringLiteral("ALTER USER 'root'@'localhost' IDENTIFIED BY 'x'"),
             QStringLiteral("ALTER USER 'otherapp'@'%' IDENTIFIED BY 'x'"),
             QStringLiteral("SET PASSWORD FOR 'otherapp'@'%' = PASSWORD('x')"),
             QStringLiteral("RENAME USER 'otherapp'@'%' TO 'gone'@'%'"),
             QStringLiteral("CREATE USER 'mallory'@'%'"),
             QStringLiteral("GRANT SELECT ON tolvanexdb.USERTABLE TO 'bob'@'%'"),
             QStringLiteral("SELECT * FROM mysql.user"),
             QStringLiteral("SELECT * FROM mysql.global_priv"),
             QStringLiteral("FLUSH PRIVILEGES"),
             QStringLiteral("CALL tolvanexdb.TVX_APPLY_RIGHTS('otherapp', '%', 1)"),
             QStringLiteral("DELETE FROM tolvanexdb.STOREACCOUNTTABLE"),
         })
        if (refusalOf(*boss, statement) == 0)
            wentThrough << statement;
    // The routines act on the store's accounts and on new, well-formed names only.
    for (const QString& name : {QStringLiteral("root"), QStringLiteral("otherapp"), QStringLiteral("dba"),
                                QStringLiteral("tvx_definer"),
                                QStringLiteral("o'brien"), QStringLiteral("a%"), QStringLiteral("%"),
                                QStringLiteral("b_b"), QStringLiteral("bob@localhost"), QString(17, 'a'),
                                QStringLiteral("carl\n"), QStringLiteral("ca\nrl"), QStringLiteral("PUBLIC"),
                                QStringLiteral("Root"), QStringLiteral("mysql.sys"), QStringLiteral("MariaDB.sys")}) {
        for (const QString& call : {QStringLiteral("CALL tolvanexdb.TVX_SET_ACCOUNT_PASSWORD(?, 'x')"),
                                    QStringLiteral("CALL tolvanexdb.TVX_GRANT_ACCOUNT(?, 1)"),
                                    QStringLiteral("CALL tolvanexdb.TVX_DROP_ACCOUNT(?)"),
                                    QStringLiteral("CALL tolvanexdb.TVX_RENAME_ACCOUNT(?, 'renamed')"),
                                    QStringLiteral("CALL tolvanexdb.TVX_RENAME_ACCOUNT('bob', ?)"),
                                    QStringLiteral("CALL tolvanexdb.TVX_CREATE_ACCOUNT(?, 'x', 1)")}) {
            QString statement = call;
            statement.replace(QLatin1Char('?'), QStringLiteral("'%1'").arg(QString(name).replace("'", "''")));
            // A new well-formed name is what creation and renaming are for; dropping it drops nothing.
            const bool newName = name == QLatin1String("b_b");
            if (newName && (call.contains("CREATE") || call.contains("'bob', ?") || call.contains("DROP")))
                continue;
            if (refusalOf(*boss, statement) == 0)
                wentThrough << statement;
        }
    }
    EXPECT_EQ(wentThrough, QStringList());
    // Nothing changed for those accounts; no store account holds anything server-wide.
    EXPECT_NO_THROW(accountConnection("otherapp", "other-pw"));
    EXPECT_NO_THROW(accountConnection("dba", "dba-pw"));
    EXPECT_EQ(rootQueryValue("SELECT COUNT(*) FROM mysql.global_priv WHERE User IN ('renamed', 'mallory', 'gone')"), "0");
    EXPECT_EQ(rootQueryValue("SELECT COUNT(*) FROM information_schema.USER_PRIVILEGES WHERE GRANTEE IN "
                             "(\"'boss'@'%'\", \"'bob'@'%'\", \"'alice'@'%'\") AND PRIVILEGE_TYPE <> 'USAGE'"),
              "0");
    EXPECT_EQ(rootQueryValue("SELECT COUNT(*) FROM information_schema.TABLE_PRIVILEGES WHERE TABLE_SCHEMA='mysql' "
                             "AND TABLE_NAME='user'"),
              "0");
    // Accounts the routines make must use TLS.
    EXPECT_EQ(rootQueryValue("SELECT JSON_VALUE(Priv, '$.ssl_type') FROM mysql.global_priv WHERE User='bob'"), "1");
}

TEST_F(AccountSecurity, APasswordCopyWrittenBySomeoneElseNeverUnlocks)
{
    givePreferenceRow(aliceID, kUserName);
    // An administrator (the only one who may) writes alice's copy before she logs in.
    TVXDataBase cipher;
    cipher.ciphers().createUserEncrypter();
    rootExec(QStringLiteral("UPDATE tolvanexdb.USERTABLE SET PASSWORD=UNHEX('%1') WHERE USERID='%2'")
                 .arg(QString::fromLatin1(cipher.encryptDataString("chosen-by-bob").toHex()), aliceID));
    TVXDataBase client;
    ASSERT_EQ(logInAndLoad(client), kTVXDone);
    const TVXUser& alice = *client.caches().mCurrentUser();
    EXPECT_FALSE(client.passwordHint().validatePasswordForUser(alice, "chosen-by-bob"));
    EXPECT_TRUE(client.passwordHint().validatePasswordForUser(alice, kUserPassword));

    // An emptied copy leaves the lock on.
    rootExec(QStringLiteral("UPDATE tolvanexdb.USERTABLE SET PASSWORD='' WHERE USERID='%1'").arg(aliceID));
    TVXDataBase again;
    ASSERT_EQ(logInAndLoad(again), kTVXDone);
    EXPECT_TRUE(TVXPasswordHint::isPasswordEnableForUser(*again.caches().mCurrentUser()));
    EXPECT_TRUE(again.passwordHint().validatePasswordForUser(*again.caches().mCurrentUser(), kUserPassword));
}
