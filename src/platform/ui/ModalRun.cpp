#include "platform/ui/ModalRun.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QEventLoop>
#include <QPointer>
#include <QThread>
#include <QWidget>

#include <vector>

namespace platform {
namespace {

struct Run {
    QEventLoop* loop;
    int code;
    bool ended = false;
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

// Closing the window ends its run as OK does.
class CloseWatcher : public QObject {
public:
    CloseWatcher(QWidget* window, Run* run) : QObject(window), mRun(run) { window->installEventFilter(this); }
    bool eventFilter(QObject* watched, QEvent* event) override
    {
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

} // namespace

ModalResponder setModalResponder(ModalResponder r)
{
    ModalResponder previous = std::move(responder());
    responder() = std::move(r);
    return previous;
}

int runModalForWindow(QWidget* window)
{
    return runModalUntil(window, {});
}

int runModalUntil(QWidget* window, const std::function<bool()>& done, bool keepShown)
{
    if (auto& r = responder())
        return r(window);

    QEventLoop loop;
    Run run{&loop, kModalRunStopped};
    runs().push_back(&run);
    QPointer<QWidget> guard(window);
    auto* watcher = new CloseWatcher(window, &run);
    const Qt::WindowModality previousModality = window->windowModality();
    if (!window->isVisible())
        window->setWindowModality(Qt::ApplicationModal);
    window->show();
    window->raise();
    window->activateWindow();
    if (done) {
        // Poll the worker's flag, letting the panel repaint in between.
        while (!run.ended && !done()) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
            if (!run.ended)
                QThread::usleep(1000);
        }
    } else if (!run.ended) {
        loop.exec();
    }
    runs().pop_back();
    run.loop = nullptr;
    if (guard) {
        delete watcher;
        if (!keepShown || run.ended) {
            guard->hide();
            guard->setWindowModality(previousModality);
        }
    }
    return run.code;
}

void stopModal() { endInnermost(kModalRunStopped); }
void abortModal() { endInnermost(kModalRunAborted); }
void stopModalWithCode(int code) { endInnermost(code); }
bool isModalRunning() { return !runs().empty(); }

} // namespace platform
