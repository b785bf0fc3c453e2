// Group members and sub-groups on a real store.
#include "model/BMGroup.h"
#include "support/StoreSeed.h"
#include "store/TVXDataBase.h"

#include <cppconn/connection.h>
#include "support/TestStore.h"

using namespace teststore;

namespace {

const QString G1 = QStringLiteral("00000000000000A1");
const QString G2 = QStringLiteral("00000000000000A2");

class Membership : public StoreTest {
protected:
    void SetUp() override
    {
        StoreTest::SetUp();
        a = addUser("usera", "pw");
        b = addUser("userb", "pw");
        c = addUser("userc", "pw");
        seed = std::make_unique<StoreSeed>(kMasterPassword);
        seed->group(G1, "One");
        seed->group(G2, "Two");
        // How the lists are written, by an administrator: who may write
        // whose lists is the server rules' affair (test_server_rules.cpp).
        rootExec("CALL tolvanexdb.TVX_APPLY_RIGHTS('alice', '%', 1)");
        ASSERT_EQ(db.startConnectionToServer(loginRequest()), kTVXDone);
    }

    QStringList membersOnServer(const QString& group)
    {
        return rootQueryValue(QStringLiteral("SELECT GROUP_CONCAT(USERID ORDER BY USERID) FROM "
                                             "tolvanexdb.USERGROUPTABLE WHERE GROUPID='%1'")
                                  .arg(group))
            .split(',', Qt::SkipEmptyParts);
    }

    static QStringList sorted(QStringList list)
    {
        list.sort();
        return list;
    }

    QString a, b, c;
    std::unique_ptr<StoreSeed> seed;
    TVXDataBase db;
};

} // namespace

TEST_F(Membership, EmptyListsReadAsEmptyNotAsFailure)
{
    BMGroup group;
    group.setMGroupUID(G1);
    TVXResult code = resultOfNumber(-1); // not set by the call
    const auto members = db.membership().readGroupUserTableforGroup(group, &code);
    ASSERT_TRUE(members.has_value());
    EXPECT_TRUE(members->isEmpty());
    EXPECT_EQ(code, kTVXDone);
    code = resultOfNumber(-1);
    const auto subGroups = db.membership().readSubgroupListForGroup(group, &code);
    ASSERT_TRUE(subGroups.has_value());
    EXPECT_TRUE(subGroups->isEmpty());
    EXPECT_EQ(code, kTVXDone);
    // Without a connection: a failure, not an empty list (nor a crash).
    TVXDataBase offline;
    EXPECT_FALSE(offline.membership().readGroupUserTableforGroup(group, &code).has_value());
    EXPECT_NE(code, kTVXDone);
    EXPECT_FALSE(offline.membership().readSubgroupListForGroup(group, &code).has_value());
}

TEST_F(Membership, SubGroupMembersJoinAfterTheGroupsOwn)
{
    auto sub = std::make_shared<BMGroup>();
    sub->setMGroupUID(G2);
    sub->setMUserMembersArray({a, b});
    db.caches().mGroups().insert(G2, sub);

    BMGroup group;
    group.setMGroupUID(G1);
    group.setMUserMembersArray({b, c});
    group.setMSubGroupsUID({G2, QStringLiteral("00000000000000FF")}); // the second is not loaded
    EXPECT_EQ(db.membership().insertUserListForGroup(group), kTVXDone);
    EXPECT_EQ(db.membership().insertSubgroupListForGroup(group), kTVXDone);

    EXPECT_EQ(group.mUserMembersArray(), QStringList({b, c, a}));
    EXPECT_EQ(membersOnServer(G1), sorted({a, b, c}));
    TVXResult code = resultOfNumber(-1); // not set by the call
    EXPECT_EQ(sorted(*db.membership().readSubgroupListForGroup(group, &code)), sorted({G2, "00000000000000FF"}));

    // Rewriting the same lists keeps one row per pair.
    EXPECT_EQ(db.membership().insertUserListForGroup(group), kTVXDone);
    EXPECT_EQ(db.membership().insertSubgroupListForGroup(group), kTVXDone);
    EXPECT_EQ(membersOnServer(G1), sorted({a, b, c}));
    EXPECT_EQ(rootQueryValue("SELECT COUNT(*) FROM tolvanexdb.GROUPSUBGROUPTABLE"), "2");

    // An empty list leaves no rows.
    group.setMUserMembersArray({});
    group.setMSubGroupsUID({});
    EXPECT_EQ(db.membership().insertUserListForGroup(group), kTVXDone);
    EXPECT_TRUE(membersOnServer(G1).isEmpty());
}

TEST_F(Membership, AFailedRewriteKeepsTheOldMembers)
{
    seed->member(a, G1);
    seed->member(b, G1);
    // The server refuses the second insert: the rewrite fails half-way.
    rootExec("CREATE TRIGGER tolvanexdb.refuse_member BEFORE INSERT ON tolvanexdb.USERGROUPTABLE FOR EACH ROW "
             "BEGIN IF NEW.USERID = 'FFFFFFFFFFFFFFFF' THEN "
             "SIGNAL SQLSTATE '45000' SET MESSAGE_TEXT = 'refused'; END IF; END");
    BMGroup group;
    group.setMGroupUID(G1);
    group.setMUserMembersArray({c, QStringLiteral("FFFFFFFFFFFFFFFF")});
    EXPECT_EQ(db.membership().insertUserListForGroup(group), kTVXStatementFailed);
    EXPECT_EQ(membersOnServer(G1), sorted({a, b}));
    EXPECT_TRUE(db.connection()->getAutoCommit());
}

TEST_F(Membership, DeletingAGroupsRows)
{
    seed->member(a, G1);
    seed->member(b, G1);
    seed->member(b, G2);
    seed->subGroup(G1, G2);
    BMGroup group;
    group.setMGroupUID(G1);
    group.setMUserMembersArray({a, b});
    TVXResult code = resultOfNumber(-1); // not set by the call
    db.membership().deleteGroupUserTableforGroup(group, &code);
    EXPECT_EQ(code, kTVXDone);
    db.membership().deleteGroupSubGroupsListforGroup(group, &code);
    EXPECT_EQ(code, kTVXDone);
    EXPECT_TRUE(membersOnServer(G1).isEmpty());
    EXPECT_EQ(membersOnServer(G2), QStringList{b});
    EXPECT_EQ(rootQueryValue("SELECT COUNT(*) FROM tolvanexdb.GROUPSUBGROUPTABLE"), "0");
}
