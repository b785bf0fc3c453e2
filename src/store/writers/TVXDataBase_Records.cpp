// Record storage: add, replace and delete records with their custom types and
// attachments, count views. Each writer enciphers the texts, writes the server
// first and changes the cache only once the server took the change, then logs
// its outcome: 0 done; 8 no row changed (stale copy, or an identifier already
// stored); 3 a server error, a cipher too long for its column, a note over
// the sheet's limit or a text that would not read back as written (nothing
// written); 15 a lock held elsewhere (nothing written); 1 any other failure.
#include "model/BMGroup.h"
#include "model/TVXRecord.h"
#include "model/TVXType.h"
#include "model/TVXUID.h"
#include "model/TVXUser.h"
#include "platform/core/BackgroundTask.h"
#include "platform/core/MainThread.h"
#include "store/schema/QueryConstants.h"
#include "store/personal/RecentListsStore.h"
#include "store/writers/RecordStorageParts.h"
#include "store/loading/RowDigest.h"
#include "store/session/StatementHelpers.h"
#include "store/loading/StoreChanges.h"
#include "store/writers/StaleCopies.h"
#include "store/TVXDataBase.h"
#include "store/eventlog/EventLogStore.h"
#include "store/eventlog/TVXEventLogger.h"
#include "store/session/Transaction.h"

#include <cppconn/connection.h>
#include <cppconn/exception.h>
#include <cppconn/prepared_statement.h>
#include <cppconn/resultset.h>
#include <cppconn/statement.h>

#include <QCoreApplication>
#include <QSet>

#include <algorithm>
#include <array>
#include <map>
#include <optional>
#include <thread>
#include <vector>

namespace {

const QString kEventAddRecord = QStringLiteral("Add Record");
const QString kEventReplaceRecord = QStringLiteral("Replace Record");
const QString kEventDeleteRecord = QStringLiteral("Delete Record");

using tvxsql::noConnection;

// A record's add, edit and delete as one call of a store routine each
// (store/writers/WriteCalls.h).
constexpr char kCallAddRecord[] = "CALL TVX_ADD_RECORD(?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)";
constexpr char kCallReplaceRecord[] = "CALL TVX_REPLACE_RECORD(?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)";
constexpr char kCallDeleteRecord[] = "CALL TVX_DELETE_RECORD(?, ?, ?, ?, ?, ?, ?, ?, ?)";

// A record without group or type object is one of the unfiled group or type:
// the loader leaves those objects out when the user's caches lack them.
QString groupUIDOf(const TVXRecord& record)
{
    return record.mGroup() ? record.mGroup()->mGroupUID() : kUnfiledUID;
}

QString typeUIDOf(const TVXRecord& record)
{
    return record.mType() ? record.mType()->mTypeUID() : kUnfiledUID;
}

// Binds the ten values and the note from `first` on; the streams live in `blobs`.
void bindRecordCiphers(sql::PreparedStatement& stmt, int first,
                       const std::array<QByteArray, kNumberOfFields>& values, const QByteArray& note,
                       std::vector<std::unique_ptr<tvxsql::BlobParameter>>& blobs)
{
    for (int i = 0; i < kNumberOfFields; ++i) {
        blobs.push_back(tvxsql::blobStream(values[static_cast<size_t>(i)]));
        stmt.setBlob(first + i, blobs.back()->stream());
    }
    blobs.push_back(tvxsql::blobStream(note));
    stmt.setBlob(first + kNumberOfFields, blobs.back()->stream());
}

// The ten texts enciphered, each refused when its column could not keep it:
// a zero character, or a cipher past a TINYBLOB (its index then in *tooLong).
template <class TextAt>
TVXResult encipherFields(const TVXDataBase& db, std::array<QByteArray, kNumberOfFields>& ciphers, TextAt textAt,
                   int* tooLong)
{
    for (int i = 0; i < kNumberOfFields; ++i) {
        const QString text = textAt(i);
        if (!tvxsql::readsBackAsWritten(text))
            return kTVXStatementFailed;
        QByteArray& cipher = ciphers[static_cast<size_t>(i)];
        cipher = db.encryptString(text);
        if (!tvxsql::fitsTinyBlob(cipher)) {
            if (tooLong)
                *tooLong = i;
            return kTVXStatementFailed;
        }
    }
    return kTVXDone;
}

} // namespace

// Record storage's own steps; they reach the manager's state through d.
struct TVXDataBase::RecordSteps {
    TVXDataBase& d;
    TVXResult storeNewRecord(NewRecord& entry, TVXResult code); // `code`: the enciphering's
    void finishNewRecord(const std::shared_ptr<TVXRecord>& record, TVXResult code, bool customised,
                         const AttachmentUpload* upload, const SideRows* sideRows = nullptr);
    // records[first, first + count) in shared statements, in a savepoint of
    // this thread's batch: true when all went in, else none stays.
    bool writeNewRecordRows(const QList<NewRecord>& records, qsizetype first, qsizetype count);
    // After a rolled-back batch: each record added again alone until one
    // fails; the identifiers of those not stored.
    QStringList replayRecords(const QStringList& recordIDs);
    TVXResult writeCustomType(sql::Connection& connection, const QString& recordID,
                                      const TVXType& customType, const CustomTypeCiphers& ciphers);
    static TVXResult writeReplacedRecord(sql::Connection& connection, const TVXRecord& record,
                                                 const RecordCiphers& ciphers, bool customTypeStored);
    // An edit as the checks and one call; the record's digest as now stored
    // in *stored (null when not known).
    bool replaceInOneCall(sql::Connection& connection, const TVXRecord& record, const RecordCiphers& ciphers,
                          const CustomTypeCiphers* typeCiphers, const TVXEventLogEntry& logRow,
                          tvxcalls::CallAnswer& answer, std::optional<TVXStaleCopies::RecordDigest>& stored);
    // The recent-list row's user and limit, from `first` on (NULL: no row).
    void bindRecentRow(sql::PreparedStatement& stmt, int first) const;
    // The side rows of a write that went in: a refused event row is stored
    // its usual way (which reports why).
    SideRows settleSideRows(const TVXEventLogEntry& logRow, const tvxcalls::CallAnswer& answer);
    // The memory lists (and the server's rows unless the write stored them).
    void noteRecordAdded(const QString& recordID, bool rowStored = false);
    void noteRecordModified(const TVXRecord& record, bool rowStored = false);
    void forgetRecordInRecentLists(const QString& recordID);
    void writeBatchLogRows(RecordBatch& batch);
    // A delete's end once the server answered: its event row settled, then
    // the memory part after the server (logStored: the call stored the row).
    void finishDeletedRecord(const std::shared_ptr<TVXRecord>& record, TVXResult code, bool logStored,
                             const TVXEventLogEntry& logRow, const tvxcalls::CallAnswer& answer);
    // Deletes records[next...] as calls and commits sent together, moving
    // `next` past each record whose commit answered; `answers` takes the
    // call's answer of each. Answers a failure of records[next] (thrown by
    // the server, or one of the routine's answers), or 0 when every record
    // went or *served is false (the statements must serve the rest).
    TVXResult deleteInCalls(sql::Connection& connection, const QList<std::shared_ptr<TVXRecord>>& records,
                            const QList<TVXEventLogEntry>& logRows, qsizetype& next,
                            QList<tvxcalls::CallAnswer>& answers, bool* served);
};

// --- connection guard ---------------------------------------------------------

std::unique_lock<TVXConnectionGuard> TVXDataBase::lockConnection() const
{
    // On the main thread the guard may wait for a worker's statement, and the
    // statement taken under it for the server: counted, so that tests can
    // show which actions never do that.
    if (platform::isMainThread())
        mMainThreadConnectionUses.fetch_add(1, std::memory_order_relaxed);
    return std::unique_lock<TVXConnectionGuard>(mConnectionMutex);
}

TVXResult TVXDataBase::runOnConnection(const std::function<TVXResult(sql::Connection&)>& work)
{
    std::optional<sql::SQLException> failure;
    TVXResult code = kTVXDone;
    {
        const auto guard = lockConnection();
        try {
            if (!mCPcon)
                throw noConnection();
            sql::Connection& connection = *mCPcon;
            // A whole write again after a deadlock or a cluster's conflict
            // (work is a whole write transaction or single statements).
            code = tvxsql::retryOnConflict(
                connection, [&] { return work(connection); },
                [this](const sql::SQLException& e) { return isNodeUnavailable(e); });
        } catch (const sql::SQLException& e) {
            // A lock wait that ran out, a master-password change's included,
            // is the store being busy: the change may still fail, and only one
            // that committed refuses the write (confirmMasterPasswordRow).
            failure.emplace(e);
        } catch (const std::exception&) {
            code = kTVXNotServerError;
        }
    }
    // The error path waits for the main thread: never with the guard held.
    // A node cut off or gone, or a server lost inside the write, answers the
    // lost connection, as a load does; the error path has told the user.
    if (failure)
        return reportDatabaseError(*failure, mapDBErrorCode(serverErrorNumber(*failure)) == kTVXClientError
                                                 ? kTVXClientError
                                                 : kTVXStatementFailed);
    return code;
}

// --- record batches -----------------------------------------------------------------

struct TVXDataBase::RecordBatch {
    std::unique_lock<TVXConnectionGuard> guard;
    std::thread::id thread;
    sql::Connection* connection = nullptr;
    std::unique_ptr<tvxsql::Transaction> transaction;
    std::map<const char*, std::unique_ptr<sql::PreparedStatement>> statements;
    std::map<std::pair<const char*, QString>, int> recentRows;
    // Recently added rows not yet written, by user.
    std::map<QString, QStringList> recentlyAddedRows;
    QStringList added;
    std::vector<platform::Error> deferredErrors;
    bool keyConfirmed = false; // the master-password row, for the whole transaction
    bool recordsChanged = false; // announced once the batch has released the guard
    // The server rolled the whole transaction back (deadlock, lost connection):
    // nothing written before then will be committed.
    bool broken = false;
    // Log rows written together before the commit, in their order.
    QList<TVXEventLogEntry> pendingLogRows;
};

TVXResult TVXDataBase::runWriteTransaction(const std::function<TVXResult(sql::Connection&)>& work)
{
    const TVXResult code = runOnConnection([&](sql::Connection& connection) {
        tvxsql::Transaction transaction(connection);
        // Nothing is written under a key the store no longer uses. A batch
        // confirms once: the row stays locked until the batch ends.
        RecordBatch* const batch = batchOfThisThread();
        if (!batch || !batch->keyConfirmed) {
            if (const TVXResult key = confirmMasterPasswordRow(connection, false); key != kTVXDone)
                return key;
            if (batch)
                batch->keyConfirmed = true;
        }
        const TVXResult result = work(connection);
        if (result == kTVXDone)
            transaction.commit();
        return result;
    });
    if (code == kTVXMasterPasswordMismatch)
        reportKeyRowChanged();
    return code;
}

TVXDataBase::RecordBatch* TVXDataBase::batchOfThisThread() const
{
    RecordBatch* batch = mRecordBatch.get();
    return batch && batch->thread == std::this_thread::get_id() ? batch : nullptr;
}

bool TVXDataBase::inRecordBatch() const { return batchOfThisThread() != nullptr; }

// An import: until endRecordBatch the calling thread keeps the connection
// and addRecord's rows join one transaction (each record's rows still
// stand or fall together). endRecordBatch commits: 0, or the failure's
// code after everything was rolled back and its records left the caches
// (their identifiers in *lostRecordIDs).
TVXResult TVXDataBase::beginRecordBatch()
{
    if (batchOfThisThread())
        return kTVXDone;
    auto batch = std::make_shared<RecordBatch>();
    batch->guard = lockConnection(); // held until the batch ends
    try {
        if (!mCPcon)
            throw noConnection();
        // Inside someone's transaction the batch would only join it.
        if (!mCPcon->getAutoCommit())
            return kTVXDone;
        batch->connection = mCPcon.get();
        batch->thread = std::this_thread::get_id();
        batch->transaction = std::make_unique<tvxsql::Transaction>(*mCPcon);
    } catch (const sql::SQLException& e) {
        batch.reset(); // the guard first
        return reportDatabaseError(e);
    }
    mRecordBatch = std::move(batch);
    return kTVXDone;
}

TVXResult TVXDataBase::endRecordBatch(QStringList* lostRecordIDs)
{
    RecordBatch* const open = batchOfThisThread();
    if (!open)
        return kTVXDone;
    std::optional<sql::SQLException> failure;
    writeBatchRecentRows();
    // A failed log write loses those rows only, as a single one did before.
    RecordSteps{*this}.writeBatchLogRows(*open);
    try {
        open->statements.clear();
        // A commit now would store only what followed the server's rollback.
        if (open->broken)
            throw sql::SQLException("Transaction rolled back by the server", "40000", 1213);
        open->transaction->commit();
    } catch (const sql::SQLException& e) {
        failure.emplace(e);
    }
    open->statements.clear();
    open->transaction.reset(); // rolls back what was not committed
    std::shared_ptr<RecordBatch> batch = std::move(mRecordBatch);
    batch->guard.unlock();
    if (batch->recordsChanged)
        storechanges::announce(&mCaches, mConnectionMutex, storechanges::kRecords);

    for (const platform::Error& error : batch->deferredErrors)
        platform::performOnMainThreadAndWait([this, &error] { handleDatabaseError(error); });
    if (!failure)
        return kTVXDone;
    // Nothing of the batch is stored: its records are added again one by one,
    // or leave the caches and are reported lost.
    const QStringList lost = RecordSteps{*this}.replayRecords(batch->added);
    if (lostRecordIDs)
        *lostRecordIDs = lost;
    if (lost.isEmpty())
        return kTVXDone;
    // A node cut off or gone at the commit is a lost connection, as for a single write.
    return reportDatabaseError(*failure, mapDBErrorCode(serverErrorNumber(*failure)) == kTVXClientError
                                             ? kTVXClientError
                                             : kTVXStatementFailed);
}

bool TVXDataBase::deferLogRowToBatchEnd(const TVXEventLogEntry& entry)
{
    RecordBatch* const batch = batchOfThisThread();
    if (!batch || batch->connection != mCPcon.get())
        return false;
    batch->pendingLogRows.append(entry);
    return true;
}

void TVXDataBase::RecordSteps::writeBatchLogRows(RecordBatch& batch)
{
    // As many rows a statement as its bytes allow (the shared inserts'
    // bound): a batch's rows go in one or two. A single statement that
    // fails undoes only itself, so it needs no savepoint of its own.
    constexpr qsizetype kRowsPerStatement = 4000;
    constexpr qsizetype kBytesPerStatement = 512 * 1024;
    const QList<TVXEventLogEntry> rows = std::move(batch.pendingLogRows);
    batch.pendingLogRows.clear();
    const auto rowBytes = [](const TVXEventLogEntry& row) {
        return qsizetype(64) + row.event.size() + 3 * row.description.size() + row.date.size() + 3 * row.user.size()
            + 3 * row.computer.size();
    };
    for (qsizetype first = 0; first < rows.size();) {
        qsizetype count = 0;
        for (qsizetype bytes = 0; first + count < rows.size() && count < kRowsPerStatement; ++count) {
            bytes += rowBytes(rows[first + count]);
            if (count > 0 && bytes > kBytesPerStatement)
                break;
        }
        try {
            const PreparedRef stmt =
                d.prepareRowsForBatch(*batch.connection, KQueryInsertEventLoggerTable, int(count));
            for (qsizetype i = 0; i < count; ++i)
                TVXEventLogStore::bindRow(*stmt, int(i) * 6 + 1, rows[first + i]);
            stmt->executeUpdate();
        } catch (const sql::SQLException& e) {
            (void)d.reportDatabaseError(e); // kept for the batch's end
        }
        first += count;
    }
}

QStringList* TVXDataBase::batchRecentlyAddedRows(const QString& recordID, const QString& userID)
{
    RecordBatch* const batch = batchOfThisThread();
    // Only the batch's own records: their rows cannot be refused for a record gone.
    if (!batch || batch->connection != mCPcon.get() || batch->added.lastIndexOf(recordID) < 0)
        return nullptr;
    return &batch->recentlyAddedRows[userID];
}

void TVXDataBase::writeBatchRecentRows()
{
    RecordBatch* const batch = batchOfThisThread();
    if (!batch || batch->recentlyAddedRows.empty())
        return;
    const std::map<QString, QStringList> rows = std::move(batch->recentlyAddedRows);
    batch->recentlyAddedRows.clear();
    for (const auto& [userID, recordIDs] : rows)
        mRecentListsAccess.mRecentLists->writeRecentlyAddedRows(userID, recordIDs);
}

bool TVXDataBase::deferErrorToBatchEnd(const platform::Error& error)
{
    RecordBatch* const batch = batchOfThisThread();
    if (!batch)
        return false;
    // Errors after which the server keeps nothing of the transaction.
    constexpr int kDeadlock = 1213;
    if (error.code == kDeadlock || (error.code >= 2000 && error.code <= 2050))
        batch->broken = true;
    batch->deferredErrors.push_back(error);
    return true;
}

TVXDataBase::PreparedRef TVXDataBase::prepareForBatch(sql::Connection& connection, const char* query)
{
    PreparedRef ref;
    // Prepared once per connection, a batch's included: a prepare is a round trip to the server.
    if (&connection == mCPcon.get() && mConnectionMutex.heldByThisThread()) {
        auto& kept = mPrepared[query];
        if (!kept)
            kept.reset(connection.prepareStatement(query));
        ref.stmt = kept.get();
        return ref;
    }
    RecordBatch* const batch = batchOfThisThread();
    if (batch && batch->connection == &connection) {
        auto& cached = batch->statements[query];
        if (!cached)
            cached.reset(connection.prepareStatement(query));
        ref.stmt = cached.get();
        return ref;
    }
    ref.owned.reset(connection.prepareStatement(query));
    ref.stmt = ref.owned.get();
    return ref;
}

TVXDataBase::PreparedRef TVXDataBase::prepareRowsForBatch(sql::Connection& connection, const char* oneRow, int rows)
{
    PreparedRef ref;
    if (&connection != mCPcon.get() || !mConnectionMutex.heldByThisThread()) {
        ref.owned.reset(connection.prepareStatement(tvxsql::repeatedRowsText(oneRow, rows)));
        ref.stmt = ref.owned.get();
        return ref;
    }
    // An import repeats a few row counts (its full runs, its batches' log
    // rows) between counts that come once (a batch's last run, its custom
    // field sets): those go first, and the repeated ones stay prepared.
    constexpr size_t kKeptTexts = 8;
    const std::pair<const char*, int> key{oneRow, rows};
    auto found = mPreparedRows.find(key);
    if (found == mPreparedRows.end()) {
        std::unique_ptr<sql::PreparedStatement> stmt(connection.prepareStatement(tvxsql::repeatedRowsText(oneRow, rows)));
        if (mPreparedRows.size() >= kKeptTexts)
            mPreparedRows.erase(std::min_element(mPreparedRows.begin(), mPreparedRows.end(), [](const auto& a, const auto& b) {
                return a.second.lastUse < b.second.lastUse;
            }));
        found = mPreparedRows.emplace(key, PreparedRows{std::move(stmt), 0}).first;
    }
    found->second.lastUse = ++mPreparedRowsUses;
    ref.stmt = found->second.stmt.get();
    return ref;
}

int* TVXDataBase::batchRecentRows(const char* readStatement, const QString& userID)
{
    RecordBatch* const batch = batchOfThisThread();
    if (!batch || batch->connection != mCPcon.get())
        return nullptr;
    const auto found = batch->recentRows.find({readStatement, userID});
    if (found == batch->recentRows.end())
        return &batch->recentRows.emplace(std::make_pair(readStatement, userID), -1).first->second;
    return &found->second;
}

// --- enciphering ----------------------------------------------------------------

TVXResult TVXDataBase::encipherRecord(const TVXRecord& record, RecordCiphers& ciphers, int* tooLong) const
{
    // One limit for every writer: what is stored, the exporter writes and the importer takes.
    if (record.mNotes().toUtf8().size() > tvxsql::kNoteByteLimit) {
        if (tooLong)
            *tooLong = kNoteTooLong;
        return kTVXStatementFailed;
    }
    const auto& getters = TVXRecord::getFunctionsArray();
    const TVXResult values = encipherFields(
        *this, ciphers.values, [&](int i) { return (record.*getters[static_cast<size_t>(i)])(); }, tooLong);
    if (values != kTVXDone)
        return values;
    if (!tvxsql::readsBackAsWritten(record.mNotes()))
        return kTVXStatementFailed;
    ciphers.note = encryptString(record.mNotes()); // NOTE is a LONGBLOB
    return kTVXDone;
}

TVXResult TVXDataBase::measureRecordTexts(const TVXRecord& record, RecordCiphers& ciphers, int* tooLong) const
{
    return encipherRecord(record, ciphers, tooLong);
}

TVXResult TVXDataBase::encipherCustomType(const TVXType& customType, CustomTypeCiphers& ciphers, int* tooLong) const
{
    const auto& getters = TVXType::getFunctionsArray();
    return encipherFields(*this, ciphers.fields, [&](int i) {
        const QString& name = (customType.*getters[static_cast<size_t>(i)])();
        return name.isNull() ? QStringLiteral("Field%1").arg(i + 1) : name;
    }, tooLong);
}

// --- statement parts --------------------------------------------------------------

TVXResult TVXDataBase::RecordSteps::writeCustomType(sql::Connection& connection, const QString& recordID,
                                              const TVXType& customType, const CustomTypeCiphers& ciphers)
{
    const PreparedRef stmt = d.prepareForBatch(connection, kQueryReplaceCustomType);
    stmt->setString(1, recordID.toStdString());
    stmt->setInt(2, customType.mTypeIconID());
    stmt->setInt(3, customType.mTypeMask());
    std::vector<std::unique_ptr<tvxsql::BlobParameter>> blobs;
    for (int i = 0; i < kNumberOfFields; ++i) {
        blobs.push_back(tvxsql::blobStream(ciphers.fields[static_cast<size_t>(i)]));
        stmt->setBlob(4 + i, blobs.back()->stream());
    }
    return stmt->executeUpdate() == 0 ? kTVXReloadFirst : kTVXDone;
}

TVXResult TVXDataBase::RecordSteps::writeReplacedRecord(sql::Connection& connection, const TVXRecord& record,
                                                  const RecordCiphers& ciphers, bool customTypeStored)
{
    std::unique_ptr<sql::PreparedStatement> stmt(connection.prepareStatement(kQueryUpdateRecord));
    std::vector<std::unique_ptr<tvxsql::BlobParameter>> blobs;
    stmt->setString(1, groupUIDOf(record).toStdString());
    stmt->setString(2, typeUIDOf(record).toStdString());
    bindRecordCiphers(*stmt, 3, ciphers.values, ciphers.note, blobs);
    stmt->setBoolean(14, record.mHasAttachment());
    stmt->setBoolean(15, customTypeStored);
    stmt->setString(16, record.mRecordUID().toStdString());
    // Matched rows are counted: no row means the record is no longer stored.
    return stmt->executeUpdate() == 0 ? kTVXReloadFirst : kTVXDone;
}

// --- writes in one call ---------------------------------------------------------

namespace {

void bindLogRow(sql::PreparedStatement& stmt, int first, const TVXEventLogEntry& logRow)
{
    TVXEventLogStore::bindRow(stmt, first, logRow);
}

// The ten custom field names, or empty ones where no custom type is written.
void bindTypeCiphers(sql::PreparedStatement& stmt, int first, const TVXType* type,
                     const TVXRecordWriter::CustomTypeCiphers* ciphers)
{
    stmt.setInt(first, type ? type->mTypeIconID() : 0);
    stmt.setInt(first + 1, type ? type->mTypeMask() : 0);
    for (int i = 0; i < kNumberOfFields; ++i)
        tvxsql::bindBytes(stmt, first + 2 + i, ciphers ? ciphers->fields[static_cast<size_t>(i)] : QByteArray());
}

void bindValueCiphers(sql::PreparedStatement& stmt, int first, const TVXRecordWriter::RecordCiphers& ciphers)
{
    for (int i = 0; i < kNumberOfFields; ++i)
        tvxsql::bindBytes(stmt, first + i, ciphers.values[static_cast<size_t>(i)]);
    tvxsql::bindBytes(stmt, first + kNumberOfFields, ciphers.note);
}

} // namespace

bool TVXDataBase::RecordSteps::replaceInOneCall(sql::Connection& connection, const TVXRecord& record,
                                                const RecordCiphers& ciphers, const CustomTypeCiphers* typeCiphers,
                                                const TVXEventLogEntry& logRow, tvxcalls::CallAnswer& answer,
                                                std::optional<TVXStaleCopies::RecordDigest>& stored)
{
    const QString recordID = record.mRecordUID();
    const TVXType* type = typeCiphers ? record.mRecordCustomType().get() : nullptr;
    stored.reset();
    TVXStaleCopies::RecordDigest before;
    bool attachedBefore = false;
    bool customisedBefore = false;
    const bool called = d.callLockedWrite(
        connection, TVXStaleCopies::lockKeyAndRecordText(), recordID,
        [&](sql::ResultSet& rs) {
            // A copy older than the stored rows changes nothing.
            before = TVXStaleCopies::recordDigestAt(rs, 2, &attachedBefore, &customisedBefore);
            const auto known = d.mStaleCopies->knownRecordDigest(recordID);
            return !known || *known == before ? kTVXDone : kTVXReloadFirst;
        },
        kCallReplaceRecord,
        [&](sql::PreparedStatement& stmt, int) {
            stmt.setString(1, recordID.toStdString());
            stmt.setString(2, groupUIDOf(record).toStdString());
            stmt.setString(3, typeUIDOf(record).toStdString());
            bindValueCiphers(stmt, 4, ciphers);
            stmt.setBoolean(15, record.mHasAttachment());
            stmt.setBoolean(16, record.mIsCustomized());
            stmt.setBoolean(17, type != nullptr);
            bindTypeCiphers(stmt, 18, type, typeCiphers);
            bindLogRow(stmt, 30, logRow);
            bindRecentRow(stmt, 36);
        },
        answer);
    if (!called || answer.code != kTVXDone)
        return called;
    // What the rows hold now, from what was written and the parts left alone.
    QByteArray values[kNumberOfFields + 1];
    for (int i = 0; i < kNumberOfFields; ++i)
        values[i] = ciphers.values[static_cast<size_t>(i)];
    values[kNumberOfFields] = ciphers.note;
    TVXStaleCopies::RecordDigest now;
    now.row = tvxsql::recordRowDigest(groupUIDOf(record), typeUIDOf(record), values, record.mHasAttachment(),
                                      record.mIsCustomized());
    bool whole = true;
    if (type)
        now.customType = tvxsql::customTypeDigest(type->mTypeIconID(), type->mTypeMask(), typeCiphers->fields.data());
    else if (record.mIsCustomized() && customisedBefore)
        now.customType = before.customType;
    else if (record.mIsCustomized())
        whole = false; // a row the lock did not read
    if (record.mHasAttachment() && attachedBefore)
        now.attachment = before.attachment;
    else if (record.mHasAttachment())
        whole = false;
    if (whole)
        stored = now;
    return true;
}

void TVXDataBase::RecordSteps::bindRecentRow(sql::PreparedStatement& stmt, int first) const
{
    const auto& user = d.caches().m_currentUser;
    if (user)
        stmt.setString(first, user->mUserID().toStdString());
    else
        stmt.setNull(first, sql::DataType::VARCHAR);
    stmt.setInt(first + 1, TVXRecentListsAccess::kRecentListLimit);
}

TVXDataBase::SideRows TVXDataBase::RecordSteps::settleSideRows(const TVXEventLogEntry& logRow,
                                                               const tvxcalls::CallAnswer& answer)
{
    if (answer.logRefused)
        (void)d.eventLog().saveLogsArrayToDatabase(logRow);
    return SideRows{logRow, true, !answer.recentRefused && d.caches().m_currentUser};
}

// --- adding -------------------------------------------------------------------------

namespace {

// Customised without a custom type is stored, and kept, as not customised.
bool storedAsCustomised(const TVXRecord& record)
{
    return record.mIsCustomized() && record.mRecordCustomType();
}

// In state 3 the caller copies a stored attachment row once the record is stored.
bool storesFile(const TVXRecord& record)
{
    return record.mHasAttachment() && record.mAttachmentState() != kAttachmentStateCopyStored;
}

// Rows per shared insert: below the server's limit of 65,535 placeholders.
constexpr qsizetype kNewRecordsPerStatement = 2000;
// A run cut short by its bytes is cut to a multiple of this, so that runs
// repeat a few row counts and their statements are prepared once.
constexpr qsizetype kRunRowsStep = 32;
// The bytes a shared insert carries stay well inside the smallest packet
// limit a server is configured with (1 MiB); a record larger than
// kMaxSharedRecordBytes goes alone, its values streamed.
constexpr qsizetype kSharedStatementBytes = 512 * 1024;
constexpr qsizetype kMaxSharedRecordBytes = 64 * 1024;

// What a record's rows carry in a shared insert.
qsizetype sharedRowBytes(const TVXDataBase::NewRecord& entry)
{
    qsizetype bytes = 3 * 16 + entry.ciphers.note.size();
    for (const QByteArray& cipher : entry.ciphers.values)
        bytes += cipher.size();
    if (entry.record->mIsCustomized() && entry.record->mRecordCustomType())
        for (const QByteArray& cipher : entry.typeCiphers.fields)
            bytes += 16 + cipher.size();
    return bytes;
}

} // namespace

// A new record with its custom type and attachment (from mAttachmentPath
// unless state 3 copies the row), all or nothing.
TVXResult TVXRecordWriter::addRecordCopyingAttachment(const std::shared_ptr<TVXRecord>& record, const TVXRecord* source)
{
    const int state = record->mAttachmentState();
    const bool copyStoredRow = source && record->mHasAttachment() && state != kAttachmentStateStoreNewFile
        && state != kAttachmentStateRemoved;
    if (!copyStoredRow)
        return addRecord(record);
    record->setMAttachmentState(kAttachmentStateCopyStored);
    TVXResult code = addRecord(record);
    if (code == kTVXDone) {
        copyAttachmentRow(*source, *record, &code);
        record->setMAttachmentState(kAttachmentStateCopyStored);
    }
    return code;
}

TVXResult TVXDataBase::addRecord(std::shared_ptr<TVXRecord> record)
{
    if (!record)
        return kTVXNotServerError;
    NewRecord entry;
    entry.record = std::move(record);
    TVXResult code = encipherRecord(*entry.record, entry.ciphers);
    if (code == kTVXDone && storedAsCustomised(*entry.record))
        code = encipherCustomType(*entry.record->mRecordCustomType(), entry.typeCiphers);
    return RecordSteps{*this}.storeNewRecord(entry, code);
}

TVXResult TVXDataBase::RecordSteps::storeNewRecord(NewRecord& entry, TVXResult code)
{
    const std::shared_ptr<TVXRecord>& record = entry.record;
    const QString recordID = record->mRecordUID();
    const bool customised = storedAsCustomised(*record);
    const bool storeFile = storesFile(*record);

    AttachmentUpload upload;
    if (code == kTVXDone && storeFile)
        code = d.attachmentWriter().prepareAttachmentUpload(*record, upload);

    // Without a file, outside a batch: one call.
    const TVXEventLogEntry logRow = d.eventLog().eventLogger().entryNow(
        kEventAddRecord, TVXEventLogger::recordDescription(*record), kEventActionSuccess);
    bool called = false;
    tvxcalls::CallAnswer answer;
    if (code == kTVXDone && !storeFile) {
        code = d.runOnConnection([&](sql::Connection& connection) {
            called = d.mayCall(connection);
            if (!called)
                return kTVXDone;
            called = d.callWrite(connection, kCallAddRecord, true, [&](sql::PreparedStatement& stmt, int first) {
                stmt.setString(first, recordID.toStdString());
                stmt.setString(first + 1, groupUIDOf(*record).toStdString());
                stmt.setString(first + 2, typeUIDOf(*record).toStdString());
                bindValueCiphers(stmt, first + 3, entry.ciphers);
                stmt.setBoolean(first + 14, record->mHasAttachment());
                stmt.setBoolean(first + 15, customised);
                stmt.setInt64(first + 16, record->mViewCounter());
                bindTypeCiphers(stmt, first + 17, customised ? record->mRecordCustomType().get() : nullptr,
                                customised ? &entry.typeCiphers : nullptr);
                bindLogRow(stmt, first + 29, logRow);
                bindRecentRow(stmt, first + 35);
            }, answer);
            return answer.code;
        });
    }
    if (code == kTVXDone && !called) {
        // All or nothing: a record without the custom type or attachment it
        // claims would read back wrong on every client.
        code = d.runWriteTransaction([&](sql::Connection& connection) {
            {
                const PreparedRef stmt = d.prepareForBatch(connection, kQueryRecordInsert);
                std::vector<std::unique_ptr<tvxsql::BlobParameter>> blobs;
                stmt->setString(1, recordID.toStdString());
                stmt->setString(2, groupUIDOf(*record).toStdString());
                stmt->setString(3, typeUIDOf(*record).toStdString());
                bindRecordCiphers(*stmt, 4, entry.ciphers.values, entry.ciphers.note, blobs);
                stmt->setBoolean(15, record->mHasAttachment());
                stmt->setBoolean(16, customised);
                stmt->setInt64(17, record->mViewCounter());
                // The insert ignores a stored identifier: no row was added.
                if (stmt->executeUpdate() == 0)
                    return kTVXReloadFirst;
            }
            if (customised)
                if (const TVXResult step =
                        writeCustomType(connection, recordID, *record->mRecordCustomType(), entry.typeCiphers);
                    step != kTVXDone)
                    return step;
            if (storeFile)
                if (const TVXResult step = d.attachmentWriter().writeAttachmentUpload(connection, recordID, upload); step != kTVXDone)
                    return step;
            return kTVXDone;
        });
    }
    SideRows sideRows;
    if (called && code == kTVXDone)
        sideRows = settleSideRows(logRow, answer);
    // The memory part, a save's on the main thread once the server answered.
    const std::optional<quint64> fileDigest =
        storeFile ? std::optional(tvxsql::attachmentDigest(upload.nameCipher, upload.passKeyCipher)) : std::nullopt;
    AttachmentUpload kept;
    kept.passKey = upload.passKey;
    kept.length = upload.length;
    d.afterServer([&db = d, record, code, customised, storeFile, fileDigest, kept, sideRows, ciphers = entry.ciphers,
                   typeFields = entry.typeCiphers.fields] {
        if (code == kTVXDone)
            db.mStaleCopies->noteNewRecordDigest(*record, ciphers.values, ciphers.note, typeFields, fileDigest);
        RecordSteps{db}.finishNewRecord(record, code, customised, storeFile ? &kept : nullptr, &sideRows);
    });
    return code;
}

void TVXDataBase::RecordSteps::finishNewRecord(const std::shared_ptr<TVXRecord>& record, TVXResult code, bool customised,
                                  const AttachmentUpload* upload, const SideRows* sideRows)
{
    if (code == kTVXDone) {
        const QString recordID = record->mRecordUID();
        record->setMIsCustomized(customised);
        if (upload) {
            record->setMAttachmentPassKey(upload->passKey);
            record->setMAttachmentLength(upload->length);
        }
        record->setMAttachmentState(kAttachmentStateNone);
        d.caches().m_records.insert(recordID, record);
        if (RecordBatch* const batch = d.batchOfThisThread())
            batch->added.append(recordID);
        noteRecordAdded(recordID, sideRows && sideRows->recentStored);
        d.recordCacheChanged(recordID);
    }
    if (sideRows && sideRows->logStored)
        d.eventLog().eventLogger().list(sideRows->logRow);
    else
        d.logRecordOutcome(kEventAddRecord, *record, code);
}

// Inside a batch, rows without a file go in shared statements a run at a
// time; a refused run is added again one by one, so that each record gets
// the code it would get alone.
void TVXDataBase::addRecords(QList<NewRecord>& records, QList<TVXResult>& codes)
{
    codes = QList<TVXResult>(records.size(), kTVXNotServerError);
    // The most rows, at most `rows`, of a record insert kept prepared (under the batch's guard).
    const auto preparedRowsAtMost = [this](qsizetype rows) -> qsizetype {
        if (!mConnectionMutex.heldByThisThread())
            return 0;
        const auto above = mPreparedRows.upper_bound({kQueryRecordInsert, int(rows)});
        if (above == mPreparedRows.begin() || std::prev(above)->first.first != kQueryRecordInsert)
            return 0;
        return std::prev(above)->first.second;
    };
    const auto sharedBytes = [](const NewRecord& entry) -> qsizetype {
        if (!entry.record || storesFile(*entry.record))
            return -1;
        const qsizetype bytes = sharedRowBytes(entry);
        return bytes <= kMaxSharedRecordBytes ? bytes : -1;
    };
    qsizetype next = 0;
    while (next < records.size()) {
        qsizetype end = next;
        qsizetype bytes = 0;
        for (; end < records.size() && end - next < kNewRecordsPerStatement; ++end) {
            const qsizetype row = sharedBytes(records[end]);
            if (row < 0)
                break;
            if (bytes + row > kSharedStatementBytes) {
                if (end - next > kRunRowsStep)
                    end = next + (end - next) / kRunRowsStep * kRunRowsStep;
                // A run a little shorter that is prepared already costs no
                // prepare: its round trip and the server's parse of a text
                // of thousands of placeholders.
                const qsizetype kept = preparedRowsAtMost(end - next);
                if (kept > 1 && kept * 8 >= (end - next) * 7)
                    end = next + kept;
                break;
            }
            bytes += row;
        }
        if (end - next > 1 && RecordSteps{*this}.writeNewRecordRows(records, next, end - next)) {
            for (qsizetype i = next; i < end; ++i) {
                mStaleCopies->noteNewRecordDigest(*records[i].record, records[i].ciphers.values,
                                                  records[i].ciphers.note, records[i].typeCiphers.fields, std::nullopt);
                const auto& record = records[i].record;
                RecordSteps{*this}.finishNewRecord(record, kTVXDone, storedAsCustomised(*record), nullptr);
                codes[i] = kTVXDone;
            }
            next = end;
            continue;
        }
        // One at a time: a lone record, one with a file, or a run the server refused.
        end = std::max(end, next + 1);
        for (; next < end; ++next)
            if (records[next].record)
                codes[next] = RecordSteps{*this}.storeNewRecord(records[next], kTVXDone);
    }
}

QStringList TVXDataBase::RecordSteps::replayRecords(const QStringList& recordIDs)
{
    QStringList lost;
    bool replaying = true;
    for (const QString& recordID : recordIDs) {
        const std::shared_ptr<TVXRecord> record = d.caches().m_records.value(recordID);
        d.caches().m_records.remove(recordID);
        d.recentLists().mRecentLists->list(TVXRecentLists::RecentlyAdded).removeAll(recordID);
        d.mStaleCopies->forgetRecordDigest(recordID);
        d.recordCacheChanged(recordID);
        // A stored file is not read again: such a record is reported.
        if (replaying && record && !record->mHasAttachment()) {
            NewRecord entry;
            entry.record = record;
            TVXResult code = d.encipherRecord(*record, entry.ciphers);
            if (code == kTVXDone && storedAsCustomised(*record))
                code = d.encipherCustomType(*record->mRecordCustomType(), entry.typeCiphers);
            code = storeNewRecord(entry, code);
            if (code == kTVXDone)
                continue;
            replaying = false; // the first refusal ends the replay
        }
        lost << recordID;
    }
    return lost;
}

bool TVXDataBase::RecordSteps::writeNewRecordRows(const QList<NewRecord>& records, qsizetype first, qsizetype count)
{
    const auto guard = d.lockConnection();
    RecordBatch* const batch = d.batchOfThisThread();
    if (!batch || !d.mCPcon || batch->connection != d.mCPcon.get())
        return false;
    sql::Connection& connection = *d.mCPcon;
    try {
        // The run stands or falls together; the batch's other rows stay. Its
        // savepoint goes with the batch's commit.
        tvxsql::Transaction run(connection, tvxsql::Transaction::Nested::KeepSavepoint);
        // A stale key sends the run one record at a time, each then refused.
        if (!batch->keyConfirmed) {
            if (d.confirmMasterPasswordRow(connection, false) != kTVXDone)
                return false;
            batch->keyConfirmed = true;
        }
        qsizetype customised = 0;
        {
            const PreparedRef stmt = d.prepareRowsForBatch(connection, kQueryRecordInsert, int(count));
            for (qsizetype i = 0; i < count; ++i) {
                const NewRecord& entry = records[first + i];
                const TVXRecord& record = *entry.record;
                const int base = int(i) * 17;
                const bool custom = storedAsCustomised(record);
                customised += custom ? 1 : 0;
                stmt->setString(base + 1, record.mRecordUID().toStdString());
                stmt->setString(base + 2, groupUIDOf(record).toStdString());
                stmt->setString(base + 3, typeUIDOf(record).toStdString());
                for (int f = 0; f < kNumberOfFields; ++f)
                    tvxsql::bindBytes(*stmt, base + 4 + f, entry.ciphers.values[static_cast<size_t>(f)]);
                tvxsql::bindBytes(*stmt, base + 4 + kNumberOfFields, entry.ciphers.note);
                stmt->setBoolean(base + 15, record.mHasAttachment());
                stmt->setBoolean(base + 16, custom);
                stmt->setInt64(base + 17, record.mViewCounter());
            }
            // An ignored row (a stored identifier, a group or type gone) leaves the count short.
            if (stmt->executeUpdate() != int(count))
                return false;
        }
        if (customised > 0) {
            const PreparedRef stmt = d.prepareRowsForBatch(connection, kQueryReplaceCustomType, int(customised));
            int base = 0;
            for (qsizetype i = 0; i < count; ++i) {
                const NewRecord& entry = records[first + i];
                if (!storedAsCustomised(*entry.record))
                    continue;
                const TVXType& type = *entry.record->mRecordCustomType();
                stmt->setString(base + 1, entry.record->mRecordUID().toStdString());
                stmt->setInt(base + 2, type.mTypeIconID());
                stmt->setInt(base + 3, type.mTypeMask());
                for (int f = 0; f < kNumberOfFields; ++f)
                    tvxsql::bindBytes(*stmt, base + 4 + f, entry.typeCiphers.fields[static_cast<size_t>(f)]);
                base += 3 + kNumberOfFields;
            }
            // The records are new: no row of theirs was there to replace.
            if (stmt->executeUpdate() != int(customised))
                return false;
        }
        run.commit();
        return true;
    } catch (const sql::SQLException&) {
        // Each record is tried again alone and reports its own failure.
        return false;
    }
}

// --- replacing ----------------------------------------------------------------------

TVXResult TVXDataBase::storeReplacedRecord(TVXRecord& record, bool dropAttachment, QString* newPassKey,
                                     qint64* newLength, SideRows* sideRows)
{
    const QString recordID = record.mRecordUID();
    const bool writeType = record.mIsCustomized() && record.mRecordCustomType();
    const int state = record.mAttachmentState();
    const bool storeFile = !dropAttachment && record.mHasAttachment() && state == kAttachmentStateStoreNewFile;
    const bool reencipher = !dropAttachment && record.mHasAttachment() && state == kAttachmentStateReencipher;

    RecordCiphers ciphers;
    CustomTypeCiphers typeCiphers;
    AttachmentUpload upload;
    TVXResult code = encipherRecord(record, ciphers);
    if (code == kTVXDone && writeType)
        code = encipherCustomType(*record.mRecordCustomType(), typeCiphers);
    if (code == kTVXDone && storeFile)
        code = mAttachmentWriter.prepareAttachmentUpload(record, upload);
    if (code != kTVXDone)
        return code;

    std::optional<TVXStaleCopies::RecordDigest> stored;
    // Without attachment work, outside a batch: the checks and one call.
    const TVXEventLogEntry logRow = mEventLogAccess.eventLogger().entryNow(
        kEventReplaceRecord, TVXEventLogger::recordDescription(record), kEventActionSuccess);
    bool called = false;
    tvxcalls::CallAnswer answer;
    if (!dropAttachment && !storeFile && !reencipher) {
        code = runOnConnection([&](sql::Connection& connection) {
            called = mayCall(connection);
            if (!called)
                return kTVXDone;
            called = RecordSteps{*this}.replaceInOneCall(connection, record, ciphers, writeType ? &typeCiphers : nullptr,
                                                         logRow, answer, stored);
            return answer.code;
        });
        if (called && code == kTVXMasterPasswordMismatch)
            reportKeyRowChanged();
        if (called && code == kTVXDone) {
            const SideRows settled = RecordSteps{*this}.settleSideRows(logRow, answer);
            if (sideRows)
                *sideRows = settled;
            afterServer([this, recordID, stored, listRow = !sideRows, logRow] {
                if (stored)
                    mStaleCopies->keepRecordDigest(recordID, *stored);
                else
                    mStaleCopies->forgetRecordDigest(recordID); // written as before until read again
                if (listRow)
                    mEventLogAccess.eventLogger().list(logRow);
            });
        }
        if (called)
            return code;
    }
    code = runWriteTransaction([&](sql::Connection& connection) {
        // A copy older than the stored rows changes nothing.
        if (const TVXResult fresh = mStaleCopies->checkRecordNotStale(connection, recordID, dropAttachment);
            fresh != kTVXDone)
            return fresh;
        // The row first: a record deleted meanwhile answers 8 before its
        // custom type or attachment rows are tried.
        if (const TVXResult step = RecordSteps::writeReplacedRecord(connection, record, ciphers, record.mIsCustomized());
            step != kTVXDone)
            return step;
        if (dropAttachment)
            (void)mAttachmentWriter.dropAttachmentRow(connection, recordID); // a row already gone is as wanted
        if (writeType)
            if (const TVXResult step = RecordSteps{*this}.writeCustomType(connection, recordID, *record.mRecordCustomType(),
                                                                    typeCiphers);
                step != kTVXDone)
                return step;
        if (storeFile)
            if (const TVXResult step = mAttachmentWriter.writeAttachmentUpload(connection, recordID, upload); step != kTVXDone)
                return step;
        if (reencipher)
            if (const TVXResult step = mAttachmentWriter.writeAttachmentHeader(connection, record); step != kTVXDone)
                return step;
        stored = TVXStaleCopies::lockedRecordDigest(connection, recordID);
        return kTVXDone;
    });
    if (code == kTVXDone && stored)
        afterServer([this, recordID, digest = *stored] { mStaleCopies->keepRecordDigest(recordID, digest); });
    if (code == kTVXDone && storeFile) {
        if (newPassKey)
            *newPassKey = upload.passKey;
        if (newLength)
            *newLength = upload.length;
    }
    return code;
}

void TVXDataBase::finishReplacedRecord(const std::shared_ptr<TVXRecord>& record, TVXResult code,
                                       const SideRows* sideRows)
{
    afterServer([this, record, code, rows = sideRows ? *sideRows : SideRows{}] {
        if (code == kTVXDone) {
            record->setMAttachmentState(kAttachmentStateNone);
            mCaches.m_records.insert(record->mRecordUID(), record);
            RecordSteps{*this}.noteRecordModified(*record, rows.recentStored);
            recordCacheChanged(record->mRecordUID());
        }
        if (rows.logStored && code == kTVXDone)
            mEventLogAccess.eventLogger().list(rows.logRow);
        else
            logRecordOutcome(kEventReplaceRecord, *record, code);
    });
}

TVXResult TVXDataBase::replaceRecord(const std::shared_ptr<TVXRecord>& record)
{
    if (!record)
        return kTVXReloadFirst;
    QString newPassKey;
    qint64 newLength = -1;
    SideRows sideRows;
    const TVXResult code = storeReplacedRecord(*record, false, &newPassKey, &newLength, &sideRows);
    if (code == kTVXDone && !newPassKey.isNull()) {
        record->setMAttachmentPassKey(newPassKey);
        record->setMAttachmentLength(newLength);
    }
    finishReplacedRecord(record, code, &sideRows);
    return code;
}

// --- deleting -----------------------------------------------------------------------

TVXResult TVXDataBase::deleteRecord(const std::shared_ptr<TVXRecord>& record)
{
    if (!record)
        return kTVXReloadFirst;
    const QString recordID = record->mRecordUID();
    const TVXEventLogEntry logRow = mEventLogAccess.eventLogger().entryNow(
        kEventDeleteRecord, TVXEventLogger::recordDescription(*record), kEventActionSuccess);
    bool called = false;
    tvxcalls::CallAnswer answer;
    TVXResult code = runOnConnection([&](sql::Connection& connection) {
        called = mayCall(connection);
        if (!called)
            return kTVXDone;
        called = callWrite(connection, kCallDeleteRecord, true,
                           [&](sql::PreparedStatement& stmt, int first) {
                               stmt.setString(first, recordID.toStdString());
                               bindLogRow(stmt, first + 1, logRow);
                           },
                           answer);
        return answer.code;
    });
    if (code == kTVXDone && !called)
        code = runWriteTransaction([&](sql::Connection& connection) {
            return tvxsql::updateRowsFor(connection, kQueryDeleteRecord, recordID) == 0 ? kTVXReloadFirst : kTVXDone;
        });
    RecordSteps{*this}.finishDeletedRecord(record, code, called && code == kTVXDone, logRow, answer);
    return code;
}

void TVXDataBase::RecordSteps::finishDeletedRecord(const std::shared_ptr<TVXRecord>& record, TVXResult code,
                                                   bool logStored, const TVXEventLogEntry& logRow,
                                                   const tvxcalls::CallAnswer& answer)
{
    if (logStored)
        (void)settleSideRows(logRow, answer);
    d.afterServer([db = &d, record, recordID = record->mRecordUID(), code, logStored, logRow] {
        if (code == kTVXDone) {
            // The server dropped the custom type, attachment and every user's
            // recent-list rows with the record; memory follows.
            db->mCaches.m_records.remove(recordID);
            RecordSteps{*db}.forgetRecordInRecentLists(recordID);
            // Its texts leave the search index by name: no walk over every record.
            db->mCaches.refreshRecordSearchEntry(*record);
            db->recordCacheChanged(recordID);
        }
        if (logStored)
            db->mEventLogAccess.eventLogger().list(logRow);
        else
            db->logRecordOutcome(kEventDeleteRecord, *record, code);
    });
}

namespace {

// A value in a text sent to the server: its bytes in hexadecimal, so that no
// character of a record's name or identifier ever reaches the text itself.
std::string hexLiteral(const QByteArray& bytes)
{
    std::string literal = "X'";
    literal += bytes.toHex().toStdString();
    literal += '\'';
    return literal;
}

std::string textLiteral(const QString& text)
{
    std::string literal = "_utf8mb4 ";
    literal += hexLiteral(text.toUtf8());
    return literal;
}

constexpr int kErrCommandsOutOfSync = 2014;

// The read that confirms a run of deletes: those of the records still stored.
std::string storedReadOf(const QList<std::shared_ptr<TVXRecord>>& records, qsizetype first, qsizetype count)
{
    std::string text = "SELECT RECORDID FROM RECORDTABLE WHERE RECORDID IN (";
    for (qsizetype i = first; i < first + count; ++i) {
        if (i > first)
            text += ',';
        text += textLiteral(records.at(i)->mRecordUID());
    }
    text += ')';
    return text;
}

// How many of records[first, first + count), from the first on, the read found gone.
qsizetype leadingGone(sql::ResultSet& rs, const QList<std::shared_ptr<TVXRecord>>& records, qsizetype first,
                      qsizetype count)
{
    QSet<QString> stored;
    while (rs.next())
        stored.insert(QString::fromStdString(rs.getString(1).asStdString()));
    qsizetype gone = 0;
    while (gone < count && !stored.contains(records.at(first + gone)->mRecordUID()))
        ++gone;
    return gone;
}

// Whether an error leaves the commits answered before it in doubt. A cluster
// node cut off may answer a commit the others never had, and only fail what
// follows; a connection gone cannot be asked, and the routine's own answers
// and refusals say nothing of the commits before.
bool castsDoubtOnCommits(const sql::SQLException& e)
{
    const int number = e.getErrorCode();
    if (number >= 2000 && number <= 2050)
        return false;
    tvxcalls::CallAnswer answer;
    return !answer.take(e) && number != tvxcalls::kKeyRowChanged && number != kErrPermissionRefused;
}

} // namespace

TVXResult TVXDataBase::RecordSteps::deleteInCalls(sql::Connection& connection,
                                                  const QList<std::shared_ptr<TVXRecord>>& records,
                                                  const QList<TVXEventLogEntry>& logRows, qsizetype& next,
                                                  QList<tvxcalls::CallAnswer>& answers, bool* served)
{
    while (next < records.size()) {
        // As callWrite: nothing is sent under a key row the store may no longer hold.
        if (!d.keyRowMatchesKey()) {
            *served = false;
            return kTVXDone;
        }
        const qsizetype end = std::min(records.size(), next + qsizetype(kDeletesPerRoundTrip));
        std::string keyRow = d.mCiphers.keyedMasterPassword() ? "1," : "0,";
        keyRow += d.mKeyRow.present ? hexLiteral(d.mKeyRow.cipher) : std::string("NULL");
        // Each record's call, then its commit: the server runs them in order
        // and stops at the first that fails, so each answer is one record's.
        // The last statement reads which of them are still stored: a commit
        // counts once that read (waiting for the cluster) finds its record gone.
        const qsizetype count = end - next;
        std::string text;
        for (qsizetype i = next; i < end; ++i) {
            text += "CALL TVX_DELETE_RECORD(";
            text += keyRow;
            text += ',';
            text += textLiteral(records.at(i)->mRecordUID());
            for (const QString& value : TVXEventLogStore::rowValues(logRows.at(i))) {
                text += ',';
                text += textLiteral(value);
            }
            text += ");COMMIT;";
        }
        text += storedReadOf(records, next, count);
        const std::unique_ptr<sql::Statement> stmt(connection.createStatement());
        qsizetype answered = 0; // statements answered without an error
        qsizetype gone = 0;
        bool matched = true;
        try {
            bool rows = stmt->execute(text);
            for (;;) {
                ++answered;
                if (answered == 2 * count + 1)
                    break;
                rows = stmt->getMoreResults();
                if (rows != (answered == 2 * count)) {
                    matched = false;
                    break;
                }
            }
            if (matched) {
                std::unique_ptr<sql::ResultSet> rs(stmt->getResultSet());
                gone = leadingGone(*rs, records, next, count);
                rs.reset();
                (void)stmt->getMoreResults();
            }
        } catch (const sql::SQLException& e) {
            // An error's answer comes after every answer before it: the
            // commits before it answered, none after it ran.
            if (answered % 2 == 1)
                tvxcalls::rollBackQuietly(connection); // the commit failed: the record is not deleted
            const qsizetype committed = answered / 2;
            qsizetype confirmed = committed;
            if (committed > 0 && castsDoubtOnCommits(e)) {
                confirmed = 0;
                try {
                    const std::unique_ptr<sql::Statement> read(connection.createStatement());
                    const std::unique_ptr<sql::ResultSet> rs(
                        read->executeQuery(storedReadOf(records, next, committed)));
                    confirmed = leadingGone(*rs, records, next, committed);
                } catch (const sql::SQLException&) {
                    // not confirmed: the failure is the first record's
                }
            }
            for (qsizetype i = 0; i < confirmed; ++i)
                answers << tvxcalls::CallAnswer{};
            next += confirmed;
            if (confirmed < committed || answered % 2 == 1)
                throw;
            if (committed == count)
                continue; // only the read failed, and the records are gone
            tvxcalls::CallAnswer answer;
            if (answer.take(e)) {
                if (answer.code != kTVXDone)
                    return answer.code; // the routine rolled back
                // Deleted, its side rows refused: committed on its own, the rest sent again.
                try {
                    tvxcalls::commitWritten(connection, answer);
                } catch (const sql::SQLException&) {
                    tvxcalls::rollBackQuietly(connection);
                    throw;
                }
                answers << answer;
                ++next;
                continue;
            }
            if (e.getErrorCode() == tvxcalls::kKeyRowChanged)
                d.mKeyRow = {};
            if (e.getErrorCode() == tvxcalls::kKeyRowChanged || tvxcalls::notServed(e)) {
                *served = false;
                return kTVXDone;
            }
            throw; // the routine rolled back
        }
        // Answers that end early, or rows where none were due: nothing of
        // them counts as committed, and the connection is not to be trusted.
        if (!matched)
            throw sql::SQLException("The server's answers did not match the statements sent", "HY000",
                                    kErrCommandsOutOfSync);
        for (qsizetype i = 0; i < gone; ++i)
            answers << tvxcalls::CallAnswer{};
        next += gone;
        if (gone < count)
            throw sql::SQLException("A record whose delete was committed is still stored", "HY000",
                                    kErrCommandsOutOfSync);
    }
    return kTVXDone;
}

QList<TVXResult> TVXDataBase::deleteRecords(const QList<std::shared_ptr<TVXRecord>>& records)
{
    QList<TVXResult> codes;
    qsizetype sent = 0;
    while (sent < records.size() && records.at(sent))
        ++sent;
    const QList<std::shared_ptr<TVXRecord>> sendable = records.first(sent);
    QList<TVXEventLogEntry> logRows;
    logRows.reserve(sendable.size());
    for (const auto& record : sendable)
        logRows << mEventLogAccess.eventLogger().entryNow(kEventDeleteRecord, TVXEventLogger::recordDescription(*record),
                                                          kEventActionSuccess);
    qsizetype next = 0; // the first record without an answer
    bool served = true;
    QList<tvxcalls::CallAnswer> answers;
    // A conflict the server undid is sent again from the record it met,
    // those before it being committed.
    const TVXResult failure = runOnConnection([&](sql::Connection& connection) {
        if (!mayCall(connection)) {
            served = false;
            return kTVXDone;
        }
        return RecordSteps{*this}.deleteInCalls(connection, sendable, logRows, next, answers, &served);
    });
    RecordSteps steps{*this};
    for (qsizetype i = 0; i < answers.size(); ++i) {
        codes << kTVXDone;
        steps.finishDeletedRecord(sendable.at(i), kTVXDone, true, logRows.at(i), answers.at(i));
    }
    if (failure != kTVXDone && next < sendable.size()) {
        codes << failure;
        steps.finishDeletedRecord(sendable.at(next), failure, false, logRows.at(next), {});
        return codes;
    }
    // A store without the routine, or a key row to read again: one at a time as before.
    for (; !served && next < sendable.size(); ++next) {
        codes << deleteRecord(sendable.at(next));
        if (codes.last() != kTVXDone)
            return codes;
    }
    if (sent < records.size())
        codes << kTVXReloadFirst; // no record to delete
    return codes;
}

// --- view count and custom types ------------------------------------------------------

void TVXDataBase::updateRecordViewCountForRecord(const QString& recordID)
{
    // A count not raised is no loss worth a message; the error path still hears of it.
    (void)runOnConnection([&](sql::Connection& connection) {
        const PreparedRef stmt = prepareForBatch(connection, kQueryUpdateRecordViewCount);
        stmt->setString(1, recordID.toStdString());
        stmt->executeUpdate();
        return kTVXDone;
    });
}

TVXResult TVXDataBase::updateCustomType(const TVXRecord& record, const TVXType& customType)
{
    CustomTypeCiphers ciphers;
    if (const TVXResult code = encipherCustomType(customType, ciphers); code != kTVXDone)
        return code;
    mStaleCopies->forgetRecordDigest(record.mRecordUID()); // written outside a replace
    return runWriteTransaction([&](sql::Connection& connection) {
        return RecordSteps{*this}.writeCustomType(connection, record.mRecordUID(), customType, ciphers);
    });
}

void TVXDataBase::deleteReferencesFromCustomType(const TVXRecord& record, TVXResult* returnCode)
{
    // Written outside a replace.
    afterServer([this, recordID = record.mRecordUID()] { mStaleCopies->forgetRecordDigest(recordID); });
    const TVXResult code = runOnConnection([&](sql::Connection& connection) {
        std::unique_ptr<sql::PreparedStatement> stmt(connection.prepareStatement(kQueryDeleteCustomType));
        stmt->setString(1, record.mRecordUID().toStdString());
        stmt->executeUpdate();
        return kTVXDone;
    });
    if (returnCode)
        *returnCode = code == kTVXDone ? kTVXDone : kTVXNotServerError;
}

// --- memory sides -------------------------------------------------------------------

namespace {

// A save's memory part lists the record at once; its row follows behind the
// window, and an entry the server would not take leaves the list again.
void listBehindWindow(TVXDataBase& db, TVXRecentLists& lists, TVXRecentLists::List which, const QString& recordID,
                      const QString& userID)
{
    lists.addInMemory(which, recordID);
    db.sendBehindWindow([&lists, which, recordID, userID] {
        bool stored = false;
        (void)lists.writeAdded(which, recordID, userID, &stored);
        if (!stored)
            platform::performOnMainThread([&lists, which, recordID] { lists.list(which).removeAll(recordID); });
    });
}

} // namespace

void TVXDataBase::RecordSteps::noteRecordAdded(const QString& recordID, bool rowStored)
{
    // The record is stored whatever its recent-list row does; that failure went to the error path.
    TVXRecentLists& lists = *d.recentLists().mRecentLists;
    if (lists.list(TVXRecentLists::RecentlyAdded).contains(recordID))
        return;
    const QString userID = d.caches().m_currentUser->mUserID();
    if (rowStored)
        lists.addInMemory(TVXRecentLists::RecentlyAdded, recordID);
    else if (d.mAnsweringSave)
        listBehindWindow(d, lists, TVXRecentLists::RecentlyAdded, recordID, userID);
    else
        (void)d.recentLists().addRecentlyAddedID(recordID, userID);
}

void TVXDataBase::RecordSteps::noteRecordModified(const TVXRecord& record, bool rowStored)
{
    // As above: the change is stored whatever the list's row does.
    TVXRecentLists& lists = *d.recentLists().mRecentLists;
    if (lists.list(TVXRecentLists::RecentlyModified).contains(record.mRecordUID()))
        return;
    const QString userID = d.caches().m_currentUser->mUserID();
    if (rowStored)
        lists.addInMemory(TVXRecentLists::RecentlyModified, record.mRecordUID());
    else if (d.mAnsweringSave)
        listBehindWindow(d, lists, TVXRecentLists::RecentlyModified, record.mRecordUID(), userID);
    else
        (void)d.recentLists().addRecentlyModifiedRecordID(record, userID);
}

void TVXDataBase::RecordSteps::forgetRecordInRecentLists(const QString& recordID)
{
    d.recentLists().mRecentLists->list(TVXRecentLists::MostViewed).removeAll(recordID);
    d.recentLists().mRecentLists->list(TVXRecentLists::RecentlyViewed).removeAll(recordID);
    d.recentLists().mRecentLists->list(TVXRecentLists::RecentlyModified).removeAll(recordID);
    d.recentLists().mRecentLists->list(TVXRecentLists::RecentlyAdded).removeAll(recordID);
}

void TVXDataBase::recordCacheChanged(const QString& recordID)
{
    if (RecordBatch* const batch = batchOfThisThread())
        batch->recordsChanged = true;
    else
        storechanges::announce(&mCaches, mConnectionMutex, storechanges::kRecords);
    // Keeps searches from rebuilding the entry, and drops a deleted record's texts at once.
    if (const auto record = mCaches.m_records.value(recordID))
        mCaches.refreshRecordSearchEntry(*record);
    else
        mCaches.pruneRecordSearchIndex();
}
