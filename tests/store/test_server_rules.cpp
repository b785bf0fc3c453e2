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
    EXPECT_EQ(as("DELETE FROM RECORDTABLE WHERE RECORDID='" + R2 + "'"), kErrPermissionRefused);
    EXPECT_EQ(as("UPDATE RECORDTABLE SET FIELD1=x'00' WHERE RECORDID='" + R2 + "'"), kErrPermissionRefused);
    EXPECT_EQ(as(insertRecord(RNew, G2)), kErrPermissionRefused);
    // Nor by a way round: the insert the client uses, moves in and out, the record's parts.
    EXPECT_EQ(as("INSERT IGNORE INTO RECORDTABLE (RECORDID, TYPEUID, GROUPUID) VALUES ('" + RNew + "', '" + T1
                 + "', '" + G2 + "')"),
              kErrPermissionRefused);
    EXPECT_EQ(as("UPDATE RECORDTABLE SET GROUPUID='" + G1 + "' WHERE RECORDID='" + R2 + "'"), kErrPermissionRefused);
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
    EXPECT_EQ(as("UPDATE RECORDTABLE SET VIEWCOUNT=VIEWCOUNT+1 WHERE RECORDID='" + R2 + "'"), kErrPermissionRefused);

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
        expect(as("INSERT INTO USERGROUPTABLE (GROUPID, USERID) VALUES ('" + G2 + "', '" + aliceID + "')"),
               kPermissionAdd | kPermissionEdit, "join a group");
        expect(as("DELETE FROM USERGROUPTABLE WHERE GROUPID='" + G2 + "' AND USERID='" + bobID + "'"),
               kPermissionAdd | kPermissionEdit, "remove a member");
        expect(as("INSERT INTO GROUPSUBGROUPTABLE VALUES ('" + G2 + "', '" + G1 + "')"),
               kPermissionAdd | kPermissionEdit, "add a sub-group");
        expect(as(QStringLiteral("INSERT INTO TYPETABLE (UID, NAME) VALUES ('%1', x'01')").arg(TNew)),
               kPermissionAdd, "add a type");
        expect(as("UPDATE TYPETABLE SET NAME=x'03' WHERE UID='" + T1 + "'"), kPermissionEdit, "rename a type");
        expect(as("DELETE FROM TYPETABLE WHERE UID='" + TScratch + "'"), kPermissionDelete, "delete a type");
        for (const QString& undo : QStringList{"DELETE FROM GROUPTABLE WHERE UID IN ('" + GNew + "', '" + GScratch + "')",
              "DELETE FROM TYPETABLE WHERE UID IN ('" + TNew + "', '" + TScratch + "')",
              "DELETE FROM USERGROUPTABLE WHERE GROUPID='" + G2 + "'", "DELETE FROM GROUPSUBGROUPTABLE",
              "INSERT INTO USERGROUPTABLE VALUES ('" + G2 + "', '" + bobID + "')"})
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
    asRoot("DROP TRIGGER TVX_RECORD_DELETE");
    EXPECT_EQ(as("DELETE FROM RECORDTABLE WHERE RECORDID='" + R2 + "'"), 0) << "the rule was not gone";
    for (int run = 0; run < 2; ++run) {
        const StoreResult upgraded = TVXStoreCreator(rootConnection()).upgradeSchema();
        ASSERT_TRUE(upgraded.ok) << upgraded.message.toStdString();
    }
    asRoot("INSERT INTO RECORDTABLE (RECORDID, TYPEUID, GROUPUID) VALUES ('" + R2 + "', '" + T1 + "', '" + G2 + "')");
    EXPECT_EQ(as("DELETE FROM RECORDTABLE WHERE RECORDID='" + R2 + "'"), kErrPermissionRefused);
    EXPECT_EQ(value(triggerCount), installed); // replaced, not added twice
}
