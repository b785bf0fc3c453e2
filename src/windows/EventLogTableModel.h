#pragma once
// The event-log viewer's rows: the entries the log service recorded since its
// list was last cleared, one column per entry key, sortable by any column
// (the date column as dates).
#include "store/eventlog/TVXEventLogEntry.h"

#include <QAbstractTableModel>
#include <QList>
#include <QStringList>

// Orders two log date texts ("2011-09-08 14:05:09") as the moments they name:
// negative, 0 or positive. Texts that are not dates come first, by text.
int compareEventByDate(const QString& left, const QString& right);

class EventLogTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit EventLogTableModel(QObject* parent = nullptr);

    // The entry key each column shows, also its header title; by default
    // every key in the order of TVXEventLogEntry::keys().
    void setColumnKeys(const QStringList& keys);
    const QStringList& columnKeys() const { return mKeys; }

    // Replaces the rows (kept in the current sort order).
    void setEntries(const QList<TVXEventLogEntry>& entries);
    // A new entry: at its place in the current sort order, else last.
    void appendEntry(const TVXEventLogEntry& entry);
    const QList<TVXEventLogEntry>& entries() const { return mEntries; }

    // How two entries compare under a column: dates as dates, other texts
    // ignoring case first.
    int compareEntries(const TVXEventLogEntry& left, const TVXEventLogEntry& right, int column) const;
    int sortColumn() const { return mSortColumn; }
    Qt::SortOrder sortOrder() const { return mSortOrder; }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

private:
    bool before(const TVXEventLogEntry& left, const TVXEventLogEntry& right) const;
    void sortEntries();

    QStringList mKeys;
    QList<TVXEventLogEntry> mEntries;
    int mSortColumn = -1;
    Qt::SortOrder mSortOrder = Qt::AscendingOrder;
};
