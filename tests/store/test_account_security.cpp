// What store accounts can and cannot do with their own credentials and a
// plain connection, as someone trying to act as another would.
#include "store/TVXStoreCreator.h"
#include "support/TestStore.h"

#include <cppconn/connection.h>
#include <cppconn/exception.h>

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
