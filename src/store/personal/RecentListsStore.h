#pragma once
// The signed-in user's four recent lists (most viewed, recently viewed,
// recently modified, recently added), owned by the database manager: kept in
// memory and as rows on the server, oldest first, each at most
// TVXRecentListsAccess::kRecentListLimit long. The manager's methods forward here; its
// addMostViewedRecord and kin apply the lists' rules for the signed-in user (a
// viewed record counts and may enter the most-viewed list; the others take a
// record once), and removeRecordIDFromRecentLists drops a record from all
// four (the first failure's code, else 0).
#include "store/session/ResultCodes.h"
#include <QString>
#include <QStringList>

#include <array>
#include <memory>

namespace sql {
class Connection;
}
class TVXRecord;
class TVXStoreCaches;
class TVXStoreSession;

class TVXRecentLists {
public:
    enum List { MostViewed, RecentlyViewed, RecentlyModified, RecentlyAdded, ListCount };

    explicit TVXRecentLists(TVXStoreSession& database) : mDatabase(database) {}

    // Record identifiers, oldest first.
    const QStringList& list(List which) const { return mLists[which]; }
    QStringList& list(List which) { return mLists[which]; }
    // Append one entry on both sides, first dropping the user's oldest rows so
    // that the list holds no more than the limit. 0 done, 3 a statement
    // failed, 8 the record is no longer stored, 1 other; a failed insert
    // leaves the memory list without the entry.
    TVXResult add(List which, const QString& recordID, const QString& userID);
    // The two sides of add apart, for a write sent behind the window: the
    // memory list takes the entry now (the oldest giving way), the server's
    // rows later (add's codes; memory is left alone).
    void addInMemory(List which, const QString& recordID);
    TVXResult writeAdded(List which, const QString& recordID, const QString& userID, bool* stored = nullptr);
    // The server side of removeMostViewedForUser.
    TVXResult deleteMostViewedRows(const QString& recordID, const QString& userID);
    // Drop a record from one list: the signed-in user's rows, every occurrence in memory.
    TVXResult remove(List which, const QString& recordID);
    // One user's rows only (a user's list making room must not empty other users' lists).
    TVXResult removeMostViewedForUser(const QString& recordID, const QString& userID);
    // Replace the memory list with the user's rows, in stored order.
    TVXResult read(List which, const QString& userID);
    // The server side of a run of recently added entries already in memory,
    // ending as adding them one after another would: the user's oldest rows
    // give way first, and only the newest of the run up to the limit stay.
    void writeRecentlyAddedRows(const QString& userID, const QStringList& recordIDs);

private:
    struct Statements {
        const char* read;
        const char* insert;
        const char* deleteRecord;
        const char* removeFirst;
    };
    static const std::array<Statements, ListCount> kStatements;
    // The user's rows of a list on the server (the batch's count inside a batch).
    int serverRowCount(sql::Connection& connection, const Statements& statements, const QString& userID);
    // Leaves the user at most kRecentListLimit - room rows, the newest.
    TVXResult trimOnServer(const Statements& statements, const QString& userID, int room);
    // Deletes the record's rows (of one user when given), then drops it from the memory list.
    TVXResult deleteRows(QStringList* list, const char* statement, const QString& recordID, const QString* userID);

    TVXStoreSession& mDatabase;
    std::array<QStringList, ListCount> mLists;
};

// The manager holds one of these: its calls of the recent lists are declared
// here, beside the lists they reach.
class TVXRecentListsAccess {
public:
    static constexpr int kRecentListLimit = 10;
    const QStringList& mMostViewedRecords() const;
    const QStringList& mRecentlyViewedTypes() const;
    const QStringList& mRecentlyMofifiedTypes() const;
    const QStringList& mRecentlyAddedRecords() const;
    TVXResult addMostViewedRecordID(const QString& recordID, const QString& userID);
    TVXResult addRecentlyViewedRecordID(const QString& recordID, const QString& userID);
    TVXResult addRecentlyModifiedRecordID(const TVXRecord& record, const QString& userID);
    TVXResult addRecentlyAddedID(const QString& recordID, const QString& userID);
    TVXResult removeMostViewedRecordID(const QString& recordID);
    TVXResult removeRecentlyViewedRecordID(const QString& recordID);
    TVXResult removeRecentlyModifiedRecordID(const QString& recordID);
    TVXResult removeRecentlyAddedRecordID(const QString& recordID);
    TVXResult removeMostViewedRecordIDForUser(const QString& recordID, const QString& userID);
    TVXResult removeRecordIDFromRecentLists(const QString& recordID);
    void addMostViewedRecord(const TVXRecord* record, bool increment);
    void addRecentlyViewedRecord(const TVXRecord* record);
    void addRecentlyAddedRecord(const TVXRecord* record);
    void addRecentlyModifiedRecord(const TVXRecord* record);
    void removeRecordFromSmartTypes(const TVXRecord* record);
    QStringList mostViewedRecordsUIDs() const { return mMostViewedRecords(); }
    QStringList recentlyViewedTypes() const { return mRecentlyViewedTypes(); }
    QStringList recentlyModifiedTypes() const { return mRecentlyMofifiedTypes(); }
    TVXResult readMostViewedRecordIDForUser(const QString& userID);
    void readRecentlyViewedRecordIDForUser(const QString& userID, TVXResult* returnCode);
    void readRecentlyModifiedRecordIDForUser(const QString& userID, TVXResult* returnCode);

    TVXRecentListsAccess(TVXStoreSession& store, TVXStoreCaches& caches)
        : mRecentLists(std::make_unique<TVXRecentLists>(store))
        , mCaches(caches)
    {
    }


private:
    friend class TVXDataBase;
    std::unique_ptr<TVXRecentLists> mRecentLists;
    TVXStoreCaches& mCaches; // the lists' rules read the user and the view counts
};
