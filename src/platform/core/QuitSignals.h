#pragma once
// Ending the application cleanly when the desktop session or a terminal ends
// it: SIGTERM, SIGINT and SIGHUP become one call on the main thread, so that
// the application quits as its Quit command does (temporary attachments
// removed, the clipboard cleared) instead of dying on the spot.
#include <functional>

namespace platform {

// The handlers only write the signal's number to a pipe (async-signal-safe);
// a socket notifier of the main thread reads it and calls `quit`, once per
// signal. Needs the application object; false when it could not be set up.
bool quitOnTerminationSignals(std::function<void()> quit);

} // namespace platform
