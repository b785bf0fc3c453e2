// Loading and reloading against a real store written by the test itself.
#include "model/BMGroup.h"
#include "model/TVXRecord.h"
#include "model/TVXType.h"
#include "model/TVXUID.h"
#include "model/BMPasswordPolicyController.h"
#include "model/TVXUser.h"
#include "model/TVXUser_Admin.h"
#include "store/TVXDataBase.h"
#include "support/StoreSeed.h"
#include "support/TestStore.h"

#include "DelayingRelay.h"

#include <cppconn/connection.h>
#include <cppconn/resultset.h>
#include <cppconn/statement.h>

using namespace teststore;

namespace {

const QString G1 = QStringLiteral("00000000000000A1");
const QString G2 = QStringLiteral("00000000000000A2");
const QString T1 = QStringLiteral("00000000000000C1");

class Load : public StoreTest {
protected:
    void SetUp() override
    {
        StoreTest::SetUp();
        bobID = addUser("bob", "bob-pw");
        carolID = addUser("carol", "carol-pw");
        seed = std::make_unique<StoreSeed>(kMasterPassword);
        seed->group(G1, "Finance", 7, true);
        seed->group(G2, "Servers", 3, false);
        seed->type(T1, "Web log-in", 12, 0b10, {"URL", "User", "Password"});
        seed->member(aliceID, G1);
        seed->member(bobID, G1);
        seed->member(bobID, G2);
        seed->subGroup(G1, G2);
        seed->record({"00000000000000B1", G1, T1, {"bank", "alice", "pw1"}});
        seed->record({"00000000000000B2", G2, T1, {"db", "root", "pw2"}});
        seed->record({"00000000000000B3", kUnfiledUID, kUnfiledUID, {"loose"}});
    }

    // Log-in, the main-thread step and the load worker, as the client runs them.

    QStringList recordIDs(const TVXDataBase& db)
    {
        QStringList ids = db.caches().mRecords().keys();
        ids.sort();
        return ids;
    }

    // A customised record, a record with an attachment and a recent-list row
    // of alice's: every read of the load has rows to give.
    void seedEveryKindOfRow()
    {
        SeedRecord custom{"00000000000000D2", G1, T1, {"custom"}};
        custom.hasCustomField = true;
        seed->record(custom);
        seed->customType("00000000000000D2", 12, 4, {"Host", "Port"});
        SeedRecord attached{"00000000000000D4", G1, T1, {"file"}};
        attached.hasAttachment = true;
        seed->record(attached);
        seed->attachment("00000000000000D4", "Vertrag.pdf", "k3Y!pass");
        rootExec(QStringLiteral("INSERT INTO tolvanexdb.RECENTLYVIEWEDTABLE VALUES ('%1', '00000000000000B1')").arg(aliceID));
    }

    // What alice's load put in memory beside the records themselves.
    void expectEveryKindOfRow(TVXDataBase& alice)
    {
        const auto& records = alice.caches().mRecords();
        ASSERT_TRUE(records.contains("00000000000000D4"));
        EXPECT_EQ(records.value("00000000000000D4")->mAttachmentName(), "Vertrag.pdf");
        EXPECT_EQ(records.value("00000000000000D4")->mAttachmentPassKey(), "k3Y!pass");
        QStringList members{aliceID, bobID};
        members.sort();
        EXPECT_EQ(alice.caches().mGroups().value(G1)->mUserMembersArray(), members);
        // The other accounts, each with its groups.
        ASSERT_TRUE(alice.caches().mUsers().contains(bobID));
        EXPECT_EQ(alice.caches().mUsers().value(bobID)->mUsersGroupArray(), QStringList({G1, G2}));
        ASSERT_TRUE(alice.caches().mUsers().contains(carolID));
        EXPECT_TRUE(alice.caches().mUsers().value(carolID)->mUsersGroupArray().isEmpty());
        EXPECT_EQ(alice.recentLists().mRecentlyViewedTypes(), QStringList{"00000000000000B1"});
    }

    QString bobID;
    QString carolID;
    std::unique_ptr<StoreSeed> seed;
};

} // namespace

TEST_F(Load, UsersSeeTheirGroupsAndTheUnfiledRecords)
{
    TVXDataBase alice;
    ASSERT_EQ(logInAndLoad(alice, kUserName, kUserPassword), kTVXDone);
    EXPECT_TRUE(alice.isLoadingComplete());
    EXPECT_EQ(recordIDs(alice), QStringList({"00000000000000B1", "00000000000000B3"}));
    EXPECT_EQ(alice.caches().mGroups().keys(), QStringList{G1});
    EXPECT_EQ(alice.caches().mCurrentUser()->mUserID(), aliceID);
    EXPECT_EQ(alice.caches().mCurrentUser()->mPassword(), kUserPassword);
    EXPECT_EQ(alice.caches().mCurrentUser()->mRecordPermissionsBit(), 7);

    const auto group = alice.caches().mGroups().value(G1);
    EXPECT_EQ(group->mGroupName(), "Finance");
    EXPECT_EQ(group->mRecordLevelPermissions(), 7);
    EXPECT_TRUE(group->mPreferencePermissions());
    QStringList members = group->mUserMembersArray();
    members.sort();
    QStringList expected{aliceID, bobID};
    expected.sort();
    EXPECT_EQ(members, expected);
    EXPECT_EQ(group->mSubGroupsUID(), QStringList{G2});

    const auto record = alice.caches().mRecords().value("00000000000000B1");
    EXPECT_EQ(record->mValue1(), "bank");
    EXPECT_EQ(record->mValue3(), "pw1");
    EXPECT_EQ(record->mGroup(), group);
    EXPECT_EQ(record->mType(), alice.caches().mTypes().value(T1));
    // The unfiled group is not in the user's groups: its records have no group object.
    EXPECT_EQ(alice.caches().mRecords().value("00000000000000B3")->mGroup(), nullptr);

    const auto type = alice.caches().mTypes().value(T1);
    EXPECT_EQ(type->mTypeName(), "Web log-in");
    EXPECT_EQ(type->mTypeIconID(), 12);
    EXPECT_EQ(type->mTypeMask(), 0b10);
    EXPECT_EQ(type->mField2(), "User");
    EXPECT_EQ(type->mField10(), "Field 10");
    EXPECT_EQ(alice.caches().mTypes().size(), 2); // every type, the unfiled one included

    TVXDataBase bob;
    ASSERT_EQ(logInAndLoad(bob, "bob", "bob-pw"), kTVXDone);
    EXPECT_EQ(recordIDs(bob), QStringList({"00000000000000B1", "00000000000000B2", "00000000000000B3"}));
}

TEST_F(Load, UserWithoutGroupsSeesOnlyUnfiledRecords)
{
    TVXDataBase carol;
    ASSERT_EQ(logInAndLoad(carol, "carol", "carol-pw"), kTVXDone);
    EXPECT_EQ(recordIDs(carol), QStringList{"00000000000000B3"});
    EXPECT_TRUE(carol.caches().mGroups().isEmpty());
}

TEST_F(Load, ASecondLoadReadsNothing)
{
    TVXDataBase alice;
    ASSERT_EQ(logInAndLoad(alice, kUserName, kUserPassword), kTVXDone);
    seed->record({"00000000000000B4", G1, T1, {"late"}});
    EXPECT_EQ(alice.loadDataBase(), kTVXDone);
    EXPECT_TRUE(alice.isLoadingComplete());
    EXPECT_FALSE(alice.caches().mRecords().contains("00000000000000B4"));
}

TEST_F(Load, CustomTypesAttachmentsAndViewCounts)
{
    SeedRecord flaggedOnly{"00000000000000D1", G1, T1, {"no row"}};
    flaggedOnly.hasCustomField = true;
    seed->record(flaggedOnly);

    SeedRecord custom{"00000000000000D2", G1, T1, {"custom"}};
    custom.hasCustomField = true;
    custom.viewCount = 5;
    seed->record(custom);
    seed->customType("00000000000000D2", 500, 4, {"Host", "Port"});

    SeedRecord knownIcon{"00000000000000D3", G1, T1, {"icon 12"}};
    knownIcon.hasCustomField = true;
    seed->record(knownIcon);
    seed->customType("00000000000000D3", 12, 0, {});

    SeedRecord attached{"00000000000000D4", G1, T1, {"file"}};
    attached.hasAttachment = true;
    seed->record(attached);
    seed->attachment("00000000000000D4", "Vertrag–Müller.pdf", "k3Y!pass");

    // A custom row of a record that is not flagged is not read.
    seed->customType("00000000000000B1", 12, 0, {"Ignored"});

    TVXDataBase alice;
    ASSERT_EQ(logInAndLoad(alice, kUserName, kUserPassword), kTVXDone);
    const auto& records = alice.caches().mRecords();

    EXPECT_TRUE(records.value("00000000000000D1")->mIsCustomized());
    EXPECT_EQ(records.value("00000000000000D1")->mRecordCustomType(), nullptr);

    const auto customType = records.value("00000000000000D2")->mRecordCustomType();
    ASSERT_NE(customType, nullptr);
    EXPECT_EQ(customType->mTypeIconID(), 31); // no image for icon 500
    EXPECT_EQ(customType->mTypeMask(), 4);
    EXPECT_EQ(customType->mField1(), "Host");
    EXPECT_EQ(customType->mField2(), "Port");
    EXPECT_EQ(records.value("00000000000000D2")->mViewCounter(), 5);
    EXPECT_NE(customType, alice.caches().mTypes().value(T1));

    EXPECT_EQ(records.value("00000000000000D3")->mRecordCustomType()->mTypeIconID(), 12);
    EXPECT_EQ(records.value("00000000000000B1")->mRecordCustomType(), nullptr);

    const auto file = records.value("00000000000000D4");
    EXPECT_TRUE(file->mHasAttachment());
    EXPECT_EQ(file->mAttachmentName(), "Vertrag–Müller.pdf");
    EXPECT_EQ(file->mAttachmentPassKey(), "k3Y!pass");
    EXPECT_EQ(file->mAttachmentState(), 0);

    // The per-record readers give what the load put in the caches.
    TVXRecord fresh;
    fresh.setMRecordUID("00000000000000D2");
    TVXResult code = resultOfNumber(-1); // not set by the call
    alice.loader().readCustomTypeForRecord(fresh, &code);
    EXPECT_EQ(code, kTVXDone);
    ASSERT_NE(fresh.mRecordCustomType(), nullptr);
    EXPECT_TRUE(fresh.mRecordCustomType()->isEqualToType(*customType));
    fresh.setMRecordUID("00000000000000D4");
    alice.loader().readAttachmentForRecord(fresh, &code);
    EXPECT_EQ(fresh.mAttachmentName(), "Vertrag–Müller.pdf");
}

// A distant server is asked once for the whole load, not once per read.
TEST_F(Load, TheLoadAsksADistantServerOnce)
{
    seedEveryKindOfRow();
    DelayingRelay relay(port(), 0);
    useServerPort(relay.port());
    TVXDataBase alice;
    const TVXResult login = alice.startConnectionToServer(loginRequest());
    const TVXResult details = login == kTVXDone ? alice.initUserDetails(kUserName, kUserPassword) : login;
    const uint64_t before = relay.roundTrips();
    const TVXResult loaded = details == kTVXDone ? alice.loadDataBase() : details;
    const uint64_t trips = relay.roundTrips() - before;
    useServerPort(0);
    ASSERT_EQ(loaded, kTVXDone);
    // With every read on its own (and each account's groups read apart): 29.
    EXPECT_LE(trips, 1u);
    ASSERT_NO_FATAL_FAILURE(expectEveryKindOfRow(alice));
    EXPECT_NE(alice.caches().mRecords().value("00000000000000D2")->mRecordCustomType(), nullptr);
    EXPECT_EQ(recordIDs(alice), QStringList({"00000000000000B1", "00000000000000B3", "00000000000000D2", "00000000000000D4"}));
}

// A reload asks a distant server twice: once for what decides whether to go
// on (the user's row with its groups, the master-password row), once for the
// rest.
TEST_F(Load, TheReloadAsksADistantServerTwice)
{
    seedEveryKindOfRow();
    DelayingRelay relay(port(), 0);
    useServerPort(relay.port());
    TVXDataBase alice;
    const TVXResult loaded = logInAndLoad(alice, kUserName, kUserPassword);
    const uint64_t before = relay.roundTrips();
    const TVXResult reloaded = loaded == kTVXDone ? alice.reloadDatabase() : loaded;
    const uint64_t trips = relay.roundTrips() - before;
    useServerPort(0);
    ASSERT_EQ(reloaded, kTVXDone);
    // With every read on its own: 22.
    EXPECT_LE(trips, 2u);
    EXPECT_EQ(hooks.reloadsFinished, 1);
    ASSERT_NO_FATAL_FAILURE(expectEveryKindOfRow(alice));
    EXPECT_NE(alice.caches().mRecords().value("00000000000000D2")->mRecordCustomType(), nullptr);
    EXPECT_EQ(recordIDs(alice), QStringList({"00000000000000B1", "00000000000000B3", "00000000000000D2", "00000000000000D4"}));
}

// A read refused in the middle of those sent together answers as it did
// alone, and the reads after it are made all the same.
TEST_F(Load, AReadRefusedAmongThoseSentTogetherLeavesTheOthersAsBefore)
{
    seedEveryKindOfRow();
    rootExec("REVOKE SELECT ON tolvanexdb.CUSTOMTYPETABLE FROM 'alice'@'%'");
    TVXDataBase alice;
    ASSERT_EQ(logInAndLoad(alice, kUserName, kUserPassword), kTVXDone);
    EXPECT_EQ(alice.caches().mRecords().value("00000000000000D2")->mRecordCustomType(), nullptr);
    ASSERT_NO_FATAL_FAILURE(expectEveryKindOfRow(alice));
    // The connection serves the next statement as ever.
    TVXRecord fresh;
    fresh.setMRecordUID("00000000000000D4");
    TVXResult code = resultOfNumber(-1);
    alice.loader().readAttachmentForRecord(fresh, &code);
    EXPECT_EQ(code, kTVXDone);
    EXPECT_EQ(fresh.mAttachmentName(), "Vertrag.pdf");
}

TEST_F(Load, TextsOfAnyLengthAndScriptReadBackUnchanged)
{
    const QString note = QStringLiteral("Überweisung für Ωmega — 東京支店\n").repeated(200); // > 4096 bytes
    ASSERT_GT(note.toUtf8().size(), 4096);
    SeedRecord r{"00000000000000E1", G1, T1, {"Ålesund", "Ελληνικά", "пароль", "日本語"}};
    r.values << "" << "" << "" << "" << "" << "2024-01-02 03:04:05 +0000";
    r.note = note;
    seed->record(r);
    seed->group("00000000000000A3", "Gruppe Ärger ✓");
    seed->member(aliceID, "00000000000000A3");

    TVXDataBase alice;
    ASSERT_EQ(logInAndLoad(alice, kUserName, kUserPassword), kTVXDone);
    const auto record = alice.caches().mRecords().value("00000000000000E1");
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->mValue1(), "Ålesund");
    EXPECT_EQ(record->mValue2(), "Ελληνικά");
    EXPECT_EQ(record->mValue3(), "пароль");
    EXPECT_EQ(record->mValue4(), "日本語");
    EXPECT_EQ(record->mValue10(), "2024-01-02 03:04:05 +0000");
    EXPECT_EQ(record->mNotes(), note);
    EXPECT_EQ(alice.caches().mGroups().value("00000000000000A3")->mGroupName(), "Gruppe Ärger ✓");
    // A record stored without a date keeps the date it was made with.
    EXPECT_FALSE(alice.caches().mRecords().value("00000000000000B1")->mValue10().isEmpty());
}

TEST_F(Load, DisabledAndDeletedAccountsAreRefused)
{
    rootExec("UPDATE tolvanexdb.USERTABLE SET ISACCOUNTDISABLED=1 WHERE USERNAME='bob'");
    TVXDataBase bob;
    ASSERT_EQ(bob.startConnectionToServer(loginRequest("bob", "bob-pw")), kTVXDone);
    const int completionsBefore = hooks.completions;
    EXPECT_EQ(bob.initUserDetails("bob", "bob-pw"), kTVXAccountDisabled);
    EXPECT_EQ(bob.connectionErrorCode(), kTVXAccountDisabled);
    EXPECT_EQ(hooks.completions, completionsBefore + 1);
    EXPECT_NE(bob.caches().mCurrentUser()->mUserID(), bobID); // left as it was

    // A server account without a user row must not get in with default rights.
    rootExec("CREATE USER 'dave'@'%' IDENTIFIED BY 'dave-pw'");
    rootExec("GRANT SELECT, INSERT, UPDATE, DELETE ON tolvanexdb.* TO 'dave'@'%'");
    TVXDataBase dave;
    ASSERT_EQ(dave.startConnectionToServer(loginRequest("dave", "dave-pw")), kTVXDone);
    const int completionsAfterLogIn = hooks.completions;
    EXPECT_EQ(dave.initUserDetails("dave", "dave-pw"), kTVXAccountDeleted);
    EXPECT_EQ(hooks.completions, completionsAfterLogIn + 1);
}

TEST_F(Load, ReloadReplacesTheCachesAndRekeys)
{
    TVXDataBase alice;
    ASSERT_EQ(logInAndLoad(alice, kUserName, kUserPassword), kTVXDone);
    const auto oldRecord = alice.caches().mRecords().value("00000000000000B1");

    // Another client changes the store: a new record, a removed one, every
    // kind of row the load reads, alice admitted to a second group, a new
    // type, and a new master password with every name re-enciphered under it.
    seed->record({"00000000000000B5", G1, T1, {"new"}});
    rootExec("DELETE FROM tolvanexdb.RECORDTABLE WHERE RECORDID='00000000000000B3'");
    TVXDataBase userCipher;
    userCipher.ciphers().createUserEncrypter();
    seed = std::make_unique<StoreSeed>(QStringLiteral("New-Master"));
    rootExec(QStringLiteral("UPDATE tolvanexdb.DATABASEINFOTABLE SET VALUE=UNHEX('%1') WHERE NAME='DBPASSWORD'")
                 .arg(QString::fromLatin1(userCipher.encryptDataString("New-Master").toHex())));
    rootExec(QStringLiteral("UPDATE tolvanexdb.GROUPTABLE SET NAME=UNHEX('%1') WHERE UID='%2'")
                 .arg(QString::fromLatin1(seed->cipher("Finance 2").toHex()), G1));
    seedEveryKindOfRow();
    seed->member(aliceID, G2);
    const QString T2 = QStringLiteral("00000000000000C2");
    seed->type(T2, "Server", 12, 0, {"Host"});

    EXPECT_EQ(alice.reloadDatabase(), kTVXDone);
    EXPECT_EQ(hooks.reloadsFinished, 1);
    EXPECT_EQ(hooks.reloadFailures, 0);
    EXPECT_FALSE(alice.isDataReloading());
    EXPECT_EQ(recordIDs(alice), QStringList({"00000000000000B1", "00000000000000B2", "00000000000000B5",
                                             "00000000000000D2", "00000000000000D4"}));
    EXPECT_NE(alice.caches().mRecords().value("00000000000000B1"), oldRecord);
    EXPECT_EQ(alice.caches().mGroups().value(G1)->mGroupName(), "Finance 2");
    EXPECT_EQ(alice.caches().mRecords().value("00000000000000B1")->mGroup(), alice.caches().mGroups().value(G1));
    ASSERT_TRUE(alice.caches().mGroups().contains(G2));
    EXPECT_EQ(alice.caches().mGroups().value(G1)->mSubGroupsUID(), QStringList{G2});
    EXPECT_EQ(alice.caches().mRecords().value("00000000000000B2")->mGroup(), alice.caches().mGroups().value(G2));
    ASSERT_TRUE(alice.caches().mTypes().contains(T2));
    EXPECT_EQ(alice.caches().mTypes().value(T2)->mTypeName(), "Server");
    EXPECT_EQ(alice.encryptString("x"), seed->cipher("x"));
    ASSERT_NE(alice.caches().mRecords().value("00000000000000D2")->mRecordCustomType(), nullptr);
    EXPECT_EQ(alice.caches().mRecords().value("00000000000000D4")->mAttachmentName(), "Vertrag.pdf");
    EXPECT_EQ(alice.caches().mRecords().value("00000000000000D4")->mAttachmentPassKey(), "k3Y!pass");
    ASSERT_TRUE(alice.caches().mUsers().contains(bobID));
    EXPECT_EQ(alice.caches().mUsers().value(bobID)->mUsersGroupArray(), QStringList({G1, G2}));
}

// A reload that cannot read the groups' lists says so, and reads no records
// after it.
TEST_F(Load, AReloadWhoseGroupsReadFailsReportsTheFailure)
{
    TVXDataBase alice;
    ASSERT_EQ(logInAndLoad(alice, kUserName, kUserPassword), kTVXDone);
    seed->record({"00000000000000B5", G1, T1, {"new"}});
    rootExec("REVOKE SELECT ON tolvanexdb.GROUPSUBGROUPTABLE FROM 'alice'@'%'");

    const TVXResult code = alice.reloadDatabase();
    EXPECT_NE(code, kTVXDone);
    EXPECT_EQ(alice.connectionErrorCode(), code);
    EXPECT_EQ(hooks.reloadFailures, 1);
    EXPECT_EQ(hooks.lastReloadFailure, resultNumber(code));
    EXPECT_FALSE(alice.isDataReloading());
    EXPECT_FALSE(alice.caches().mRecords().contains("00000000000000B5"));
    // The connection serves the next statement as ever.
    TVXRecord fresh;
    fresh.setMRecordUID("00000000000000B1");
    TVXResult attachment = resultOfNumber(-1);
    alice.loader().readAttachmentForRecord(fresh, &attachment);
    EXPECT_EQ(attachment, kTVXDone);
}

TEST_F(Load, ReloadReportsALostConnection)
{
    TVXDataBase alice;
    ASSERT_EQ(logInAndLoad(alice, kUserName, kUserPassword), kTVXDone);
    std::unique_ptr<sql::Statement> stmt(alice.connection()->createStatement());
    std::unique_ptr<sql::ResultSet> rs(stmt->executeQuery("SELECT CONNECTION_ID()"));
    ASSERT_TRUE(rs->next());
    rootExec(QStringLiteral("KILL %1").arg(rs->getInt64(1)));

    EXPECT_EQ(alice.reloadDatabase(), kTVXClientError);
    EXPECT_EQ(alice.connectionErrorCode(), kTVXClientError);
    EXPECT_EQ(hooks.reloadFailures, 1);
    EXPECT_EQ(hooks.lastReloadFailure, resultNumber(kTVXClientError));
    EXPECT_EQ(hooks.reloadsFinished, 0);
}

TEST_F(Load, ReloadStopsForADisabledOrDeletedAccount)
{
    TVXDataBase alice;
    ASSERT_EQ(logInAndLoad(alice, kUserName, kUserPassword), kTVXDone);
    const auto kept = alice.caches().mRecords().value("00000000000000B1");
    rootExec("UPDATE tolvanexdb.USERTABLE SET ISACCOUNTDISABLED=1 WHERE USERNAME='alice'");
    EXPECT_EQ(alice.reloadDatabase(), kTVXAccountDisabled);
    EXPECT_EQ(alice.connectionErrorCode(), kTVXAccountDisabled);
    EXPECT_EQ(hooks.accountRefusals, 1);
    EXPECT_EQ(hooks.reloadsFinished, 0);
    EXPECT_FALSE(alice.isDataReloading());
    EXPECT_EQ(alice.caches().mRecords().value("00000000000000B1"), kept); // nothing read past the refusal

    rootExec("UPDATE tolvanexdb.USERTABLE SET ISACCOUNTDISABLED=0 WHERE USERNAME='alice'");
    ASSERT_EQ(alice.reloadDatabase(), kTVXDone);
    rootExec("DELETE FROM tolvanexdb.USERTABLE WHERE USERNAME='alice'");
    EXPECT_EQ(alice.reloadDatabase(), kTVXAccountDeleted);
    EXPECT_EQ(hooks.accountRefusals, 2);
    EXPECT_EQ(hooks.lastReloadFailure, resultNumber(kTVXAccountDeleted));
    EXPECT_EQ(hooks.reloadsFinished, 1);
    // Nothing the refused reload read is left over for a later reader.
    TVXDataBase userCipher;
    userCipher.ciphers().createUserEncrypter();
    rootExec(QStringLiteral("UPDATE tolvanexdb.DATABASEINFOTABLE SET VALUE=UNHEX('%1') WHERE NAME='DBPASSWORD'")
                 .arg(QString::fromLatin1(userCipher.encryptDataString("New-Master").toHex())));
    EXPECT_EQ(alice.checkForMasterPasswordMatch(), "New-Master");
}

TEST_F(Load, PasswordPolicyRowsAreReadAsNumbers)
{
    TVXDataBase alice;
    ASSERT_EQ(alice.startConnectionToServer(loginRequest()), kTVXDone);
    auto policy = alice.passwordHint().passwordPolicyDetails();
    ASSERT_TRUE(policy.has_value());
    EXPECT_EQ(policy->value(kSPPMinLength).toInt(), 0);
    EXPECT_EQ(policy->value(kSPPCharSetFlag).toInt(), 0);

    rootExec("INSERT INTO tolvanexdb.DATABASEINFOTABLE VALUES ('PASSWDPOLICYMINLENGTH', '8'), "
             "('PASSWDPOLICYCHARSETFLAG', '5')");
    policy = alice.passwordHint().passwordPolicyDetails();
    ASSERT_TRUE(policy.has_value());
    EXPECT_EQ(policy->value(kSPPMinLength).toInt(), 8);
    EXPECT_EQ(policy->value(kSPPCharSetFlag).toInt(), 5);

    // Without a connection there is no policy, and the code says so.
    TVXDataBase offline;
    TVXResult code = kTVXDone;
    EXPECT_FALSE(offline.passwordHint().passwordPolicyDetails(&code).has_value());
    EXPECT_NE(code, kTVXDone);
}

TEST_F(Load, PolicyControllerFollowsTheStoreRows)
{
    TVXDataBase alice;
    ASSERT_EQ(alice.startConnectionToServer(loginRequest()), kTVXDone);
    auto& policy = BMPasswordPolicyController::sharedBMPasswordPolicyController();
    const auto source = [&alice] { return alice.passwordHint().passwordPolicyDetails(); };

    auto root = rootConnection();
    TVXStoreCreator creator(std::move(root));
    ASSERT_TRUE(creator.setPasswordPolicy(8, 5).ok);
    policy.refreshPasswordPolicyFrom(source);
    EXPECT_TRUE(policy.stringConformsPassowrdPolicy("abcdefg1"));
    EXPECT_FALSE(policy.stringConformsPassowrdPolicy("abcdefgh"));
    EXPECT_FALSE(policy.stringConformsPassowrdPolicy("abc1"));
    const QString made = policy.generatePassword();
    EXPECT_EQ(made.size(), 8);
    EXPECT_TRUE(policy.stringConformsPassowrdPolicy(made));
    EXPECT_FALSE(creator.setPasswordPolicy(8, 3).ok);

    // A value that is not a number counts as no requirement.
    rootExec("UPDATE tolvanexdb.DATABASEINFOTABLE SET VALUE='eight' WHERE NAME='PASSWDPOLICYMINLENGTH'");
    policy.refreshPasswordPolicyFrom(source);
    EXPECT_EQ(policy.mminPassLength(), 0);
    EXPECT_TRUE(policy.stringConformsPassowrdPolicy("1a"));

    rootExec("DELETE FROM tolvanexdb.DATABASEINFOTABLE WHERE NAME LIKE 'PASSWDPOLICY%'");
    policy.refreshPasswordPolicyFrom(source);
    EXPECT_TRUE(policy.stringConformsPassowrdPolicy(""));
}

TEST_F(Load, TheLoadReadsTheUsersRecentLists)
{
    {
        TVXDataBase first;
        ASSERT_EQ(logInAndLoad(first, kUserName, kUserPassword), kTVXDone);
        EXPECT_EQ(first.recentLists().addMostViewedRecordID("00000000000000B1", aliceID), kTVXDone);
        EXPECT_EQ(first.recentLists().addRecentlyViewedRecordID("00000000000000B3", aliceID), kTVXDone);
        EXPECT_EQ(first.recentLists().addRecentlyModifiedRecordID(*first.caches().mRecords().value("00000000000000B1"), aliceID), kTVXDone);
        EXPECT_EQ(first.recentLists().addRecentlyAddedID("00000000000000B3", aliceID), kTVXDone);
    }
    TVXDataBase second;
    ASSERT_EQ(logInAndLoad(second, kUserName, kUserPassword), kTVXDone);
    EXPECT_EQ(second.recentLists().mMostViewedRecords(), QStringList{"00000000000000B1"});
    EXPECT_EQ(second.recentLists().mRecentlyViewedTypes(), QStringList{"00000000000000B3"});
    EXPECT_EQ(second.recentLists().mRecentlyMofifiedTypes(), QStringList{"00000000000000B1"});
    EXPECT_TRUE(second.recentLists().mRecentlyAddedRecords().isEmpty()); // not read back
}
