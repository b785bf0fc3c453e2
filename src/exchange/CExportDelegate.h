#pragma once
// The export provider: hands the records of the vault (all of them, or a
// given list) to the exporter one by one, with their types, and writes their
// attachments as side files. It counts what was written and notes every
// failure; the export command reads that once the provider says it is complete.
#include "interchange/CExporter.h"
#include "store/session/ResultCodes.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

class TVXAttachmentStoreAccess;
class TVXStoreCaches;
class TVXRecord;
class TVXType;

struct TVXExportSummary {
    int recordsInScope = 0;
    int recordsExported = 0;   // handed to the exporter
    int sideFilesWritten = 0;
    int attachmentsFailed = 0; // could not be read from the store
    int sideFilesFailed = 0;   // could not be written (or their name was refused)
    int notesTooLong = 0;      // records left out: a note over the import's limit
    // The first failure (kExportError...), 0 when there was none.
    int firstError = 0;
    // Where the file lies, empty when none was put in place.
    std::string path;

    bool fileInPlace() const { return !path.empty(); }
    // The file is in place with every record and every attachment.
    bool succeeded() const { return fileInPlace() && firstError == 0; }
};

class CExportDelegate : public CExportDataProviderDelegate {
public:
    // allRecords: every cached record, grouped by type; otherwise `records`
    // in their order. Attachments are read from `attachments` (the same
    // store). Made on the thread that owns the caches.
    CExportDelegate(bool allRecords, const QList<std::shared_ptr<TVXRecord>>& records, const TVXStoreCaches& caches,
                    TVXAttachmentStoreAccess& attachments);
    ~CExportDelegate() override;
    CExportDelegate(const CExportDelegate&) = delete;
    CExportDelegate& operator=(const CExportDelegate&) = delete;

    void ExportComplete(EFileType kind, const std::string& path) override;
    void ErrorInExport(int code) override;
    bool GetTypeForLastRecord(CStringArray& names, int32_t& mask, int32_t& icon) override;
    bool GetNextRecord(EFileType kind, CStringArray& values, int32_t& mask, CStringArray& customNames,
                       CString& groupName, CStringArray& attachmentFields, int32_t& icon,
                       bool& typeChanged) override;
    bool CopyAttachmentToPath(const std::string& sideFilePath, const std::string& recordID,
                              const std::string& passKey) override;
    bool AnyRecordHasAttachment() override;
    bool InitPathsForExportWithAttachments(const std::string& pathIn, std::string& pathOut,
                                           std::string& sideFileFolder) override;

    // Polled by the main thread; set last, when the exporter is done with the provider.
    bool ISExportComplete() const { return mIsComplete.load(); }
    // What was written; final once ISExportComplete().
    TVXExportSummary exportSummary() const { return mSummary; }

private:
    // A side file: the record's attachment enciphered with the pass key.
    // Fetched, enciphered and written with those of the next records that
    // have one, on several threads; null with the code when the attachment
    // cannot be had.
    struct PreparedSideFile {
        std::string passKey;
        std::string bytes;
        std::string path; // where it was written
        int written = -1; // 1 written, 0 failed, -1 not tried
    };
    std::optional<PreparedSideFile> sideFile(const QString& recordID, const std::string& passKey, TVXResult& code);

    std::shared_ptr<TVXType> mLastType;
    QHash<QString, PreparedSideFile> mPrepared;
    // Where side files go; empty until the exporter has made the folder.
    std::string mSideFileFolder;
    QList<std::shared_ptr<TVXRecord>> mRecords;
    qsizetype mNext = 0;
    int8_t mAllRecords;
    std::atomic<bool> mIsComplete{false};
    const TVXStoreCaches& mCaches;
    TVXAttachmentStoreAccess& mAttachments;
    TVXExportSummary mSummary;
};
