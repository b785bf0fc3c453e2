// The store on a local three-node Galera cluster (scripts/store-cluster, started
// by a CTest fixture): two clients on different nodes, a node killed and a node
// cut off under a signed-in client.
#include "model/TVXUser_Admin.h"
#include "platform/core/NotificationCenter.h"
#include "ClusterNodes.h"
#include "support/RecordFixture.h"

#include <cppconn/connection.h>
#include <cppconn/exception.h>
#include <cppconn/resultset.h>
#include <cppconn/statement.h>

#include <QCoreApplication>
#include <QHash>
#include <QImage>
#include <QProcess>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <functional>
#include <iostream>
#include <mutex>
#include <set>
#include <thread>

using namespace teststore;
using namespace clusternodes;

namespace {




// Statements run on one node without replicating them: how a test gives
// each node something of its own, or an older layout under strict modes.
bool nodeExecAlone(int node, const QStringList& statements)
{
    try {
        auto root = rootConnection(clusterPort(node));
        std::unique_ptr<sql::Statement> stmt(root->createStatement());
        stmt->execute("SET SESSION wsrep_on=OFF");
        for (const QString& statement : statements)
            stmt->execute(statement.toStdString());
        return true;
    } catch (const sql::SQLException& e) {
        ADD_FAILURE() << e.what() << " on node " << node;
        return false;
    }
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
    ASSERT_EQ(admin.accountAdmin().addUser(*nina), kTVXDone);
    const QString details = QStringLiteral(
        "SELECT CONCAT_WS('|', Full_name, Email) FROM mysql.user_info WHERE User='nina'");
    for (int node = 1; node <= 3; ++node)
        EXPECT_EQ(nodeValue(node, details), "Nina Neu|nina@example.org") << "node " << node;

    nina->setMFullName("Nina Alt");
    ASSERT_EQ(admin.accountAdmin().replaceUser(*nina), kTVXDone);
    for (int node = 1; node <= 3; ++node)
        EXPECT_EQ(nodeValue(node, details), "Nina Alt|nina@example.org") << "node " << node;

    ASSERT_EQ(admin.accountAdmin().deleteUser(*nina), kTVXDone);
    for (int node = 1; node <= 3; ++node)
        EXPECT_EQ(nodeValue(node, "SELECT COUNT(*) FROM mysql.user_info WHERE User='nina'"), "0") << "node " << node;
}

// Two clients on two nodes replace one record's first value over and over
// (unique values; after an 8 a client reloads and goes on). A trigger of the
// test's own logs every stored change on the node that took it: each must be
// a write answered 0, made from the value it replaced, and each write
// answered 0 must be stored. TVX_CLUSTER_STRESS_WRITES sets the writes per
// client (scripts/cluster-stress runs many more).
TEST_F(Cluster, ARecordReplacedFromTwoNodesLosesNothing)
{
    const int writesPerClient = qEnvironmentVariableIntValue("TVX_CLUSTER_STRESS_WRITES") > 0
        ? qEnvironmentVariableIntValue("TVX_CLUSTER_STRESS_WRITES")
        : 1500;
    ASSERT_TRUE(nodeExec(1, "CREATE TABLE tolvanexdb.STOREDCHANGES (ID BIGINT NOT NULL AUTO_INCREMENT PRIMARY KEY, "
                            "REPLACED TINYBLOB, STORED TINYBLOB) ENGINE=InnoDB"));
    // Made on each node alone: a trigger runs only where the write was
    // taken, and its row then travels with the write.
    for (int node = 1; node <= 3; ++node)
        ASSERT_TRUE(nodeExecAlone(node, {"CREATE TRIGGER tolvanexdb.log_stored_change AFTER UPDATE ON "
                                         "tolvanexdb.RECORDROWS FOR EACH ROW INSERT INTO tolvanexdb.STOREDCHANGES "
                                         "(REPLACED, STORED) VALUES (OLD.FIELD1, NEW.FIELD1)"}));
    ASSERT_EQ(logInBoth(), kTVXDone);
    auto record = newRecord(alice, {"start"});
    const QString id = record->mRecordUID();
    ASSERT_EQ(alice.addRecord(record), kTVXDone);
    ASSERT_EQ(bob.reloadDatabase(), kTVXDone);
    ASSERT_TRUE(bob.caches().mRecords().contains(id));
    // Each client stores once alone: a log that cannot be written shows here, not as thousands of failures.
    for (TVXDataBase* db : {&alice, &bob}) {
        ASSERT_EQ(db->reloadDatabase(), kTVXDone);
        const auto mine = db->caches().mRecords().value(id);
        mine->setMValue1(db == &alice ? QStringLiteral("alone-0") : QStringLiteral("alone-1"));
        ASSERT_EQ(db->replaceRecord(mine), kTVXDone);
    }
    ASSERT_EQ(alice.reloadDatabase(), kTVXDone);

    struct Write {
        QString basedOn; // what the client last read or stored
        TVXResult code;
    };
    std::mutex mutex;
    QHash<QString, Write> writes{{QStringLiteral("alone-0"), {QStringLiteral("start"), kTVXDone}},
                                 {QStringLiteral("alone-1"), {QStringLiteral("alone-0"), kTVXDone}}}; // by value written
    std::atomic<int> failedReloads{0};
    const auto writer = [&](TVXDataBase& db, int who) {
        return [&, who] {
            auto mine = db.caches().mRecords().value(id);
            QString basedOn = mine->valueAtIndex(0);
            for (int i = 0; i < writesPerClient; ++i) {
                const QString value = QStringLiteral("%1-%2").arg(who).arg(i);
                mine->setMValue1(value);
                const TVXResult code = db.replaceRecord(mine);
                {
                    std::lock_guard lock(mutex);
                    writes.insert(value, {basedOn, code});
                }
                if (code == kTVXDone) {
                    basedOn = value;
                    continue;
                }
                if (db.reloadDatabase() != kTVXDone || !db.caches().mRecords().contains(id)) {
                    ++failedReloads;
                    return;
                }
                mine = db.caches().mRecords().value(id);
                basedOn = mine->valueAtIndex(0);
            }
        };
    };
    runTogether({writer(alice, 0), writer(bob, 1)});
    EXPECT_EQ(failedReloads, 0);

    // Every stored change, read where neither client wrote.
    QHash<QString, QString> replacedBy; // value stored -> value it replaced
    int storedChanges = 0;
    {
        auto root = rootConnection(clusterPort(3));
        std::unique_ptr<sql::Statement> stmt(root->createStatement());
        stmt->execute("SET SESSION wsrep_sync_wait=1");
        std::unique_ptr<sql::ResultSet> rs(stmt->executeQuery("SELECT REPLACED, STORED FROM tolvanexdb.STOREDCHANGES "
                                                              "WHERE NOT (REPLACED <=> STORED)"));
        while (rs->next()) {
            const auto bytes = [&](int column) {
                const std::string text = rs->getString(column).asStdString();
                return alice.decryptString(QByteArray(text.data(), qsizetype(text.size())));
            };
            ++storedChanges;
            const QString stored = bytes(2);
            EXPECT_FALSE(replacedBy.contains(stored)) << stored.toStdString() << " was stored twice";
            replacedBy.insert(stored, bytes(1));
        }
    }

    int answeredDone = 0, otherCodes = 0, lost = 0, falseSuccesses = 0, storedUnanswered = 0;
    for (auto it = writes.cbegin(); it != writes.cend(); ++it) {
        const Write& write = it.value();
        const bool stored = replacedBy.contains(it.key());
        if (write.code == kTVXDone) {
            ++answeredDone;
            if (!stored) {
                ++falseSuccesses;
                ADD_FAILURE() << it.key().toStdString() << " was answered 0 but never stored";
            } else if (replacedBy.value(it.key()) != write.basedOn) {
                // It overwrote a value its client never saw: that one is lost.
                ++lost;
                ADD_FAILURE() << it.key().toStdString() << " was made from " << write.basedOn.toStdString()
                              << " but replaced " << replacedBy.value(it.key()).toStdString();
            }
        } else {
            // Counted, not failed: this server now and then loads the test's
            // trigger broken ("Unknown trigger has an error in its body") on
            // a node, and that client's writes are then refused, honestly.
            if (write.code != kTVXReloadFirst)
                ++otherCodes;
            if (stored) {
                ++storedUnanswered;
                ADD_FAILURE() << it.key().toStdString() << " answered " << write.code << " but was stored";
            }
        }
    }
    EXPECT_EQ(storedChanges, answeredDone);
    std::cout << "contended writes: " << writes.size() << ", answered 0: " << answeredDone
              << ", stored changes: " << storedChanges << ", lost: " << lost
              << ", false successes: " << falseSuccesses << ", stored though refused: " << storedUnanswered
              << ", other answers: " << otherCodes << std::endl;

    // What the record holds at the end is the last change stored.
    TVXDataBase reader;
    ASSERT_EQ(logInOn(reader, 3, kUserName, kUserPassword), kTVXDone);
    const QString final = reader.caches().mRecords().value(id)->valueAtIndex(0);
    EXPECT_TRUE(final == QLatin1String("start") ? storedChanges == 0 : replacedBy.contains(final));
    EXPECT_FALSE(std::any_of(replacedBy.cbegin(), replacedBy.cend(), [&](const QString& v) { return v == final; }))
        << final.toStdString() << " was replaced, yet is what the record holds";
}

// A group's edits from two nodes, each one call: every edit answered 0 is
// stored once and replaced the row its client had read, none refused is
// stored, and the row and its lists always stand together.
TEST_F(Cluster, AGroupEditedFromTwoNodesKeepsItsRowAndListsTogether)
{
    const int writesPerClient = qEnvironmentVariableIntValue("TVX_CLUSTER_STRESS_WRITES") > 0
        ? qEnvironmentVariableIntValue("TVX_CLUSTER_STRESS_WRITES") / 5
        : 300;
    ASSERT_TRUE(nodeExec(1, "CREATE TABLE tolvanexdb.STOREDGROUPCHANGES (ID BIGINT NOT NULL AUTO_INCREMENT "
                            "PRIMARY KEY, REPLACED TINYBLOB, STORED TINYBLOB) ENGINE=InnoDB"));
    for (int node = 1; node <= 3; ++node)
        ASSERT_TRUE(nodeExecAlone(node, {"CREATE TRIGGER tolvanexdb.log_stored_group_change AFTER UPDATE ON "
                                         "tolvanexdb.GROUPTABLE FOR EACH ROW INSERT INTO "
                                         "tolvanexdb.STOREDGROUPCHANGES (REPLACED, STORED) VALUES (OLD.NAME, NEW.NAME)"}));
    ASSERT_EQ(logInBoth(), kTVXDone);
    // Each write's one sub-group names the write (no such group need exist).
    const auto subGroupOf = [](const QString& name) {
        return QStringLiteral("%1").arg(QString::fromLatin1(name.toLatin1().toHex()), 16, QLatin1Char('0')).right(16);
    };

    struct Write {
        QString basedOn;
        TVXResult code;
    };
    std::mutex mutex;
    QHash<QString, Write> writes;
    std::atomic<int> failedReloads{0};
    const QStringList members{aliceID, bobID};
    const auto writer = [&](TVXDataBase& db, int who) {
        return [&, who] {
            QString basedOn = db.caches().mGroups().value(G1)->mGroupName();
            for (int i = 0; i < writesPerClient; ++i) {
                const QString name = QStringLiteral("%1-%2").arg(who).arg(i);
                auto edited = std::make_shared<BMGroup>();
                edited->setMGroupUID(G1);
                edited->setMGroupName(name);
                edited->setMUserMembersArray(members);
                edited->setMSubGroupsUID({subGroupOf(name)});
                edited->setMRecordLevelPermissions(7);
                edited->setMPreferencePermissions(true);
                const TVXResult code = db.updateGroup(edited);
                {
                    std::lock_guard lock(mutex);
                    writes.insert(name, {basedOn, code});
                }
                if (code == kTVXDone) {
                    basedOn = name;
                    continue;
                }
                if (db.reloadDatabase() != kTVXDone || !db.caches().mGroups().contains(G1)) {
                    ++failedReloads;
                    return;
                }
                basedOn = db.caches().mGroups().value(G1)->mGroupName();
            }
        };
    };
    runTogether({writer(alice, 0), writer(bob, 1)});
    EXPECT_EQ(failedReloads, 0);

    QHash<QString, QString> replacedBy; // name stored -> name it replaced
    {
        auto root = rootConnection(clusterPort(3));
        std::unique_ptr<sql::Statement> stmt(root->createStatement());
        stmt->execute("SET SESSION wsrep_sync_wait=1");
        std::unique_ptr<sql::ResultSet> rs(
            stmt->executeQuery("SELECT REPLACED, STORED FROM tolvanexdb.STOREDGROUPCHANGES"));
        while (rs->next()) {
            const auto name = [&](int column) {
                const std::string text = rs->getString(column).asStdString();
                return alice.decryptString(QByteArray(text.data(), qsizetype(text.size())));
            };
            const QString stored = name(2);
            EXPECT_FALSE(replacedBy.contains(stored)) << stored.toStdString() << " was stored twice";
            replacedBy.insert(stored, name(1));
        }
    }
    int answeredDone = 0;
    for (auto it = writes.cbegin(); it != writes.cend(); ++it) {
        const bool stored = replacedBy.contains(it.key());
        if (it.value().code == kTVXDone) {
            ++answeredDone;
            EXPECT_TRUE(stored) << it.key().toStdString() << " was answered 0 but never stored";
            if (stored)
                EXPECT_EQ(replacedBy.value(it.key()), it.value().basedOn)
                    << it.key().toStdString() << " replaced a name its client never saw";
        } else {
            EXPECT_FALSE(stored) << it.key().toStdString() << " answered " << it.value().code << " but was stored";
        }
    }
    EXPECT_EQ(replacedBy.size(), answeredDone);
    EXPECT_GT(answeredDone, 0);
    std::cout << "contended group edits: " << writes.size() << ", answered 0: " << answeredDone << std::endl;

    // The lists on the third node are those of the name stored last.
    TVXDataBase reader;
    ASSERT_EQ(logInOn(reader, 3, kUserName, kUserPassword), kTVXDone);
    const auto final = reader.caches().mGroups().value(G1);
    ASSERT_TRUE(final);
    EXPECT_EQ(final->mSubGroupsUID(), QStringList{subGroupOf(final->mGroupName())});
    QStringList stored = final->mUserMembersArray();
    stored.sort();
    QStringList expected = members;
    expected.sort();
    EXPECT_EQ(stored, expected);
}

// An older store's tables on every node, as a cluster in the modes
// scripts/store-cluster sets can still hold them: no keys, a MyISAM
// user_info whose rows each node keeps for itself, a custom icon number
// taken twice. One run of the upgrade on node 1 brings every node up to date.
TEST_F(Cluster, AnOlderStoreIsUpgradedInOneRunUnderStrictReplication)
{
    ASSERT_EQ(nodeValue(1, "SELECT @@wsrep_mode"), "STRICT_REPLICATION,REQUIRED_PRIMARY_KEY");
    for (int node = 1; node <= 3; ++node) {
        QStringList older = olderStoreRules();
        for (const char* table : {"MOSTVIEWEDTABLE", "RECENTLYVIEWEDTABLE", "RECENTLYMODIFIEDTABLE",
                                  "RECENTLYADDEDTABLE", "EVENTLOGGERTABLE"})
            older << QStringLiteral("ALTER TABLE tolvanexdb.%1 DROP PRIMARY KEY, DROP COLUMN ROWKEY").arg(table);
        older << QStringLiteral("ALTER TABLE tolvanexdb.CUSTOMICONTABLE DROP PRIMARY KEY, ADD KEY ICONINDEX (ICONINDEX)")
              << QStringLiteral("ALTER TABLE mysql.user_info ENGINE=MyISAM")
              << QStringLiteral("INSERT INTO tolvanexdb.EVENTLOGGERTABLE VALUES ('third', '', '', '', '', ''), "
                                "('first', '', '', '', '', ''), ('second', '', '', '', '', '')")
              << QStringLiteral("INSERT INTO tolvanexdb.CUSTOMICONTABLE VALUES (1001, 'A'), (1002, 'B'), (1001, 'C')")
              << QStringLiteral("REPLACE INTO mysql.user_info (User, Full_name) VALUES ('alice', '%1')")
                     .arg(node == 1 ? QStringLiteral("Alice Adams") : QStringLiteral("only on node %1").arg(node));
        ASSERT_TRUE(nodeExecAlone(node, older));
    }
    const QString accounts = QStringLiteral("SELECT GROUP_CONCAT(User, '=', IFNULL(Full_name, '') ORDER BY User) "
                                            "FROM mysql.user_info");
    const QString nodeOneAccounts = nodeValue(1, accounts);
    ASSERT_TRUE(nodeOneAccounts.contains("alice=Alice Adams")) << nodeOneAccounts.toStdString();

    TVXStoreCreator creator(rootConnection(clusterPort(1)));
    const StoreResult result = creator.upgradeSchema();
    ASSERT_TRUE(result.ok) << result.message.toStdString();
    EXPECT_TRUE(result.message.contains("1003")) << result.message.toStdString();
    for (int node = 1; node <= 3; ++node) {
        EXPECT_EQ(nodeValue(node, "SELECT GROUP_CONCAT(EVENT ORDER BY ROWKEY) FROM tolvanexdb.EVENTLOGGERTABLE"),
                  "third,first,second")
            << "node " << node;
        EXPECT_EQ(nodeValue(node, "SELECT GROUP_CONCAT(ICONINDEX, DATA ORDER BY ICONINDEX) FROM "
                                  "tolvanexdb.CUSTOMICONTABLE"),
                  "1001C,1002B,1003A")
            << "node " << node;
        EXPECT_EQ(nodeValue(node, "SELECT COUNT(*) FROM information_schema.TABLE_CONSTRAINTS WHERE "
                                  "TABLE_SCHEMA='tolvanexdb' AND CONSTRAINT_TYPE='PRIMARY KEY'"),
                  nodeValue(node, "SELECT COUNT(*) FROM information_schema.TABLES WHERE "
                                  "TABLE_SCHEMA='tolvanexdb' AND TABLE_TYPE='BASE TABLE'"))
            << "node " << node;
        EXPECT_EQ(nodeValue(node, "SELECT GROUP_CONCAT(TABLE_NAME, ENGINE) FROM information_schema.TABLES WHERE "
                                  "TABLE_SCHEMA='mysql' AND TABLE_NAME LIKE 'user\\_info%'"),
                  "user_infoInnoDB")
            << "node " << node;
        EXPECT_EQ(nodeValue(node, accounts), nodeOneAccounts) << "node " << node;
    }
    // A store account signs in on another node and writes there.
    TVXDataBase client;
    ASSERT_EQ(logInOn(client, 2, kUserName, kUserPassword), kTVXDone);
    EXPECT_EQ(client.addRecord(newRecord(client, {"after the upgrade"})), kTVXDone);

    const StoreResult again = creator.upgradeSchema();
    EXPECT_TRUE(again.ok);
    EXPECT_EQ(again.message, "The store's tables are up to date.");
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
                const QByteArray png = TVXIconsAccess::iconPNGForPicture(picture);
                int number = 0;
                const TVXResult code = db.icons().insertCustomIconWithIndex(&number, png);
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
        if (!bob.caches().mRecords().contains(record->mRecordUID()))
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
        // The server lost inside each write: the lost connection, told once.
        LostNotices notices;
        EXPECT_EQ(client.addRecord(newRecord(client, {"after the crash"})), kTVXClientError);
        const auto kept = client.caches().mRecords().value(stored.first());
        kept->setMValue1(QStringLiteral("changed after the crash"));
        EXPECT_EQ(client.replaceRecord(kept), kTVXClientError);
        EXPECT_EQ(client.deleteRecord(client.caches().mRecords().value(stored.last())), kTVXClientError);
        EXPECT_EQ(notices.count, 1);
        EXPECT_TRUE(client.isConnectionLostHandlerOn());
    }

    // Logged in again on another node: everything it was told was stored is there.
    TVXDataBase again;
    ASSERT_EQ(logInOn(again, 1, kUserName, kUserPassword), kTVXDone);
    for (const QString& id : stored)
        EXPECT_TRUE(again.caches().mRecords().contains(id)) << id.toStdString();

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
    auto record = newRecord(client, {"before the cut"});
    ASSERT_EQ(client.addRecord(record), kTVXDone);
    ASSERT_TRUE(nodeExec(3, QStringLiteral("SET GLOBAL wsrep_provider_options='gmcast.isolate=1'")));
    for (int i = 0; i < 60 * TVX_TEST_TIME_SCALE && nodeStatus(3, "wsrep_cluster_status") == QLatin1String("Primary"); ++i)
        QThread::msleep(250);
    ASSERT_NE(nodeStatus(3, "wsrep_cluster_status"), "Primary");

    {
        // Reload and every write answer the lost connection, and it is told once.
        LostNotices notices;
        EXPECT_EQ(client.reloadDatabase(), kTVXClientError);
        EXPECT_EQ(client.addRecord(newRecord(client, {"cut off"})), kTVXClientError);
        record->setMValue1(QStringLiteral("changed while cut off"));
        EXPECT_EQ(client.replaceRecord(record), kTVXClientError);
        EXPECT_EQ(client.deleteRecord(record), kTVXClientError);
        EXPECT_EQ(notices.count, 1);
    }
    EXPECT_EQ(nodeValue(1, QStringLiteral("SELECT COUNT(*) FROM tolvanexdb.RECORDTABLE WHERE RECORDID='%1'")
                               .arg(record->mRecordUID())),
              "1");
    // A log-in there meets a server that cannot serve it.
    auto request = loginRequest();
    request[kLoginPortNumber] = QString::number(clusterPort(3));
    TVXDataBase late;
    EXPECT_EQ(late.startConnectionToServer(request), kTVXHostUnreachable);
}

namespace {

// tvx-create-store against node 1 as root; its exit code, or -1 when it was
// still running after a minute (then it is killed).
int runToolOnNodeOne(const QStringList& arguments, QString* output)
{
    QProcess tool;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("TVX_ADMIN_PASSWORD", "");
    tool.setProcessEnvironment(env);
    tool.setProcessChannelMode(QProcess::MergedChannels);
    tool.start(QStringLiteral(TVX_CREATE_STORE_TOOL), QStringList{"--port", QString::number(clusterPort(1)), "--tls-ca", caFile()} + arguments);
    const bool finished = tool.waitForFinished(60000 * TVX_TEST_TIME_SCALE);
    if (!finished) {
        tool.kill();
        tool.waitForFinished();
    }
    *output = QString::fromUtf8(tool.readAll());
    return finished ? tool.exitCode() : -1;
}

} // namespace

// The upgrade replaces the store's triggers in total order on every node; one
// that met a client's replicated write once froze the whole cluster. With a
// client writing on another node it now refuses before changing anything,
// saying how many sessions and where, while the writes go on; once the
// clients have quit it runs, and a second run finds nothing to do.
TEST_F(Cluster, AnUpgradeWhileAClientWritesOnAnotherNodeRefusesAndTheClusterStaysWritable)
{
    seed.reset(); // the fixture's own session in the store
    {
        TVXDataBase writer;
        ASSERT_EQ(logInOn(writer, 2, "bob", "bob-pw"), kTVXDone);
        std::atomic<bool> stop{false};
        std::atomic<int> stored{0}, failed{0}, storedWhileTheToolRan{0};
        int code = 0;
        QString output;
        runTogether({[&] {
                         while (!stop) {
                             if (writer.addRecord(newRecord(writer, {"written during the upgrade"})) == kTVXDone)
                                 ++stored;
                             else
                                 ++failed;
                         }
                     },
                     [&] {
                         while (stored == 0 && failed == 0)
                             QThread::msleep(10);
                         code = runToolOnNodeOne({"--upgrade-schema"}, &output);
                         storedWhileTheToolRan = stored.load();
                         QThread::msleep(500);
                         stop = true;
                     }});
        EXPECT_EQ(code, 1) << output.toStdString();
        EXPECT_TRUE(output.contains(QStringLiteral("1 session of the store's clients is connected: 1 on 127.0.0.1:%1 "
                                                   "(bob from ")
                                        .arg(clusterPort(2))))
            << output.toStdString();
        EXPECT_TRUE(output.contains("--force")) << output.toStdString();
        EXPECT_EQ(failed, 0);
        EXPECT_GT(stored, storedWhileTheToolRan);
    }
    // Every node still takes writes.
    for (int node = 1; node <= 3; ++node) {
        TVXDataBase client;
        ASSERT_EQ(logInOn(client, node, kUserName, kUserPassword), kTVXDone) << "node " << node;
        EXPECT_EQ(client.addRecord(newRecord(client, {"after the refusal"})), kTVXDone) << "node " << node;
    }

    QString output;
    EXPECT_EQ(runToolOnNodeOne({"--upgrade-schema"}, &output), 0) << output.toStdString();
    EXPECT_TRUE(output.contains("The store's tables are up to date.")) << output.toStdString();
    TVXDataBase after;
    ASSERT_EQ(logInOn(after, 3, kUserName, kUserPassword), kTVXDone);
    EXPECT_EQ(after.addRecord(newRecord(after, {"after the upgrade"})), kTVXDone);
}

// Node 3 is cut off while its client writes record after record, so that a
// commit is under way when the node leaves the primary component (the server
// then answers "error during COMMIT", 1180). That write and every later one
// answer the lost connection, told once, and every write answered 0 is on the
// nodes that stayed.
TEST_F(Cluster, ACommitUnderWayWhenItsNodeIsCutOffIsALostConnection)
{
    TVXDataBase client;
    ASSERT_EQ(logInOn(client, 3, kUserName, kUserPassword), kTVXDone);
    LostNotices notices;
    QStringList answeredDone;
    QList<TVXResult> otherAnswers;
    std::atomic<int> writes{0};
    std::atomic<bool> done{false};
    bool isolated = false;
    // The lost connection is told on the main thread, which runTogether keeps serving.
    runTogether({[&] {
                     for (int i = 0; i < 100000 && otherAnswers.size() < 3; ++i) {
                         auto record = newRecord(client, {QStringLiteral("cut %1").arg(i)});
                         const TVXResult code = client.addRecord(record);
                         if (code == kTVXDone)
                             answeredDone << record->mRecordUID();
                         else
                             otherAnswers << code;
                         ++writes;
                     }
                     done = true;
                 },
                 [&] {
                     while (writes < 20 && !done)
                         QThread::msleep(5);
                     isolated = nodeExec(3, QStringLiteral("SET GLOBAL wsrep_provider_options='gmcast.isolate=1'"));
                 }});
    ASSERT_TRUE(isolated);
    EXPECT_EQ(otherAnswers, QList<TVXResult>(3, kTVXClientError));
    EXPECT_EQ(notices.count, 1);

    const QString stored = QStringLiteral("SELECT COUNT(*) FROM tolvanexdb.RECORDTABLE WHERE RECORDID IN ('%1')")
                               .arg(answeredDone.join("','"));
    EXPECT_EQ(nodeValue(1, stored).toInt(), answeredDone.size());
    ASSERT_NO_FATAL_FAILURE(ensureWholeCluster());
    EXPECT_EQ(nodeValue(3, stored).toInt(), answeredDone.size());
}

// Node 3 is cut off while its client deletes many records, a few records'
// calls and commits a round trip: every record answered deleted is gone on
// the nodes that stayed, the one under way answers the lost connection, and
// no later round trip is sent (those of its own round trip after it may have
// gone or not: none is answered deleted).
TEST_F(Cluster, ADeleteOfManyRecordsCutOffOnItsNodeAnswersOnlyWhatTheOthersCommitted)
{
    TVXDataBase client;
    ASSERT_EQ(logInOn(client, 3, kUserName, kUserPassword), kTVXDone);
    QList<std::shared_ptr<TVXRecord>> records;
    for (int i = 0; i < 600; ++i) {
        records << newRecord(client, {QStringLiteral("doomed %1").arg(i)});
        ASSERT_EQ(client.addRecord(records.last()), kTVXDone);
    }
    LostNotices notices;
    QList<TVXResult> codes;
    std::atomic<int> roundTrips{0};
    std::atomic<bool> done{false};
    bool isolated = false;
    runTogether({[&] {
                     for (qsizetype first = 0; first < records.size(); first += TVXRecordWriter::kDeletesPerRoundTrip) {
                         const QList<TVXResult> answered =
                             client.deleteRecords(records.mid(first, TVXRecordWriter::kDeletesPerRoundTrip));
                         codes += answered;
                         ++roundTrips;
                         if (answered.isEmpty() || answered.last() != kTVXDone)
                             break;
                     }
                     done = true;
                 },
                 [&] {
                     while (roundTrips < 3 && !done)
                         QThread::msleep(1);
                     isolated = nodeExec(3, QStringLiteral("SET GLOBAL wsrep_provider_options='gmcast.isolate=1'"));
                 }});
    ASSERT_TRUE(isolated);
    ASSERT_FALSE(codes.isEmpty());
    ASSERT_LT(codes.size(), records.size()) << "cut off before the end";
    EXPECT_EQ(codes.last(), kTVXClientError);
    EXPECT_EQ(codes.count(kTVXDone), codes.size() - 1);
    EXPECT_EQ(notices.count, 1);

    QStringList deleted;
    QStringList notTried;
    const qsizetype failed = codes.size() - 1;
    const qsizetype sentUpTo = (failed / TVXRecordWriter::kDeletesPerRoundTrip + 1) * TVXRecordWriter::kDeletesPerRoundTrip;
    for (qsizetype i = 0; i < records.size(); ++i)
        if (i < failed)
            deleted << records.at(i)->mRecordUID();
        else if (i >= sentUpTo)
            notTried << records.at(i)->mRecordUID();
    const auto storedOf = [](const QStringList& ids) {
        return QStringLiteral("SELECT COUNT(*) FROM tolvanexdb.RECORDTABLE WHERE RECORDID IN ('%1')").arg(ids.join("','"));
    };
    for (qsizetype i = 0; i < codes.size(); ++i)
        if (nodeValue(1, storedOf({records.at(i)->mRecordUID()})) != "0")
            fprintf(stderr, "DBG still stored: %lld of %lld answered\n", (long long)i, (long long)codes.size());
    EXPECT_EQ(nodeValue(1, storedOf(deleted)).toInt(), 0);
    EXPECT_EQ(nodeValue(1, storedOf(notTried)).toInt(), notTried.size());
    ASSERT_NO_FATAL_FAILURE(ensureWholeCluster());
    EXPECT_EQ(nodeValue(3, storedOf(deleted)).toInt(), 0);
    EXPECT_EQ(nodeValue(3, storedOf(notTried)).toInt(), notTried.size());
}
