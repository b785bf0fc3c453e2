#pragma once
// The in-memory rules of the four recent lists (most viewed, recently viewed,
// recently modified, recently added): which records enter a list and which
// entry gives way. The lists themselves and their server rows belong to the
// database manager's recent-list operations; the rules here reach them through
// the manager's own names, so they apply to the manager and to test doubles.
#include "model/TVXRecord.h"
#include "model/TVXUser.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>

inline constexpr int kMostViewedLimit = 10;

// What to do to the most-viewed list for one record.
struct MostViewedChange {
    bool add = false; // append the record's identifier
    QString evict;    // first remove this identifier (null: nothing)
};

// The record is viewed `count` times. Nothing when the count is below 1 or the
// record is listed already. A full list (10 or more) gives way at its entry
// with the lowest count (the first of equal lowest), unless the record's count
// is lower still. `viewCountOf` gives the count of a listed identifier (0 for a
// record that is gone, which therefore leaves first).
MostViewedChange mostViewedChange(const QStringList& list, const QString& recordID, int32_t count,
                                  const std::function<int32_t(const QString&)>& viewCountOf);

namespace smartlists {

// Lists needs: mMostViewedRecords(), mRecentlyViewedTypes(),
// mRecentlyMofifiedTypes(), mRecentlyAddedRecords() (the lists of record
// identifiers), and the server-side adders and removers
// add...ID(recordID or record, userID), remove...ID(recordID) and
// removeMostViewedRecordIDForUser(recordID, userID). Caches needs:
// mCurrentUser(), incrementViewCountofRecord(uid), getViewCountofRecord(uid).

// A record was viewed: counts it when asked and applies the most-viewed rule.
template <class Lists, class Caches>
void addMostViewedRecord(Lists& db, Caches& caches, const TVXRecord* record, bool increment)
{
    if (!record)
        return;
    const QString& uid = record->mRecordUID();
    if (increment)
        caches.incrementViewCountofRecord(uid);
    const MostViewedChange change = mostViewedChange(
        db.mMostViewedRecords(), uid, caches.getViewCountofRecord(uid),
        [&caches](const QString& listed) { return caches.getViewCountofRecord(listed); });
    if (!change.add)
        return;
    // Making room in one's own list leaves other users' lists alone.
    // The lists are a convenience: a failed row went to the error path and changes nothing else.
    if (!change.evict.isNull())
        (void)db.removeMostViewedRecordIDForUser(change.evict, caches.mCurrentUser()->mUserID());
    (void)db.addMostViewedRecordID(uid, caches.mCurrentUser()->mUserID());
}

// The other lists take a record once: a listed record stays where it is.
template <class Lists, class Caches> void addRecentlyViewedRecord(Lists& db, Caches& caches, const TVXRecord* record)
{
    if (record && !db.mRecentlyViewedTypes().contains(record->mRecordUID()))
        (void)db.addRecentlyViewedRecordID(record->mRecordUID(), caches.mCurrentUser()->mUserID());
}

template <class Lists, class Caches> void addRecentlyAddedRecord(Lists& db, Caches& caches, const TVXRecord* record)
{
    if (record && !db.mRecentlyAddedRecords().contains(record->mRecordUID()))
        (void)db.addRecentlyAddedID(record->mRecordUID(), caches.mCurrentUser()->mUserID());
}

template <class Lists, class Caches> void addRecentlyModifiedRecord(Lists& db, Caches& caches, const TVXRecord* record)
{
    if (record && !db.mRecentlyMofifiedTypes().contains(record->mRecordUID()))
        (void)db.addRecentlyModifiedRecordID(*record, caches.mCurrentUser()->mUserID());
}

// A deleted record leaves all four lists, in memory and on the server.
template <class Lists> void removeRecordFromSmartTypes(Lists& db, const TVXRecord* record)
{
    if (!record)
        return;
    const QString& uid = record->mRecordUID();
    // Failures went to the error path; each list is tried whatever the others did.
    (void)db.removeMostViewedRecordID(uid);
    (void)db.removeRecentlyViewedRecordID(uid);
    (void)db.removeRecentlyModifiedRecordID(uid);
    (void)db.removeRecentlyAddedRecordID(uid);
}

} // namespace smartlists
