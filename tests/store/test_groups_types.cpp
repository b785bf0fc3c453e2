// Group and type writers against a real store, seen by a second client after
// its reload; duplicate-name tests on cipher bytes; failures injected by
// triggers that refuse a statement.
#include "model/BMGroup.h"
#include "model/TVXRecord.h"
#include "model/TVXType.h"
#include "model/TVXUID.h"
#include "model/TVXUser.h"
#include "model/TVXUser_Admin.h"
#include "platform/core/NotificationCenter.h"
#include "store/TVXDataBase.h"
#include "store/eventlog/TVXEventLogger.h"
#include "support/StoreSeed.h"
#include "support/TestStore.h"

#include "DelayingRelay.h"

#include <cppconn/connection.h>
#include <cppconn/resultset.h>
#include <cppconn/statement.h>

#include <QCoreApplication>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

using namespace teststore;

namespace {

const QString G1 = QStringLiteral("00000000000000A1");
const QString G2 = QStringLiteral("00000000000000A2");
const QString GNew = QStringLiteral("00000000000000A9");
const QString T1 = QStringLiteral("00000000000000C1");
const QString TNew = QStringLiteral("00000000000000C9");
const QString R1 = QStringLiteral("00000000000000B1"); // G1, T1
const QString R2 = QStringLiteral("00000000000000B2"); // G2, T1
const QString R3 = QStringLiteral("00000000000000B3"); // G2, unfiled type
const QString R4 = QStringLiteral("00000000000000B4"); // unfiled group, T1

// Names a careless statement builder would break on.
const QString kAwkwardName = QStringLiteral("O'Brien's \"Ops\" \\ 100% _x_ ; --");

SeedRecord rec(const QString& uid, const QString& group, const QString& type, const QString& value)
{
    SeedRecord r;
    r.uid = uid;
    r.groupUID = group;
    r.typeUID = type;
    r.values = {value};
    return r;
}

QString refuseTrigger(const QString& name, const QString& when, const QString& table,
                      const QString& condition = QStringLiteral("TRUE"))
{
    return QStringLiteral("CREATE TRIGGER tolvanexdb.%1 %2 ON tolvanexdb.%3 FOR EACH ROW BEGIN IF %4 THEN "
                          "SIGNAL SQLSTATE '45000' SET MESSAGE_TEXT = 'refused'; END IF; END")
        .arg(name, when, rowsTable(table), condition);
}

class GroupsTypesFixture : public StoreTest {
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
        for (const QString& user : {aliceID, bobID}) {
            seed->member(user, G1);
            seed->member(user, G2);
        }
        seed->member(carolID, G1);
        seed->subGroup(G1, G2);
        seed->record(rec(R1, G1, T1, "bank"));
        seed->record(rec(R2, G2, T1, "db"));
        seed->record(rec(R3, G2, kUnfiledUID, "switch"));
        seed->record(rec(R4, kUnfiledUID, T1, "loose"));
        ASSERT_EQ(logInAndLoad(alice, kUserName, kUserPassword), kTVXDone);
        ASSERT_EQ(logInAndLoad(bob, "bob", "bob-pw"), kTVXDone);
    }


    // Logs `distant` in as alice through `relay`, so that its round trips can
    // be counted; later clients connect directly again.
    void logInThrough(DelayingRelay& relay, TVXDataBase& distant)
    {
        useServerPort(relay.port());
        const TVXResult login = logInAndLoad(distant, kUserName, kUserPassword);
        useServerPort(0);
        ASSERT_EQ(login, kTVXDone);
    }

    static uint64_t tripsOf(DelayingRelay& relay, const std::function<TVXResult()>& write,
                            TVXResult expected = kTVXDone)
    {
        const uint64_t before = relay.roundTrips();
        EXPECT_EQ(write(), expected);
        return relay.roundTrips() - before;
    }

    static QStringList sorted(QStringList list)
    {
        list.sort();
        return list;
    }

    static QStringList recordIDs(const TVXDataBase& db) { return sorted(db.caches().mRecords().keys()); }

    static QString count(const QString& where)
    {
        return rootQueryValue(QStringLiteral("SELECT COUNT(*) FROM tolvanexdb.") + where);
    }

    static QStringList membersOnServer(const QString& group)
    {
        return rootQueryValue(QStringLiteral("SELECT GROUP_CONCAT(USERID ORDER BY USERID) FROM "
                                             "tolvanexdb.USERGROUPTABLE WHERE GROUPID='%1'")
                                  .arg(group))
            .split(',', Qt::SkipEmptyParts);
    }

    static QString storedHex(const QString& table, const QString& column, const QString& uid)
    {
        return rootQueryValue(
            QStringLiteral("SELECT HEX(%1) FROM tolvanexdb.%2 WHERE UID='%3'").arg(column, table, uid));
    }

    static QString hexOf(const QByteArray& bytes) { return QString::fromLatin1(bytes.toHex().toUpper()); }

    static TVXEventLogEntry lastEvent(TVXDataBase& db)
    {
        const auto log = db.eventLog().eventLogger().logArrary();
        return log.isEmpty() ? TVXEventLogEntry{} : log.last();
    }

    static std::shared_ptr<BMGroup> makeGroup(const QString& uid, const QString& name, const QStringList& members,
                                              const QStringList& subGroups, uint16_t permissions = 0,
                                              bool prevails = false)
    {
        auto group = std::make_shared<BMGroup>();
        group->setMGroupUID(uid);
        group->setMGroupName(name);
        group->setMUserMembersArray(members);
        group->setMSubGroupsUID(subGroups);
        group->setMRecordLevelPermissions(permissions);
        group->setMPreferencePermissions(prevails);
        return group;
    }

    static std::shared_ptr<TVXType> makeType(const QString& uid, const QString& name, int icon, int mask,
                                             const QStringList& fields)
    {
        auto type = std::make_shared<TVXType>();
        type->setMTypeUID(uid);
        type->setMTypeName(name);
        type->setMTypeIconID(icon);
        type->setMTypeMask(mask);
        for (int i = 0; i < kNumberOfFields; ++i)
            type->setFieldAtIndex(i, fields.value(i, QStringLiteral("Field %1").arg(i + 1)));
        return type;
    }

    QString bobID;
    QString carolID;
    std::unique_ptr<StoreSeed> seed;
    TVXDataBase alice;
    TVXDataBase bob;
};

using GroupStore = GroupsTypesFixture;
using GroupStoreFailure = GroupsTypesFixture;
using TypeStore = GroupsTypesFixture;
using TypeStoreFailure = GroupsTypesFixture;

} // namespace

// --- groups -------------------------------------------------------------------

TEST_F(GroupStore, AddedGroupWithMembersAndSubGroupsReachesTheOtherClient)
{
    // Bob is named; alice joins as the one who adds it; G1's carol joins
    // through the sub-group, after the group's own members.
    auto group = makeGroup(GNew, kAwkwardName, {bobID}, {G1}, 5, true);
    EXPECT_EQ(alice.addGroup(group), kTVXDone);

    EXPECT_EQ(group->mUserMembersArray(), QStringList({bobID, aliceID, carolID}));
    EXPECT_EQ(membersOnServer(GNew), sorted({aliceID, bobID, carolID}));
    EXPECT_EQ(storedHex("GROUPTABLE", "NAME", GNew), hexOf(alice.encryptString(kAwkwardName)));
    EXPECT_EQ(alice.caches().mGroups().value(GNew), group);
    EXPECT_TRUE(alice.caches().mCurrentUser()->mUsersGroupArray().contains(GNew));
    EXPECT_EQ(lastEvent(alice).event, "Add Group");
    EXPECT_EQ(lastEvent(alice).description, kAwkwardName);
    EXPECT_EQ(lastEvent(alice).action, QString("Success"));

    ASSERT_EQ(bob.reloadDatabase(), kTVXDone);
    const auto seen = bob.caches().mGroups().value(GNew);
    ASSERT_TRUE(seen);
    EXPECT_EQ(seen->mGroupName(), kAwkwardName);
    EXPECT_EQ(seen->mRecordLevelPermissions(), 5);
    EXPECT_TRUE(seen->mPreferencePermissions());
    EXPECT_EQ(sorted(seen->mUserMembersArray()), sorted({aliceID, bobID, carolID}));
    EXPECT_EQ(seen->mSubGroupsUID(), QStringList{G1});
}

// The import adds its groups off the main thread: what the add reads from
// memory (the signed-in user, the sub-groups' members) is read under the
// guard the main thread holds while it changes memory, never beside it.
TEST_F(GroupStore, AnAddOffTheMainThreadReadsMemoryUnderTheGuard)
{
    auto group = makeGroup(GNew, "Legal", {bobID}, {G1});
    std::atomic<bool> done{false};
    std::thread worker;
    {
        const auto guard = alice.lockConnection();
        worker = std::thread([&] {
            EXPECT_EQ(alice.addGroup(group), kTVXDone);
            done = true;
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        EXPECT_EQ(group->mUserMembersArray(), QStringList{bobID}) << "read beside the main thread";
    }
    while (!done.load())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    worker.join();
    EXPECT_EQ(group->mUserMembersArray(), QStringList({bobID, aliceID, carolID}));
    EXPECT_EQ(membersOnServer(GNew), sorted({aliceID, bobID, carolID}));
}

TEST_F(GroupStore, AddingAStoredIdentifierAnswers8AndCachesNothing)
{
    const auto cached = alice.caches().mGroups().value(G1);
    auto clash = makeGroup(G1, "Other", {}, {});
    EXPECT_EQ(alice.addGroup(clash), kTVXReloadFirst);

    EXPECT_EQ(alice.caches().mGroups().value(G1), cached);
    EXPECT_TRUE(clash->mUserMembersArray().isEmpty());
    EXPECT_EQ(storedHex("GROUPTABLE", "NAME", G1), hexOf(seed->cipher("Finance")));
    EXPECT_EQ(membersOnServer(G1), sorted({aliceID, bobID, carolID}));
    EXPECT_EQ(lastEvent(alice).event, "Add Group");
    EXPECT_EQ(lastEvent(alice).action, QString("Failed"));
}

TEST_F(GroupStore, UpdatedGroupReachesTheOtherClient)
{
    // An edited copy replaces the cached object; the records follow it.
    auto edited = makeGroup(G1, "Finance & Legal", {aliceID}, {}, 1, false);
    EXPECT_EQ(alice.updateGroup(edited), kTVXDone);
    EXPECT_EQ(alice.caches().mGroups().value(G1), edited);
    EXPECT_EQ(alice.caches().mRecords().value(R1)->mGroup(), edited);
    EXPECT_EQ(membersOnServer(G1), QStringList{aliceID});
    EXPECT_EQ(count("GROUPSUBGROUPTABLE WHERE GROUPID='00000000000000A1'"), "0");
    EXPECT_EQ(lastEvent(alice).event, "Edit Group");
    EXPECT_EQ(lastEvent(alice).action, QString("Success"));

    // Saving it again unchanged still matches its row.
    EXPECT_EQ(alice.updateGroup(edited), kTVXDone);

    // Bob is no longer a member: the group leaves his view, records and all.
    ASSERT_EQ(bob.reloadDatabase(), kTVXDone);
    EXPECT_FALSE(bob.caches().mGroups().contains(G1));
    EXPECT_FALSE(bob.caches().mRecords().contains(R1));

    edited->setMUserMembersArray({aliceID, bobID});
    EXPECT_EQ(alice.updateGroup(edited), kTVXDone);
    ASSERT_EQ(bob.reloadDatabase(), kTVXDone);
    ASSERT_TRUE(bob.caches().mGroups().contains(G1));
    EXPECT_EQ(bob.caches().mGroups().value(G1)->mGroupName(), "Finance & Legal");
    EXPECT_EQ(bob.caches().mGroups().value(G1)->mRecordLevelPermissions(), 1);
    EXPECT_FALSE(bob.caches().mGroups().value(G1)->mPreferencePermissions());
    EXPECT_TRUE(bob.caches().mGroups().value(G1)->mSubGroupsUID().isEmpty());
}

TEST_F(GroupStore, ARenameFromAStaleCopyAnswers8AndKeepsTheOthersName)
{
    auto alices = makeGroup(G1, "Finance (Alice)", {aliceID, bobID}, {G2}, 7, true);
    ASSERT_EQ(alice.updateGroup(alices), kTVXDone);
    // Bob renames from the copy he loaded before Alice's change.
    auto bobs = makeGroup(G1, "Finance (Bob)", {aliceID, bobID}, {G2}, 7, true);
    EXPECT_EQ(bob.updateGroup(bobs), kTVXReloadFirst);
    EXPECT_EQ(storedHex("GROUPTABLE", "NAME", G1), hexOf(seed->cipher("Finance (Alice)")));
    EXPECT_NE(bob.caches().mGroups().value(G1), bobs);
    // Alice's own copy is the stored row: she may save again.
    EXPECT_EQ(alice.updateGroup(alices), kTVXDone);

    ASSERT_EQ(bob.reloadDatabase(), kTVXDone);
    EXPECT_EQ(bob.updateGroup(bobs), kTVXDone);
    EXPECT_EQ(storedHex("GROUPTABLE", "NAME", G1), hexOf(seed->cipher("Finance (Bob)")));
    EXPECT_EQ(alice.updateGroup(alices), kTVXReloadFirst);
}

TEST_F(GroupStore, UpdatingAGroupNotCachedOrNoLongerStored)
{
    // Not cached: 1, nothing written.
    auto stranger = makeGroup(GNew, "Stranger", {aliceID}, {});
    EXPECT_EQ(alice.updateGroup(stranger), kTVXNotServerError);
    EXPECT_EQ(count("GROUPTABLE WHERE UID='00000000000000A9'"), "0");
    EXPECT_EQ(count("USERGROUPTABLE WHERE GROUPID='00000000000000A9'"), "0");
    EXPECT_EQ(lastEvent(alice).action, QString("Failed"));

    // Cached but gone from the server: 8, and the cache stays as it was.
    const auto cached = alice.caches().mGroups().value(G2);
    rootExec("DELETE FROM tolvanexdb.GROUPTABLE WHERE UID='00000000000000A2'");
    EXPECT_EQ(alice.updateGroup(makeGroup(G2, "Servers 2", {aliceID}, {})), kTVXReloadFirst);
    EXPECT_EQ(alice.caches().mGroups().value(G2), cached);
    EXPECT_EQ(cached->mGroupName(), "Servers");
    EXPECT_EQ(count("USERGROUPTABLE WHERE GROUPID='00000000000000A2'"), "0");
}

TEST_F(GroupStore, DeletingAGroupTakesItsRecordsAndItsPlaceInOtherLists)
{
    // The unfiled group is cached for alice and lists G2 as well.
    seed->member(aliceID, kUnfiledUID);
    seed->subGroup(kUnfiledUID, G2);
    ASSERT_EQ(alice.reloadDatabase(), kTVXDone);
    ASSERT_TRUE(alice.caches().mGroups().contains(kUnfiledUID));
    ASSERT_EQ(alice.caches().mGroups().value(G1)->mSubGroupsUID(), QStringList{G2});

    EXPECT_EQ(alice.deleteGroup(*alice.caches().mGroups().value(G2)), kTVXDone);

    EXPECT_FALSE(alice.caches().mGroups().contains(G2));
    EXPECT_EQ(recordIDs(alice), QStringList({R1, R4}));
    EXPECT_TRUE(alice.caches().mGroups().value(G1)->mSubGroupsUID().isEmpty());
    EXPECT_EQ(alice.caches().mGroups().value(kUnfiledUID)->mSubGroupsUID(), QStringList{G2});
    EXPECT_FALSE(alice.caches().mCurrentUser()->mUsersGroupArray().contains(G2));
    ASSERT_TRUE(alice.caches().mUsers().contains(bobID));
    EXPECT_FALSE(alice.caches().mUsers().value(bobID)->mUsersGroupArray().contains(G2));
    EXPECT_EQ(lastEvent(alice).event, "Delete Group");
    EXPECT_EQ(lastEvent(alice).description, "Servers");
    EXPECT_EQ(lastEvent(alice).action, QString("Success"));

    // The server agrees: records, members and references gone, but for the unfiled group's.
    EXPECT_EQ(count("RECORDTABLE WHERE GROUPUID='00000000000000A2'"), "0");
    EXPECT_EQ(count("USERGROUPTABLE WHERE GROUPID='00000000000000A2'"), "0");
    EXPECT_EQ(count("GROUPSUBGROUPTABLE WHERE SUBGROUPID='00000000000000A2'"), "1");

    ASSERT_EQ(bob.reloadDatabase(), kTVXDone);
    EXPECT_FALSE(bob.caches().mGroups().contains(G2));
    EXPECT_EQ(recordIDs(bob), QStringList({R1, R4}));
    EXPECT_TRUE(bob.caches().mGroups().value(G1)->mSubGroupsUID().isEmpty());
}

// A group's add and delete ask a distant server twice (the write, the
// commit), an edit four times (begin, the checks, the write, the commit),
// its rows, both lists and the event row included, however long the lists.
TEST_F(GroupStore, AnAddAnEditAndADeleteTakeFewRoundTrips)
{
    DelayingRelay relay(port(), 0);
    TVXDataBase distant;
    ASSERT_NO_FATAL_FAILURE(logInThrough(relay, distant));
    const auto tripsOf = [&relay](const std::function<TVXResult()>& write, TVXResult expected = kTVXDone) {
        return GroupsTypesFixture::tripsOf(relay, write, expected);
    };
    // The first of each prepares its statements, once per connection.
    auto warm = makeGroup(QStringLiteral("00000000000000A8"), "Warm", {}, {});
    ASSERT_EQ(distant.addGroup(warm), kTVXDone);
    ASSERT_EQ(distant.updateGroup(warm), kTVXDone);
    ASSERT_EQ(distant.deleteGroup(*warm), kTVXDone);
    ASSERT_EQ(distant.eventLog().eventLogger().logOutcome("Edit Group", "Warm", kTVXReloadFirst), kTVXDone);

    auto group = makeGroup(GNew, "Network", {bobID}, {G2});
    EXPECT_LE(tripsOf([&] { return distant.addGroup(group); }), 2u);
    EXPECT_EQ(membersOnServer(GNew), sorted({aliceID, bobID}));
    EXPECT_EQ(rootQueryValue("SELECT GROUP_CONCAT(SUBGROUPID) FROM tolvanexdb.GROUPSUBGROUPTABLE WHERE "
                             "GROUPID='00000000000000A9'"),
              G2);
    const uint64_t fewMembers = tripsOf([&] { return distant.updateGroup(group); });
    EXPECT_LE(fewMembers, 4u);
    // Bob out, carol in, a sub-group more: the lists are rewritten whole.
    group->setMGroupName("Network & Storage");
    group->setMUserMembersArray({aliceID, carolID});
    group->setMSubGroupsUID({G1, G2});
    EXPECT_EQ(tripsOf([&] { return distant.updateGroup(group); }), fewMembers);
    // G1's bob comes back through the sub-group.
    EXPECT_EQ(membersOnServer(GNew), sorted({aliceID, bobID, carolID}));
    EXPECT_EQ(count("GROUPSUBGROUPTABLE WHERE GROUPID='00000000000000A9'"), "2");
    EXPECT_EQ(storedHex("GROUPTABLE", "NAME", GNew), hexOf(seed->cipher("Network & Storage")));
    group->setMSubGroupsUID({});
    group->setMUserMembersArray({bobID, aliceID});
    EXPECT_EQ(tripsOf([&] { return distant.updateGroup(group); }), fewMembers);
    EXPECT_EQ(membersOnServer(GNew), sorted({aliceID, bobID}));
    EXPECT_EQ(count("GROUPSUBGROUPTABLE WHERE GROUPID='00000000000000A9'"), "0");

    // Bob's rename makes the copy stale: nothing written, in as few.
    ASSERT_EQ(bob.reloadDatabase(), kTVXDone);
    ASSERT_EQ(bob.updateGroup(makeGroup(GNew, "Bob's", {aliceID, bobID}, {})), kTVXDone);
    group->setMUserMembersArray({aliceID});
    EXPECT_LE(tripsOf([&] { return distant.updateGroup(group); }, kTVXReloadFirst), 4u);
    EXPECT_EQ(storedHex("GROUPTABLE", "NAME", GNew), hexOf(seed->cipher("Bob's")));
    EXPECT_EQ(membersOnServer(GNew), sorted({aliceID, bobID}));

    ASSERT_EQ(distant.reloadDatabase(), kTVXDone);
    group = distant.caches().mGroups().value(GNew);
    ASSERT_TRUE(group);
    EXPECT_LE(tripsOf([&] { return distant.deleteGroup(*group); }), 2u);
    EXPECT_EQ(count("GROUPTABLE WHERE UID='00000000000000A9'"), "0");
    EXPECT_EQ(count("GROUPSUBGROUPTABLE WHERE SUBGROUPID='00000000000000A9' OR GROUPID='00000000000000A9'"), "0");
    EXPECT_EQ(lastEvent(distant).event, "Delete Group");
    EXPECT_EQ(rootQueryValue("SELECT GROUP_CONCAT(CONCAT(EVENT, ':', DESCRIPTION) ORDER BY ROWKEY) FROM "
                             "tolvanexdb.EVENTLOGGERTABLE WHERE USERNAME='alice' AND DESCRIPTION LIKE 'Network%'"),
              "Add Group:Network,Edit Group:Network,Edit Group:Network & Storage,Edit Group:Network & Storage,"
              "Edit Group:Network & Storage");
}

// A store whose routines are older than the client, or an account not yet
// granted them, still takes a group's add and edit, with the same answers.
TEST_F(GroupStore, AStoreWithoutTheGroupRoutinesTakesTheWritesAsStatements)
{
    rootExec("DROP PROCEDURE tolvanexdb.TVX_ADD_GROUP");
    // The edit's routine is there, the one it calls for the lists not granted.
    rootExec("REVOKE EXECUTE ON PROCEDURE tolvanexdb.TVX_WRITE_GROUP_LISTS FROM 'alice'@'%'");
    auto group = makeGroup(GNew, "Ops", {bobID}, {G1});
    ASSERT_EQ(alice.addGroup(group), kTVXDone);
    EXPECT_EQ(group->mUserMembersArray(), QStringList({bobID, aliceID, carolID}));
    EXPECT_EQ(membersOnServer(GNew), sorted({aliceID, bobID, carolID}));
    EXPECT_EQ(count("GROUPSUBGROUPTABLE WHERE GROUPID='00000000000000A9' AND SUBGROUPID='00000000000000A1'"), "1");
    EXPECT_EQ(alice.addGroup(makeGroup(GNew, "Clash", {}, {})), kTVXReloadFirst);

    group->setMGroupName("Ops 2");
    group->setMUserMembersArray({aliceID, bobID});
    group->setMSubGroupsUID({G2});
    ASSERT_EQ(alice.updateGroup(group), kTVXDone);
    EXPECT_EQ(storedHex("GROUPTABLE", "NAME", GNew), hexOf(seed->cipher("Ops 2")));
    EXPECT_EQ(membersOnServer(GNew), sorted({aliceID, bobID}));
    EXPECT_EQ(rootQueryValue("SELECT GROUP_CONCAT(SUBGROUPID) FROM tolvanexdb.GROUPSUBGROUPTABLE WHERE "
                             "GROUPID='00000000000000A9'"),
              G2);

    // Bob, who holds the routines, renames it: alice's copy is stale.
    ASSERT_EQ(bob.reloadDatabase(), kTVXDone);
    ASSERT_EQ(bob.updateGroup(makeGroup(GNew, "Ops (Bob)", {aliceID, bobID}, {})), kTVXDone);
    group->setMUserMembersArray({aliceID});
    EXPECT_EQ(alice.updateGroup(group), kTVXReloadFirst);
    EXPECT_EQ(storedHex("GROUPTABLE", "NAME", GNew), hexOf(seed->cipher("Ops (Bob)")));
    EXPECT_EQ(membersOnServer(GNew), sorted({aliceID, bobID}));
    EXPECT_EQ(rootQueryValue("SELECT GROUP_CONCAT(CONCAT(EVENT, ':', DESCRIPTION, ':', USERNAME) ORDER BY ROWKEY) "
                             "FROM tolvanexdb.EVENTLOGGERTABLE WHERE DESCRIPTION LIKE 'Ops%'"),
              "Add Group:Ops:alice,Edit Group:Ops 2:alice,Edit Group:Ops (Bob):bob,Edit Group:Ops 2:alice");
}

TEST_F(GroupStore, DeletingAGroupNotCachedOrNoLongerStoredChangesNothing)
{
    BMGroup stranger;
    stranger.setMGroupUID(GNew);
    EXPECT_EQ(alice.deleteGroup(stranger), kTVXReloadFirst);
    EXPECT_EQ(lastEvent(alice).action, QString("Failed"));

    // Deleted by another client meanwhile: alice is told to reload and keeps what she has.
    rootExec("DELETE FROM tolvanexdb.GROUPTABLE WHERE UID='00000000000000A2'");
    EXPECT_EQ(alice.deleteGroup(*alice.caches().mGroups().value(G2)), kTVXReloadFirst);
    EXPECT_TRUE(alice.caches().mGroups().contains(G2));
    EXPECT_EQ(recordIDs(alice), QStringList({R1, R2, R3, R4}));
    EXPECT_EQ(alice.caches().mGroups().value(G1)->mSubGroupsUID(), QStringList{G2});
}

TEST_F(GroupStore, MovingAGroupsRecordsToUnfiledKeepsThemPastTheGroup)
{
    TVXResult code = resultOfNumber(-1); // not set by the call
    alice.convertForDeletedGroupUIDToUnfieldUID(G2, &code);
    EXPECT_EQ(code, kTVXDone);
    EXPECT_EQ(count("RECORDTABLE WHERE GROUPUID='0000000000000000'"), "3");
    // Read again: filed under the unfiled group, which alice has not cached.
    ASSERT_TRUE(alice.caches().mRecords().contains(R2));
    EXPECT_EQ(alice.caches().mRecords().value(R2)->mGroup(), nullptr);
    EXPECT_EQ(alice.caches().mRecords().value(R2)->mValue1(), "db");
    EXPECT_EQ(alice.caches().mRecords().value(R1)->mGroup(), alice.caches().mGroups().value(G1));

    EXPECT_EQ(alice.deleteGroup(*alice.caches().mGroups().value(G2)), kTVXDone);
    EXPECT_EQ(recordIDs(alice), QStringList({R1, R2, R3, R4}));

    // Carol is not admitted to G2: she sees its moved records as unfiled ones.
    TVXDataBase carol;
    ASSERT_EQ(logInAndLoad(carol, "carol", "carol-pw"), kTVXDone);
    EXPECT_EQ(recordIDs(carol), QStringList({R1, R2, R3, R4}));
}

TEST_F(GroupStore, DuplicateNamesAreFoundOnCipherBytesOnly)
{
    ASSERT_EQ(alice.addGroup(makeGroup(GNew, kAwkwardName, {}, {})), kTVXDone);
    // A name stored under another master password is not found, whatever it says.
    StoreSeed otherKey(QStringLiteral("Other-Master"));
    otherKey.group(QStringLiteral("00000000000000AF"), "Hidden");

    for (TVXDataBase* db : {&alice, &bob}) {
        EXPECT_TRUE(db->checkForGroupDuplicate("Finance"));
        EXPECT_TRUE(db->checkForGroupDuplicate(kAwkwardName));
        EXPECT_FALSE(db->checkForGroupDuplicate("finance"));
        EXPECT_FALSE(db->checkForGroupDuplicate("Finance "));
        EXPECT_FALSE(db->checkForGroupDuplicate("Hidden"));
        EXPECT_FALSE(db->checkForGroupDuplicate("' OR '1'='1"));
        // Group and type names are apart.
        EXPECT_FALSE(db->checkForGroupDuplicate("Web log-in"));
    }
}

// --- group failures -----------------------------------------------------------

TEST_F(GroupStoreFailure, ARefusedListLeavesNoNewGroupBehind)
{
    rootExec(refuseTrigger("refuse_sub", "BEFORE INSERT", "GROUPSUBGROUPTABLE"));
    auto group = makeGroup(GNew, "Ops", {bobID}, {G1});
    EXPECT_EQ(alice.addGroup(group), kTVXStatementFailed);

    EXPECT_EQ(count("GROUPTABLE WHERE UID='00000000000000A9'"), "0");
    EXPECT_EQ(count("USERGROUPTABLE WHERE GROUPID='00000000000000A9'"), "0");
    EXPECT_FALSE(alice.caches().mGroups().contains(GNew));
    EXPECT_FALSE(alice.caches().mCurrentUser()->mUsersGroupArray().contains(GNew));
    EXPECT_EQ(group->mUserMembersArray(), QStringList{bobID});
    EXPECT_TRUE(alice.connection()->getAutoCommit());
    EXPECT_EQ(lastEvent(alice).event, "Add Group");
    EXPECT_EQ(lastEvent(alice).action, QString("Failed"));
}

TEST_F(GroupStoreFailure, ARefusedUpdateKeepsRowListsAndCache)
{
    // The row is written first, then refused in the member list: all of it is undone.
    rootExec(refuseTrigger("refuse_member", "BEFORE INSERT", "USERGROUPTABLE"));
    const auto cached = alice.caches().mGroups().value(G1);
    auto edited = makeGroup(G1, "Renamed", {aliceID}, {}, 1);
    EXPECT_EQ(alice.updateGroup(edited), kTVXStatementFailed);

    EXPECT_EQ(storedHex("GROUPTABLE", "NAME", G1), hexOf(seed->cipher("Finance")));
    EXPECT_EQ(membersOnServer(G1), sorted({aliceID, bobID, carolID}));
    EXPECT_EQ(count("GROUPSUBGROUPTABLE WHERE GROUPID='00000000000000A1'"), "1");
    EXPECT_EQ(alice.caches().mGroups().value(G1), cached);
    EXPECT_EQ(cached->mGroupName(), "Finance");
    EXPECT_EQ(alice.caches().mRecords().value(R1)->mGroup(), cached);
    EXPECT_EQ(edited->mUserMembersArray(), QStringList{aliceID});
    EXPECT_EQ(lastEvent(alice).action, QString("Failed"));
}

TEST_F(GroupStoreFailure, ARefusedDeleteKeepsEverything)
{
    rootExec(refuseTrigger("refuse_delete", "BEFORE DELETE", "GROUPTABLE"));
    EXPECT_EQ(alice.deleteGroup(*alice.caches().mGroups().value(G2)), kTVXStatementFailed);
    EXPECT_TRUE(alice.caches().mGroups().contains(G2));
    EXPECT_EQ(recordIDs(alice), QStringList({R1, R2, R3, R4}));
    EXPECT_EQ(alice.caches().mGroups().value(G1)->mSubGroupsUID(), QStringList{G2});
    EXPECT_EQ(count("RECORDTABLE WHERE GROUPUID='00000000000000A2'"), "2");
    EXPECT_EQ(lastEvent(alice).action, QString("Failed"));
}

TEST_F(GroupStoreFailure, ARefusedMoveKeepsTheRecordsWhereTheyWere)
{
    rootExec(refuseTrigger("refuse_move", "BEFORE UPDATE", "RECORDTABLE"));
    const auto before = alice.caches().mRecords().value(R2);
    TVXResult code = resultOfNumber(-1); // not set by the call
    alice.convertForDeletedGroupUIDToUnfieldUID(G2, &code);
    EXPECT_EQ(code, kTVXNotServerError);
    EXPECT_EQ(count("RECORDTABLE WHERE GROUPUID='00000000000000A2'"), "2");
    EXPECT_EQ(alice.caches().mRecords().value(R2), before);
    EXPECT_EQ(before->mGroup(), alice.caches().mGroups().value(G2));
}

// A lock held elsewhere on the master password or on the group's row: the
// store is busy, nothing is written, and the same writes go in once it is free.
TEST_F(GroupStoreFailure, ALockHeldElsewhereIsABusyStoreNotALostConnection)
{
    TVXDataBase db;
    db.setReadWriteTimeout(4);
    ASSERT_EQ(logInAndLoad(db, kUserName, kUserPassword), kTVXDone);
    auto added = makeGroup(GNew, "Legal", {bobID}, {});
    auto edited = makeGroup(G1, "Finance 2", {aliceID}, {});
    int lost = 0;
    auto& center = platform::NotificationCenter::defaultCenter();
    const auto token =
        center.addObserver(kDBCommLostNotification, [&lost](const platform::Notification&) { ++lost; });
    const HangDeadline deadline(90);
    auto holder = rootConnection();
    holder->setAutoCommit(false);
    std::unique_ptr<sql::Statement> hold(holder->createStatement());
    std::unique_ptr<sql::ResultSet>(
        hold->executeQuery("SELECT VALUE FROM tolvanexdb.TVXMASTERPASSWORDTABLE WHERE NAME='DBPASSWORD' FOR UPDATE"));
    EXPECT_EQ(db.addGroup(added), kTVXStoreBusy);
    EXPECT_EQ(db.updateGroup(edited), kTVXStoreBusy);
    holder->rollback();
    std::unique_ptr<sql::ResultSet>(
        hold->executeQuery("SELECT * FROM tolvanexdb.GROUPTABLE WHERE UID='00000000000000A1' FOR UPDATE"));
    EXPECT_EQ(db.updateGroup(edited), kTVXStoreBusy);

    EXPECT_EQ(count("GROUPTABLE WHERE UID='00000000000000A9'"), "0");
    EXPECT_EQ(storedHex("GROUPTABLE", "NAME", G1), hexOf(seed->cipher("Finance")));
    EXPECT_EQ(membersOnServer(G1), sorted({aliceID, bobID, carolID}));
    EXPECT_FALSE(db.caches().mGroups().contains(GNew));
    EXPECT_EQ(added->mUserMembersArray(), QStringList{bobID});
    EXPECT_EQ(lastEvent(db).action, QString("Failed"));

    holder->rollback();
    EXPECT_EQ(db.addGroup(added), kTVXDone);
    EXPECT_EQ(db.updateGroup(edited), kTVXDone);
    center.removeObserver(token);
    EXPECT_EQ(membersOnServer(GNew), sorted({aliceID, bobID}));
    EXPECT_EQ(membersOnServer(G1), QStringList{aliceID});
    EXPECT_EQ(lost, 0);
    EXPECT_FALSE(db.isConnectionLostHandlerOn());
}

TEST_F(GroupStoreFailure, ANameTooLongForItsColumnIsRefusedBeforeWriting)
{
    // 256 bytes of UTF-8 encipher to 256: one more than the column holds.
    auto group = makeGroup(GNew, QString(128, QChar(0x00E9)), {}, {});
    EXPECT_EQ(alice.addGroup(group), kTVXStatementFailed);
    EXPECT_EQ(count("GROUPTABLE WHERE UID='00000000000000A9'"), "0");
    EXPECT_FALSE(alice.caches().mGroups().contains(GNew));

    auto edited = makeGroup(G1, QString(300, QLatin1Char('n')), {aliceID}, {});
    EXPECT_EQ(alice.updateGroup(edited), kTVXStatementFailed);
    EXPECT_EQ(storedHex("GROUPTABLE", "NAME", G1), hexOf(seed->cipher("Finance")));
    EXPECT_EQ(membersOnServer(G1), sorted({aliceID, bobID, carolID}));

    // 255 bytes pad to 256 as well; 240 fit.
    EXPECT_EQ(alice.addGroup(makeGroup(GNew, QString(240, QLatin1Char('m')), {}, {})), kTVXDone);
}

// --- types --------------------------------------------------------------------

TEST_F(TypeStore, AddedUpdatedAndDeletedTypesReachTheOtherClient)
{
    auto type = makeType(TNew, kAwkwardName, 7, 0b101, {"Host", "Login", "Secret"});
    EXPECT_EQ(alice.addType(type), kTVXDone);
    EXPECT_EQ(alice.caches().mTypes().value(TNew), type);
    EXPECT_EQ(lastEvent(alice).event, "Add Type");
    EXPECT_EQ(lastEvent(alice).description, kAwkwardName);
    EXPECT_EQ(lastEvent(alice).action, QString("Type Added Successfully"));

    ASSERT_EQ(bob.reloadDatabase(), kTVXDone);
    ASSERT_TRUE(bob.caches().mTypes().contains(TNew));
    EXPECT_TRUE(bob.caches().mTypes().value(TNew)->isEqualToType(*type));

    // An edited copy replaces the cached type; the records follow it.
    auto edited = TVXType::createCopyforType(*alice.caches().mTypes().value(T1));
    edited->setMTypeName("Web sign-in");
    edited->setMTypeIconID(1001);
    edited->setMField10("Expires");
    EXPECT_EQ(alice.updateType(edited), kTVXDone);
    EXPECT_EQ(alice.caches().mTypes().value(T1), edited);
    EXPECT_EQ(alice.caches().mRecords().value(R1)->mType(), edited);
    EXPECT_EQ(lastEvent(alice).action, QString("Type Edited Successfully"));
    EXPECT_EQ(alice.updateType(edited), kTVXDone); // unchanged: still matches its row

    ASSERT_EQ(bob.reloadDatabase(), kTVXDone);
    EXPECT_TRUE(bob.caches().mTypes().value(T1)->isEqualToType(*edited));
    EXPECT_EQ(bob.caches().mTypes().value(T1)->mField2(), "User");

    // Deleting the type takes its records, on the server and in the cache.
    EXPECT_EQ(alice.deleteType(*edited), kTVXDone);
    EXPECT_FALSE(alice.caches().mTypes().contains(T1));
    EXPECT_EQ(recordIDs(alice), QStringList{R3});
    EXPECT_EQ(count("RECORDTABLE WHERE TYPEUID='00000000000000C1'"), "0");
    EXPECT_EQ(lastEvent(alice).event, "Delete Type");
    EXPECT_EQ(lastEvent(alice).description, "Web sign-in");
    EXPECT_EQ(lastEvent(alice).action, QString("Type Deleted Successfully"));

    ASSERT_EQ(bob.reloadDatabase(), kTVXDone);
    EXPECT_FALSE(bob.caches().mTypes().contains(T1));
    EXPECT_EQ(recordIDs(bob), QStringList{R3});
}

TEST_F(TypeStore, AStoredIdentifierOrAMissingRowAnswers8)
{
    const auto cached = alice.caches().mTypes().value(T1);
    EXPECT_EQ(alice.addType(makeType(T1, "Clash", 1, 0, {})), kTVXReloadFirst);
    EXPECT_EQ(alice.caches().mTypes().value(T1), cached);
    EXPECT_EQ(storedHex("TYPETABLE", "NAME", T1), hexOf(seed->cipher("Web log-in")));
    EXPECT_EQ(lastEvent(alice).event, "Add Type");
    EXPECT_EQ(lastEvent(alice).action, QString("Failed"));

    rootExec("DELETE FROM tolvanexdb.TYPETABLE WHERE UID='00000000000000C1'");
    EXPECT_EQ(alice.updateType(makeType(T1, "Gone", 1, 0, {})), kTVXReloadFirst);
    EXPECT_EQ(alice.caches().mTypes().value(T1), cached);
    EXPECT_EQ(alice.deleteType(*cached), kTVXReloadFirst);
    EXPECT_TRUE(alice.caches().mTypes().contains(T1));
    EXPECT_EQ(recordIDs(alice), QStringList({R1, R2, R3, R4}));
}

TEST_F(TypeStore, AReplaceFromAStaleCopyAnswers8AndKeepsTheOthersChange)
{
    ASSERT_EQ(alice.updateType(makeType(T1, "Web log-in", 12, 0b10, {"URL", "Login", "Password"})), kTVXDone);
    EXPECT_EQ(bob.updateType(makeType(T1, "Web sign-in", 12, 0b10, {"URL", "User", "Password"})),
              kTVXReloadFirst);
    EXPECT_EQ(storedHex("TYPETABLE", "NAME", T1), hexOf(seed->cipher("Web log-in")));
    EXPECT_EQ(storedHex("TYPETABLE", "FIELD2", T1), hexOf(seed->cipher("Login")));
    EXPECT_EQ(bob.caches().mTypes().value(T1)->mTypeName(), "Web log-in");

    ASSERT_EQ(bob.reloadDatabase(), kTVXDone);
    EXPECT_EQ(bob.updateType(makeType(T1, "Web sign-in", 12, 0b10, {"URL", "Login", "Password"})), kTVXDone);
    EXPECT_EQ(storedHex("TYPETABLE", "NAME", T1), hexOf(seed->cipher("Web sign-in")));
}

// A type's add and delete ask a distant server twice (the write, the commit),
// an edit four times (begin, the checks, the write, the commit), their event
// rows included.
TEST_F(TypeStore, AnAddAnEditAndADeleteTakeFewRoundTrips)
{
    DelayingRelay relay(port(), 0);
    TVXDataBase distant;
    ASSERT_NO_FATAL_FAILURE(logInThrough(relay, distant));
    const auto tripsOf = [&relay](const std::function<TVXResult()>& write, TVXResult expected = kTVXDone) {
        return GroupsTypesFixture::tripsOf(relay, write, expected);
    };
    // The first of each prepares its statements, once per connection.
    auto warm = makeType(QStringLiteral("00000000000000C8"), "Warm", 1, 0, {});
    ASSERT_EQ(distant.addType(warm), kTVXDone);
    warm->setMTypeName("Warmer");
    ASSERT_EQ(distant.updateType(warm), kTVXDone);
    ASSERT_EQ(distant.deleteType(*warm), kTVXDone);
    ASSERT_EQ(distant.eventLog().eventLogger().logOutcome("Edit Type", "Warm", kTVXReloadFirst), kTVXDone);

    auto type = makeType(TNew, "Router", 7, 0b1, {"Host"});
    EXPECT_LE(tripsOf([&] { return distant.addType(type); }), 2u);
    type->setMField2("Login");
    EXPECT_LE(tripsOf([&] { return distant.updateType(type); }), 4u);
    EXPECT_EQ(storedHex("TYPETABLE", "FIELD2", TNew), hexOf(seed->cipher("Login")));
    EXPECT_EQ(lastEvent(distant).action, QString("Type Edited Successfully"));

    // Bob's change makes the copy stale: nothing written.
    ASSERT_EQ(bob.reloadDatabase(), kTVXDone);
    auto bobs = TVXType::createCopyforType(*bob.caches().mTypes().value(TNew));
    bobs->setMField3("Secret");
    ASSERT_EQ(bob.updateType(bobs), kTVXDone);
    type->setMField2("User");
    EXPECT_LE(tripsOf([&] { return distant.updateType(type); }, kTVXReloadFirst), 4u);
    EXPECT_EQ(storedHex("TYPETABLE", "FIELD2", TNew), hexOf(seed->cipher("Login")));

    EXPECT_LE(tripsOf([&] { return distant.deleteType(*type); }), 2u);
    EXPECT_EQ(count("TYPETABLE WHERE UID='00000000000000C9'"), "0");
    EXPECT_EQ(rootQueryValue("SELECT GROUP_CONCAT(CONCAT(EVENT, ':', DESCRIPTION) ORDER BY ROWKEY) FROM "
                             "tolvanexdb.EVENTLOGGERTABLE WHERE USERNAME='alice' AND DESCRIPTION='Router'"),
              "Add Type:Router,Edit Type:Router,Edit Type:Router,Delete Type:Router");
    EXPECT_EQ(lastEvent(distant).action, QString("Type Deleted Successfully"));
}

TEST_F(TypeStore, DuplicateNamesAreFoundOnCipherBytesOnly)
{
    ASSERT_EQ(alice.addType(makeType(TNew, kAwkwardName, 31, 0, {})), kTVXDone);
    StoreSeed otherKey(QStringLiteral("Other-Master"));
    otherKey.type(QStringLiteral("00000000000000CF"), "Hidden");

    for (TVXDataBase* db : {&alice, &bob}) {
        EXPECT_TRUE(db->checkForTypeDuplicate("Web log-in"));
        EXPECT_TRUE(db->checkForTypeDuplicate(kAwkwardName));
        EXPECT_FALSE(db->checkForTypeDuplicate("Web Log-in"));
        EXPECT_FALSE(db->checkForTypeDuplicate("Hidden"));
        EXPECT_FALSE(db->checkForTypeDuplicate("Finance"));
    }
}

// --- type failures ------------------------------------------------------------

TEST_F(TypeStoreFailure, ARefusedWriteKeepsServerAndCache)
{
    rootExec(refuseTrigger("refuse_type_update", "BEFORE UPDATE", "TYPETABLE"));
    rootExec(refuseTrigger("refuse_type_delete", "BEFORE DELETE", "TYPETABLE"));
    rootExec(refuseTrigger("refuse_type_insert", "BEFORE INSERT", "TYPETABLE"));
    const auto cached = alice.caches().mTypes().value(T1);

    auto edited = TVXType::createCopyforType(*cached);
    edited->setMTypeName("Renamed");
    EXPECT_EQ(alice.updateType(edited), kTVXStatementFailed);
    EXPECT_EQ(alice.caches().mTypes().value(T1), cached);
    EXPECT_EQ(alice.caches().mRecords().value(R1)->mType(), cached);
    EXPECT_EQ(lastEvent(alice).event, "Edit Type");
    EXPECT_EQ(lastEvent(alice).action, QString("Failed"));

    EXPECT_EQ(alice.deleteType(*cached), kTVXStatementFailed);
    EXPECT_TRUE(alice.caches().mTypes().contains(T1));
    EXPECT_EQ(recordIDs(alice), QStringList({R1, R2, R3, R4}));

    EXPECT_EQ(alice.addType(makeType(TNew, "New", 31, 0, {})), kTVXStatementFailed);
    EXPECT_FALSE(alice.caches().mTypes().contains(TNew));

    EXPECT_EQ(storedHex("TYPETABLE", "NAME", T1), hexOf(seed->cipher("Web log-in")));
    EXPECT_EQ(count("RECORDTABLE WHERE TYPEUID='00000000000000C1'"), "3");
}

TEST_F(TypeStoreFailure, AFieldNameTooLongForItsColumnIsRefusedBeforeWriting)
{
    auto type = makeType(TNew, "Fine", 31, 0, {"Host"});
    type->setMField7(QString(256, QLatin1Char('f')));
    EXPECT_EQ(alice.addType(type), kTVXStatementFailed);
    EXPECT_EQ(count("TYPETABLE WHERE UID='00000000000000C9'"), "0");
    EXPECT_FALSE(alice.caches().mTypes().contains(TNew));
    EXPECT_EQ(lastEvent(alice).action, QString("Failed"));

    auto edited = TVXType::createCopyforType(*alice.caches().mTypes().value(T1));
    edited->setMTypeName(QString(256, QLatin1Char('n')));
    EXPECT_EQ(alice.updateType(edited), kTVXStatementFailed);
    EXPECT_EQ(storedHex("TYPETABLE", "NAME", T1), hexOf(seed->cipher("Web log-in")));
}
