#pragma once
// The event log's monthly roll-over keeps the entries it removes in a backup
// file (CEventLoggerBackupCreator) in the folder the user chose. The
// application installs the writer at start-up.
#include <QString>

#include <functional>

class TVXEventLogAccess;

// The user default naming the backup folder.
inline const QString kEventLoggerDatabaseLocationKey = QStringLiteral("EventLoggerDatabaseLocation");

// The folder under the user default, or the home folder's "Documents/Tolvanex/".
QString eventLogBackupFolder();

// Makes the backup file writer the event log's roll-over handler: each
// roll-over writes its entries to a new file in the folder that `folder`
// gives at that moment, and lets the log be emptied only when the file was
// written whole. Without a store, the shared one's event log.
void installEventLogBackupHandler(TVXEventLogAccess* eventLog = nullptr,
                                  std::function<QString()> folder = eventLogBackupFolder);
