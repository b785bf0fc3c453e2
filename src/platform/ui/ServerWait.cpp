#include "platform/ui/ServerWait.h"

#include "platform/ui/ModalRun.h"

#include <QBoxLayout>
#include <QEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QTimer>

namespace platform {

ServerWait::ServerWait(QWidget* window, QBoxLayout* layout) : QObject(window), mWindow(window)
{
    mLine = new QLabel(QObject::tr("Waiting for the server..."));
    mLine->setObjectName(QStringLiteral("mWaitingLine"));
    mLine->hide();
    layout->addWidget(mLine);
    mLineTimer = new QTimer(this);
    mLineTimer->setSingleShot(true);
    mLineTimer->setInterval(300);
    connect(mLineTimer, &QTimer::timeout, mLine, &QWidget::show);
    window->installEventFilter(this);
}

bool ServerWait::eventFilter(QObject* watched, QEvent* event)
{
    // Held also outside a registered run: the answer finds the panel as it was.
    if (watched == mWindow && event->type() == QEvent::Close && mWaiting) {
        event->ignore();
        return true;
    }
    return QObject::eventFilter(watched, event);
}

ServerWait::~ServerWait()
{
    // A panel destroyed while it waits leaves no busy cursor behind.
    if (mWaiting)
        QGuiApplication::restoreOverrideCursor();
}

void ServerWait::begin(std::initializer_list<QWidget*> controls)
{
    if (mWaiting)
        return;
    mWaiting = true;
    QGuiApplication::setOverrideCursor(Qt::BusyCursor);
    holdRunAgainstClosing(mWindow, true);
    mLineTimer->start();
    mEnabledBefore.clear();
    for (QWidget* control : controls) {
        if (!control)
            continue;
        mEnabledBefore.emplace_back(control, control->isEnabled());
        control->setEnabled(false);
    }
}

void ServerWait::end()
{
    if (!mWaiting)
        return;
    mWaiting = false;
    mLineTimer->stop();
    mLine->hide();
    holdRunAgainstClosing(mWindow, false);
    QGuiApplication::restoreOverrideCursor();
    for (const auto& [control, enabled] : mEnabledBefore)
        control->setEnabled(enabled);
    mEnabledBefore.clear();
}

} // namespace platform
