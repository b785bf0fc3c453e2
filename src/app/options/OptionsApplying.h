#pragma once
// How the user's options show in the main window's views: row colours, the
// list font and row height, which list columns are shown and in which order.
// Plain functions over the views, so that any table or outline can take them.
#include <QColor>
#include <QFont>
#include <QString>

#include <cstdint>
#include <functional>

class QAbstractItemView;
class QTableView;
class QWidget;

namespace applyoptions {

// The table background blend and the least row height.
inline constexpr double kLightDrawingBlend = 0.75;
inline constexpr double kStandardRowHeight = 20.0;
inline constexpr int kListColumnCount = 15; // identifiers "0" (icon) to "14"

// The user's row colour blended with white (fraction 0.75 of white).
QColor blendedRowColor(const QColor& rowColor);
// The row height for a font: the height of "Font" in it, at least 20.
int rowHeightForFont(const QFont& font);

// A view's background colour.
void applyBackgroundColor(QWidget* view, const QColor& background);
// The font of every cell and the row height that fits it (tables only: an
// outline sizes its rows from the font by itself).
// A family that is not installed is shown in the desktop's default font of the same size.
void applyFont(QAbstractItemView* view, const QFont& font);
QFont shownFont(const QFont& font);

// A list column's identifier: the model's header data under Qt::UserRole
// when it holds a number, else the column's position in the model.
int columnIdentifier(const QTableView& table, int logicalColumn);
// The bit of the column mask for an identifier "1" to "14"; 0 for the icon
// column "0" and anything else.
uint64_t columnMaskBit(int identifier);
// Orders two column identifiers as integers: -1, 0 or 1.
int columnCompare(const QString& left, const QString& right);

// Shows (bit set) or hides (bit clear) the columns with that identifier.
void updateTableColumn(QTableView* table, uint64_t bit, int identifier);
// Every masked column shown or hidden by the mask; the icon column always shown.
void applyColumnMask(QTableView* table, uint64_t mask);
// The columns stand in the order of their identifiers.
void rearrangeTableColumns(QTableView* table);

} // namespace applyoptions
