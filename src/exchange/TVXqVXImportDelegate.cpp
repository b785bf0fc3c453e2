#include "exchange/TVXqVXImportDelegate.h"

#include "interchange/FileCrypter.h"
#include "interchange/FileDates.h"
#include "interchange/SideFiles.h"
#include "model/BMGroup.h"
#include "model/TVXRecord.h"
#include "model/TVXType.h"
#include "platform/core/BackgroundTask.h"
#include "platform/core/MainThread.h"
#include "store/schema/ColumnLimits.h"
#include "store/writers/RecordWriter.h"
#include "store/loading/StoreCaches.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <mysql.h>

#include <algorithm>

namespace {

QString textOf(std::string_view bytes) { return QString::fromUtf8(bytes.data(), qsizetype(bytes.size())); }

constexpr int kQVXRecordCount = kQVXValueCount + 2;        // values 1 to 9, date, notes
constexpr int kCSVRecordCount = kCSVExportValueCount;      // type name first

} // namespace

// An attachment on its way into the store: a deciphered copy in the private
// folder, removed once the record is stored (or refused).
struct TVXqVXImportDelegate::Attachment {
    QString path;
    ~Attachment()
    {
        if (!path.isEmpty())
            QFile::remove(path);
    }
};

struct TVXqVXImportDelegate::Pending {
    QList<TVXRecordWriter::NewRecord> records;
    QList<int> attachmentCodes; // 0, or why the record goes without its attachment
    // The side files' copies of the records with one, removed with the batch.
    std::vector<std::unique_ptr<Attachment>> attachments;
    // What the store answered.
    QList<TVXResult> codes;
    TVXResult endCode = kTVXDone;
    QStringList lost; // after a failed commit: the records not stored after all
};

TVXqVXImportDelegate::TVXqVXImportDelegate(const std::string& path, std::shared_ptr<BMGroup> targetGroup,
                                           TVXStoreCaches& caches, TVXRecordWriter& records,
                                           TVXGroupTypeWriter& groupsTypes)
    : mPath(path), mTargetGroup(std::move(targetGroup)), mCaches(caches), mRecords(records),
      mGroupsTypes(groupsTypes), mPending(std::make_unique<Pending>())
{
}

TVXqVXImportDelegate::~TVXqVXImportDelegate()
{
    try {
        sendPending(true); // the private folder goes with its contents
    } catch (...) {
    }
}

void TVXqVXImportDelegate::sendPending(bool wait)
{
    collectSent();
    if (mPending->records.isEmpty())
        return;
    std::unique_ptr<Pending> batch = std::exchange(mPending, std::make_unique<Pending>());
    // A main thread waiting for a worker would not hand the worker's error
    // reports on: there the batch is stored on the spot.
    if (wait || platform::isMainThread()) {
        storeBatch(*batch);
        countBatch(*batch);
        return;
    }
    mSent = std::move(batch);
    Pending* const sent = mSent.get();
    mWriter = std::make_unique<platform::PooledJob>([this, sent] {
        storeBatch(*sent);
        mysql_thread_end(); // the client library's state of this worker
    });
}

void TVXqVXImportDelegate::collectSent()
{
    if (!mSent)
        return;
    try {
        mWriter->wait();
    } catch (...) {
        // What the worker did not answer counts as not stored.
    }
    mWriter.reset();
    const std::unique_ptr<Pending> batch = std::move(mSent);
    countBatch(*batch);
}

void TVXqVXImportDelegate::storeBatch(Pending& batch)
{
    (void)mRecords.beginRecordBatch(); // without one, each record is its own transaction
    try {
        mRecords.addRecords(batch.records, batch.codes);
    } catch (const std::exception&) {
        // Those without a code of their own are counted as not stored.
    }
    for (const auto& entry : batch.records)
        if (entry.record && entry.record->mHasAttachment())
            entry.record->setMAttachmentPath(QString()); // the copy goes with the batch
    batch.endCode = mRecords.endRecordBatch(&batch.lost);
}

void TVXqVXImportDelegate::countBatch(Pending& batch)
{
    const bool failedCommit = batch.endCode != kTVXDone;
    for (qsizetype i = 0; i < batch.records.size(); ++i) {
        const TVXRecordWriter::NewRecord& entry = batch.records[i];
        TVXResult code = batch.codes.value(i, kTVXNotServerError);
        // A record the failed commit took back is not stored after all.
        if (failedCommit && code == kTVXDone && entry.record && batch.lost.contains(entry.record->mRecordUID()))
            code = kTVXNotServerError;
        countStored(code, batch.attachmentCodes.value(i), entry.record && entry.record->mHasAttachment());
    }
}
QString TVXqVXImportDelegate::notesFromFile(std::string_view field)
{
    QString notes = textOf(field);
    notes.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    notes.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return notes;
}

int32_t TVXqVXImportDelegate::iconFromFile(int32_t icon)
{
    return icon == 0 || icon > kStandardIcons ? kDefaultIconID : icon;
}

std::shared_ptr<BMGroup> TVXqVXImportDelegate::FindOrAddGroup(const std::string& groupName)
{
    if (groupName.empty())
        return nullptr;
    auto group = BMGroup::newGroup();
    group->setMGroupName(textOf(groupName));
    if (auto stored = mCaches.findSimilarCategory(*group))
        return stored;
    sendPending(true); // the group's log row after the records' before it
    if (mGroupsTypes.addGroup(group) != kTVXDone)
        return nullptr;
    return group;
}

void TVXqVXImportDelegate::CreateType(const CStringArray& typeFields, int32_t icon, int32_t mask, int count)
{
    mStoredType.reset();
    mCurrentTypeFieldCount = 0;
    count = std::min(count, typeFields.GetSize());
    if (count < 1 || typeFields.ViewAt(0).empty()) {
        mCurrentType.reset();
        return;
    }
    auto type = TVXType::createType();
    type->setMTypeName(textOf(typeFields.ViewAt(0)));
    for (int i = 1; i < count && i <= kNumberOfFields; ++i)
        type->setFieldAtIndex(i - 1, textOf(typeFields.ViewAt(i)));
    type->setMTypeMask(mask);
    type->setMTypeIconID(iconFromFile(icon));
    mCurrentTypeFieldCount = std::min(count - 1, kNumberOfFields);
    mCurrentType = std::move(type);
}

bool TVXqVXImportDelegate::typeFits(const TVXType& type) const
{
    if (!tvxsql::fitsTinyBlob(mRecords.encryptString(type.mTypeName())))
        return false;
    for (int i = 0; i < kNumberOfFields; ++i)
        if (!tvxsql::fitsTinyBlob(mRecords.encryptString(type.fieldAtIndex(i))))
            return false;
    return true;
}

// The stored type for the records of the current type line: a stored type of
// the same name, or the file's type stored now. The store's code; tooLong is
// set (and 1 returned) when the type's texts do not fit the store.
TVXResult TVXqVXImportDelegate::storeCurrentType(bool& tooLong)
{
    tooLong = false;
    if (mStoredType)
        return kTVXDone;
    if (auto similar = mCaches.findSimilarType(*mCurrentType, mTargetGroup.get())) {
        mStoredTypeNameFits = tvxsql::fitsTinyBlob(mRecords.encryptString(similar->mTypeName()));
        mStoredType = std::move(similar);
        return kTVXDone;
    }
    if (!typeFits(*mCurrentType)) {
        tooLong = true;
        return kTVXNotServerError;
    }
    mCurrentType->setMSelectedGroupUID(mTargetGroup->mGroupUID());
    // A type is stored on its own: a failed batch must not leave one cached
    // that the server never kept.
    sendPending(true);
    const TVXResult code = mGroupsTypes.addType(mCurrentType);
    if (code == kTVXDone) {
        mStoredType = mCurrentType;
        mStoredTypeNameFits = true; // measured with the rest above
        ++mSummary.typesAdded;
    }
    return code;
}

// Value 10 for a line's date field. Each text costs several local-time
// conversions, and a file's records share few days: a day's is made once.
QString TVXqVXImportDelegate::modificationText(std::string_view field)
{
    const QDate day = ParseFileDate(field);
    if (!day.isValid())
        return ModificationTextFromFileDate(field); // now
    if (const auto found = mDayTexts.constFind(day); found != mDayTexts.cend())
        return *found;
    constexpr qsizetype kDaysKept = 4096;
    if (mDayTexts.size() >= kDaysKept)
        mDayTexts.clear();
    // The field holds a day: the moment is not used.
    const QString text = ModificationTextFromFileDate(field, QDateTime());
    mDayTexts.insert(day, text);
    return text;
}

// The record's own look: the file's icon, mask and field names wherever they
// differ from the stored type's make the record customised.
void TVXqVXImportDelegate::applyLook(TVXRecord& record, int32_t icon, int32_t mask,
                                     const CStringArray& customNames) const
{
    const TVXType& stored = *mStoredType;
    auto look = TVXType::createCopyforType(stored);
    // A stored type found by name may name its fields otherwise than the file.
    for (int i = 0; i < mCurrentTypeFieldCount; ++i)
        look->setFieldAtIndex(i, mCurrentType->fieldAtIndex(i));
    look->setMTypeIconID(iconFromFile(icon));
    look->setMTypeMask(mask);
    for (int i = 0; i < std::min(customNames.GetSize(), kNumberOfFields); ++i)
        if (!customNames.ViewAt(i).empty())
            look->setFieldAtIndex(i, textOf(customNames.ViewAt(i)));
    if (look->isNotEqualToCustomType(stored)) {
        record.setMIsCustomized(true);
        record.setMRecordCustomType(std::move(look));
    }
}

QString TVXqVXImportDelegate::temporaryFolder()
{
    if (!mTemporaryFolder) {
        // mkdtemp: a fresh folder for the owner only.
        auto folder = std::make_unique<QTemporaryDir>(QDir(QDir::tempPath()).filePath(
            QStringLiteral("tolvanex-import-XXXXXX")));
        if (!folder->isValid())
            return QString();
        mTemporaryFolder = std::move(folder);
    }
    return mTemporaryFolder->path();
}

// The record's attachment from its side file. 0 when the record has none or
// it was taken; kImportErrorSideFileMissing or kImportErrorSideFileRefused
// when the record is to be stored without it; kImportErrorValueTooLong when
// its name is too long for the store.
int TVXqVXImportDelegate::takeAttachment(TVXRecord& record, const CStringArray& attachmentFields,
                                         Attachment& attachment)
{
    if (attachmentFields.GetSize() != kQVXAttachmentFieldCount || attachmentFields.ViewAt(0).empty())
        return 0;
    const QString name = textOf(attachmentFields.ViewAt(0));
    if (!tvxsql::fitsTinyBlob(mRecords.encryptString(name)))
        return kImportErrorValueTooLong;
    const std::string_view sideName = attachmentFields.ViewAt(2);

    std::string bytes;
    switch (ReadSideFile(mPath, sideName, bytes)) {
    case TVXSideFileStatus::Read:
        break;
    case TVXSideFileStatus::Missing:
        return kImportErrorSideFileMissing;
    default:
        return kImportErrorSideFileRefused;
    }
    const TVXFileCrypter crypter(attachmentFields.ViewAt(1));
    crypter.decryptData(bytes);
    const QString folder = temporaryFolder();
    // The name is a checked record identifier: the copy stays in the folder.
    const QString path = folder.isEmpty() ? QString() : QDir(folder).filePath(textOf(sideName));
    const bool written = !path.isEmpty() && WriteFilePrivately(QFile::encodeName(path).toStdString(), bytes);
    WipeBytes(bytes);
    if (!written)
        return kImportErrorSideFileRefused;
    attachment.path = path;
    record.setMHasAttachment(true);
    record.setMAttachmentName(name);
    record.setMAttachmentPath(path);
    record.setMAttachmentState(kAttachmentStateStoreNewFile);
    return 0;
}

void TVXqVXImportDelegate::AddRecord(EFileType kind, const CStringArray& values, const CStringArray& customNames,
                                     const CStringArray& attachmentFields, const CString& /*groupName*/,
                                     int32_t icon, int32_t mask, int count)
{
    if (mStopRequested.load()) {
        mSummary.stopped = true;
        return;
    }
    mLinesHandled.fetch_add(1);
    try {
        addRecordLine(kind, values, customNames, attachmentFields, icon, mask, count);
        if (mPending->records.size() >= kRecordsPerBatch || int(mPending->attachments.size()) >= kAttachmentsPerBatch)
            sendPending(false);
    } catch (...) {
        ErrorInImport(kImportErrorRecordNotStored);
    }
}

void TVXqVXImportDelegate::addRecordLine(EFileType kind, const CStringArray& values,
                                         const CStringArray& customNames, const CStringArray& attachmentFields,
                                         int32_t icon, int32_t mask, int count)
{
    ++mSummary.recordsInFile;
    const bool csv = kind == eFileCSVExport;
    int start = 0;
    if (csv) {
        // CSV has no type lines: each line names its type.
        CreateType(values, kDefaultIconID, 0, 1);
        start = 1;
        count = std::min(count, kCSVRecordCount);
    } else {
        count = std::min(count, kQVXRecordCount);
    }
    count = std::min(count, values.GetSize());
    if (!mTargetGroup) {
        ErrorInImport(kImportErrorNoTargetGroup);
        return;
    }
    if (!mCurrentType) {
        ErrorInImport(kImportErrorNoType);
        return;
    }

    try {
        // Value 10 is the line's date; a new record's own (now) only without one.
        auto record = count > 2 ? TVXRecord::createRecord(modificationText(values.ViewAt(count - 2)))
                                : TVXRecord::createRecord();
        record->setMGroup(mTargetGroup);
        // Every record goes to the target group: the line's group name is not used.
        int value = 0;
        for (int i = start; i <= count - 3 && value < kQVXValueCount; ++i, ++value)
            record->setValueAtIndex(value, textOf(values.ViewAt(i)));
        if (start < count)
            record->setMNotes(notesFromFile(values.ViewAt(count - 1)));

        // The record sheet's limits: a note of at most 4000 bytes, and every
        // value short enough for its column once enciphered. The ciphers are
        // the ones stored. Refused before anything, its type included, is stored.
        TVXRecordWriter::NewRecord entry;
        if (mRecords.measureRecordTexts(*record, entry.ciphers) != kTVXDone) {
            ErrorInImport(kImportErrorValueTooLong);
            return;
        }
        bool typeTooLong = false;
        if (storeCurrentType(typeTooLong) != kTVXDone) {
            ErrorInImport(typeTooLong ? kImportErrorValueTooLong : kImportErrorRecordNotStored);
            return;
        }
        record->setMType(mStoredType);
        // A CSV line carries no icon, mask or field names: its record takes its type as it is.
        if (!csv)
            applyLook(*record, icon, mask, customNames);
        // The look keeps the stored type's name; its field names are measured
        // as they are stored (an unnamed field as its default name, which fits).
        if (record->mIsCustomized()
            && (!mStoredTypeNameFits
                || mRecords.encipherCustomType(*record->mRecordCustomType(), entry.typeCiphers) != kTVXDone)) {
            ErrorInImport(kImportErrorValueTooLong);
            return;
        }

        auto attachment = std::make_unique<Attachment>();
        const int attachmentCode = takeAttachment(*record, attachmentFields, *attachment);
        if (attachmentCode == kImportErrorValueTooLong) {
            ErrorInImport(kImportErrorValueTooLong);
            return;
        }
        entry.record = record;
        // A side file's copy waits in the private folder only until its batch is stored.
        if (record->mHasAttachment())
            mPending->attachments.push_back(std::move(attachment));
        mPending->records.append(std::move(entry));
        mPending->attachmentCodes.append(attachmentCode);
    } catch (const std::exception&) {
        ErrorInImport(kImportErrorRecordNotStored);
    }
}

void TVXqVXImportDelegate::countStored(TVXResult code, int attachmentCode, bool hasAttachment)
{
    if (code != kTVXDone) {
        ErrorInImport(kImportErrorRecordNotStored);
        return;
    }
    ++mSummary.recordsImported;
    if (attachmentCode != 0)
        ErrorInImport(attachmentCode); // stored, without its attachment
    else if (hasAttachment)
        ++mSummary.attachmentsImported;
}

void TVXqVXImportDelegate::ErrorInImport(int code)
{
    switch (code) {
    case kImportErrorNotImportable:
    case kImportErrorWrongPassword:
    case kImportErrorUnreadableFile:
    case kImportErrorFileTooLarge:
        if (mSummary.fileError == 0)
            mSummary.fileError = code;
        break;
    case kImportErrorMalformedLine:
        ++mSummary.recordsInFile;
        ++mSummary.failedMalformed;
        break;
    case kImportErrorNoType:
        ++mSummary.failedNoType;
        break;
    case kImportErrorValueTooLong:
        ++mSummary.failedValueTooLong;
        break;
    case kImportErrorNoTargetGroup:
        ++mSummary.failedNoTargetGroup;
        break;
    case kImportErrorSideFileMissing:
        ++mSummary.attachmentsMissing;
        break;
    case kImportErrorSideFileRefused:
        ++mSummary.attachmentsRefused;
        break;
    case kImportErrorSurplusFields:
        ++mSummary.linesWithSurplusFields;
        break;
    default: // kImportErrorRecordNotStored and anything unknown: a record lost
        ++mSummary.failedNotStored;
        break;
    }
}

void TVXqVXImportDelegate::ImportComplete()
{
    try {
        sendPending(true);
    } catch (...) {
        // The store ends a failed batch itself; its records count as not stored.
        ErrorInImport(kImportErrorRecordNotStored);
    }
    mCurrentType.reset();
    mStoredType.reset();
    mTemporaryFolder.reset();
    mIsComplete.store(true); // last
}
