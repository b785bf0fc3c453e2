#pragma once
// Runs the hand-overs to other applications (web log-in, mail, revealing a
// saved file) on a detached worker thread, one at a time: a request made
// while one runs is dropped, not queued.
#include <atomic>
#include <functional>

namespace platform {

class ScriptRunner {
public:
    static ScriptRunner& shared();

    // Starts the script on a worker thread; false (and nothing runs) while
    // another script is still running. Failures inside the script are its own.
    bool run(std::function<void()> script);
    bool isRunning() const { return mRunning.load(); }
    // Waits until no script runs (at most timeoutMs); true when idle.
    bool waitUntilIdle(int timeoutMs) const;

private:
    std::atomic<bool> mRunning{false};
};

} // namespace platform
