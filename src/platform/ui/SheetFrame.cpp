#include "platform/ui/SheetFrame.h"

#include "platform/ui/ModalRun.h"

#include <QCoreApplication>
#include <QDialog>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QScreen>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

namespace platform {

SheetFrame::SheetFrame(QWidget* sheet, int spacing) : mColumn(new QVBoxLayout(sheet))
{
    mColumn->setContentsMargins(kSheetMargins);
    mColumn->setSpacing(spacing);
}

SheetButtons SheetFrame::addOkCancel(const QString& okName, const QString& cancelName,
                                     std::initializer_list<QWidget*> leading)
{
    const SheetButtons buttons = makeOkCancel(okName, cancelName);
    addButtonRow(leading, {buttons.cancel, buttons.ok});
    return buttons;
}

QHBoxLayout* SheetFrame::addButtonRow(std::initializer_list<QWidget*> leading, std::initializer_list<QWidget*> trailing)
{
    QHBoxLayout* row = buttonRow(leading, trailing);
    mColumn->addLayout(row);
    return row;
}

SheetButtons makeOkCancel(const QString& okName, const QString& cancelName)
{
    SheetButtons buttons;
    buttons.cancel = new QPushButton(QCoreApplication::translate("SheetFrame", "Cancel"));
    buttons.ok = new QPushButton(QCoreApplication::translate("SheetFrame", "OK"));
    buttons.ok->setDefault(true);
    if (!cancelName.isEmpty())
        buttons.cancel->setObjectName(cancelName);
    if (!okName.isEmpty())
        buttons.ok->setObjectName(okName);
    return buttons;
}

QHBoxLayout* buttonRow(std::initializer_list<QWidget*> leading, std::initializer_list<QWidget*> trailing)
{
    auto* row = new QHBoxLayout;
    for (QWidget* widget : leading)
        row->addWidget(widget);
    row->addStretch(1);
    for (QWidget* widget : trailing)
        row->addWidget(widget);
    return row;
}

void placeCentred(QWidget* window, const QWidget* over)
{
    if (!window->testAttribute(Qt::WA_Resized))
        window->adjustSize();
    const bool overShown = over && over->isVisible();
    QScreen* screen = overShown ? over->screen() : QGuiApplication::primaryScreen();
    const QRect area = screen ? screen->availableGeometry() : QRect();
    QRect frame(QPoint(0, 0), window->frameGeometry().size());
    frame.moveCenter(overShown ? over->frameGeometry().center() : area.center());
    if (area.isValid()) {
        frame.moveLeft(std::max(area.left(), std::min(frame.left(), area.right() + 1 - frame.width())));
        frame.moveTop(std::max(area.top(), std::min(frame.top(), area.bottom() + 1 - frame.height())));
    }
    window->move(frame.topLeft());
}

void endModalRunOnButtons(const SheetButtons& buttons)
{
    QObject::connect(buttons.ok, &QPushButton::clicked, buttons.ok, [] { stopModal(); });
    QObject::connect(buttons.cancel, &QPushButton::clicked, buttons.cancel, [] { abortModal(); });
}

void endModalRunOnDialog(QDialog* dialog)
{
    QObject::connect(dialog, &QDialog::accepted, dialog, [] { stopModal(); });
    QObject::connect(dialog, &QDialog::rejected, dialog, [] { abortModal(); });
}

SheetPanel::SheetPanel(QWidget* parent, int spacing) : QDialog(parent), mFrame(this, spacing) {}

void SheetPanel::addOkCancel(const QString& okName, const QString& cancelName)
{
    mButtons = mFrame.addOkCancel(okName, cancelName);
    connect(mButtons.ok, &QPushButton::clicked, this, &SheetPanel::okClicked);
    connect(mButtons.cancel, &QPushButton::clicked, this, &SheetPanel::cancelClicked);
}

} // namespace platform
