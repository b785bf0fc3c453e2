#pragma once
// One entry of the event log: who did what, when, from which desktop account.
#include <QDateTime>
#include <QList>
#include <QLocale>
#include <QString>
#include <QStringList>
#include <QVariantHash>

#include <functional>
#include <optional>

// The entry keys, shared with the viewer and the back-up file.
inline const QString kDate = QStringLiteral("Date");
inline const QString kEvent = QStringLiteral("Event");
inline const QString kDescription = QStringLiteral("Description");
inline const QString kAction = QStringLiteral("Action");
inline const QString kUser = QStringLiteral("User");
inline const QString kComputer = QStringLiteral("Computer");

// Outcome texts of operations whose result is known when they are logged.
inline const QString kEventActionSuccess = QStringLiteral("Success");
inline const QString kEventActionFailed = QStringLiteral("Failed");

// "%Y-%m-%d %H:%M:%S", local time, 24-hour clock. Texts of this form sort as
// their dates do, which the store's MIN(DATE) relies on.
inline const QString kEventLogDateFormat = QStringLiteral("yyyy-MM-dd HH:mm:ss");

struct TVXEventLogEntry {
    QString date;
    QString event;
    QString description;
    // Kept in memory only: entries read back from the store have none.
    std::optional<QString> action;
    QString user;
    QString computer;

    // Every key, in the order the viewer lists them.
    static QStringList keys() { return {kDate, kEvent, kDescription, kAction, kUser, kComputer}; }

    bool contains(const QString& key) const
    {
        return key == kAction ? action.has_value() : keys().contains(key);
    }

    // The value under a key; "" for a key the entry lacks.
    QString value(const QString& key) const
    {
        if (key == kDate)
            return date;
        if (key == kEvent)
            return event;
        if (key == kDescription)
            return description;
        if (key == kAction)
            return action.value_or(QStringLiteral(""));
        if (key == kUser)
            return user;
        if (key == kComputer)
            return computer;
        return QStringLiteral("");
    }

    QVariantHash toHash() const
    {
        QVariantHash hash{{kDate, date},  {kEvent, event},        {kDescription, description},
                          {kUser, user},  {kComputer, computer}};
        if (action)
            hash.insert(kAction, *action);
        return hash;
    }

    bool operator==(const TVXEventLogEntry&) const = default;
};

inline QString eventLogDateText(const QDateTime& when)
{
    return QLocale::c().toString(when.toLocalTime(), kEventLogDateFormat);
}

// Invalid when the text is not of the log's date form.
inline QDateTime eventLogDate(const QString& text)
{
    return QLocale::c().toDateTime(text.trimmed(), kEventLogDateFormat);
}

// Saves the log's entries before a monthly roll-over empties the table. Gets
// the month abbreviation of the oldest entry ("Sep") and the entries; answers
// whether they are safely kept.
using TVXEventLogBackupHandler =
    std::function<bool(const QString& month, const QList<TVXEventLogEntry>& entries)>;

// The service that records entries (TVXEventLogger.h).
class TVXEventLogger;
