#include "views/BMWindow.h"

#include <QKeyEvent>
#include <QMetaObject>
#include <QMouseEvent>
#include <QShortcut>
#include <QWindow>

BMWindow::BMWindow(QWidget* parent) : QMainWindow(parent)
{
    // A window shortcut: it is seen before any child (a table's
    // type-to-select, a text field) takes the key.
    auto* find = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_F), this);
    find->setContext(Qt::WindowShortcut);
    connect(find, &QShortcut::activated, this, [this] {
        QKeyEvent key(QEvent::KeyPress, Qt::Key_F, Qt::ControlModifier, QStringLiteral("f"));
        performKeyEquivalent(key);
    });
}

bool BMWindow::performKeyEquivalent(const QKeyEvent& event)
{
    const bool command = event.modifiers() & (Qt::ControlModifier | Qt::MetaModifier);
    if (!command || event.key() != Qt::Key_F || (event.modifiers() & (Qt::AltModifier | Qt::ShiftModifier)))
        return false;
    if (!mDelegate || mDelegate->metaObject()->indexOfMethod("focusSearchField()") < 0)
        return false;
    QMetaObject::invokeMethod(mDelegate, "focusSearchField");
    return true;
}

BMToolBarCustomView::BMToolBarCustomView(QWidget* parent) : QWidget(parent)
{
    (void)mIsHidden;
}

void BMToolBarCustomView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && window() && window()->windowHandle())
        window()->windowHandle()->startSystemMove();
    QWidget::mousePressEvent(event);
}
