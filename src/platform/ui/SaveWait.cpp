#include "platform/ui/SaveWait.h"

#include "platform/ui/ModalRun.h"

#include <QCoreApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QTimer>
#include <QWidget>

namespace platform {

SaveWait::SaveWait(QWidget* sheet, std::initializer_list<QWidget*> controls) : QObject(sheet), mSheet(sheet)
{
    for (QWidget* control : controls)
        mControls.emplace_back(control);
    mLine = new QLabel(QCoreApplication::translate("SaveWait", "Waiting for the server..."));
    mLine->setObjectName(QStringLiteral("mSavingLine"));
    mLine->hide();
    mLineTimer = new QTimer(this);
    mLineTimer->setSingleShot(true);
    mLineTimer->setInterval(300);
    connect(mLineTimer, &QTimer::timeout, mLine, &QWidget::show);
    sheet->installEventFilter(this);
}

bool SaveWait::eventFilter(QObject* watched, QEvent* event)
{
    // Held also outside a registered run: the answer finds the sheet as it was.
    if (watched == mSheet && event->type() == QEvent::Close && mSaving) {
        event->ignore();
        return true;
    }
    return QObject::eventFilter(watched, event);
}

SaveWait::~SaveWait()
{
    if (mSaving)
        QGuiApplication::restoreOverrideCursor();
}

void SaveWait::show(bool saving)
{
    if (saving == mSaving)
        return;
    mSaving = saving;
    holdRunAgainstClosing(mSheet, saving);
    if (saving) {
        QGuiApplication::setOverrideCursor(Qt::BusyCursor);
        mLineTimer->start();
        mEnabledBefore.clear();
        for (const auto& control : mControls)
            if (control) {
                mEnabledBefore.emplace_back(control, control->isEnabled());
                control->setEnabled(false);
            }
        return;
    }
    mLineTimer->stop();
    mLine->hide();
    QGuiApplication::restoreOverrideCursor();
    for (const auto& [control, enabled] : mEnabledBefore)
        if (control)
            control->setEnabled(enabled);
    mEnabledBefore.clear();
}

} // namespace platform
