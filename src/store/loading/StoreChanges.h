#pragma once
// What a committed write changed, announced with the notification centre so
// that the windows follow the store instead of each command refreshing them.
#include <QString>

#include <mutex>

class TVXConnectionGuard;
class TVXStoreCaches;
class TVXStoreSession;

namespace storechanges {

enum Kind : unsigned {
    kRecords = 1u << 0,
    kGroups = 1u << 1,
    kTypes = 1u << 2,
    kUsers = 1u << 3,
};

inline const QString kStoreChangedNotification = QStringLiteral("TVXStoreChanged");

// The notice's object.
struct StoreChange {
    // The changed store, by the caches the windows show; compared only: the
    // notice may outlive it.
    const TVXStoreCaches* store = nullptr;
    unsigned kinds = 0;
    // Handed over from a worker (or from under the guard): it may arrive after
    // the refresh that ended the work, so the window takes it with its next one.
    bool handedOver = false;
};

// Posts the notice: at once on the main thread, handed over without waiting
// from a worker, and queued while this thread still holds the guard.
void announce(const TVXStoreCaches* store, const TVXConnectionGuard& guard, unsigned kinds);

// Collects what a store call changed and announces it when it goes out of
// scope. Declared before the call's guard, it announces after the guard's release.
class Announcement {
public:
    Announcement(const TVXStoreCaches* store, const TVXConnectionGuard& guard) : mStore(store), mGuard(guard) {}
    ~Announcement()
    {
        if (mKinds)
            announce(mStore, mGuard, mKinds);
    }
    Announcement(const Announcement&) = delete;
    Announcement& operator=(const Announcement&) = delete;

    void add(unsigned kinds) { mKinds |= kinds; }

private:
    const TVXStoreCaches* mStore;
    const TVXConnectionGuard& mGuard;
    unsigned mKinds = 0;
};

// A write call's span: the connection guard held throughout, what the call
// changed announced once the guard is released.
class GuardedChange : public Announcement {
public:
    explicit GuardedChange(const TVXStoreSession& store);
    ~GuardedChange(); // releases the guard, then announces

private:
    std::unique_lock<TVXConnectionGuard> mLock;
};

} // namespace storechanges
