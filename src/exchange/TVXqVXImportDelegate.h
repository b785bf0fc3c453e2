#pragma once
// The import sink: turns the type and record lines the importer hands over
// into types and records of the vault, all in one target group, and stores
// them through the database manager. It counts what it imported and what it
// had to refuse, and why; the import command reads that once the sink says
// it is complete.
#include "interchange/CqVXImporter.h"
#include "store/schema/ColumnLimits.h"
#include "store/session/ResultCodes.h"

#include <QDate>
#include <QHash>
#include <QString>

#include <atomic>
#include <memory>
#include <string>
#include <string_view>

class QTemporaryDir;
namespace platform {
class PooledJob;
}
class TVXGroupTypeWriter;
class TVXRecord;
class TVXRecordWriter;
class TVXStoreCaches;
class TVXType;

struct TVXImportSummary {
    // Record lines met in the file, unreadable ones included.
    int recordsInFile = 0;
    int recordsImported = 0;
    // Records not imported, by reason.
    int failedNoType = 0;        // no type line (or an unnamed one) above them
    int failedValueTooLong = 0;  // a note over 4000 bytes, or a text too long for its column
    int failedNotStored = 0;     // the store refused the record or its type
    int failedMalformed = 0;     // the line ended before its fields
    int failedNoTargetGroup = 0; // there was no group to import into
    // Records imported without their attachment.
    int attachmentsMissing = 0;  // the side file is not there
    int attachmentsRefused = 0;  // the side file's name was refused, it could not be read, or it is
                                 // over the attachment limit (then it is not read at all)
    int attachmentsImported = 0;
    // Lines imported without the fields they held past their layout.
    int linesWithSurplusFields = 0;
    int typesAdded = 0;
    // The user stopped the import: the lines after went unread.
    bool stopped = false;
    // Set when the file as a whole was refused and nothing was imported:
    // kImportErrorNotImportable, kImportErrorWrongPassword or
    // kImportErrorUnreadableFile.
    int fileError = 0;

    int recordsFailed() const
    {
        return failedNoType + failedValueTooLong + failedNotStored + failedMalformed + failedNoTargetGroup;
    }
    // Everything in the file arrived, attachments included.
    bool succeeded() const
    {
        return fileError == 0 && recordsFailed() == 0 && attachmentsMissing == 0 && attachmentsRefused == 0
               && linesWithSurplusFields == 0;
    }
};

class TVXqVXImportDelegate : public CqVXImporterDelegate {
public:
    // The limit of the record sheet: notes of at most this many bytes (UTF-8).
    static constexpr int kMaxNoteBytes = tvxsql::kNoteByteLimit;
    // Icons above this number are custom icons of another store: read as the default icon.
    static constexpr int32_t kStandardIcons = 256;

    // path: the file being imported (side files are looked for beside it).
    // Records go to targetGroup; without one nothing is imported. Groups and
    // types already stored are found in the caches.
    TVXqVXImportDelegate(const std::string& path, std::shared_ptr<BMGroup> targetGroup, TVXStoreCaches& caches,
                         TVXRecordWriter& records, TVXGroupTypeWriter& groupsTypes);
    // The same with a store having every part (the manager).
    template <class Store>
    TVXqVXImportDelegate(const std::string& path, std::shared_ptr<BMGroup> targetGroup, Store* store)
        : TVXqVXImportDelegate(path, std::move(targetGroup), store->caches(), *store, *store)
    {
    }
    ~TVXqVXImportDelegate() override;
    TVXqVXImportDelegate(const TVXqVXImportDelegate&) = delete;
    TVXqVXImportDelegate& operator=(const TVXqVXImportDelegate&) = delete;

    std::shared_ptr<BMGroup> FindOrAddGroup(const std::string& groupName) override;
    void CreateType(const CStringArray& typeFields, int32_t icon, int32_t mask, int count) override;
    void AddRecord(EFileType kind, const CStringArray& values, const CStringArray& customNames,
                   const CStringArray& attachmentFields, const CString& groupName, int32_t icon, int32_t mask,
                   int count) override;
    void ImportComplete() override;
    void ErrorInImport(int code) override;

    // Polled by the main thread; set last, when the importer is done with the sink.
    bool IsImportComplete() const { return mIsComplete.load(); }
    // Record lines handled so far, for the progress shown (any thread).
    int recordLinesHandled() const { return mLinesHandled.load(); }
    // From any thread: the lines not yet handled are left; what was stored stays.
    void requestStop() { mStopRequested.store(true); }
    // What was imported and refused; final once IsImportComplete().
    TVXImportSummary importSummary() const { return mSummary; }
    const std::string& path() const { return mPath; }
    const std::shared_ptr<BMGroup>& targetGroup() const { return mTargetGroup; }

    // Notes as the file gives them (line breaks written as CR) back in the
    // model's form, with line feeds.
    static QString notesFromFile(std::string_view field);
    // An icon number of a file as the vault takes it.
    static int32_t iconFromFile(int32_t icon);

private:
    struct Attachment;
    struct Pending;
    // Records go to the store in batches of this many records, each one
    // transaction: far fewer round trips and disk syncs than one per record.
    // A batch's records wait in memory until it is stored (a few MiB at
    // most), and its statements carry as many rows as their bytes allow.
    static constexpr int kRecordsPerBatch = 2000;
    // Copies of side files waiting with a batch, at most: a batch with more
    // is stored at once.
    static constexpr int kAttachmentsPerBatch = 16;
    void addRecordLine(EFileType kind, const CStringArray& values, const CStringArray& customNames,
                       const CStringArray& attachmentFields, int32_t icon, int32_t mask, int count);
    // Hands the records waiting to the store as one batch. Off the main
    // thread a worker stores them while the next batch is read (one batch
    // at a time); with `wait`, or on the main thread, they are stored before
    // it returns. Either way the batch before is counted first.
    void sendPending(bool wait);
    // Waits for the batch on its way and counts each record's outcome.
    void collectSent();
    void storeBatch(Pending& batch);
    void countBatch(Pending& batch);
    void countStored(TVXResult code, int attachmentCode, bool hasAttachment);
    TVXResult storeCurrentType(bool& tooLong);
    QString modificationText(std::string_view field);
    void applyLook(TVXRecord& record, int32_t icon, int32_t mask, const CStringArray& customNames) const;
    bool typeFits(const TVXType& type) const;
    int takeAttachment(TVXRecord& record, const CStringArray& attachmentFields, Attachment& attachment);
    QString temporaryFolder();

    // The type of the last type line, as the file gives it (not stored).
    std::shared_ptr<TVXType> mCurrentType;
    // Field names that type line gave (the rest are defaults).
    int mCurrentTypeFieldCount = 0;
    // The stored type the records of that type line go to, once known.
    std::shared_ptr<TVXType> mStoredType;
    // Whether the stored type's name fits the store (a record's own look keeps it).
    bool mStoredTypeNameFits = false;
    std::string mPath;
    std::shared_ptr<BMGroup> mTargetGroup;
    std::atomic<bool> mIsComplete{false};
    std::atomic<int> mLinesHandled{0};
    std::atomic<bool> mStopRequested{false};
    TVXStoreCaches& mCaches;
    TVXRecordWriter& mRecords;
    TVXGroupTypeWriter& mGroupsTypes;
    TVXImportSummary mSummary;
    // Private (0700) folder for attachments on their way into the store.
    std::unique_ptr<QTemporaryDir> mTemporaryFolder;
    // Value 10 of each day met in the file's date fields, made once.
    QHash<QDate, QString> mDayTexts;
    // Records checked and waiting for the batch's shared statements, each
    // with the ciphers its checks made.
    std::unique_ptr<Pending> mPending;
    // The batch a worker stores meanwhile, and the worker.
    std::unique_ptr<Pending> mSent;
    std::unique_ptr<platform::PooledJob> mWriter;
};
