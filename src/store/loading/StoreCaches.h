#pragma once
// The manager's in-memory side: the caches the loaders fill, the signed-in
// user, the prepared search texts, and the queries and permission tests
// computed from them. No statement runs here. The database manager holds
// one (TVXDataBase::caches()); its loaders and writers fill it.

#include "store/StoreTypes.h"

#include <QString>
#include <QStringList>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>

class RecordSearchIndex;
class SearchEntryPreparation;
class TVXUser;

class TVXStoreCaches {
public:
    TVXStoreCaches(const TVXStoreCaches&) = delete;
    TVXStoreCaches& operator=(const TVXStoreCaches&) = delete;

    // The signed-in user: made with the manager, filled at log-in.
    const std::shared_ptr<TVXUser>& mCurrentUser() const { return m_currentUser; }
    TVXUser* getCurrentUser() const { return m_currentUser.get(); }
    // The caches, keyed by identifier; one thread at a time works on them
    // (workers run while the main thread waits).
    const TVXGroupCache& mGroups() const { return m_groups; }
    TVXGroupCache& mGroups() { return m_groups; }
    const TVXTypeCache& mTypes() const { return m_types; }
    TVXTypeCache& mTypes() { return m_types; }
    const TVXRecordCache& mRecords() const { return m_records; }
    TVXRecordCache& mRecords() { return m_records; }
    const TVXUserCache& mUsers() const { return m_users; }
    TVXUserCache& mUsers() { return m_users; }

    // --- in-memory queries and permission tests (StoreCaches.cpp) ------------
    // Computed from the caches, for one thread at a time. Null group or type:
    // no filter; null or empty search text: no search.
    using RecordList = TVXRecordList;
    using GroupList = TVXGroupList;
    using TypeList = TVXTypeList;
    using UserList = TVXUserList;
    RecordList itemsOfGroup(const BMGroup* group, const TVXType* type, const QString& searchString) const;
    qsizetype itemsCountOfGroup(const BMGroup* group, const TVXType* type, const QString& searchString) const;
    // Sorted by a record-list column (store/loading/RecordSearch.h); ties by value 1
    // ignoring case, then identifier; descending is the exact reverse.
    RecordList itemsOfGroup(const BMGroup* group, const TVXType* type, const QString& searchString,
                            int columnID, bool ascending) const;
    RecordList itemsOfGroup(const BMGroup* group, const QString& searchString) const;
    // The records of `uids` (a smart list) in the list's order, each once.
    RecordList itemsOfGroup(const BMGroup* group, const QString& searchString, const QStringList& uids) const;
    RecordList itemsOfCategory(const BMGroup* group, const QString& searchString, const QStringList& uids) const;
    TypeList allTypesForGroup(const QString& groupUID, const QString& searchString) const;
    // How many cached records of each group (by identifier) pass the search: the group
    // pop-up's counts, in one walk (group by group would read every record once a group).
    QHash<QString, qsizetype> recordCountsByGroup(const QString& searchString) const;
    // The records of the group (all groups: null) that pass the search, by type identifier.
    QHash<QString, qsizetype> recordCountsByType(const BMGroup* group, const QString& searchString) const;
    // The lower-cased text occurs in value 1 to 9, the display date or the notes.
    bool containsString(const QString& searchString, const TVXRecord& record) const;
    bool anyRecordHasAtachementinArray() const; // all cached records
    bool anyRecordHasAtachementinArray(const RecordList& records) const;
    // Whoever adds, changes, replaces or removes a cached record calls this
    // afterwards with it, so that its lower-cased texts never outlive it.
    void refreshRecordSearchEntry(const TVXRecord& record);
    void prepareRecordSearchIndex() const; // every entry, now, on this thread and the workers

    // --- every record's search entry, prepared after a load -------------------------
    // So that the first search costs what a later one does. Small caches are
    // prepared at once; large ones on threads of their own while the caller
    // goes on, from a copy of the record list (the records stay alive). A
    // change to a listed record's texts stops that preparation first; the
    // owner takes a complete one over when it next uses the entries. Calls of
    // the caches' owner; one running at a time.
    void prepareSearchEntries();
    // The entries are ready for a search that should not prepare them all
    // itself: small caches, or a preparation done and taken over.
    bool searchEntriesReady() const;
    // A preparation is running (read at any time: it touches nothing else).
    bool isPreparingSearchEntries() const;
    // Stops a running preparation and drops it (a reload replaces the records).
    void stopPreparingSearchEntries();
    // From how many records the preparation runs on threads of its own; a
    // hold run first on its thread, told when it is asked to stop (tests use
    // both to search while it runs).
    using PreparationHold = std::function<void(const std::atomic<bool>& stopAsked)>;
    static void setBackgroundPreparationFrom(qsizetype records);
    static void setPreparationHold(PreparationHold hold);

    // While a batch is open, a query asked again with the same arguments is
    // answered from its first answer (the group pop-up's counts, the group's
    // list, the types present): for a run of refreshes over caches that do
    // not change meanwhile, such as the end of a log-in.
    struct SearchMemo; // which records the last search text found (StoreCaches.cpp)
    struct BatchMemo;  // the answers given while a batch is open (StoreCaches.cpp)
    class QueryBatch {
    public:
        explicit QueryBatch(const TVXStoreCaches& caches);
        ~QueryBatch();
        QueryBatch(const QueryBatch&) = delete;
        QueryBatch& operator=(const QueryBatch&) = delete;

    private:
        const TVXStoreCaches& m_caches;
        bool m_outermost;
    };
    // By name ignoring case, then identifier.
    GroupList groups(bool includePersonalGroup) const;
    GroupList groupsForEditing(bool unused = false) const;
    GroupList groupsWithPermission(uint16_t mask) const;
    GroupList subGroupsForGroupWithID(const QString& groupUID) const;
    TypeList typesForEditing(bool unused = false) const;
    TypeList types(bool unused, const BMGroup* group) const;
    std::shared_ptr<BMGroup> groupWithUID(const QString& uid) const;
    // Every group an account may join: an administrator's reading of the
    // store's groups (not only those it is in), else the cached groups;
    // never a personal group.
    TVXGroupCache& mStoreGroups() { return m_storeGroups; }
    GroupList groupsForAccounts() const;
    std::shared_ptr<BMGroup> accountGroupWithUID(const QString& uid) const;
    std::shared_ptr<TVXType> typeWithUID(const QString& uid) const;
    std::shared_ptr<TVXRecord> recordWithUID(const QString& uid) const;
    std::shared_ptr<TVXRecord> getRecordForUID(const QString& uid) const;
    std::shared_ptr<TVXRecord> giveRecordForID(const QString& uid) const;
    std::shared_ptr<BMGroup> getGroupFromGroupName(const QString& name) const;
    std::shared_ptr<TVXType> findSimilarType(const TVXType& type, const BMGroup* group = nullptr) const;
    std::shared_ptr<BMGroup> findSimilarCategory(const BMGroup& group) const;
    bool isGroupExistsInDatabase() const { return !m_groups.isEmpty(); }
    bool isTypeExistsInDatabase() const { return !m_types.isEmpty(); }
    UserList sortedUsersContainsString(const QString& searchString) const;
    bool userNameExistWithName(const QString& name) const;
    void addUserToGroupListForGroups(const QString& userID, const QStringList& groupUIDs);
    void incrementViewCountofRecord(const QString& uid);
    int32_t getViewCountofRecord(const QString& uid) const;
    // The group's word when the group prevails, else the user's own: 1 add,
    // 2 edit, 4 delete; held when any asked bit is in the word.
    static uint16_t recordPermissionsInGroup(const BMGroup* group, uint16_t userRecordBits);
    uint16_t recordPermissionsInGroup(const BMGroup* group) const;
    bool checkRecordPermission(uint16_t mask, const BMGroup* group) const;
    QString getRandomPassKey(const QString& recordID = QString()) const;
    static std::string voidConvertNSStringToChar(const QString& text);

    TVXStoreCaches(); // makes the (still empty) signed-in user
    ~TVXStoreCaches();

protected:
    friend class TVXDataBase; // its loaders fill the caches
    friend class TVXStoreLoader;

    // Prepared search and sort texts of the cached records; made on first use.
    mutable std::shared_ptr<RecordSearchIndex> mRecordSearchIndex;
    RecordSearchIndex& recordSearchIndex() const;
    // The preparation running or ended, not yet taken over; whether the
    // entries are all prepared; which records the last search found.
    mutable std::shared_ptr<SearchEntryPreparation> m_preparation;
    mutable std::mutex m_preparationMutex;
    mutable bool m_searchEntriesPrepared = false;
    mutable std::unique_ptr<SearchMemo> m_searchMemo;
    mutable std::unique_ptr<BatchMemo> m_batchMemo;
    void takeOverPreparation() const;
    BatchMemo* openBatch() const; // null when no batch is open; dropped when the caches changed
    // The records of the group and type that pass the search, in the cache's
    // order or sorted by (column, ascending); a batch keeps the answer.
    RecordList selectedRecords(const BMGroup* group, const TVXType* type, const QString& searchString,
                               std::optional<std::pair<int, bool>> order) const;
    void pruneRecordSearchIndex() const; // drops entries of records gone from mRecords

    std::shared_ptr<TVXUser> m_currentUser;
    TVXGroupCache m_groups;
    TVXTypeCache m_types;
    TVXRecordCache m_records;
    TVXUserCache m_users;
    TVXGroupCache m_storeGroups;
};
