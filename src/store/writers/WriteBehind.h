#pragma once
// Writes that go out behind the window: what a click changes on the server
// (view count, recent-list rows, the event row) is sent by a worker, in the
// order posted, while the window goes on. The writes take the connection
// guard themselves and report their failures through the store's error path,
// so that a lost connection or a deleted account reaches the user as a write
// on the main thread would.
#include "platform/core/BackgroundTask.h"

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

class TVXWriteBehind {
public:
    using Write = std::function<void()>;

    // threadEnd runs on the worker before it stops (the client library's thread state).
    explicit TVXWriteBehind(std::function<void()> threadEnd) : mThreadEnd(std::move(threadEnd)) {}
    ~TVXWriteBehind();
    TVXWriteBehind(const TVXWriteBehind&) = delete;
    TVXWriteBehind& operator=(const TVXWriteBehind&) = delete;

    // Queues a write; a worker sends it after every write posted before it.
    void post(Write write);
    // Returns once every write posted so far has been sent. On the main thread
    // it serves the writers' hand-overs to it meanwhile (a write may wait for
    // one), and no other event.
    void flush();
    bool isIdle() const;
    // Writes sent since the start (for tests and benchmarks).
    quint64 writesSent() const;
    // Whether this thread is sending writes behind the window: its error
    // reports must not wait for the main thread, which may be waiting in
    // flush() (a new log-in replacing the connection).
    static bool isWriterThread();

private:
    void drain();

    std::function<void()> mThreadEnd;
    mutable std::mutex mMutex;
    std::condition_variable mIdle;
    std::deque<Write> mPending;
    bool mDraining = false;
    quint64 mSent = 0;
    std::unique_ptr<platform::BackgroundTask> mTask;
};
