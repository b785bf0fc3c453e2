#include "platform/ui/ModalRun.h"

#include "platform/core/BackgroundTask.h"

#include <QCloseEvent>
#include <QApplication>
#include <QCoreApplication>
#include <QDialog>
#include <QEventLoop>
#include <QPointer>
#include <QWidget>

#include <vector>

namespace platform {
namespace {

struct Run {
    QEventLoop* loop;
    int code;
    bool ended = false;
    QPointer<QWidget> window = {};
};

std::vector<Run*>& runs()
{
    static std::vector<Run*> stack;
    return stack;
}

ModalResponder& responder()
{
    static ModalResponder r;
    return r;
}

constexpr char kRunHeldProperty[] = "tvxModalRunHeld";

// Closing the window ends its run as OK does, unless the run is held.
class CloseWatcher : public QObject {
public:
    CloseWatcher(QWidget* window, Run* run) : QObject(window), mRun(run) { window->installEventFilter(this); }
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Close && watched->property(kRunHeldProperty).toBool()) {
            event->ignore();
            return true;
        }
        if (event->type() == QEvent::Close && !mRun->ended) {
            mRun->code = kModalRunStopped;
            mRun->ended = true;
            if (mRun->loop)
                mRun->loop->quit();
        }
        return QObject::eventFilter(watched, event);
    }

private:
    Run* mRun;
};

void endInnermost(int code)
{
    if (runs().empty())
        return;
    Run* run = runs().back();
    run->code = code;
    run->ended = true;
    if (run->loop)
        run->loop->quit();
}

// The window and the control the user was in when a sheet came up: the
// sheet gone, the keys go there again (the desktop may activate another window).
class FocusReturn {
public:
    FocusReturn() : mWindow(QApplication::activeWindow()), mFocus(QApplication::focusWidget()) {}
    void giveBack() const
    {
        if (!mWindow || !mWindow->isVisible())
            return;
        mWindow->activateWindow();
        if (mFocus && mFocus->window() == mWindow && mFocus->isVisible() && mFocus->isEnabled())
            mFocus->setFocus(Qt::ActiveWindowFocusReason);
    }

private:
    QPointer<QWidget> mWindow;
    QPointer<QWidget> mFocus;
};

// Shows the window application-modally while wait() runs, then takes it down
// (unless keepShown and the run was not ended by stop, abort or closing).
int runShown(QWidget* window, bool keepShown, const std::function<void(Run&)>& wait)
{
    QEventLoop loop;
    Run run{&loop, kModalRunStopped, false, window};
    runs().push_back(&run);
    QPointer<QWidget> guard(window);
    const FocusReturn focusReturn;
    auto* watcher = new CloseWatcher(window, &run);
    const Qt::WindowModality previousModality = window->windowModality();
    if (!window->isVisible())
        window->setWindowModality(Qt::ApplicationModal);
    window->show();
    window->raise();
    window->activateWindow();
    wait(run);
    runs().pop_back();
    run.loop = nullptr;
    if (guard) {
        delete watcher;
        if (!keepShown || run.ended) {
            guard->hide();
            guard->setWindowModality(previousModality);
            focusReturn.giveBack();
        }
    }
    return run.code;
}

} // namespace

void holdRunAgainstClosing(QWidget* window, bool hold)
{
    if (window)
        window->setProperty(kRunHeldProperty, hold);
}

bool isRunHeld(const QWidget* window)
{
    return window && window->property(kRunHeldProperty).toBool();
}

ModalResponder setModalResponder(ModalResponder r)
{
    ModalResponder previous = std::move(responder());
    responder() = std::move(r);
    return previous;
}

int runModalForWindow(QWidget* window)
{
    if (auto& r = responder())
        return r(window);
    return runShown(window, false, [](Run& run) {
        if (!run.ended)
            run.loop->exec();
    });
}

int runModalUntilFinished(QWidget* window, BackgroundTask& task, bool keepShown)
{
    if (auto& r = responder())
        return r(window);
    return runShown(window, keepShown, [&task](Run& run) {
        if (run.ended || task.isFinished())
            return;
        // Only this run ends with the task: a run opened above it stays.
        QObject::connect(&task, &BackgroundTask::finished, run.loop, &QEventLoop::quit);
        run.loop->exec();
    });
}

int runDialog(QDialog* dialog)
{
    QEventLoop loop;
    Run run{&loop, kModalRunStopped, false, dialog};
    runs().push_back(&run);
    QPointer<QDialog> guard(dialog);
    const Qt::WindowModality previousModality = dialog->windowModality();
    if (!dialog->isVisible())
        dialog->setWindowModality(Qt::ApplicationModal);
    // Only this run ends with the dialog: a run opened above it stays.
    const QMetaObject::Connection done =
        QObject::connect(dialog, &QDialog::finished, &loop, [&run](int result) {
            if (run.ended)
                return;
            run.code = result;
            run.ended = true;
            run.loop->quit();
        });
    dialog->setResult(QDialog::Rejected);
    const FocusReturn focusReturn;
    dialog->show();
    dialog->raise();
    dialog->activateWindow();
    if (!run.ended)
        loop.exec();
    runs().pop_back();
    run.loop = nullptr;
    QObject::disconnect(done);
    if (!guard)
        return QDialog::Rejected;
    guard->hide();
    guard->setWindowModality(previousModality);
    focusReturn.giveBack();
    // Ended by stop or abort rather than by the dialog's own buttons.
    if (run.code == kModalRunStopped || run.code == kModalRunAborted)
        return guard->result();
    return run.code;
}

QList<QWidget*> modalRunWindows()
{
    QList<QWidget*> windows;
    for (const Run* run : runs())
        if (run->window)
            windows.push_back(run->window);
    return windows;
}

void stopModal() { endInnermost(kModalRunStopped); }
void abortModal() { endInnermost(kModalRunAborted); }
void stopModalWithCode(int code) { endInnermost(code); }
bool isModalRunning() { return !runs().empty(); }

} // namespace platform
