// A divider dragged by the mouse stops where the split view's constraint says.
#include <gtest/gtest.h>

#include <QApplication>
#include <QMouseEvent>
#include <QSplitterHandle>
#include <QTest>

#include "views/BMSplitView.h"

namespace {

// Drags the first divider so that its left edge lands at `x` in the split view.
void dragFirstDivider(BMSplitView& split, int x)
{
    QSplitterHandle* handle = split.handle(1);
    const QPoint grip(handle->width() / 2, handle->height() / 2);
    QTest::mousePress(handle, Qt::LeftButton, Qt::NoModifier, grip);
    const QPoint target = split.mapToGlobal(QPoint(x + grip.x(), grip.y()));
    QMouseEvent move(QEvent::MouseMove, handle->mapFromGlobal(target), target, Qt::NoButton, Qt::LeftButton,
                     Qt::NoModifier);
    QApplication::sendEvent(handle, &move);
    QTest::mouseRelease(handle, Qt::LeftButton, Qt::NoModifier, handle->mapFromGlobal(target));
}

struct TwoPanes {
    TwoPanes()
    {
        split.addWidget(new QWidget);
        split.addWidget(new QWidget);
        split.setHandleWidth(4);
        split.resize(1000, 200);
        split.setSizes({500, 496});
        split.show();
    }
    BMSplitView split{Qt::Horizontal};
};

} // namespace

TEST(SplitView, ADraggedDividerStopsAtTheConstraint)
{
    TwoPanes panes;
    int askedIndex = -1;
    panes.split.setConstraint([&](int proposed, int index, const BMSplitView& view) {
        askedIndex = index;
        return std::clamp(proposed, view.extent() * 3 / 10, view.extent() * 7 / 10);
    });
    dragFirstDivider(panes.split, 100);
    EXPECT_EQ(askedIndex, 1);
    EXPECT_EQ(panes.split.sizes().at(0), 300);
    dragFirstDivider(panes.split, 900);
    EXPECT_EQ(panes.split.sizes().at(0), 700);
    dragFirstDivider(panes.split, 450);
    EXPECT_EQ(panes.split.sizes().at(0), 450);
}

TEST(SplitView, WithoutAConstraintTheDividerGoesWhereDragged)
{
    TwoPanes panes;
    dragFirstDivider(panes.split, 100);
    EXPECT_EQ(panes.split.sizes().at(0), 100);
    EXPECT_EQ(panes.split.constrainedPosition(42, 1), 42);
}
