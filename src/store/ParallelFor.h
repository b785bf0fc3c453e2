#pragma once
// Runs fn(i) for i in [0, count) on a few threads; returns when all are done.
// For independent work only: fn must not touch shared state it writes.
//
// The threads are made once and kept: a thread that ends hands its stack and
// its allocator caches back to the system, and a load that made threads for
// every slice of rows spent more time on that than on its own work.
#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace tvxsql {

class WorkerPool {
public:
    // Made on first use and never destroyed (its threads end with the process).
    static WorkerPool& shared()
    {
        static auto* pool = new WorkerPool(std::min<std::size_t>(8, std::max(1u, std::thread::hardware_concurrency())));
        return *pool;
    }

    std::size_t size() const { return m_threads.size() + 1; } // the caller works too

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
        {
            std::lock_guard lock(m_mutex);
            m_task = &task;
            m_count = count;
            m_next.store(0);
            m_working = m_threads.size();
            ++m_generation;
        }
        m_wake.notify_all();
        work(task, count);
        std::unique_lock lock(m_mutex);
        m_idle.wait(lock, [this] { return m_working == 0; });
        m_task = nullptr;
        return true;
    }

private:
    explicit WorkerPool(std::size_t threads)
    {
        for (std::size_t i = 1; i < threads; ++i)
            m_threads.emplace_back([this] { loop(); });
        for (auto& thread : m_threads)
            thread.detach();
    }

    static bool& tls_isWorker()
    {
        thread_local bool worker = false;
        return worker;
    }

    void work(const std::function<void(std::size_t)>& task, std::size_t count)
    {
        for (std::size_t i = m_next.fetch_add(1); i < count; i = m_next.fetch_add(1))
            task(i);
    }

    void loop()
    {
        tls_isWorker() = true;
        std::size_t seen = 0;
        for (;;) {
            const std::function<void(std::size_t)>* task = nullptr;
            std::size_t count = 0;
            {
                std::unique_lock lock(m_mutex);
                m_wake.wait(lock, [&] { return m_generation != seen; });
                seen = m_generation;
                task = m_task;
                count = m_count;
            }
            work(*task, count);
            std::lock_guard lock(m_mutex);
            if (--m_working == 0)
                m_idle.notify_one();
        }
    }

    std::vector<std::thread> m_threads;
    std::mutex m_callerMutex;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_idle;
    const std::function<void(std::size_t)>* m_task = nullptr;
    std::size_t m_count = 0;
    std::atomic<std::size_t> m_next{0};
    std::size_t m_working = 0;
    std::size_t m_generation = 0;
};

template <class Fn> void parallelFor(std::size_t count, Fn fn, std::size_t minimumPerThread = 512)
{
    const std::size_t hardware = std::max(1u, std::thread::hardware_concurrency());
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
    // The pool is busy: threads of our own.
    std::vector<std::thread> pool;
    pool.reserve(threads);
    for (std::size_t t = 0; t < threads; ++t)
        pool.emplace_back(part, t);
    for (auto& thread : pool)
        thread.join();
}

} // namespace tvxsql
