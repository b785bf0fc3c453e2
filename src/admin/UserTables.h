#pragma once
// The two tables of the user administration window: the account list and the
// group list of the group sheet, read from the store's cached queries.
#include <QAbstractTableModel>
#include <QString>
#include <QStringList>

#include "views/TickListModel.h"

#include <memory>

class BMGroup;
class TVXStoreCaches;
class TVXUser_Admin;

// Accounts whose name begins with the search text, by name.
class UserListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { NameColumn, DescriptionColumn, PasswordColumn, ColumnCount };

    explicit UserListModel(const TVXStoreCaches& caches, QObject* parent = nullptr);

    // Asks the cached accounts again, with the given search text.
    void reload(const QString& searchText);
    const QString& searchText() const { return mSearchText; }
    // The account at a row of the list as shown; null out of range.
    std::shared_ptr<TVXUser_Admin> userAt(int row) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    const TVXStoreCaches& mCaches;
    QString mSearchText;
    QList<std::shared_ptr<TVXUser_Admin>> mRows;
};

// The groups an account may join (not the signed-in user's personal group);
// the "Permissions" box is ticked for the groups in the chosen list.
class UserGroupListModel : public TickListModel {
    Q_OBJECT
public:
    enum Column { NameColumn, PermissionsColumn, ColumnCount };

    // `chosen` is the panel's list of chosen group identifiers; ticking edits it.
    UserGroupListModel(const TVXStoreCaches& caches, QStringList& chosen, QObject* parent = nullptr);

    void reload();
    std::shared_ptr<BMGroup> groupAt(int row) const;

private:
    int rows() const override { return int(mRows.size()); }
    bool isTicked(int row) const override;
    void setTicked(int row, bool ticked) override;
    QVariant cellData(int row, int column, int role) const override;

    const TVXStoreCaches& mCaches;
    QStringList& mChosen;
    QList<std::shared_ptr<BMGroup>> mRows;
};
