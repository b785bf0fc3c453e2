// The event log against a real store: rows as other tools read them, the
// read-back, the monthly roll-over and the service's outcome texts.
#include "platform/core/MainThread.h"
#include "store/TVXDataBase.h"
#include "store/eventlog/TVXEventLogger.h"
#include "support/TestStore.h"

#include <cppconn/connection.h>
#include <cppconn/resultset.h>
#include <cppconn/statement.h>

#include <QCoreApplication>

#include <thread>

using namespace teststore;

namespace {

class EventLog : public StoreTest {
protected:
    void SetUp() override
    {
        StoreTest::SetUp();
        // Reading the log back and rolling it over are an administrator's work.
        makeAdministrator(kUserName);
        ASSERT_EQ(db.startConnectionToServer(loginRequest()), kTVXDone);
        ASSERT_EQ(db.initUserDetails(kUserName, kUserPassword), kTVXDone);
    }

    // Every row of the log table, every column as text, in the server's order.
    static QList<QStringList> tableRows()
    {
        auto root = rootConnection();
        std::unique_ptr<sql::Statement> stmt(root->createStatement());
        std::unique_ptr<sql::ResultSet> rs(stmt->executeQuery("SELECT * FROM tolvanexdb.EVENTLOGGERTABLE"));
        QList<QStringList> rows;
        const int columns = static_cast<int>(rs->getMetaData()->getColumnCount());
        while (rs->next()) {
            QStringList row;
            for (int c = 1; c <= columns; ++c)
                row << QString::fromStdString(rs->getString(c).asStdString());
            rows << row;
        }
        return rows;
    }

    static void rootInsertEntry(const QString& event, const QString& date)
    {
        rootExec(QStringLiteral("INSERT INTO tolvanexdb.EVENTLOGGERTABLE "
                                "VALUES('%1', 'Tolvan Id', 'bank', '%2', 'alice', 'Alice A')")
                     .arg(event, date));
    }

    static QDateTime at(const QString& text) { return eventLogDate(text); }

    TVXDataBase db;
};

struct BackUps {
    TVXEventLogBackupHandler handler(bool keep)
    {
        return [this, keep](const QString& month, const QList<TVXEventLogEntry>& entries) {
            months << month;
            saved = entries;
            return keep;
        };
    }
    QStringList months;
    QList<TVXEventLogEntry> saved;
};

} // namespace

TEST_F(EventLog, AnEntryIsStoredAsSixColumnsWithoutItsAction)
{
    EXPECT_EQ(db.eventLog().eventLogger().addLogEvent("Add Record", "Vertrag–Müller", "Success"), kTVXDone);

    ASSERT_EQ(db.eventLog().eventLogger().logArrary().size(), 1);
    const TVXEventLogEntry entry = db.eventLog().eventLogger().logArrary().first();
    EXPECT_EQ(entry.action, QString("Success"));
    EXPECT_EQ(entry.user, kUserName);

    const auto rows = tableRows();
    ASSERT_EQ(rows.size(), 1);
    EXPECT_EQ(rows.first(), QStringList({"Add Record", "Tolvan Id", "Vertrag–Müller", entry.date, "alice",
                                         TVXEventLogger::computerUserName()}));
    EXPECT_FALSE(rows.first().contains("Success"));
}

TEST_F(EventLog, EntriesReadBackInStoredOrderWithoutAction)
{
    auto& logger = db.eventLog().eventLogger();
    (void)logger.addLogEvent("Add Group", "Finance", "Success");
    (void)logger.addLogEvent("Lock Application");
    ASSERT_EQ(db.eventLog().readSaveLogsArrayToDatabase(), kTVXDone);

    const auto logged = logger.logArrary();
    ASSERT_EQ(db.eventLog().mLogArray().size(), 2);
    for (int i = 0; i < 2; ++i) {
        TVXEventLogEntry expected = logged[i];
        expected.action.reset();
        EXPECT_EQ(db.eventLog().mLogArray()[i], expected);
        EXPECT_FALSE(db.eventLog().mLogArray()[i].toHash().contains(kAction));
    }

    // A second read replaces the list rather than adding to it.
    (void)logger.addLogEvent("Set Password");
    ASSERT_EQ(db.eventLog().readSaveLogsArrayToDatabase(), kTVXDone);
    EXPECT_EQ(db.eventLog().mLogArray().size(), 3);

    // The viewer's reload shows what the store holds.
    logger.reloadLogDatabase();
    EXPECT_EQ(logger.logArrary(), db.eventLog().mLogArray());
}

TEST_F(EventLog, AnOldestEntryOfAnotherMonthIsBackedUpThenTheTableEmptied)
{
    rootInsertEntry("View Record", "2011-08-31 23:59:59");
    rootInsertEntry("Add Record", "2011-09-01 00:00:01");
    BackUps backUps;
    db.eventLog().setEventLogBackupHandler(backUps.handler(true));

    EXPECT_EQ(db.eventLog().checkForMonthChangeInEventLoggerTable(at("2011-09-15 12:00:00")), kTVXDone);
    EXPECT_EQ(backUps.months, QStringList{"Aug"});
    ASSERT_EQ(backUps.saved.size(), 2);
    EXPECT_EQ(backUps.saved[0].event, "View Record");
    EXPECT_EQ(backUps.saved[1].date, "2011-09-01 00:00:01");
    EXPECT_TRUE(tableRows().isEmpty());
    EXPECT_TRUE(db.eventLog().mLogArray().isEmpty());
}

TEST_F(EventLog, AnOldestEntryOfThisMonthKeepsTheLogWhateverItsYear)
{
    BackUps backUps;
    db.eventLog().setEventLogBackupHandler(backUps.handler(true));
    EXPECT_EQ(db.eventLog().checkForMonthChangeInEventLoggerTable(at("2011-09-15 12:00:00")), kTVXDone); // empty log

    rootInsertEntry("View Record", "2011-09-01 00:00:00");
    EXPECT_EQ(db.eventLog().checkForMonthChangeInEventLoggerTable(at("2011-09-30 23:00:00")), kTVXDone);
    rootInsertEntry("View Record", "2009-09-20 10:00:00"); // the same month of an earlier year
    EXPECT_EQ(db.eventLog().checkForMonthChangeInEventLoggerTable(at("2011-09-30 23:00:00")), kTVXDone);

    EXPECT_TRUE(backUps.months.isEmpty());
    EXPECT_EQ(tableRows().size(), 2);
}

TEST_F(EventLog, NothingIsRemovedUnlessTheBackUpKeptIt)
{
    rootInsertEntry("View Record", "2011-08-31 10:00:00");
    const QDateTime september = at("2011-09-15 12:00:00");

    // No back-up installed.
    EXPECT_EQ(db.eventLog().checkForMonthChangeInEventLoggerTable(september), kTVXStatementFailed);
    EXPECT_EQ(tableRows().size(), 1);

    BackUps refusing;
    db.eventLog().setEventLogBackupHandler(refusing.handler(false));
    EXPECT_EQ(db.eventLog().checkForMonthChangeInEventLoggerTable(september), kTVXStatementFailed);
    EXPECT_EQ(refusing.months, QStringList{"Aug"});
    EXPECT_EQ(tableRows().size(), 1);

    // The connection is usable afterwards: nothing was left locked.
    EXPECT_EQ(db.eventLog().eventLogger().addLogEvent("Lock Application"), kTVXDone);
    EXPECT_EQ(tableRows().size(), 2);
}

TEST_F(EventLog, RemoveAllEmptiesTheTable)
{
    (void)db.eventLog().eventLogger().addLogEvent("Lock Application");
    (void)db.eventLog().eventLogger().addLogEvent("Request Hint");
    ASSERT_EQ(tableRows().size(), 2);
    EXPECT_EQ(db.eventLog().removeAllLogs(), kTVXDone);
    EXPECT_TRUE(tableRows().isEmpty());
    // The viewer's list is the service's own and stays.
    EXPECT_EQ(db.eventLog().eventLogger().logArrary().size(), 2);
}

TEST_F(EventLog, AFailedOperationIsLoggedAsFailed)
{
    const TVXResult code = db.recentLists().addRecentlyAddedID("00000000DEADBEEF", aliceID); // no such record
    ASSERT_NE(code, kTVXDone);
    EXPECT_EQ(db.eventLog().eventLogger().logOutcome("Add Record", "bank", code), kTVXDone);
    EXPECT_EQ(db.eventLog().eventLogger().logArrary().last().action, QString("Failed"));
    const auto rows = tableRows();
    ASSERT_EQ(rows.size(), 1);
    EXPECT_EQ(rows[0].mid(0, 3), QStringList({"Add Record", "Tolvan Id", "bank"}));
}

TEST_F(EventLog, AnEntryTheStoreRefusedStillReachesTheViewer)
{
    rootExec("DROP TABLE tolvanexdb.EVENTLOGGERTABLE");
    EXPECT_EQ(db.eventLog().eventLogger().addLogEvent("Lock Application"), kTVXStatementFailed);
    ASSERT_EQ(db.eventLog().eventLogger().logArrary().size(), 1);
    EXPECT_EQ(db.eventLog().eventLogger().logArrary().first().event, "Lock Application");
    EXPECT_EQ(db.eventLog().readSaveLogsArrayToDatabase(), kTVXStatementFailed);
    EXPECT_TRUE(db.eventLog().mLogArray().isEmpty());
}

TEST_F(EventLog, ListenersHearOfWorkerEntriesOnTheMainThread)
{
    int heard = 0;
    bool onMain = true;
    db.eventLog().eventLogger().addListener([&](const TVXEventLogEntry& entry) {
        ++heard;
        onMain = onMain && platform::isMainThread();
        EXPECT_EQ(entry.event, "Add Record");
    });
    std::thread worker([this] { (void)db.eventLog().eventLogger().addLogEvent("Add Record", "imported", "Success"); });
    worker.join();
    EXPECT_EQ(heard, 0); // queued for the main thread
    QCoreApplication::processEvents();
    EXPECT_EQ(heard, 1);
    EXPECT_TRUE(onMain);
    EXPECT_EQ(tableRows().size(), 1);
}

// A write's event row goes in only with the write's transaction: after the
// server undid that transaction under the routine (a cluster's conflict), the
// row would otherwise be stored on its own and then again by the write's retry.
TEST_F(EventLog, AWritesEventRowIsStoredOnlyInsideItsTransaction)
{
    auto alice = accountConnection(kUserName, kUserPassword);
    alice->setSchema("tolvanexdb");
    const QString call = QStringLiteral(
        "CALL TVX_LOG_WRITE('Add Record', 'Tolvan Id', 'bank', '2026-12-10 10:00:00', 'alice', 'pc', @refused)");
    EXPECT_EQ(refusalOf(*alice, call), 1213) << "outside a transaction the write is retried";
    EXPECT_TRUE(tableRows().isEmpty());

    ASSERT_EQ(refusalOf(*alice, "START TRANSACTION"), 0);
    EXPECT_EQ(refusalOf(*alice, call), 0);
    ASSERT_EQ(refusalOf(*alice, "COMMIT"), 0);
    EXPECT_EQ(tableRows().size(), 1);
}
