#include "views/TextBlock.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QTextLayout>

#include <algorithm>
#include <cmath>

namespace textblock {
namespace {

QString withLineSeparators(QString text)
{
    text.replace(QStringLiteral("\r\n"), QString(QChar::LineSeparator));
    text.replace(QLatin1Char('\n'), QChar::LineSeparator);
    text.replace(QLatin1Char('\r'), QChar::LineSeparator);
    return text;
}

// Lays the text out into `layout`; returns the height used.
qreal layOut(QTextLayout& layout, qreal width, qreal lineSpacing, QTextOption::WrapMode mode)
{
    QTextOption option;
    option.setWrapMode(mode);
    option.setAlignment(Qt::AlignLeft);
    layout.setTextOption(option);
    layout.setCacheEnabled(true);
    qreal y = 0;
    bool first = true;
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        if (!first)
            y += lineSpacing;
        first = false;
        line.setLineWidth(std::max<qreal>(width, 1));
        line.setPosition(QPointF(0, y));
        y += line.height();
    }
    layout.endLayout();
    return y;
}

} // namespace

QFont designFont(const QFont& font)
{
    QFont result = font;
    if (font.pointSizeF() > 0)
        result.setPixelSize(std::max(1, static_cast<int>(std::lround(font.pointSizeF()))));
    return result;
}

qreal height(const QString& text, const QFont& font, qreal width, qreal lineSpacing, QTextOption::WrapMode mode)
{
    if (text.isEmpty())
        return 0;
    QTextLayout layout(withLineSeparators(text), font);
    return layOut(layout, width, lineSpacing, mode);
}

qreal oneLineWidth(const QString& text, const QFont& font)
{
    const QFontMetricsF metrics(font);
    qreal widest = 0;
    for (const QString& line : withLineSeparators(text).split(QChar::LineSeparator))
        widest = std::max(widest, metrics.horizontalAdvance(line));
    return widest;
}

qreal lineHeight(const QFont& font)
{
    return QFontMetricsF(font).height();
}

void draw(QPainter& painter, const QRectF& rect, const QString& text, const QFont& font, const QColor& color,
          qreal lineSpacing, QTextOption::WrapMode mode)
{
    if (text.isEmpty())
        return;
    QTextLayout layout(withLineSeparators(text), font);
    layOut(layout, rect.width(), lineSpacing, mode);
    painter.save();
    painter.setPen(color);
    layout.draw(&painter, rect.topLeft());
    painter.restore();
}

} // namespace textblock
