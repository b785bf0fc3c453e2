// Root's access to the test cluster's nodes, shared by the cluster suites.
#include "ClusterNodes.h"

#include "support/TestStore.h"

#include <cppconn/connection.h>
#include <cppconn/exception.h>
#include <cppconn/resultset.h>
#include <cppconn/statement.h>

#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QThread>

#include <cstdlib>

using namespace teststore;

namespace clusternodes {

int clusterPort(int node)
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

// Root's answer on one node; null when the node cannot answer.
QString nodeValue(int node, const QString& query, int column)
{
    try {
        auto root = rootConnection(clusterPort(node));
        std::unique_ptr<sql::Statement> stmt(root->createStatement());
        // What the cluster committed, as the client reads it.
        if (!query.startsWith(QLatin1String("SHOW")))
            stmt->execute("SET SESSION wsrep_sync_wait=1");
        std::unique_ptr<sql::ResultSet> rs(stmt->executeQuery(query.toStdString()));
        if (!rs->next())
            return QStringLiteral("");
        return rs->isNull(column) ? QStringLiteral("") : QString::fromStdString(rs->getString(column).asStdString());
    } catch (const sql::SQLException&) {
        return QString();
    }
}

bool nodeExec(int node, const QString& statement)
{
    try {
        auto root = rootConnection(clusterPort(node));
        std::unique_ptr<sql::Statement> stmt(root->createStatement());
        stmt->execute(statement.toStdString());
        return true;
    } catch (const sql::SQLException& e) {
        ADD_FAILURE() << statement.toStdString() << " on node " << node << ": " << e.what();
        return false;
    }
}

QString nodeStatus(int node, const char* variable)
{
    return nodeValue(node, QStringLiteral("SHOW STATUS LIKE '%1'").arg(QLatin1String(variable)), 2);
}

bool clusterScript(const QStringList& arguments)
{
    const QString script = QStringLiteral(TVX_CLUSTER_SCRIPT);
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(script, arguments);
    return process.waitForFinished(600000 * TVX_TEST_TIME_SCALE) && process.exitCode() == 0;
}

bool wholeCluster()
{
    for (int node = 1; node <= 3; ++node)
        if (nodeStatus(node, "wsrep_local_state_comment") != QLatin1String("Synced")
            || nodeStatus(node, "wsrep_cluster_size") != QLatin1String("3"))
            return false;
    return true;
}

// Every node running, in the primary component and synced: a test may have
// killed or cut off one.
void ensureWholeCluster()
{
    if (wholeCluster())
        return;
    for (int node = 1; node <= 3; ++node)
        if (!nodeStatus(node, "wsrep_cluster_status").isNull()
            && nodeStatus(node, "wsrep_cluster_status") != QLatin1String("Primary"))
            nodeExec(node, QStringLiteral("SET GLOBAL wsrep_provider_options='gmcast.isolate=0'"));
    for (int i = 0; i < 120 * TVX_TEST_TIME_SCALE && !wholeCluster(); ++i) {
        if (i == 20 * TVX_TEST_TIME_SCALE || (i == 0 && nodeStatus(1, "wsrep_cluster_size").isNull())) {
            ASSERT_TRUE(clusterScript({QStringLiteral("start")}));
        }
        QThread::msleep(500);
    }
    ASSERT_TRUE(wholeCluster()) << "the cluster did not come together again";
}

} // namespace clusternodes
