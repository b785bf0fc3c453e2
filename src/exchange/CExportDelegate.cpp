#include "exchange/CExportDelegate.h"

#include "interchange/FileCrypter.h"
#include "interchange/FileDates.h"
#include "interchange/SideFiles.h"
#include "model/BMGroup.h"
#include "model/TVXRecord.h"
#include "model/TVXType.h"
#include "store/TVXDataBase.h"

#include <algorithm>

namespace {

std::string bytesOf(const QString& text) { return text.toStdString(); }

// Every record of the cache, grouped by type so that each type line is
// written once, in a fixed order.
QList<std::shared_ptr<TVXRecord>> allRecordsByType(const TVXDataBase& database)
{
    QList<std::shared_ptr<TVXRecord>> records;
    for (const auto& record : database.mRecords())
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
                                 TVXDataBase* database)
    : mAllRecords(allRecords ? 1 : 0), mDataBase(database ? *database : TVXDataBase::sharedTVXDataBase())
{
    mRecords = allRecords ? allRecordsByType(mDataBase) : records;
    mRecords.removeAll(nullptr);
    mSummary.recordsInScope = int(mRecords.size());
}

CExportDelegate::~CExportDelegate() { dropPrefetched(); }

void CExportDelegate::dropPrefetched()
{
    for (QByteArray& contents : mPrefetched)
        contents.fill('\0');
    mPrefetched.clear();
}

std::optional<QByteArray> CExportDelegate::attachmentContents(const QString& recordID, int& code)
{
    // One statement per few dozen attachments rather than one each.
    constexpr qsizetype kAttachmentBatch = 32;
    auto it = mPrefetched.find(recordID);
    if (it == mPrefetched.end()) {
        dropPrefetched();
        QStringList batch{recordID};
        for (qsizetype i = mNext; i < mRecords.size() && batch.size() < kAttachmentBatch; ++i) {
            if (mRecords[i]->mHasAttachment() && mRecords[i]->mRecordUID() != recordID)
                batch << mRecords[i]->mRecordUID();
        }
        auto fetched = mDataBase.extractAttachmentsData(batch, &code);
        if (!fetched)
            return std::nullopt;
        mPrefetched = std::move(*fetched);
        it = mPrefetched.find(recordID);
        if (it == mPrefetched.end()) {
            code = kTVXReloadFirst; // no row
            return std::nullopt;
        }
    }
    std::optional<QByteArray> contents(std::move(*it));
    mPrefetched.erase(it);
    return contents;
}

bool CExportDelegate::GetNextRecord(EFileType kind, CStringArray& values, int32_t& mask,
                                    CStringArray& customNames, CString& groupName, CStringArray& attachmentFields,
                                    int32_t& icon, bool& typeChanged)
{
    typeChanged = false;
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

    for (int i = 0; i < kQVXValueCount; ++i)
        values.Add(bytesOf(record->valueAtIndex(i)));
    values.Add(FileDateFromModificationText(record->mValue10()));
    values.Add(bytesOf(record->mNotes())); // the writer turns line feeds into CR

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
    int code = kTVXDone;
    auto contents = attachmentContents(QString::fromStdString(recordID), code);
    if (!contents) {
        ++mSummary.attachmentsFailed;
        ErrorInExport(kExportErrorAttachment);
        return false;
    }
    std::string bytes(contents->constData(), std::size_t(contents->size()));
    contents->fill('\0');
    TVXFileCrypter(passKey).encryptData(bytes);
    // An empty attachment still gets its (empty) side file, so that it is
    // not taken for a missing one on import.
    const bool written = WriteFilePrivately(sideFilePath, bytes);
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
    return mDataBase.anyRecordHasAtachementinArray(mRecords);
}

bool CExportDelegate::InitPathsForExportWithAttachments(const std::string& pathIn, std::string& pathOut,
                                                        std::string& sideFileFolder)
{
    return PrepareExportFolder(pathIn, pathOut, sideFileFolder);
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
    dropPrefetched();
    mIsComplete.store(true); // last
}
