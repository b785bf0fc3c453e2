#pragma once
// Wrapped text, measured and drawn the same way, so that a row measured for
// a width is exactly as high as the text drawn into it. Long words (addresses,
// passwords) break anywhere rather than run over the edge.
#include <QColor>
#include <QFont>
#include <QRectF>
#include <QString>
#include <QTextOption>

class QPainter;

namespace textblock {

// The font with its point size taken as pixels: sizes chosen in the options
// (13 by default) look as they were meant to, the same on screen and paper.
QFont designFont(const QFont& font);

// Height of the text wrapped at `width`, with `lineSpacing` added between lines.
qreal height(const QString& text, const QFont& font, qreal width, qreal lineSpacing = 0,
             QTextOption::WrapMode mode = QTextOption::WrapAtWordBoundaryOrAnywhere);
// Width of the text on one line (its widest line when it holds line breaks).
qreal oneLineWidth(const QString& text, const QFont& font);
// Height of one line of text in the font (the height of the text "Font").
qreal lineHeight(const QFont& font);
// Draws the text wrapped at rect's width from rect's top left.
void draw(QPainter& painter, const QRectF& rect, const QString& text, const QFont& font, const QColor& color,
          qreal lineSpacing = 0, QTextOption::WrapMode mode = QTextOption::WrapAtWordBoundaryOrAnywhere);

} // namespace textblock
