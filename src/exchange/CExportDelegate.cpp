#include "exchange/CExportDelegate.h"

#include "interchange/FileCrypter.h"
#include "interchange/FileDates.h"
#include "interchange/SideFiles.h"
#include "model/BMGroup.h"
#include "model/TVXRecord.h"
#include "model/TVXType.h"
#include "store/loading/ParallelFor.h"
#include "store/attachments/AttachmentStore.h"
#include "store/schema/ColumnLimits.h"
#include "store/loading/StoreCaches.h"

#include <algorithm>

namespace {

std::string bytesOf(const QString& text) { return text.toStdString(); }

// Every record of the cache, grouped by type so that each type line is
// written once, in a fixed order.
QList<std::shared_ptr<TVXRecord>> allRecordsByType(const TVXStoreCaches& caches)
{
    QList<std::shared_ptr<TVXRecord>> records;
    for (const auto& record : caches.mRecords())
        if (record)
            records.append(record);
    auto key = [](const std::shared_ptr<TVXRecord>& record) {
        const auto& type = record->mType();
        return std::make_tuple(type ? type->mTypeName() : QString(), type ? type->mTypeUID() : QString(),
                               record->mRecordUID());
    };
    std::sort(records.begin(), records.end(), [&key](const auto& a, const auto& b) { return key(a) < key(b); });
    return records;
}

} // namespace

CExportDelegate::CExportDelegate(bool allRecords, const QList<std::shared_ptr<TVXRecord>>& records,
                                 const TVXStoreCaches& caches, TVXAttachmentStoreAccess& attachments)
    : mAllRecords(allRecords ? 1 : 0), mCaches(caches), mAttachments(attachments)
{
    mRecords = allRecords ? allRecordsByType(mCaches) : records;
    mRecords.removeAll(nullptr);
    mSummary.recordsInScope = int(mRecords.size());
}

CExportDelegate::~CExportDelegate() = default;

std::optional<CExportDelegate::PreparedSideFile> CExportDelegate::sideFile(const QString& recordID,
                                                                           const std::string& passKey, TVXResult& code)
{
    // One statement per hundred-odd attachments rather than one each.
    constexpr qsizetype kAttachmentBatch = 128;
    auto it = mPrepared.find(recordID);
    if (it == mPrepared.end()) {
        mPrepared.clear();
        QStringList batch{recordID};
        std::vector<std::string> keys{passKey};
        for (qsizetype i = mNext; i < mRecords.size() && batch.size() < kAttachmentBatch; ++i) {
            const TVXRecord& record = *mRecords[i];
            if (record.mHasAttachment() && record.mRecordUID() != recordID) {
                batch << record.mRecordUID();
                keys.push_back(bytesOf(record.mAttachmentPassKey())); // what GetNextRecord hands on
            }
        }
        auto fetched = mAttachments.extractAttachmentsData(batch, &code);
        if (!fetched)
            return std::nullopt;
        // Enciphered and written (each flushed to the disk) on several
        // threads, each file its own work; the exporter's calls then find
        // them done. Flushes of many files at once share the disk's commits.
        std::vector<PreparedSideFile> prepared(static_cast<size_t>(batch.size()));
        std::vector<char> found(prepared.size(), 0);
        tvxsql::parallelFor(
            prepared.size(),
            [&](std::size_t i) {
                const QString& id = batch[static_cast<qsizetype>(i)];
                const auto contents = fetched->constFind(id);
                if (contents == fetched->cend())
                    return;
                found[i] = 1;
                PreparedSideFile& side = prepared[i];
                side.passKey = keys[i];
                side.bytes.assign(contents->constData(), std::size_t(contents->size()));
                TVXFileCrypter(keys[i]).encryptData(side.bytes);
                if (mSideFileFolder.empty())
                    return;
                if (const auto path = SideFilePath(mSideFileFolder, id.toStdString())) {
                    side.path = *path;
                    side.written = WriteFilePrivately(side.path, side.bytes) ? 1 : 0;
                }
            },
            1);
        for (QByteArray& contents : *fetched)
            contents.fill('\0');
        for (std::size_t i = 0; i < prepared.size(); ++i)
            if (found[i])
                mPrepared.insert(batch[static_cast<qsizetype>(i)], std::move(prepared[i]));
        it = mPrepared.find(recordID);
        if (it == mPrepared.end()) {
            code = kTVXReloadFirst; // no row
            return std::nullopt;
        }
    }
    PreparedSideFile side = std::move(*it);
    mPrepared.erase(it);
    if (side.passKey == passKey)
        return side;
    // Another key than the record's: the attachment alone, under that key.
    auto contents = mAttachments.extractAttachmentData(recordID, &code);
    if (!contents)
        return std::nullopt;
    PreparedSideFile alone;
    alone.passKey = passKey;
    alone.bytes.assign(contents->constData(), std::size_t(contents->size()));
    contents->fill('\0');
    TVXFileCrypter(passKey).encryptData(alone.bytes);
    return alone;
}

bool CExportDelegate::GetNextRecord(EFileType kind, CStringArray& values, int32_t& mask,
                                    CStringArray& customNames, CString& groupName, CStringArray& attachmentFields,
                                    int32_t& icon, bool& typeChanged)
{
    typeChanged = false;
    // A note over the limit (stored before the writer applied it) would make
    // the import refuse the record: it is left out here, and said so.
    while (mNext < mRecords.size()
           && mRecords.at(mNext)->utf8Text(TVXRecord::kNotesSlot).size() > tvxsql::kNoteByteLimit) {
        ++mNext;
        ++mSummary.notesTooLong;
        ErrorInExport(kExportErrorNoteTooLong);
    }
    if (mNext >= mRecords.size())
        return false;
    const std::shared_ptr<TVXRecord> record = mRecords.at(mNext++);
    // A record whose type the user cannot see is one of the unfiled type.
    const std::shared_ptr<TVXType> type = record->mType() ? record->mType() : TVXType::UnfiledType();
    if (!mLastType || !type->isEqualToType(*mLastType)) {
        typeChanged = true;
        mLastType = type;
    }
    if (kind == eFileCSVExport) {
        values.Add(bytesOf(type->mTypeName()));
        typeChanged = false; // CSV has no type lines
    }
    mask = mLastType->mTypeMask();
    icon = mLastType->mTypeIconID();

    // The bytes the record keeps are its texts' UTF-8: no text is made.
    const auto utf8 = [&record](int slot) {
        const QByteArrayView bytes = record->utf8Text(slot);
        return std::string(bytes.data(), size_t(bytes.size()));
    };
    for (int i = 0; i < kQVXValueCount; ++i)
        values.Add(utf8(i));
    values.Add(FileDateFromModificationText(record->textCopy(9)));
    values.Add(utf8(TVXRecord::kNotesSlot)); // the writer turns line feeds into CR

    if (kind == eFileQVXv4) {
        const bool has = record->mHasAttachment();
        attachmentFields.Add(has ? bytesOf(record->mAttachmentName()) : std::string());
        attachmentFields.Add(has ? bytesOf(record->mAttachmentPassKey()) : std::string());
        attachmentFields.Add(bytesOf(record->mRecordUID()));
    }
    if (kind != eFileCSVExport) {
        const auto& custom = record->mRecordCustomType();
        const bool customised = record->mIsCustomized() && custom;
        if (customised) {
            icon = custom->mTypeIconID();
            mask = custom->mTypeMask();
        }
        for (int i = 0; i < kNumberOfFields; ++i)
            customNames.Add(customised ? bytesOf(custom->fieldAtIndex(i)) : std::string());
    }
    const auto& group = record->mGroup();
    groupName = group ? bytesOf(group->mGroupName()) : bytesOf(TVXLocalizedUnfiled());
    ++mSummary.recordsExported;
    return true;
}

bool CExportDelegate::GetTypeForLastRecord(CStringArray& names, int32_t& mask, int32_t& icon)
{
    if (!mLastType)
        return false;
    icon = mLastType->mTypeIconID();
    mask = mLastType->mTypeMask();
    names.Add(bytesOf(mLastType->mTypeName()));
    for (int i = 0; i < kNumberOfFields; ++i)
        names.Add(bytesOf(mLastType->fieldAtIndex(i)));
    return true;
}

bool CExportDelegate::CopyAttachmentToPath(const std::string& sideFilePath, const std::string& recordID,
                                           const std::string& passKey)
{
    TVXResult code = kTVXDone;
    const auto side = sideFile(QString::fromStdString(recordID), passKey, code);
    if (!side) {
        ++mSummary.attachmentsFailed;
        ErrorInExport(kExportErrorAttachment);
        return false;
    }
    // An empty attachment still gets its (empty) side file, so that it is
    // not taken for a missing one on import.
    const bool written = side->written >= 0 && side->path == sideFilePath
                             ? side->written == 1
                             : WriteFilePrivately(sideFilePath, side->bytes);
    if (!written) {
        ++mSummary.sideFilesFailed;
        ErrorInExport(kExportErrorSideFile);
        return false;
    }
    ++mSummary.sideFilesWritten;
    return true;
}

bool CExportDelegate::AnyRecordHasAttachment()
{
    return mCaches.anyRecordHasAtachementinArray(mRecords);
}

bool CExportDelegate::InitPathsForExportWithAttachments(const std::string& pathIn, std::string& pathOut,
                                                        std::string& sideFileFolder)
{
    const bool prepared = PrepareExportFolder(pathIn, pathOut, sideFileFolder);
    mSideFileFolder = sideFileFolder;
    return prepared;
}

void CExportDelegate::ErrorInExport(int code)
{
    if (code == kExportErrorSideFileName)
        ++mSummary.sideFilesFailed;
    if (mSummary.firstError == 0)
        mSummary.firstError = code;
}

void CExportDelegate::ExportComplete(EFileType /*kind*/, const std::string& path)
{
    mSummary.path = path;
    mLastType.reset();
    mPrepared.clear();
    mIsComplete.store(true); // last
}
