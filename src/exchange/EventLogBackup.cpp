#include "exchange/EventLogBackup.h"

#include "interchange/CEventLoggerBackupCreator.h"
#include "platform/core/UserDefaults.h"
#include "store/eventlog/EventLogStore.h"
#include "store/SharedStore.h"

#include <QDir>

QString eventLogBackupFolder()
{
    const QString chosen = platform::UserDefaults::value(kEventLoggerDatabaseLocationKey).toString();
    if (!chosen.isEmpty())
        return chosen;
    return QDir::homePath() + QStringLiteral("/Documents/Tolvanex/");
}

void installEventLogBackupHandler(TVXEventLogAccess* eventLog, std::function<QString()> folder)
{
    TVXEventLogAccess& log = eventLog ? *eventLog : sharedstore::eventLog();
    log.setEventLogBackupHandler(
        [folder = std::move(folder)](const QString& month, const QList<TVXEventLogEntry>& entries) {
            QList<QVariantHash> dictionaries;
            dictionaries.reserve(entries.size());
            for (const TVXEventLogEntry& entry : entries)
                dictionaries.append(entry.toHash());
            return !WriteEventLogBackup(folder ? folder() : eventLogBackupFolder(), month, dictionaries).isNull();
        });
}
