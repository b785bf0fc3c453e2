#pragma once
// The event-log service: the one way events enter the log. Each event becomes
// an entry that is stored at once as a row of the log table and appended to
// the list the event-log viewer shows. The viewer wraps this service and
// learns of new entries through a listener.
#include "store/session/ResultCodes.h"
#include "store/eventlog/TVXEventLogEntry.h"

#include <QDateTime>
#include <QList>
#include <QString>

#include <functional>
#include <map>
#include <memory>
#include <mutex>

class TVXEventLogStore;
class TVXRecord;
class TVXStoreCaches;

class TVXEventLogger : public std::enable_shared_from_this<TVXEventLogger> {
public:
    using Listener = std::function<void(const TVXEventLogEntry&)>;
    using ListenerToken = quint64;

    // Logs into the given store, for the signed-in user of the caches; both
    // outlive the service.
    TVXEventLogger(const TVXStoreCaches& caches, TVXEventLogStore& store);
    TVXEventLogger(const TVXEventLogger&) = delete;
    TVXEventLogger& operator=(const TVXEventLogger&) = delete;

    // The service of the shared store: what the application's writers and windows use.
    static TVXEventLogger& sharedEventLogger();

    // Records one event now. A null or empty description or action becomes "";
    // without a user name the signed-in user is taken. The entry
    // reaches the list whether or not the store took it; returns the store's
    // result code (0 or 3). Log an operation only once its outcome is known.
    // Descriptions name what the event concerns and never carry a secret.
    TVXResult addLogEvent(const QString& event, const QString& description = QString(),
                    const QString& action = QString(), const QString& userName = QString());

    // Records an operation after it returned: action `successText` for result
    // 0, "Failed" for any other result.
    // The same for an entry stored later by the caller (a write sent behind
    // the window): listed now, and returned for storing.
    TVXEventLogEntry noteLogEvent(const QString& event, const QString& description, const QString& action,
                                  const QString& userName);
    // An event stored behind the window (a lock): listed now, its row sent
    // after the writes before it; a failure reaches the error path only.
    void addLogEventBehind(const QString& event, const QString& description = QString(),
                           const QString& action = QString(), const QString& userName = QString());
    TVXResult logOutcome(const QString& event, const QString& description, TVXResult resultCode,
                   const QString& successText = kEventActionSuccess);
    static QString actionForResult(TVXResult resultCode, const QString& successText = kEventActionSuccess);

    // A record's description: its first value, unless that field is masked
    // (a secret shown as dots); then the record's identifier.
    static QString recordDescription(const TVXRecord& record);

    // The entry for an event at the given moment, with every key present.
    static TVXEventLogEntry makeEntry(const QDateTime& when, const QString& event,
                                      const QString& description, const QString& action,
                                      const QString& user, const QString& computer);

    // Full name of the desktop account running the client (GECOS), or its
    // login name when it has none.
    static QString computerUserName();

    // The viewer's list: every entry recorded since the last clear or reload.
    QList<TVXEventLogEntry> logArrary() const;
    // Empties the list only; the table keeps its rows.
    void clearLog();
    // Replaces the list with the entries read back from the store.
    void reloadLogDatabase();

    // Called with each new entry, on the main thread.
    ListenerToken addListener(Listener listener);
    void removeListener(ListenerToken token);

    // An entry of now, and listing one whose row a write stored with itself.
    TVXEventLogEntry entryNow(const QString& event, const QString& description, const QString& action,
                              const QString& userName = QString()) const;
    void list(const TVXEventLogEntry& entry); // appended and announced

private:
    void notifyListeners(const TVXEventLogEntry& entry);
    void deliver(const TVXEventLogEntry& entry);

    const TVXStoreCaches& mCaches;
    TVXEventLogStore& mStore;
    mutable std::mutex mMutex; // the import worker logs while the main thread may read
    QList<TVXEventLogEntry> mLogArrary;
    std::map<ListenerToken, Listener> mListeners;
    ListenerToken mNextToken = 1;
};
