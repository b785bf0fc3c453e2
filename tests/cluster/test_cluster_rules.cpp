// The store's write rules on the Galera cluster: made against one node, they
// refuse an ordinary account's writes on every node.
#include "ClusterNodes.h"
#include "support/RecordFixture.h"

#include <cppconn/exception.h>

#include <QProcess>
#include <QThread>

using namespace teststore;
using namespace clusternodes;

namespace {

const QString G2 = QStringLiteral("00000000000000A2"); // bob's group, not alice's
const QString R2 = QStringLiteral("00000000000000B2");
const QString kMissing = QStringLiteral("00000000000000FF");

class ClusterRules : public RecordFixture {
protected:
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(ensureWholeCluster());
        useServerPort(clusterPort(1));
        RecordFixture::SetUp();
        seed->group(G2, "Servers", 7, true);
        seed->member(bobID, G2);
        SeedRecord record;
        record.uid = R2;
        record.groupUID = G2;
        record.typeUID = T1;
        record.values = {"db"};
        seed->record(record);
        rootExec("INSERT INTO tolvanexdb.RECENTLYVIEWEDTABLE VALUES ('" + bobID + "', '" + R2 + "')");
    }
};

} // namespace

TEST_F(ClusterRules, EveryNodeRefusesWhatTheBitsRefuse)
{
    rootExec(QStringLiteral("UPDATE tolvanexdb.USERTABLE SET GROUPPERMISSION=0, TYPEPERMISSION=7 WHERE USERID='%1'")
                 .arg(aliceID));
    for (int node = 1; node <= 3; ++node) {
        TVXDataBase client;
        auto request = loginRequest(kUserName, kUserPassword);
        request[kLoginPortNumber] = QString::number(clusterPort(node));
        ASSERT_EQ(client.startConnectionToServer(request), kTVXDone) << "node " << node;
        sql::Connection& plain = *client.connection();
        ASSERT_EQ(refusalOf(plain, "USE tolvanexdb"), 0);
        // Waits for what the cluster committed, as the client's reads do.
        ASSERT_EQ(refusalOf(plain, "SET SESSION wsrep_sync_wait=1"), 0);
        // Not there for her: a group she is not in.
        EXPECT_EQ(refusalOf(plain, "DELETE FROM RECORDTABLE WHERE RECORDID='" + R2 + "'"), 0) << "node " << node;
        EXPECT_EQ(refusalOf(plain, "INSERT INTO USERGROUPTABLE (GROUPID, USERID) VALUES ('" + G2 + "', '" + aliceID
                                     + "')"),
                  kErrPermissionRefused)
            << "node " << node;
        // Membership decides what is read, joined and deleted, and the log keeps its own keys.
        EXPECT_EQ(queryValueOn(plain, "SELECT COUNT(*) FROM RECORDTABLE WHERE RECORDID='" + R2 + "'"), "0")
            << "node " << node;
        EXPECT_EQ(refusalOf(plain, "DELETE FROM TYPETABLE WHERE UID='" + T1 + "'"), kErrPermissionRefused)
            << "node " << node;
        EXPECT_EQ(queryValueOn(plain, "SELECT COUNT(*) FROM RECENTLYVIEWEDTABLE WHERE USERID='" + bobID + "'"), "0")
            << "node " << node;
        EXPECT_EQ(refusalOf(plain, "INSERT INTO EVENTLOGGERTABLE (EVENT, USERNAME, ROWKEY) VALUES ('Add', 'alice', "
                                   "18446744073709551615)"),
                  kErrPermissionRefused)
            << "node " << node;
        ASSERT_EQ(refusalOf(plain, "SET FOREIGN_KEY_CHECKS=0"), 0);
        EXPECT_EQ(refusalOf(plain, "DELETE FROM GROUPTABLE WHERE UID='" + G2 + "'"), kErrPermissionRefused)
            << "node " << node;
        EXPECT_EQ(refusalOf(plain, "INSERT INTO RECORDTABLE (RECORDID, TYPEUID, GROUPUID) VALUES ('" + kMissing + "', '"
                                     + T1 + "', '" + kMissing + "')"),
                  1452)
            << "node " << node;
    }
    EXPECT_EQ(rootQueryValue("SELECT COUNT(*) FROM tolvanexdb.RECORDTABLE"), "1");
    EXPECT_EQ(rootQueryValue("SELECT COUNT(*) FROM tolvanexdb.USERGROUPTABLE WHERE GROUPID='" + G2 + "'"), "1");
}

// Locks are each node's own: on every node, bob's locking read of the group,
// type, user and member rows a save reads holds up none of alice's saves there.
TEST_F(ClusterRules, OnEveryNodeALockOnTheRowsASaveReadsHoldsItUpNot)
{
    for (int node = 1; node <= 3; ++node) {
        useServerPort(clusterPort(node));
        TVXDataBase alice, bob;
        ASSERT_EQ(logInAndLoad(alice), kTVXDone) << "node " << node;
        ASSERT_EQ(logInAndLoad(bob, "bob", "bob-pw"), kTVXDone) << "node " << node;
        ASSERT_EQ(refusalOf(*alice.connection(), "SET SESSION innodb_lock_wait_timeout=1"), 0);
        ASSERT_EQ(refusalOf(*bob.connection(), "START TRANSACTION"), 0);
        for (const QString& read :
             {"SELECT COUNT(*) FROM GROUPTABLE WHERE UID='" + G1 + "' FOR UPDATE",
              "SELECT COUNT(*) FROM TYPETABLE WHERE UID='" + T1 + "' FOR UPDATE",
              "SELECT COUNT(*) FROM USERTABLE WHERE USERID='" + aliceID + "' FOR UPDATE",
              "SELECT COUNT(*) FROM USERGROUPTABLE WHERE GROUPID='" + G1 + "' AND USERID='" + aliceID + "' FOR UPDATE"})
            ASSERT_EQ(queryValueOn(*bob.connection(), read), "1") << read.toStdString();
        auto record = newRecord(alice, {"mail"});
        EXPECT_EQ(alice.addRecord(record), kTVXDone) << "node " << node;
        record->setMValue1(QStringLiteral("mail 2"));
        EXPECT_EQ(alice.replaceRecord(record), kTVXDone) << "node " << node;
        EXPECT_EQ(alice.deleteRecord(record), kTVXDone) << "node " << node;
        ASSERT_EQ(refusalOf(*bob.connection(), "ROLLBACK"), 0);
    }
    useServerPort(clusterPort(1));
}
