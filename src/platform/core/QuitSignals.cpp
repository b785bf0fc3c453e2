#include "platform/core/QuitSignals.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace platform {

namespace {

int gSignalPipe[2] = {-1, -1};

void onTerminationSignal(int signalNumber)
{
    const int saved = errno;
    const unsigned char byte = static_cast<unsigned char>(signalNumber);
    // A full pipe already holds a quit that has not been read: nothing lost.
    (void)!::write(gSignalPipe[1], &byte, 1);
    errno = saved;
}

} // namespace

bool quitOnTerminationSignals(std::function<void()> quit)
{
    auto* app = QCoreApplication::instance();
    if (!app || gSignalPipe[0] >= 0)
        return false;
    if (::pipe2(gSignalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return false;
    auto* notifier = new QSocketNotifier(gSignalPipe[0], QSocketNotifier::Read, app);
    QObject::connect(notifier, &QSocketNotifier::activated, app, [quit = std::move(quit)] {
        unsigned char bytes[16];
        ssize_t got = 0;
        while ((got = ::read(gSignalPipe[0], bytes, sizeof bytes)) > 0)
            for (ssize_t i = 0; i < got; ++i)
                quit();
    });
    struct sigaction action {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    bool installed = true;
    for (const int signalNumber : {SIGTERM, SIGINT, SIGHUP})
        installed = ::sigaction(signalNumber, &action, nullptr) == 0 && installed;
    return installed;
}

} // namespace platform
