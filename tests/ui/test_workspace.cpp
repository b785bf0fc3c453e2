// The desktop stand-ins: the command lines handed to the desktop's helpers
// (nothing is really started), the applications offered for a file, and the
// one-at-a-time script runner.
#include <gtest/gtest.h>

#include "platform/ui/ProcessLauncher.h"
#include "platform/ui/ScriptRunner.h"
#include "platform/ui/Workspace.h"
#include "support/QtPrinters.h"


#include <atomic>
#include <condition_variable>
#include <mutex>

namespace tvxtest {

// Records each command line; answers `executeResult` to synchronous runs.
class RecordingLauncher : public platform::ProcessLauncher {
public:
    bool startDetached(const QString& program, const QStringList& arguments) override
    {
        std::lock_guard lock(mutex);
        detached << (QStringList{program} + arguments);
        return startResult;
    }
    int execute(const QString& program, const QStringList& arguments, int) override
    {
        std::lock_guard lock(mutex);
        executed << (QStringList{program} + arguments);
        return executeResult;
    }
    std::mutex mutex;
    QList<QStringList> detached;
    QList<QStringList> executed;
    int executeResult = 0;
    bool startResult = true;
};

class LauncherScope {
public:
    explicit LauncherScope(std::shared_ptr<platform::ProcessLauncher> launcher)
        : mPrevious(platform::setProcessLauncher(std::move(launcher)))
    {
    }
    ~LauncherScope() { platform::setProcessLauncher(mPrevious); }

private:
    std::shared_ptr<platform::ProcessLauncher> mPrevious;
};

} // namespace tvxtest

namespace {

using tvxtest::LauncherScope;
using tvxtest::RecordingLauncher;

TEST(Workspace, RevealAsksTheFileManagerOverTheSessionBus)
{
    auto launcher = std::make_shared<RecordingLauncher>();
    LauncherScope scope(launcher);
    EXPECT_TRUE(platform::Workspace::revealFile(QStringLiteral("/home/a/My Files/a,b.pdf")));
    ASSERT_EQ(launcher->executed.size(), 1);
    const QStringList call = launcher->executed[0];
    EXPECT_EQ(call.mid(0, 7), QStringList({"dbus-send", "--session", "--print-reply",
                                           "--dest=org.freedesktop.FileManager1", "--type=method_call",
                                           "/org/freedesktop/FileManager1",
                                           "org.freedesktop.FileManager1.ShowItems"}));
    // One array element: the comma inside the name must not split it.
    EXPECT_EQ(call[7], QStringLiteral("array:string:file:///home/a/My%20Files/a%2Cb.pdf"));
    EXPECT_EQ(call[8], QStringLiteral("string:"));
    EXPECT_TRUE(launcher->detached.isEmpty());
}

TEST(Workspace, RevealFallsBackToOpeningTheFolder)
{
    auto launcher = std::make_shared<RecordingLauncher>();
    launcher->executeResult = 1; // no file manager on the bus
    LauncherScope scope(launcher);
    platform::Workspace::revealFile(QStringLiteral("/home/a/Documents/x.pdf"));
    ASSERT_EQ(launcher->detached.size(), 1);
    EXPECT_EQ(launcher->detached[0], QStringList({"xdg-open", "/home/a/Documents"}));
}

TEST(Workspace, MailHandsTheFileToXdgEmailAsAnAttachment)
{
    auto launcher = std::make_shared<RecordingLauncher>();
    LauncherScope scope(launcher);
    EXPECT_TRUE(platform::Workspace::composeMailWithAttachment(QStringLiteral("/tmp/x/Attached_Records.qvx")));
    ASSERT_EQ(launcher->detached.size(), 1);
    EXPECT_EQ(launcher->detached[0], QStringList({"xdg-email", "--attach", "/tmp/x/Attached_Records.qvx"}));
    launcher->startResult = false;
    EXPECT_FALSE(platform::Workspace::composeMailWithAttachment(QStringLiteral("/tmp/x/y.qvx")));
}

TEST(Workspace, ExecLinesBecomeCommandLinesForTheFile)
{
    using platform::Workspace::commandLineForFile;
    const QString file = QStringLiteral("/tmp/a b/report.pdf");
    EXPECT_EQ(commandLineForFile("viewer %f", file), QStringList({"viewer", file}));
    EXPECT_EQ(commandLineForFile("viewer --new %U", file),
              QStringList({"viewer", "--new", "file:///tmp/a%20b/report.pdf"}));
    EXPECT_EQ(commandLineForFile("\"/opt/My App/run\" %i %F", file), QStringList({"/opt/My App/run", file}));
    EXPECT_EQ(commandLineForFile("tool --rate=100%% --file=%f", file),
              QStringList({"tool", "--rate=100%", "--file=" + file}));
    // No field code: the file goes last.
    EXPECT_EQ(commandLineForFile("plainviewer -q", file), QStringList({"plainviewer", "-q", file}));
    EXPECT_TRUE(commandLineForFile("\"broken %f", file).isEmpty());
    EXPECT_TRUE(commandLineForFile("", file).isEmpty());
}

TEST(ScriptRunner, ARequestWhileAScriptRunsIsDroppedNotQueued)
{
    auto& runner = platform::ScriptRunner::shared();
    ASSERT_TRUE(runner.waitUntilIdle(5000));
    std::mutex mutex;
    std::condition_variable released;
    bool release = false;
    std::atomic<int> runs{0};
    ASSERT_TRUE(runner.run([&] {
        ++runs;
        std::unique_lock lock(mutex);
        released.wait(lock, [&] { return release; });
    }));
    EXPECT_TRUE(runner.isRunning());
    EXPECT_FALSE(runner.run([&] { runs += 100; }));
    {
        std::lock_guard lock(mutex);
        release = true;
    }
    released.notify_all();
    ASSERT_TRUE(runner.waitUntilIdle(5000));
    EXPECT_EQ(runs.load(), 1);
    // Once idle, the next request runs; a throwing script leaves the runner usable.
    EXPECT_TRUE(runner.run([] { throw std::runtime_error("script failed"); }));
    ASSERT_TRUE(runner.waitUntilIdle(5000));
    EXPECT_TRUE(runner.run([&] { ++runs; }));
    ASSERT_TRUE(runner.waitUntilIdle(5000));
    EXPECT_EQ(runs.load(), 2);
}

} // namespace
