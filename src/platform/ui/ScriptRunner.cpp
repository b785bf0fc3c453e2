#include "platform/ui/ScriptRunner.h"

#include <chrono>
#include <thread>

namespace platform {

ScriptRunner& ScriptRunner::shared()
{
    static ScriptRunner* runner = new ScriptRunner;
    return *runner;
}

bool ScriptRunner::run(std::function<void()> script)
{
    bool expected = false;
    if (!script || !mRunning.compare_exchange_strong(expected, true))
        return false;
    try {
        std::thread([this, script = std::move(script)] {
            try {
                script();
            } catch (...) {
                // A failed hand-over is the script's own business; the runner stays usable.
            }
            mRunning.store(false);
        }).detach();
    } catch (...) {
        mRunning.store(false);
        return false;
    }
    return true;
}

bool ScriptRunner::waitUntilIdle(int timeoutMs) const
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (mRunning.load()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

} // namespace platform
