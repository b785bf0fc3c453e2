#include "views/BandedPaint.h"

#include <QPainter>

#include <algorithm>

namespace bmpaint {

void paintInBands(QPainter& painter, const QRect& area, const std::function<void()>& paint, int rows)
{
    if (area.isEmpty() || rows <= 0)
        return;
    for (int top = area.top(); top <= area.bottom(); top += rows) {
        painter.save();
        painter.setClipRect(QRect(area.left(), top, area.width(), std::min(rows, area.bottom() + 1 - top)),
                            Qt::IntersectClip);
        paint();
        painter.restore();
    }
}

} // namespace bmpaint
