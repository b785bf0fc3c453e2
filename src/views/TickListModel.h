#pragma once
// A list of rows shown as a table, one column a tick box. The subclass gives
// the rows, what a tick means and the other cells; ticking a box goes through
// setTicked() and tells the views.
#include <QAbstractTableModel>
#include <QStringList>

class TickListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

protected:
    // The column titles give the column count.
    TickListModel(int tickColumn, QStringList titles, QObject* parent);

    virtual int rows() const = 0;
    virtual bool isTicked(int row) const = 0;
    virtual void setTicked(int row, bool ticked) = 0;
    // Every cell but the tick box's check state.
    virtual QVariant cellData(int row, int column, int role) const = 0;

private:
    int mTickColumn;
    QStringList mTitles;
};
