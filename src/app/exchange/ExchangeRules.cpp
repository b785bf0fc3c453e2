#include "app/exchange/ExchangeRules.h"

#include "app/passwords/PasswordPanelRules.h"
#include "exchange/CExportDelegate.h"
#include "exchange/TVXqVXImportDelegate.h"
#include "store/schema/ColumnLimits.h"

#include <QCoreApplication>
#include <QSet>
#include <QStringList>

#include <functional>
#include <variant>

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
    return passwordpanels::isValidPassword(password);
}

QString withExtension(const QString& path, const QString& extension)
{
    if (path.isEmpty() || extension.isEmpty() || path.endsWith(QLatin1Char('.') + extension, Qt::CaseInsensitive))
        return path;
    return path + QLatin1Char('.') + extension;
}

QString importSummaryText(const TVXImportSummary& s)
{
    switch (s.fileError) {
    case kImportErrorNotImportable:
        return tr("Import failed. The file is not a Tolvanex export file of a version that can be read.");
    case kImportErrorWrongPassword:
        return tr("That is not the correct password for this import file.");
    case kImportErrorUnreadableFile:
        return tr("Import failed. The file cannot be read or is empty.");
    case kImportErrorFileTooLarge:
        return tr("Import failed. The file is larger than %1 MB, more than an export file holds; it was not read.")
            .arg(kImportFileByteLimit / (1024 * 1024));
    default:
        break;
    }
    // Every count the summary keeps, in this order; a new count is one more row.
    using Count = std::variant<int TVXImportSummary::*, int (TVXImportSummary::*)() const>;
    static const struct {
        const char* text;
        Count count;
    } kRows[] = {
        {QT_TRANSLATE_NOOP("BMController", "Records read: %1"), &TVXImportSummary::recordsInFile},
        {QT_TRANSLATE_NOOP("BMController", "Records imported: %1"), &TVXImportSummary::recordsImported},
        {QT_TRANSLATE_NOOP("BMController", "Records refused: %1"), &TVXImportSummary::recordsFailed},
        {QT_TRANSLATE_NOOP("BMController", "  no group to import into: %1"), &TVXImportSummary::failedNoTargetGroup},
        {QT_TRANSLATE_NOOP("BMController", "  no type given for them: %1"), &TVXImportSummary::failedNoType},
        {QT_TRANSLATE_NOOP("BMController", "  a value or note too long: %1"), &TVXImportSummary::failedValueTooLong},
        {QT_TRANSLATE_NOOP("BMController", "  the line incomplete: %1"), &TVXImportSummary::failedMalformed},
        {QT_TRANSLATE_NOOP("BMController", "  refused by the server: %1"), &TVXImportSummary::failedNotStored},
        {QT_TRANSLATE_NOOP("BMController", "Attachments imported: %1"), &TVXImportSummary::attachmentsImported},
        {QT_TRANSLATE_NOOP("BMController", "Records imported without their attachment, the file missing: %1"),
         &TVXImportSummary::attachmentsMissing},
        {QT_TRANSLATE_NOOP("BMController", "Records imported without their attachment, the file unreadable or too large: %1"),
         &TVXImportSummary::attachmentsRefused},
        {QT_TRANSLATE_NOOP("BMController", "Lines with more fields than a record takes (the extra fields dropped): %1"),
         &TVXImportSummary::linesWithSurplusFields},
        {QT_TRANSLATE_NOOP("BMController", "Types added: %1"), &TVXImportSummary::typesAdded},
    };
    QStringList lines;
    if (s.stopped)
        lines << tr("The import was stopped. The records imported below are stored; the rest of the file was not read.");
    else
        lines << (s.succeeded() ? tr("The import is complete.") : tr("Not everything could be imported."));
    for (const auto& row : kRows)
        lines << tr(row.text).arg(std::visit([&s](auto count) { return std::invoke(count, s); }, row.count));
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
    if (s.notesTooLong > 0)
        lines << tr("%1 records were left out: their note is longer than %2 bytes, more than an import takes.")
                     .arg(s.notesTooLong)
                     .arg(tvxsql::kNoteByteLimit);
    return lines.join(QLatin1Char('\n'));
}

} // namespace exchange
