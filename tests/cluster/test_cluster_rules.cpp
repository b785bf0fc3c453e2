// The store's write rules on the Galera cluster: made against one node, they
// refuse an ordinary account's writes on every node.
#include "support/RecordFixture.h"

#include <cppconn/exception.h>

#include <QProcess>
#include <QThread>

using namespace teststore;

namespace {

const QString G2 = QStringLiteral("00000000000000A2"); // bob's group, not alice's
const QString R2 = QStringLiteral("00000000000000B2");
const QString kMissing = QStringLiteral("00000000000000FF");

int nodePort(int node)
{
    const char* dir = std::getenv("TVX_CLUSTER_DIR");
    if (!dir) {
        ADD_FAILURE() << "TVX_CLUSTER_DIR is not set: run the cluster tests through ctest";
        return 0;
    }
    QFile file(QString::fromLocal8Bit(dir) + QStringLiteral("/ports"));
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : file.readAll().split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() >= 2 && fields[0].toInt() == node)
            return fields[1].toInt();
    }
    return 0;
}

QString nodeStatus(int node, const char* variable)
{
    try {
        auto root = rootConnection(nodePort(node));
        std::unique_ptr<sql::Statement> stmt(root->createStatement());
        std::unique_ptr<sql::ResultSet> rs(
            stmt->executeQuery(QStringLiteral("SHOW STATUS LIKE '%1'").arg(QLatin1String(variable)).toStdString()));
        return rs->next() ? QString::fromStdString(rs->getString(2).asStdString()) : QStringLiteral("");
    } catch (const sql::SQLException&) {
        return QString();
    }
}

bool wholeCluster()
{
    for (int node = 1; node <= 3; ++node)
        if (nodeStatus(node, "wsrep_local_state_comment") != QLatin1String("Synced")
            || nodeStatus(node, "wsrep_cluster_size") != QLatin1String("3"))
            return false;
    return true;
}

// Every node up and synced: another test may have killed or cut off one.
void ensureWholeCluster()
{
    for (int i = 0; i < 120 && !wholeCluster(); ++i) {
        if (i == 0)
            for (int node = 1; node <= 3; ++node)
                try {
                    auto root = rootConnection(nodePort(node));
                    std::unique_ptr<sql::Statement> stmt(root->createStatement());
                    stmt->execute("SET GLOBAL wsrep_provider_options='gmcast.isolate=0'");
                } catch (const sql::SQLException&) {
                }
        if (i == 20) {
            QProcess process;
            process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
            process.start(QStringLiteral(TVX_CLUSTER_SCRIPT), {QStringLiteral("start")});
            ASSERT_TRUE(process.waitForFinished(600000) && process.exitCode() == 0);
        }
        QThread::msleep(500);
    }
    ASSERT_TRUE(wholeCluster()) << "the cluster did not come together again";
}

int errorOf(sql::Connection& connection, const QString& statement)
{
    try {
        std::unique_ptr<sql::Statement> stmt(connection.createStatement());
        stmt->execute(statement.toStdString());
        return 0;
    } catch (const sql::SQLException& e) {
        return e.getErrorCode();
    }
}

class ClusterRules : public RecordFixture {
protected:
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(ensureWholeCluster());
        useServerPort(nodePort(1));
        RecordFixture::SetUp();
        seed->group(G2, "Servers", 7, true);
        seed->member(bobID, G2);
        SeedRecord record;
        record.uid = R2;
        record.groupUID = G2;
        record.typeUID = T1;
        record.values = {"db"};
        seed->record(record);
    }
};

} // namespace

TEST_F(ClusterRules, EveryNodeRefusesWhatTheBitsRefuse)
{
    rootExec(QStringLiteral("UPDATE tolvanexdb.USERTABLE SET GROUPPERMISSION=0 WHERE USERID='%1'").arg(aliceID));
    for (int node = 1; node <= 3; ++node) {
        TVXDataBase client;
        auto request = loginRequest(kUserName, kUserPassword);
        request[kLoginPortNumber] = QString::number(nodePort(node));
        ASSERT_EQ(client.startConnectionToServer(request), kTVXDone) << "node " << node;
        sql::Connection& plain = *client.connection();
        ASSERT_EQ(errorOf(plain, "USE tolvanexdb"), 0);
        // Waits for what the cluster committed, as the client's reads do.
        ASSERT_EQ(errorOf(plain, "SET SESSION wsrep_sync_wait=1"), 0);
        EXPECT_EQ(errorOf(plain, "DELETE FROM RECORDTABLE WHERE RECORDID='" + R2 + "'"), kErrPermissionRefused)
            << "node " << node;
        EXPECT_EQ(errorOf(plain, "INSERT INTO USERGROUPTABLE (GROUPID, USERID) VALUES ('" + G2 + "', '" + aliceID
                                     + "')"),
                  kErrPermissionRefused)
            << "node " << node;
        ASSERT_EQ(errorOf(plain, "SET FOREIGN_KEY_CHECKS=0"), 0);
        EXPECT_EQ(errorOf(plain, "INSERT INTO RECORDTABLE (RECORDID, TYPEUID, GROUPUID) VALUES ('" + kMissing + "', '"
                                     + T1 + "', '" + kMissing + "')"),
                  1452)
            << "node " << node;
    }
    EXPECT_EQ(rootQueryValue("SELECT COUNT(*) FROM tolvanexdb.RECORDTABLE"), "1");
    EXPECT_EQ(rootQueryValue("SELECT COUNT(*) FROM tolvanexdb.USERGROUPTABLE WHERE GROUPID='" + G2 + "'"), "1");
}
