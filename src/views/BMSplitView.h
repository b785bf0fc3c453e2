#pragma once
// A split view whose dividers stop where its owner says: while the user drags
// a divider, the proposed position goes through the constraint before the
// panes move.
#include <QSplitter>
#include <QSplitterHandle>

#include <functional>

class BMSplitView : public QSplitter {
    Q_OBJECT
public:
    // The position a divider may take: proposed position, divider index
    // (1 for the first divider, as QSplitter counts), split view.
    using Constraint = std::function<int(int proposed, int index, const BMSplitView& view)>;

    explicit BMSplitView(Qt::Orientation orientation, QWidget* parent = nullptr);

    void setConstraint(Constraint constraint) { mConstraint = std::move(constraint); }
    bool hasConstraint() const { return bool(mConstraint); }
    // The proposed position, constrained (unchanged without a constraint).
    int constrainedPosition(int proposed, int index) const;
    // The split view's length along its orientation (width or height).
    int extent() const { return orientation() == Qt::Horizontal ? width() : height(); }
    // Moves the divider as a drag to `position` would.
    void dragDivider(int index, int position);

protected:
    QSplitterHandle* createHandle() override;

private:
    Constraint mConstraint;
};

// The divider of a BMSplitView: drags go through the split view's constraint.
class BMSplitViewHandle : public QSplitterHandle {
    Q_OBJECT
public:
    BMSplitViewHandle(Qt::Orientation orientation, BMSplitView* parent);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    int pick(const QPoint& point) const { return orientation() == Qt::Horizontal ? point.x() : point.y(); }
    int mMouseOffset = 0;
};
