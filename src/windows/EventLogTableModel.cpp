#include "windows/EventLogTableModel.h"

#include <algorithm>

int compareEventByDate(const QString& left, const QString& right)
{
    const QDateTime a = eventLogDate(left);
    const QDateTime b = eventLogDate(right);
    if (a.isValid() != b.isValid())
        return a.isValid() ? 1 : -1;
    if (!a.isValid())
        return left.compare(right);
    return a < b ? -1 : (b < a ? 1 : 0);
}

EventLogTableModel::EventLogTableModel(QObject* parent)
    : QAbstractTableModel(parent), mKeys(TVXEventLogEntry::keys())
{
}

void EventLogTableModel::setColumnKeys(const QStringList& keys)
{
    beginResetModel();
    mKeys = keys;
    if (mSortColumn >= mKeys.size())
        mSortColumn = -1;
    sortEntries();
    endResetModel();
}

void EventLogTableModel::setEntries(const QList<TVXEventLogEntry>& entries)
{
    beginResetModel();
    mEntries = entries;
    sortEntries();
    endResetModel();
}

void EventLogTableModel::appendEntry(const TVXEventLogEntry& entry)
{
    qsizetype row = mEntries.size();
    if (mSortColumn >= 0) {
        const auto at = std::upper_bound(mEntries.begin(), mEntries.end(), entry,
                                         [this](const auto& a, const auto& b) { return before(a, b); });
        row = at - mEntries.begin();
    }
    beginInsertRows(QModelIndex(), static_cast<int>(row), static_cast<int>(row));
    mEntries.insert(row, entry);
    endInsertRows();
}

int EventLogTableModel::compareEntries(const TVXEventLogEntry& left, const TVXEventLogEntry& right, int column) const
{
    const QString key = mKeys.value(column);
    const QString a = left.value(key);
    const QString b = right.value(key);
    if (key == kDate)
        return compareEventByDate(a, b);
    const int folded = a.compare(b, Qt::CaseInsensitive);
    return folded != 0 ? folded : a.compare(b);
}

bool EventLogTableModel::before(const TVXEventLogEntry& left, const TVXEventLogEntry& right) const
{
    return mSortOrder == Qt::AscendingOrder ? compareEntries(left, right, mSortColumn) < 0
                                            : compareEntries(right, left, mSortColumn) < 0;
}

void EventLogTableModel::sortEntries()
{
    if (mSortColumn >= 0)
        std::stable_sort(mEntries.begin(), mEntries.end(), [this](const auto& a, const auto& b) { return before(a, b); });
}

void EventLogTableModel::sort(int column, Qt::SortOrder order)
{
    // A reset: the selection goes, as the rows it named have moved.
    beginResetModel();
    mSortColumn = column >= 0 && column < mKeys.size() ? column : -1;
    mSortOrder = order;
    sortEntries();
    endResetModel();
}

int EventLogTableModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(mEntries.size());
}

int EventLogTableModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(mKeys.size());
}

QVariant EventLogTableModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= mEntries.size() || index.column() >= mKeys.size())
        return QVariant();
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole)
        return mEntries.at(index.row()).value(mKeys.at(index.column()));
    return QVariant();
}

QVariant EventLogTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole)
        return mKeys.value(section);
    return QAbstractTableModel::headerData(section, orientation, role);
}

Qt::ItemFlags EventLogTableModel::flags(const QModelIndex& index) const
{
    // Shown, never edited.
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}
