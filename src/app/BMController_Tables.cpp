// The group/type outline and the record tables: what they show, what a
// selection does, and re-typing a record by dragging it onto a type.
#include "app/BMController.h"

#include "model/BMGroup.h"
#include "model/TVXRecord.h"
#include "model/TVXType.h"
#include "model/TVXUser.h"
#include "platform/core/NotificationCenter.h"
#include "platform/ui/AlertPanel.h"
#include "platform/ui/ModalRun.h"
#include "store/eventlog/EventLogStore.h"
#include "store/personal/RecentListsStore.h"
#include "store/loading/RecordSearch.h"
#include "store/writers/RecordWriter.h"
#include "store/loading/StoreCaches.h"
#include "store/loading/StoreChanges.h"
#include "store/eventlog/TVXEventLogger.h"
#include "views/BMRecordModels.h"
#include "views/BMTableView.h"
#include "windows/BMMainWindow.h"

#include <QComboBox>
#include <QItemSelectionModel>
#include <QMenu>
#include <QPointer>
#include <QSet>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>

#include <algorithm>
#include <utility>

namespace {

const QString kNoGroupsTitle = QStringLiteral("No Groups");

// Puts back the selection of records (by identifier) after a reload.
void reselectRows(QAbstractItemView* view, const QSet<QString>& uids,
                  const std::function<QString(int)>& uidAtRow, int rows)
{
    QItemSelection selection;
    QModelIndex current;
    for (int row = 0; row < rows; ++row)
        if (uids.contains(uidAtRow(row))) {
            const QModelIndex index = view->model()->index(row, 0);
            selection.select(index, index);
            if (!current.isValid())
                current = index;
        }
    if (selection.isEmpty())
        return;
    view->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    view->selectionModel()->setCurrentIndex(current, QItemSelectionModel::NoUpdate);
}

} // namespace

void BMController::setMShouldCreateDatabase(bool loaded)
{
    mShouldCreateDatabase = loaded;
}

void BMController::setMShouldLockInfoDisplay(bool locked)
{
    mShouldLockInfoDisplay = locked;
    updateTables();
}

void BMController::refreshBrowseState()
{
    if (!mBrowseState)
        return;
    BMBrowseState& state = *mBrowseState;
    state.setStore(mCaches, mIcons, mRecentLists);
    state.groupFilterUID = mGroupFilterSelectedUID;
    state.group = selectedGroup();
    const QComboBox* popup = mCategoriesPopup();
    state.noGroups = !popup || popup->currentText() == tr("No Groups") || popup->currentText() == kNoGroupsTitle
                     || mCaches.groupsForEditing().isEmpty();
    state.searchText = searchString();
    state.shouldMask = mShouldMask;
    state.active = mShouldCreateDatabase && !mShouldLockInfoDisplay;
}

int BMController::selectedRowOf(QAbstractItemView* table) const
{
    const QList<int> rows = selectedRowsOf(table);
    if (rows.isEmpty())
        return -1;
    const QModelIndex current = table->selectionModel()->currentIndex();
    return current.isValid() && rows.contains(current.row()) ? current.row() : rows.first();
}

QList<int> BMController::selectedRowsOf(QAbstractItemView* table) const
{
    QList<int> rows;
    if (!table || !table->selectionModel())
        return rows;
    for (const QModelIndex& index : table->selectionModel()->selectedRows())
        rows.append(index.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

std::shared_ptr<BMGroup> BMController::selectedGroup() const
{
    const QComboBox* popup = mCategoriesPopup();
    const auto groups = mCaches.groupsForEditing();
    if (!popup || groups.isEmpty())
        return nullptr;
    const QVariant tag = popup->currentData();
    if (tag.userType() != QMetaType::Int || tag.toInt() < 0)
        return nullptr;
    return groups.value(tag.toInt());
}

std::shared_ptr<TVXType> BMController::selectedType() const
{
    const BMMainWindow* w = mainWindowView();
    if (!w)
        return nullptr;
    switch (currentView()) {
    case kColumnViewTag: {
        const int row = selectedRowOf(w->mColumnViewTypesTable);
        return row < 0 ? nullptr : mTypesModel->typeAt(row);
    }
    case kListViewTag: {
        const QVariant tag = w->mTypesPopup->currentData();
        if (w->mTypesPopup->currentIndex() <= 0 || tag.userType() != QMetaType::Int || tag.toInt() < 0)
            return nullptr;
        return mCaches.typesForEditing().value(tag.toInt());
    }
    default: {
        const QModelIndexList rows = w->mTreeViewOutlineView->selectionModel()->selectedRows();
        if (rows.isEmpty())
            return nullptr;
        if (const auto type = mOutlineModel->typeAt(rows.first()))
            return type;
        const auto record = mOutlineModel->recordAt(rows.first());
        return record ? record->mType() : nullptr;
    }
    }
}

std::shared_ptr<TVXRecord> BMController::itemPropertiesForTableViewSelectedRow() const
{
    const BMMainWindow* w = mainWindowView();
    if (!w || !mNamesModel)
        return nullptr;
    switch (currentView()) {
    case kColumnViewTag: {
        const bool source = selectedRowOf(w->mColumnViewTypesTable) >= 0 || selectedRowOf(w->mSmartTypesTable) >= 0;
        const int row = selectedRowOf(w->mColumnViewDescriptionTable);
        if (!source || mNamesModel->records().isEmpty() || row < 0)
            return nullptr;
        return mNamesModel->recordAt(row);
    }
    case kListViewTag: {
        const int row = selectedRowOf(w->mListViewTypesTable);
        return row < 0 ? nullptr : mListModel->recordAt(row);
    }
    default: {
        const QModelIndexList rows = w->mTreeViewOutlineView->selectionModel()->selectedRows();
        return rows.isEmpty() ? nullptr : mOutlineModel->recordAt(rows.first());
    }
    }
}

std::shared_ptr<TVXType> BMController::typeUIDForTableViewSelectedRow() const
{
    const BMMainWindow* w = mainWindowView();
    if (!w)
        return nullptr;
    if (currentView() == kColumnViewTag && selectedRowOf(w->mColumnViewTypesTable) < 0)
        return nullptr; // a smart type gives no type
    const auto record = itemPropertiesForTableViewSelectedRow();
    return record ? record->mType() : nullptr;
}

std::shared_ptr<TVXRecord> BMController::selectedSmartRecord() const
{
    const BMMainWindow* w = mainWindowView();
    if (!w || currentView() != kColumnViewTag || selectedRowOf(w->mSmartTypesTable) < 0)
        return nullptr;
    const int row = selectedRowOf(w->mColumnViewDescriptionTable);
    return row < 0 ? nullptr : mNamesModel->recordAt(row);
}

QList<std::shared_ptr<TVXRecord>> BMController::sortedItemsForListView()
{
    refreshBrowseState();
    int column = 3;
    bool ascending = true;
    if (currentView() == kListViewTag && mListModel && mListModel->sortColumn() >= 0) {
        column = mListModel->sortColumn();
        ascending = mListModel->sortOrder() == Qt::AscendingOrder;
        if (TVXUser* user = mCaches.getCurrentUser())
            user->setMSortingInfo(TVXSortDescriptor{QString::number(column), ascending});
    }
    if (!mBrowseState || !mBrowseState->active)
        return {};
    return mCaches.itemsOfGroup(mBrowseState->group.get(), nullptr, mBrowseState->searchText, column, ascending);
}

QList<std::shared_ptr<TVXRecord>> BMController::itemsForSelectedCategoryAndType(bool recreate)
{
    if (recreate || mListModel->records().isEmpty())
        mListModel->setRecords(sortedItemsForListView());
    return mListModel->records();
}

QList<std::shared_ptr<TVXRecord>> BMController::itemsForDiscriptionTable(bool recreate)
{
    const BMMainWindow* w = mainWindowView();
    if (!recreate || !w)
        return mNamesModel->records();
    refreshBrowseState();
    const int typeRow = selectedRowOf(w->mColumnViewTypesTable);
    const int smartRow = selectedRowOf(w->mSmartTypesTable);
    if (!mBrowseState->active) {
        mNamesModel->setRecords({});
    } else if (typeRow >= 0) {
        mNamesModel->setRecords(mCaches.itemsOfGroup(mBrowseState->group.get(), mTypesModel->typeAt(typeRow).get(),
                                                        mBrowseState->searchText, 3, true));
    } else if (smartRow >= 0) {
        mNamesModel->setRecords(mSmartModel->records(smartRow));
    } else {
        // Neither a type nor a smart type: the table shows no rows.
        mNamesModel->setRecords({});
    }
    return mNamesModel->records();
}

QList<std::shared_ptr<TVXRecord>> BMController::itemsForOutlineViewType(const std::shared_ptr<TVXType>& type,
                                                                        bool recreate)
{
    if (!recreate && type)
        for (int row = 0; row < mOutlineModel->types().size(); ++row)
            if (mOutlineModel->types().at(row)->mTypeUID() == type->mTypeUID())
                return mOutlineModel->recordsOfTypeRow(row);
    refreshBrowseState();
    if (!type || !mBrowseState->active)
        return {};
    return mCaches.itemsOfGroup(mBrowseState->group.get(), type.get(), mBrowseState->searchText, 3, true);
}

void BMController::observeStoreChanges()
{
    QPointer<BMController> self(this);
    mObserverTokens << platform::NotificationCenter::defaultCenter().addObserver(
        storechanges::kStoreChangedNotification, [self](const platform::Notification& notice) {
            const auto* change = std::any_cast<storechanges::StoreChange>(&notice.object);
            if (!self || !change || change->store != &self->mCaches)
                return;
            self->mPendingStoreChanges |= change->kinds;
            // A worker's changes are shown by the refresh that ends its work.
            if (change->handedOver || self->mStoreFollowQueued)
                return;
            // Once the write's caller is done: a command that shows its change
            // at once leaves nothing for this turn.
            self->mStoreFollowQueued = true;
            QTimer::singleShot(0, self, [self] {
                self->mStoreFollowQueued = false;
                // A sheet or panel still running: what follows its run shows it.
                if (!platform::isModalRunning())
                    self->followStoreChanges();
            });
        });
}

void BMController::followStoreChanges()
{
    using namespace storechanges;
    const unsigned kinds = mPendingStoreChanges;
    if (!(kinds & (kRecords | kGroups | kTypes)) || !mainWindowView())
        return; // users' changes show in the account window only
    if (kinds & kGroups) {
        initGroupUIControl(); // the shown group again, or the first when it is gone
        initContextualCategorySubMenu();
    }
    if (kinds & kTypes) {
        initTypesUIControl();
        initContextualTypeSubMenu();
    }
    // The shown group is kept by identity: its title carries a record count,
    // and a renamed group is still the same group.
    const auto group = selectedGroup();
    if ((kinds & kGroups) && (group ? group->mGroupUID() : QString()) != mGroupFilterSelectedUID)
        changeCategory(); // the first group takes over, with its types
    else
        updateTables();
}

void BMController::updateTables()
{
    mPendingStoreChanges = 0;
    BMMainWindow* w = mainWindowView();
    if (!w || !mBrowseState)
        return;
    if (mHoldingTableRefreshes) {
        mTableRefreshHeld = true;
        return;
    }
    if (!searchString().isEmpty() && !mCaches.searchEntriesReady()) {
        // Preparing every record's entry here would hold the window: the
        // workers prepare them (again, when a change stopped them), and the
        // refresh follows.
        mCaches.prepareSearchEntries();
        awaitSearchEntries();
        return;
    }
    // The views, the type counts and the group pop-up ask of the same records: one walk answers them.
    const TVXStoreCaches::QueryBatch batch(mCaches);
    refreshBrowseState();
    const bool wasReloading = mReloadingTables;
    mReloadingTables = true;
    const auto uidOfRecord = [](const std::shared_ptr<TVXRecord>& r) { return r ? r->mRecordUID() : QString(); };
    switch (currentView()) {
    case kColumnViewTag: {
        QSet<QString> types;
        if (const auto type = mTypesModel->typeAt(selectedRowOf(w->mColumnViewTypesTable)))
            types.insert(type->mTypeUID());
        const int smartRow = selectedRowOf(w->mSmartTypesTable);
        QSet<QString> names;
        for (int row : selectedRowsOf(w->mColumnViewDescriptionTable))
            names.insert(uidOfRecord(mNamesModel->recordAt(row)));

        mTypesModel->reload();
        reselectRows(w->mColumnViewTypesTable, types,
                     [this](int row) { return mTypesModel->typeAt(row)->mTypeUID(); }, mTypesModel->rowCount());
        mSmartModel->reload();
        if (smartRow >= 0 && smartRow < mSmartModel->rowCount() && selectedRowOf(w->mColumnViewTypesTable) < 0)
            w->mSmartTypesTable->selectRow(smartRow);
        // A search whose hits left the chosen type out shows the first type with hits.
        if (!mBrowseState->searchText.isEmpty() && mTypesModel->rowCount() > 0
            && selectedRowOf(w->mColumnViewTypesTable) < 0 && selectedRowOf(w->mSmartTypesTable) < 0)
            w->mColumnViewTypesTable->selectRow(0);
        itemsForDiscriptionTable(true);
        reselectRows(w->mColumnViewDescriptionTable, names,
                     [&](int row) { return uidOfRecord(mNamesModel->recordAt(row)); }, mNamesModel->rowCount());
        break;
    }
    case kListViewTag: {
        QSet<QString> selected;
        for (int row : selectedRowsOf(w->mListViewTypesTable))
            selected.insert(uidOfRecord(mListModel->recordAt(row)));
        itemsForSelectedCategoryAndType(true);
        reselectRows(w->mListViewTypesTable, selected,
                     [&](int row) { return uidOfRecord(mListModel->recordAt(row)); }, mListModel->rowCount());
        break;
    }
    default: {
        QTreeView* outline = w->mTreeViewOutlineView;
        QSet<QString> expanded;
        for (int row = 0; row < mOutlineModel->rowCount(); ++row)
            if (outline->isExpanded(mOutlineModel->index(row, 0)))
                expanded.insert(mOutlineModel->types().at(row)->mTypeUID());
        QString selectedRecord;
        QString selectedType;
        const QModelIndexList rows = outline->selectionModel()->selectedRows();
        if (!rows.isEmpty()) {
            if (const auto record = mOutlineModel->recordAt(rows.first()))
                selectedRecord = record->mRecordUID();
            else if (const auto type = mOutlineModel->typeAt(rows.first()))
                selectedType = type->mTypeUID();
        }
        mOutlineModel->reload();
        for (int row = 0; row < mOutlineModel->rowCount(); ++row)
            if (expanded.contains(mOutlineModel->types().at(row)->mTypeUID()))
                outline->expand(mOutlineModel->index(row, 0));
        QModelIndex select = selectedRecord.isEmpty() ? QModelIndex() : mOutlineModel->indexOfRecord(selectedRecord);
        for (int row = 0; !select.isValid() && !selectedType.isEmpty() && row < mOutlineModel->rowCount(); ++row)
            if (mOutlineModel->types().at(row)->mTypeUID() == selectedType)
                select = mOutlineModel->index(row, 0);
        if (select.isValid())
            outline->selectionModel()->setCurrentIndex(select, QItemSelectionModel::ClearAndSelect);
        break;
    }
    }
    mReloadingTables = wasReloading;
    updateGroupUIControl();
    updateDetailInfoViewWithRecord(itemPropertiesForTableViewSelectedRow());
}

void BMController::holdTableRefreshes() { mHoldingTableRefreshes = true; }

void BMController::releaseTableRefreshes()
{
    mHoldingTableRefreshes = false;
    if (!std::exchange(mTableRefreshHeld, false))
        return;
    updateTables();
    validateUIControls();
}

void BMController::awaitSearchEntries()
{
    if (mRefreshAwaitsSearchEntries)
        return;
    mRefreshAwaitsSearchEntries = true;
    pollSearchEntries();
}

void BMController::pollSearchEntries()
{
    QTimer::singleShot(10, this, [this] {
        if (!mRefreshAwaitsSearchEntries)
            return;
        // While a worker owns the caches (a panel runs it), or the entries are still being made: later.
        if (platform::isModalRunning() || mCaches.isPreparingSearchEntries()) {
            pollSearchEntries();
            return;
        }
        mRefreshAwaitsSearchEntries = false;
        updateTables();
        validateUIControls();
    });
}

void BMController::noteRecordViewed(const std::shared_ptr<TVXRecord>& record, bool raiseMemoryCounter)
{
    if (!record)
        return;
    // The memory counter is raised once per view (by the most-viewed rule when
    // asked); the rows follow on the server behind the window.
    mRecordWriter.recordViewed(*record, raiseMemoryCounter, mCurrentUserName);
}

void BMController::tableViewSelectionDidChange(QAbstractItemView* table)
{
    BMMainWindow* w = mainWindowView();
    if (!w || mReloadingTables)
        return;
    const QList<int> rows = selectedRowsOf(table);
    // No single record: an empty detail pane, and nothing for the record buttons to act on.
    const auto showNoRecord = [this, w](QToolButton* duplicateButton) {
        updateDetailInfoViewWithRecord(nullptr);
        for (QToolButton* b : {w->mDeleteButton, w->mEditButton, duplicateButton})
            b->setEnabled(false);
    };
    if (rows.size() > 1) {
        if (table == w->mListViewTypesTable)
            showNoRecord(w->mListDuplicateButton);
        else
            updateDetailInfoViewWithRecord(nullptr);
        validateUIControls();
        return;
    }
    mReloadingTables = true; // the reloads below put selections back
    if (table == w->mColumnViewTypesTable || table == w->mSmartTypesTable) {
        if (rows.isEmpty()) {
            updateDetailInfoViewWithRecord(nullptr);
        } else {
            w->mColumnViewDescriptionTable->clearSelection();
            BMTableView* other = table == w->mColumnViewTypesTable ? w->mSmartTypesTable : w->mColumnViewTypesTable;
            if (selectedRowOf(other) >= 0)
                other->clearSelection();
        }
        itemsForDiscriptionTable(true);
        mReloadingTables = false;
        validateUIControls();
        return;
    }
    if (table == w->mListViewTypesTable) {
        mReloadingTables = false;
        if (rows.isEmpty()) {
            showNoRecord(w->mListDuplicateButton);
        } else {
            const auto record = mListModel->recordAt(rows.first());
            noteRecordViewed(record, true);
            updateDetailInfoViewWithRecord(record);
        }
        validateUIControls();
        return;
    }
    if (table == w->mColumnViewDescriptionTable) {
        if (rows.isEmpty()) {
            mReloadingTables = false;
            showNoRecord(w->mColumnDuplicateButton);
        } else {
            const auto record = mNamesModel->recordAt(rows.first());
            noteRecordViewed(record, true);
            // The smart types' counts change; their selection stays.
            const int smartRow = selectedRowOf(w->mSmartTypesTable);
            mSmartModel->reload();
            if (smartRow >= 0)
                w->mSmartTypesTable->selectRow(smartRow);
            mReloadingTables = false;
            updateDetailInfoViewWithRecord(record);
        }
        validateUIControls();
        return;
    }
    mReloadingTables = false;
}

void BMController::outlineViewSelectionDidChange()
{
    BMMainWindow* w = mainWindowView();
    if (!w || mReloadingTables)
        return;
    const QModelIndexList rows = w->mTreeViewOutlineView->selectionModel()->selectedRows();
    const auto record = rows.isEmpty() ? nullptr : mOutlineModel->recordAt(rows.first());
    if (!record) {
        updateDetailInfoViewWithRecord(nullptr);
        for (QToolButton* b : {w->mDeleteButton, w->mEditButton, w->mTreeDuplicateButton})
            b->setEnabled(false);
    } else {
        noteRecordViewed(record, true);
        updateDetailInfoViewWithRecord(record);
    }
    validateUIControls();
}

bool BMController::retypeRecord(const std::shared_ptr<TVXRecord>& record, const std::shared_ptr<TVXType>& type,
                                bool alertOnFailure)
{
    const auto oldType = record->mType();
    const auto oldCustomType = record->mRecordCustomType();
    const bool oldCustomized = record->mIsCustomized();
    record->setMType(type);
    record->setMRecordCustomType(nullptr);
    record->setMIsCustomized(false);
    const TVXResult code = mRecordWriter.replaceRecord(record);
    if (code == kTVXDone)
        return true;
    // The server did not take the change: memory stays as the server has it.
    record->setMType(oldType);
    record->setMRecordCustomType(oldCustomType);
    record->setMIsCustomized(oldCustomized);
    mCaches.refreshRecordSearchEntry(*record);
    if (alertOnFailure)
        reportStoreResult(code);
    return false;
}

bool BMController::dropRecordOnType(const QString& recordUID, const std::shared_ptr<TVXType>& type,
                                    bool alertOnFailure)
{
    const auto record = mCaches.getRecordForUID(recordUID);
    if (!record || !type)
        return false;
    if (!checkForRecordPermissionFor(kPermissionEdit, record->mGroup().get()))
        return false;
    // The tables follow the store's notice once the drop has ended.
    return retypeRecord(record, type, alertOnFailure);
}

bool BMController::tableViewAcceptDrop(const QString& recordUID, const std::shared_ptr<TVXType>& type)
{
    return dropRecordOnType(recordUID, type, false);
}

bool BMController::outlineViewAcceptDrop(const QString& recordUID, const std::shared_ptr<TVXType>& type)
{
    return dropRecordOnType(recordUID, type, true);
}

QVariant BMController::tableViewForPrinting(int column, int row) const
{
    return mListModel ? mListModel->printValue(row, column) : QVariant();
}

void BMController::tableViewSortDescriptorsDidChange()
{
    updateTables();
    validateUIControls();
}

void BMController::tickContextItem(QMenu* submenu, const QString& title, int* previousTag)
{
    if (!submenu)
        return;
    for (QAction* action : submenu->actions())
        if (action->data().isValid() && action->data().toInt() == *previousTag)
            action->setChecked(false);
    *previousTag = -1;
    if (title.isNull())
        return;
    for (QAction* action : submenu->actions())
        if (action->text() == title && action->data().isValid()) {
            action->setCheckable(true);
            action->setChecked(true);
            *previousTag = action->data().toInt();
            return;
        }
}

QMenu* BMController::extendMenuforEventInTableView(QAbstractItemView* table, const QPoint& pos)
{
    BMMainWindow* w = mainWindowView();
    if (!w || !mItemContextualMenu_
        || (table != w->mListViewTypesTable && table != w->mColumnViewDescriptionTable))
        return nullptr;
    initContextualCategorySubMenu();
    initContextualTypeSubMenu();
    const QModelIndex index = table->indexAt(pos);
    if (!index.isValid())
        return nullptr;
    table->setFocus(Qt::MouseFocusReason);
    if (table == w->mListViewTypesTable)
        table->selectionModel()->select(index, QItemSelectionModel::Select | QItemSelectionModel::Rows);
    else
        table->selectionModel()->select(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    table->selectionModel()->setCurrentIndex(index, QItemSelectionModel::NoUpdate);

    QMenu* groups = BMMainWindow::menuItemWithTag(mItemContextualMenu_, 702)->menu();
    QMenu* types = BMMainWindow::menuItemWithTag(mItemContextualMenu_, 701)->menu();
    const auto record = itemPropertiesForTableViewSelectedRow();
    tickContextItem(groups, record && record->mGroup() ? record->mGroup()->mGroupName() : QString(),
                    &mPriviousContextualCategory);
    QString typeName;
    if (table == w->mColumnViewDescriptionTable) {
        if (record && record->mType())
            typeName = record->mType()->mTypeName();
    } else {
        QSet<QString> names;
        for (int row : selectedRowsOf(table))
            if (const auto r = mListModel->recordAt(row))
                names.insert(r->mType() ? r->mType()->mTypeName() : QString());
        if (names.size() == 1)
            typeName = *names.begin();
    }
    tickContextItem(types, typeName, &mPriviousContextualType);
    return mItemContextualMenu_;
}

QMenu* BMController::extendMenuforEventInOutlineView(const QPoint& pos)
{
    BMMainWindow* w = mainWindowView();
    if (!w || !mItemContextualMenu_)
        return nullptr;
    QTreeView* outline = w->mTreeViewOutlineView;
    const QModelIndex index = outline->indexAt(pos);
    const auto record = mOutlineModel->recordAt(index);
    if (!record)
        return nullptr;
    initContextualCategorySubMenu();
    initContextualTypeSubMenu();
    outline->setFocus(Qt::MouseFocusReason);
    outline->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
    tickContextItem(BMMainWindow::menuItemWithTag(mItemContextualMenu_, 701)->menu(),
                    record->mType() ? record->mType()->mTypeName() : QString(), &mPriviousContextualType);
    tickContextItem(BMMainWindow::menuItemWithTag(mItemContextualMenu_, 702)->menu(),
                    record->mGroup() ? record->mGroup()->mGroupName() : QString(), &mPriviousContextualCategory);
    return mItemContextualMenu_;
}

QList<std::shared_ptr<TVXRecord>> BMController::recordsSelectedForDeletion()
{
    BMMainWindow* w = mainWindowView();
    if (!w)
        return {};
    switch (currentView()) {
    case kListViewTag: {
        if (mListModel->records().isEmpty())
            return {};
        const QList<int> rows = selectedRowsOf(w->mListViewTypesTable);
        QList<std::shared_ptr<TVXRecord>> records;
        for (int row : rows)
            if (const auto record = mListModel->recordAt(row))
                records.append(record);
        if (records.isEmpty())
            return {};
        // What stays selected once they are gone: the row above the first of them.
        QItemSelectionModel* selection = w->mListViewTypesTable->selectionModel();
        if (rows.first() > 0) {
            const QModelIndex above = mListModel->index(rows.first() - 1, 0);
            selection->setCurrentIndex(above, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        } else {
            selection->clearSelection();
        }
        return records;
    }
    case kColumnViewTag:
    case kTreeViewTag:
    default:
        // The record at the description table's or the outline's selected row.
        if (const auto record = itemPropertiesForTableViewSelectedRow())
            return {record};
        return {};
    }
}

bool BMController::toggleSelectedTreeTypeRow()
{
    BMMainWindow* w = mainWindowView();
    if (!w || currentView() != kTreeViewTag)
        return false;
    QTreeView* outline = w->mTreeViewOutlineView;
    const QModelIndexList rows = outline->selectionModel()->selectedRows();
    if (rows.isEmpty() || BMOutlineModel::levelOf(rows.first()) != 0)
        return false;
    outline->setExpanded(rows.first(), !outline->isExpanded(rows.first()));
    return true;
}

void BMController::selectAllRecordRows()
{
    if (BMMainWindow* w = mainWindowView(); w && currentView() == kListViewTag)
        w->mListViewTypesTable->selectAll();
}

void BMController::reloadSmartTypesTable()
{
    BMMainWindow* w = mainWindowView();
    if (!w || !mSmartModel)
        return;
    const bool wasReloading = mReloadingTables;
    mReloadingTables = true;
    const int smartRow = selectedRowOf(w->mSmartTypesTable);
    refreshBrowseState();
    mSmartModel->reload();
    if (smartRow >= 0 && smartRow < mSmartModel->rowCount())
        w->mSmartTypesTable->selectRow(smartRow);
    mReloadingTables = wasReloading;
}
