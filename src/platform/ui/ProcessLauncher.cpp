#include "platform/ui/ProcessLauncher.h"

#include <QProcess>

#include <mutex>

namespace platform {
namespace {

std::mutex gLauncherMutex;

std::shared_ptr<ProcessLauncher>& installedLauncher()
{
    static std::shared_ptr<ProcessLauncher> launcher = std::make_shared<ProcessLauncher>();
    return launcher;
}

} // namespace

bool ProcessLauncher::startDetached(const QString& program, const QStringList& arguments)
{
    return QProcess::startDetached(program, arguments);
}

int ProcessLauncher::execute(const QString& program, const QStringList& arguments, int timeoutMs)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.setStandardOutputFile(QProcess::nullDevice());
    process.start(program, arguments);
    if (!process.waitForStarted(timeoutMs))
        return -1;
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished(1000);
        return -1;
    }
    if (process.exitStatus() != QProcess::NormalExit)
        return -1;
    return process.exitCode();
}

std::shared_ptr<ProcessLauncher> processLauncher()
{
    std::lock_guard lock(gLauncherMutex);
    return installedLauncher();
}

std::shared_ptr<ProcessLauncher> setProcessLauncher(std::shared_ptr<ProcessLauncher> launcher)
{
    std::lock_guard lock(gLauncherMutex);
    auto previous = installedLauncher();
    installedLauncher() = launcher ? std::move(launcher) : std::make_shared<ProcessLauncher>();
    return previous;
}

} // namespace platform
