#include "store/writers/WriteBehind.h"

#include "platform/core/MainThread.h"

#include <QCoreApplication>

#include <chrono>

namespace {
thread_local bool tWriterThread = false;
}

bool TVXWriteBehind::isWriterThread() { return tWriterThread; }

TVXWriteBehind::~TVXWriteBehind()
{
    // Writes still queued at the end go out first: a view counted is a view stored.
    flush();
}

void TVXWriteBehind::post(Write write)
{
    bool start = false;
    {
        std::lock_guard lock(mMutex);
        mPending.push_back(std::move(write));
        start = !std::exchange(mDraining, true);
    }
    if (start)
        mTask = platform::BackgroundTask::start([this] { drain(); });
}

void TVXWriteBehind::drain()
{
    tWriterThread = true;
    for (;;) {
        std::deque<Write> writes;
        {
            std::lock_guard lock(mMutex);
            if (mPending.empty()) {
                // The thread state ends before anyone may think the queue idle.
                break;
            }
            writes.swap(mPending);
        }
        for (Write& write : writes) {
            try {
                write();
            } catch (...) {
                // A write reports its own failures; nothing may stop the ones after it.
            }
            std::lock_guard lock(mMutex);
            ++mSent;
        }
    }
    if (mThreadEnd)
        mThreadEnd();
    tWriterThread = false; // the pool's thread goes on to other work
    std::unique_lock lock(mMutex);
    if (!mPending.empty()) {
        // Posted while the thread state ended: this worker goes on with them.
        lock.unlock();
        drain();
        return;
    }
    mDraining = false;
    mIdle.notify_all();
}

void TVXWriteBehind::flush()
{
    const bool serveEvents = QCoreApplication::instance() && platform::isMainThread();
    std::unique_lock lock(mMutex);
    while (mDraining) {
        if (!serveEvents) {
            mIdle.wait(lock);
            continue;
        }
        lock.unlock();
        // Only the writers' hand-overs to the main thread (they are posted to
        // the application object): a save's answer, a timer or a paint must
        // not run inside whatever waits here (a quit, a new connection).
        QCoreApplication::sendPostedEvents(QCoreApplication::instance(), QEvent::MetaCall);
        lock.lock();
        mIdle.wait_for(lock, std::chrono::milliseconds(1));
    }
}

bool TVXWriteBehind::isIdle() const
{
    std::lock_guard lock(mMutex);
    return !mDraining;
}

quint64 TVXWriteBehind::writesSent() const
{
    std::lock_guard lock(mMutex);
    return mSent;
}
