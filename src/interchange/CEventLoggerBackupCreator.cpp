#include "interchange/CEventLoggerBackupCreator.h"

#include "interchange/FileFormats.h"
#include "interchange/SideFiles.h"
#include "interchange/TextParsing.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>

CEventLoggerBackupCreator::CEventLoggerBackupCreator(const QList<QVariantHash>& entries, TVXEventLogKind kind)
    : mEntries(entries), mKind(kind)
{
}

const QStringList& CEventLoggerBackupCreator::columns()
{
    static const QStringList names = {QStringLiteral("Date"), QStringLiteral("Event"),
                                      QStringLiteral("Description"), QStringLiteral("User"),
                                      QStringLiteral("Computer")};
    return names;
}

QHash<QString, QString> CEventLoggerBackupCreator::eventLogHeader()
{
    QHash<QString, QString> header;
    for (const QString& name : columns())
        header.insert(name, name);
    return header;
}

void CEventLoggerBackupCreator::convertDictionaryToCStringArray(const QVariantHash& entry, CStringArray& list)
{
    for (const QString& name : columns())
        list.Add(entry.value(name).toString().toStdString());
}

namespace {

// Each field in the plain encoding followed by a comma; then CR. The line
// grows as its fields need: quoting never overruns anything.
void writeLine(std::string& out, const CStringArray& fields)
{
    for (int i = 0; i < fields.GetSize(); ++i) {
        FormatCSVField(fields.ViewAt(i), out);
        out += ',';
    }
    WriteString(out, kLineEnding);
}

} // namespace

std::string CEventLoggerBackupCreator::fileContents() const
{
    std::string out;
    CStringArray fields;
    const QHash<QString, QString> header = eventLogHeader();
    for (const QString& name : columns())
        fields.Add(header.value(name).toStdString());
    writeLine(out, fields);
    for (const QVariantHash& entry : mEntries) {
        fields.RemoveAll();
        convertDictionaryToCStringArray(entry, fields);
        writeLine(out, fields);
    }
    return out;
}

bool CEventLoggerBackupCreator::doBackupToPath(const std::string& path) const
{
    return !path.empty() && WriteFilePrivately(path, fileContents());
}

QString EventLogBackupFileName(const QString& month, const QDateTime& now)
{
    QString safeMonth;
    for (const QChar c : month)
        if (c.isLetterOrNumber())
            safeMonth.append(c);
    if (safeMonth.isEmpty())
        safeMonth = QStringLiteral("Log");
    return QStringLiteral("EventLog-%1-%2.csv")
        .arg(safeMonth, QLocale::c().toString(now, QStringLiteral("yyyyMMdd-HHmmss")));
}

QString WriteEventLogBackup(const QString& folder, const QString& month, const QList<QVariantHash>& entries,
                            const QDateTime& now)
{
    if (folder.isEmpty() || !QDir().mkpath(folder))
        return QString();
    const QDir dir(folder);
    const QString name = EventLogBackupFileName(month, now);
    const QString base = name.chopped(4); // without ".csv"
    QString path = dir.filePath(name);
    for (int n = 2; QFileInfo::exists(path) || QFileInfo(path).isSymLink(); ++n) {
        if (n > 1000)
            return QString();
        path = dir.filePath(QStringLiteral("%1-%2.csv").arg(base).arg(n));
    }
    const CEventLoggerBackupCreator creator(entries);
    if (!creator.doBackupToPath(QFile::encodeName(path).toStdString()))
        return QString();
    return path;
}
