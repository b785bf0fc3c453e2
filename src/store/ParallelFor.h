#pragma once
// Runs fn(i) for i in [0, count) on a few threads; returns when all are done.
// For independent work only: fn must not touch shared state it writes.
#include <algorithm>
#include <cstddef>
#include <thread>
#include <vector>

namespace tvxsql {

template <class Fn> void parallelFor(std::size_t count, Fn fn, std::size_t minimumPerThread = 512)
{
    const std::size_t hardware = std::max(1u, std::thread::hardware_concurrency());
    const std::size_t threads = std::min<std::size_t>({hardware, 8, std::max<std::size_t>(1, count / minimumPerThread)});
    if (threads <= 1) {
        for (std::size_t i = 0; i < count; ++i)
            fn(i);
        return;
    }
    std::vector<std::thread> pool;
    pool.reserve(threads);
    const std::size_t chunk = (count + threads - 1) / threads;
    for (std::size_t t = 0; t < threads; ++t) {
        const std::size_t begin = t * chunk;
        const std::size_t end = std::min(count, begin + chunk);
        if (begin >= end)
            break;
        pool.emplace_back([begin, end, &fn] {
            for (std::size_t i = begin; i < end; ++i)
                fn(i);
        });
    }
    for (auto& thread : pool)
        thread.join();
}

} // namespace tvxsql
