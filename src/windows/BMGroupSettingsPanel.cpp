#include "windows/BMGroupSettingsPanel.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QTabWidget>
#include <QTableView>
#include <QVBoxLayout>

#include "model/BMGroup.h"
#include "model/TVXUser_Admin.h"
#include "platform/ui/SaveWait.h"
#include "platform/ui/SheetFrame.h"
#include "store/loading/StoreCaches.h"
#include "views/ListTables.h"

namespace {

enum { kTickColumn = 0, kNameColumn = 1, kDescriptionColumn = 2 };

QTableView* makeTickTable(QAbstractItemModel* model, const QString& name)
{
    QTableView* table = newListTable(model, name, QAbstractItemView::SingleSelection);
    table->horizontalHeader()->setStretchLastSection(true);
    table->horizontalHeader()->setSectionResizeMode(kTickColumn, QHeaderView::ResizeToContents);
    return table;
}

// A tab page: the hint above the tick list it explains.
QWidget* tickTablePage(const QString& hint, QTableView* table)
{
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    auto* hintLabel = new QLabel(hint);
    hintLabel->setWordWrap(true);
    layout->addWidget(hintLabel);
    layout->addWidget(table);
    return page;
}

} // namespace

// --- the two lists -----------------------------------------------------------------

BMGroupSheetListModel::BMGroupSheetListModel(Kind kind, const TVXStoreCaches& caches, settingsrules::GroupSheetLists& lists,
                                             QObject* parent)
    : TickListModel(kTickColumn,
                    kind == Members ? QStringList{tr("Member"), tr("Name"), tr("Description")}
                                    : QStringList{tr("Include"), tr("Name")},
                    parent)
    , mKind(kind)
    , mCaches(caches)
    , mLists(lists)
{
}

void BMGroupSheetListModel::reload(const QString& groupUID)
{
    beginResetModel();
    mRows.clear();
    if (mKind == Members) {
        for (const auto& user : mCaches.sortedUsersContainsString(QString()))
            mRows.append({user->mUserID(), user->mUsername(), user->mDescription()});
    } else {
        for (const auto& group : mCaches.subGroupsForGroupWithID(groupUID))
            mRows.append({group->mGroupUID(), group->mGroupName(), QString()});
    }
    endResetModel();
}

bool BMGroupSheetListModel::isTicked(int row) const
{
    return (mKind == Members ? mLists.members : mLists.subGroups).contains(mRows.at(row).uid);
}

void BMGroupSheetListModel::setTicked(int row, bool ticked)
{
    if (mKind == Members)
        settingsrules::setMemberTicked(mLists, mRows.at(row).uid, ticked);
    else
        settingsrules::setSubGroupTicked(mLists, mRows.at(row).uid, ticked);
}

QVariant BMGroupSheetListModel::cellData(int row, int column, int role) const
{
    if (column == kTickColumn || role != Qt::DisplayRole)
        return {};
    return column == kNameColumn ? mRows.at(row).name : mRows.at(row).description;
}

// --- the sheet -----------------------------------------------------------------------

BMGroupSettingsPanel::BMGroupSettingsPanel(const TVXStoreCaches& caches, settingsrules::GroupSheetLists& lists,
                                           QWidget* parent)
    : QWidget(parent, Qt::Dialog)
{
    setObjectName(QStringLiteral("GroupSettingsPanel"));
    setWindowTitle(tr("Group Settings"));
    setMinimumSize(460, 400);

    mMembersModel = new BMGroupSheetListModel(BMGroupSheetListModel::Members, caches, lists, this);
    mSubGroupsModel = new BMGroupSheetListModel(BMGroupSheetListModel::SubGroups, caches, lists, this);

    mGroupNameField = platform::named<QLineEdit>(QStringLiteral("mGroupNameField"));
    mGroupNameField->setPlaceholderText(tr("Name of the group"));
    auto* nameRow = new QFormLayout;
    nameRow->addRow(tr("Group Name:"), mGroupNameField);

    mGroupPermissionsTable = makeTickTable(mMembersModel, QStringLiteral("mGroupPermissionsTable"));
    mGroupMergeTable = makeTickTable(mSubGroupsModel, QStringLiteral("mGroupMergeTable"));

    QWidget* membersPage = tickTablePage(tr("Tick the users who may open this group."), mGroupPermissionsTable);
    QWidget* subGroupsPage = tickTablePage(tr("Members of a ticked group also become members of this group."),
                                           mGroupMergeTable);

    auto* permissionsPage = new QWidget;
    auto* permissionsLayout = new QVBoxLayout(permissionsPage);
    auto* recordBox = new QGroupBox(tr("Record Permissions"));
    auto* grid = new QGridLayout(recordBox);
    mAddPermissionCell = platform::named<QCheckBox>(QStringLiteral("mAddPermissionCell"), tr("Add"));
    mEditPermissionCell = platform::named<QCheckBox>(QStringLiteral("mEditPermissionCell"), tr("Edit"));
    mDeletePermissionCell = platform::named<QCheckBox>(QStringLiteral("mDeletePermissionCell"), tr("Delete"));
    grid->addWidget(mAddPermissionCell, 0, 0);
    grid->addWidget(mEditPermissionCell, 0, 1);
    grid->addWidget(mDeletePermissionCell, 1, 0);
    grid->setHorizontalSpacing(24);
    mGroupPriorityPermission = platform::named<QCheckBox>(QStringLiteral("mGroupPriorityPermission"),
                                                          tr("Group permissions prevail over user permissions"));
    mGroupPriorityPermission->setEnabled(false);
    permissionsLayout->addWidget(recordBox);
    permissionsLayout->addWidget(mGroupPriorityPermission);
    permissionsLayout->addStretch(1);

    mGroupSettingsTab = platform::named<QTabWidget>(QStringLiteral("mGroupSettingsTab"));
    mGroupSettingsTab->addTab(membersPage, tr("Members"));
    mGroupSettingsTab->addTab(subGroupsPage, tr("Sub-Groups"));
    mGroupSettingsTab->addTab(permissionsPage, tr("Permissions"));

    platform::SheetFrame frame(this);
    frame.column()->addLayout(nameRow);
    frame.column()->addWidget(mGroupSettingsTab, 1);
    const platform::SheetButtons buttons =
        frame.addOkCancel(QStringLiteral("mDoneButton"), QStringLiteral("mCancelButton"));
    mCancelButton = buttons.cancel;
    mDoneButton = buttons.ok;
    mSaveWait = new platform::SaveWait(this, {mDoneButton, mCancelButton});
    frame.column()->insertWidget(frame.column()->count() - 1, mSaveWait->line());
    connect(mDoneButton, &QPushButton::clicked, this, [this] { if (onOK) onOK(); });
    connect(mCancelButton, &QPushButton::clicked, this, [this] { if (onCancel) onCancel(); });
    // Return in the name field is OK, Escape anywhere is Cancel (keyPressEvent).
    connect(mGroupNameField, &QLineEdit::returnPressed, this, [this] { if (onOK) onOK(); });

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

void BMGroupSettingsPanel::closeEvent(QCloseEvent* event)
{
    if (isSaving()) {
        event->ignore(); // the answer decides
        return;
    }
    QWidget::closeEvent(event);
}
