#include "platform/ui/IdleTimer.h"

#include <QCoreApplication>
#include <QEvent>

namespace platform {

IdleTimer& IdleTimer::shared()
{
    static IdleTimer* timer = new IdleTimer;
    return *timer;
}

IdleTimer::IdleTimer()
{
    mTimer.setSingleShot(true);
    connect(&mTimer, &QTimer::timeout, this, [this] {
        if (mInstalled && mOnIdle)
            mOnIdle();
    });
}

void IdleTimer::install(int milliseconds, std::function<void()> onIdle)
{
    remove();
    mOnIdle = std::move(onIdle);
    mInstalled = true;
    QCoreApplication::instance()->installEventFilter(this);
    mTimer.start(milliseconds);
}

void IdleTimer::remove()
{
    if (mInstalled)
        QCoreApplication::instance()->removeEventFilter(this);
    mInstalled = false;
    mTimer.stop();
    mOnIdle = nullptr;
}

bool IdleTimer::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::KeyPress:
    case QEvent::MouseButtonPress:
    case QEvent::MouseMove:
    case QEvent::Wheel:
        if (mInstalled)
            mTimer.start();
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

} // namespace platform
