#include "windows/BMGroupSettingsPanel.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QKeyEvent>
#include <QTabWidget>
#include <QTableView>
#include <QVBoxLayout>

#include "model/BMGroup.h"
#include "model/TVXUser_Admin.h"
#include "store/TVXDataBase.h"

namespace {

enum { kTickColumn = 0, kNameColumn = 1, kDescriptionColumn = 2 };

QTableView* makeTickTable(QAbstractItemModel* model, const QString& name)
{
    auto* table = new QTableView;
    table->setObjectName(name);
    table->setModel(model);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setAlternatingRowColors(true);
    table->setShowGrid(false);
    table->verticalHeader()->hide();
    table->horizontalHeader()->setStretchLastSection(true);
    table->horizontalHeader()->setSectionResizeMode(kTickColumn, QHeaderView::ResizeToContents);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    return table;
}

} // namespace

// --- members ---------------------------------------------------------------------

BMGroupMembersModel::BMGroupMembersModel(TVXDataBase& database, settingsrules::GroupSheetLists& lists,
                                         QObject* parent)
    : QAbstractTableModel(parent), mDatabase(database), mLists(lists)
{
}

void BMGroupMembersModel::reload()
{
    beginResetModel();
    mRows = mDatabase.sortedUsersContainsString(QString());
    endResetModel();
}

int BMGroupMembersModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(mRows.size());
}

int BMGroupMembersModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : 3; }

QVariant BMGroupMembersModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= mRows.size())
        return {};
    const auto& user = mRows.at(index.row());
    if (index.column() == kTickColumn)
        return role == Qt::CheckStateRole
            ? QVariant(mLists.members.contains(user->mUserID()) ? Qt::Checked : Qt::Unchecked) : QVariant();
    if (role != Qt::DisplayRole)
        return {};
    return index.column() == kNameColumn ? user->mUsername() : user->mDescription();
}

bool BMGroupMembersModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (!index.isValid() || index.column() != kTickColumn || role != Qt::CheckStateRole || index.row() >= mRows.size())
        return false;
    settingsrules::setMemberTicked(mLists, mRows.at(index.row())->mUserID(),
                                   value.toInt() == Qt::Checked);
    emit dataChanged(index, index, {Qt::CheckStateRole});
    return true;
}

Qt::ItemFlags BMGroupMembersModel::flags(const QModelIndex& index) const
{
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (index.column() == kTickColumn)
        f |= Qt::ItemIsUserCheckable;
    return f;
}

QVariant BMGroupMembersModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    switch (section) {
    case kTickColumn: return tr("Member");
    case kNameColumn: return tr("Name");
    default: return tr("Description");
    }
}

// --- sub-groups ------------------------------------------------------------------

BMSubGroupsModel::BMSubGroupsModel(TVXDataBase& database, settingsrules::GroupSheetLists& lists, QObject* parent)
    : QAbstractTableModel(parent), mDatabase(database), mLists(lists)
{
}

void BMSubGroupsModel::reload(const QString& groupUID)
{
    beginResetModel();
    mRows = mDatabase.subGroupsForGroupWithID(groupUID);
    endResetModel();
}

int BMSubGroupsModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(mRows.size());
}

int BMSubGroupsModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : 2; }

QVariant BMSubGroupsModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= mRows.size())
        return {};
    const auto& group = mRows.at(index.row());
    if (index.column() == kTickColumn)
        return role == Qt::CheckStateRole
            ? QVariant(mLists.subGroups.contains(group->mGroupUID()) ? Qt::Checked : Qt::Unchecked) : QVariant();
    return role == Qt::DisplayRole ? QVariant(group->mGroupName()) : QVariant();
}

bool BMSubGroupsModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (!index.isValid() || index.column() != kTickColumn || role != Qt::CheckStateRole || index.row() >= mRows.size())
        return false;
    settingsrules::setSubGroupTicked(mLists, mRows.at(index.row())->mGroupUID(), value.toInt() == Qt::Checked);
    emit dataChanged(index, index, {Qt::CheckStateRole});
    return true;
}

Qt::ItemFlags BMSubGroupsModel::flags(const QModelIndex& index) const
{
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (index.column() == kTickColumn)
        f |= Qt::ItemIsUserCheckable;
    return f;
}

QVariant BMSubGroupsModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    return section == kTickColumn ? tr("Include") : tr("Name");
}

// --- the sheet -----------------------------------------------------------------------

BMGroupSettingsPanel::BMGroupSettingsPanel(TVXDataBase& database, settingsrules::GroupSheetLists& lists,
                                           QWidget* parent)
    : QWidget(parent, Qt::Dialog)
{
    setObjectName(QStringLiteral("GroupSettingsPanel"));
    setWindowTitle(tr("Group Settings"));
    setMinimumSize(460, 400);

    mMembersModel = new BMGroupMembersModel(database, lists, this);
    mSubGroupsModel = new BMSubGroupsModel(database, lists, this);

    mGroupNameField = new QLineEdit;
    mGroupNameField->setObjectName(QStringLiteral("mGroupNameField"));
    mGroupNameField->setPlaceholderText(tr("Name of the group"));
    auto* nameRow = new QFormLayout;
    nameRow->addRow(tr("Group Name:"), mGroupNameField);

    mGroupPermissionsTable = makeTickTable(mMembersModel, QStringLiteral("mGroupPermissionsTable"));
    mGroupMergeTable = makeTickTable(mSubGroupsModel, QStringLiteral("mGroupMergeTable"));

    auto* membersPage = new QWidget;
    auto* membersLayout = new QVBoxLayout(membersPage);
    auto* membersHint = new QLabel(tr("Tick the users who may open this group."));
    membersHint->setWordWrap(true);
    membersLayout->addWidget(membersHint);
    membersLayout->addWidget(mGroupPermissionsTable);

    auto* subGroupsPage = new QWidget;
    auto* subGroupsLayout = new QVBoxLayout(subGroupsPage);
    auto* subGroupsHint = new QLabel(tr("Members of a ticked group also become members of this group."));
    subGroupsHint->setWordWrap(true);
    subGroupsLayout->addWidget(subGroupsHint);
    subGroupsLayout->addWidget(mGroupMergeTable);

    auto* permissionsPage = new QWidget;
    auto* permissionsLayout = new QVBoxLayout(permissionsPage);
    auto* recordBox = new QGroupBox(tr("Record Permissions"));
    auto* grid = new QGridLayout(recordBox);
    mAddPermissionCell = new QCheckBox(tr("Add"));
    mAddPermissionCell->setObjectName(QStringLiteral("mAddPermissionCell"));
    mEditPermissionCell = new QCheckBox(tr("Edit"));
    mEditPermissionCell->setObjectName(QStringLiteral("mEditPermissionCell"));
    mDeletePermissionCell = new QCheckBox(tr("Delete"));
    mDeletePermissionCell->setObjectName(QStringLiteral("mDeletePermissionCell"));
    grid->addWidget(mAddPermissionCell, 0, 0);
    grid->addWidget(mEditPermissionCell, 0, 1);
    grid->addWidget(mDeletePermissionCell, 1, 0);
    grid->setHorizontalSpacing(24);
    mGroupPriorityPermission = new QCheckBox(tr("Group permissions prevail over user permissions"));
    mGroupPriorityPermission->setObjectName(QStringLiteral("mGroupPriorityPermission"));
    mGroupPriorityPermission->setEnabled(false);
    permissionsLayout->addWidget(recordBox);
    permissionsLayout->addWidget(mGroupPriorityPermission);
    permissionsLayout->addStretch(1);

    mGroupSettingsTab = new QTabWidget;
    mGroupSettingsTab->setObjectName(QStringLiteral("mGroupSettingsTab"));
    mGroupSettingsTab->addTab(membersPage, tr("Members"));
    mGroupSettingsTab->addTab(subGroupsPage, tr("Sub-Groups"));
    mGroupSettingsTab->addTab(permissionsPage, tr("Permissions"));

    auto* buttons = new QDialogButtonBox;
    mCancelButton = buttons->addButton(tr("Cancel"), QDialogButtonBox::RejectRole);
    mCancelButton->setObjectName(QStringLiteral("mCancelButton"));
    mDoneButton = buttons->addButton(tr("OK"), QDialogButtonBox::AcceptRole);
    mDoneButton->setObjectName(QStringLiteral("mDoneButton"));
    mDoneButton->setDefault(true);
    connect(mDoneButton, &QPushButton::clicked, this, [this] { if (onOK) onOK(); });
    connect(mCancelButton, &QPushButton::clicked, this, [this] { if (onCancel) onCancel(); });
    // Return in the name field is OK, Escape anywhere is Cancel (keyPressEvent).
    connect(mGroupNameField, &QLineEdit::returnPressed, this, [this] { if (onOK) onOK(); });

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 16, 16, 12);
    layout->setSpacing(12);
    layout->addLayout(nameRow);
    layout->addWidget(mGroupSettingsTab, 1);
    layout->addWidget(buttons);

    setTabOrder(mGroupNameField, mGroupSettingsTab);
    setTabOrder(mGroupSettingsTab, mCancelButton);
    setTabOrder(mCancelButton, mDoneButton);
}

uint16_t BMGroupSettingsPanel::recordPermissions() const
{
    return settingsrules::recordPermissionsFromCells(mAddPermissionCell->isChecked(), mEditPermissionCell->isChecked(),
                                                     mDeletePermissionCell->isChecked());
}

void BMGroupSettingsPanel::setRecordPermissions(uint16_t bits)
{
    mAddPermissionCell->setChecked(bits & kPermissionAdd);
    mEditPermissionCell->setChecked(bits & kPermissionEdit);
    mDeletePermissionCell->setChecked(bits & kPermissionDelete);
}

void BMGroupSettingsPanel::keyPressEvent(QKeyEvent* event)
{
    // Text fields pass Escape on to the sheet.
    if (event->key() == Qt::Key_Escape && onCancel) {
        onCancel();
        return;
    }
    QWidget::keyPressEvent(event);
}
