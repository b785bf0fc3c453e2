// The store on a local three-node Galera cluster (scripts/store-cluster, started
// by a CTest fixture): two clients on different nodes, a node killed and a node
// cut off under a signed-in client.
#include "model/TVXUser_Admin.h"
#include "platform/core/NotificationCenter.h"
#include "support/RecordFixture.h"

#include <cppconn/connection.h>
#include <cppconn/exception.h>
#include <cppconn/resultset.h>
#include <cppconn/statement.h>

#include <QCoreApplication>
#include <QImage>
#include <QProcess>
#include <QThread>

#include <atomic>
#include <functional>
#include <mutex>
#include <set>
#include <thread>

using namespace teststore;

namespace {

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
QString nodeValue(int node, const QString& query, int column = 1)
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
    return process.waitForFinished(600000) && process.exitCode() == 0;
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
    for (int i = 0; i < 120 && !wholeCluster(); ++i) {
        if (i == 20 || (i == 0 && nodeStatus(1, "wsrep_cluster_size").isNull())) {
            ASSERT_TRUE(clusterScript({QStringLiteral("start")}));
        }
        QThread::msleep(500);
    }
    ASSERT_TRUE(wholeCluster()) << "the cluster did not come together again";
}

TVXResult logInOn(TVXDataBase& db, int node, const QString& user, const QString& password)
{
    auto request = loginRequest(user, password);
    request[kLoginPortNumber] = QString::number(clusterPort(node));
    TVXResult code = db.startConnectionToServer(request);
    if (code == kTVXDone)
        code = db.initUserDetails(user, password);
    return code == kTVXDone ? db.loadDataBase() : code;
}

struct LostNotices {
    LostNotices()
    {
        token = platform::NotificationCenter::defaultCenter().addObserver(
            kDBCommLostNotification, [this](const platform::Notification&) { ++count; });
    }
    ~LostNotices() { platform::NotificationCenter::defaultCenter().removeObserver(token); }
    platform::NotificationCenter::Token token = 0;
    std::atomic<int> count{0};
};

// alice signs in on node 1, bob on node 2 (after logInBoth).
class Cluster : public RecordFixture {
protected:
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(ensureWholeCluster());
        useServerPort(clusterPort(1));
        RecordFixture::SetUp();
        // The accounts just made, on every node before anyone signs in there.
        for (int node = 2; node <= 3; ++node)
            ASSERT_EQ(nodeValue(node, "SELECT COUNT(*) FROM mysql.global_priv WHERE User='bob'"), "1");
    }

    TVXResult logInBoth()
    {
        const TVXResult code = logInOn(alice, 1, kUserName, kUserPassword);
        return code != kTVXDone ? code : logInOn(bob, 2, "bob", "bob-pw");
    }
};

} // namespace

TEST_F(Cluster, AccountDetailsAreTheSameOnEveryNode)
{
    addAccount("boss", "boss-pw", true);
    TVXDataBase admin;
    ASSERT_EQ(logInOn(admin, 1, "boss", "boss-pw"), kTVXDone);
    auto nina = TVXUser_Admin::createUser();
    nina->setMUsername("nina");
    nina->setMPassword("nina-pw");
    nina->setMFullName("Nina Neu");
    nina->setMEmail("nina@example.org");
    ASSERT_EQ(admin.addUser(*nina), kTVXDone);
    const QString details = QStringLiteral(
        "SELECT CONCAT_WS('|', Full_name, Email) FROM mysql.user_info WHERE User='nina'");
    for (int node = 1; node <= 3; ++node)
        EXPECT_EQ(nodeValue(node, details), "Nina Neu|nina@example.org") << "node " << node;

    nina->setMFullName("Nina Alt");
    ASSERT_EQ(admin.replaceUser(*nina), kTVXDone);
    for (int node = 1; node <= 3; ++node)
        EXPECT_EQ(nodeValue(node, details), "Nina Alt|nina@example.org") << "node " << node;

    ASSERT_EQ(admin.deleteUser(*nina), kTVXDone);
    for (int node = 1; node <= 3; ++node)
        EXPECT_EQ(nodeValue(node, "SELECT COUNT(*) FROM mysql.user_info WHERE User='nina'"), "0") << "node " << node;
}

TEST_F(Cluster, ARecordReplacedFromTwoNodesLosesNothing)
{
    ASSERT_EQ(logInBoth(), kTVXDone);
    auto record = newRecord(alice, {"start"});
    const QString id = record->mRecordUID();
    ASSERT_EQ(alice.addRecord(record), kTVXDone);
    ASSERT_EQ(bob.reloadDatabase(), kTVXDone);
    ASSERT_TRUE(bob.mRecords().contains(id));

    constexpr int kCalls = 200;
    std::mutex mutex;
    std::set<TVXResult> codes;
    QString lastStored[2];
    const auto writer = [&](TVXDataBase& db, int who) {
        return [&, who] {
            const auto mine = db.mRecords().value(id);
            for (int i = 0; i < kCalls; ++i) {
                const QString value = QStringLiteral("%1-%2").arg(who).arg(i);
                mine->setMValue1(value);
                const TVXResult code = db.replaceRecord(mine);
                std::lock_guard lock(mutex);
                codes.insert(code);
                if (code == kTVXDone)
                    lastStored[who] = value;
            }
        };
    };
    runTogether({writer(alice, 0), writer(bob, 1)});
    for (TVXResult code : codes)
        EXPECT_TRUE(code == kTVXDone || code == kTVXReloadFirst) << "a call answered " << code;

    // What the last answered-0 call of one of them stored is there: none went missing.
    TVXDataBase reader;
    ASSERT_EQ(logInOn(reader, 3, kUserName, kUserPassword), kTVXDone);
    const QString final = reader.mRecords().value(id)->valueAtIndex(0);
    EXPECT_TRUE((!lastStored[0].isNull() && final == lastStored[0]) || (!lastStored[1].isNull() && final == lastStored[1]))
        << final.toStdString() << " is neither " << lastStored[0].toStdString() << " nor "
        << lastStored[1].toStdString();
}

TEST_F(Cluster, ViewsCountedFromTwoNodesAllCount)
{
    ASSERT_EQ(logInBoth(), kTVXDone);
    auto record = newRecord(alice, {"popular"});
    const QString id = record->mRecordUID();
    ASSERT_EQ(alice.addRecord(record), kTVXDone);
    const int before = stored("VIEWCOUNT", "RECORDTABLE", id).toInt();
    const auto viewer = [&](TVXDataBase& db) {
        return [&] {
            for (int i = 0; i < 200; ++i)
                db.updateRecordViewCountForRecord(id);
        };
    };
    LostNotices notices;
    runTogether({viewer(alice), viewer(bob)});
    EXPECT_EQ(nodeValue(3, QStringLiteral("SELECT VIEWCOUNT FROM tolvanexdb.RECORDTABLE WHERE RECORDID='%1'").arg(id))
                  .toInt(),
              before + 400);
    EXPECT_EQ(notices.count, 0);
}

TEST_F(Cluster, IconsAddedFromTwoNodesGetNumbersAndPicturesOfTheirOwn)
{
    ASSERT_EQ(logInBoth(), kTVXDone);
    std::mutex mutex;
    QList<QPair<int, QByteArray>> told;
    bool failed = false;
    const auto adder = [&](TVXDataBase& db, int who) {
        return [&, who] {
            for (int i = 0; i < 20; ++i) {
                QImage picture(10 + i, 10 + who, QImage::Format_ARGB32);
                picture.fill(qRgb(who * 120, i * 12, 200));
                const QByteArray png = TVXDataBase::iconPNGForPicture(picture);
                int number = 0;
                const TVXResult code = db.insertCustomIconWithIndex(&number, png);
                std::lock_guard lock(mutex);
                if (code != kTVXDone)
                    failed = true;
                else
                    told.append({number, png});
            }
        };
    };
    runTogether({adder(alice, 0), adder(bob, 1)});
    EXPECT_FALSE(failed);
    ASSERT_EQ(told.size(), 40);
    std::set<int> numbers;
    for (const auto& [number, png] : told) {
        numbers.insert(number);
        EXPECT_EQ(nodeValue(3, QStringLiteral("SELECT HEX(DATA) FROM tolvanexdb.CUSTOMICONTABLE WHERE ICONINDEX=%1")
                                   .arg(number)),
                  QString::fromLatin1(png.toHex().toUpper()))
            << "icon " << number;
    }
    EXPECT_EQ(numbers.size(), 40u);
    EXPECT_EQ(nodeValue(3, "SELECT COUNT(*) FROM tolvanexdb.CUSTOMICONTABLE"), "40");
}

TEST_F(Cluster, AReloadOnOneNodeSeesAWriteJustMadeOnAnother)
{
    ASSERT_EQ(logInBoth(), kTVXDone);
    int missed = 0;
    for (int i = 0; i < 20; ++i) {
        auto record = newRecord(alice, {QStringLiteral("new %1").arg(i)});
        ASSERT_EQ(alice.addRecord(record), kTVXDone);
        ASSERT_EQ(bob.reloadDatabase(), kTVXDone);
        if (!bob.mRecords().contains(record->mRecordUID()))
            ++missed;
    }
    EXPECT_EQ(missed, 0);
}

TEST_F(Cluster, AClientWhoseNodeIsKilledLogsInOnAnotherAndFindsItsRecords)
{
    TVXDataBase client;
    ASSERT_EQ(logInOn(client, 3, kUserName, kUserPassword), kTVXDone);
    QStringList stored;
    for (int i = 0; i < 10; ++i) {
        auto record = newRecord(client, {QStringLiteral("kept %1").arg(i)});
        if (client.addRecord(record) == kTVXDone)
            stored << record->mRecordUID();
    }
    ASSERT_EQ(stored.size(), 10);

    ASSERT_TRUE(clusterScript({QStringLiteral("kill"), QStringLiteral("3")}));
    {
        LostNotices notices;
        EXPECT_NE(client.addRecord(newRecord(client, {"after the crash"})), kTVXDone);
        EXPECT_EQ(notices.count, 1);
        EXPECT_TRUE(client.isConnectionLostHandlerOn());
    }

    // Logged in again on another node: everything it was told was stored is there.
    TVXDataBase again;
    ASSERT_EQ(logInOn(again, 1, kUserName, kUserPassword), kTVXDone);
    for (const QString& id : stored)
        EXPECT_TRUE(again.mRecords().contains(id)) << id.toStdString();

    // Back in the cluster, the node catches up on what it missed.
    ASSERT_NO_FATAL_FAILURE(ensureWholeCluster());
    EXPECT_EQ(nodeValue(3, QStringLiteral("SELECT COUNT(*) FROM tolvanexdb.RECORDTABLE WHERE RECORDID IN ('%1')")
                               .arg(stored.join("','"))),
              "10");
}

TEST_F(Cluster, ANodeCutOffFromTheOthersIsALostConnection)
{
    TVXDataBase client;
    ASSERT_EQ(logInOn(client, 3, kUserName, kUserPassword), kTVXDone);
    ASSERT_TRUE(nodeExec(3, QStringLiteral("SET GLOBAL wsrep_provider_options='gmcast.isolate=1'")));
    for (int i = 0; i < 60 && nodeStatus(3, "wsrep_cluster_status") == QLatin1String("Primary"); ++i)
        QThread::msleep(250);
    ASSERT_NE(nodeStatus(3, "wsrep_cluster_status"), "Primary");

    {
        LostNotices notices;
        EXPECT_EQ(client.reloadDatabase(), kTVXClientError);
        EXPECT_NE(client.addRecord(newRecord(client, {"cut off"})), kTVXDone);
        EXPECT_EQ(notices.count, 1);
    }
    // A log-in there meets a server that cannot serve it.
    auto request = loginRequest();
    request[kLoginPortNumber] = QString::number(clusterPort(3));
    TVXDataBase late;
    EXPECT_EQ(late.startConnectionToServer(request), kTVXHostUnreachable);
}
