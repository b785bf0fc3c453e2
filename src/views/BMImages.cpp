#include "views/BMImages.h"

#include <QFile>
#include <QHash>
#include <QPainter>
#include <QPainterPath>
#include <QPixmapCache>
#include <QPolygonF>

#include <functional>
#include <initializer_list>

namespace bmimages {
namespace {

constexpr int kCanvas = 32; // drawn on 32 x 32, shown at 16 to 24

const QColor kInk(58, 68, 84);
const QColor kBlue(52, 120, 206);
const QColor kRed(206, 62, 52);
const QColor kGreen(46, 160, 84);
const QColor kAmber(232, 170, 48);

using Drawer = std::function<void(QPainter&)>;

void pen(QPainter& p, const QColor& c, qreal w = 2.4)
{
    p.setPen(QPen(c, w, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
}

// Lines alone: the round pen, nothing filled.
void strokes(QPainter& p, const QColor& c, qreal w)
{
    pen(p, c, w);
    p.setBrush(Qt::NoBrush);
}

// Shapes filled with the brush inside a thin outline.
void outlined(QPainter& p, const QColor& line, qreal w, const QBrush& fill)
{
    p.setPen(QPen(line, w));
    p.setBrush(fill);
}

// Shapes filled without an outline.
void filled(QPainter& p, const QBrush& fill)
{
    p.setPen(Qt::NoPen);
    p.setBrush(fill);
}

// A closed outline through the points, filled with the brush.
void drawOutline(QPainter& p, std::initializer_list<QPointF> points)
{
    QPainterPath path;
    path.addPolygon(QPolygonF(points));
    path.closeSubpath();
    p.drawPath(path);
}

void drawPaperClip(QPainter& p)
{
    strokes(p, kInk, 2.6);
    QPainterPath path;
    path.moveTo(20, 10);
    path.lineTo(20, 24);
    path.arcTo(12, 19, 8, 9, 0, -180);
    path.lineTo(12, 7);
    path.arcTo(12, 2, 12, 10, 180, -180);
    path.lineTo(24, 23);
    p.drawPath(path);
}

void drawLock(QPainter& p)
{
    strokes(p, kInk, 3);
    p.drawArc(QRectF(9, 4, 14, 16), 0, 180 * 16);
    p.drawLine(QPointF(9, 12), QPointF(9, 15));
    p.drawLine(QPointF(23, 12), QPointF(23, 15));
    filled(p, kAmber);
    p.drawRoundedRect(QRectF(6, 14, 20, 15), 3, 3);
    p.setBrush(kInk);
    p.drawEllipse(QRectF(14, 18, 4, 4));
    p.drawRect(QRectF(15, 21, 2, 5));
}

void drawFolder(QPainter& p)
{
    outlined(p, QColor(60, 110, 180), 1.2, QColor(120, 170, 230));
    QPainterPath tab;
    tab.addRoundedRect(QRectF(3, 6, 12, 6), 2, 2);
    p.drawPath(tab);
    QLinearGradient g(0, 9, 0, 28);
    g.setColorAt(0, QColor(150, 195, 245));
    g.setColorAt(1, QColor(90, 150, 220));
    p.setBrush(g);
    p.drawRoundedRect(QRectF(3, 9, 26, 19), 3, 3);
}

void drawNote(QPainter& p)
{
    outlined(p, QColor(150, 130, 60), 1.2, QColor(255, 236, 140));
    drawOutline(p, {{6, 4}, {21, 4}, {27, 10}, {27, 28}, {6, 28}});
    pen(p, QColor(150, 130, 60), 1.6);
    for (int y : {13, 18, 23})
        p.drawLine(10, y, 23, y);
}

// A round badge with a white plus or minus.
void drawBadge(QPainter& p, const QColor& c, bool plus)
{
    filled(p, c);
    p.drawEllipse(QRectF(3, 3, 26, 26));
    pen(p, Qt::white, 4);
    if (plus)
        p.drawLine(16, 9, 16, 23);
    p.drawLine(9, 16, 23, 16);
}

void drawPencil(QPainter& p)
{
    p.translate(16, 16);
    p.rotate(45);
    outlined(p, kInk, 1.2, kAmber);
    p.drawRect(QRectF(-4, -13, 8, 20));
    p.setBrush(QColor(240, 200, 170));
    drawOutline(p, {{-4, 7}, {4, 7}, {0, 14}});
    p.setBrush(kRed);
    p.drawRect(QRectF(-4, -15, 8, 4));
}

void drawTrash(QPainter& p)
{
    outlined(p, kInk, 1.4, QColor(200, 206, 214));
    drawOutline(p, {{8, 9}, {24, 9}, {22, 29}, {10, 29}});
    p.drawRoundedRect(QRectF(5, 5, 22, 4), 1.5, 1.5);
    p.drawRect(QRectF(13, 2, 6, 3));
    pen(p, kInk, 1.4);
    for (int x : {13, 16, 19})
        p.drawLine(x, 13, x, 25);
}

void drawCopy(QPainter& p)
{
    outlined(p, kInk, 1.4, QColor(225, 232, 242));
    p.drawRoundedRect(QRectF(4, 4, 16, 20), 2, 2);
    p.setBrush(Qt::white);
    p.drawRoundedRect(QRectF(12, 9, 16, 20), 2, 2);
}

void drawGear(QPainter& p)
{
    p.translate(16, 16);
    filled(p, QColor(110, 120, 136));
    for (int i = 0; i < 8; ++i) {
        p.drawRoundedRect(QRectF(-3, -14, 6, 8), 1.5, 1.5);
        p.rotate(45);
    }
    p.drawEllipse(QRectF(-10, -10, 20, 20));
    p.setBrush(Qt::white);
    p.drawEllipse(QRectF(-4, -4, 8, 8));
}

void drawGlobe(QPainter& p)
{
    outlined(p, QColor(30, 90, 170), 1.6, QColor(140, 195, 250));
    p.drawEllipse(QRectF(4, 4, 24, 24));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QRectF(10, 4, 12, 24));
    p.drawLine(4, 16, 28, 16);
    p.drawLine(16, 4, 16, 28);
}

void drawPrinter(QPainter& p)
{
    outlined(p, kInk, 1.4, Qt::white);
    p.drawRect(QRectF(9, 3, 14, 10));
    p.setBrush(QColor(160, 168, 180));
    p.drawRoundedRect(QRectF(3, 11, 26, 12), 3, 3);
    p.setBrush(Qt::white);
    p.drawRect(QRectF(9, 19, 14, 10));
    p.setBrush(kGreen);
    p.drawEllipse(QRectF(23, 14, 3, 3));
}

void drawAttachment(QPainter& p, bool add)
{
    drawPaperClip(p);
    p.save();
    p.translate(14, 14);
    p.scale(0.55, 0.55);
    drawBadge(p, add ? kGreen : kRed, add);
    p.restore();
}

void drawQvx(QPainter& p)
{
    drawNote(p);
    p.setPen(QPen(kBlue));
    QFont f;
    f.setPixelSize(10);
    f.setBold(true);
    p.setFont(f);
    p.drawText(QRectF(4, 18, 24, 12), Qt::AlignCenter, QStringLiteral("qVX"));
}

void drawScissors(QPainter& p)
{
    strokes(p, kInk, 2);
    p.drawEllipse(QRectF(4, 20, 8, 8));
    p.drawEllipse(QRectF(20, 20, 8, 8));
    p.drawLine(11, 21, 22, 4);
    p.drawLine(21, 21, 10, 4);
}

void drawColumns(QPainter& p)
{
    outlined(p, kInk, 1.6, Qt::white);
    p.drawRoundedRect(QRectF(3, 6, 26, 20), 2, 2);
    p.drawLine(12, 6, 12, 26);
    p.drawLine(20, 6, 20, 26);
}

void drawList(QPainter& p)
{
    outlined(p, kInk, 1.6, Qt::white);
    p.drawRoundedRect(QRectF(3, 6, 26, 20), 2, 2);
    for (int y : {11, 16, 21})
        p.drawLine(7, y, 25, y);
}

void drawTree(QPainter& p)
{
    strokes(p, kInk, 1.6);
    p.drawLine(8, 9, 8, 23);
    p.drawLine(8, 16, 14, 16);
    p.drawLine(8, 23, 14, 23);
    filled(p, kInk);
    p.drawRoundedRect(QRectF(4, 5, 14, 5), 1.5, 1.5);
    p.drawRoundedRect(QRectF(15, 14, 13, 4), 1.5, 1.5);
    p.drawRoundedRect(QRectF(15, 21, 13, 4), 1.5, 1.5);
}

void drawInfo(QPainter& p)
{
    filled(p, kBlue);
    p.drawEllipse(QRectF(3, 3, 26, 26));
    p.setBrush(Qt::white);
    p.drawEllipse(QRectF(14, 7, 4.5, 4.5));
    p.drawRoundedRect(QRectF(14, 13.5, 4.5, 12), 1.5, 1.5);
}

void drawEye(QPainter& p)
{
    outlined(p, kInk, 1.8, Qt::white);
    QPainterPath eye;
    eye.moveTo(3, 16);
    eye.quadTo(16, 3, 29, 16);
    eye.quadTo(16, 29, 3, 16);
    p.drawPath(eye);
    p.setBrush(kInk);
    p.drawEllipse(QRectF(11, 11, 10, 10));
}

void drawMagnifier(QPainter& p)
{
    strokes(p, QColor(110, 118, 130), 3);
    p.drawEllipse(QRectF(5, 5, 15, 15));
    pen(p, QColor(110, 118, 130), 4);
    p.drawLine(QPointF(18, 18), QPointF(26, 26));
}

void drawCalendar(QPainter& p)
{
    outlined(p, QColor(90, 90, 100), 2, Qt::white);
    p.drawRoundedRect(QRectF(4, 6, 24, 22), 3, 3);
    p.setBrush(QColor(200, 60, 55));
    p.drawRect(QRectF(4, 6, 24, 6));
    filled(p, QColor(90, 90, 100));
    for (int row = 0; row < 2; ++row)
        for (int col = 0; col < 4; ++col)
            p.drawRect(QRectF(8 + col * 5, 15 + row * 5, 3, 3));
}

const QHash<QString, Drawer>& drawers()
{
    static const QHash<QString, Drawer> table = {
        {QStringLiteral("PaperClip"), drawPaperClip},
        {QStringLiteral("16x16_Encrypt"), drawLock},
        {QStringLiteral("24_folder"), drawFolder},
        {QStringLiteral("16x16_Paste"), drawNote},
        {QStringLiteral("16x16_Add"), [](QPainter& p) { drawBadge(p, kGreen, true); }},
        {QStringLiteral("16x16_Edit"), drawPencil},
        {QStringLiteral("16x16_Delete"), drawTrash},
        {QStringLiteral("16x16_Copy"), drawCopy},
        {QStringLiteral("16x16_Cut"), drawScissors},
        {QStringLiteral("16x16_Preferences"), drawGear},
        {QStringLiteral("16x16_Globe"), drawGlobe},
        {QStringLiteral("print_16"), drawPrinter},
        {QStringLiteral("AddAttachment"), [](QPainter& p) { drawAttachment(p, true); }},
        {QStringLiteral("DeleteAttachment"), [](QPainter& p) { drawAttachment(p, false); }},
        {QStringLiteral("qvx_16x16"), drawQvx},
        {QStringLiteral("mainwin_ColumnView"), drawColumns},
        {QStringLiteral("mainwin_ListView"), drawList},
        {QStringLiteral("mainwin_TreeView"), drawTree},
        {QStringLiteral("mainwin_Info"), drawInfo},
        {QStringLiteral("mainwin_Mask"), drawEye},
        {QStringLiteral("mainwin_Search"), drawMagnifier},
        {QStringLiteral("Calendar"), drawCalendar},
    };
    return table;
}

} // namespace

namespace {

QPixmap madeImage(const QString& name, int size)
{
    const QString resource = QStringLiteral(":/images/%1.png").arg(name);
    if (QFile::exists(resource)) {
        QPixmap pixmap(resource);
        if (!pixmap.isNull())
            return pixmap.scaled(size, size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    }
    const auto drawer = drawers().value(name);
    if (!drawer)
        return {};
    // Drawn at twice the size for dense screens.
    QPixmap pixmap(size * 2, size * 2);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size * 2.0 / kCanvas, size * 2.0 / kCanvas);
    drawer(painter);
    painter.end();
    pixmap.setDevicePixelRatio(2.0);
    return pixmap;
}

} // namespace

// Made once a name and size: the window's buttons, menus and pop-ups ask for
// the same few pictures many times, and drawing them is not cheap.
QPixmap image(const QString& name, int size)
{
    const QString key = QStringLiteral("bmimages/%1/%2").arg(name).arg(size);
    QPixmap pixmap;
    if (QPixmapCache::find(key, &pixmap))
        return pixmap;
    pixmap = madeImage(name, size);
    if (!pixmap.isNull())
        QPixmapCache::insert(key, pixmap);
    return pixmap;
}

QIcon icon(const QString& name)
{
    QIcon result;
    for (int size : {16, 24, 32}) {
        const QPixmap pixmap = image(name, size);
        if (!pixmap.isNull())
            result.addPixmap(pixmap);
    }
    return result;
}

QIcon blankIcon()
{
    const QString key = QStringLiteral("bmimages/blank");
    QPixmap pixmap;
    if (!QPixmapCache::find(key, &pixmap)) {
        pixmap = QPixmap(16, 16);
        pixmap.fill(Qt::transparent);
        QPixmapCache::insert(key, pixmap);
    }
    return QIcon(pixmap);
}

} // namespace bmimages
