// The server's write rules: an ordinary account's own connection, used as a
// plain mariadb client would use it, is refused what the client refuses; every
// permission word and prevail flag gets the client's answer from the server;
// the client with the rights still writes, and a refusal reaches it as such.
#include "model/TVXUID.h"
#include "store/accounts/PermissionRules.h"
#include "support/RecordFixture.h"

#include <cppconn/exception.h>

using namespace teststore;

namespace {

const QString G2 = QStringLiteral("00000000000000A2");   // bob's group, not alice's
const QString GNew = QStringLiteral("00000000000000A9");
const QString TNew = QStringLiteral("00000000000000C9");
const QString R1 = QStringLiteral("00000000000000B1");   // G1
const QString R2 = QStringLiteral("00000000000000B2");   // G2
const QString RNew = QStringLiteral("00000000000000B9");
const QString GScratch = QStringLiteral("00000000000000A8");
const QString TScratch = QStringLiteral("00000000000000C8");
const QString kMissing = QStringLiteral("00000000000000FF"); // no row anywhere

constexpr int kErrNoReferencedRow = 1452;

class ServerRules : public RecordFixture {
protected:
    void SetUp() override
    {
        RecordFixture::SetUp();
        seed->group(G2, "Servers", 7, true);
        seed->member(bobID, G2);
        SeedRecord r1;
        r1.uid = R1;
        r1.groupUID = G1;
        r1.typeUID = T1;
        r1.values = {"bank"};
        seed->record(r1);
        SeedRecord r2 = r1;
        r2.uid = R2;
        r2.groupUID = G2;
        r2.values = {"db"};
        seed->record(r2);
        root = rootConnection();
        root->setSchema("tolvanexdb");
        ASSERT_EQ(logInAndLoad(alice), kTVXDone);
        ASSERT_EQ(as("SET autocommit=1"), 0);
    }

    // A statement on alice's own server account, as a plain client sends it.
    int as(const QString& statement) { return refusalOf(*alice.connection(), statement); }
    void asRoot(const QString& statement) { ASSERT_EQ(refusalOf(*root, statement), 0) << statement.toStdString(); }

    void setUserWords(int group, int type, int record)
    {
        asRoot(QStringLiteral("UPDATE USERTABLE SET GROUPPERMISSION=%1, TYPEPERMISSION=%2, RECORDPERMISSION=%3 "
                              "WHERE USERID='%4'")
                   .arg(group)
                   .arg(type)
                   .arg(record)
                   .arg(aliceID));
    }

    static QString value(const QString& query) { return rootQueryValue(query); }
    static QString insertRecord(const QString& uid, const QString& group, const QString& type = T1)
    {
        return QStringLiteral("INSERT INTO RECORDTABLE (RECORDID, TYPEUID, GROUPUID) VALUES ('%1', '%2', '%3')")
            .arg(uid, type, group);
    }

    static std::shared_ptr<BMGroup> makeGroup(const QString& uid, const QString& name, const QStringList& members,
                                              const QStringList& subGroups)
    {
        auto group = std::make_shared<BMGroup>();
        group->setMGroupUID(uid);
        group->setMGroupName(name);
        group->setMUserMembersArray(members);
        group->setMSubGroupsUID(subGroups);
        group->setMRecordLevelPermissions(kPermissionAdd | kPermissionEdit);
        return group;
    }

    static std::shared_ptr<TVXType> makeType(const QString& uid, const QString& name)
    {
        auto type = std::make_shared<TVXType>();
        type->setMTypeUID(uid);
        type->setMTypeName(name);
        for (int i = 0; i < kNumberOfFields; ++i)
            type->setFieldAtIndex(i, QStringLiteral("Field %1").arg(i + 1));
        return type;
    }

    std::unique_ptr<sql::Connection> root;
};

} // namespace

TEST_F(ServerRules, RecordsOutsideTheAccountsGroupsAreRefusedAndStayAsTheyWere)
{
    const QString before = value("SELECT HEX(FIELD1) FROM tolvanexdb.RECORDTABLE WHERE RECORDID='" + R2 + "'");
    // A record of a group she is not in is not there for her to change.
    EXPECT_EQ(as("DELETE FROM RECORDTABLE WHERE RECORDID='" + R2 + "'"), 0);
    EXPECT_EQ(as("UPDATE RECORDTABLE SET FIELD1=x'00' WHERE RECORDID='" + R2 + "'"), 0);
    EXPECT_EQ(as(insertRecord(RNew, G2)), kErrPermissionRefused);
    // Nor by a way round: the insert the client uses, moves in and out, the record's parts.
    EXPECT_EQ(as("INSERT IGNORE INTO RECORDTABLE (RECORDID, TYPEUID, GROUPUID) VALUES ('" + RNew + "', '" + T1
                 + "', '" + G2 + "')"),
              kErrPermissionRefused);
    EXPECT_EQ(as("UPDATE RECORDTABLE SET GROUPUID='" + G1 + "' WHERE RECORDID='" + R2 + "'"), 0);
    EXPECT_EQ(as("UPDATE RECORDTABLE SET GROUPUID='" + G2 + "' WHERE RECORDID='" + R1 + "'"), kErrPermissionRefused);
    EXPECT_EQ(as("REPLACE INTO ATTACHMENTTABLE VALUES ('" + R2 + "', x'01', x'01', x'01')"), kErrPermissionRefused);
    EXPECT_EQ(as("REPLACE INTO CUSTOMTYPETABLE (RECORDID) VALUES ('" + R2 + "')"), kErrPermissionRefused);
    // Another user's personal group is that user's alone.
    asRoot(QStringLiteral("INSERT INTO GROUPTABLE VALUES ('%1', x'01', 7, 1)").arg(bobID));
    EXPECT_EQ(as(insertRecord(RNew, bobID)), kErrPermissionRefused);

    EXPECT_EQ(value("SELECT CONCAT(GROUPUID, HEX(FIELD1)) FROM tolvanexdb.RECORDTABLE WHERE RECORDID='" + R2 + "'"),
              G2 + before);
    EXPECT_EQ(value("SELECT GROUPUID FROM tolvanexdb.RECORDTABLE WHERE RECORDID='" + R1 + "'"), G1);
    EXPECT_EQ(value("SELECT COUNT(*) FROM tolvanexdb.RECORDTABLE"), "2");
    EXPECT_EQ(value("SELECT COUNT(*) FROM tolvanexdb.ATTACHMENTTABLE"), "0");
    EXPECT_EQ(value("SELECT COUNT(*) FROM tolvanexdb.CUSTOMTYPETABLE"), "0");
}

TEST_F(ServerRules, WithinItsGroupsTheRecordWordDecidesButAViewIsEveryViewers)
{
    asRoot("UPDATE GROUPTABLE SET RECORDPERMISSION=0 WHERE UID='" + G1 + "'");
    EXPECT_EQ(as(insertRecord(RNew, G1)), kErrPermissionRefused);
    EXPECT_EQ(as("UPDATE RECORDTABLE SET FIELD1=x'00' WHERE RECORDID='" + R1 + "'"), kErrPermissionRefused);
    EXPECT_EQ(as("UPDATE RECORDTABLE SET TYPEUID='0000000000000000' WHERE RECORDID='" + R1 + "'"),
              kErrPermissionRefused);
    EXPECT_EQ(as("DELETE FROM RECORDTABLE WHERE RECORDID='" + R1 + "'"), kErrPermissionRefused);
    EXPECT_EQ(as("UPDATE IGNORE RECORDTABLE SET VIEWCOUNT=VIEWCOUNT+1 WHERE RECORDID='" + R1 + "'"), 0);
    EXPECT_EQ(value("SELECT VIEWCOUNT FROM tolvanexdb.RECORDTABLE WHERE RECORDID='" + R1 + "'"), "1");
    // A record of a group alice does not see is not hers to count either.
    EXPECT_EQ(as("UPDATE RECORDTABLE SET VIEWCOUNT=VIEWCOUNT+1 WHERE RECORDID='" + R2 + "'"), 0);
    EXPECT_EQ(value("SELECT VIEWCOUNT FROM tolvanexdb.RECORDTABLE WHERE RECORDID='" + R2 + "'"), "0");

    // The unfiled group and her own personal group are open to her, by her own word
    // and by the personal group's.
    setUserWords(7, 7, 1);
    asRoot(QStringLiteral("INSERT INTO GROUPTABLE VALUES ('%1', x'01', 7, 1)").arg(aliceID));
    EXPECT_EQ(as(insertRecord(RNew, kUnfiledUID)), 0);
    EXPECT_EQ(as("UPDATE RECORDTABLE SET FIELD1=x'00' WHERE RECORDID='" + RNew + "'"), kErrPermissionRefused);
    EXPECT_EQ(as("UPDATE RECORDTABLE SET GROUPUID='" + aliceID + "' WHERE RECORDID='" + RNew + "'"), 0);
    EXPECT_EQ(as("UPDATE RECORDTABLE SET FIELD1=x'00' WHERE RECORDID='" + RNew + "'"), 0);
    EXPECT_EQ(as("DELETE FROM RECORDTABLE WHERE RECORDID='" + RNew + "'"), 0);
}

// Every record word of the group, of the user and the prevail flag, through
// the client's rule and through the server's triggers.
TEST_F(ServerRules, EveryRecordWordAndPrevailFlagGetTheClientsAnswer)
{
    BMGroup group;
    int cases = 0;
    for (bool prevails : {false, true})
        for (uint16_t groupWord = 0; groupWord < 8; ++groupWord)
            for (uint16_t userWord = 0; userWord < 8; ++userWord) {
                asRoot(QStringLiteral("UPDATE GROUPTABLE SET RECORDPERMISSION=%1, GROUPPERMISSIONPREVAILS=%2 "
                                      "WHERE UID='%3'")
                           .arg(groupWord)
                           .arg(prevails ? 1 : 0)
                           .arg(G1));
                setUserWords(0, 0, userWord);
                group.setMRecordLevelPermissions(groupWord);
                group.setMPreferencePermissions(prevails);
                const uint16_t word = storerules::recordPermissionsInGroup(&group, userWord);
                const auto where = [&] {
                    return ::testing::Message() << "group word " << groupWord << ", user word " << userWord
                                                << (prevails ? ", group prevails" : "");
                };

                const int added = as(insertRecord(RNew, G1));
                EXPECT_EQ(added == 0, (word & kPermissionAdd) != 0) << where() << ": add";
                asRoot("DELETE FROM RECORDTABLE WHERE RECORDID='" + RNew + "'");
                // A new value each time: an update that changes nothing is no edit.
                const int edited = as(QStringLiteral("UPDATE RECORDTABLE SET FIELD2='%1' WHERE RECORDID='%2'")
                                          .arg(cases)
                                          .arg(R1));
                EXPECT_EQ(edited == 0, (word & kPermissionEdit) != 0) << where() << ": edit";
                const int attached = as("REPLACE INTO ATTACHMENTTABLE VALUES ('" + R1 + "', x'01', x'01', x'01')");
                EXPECT_EQ(attached == 0, (word & (kPermissionAdd | kPermissionEdit)) != 0) << where() << ": attach";
                const int deleted = as("DELETE FROM RECORDTABLE WHERE RECORDID='" + R1 + "'");
                EXPECT_EQ(deleted == 0, (word & kPermissionDelete) != 0) << where() << ": delete";
                for (int code : {added, edited, attached, deleted})
                    EXPECT_TRUE(code == 0 || code == kErrPermissionRefused) << where() << ": error " << code;
                if (deleted == 0)
                    asRoot(insertRecord(R1, G1));
                asRoot("DELETE FROM ATTACHMENTTABLE");
                ++cases;
            }
    EXPECT_EQ(cases, 128);
}

// The user's group and type words, for every change the group and type
// sheets make, through the client's rule and the server's.
TEST_F(ServerRules, EveryGroupAndTypeWordGetsTheClientsAnswer)
{
    for (uint16_t word = 0; word < 8; ++word) {
        setUserWords(word, word, 7);
        asRoot(QStringLiteral("INSERT INTO GROUPTABLE VALUES ('%1', x'02', 0, 0)").arg(GScratch));
        asRoot(QStringLiteral("INSERT INTO USERGROUPTABLE VALUES ('%1', '%2')").arg(GScratch, aliceID));
        asRoot(QStringLiteral("INSERT INTO TYPETABLE (UID, NAME) VALUES ('%1', x'02')").arg(TScratch));
        const auto expect = [&](int code, uint16_t bits, const char* what) {
            EXPECT_EQ(code == 0, storerules::userWordAllows(word, bits)) << "word " << word << ": " << what;
            EXPECT_TRUE(code == 0 || code == kErrPermissionRefused) << "word " << word << ": " << what;
        };
        expect(as(QStringLiteral("INSERT INTO GROUPTABLE VALUES ('%1', x'01', 7, 1)").arg(GNew)), kPermissionAdd,
               "add a group");
        expect(as("UPDATE GROUPTABLE SET NAME=x'03' WHERE UID='" + G1 + "'"), kPermissionEdit, "rename a group");
        expect(as("DELETE FROM GROUPTABLE WHERE UID='" + GScratch + "'"), kPermissionDelete, "delete a group");
        // The group sheet rewrites the lists of a group it adds or edits.
        expect(as("DELETE FROM USERGROUPTABLE WHERE GROUPID='" + G1 + "' AND USERID='" + bobID + "'"),
               kPermissionAdd | kPermissionEdit, "remove a member");
        expect(as("INSERT IGNORE INTO USERGROUPTABLE (GROUPID, USERID) VALUES ('" + G1 + "', '" + bobID + "')"),
               kPermissionAdd | kPermissionEdit, "add a member");
        expect(as("INSERT INTO GROUPSUBGROUPTABLE VALUES ('" + G1 + "', '" + G2 + "')"),
               kPermissionAdd | kPermissionEdit, "add a sub-group");
        expect(as(QStringLiteral("INSERT INTO TYPETABLE (UID, NAME) VALUES ('%1', x'01')").arg(TNew)),
               kPermissionAdd, "add a type");
        expect(as("UPDATE TYPETABLE SET NAME=x'03' WHERE UID='" + T1 + "'"), kPermissionEdit, "rename a type");
        expect(as("DELETE FROM TYPETABLE WHERE UID='" + TScratch + "'"), kPermissionDelete, "delete a type");
        for (const QString& undo : QStringList{"DELETE FROM GROUPTABLE WHERE UID IN ('" + GNew + "', '" + GScratch + "')",
              "DELETE FROM TYPETABLE WHERE UID IN ('" + TNew + "', '" + TScratch + "')",
              "DELETE FROM GROUPSUBGROUPTABLE", "INSERT IGNORE INTO USERGROUPTABLE VALUES ('" + G1 + "', '" + bobID + "')"})
            asRoot(undo);
    }
}

TEST_F(ServerRules, GroupsAndTypesWithoutTheBitsKeepTheirNamesAndRecords)
{
    setUserWords(0, 0, 7);
    const QString names = "SELECT CONCAT(HEX(g.NAME), HEX(t.NAME)) FROM tolvanexdb.GROUPTABLE g, tolvanexdb.TYPETABLE t "
                          "WHERE g.UID='" + G1 + "' AND t.UID='" + T1 + "'";
    const QString before = value(names);
    EXPECT_EQ(as("UPDATE GROUPTABLE SET NAME=x'00' WHERE UID='" + G1 + "'"), kErrPermissionRefused);
    EXPECT_EQ(as("UPDATE TYPETABLE SET NAME=x'00' WHERE UID='" + T1 + "'"), kErrPermissionRefused);
    EXPECT_EQ(as("DELETE FROM GROUPTABLE WHERE UID='" + G2 + "'"), kErrPermissionRefused);
    EXPECT_EQ(as("DELETE FROM TYPETABLE WHERE UID='" + T1 + "'"), kErrPermissionRefused);
    // Joining another's group is a change of its member list.
    EXPECT_EQ(as("INSERT INTO USERGROUPTABLE (GROUPID, USERID) VALUES ('" + G2 + "', '" + aliceID + "')"),
              kErrPermissionRefused);
    EXPECT_EQ(value(names), before);
    EXPECT_EQ(value("SELECT COUNT(*) FROM tolvanexdb.RECORDTABLE"), "2");
    EXPECT_EQ(value("SELECT COUNT(*) FROM tolvanexdb.USERGROUPTABLE WHERE GROUPID='" + G2 + "'"), "1");
    // Leaving a group is her own affair.
    EXPECT_EQ(as("DELETE FROM USERGROUPTABLE WHERE GROUPID='" + G1 + "' AND USERID='" + aliceID + "'"), 0);
}

TEST_F(ServerRules, RowsThatBreakTheStoresLinksAreRefusedWhateverTheForeignKeySetting)
{
    for (sql::Connection* connection : {alice.connection(), root.get()}) {
        ASSERT_EQ(refusalOf(*connection, "SET FOREIGN_KEY_CHECKS=0"), 0);
        EXPECT_EQ(refusalOf(*connection, insertRecord(RNew, kMissing)), kErrNoReferencedRow);
        EXPECT_EQ(refusalOf(*connection, insertRecord(RNew, G1, kMissing)), kErrNoReferencedRow);
        EXPECT_EQ(refusalOf(*connection, "UPDATE RECORDTABLE SET GROUPUID='" + kMissing + "' WHERE RECORDID='" + R1 + "'"),
                  kErrNoReferencedRow);
        EXPECT_EQ(refusalOf(*connection, "INSERT INTO USERGROUPTABLE (GROUPID, USERID) VALUES ('" + kMissing + "', '"
                                           + aliceID + "')"),
                  kErrNoReferencedRow);
        EXPECT_EQ(refusalOf(*connection, "INSERT INTO GROUPSUBGROUPTABLE VALUES ('" + kMissing + "', '" + G1 + "')"),
                  kErrNoReferencedRow);
        EXPECT_EQ(refusalOf(*connection, "INSERT INTO ATTACHMENTTABLE VALUES ('" + kMissing + "', x'01', x'01', x'01')"),
                  kErrNoReferencedRow);
        ASSERT_EQ(refusalOf(*connection, "SET FOREIGN_KEY_CHECKS=1"), 0);
    }
    EXPECT_EQ(value("SELECT COUNT(*) FROM tolvanexdb.RECORDTABLE WHERE RECORDID='" + RNew + "' OR GROUPUID='" + kMissing
                    + "'"),
              "0");
    EXPECT_EQ(value("SELECT COUNT(*) FROM tolvanexdb.USERGROUPTABLE WHERE GROUPID='" + kMissing + "'"), "0");
}

TEST_F(ServerRules, AnAdministratorIsNotHeldToTheBits)
{
    addAccount("boss", "boss-pw", true);
    TVXDataBase boss;
    ASSERT_EQ(logInAndLoad(boss, "boss", "boss-pw"), kTVXDone);
    asRoot("UPDATE USERTABLE SET GROUPPERMISSION=0, TYPEPERMISSION=0, RECORDPERMISSION=0 WHERE USERNAME='boss'");
    sql::Connection& plain = *boss.connection();
    ASSERT_EQ(refusalOf(plain, "SET autocommit=1"), 0);
    EXPECT_EQ(refusalOf(plain, "UPDATE RECORDTABLE SET FIELD1=x'00' WHERE RECORDID='" + R2 + "'"), 0);
    EXPECT_EQ(refusalOf(plain, "INSERT INTO USERGROUPTABLE (GROUPID, USERID) VALUES ('" + G2 + "', '" + aliceID + "')"), 0);
    EXPECT_EQ(refusalOf(plain, "DELETE FROM GROUPTABLE WHERE UID='" + G2 + "'"), 0);
    EXPECT_EQ(value("SELECT COUNT(*) FROM tolvanexdb.RECORDTABLE WHERE RECORDID='" + R2 + "'"), "0");
}

TEST_F(ServerRules, TheClientWithTheRightsStillWrites)
{
    auto record = newRecord(alice, {"mail"});
    ASSERT_EQ(alice.addRecord(record), kTVXDone);
    record->setMValue1(QStringLiteral("mail 2"));
    EXPECT_EQ(alice.replaceRecord(record), kTVXDone);
    EXPECT_EQ(alice.deleteRecord(record), kTVXDone);

    ASSERT_EQ(alice.addGroup(makeGroup(GNew, "Legal", {bobID}, {G1})), kTVXDone);
    EXPECT_EQ(value("SELECT COUNT(*) FROM tolvanexdb.USERGROUPTABLE WHERE GROUPID='" + GNew + "'"), "2");
    EXPECT_EQ(alice.updateGroup(makeGroup(GNew, "Legal & Tax", {aliceID}, {})), kTVXDone);
    EXPECT_EQ(value("SELECT GROUP_CONCAT(USERID) FROM tolvanexdb.USERGROUPTABLE WHERE GROUPID='" + GNew + "'"), aliceID);
    EXPECT_EQ(alice.deleteGroup(*alice.caches().mGroups().value(GNew)), kTVXDone);

    ASSERT_EQ(alice.addType(makeType(TNew, "Server")), kTVXDone);
    EXPECT_EQ(alice.updateType(makeType(TNew, "Host")), kTVXDone);
    EXPECT_EQ(alice.deleteType(*alice.caches().mTypes().value(TNew)), kTVXDone);
    EXPECT_EQ(value("SELECT COUNT(*) FROM tolvanexdb.GROUPTABLE WHERE UID='" + GNew + "'"), "0");
    EXPECT_EQ(value("SELECT COUNT(*) FROM tolvanexdb.TYPETABLE WHERE UID='" + TNew + "'"), "0");
}

// Bits taken away after the client read them: the server's refusal is a
// refusal, not a stale copy to reload, and nothing is stored.
TEST_F(ServerRules, ARefusedWriteReachesTheClientAsARefusalAndStoresNothing)
{
    auto record = newRecord(alice, {"mail"});
    ASSERT_EQ(alice.addRecord(record), kTVXDone);
    const QString id = record->mRecordUID();
    const QString stored = value("SELECT HEX(FIELD1) FROM tolvanexdb.RECORDTABLE WHERE RECORDID='" + id + "'");
    setUserWords(0, 0, 0);
    EXPECT_EQ(alice.updateGroup(makeGroup(G1, "Renamed", {aliceID, bobID}, {})), kTVXPermissionRefused);
    EXPECT_EQ(alice.deleteType(*alice.caches().mTypes().value(T1)), kTVXPermissionRefused);
    EXPECT_EQ(value("SELECT COUNT(*) FROM tolvanexdb.TYPETABLE WHERE UID='" + T1 + "'"), "1");
    EXPECT_EQ(value("SELECT COUNT(*) FROM tolvanexdb.USERGROUPTABLE WHERE GROUPID='" + G1 + "'"), "2");

    asRoot("UPDATE GROUPTABLE SET RECORDPERMISSION=0 WHERE UID='" + G1 + "'");
    record->setMValue1(QStringLiteral("changed"));
    EXPECT_EQ(alice.replaceRecord(record), kTVXPermissionRefused);
    EXPECT_EQ(alice.deleteRecord(record), kTVXPermissionRefused);
    EXPECT_EQ(alice.addRecord(newRecord(alice, {"other"})), kTVXPermissionRefused);
    EXPECT_EQ(value("SELECT HEX(FIELD1) FROM tolvanexdb.RECORDTABLE WHERE RECORDID='" + id + "'"), stored);
    EXPECT_EQ(value("SELECT COUNT(*) FROM tolvanexdb.RECORDTABLE WHERE GROUPUID='" + G1 + "'"), "2");
}

TEST_F(ServerRules, UpgradingTheSchemaPutsBackTheRulesAndARerunReplacesThem)
{
    const QString triggerCount = QStringLiteral("SELECT COUNT(*) FROM information_schema.TRIGGERS WHERE "
                                                "TRIGGER_SCHEMA='tolvanexdb' AND TRIGGER_NAME LIKE 'TVX\\_%'");
    const QString installed = value(triggerCount);
    const QString linkTargets = QStringLiteral("SELECT GROUP_CONCAT(CONSTRAINT_NAME, '>', REFERENCED_TABLE_NAME ORDER BY "
                                               "CONSTRAINT_NAME) FROM information_schema.REFERENTIAL_CONSTRAINTS "
                                               "WHERE CONSTRAINT_SCHEMA='tolvanexdb'");
    const QString links = value(linkTargets);
    EXPECT_TRUE(links.contains("RECORD_GROUP_FK>tvxgroupkeys")) << links.toStdString();
    // A store made before the key tables names the rows in its links; a run
    // that stopped halfway left a link dropped and a key table gone.
    asRoot("SET FOREIGN_KEY_CHECKS=0");
    asRoot("ALTER TABLE RECORDROWS DROP FOREIGN KEY RECORD_GROUP_FK");
    asRoot("ALTER TABLE RECORDROWS ADD CONSTRAINT RECORD_GROUP_FK FOREIGN KEY (GROUPUID) REFERENCES GROUPTABLE (UID) "
           "ON DELETE CASCADE ON UPDATE CASCADE");
    asRoot("ALTER TABLE USERGROUPTABLE DROP FOREIGN KEY USERGROUP_USER_FK");
    asRoot("DROP TABLE TVXTYPEKEYS");
    asRoot("SET FOREIGN_KEY_CHECKS=1");
    asRoot("UPDATE GROUPTABLE SET RECORDPERMISSION=0 WHERE UID='" + G1 + "'");
    asRoot("DROP TRIGGER TVX_RECORD_DELETE");
    EXPECT_EQ(as("DELETE FROM RECORDTABLE WHERE RECORDID='" + R1 + "'"), 0) << "the rule was not gone";
    for (int run = 0; run < 2; ++run) {
        const StoreResult upgraded = TVXStoreCreator(rootConnection()).upgradeSchema();
        ASSERT_TRUE(upgraded.ok) << upgraded.message.toStdString();
    }
    asRoot("INSERT INTO RECORDTABLE (RECORDID, TYPEUID, GROUPUID) VALUES ('" + R1 + "', '" + T1 + "', '" + G1 + "')");
    EXPECT_EQ(as("DELETE FROM RECORDTABLE WHERE RECORDID='" + R1 + "'"), kErrPermissionRefused);
    EXPECT_EQ(value(triggerCount), installed); // replaced, not added twice
    EXPECT_EQ(value(linkTargets), links);
    EXPECT_EQ(value("SELECT COUNT(*) FROM tolvanexdb.TVXTYPEKEYS"), value("SELECT COUNT(*) FROM tolvanexdb.TYPETABLE"));
    // The links hold and cascade as before.
    EXPECT_EQ(refusalOf(*root, insertRecord(RNew, G1, kMissing)), kErrNoReferencedRow);
    asRoot("DELETE FROM TYPETABLE WHERE UID='" + T1 + "'");
    EXPECT_EQ(value("SELECT COUNT(*) FROM tolvanexdb.RECORDTABLE WHERE TYPEUID='" + T1 + "'"), "0");
}

namespace {

const QString G3 = QStringLiteral("00000000000000A3");   // alice's alone
const QString R3 = QStringLiteral("00000000000000B3");   // G3, with its parts
const QString RP = QStringLiteral("00000000000000B4");   // alice's personal record

// Membership decides: bob holds every bit and a plain connection of his own,
// alice a group of her own and a personal group with a record in each.
class MembershipRules : public ServerRules {
protected:
    void SetUp() override
    {
        ServerRules::SetUp();
        seed->group(G3, "Alice only", 7, true);
        seed->member(aliceID, G3);
        seed->group(aliceID, "Personal-alice", 7, true);
        for (const auto& [uid, group] : {std::pair{R3, G3}, std::pair{RP, aliceID}}) {
            SeedRecord r;
            r.uid = uid;
            r.groupUID = group;
            r.typeUID = T1;
            r.values = {"secret"};
            r.hasCustomField = true;
            r.hasAttachment = true;
            seed->record(r);
            seed->customType(uid, 12, 0, {"Host"});
            seed->attachment(uid, "key.txt", "pass-key-16chars");
        }
        asRoot("UPDATE USERTABLE SET GROUPPERMISSION=7, TYPEPERMISSION=7, RECORDPERMISSION=7 WHERE USERID='" + bobID
               + "'");
        ASSERT_EQ(logInAndLoad(bob, "bob", "bob-pw"), kTVXDone);
        ASSERT_EQ(asBob("SET autocommit=1"), 0);
    }

    int asBob(const QString& statement) { return refusalOf(*bob.connection(), statement); }
    static QString members(const QString& group)
    {
        return value("SELECT GROUP_CONCAT(USERID ORDER BY USERID) FROM tolvanexdb.USERGROUPTABLE WHERE GROUPID='"
                     + group + "'");
    }
    static QString groupRow(const QString& group)
    {
        return value("SELECT CONCAT(HEX(NAME), RECORDPERMISSION, GROUPPERMISSIONPREVAILS) FROM tolvanexdb.GROUPTABLE "
                     "WHERE UID='" + group + "'");
    }
    static QString records() { return value("SELECT GROUP_CONCAT(RECORDID ORDER BY RECORDID) FROM tolvanexdb.RECORDTABLE"); }
    static QString insertMember(const QString& group, const QString& user)
    {
        return "INSERT INTO USERGROUPTABLE (GROUPID, USERID) VALUES ('" + group + "', '" + user + "')";
    }

    // bob holds a locking read open while alice adds, edits and deletes a
    // record in a group they share, in one of her own and in her personal
    // group, and makes a group with both as members and a type: a save that
    // waited out the lock would answer busy (15).
    void expectSavesGoPast(const QStringList& lockingReads)
    {
        ASSERT_EQ(alice.reloadDatabase(), kTVXDone);
        ASSERT_EQ(as("SET SESSION innodb_lock_wait_timeout=1"), 0);
        ASSERT_EQ(asBob("START TRANSACTION"), 0);
        for (const QString& read : lockingReads)
            ASSERT_EQ(queryValueOn(*bob.connection(), read), "1") << read.toStdString();
        for (const QString& group : {G1, G3, aliceID}) {
            SCOPED_TRACE(group.toStdString());
            auto record = newRecord(alice, {"mail"});
            record->setMGroup(alice.caches().mGroups().value(group));
            ASSERT_TRUE(record->mGroup());
            EXPECT_EQ(alice.addRecord(record), kTVXDone);
            record->setMValue1(QStringLiteral("mail 2"));
            EXPECT_EQ(alice.replaceRecord(record), kTVXDone);
            EXPECT_EQ(alice.deleteRecord(record), kTVXDone);
        }
        EXPECT_EQ(alice.addGroup(makeGroup(GNew, "Shared", {aliceID, bobID}, {})), kTVXDone);
        EXPECT_EQ(alice.addType(makeType(TNew, "Router")), kTVXDone);
        // Nor a log-in and its load.
        TVXDataBase again;
        EXPECT_EQ(logInAndLoad(again), kTVXDone);
        ASSERT_EQ(asBob("ROLLBACK"), 0);
        EXPECT_EQ(members(GNew), std::min(aliceID, bobID) + "," + std::max(aliceID, bobID));
    }
    // Every row of the table, each by its primary key (no gap locked, which
    // would also hold up a new row's insert).
    static QStringList lockEachRow(const QString& table, const QStringList& key)
    {
        QStringList terms;
        for (const QString& column : key)
            terms << "'" + column + "=', QUOTE(" + column + ")";
        const QString rows = value("SELECT GROUP_CONCAT(CONCAT(" + terms.join(", ' AND ', ") + ") SEPARATOR '|') FROM tolvanexdb." + table);
        QStringList reads;
        for (const QString& row : rows.split('|'))
            reads << "SELECT COUNT(*) FROM " + table + " WHERE " + row + " FOR UPDATE";
        return reads;
    }

    TVXDataBase bob;
};

} // namespace

TEST_F(MembershipRules, MemberListsAreWrittenFromInsideTheGroupOnly)
{
    const QString g3 = groupRow(G3), personal = groupRow(aliceID);
    // Another's group: no joining, no removing, no renaming, no sub-groups.
    EXPECT_EQ(asBob(insertMember(G3, bobID)), kErrPermissionRefused);
    EXPECT_EQ(asBob("DELETE FROM USERGROUPTABLE WHERE GROUPID='" + G3 + "'"), kErrPermissionRefused);
    EXPECT_NE(asBob("UPDATE USERGROUPTABLE SET USERID='" + bobID + "' WHERE GROUPID='" + G3 + "'"), 0);
    EXPECT_EQ(asBob("UPDATE GROUPTABLE SET NAME=x'00' WHERE UID='" + G3 + "'"), kErrPermissionRefused);
    EXPECT_EQ(asBob("INSERT INTO GROUPSUBGROUPTABLE VALUES ('" + G3 + "', '" + G2 + "')"), kErrPermissionRefused);
    EXPECT_EQ(asBob("DELETE FROM GROUPTABLE WHERE UID='" + G3 + "'"), kErrPermissionRefused);
    // A personal group: nobody joins it, nor changes its word, nor deletes it.
    EXPECT_EQ(asBob(insertMember(aliceID, bobID)), kErrPermissionRefused);
    EXPECT_EQ(as(insertMember(aliceID, bobID)), kErrPermissionRefused);
    EXPECT_EQ(asBob("UPDATE GROUPTABLE SET RECORDPERMISSION=0 WHERE UID='" + aliceID + "'"), kErrPermissionRefused);
    EXPECT_EQ(as("UPDATE GROUPTABLE SET RECORDPERMISSION=0 WHERE UID='" + aliceID + "'"), kErrPermissionRefused);
    EXPECT_EQ(asBob("DELETE FROM GROUPTABLE WHERE UID='" + aliceID + "'"), kErrPermissionRefused);
    // Nor makes one for another user.
    asRoot("DELETE FROM GROUPTABLE WHERE UID='" + bobID + "'");
    EXPECT_EQ(as(QStringLiteral("INSERT INTO GROUPTABLE VALUES ('%1', x'01', 7, 1)").arg(bobID)), kErrPermissionRefused);

    EXPECT_EQ(members(G3), aliceID);
    EXPECT_EQ(members(aliceID), QString());
    EXPECT_EQ(groupRow(G3), g3);
    EXPECT_EQ(groupRow(aliceID), personal);
    EXPECT_EQ(value("SELECT COUNT(*) FROM tolvanexdb.GROUPSUBGROUPTABLE"), "0");
    EXPECT_EQ(records(), R1 + "," + R2 + "," + R3 + "," + RP);
}

// The group sheet's whole-list rewrite deletes its writer's own row first;
// a new group's lists come after its row; an administrator's change of the
// list ends what the writer was let in to.
TEST_F(MembershipRules, TheGroupSheetStillRewritesTheListsOfItsOwnGroups)
{
    ASSERT_EQ(bob.updateGroup(makeGroup(G2, "Servers 2", {aliceID, bobID}, {G1})), kTVXDone);
    QStringList both{aliceID, bobID};
    both.sort();
    EXPECT_EQ(members(G2), both.join(','));
    EXPECT_EQ(value("SELECT COUNT(*) FROM tolvanexdb.GROUPSUBGROUPTABLE WHERE GROUPID='" + G2 + "'"), "1");

    ASSERT_EQ(bob.addGroup(makeGroup(GNew, "Legal", {aliceID}, {G2})), kTVXDone);
    EXPECT_EQ(value("SELECT COUNT(*) FROM tolvanexdb.USERGROUPTABLE WHERE GROUPID='" + GNew + "'"), "2");
    // Plain statements, one by one, of a group made in this session.
    ASSERT_EQ(asBob("INSERT INTO GROUPTABLE VALUES ('" + GScratch + "', x'01', 7, 1)"), 0);
    EXPECT_EQ(asBob(insertMember(GScratch, aliceID)), 0);

    // Taken out by an administrator, bob cannot put himself back.
    asRoot("DELETE FROM USERGROUPTABLE WHERE GROUPID='" + G2 + "' AND USERID='" + bobID + "'");
    EXPECT_EQ(asBob(insertMember(G2, bobID)), kErrPermissionRefused);
    EXPECT_EQ(asBob("DELETE FROM USERGROUPTABLE WHERE GROUPID='" + G2 + "'"), kErrPermissionRefused);
    EXPECT_EQ(members(G2), aliceID);
}

// The sheet's add and edit, one call each, are refused where their rows
// would be: nothing of the group or its lists is left.
TEST_F(MembershipRules, TheGroupSheetsCallsAreRefusedAsItsRowsWouldBe)
{
    const QString g2 = groupRow(G2), g2Members = members(G2);
    const auto loggedWrites = [&] {
        return value("SELECT COUNT(*) FROM tolvanexdb.EVENTLOGGERTABLE WHERE USERNAME='bob' AND DESCRIPTION IN "
                     "('Servers 2', 'Legal')");
    };
    const auto unchanged = [&] {
        EXPECT_EQ(groupRow(G2), g2);
        EXPECT_EQ(members(G2), g2Members);
        EXPECT_EQ(value("SELECT COUNT(*) FROM tolvanexdb.GROUPSUBGROUPTABLE"), "0");
        EXPECT_EQ(value("SELECT COUNT(*) FROM tolvanexdb.GROUPTABLE WHERE UID='" + GNew + "'"), "0");
        EXPECT_EQ(value("SELECT COUNT(*) FROM tolvanexdb.USERGROUPTABLE WHERE GROUPID='" + GNew + "'"), "0");
    };
    // Adding, not editing; then editing, not adding.
    asRoot("UPDATE USERTABLE SET GROUPPERMISSION=1 WHERE USERID='" + bobID + "'");
    EXPECT_NE(bob.updateGroup(makeGroup(G2, "Servers 2", {aliceID, bobID}, {G1})), kTVXDone);
    unchanged();
    asRoot("UPDATE USERTABLE SET GROUPPERMISSION=2 WHERE USERID='" + bobID + "'");
    EXPECT_NE(bob.addGroup(makeGroup(GNew, "Legal", {aliceID}, {G2})), kTVXDone);
    unchanged();
    // Alice's personal group is not bob's to make or fill.
    EXPECT_NE(bob.addGroup(makeGroup(aliceID, "Legal", {bobID}, {})), kTVXDone);
    EXPECT_EQ(members(aliceID), QString());
    // A disabled account writes neither.
    asRoot("UPDATE USERTABLE SET GROUPPERMISSION=7, ISACCOUNTDISABLED=1 WHERE USERID='" + bobID + "'");
    EXPECT_NE(bob.updateGroup(makeGroup(G2, "Servers 2", {aliceID, bobID}, {G1})), kTVXDone);
    EXPECT_NE(bob.addGroup(makeGroup(GNew, "Legal", {aliceID}, {G2})), kTVXDone);
    unchanged();
    // Each refusal logged once, as failed (the call's own row went with its
    // write); a disabled account's not at all.
    EXPECT_EQ(loggedWrites(), "3");
}

// The lists reach the routine as values: what is not an array of
// identifiers, or an identifier that reads as a statement, stores nothing.
TEST_F(MembershipRules, TheGroupCallsTakeTheirListsAsDataOnly)
{
    const auto add = [&](const QString& members, const QString& subGroups) {
        return asBob("CALL TVX_ADD_GROUP(0, NULL, '" + GNew + "', x'01', 7, 1, '" + members + "', '" + subGroups
                     + "', 'Add Group', '', 'Legal', '', 'bob', '')");
    };
    EXPECT_EQ(add(R"({"members": []})", "[]"), 45025);
    EXPECT_EQ(add("[]", "not a list"), 45025);
    EXPECT_NE(add(R"(["x'') OR 1=1; DELETE FROM USERGROUPTABLE; --"])", "[]"), 0);
    EXPECT_EQ(value("SELECT COUNT(*) FROM tolvanexdb.GROUPTABLE WHERE UID='" + GNew + "'"), "0");
    EXPECT_EQ(members(G2), bobID);
    EXPECT_EQ(members(G3), aliceID);
}

TEST_F(MembershipRules, GroupAndTypeDeletesTakeNoRecordTheAccountCouldNotDelete)
{
    // T1 has records in alice's groups.
    EXPECT_EQ(asBob("DELETE FROM TYPETABLE WHERE UID='" + T1 + "'"), kErrPermissionRefused);
    // Bob's own group, but its word lets him keep records, not delete them.
    asRoot("UPDATE GROUPTABLE SET RECORDPERMISSION=3 WHERE UID='" + G2 + "'");
    EXPECT_EQ(asBob("DELETE FROM GROUPTABLE WHERE UID='" + G2 + "'"), kErrPermissionRefused);
    EXPECT_EQ(records(), R1 + "," + R2 + "," + R3 + "," + RP);
    EXPECT_EQ(value("SELECT COUNT(*) FROM tolvanexdb.ATTACHMENTTABLE"), "2");
    // Without the foreign keys nothing is left naming a deleted group or type.
    for (sql::Connection* connection : {bob.connection(), root.get()}) {
        ASSERT_EQ(refusalOf(*connection, "SET FOREIGN_KEY_CHECKS=0"), 0);
        EXPECT_EQ(refusalOf(*connection, "DELETE FROM GROUPTABLE WHERE UID='" + G1 + "'"), 1451);
        EXPECT_EQ(refusalOf(*connection, "DELETE FROM TYPETABLE WHERE UID='" + T1 + "'"), 1451);
        EXPECT_EQ(refusalOf(*connection, "DELETE FROM RECORDTABLE WHERE RECORDID='" + R3 + "'"),
                  connection == root.get() ? 1451 : 0); // not one bob sees
        ASSERT_EQ(refusalOf(*connection, "SET FOREIGN_KEY_CHECKS=1"), 0);
    }
    EXPECT_EQ(records(), R1 + "," + R2 + "," + R3 + "," + RP);
    // With the delete bit the group goes, and its records with it.
    asRoot("UPDATE GROUPTABLE SET RECORDPERMISSION=7 WHERE UID='" + G2 + "'");
    EXPECT_EQ(asBob("DELETE FROM GROUPTABLE WHERE UID='" + G2 + "'"), 0);
    EXPECT_EQ(records(), R1 + "," + R3 + "," + RP);
}

// An import's statements carry many rows: one row the session may not write
// refuses the whole statement, wherever it stands, and nothing of it is kept.
TEST_F(MembershipRules, OneRowOfAMultiRowInsertRefusesItWhole)
{
    const QString RMore = QStringLiteral("00000000000000BA");
    const auto insert = [](const QStringList& rows) {
        return "INSERT IGNORE INTO RECORDTABLE (RECORDID, TYPEUID, GROUPUID) VALUES " + rows.join(", ");
    };
    const auto row = [](const QString& uid, const QString& group, const QString& type = T1) {
        return QStringLiteral("('%1', '%2', '%3')").arg(uid, type, group);
    };
    // bob is in G1 and G2, not in G3 nor alice's personal group.
    EXPECT_EQ(asBob(insert({row(RNew, G1), row(RMore, G3)})), kErrPermissionRefused);
    EXPECT_EQ(asBob(insert({row(RNew, aliceID), row(RMore, G1)})), kErrPermissionRefused);
    asRoot("UPDATE GROUPTABLE SET RECORDPERMISSION=6 WHERE UID='" + G2 + "'");
    EXPECT_EQ(asBob(insert({row(RNew, G1), row(RMore, G2)})), kErrPermissionRefused);
    ASSERT_EQ(asBob("SET FOREIGN_KEY_CHECKS=0"), 0);
    EXPECT_EQ(asBob(insert({row(RNew, G1), row(RMore, G1, kMissing)})), kErrNoReferencedRow);
    EXPECT_EQ(asBob(insert({row(RNew, G1), row(RMore, kMissing)})), kErrNoReferencedRow);
    ASSERT_EQ(asBob("SET FOREIGN_KEY_CHECKS=1"), 0);
    EXPECT_EQ(records(), R1 + "," + R2 + "," + R3 + "," + RP);

    // A record's custom field set of another's group, and a log row under another's name.
    EXPECT_EQ(asBob("INSERT INTO CUSTOMTYPETABLE (RECORDID) VALUES ('" + R1 + "'), ('" + R3 + "')"),
              kErrPermissionRefused);
    EXPECT_EQ(value("SELECT COUNT(*) FROM tolvanexdb.CUSTOMTYPEROWS WHERE RECORDID='" + R1 + "'"), "0");
    const QString log = "INSERT INTO EVENTLOGGERTABLE (EVENT, USERNAME) VALUES ('Add', 'bob'), ('Add', '%1')";
    EXPECT_EQ(asBob(log.arg("alice")), kErrPermissionRefused);
    EXPECT_EQ(value("SELECT COUNT(*) FROM tolvanexdb.EVENTLOGGERTABLE WHERE EVENT='Add'"), "0");

    // The same statements with rows the session may write go in whole.
    asRoot("UPDATE GROUPTABLE SET RECORDPERMISSION=7 WHERE UID='" + G2 + "'");
    EXPECT_EQ(asBob(insert({row(RNew, G1), row(RMore, G2)})), 0);
    EXPECT_EQ(asBob(log.arg("bob")), 0);
    EXPECT_EQ(value("SELECT COUNT(*) FROM tolvanexdb.EVENTLOGGERTABLE WHERE EVENT='Add'"), "2");
    // A disabled account, none of them.
    asRoot("DELETE FROM RECORDTABLE WHERE RECORDID IN ('" + RNew + "', '" + RMore + "')");
    asRoot("UPDATE USERTABLE SET ISACCOUNTDISABLED=1 WHERE USERID='" + bobID + "'");
    EXPECT_EQ(asBob(insert({row(RNew, G1), row(RMore, G2)})), kErrPermissionRefused);
    EXPECT_EQ(asBob(log.arg("bob")), kErrPermissionRefused);
    EXPECT_EQ(records(), R1 + "," + R2 + "," + R3 + "," + RP);
    EXPECT_EQ(value("SELECT COUNT(*) FROM tolvanexdb.EVENTLOGGERTABLE WHERE EVENT='Add'"), "2");
}

TEST_F(MembershipRules, ADisabledAccountWritesNothing)
{
    asRoot("UPDATE USERTABLE SET ISACCOUNTDISABLED=1 WHERE USERID='" + bobID + "'");
    EXPECT_EQ(asBob(insertRecord(RNew, G2)), kErrPermissionRefused);
    EXPECT_EQ(asBob(insertRecord(RNew, kUnfiledUID)), kErrPermissionRefused);
    EXPECT_EQ(asBob("UPDATE GROUPTABLE SET NAME=x'00' WHERE UID='" + G2 + "'"), kErrPermissionRefused);
    EXPECT_EQ(asBob(insertMember(G2, aliceID)), kErrPermissionRefused);
    EXPECT_EQ(asBob("DELETE FROM GROUPTABLE WHERE UID='" + G2 + "'"), kErrPermissionRefused);
    EXPECT_EQ(asBob("INSERT INTO TYPETABLE (UID, NAME) VALUES ('" + TNew + "', x'01')"), kErrPermissionRefused);
    EXPECT_EQ(asBob("INSERT INTO CUSTOMICONTABLE VALUES (900, x'01')"), kErrPermissionRefused);
    EXPECT_NE(asBob("UPDATE USERTABLE SET PASSWORD=x'01' WHERE USERID='" + bobID + "'"), 0);
    EXPECT_NE(asBob("INSERT INTO EVENTLOGGERTABLE VALUES ('Add', '', '', '', 'bob', '')"), 0);
    EXPECT_EQ(records(), R1 + "," + R2 + "," + R3 + "," + RP);
    EXPECT_EQ(members(G2), bobID);
    EXPECT_EQ(value("SELECT COUNT(*) FROM tolvanexdb.CUSTOMICONTABLE"), "0");
}

TEST_F(MembershipRules, TheLogAndTheRecentListsNumberTheirOwnRowsUnderTheSessionsName)
{
    const QString entry = "INSERT INTO EVENTLOGGERTABLE (EVENT, USERNAME, ROWKEY) VALUES ('Add', '%1', %2)";
    EXPECT_EQ(asBob(entry.arg("bob").arg("18446744073709551615")), kErrPermissionRefused);
    EXPECT_EQ(asBob(entry.arg("alice").arg("NULL")), kErrPermissionRefused);
    // The lists' keys are not even in sight.
    EXPECT_NE(asBob("INSERT INTO RECENTLYVIEWEDTABLE (USERID, RECORDID, ROWKEY) VALUES ('" + bobID + "', '" + R2
                    + "', 18446744073709551615)"),
              0);
    // An administrator, too, writes under its own name and keeps the keys.
    addAccount("boss", "boss-pw", true);
    TVXDataBase boss;
    ASSERT_EQ(logInAndLoad(boss, "boss", "boss-pw"), kTVXDone);
    EXPECT_EQ(refusalOf(*boss.connection(), entry.arg("alice").arg("NULL")), kErrPermissionRefused);

    // The log goes on for everyone.
    EXPECT_EQ(asBob(entry.arg("bob").arg("NULL")), 0);
    EXPECT_EQ(refusalOf(*boss.connection(), "UPDATE EVENTLOGGERTABLE SET ROWKEY=18446744073709551615"),
              kErrPermissionRefused);
    EXPECT_EQ(bob.eventLog().eventLogger().addLogEvent(QStringLiteral("Lock Application"), QString(), QString()), kTVXDone);
    EXPECT_EQ(alice.eventLog().eventLogger().addLogEvent(QStringLiteral("Lock Application"), QString(), QString()), kTVXDone);
    EXPECT_EQ(value("SELECT GROUP_CONCAT(USERNAME ORDER BY ROWKEY) FROM tolvanexdb.EVENTLOGGERTABLE "
                    "WHERE EVENT IN ('Add', 'Lock Application')"),
              "bob,bob,alice");
    EXPECT_LT(value("SELECT MAX(ROWKEY) FROM tolvanexdb.EVENTLOGGERTABLE").toULongLong(), 1000000u);
}

TEST_F(MembershipRules, APasswordThatMayNotChangeKeepsItsCopy)
{
    asRoot("UPDATE USERTABLE SET CANCHANGEPASSWORD=0 WHERE USERID='" + bobID + "'");
    EXPECT_EQ(asBob("UPDATE USERTABLE SET PASSWORD=x'01' WHERE USERID='" + bobID + "'"), kErrPermissionRefused);
    asRoot("UPDATE USERTABLE SET CANCHANGEPASSWORD=1 WHERE USERID='" + bobID + "'");
    EXPECT_EQ(asBob("UPDATE USERTABLE SET PASSWORD=x'01' WHERE USERID='" + bobID + "'"), 0);
}

TEST_F(MembershipRules, ReadsFollowMembership)
{
    const QString outside = "('" + R3 + "', '" + RP + "')";
    for (const char* table : {"RECORDTABLE", "CUSTOMTYPETABLE", "ATTACHMENTTABLE"}) {
        EXPECT_EQ(queryValueOn(*bob.connection(),
                               QStringLiteral("SELECT COUNT(*) FROM %1 WHERE RECORDID IN %2").arg(table, outside)),
                  "0")
            << table;
        EXPECT_EQ(queryValueOn(*alice.connection(),
                               QStringLiteral("SELECT COUNT(*) FROM %1 WHERE RECORDID IN %2").arg(table, outside)),
                  "2")
            << table;
    }
    EXPECT_EQ(queryValueOn(*bob.connection(), "SELECT GROUP_CONCAT(RECORDID ORDER BY RECORDID) FROM RECORDTABLE"),
              R1 + "," + R2);
    EXPECT_FALSE(bob.caches().mRecords().contains(R3));
    EXPECT_FALSE(bob.caches().mRecords().contains(RP));
    // Nor through a write: a move out of a group he does not see finds no row.
    EXPECT_EQ(asBob("UPDATE RECORDTABLE SET GROUPUID='" + G2 + "' WHERE RECORDID='" + R3 + "'"), 0);
    EXPECT_EQ(value("SELECT GROUPUID FROM tolvanexdb.RECORDTABLE WHERE RECORDID='" + R3 + "'"), G3);

    // An administrator reads every group's.
    addAccount("boss", "boss-pw", true);
    TVXDataBase boss;
    ASSERT_EQ(logInAndLoad(boss, "boss", "boss-pw"), kTVXDone);
    EXPECT_EQ(queryValueOn(*boss.connection(), "SELECT COUNT(*) FROM ATTACHMENTTABLE"), "2");
    EXPECT_EQ(queryValueOn(*boss.connection(), "SELECT COUNT(*) FROM RECORDTABLE"), "4");
}

// A part is seen through its record's group as it is now: a move takes the
// record's custom field set and attachment with it, both ways.
TEST_F(MembershipRules, ARecordsPartsFollowItIntoAnotherGroup)
{
    const QString parts = "SELECT CONCAT((SELECT COUNT(*) FROM CUSTOMTYPETABLE WHERE RECORDID='" + R3
                          + "'), (SELECT COUNT(*) FROM ATTACHMENTTABLE WHERE RECORDID='" + R3 + "'))";
    const auto moveTo = [&](const QString& group) {
        return refusalOf(*alice.connection(),
                         "UPDATE RECORDTABLE SET GROUPUID='" + group + "' WHERE RECORDID='" + R3 + "'");
    };
    ASSERT_EQ(refusalOf(*alice.connection(), "SET autocommit=1"), 0);
    EXPECT_EQ(queryValueOn(*bob.connection(), parts), "00");
    ASSERT_EQ(moveTo(G1), 0);
    EXPECT_EQ(queryValueOn(*bob.connection(), parts), "11");
    ASSERT_EQ(moveTo(G3), 0);
    EXPECT_EQ(queryValueOn(*bob.connection(), parts), "00");
    EXPECT_EQ(queryValueOn(*alice.connection(), parts), "11");
}

TEST_F(MembershipRules, ALockOnTheMasterPasswordRowHoldsUpNoSave)
{
    ASSERT_EQ(as("SET SESSION innodb_lock_wait_timeout=1"), 0);
    ASSERT_EQ(asBob("START TRANSACTION"), 0);
    ASSERT_FALSE(queryValueOn(*bob.connection(), "SELECT NAME FROM DATABASEINFOTABLE WHERE NAME='DBPASSWORD' FOR UPDATE")
                     .isNull());
    EXPECT_NE(asBob("DELETE FROM TVXMASTERPASSWORDTABLE"), 0);
    EXPECT_EQ(asBob("SELECT TVX_MASTER_PASSWORD(1) INTO @stored"), kErrPermissionRefused);
    auto record = newRecord(alice, {"mail"});
    EXPECT_EQ(alice.addRecord(record), kTVXDone);
    record->setMValue1(QStringLiteral("mail 2"));
    EXPECT_EQ(alice.replaceRecord(record), kTVXDone);
    ASSERT_EQ(asBob("ROLLBACK"), 0);
}

// The rows every save's checks and links read: groups (bob's own, the
// shared one, alice's), types, users and member rows.
TEST_F(MembershipRules, ALockOnAGroupRowHoldsUpNoSave)
{
    // The keys the checks read are no account's to read or lock.
    for (const char* keys : {"TVXGROUPKEYS", "TVXTYPEKEYS", "TVXUSERKEYS", "TVXMEMBERKEYS"})
        EXPECT_EQ(asBob(QStringLiteral("SELECT COUNT(*) INTO @n FROM %1 FOR UPDATE").arg(keys)), 1142) << keys;
    expectSavesGoPast(lockEachRow("GROUPTABLE", {"UID"}));
}

TEST_F(MembershipRules, ALockOnATypeRowHoldsUpNoSave)
{
    expectSavesGoPast(lockEachRow("TYPETABLE", {"UID"}));
}

TEST_F(MembershipRules, ALockOnAUserRowHoldsUpNoSave)
{
    expectSavesGoPast(lockEachRow("USERTABLE", {"USERID"}));
}

TEST_F(MembershipRules, ALockOnMemberRowsHoldsUpNoSave)
{
    expectSavesGoPast(lockEachRow("USERGROUPTABLE", {"GROUPID", "USERID"}));
}

