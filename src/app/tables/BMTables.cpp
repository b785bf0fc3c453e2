// What the main window shows: the view, the group and type, the detail pane
// and the search.
#include "app/tables/BMTables.h"
#include "app/BMController.h"
#include "model/BMGroup.h"
#include "model/TVXRecord.h"
#include "model/TVXType.h"
#include "model/TVXUID.h"
#include "model/TVXUser.h"
#include "platform/core/NotificationCenter.h"
#include "platform/ui/AlertPanel.h"
#include "platform/ui/ModalRun.h"
#include "store/eventlog/EventLogStore.h"
#include "store/personal/IconStore.h"
#include "store/accounts/PreferencesStore.h"
#include "store/personal/RecentListsStore.h"
#include "store/loading/RecordSearch.h"
#include "store/writers/RecordWriter.h"
#include "store/loading/StoreCaches.h"
#include "store/loading/StoreChanges.h"
#include "store/eventlog/TVXEventLogger.h"
#include "views/BMImageCell.h"
#include "views/BMRecordModels.h"
#include "views/BMTableView.h"
#include "views/ImageAndTextCell.h"
#include "windows/BMMainWindow.h"

#include <QAction>
#include <QButtonGroup>
#include <QComboBox>
#include <QFrame>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QSet>
#include <QSplitter>
#include <QStackedWidget>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>
#include <algorithm>
#include <utility>

BMTables::BMTables(BMController& app)
    : mState(app.state()), mCaches(app.store().caches), mEventLog(app.store().eventLog),
      mIcons(app.store().icons), mPreferences(app.store().preferences),
      mRecentLists(app.store().recentLists), mRecordWriter(app.store().recordWriter),
      mWindowSetup(app.windowSetup()), mOptionsApplier(app.optionsApplier()), mPopUps(app.popUps()),
      mRecordCommands(app.recordCommands()), mStartup(app.startup())
{
}

namespace {

QString uidOfRecord(const std::shared_ptr<TVXRecord>& r) { return r ? r->mRecordUID() : QString(); }

// A pop-up's "Edit ..." entry opens its editor elsewhere: the choice goes
// back to what it was, and false. Any other entry becomes `previous`.
bool takePopUpChoice(QComboBox* popup, int& previous)
{
    if (popup->currentData().userType() != QMetaType::Int) {
        popup->setCurrentIndex(qBound(0, previous, popup->count() - 1));
        return false;
    }
    previous = popup->currentIndex();
    return true;
}

} // namespace

int BMTables::currentView() const
{
    const BMMainWindow* w = mWindowSetup.mainWindowView();
    if (!w)
        return kColumnViewTag;
    const int tag = w->mViewsSelectionControl->checkedId();
    return tag < 0 ? kColumnViewTag : tag;
}

void BMTables::changeView(int view)
{
    BMMainWindow* w = mWindowSetup.mainWindowView();
    if (!w || view < kColumnViewTag || view > kTreeViewTag)
        return;
    // The record the user chose stays chosen in the view switched to.
    const auto chosen = itemPropertiesForTableViewSelectedRow();
    int previousView = -1;
    if (TVXUser* user = mCaches.getCurrentUser()) {
        previousView = user->mLastView();
        user->setMLastView(int16_t(view));
        if (mState.storeConnected())
            mPreferences.saveLastViewBehind(*user); // a preference: a failed save goes to the error path
    }
    mWindowSetup.selectTabView(view);

    if (view == kListViewTag) {
        // The columns read back or keep their defaults; a failure went to the error path.
        if (mState.storeConnected())
            (void)mPreferences.readColoumWidthInfoForType(QString());
        // The columns ticked in Options: the launch applies them only to a list shown then.
        mOptionsApplier.listViewColumnsVisiblityChanged();
    }
    updateTables();
    if (view == kListViewTag) {
        mPopUps.updateTableColumnsWithSelectedItem();
        mPopUps.initTableColumnSorting();
        mPopUps.updateTableColumnWidth();
    } else {
        // Only a list just left has columns to keep: at a start in another
        // view the list never read its columns, and would write defaults over them.
        if (mWindowSetup.subviewsReady() && mState.storeConnected() && previousView == kListViewTag)
            mPopUps.saveTableColumnWidthToPreference();
    }
    if (chosen)
        showRecordInCurrentView(chosen->mRecordUID());
    mPopUps.validateUIControls();
    w->update();
}

void BMTables::changeCategory(QObject*)
{
    BMMainWindow* w = mWindowSetup.mainWindowView();
    if (!w || !takePopUpChoice(w->mCategoriesPopup, mState.mPreviousCategory))
        return;
    const auto groups = mCaches.groupsForEditing();
    TVXUser* user = mCaches.getCurrentUser();
    const auto group = selectedGroup();
    if (groups.isEmpty() || !group) {
        mState.mGroupFilterSelectedUID.clear();
        if (user)
            user->setMCurrentGroup(kAllCategoriesUID);
    } else {
        mState.mGroupFilterSelectedUID = group->mGroupUID();
        if (user)
            user->setMCurrentGroup(group->mGroupUID());
    }
    if (user && mState.storeConnected())
        mPreferences.saveCurrentGroupBehind(*user); // a preference: a failed save goes to the error path
    mPopUps.initTypesUIControl();
    updateTables();
    mPopUps.validateUIControls();
}

void BMTables::changeType()
{
    BMMainWindow* w = mWindowSetup.mainWindowView();
    if (!w || !takePopUpChoice(w->mTypesPopup, mState.mPreviousType))
        return;
    const auto type = selectedType();
    if (mState.storeConnected())
        (void)mPreferences.readColoumWidthInfoForType(type ? type->mTypeUID() : QString());
    updateTables();
    mPopUps.validateUIControls();
    updateDetailInfoViewWithRecord(itemPropertiesForTableViewSelectedRow());
    mPopUps.updateTableColumnsWithSelectedItem();
    mPopUps.updateTableColumnWidth();
    mPopUps.initTableColumnSorting();
}

bool BMTables::isDetailPaneShown() const
{
    const BMMainWindow* w = mWindowSetup.mainWindowView();
    return w && !w->mDetailsViewContainer->isHidden();
}

void BMTables::toggleInfoView(bool on)
{
    BMMainWindow* w = mWindowSetup.mainWindowView();
    if (!w)
        return;
    QAction* item = BMMainWindow::menuItemWithTag(w->mViewMenu, kToggleDetailsMenuItemTag);
    if (!on) {
        if (isDetailPaneShown())
            mDetailsViewFrame = w->mMainSplitView->sizes();
        w->mDetailsViewContainer->hide();
        if (item)
            item->setText(tr("Show Details"));
    } else {
        w->mDetailsViewContainer->show();
        if (!mDetailsViewFrame.isEmpty())
            w->mMainSplitView->setSizes(mDetailsViewFrame);
        if (item)
            item->setText(tr("Hide Details"));
    }
    for (QToolButton* toggle : {w->mColumnToggleInfoButton, w->mListToggleInfoButton, w->mTreeToggleInfoButton}) {
        toggle->setChecked(on);
        toggle->setToolTip(on ? tr("Hide Details") : tr("Show Details"));
    }
    mState.mDetailPanelIsVisible = on;
    if (mCaches.getCurrentUser() && mState.storeConnected())
        mPreferences.setToggleInfoBehind(on); // a preference: a failed save goes to the error path
}

void BMTables::toggleInfoViewFromMenu()
{
    BMMainWindow* w = mWindowSetup.mainWindowView();
    if (!w)
        return;
    QAction* item = BMMainWindow::menuItemWithTag(w->mViewMenu, kToggleDetailsMenuItemTag);
    const bool show = item && item->text() == tr("Show Details");
    if (item)
        item->setText(show ? tr("Hide Details") : tr("Show Details"));
    w->mColumnToggleInfoButton->setChecked(show);
    toggleInfoView(show);
}

void BMTables::updateDetailInfoViewWithRecord(const std::shared_ptr<TVXRecord>& record)
{
    BMMainWindow* w = mWindowSetup.mainWindowView();
    QString title;
    QImage image;
    if (record) {
        title = record->mValue1();
        if (const TVXType* type = effectiveType(*record))
            image = mIcons.getImageFromIconIndex(type->mTypeIconID());
    }
    // The placeholder (until the detail pane is plugged in) names the record.
    if (w)
        if (auto* placeholder = qobject_cast<QLabel*>(w->detailsView())) {
            placeholder->setText(record ? QStringLiteral("<div style='font-size:15pt; color:#2b303a'>%1</div>"
                                                         "<div style='color:#8a8f98'>%2</div>")
                                              .arg(title.toHtmlEscaped(),
                                                   record->mType() ? record->mType()->mTypeName().toHtmlEscaped()
                                                                   : QString())
                                        : tr("No record selected"));
        }
    emit detailInfoRecordChanged(record, title, image);
}

QString BMTables::searchString() const
{
    const BMMainWindow* w = mWindowSetup.mainWindowView();
    return w ? w->mSearchField->text() : QString();
}

void BMTables::performSearch()
{
    updateTables();
    mPopUps.validateUIControls();
}

void BMTables::focusSearchField()
{
    BMMainWindow* w = mWindowSetup.mainWindowView();
    if (!w)
        return;
    w->mSearchField->setFocus(Qt::ShortcutFocusReason);
    w->mSearchField->selectAll();
}

QComboBox* BMTables::mCategoriesPopup() const
{
    const BMMainWindow* w = mWindowSetup.mainWindowView();
    return w ? w->mCategoriesPopup : nullptr;
}

QComboBox* BMTables::mTypesPopup() const
{
    const BMMainWindow* w = mWindowSetup.mainWindowView();
    return w ? w->mTypesPopup : nullptr;
}

BMTableView* BMTables::mListViewTypesTable() const
{
    const BMMainWindow* w = mWindowSetup.mainWindowView();
    return w ? w->mListViewTypesTable : nullptr;
}

int BMTables::getSelectedTypeIndex() const
{
    const QComboBox* popup = mTypesPopup();
    return popup ? qMax(0, popup->currentIndex()) : 0;
}

QString BMTables::getSelectedTypeUID() const
{
    return kAllCategoriesUID;
}

// The group/type outline and the record tables: what they show, what a
// selection does, and re-typing a record by dragging it onto a type.

namespace {

const QString kNoGroupsTitle = QStringLiteral("No Groups");

} // namespace

bool BMTables::reselectRows(QAbstractItemView* view, const QSet<QString>& uids,
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
        return false;
    view->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    view->selectionModel()->setCurrentIndex(current, QItemSelectionModel::NoUpdate);
    return true;
}

void BMTables::setMShouldCreateDatabase(bool loaded)
{
    mState.mShouldCreateDatabase = loaded;
}

void BMTables::setMShouldLockInfoDisplay(bool locked)
{
    mState.mShouldLockInfoDisplay = locked;
    updateTables();
}

void BMTables::refreshBrowseState()
{
    if (!mBrowseState)
        return;
    BMBrowseState& state = *mBrowseState;
    state.setStore(mCaches, mIcons, mRecentLists);
    state.groupFilterUID = mState.mGroupFilterSelectedUID;
    state.group = selectedGroup();
    const QComboBox* popup = mCategoriesPopup();
    state.noGroups = !popup || popup->currentText() == tr("No Groups") || popup->currentText() == kNoGroupsTitle
                     || mCaches.groupsForEditing().isEmpty();
    state.searchText = searchString();
    state.shouldMask = mState.mShouldMask;
    state.active = mState.mShouldCreateDatabase && !mState.mShouldLockInfoDisplay;
}

int BMTables::selectedRowOf(QAbstractItemView* table) const
{
    const QList<int> rows = selectedRowsOf(table);
    if (rows.isEmpty())
        return -1;
    const QModelIndex current = table->selectionModel()->currentIndex();
    return current.isValid() && rows.contains(current.row()) ? current.row() : rows.first();
}

QList<int> BMTables::selectedRowsOf(QAbstractItemView* table) const
{
    QList<int> rows;
    if (!table || !table->selectionModel())
        return rows;
    for (const QModelIndex& index : table->selectionModel()->selectedRows())
        rows.append(index.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

std::shared_ptr<BMGroup> BMTables::selectedGroup() const
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

std::shared_ptr<TVXType> BMTables::selectedType() const
{
    const BMMainWindow* w = mWindowSetup.mainWindowView();
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

std::shared_ptr<TVXRecord> BMTables::itemPropertiesForTableViewSelectedRow() const
{
    const BMMainWindow* w = mWindowSetup.mainWindowView();
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

std::shared_ptr<TVXType> BMTables::typeUIDForTableViewSelectedRow() const
{
    const BMMainWindow* w = mWindowSetup.mainWindowView();
    if (!w)
        return nullptr;
    if (currentView() == kColumnViewTag && selectedRowOf(w->mColumnViewTypesTable) < 0)
        return nullptr; // a smart type gives no type
    const auto record = itemPropertiesForTableViewSelectedRow();
    return record ? record->mType() : nullptr;
}

std::shared_ptr<TVXRecord> BMTables::selectedSmartRecord() const
{
    const BMMainWindow* w = mWindowSetup.mainWindowView();
    if (!w || currentView() != kColumnViewTag || selectedRowOf(w->mSmartTypesTable) < 0)
        return nullptr;
    const int row = selectedRowOf(w->mColumnViewDescriptionTable);
    return row < 0 ? nullptr : mNamesModel->recordAt(row);
}

QList<std::shared_ptr<TVXRecord>> BMTables::sortedItemsForListView()
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
    // The list's headers name the chosen type's fields: it lists only that type's records.
    const auto type = currentView() == kListViewTag ? selectedType() : nullptr;
    return mCaches.itemsOfGroup(mBrowseState->group.get(), type.get(), mBrowseState->searchText, column, ascending);
}

QList<std::shared_ptr<TVXRecord>> BMTables::itemsForSelectedCategoryAndType(bool recreate)
{
    if (recreate || mListModel->records().isEmpty())
        mListModel->setRecords(sortedItemsForListView());
    return mListModel->records();
}

QList<std::shared_ptr<TVXRecord>> BMTables::itemsForDiscriptionTable(bool recreate)
{
    const BMMainWindow* w = mWindowSetup.mainWindowView();
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

QList<std::shared_ptr<TVXRecord>> BMTables::itemsForOutlineViewType(const std::shared_ptr<TVXType>& type,
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

void BMTables::observeStoreChanges()
{
    QPointer<BMTables> self(this);
    mStartup.keepObserver(platform::NotificationCenter::defaultCenter().addObserver(
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
        }));
}

void BMTables::followStoreChanges()
{
    using namespace storechanges;
    const unsigned kinds = mPendingStoreChanges;
    if (!(kinds & (kRecords | kGroups | kTypes)) || !mWindowSetup.mainWindowView())
        return; // users' changes show in the account window only
    if (kinds & kGroups) {
        mPopUps.initGroupUIControl(); // the shown group again, or the first when it is gone
        mPopUps.initContextualCategorySubMenu();
    }
    if (kinds & kTypes) {
        mPopUps.initTypesUIControl();
        mPopUps.initContextualTypeSubMenu();
    }
    // The shown group is kept by identity: its title carries a record count,
    // and a renamed group is still the same group.
    const auto group = selectedGroup();
    if ((kinds & kGroups) && (group ? group->mGroupUID() : QString()) != mState.mGroupFilterSelectedUID)
        changeCategory(); // the first group takes over, with its types
    else
        updateTables();
}

// The reloads of the three views, each keeping its selection (and the
// outline its open types) over the new rows.
void BMTables::reloadColumnView(BMMainWindow& window)
{
    BMMainWindow* w = &window;
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
}

void BMTables::reloadListView(BMMainWindow& window)
{
    BMMainWindow* w = &window;
    QSet<QString> selected;
    for (int row : selectedRowsOf(w->mListViewTypesTable))
        selected.insert(uidOfRecord(mListModel->recordAt(row)));
    itemsForSelectedCategoryAndType(true);
    reselectRows(w->mListViewTypesTable, selected,
                 [&](int row) { return uidOfRecord(mListModel->recordAt(row)); }, mListModel->rowCount());
}

void BMTables::reloadOutlineView(BMMainWindow& window)
{
    BMMainWindow* w = &window;
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
}

void BMTables::updateTables()
{
    mPendingStoreChanges = 0;
    BMMainWindow* w = mWindowSetup.mainWindowView();
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
    switch (currentView()) {
    case kColumnViewTag:
        reloadColumnView(*w);
        break;
    case kListViewTag:
        reloadListView(*w);
        break;
    default:
        reloadOutlineView(*w);
        break;
    }
    mReloadingTables = wasReloading;
    mPopUps.updateGroupUIControl();
    updateDetailInfoViewWithRecord(itemPropertiesForTableViewSelectedRow());
}

void BMTables::showRecordInCurrentView(const QString& recordUID)
{
    BMMainWindow* w = mWindowSetup.mainWindowView();
    const auto record = recordUID.isEmpty() ? nullptr : mCaches.recordWithUID(recordUID);
    if (!w || !record)
        return;
    const bool wasReloading = std::exchange(mReloadingTables, true); // a view switch counts no view
    const auto rowOf = [&recordUID](const QList<std::shared_ptr<TVXRecord>>& records) {
        for (int row = 0; row < records.size(); ++row)
            if (records.at(row) && records.at(row)->mRecordUID() == recordUID)
                return row;
        return -1;
    };
    switch (currentView()) {
    case kColumnViewTag: {
        const auto current = itemPropertiesForTableViewSelectedRow();
        if (current && current->mRecordUID() == recordUID)
            break;
        const auto& types = mTypesModel->types();
        for (int row = 0; record->mType() && row < types.size(); ++row)
            if (types.at(row)->mTypeUID() == record->mType()->mTypeUID()) {
                w->mSmartTypesTable->clearSelection();
                w->mColumnViewTypesTable->selectRow(row);
                const int name = rowOf(itemsForDiscriptionTable(true));
                if (name >= 0)
                    w->mColumnViewDescriptionTable->selectRow(name);
                else
                    w->mColumnViewDescriptionTable->clearSelection();
                break;
            }
        break;
    }
    case kListViewTag: {
        const int row = rowOf(mListModel->records());
        if (row >= 0 && !selectedRowsOf(w->mListViewTypesTable).contains(row))
            w->mListViewTypesTable->selectRow(row);
        break;
    }
    default: {
        const QModelIndex index = mOutlineModel->indexOfRecord(recordUID);
        if (index.isValid()) {
            w->mTreeViewOutlineView->expand(index.parent());
            w->mTreeViewOutlineView->selectionModel()->setCurrentIndex(
                index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
            w->mTreeViewOutlineView->scrollTo(index);
        }
        break;
    }
    }
    mReloadingTables = wasReloading;
}

void BMTables::holdTableRefreshes() { mHoldingTableRefreshes = true; }

void BMTables::releaseTableRefreshes()
{
    mHoldingTableRefreshes = false;
    if (!std::exchange(mTableRefreshHeld, false))
        return;
    updateTables();
    mPopUps.validateUIControls();
}

void BMTables::awaitSearchEntries()
{
    if (mRefreshAwaitsSearchEntries)
        return;
    mRefreshAwaitsSearchEntries = true;
    pollSearchEntries();
}

void BMTables::pollSearchEntries()
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
        mPopUps.validateUIControls();
    });
}

void BMTables::noteRecordViewed(const std::shared_ptr<TVXRecord>& record, bool raiseMemoryCounter)
{
    if (!record)
        return;
    // The memory counter is raised once per view (by the most-viewed rule when
    // asked); the rows follow on the server behind the window.
    mRecordWriter.recordViewed(*record, raiseMemoryCounter, mState.mCurrentUserName);
}

void BMTables::tableViewSelectionDidChange(QAbstractItemView* table)
{
    BMMainWindow* w = mWindowSetup.mainWindowView();
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
        mPopUps.validateUIControls();
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
        mPopUps.validateUIControls();
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
        mPopUps.validateUIControls();
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
        mPopUps.validateUIControls();
        return;
    }
    mReloadingTables = false;
}

void BMTables::outlineViewSelectionDidChange()
{
    BMMainWindow* w = mWindowSetup.mainWindowView();
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
    mPopUps.validateUIControls();
}

bool BMTables::retypeRecord(const std::shared_ptr<TVXRecord>& record, const std::shared_ptr<TVXType>& type,
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
        mRecordCommands.reportStoreResult(code);
    return false;
}

bool BMTables::dropRecordOnType(const QString& recordUID, const std::shared_ptr<TVXType>& type,
                                    bool alertOnFailure)
{
    const auto record = mCaches.getRecordForUID(recordUID);
    if (!record || !type)
        return false;
    if (!mRecordCommands.checkForRecordPermissionFor(kPermissionEdit, record->mGroup().get()))
        return false;
    // The tables follow the store's notice once the drop has ended.
    return retypeRecord(record, type, alertOnFailure);
}

bool BMTables::tableViewAcceptDrop(const QString& recordUID, const std::shared_ptr<TVXType>& type)
{
    return dropRecordOnType(recordUID, type, false);
}

bool BMTables::outlineViewAcceptDrop(const QString& recordUID, const std::shared_ptr<TVXType>& type)
{
    return dropRecordOnType(recordUID, type, true);
}

QVariant BMTables::tableViewForPrinting(int column, int row) const
{
    return mListModel ? mListModel->printValue(row, column) : QVariant();
}

void BMTables::tableViewSortDescriptorsDidChange()
{
    updateTables();
    mPopUps.validateUIControls();
}

QMenu* BMTables::extendMenuforEventInTableView(QAbstractItemView* table, const QPoint& pos)
{
    BMMainWindow* w = mWindowSetup.mainWindowView();
    if (!w || !mPopUps.mItemContextualMenu()
        || (table != w->mListViewTypesTable && table != w->mColumnViewDescriptionTable))
        return nullptr;
    mPopUps.initContextualCategorySubMenu();
    mPopUps.initContextualTypeSubMenu();
    const QModelIndex index = table->indexAt(pos);
    if (!index.isValid())
        return nullptr;
    table->setFocus(Qt::MouseFocusReason);
    if (table == w->mListViewTypesTable)
        table->selectionModel()->select(index, QItemSelectionModel::Select | QItemSelectionModel::Rows);
    else
        table->selectionModel()->select(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    table->selectionModel()->setCurrentIndex(index, QItemSelectionModel::NoUpdate);

    QMenu* groups = BMMainWindow::menuItemWithTag(mPopUps.mItemContextualMenu(), 702)->menu();
    QMenu* types = BMMainWindow::menuItemWithTag(mPopUps.mItemContextualMenu(), 701)->menu();
    const auto record = itemPropertiesForTableViewSelectedRow();
    mPopUps.tickContextItem(groups, record && record->mGroup() ? record->mGroup()->mGroupName() : QString(),
                    &mState.mPriviousContextualCategory);
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
    mPopUps.tickContextItem(types, typeName, &mState.mPriviousContextualType);
    return mPopUps.mItemContextualMenu();
}

QMenu* BMTables::extendMenuforEventInOutlineView(const QPoint& pos)
{
    BMMainWindow* w = mWindowSetup.mainWindowView();
    if (!w || !mPopUps.mItemContextualMenu())
        return nullptr;
    QTreeView* outline = w->mTreeViewOutlineView;
    const QModelIndex index = outline->indexAt(pos);
    const auto record = mOutlineModel->recordAt(index);
    if (!record)
        return nullptr;
    mPopUps.initContextualCategorySubMenu();
    mPopUps.initContextualTypeSubMenu();
    outline->setFocus(Qt::MouseFocusReason);
    outline->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
    mPopUps.tickContextItem(BMMainWindow::menuItemWithTag(mPopUps.mItemContextualMenu(), 701)->menu(),
                    record->mType() ? record->mType()->mTypeName() : QString(), &mState.mPriviousContextualType);
    mPopUps.tickContextItem(BMMainWindow::menuItemWithTag(mPopUps.mItemContextualMenu(), 702)->menu(),
                    record->mGroup() ? record->mGroup()->mGroupName() : QString(), &mState.mPriviousContextualCategory);
    return mPopUps.mItemContextualMenu();
}

QList<std::shared_ptr<TVXRecord>> BMTables::recordsSelectedForDeletion()
{
    BMMainWindow* w = mWindowSetup.mainWindowView();
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

bool BMTables::toggleSelectedTreeTypeRow()
{
    BMMainWindow* w = mWindowSetup.mainWindowView();
    if (!w || currentView() != kTreeViewTag)
        return false;
    QTreeView* outline = w->mTreeViewOutlineView;
    const QModelIndexList rows = outline->selectionModel()->selectedRows();
    if (rows.isEmpty() || BMOutlineModel::levelOf(rows.first()) != 0)
        return false;
    outline->setExpanded(rows.first(), !outline->isExpanded(rows.first()));
    return true;
}

void BMTables::selectAllRecordRows()
{
    if (BMMainWindow* w = mWindowSetup.mainWindowView(); w && currentView() == kListViewTag)
        w->mListViewTypesTable->selectAll();
}

void BMTables::reloadSmartTypesTable()
{
    BMMainWindow* w = mWindowSetup.mainWindowView();
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

void BMTables::makeTableModels()
{
    BMMainWindow* w = mWindowSetup.mainWindowView();
    mBrowseState = std::make_shared<BMBrowseState>();
    mBrowseState->setStore(mCaches, mIcons, mRecentLists);
    mTypesModel = new BMTypesTableModel(mBrowseState, this);
    mSmartModel = new BMSmartTypesModel(mBrowseState, this);
    mNamesModel = new BMRecordNamesModel(this);
    mListModel = new BMRecordListModel(mBrowseState, this);
    mOutlineModel = new BMOutlineModel(mBrowseState, this);
    mTypesModel->setDropHandler(
        [this](const QString& uid, const std::shared_ptr<TVXType>& type) { return tableViewAcceptDrop(uid, type); });
    mOutlineModel->setDropHandler(
        [this](const QString& uid, const std::shared_ptr<TVXType>& type) { return outlineViewAcceptDrop(uid, type); });

    w->mColumnViewTypesTable->setModel(mTypesModel);
    w->mSmartTypesTable->setModel(mSmartModel);
    w->mColumnViewDescriptionTable->setModel(mNamesModel);
    w->mListViewTypesTable->setModel(mListModel);
    w->mTreeViewOutlineView->setModel(mOutlineModel);

    // Cells: icon, name and count in the type, smart-type and outline columns;
    // images in the list's icon, notes and attachment columns.
    w->mColumnViewTypesTable->setItemDelegateForColumn(0, new ImageAndTextCell(w));
    w->mSmartTypesTable->setItemDelegateForColumn(0, new ImageAndTextCell(w));
    w->mTreeViewOutlineView->setItemDelegateForColumn(0, new ImageAndTextCell(w));
    w->mListViewTypesTable->setItemDelegateForColumn(0, new BMImageCell(w));
    for (int column : {13, 14}) {
        auto* cell = new BMImageCell(w);
        cell->setImageAlignment(Qt::AlignLeft);
        w->mListViewTypesTable->setItemDelegateForColumn(column, cell);
    }
    QHeaderView* header = w->mListViewTypesTable->horizontalHeader();
    header->setSectionResizeMode(QHeaderView::Interactive);
    header->setMinimumSectionSize(22);
    for (int column : {0, 13, 14})
        header->resizeSection(column, 28);
    for (int column = 1; column <= 12; ++column)
        header->resizeSection(column, column <= 2 ? 110 : 130);
    // The list's bands follow the row colour the table is given.
    connect(w->mListViewTypesTable, &BMTableView::rowColorChanged, mListModel,
            [this](const QColor& color) { mListModel->setBandColor(blendedBandColor(color)); });
    w->mListViewTypesTable->setSortingEnabled(true);
    mListModel->setSortIndicator(3, Qt::AscendingOrder);
    header->setSortIndicator(3, Qt::AscendingOrder);
}

void BMTables::chooseTypeInColumnView()
{
    // The column view opens on a chosen type with its records, never on a
    // type row that only looks chosen (the table's current row) beside an empty list.
    BMMainWindow* w = mWindowSetup.mainWindowView();
    if (!w || currentView() != kColumnViewTag || mTypesModel->rowCount() == 0
        || w->mColumnViewTypesTable->selectionModel()->hasSelection()
        || w->mSmartTypesTable->selectionModel()->hasSelection())
        return;
    const QModelIndex current = w->mColumnViewTypesTable->currentIndex();
    w->mColumnViewTypesTable->selectRow(current.isValid() ? current.row() : 0);
}
