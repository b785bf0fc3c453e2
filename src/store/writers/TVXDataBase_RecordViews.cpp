// A record viewed: memory changes at once, the server's rows behind the window.
#include "store/TVXDataBase.h"

#include "model/TVXRecord.h"
#include "model/TVXUser.h"
#include "platform/core/MainThread.h"
#include "store/loading/SmartLists.h"
#include "store/eventlog/TVXEventLogger.h"

void TVXDataBase::recordViewed(const TVXRecord& record, bool raiseMemoryCounter, const QString& userName)
{
    const QString uid = record.mRecordUID();
    const QString userID = m_currentUser ? m_currentUser->mUserID() : QString();

    // The lists' rules as a view on the main thread applies them, against memory.
    if (raiseMemoryCounter)
        incrementViewCountofRecord(uid);
    const MostViewedChange mostViewed = mostViewedChange(
        mMostViewedRecords(), uid, getViewCountofRecord(uid),
        [this](const QString& listed) { return getViewCountofRecord(listed); });
    if (mostViewed.add) {
        if (!mostViewed.evict.isNull())
            mRecentLists->list(TVXRecentLists::MostViewed).removeAll(mostViewed.evict);
        mRecentLists->addInMemory(TVXRecentLists::MostViewed, uid);
    }
    const bool recentlyViewed = !mRecentlyViewedTypes().contains(uid);
    if (recentlyViewed)
        mRecentLists->addInMemory(TVXRecentLists::RecentlyViewed, uid);
    const TVXEventLogEntry entry = eventLogger().noteLogEvent(
        QStringLiteral("View Record"), TVXEventLogger::recordDescription(record), QString(), userName);

    // Each write takes the guard itself and reports its failure through the
    // error path, as it did on the main thread.
    mWriteBehind->post([this, uid, userID, mostViewed, recentlyViewed, entry] {
        updateRecordViewCountForRecord(uid);
        // An entry the server would not take (the record is gone) leaves the memory list too.
        const auto unlist = [this, uid](TVXRecentLists::List which) {
            platform::performOnMainThread([this, uid, which] { mRecentLists->list(which).removeAll(uid); });
        };
        if (mostViewed.add && !userID.isEmpty()) {
            if (!mostViewed.evict.isNull())
                (void)mRecentLists->deleteMostViewedRows(mostViewed.evict, userID);
            bool stored = false;
            (void)mRecentLists->writeAdded(TVXRecentLists::MostViewed, uid, userID, &stored);
            if (!stored)
                unlist(TVXRecentLists::MostViewed);
        }
        if (recentlyViewed && !userID.isEmpty()) {
            bool stored = false;
            (void)mRecentLists->writeAdded(TVXRecentLists::RecentlyViewed, uid, userID, &stored);
            if (!stored)
                unlist(TVXRecentLists::RecentlyViewed);
        }
        (void)saveLogsArrayToDatabase(entry);
    });
}
