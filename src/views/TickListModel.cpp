#include "views/TickListModel.h"

TickListModel::TickListModel(int tickColumn, QStringList titles, QObject* parent)
    : QAbstractTableModel(parent), mTickColumn(tickColumn), mTitles(std::move(titles))
{
}

int TickListModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : rows(); }

int TickListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(mTitles.size());
}

QVariant TickListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rows())
        return {};
    if (index.column() == mTickColumn && role == Qt::CheckStateRole)
        return isTicked(index.row()) ? Qt::Checked : Qt::Unchecked;
    return cellData(index.row(), index.column(), role);
}

bool TickListModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (!index.isValid() || index.column() != mTickColumn || role != Qt::CheckStateRole || index.row() >= rows())
        return false;
    setTicked(index.row(), value.toInt() == Qt::Checked);
    emit dataChanged(index, index, {Qt::CheckStateRole});
    return true;
}

Qt::ItemFlags TickListModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (index.column() == mTickColumn)
        f |= Qt::ItemIsUserCheckable;
    return f;
}

QVariant TickListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= mTitles.size())
        return {};
    return mTitles.at(section);
}
