#include "app/ExchangeRules.h"

#include "exchange/CExportDelegate.h"
#include "exchange/TVXqVXImportDelegate.h"

#include <QCoreApplication>
#include <QSet>
#include <QStringList>

namespace exchange {
namespace {

QString tr(const char* text)
{
    return QCoreApplication::translate("BMController", text);
}

} // namespace

int scopeCodeForRow(int row)
{
    switch (row) {
    case kRowAllRecords: return kScopeAll;
    case kRowListedRecords: return kScopeListed;
    default: return kScopeSelected;
    }
}

EFileType exportKind(int scopeCode, EFileType requested, bool attachmentsShownAndTicked)
{
    if (scopeCode == kScopeBackup)
        return requested;
    return attachmentsShownAndTicked ? eFileQVXv4 : eFileQVXv3;
}

QString extensionForTag(int tag)
{
    switch (tag) {
    case kTagImportQVX:
    case kTagExportQVXWithAttachments:
    case kTagExportQVX:
    case kTagBackup:
        return QStringLiteral("qvx");
    case kTagImportCSV:
    case kTagExportCSV:
        return QStringLiteral("csv");
    default:
        return tag >= kTagImportTextFirst && tag <= kTagImportTextLast ? QStringLiteral("txt") : QString();
    }
}

bool isValidExportPassword(const QString& password)
{
    if (password.size() < 2)
        return false;
    for (const QChar c : password)
        if (c != password.front())
            return true;
    return false;
}

QString withExtension(const QString& path, const QString& extension)
{
    if (path.isEmpty() || extension.isEmpty() || path.endsWith(QLatin1Char('.') + extension, Qt::CaseInsensitive))
        return path;
    return path + QLatin1Char('.') + extension;
}

QString importSummaryText(const TVXImportSummary& s)
{
    if (s.succeeded())
        return QString();
    switch (s.fileError) {
    case kImportErrorNotImportable:
        return tr("Import failed. The file is not a Tolvanex export file of a version that can be read.");
    case kImportErrorWrongPassword:
        return tr("That is not the correct password for this import file.");
    case kImportErrorUnreadableFile:
        return tr("Import failed. The file cannot be read or is empty.");
    default:
        break;
    }
    QStringList lines;
    lines << tr("%1 of %2 records were imported.").arg(s.recordsImported).arg(s.recordsInFile);
    const auto add = [&lines](int count, const char* text) {
        if (count > 0)
            lines << tr(text).arg(count);
    };
    add(s.failedNoTargetGroup, "%1 not imported: there was no group to import into.");
    add(s.failedNoType, "%1 not imported: no type was given for them.");
    add(s.failedValueTooLong, "%1 not imported: a value or note is too long.");
    add(s.failedMalformed, "%1 not imported: the line is incomplete.");
    add(s.failedNotStored, "%1 not imported: the server refused them.");
    add(s.attachmentsMissing, "%1 imported without their attachment: the attachment file is missing.");
    add(s.attachmentsRefused, "%1 imported without their attachment: the attachment file could not be read.");
    return lines.join(QLatin1Char('\n'));
}

QString exportSummaryText(const TVXExportSummary& s)
{
    if (s.succeeded())
        return QString();
    if (!s.fileInPlace()) {
        if (s.firstError == kExportErrorCreateFile)
            return tr("Export failed. The file could not be created.");
        return tr("Export failed. The file could not be written.");
    }
    QStringList lines;
    lines << tr("%1 of %2 records were exported.").arg(s.recordsExported).arg(s.recordsInScope);
    if (s.attachmentsFailed > 0)
        lines << tr("%1 attachments could not be read from the server.").arg(s.attachmentsFailed);
    if (s.sideFilesFailed > 0)
        lines << tr("%1 attachments could not be written.").arg(s.sideFilesFailed);
    return lines.join(QLatin1Char('\n'));
}

} // namespace exchange
