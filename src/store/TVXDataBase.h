#pragma once
// The database manager: the one connection to the store's server, the field
// encrypters and every read and write of the store. It is the session its
// concern objects run their statements through and the writer of records,
// groups and types; the caches (store/loading/StoreCaches.h) and the other
// concerns are members, reached through the accessors below. Its operations
// are spread over one source file per concern.

#include "platform/core/Error.h"
#include "store/accounts/AccountAdmin.h"
#include "store/attachments/AttachmentStore.h"
#include "store/attachments/AttachmentWriter.h"
#include "store/session/ConnectionGuard.h"
#include "store/eventlog/EventLogStore.h"
#include "store/accounts/HintStore.h"
#include "store/personal/IconStore.h"
#include "store/session/MasterPasswordStore.h"
#include "store/session/ReadAhead.h"
#include "store/personal/PersonalStore.h"
#include "store/accounts/PreferencesStore.h"
#include "store/personal/RecentListsStore.h"
#include "store/writers/GroupMembership.h"
#include "store/writers/RecordWriter.h"
#include "store/loading/StoreCaches.h"
#include "store/loading/StoreLoader.h"
#include "store/session/StoreSession.h"
#include "store/session/ValueCiphers.h"
#include "store/StoreTypes.h"
#include "store/eventlog/TVXEventLogEntry.h"
#include "store/writers/WriteCalls.h"
#include "store/writers/WriteBehind.h"

#include <QByteArray>
#include <QFont>
#include <QRectF>
#include <QSizeF>
#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariantHash>

#include <algorithm>
#include <atomic>
#include <functional>
#include <istream>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace sql {
class Connection;
class Driver;
class PreparedStatement;
class ResultSet;
class SQLException;
class Statement;
} // namespace sql

class BMGroup;
class CDBEncrypter;
struct TVXSortDescriptor;
class TVXRecord;
class TVXType;
class TVXUser;
class TVXUser_Admin;

class TVXDataBase final
    : public TVXStoreSession
    , public TVXRecordWriter
    , public TVXGroupTypeWriter
{
public:
    using LoginRequest = TVXLoginRequest;

    // The instance the application uses; made on first use, never destroyed.
    static TVXDataBase& sharedTVXDataBase();

    TVXDataBase();
    ~TVXDataBase();
    TVXDataBase(const TVXDataBase&) = delete;
    TVXDataBase& operator=(const TVXDataBase&) = delete;

    // --- the concerns it holds; a caller is given the part it uses ----------
    TVXStoreCaches& caches() override { return mCaches; }
    const TVXStoreCaches& caches() const override { return mCaches; }
    // The user's settings, password hint, account administration, personal group.
    TVXPreferences& preferences() { return mPreferences; }
    TVXPasswordHint& passwordHint() { return mPasswordHint; }
    TVXAccountAdminAccess& accountAdmin() { return mAccountAdminAccess; }
    TVXPersonalAccess& personal() { return mPersonalAccess; }
    // Attachment rows (read, then written), the event log, icons, recent lists.
    TVXAttachmentStoreAccess& attachments() { return mAttachmentAccess; }
    TVXAttachmentWriter& attachmentWriter() { return mAttachmentWriter; }
    TVXEventLogAccess& eventLog() { return mEventLogAccess; }
    TVXIconsAccess& icons() { return mIconsAccess; }
    TVXRecentListsAccess& recentLists() { return mRecentListsAccess; }
    // The parts the log-in, the load and the writers run through.
    TVXMasterPasswordStore& masterPasswordChange() { return mMasterPassword; }
    TVXValueCiphers& ciphers() { return mCiphers; }
    TVXStoreLoader& loader() { return mLoader; }
    TVXGroupMembership& membership() { return mMembership; }

    // --- state -------------------------------------------------------------
    bool isDataReloading() const override { return mIsDataReloaded.load(); }
    QString connectedServerAddress() const;
    QString connectingPortAddress() const;
    QString masterPassword() const;
    bool isLoadingComplete() const { return mIsLoadingComplete.load(); }
    bool isConnectionComplete() const { return mIsConnectionComplete.load(); }
    TVXResult connectionErrorCode() const { return mConnectionErrCode.load(); }
    bool isConnectionLostHandlerOn() const { return mConnectionLostHandlerIsOn.load(); }
    sql::Connection* connection() const override { return mCPcon.get(); }

    // --- log-in (TVXDataBase_Connection.cpp) -----------------------------------
    // The log-in worker (steps where it is defined); tells connectionISComplete.
    TVXResult startConnectionToServer(const LoginRequest& request);
    // The server's certificate is checked as tvxsql::connectWithTls says;
    // metFingerprint receives the SHA-256 of the one it presented.
    std::unique_ptr<sql::Connection> connectToSServer(const QString& url, const QString& account,
                                                      const QString& password, const QString& caFile = {},
                                                      bool allowUnencrypted = false,
                                                      const QString& pinnedFingerprint = {},
                                                      QString* metFingerprint = nullptr);
    QString secureConnectionRefusal() const; // why TLS was refused (kTVXSecureConnectionRefused)
    // The SHA-256 fingerprint of the certificate the last log-in met (empty: none seen).
    QString serverFingerprint() const;
    // How long one wait for the server may last (from the next log-in on).
    static constexpr int kReadWriteTimeoutSeconds = 30;
    void setReadWriteTimeout(int seconds) { mReadWriteTimeoutSeconds.store(seconds); }
    // The session's wait for a row lock: a statement may meet a few such
    // waits, and a write tries twice, all inside one read timeout.
    static constexpr int lockWaitSeconds(int readTimeoutSeconds) { return std::max(1, readTimeoutSeconds / 4); }
    bool hasAdminUserPrivileges(const QString& account);
    void selectSchema(const QString& schema);
    QString retriveMasterPassword(); // null when there is no row
    TVXResult checkMasterPassword(const QString& typed);
    QString checkForMasterPasswordMatch(); // null on failure
    static TVXResult mapDBErrorCode(int serverErrorNumber);
    void handleDatabaseError(const platform::Error& error); // main thread only
    void setReconnectionDone() { mConnectionLostHandlerIsOn.store(false); }

    // --- loading and reloading (TVXDataBase_Load.cpp) ---------------------------
    // First load's main-thread step: the user's row and group list; 6 a
    // disabled account, 7 no user row.
    TVXResult initUserDetails(const QString& accountName, const QString& password);
    TVXResult loadDataBase(); // a second load reads nothing
    TVXResult reloadDatabase(); // everything but the preferences
    QString generatePasswordWith(uint16_t flags, uint16_t length) const override;

    // --- record storage (TVXDataBase_Records.cpp: results and cache rules) ------
    TVXResult addRecord(std::shared_ptr<TVXRecord> record) override;
    // What addRecord enciphers (ciphers in store/writers/RecordWriter.h); 3 with the
    // index (0 to 9) in `tooLong`.
    TVXResult encipherRecord(const TVXRecord& record, RecordCiphers& ciphers, int* tooLong = nullptr) const;
    TVXResult encipherCustomType(const TVXType& customType, CustomTypeCiphers& ciphers,
                                 int* tooLong = nullptr) const override;
    TVXResult measureRecordTexts(const TVXRecord& record, RecordCiphers& ciphers, int* tooLong = nullptr) const override;
    void addRecords(QList<NewRecord>& records, QList<TVXResult>& codes) override;
    // Row, custom type and attachment work (state 1 store the file, 4
    // re-encipher) in one transaction; unchanged values answer 0.
    TVXResult replaceRecord(const std::shared_ptr<TVXRecord>& record) override;
    TVXResult deleteRecord(const std::shared_ptr<TVXRecord>& record) override;
    QList<TVXResult> deleteRecords(const QList<std::shared_ptr<TVXRecord>>& records) override;
    void updateRecordViewCountForRecord(const QString& recordID) override; // the stored count only
    // A null field name is stored as "Field<n>".
    TVXResult updateCustomType(const TVXRecord& record, const TVXType& customType);
    void deleteReferencesFromCustomType(const TVXRecord& record, TVXResult* returnCode) override; // 0, or 1
    std::unique_lock<TVXConnectionGuard> lockConnection() const override;
    // How often the main thread took the connection guard since the start.
    uint64_t connectionUsesOnMainThread() const { return mMainThreadConnectionUses.load(); }
    const TVXConnectionGuard& connectionGuard() const override { return mConnectionMutex; }
    // An import's one transaction on this thread (TVXDataBase_Records.cpp).
    TVXResult beginRecordBatch() override;
    TVXResult endRecordBatch(QStringList* lostRecordIDs = nullptr) override;
    bool inRecordBatch() const;

    // --- group and type storage (TVXDataBase_GroupsTypes.cpp; store/writers/RecordWriter.h) ---
    // Results and cache rules as for records.
    TVXResult addGroup(std::shared_ptr<BMGroup> group) override;
    TVXResult updateGroup(std::shared_ptr<BMGroup> group) override;
    TVXResult deleteGroup(const BMGroup& group) override;
    TVXResult addType(std::shared_ptr<TVXType> type) override;
    TVXResult updateType(std::shared_ptr<TVXType> type) override;
    TVXResult deleteType(const TVXType& type) override;
    bool checkForGroupDuplicate(const QString& name) override;
    bool checkForTypeDuplicate(const QString& name) override;
    void saveGroupBehindWindow(std::shared_ptr<BMGroup> group, bool isNew, bool checkName,
                               WriteAnswer answer) override;
    void saveTypeBehindWindow(std::shared_ptr<TVXType> type, bool isNew, bool checkName, WriteAnswer answer) override;
    void deleteGroupBehindWindow(const BMGroup& group, WriteAnswer answer) override;
    void deleteTypeBehindWindow(const TVXType& type, WriteAnswer answer) override;
    void convertForDeletedGroupUIDToUnfieldUID(const QString& groupUID, TVXResult* code);

    // --- attachment rows (more in store/attachments/AttachmentWriter.h and AttachmentStore.h)
    void copyAttachmentRow(const TVXRecord& source, TVXRecord& target, TVXResult* returnCode) override;
    TVXResult removeAttachment(const std::shared_ptr<TVXRecord>& record) override;

    // --- server accounts (TVXDataBase_Accounts.cpp; more in store/accounts/AccountAdmin.h)
    // e.g. "GRANT %@ on RECORDTABLE TO '%@'"; names are checked, never spliced raw.
    void assignTablePrivilegesforTable(const QString& grantFormat, const QString& privileges,
                                       const QString& account);
    void adoptConnection(std::unique_ptr<sql::Connection> connection); // the store-creation tool's

    // --- value enciphering; without an encrypter the plain UTF-8 bytes -------------
    QByteArray encryptString(const QString& text) const override; // field encrypter (master password)
    QString decryptString(const QByteArray& stored) const override;
    QByteArray encryptDataString(const QString& text) const override; // user-data encrypter (application key)
    QString decryptDataString(const QByteArray& stored) const override;

    // --- the error path (store/session/StoreSession.h) ------------------------------------
    TVXResult reportDatabaseError(const sql::SQLException& e, TVXResult code = kTVXStatementFailed) override;
    int serverErrorNumber(const sql::SQLException& e) override;
    bool isNodeUnavailable(const sql::SQLException& e);
    TVXResult reportError(const platform::Error& error, TVXResult code);
    void handOnError(const platform::Error& error); // to the main thread's handler
    sql::Connection& liveConnection() const override;
    TVXResult runStatement(const std::function<TVXResult()>& work, TVXResult otherFailure = kTVXNotServerError) override;
    TVXResult runOnConnection(const std::function<TVXResult(sql::Connection&)>& work) override;
    // The same in one write transaction (a savepoint inside an outer one),
    // committed when work answers 0. The one place a write transaction runs.
    TVXResult runWriteTransaction(const std::function<TVXResult(sql::Connection&)>& work);
    PreparedRef prepareForBatch(sql::Connection& connection, const char* query) override;
    PreparedRef prepareRowsForBatch(sql::Connection& connection, const char* oneRow, int rows) override;
    bool deferLogRowToBatchEnd(const TVXEventLogEntry& entry) override;
    int* batchRecentRows(const char* readStatement, const QString& userID) override;
    QStringList* batchRecentlyAddedRows(const QString& recordID, const QString& userID) override;
    void writeBatchRecentRows() override;
    void endClientThreadState() const override;

private:
    // Replaces the connection under the guard; the old one is closed after.
    void swapConnection(std::unique_ptr<sql::Connection> connection);

    struct LoadSteps; // TVXDataBase_Load.cpp
    friend class TVXStoreLoader;


    // Record storage (TVXDataBase_Records.cpp).
    using AttachmentUpload = TVXAttachmentUpload;
    struct RecordSteps; // TVXDataBase_Records.cpp
    // replaceRecord's store; a newly stored file's pass key and length go to *newPassKey, *newLength.
    // What a write stored with its rows where it could: its event row, its
    // row of a recent list. The memory part then only lists them.
    struct SideRows {
        TVXEventLogEntry logRow;
        bool logStored = false;
        bool recentStored = false;
    };
    TVXResult storeReplacedRecord(TVXRecord& record, bool dropAttachment, QString* newPassKey,
                            qint64* newLength = nullptr, SideRows* sideRows = nullptr);
    void finishReplacedRecord(const std::shared_ptr<TVXRecord>& record, TVXResult code,
                              const SideRows* sideRows = nullptr);
    void recordCacheChanged(const QString& recordID); // the search index follows here
    mutable TVXConnectionGuard mConnectionMutex;
    mutable std::atomic<uint64_t> mMainThreadConnectionUses{0};
    struct RecordBatch;
    std::shared_ptr<RecordBatch> mRecordBatch; // shared: deleted where the type is known
    RecordBatch* batchOfThisThread() const;
    // A server error kept for the batch's end: the main thread may be waiting for the connection.
    bool deferErrorToBatchEnd(const platform::Error& error);

    std::unique_ptr<class TVXStaleCopies> mStaleCopies; // store/writers/StaleCopies.h

    // Group and type storage (TVXDataBase_GroupsTypes.cpp).
    struct GroupTypeSteps;
    struct GroupWrite;
    struct TypeWrite;
    struct RemovalWrite;

    friend class TVXAttachmentWriter; // writes under the manager's guard and stale-copy rules

    // 0 when the stored master password is the one the field encrypter was
    // made from, else 4; the row stays locked until the transaction ends.
    TVXResult confirmMasterPasswordRow(sql::Connection& connection, bool forChange);
    // The master-password row's stored bytes as last read (log-in, checks),
    // under the guard: a write call has the server compare them with its row.
    struct KeyRow {
        bool known = false;
        bool present = false; // no row reads as an empty password
        QByteArray cipher;
    };
    KeyRow mKeyRow;
    void noteKeyRow(sql::ResultSet& rs, int column);
    // Whether mKeyRow is the row the current key was made from.
    bool keyRowMatchesKey() const;
    // The error path's message for a write refused under a changed master password.
    void reportKeyRowChanged();

    // Writes as one call of a store routine (store/writers/WriteCalls.h), under
    // the guard. Whether a write may go so: not inside a batch or another
    // transaction.
    bool mayCall(sql::Connection& connection) const;
    using CallBind = std::function<void(sql::PreparedStatement&, int first)>;
    // A call that begins, checks the master-password row when `checksKey`
    // (its two first parameters), writes and commits: its answer in `answer`,
    // or false, with nothing written, when the statements must serve (the row
    // not known, a store without the routine).
    bool callWrite(sql::Connection& connection, const char* call, bool checksKey, const CallBind& bind,
                   tvxcalls::CallAnswer& answer);
    // An edit in three round trips: begin; lock the master-password row and
    // the row with `lockQuery` (columns: the master-password row, the row's
    // key, NULL when gone, then what `check` compares: 0 to go on, else the
    // answer); one call that writes and commits.
    bool callLockedWrite(sql::Connection& connection, const char* lockQuery, const QString& uid,
                         const std::function<TVXResult(sql::ResultSet&)>& check, const char* call,
                         const CallBind& bind, tvxcalls::CallAnswer& answer);
    friend class TVXMasterPasswordStore; // re-enciphers under the manager's key and guard

    std::unique_ptr<sql::Connection> mCPcon;

    TVXValueCiphers mCiphers;

    std::atomic<bool> mReadRecords{false};
    std::atomic<bool> mIsDataReloaded{false};
    std::atomic<bool> mIsLoadingComplete{false};
    std::atomic<bool> mIsConnectionComplete{false};
    std::atomic<TVXResult> mConnectionErrCode{kTVXDone};
    std::atomic<bool> mConnectionLostHandlerIsOn{false};
    std::atomic<int> mReadWriteTimeoutSeconds{kReadWriteTimeoutSeconds};

    mutable std::mutex mDetailsMutex;
    QHash<QString, QString> mConnectionDetails;
    QString mSecureConnectionRefusal; // under mDetailsMutex
    QString mServerFingerprint;       // under mDetailsMutex

    // Statements prepared once per connection, under the guard (prepareForBatch).
    std::map<const char*, std::unique_ptr<sql::PreparedStatement>> mPrepared;
    // Multi-row texts by one-row text and row count (prepareRowsForBatch), a few at a time;
    // the one used longest ago makes room.
    struct PreparedRows {
        std::unique_ptr<sql::PreparedStatement> stmt;
        uint64_t lastUse = 0;
    };
    std::map<std::pair<const char*, int>, PreparedRows> mPreparedRows;
    uint64_t mPreparedRowsUses = 0;
    // The load's reads sent together; gone before the connection it reads from.
    TVXReadAhead mReadAhead;
    void sendLoadReads(bool withPreferences = true);
    void dropLoadReads() noexcept;

    // The concerns, in the order they are made: each keeps references to
    // those before it and to the session (this), used only after construction.
    TVXStoreCaches mCaches;
    TVXRecentListsAccess mRecentListsAccess;
    TVXPreferences mPreferences;
    TVXPasswordHint mPasswordHint;
    TVXPersonalAccess mPersonalAccess;
    TVXAccountAdminAccess mAccountAdminAccess;
    TVXAttachmentStoreAccess mAttachmentAccess;
    TVXEventLogAccess mEventLogAccess;
    TVXIconsAccess mIconsAccess;
    TVXMasterPasswordStore mMasterPassword;
    TVXGroupMembership mMembership;
    TVXStoreLoader mLoader;
    TVXAttachmentWriter mAttachmentWriter;

public:
    // --- writes behind the window (writers/TVXDataBase_RecordViews.cpp; writers/WriteBehind.h)
    void recordViewed(const TVXRecord& record, bool raiseMemoryCounter, const QString& userName) override;
    TVXWriteBehind& writeBehind() { return *mWriteBehind; }
    TVXReadAhead& readAhead() override { return mReadAhead; }
    void sendBehindWindow(std::function<void()> write) override { mWriteBehind->post(std::move(write)); }
    // --- saves from the window (writers/TVXDataBase_SavesBehind.cpp; RecordWriter.h)
    void saveBehindWindow(std::function<TVXResult()> serverPart, SaveAnswer answer) override;
    int savesInFlight() const override { return mSavesInFlight; }
    void whenSavesAnswered(std::function<void()> then) override;
    // The end of a session's writes, at quit: every write still queued is sent
    // and every save still due is answered here (its errors shown), serving no
    // other event of the main thread. Main thread only.
    void finishWritesBehind();
    void afterServer(std::function<void()> memoryPart) override;

private:
    struct SaveInFlight;
    static thread_local SaveInFlight* tSave; // the save this thread runs the server part of
    // Whether this thread runs a save's server part: its errors wait for the answer.
    static bool collectsForSave(const platform::Error& error);
    void answerSave(SaveInFlight& save, TVXResult code, const SaveAnswer& answer);
    int mSavesInFlight = 0;  // main thread
    // Set while a save's memory part runs: its own rows go behind the window.
    bool mAnsweringSave = false;
    // An outcome's event row: behind the window from a save's memory part.
    void logRecordOutcome(const QString& event, const TVXRecord& record, TVXResult code);
    std::vector<std::function<void()>> mAfterSaves;
    // Receives the answers on the main thread; outlives the writer below.
    std::unique_ptr<QObject> mAnswers;
    // Last: flushed before anything it writes through goes.
    std::unique_ptr<TVXWriteBehind> mWriteBehind;
};

namespace storehooks {
// Tells the application, on the main thread, that a log-in ended.
void notifyConnectionComplete();
} // namespace storehooks
