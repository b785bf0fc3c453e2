// The event log's storage: one row per entry in the log table, read back for
// the viewer, and rolled over once a month after a back-up.
#include "store/eventlog/EventLogStore.h"

#include "store/schema/QueryConstants.h"
#include "store/session/StatementHelpers.h"
#include "store/session/StoreSession.h"
#include "store/eventlog/TVXEventLogger.h"
#include "store/session/Transaction.h"

#include <cppconn/connection.h>
#include <cppconn/exception.h>
#include <cppconn/prepared_statement.h>
#include <cppconn/resultset.h>
#include <cppconn/statement.h>

namespace {

// The same for every row: column 2 of the log table.
constexpr char kTolvanIdColumnText[] = "Tolvan Id";

// The roll-over's read: rows locked until the table is emptied, so that an
// entry another client adds meanwhile is neither lost nor left out of the back-up.
constexpr char kQueryEventLogForRollOver[] = "SELECT * FROM EVENTLOGGERTABLE FOR UPDATE";

QList<TVXEventLogEntry> entriesFromRows(sql::ResultSet& rs)
{
    QList<TVXEventLogEntry> entries;
    while (rs.next()) {
        TVXEventLogEntry entry;
        entry.event = tvxsql::textColumn(rs, 1);
        entry.description = tvxsql::textColumn(rs, 3);
        entry.date = tvxsql::textColumn(rs, 4);
        entry.user = tvxsql::textColumn(rs, 5);
        entry.computer = tvxsql::textColumn(rs, 6);
        entries.append(entry); // no "Action": it is never stored
    }
    return entries;
}

QString monthAbbreviation(int month) { return QLocale::c().monthName(month, QLocale::ShortFormat); }

} // namespace

TVXEventLogStore::TVXEventLogStore(TVXStoreSession& session, const TVXStoreCaches& caches)
    : mDatabase(session)
    , mLogger(std::make_shared<TVXEventLogger>(caches, *this))
{
}

TVXEventLogStore::~TVXEventLogStore() = default;

// The manager's methods of the event log.
TVXEventLogger& TVXEventLogAccess::eventLogger() { return mEventLog->logger(); }
const QList<TVXEventLogEntry>& TVXEventLogAccess::mLogArray() const { return mEventLog->entries(); }
TVXResult TVXEventLogAccess::saveLogsArrayToDatabase(const TVXEventLogEntry& entry) { return mEventLog->save(entry); }
TVXResult TVXEventLogAccess::readSaveLogsArrayToDatabase() { return mEventLog->read(); }
TVXResult TVXEventLogAccess::checkForMonthChangeInEventLoggerTable(const QDateTime& now)
{
    return mEventLog->rollOverAtMonthChange(now);
}
TVXResult TVXEventLogAccess::removeAllLogs() { return mEventLog->removeAll(); }
void TVXEventLogAccess::setEventLogBackupHandler(TVXEventLogBackupHandler handler)
{
    mEventLog->setBackupHandler(std::move(handler));
}
bool TVXEventLogAccess::doBackupInDocumentFolderForLogInQVX(const QString& month) { return mEventLog->backUp(month); }

QStringList TVXEventLogStore::rowValues(const TVXEventLogEntry& entry)
{
    return {entry.event, QString::fromLatin1(kTolvanIdColumnText), entry.description, entry.date, entry.user,
            entry.computer};
}

void TVXEventLogStore::bindRow(sql::PreparedStatement& stmt, int first, const TVXEventLogEntry& entry)
{
    const QStringList values = rowValues(entry);
    for (int i = 0; i < values.size(); ++i)
        stmt.setString(first + i, values.at(i).toStdString());
}

TVXResult TVXEventLogStore::save(const TVXEventLogEntry& entry)
{
    return mDatabase.runStatement(
        [&] {
            const auto guard = mDatabase.lockConnection(); // released before the error path runs
            if (mDatabase.deferLogRowToBatchEnd(entry))
                return kTVXDone;
            const TVXStoreSession::PreparedRef stmt =
                mDatabase.prepareForBatch(mDatabase.liveConnection(), KQueryInsertEventLoggerTable);
            bindRow(*stmt, 1, entry);
            stmt->executeUpdate();
            return kTVXDone;
        },
        kTVXStatementFailed);
}

void TVXEventLogStore::saveBehind(const TVXEventLogEntry& entry)
{
    mDatabase.sendBehindWindow([this, entry] { (void)save(entry); });
}

TVXResult TVXEventLogStore::read()
{
    mEntries.clear();
    return mDatabase.runStatement(
        [&] {
            std::unique_ptr<sql::Statement> stmt(mDatabase.liveConnection().createStatement());
            std::unique_ptr<sql::ResultSet> rs(stmt->executeQuery(KQuerySelectEventLoggerTable));
            mEntries = entriesFromRows(*rs);
            return kTVXDone;
        },
        kTVXStatementFailed);
}

TVXResult TVXEventLogStore::removeAll()
{
    return mDatabase.runStatement(
        [&] {
            std::unique_ptr<sql::Statement> stmt(mDatabase.liveConnection().createStatement());
            stmt->executeUpdate(kDeleteAllLogsFromEventLoggerTable);
            return kTVXDone;
        },
        kTVXStatementFailed);
}

bool TVXEventLogStore::backUp(const QString& month)
{
    return mBackup && mBackup(month, mEntries);
}

TVXResult TVXEventLogAccess::checkForMonthChangeInEventLoggerTable()
{
    return checkForMonthChangeInEventLoggerTable(QDateTime::currentDateTime());
}

TVXResult TVXEventLogStore::rollOverAtMonthChange(const QDateTime& now)
{
    try {
        sql::Connection& connection = mDatabase.liveConnection();
        QString oldest;
        {
            std::unique_ptr<sql::Statement> stmt(connection.createStatement());
            std::unique_ptr<sql::ResultSet> rs(stmt->executeQuery(kMinDateFromEventLoggerTable));
            if (!rs->next() || rs->isNull("MIN(DATE)"))
                return kTVXDone; // an empty log
            oldest = QString::fromStdString(rs->getString("MIN(DATE)").asStdString());
        }
        // Months are compared, not years: an oldest entry of this month in an
        // earlier year keeps the log as it is.
        const QDateTime oldestDate = eventLogDate(oldest);
        if (!oldestDate.isValid())
            return kTVXDone; // a date not of our form decides nothing
        if (oldestDate.date().month() == now.toLocalTime().date().month())
            return kTVXDone;

        tvxsql::Transaction transaction(connection);
        {
            std::unique_ptr<sql::Statement> stmt(connection.createStatement());
            std::unique_ptr<sql::ResultSet> rs(stmt->executeQuery(kQueryEventLogForRollOver));
            mEntries = entriesFromRows(*rs);
        }
        if (mEntries.isEmpty())
            return kTVXDone;
        // Nothing is removed that was not kept first.
        if (!backUp(monthAbbreviation(oldestDate.date().month())))
            return kTVXStatementFailed;
        if (const TVXResult code = removeAll(); code != kTVXDone)
            return code;
        transaction.commit();
        mEntries.clear();
        return kTVXDone;
    } catch (const sql::SQLException& e) {
        return mDatabase.reportDatabaseError(e);
    } catch (const std::exception&) {
        return kTVXStatementFailed;
    }
}
