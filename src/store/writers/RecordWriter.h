#pragma once
// What the record sheets, the detail pane, the group and type editors and the
// import write through: the manager implements both, so that they need not
// include the whole manager. Results and cache rules are the manager's
// (TVXDataBase_Records.cpp, TVXDataBase_GroupsTypes.cpp).
#include "model/TVXType.h"
#include "store/session/ResultCodes.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <array>
#include <functional>
#include <memory>

class BMGroup;
class TVXRecord;

class TVXRecordWriter {
public:
    // What the record writers encipher, made ahead so that each cipher is made once.
    struct RecordCiphers {
        std::array<QByteArray, kNumberOfFields> values; // FIELD1..FIELD10
        QByteArray note;
    };
    struct CustomTypeCiphers {
        std::array<QByteArray, kNumberOfFields> fields;
    };

    virtual TVXResult addRecord(std::shared_ptr<TVXRecord> record) = 0;
    // Row, custom type and attachment work in one transaction; unchanged values answer 0.
    virtual TVXResult replaceRecord(const std::shared_ptr<TVXRecord>& record) = 0;
    virtual TVXResult deleteRecord(const std::shared_ptr<TVXRecord>& record) = 0;
    // Records deleted in order, each as deleteRecord deletes it (its own
    // transaction and event row, its memory part), several to a round trip,
    // until one is not deleted: the codes of those tried, a failure last.
    // The records after it are not tried.
    static constexpr int kDeletesPerRoundTrip = 25;
    virtual QList<TVXResult> deleteRecords(const QList<std::shared_ptr<TVXRecord>>& records) = 0;
    virtual void updateRecordViewCountForRecord(const QString& recordID) = 0; // the stored count only
    // A record was viewed (clicked): the view count (raised in memory when
    // asked), the most-viewed and recently-viewed lists and the "View Record"
    // event change in memory at once; their rows follow on the server behind
    // the window, in the order of the views. Main thread only.
    virtual void recordViewed(const TVXRecord& record, bool raiseMemoryCounter, const QString& userName) = 0;
    virtual void copyAttachmentRow(const TVXRecord& source, TVXRecord& target, TVXResult* returnCode) = 0;
    // Adds a record saved as new from `source`: an attachment the record does
    // not bring itself is copied from the source's stored row. The add's
    // result, or the copy's when the add worked.
    TVXResult addRecordCopyingAttachment(const std::shared_ptr<TVXRecord>& record, const TVXRecord* source);
    virtual TVXResult removeAttachment(const std::shared_ptr<TVXRecord>& record) = 0;
    // The record sheet's limits: a note of at most tvxsql::kNoteByteLimit
    // bytes (kNoteTooLong), then every value as the record writer measures
    // it; 3 with the index (0 to 9) in `tooLong`.
    static constexpr int kNoteTooLong = 10;
    virtual TVXResult measureRecordTexts(const TVXRecord& record, RecordCiphers& ciphers,
                                         int* tooLong = nullptr) const = 0;
    virtual TVXResult encipherCustomType(const TVXType& customType, CustomTypeCiphers& ciphers,
                                         int* tooLong = nullptr) const = 0;
    virtual void deleteReferencesFromCustomType(const TVXRecord& record, TVXResult* returnCode) = 0; // 0, or 1
    // The field cipher of a value, for measuring it before it is written.
    virtual QByteArray encryptString(const QString& text) const = 0;

    // An import's records: one transaction on this thread, its statements
    // shared. A record with its ciphers, made ahead by measureRecordTexts and
    // encipherCustomType.
    struct NewRecord {
        std::shared_ptr<TVXRecord> record;
        RecordCiphers ciphers;
        CustomTypeCiphers typeCiphers;
    };
    virtual TVXResult beginRecordBatch() = 0;
    // The records a failed commit lost go to *lostRecordIDs.
    virtual TVXResult endRecordBatch(QStringList* lostRecordIDs = nullptr) = 0;
    // Each as addRecord adds it, codes in order.
    virtual void addRecords(QList<NewRecord>& records, QList<TVXResult>& codes) = 0;

    // A save from the window. `serverPart` calls this writer's own functions
    // (add, replace, delete, attachment rows); it runs on the worker that sends
    // the writes behind the window, after every write posted before it. What
    // those calls change in memory (caches, stale-copy digests, recent lists,
    // change notices, event rows) and the errors they report follow on the
    // main thread once the server has answered; then `answer` gets the code.
    // An answer due after the writer is gone is dropped. Main thread only.
    using SaveAnswer = std::function<void(TVXResult)>;
    virtual void saveBehindWindow(std::function<TVXResult()> serverPart, SaveAnswer answer) = 0;
    // Saves started and not yet answered (main thread).
    virtual int savesInFlight() const = 0;
    // Runs `then` on the main thread once no save is in flight: at once when none is.
    virtual void whenSavesAnswered(std::function<void()> then) = 0;

protected:
    TVXRecordWriter() = default;
    ~TVXRecordWriter() = default;
    TVXRecordWriter(const TVXRecordWriter&) = delete;
    TVXRecordWriter& operator=(const TVXRecordWriter&) = delete;
};

class TVXGroupTypeWriter {
public:
    virtual TVXResult addGroup(std::shared_ptr<BMGroup> group) = 0;
    virtual TVXResult updateGroup(std::shared_ptr<BMGroup> group) = 0; // 1 when not cached
    // The server and the cache drop the group's (the type's) records with it.
    virtual TVXResult deleteGroup(const BMGroup& group) = 0;
    virtual TVXResult addType(std::shared_ptr<TVXType> type) = 0;
    virtual TVXResult updateType(std::shared_ptr<TVXType> type) = 0;
    virtual TVXResult deleteType(const TVXType& type) = 0;
    // Compared on the cipher bytes; false after a server error.
    virtual bool checkForGroupDuplicate(const QString& name) = 0;
    virtual bool checkForTypeDuplicate(const QString& name) = 0;

    // The editor's saves, as the record writer's saveBehindWindow: what the
    // write reads from memory (the cached copy, the signed-in user, the
    // sub-groups' members, the stale-copy digest, the event row) is read
    // now; the server part runs on the worker that sends the writes behind
    // the window; the caches, the announcement and the event listing follow
    // on the main thread once the server has answered, then `answer` gets
    // the code. With `checkName` the server is asked first whether the name
    // is stored (cipher bytes): then kTVXNameTaken and nothing is written.
    // Main thread only.
    using WriteAnswer = std::function<void(TVXResult)>;
    virtual void saveGroupBehindWindow(std::shared_ptr<BMGroup> group, bool isNew, bool checkName,
                                       WriteAnswer answer) = 0;
    virtual void saveTypeBehindWindow(std::shared_ptr<TVXType> type, bool isNew, bool checkName,
                                      WriteAnswer answer) = 0;
    virtual void deleteGroupBehindWindow(const BMGroup& group, WriteAnswer answer) = 0;
    virtual void deleteTypeBehindWindow(const TVXType& type, WriteAnswer answer) = 0;

protected:
    TVXGroupTypeWriter() = default;
    ~TVXGroupTypeWriter() = default;
    TVXGroupTypeWriter(const TVXGroupTypeWriter&) = delete;
    TVXGroupTypeWriter& operator=(const TVXGroupTypeWriter&) = delete;
};
