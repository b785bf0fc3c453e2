#include "store/loading/StoreChanges.h"

#include "platform/core/MainThread.h"
#include "platform/core/NotificationCenter.h"
#include "store/session/ConnectionGuard.h"
#include "store/session/StoreSession.h"

namespace storechanges {

void announce(const TVXStoreCaches* store, const TVXConnectionGuard& guard, unsigned kinds)
{
    if (!kinds)
        return;
    if (platform::isMainThread() && !guard.heldByThisThread()) {
        platform::NotificationCenter::defaultCenter().post(kStoreChangedNotification, StoreChange{store, kinds, false});
        return;
    }
    // Observers never run while this thread holds the guard, and a worker
    // does not wait for the main thread for a notice.
    platform::performOnMainThread([change = StoreChange{store, kinds, true}] {
        platform::NotificationCenter::defaultCenter().post(kStoreChangedNotification, change);
    });
}

GuardedChange::GuardedChange(const TVXStoreSession& store)
    : Announcement(&store.caches(), store.connectionGuard()), mLock(store.lockConnection())
{
}

GuardedChange::~GuardedChange() = default;

} // namespace storechanges
