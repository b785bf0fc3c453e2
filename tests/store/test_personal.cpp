// Personal groups and personal records against a real store: what each user
// loads, what the writers leave for other clients, and re-enciphering.
#include "model/BMGroup.h"
#include "model/TVXRecord.h"
#include "model/TVXType.h"
#include "model/TVXUID.h"
#include "model/TVXUser.h"
#include "model/TVXUser_Admin.h"
#include "store/TVXDataBase.h"
#include "support/StoreSeed.h"
#include "support/TestStore.h"

#include <cppconn/connection.h>
#include <cppconn/resultset.h>
#include <cppconn/statement.h>

using namespace teststore;

namespace {

const QString G1 = QStringLiteral("00000000000000A1");
const QString T1 = QStringLiteral("00000000000000C1");
const QString P1 = QStringLiteral("00000000000000E1"); // alice's
const QString P2 = QStringLiteral("00000000000000E2"); // alice's
const QString P3 = QStringLiteral("00000000000000E3"); // bob's
const QString kNewMaster = QStringLiteral("New-Master");

SeedRecord rec(const QString& uid, const QString& group, const QString& type, const QStringList& values)
{
    SeedRecord r;
    r.uid = uid;
    r.groupUID = group;
    r.typeUID = type;
    r.values = values;
    return r;
}

class PersonalFixture : public StoreTest {
protected:
    void SetUp() override
    {
        StoreTest::SetUp();
        bobID = addUser("bob", "bob-pw");
        carolID = addUser("carol", "carol-pw");
        seed = std::make_unique<StoreSeed>(kMasterPassword);
        seed->group(G1, "Finance", 7, true);
        seed->type(T1, "Web log-in", 12, 0, {"URL", "User", "Password"});
        seed->member(aliceID, G1);
        seed->record(rec("00000000000000B1", G1, T1, {"shared"}));
        // Personal groups as a client makes them; carol has none.
        seed->group(aliceID, "Personal-alice", 7, true);
        seed->group(bobID, "Personal-bob", 7, true);
        SeedRecord mine = rec(P1, aliceID, T1, {"mail", "alice@example.org", "s3cret"});
        mine.note = QStringLiteral("Notiz für mich ✓");
        mine.viewCount = 4;
        seed->record(mine); // stored without a date
        seed->record(rec(P2, aliceID, kUnfiledUID, {"bike lock", "", "4711"}));
        seed->record(rec(P3, bobID, T1, {"bob's own", "bob", "pw"}));
    }


    static QStringList sorted(QStringList list)
    {
        list.sort();
        return list;
    }

    static QString storedHex(const QString& table, const QString& column, const QString& keyColumn,
                             const QString& key)
    {
        return rootQueryValue(QStringLiteral("SELECT HEX(%1) FROM tolvanexdb.%2 WHERE %3='%4'")
                                  .arg(column, table, keyColumn, key));
    }

    static QString storedGroupName(const QString& uid)
    {
        return storedHex("GROUPTABLE", "NAME", "UID", uid);
    }

    static void killConnection(TVXDataBase& db)
    {
        std::unique_ptr<sql::Statement> stmt(db.connection()->createStatement());
        std::unique_ptr<sql::ResultSet> rs(stmt->executeQuery("SELECT CONNECTION_ID()"));
        ASSERT_TRUE(rs->next());
        rootExec(QStringLiteral("KILL %1").arg(rs->getInt64(1)));
    }

    // A server that cuts long values short instead of refusing them: the
    // client itself must keep a cipher from being truncated.
    static void allowTruncation(TVXDataBase& db)
    {
        std::unique_ptr<sql::Statement> stmt(db.connection()->createStatement());
        stmt->execute("SET SESSION sql_mode=''");
    }

    // What a master-password change does to the stored password row.
    static void storeMasterPassword(const QString& master)
    {
        TVXDataBase userCipher;
        userCipher.ciphers().createUserEncrypter();
        rootExec(QStringLiteral("UPDATE tolvanexdb.DATABASEINFOTABLE SET VALUE=UNHEX('%1') WHERE NAME='DBPASSWORD'")
                     .arg(QString::fromLatin1(userCipher.encryptDataString(master).toHex())));
    }

    static std::unique_ptr<TVXUser_Admin> account(const QString& userID, const QString& name)
    {
        auto user = std::make_unique<TVXUser_Admin>();
        user->setMUserID(userID);
        user->setMUsername(name);
        return user;
    }

    QString bobID;
    QString carolID;
    std::unique_ptr<StoreSeed> seed;
};

using PersonalLoad = PersonalFixture;
// Another user's personal group is written by an administrator's account window.
class PersonalWriters : public PersonalFixture {
protected:
    void SetUp() override
    {
        PersonalFixture::SetUp();
        rootExec("CALL tolvanexdb.TVX_APPLY_RIGHTS('alice', '%', 1)");
    }
};
using PersonalReencipher = PersonalFixture;

} // namespace

TEST_F(PersonalLoad, OwnGroupAndRecordsAtLoadAndReloadOnly)
{
    SeedRecord custom = rec("00000000000000E4", aliceID, T1, {"custom"});
    custom.hasCustomField = true;
    custom.hasAttachment = true;
    seed->record(custom);
    seed->customType(custom.uid, 12, 3, {"Host", "Port"});
    seed->attachment(custom.uid, "schlüssel.txt", "pass-key-16chars");

    TVXDataBase alice;
    ASSERT_EQ(logInAndLoad(alice, kUserName, kUserPassword), kTVXDone);
    EXPECT_EQ(sorted(alice.caches().mGroups().keys()), sorted({G1, aliceID}));
    const auto personal = alice.caches().mGroups().value(aliceID);
    ASSERT_NE(personal, nullptr);
    EXPECT_EQ(personal->mGroupName(), "Personal-alice");
    EXPECT_EQ(alice.personal().currentUserPersnaolGroupName(), "Personal-alice");
    EXPECT_EQ(personal->mRecordLevelPermissions(), 7);
    EXPECT_TRUE(personal->mPreferencePermissions());
    EXPECT_TRUE(personal->mUserMembersArray().isEmpty());
    EXPECT_TRUE(personal->mSubGroupsUID().isEmpty());

    EXPECT_EQ(sorted(alice.caches().mRecords().keys()), sorted({"00000000000000B1", P1, P2, custom.uid}));
    const auto mine = alice.caches().mRecords().value(P1);
    EXPECT_EQ(mine->mGroup(), personal);
    EXPECT_EQ(mine->mType(), alice.caches().mTypes().value(T1));
    EXPECT_EQ(mine->mValue2(), "alice@example.org");
    EXPECT_EQ(mine->mNotes(), "Notiz für mich ✓");
    EXPECT_EQ(mine->mViewCounter(), 4);
    EXPECT_EQ(mine->mAttachmentState(), kAttachmentStateNone);
    EXPECT_FALSE(mine->mValue10().isEmpty()); // no stored date: the moment of reading

    const auto withExtras = alice.caches().mRecords().value(custom.uid);
    ASSERT_NE(withExtras->mRecordCustomType(), nullptr);
    EXPECT_EQ(withExtras->mRecordCustomType()->mField2(), "Port");
    EXPECT_EQ(withExtras->mRecordCustomType()->mTypeMask(), 3);
    EXPECT_EQ(withExtras->mAttachmentName(), "schlüssel.txt");
    EXPECT_EQ(withExtras->mAttachmentPassKey(), "pass-key-16chars");

    // Bob sees his own, not alice's.
    TVXDataBase bob;
    ASSERT_EQ(logInAndLoad(bob, "bob", "bob-pw"), kTVXDone);
    EXPECT_EQ(sorted(bob.caches().mGroups().keys()), QStringList{bobID});
    EXPECT_EQ(bob.caches().mRecords().keys(), QStringList{P3}); // not a member of G1
    EXPECT_EQ(bob.caches().mRecords().value(P3)->mGroup(), bob.caches().mGroups().value(bobID));

    // A reload reads them again, after the shared groups and records were replaced.
    seed->record(rec("00000000000000E5", aliceID, T1, {"later"}));
    rootExec(QStringLiteral("UPDATE tolvanexdb.GROUPTABLE SET NAME=UNHEX('%1') WHERE UID='%2'")
                 .arg(QString::fromLatin1(seed->cipher("Personal-alicia").toHex()), aliceID));
    EXPECT_EQ(alice.reloadDatabase(), kTVXDone);
    const auto reloaded = alice.caches().mGroups().value(aliceID);
    ASSERT_NE(reloaded, nullptr);
    EXPECT_NE(reloaded, personal);
    EXPECT_EQ(reloaded->mGroupName(), "Personal-alicia");
    EXPECT_FALSE(alice.caches().mGroups().contains(bobID));
    EXPECT_EQ(sorted(alice.caches().mRecords().keys()),
              sorted({"00000000000000B1", P1, P2, custom.uid, "00000000000000E5"}));
    EXPECT_EQ(alice.caches().mRecords().value(P1)->mGroup(), reloaded);
    EXPECT_EQ(alice.caches().mRecords().value("00000000000000E5")->mValue1(), "later");
}

TEST_F(PersonalLoad, UserWithoutPersonalGroupLoadsWithoutOne)
{
    TVXDataBase carol;
    ASSERT_EQ(logInAndLoad(carol, "carol", "carol-pw"), kTVXDone);
    EXPECT_TRUE(carol.caches().mGroups().isEmpty());
    EXPECT_EQ(carol.caches().mRecords().keys(), QStringList{});
    EXPECT_EQ(carol.reloadDatabase(), kTVXDone);
    EXPECT_TRUE(carol.caches().mGroups().isEmpty());
}

TEST_F(PersonalLoad, DetachedReadingLeavesTheCacheAlone)
{
    TVXDataBase alice;
    ASSERT_EQ(logInAndLoad(alice, kUserName, kUserPassword), kTVXDone);
    const TVXRecordCache before = alice.caches().mRecords();

    TVXResult code = resultOfNumber(-1); // not set by the call
    const auto detached = alice.personal().readUserPersonalRecords(aliceID, false, &code);
    EXPECT_EQ(code, kTVXDone);
    EXPECT_EQ(alice.caches().mRecords(), before);
    ASSERT_EQ(detached.size(), 2);
    for (const auto& record : detached) {
        EXPECT_EQ(record->mAttachmentState(), kAttachmentStateReencipher);
        EXPECT_EQ(record->mGroup(), nullptr);
        EXPECT_EQ(record->mType(), nullptr);
        EXPECT_NE(record, before.value(record->mRecordUID())); // new objects
    }
    const auto& mine = detached[0]->mRecordUID() == P1 ? detached[0] : detached[1];
    EXPECT_EQ(mine->mValue3(), "s3cret");
    EXPECT_EQ(mine->mNotes(), "Notiz für mich ✓");
    EXPECT_EQ(mine->mValue10(), ""); // kept empty, so that writing it back stores the same

    // With a complete read into an existing cache, only the personal entries are replaced.
    EXPECT_TRUE(alice.personal().readUserPersonalRecords(aliceID, true, &code).isEmpty());
    EXPECT_EQ(code, kTVXDone);
    EXPECT_EQ(alice.caches().mRecords().size(), before.size());

    EXPECT_TRUE(alice.personal().personalDBRecords({}, &code).isEmpty());
    EXPECT_EQ(code, kTVXDone);
    // Other users' personal records are an administrator's to read (the master-password change).
    EXPECT_EQ(alice.personal().personalDBRecords({bobID, carolID, aliceID}, &code).size(), detached.size());
    rootExec("CALL tolvanexdb.TVX_APPLY_RIGHTS('alice', '%', 1)");
    const auto all = alice.personal().personalDBRecords({bobID, carolID, aliceID}, &code);
    EXPECT_EQ(code, kTVXDone);
    ASSERT_EQ(all.size(), 3);
    EXPECT_EQ(all[0]->mRecordUID(), P3); // in the order of the users given
    EXPECT_EQ(all[0]->mValue1(), "bob's own");

    const QStringList users = alice.personal().allUsersUIDS(&code);
    EXPECT_EQ(code, kTVXDone);
    EXPECT_EQ(users.size(), rootQueryValue("SELECT COUNT(*) FROM tolvanexdb.USERTABLE").toInt());
    for (const QString& id : {aliceID, bobID, carolID})
        EXPECT_TRUE(users.contains(id)) << id.toStdString();
}

TEST_F(PersonalLoad, ReadFailuresAreReportedAndCacheNothing)
{
    TVXDataBase alice;
    ASSERT_EQ(logInAndLoad(alice, kUserName, kUserPassword), kTVXDone);
    const TVXRecordCache before = alice.caches().mRecords();
    ASSERT_NO_FATAL_FAILURE(killConnection(alice));

    TVXResult code = kTVXDone;
    alice.personal().readUserPersonalRecords(aliceID, true, &code);
    EXPECT_EQ(code, kTVXClientError);
    EXPECT_EQ(alice.caches().mRecords(), before);
    code = kTVXDone;
    EXPECT_TRUE(alice.personal().personalDBRecords({aliceID, bobID}, &code).isEmpty());
    EXPECT_NE(code, kTVXDone);
    code = kTVXDone;
    EXPECT_TRUE(alice.personal().allUsersUIDS(&code).isEmpty());
    EXPECT_EQ(code, kTVXStatementFailed);
    EXPECT_THROW((void)alice.personal().readPersonalGroup(), sql::SQLException); // the worker maps it
}

TEST_F(PersonalWriters, AddRenameAndDeleteAreSeenByTheUser)
{
    TVXDataBase alice;
    ASSERT_EQ(logInAndLoad(alice, kUserName, kUserPassword), kTVXDone);
    const auto carolAccount = account(carolID, "carol");
    EXPECT_EQ(alice.personal().addUserPersonalGroup(*carolAccount), kTVXDone);
    EXPECT_EQ(alice.personal().addUserPersonalGroup(*carolAccount), kTVXReloadFirst);
    EXPECT_FALSE(alice.caches().mGroups().contains(carolID)); // not alice's to see

    TVXDataBase carol;
    ASSERT_EQ(logInAndLoad(carol, "carol", "carol-pw"), kTVXDone);
    const auto group = carol.caches().mGroups().value(carolID);
    ASSERT_NE(group, nullptr);
    EXPECT_EQ(group->mGroupName(), "Personal-carol");
    EXPECT_EQ(group->mGroupName(), carol.personal().currentUserPersnaolGroupName());
    EXPECT_EQ(group->mRecordLevelPermissions(), 7);
    EXPECT_TRUE(group->mPreferencePermissions());

    carolAccount->setMUsername("caroline");
    EXPECT_EQ(alice.personal().renameUserPersonalGroup(*carolAccount), kTVXDone);
    ASSERT_EQ(carol.reloadDatabase(), kTVXDone);
    EXPECT_EQ(carol.caches().mGroups().value(carolID)->mGroupName(), "Personal-caroline");

    // By identifier: the name the store holds.
    EXPECT_EQ(alice.personal().renamePersonalGroupForUser(carolID), kTVXDone);
    ASSERT_EQ(carol.reloadDatabase(), kTVXDone);
    EXPECT_EQ(carol.caches().mGroups().value(carolID)->mGroupName(), "Personal-carol");
    EXPECT_EQ(alice.personal().renamePersonalGroupForUser(TVXUID::giveMeNewUID()), kTVXReloadFirst);

    // Deleting the group takes its records with it.
    seed->record(rec("00000000000000E6", carolID, T1, {"carol's"}));
    ASSERT_EQ(carol.reloadDatabase(), kTVXDone);
    ASSERT_TRUE(carol.caches().mRecords().contains("00000000000000E6"));
    EXPECT_EQ(alice.personal().deleteUserPersonalGroup(*carolAccount), kTVXDone);
    EXPECT_EQ(alice.personal().deleteUserPersonalGroup(*carolAccount), kTVXReloadFirst);
    EXPECT_EQ(alice.personal().renameUserPersonalGroup(*carolAccount), kTVXReloadFirst);
    ASSERT_EQ(carol.reloadDatabase(), kTVXDone);
    EXPECT_FALSE(carol.caches().mGroups().contains(carolID));
    EXPECT_FALSE(carol.caches().mRecords().contains("00000000000000E6"));
}

TEST_F(PersonalWriters, NamesInAnyScriptDecipherUnchanged)
{
    TVXDataBase alice;
    ASSERT_EQ(alice.startConnectionToServer(loginRequest()), kTVXDone);
    const QString name = QStringLiteral("Zoë Ærøskøbing 東京");
    EXPECT_EQ(alice.personal().addUserPersonalGroup(*account(carolID, name)), kTVXDone);

    const QByteArray stored = QByteArray::fromHex(storedGroupName(carolID).toLatin1());
    EXPECT_EQ(stored, seed->cipher("Personal-" + name));
    TVXDataBase other;
    other.ciphers().createEncrypter(kMasterPassword);
    EXPECT_EQ(other.decryptString(stored), "Personal-" + name);
}

TEST_F(PersonalWriters, TheSignedInUsersCacheFollowsItsOwnGroup)
{
    TVXDataBase carol;
    ASSERT_EQ(logInAndLoad(carol, "carol", "carol-pw"), kTVXDone);
    ASSERT_FALSE(carol.caches().mGroups().contains(carolID));

    EXPECT_EQ(carol.personal().addUserPersonalGroup(*carol.caches().mCurrentUser()), kTVXDone);
    const auto group = carol.caches().mGroups().value(carolID);
    ASSERT_NE(group, nullptr);
    EXPECT_EQ(group->mGroupName(), "Personal-carol");
    EXPECT_EQ(group->mRecordLevelPermissions(), 7);
    EXPECT_TRUE(group->mPreferencePermissions());

    EXPECT_EQ(carol.personal().renameUserPersonalGroup(*account(carolID, "cara")), kTVXDone);
    EXPECT_EQ(carol.caches().mGroups().value(carolID), group);
    EXPECT_EQ(group->mGroupName(), "Personal-cara");

    seed->record(rec("00000000000000E7", carolID, T1, {"mine"}));
    ASSERT_EQ(carol.reloadDatabase(), kTVXDone);
    ASSERT_TRUE(carol.caches().mRecords().contains("00000000000000E7"));
    EXPECT_EQ(carol.personal().deleteUserPersonalGroup(*carol.caches().mCurrentUser()), kTVXDone);
    EXPECT_FALSE(carol.caches().mGroups().contains(carolID));
    EXPECT_FALSE(carol.caches().mRecords().contains("00000000000000E7"));
    EXPECT_TRUE(carol.caches().mRecords().isEmpty());
    EXPECT_EQ(rootQueryValue("SELECT COUNT(*) FROM tolvanexdb.RECORDTABLE WHERE RECORDID='00000000000000E7'"), "0");
}

TEST_F(PersonalWriters, FailuresLeaveStoreAndMemoryAsTheyWere)
{
    TVXDataBase alice;
    ASSERT_EQ(logInAndLoad(alice, kUserName, kUserPassword), kTVXDone);
    const auto group = alice.caches().mGroups().value(aliceID);
    const QString storedBefore = storedGroupName(aliceID);
    const TVXGroupCache groupsBefore = alice.caches().mGroups();
    const TVXRecordCache recordsBefore = alice.caches().mRecords();

    // A name whose cipher does not fit the column is refused, not cut short.
    allowTruncation(alice);
    const auto longName = account(aliceID, QString(300, QLatin1Char('n')));
    EXPECT_EQ(alice.personal().renameUserPersonalGroup(*longName), kTVXStatementFailed);
    EXPECT_EQ(storedGroupName(aliceID), storedBefore);
    EXPECT_EQ(group->mGroupName(), "Personal-alice");
    EXPECT_EQ(alice.personal().addUserPersonalGroup(*account(carolID, QString(300, QLatin1Char('n')))), kTVXStatementFailed);
    EXPECT_EQ(rootQueryValue(QStringLiteral("SELECT COUNT(*) FROM tolvanexdb.GROUPTABLE WHERE UID='%1'").arg(carolID)), "0");

    // A server error: code 3, the caches untouched.
    ASSERT_NO_FATAL_FAILURE(killConnection(alice));
    EXPECT_EQ(alice.personal().renameUserPersonalGroup(*account(aliceID, "al")), kTVXStatementFailed);
    EXPECT_EQ(alice.personal().deleteUserPersonalGroup(*alice.caches().mCurrentUser()), kTVXStatementFailed);
    EXPECT_EQ(alice.personal().addUserPersonalGroup(*alice.caches().mCurrentUser()), kTVXStatementFailed);
    EXPECT_EQ(alice.personal().reEncryptPersonalGroups({aliceID}), kTVXStatementFailed);
    EXPECT_EQ(alice.caches().mGroups(), groupsBefore);
    EXPECT_EQ(alice.caches().mRecords(), recordsBefore);
    EXPECT_EQ(group->mGroupName(), "Personal-alice");
    EXPECT_EQ(storedGroupName(aliceID), storedBefore);
}

TEST_F(PersonalReencipher, UnderANewMasterPasswordOtherClientsReadItBack)
{
    // Rewriting everyone's personal records is the master-password change, an administrator's.
    makeAdministrator(kUserName);
    TVXDataBase alice;
    ASSERT_EQ(logInAndLoad(alice, kUserName, kUserPassword), kTVXDone);
    TVXResult code = resultOfNumber(-1); // not set by the call
    const QStringList users = alice.personal().allUsersUIDS(&code);
    ASSERT_EQ(code, kTVXDone);
    const auto records = alice.personal().personalDBRecords(users, &code);
    ASSERT_EQ(code, kTVXDone);
    ASSERT_EQ(records.size(), 3);

    storeMasterPassword(kNewMaster);
    alice.ciphers().createEncrypter(kNewMaster);
    EXPECT_EQ(alice.personal().reEncryptPersonalRecords(records), kTVXDone);
    EXPECT_EQ(alice.personal().reEncryptPersonalGroups(users), kTVXDone); // carol has none: passed over
    EXPECT_EQ(alice.caches().mGroups().value(aliceID)->mGroupName(), "Personal-alice");

    StoreSeed rekeyed(kNewMaster);
    EXPECT_EQ(storedHex("RECORDTABLE", "FIELD3", "RECORDID", P1), QString::fromLatin1(rekeyed.cipher("s3cret").toHex().toUpper()));
    // An empty value stays empty, not the date of the re-enciphering.
    EXPECT_EQ(storedHex("RECORDTABLE", "FIELD10", "RECORDID", P1), QString::fromLatin1(rekeyed.cipher("").toHex().toUpper()));
    EXPECT_EQ(rootQueryValue(QStringLiteral("SELECT VIEWCOUNT FROM tolvanexdb.RECORDTABLE WHERE RECORDID='%1'").arg(P1)), "4");

    TVXDataBase bob;
    ASSERT_EQ(logInAndLoad(bob, "bob", "bob-pw", kNewMaster), kTVXDone);
    EXPECT_EQ(bob.caches().mGroups().value(bobID)->mGroupName(), "Personal-bob");
    EXPECT_EQ(bob.caches().mRecords().value(P3)->mValue1(), "bob's own");
    EXPECT_EQ(bob.caches().mRecords().value(P3)->mValue3(), "pw");

    TVXDataBase aliceAgain;
    ASSERT_EQ(logInAndLoad(aliceAgain, kUserName, kUserPassword, kNewMaster), kTVXDone);
    EXPECT_EQ(aliceAgain.caches().mGroups().value(aliceID)->mGroupName(), "Personal-alice");
    EXPECT_EQ(aliceAgain.caches().mRecords().value(P1)->mNotes(), "Notiz für mich ✓");
    EXPECT_EQ(aliceAgain.caches().mRecords().value(P2)->mValue3(), "4711");
}

TEST_F(PersonalReencipher, AllOrNothing)
{
    TVXDataBase alice;
    ASSERT_EQ(logInAndLoad(alice, kUserName, kUserPassword), kTVXDone);
    TVXResult code = resultOfNumber(-1); // not set by the call
    auto records = alice.personal().readUserPersonalRecords(aliceID, false, &code);
    ASSERT_EQ(code, kTVXDone);
    ASSERT_EQ(records.size(), 2);
    const QString before1 = storedHex("RECORDTABLE", "FIELD1", "RECORDID", P1);
    const QString before2 = storedHex("RECORDTABLE", "FIELD1", "RECORDID", P2);
    alice.ciphers().createEncrypter(kNewMaster);

    const auto unchanged = [&] {
        EXPECT_EQ(storedHex("RECORDTABLE", "FIELD1", "RECORDID", P1), before1);
        EXPECT_EQ(storedHex("RECORDTABLE", "FIELD1", "RECORDID", P2), before2);
    };

    // A record deleted meanwhile: the ones before it are not kept.
    auto gone = std::make_shared<TVXRecord>();
    gone->setMRecordUID(TVXUID::giveMeNewUID());
    EXPECT_EQ(alice.personal().reEncryptPersonalRecords({records[0], records[1], gone}), kTVXReloadFirst);
    unchanged();

    // A value whose cipher would not fit its column: refused before writing.
    allowTruncation(alice);
    auto tooLong = std::make_shared<TVXRecord>();
    tooLong->setMRecordUID(P2);
    tooLong->setMValue5(QString(250, QLatin1Char('x'))); // 256 bytes once enciphered
    EXPECT_EQ(alice.personal().reEncryptPersonalRecords({records[0], tooLong}), kTVXStatementFailed);
    unchanged();

    // A lost connection.
    ASSERT_NO_FATAL_FAILURE(killConnection(alice));
    EXPECT_EQ(alice.personal().reEncryptPersonalRecords(records), kTVXStatementFailed);
    unchanged();
}

TEST_F(PersonalReencipher, CustomTypesAndAttachmentsAreNotLeftUnderTheOldKey)
{
    SeedRecord custom = rec("00000000000000E8", aliceID, T1, {"custom"});
    custom.hasCustomField = true;
    seed->record(custom);
    seed->customType(custom.uid, 12, 0, {"Host"});
    SeedRecord attached = rec("00000000000000E9", aliceID, T1, {"attached"});
    attached.hasAttachment = true;
    seed->record(attached);
    seed->attachment(attached.uid, "file.pdf", "pass-key-16chars");

    TVXDataBase alice;
    ASSERT_EQ(logInAndLoad(alice, kUserName, kUserPassword), kTVXDone);
    TVXResult code = resultOfNumber(-1); // not set by the call
    const auto records = alice.personal().readUserPersonalRecords(aliceID, false, &code);
    ASSERT_EQ(code, kTVXDone);
    ASSERT_EQ(records.size(), 4);
    const QString contentsBefore = storedHex("ATTACHMENTTABLE", "DATA", "RECORDID", attached.uid);

    storeMasterPassword(kNewMaster);
    alice.ciphers().createEncrypter(kNewMaster);
    EXPECT_EQ(alice.personal().reEncryptPersonalRecords(records), kTVXDone);

    // Field names, attachment name and pass key move to the new key with the
    // values; the contents stay, since their own pass key does not change.
    StoreSeed rekeyed(kNewMaster);
    const auto hexOf = [](const QByteArray& bytes) { return QString::fromLatin1(bytes.toHex().toUpper()); };
    EXPECT_EQ(storedHex("CUSTOMTYPETABLE", "FIELD1", "RECORDID", custom.uid), hexOf(rekeyed.cipher("Host")));
    EXPECT_EQ(storedHex("ATTACHMENTTABLE", "ATTACHMENTNAME", "RECORDID", attached.uid),
              hexOf(rekeyed.cipher("file.pdf")));
    EXPECT_EQ(storedHex("ATTACHMENTTABLE", "ENCRYPTIONKEY", "RECORDID", attached.uid),
              hexOf(rekeyed.cipher("pass-key-16chars")));
    EXPECT_EQ(storedHex("ATTACHMENTTABLE", "DATA", "RECORDID", attached.uid), contentsBefore);

    TVXDataBase again;
    ASSERT_EQ(logInAndLoad(again, kUserName, kUserPassword, kNewMaster), kTVXDone);
    const auto customised = again.caches().mRecords().value(custom.uid);
    ASSERT_NE(customised, nullptr);
    ASSERT_NE(customised->mRecordCustomType(), nullptr);
    EXPECT_EQ(customised->mValue1(), "custom");
    EXPECT_EQ(customised->mRecordCustomType()->mField1(), "Host");
    EXPECT_EQ(customised->mRecordCustomType()->mTypeIconID(), 12);
    const auto withAttachment = again.caches().mRecords().value(attached.uid);
    ASSERT_NE(withAttachment, nullptr);
    EXPECT_EQ(withAttachment->mAttachmentName(), "file.pdf");
    EXPECT_EQ(withAttachment->mAttachmentPassKey(), "pass-key-16chars");
}
