#pragma once
// The plain list tables of the sheets and the account windows: whole rows
// chosen, nothing edited in place, alternate row colours, no grid and no row
// numbers.
#include <QAbstractItemView>

class QAbstractItemModel;
class QTableView;
class QWidget;

QTableView* newListTable(QAbstractItemModel* model, const QString& objectName,
                         QAbstractItemView::SelectionMode mode, QWidget* parent = nullptr);
