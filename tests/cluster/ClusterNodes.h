#pragma once
// Root's access to the test cluster's nodes (scripts/store-cluster, started by
// a CTest fixture that writes each node's port under TVX_CLUSTER_DIR).
#include <QString>
#include <QStringList>

namespace clusternodes {

int clusterPort(int node);
// Root's answer on one node; null when the node cannot answer.
QString nodeValue(int node, const QString& query, int column = 1);
bool nodeExec(int node, const QString& statement);
QString nodeStatus(int node, const char* variable);
bool clusterScript(const QStringList& arguments);
bool wholeCluster();
// Every node running, in the primary component and synced: a test may have
// killed or cut off one.
void ensureWholeCluster();

} // namespace clusternodes
