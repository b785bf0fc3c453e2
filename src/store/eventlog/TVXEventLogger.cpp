#include "store/eventlog/TVXEventLogger.h"

#include "model/TVXRecord.h"
#include "model/TVXType.h"
#include "model/TVXUser.h"
#include "platform/core/MainThread.h"
#include "store/eventlog/EventLogStore.h"
#include "store/SharedStore.h"
#include "store/loading/StoreCaches.h"

#include <pwd.h>
#include <unistd.h>

#include <limits>
#include <vector>

TVXEventLogger::TVXEventLogger(const TVXStoreCaches& caches, TVXEventLogStore& store)
    : mCaches(caches), mStore(store)
{
}

TVXEventLogger& TVXEventLogger::sharedEventLogger()
{
    return sharedstore::eventLog().eventLogger();
}

namespace {

TVXEventLogEntry entryOn(const QString& date, const QString& event, const QString& description,
                         const QString& action, const QString& user, const QString& computer)
{
    const auto orEmpty = [](const QString& text) { return text.isNull() ? QStringLiteral("") : text; };
    TVXEventLogEntry entry;
    entry.date = date;
    entry.event = orEmpty(event);
    entry.description = orEmpty(description);
    entry.action = orEmpty(action);
    entry.user = orEmpty(user);
    entry.computer = orEmpty(computer);
    return entry;
}

} // namespace

TVXEventLogEntry TVXEventLogger::makeEntry(const QDateTime& when, const QString& event,
                                           const QString& description, const QString& action,
                                           const QString& user, const QString& computer)
{
    return entryOn(eventLogDateText(when), event, description, action, user, computer);
}

QString TVXEventLogger::computerUserName()
{
    static const QString name = [] {
        if (const passwd* pw = getpwuid(getuid())) {
            // GECOS: "Full Name,room,work phone,home phone,other".
            const QString gecos = QString::fromLocal8Bit(pw->pw_gecos ? pw->pw_gecos : "");
            const QString fullName = gecos.section(QLatin1Char(','), 0, 0).trimmed();
            if (!fullName.isEmpty())
                return fullName;
            if (pw->pw_name && *pw->pw_name)
                return QString::fromLocal8Bit(pw->pw_name);
        }
        QString login = qEnvironmentVariable("LOGNAME");
        if (login.isEmpty())
            login = qEnvironmentVariable("USER");
        return login;
    }();
    return name;
}

QString TVXEventLogger::actionForResult(TVXResult resultCode, const QString& successText)
{
    return resultCode == kTVXDone ? successText : kEventActionFailed;
}

QString TVXEventLogger::recordDescription(const TVXRecord& record)
{
    const TVXType* type = record.mIsCustomized() && record.mRecordCustomType()
                              ? record.mRecordCustomType().get()
                              : record.mType().get();
    // Bit 0 masks the first field.
    if (type && (type->mTypeMask() & 1) != 0)
        return record.mRecordUID();
    return record.mValue1();
}

TVXResult TVXEventLogger::addLogEvent(const QString& event, const QString& description, const QString& action,
                                const QString& userName)
{
    const TVXEventLogEntry entry = entryNow(event, description, action, userName);
    // A failed store never stops the caller nor hides the event from the viewer.
    const TVXResult code = mStore.save(entry);
    list(entry);
    return code;
}

TVXEventLogEntry TVXEventLogger::noteLogEvent(const QString& event, const QString& description,
                                              const QString& action, const QString& userName)
{
    const TVXEventLogEntry entry = entryNow(event, description, action, userName);
    list(entry);
    return entry;
}

void TVXEventLogger::addLogEventBehind(const QString& event, const QString& description, const QString& action,
                                       const QString& userName)
{
    mStore.saveBehind(noteLogEvent(event, description, action, userName));
}

TVXEventLogEntry TVXEventLogger::entryNow(const QString& event, const QString& description, const QString& action,
                                          const QString& userName) const
{
    QString user = userName;
    if (user.isEmpty() && mCaches.mCurrentUser())
        user = mCaches.mCurrentUser()->mUsername();
    // An import logs thousands of rows a second: the local time's text is
    // made once a second (the log counts whole seconds).
    thread_local qint64 second = std::numeric_limits<qint64>::min();
    thread_local QString date;
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    if (now != second) {
        date = eventLogDateText(QDateTime::fromSecsSinceEpoch(now));
        second = now;
    }
    return entryOn(date, event, description, action, user, computerUserName());
}

void TVXEventLogger::list(const TVXEventLogEntry& entry)
{
    {
        std::lock_guard lock(mMutex);
        mLogArrary.append(entry);
    }
    notifyListeners(entry);
}

TVXResult TVXEventLogger::logOutcome(const QString& event, const QString& description, TVXResult resultCode,
                               const QString& successText)
{
    return addLogEvent(event, description, actionForResult(resultCode, successText));
}

QList<TVXEventLogEntry> TVXEventLogger::logArrary() const
{
    std::lock_guard lock(mMutex);
    return mLogArrary;
}

void TVXEventLogger::clearLog()
{
    std::lock_guard lock(mMutex);
    mLogArrary.clear();
}

void TVXEventLogger::reloadLogDatabase()
{
    const QList<TVXEventLogEntry> stored = mStore.entries();
    std::lock_guard lock(mMutex);
    mLogArrary = stored;
}

TVXEventLogger::ListenerToken TVXEventLogger::addListener(Listener listener)
{
    std::lock_guard lock(mMutex);
    const ListenerToken token = mNextToken++;
    mListeners.emplace(token, std::move(listener));
    return token;
}

void TVXEventLogger::removeListener(ListenerToken token)
{
    std::lock_guard lock(mMutex);
    mListeners.erase(token);
}

void TVXEventLogger::notifyListeners(const TVXEventLogEntry& entry)
{
    if (platform::isMainThread()) {
        deliver(entry);
        return;
    }
    // Queued, not waited for: a worker must not stall on the windows.
    std::weak_ptr<TVXEventLogger> self = weak_from_this();
    platform::performOnMainThread([self, entry] {
        if (const auto logger = self.lock())
            logger->deliver(entry);
    });
}

void TVXEventLogger::deliver(const TVXEventLogEntry& entry)
{
    std::vector<Listener> listeners;
    {
        std::lock_guard lock(mMutex);
        for (const auto& [token, listener] : mListeners)
            listeners.push_back(listener);
    }
    for (const auto& listener : listeners)
        listener(entry);
}
