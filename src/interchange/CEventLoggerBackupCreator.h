#pragma once
// The event-log backup file: a saved copy of event-log entries as a CSV file,
// one line per entry with the columns "Date", "Event", "Description", "User"
// and "Computer" (an entry's "Action" is not written). Every field is in the
// plain field encoding and followed by a comma; lines end with CR.
#include "interchange/CStringArray.h"

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariantHash>

#include <string>

// Which log the entries come from; the store's table is the only one.
enum TVXEventLogKind : int {
    eEventLogStore = 0,
};

class CEventLoggerBackupCreator {
public:
    // Entries are dictionaries under the event-log keys; a missing key
    // gives an empty field.
    CEventLoggerBackupCreator(const QList<QVariantHash>& entries, TVXEventLogKind kind = eEventLogStore);

    // The five column names, in file order.
    static const QStringList& columns();
    // Each column name mapped to itself.
    static QHash<QString, QString> eventLogHeader();
    // Adds the entry's five values, in column order, as UTF-8.
    static void convertDictionaryToCStringArray(const QVariantHash& entry, CStringArray& list);

    // The whole file's bytes.
    std::string fileContents() const;
    // Writes the file (owner only) in one piece, replacing any file there; a
    // failed write leaves an earlier file as it was. True when written.
    bool doBackupToPath(const std::string& path) const;

    TVXEventLogKind kind() const { return mKind; }

private:
    QList<QVariantHash> mEntries;
    TVXEventLogKind mKind;
};

// The name of a backup file for a roll-over of the month `month` (its
// abbreviation, "Sep") made at `now`: "EventLog-Sep-20240301-101500.csv".
QString EventLogBackupFileName(const QString& month, const QDateTime& now);

// Writes the entries to a new backup file in `folder` (made when missing):
// named by EventLogBackupFileName, with "-2", "-3", ... before the extension
// when that name is taken, so an earlier backup is never replaced. The
// file's path, or a null string when it could not be written.
QString WriteEventLogBackup(const QString& folder, const QString& month, const QList<QVariantHash>& entries,
                            const QDateTime& now = QDateTime::currentDateTime());
