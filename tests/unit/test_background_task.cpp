// Work off the main thread: what it throws comes back as an error result, its
// progress and end arrive on the main thread, and it may outlive its starter.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QThread>

#include <atomic>
#include <memory>
#include <semaphore>
#include <stdexcept>
#include <thread>
#include <vector>

#include "platform/core/BackgroundTask.h"
#include "platform/core/MainThread.h"
#include "store/loading/ParallelFor.h"

using platform::PooledJob;
using platform::BackgroundTask;
using platform::TaskOutcome;
using platform::TaskProgress;

namespace {

// The other unit tests run without an application object; these need its event loop.
class BackgroundTaskTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        static int argc = 1;
        static char name[] = "tvx_unit_tests";
        static char* argv[] = {name, nullptr};
        sApp = new QCoreApplication(argc, argv);
    }
    static void TearDownTestSuite()
    {
        delete sApp;
        sApp = nullptr;
    }
    static QCoreApplication* sApp;
};
QCoreApplication* BackgroundTaskTest::sApp = nullptr;

TEST_F(BackgroundTaskTest, WhatTheWorkThrowsComesBackAsAnErrorResult)
{
    const auto thrown = BackgroundTask::start([]() -> int { throw std::runtime_error("no such table"); });
    TaskOutcome announced;
    QObject::connect(thrown.get(), &BackgroundTask::finished, [&announced](const TaskOutcome& o) { announced = o; });
    thrown->waitForFinished();
    EXPECT_TRUE(announced.failed);
    EXPECT_EQ(announced.error, QStringLiteral("no such table"));
    EXPECT_TRUE(thrown->outcome().failed);

    // Not only standard exceptions.
    const auto odd = BackgroundTask::start([] { throw 42; });
    odd->waitForFinished();
    EXPECT_TRUE(odd->outcome().failed);

    const auto fine = BackgroundTask::start([] { return 11; });
    fine->waitForFinished();
    EXPECT_FALSE(fine->outcome().failed);
    EXPECT_EQ(fine->outcome().code, 11);
}

TEST_F(BackgroundTaskTest, ProgressAndTheEndArriveOnTheMainThreadInOrder)
{
    QThread* mainThread = QThread::currentThread();
    bool servedOnMain = false;
    const auto task = BackgroundTask::start([&](TaskProgress& progress) {
        for (int step = 1; step <= 3; ++step)
            progress.report(step, 3, QStringLiteral("step %1").arg(step));
        // The waiting main thread serves the work's hand-overs.
        platform::performOnMainThreadAndWait([&] { servedOnMain = QThread::currentThread() == mainThread; });
        return 7;
    });
    QStringList heard;
    bool allOnMain = true;
    QObject::connect(task.get(), &BackgroundTask::progressed, [&](int done, int total, const QString& text) {
        allOnMain = allOnMain && QThread::currentThread() == mainThread;
        heard << QStringLiteral("%1/%2 %3").arg(done).arg(total).arg(text);
    });
    QObject::connect(task.get(), &BackgroundTask::finished, [&](const TaskOutcome& outcome) {
        allOnMain = allOnMain && QThread::currentThread() == mainThread;
        heard << QStringLiteral("end %1").arg(outcome.code);
    });
    task->waitForFinished();
    EXPECT_TRUE(servedOnMain);
    EXPECT_TRUE(allOnMain);
    EXPECT_EQ(heard, QStringList({"1/3 step 1", "2/3 step 2", "3/3 step 3", "end 7"}));
    EXPECT_FALSE(task->isRunning());
    // Waiting again returns at once.
    task->waitForFinished();
}

TEST_F(BackgroundTaskTest, ATaskOutlivingItsStarterEndsQuietly)
{
    // The starter goes while the work runs: what it connected is not called.
    std::binary_semaphore gate{0};
    auto starter = std::make_unique<QObject>();
    bool heard = false;
    const auto kept = BackgroundTask::start([&gate](TaskProgress& progress) {
        gate.acquire();
        progress.report(1, 1);
        throw std::runtime_error("late");
    });
    QObject::connect(kept.get(), &BackgroundTask::progressed, starter.get(), [&heard] { heard = true; });
    QObject::connect(kept.get(), &BackgroundTask::finished, starter.get(), [&heard] { heard = true; });
    starter.reset();
    gate.release();
    kept->waitForFinished();
    EXPECT_FALSE(heard);
    EXPECT_TRUE(kept->outcome().failed);

    // The task object goes too: the work still runs to its end, telling no one.
    auto release = std::make_shared<std::binary_semaphore>(0);
    auto ended = std::make_shared<std::binary_semaphore>(0);
    auto dropped = BackgroundTask::start([release, ended](TaskProgress& progress) {
        release->acquire();
        progress.report(1, 1);
        ended->release();
    });
    EXPECT_TRUE(dropped->isRunning());
    EXPECT_FALSE(dropped->waitForEnd(0));
    dropped.reset();
    release->release();
    ended->acquire();
    QCoreApplication::processEvents();
}

TEST_F(BackgroundTaskTest, APooledJobIsWaitedForAndGivesBackWhatItThrew)
{
    // Waiting is for the end of the work, not for its start.
    std::atomic<bool> done = false;
    {
        std::binary_semaphore gate{0};
        PooledJob job([&] {
            gate.acquire();
            done = true;
        });
        gate.release();
    }
    EXPECT_TRUE(done);

    PooledJob failing([] { throw std::runtime_error("disk gone"); });
    EXPECT_THROW(failing.wait(), std::runtime_error);
    EXPECT_NO_THROW(failing.wait()); // once only
}

} // namespace

// The parallel loop: every index runs once, also when loops meet (a loop run
// from inside another's task, two callers at once) and the shared pool is busy.
TEST(ParallelFor, EveryIndexRunsOnceWhenLoopsMeet)
{
    constexpr std::size_t kCount = 20000;
    const auto runLoop = [](std::vector<std::atomic<int>>& hits) {
        tvxsql::parallelFor(hits.size(), [&](std::size_t i) { hits[i].fetch_add(1); }, 16);
    };
    std::vector<std::atomic<int>> outer(64);
    std::vector<std::vector<std::atomic<int>>> inner(64);
    for (auto& hits : inner)
        hits = std::vector<std::atomic<int>>(kCount / 64);
    tvxsql::parallelFor(outer.size(), [&](std::size_t i) {
        outer[i].fetch_add(1);
        runLoop(inner[i]); // from one of the pool's threads, or the caller's
    }, 1);

    std::vector<std::atomic<int>> first(kCount), second(kCount);
    std::thread other([&] { runLoop(second); });
    runLoop(first);
    other.join();

    for (const auto* hits : {&outer, &first, &second})
        for (const auto& hit : *hits)
            ASSERT_EQ(hit.load(), 1);
    for (const auto& hits : inner)
        for (const auto& hit : hits)
            ASSERT_EQ(hit.load(), 1);
}
