#include "windows/RecordDetailsLogic.h"

#include "model/BMGroup.h"
#include "model/StringAdditions.h"
#include "model/TVXRecord.h"
#include "model/TVXType.h"
#include "model/TVXUser.h"
#include "platform/ui/AlertPanel.h"
#include "store/writers/RecordWriter.h"
#include "store/session/ResultCodes.h"
#include "store/loading/StoreCaches.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QLocale>

namespace recorddetails {
namespace {

QString tr(const char* text) { return QCoreApplication::translate("BMDetailsWindowController", text); }

// Two-digit years as the C library reads them: 69-99 last century, 00-68 this one.
int fullYear(int twoDigitYear) { return twoDigitYear >= 69 ? 1900 + twoDigitYear : 2000 + twoDigitYear; }

bool readNumber(const QString& part, int& out)
{
    const QString trimmed = part.trimmed();
    if (trimmed.isEmpty())
        return false;
    for (QChar c : trimmed)
        if (!c.isDigit())
            return false;
    bool ok = false;
    out = trimmed.toInt(&ok);
    return ok;
}

} // namespace

QString messageNoPermission() { return tr("You don't have sufficient privileges to add record for selected group."); }
QString messageNoType() { return tr("Record must belong to some type. Please add a type."); }
QString messageNoteTruncated() { return tr("The Note Field was truncated to 4000 characters."); }
QString messageSetGroupAndTypeFirst() { return tr("You need to set the group and type first"); }
QString messageDeleteAttachment() { return tr("Are you sure you want to delete attachment?"); }
QString messageAttachmentTooLarge() { return tr("The attachment size exceeds 1MB limit."); }
QString messageNoDataPermission() { return tr(" You don't have sufficient access permissions."); }

QString defaultFieldLabel(int fieldNumber) { return QStringLiteral("%1 %2").arg(tr("Field")).arg(fieldNumber); }

bool fieldNameWantsDateButton(const QString& name) { return name.contains(QLatin1String("date"), Qt::CaseInsensitive); }

QString modificationFieldLabel() { return tr("Date Mod"); }

std::array<FieldPresentation, 10> fieldPresentations(const TVXType* type)
{
    std::array<FieldPresentation, 10> out;
    for (int i = 0; i < 9; ++i) {
        const QString name = type ? type->fieldAtIndex(i).trimmed() : QString();
        auto& field = out[static_cast<size_t>(i)];
        field.label = name.isEmpty() ? defaultFieldLabel(i + 1) : name;
        field.dateButton = fieldNameWantsDateButton(name);
        field.masked = type && (type->mTypeMask() & (1 << i)) != 0;
    }
    out[9].label = modificationFieldLabel();
    out[9].masked = type && (type->mTypeMask() & 512) != 0;
    return out;
}

QDate parseFieldDate(const QString& text)
{
    const QStringList parts = text.split(QLatin1Char('/'));
    if (parts.size() != 3)
        return {};
    int month = 0, day = 0, year = 0;
    if (!readNumber(parts[0], month) || !readNumber(parts[1], day) || !readNumber(parts[2], year))
        return {};
    if (year <= 99)
        year = fullYear(year);
    return QDate(year, month, day); // invalid for a month or day out of range
}

QDate pickerDateForField(const QString& text, const QDate& today)
{
    const QDate date = parseFieldDate(text);
    return date.isValid() ? date : today;
}

QString fieldDateText(const QDate& date)
{
    if (!date.isValid())
        return {};
    return QStringLiteral("%1/%2/%3").arg(date.month()).arg(date.day()).arg(date.year() % 100, 2, 10, QLatin1Char('0'));
}

QString modificationDisplayText(const QDate& date)
{
    if (!date.isValid())
        return {};
    return QStringLiteral("%1 %2,%3")
        .arg(QLocale(QLocale::English).monthName(date.month(), QLocale::LongFormat))
        .arg(date.day(), 2, 10, QLatin1Char('0'))
        .arg(date.year());
}

QString modificationDisplayText(const QString& value10)
{
    const QDateTime when = TVXRecord::dateFromModificationText(value10);
    // A text that is no stored date is shown as it is.
    return when.isValid() ? modificationDisplayText(when.date()) : value10;
}

qsizetype noteByteCount(const QString& note) { return note.toUtf8().size(); }

bool isNoteTooLong(const QString& note) { return noteByteCount(note) > kNoteByteLimit; }

QString clippedNote(const QString& note)
{
    if (!isNoteTooLong(note))
        return note;
    // Cut by bytes, not characters, so that the stored note keeps to the
    // limit; back off to the start of a character (and of a surrogate pair).
    const QByteArray bytes = note.toUtf8();
    qsizetype end = kNoteByteLimit;
    while (end > 0 && (static_cast<unsigned char>(bytes[end]) & 0xC0) == 0x80)
        --end;
    return QString::fromUtf8(bytes.constData(), end);
}

int textTooLongForStore(const TVXRecordWriter& writer, const TVXRecord& record)
{
    TVXRecordWriter::RecordCiphers ciphers;
    int tooLong = -1;
    if (writer.measureRecordTexts(record, ciphers, &tooLong) != kTVXDone)
        return tooLong;
    if (record.mIsCustomized() && record.mRecordCustomType()) {
        TVXRecordWriter::CustomTypeCiphers typeCiphers;
        if (writer.encipherCustomType(*record.mRecordCustomType(), typeCiphers, &tooLong) != kTVXDone)
            return kFirstOwnFieldName + tooLong;
    }
    return -1;
}

QString messageValueTooLong(const QString& fieldName)
{
    return tr("The value of \"%1\" is too long to be stored (at most %2 bytes). Please shorten it.")
        .arg(fieldName)
        .arg(kStoredValueByteLimit);
}

QString messageFieldNameTooLong(const QString& fieldName)
{
    return tr("The field name \"%1\" is too long to be stored (at most %2 bytes). Please shorten it.")
        .arg(fieldName)
        .arg(kStoredValueByteLimit);
}

bool isAttachableFile(const QString& path)
{
    const QFileInfo info(path);
    if (!info.exists() || !info.isFile() || !info.isReadable())
        return false;
    return info.size() < kAttachmentSizeLimit;
}

int iconNumberFromImageName(const QString& name)
{
    if (name.size() <= 4)
        return 0;
    bool ok = false;
    const int number = name.mid(4).toInt(&ok);
    return ok && number > 0 ? number : 0;
}

int iconNumberOfImage(const QImage& image)
{
    return image.isNull() ? 0 : iconNumberFromImageName(image.text(QStringLiteral("Name")));
}

QString duplicateFirstValue(const QString& value1) { return value1 + tr(" Copy"); }

bool hasRecordPermission(const TVXStoreCaches& caches, const BMGroup* group, uint16_t bit)
{
    return caches.checkRecordPermission(bit, group);
}

std::shared_ptr<TVXRecord> buildRecord(const SheetContents& contents, SheetState& state,
                                       std::shared_ptr<TVXType> customInfo)
{
    auto record = TVXRecord::createRecord(); // value 10: now
    record->setMGroup(contents.group);
    record->setMType(contents.type);
    // What the store cannot give back as typed (a zero character, a lone surrogate) is dropped here.
    for (int i = 0; i < 9; ++i)
        record->setValueAtIndex(i, storableText(contents.values[static_cast<size_t>(i)]));
    record->setMNotes(clippedNote(storableText(contents.note)));

    int icon = contents.iconNumber != 0 ? contents.iconNumber : contents.selectedImageID;
    if (contents.type && icon != 0 && icon != contents.type->mTypeIconID()) {
        state.isCustomizing = true;
        if (!customInfo) {
            customInfo = TVXType::createCopyforType(*contents.type);
            customInfo->setMTypeIconID(icon);
        }
    }

    if (!customInfo && !state.isCustomizing) {
        record->setMRecordCustomType(nullptr);
        record->setMIsCustomized(false);
    } else {
        std::shared_ptr<TVXType> own = state.isCustomFromDetailPanel ? state.typeCustomFields : customInfo;
        if (own) {
            // A copy: the given field set may be the one a cached record holds.
            own = TVXType::createCopyforType(*own);
            if (icon != 0)
                own->setMTypeIconID(icon);
        }
        record->setMRecordCustomType(own);
        record->setMIsCustomized(true);
        if (state.typeCustomFields && icon != 0)
            state.typeCustomFields->setMTypeIconID(icon);
        state.isCustomFromDetailPanel = false;
    }

    if (contents.attachmentModified) {
        if (!contents.attachmentName.isEmpty()) {
            record->setMHasAttachment(true);
            record->setMAttachmentName(contents.attachmentName);
            record->setMAttachmentPath(contents.attachmentPath);
            record->setMAttachmentState(kAttachmentStateStoreNewFile);
        } else {
            record->setMHasAttachment(false);
            record->setMAttachmentState(kAttachmentStateRemoved);
        }
    } else if (!contents.attachmentName.isEmpty()) {
        record->setMHasAttachment(true);
        record->setMAttachmentName(contents.attachmentName);
        if (state.stateForDuplicate) {
            // The stored row is copied; a file already fetched for the copy goes along.
            if (state.currentRecord)
                record->setMAttachmentPath(state.currentRecord->mAttachmentPath());
            record->setMAttachmentState(kAttachmentStateCopyStored);
        }
    }
    return record;
}

std::shared_ptr<TVXRecord> recordForRunResult(int runCode, std::shared_ptr<TVXRecord> built,
                                              const TVXRecord& original, int& operation, bool shouldDelete,
                                              bool duplicated, bool attachmentModified)
{
    constexpr int kStopped = -1000;
    constexpr int kAborted = -1001;
    if (runCode == kStopped && built) {
        if (duplicated) {
            operation = kOperationDuplicate;
            return built;
        }
        if (operation == kOperationEdit) {
            built->setMRecordUID(original.mRecordUID());
            // The cache takes this object in place of the original: what only
            // memory knows of the stored record comes along.
            built->setMViewCounter(original.mViewCounter());
            if (!attachmentModified && built->mHasAttachment()) {
                built->setMAttachmentPassKey(original.mAttachmentPassKey());
                built->setMAttachmentLength(original.mAttachmentLength());
            }
        }
        if (!attachmentModified)
            built->setMAttachmentPath(original.mAttachmentPath());
        return built;
    }
    if (runCode == kAborted && shouldDelete)
        operation = kOperationDelete;
    return nullptr;
}

TVXResult storeRecordFromSheet(TVXRecordWriter& writer, const std::shared_ptr<TVXRecord>& record, int operation,
                               const std::shared_ptr<TVXRecord>& original)
{
    if (!record)
        return kTVXNotServerError;
    if (operation == kOperationAdd || operation == kOperationDuplicate) {
        bool copyRow = record->mHasAttachment() && record->mAttachmentState() == kAttachmentStateCopyStored;
        // A file already fetched for the copy is stored as it is.
        if (copyRow && !record->mAttachmentPath().isEmpty() && QFile::exists(record->mAttachmentPath())) {
            record->setMAttachmentState(kAttachmentStateStoreNewFile);
            copyRow = false;
        }
        TVXResult code = writer.addRecord(record);
        if (code == kTVXDone && copyRow) {
            if (!original)
                return kTVXReloadFirst;
            writer.copyAttachmentRow(*original, *record, &code);
            record->setMAttachmentState(kAttachmentStateNone);
        }
        return code;
    }
    if (operation == kOperationEdit) {
        const bool wasCustomised = original && original->mIsCustomized();
        const TVXResult code = record->mAttachmentState() == kAttachmentStateRemoved ? writer.removeAttachment(record)
                                                                           : writer.replaceRecord(record);
        if (code == kTVXDone && wasCustomised && !record->mIsCustomized()) {
            TVXResult dropped = kTVXDone;
            writer.deleteReferencesFromCustomType(*record, &dropped);
        }
        return code;
    }
    return kTVXNotServerError;
}

} // namespace recorddetails
