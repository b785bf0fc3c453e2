// Before an upgrade on a cluster: are clients of the store connected to any node?
#include "store/schema/TVXStoreCreator.h"

#include <QList>
#include <QMap>
#include <QSet>
#include <QStringList>
#include <QThread>

#include <cppconn/connection.h>
#include <cppconn/exception.h>
#include <cppconn/resultset.h>
#include <cppconn/statement.h>

namespace {

struct NodeAddress {
    QString host;
    int port = 0;
    QString text; // as the cluster lists it
};

// The locked account the store's routines and triggers run as.
constexpr char kDefinerName[] = "tvx_definer";

QString text(sql::ResultSet& rs, int column)
{
    return rs.isNull(column) ? QString() : QString::fromStdString(rs.getString(column).asStdString());
}

QString value(sql::Connection& c, const char* query, int column = 1)
{
    std::unique_ptr<sql::Statement> stmt(c.createStatement());
    std::unique_ptr<sql::ResultSet> rs(stmt->executeQuery(query));
    return rs->next() ? text(*rs, column) : QString();
}

// wsrep_incoming_addresses: "host:port" entries, IPv6 hosts in brackets.
QList<NodeAddress> parseAddresses(const QString& list)
{
    QList<NodeAddress> nodes;
    for (const QString& entry : list.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const QString trimmed = entry.trimmed();
        const qsizetype colon = trimmed.lastIndexOf(QLatin1Char(':'));
        NodeAddress node;
        node.text = trimmed;
        if (colon > 0) {
            node.host = trimmed.left(colon);
            if (node.host.startsWith(QLatin1Char('[')) && node.host.endsWith(QLatin1Char(']')))
                node.host = node.host.mid(1, node.host.size() - 2);
            node.port = trimmed.mid(colon + 1).toInt();
        }
        nodes << node;
    }
    return nodes;
}

// The sessions of the store's clients on one node, as "account from host":
// store accounts, and any other session whose default database is the store.
QStringList storeSessions(sql::Connection& c)
{
    QSet<QString> accounts;
    try {
        std::unique_ptr<sql::Statement> stmt(c.createStatement());
        std::unique_ptr<sql::ResultSet> rs(stmt->executeQuery("SELECT USERNAME FROM tolvanexdb.USERTABLE"));
        while (rs->next())
            accounts.insert(text(*rs, 1));
    } catch (const sql::SQLException&) {
        // No user table (yet): sessions are known by their database alone.
    }
    QStringList sessions;
    std::unique_ptr<sql::Statement> stmt(c.createStatement());
    std::unique_ptr<sql::ResultSet> rs(stmt->executeQuery(
        "SELECT USER, HOST, DB, ID FROM information_schema.PROCESSLIST WHERE ID <> CONNECTION_ID() "
        "AND USER <> 'system user' AND COMMAND <> 'Daemon'"));
    while (rs->next()) {
        QString user = text(*rs, 1);
        QString host = text(*rs, 2);
        // A session inside one of the store's routines or triggers is listed
        // under the account they run as: asked again, it names its own.
        for (int attempt = 0; user == QLatin1String(kDefinerName) && attempt < 50; ++attempt) {
            QThread::msleep(10);
            std::unique_ptr<sql::Statement> again(c.createStatement());
            std::unique_ptr<sql::ResultSet> row(again->executeQuery(
                "SELECT USER, HOST FROM information_schema.PROCESSLIST WHERE ID = " + std::to_string(rs->getInt64(4))));
            if (!row->next())
                break;
            user = text(*row, 1);
            host = text(*row, 2);
        }
        if (accounts.contains(user) || text(*rs, 3).compare(QLatin1String("tolvanexdb"), Qt::CaseInsensitive) == 0)
            sessions << QStringLiteral("%1 from %2").arg(user, host.section(QLatin1Char(':'), 0, 0));
    }
    return sessions;
}

// Without PROCESS the list shows only the account's own sessions, and an
// empty answer would mean nothing.
bool seesEverySession(sql::Connection& c)
{
    return value(c, "SELECT COUNT(*) FROM information_schema.USER_PRIVILEGES WHERE PRIVILEGE_TYPE='PROCESS' AND "
                    "GRANTEE=CONCAT('''', SUBSTRING_INDEX(CURRENT_USER(), '@', 1), '''@''', "
                    "SUBSTRING_INDEX(CURRENT_USER(), '@', -1), '''')")
               .toInt()
           > 0;
}

QString serverMessage(const sql::SQLException& e)
{
    return QStringLiteral("%1 (server error %2)").arg(QString::fromUtf8(e.what())).arg(e.getErrorCode());
}

} // namespace

StoreResult TVXStoreCreator::refuseWhileClientsConnected(const NodeConnector& connectTo)
{
    const QString notStarted = QStringLiteral("The upgrade was not started: ");
    QList<NodeAddress> nodes;
    QString ownNode;
    int clusterSize = 0;
    try {
        if (value(admin(), "SHOW VARIABLES LIKE 'wsrep_on'", 2) != QLatin1String("ON"))
            return {};
        if (!seesEverySession(admin()))
            return StoreResult::failure(notStarted
                                        + QStringLiteral("the administrator account may not see other accounts' "
                                                         "sessions (it needs the PROCESS privilege), so it cannot "
                                                         "tell whether clients of the store are connected."));
        nodes = parseAddresses(value(admin(), "SHOW STATUS LIKE 'wsrep_incoming_addresses'", 2));
        ownNode = value(admin(), "SHOW STATUS LIKE 'wsrep_gcomm_uuid'", 2);
        clusterSize = value(admin(), "SHOW STATUS LIKE 'wsrep_cluster_size'", 2).toInt();
    } catch (const sql::SQLException& e) {
        return StoreResult::failure(notStarted + serverMessage(e));
    }
    if (nodes.size() < clusterSize)
        return StoreResult::failure(notStarted
                                    + QStringLiteral("the cluster has %1 nodes but lists the addresses of %2 "
                                                     "(wsrep_incoming_addresses: set wsrep_node_incoming_address "
                                                     "on every node), so not every node can be asked for its "
                                                     "clients.")
                                          .arg(clusterSize)
                                          .arg(nodes.size()));

    QMap<QString, QStringList> sessionsByNode; // node address -> sessions there
    int total = 0;
    for (const NodeAddress& node : std::as_const(nodes)) {
        try {
            std::unique_ptr<sql::Connection> other;
            sql::Connection* c = &admin();
            if (node.port <= 0)
                throw sql::SQLException("no client port in the node's address");
            other = connectTo(node.host, node.port);
            if (!other)
                throw sql::SQLException("no connection");
            // Its own node is asked over the tool's connection, which the list leaves out.
            if (value(*other, "SHOW STATUS LIKE 'wsrep_gcomm_uuid'", 2) != ownNode)
                c = other.get();
            const QStringList sessions = storeSessions(*c);
            if (!sessions.isEmpty()) {
                sessionsByNode.insert(node.text, sessions);
                total += int(sessions.size());
            }
        } catch (const sql::SQLException& e) {
            return StoreResult::failure(
                notStarted + QStringLiteral("the node at %1 could not be asked for its clients' sessions: %2.")
                                 .arg(node.text, serverMessage(e)));
        }
    }
    if (total == 0)
        return {};
    QStringList where;
    for (auto it = sessionsByNode.cbegin(); it != sessionsByNode.cend(); ++it)
        where << QStringLiteral("%1 on %2 (%3)").arg(it.value().size()).arg(it.key(), it.value().join(QStringLiteral(", ")));
    return StoreResult::failure(
        notStarted
        + QStringLiteral("%1 %2 of the store's clients %3 connected: %4. On a cluster the upgrade changes tables "
                         "and triggers on every node at once, and a change that meets a client's write can stop "
                         "the whole cluster. Have every client quit, then run the upgrade again.")
              .arg(total)
              .arg(total == 1 ? QStringLiteral("session") : QStringLiteral("sessions"))
              .arg(total == 1 ? QStringLiteral("is") : QStringLiteral("are"))
              .arg(where.join(QStringLiteral("; "))));
}
