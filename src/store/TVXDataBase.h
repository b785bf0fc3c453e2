#pragma once
// The database manager: the one connection to the store's server, the field
// encrypters, the in-memory caches and every read and write of the store.
// One class; its operations are spread over one source file per concern.

#include "platform/core/Error.h"
#include "store/ConnectionGuard.h"
#include "store/StoreTypes.h"
#include "store/TVXEventLogEntry.h"

#include <QByteArray>
#include <QFont>
#include <QRectF>
#include <QSizeF>
#include <QHash>
#include <QImage>
#include <QString>
#include <QStringList>
#include <QVariantHash>

#include <atomic>
#include <functional>
#include <istream>
#include <memory>
#include <mutex>
#include <optional>

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

class TVXDataBase {
public:
    using LoginRequest = TVXLoginRequest;

    // The instance the application uses; made on first use, never destroyed.
    static TVXDataBase& sharedTVXDataBase();

    TVXDataBase();
    ~TVXDataBase();
    TVXDataBase(const TVXDataBase&) = delete;
    TVXDataBase& operator=(const TVXDataBase&) = delete;

    // --- state -------------------------------------------------------------
    // The signed-in user: made with the manager, filled at log-in; lives as long as it.
    const std::shared_ptr<TVXUser>& mCurrentUser() const { return m_currentUser; }
    // The caches, keyed by identifier (icons by "Icon%d"). Only one thread
    // works on them at a time: workers run while the main thread waits.
    const TVXGroupCache& mGroups() const { return m_groups; }
    TVXGroupCache& mGroups() { return m_groups; }
    const TVXTypeCache& mTypes() const { return m_types; }
    TVXTypeCache& mTypes() { return m_types; }
    const TVXRecordCache& mRecords() const { return m_records; }
    TVXRecordCache& mRecords() { return m_records; }
    const TVXUserCache& mUsers() const { return m_users; }
    TVXUserCache& mUsers() { return m_users; }
    const TVXIconCache& mCustomIcons() const;
    TVXIconCache& mCustomIcons();
    bool isDataReloading() const { return mIsDataReloaded.load(); }
    QString connectedServerAddress() const;
    QString connectingPortAddress() const;
    QString masterPassword() const;
    bool isLoadingComplete() const { return mIsLoadingComplete.load(); }
    bool isConnectionComplete() const { return mIsConnectionComplete.load(); }
    [[nodiscard]] int connectionErrorCode() const { return mConnectionErrCode.load(); }
    bool isConnectionLostHandlerOn() const { return mConnectionLostHandlerIsOn.load(); }
    sql::Connection* connection() const { return mCPcon.get(); }

    // --- log-in --------------------------------------------------------------
    // The log-in worker: connects, refuses an all-privileges account, selects
    // the store, checks the master password and keys the encrypters. Runs on
    // the calling thread (the log-in panel starts it on a worker) and tells the
    // application through connectionISComplete on the main thread.
    [[nodiscard]] int startConnectionToServer(const LoginRequest& request);
    // Library exceptions pass to the caller. Always asks for TLS (TlsOptions.h).
    std::unique_ptr<sql::Connection> connectToSServer(const QString& url, const QString& account,
                                                      const QString& password, const QString& caFile = {});
    // Why the last log-in's encrypted connection was refused (code kTVXSecureConnectionRefused).
    QString secureConnectionRefusal() const;
    // How long one wait for the server may last before the connection counts
    // as lost; from the next log-in on.
    static constexpr int kReadWriteTimeoutSeconds = 30;
    void setReadWriteTimeout(int seconds) { mReadWriteTimeoutSeconds.store(seconds); }
    // On a cluster node, makes the session's reads wait for what the cluster committed.
    static void readCausallyOnCluster(sql::Connection& connection);
    bool hasAdminUserPrivileges(const QString& account);
    void selectSchema(const QString& schema);
    void createUserEncrypter();
    // An empty password leaves values stored as their plain bytes.
    void createEncrypter(const QString& masterPassword);
    // The stored master password; a null string when there is no row.
    QString retriveMasterPassword();
    [[nodiscard]] int checkMasterPassword(const QString& typed);
    // The stored master password for the master-password panel; null on failure.
    QString checkForMasterPasswordMatch();
    [[nodiscard]] static int mapDBErrorCode(int serverErrorNumber);
    // The error path; always on the main thread.
    void handleDatabaseError(const platform::Error& error);
    void setReconnectionDone() { mConnectionLostHandlerIsOn.store(false); }
    void createDefaultSchema();
    void setupDataBase() {}

    // Calls towards the application, performed on the main thread.
    void finishReloadingData();
    void stopConnectionModelWindow();
    void checkConnectionCallback(int code);

    // --- loading and reloading ---------------------------------------------
    // First load, main-thread step: the user's row and group list. 6 for a
    // disabled account, 7 when the account has no user row; the application is
    // then told through connectionISComplete.
    [[nodiscard]] int initUserDetails(const QString& accountName, const QString& password);
    // Null when no user row has the name.
    QString getUserIDForName(const QString& accountName, int* code = nullptr);
    // The user reader: fills mCurrentUser. 6 disabled, 7 no such row.
    [[nodiscard]] int readAllSavedRecordsForUserWithUserPrimaryNameID(const QString& userID);
    QStringList fetchGroupArrayForUserID(const QString& userID, int* code = nullptr);
    // The load worker; a second load reads nothing.
    [[nodiscard]] int loadDataBase();
    // The reload worker: re-reads everything but the preferences.
    [[nodiscard]] int reloadDatabase();
    [[nodiscard]] int readCatagoryTable();
    [[nodiscard]] int readTypesTable();
    [[nodiscard]] int readRecordTable();
    void readCustomTypeForRecord(TVXRecord& record, int* code);
    void readAttachmentForRecord(TVXRecord& record, int* code);
    // The store's password policy under kSPPMinLength and kSPPCharSetFlag;
    // null on failure (both values then count as 0).
    std::optional<QVariantHash> passwordPolicyDetails(int* code = nullptr);
    // A password of the character sets in flags (1 lower, 2 upper, 4 digits,
    // 8 symbols, 16 international, 32 pronounceable), from the system's random source.
    QString generatePasswordWith(uint16_t flags, uint16_t length) const;
    bool typeNameFromDatabase(const QString& name);
    bool groupNameFromDatabase(const QString& name);
    // Whether an image exists for the icon number (built-in 1..63, custom from 1001).
    bool hasImageForIconIndex(int iconIndex) const;

    // --- group membership ----------------------------------------------------
    std::optional<QStringList> readGroupUserTableforGroup(const BMGroup& group, int* code);
    std::optional<QStringList> readSubgroupListForGroup(const BMGroup& group, int* code);
    // Rewrite the group's lists whole, each in one transaction.
    [[nodiscard]] int insertUserListForGroup(BMGroup& group);
    [[nodiscard]] int insertSubgroupListForGroup(const BMGroup& group);
    void deleteGroupUserTableforGroup(const BMGroup& group, int* code);
    void deleteGroupSubGroupsListforGroup(const BMGroup& group, int* code);

    // --- in-memory queries and permission tests --------------------------------
    // Every list here is computed from the caches; nothing runs a statement.
    // Group and type arguments may be null (no filter); a null or empty search
    // text means no search. Records, groups and types are the caches' objects.
    // Like the caches, these are for one thread at a time.
    using RecordList = TVXRecordList;
    using GroupList = TVXGroupList;
    using TypeList = TVXTypeList;
    using UserList = TVXUserList;

    // Records of the group and the type (matched by identifier) that pass the
    // search, in no particular order.
    RecordList itemsOfGroup(const BMGroup* group, const TVXType* type, const QString& searchString) const;
    qsizetype itemsCountOfGroup(const BMGroup* group, const TVXType* type, const QString& searchString) const;
    // The same, sorted by a record-list column (kRecordColumnIcon .. kRecordColumnAttachment,
    // store/RecordSearch.h); ties go by value 1 ignoring case, then identifier.
    // Descending is the exact reverse of ascending. Other columns sort as column 3.
    RecordList itemsOfGroup(const BMGroup* group, const TVXType* type, const QString& searchString,
                            int columnID, bool ascending) const;
    RecordList itemsOfGroup(const BMGroup* group, const QString& searchString) const;
    // The records named in `uids` (a smart list), in the list's order and each
    // once, that are in the group and pass the search.
    RecordList itemsOfGroup(const BMGroup* group, const QString& searchString, const QStringList& uids) const;
    RecordList itemsOfCategory(const BMGroup* group, const QString& searchString, const QStringList& uids) const;
    // The distinct types of the records of a group (null identifier: all records)
    // that pass the search, by name ignoring case.
    TypeList allTypesForGroup(const QString& groupUID, const QString& searchString) const;
    // The search test: the text, in lower case, occurs in value 1 to 9, the
    // display date or the notes, in lower case. A null text matches.
    bool containsString(const QString& searchString, const TVXRecord& record) const;
    bool anyRecordHasAtachementinArray() const; // all cached records
    bool anyRecordHasAtachementinArray(const RecordList& records) const;

    // Searching and sorting keep each record's texts prepared in lower case.
    // Whoever adds, changes, replaces or removes a record of mRecords calls
    // this afterwards with that record: it rebuilds the record's entry now, or
    // drops it once the record has left mRecords, so that its lower-cased
    // values do not outlive it. Results do not depend on the call: a changed
    // record (see TVXRecord::changeStamp) is prepared again on its next use.
    void refreshRecordSearchEntry(const TVXRecord& record);
    // Prepares every cached record now; a load or reload worker may call it
    // last, so that the first search costs no more than the next.
    void prepareRecordSearchIndex() const;

    // Groups and types, by name ignoring case (then identifier).
    // Without includePersonalGroup, the personal group (the one under the
    // user's identifier) is left out.
    GroupList groups(bool includePersonalGroup) const;
    GroupList groupsForEditing(bool unused = false) const;
    // The groups in which the user holds one of the mask's record permission bits.
    GroupList groupsWithPermission(uint16_t mask) const;
    // Candidates for sub-groups: all but the unfiled group, the group itself and the personal group.
    GroupList subGroupsForGroupWithID(const QString& groupUID) const;
    TypeList typesForEditing(bool unused = false) const;
    // Types tied to the group (mSelectedGroupUID); none for a null group.
    TypeList types(bool unused, const BMGroup* group) const;
    std::shared_ptr<BMGroup> groupWithUID(const QString& uid) const;
    std::shared_ptr<TVXType> typeWithUID(const QString& uid) const;
    std::shared_ptr<TVXRecord> recordWithUID(const QString& uid) const;
    std::shared_ptr<TVXRecord> getRecordForUID(const QString& uid) const;
    std::shared_ptr<TVXRecord> giveRecordForID(const QString& uid) const;
    // The first group, in the order of groupsForEditing, named exactly so.
    std::shared_ptr<BMGroup> getGroupFromGroupName(const QString& name) const;
    // The first other type (another object) named exactly as `type`, in the
    // order of typesForEditing; the group is not read.
    std::shared_ptr<TVXType> findSimilarType(const TVXType& type, const BMGroup* group = nullptr) const;
    std::shared_ptr<BMGroup> findSimilarCategory(const BMGroup& group) const;
    bool isGroupExistsInDatabase() const { return !m_groups.isEmpty(); }
    bool isTypeExistsInDatabase() const { return !m_types.isEmpty(); }

    // Users whose name begins with the text, ignoring case; all users for a
    // null or empty text. By name ignoring case.
    UserList sortedUsersContainsString(const QString& searchString) const;
    bool userNameExistWithName(const QString& name) const;
    // In memory only: the user becomes a member of exactly the given groups.
    void addUserToGroupListForGroups(const QString& userID, const QStringList& groupUIDs);

    // View counts in memory (the stored count is raised by the record writer).
    void incrementViewCountofRecord(const QString& uid);
    int32_t getViewCountofRecord(const QString& uid) const; // 0 for an unknown record

    // Record permissions in a group: the group's word when the group prevails,
    // else the user's own; the user's for a null group. Bits 1 add (and
    // duplicate), 2 edit, 4 delete; held when any asked bit is in the word.
    static uint16_t recordPermissionsInGroup(const BMGroup* group, uint16_t userRecordBits);
    uint16_t recordPermissionsInGroup(const BMGroup* group) const;
    bool checkRecordPermission(uint16_t mask, const BMGroup* group) const;

    // 16 characters of lower and upper case, digits and symbols: an attachment's pass key.
    QString getRandomPassKey(const QString& recordID = QString()) const;
    // The text's UTF-8 bytes, all of them (c_str() gives the NUL-ended form).
    static std::string voidConvertNSStringToChar(const QString& text);
    // (end of in-memory queries and permission tests)

    // --- recent lists ----------------------------------------------------------
    // The signed-in user's four lists of record identifiers, oldest first. An
    // add keeps each list, in memory and on the server, at kRecentListLimit.
    static constexpr int kRecentListLimit = 10;
    const QStringList& mMostViewedRecords() const;
    const QStringList& mRecentlyViewedTypes() const;
    const QStringList& mRecentlyMofifiedTypes() const;
    const QStringList& mRecentlyAddedRecords() const;
    // Append one entry on both sides, first dropping the user's oldest entries
    // so that the list holds no more than the limit. 0 done, 3 a statement
    // failed, 8 the record is no longer stored, 1 other; a failed insert leaves
    // the memory list without the entry.
    [[nodiscard]] int addMostViewedRecordID(const QString& recordID, const QString& userID);
    [[nodiscard]] int addRecentlyViewedRecordID(const QString& recordID, const QString& userID);
    [[nodiscard]] int addRecentlyModifiedRecordID(const TVXRecord& record, const QString& userID);
    [[nodiscard]] int addRecentlyAddedID(const QString& recordID, const QString& userID);
    // Drop a record from one list: its rows of every user, every occurrence in memory.
    [[nodiscard]] int removeMostViewedRecordID(const QString& recordID);
    [[nodiscard]] int removeRecentlyViewedRecordID(const QString& recordID);
    [[nodiscard]] int removeRecentlyModifiedRecordID(const QString& recordID);
    [[nodiscard]] int removeRecentlyAddedRecordID(const QString& recordID);
    // Drop a record from the most-viewed list of one user only (a user's list
    // making room must not empty other users' lists).
    [[nodiscard]] int removeMostViewedRecordIDForUser(const QString& recordID, const QString& userID);
    // Drop a record from all four lists; the first failure's code, else 0.
    [[nodiscard]] int removeRecordIDFromRecentLists(const QString& recordID);
    // The lists' rules for the signed-in user (a viewed record counts and may
    // enter the most-viewed list; the others take a record once).
    void addMostViewedRecord(const TVXRecord* record, bool increment);
    void addRecentlyViewedRecord(const TVXRecord* record);
    void addRecentlyAddedRecord(const TVXRecord* record);
    void addRecentlyModifiedRecord(const TVXRecord* record);
    void removeRecordFromSmartTypes(const TVXRecord* record);
    QStringList mostViewedRecordsUIDs() const { return mMostViewedRecords(); }
    QStringList recentlyViewedTypes() const { return mRecentlyViewedTypes(); }
    QStringList recentlyModifiedTypes() const { return mRecentlyMofifiedTypes(); }
    // Replace the memory list with the user's rows, in stored order.
    [[nodiscard]] int readMostViewedRecordIDForUser(const QString& userID);
    void readRecentlyViewedRecordIDForUser(const QString& userID, int* returnCode);
    void readRecentlyModifiedRecordIDForUser(const QString& userID, int* returnCode);
    // (end of recent lists)

    // --- personal group and personal records (store/PersonalStore.h) -----------
    QString currentUserPersnaolGroupName() const;
    [[nodiscard]] int readPersonalGroup();
    QList<std::shared_ptr<TVXRecord>> readUserPersonalRecords(const QString& userID, bool readCompletely, int* code = nullptr);
    QList<std::shared_ptr<TVXRecord>> personalDBRecords(const QStringList& userIDs, int* code = nullptr);
    QStringList allUsersUIDS(int* code = nullptr);
    [[nodiscard]] int addUserPersonalGroup(const TVXUser& user);
    [[nodiscard]] int addUserPersonalGroup(const TVXUser_Admin& user);
    [[nodiscard]] int renameUserPersonalGroup(const TVXUser& user);
    [[nodiscard]] int renameUserPersonalGroup(const TVXUser_Admin& user);
    [[nodiscard]] int renamePersonalGroupForUser(const QString& userID);
    [[nodiscard]] int reEncryptPersonalGroups(const QStringList& userIDs);
    [[nodiscard]] int deleteUserPersonalGroup(const TVXUser& user);
    [[nodiscard]] int deleteUserPersonalGroup(const TVXUser_Admin& user);
    [[nodiscard]] int reEncryptPersonalRecords(const QList<std::shared_ptr<TVXRecord>>& records);

    // --- event log (store/EventLogStore.h) ---------------------------------------
    TVXEventLogger& eventLogger();
    const QList<TVXEventLogEntry>& mLogArray() const;
    [[nodiscard]] int saveLogsArrayToDatabase(const TVXEventLogEntry& entry);
    [[nodiscard]] int readSaveLogsArrayToDatabase();
    [[nodiscard]] int checkForMonthChangeInEventLoggerTable();
    [[nodiscard]] int checkForMonthChangeInEventLoggerTable(const QDateTime& now);
    [[nodiscard]] int removeAllLogs();
    void setEventLogBackupHandler(TVXEventLogBackupHandler handler);
    bool doBackupInDocumentFolderForLogInQVX(const QString& month);

    // --- record storage --------------------------------------------------------
    // The record writers. Each enciphers the record's texts, writes the server
    // first and changes the record cache only once the server took the change:
    // a failed write leaves memory as it was. Each logs its outcome.
    // Results: 0 done; 8 no row changed (the cached copy is stale); 3 a server
    // error, or a text whose cipher does not fit its column (nothing is then
    // written); 1 any other failure (an attachment file that cannot be read).
    //
    // A new record with its custom type and its attachment (read from
    // mAttachmentPath unless the caller copies the row: state 3), all or
    // nothing. On success the record enters mRecords and the recently added
    // list; a stored identifier answers 8.
    [[nodiscard]] int addRecord(std::shared_ptr<TVXRecord> record);
    // What addRecord enciphers, made ahead (store/RecordStorageParts.h): an
    // import measures the texts against their columns first and hands the
    // same ciphers on, so that each is made once; the record sheet measures
    // its input with them before it closes. 0, or 3 when a cipher does not
    // fit its column (its index, 0 to 9, then in `tooLong`).
    struct RecordCiphers;
    struct CustomTypeCiphers;
    [[nodiscard]] int encipherRecord(const TVXRecord& record, RecordCiphers& ciphers, int* tooLong = nullptr) const;
    [[nodiscard]] int encipherCustomType(const TVXType& customType, CustomTypeCiphers& ciphers, int* tooLong = nullptr) const;
    // The record sheet's limits, which an import keeps too: a note of at most
    // tvxsql::kNoteByteLimit bytes, then every value as encipherRecord
    // measures it. 0, or 3 with the first text too long in `tooLong` (0 to 9
    // a value, kNoteTooLong the note).
    static constexpr int kNoteTooLong = 10;
    [[nodiscard]] int measureRecordTexts(const TVXRecord& record, RecordCiphers& ciphers, int* tooLong = nullptr) const;
    // A new record with its ciphers (the custom type's only when customised).
    struct NewRecord;
    // New records added in order, each as addRecord adds it; each one's code
    // goes to `codes`, in order (a record left without one when this throws
    // keeps 1). Inside a record batch the rows of records without a file to
    // store go to the server a run at a time, in shared statements; should
    // the server refuse any row of a run, the run is added again one record at
    // a time, so that each record gets the code it would get alone.
    void addRecords(QList<NewRecord>& records, QList<int>& codes);
    // The row, the custom type and the attachment work of mAttachmentState (1
    // store the chosen file, 4 re-encipher name and pass key) in one
    // transaction. Saving unchanged values answers 0; a record no longer
    // stored, or no longer with its attachment row, answers 8.
    [[nodiscard]] int replaceRecord(const std::shared_ptr<TVXRecord>& record);
    // The server drops the record's custom type, attachment and recent-list
    // rows with it; the record also leaves the memory lists.
    [[nodiscard]] int deleteRecord(const std::shared_ptr<TVXRecord>& record);
    // Raises the stored view count only; the cached counter is the queries' own.
    void updateRecordViewCountForRecord(const QString& recordID);
    // Writes or overwrites the record's own type row: 0, 8, or 3. A null field
    // name is stored as "Field<n>".
    [[nodiscard]] int updateCustomType(const TVXRecord& record, const TVXType& customType);
    // Drops the record's own type row; *returnCode 0, or 1 on any failure.
    void deleteReferencesFromCustomType(const TVXRecord& record, int* returnCode);

    // Only one thread at a time talks over the connection: statements run
    // under this guard. Never hold it while waiting for the main thread
    // (notices wait for it); a server error reported under it reaches the
    // error path only once the guard is released.
    std::unique_lock<TVXConnectionGuard> lockConnection() const;
    const TVXConnectionGuard& connectionGuard() const { return mConnectionMutex; }

    // Many records added in a row (an import). Until endRecordBatch, the
    // calling thread keeps the connection, and what addRecord writes (with
    // its recent-list and log rows) joins one transaction; each record's own
    // rows still stand or fall together. Server errors reach the error path
    // once the batch ends. endRecordBatch commits: 0, or the failure's code
    // after everything the batch wrote was rolled back and its records left
    // the caches again (their identifiers go to *lostRecordIDs).
    [[nodiscard]] int beginRecordBatch();
    [[nodiscard]] int endRecordBatch(QStringList* lostRecordIDs = nullptr);
    bool inRecordBatch() const;
    // (end of record storage)

    // --- group and type storage ------------------------------------------------
    // Writers: 0 done; 8 no row matched (the identifier is already stored, or
    // the group or type is no longer stored); 3 a server error, or a name or
    // field name whose cipher does not fit its column; 1 any other failure.
    // The caches follow only once the server accepted the change; a failure
    // leaves them as they were. Every call is logged once its outcome is known.
    // A new group counts the signed-in user among its members. A group's row
    // and its member and sub-group lists are written all or nothing; the
    // member list is widened with the members of its sub-groups.
    [[nodiscard]] int addGroup(std::shared_ptr<BMGroup> group);
    // 1 when the group is not cached.
    [[nodiscard]] int updateGroup(std::shared_ptr<BMGroup> group);
    // The server drops the group's records with it, and so does the record
    // cache; no other group keeps it as a sub-group. 8 when it is not cached.
    [[nodiscard]] int deleteGroup(const BMGroup& group);
    [[nodiscard]] int addType(std::shared_ptr<TVXType> type);
    [[nodiscard]] int updateType(std::shared_ptr<TVXType> type);
    // The server drops the type's records with it, and so does the record cache.
    [[nodiscard]] int deleteType(const TVXType& type);
    // Whether a stored group or type has exactly this name: compared on the
    // cipher bytes, so only a name stored under the same master password
    // matches. false after a server error.
    bool checkForGroupDuplicate(const QString& name);
    bool checkForTypeDuplicate(const QString& name);
    // Files the group's records under the unfiled group, then reads the
    // records again. `code` receives 0, or 1 on any failure.
    void convertForDeletedGroupUIDToUnfieldUID(const QString& groupUID, int* code);
    // (end of group and type storage)

    // --- attachments and custom icons ------------------------------------------
    // Attachment contents are enciphered under a pass key of their own (fresh
    // each time a file is stored), the name and pass key under the field
    // encrypter. Contents are padded with zero bytes to a multiple of
    // kAttachmentBlockSize; the file's length rides in the pass key's value
    // after a zero byte (older clients read the pass key alone), and extracted
    // contents are cut to it. Rows that do not carry it (stored by older
    // clients) come back padded: the file followed by up to 23 zero bytes.
    static constexpr int kAttachmentBlockSize = 24;
    static constexpr uint16_t kPassKeyFlags = 15; // lower, upper, digits, symbols
    static constexpr uint16_t kPassKeyLength = 16;
    // Stores the file at mAttachmentPath under a new pass key, which the record
    // then carries with the file's length. 0 stored, 8 not stored, 1 the file cannot be read, 3 the
    // name does not fit. Server errors reach the caller as exceptions.
    [[nodiscard]] int insertAttachmentforRecordID(TVXRecord& record);
    // Name and pass key (with the record's file length, when known) enciphered
    // again under the current field encrypter; the contents stay. 0, 8 no attachment row, 3 too long. Server errors
    // reach the caller as exceptions.
    [[nodiscard]] int reEncryptAttachmentforRecord(const TVXRecord& record);
    // Copies the source's attachment row to the target (whose row must be
    // stored); the target then carries the source's pass key and length. *returnCode (may
    // be null): 0, 8 the source has no row, 3 server error, 1 other.
    void copyAttachmentRow(const TVXRecord& source, TVXRecord& target, int* returnCode);
    // The attachment's contents, deciphered with the record's pass key and cut
    // to its length (padded when the length is unknown). Null with code 8
    // without attachment row, 3 on failure.
    std::optional<QByteArray> extractAttachmentDataForRecord(const TVXRecord& record, int* returnCode);
    // As above, with the pass key and length stored in the row (for exports).
    std::optional<QByteArray> extractAttachmentData(const QString& recordID, int* returnCode);
    // The same for several records with one statement: the contents of each
    // record found, keyed by identifier (a record without row is left out).
    // Null with the code when the statement or a decipher failed.
    std::optional<QHash<QString, QByteArray>> extractAttachmentsData(const QStringList& recordIDs, int* returnCode);
    // The contents written to a file of the private temporary attachment
    // folder under the attachment's name; the path, or null with the code.
    // The caller removes the file when done (TVXAttachmentFolder).
    QString extractAttachmentToTemporaryFile(const TVXRecord& record, int* returnCode);
    // Drops the attachment row and stores the record without attachment and
    // with a new modification date, in one transaction; the record store's code.
    [[nodiscard]] int removeAttachment(const std::shared_ptr<TVXRecord>& record);
    // The file's contents under the attachment cipher; null when the file
    // cannot be read or there is no pass key. An empty file gives empty bytes.
    // *fileLength (may be null) receives the length of the file read.
    static std::optional<QByteArray> encryptFile(const QString& path, const QString& passKey,
                                                 qint64* fileLength = nullptr);
    // Deciphered contents, still padded; null for a length that is not a
    // multiple of the block size.
    static std::optional<QByteArray> decrypt(std::istream& in, const QString& passKey);
    static std::optional<QByteArray> decrypt(const QByteArray& data, const QString& passKey);
    // A fresh attachment pass key.
    QString newAttachmentPassKey() const;

    // Icon numbers: 1 to kMaxIcons the application's own; custom icons from
    // kFirstCustomIcon upward, kept in mCustomIcons under "Icon<n>".
    static constexpr int kMaxIcons = 63;
    static constexpr int kFirstCustomIcon = 1001;
    static constexpr int kIconDisplaySize = 24; // points
    static constexpr int kIconCanvasSize = 48;  // stored custom icons
    // Posted on the main thread for each icon stored, with its number (int).
    static inline const QString kExternalIconCreatedNotification = QStringLiteral("ExternalIconCreated");
    static QString iconName(int iconIndex);
    // The icon's image at display size (24 x 24 points, its pixels kept
    // through the device pixel ratio); null when there is none.
    QImage getImageFromIconIndex(int iconIndex) const;
    // Refills mCustomIcons from the store (emptied first during a reload).
    // Server errors reach the caller (the loaders).
    void getExternalIcons();
    // Stores one icon (PNG bytes) under the next free number, which two
    // clients cannot both take; *iconIndex receives it. 0, or 3.
    [[nodiscard]] int insertCustomIconWithIndex(int* iconIndex, const QByteArray& png);
    // The icon-import worker's body: each picture fitted into a 48 x 48
    // square, stored as PNG and announced with kExternalIconCreatedNotification
    // on the main thread. Files that give no picture are skipped.
    void addCustomIconsFromImages(const QStringList& paths);
    // Where a picture of the given size is drawn on the canvas: fitted,
    // proportions kept, centred.
    static QRectF iconRectForPictureSize(const QSizeF& size);
    // The PNG of a picture drawn onto the canvas; empty for a null picture.
    static QByteArray iconPNGForPicture(const QImage& picture);
    // (end of attachments and custom icons)

    // --- per-user preferences (store/PreferencesStore.h) ----------------------
    void readUserPreferenceForTableForUser(TVXUser& user, int* code);
    void initUserPreferencesForUser(const QString& userID, const QString& userName, int* code);
    void saveBasicPreferencesForUser(const TVXUser& user, int* code);
    void saveOptionPanelPreferencesForUser(const TVXUser& user, int* code);
    [[nodiscard]] int saveLastViewForUser(const TVXUser& user);
    [[nodiscard]] int saveCurrentGroupForUser(const TVXUser& user);
    [[nodiscard]] int saveToggleInfoForUser(const TVXUser& user);
    [[nodiscard]] int saveSortInfoForUser(const TVXUser& user);
    [[nodiscard]] int savePasswordGeneratorFlagForUser(const TVXUser& user);
    [[nodiscard]] int saveNumberOfAttemptsForUser(const TVXUser& user);
    TVXUser* getCurrentUser() const { return m_currentUser.get(); }
    [[nodiscard]] int setToggleInfo(bool show);
    TVXSortDescriptor sortDescriptor(int* code = nullptr) const;
    [[nodiscard]] int setSortDescriptor(const TVXSortDescriptor& descriptor);
    uint8_t passwordGeneratorFlags(int* code = nullptr) const;
    [[nodiscard]] int setPasswordGeneratorFlags(uint8_t flags);
    bool autoLockEnabledWithInactiveTime(int* minutes, int* code = nullptr) const;
    int16_t numberofAttemptsLeft(const TVXUser& user, int* code = nullptr) const;
    [[nodiscard]] int setNumberofAttemptsLeft(int16_t count, TVXUser* user);
    void setfont(const QFont& font);
    QList<int> columnWidthDetails(int* code = nullptr) const;
    [[nodiscard]] int setColumnWidthDetails(const QList<int>& widths, int typeIndex);
    [[nodiscard]] int showColumnsInListViewReturnCode(int* code, const QString& typeID) const;
    void saveSplitViewInformation(const QStringList& rects, const QString& name);
    std::optional<QStringList> getSplitViewInformationForName(const QString& name) const;
    static QString getWindowDimensionsInWindowsStandard(const QRectF& frame, const QSizeF& screen, bool maximised);
    static QRectF getRectFromWindowPosition(const QString& text, const QSizeF& screen);

    // --- password hint and user password (store/HintStore.h) -------------------
    static QByteArray encryptForHint(const QString& key, const QString& value);
    static QString decryptForHint(const QString& key, const QByteArray& stored);
    void saveHintPreferencs(const TVXUser& user, int* code);
    bool isHintExist(const TVXUser& user, int* code);
    QString passwordHintForUser(const TVXUser& user, const QString& answer, int* code);
    QString passwordHintForUser(const TVXUser& user, int* code);
    bool validatePasswordHintAnswerForUser(const QString& userName, const QString& answer, int16_t questionNumber, int* code);
    static bool isPasswordEnableForUser(const TVXUser& user, int* code = nullptr);
    bool validatePasswordForUser(const TVXUser& user, const QString& typed, int* code = nullptr) const;
    static bool doesPasswordMatchForUser(const TVXUser* user, const QString& typed);
    static bool isChangePasswordEnableForUser(const TVXUser& user, int* code = nullptr);
    [[nodiscard]] int setPassword(const QString& password, const QString& hint);
    [[nodiscard]] int setPassword(const QString& password, const std::optional<QVariantHash>& hintDictionary);
    void resetPasswordForUser(const TVXUser& user, int* code);

    // --- server accounts and column settings -----------------------------------
    // Refills mUsers with every other account of the store (not the signed-in
    // user, not well-known identifiers). Statement failures reach the caller.
    // Other accounts' passwords stay enciphered, kept for administrators only.
    void readUserTableIfErrorReturnCode(int* code);
    // Whether the signed-in account may administer the store's accounts (what
    // tvx-create-store --add-admin grants), as the load found it.
    bool isStoreAdministrator();
    // An account's password for the account window: the one typed in this run,
    // else the stored one deciphered now; empty unless the signed-in user is
    // an administrator.
    QString passwordOfAccount(const TVXUser_Admin& user) const;
    bool isCurrentUserAdministrator() const { return mCurrentUserIsAdministrator.load(); }
    // The current user's list columns for a type (null: all types): shown mask and widths.
    [[nodiscard]] int readColoumWidthInfoForType(const QString& typeID);
    [[nodiscard]] int setShowColumnsInListViewForTypeName(const QString& typeID);
    // One GRANT of a privilege list ("SELECT, INSERT,") on the table the format names,
    // e.g. "GRANT %@ on RECORDTABLE TO '%@'". Account names are checked, never spliced raw.
    void assignTablePrivilegesforTable(const QString& grantFormat, const QString& privileges,
                                       const QString& account);
    // Clears the stored password of every user.
    [[nodiscard]] int removePasswordInUserTable();
    // kind 0: records, 1: types; (mask & the group's word) != 0.
    static bool HasSufficientPVOnDB(int kind, uint16_t mask, const BMGroup& group);
    [[nodiscard]] int setGroupOverridesPermissionsForUsersInGroup(const BMGroup&) { return kTVXDone; }
    [[nodiscard]] int revokeGroupOverridesPermissionsForUser(const TVXUser_Admin&, const BMGroup&) { return kTVXDone; }
    // Account names the client accepts: letters, digits, '_', '.', '-'; 1 to 16.
    static bool isValidAccountName(const QString& name);

    // The account operations of the administration window: 0 done, 8 the
    // account's row is gone (reload first), anything else failure. An account
    // is its server account (host '%') with the store's grants, its USERTABLE,
    // APPPREFTABLE and mysql.user_info rows, its personal group and its group
    // memberships. Server account statements cannot be rolled back, so they
    // are undone by hand when the rows fail.
    [[nodiscard]] int addUser(const TVXUser_Admin& user, int* code = nullptr);
    [[nodiscard]] int replaceUser(const TVXUser_Admin& user, int* code = nullptr);
    [[nodiscard]] int deleteUser(const TVXUser_Admin& user, int* code = nullptr);
    // The signed-in user deletes itself (after the tenth failed unlock): what its
    // grants allow goes, and its server password becomes one it never learns.
    [[nodiscard]] int deleteUser(TVXUser& current, int* code = nullptr);
    bool isUserExistsInTolvanex(const QString& name);
    // For the store-creation tool: works over an administrator's connection.
    void adoptConnection(std::unique_ptr<sql::Connection> connection);
    // Replaces an existing account's rights by those of server/grants.txt.
    int applyStoreRights(const QString& name, bool administrator);
    // (end of server accounts and column settings)

    // --- master password change ------------------------------------------------
    // Keeps the new master password for the re-encryption that follows; nothing
    // is written until reEncyptAllDatabaseInformation() commits it.
    void saveMasterPasswordForAdmin(const QString& newPassword);
    void setChangeMasterPassword(bool changed) { mIsMasterPasswordChanged.store(changed); }
    bool isMasterPasswordChanged() const { return mIsMasterPasswordChanged.load(); }
    // Re-enciphers every stored value of every row under the new master
    // password, with the new DBPASSWORD row, in one transaction; on failure
    // nothing changes and the old key stays in force. Clears the load-completion
    // flag while it runs (the progress panel polls it). Runs on a worker.
    [[nodiscard]] int reEncyptAllDatabaseInformation(const QString& newPassword);
    // (end of master password change)

    // --- value enciphering ---------------------------------------------------
    // Field encrypter (master password); without one the plain UTF-8 bytes.
    QByteArray encryptString(const QString& text) const;
    QString getDecryptedString(std::istream& blob) const;
    QString decryptString(const QByteArray& stored) const;
    // User-data encrypter (application key).
    QByteArray encryptDataString(const QString& text) const;
    QString getDecryptedStringInfo(std::istream& blob) const;
    QString decryptDataString(const QByteArray& stored) const;

    bool hasFieldEncrypter() const;

    // The error tail of every statement: hands the error to the main thread's
    // handler, waits, and returns `code`. Called under the guard, the handing
    // over waits until the guard is released.
    int reportDatabaseError(const sql::SQLException& e, int code = kTVXStatementFailed);
    // The server's error number, with a cluster node's "not ready" recognised
    // behind the lock wait timeout it gives a waiting read (then 1047).
    int serverErrorNumber(const sql::SQLException& e);
    bool isNodeUnavailable(const sql::SQLException& e);
    int reportError(const platform::Error& error, int code);

    // --- what the store's concern objects use ----------------------------------------
    // The connection, or a lost connection's server error (2013) when there is none.
    sql::Connection& liveConnection() const;
    // One statement's usual error path, for a caller that holds the guard: a
    // server error goes to reportDatabaseError (3), any other failure gives
    // `otherFailure`; otherwise work's code.
    [[nodiscard]] int runStatement(const std::function<int()>& work, int otherFailure = kTVXNotServerError);
    // Every statement goes through these. The guard is taken, `work` runs on
    // the connection and the guard is released; only then does a server error
    // reach the error path (3). Any other failure gives 1; otherwise work's code.
    [[nodiscard]] int runOnConnection(const std::function<int(sql::Connection&)>& work);
    // The same inside one write transaction (a savepoint inside an outer one):
    // committed when work answers 0, rolled back otherwise. The one place a
    // write transaction runs.
    [[nodiscard]] int runWriteTransaction(const std::function<int(sql::Connection&)>& work);
    // A prepared statement: the batch's own, kept for the next record, while
    // this thread runs a batch on this connection; else a fresh one.
    struct PreparedRef {
        std::unique_ptr<sql::PreparedStatement> owned;
        sql::PreparedStatement* stmt = nullptr;
        sql::PreparedStatement* operator->() const { return stmt; }
        sql::PreparedStatement& operator*() const { return *stmt; }
    };
    PreparedRef prepareForBatch(sql::Connection& connection, const char* query);
    // Keeps a log row for the end of this thread's batch, where the rows are
    // written a hundred at a time, in order, before the commit.
    bool deferLogRowToBatchEnd(const TVXEventLogEntry& entry);
    // The log insert for `rows` rows, and one row's six values bound from `first` on.
    static std::string eventLogInsertText(int rows);
    static void bindEventLogRow(sql::PreparedStatement& stmt, int first, const TVXEventLogEntry& entry);

    // The batch's own count of the user's rows in a recent-list table (its
    // transaction sees only its own changes to them), or null outside a batch.
    int* batchRecentRows(const char* readStatement, const QString& userID);

    // The recently added rows of the records this thread's batch added wait
    // for its end (or for the next other use of the list's table), where they
    // are written together: the list for that user, or null when the record
    // is not one of the batch's own or no batch runs.
    QStringList* batchRecentlyAddedRows(const QString& recordID, const QString& userID);
    void writeBatchRecentRows();

private:
    // Replaces the connection under the guard; the old one is closed after.
    void swapConnection(std::unique_ptr<sql::Connection> connection);
    void endClientThreadState() const;
    void notifyConnectionComplete();
    std::shared_ptr<const CDBEncrypter> fieldEncrypter() const;
    // A stored value as text; without an encrypter the bytes are the text.
    static QString decryptWith(const CDBEncrypter* encrypter, const QByteArray& stored);
    std::shared_ptr<const CDBEncrypter> userDataEncrypter() const;

    void readAttachmentHeaders(TVXRecordCache& records, int* code);
    void readMembershipLists(int* code);
    void readCustomTypes(TVXRecordCache& records);
    std::shared_ptr<TVXType> customTypeFromRow(sql::ResultSet& rs) const;
    void applyCustomType(TVXRecord& record, std::shared_ptr<TVXType> type) const;

    // [queries]
    // Prepared search and sort texts of the cached records; made on first use.
    mutable std::shared_ptr<class RecordSearchIndex> mRecordSearchIndex;
    RecordSearchIndex& recordSearchIndex() const;
    // Drops the index's entries of records that have left mRecords.
    void pruneRecordSearchIndex() const;
    // (end of queries)


    std::unique_ptr<class TVXEventLogStore> mEventLog;
    std::unique_ptr<class TVXIconStore> mIcons;
    std::unique_ptr<class TVXRecentLists> mRecentLists;
    std::unique_ptr<class TVXAccountAdmin> mAccountAdmin;
    std::unique_ptr<class TVXPreferences> mPreferences;
    std::unique_ptr<class TVXPasswordHint> mHint;
    std::unique_ptr<class TVXPersonalStore> mPersonal;

    // [record storage]
    struct AttachmentUpload;
    // addRecord once the texts are enciphered; `code` is the enciphering's.
    [[nodiscard]] int storeNewRecord(NewRecord& entry, int code);
    // The memory side and the log entry of an add, once the server answered.
    void finishNewRecord(const std::shared_ptr<TVXRecord>& record, int code, bool customised,
                         const AttachmentUpload* upload);
    // The rows of records[first, first + count) (none with a file to store)
    // in shared statements, inside a savepoint of this thread's batch: true
    // when every row went in; otherwise none of them stays and nothing is
    // reported.
    bool writeNewRecordRows(const QList<NewRecord>& records, qsizetype first, qsizetype count);
    // After a batch the server rolled back: each record added again alone,
    // in order, until one fails; the identifiers of those not stored.
    QStringList replayRecords(const QStringList& recordIDs);
    // Statement parts; server errors pass to the caller.
    [[nodiscard]] int writeCustomType(sql::Connection& connection, const QString& recordID, const TVXType& customType,
                        const CustomTypeCiphers& ciphers);
    [[nodiscard]] int writeReplacedRecord(sql::Connection& connection, const TVXRecord& record, const RecordCiphers& ciphers,
                            bool customTypeStored);
    // replaceRecord's store; dropAttachment removes the attachment row too.
    // A newly stored file's pass key and length go to *newPassKey, *newLength.
    [[nodiscard]] int storeReplacedRecord(TVXRecord& record, bool dropAttachment, QString* newPassKey,
                            qint64* newLength = nullptr);
    void finishReplacedRecord(const std::shared_ptr<TVXRecord>& record, int code);
    // Memory sides of the recent lists after a change the server already holds.
    void noteRecordAdded(const QString& recordID);
    void noteRecordModified(const TVXRecord& record);
    void forgetRecordInRecentLists(const QString& recordID);
    // Called after each change of a cached record (the search index follows here).
    void recordCacheChanged(const QString& recordID);
    mutable TVXConnectionGuard mConnectionMutex;
    struct RecordBatch;
    std::shared_ptr<RecordBatch> mRecordBatch; // shared: deleted where the type is known
    // The open batch when the calling thread runs it, else null.
    RecordBatch* batchOfThisThread() const;
    // Keeps a server error for the end of this thread's batch: the main thread
    // may be waiting for the connection meanwhile.
    bool deferErrorToBatchEnd(const platform::Error& error);
    void writeBatchLogRows(RecordBatch& batch);
    // (end of record storage)

    // [stale copies]
    // What a cached row held when this client read or last wrote it: a digest
    // of the stored bytes of the columns a replace writes (a record's with its
    // custom type and attachment header rows; never the view count). A replace
    // compares it, inside its transaction, with the row it locks: a row another
    // client changed meanwhile answers 8. Rows without a digest are written
    // as before.
    struct RecordDigest {
        quint64 row = 0;
        quint64 customType = 0; // 0: none (read only for a record marked customised)
        quint64 attachment = 0; // 0: none (read only for a record marked with an attachment)
        bool operator==(const RecordDigest&) const = default;
    };
    QHash<QString, RecordDigest> mRecordDigests;
    QHash<QString, quint64> mGroupDigests;
    QHash<QString, quint64> mTypeDigests;
    // `stored`: values 1 to 10, then the note; `fields`: field names 1 to 10.
    static quint64 recordRowDigest(const QString& groupUID, const QString& typeUID, const QByteArray* stored,
                                   bool attached, bool customised);
    static quint64 customTypeDigest(qint64 icon, qint64 mask, const QByteArray* fields);
    static quint64 attachmentDigest(const QByteArray& nameCipher, const QByteArray& keyCipher);
    static quint64 groupDigest(const QByteArray& nameCipher, qint64 permissions, bool prevails);
    static quint64 typeDigest(const QByteArray& nameCipher, qint64 icon, qint64 mask, const QByteArray* fields);
    // The stored row's digest, locked for update; null when the row is gone.
    std::optional<RecordDigest> lockedRecordDigest(sql::Connection& connection, const QString& recordID);
    std::optional<quint64> lockedGroupDigest(sql::Connection& connection, const QString& groupUID);
    std::optional<quint64> lockedTypeDigest(sql::Connection& connection, const QString& typeUID);
    // 0 when the row is as this client last saw it (or it has no digest), else 8.
    [[nodiscard]] int checkRecordNotStale(sql::Connection& connection, const QString& recordID, bool droppingAttachment = false);
    [[nodiscard]] int checkGroupNotStale(sql::Connection& connection, const QString& groupUID);
    [[nodiscard]] int checkTypeNotStale(sql::Connection& connection, const QString& typeUID);
    void forgetDigests();
    // A new record's digest, from what its statements stored.
    void noteNewRecordDigest(const NewRecord& entry, const AttachmentUpload* upload);
    // (end of stale copies)

    // [group and type storage]
    // The group's row (insert or update) and its two lists in one transaction;
    // the group's member list is as it was unless all was written.
    [[nodiscard]] int storeGroup(BMGroup& group, bool isNew);
    [[nodiscard]] int storeType(const TVXType& type, bool isNew);
    bool isNameStored(const char* queryFormat, const QString& name);
    // Memory after the server dropped a group: its records, its place in the
    // caches, the sub-group lists and the users' group lists.
    void forgetDeletedGroup(const QString& groupUID);
    // Hand-over point to the in-memory queries: their search index is to be
    // refreshed here once cached records were dropped, replaced or re-pointed.
    void cachedRecordsChanged();
    // (end of group and type storage)

    // [attachments and icons]
    // Everything of an attachment file that is written, prepared before the statement.
    [[nodiscard]] int prepareAttachmentUpload(const TVXRecord& record, AttachmentUpload& upload) const;
    [[nodiscard]] int writeAttachmentUpload(sql::Connection& connection, const QString& recordID, const AttachmentUpload& upload);
    [[nodiscard]] int writeAttachmentHeader(sql::Connection& connection, const TVXRecord& record);
    [[nodiscard]] int dropAttachmentRow(sql::Connection& connection, const QString& recordID);
    // ENCRYPTIONKEY holds the pass key's bytes, then a zero byte and the
    // file's length in decimal digits. Readers of a text stop at the zero, so
    // older clients see the pass key alone; rows they wrote carry no length.
    struct AttachmentKey {
        QString passKey;
        qint64 length = -1; // unknown
    };
    QByteArray encipherAttachmentKey(const QString& passKey, qint64 length) const;
    AttachmentKey decipherAttachmentKey(const QByteArray& stored) const;
    static AttachmentKey parseAttachmentKey(const QByteArray& plain);
    // A stored value's whole plain bytes, past its first zero byte (only the
    // zero padding of the last block dropped), and back.
    QByteArray decipherWholeValue(const QByteArray& stored) const;
    QByteArray encipherWholeValue(const QByteArray& plain) const;
    // Deciphered contents cut to the file's length, when the length is known
    // and belongs to them (only zero padding is ever cut).
    static void cutToFileLength(QByteArray& contents, qint64 length);
    // (end of attachments and icons)


    // [master password]
    // 0 when the stored master password is the one the field encrypter was
    // made from, else 4 (nothing is to be written). The row stays locked
    // (shared, or exclusive for a change) until the transaction ends.
    [[nodiscard]] int confirmMasterPasswordRow(sql::Connection& connection, bool forChange);
    QString mPendingMasterPassword;
    std::atomic<bool> mIsMasterPasswordChanged{false};
    // (end of master password)

    std::shared_ptr<TVXUser> m_currentUser;
    TVXGroupCache m_groups;
    TVXTypeCache m_types;
    TVXRecordCache m_records;
    TVXUserCache m_users;
    std::unique_ptr<sql::Connection> mCPcon;

    mutable std::mutex mEncrypterMutex;
    std::shared_ptr<const CDBEncrypter> mEncrypter;
    std::shared_ptr<const CDBEncrypter> mUserDataEncrypter;
    std::optional<QString> mKeyedMasterPassword; // what mEncrypter was made from

    std::atomic<bool> mReadRecords{false};
    std::atomic<bool> mIsDataReloaded{false};
    std::atomic<bool> mIsLoadingComplete{false};
    std::atomic<bool> mIsConnectionComplete{false};
    std::atomic<int> mConnectionErrCode{0};
    std::atomic<bool> mConnectionLostHandlerIsOn{false};
    std::atomic<bool> mCurrentUserIsAdministrator{false}; // set by the account listing
    std::atomic<int> mReadWriteTimeoutSeconds{kReadWriteTimeoutSeconds};

    mutable std::mutex mDetailsMutex;
    QHash<QString, QString> mConnectionDetails;
    QString mSecureConnectionRefusal; // under mDetailsMutex
};
