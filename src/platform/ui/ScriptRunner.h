#pragma once
// Runs the hand-overs to other applications (web log-in, mail, revealing a
// saved file) off the main thread, one at a time: a request made while one
// runs is dropped, not queued.
#include <functional>
#include <memory>

namespace platform {

class BackgroundTask;

class ScriptRunner {
public:
    static ScriptRunner& shared();
    ~ScriptRunner();

    // Starts the script on a worker thread; false (and nothing runs) while
    // another script is still running. Failures inside the script are its own.
    bool run(std::function<void()> script);
    bool isRunning() const;
    // Waits until no script runs (at most timeoutMs); true when idle.
    bool waitUntilIdle(int timeoutMs) const;

private:
    std::unique_ptr<BackgroundTask> mScript;
};

} // namespace platform
