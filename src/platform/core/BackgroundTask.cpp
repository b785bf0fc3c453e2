#include "platform/core/BackgroundTask.h"

#include "platform/core/MainThread.h"

#include <QCoreApplication>
#include <QPointer>
#include <QThreadPool>

#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>

namespace platform {

struct BackgroundTask::State {
    mutable std::mutex mutex;
    std::condition_variable ended;
    bool running = true;
    TaskOutcome outcome;
    // Read on the main thread only, where the task object is also destroyed.
    QPointer<BackgroundTask> task;
};

namespace {

// Never destroyed: work still running at exit ends with the process instead
// of holding the exit up (a log-in may wait on an unreachable server, and a
// worker waiting for the main thread would wait for ever).
QThreadPool& workerPool()
{
    static QThreadPool* pool = [] {
        auto* made = new QThreadPool;
        // Every task gets a thread at once: a queued one could wait behind work
        // that itself waits for the main thread.
        made->setMaxThreadCount(64);
        return made;
    }();
    return *pool;
}

// Announcements go to the main thread's event loop; without one there is no
// one to tell.
void toMainThread(std::function<void()> fn)
{
    if (auto* app = QCoreApplication::instance())
        QMetaObject::invokeMethod(app, std::move(fn), Qt::QueuedConnection);
}

} // namespace

std::unique_ptr<BackgroundTask> BackgroundTask::startWork(Work work)
{
    // Progress goes to the main thread as posted calls, in order, before the end.
    class Reporter : public TaskProgress {
    public:
        explicit Reporter(std::shared_ptr<State> state) : mState(std::move(state)) {}
        void report(int done, int total, const QString& text) override
        {
            toMainThread([state = mState, done, total, text] {
                BackgroundTask* task = state->task.data();
                if (task && !task->isFinished())
                    emit task->progressed(done, total, text);
            });
        }

    private:
        std::shared_ptr<State> mState;
    };

    auto state = std::make_shared<State>();
    std::unique_ptr<BackgroundTask> task(new BackgroundTask(state));
    workerPool().start([state, work = std::move(work)]() mutable {
        TaskOutcome outcome;
        {
            Reporter reporter(state);
            try {
                outcome.code = work(reporter);
            } catch (const std::exception& e) {
                outcome.failed = true;
                outcome.error = QString::fromUtf8(e.what());
            } catch (...) {
                outcome.failed = true;
                outcome.error = QStringLiteral("unknown exception");
            }
            // What the work holds goes before anyone is told it ended.
            work = nullptr;
        }
        {
            std::lock_guard lock(state->mutex);
            state->outcome = outcome;
            state->running = false;
        }
        state->ended.notify_all();
        toMainThread([state] {
            if (BackgroundTask* task = state->task.data())
                task->announce();
        });
    });
    return task;
}

BackgroundTask::BackgroundTask(std::shared_ptr<State> state) : mState(std::move(state))
{
    mState->task = this;
}

BackgroundTask::~BackgroundTask() = default;

bool BackgroundTask::isRunning() const
{
    std::lock_guard lock(mState->mutex);
    return mState->running;
}

TaskOutcome BackgroundTask::outcome() const
{
    std::lock_guard lock(mState->mutex);
    return mState->outcome;
}

void BackgroundTask::announce()
{
    if (mAnnounced)
        return;
    mAnnounced = true;
    emit finished(outcome());
}

void BackgroundTask::waitForFinished(QEventLoop::ProcessEventsFlags flags)
{
    if (!QCoreApplication::instance() || !isMainThread()) {
        std::unique_lock lock(mState->mutex);
        mState->ended.wait(lock, [this] { return !mState->running; });
        return;
    }
    // The announcement is a posted event: waiting for more events ends with it.
    while (!mAnnounced)
        QCoreApplication::processEvents(flags | QEventLoop::WaitForMoreEvents);
}

bool BackgroundTask::waitForEnd(int timeoutMs) const
{
    std::unique_lock lock(mState->mutex);
    return mState->ended.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return !mState->running; });
}

struct PooledJob::State {
    std::mutex mutex;
    std::condition_variable ended;
    bool running = true;
    std::exception_ptr failure;
};

PooledJob::PooledJob(std::function<void()> work) : mState(std::make_shared<State>())
{
    workerPool().start([state = mState, work = std::move(work)]() mutable {
        std::exception_ptr failure;
        try {
            work();
        } catch (...) {
            failure = std::current_exception();
        }
        work = nullptr;
        {
            std::lock_guard lock(state->mutex);
            state->failure = failure;
            state->running = false;
        }
        state->ended.notify_all();
    });
}

PooledJob::~PooledJob()
{
    std::unique_lock lock(mState->mutex);
    mState->ended.wait(lock, [this] { return !mState->running; });
}

void PooledJob::wait()
{
    std::exception_ptr failure;
    {
        std::unique_lock lock(mState->mutex);
        mState->ended.wait(lock, [this] { return !mState->running; });
        failure = std::exchange(mState->failure, nullptr);
    }
    if (failure)
        std::rethrow_exception(failure);
}

} // namespace platform
