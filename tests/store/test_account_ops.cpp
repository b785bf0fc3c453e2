// Store accounts made, changed and deleted by an administrator, and the
// signed-in user's self-deletion.
#include "model/BMGroup.h"
#include "model/TVXUser.h"
#include "model/TVXUser_Admin.h"
#include "store/TVXDataBase.h"
#include "support/StoreSeed.h"
#include "support/TestStore.h"

#include <cppconn/connection.h>
#include <cppconn/exception.h>
#include <cppconn/statement.h>

using namespace teststore;

namespace {

const QString G1 = QStringLiteral("00000000000000A1");
const QString G2 = QStringLiteral("00000000000000A2");

class AccountOps : public StoreTest {
protected:
    void SetUp() override
    {
        StoreTest::SetUp();
        adminID = addAccount("boss", "boss-pw", true);
        StoreSeed seed(kMasterPassword);
        seed.group(G1, "Finance");
        seed.group(G2, "Servers");
        seed.member(adminID, G1);
        seed.member(adminID, G2);
        ASSERT_EQ(logInAndLoad(admin, "boss", "boss-pw"), kTVXDone);
    }


    static std::shared_ptr<TVXUser_Admin> newAccount(const QString& name, const QString& password)
    {
        auto user = TVXUser_Admin::createUser();
        user->setMUsername(name);
        user->setMPassword(password);
        user->setMGroupPermissionsBit(1);
        user->setMTypePermissionsBit(2);
        user->setMRecordPermissionsBit(7);
        user->setMDataPermissionsBit(9);
        user->setMFullName("Nina Neu");
        user->setMEmail("nina@example.org");
        user->setMUsersGroupArray({G1});
        return user;
    }

    static int serverAccounts(const QString& name)
    {
        return rootQueryValue(QStringLiteral("SELECT COUNT(*) FROM mysql.global_priv WHERE User='%1'").arg(name)).toInt();
    }

    QString adminID;
    TVXDataBase admin;
};

} // namespace

TEST_F(AccountOps, AnAdministratorIsNotAnAllPrivilegesAccount)
{
    TVXDataBase again;
    EXPECT_EQ(again.startConnectionToServer(loginRequest("boss", "boss-pw")), kTVXDone);
    EXPECT_FALSE(again.hasAdminUserPrivileges("boss"));
    EXPECT_TRUE(admin.caches().mGroups().contains(adminID)); // its personal group
}

TEST_F(AccountOps, ANewAccountLogsInAndSeesItsGroups)
{
    const auto nina = newAccount("nina", "nina's \"pw\"");
    ASSERT_EQ(admin.accountAdmin().addUser(*nina), kTVXDone);
    EXPECT_TRUE(admin.accountAdmin().isUserExistsInTolvanex("nina"));

    TVXDataBase client;
    ASSERT_EQ(logInAndLoad(client, "nina", "nina's \"pw\""), kTVXDone);
    const TVXUser& me = *client.caches().mCurrentUser();
    EXPECT_EQ(me.mUserID(), nina->mUserID());
    EXPECT_EQ(me.mRecordPermissionsBit(), 7);
    EXPECT_EQ(me.mDataPermissionsBit(), 9);
    EXPECT_EQ(me.mUsersGroupArray(), QStringList{G1});
    QStringList groups = client.caches().mGroups().keys();
    groups.sort();
    QStringList expected{G1, nina->mUserID()};
    expected.sort();
    EXPECT_EQ(groups, expected);
    EXPECT_EQ(client.caches().mGroups().value(nina->mUserID())->mGroupName(), "Personal-nina");
    EXPECT_EQ(me.mDetailPanelWidth(), 290); // its preference row
    EXPECT_EQ(rootQueryValue("SELECT Full_name FROM mysql.user_info WHERE User='nina'"), "Nina Neu");

    // The administrator's list shows it; a second administrator is marked as one.
    addAccount("deputy", "pw", true);
    TVXResult code = resultOfNumber(-1); // not set by the call
    admin.accountAdmin().readUserTableIfErrorReturnCode(&code);
    ASSERT_TRUE(admin.caches().mUsers().contains(nina->mUserID()));
    EXPECT_FALSE(admin.caches().mUsers().value(nina->mUserID())->isAdministrator());
    EXPECT_EQ(admin.caches().mUsers().value(nina->mUserID())->mEmail(), "nina@example.org");
    bool deputyIsAdmin = false;
    for (const auto& user : admin.caches().mUsers())
        if (user->mUsername() == "deputy")
            deputyIsAdmin = user->isAdministrator();
    EXPECT_TRUE(deputyIsAdmin);
}

TEST_F(AccountOps, ReplaceRenamesAndChangesEverything)
{
    const auto nina = newAccount("nina", "old-pw");
    ASSERT_EQ(admin.accountAdmin().addUser(*nina), kTVXDone);

    nina->setMUsername("nina2");
    nina->setMPassword("new-pw");
    nina->setMRecordPermissionsBit(1);
    nina->setMIsAccountDisabled(false);
    nina->setMUsersGroupArray({G2});
    nina->setMFullName("Nina Zwei");
    ASSERT_EQ(admin.accountAdmin().replaceUser(*nina), kTVXDone);

    TVXDataBase client;
    EXPECT_EQ(client.startConnectionToServer(loginRequest("nina", "old-pw")), kTVXAccessDenied);
    EXPECT_EQ(client.startConnectionToServer(loginRequest("nina2", "old-pw")), kTVXAccessDenied);
    ASSERT_EQ(logInAndLoad(client, "nina2", "new-pw"), kTVXDone);
    EXPECT_EQ(client.caches().mCurrentUser()->mRecordPermissionsBit(), 1);
    EXPECT_EQ(client.caches().mCurrentUser()->mUsersGroupArray(), QStringList{G2});
    EXPECT_EQ(client.caches().mGroups().value(nina->mUserID())->mGroupName(), "Personal-nina2");
    EXPECT_EQ(rootQueryValue("SELECT GROUP_CONCAT(Full_name) FROM mysql.user_info WHERE User LIKE 'nina%'"),
              "Nina Zwei");

    // An empty password keeps the one the account has.
    nina->setMPassword(QString());
    ASSERT_EQ(admin.accountAdmin().replaceUser(*nina), kTVXDone);
    TVXDataBase again;
    EXPECT_EQ(again.startConnectionToServer(loginRequest("nina2", "new-pw")), kTVXDone);
}

TEST_F(AccountOps, DeletedAccountsCanNoLongerLogIn)
{
    const auto nina = newAccount("nina", "pw");
    ASSERT_EQ(admin.accountAdmin().addUser(*nina), kTVXDone);
    ASSERT_EQ(admin.accountAdmin().deleteUser(*nina), kTVXDone);
    TVXDataBase client;
    EXPECT_EQ(client.startConnectionToServer(loginRequest("nina", "pw")), kTVXAccessDenied);
    EXPECT_EQ(serverAccounts("nina"), 0);
    for (const char* table : {"USERTABLE", "APPPREFTABLE", "USERGROUPTABLE"})
        EXPECT_EQ(rootQueryValue(QStringLiteral("SELECT COUNT(*) FROM tolvanexdb.%1 WHERE USERID='%2'")
                                     .arg(table, nina->mUserID())),
                  "0")
            << table;
    EXPECT_EQ(rootQueryValue(QStringLiteral("SELECT COUNT(*) FROM tolvanexdb.GROUPTABLE WHERE UID='%1'")
                                 .arg(nina->mUserID())),
              "0");

    // A stale copy: the account is gone already.
    EXPECT_EQ(admin.accountAdmin().deleteUser(*nina), kTVXReloadFirst);
    EXPECT_EQ(admin.accountAdmin().replaceUser(*nina), kTVXReloadFirst);
}

TEST_F(AccountOps, NamesThatCouldChangeAStatementAreRefused)
{
    for (const QString& name : QStringList{"bad name", "x'; DROP USER root; --", "o'brien", "a%", QString(17, 'a'), QString()}) {
        const auto user = newAccount(name, "pw");
        EXPECT_EQ(admin.accountAdmin().addUser(*user), kTVXStatementFailed) << name.toStdString();
    }
    EXPECT_EQ(rootQueryValue("SELECT COUNT(*) FROM tolvanexdb.USERTABLE"), "2"); // alice and boss
    EXPECT_EQ(serverAccounts("root"), 4);
}

TEST_F(AccountOps, RowsThatFailUndoTheServerAccount)
{
    rootExec("CREATE TRIGGER tolvanexdb.refuse_user BEFORE INSERT ON tolvanexdb.APPPREFTABLE FOR EACH ROW "
             "SIGNAL SQLSTATE '45000' SET MESSAGE_TEXT = 'refused'");
    const auto nina = newAccount("nina", "pw");
    EXPECT_NE(admin.accountAdmin().addUser(*nina), kTVXDone);
    EXPECT_EQ(serverAccounts("nina"), 0);
    EXPECT_EQ(rootQueryValue("SELECT COUNT(*) FROM tolvanexdb.USERTABLE WHERE USERNAME='nina'"), "0");
}

TEST_F(AccountOps, AnOrdinaryAccountIsRefusedWhatItsWorkThroughTheClientNeverNeeds)
{
    const auto nina = newAccount("nina", "pw");
    ASSERT_EQ(admin.accountAdmin().addUser(*nina), kTVXDone);
    // The account's own credentials, straight to the server.
    TVXDataBase connector;
    const auto own = connector.connectToSServer(QStringLiteral("tcp://127.0.0.1:%1").arg(port()), "nina", "pw", caFile());
    std::unique_ptr<sql::Statement> stmt(own->createStatement());
    const auto refusal = [&stmt](const char* statement) {
        try {
            stmt->execute(statement);
            return 0;
        } catch (const sql::SQLException& e) {
            return e.getErrorCode();
        }
    };
    const int tableDenied = 1142;
    const int columnDenied = 1143;
    // Its own permission bits, a new user row, another user's rows.
    EXPECT_EQ(refusal("UPDATE tolvanexdb.USERTABLE SET GROUPPERMISSION=7, DATAPERMISSION=63 WHERE USERNAME='nina'"),
              columnDenied);
    EXPECT_EQ(refusal("INSERT INTO tolvanexdb.USERTABLE (USERID, USERNAME) VALUES ('00000000000000E1', 'mallory')"),
              tableDenied);
    EXPECT_EQ(refusal("UPDATE tolvanexdb.APPPREFTABLE SET USERNAME='boss'"), columnDenied);
    // The event log: emptied, rewritten or read back.
    EXPECT_EQ(refusal("DELETE FROM tolvanexdb.EVENTLOGGERTABLE"), tableDenied);
    EXPECT_EQ(refusal("UPDATE tolvanexdb.EVENTLOGGERTABLE SET DESCRIPTION=''"), tableDenied);
    EXPECT_EQ(refusal("SELECT * FROM tolvanexdb.EVENTLOGGERTABLE"), tableDenied);
    // The stored master password and the password policy.
    EXPECT_EQ(refusal("REPLACE INTO tolvanexdb.DATABASEINFOTABLE (NAME, VALUE) VALUES ('DBPASSWORD', 'x')"),
              tableDenied);
    EXPECT_EQ(refusal("UPDATE tolvanexdb.DATABASEINFOTABLE SET VALUE='0' WHERE NAME='PASSWDPOLICYMINLENGTH'"),
              tableDenied);
    // Other people's account details, the tables themselves, the server.
    EXPECT_EQ(refusal("UPDATE mysql.user_info SET Email='x@example.org'"), tableDenied);
    EXPECT_EQ(refusal("DROP TABLE tolvanexdb.RECORDTABLE"), tableDenied);
    EXPECT_EQ(refusal("ALTER TABLE tolvanexdb.RECORDTABLE ADD COLUMN X INT"), tableDenied);
    EXPECT_NE(refusal("GRANT SELECT ON tolvanexdb.USERTABLE TO 'boss'@'%'"), 0);
    EXPECT_NE(refusal("CREATE USER 'mallory'@'%'"), 0);
    EXPECT_EQ(rootQueryValue("SELECT GROUPPERMISSION FROM tolvanexdb.USERTABLE WHERE USERNAME='nina'"), "1");
    EXPECT_EQ(rootQueryValue("SELECT COUNT(*) FROM tolvanexdb.DATABASEINFOTABLE WHERE VALUE='x'"), "0");

    // What its own work needs still goes: the whole client session as that account.
    TVXDataBase client;
    ASSERT_EQ(logInAndLoad(client, "nina", "pw"), kTVXDone);
    EXPECT_EQ(refusal("SELECT COUNT(*) FROM tolvanexdb.RECORDTABLE"), 0);
}

TEST_F(AccountOps, ASignedInUserDeletesItself)
{
    const auto nina = newAccount("nina", "pw");
    ASSERT_EQ(admin.accountAdmin().addUser(*nina), kTVXDone);
    TVXDataBase client;
    ASSERT_EQ(logInAndLoad(client, "nina", "pw"), kTVXDone);
    EXPECT_EQ(client.accountAdmin().deleteUser(*client.caches().mCurrentUser()), kTVXDone);

    TVXDataBase again;
    EXPECT_EQ(again.startConnectionToServer(loginRequest("nina", "pw")), kTVXAccessDenied);
    EXPECT_EQ(rootQueryValue(QStringLiteral("SELECT COUNT(*) FROM tolvanexdb.GROUPTABLE WHERE UID='%1'")
                                 .arg(nina->mUserID())),
              "0");
    // Even with the password known, the store refuses the account.
    rootExec("SET PASSWORD FOR 'nina'@'%' = PASSWORD('known')");
    ASSERT_EQ(again.startConnectionToServer(loginRequest("nina", "known")), kTVXDone);
    EXPECT_EQ(again.initUserDetails("nina", "known"), kTVXAccountDeleted);
}
