#include "platform/core/MainThread.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>

namespace platform {

bool isMainThread()
{
    auto* app = QCoreApplication::instance();
    return app == nullptr || QThread::currentThread() == app->thread();
}

void performOnMainThreadAndWait(const std::function<void()>& fn)
{
    if (isMainThread()) {
        fn();
        return;
    }
    QMetaObject::invokeMethod(QCoreApplication::instance(), [&fn] { fn(); },
                              Qt::BlockingQueuedConnection);
}

void performOnMainThread(std::function<void()> fn)
{
    auto* app = QCoreApplication::instance();
    if (app == nullptr) {
        fn();
        return;
    }
    QMetaObject::invokeMethod(app, std::move(fn), Qt::QueuedConnection);
}

} // namespace platform
