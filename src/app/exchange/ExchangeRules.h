#pragma once
// The rules of the import and export commands that need no window: scope and
// kind of an export, the export password test, and the summaries shown after
// an import or export that did not bring everything across.
#include "interchange/FileFormats.h"

#include <QString>

struct TVXExportSummary;
struct TVXImportSummary;

namespace exchange {

// Command tags.
constexpr int kTagImportQVX = 1060;
constexpr int kTagImportCSV = 1061;
constexpr int kTagImportTextFirst = 1062;
constexpr int kTagImportTextLast = 1066;
constexpr int kTagExportQVXWithAttachments = 1070;
constexpr int kTagExportQVX = 1071;
constexpr int kTagExportCSV = 1072;
constexpr int kTagBackup = 1082;
constexpr int kTagRestore = 109;

// Scope rows of the export accessory, and the scope codes of the export step.
constexpr int kRowAllRecords = 0;
constexpr int kRowListedRecords = 1;
constexpr int kRowSelectedRecords = 2;
constexpr int kScopeAll = 0;
constexpr int kScopeSelected = 1;
constexpr int kScopeListed = 2;
constexpr int kScopeBackup = 3;

// The scope code of a scope row: 0 -> 0, 1 -> 2, 2 -> 1.
int scopeCodeForRow(int row);

// The kind an export writes: for the backup the requested kind, for the
// other scopes version 4 when the attachments box is shown and ticked.
EFileType exportKind(int scopeCode, EFileType requested, bool attachmentsShownAndTicked);

// The extension a file panel requires for a command's tag; empty: any file.
QString extensionForTag(int tag);

// A password that encrypts an export: at least 2 characters, at least 2 different.
bool isValidExportPassword(const QString& password);

// What the user is told after an import: the file's refusal, or every count
// of the summary (records read, imported, refused and why, attachments, types).
QString importSummaryText(const TVXImportSummary& summary);
QString exportSummaryText(const TVXExportSummary& summary);

// The path a save panel's choice is written to: the required extension added when missing.
QString withExtension(const QString& path, const QString& extension);

} // namespace exchange
