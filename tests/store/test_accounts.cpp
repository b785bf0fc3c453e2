// The account listing and the list-column settings on a real store.
#include "model/BMGroup.h"
#include "model/TVXUser.h"
#include "model/TVXUser_Admin.h"
#include "store/TVXDataBase.h"
#include "store/accounts/PermissionRules.h"
#include "support/StoreSeed.h"
#include "support/TestStore.h"

#include <cppconn/connection.h>
#include <cppconn/exception.h>

using namespace teststore;

namespace {

class Accounts : public StoreTest {
protected:
};

} // namespace

TEST_F(Accounts, ListingShowsEveryOtherAccountWithItsDetails)
{
    const QString bobID = addUser("bob", "bob-pw");
    const QString underscoreID = addUser("b_b", "pw");
    rootExec("INSERT INTO mysql.user_info (User, Full_name, Description, Email, Contact_information) VALUES "
             "('bob', 'Bob Builder', 'Site lead', 'bob@example.org', '+41 1 234')");
    // A well-known identifier is never listed.
    rootExec("INSERT INTO tolvanexdb.USERTABLE (USERID, USERNAME) VALUES ('0000000000000001', 'system')");
    StoreSeed seed(kMasterPassword);
    seed.group("00000000000000A1", "One");
    seed.member(bobID, "00000000000000A1");

    TVXDataBase alice;
    ASSERT_EQ(logInAndLoad(alice, kUserName, kUserPassword), kTVXDone);
    QStringList ids = alice.caches().mUsers().keys();
    ids.sort();
    QStringList expected{bobID, underscoreID};
    expected.sort();
    EXPECT_EQ(ids, expected);

    const auto bob = alice.caches().mUsers().value(bobID);
    EXPECT_EQ(bob->mUsername(), "bob");
    // An ordinary user's load holds no other account's password, not even enciphered.
    EXPECT_TRUE(bob->mPassword().isEmpty());
    EXPECT_TRUE(bob->mStoredPassword().isEmpty());
    EXPECT_FALSE(bob->hasPassword()); // not even whether it has one
    EXPECT_TRUE(alice.accountAdmin().passwordOfAccount(*bob).isEmpty());
    for (const auto& user : alice.caches().mUsers())
        EXPECT_TRUE(user->mPassword().isEmpty() && user->mStoredPassword().isEmpty()) << user->mUsername().toStdString();
    EXPECT_EQ(bob->mFullName(), "Bob Builder");
    EXPECT_EQ(bob->mDescription(), "Site lead");
    EXPECT_EQ(bob->mEmail(), "bob@example.org");
    EXPECT_EQ(bob->mPhoneNo(), "+41 1 234");
    EXPECT_EQ(bob->mRecordPermissionsBit(), 7);
    EXPECT_FALSE(bob->mIsNotAllowedToChangePassword());
    EXPECT_EQ(bob->mUsersGroupArray(), QStringList{"00000000000000A1"});

    // An administrator's load deciphers it only when asked for it.
    addAccount("boss", "boss-pw", true);
    TVXDataBase boss;
    ASSERT_EQ(logInAndLoad(boss, "boss", "boss-pw"), kTVXDone);
    const auto bobForBoss = boss.caches().mUsers().value(bobID);
    ASSERT_TRUE(bobForBoss);
    EXPECT_TRUE(bobForBoss->mPassword().isEmpty());
    EXPECT_EQ(boss.accountAdmin().passwordOfAccount(*bobForBoss), "bob-pw");

    // "b_b" would match "bob" under LIKE; equal names only.
    const auto other = alice.caches().mUsers().value(underscoreID);
    EXPECT_EQ(other->mFullName(), "");
    EXPECT_EQ(other->mEmail(), "");

    // A re-read finds an account added since the load; a store without a
    // connection knows of no account and reads nothing.
    const QString carolID = addUser("carol", "carol-pw");
    EXPECT_TRUE(alice.accountAdmin().isUserExistsInTolvanex("carol"));
    alice.accountAdmin().reloadAccounts();
    EXPECT_TRUE(alice.caches().mUsers().contains(carolID));
    TVXDataBase offline;
    EXPECT_FALSE(offline.accountAdmin().isUserExistsInTolvanex("bob"));
    offline.accountAdmin().reloadAccounts();
    TVXResult code = kTVXDone;
    EXPECT_THROW(offline.accountAdmin().readUserTableIfErrorReturnCode(&code), sql::SQLException); // the load's catch takes it
    EXPECT_TRUE(offline.caches().mUsers().isEmpty());
}

TEST_F(Accounts, ColumnSettingsArePackedPerUserAndType)
{
    TVXDataBase alice;
    ASSERT_EQ(logInAndLoad(alice, kUserName, kUserPassword), kTVXDone);
    auto& user = *alice.caches().mCurrentUser();
    user.setMColoumInfo(0x2407);
    user.setMColoumWidthArray(QList<int>(14, 100));
    EXPECT_EQ(alice.preferences().setShowColumnsInListViewForTypeName("00000000000000C1"), kTVXDone);
    const QString row = rootQueryValue(QStringLiteral(
        "SELECT CONCAT_WS(',', COLUMN1, COLUMN2, COLUMN3, COLUMN4, COLUMN5, COLUMN6, COLUMN7, COLUMN8, COLUMN9, "
        "COLUMN10, COLUMN11, COLUMN12, COLUMN13, COLUMN14) FROM tolvanexdb.COLUMNINFOTABLE WHERE TYPEID='00000000000000C1'"));
    EXPECT_EQ(row, "65636,100,65636,65636,65636,100,100,100,100,100,100,100,100,65636");

    rootExec(QStringLiteral("REPLACE INTO tolvanexdb.COLUMNINFOTABLE VALUES ('%1', '000000000000FFFF', "
                            "65626, 90, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 65537)")
                 .arg(aliceID));
    // The load reads every type's row; a switch of view or type then asks the server nothing.
    TVXDataBase again;
    ASSERT_EQ(logInAndLoad(again, kUserName, kUserPassword), kTVXDone);
    auto& againUser = *again.caches().mCurrentUser();
    const uint64_t uses = again.connectionUsesOnMainThread();
    EXPECT_EQ(again.preferences().readColoumWidthInfoForType(QString()), kTVXDone);
    EXPECT_EQ(againUser.mColoumInfo(), 0x400u | 0x2000u);
    EXPECT_EQ(againUser.mColoumWidthArray().value(0), 90);
    EXPECT_EQ(againUser.mColoumWidthArray().value(1), 90);
    EXPECT_EQ(againUser.mColoumWidthArray().value(13), 1);
    EXPECT_EQ(again.preferences().readColoumWidthInfoForType("00000000000000C1"), kTVXDone);
    EXPECT_EQ(againUser.mColoumInfo(), 0x2407u);
    EXPECT_EQ(againUser.mColoumWidthArray(), QList<int>(14, 100));

    // No row: the settings stay as they are.
    EXPECT_EQ(again.preferences().readColoumWidthInfoForType("00000000000000C9"), kTVXDone);
    EXPECT_EQ(againUser.mColoumInfo(), 0x2407u);
    EXPECT_EQ(again.connectionUsesOnMainThread(), uses);

    user.setMColoumWidthArray({100, 100});
    EXPECT_EQ(alice.preferences().setShowColumnsInListViewForTypeName("00000000000000C1"), kTVXStatementFailed);

    // Resizing a column in the all-types view stores the all-types row.
    // It goes behind the window, and is read back at once.
    user.setMColoumInfo(0x1);
    alice.preferences().setColumnWidthDetails(QList<int>(14, 77), 0);
    user.setMColoumWidthArray(QList<int>(14, 5));
    EXPECT_EQ(alice.preferences().readColoumWidthInfoForType(QString()), kTVXDone);
    EXPECT_EQ(user.mColoumWidthArray(), QList<int>(14, 77));
    alice.writeBehind().flush();
    EXPECT_EQ(rootQueryValue("SELECT COLUMN3 FROM tolvanexdb.COLUMNINFOTABLE WHERE TYPEID='000000000000FFFF'"),
              QString::number(65536 + 77));

    // Without a connection no setting is read or stored, and none crashes.
    TVXDataBase offline;
    TVXUser& offlineUser = *offline.caches().mCurrentUser();
    offlineUser.setMColoumWidthArray(QList<int>(14, 100));
    EXPECT_NE(offline.preferences().readColoumWidthInfoForType(QString()), kTVXDone);
    EXPECT_NE(offline.preferences().setShowColumnsInListViewForTypeName("00000000000000C1"), kTVXDone);
    TVXResult code = kTVXDone;
    offline.preferences().saveBasicPreferencesForUser(offlineUser, &code);
    EXPECT_NE(code, kTVXDone);
    code = kTVXDone;
    offline.preferences().saveOptionPanelPreferencesForUser(offlineUser, &code);
    EXPECT_NE(code, kTVXDone);
    code = kTVXDone;
    offline.preferences().initUserPreferencesForUser("U1", "carol", &code);
    EXPECT_NE(code, kTVXDone);
    EXPECT_THROW(offline.preferences().readUserPreferenceForTableForUser(offlineUser, &code), sql::SQLException); // the load's
    code = kTVXDone;
    offline.passwordHint().saveHintPreferencs(offlineUser, &code);
    EXPECT_NE(code, kTVXDone);
}

TEST_F(Accounts, GrantBuilderTakesOnlyWellFormedTexts)
{
    rootExec("CREATE USER 'clerk'@'%' IDENTIFIED BY 'pw'");
    rootExec("CREATE USER 'grantor'@'%' IDENTIFIED BY 'pw'");
    rootExec("GRANT SELECT, INSERT, UPDATE, DELETE ON tolvanexdb.* TO 'grantor'@'%' WITH GRANT OPTION");
    rootExec("GRANT SELECT ON mysql.user_info TO 'grantor'@'%'");
    rootExec("INSERT INTO tolvanexdb.USERTABLE (USERID, USERNAME) VALUES ('1234567812345678', 'grantor')");
    TVXDataBase grantor;
    ASSERT_EQ(grantor.startConnectionToServer(loginRequest("grantor", "pw")), kTVXDone);

    grantor.assignTablePrivilegesforTable("GRANT %@ on RECORDTABLE TO '%@'", "SELECT, INSERT,", "clerk");
    EXPECT_EQ(rootQueryValue("SELECT GROUP_CONCAT(PRIVILEGE_TYPE ORDER BY PRIVILEGE_TYPE) FROM "
                             "information_schema.TABLE_PRIVILEGES WHERE GRANTEE=\"'clerk'@'%'\""),
              "INSERT,SELECT");

    grantor.assignTablePrivilegesforTable("GRANT %@ on TYPETABLE TO '%@'", "SELECT,", "clerk' OR '1'='1");
    grantor.assignTablePrivilegesforTable("GRANT %@ on TYPETABLE TO '%@'", "SELECT; DROP TABLE x,", "clerk");
    EXPECT_EQ(rootQueryValue("SELECT COUNT(*) FROM information_schema.TABLE_PRIVILEGES WHERE "
                             "TABLE_NAME='typetable' AND GRANTEE LIKE \"'clerk%\""),
              "0");
}

TEST(AccountRules, GroupPermissionTest)
{
    BMGroup group;
    group.setMRecordLevelPermissions(kPermissionAdd | kPermissionEdit);
    group.setMTypeLevelPermissions(kPermissionDelete);
    EXPECT_TRUE(storerules::HasSufficientPVOnDB(0, kPermissionEdit, group));
    EXPECT_FALSE(storerules::HasSufficientPVOnDB(0, kPermissionDelete, group));
    EXPECT_TRUE(storerules::HasSufficientPVOnDB(1, kPermissionDelete, group));
    EXPECT_FALSE(storerules::HasSufficientPVOnDB(2, kPermissionDelete, group));
}
