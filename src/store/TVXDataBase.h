#pragma once
// The database manager: the one connection to the store's server, the field
// encrypters, the in-memory caches and every read and write of the store.
// One class; its operations are spread over one source file per concern.

#include "platform/core/Error.h"
#include "store/ResultCodes.h"

#include <QByteArray>
#include <QHash>
#include <QImage>
#include <QString>
#include <QStringList>
#include <QVariantHash>

#include <atomic>
#include <istream>
#include <memory>
#include <mutex>
#include <optional>

namespace sql {
class Connection;
class Driver;
class ResultSet;
class SQLException;
class Statement;
} // namespace sql

class BMGroup;
class CDBEncrypter;
class TVXRecord;
class TVXType;
class TVXUser;
class TVXUser_Admin;

using TVXGroupCache = QHash<QString, std::shared_ptr<BMGroup>>;
using TVXTypeCache = QHash<QString, std::shared_ptr<TVXType>>;
using TVXRecordCache = QHash<QString, std::shared_ptr<TVXRecord>>;
using TVXUserCache = QHash<QString, std::shared_ptr<TVXUser_Admin>>;
using TVXIconCache = QHash<QString, QImage>;


// Keys of the log-in request handed to startConnectionToServer().
inline const QString kLoginIPAddress = QStringLiteral("IPAddress");
inline const QString kLoginPortNumber = QStringLiteral("PortNumber");
inline const QString kLoginUsername = QStringLiteral("Username");
inline const QString kLoginHostPassword = QStringLiteral("HostPassword");
inline const QString kLoginMasterPassword = QStringLiteral("MasterPassword");
inline const QString kLoginSchema = QStringLiteral("Schema");
inline const QString kLoginServerAddress = QStringLiteral("Server Address");

// Keys of the connection details kept from the last log-in.
inline const QString kDetailServerAddress = QStringLiteral("Server Address");
inline const QString kDetailPortNumber = QStringLiteral("Port Number");
inline const QString kDetailMasterPassword = QStringLiteral("Master Password");

// Notices posted on the main thread, with the platform::Error as object.
inline const QString kDBCommLostNotification = QStringLiteral("DB_COMM_LOST");
inline const QString kDBUserDeletedNotification = QStringLiteral("DB_USR_DEL");

// Keys the user-data encrypter (the stored master password and users'
// passwords). Only its first 16 bytes take part in the key.
extern const char kTolvanexApplicationKey[];

class TVXDataBase {
public:
    using LoginRequest = QHash<QString, QString>;

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
    const TVXIconCache& mCustomIcons() const { return m_customIcons; }
    TVXIconCache& mCustomIcons() { return m_customIcons; }
    bool isDataReloading() const { return mIsDataReloaded.load(); }
    QString connectedServerAddress() const;
    QString connectingPortAddress() const;
    QString masterPassword() const;
    bool isLoadingComplete() const { return mIsLoadingComplete.load(); }
    bool isConnectionComplete() const { return mIsConnectionComplete.load(); }
    int connectionErrorCode() const { return mConnectionErrCode.load(); }
    bool isConnectionLostHandlerOn() const { return mConnectionLostHandlerIsOn.load(); }
    sql::Connection* connection() const { return mCPcon.get(); }

    // --- log-in --------------------------------------------------------------
    // The log-in worker: connects, refuses an all-privileges account, selects
    // the store, checks the master password and keys the encrypters. Runs on
    // the calling thread (the log-in panel starts it on a worker) and tells the
    // application through connectionISComplete on the main thread.
    int startConnectionToServer(const LoginRequest& request);
    // Library exceptions pass to the caller.
    std::unique_ptr<sql::Connection> connectToSServer(const QString& url, const QString& account,
                                                      const QString& password);
    bool hasAdminUserPrivileges(const QString& account);
    void selectSchema(const QString& schema);
    void createUserEncrypter();
    // An empty password leaves values stored as their plain bytes.
    void createEncrypter(const QString& masterPassword);
    // The stored master password; a null string when there is no row.
    QString retriveMasterPassword();
    int checkMasterPassword(const QString& typed);
    // The stored master password for the master-password panel; null on failure.
    QString checkForMasterPasswordMatch();
    static int mapDBErrorCode(int serverErrorNumber);
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
    int initUserDetails(const QString& accountName, const QString& password);
    // Null when no user row has the name.
    QString getUserIDForName(const QString& accountName, int* code = nullptr);
    // The user reader: fills mCurrentUser. 6 disabled, 7 no such row.
    int readAllSavedRecordsForUserWithUserPrimaryNameID(const QString& userID);
    QStringList fetchGroupArrayForUserID(const QString& userID, int* code = nullptr);
    // The load worker; a second load reads nothing.
    int loadDataBase();
    // The reload worker: re-reads everything but the preferences.
    int reloadDatabase();
    int readCatagoryTable();
    int readTypesTable();
    int readRecordTable();
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
    int insertUserListForGroup(BMGroup& group);
    int insertSubgroupListForGroup(const BMGroup& group);
    void deleteGroupUserTableforGroup(const BMGroup& group, int* code);
    void deleteGroupSubGroupsListforGroup(const BMGroup& group, int* code);

    // --- in-memory queries and permission tests --------------------------------
    // Every list here is computed from the caches; nothing runs a statement.
    // Group and type arguments may be null (no filter); a null or empty search
    // text means no search. Records, groups and types are the caches' objects.
    // Like the caches, these are for one thread at a time.
    using RecordList = QList<std::shared_ptr<TVXRecord>>;
    using GroupList = QList<std::shared_ptr<BMGroup>>;
    using TypeList = QList<std::shared_ptr<TVXType>>;
    using UserList = QList<std::shared_ptr<TVXUser_Admin>>;

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
    // (end of recent lists)

    // --- personal group and personal records -----------------------------------
    // (end of personal group and personal records)

    // --- event log -------------------------------------------------------------
    // (end of event log)

    // --- record storage --------------------------------------------------------
    // (end of record storage)

    // --- group and type storage ------------------------------------------------
    // (end of group and type storage)

    // --- attachments and custom icons ------------------------------------------
    // (end of attachments and custom icons)

    // --- per-user preferences --------------------------------------------------
    // (end of per-user preferences)

    // --- password hint and user password ---------------------------------------
    // (end of password hint and user password)

    // --- server accounts and column settings -----------------------------------
    // (end of server accounts and column settings)

    // --- master password change ------------------------------------------------
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
    // handler, waits, and returns `code`.
    int reportDatabaseError(const sql::SQLException& e, int code = kTVXStatementFailed);

private:
    void endClientThreadState() const;
    void notifyConnectionComplete();
    std::shared_ptr<const CDBEncrypter> fieldEncrypter() const;
    std::shared_ptr<const CDBEncrypter> userDataEncrypter() const;

    void readAttachmentHeaders(TVXRecordCache& records, int* code);
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

    // [recent lists]
    // (end of recent lists)

    // [personal group]
    // (end of personal group)

    // [event log]
    // (end of event log)

    // [record storage]
    // (end of record storage)

    // [group and type storage]
    // (end of group and type storage)

    // [attachments and icons]
    // (end of attachments and icons)

    // [preferences]
    // (end of preferences)

    // [hint and password]
    // (end of hint and password)

    // [accounts]
    // (end of accounts)

    // [master password]
    // (end of master password)

    std::shared_ptr<TVXUser> m_currentUser;
    TVXGroupCache m_groups;
    TVXTypeCache m_types;
    TVXRecordCache m_records;
    TVXUserCache m_users;
    TVXIconCache m_customIcons;
    std::unique_ptr<sql::Connection> mCPcon;

    mutable std::mutex mEncrypterMutex;
    std::shared_ptr<const CDBEncrypter> mEncrypter;
    std::shared_ptr<const CDBEncrypter> mUserDataEncrypter;

    std::atomic<bool> mReadRecords{false};
    std::atomic<bool> mIsDataReloaded{false};
    std::atomic<bool> mIsLoadingComplete{false};
    std::atomic<bool> mIsConnectionComplete{false};
    std::atomic<int> mConnectionErrCode{0};
    std::atomic<bool> mConnectionLostHandlerIsOn{false};

    mutable std::mutex mDetailsMutex;
    QHash<QString, QString> mConnectionDetails;
};
