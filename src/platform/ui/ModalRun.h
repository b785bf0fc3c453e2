#pragma once
// Application-modal runs of sheets and panels. OK stops a run (-1000),
// Cancel aborts it (-1001), closing the window stops it. Tests install a
// responder that plays the user's part instead of showing the window.
#include <QList>

#include <functional>

class QDialog;
class QWidget;

namespace platform {

class BackgroundTask;

constexpr int kModalRunStopped = -1000;
constexpr int kModalRunAborted = -1001;

// Shows the window application-modally and returns when the run ends.
int runModalForWindow(QWidget* window);

// End the innermost run (no effect when none is running).
void stopModal();
void abortModal();
void stopModalWithCode(int code);
bool isModalRunning();

// Shows the window modally until the task has finished or the run is ended;
// then hides the window, unless keepShown: then it stays up (and modal) until
// the caller hides it. The run ends from the task's own announcement.
int runModalUntilFinished(QWidget* window, BackgroundTask& task, bool keepShown = false);

// Runs a dialog as exec() would (application-modal, until it is done) and
// returns its result, but as a registered run: hiding the dialog (the lock
// does) does not end it, and stop or abort reach the innermost run only.
// Modal responders are not consulted.
int runDialog(QDialog* dialog);

// While held, closing the window neither closes it nor ends its run (a save
// that the window waits for is in flight).
void holdRunAgainstClosing(QWidget* window, bool hold);
bool isRunHeld(const QWidget* window);

// The windows of the runs under way, outermost first.
QList<QWidget*> modalRunWindows();

// Called instead of showing the window: it may fill fields and must return
// the run's code. Returns the previous responder.
using ModalResponder = std::function<int(QWidget* window)>;
ModalResponder setModalResponder(ModalResponder responder);

} // namespace platform
