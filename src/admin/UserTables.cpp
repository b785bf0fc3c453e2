#include "admin/UserTables.h"

#include "admin/UserAccountChecks.h"
#include "model/BMGroup.h"
#include "model/TVXUser_Admin.h"
#include "store/loading/StoreCaches.h"

#include <QIcon>
#include <QPixmap>

UserListModel::UserListModel(const TVXStoreCaches& caches, QObject* parent)
    : QAbstractTableModel(parent), mCaches(caches)
{
}

void UserListModel::reload(const QString& searchText)
{
    beginResetModel();
    mSearchText = searchText;
    mRows = mCaches.sortedUsersContainsString(searchText);
    endResetModel();
}

std::shared_ptr<TVXUser_Admin> UserListModel::userAt(int row) const
{
    return row >= 0 && row < mRows.size() ? mRows.at(row) : nullptr;
}

int UserListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(mRows.size());
}

int UserListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant UserListModel::data(const QModelIndex& index, int role) const
{
    const auto user = userAt(index.row());
    if (!user)
        return {};
    if (role == Qt::DisplayRole) {
        switch (index.column()) {
        case NameColumn: return user->mUsername();
        case DescriptionColumn: return user->mDescription();
        case PasswordColumn: return useradmin::passwordColumnText(*user);
        default: return QStringLiteral("error");
        }
    }
    if (role == Qt::DecorationRole && index.column() == NameColumn) {
        static const QIcon icon(QStringLiteral(":/images/User.png"));
        return icon;
    }
    if (role == Qt::ToolTipRole && index.column() == NameColumn && !user->mFullName().isEmpty())
        return user->mFullName();
    return {};
}

QVariant UserListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    switch (section) {
    case NameColumn: return tr("Name");
    case DescriptionColumn: return tr("Description");
    case PasswordColumn: return tr("Password");
    default: return {};
    }
}

Qt::ItemFlags UserListModel::flags(const QModelIndex& index) const
{
    // Rows are chosen, never edited in place.
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}

UserGroupListModel::UserGroupListModel(const TVXStoreCaches& caches, QStringList& chosen, QObject* parent)
    : TickListModel(PermissionsColumn, {tr("Name"), tr("Permissions")}, parent), mCaches(caches), mChosen(chosen)
{
}

void UserGroupListModel::reload()
{
    beginResetModel();
    mRows = mCaches.groupsForAccounts();
    endResetModel();
}

std::shared_ptr<BMGroup> UserGroupListModel::groupAt(int row) const
{
    return row >= 0 && row < mRows.size() ? mRows.at(row) : nullptr;
}

bool UserGroupListModel::isTicked(int row) const { return mChosen.contains(mRows.at(row)->mGroupUID()); }

void UserGroupListModel::setTicked(int row, bool ticked)
{
    const QString& uid = mRows.at(row)->mGroupUID();
    if (!ticked)
        mChosen.removeAll(uid);
    else if (!mChosen.contains(uid))
        mChosen.append(uid);
}

QVariant UserGroupListModel::cellData(int row, int column, int role) const
{
    if (column == NameColumn && role == Qt::DisplayRole)
        return mRows.at(row)->mGroupName();
    if (column == PermissionsColumn && role == Qt::TextAlignmentRole)
        return int(Qt::AlignCenter);
    return {};
}
