#include "views/ListTables.h"

#include <QHeaderView>
#include <QTableView>

QTableView* newListTable(QAbstractItemModel* model, const QString& objectName, QAbstractItemView::SelectionMode mode,
                         QWidget* parent)
{
    auto* table = new QTableView(parent);
    table->setObjectName(objectName);
    table->setModel(model);
    table->setSelectionMode(mode);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setAlternatingRowColors(true);
    table->setShowGrid(false);
    table->verticalHeader()->hide();
    return table;
}
