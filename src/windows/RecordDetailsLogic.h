#pragma once
#include "store/session/ResultCodes.h"
// The record sheet's rules without its widgets: field labels, masks and date
// buttons of a type, the date texts, the note and attachment limits, and the
// record built from what the sheet shows. The sheet and the tests call these.
#include "store/schema/ColumnLimits.h"
#include "windows/SheetOperations.h"

#include <QDate>
#include <QImage>
#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <memory>

class BMGroup;
class TVXRecord;
class TVXRecordWriter;
class TVXStoreCaches;
class TVXType;

namespace recorddetails {

constexpr int kMatrixControlCount = 5;
// The note's limit, in bytes of its UTF-8 form.
constexpr int kNoteByteLimit = tvxsql::kNoteByteLimit;
// Files of this size or more are not attached.
constexpr qint64 kAttachmentSizeLimit = tvxsql::kAttachmentByteLimit;
inline const QString kWebLoginUID = QStringLiteral("0000000000000012");

// Image names of the attachment button's two looks.
inline const QString kAddAttachmentImage = QStringLiteral("AddAttachment");
inline const QString kDeleteAttachmentImage = QStringLiteral("DeleteAttachment");

// Message texts, as the sheet shows them (through the translation table).
QString messageNoPermission();
QString messageNoType();
QString messageNoteTruncated();
QString messageSetGroupAndTypeFirst();
QString messageDeleteAttachment();
QString messageAttachmentTooLarge();
QString messageNoDataPermission();

// "Field 3": the localised "Field" and the number.
QString defaultFieldLabel(int fieldNumber);
// A field name asks for a date button when it contains "date" in any case.
bool fieldNameWantsDateButton(const QString& name);

// What the sheet shows beside value i + 1.
struct FieldPresentation {
    QString label;
    bool masked = false;
    bool dateButton = false;
};
// Labels, mask marks and date buttons of the ten values under a type (none:
// default labels, nothing masked). Field 10 holds the modification date: it
// keeps its own label and never gets a date button.
std::array<FieldPresentation, 10> fieldPresentations(const TVXType* type);
QString modificationFieldLabel();

// Dates typed into a field: "5/4/09" (two-digit year) or "05/04/2009".
// Invalid for a text that is no such date.
QDate parseFieldDate(const QString& text);
// The date the picker opens on: the field's date, else today.
QDate pickerDateForField(const QString& text, const QDate& today = QDate::currentDate());
// What the picker writes back: month and day without leading zeros, two-digit year.
QString fieldDateText(const QDate& date);
// Value 10's text ("2009-05-04 10:31:02 +0200") as the sheet shows it: "May 04,2009".
QString modificationDisplayText(const QString& value10);
QString modificationDisplayText(const QDate& date);

// The note's size as it is stored.
qsizetype noteByteCount(const QString& note);
bool isNoteTooLong(const QString& note);
// The note cut to the limit without splitting a character.
QString clippedNote(const QString& note);

// The first text of a record built by the sheet that the store cannot hold,
// measured as the record writers and the import measure it: 0 to 9 a value,
// 10 the note, 11 to 20 one of the record's own field names; -1 when all fit.
constexpr int kFirstOwnFieldName = 11;
int textTooLongForStore(const TVXRecordWriter& writer, const TVXRecord& record);
// The alert naming the field whose value (or own name) is too long.
// A value or field name is stored as one cipher of whole blocks in a column of 255 bytes.
inline constexpr int kStoredValueByteLimit = 240;
QString messageValueTooLong(const QString& fieldName);
QString messageFieldNameTooLong(const QString& fieldName);

// Whether the file may be attached: readable, and below the size limit.
bool isAttachableFile(const QString& path);

// The icon number carried by an image's name ("Icon12" -> 12); 0 when none.
int iconNumberFromImageName(const QString& name);
int iconNumberOfImage(const QImage& image);

// Value 1 of a duplicate: the text followed by the localised " Copy".
QString duplicateFirstValue(const QString& value1);

// Record permission in a group: the group's word when it prevails, else the user's.
bool hasRecordPermission(const TVXStoreCaches& caches, const BMGroup* group, uint16_t bit);

// What the sheet shows, read back as the input of a new record.
struct SheetContents {
    std::shared_ptr<BMGroup> group;
    std::shared_ptr<TVXType> type;
    std::array<QString, 9> values;
    QString note;
    int iconNumber = 0;       // from the icon button's image
    int selectedImageID = 0;  // last icon picked in the icon panel
    QString attachmentName;   // empty when none
    bool attachmentModified = false;
    QString attachmentPath;   // a newly chosen file
};

// What the sheet keeps about the record being edited.
struct SheetState {
    std::shared_ptr<TVXRecord> currentRecord;
    std::shared_ptr<TVXType> typeCustomFields; // the record's own field set, when customised
    bool isCustomFromDetailPanel = false;
    bool isCustomizing = false;               // the field set differs from the type's
    bool stateForDuplicate = false;
};

// A new record from the sheet's contents, with `customInfo` (may be null) as
// its own field set. A changed icon makes the record customised.
std::shared_ptr<TVXRecord> buildRecord(const SheetContents& contents, SheetState& state,
                                       std::shared_ptr<TVXType> customInfo);

// The end of a run: the record handed back, and the operation rewritten.
// `built` is the record from the contents (ignored unless the run ended with OK).
std::shared_ptr<TVXRecord> recordForRunResult(int runCode, std::shared_ptr<TVXRecord> built,
                                              const TVXRecord& original, int& operation, bool shouldDelete,
                                              bool duplicated, bool attachmentModified);

// Stores what a run of the sheet handed back, as the record commands do:
// operation 0 or 2 adds the record (state 3 then copies `original`'s stored
// attachment row to it); operation 1 replaces `original` (a removed attachment
// drops its row too, and a record no longer customised loses its own field
// set). Returns the manager's result code; 8 means "reload first".
TVXResult storeRecordFromSheet(TVXRecordWriter& writer, const std::shared_ptr<TVXRecord>& record, int operation,
                               const std::shared_ptr<TVXRecord>& original);

} // namespace recorddetails
