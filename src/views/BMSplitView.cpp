#include "views/BMSplitView.h"

#include <QMouseEvent>

BMSplitView::BMSplitView(Qt::Orientation orientation, QWidget* parent) : QSplitter(orientation, parent)
{
    // The panes follow the drag; the handle moves them only to constrained positions.
    setOpaqueResize(true);
}

int BMSplitView::constrainedPosition(int proposed, int index) const
{
    return mConstraint ? mConstraint(proposed, index, *this) : proposed;
}

void BMSplitView::dragDivider(int index, int position)
{
    if (index <= 0 || index >= count())
        return;
    moveSplitter(constrainedPosition(position, index), index);
}

QSplitterHandle* BMSplitView::createHandle()
{
    return new BMSplitViewHandle(orientation(), this);
}

BMSplitViewHandle::BMSplitViewHandle(Qt::Orientation orientation, BMSplitView* parent)
    : QSplitterHandle(orientation, parent)
{
}

void BMSplitViewHandle::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        mMouseOffset = pick(event->position().toPoint());
    QSplitterHandle::mousePressEvent(event);
}

void BMSplitViewHandle::mouseMoveEvent(QMouseEvent* event)
{
    if (!(event->buttons() & Qt::LeftButton))
        return;
    // Not the base class: it would move to the unconstrained position.
    auto* view = static_cast<BMSplitView*>(splitter());
    const int proposed = pick(parentWidget()->mapFromGlobal(event->globalPosition().toPoint())) - mMouseOffset;
    view->dragDivider(view->indexOf(this), proposed);
}
