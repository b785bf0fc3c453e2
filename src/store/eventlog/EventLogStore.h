#pragma once
// The event log's storage, owned by the database manager: one row per entry in
// the log table, the entries read back for the viewer, and the monthly roll-over
// after a back-up. The manager's methods of the same names forward here.
#include "store/session/ResultCodes.h"
#include "store/eventlog/TVXEventLogEntry.h"

#include <QDateTime>
#include <QList>

#include <memory>
#include <string>

namespace sql {
class PreparedStatement;
}
class TVXEventLogger;
class TVXStoreCaches;
class TVXStoreSession;

class TVXEventLogStore {
public:
    // The logger reads the signed-in user from the caches.
    TVXEventLogStore(TVXStoreSession& session, const TVXStoreCaches& caches);
    ~TVXEventLogStore();

    // The service that records the manager's events; every writer logs through it.
    TVXEventLogger& logger() { return *mLogger; }
    // The entries read back from the store (without "Action"); empty until read.
    const QList<TVXEventLogEntry>& entries() const { return mEntries; }
    // Store one entry as a row of the log table. 0 stored, 3 failed.
    TVXResult save(const TVXEventLogEntry& entry);
    // The same behind the window (store/writers/WriteBehind.h): a failure goes to the error path only.
    void saveBehind(const TVXEventLogEntry& entry);
    // Replace the entries with the table's rows. 0, or 3 (then empty).
    TVXResult read();
    // When the oldest entry is of another month than now (month only, any
    // year): back the entries up, then empty the table. Nothing is removed
    // unless the back-up handler kept them. 0 done or nothing to do, 3 failed.
    TVXResult rollOverAtMonthChange(const QDateTime& now);
    // Empty the log table. 0 or 3.
    TVXResult removeAll();
    // Where the roll-over saves the entries; none installed means no roll-over.
    void setBackupHandler(TVXEventLogBackupHandler handler) { mBackup = std::move(handler); }
    // Hands the entries to the back-up handler; true when it kept them.
    bool backUp(const QString& month);

    // One entry of the log table's insert bound from placeholder `first` on.
    static void bindRow(sql::PreparedStatement& stmt, int first, const TVXEventLogEntry& entry);
    // The same six values in the same order, for a call sent as text.
    static QStringList rowValues(const TVXEventLogEntry& entry);

private:
    TVXStoreSession& mDatabase;
    QList<TVXEventLogEntry> mEntries;
    TVXEventLogBackupHandler mBackup;
    std::shared_ptr<TVXEventLogger> mLogger;
};

// The manager holds one of these: its calls of the event log are declared
// here, beside the store that keeps the entries.
class TVXEventLogAccess {
public:
    TVXEventLogger& eventLogger();
    const QList<TVXEventLogEntry>& mLogArray() const;
    TVXResult saveLogsArrayToDatabase(const TVXEventLogEntry& entry);
    TVXResult readSaveLogsArrayToDatabase();
    TVXResult checkForMonthChangeInEventLoggerTable();
    TVXResult checkForMonthChangeInEventLoggerTable(const QDateTime& now);
    TVXResult removeAllLogs();
    void setEventLogBackupHandler(TVXEventLogBackupHandler handler);
    bool doBackupInDocumentFolderForLogInQVX(const QString& month);

    TVXEventLogAccess(TVXStoreSession& store, const TVXStoreCaches& caches)
        : mEventLog(std::make_unique<TVXEventLogStore>(store, caches))
    {
    }


private:
    friend class TVXDataBase;
    std::unique_ptr<TVXEventLogStore> mEventLog;
};
