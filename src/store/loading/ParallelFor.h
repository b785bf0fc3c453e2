#pragma once
// Runs fn(i) for i in [0, count) on a few threads; returns when all are done.
// For independent work only: fn must not touch shared state it writes.
//
// The threads (a pool of their own) are made once and kept: a thread that ends hands its stack and
// its allocator caches back to the system, and a load that made threads for
// every slice of rows spent more time on that than on its own work.
#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <vector>

#include <QThread>
#include <QThreadPool>

namespace tvxsql {

class WorkerPool {
public:
    // Made on first use and never destroyed (its threads end with the process).
    static WorkerPool& shared()
    {
        static auto* pool = new WorkerPool(std::min<std::size_t>(8, std::max(1, QThread::idealThreadCount())));
        return *pool;
    }

    std::size_t size() const { return m_helpers + 1; } // the caller works too

    // Runs task(0) to task(count - 1), the caller taking part; false, nothing
    // run, when the pool is busy with another caller's work (or this is one
    // of its threads).
    bool tryRun(std::size_t count, const std::function<void(std::size_t)>& task)
    {
        if (tls_isWorker())
            return false;
        std::unique_lock busy(m_callerMutex, std::try_to_lock);
        if (!busy.owns_lock())
            return false;
        std::atomic<std::size_t> next{0};
        std::size_t working = m_helpers;
        std::mutex mutex;
        std::condition_variable idle;
        for (std::size_t i = 0; i < m_helpers; ++i) {
            m_pool.start([&] {
                tls_isWorker() = true;
                work(task, count, next);
                std::lock_guard lock(mutex);
                if (--working == 0)
                    idle.notify_one();
            });
        }
        work(task, count, next);
        std::unique_lock lock(mutex);
        idle.wait(lock, [&] { return working == 0; });
        return true;
    }

private:
    explicit WorkerPool(std::size_t threads) : m_helpers(threads - 1)
    {
        m_pool.setMaxThreadCount(int(m_helpers));
        m_pool.setExpiryTimeout(-1); // kept: a thread that ends hands its caches back
    }

    static bool& tls_isWorker()
    {
        thread_local bool worker = false;
        return worker;
    }

    static void work(const std::function<void(std::size_t)>& task, std::size_t count, std::atomic<std::size_t>& next)
    {
        for (std::size_t i = next.fetch_add(1); i < count; i = next.fetch_add(1))
            task(i);
    }

    const std::size_t m_helpers;
    QThreadPool m_pool;
    std::mutex m_callerMutex;
};

template <class Fn> void parallelFor(std::size_t count, Fn fn, std::size_t minimumPerThread = 512)
{
    const std::size_t hardware = std::size_t(std::max(1, QThread::idealThreadCount()));
    const std::size_t threads = std::min<std::size_t>({hardware, 8, std::max<std::size_t>(1, count / minimumPerThread)});
    if (threads <= 1) {
        for (std::size_t i = 0; i < count; ++i)
            fn(i);
        return;
    }
    const std::size_t chunk = (count + threads - 1) / threads;
    const std::function<void(std::size_t)> part = [&](std::size_t t) {
        const std::size_t begin = t * chunk;
        const std::size_t end = std::min(count, begin + chunk);
        for (std::size_t i = begin; i < end; ++i)
            fn(i);
    };
    if (WorkerPool::shared().tryRun(threads, part))
        return;
    // The pool is busy (another caller's loop, or this is one of its
    // threads): the caller does it alone.
    for (std::size_t t = 0; t < threads; ++t)
        part(t);
}

} // namespace tvxsql
