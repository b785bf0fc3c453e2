#include "views/DetailPaneImages.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace detailpane {
namespace {

// Drawn at twice the size so they stay crisp on high-density screens.
constexpr int kCanvas = 32;

QPixmap canvas()
{
    QPixmap pixmap(kCanvas, kCanvas);
    pixmap.fill(Qt::transparent);
    return pixmap;
}

} // namespace

QIcon copyIcon()
{
    static const QIcon icon = [] {
        QPixmap pixmap = canvas();
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        const QColor edge(96, 108, 128);
        // Two overlapping sheets.
        p.setPen(QPen(edge, 2));
        p.setBrush(QColor(232, 236, 242));
        p.drawRoundedRect(QRectF(4, 3, 16, 20), 3, 3);
        p.setBrush(Qt::white);
        p.drawRoundedRect(QRectF(11, 9, 17, 20), 3, 3);
        p.setPen(QPen(edge.lighter(130), 2));
        for (int y = 15; y <= 23; y += 4)
            p.drawLine(QPointF(15, y), QPointF(24, y));
        return QIcon(pixmap);
    }();
    return icon;
}

QIcon viewAttachmentIcon()
{
    static const QIcon icon = [] {
        QPixmap pixmap = canvas();
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        // A paper clip over a small downward arrow.
        QPainterPath clip;
        clip.moveTo(19, 8);
        clip.lineTo(19, 21);
        clip.arcTo(QRectF(11, 16, 8, 10), 0, -180);
        clip.lineTo(11, 7);
        clip.arcTo(QRectF(11, 2, 12, 10), 180, -180);
        clip.lineTo(23, 22);
        p.setPen(QPen(QColor(70, 90, 140), 2.4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.setBrush(Qt::NoBrush);
        p.drawPath(clip);
        p.setPen(QPen(QColor(40, 140, 70), 2.4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawLine(QPointF(27, 20), QPointF(27, 29));
        p.drawLine(QPointF(24, 26), QPointF(27, 29));
        p.drawLine(QPointF(30, 26), QPointF(27, 29));
        return QIcon(pixmap);
    }();
    return icon;
}

} // namespace detailpane
