#pragma once
// Item-data roles shared by the record views, their cells and their models.
#include <Qt>

// Header data: the column's identifier ("0" .. "14", "Description_ID", ...).
inline constexpr int kColumnIdentifierRole = Qt::UserRole + 100;
// Cell data: the number shown in an ImageAndTextCell's badge (0: no badge).
inline constexpr int kCountRole = Qt::UserRole + 101;
// Cell data: the text a type-to-select search compares (defaults to the display text).
inline constexpr int kTypeSelectRole = Qt::UserRole + 102;
