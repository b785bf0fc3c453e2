// A record viewed: memory changes at once, the server's rows behind the window.
#include "store/TVXDataBase.h"

#include "model/TVXRecord.h"
#include "model/TVXUser.h"
#include "platform/core/MainThread.h"
#include "store/eventlog/TVXEventLogger.h"
#include "store/loading/SmartLists.h"

void TVXDataBase::recordViewed(const TVXRecord& record, bool raiseMemoryCounter, const QString& userName)
{
    const QString uid = record.mRecordUID();
    const QString userID = mCaches.mCurrentUser() ? mCaches.mCurrentUser()->mUserID() : QString();
    TVXRecentLists& lists = *mRecentListsAccess.mRecentLists;

    // The lists' rules as a view on the main thread applies them, against memory.
    if (raiseMemoryCounter)
        mCaches.incrementViewCountofRecord(uid);
    const MostViewedChange mostViewed = mostViewedChange(
        lists.list(TVXRecentLists::MostViewed), uid, mCaches.getViewCountofRecord(uid),
        [this](const QString& listed) { return mCaches.getViewCountofRecord(listed); });
    if (mostViewed.add) {
        if (!mostViewed.evict.isNull())
            lists.list(TVXRecentLists::MostViewed).removeAll(mostViewed.evict);
        lists.addInMemory(TVXRecentLists::MostViewed, uid);
    }
    const bool recentlyViewed = !lists.list(TVXRecentLists::RecentlyViewed).contains(uid);
    if (recentlyViewed)
        lists.addInMemory(TVXRecentLists::RecentlyViewed, uid);
    const TVXEventLogEntry entry = mEventLogAccess.eventLogger().noteLogEvent(
        QStringLiteral("View Record"), TVXEventLogger::recordDescription(record), QString(), userName);

    // Each write takes the guard itself and reports its failure through the
    // error path, as it did on the main thread.
    mWriteBehind->post([this, &lists, uid, userID, mostViewed, recentlyViewed, entry] {
        updateRecordViewCountForRecord(uid);
        // An entry the server would not take (the record is gone) leaves the memory list too.
        const auto unlist = [&lists, uid](TVXRecentLists::List which) {
            platform::performOnMainThread([&lists, uid, which] { lists.list(which).removeAll(uid); });
        };
        if (mostViewed.add && !userID.isEmpty()) {
            if (!mostViewed.evict.isNull())
                (void)lists.deleteMostViewedRows(mostViewed.evict, userID);
            bool stored = false;
            (void)lists.writeAdded(TVXRecentLists::MostViewed, uid, userID, &stored);
            if (!stored)
                unlist(TVXRecentLists::MostViewed);
        }
        if (recentlyViewed && !userID.isEmpty()) {
            bool stored = false;
            (void)lists.writeAdded(TVXRecentLists::RecentlyViewed, uid, userID, &stored);
            if (!stored)
                unlist(TVXRecentLists::RecentlyViewed);
        }
        (void)mEventLogAccess.saveLogsArrayToDatabase(entry);
    });
}
