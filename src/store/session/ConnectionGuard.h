#pragma once
// The guard of the shared connection: one thread at a time talks over it.
// It knows which thread holds it, so that nothing waits for the main thread
// while holding it: an error found under the guard is kept and handed on
// only once the holder has released it entirely.
#include "platform/core/Error.h"

#include <atomic>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

class TVXConnectionGuard {
public:
    using ReleasedHandler = std::function<void(std::vector<platform::Error>&)>;

    void lock()
    {
        mMutex.lock();
        if (mDepth++ == 0)
            mOwner.store(std::this_thread::get_id());
    }
    bool try_lock()
    {
        if (!mMutex.try_lock())
            return false;
        if (mDepth++ == 0)
            mOwner.store(std::this_thread::get_id());
        return true;
    }
    void unlock()
    {
        std::vector<platform::Error> kept;
        const bool last = --mDepth == 0;
        if (last) {
            mOwner.store(std::thread::id());
            kept.swap(mKept);
        }
        mMutex.unlock();
        if (last && !kept.empty() && mReleased)
            mReleased(kept);
    }

    bool heldByThisThread() const { return mOwner.load() == std::this_thread::get_id(); }
    // Only the holder keeps errors; they reach the handler after the last unlock.
    void keepUntilReleased(const platform::Error& error) { mKept.push_back(error); }
    void setReleasedHandler(ReleasedHandler handler) { mReleased = std::move(handler); }

private:
    std::recursive_mutex mMutex;
    int mDepth = 0;
    std::atomic<std::thread::id> mOwner{};
    std::vector<platform::Error> mKept;
    ReleasedHandler mReleased;
};
