#pragma once
// Work off the main thread. The work runs on a thread of the helper's own
// pool (never a detached one); what it throws comes back as an error result;
// progress and the end are announced on the main thread. The task object
// belongs to whoever started it and may go before the work ends: the work
// still runs to its end, and only the announcements are dropped. At quit the
// pool is left as it is: running work ends with the process.
#include <QEventLoop>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <type_traits>

namespace platform {

// What a finished task left.
struct TaskOutcome {
    int code = 0;        // the work's own result (0 for work that returns nothing)
    bool failed = false; // the work threw: code means nothing
    QString error;       // what it threw (never shown as is: it may name anything)
};

// Handed to the work for telling the main thread how far it has come.
class TaskProgress {
public:
    virtual ~TaskProgress() = default;
    virtual void report(int done, int total, const QString& text = QString()) = 0;
};

class BackgroundTask : public QObject {
    Q_OBJECT
public:
    using Work = std::function<int(TaskProgress&)>;

    // Starts work (callable with or without a TaskProgress&, returning an int
    // code or nothing) on a worker thread.
    template <typename Fn>
    [[nodiscard]] static std::unique_ptr<BackgroundTask> start(Fn&& fn)
    {
        return startWork(wrap(std::forward<Fn>(fn)));
    }
    ~BackgroundTask() override;

    // Whether the work still runs (any thread may ask).
    bool isRunning() const;
    // Whether finished() has been announced (ask on the main thread).
    bool isFinished() const { return mAnnounced; }
    // The result, once finished (or once the work has ended, off the main thread).
    TaskOutcome outcome() const;

    // Returns once finished() has been announced, serving the main thread's
    // events meanwhile (the work's hand-overs among them; user input only as
    // the flags allow). Off the main thread, or without an event loop, it
    // blocks until the work has ended.
    void waitForFinished(QEventLoop::ProcessEventsFlags flags = QEventLoop::AllEvents);
    // Blocks, without serving events, until the work has ended or timeoutMs
    // has passed; true when it has ended.
    bool waitForEnd(int timeoutMs) const;

signals:
    // On the main thread, in the order reported.
    void progressed(int done, int total, const QString& text);
    // On the main thread, once, after the work has ended.
    void finished(const platform::TaskOutcome& outcome);

private:
    struct State;
    explicit BackgroundTask(std::shared_ptr<State> state);
    static std::unique_ptr<BackgroundTask> startWork(Work work);
    void announce();

    template <typename Fn>
    static Work wrap(Fn&& fn)
    {
        if constexpr (std::is_invocable_v<Fn&, TaskProgress&>) {
            if constexpr (std::is_void_v<std::invoke_result_t<Fn&, TaskProgress&>>)
                return [f = std::forward<Fn>(fn)](TaskProgress& p) mutable { f(p); return 0; };
            else
                return [f = std::forward<Fn>(fn)](TaskProgress& p) mutable { return int(f(p)); };
        } else if constexpr (std::is_void_v<std::invoke_result_t<Fn&>>) {
            return [f = std::forward<Fn>(fn)](TaskProgress&) mutable { f(); return 0; };
        } else {
            return [f = std::forward<Fn>(fn)](TaskProgress&) mutable { return int(f()); };
        }
    }

    std::shared_ptr<State> mState;
    bool mAnnounced = false;
};

// Work for a thread that waits for it itself (a worker's own helper): it runs
// on the same pool as the tasks above and announces nothing.
class PooledJob {
public:
    explicit PooledJob(std::function<void()> work);
    // Waits for the work to end; what it threw is dropped.
    ~PooledJob();
    PooledJob(const PooledJob&) = delete;
    PooledJob& operator=(const PooledJob&) = delete;

    // Returns once the work has ended; rethrows what it threw (once).
    void wait();

private:
    struct State;
    std::shared_ptr<State> mState;
};

} // namespace platform
