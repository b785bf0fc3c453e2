#pragma once
// Starts the desktop's helper programs (xdg-open, xdg-email, dbus-send and
// the applications a file is opened with). One replaceable launcher, so tests
// see the command lines without anything being started.
#include <QString>
#include <QStringList>

#include <memory>

namespace platform {

class ProcessLauncher {
public:
    virtual ~ProcessLauncher() = default;
    // Starts the program and lets it run on its own; false when it could not start.
    virtual bool startDetached(const QString& program, const QStringList& arguments);
    // Runs the program to its end, waiting at most timeoutMs; its exit code,
    // or -1 when it could not start, crashed or took too long.
    virtual int execute(const QString& program, const QStringList& arguments, int timeoutMs);
};

// The launcher in use. Safe to call from worker threads.
std::shared_ptr<ProcessLauncher> processLauncher();
// Replaces the launcher (null restores the real one); returns the previous one.
std::shared_ptr<ProcessLauncher> setProcessLauncher(std::shared_ptr<ProcessLauncher> launcher);

} // namespace platform
