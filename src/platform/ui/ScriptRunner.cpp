#include "platform/ui/ScriptRunner.h"

#include "platform/core/BackgroundTask.h"

namespace platform {

ScriptRunner& ScriptRunner::shared()
{
    static ScriptRunner* runner = new ScriptRunner;
    return *runner;
}

ScriptRunner::~ScriptRunner() = default;

bool ScriptRunner::run(std::function<void()> script)
{
    if (!script || isRunning())
        return false;
    // A failed hand-over is the script's own business: its error result is dropped.
    mScript = BackgroundTask::start(std::move(script));
    return true;
}

bool ScriptRunner::isRunning() const { return mScript && mScript->isRunning(); }

bool ScriptRunner::waitUntilIdle(int timeoutMs) const { return !mScript || mScript->waitForEnd(timeoutMs); }

} // namespace platform
