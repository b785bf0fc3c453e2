// The group and type pop-ups, the menus the controller adjusts, the record
// context menu, the list's columns and sorting.
#include "app/popups/BMPopUps.h"
#include "app/BMController.h"
#include "model/BMGroup.h"
#include "model/TVXRecord.h"
#include "model/TVXType.h"
#include "model/TVXUID.h"
#include "model/TVXUser.h"
#include "platform/ui/AlertPanel.h"
#include "platform/ui/Pasteboard.h"
#include "store/personal/IconStore.h"
#include "store/accounts/PreferencesStore.h"
#include "store/writers/RecordWriter.h"
#include "store/loading/StoreCaches.h"
#include "views/BMImages.h"
#include "views/BMRecordModels.h"
#include "views/BMTableView.h"
#include "windows/BMMainWindow.h"

#include <QAction>
#include <QComboBox>
#include <QHeaderView>
#include <QMenu>
#include <QSignalBlocker>
#include <QToolButton>
#include <QTreeView>

BMPopUps::BMPopUps(BMController& app)
    : mState(app.state()), mCaches(app.store().caches), mIcons(app.store().icons),
      mPreferences(app.store().preferences), mRecordWriter(app.store().recordWriter),
      mWindowSetup(app.windowSetup()), mRecordCommands(app.recordCommands()), mStartup(app.startup()),
      mTables(app.tables())
{
}

namespace {

const QString kEditGroupsItem = QStringLiteral("EditGroups");
const QString kEditTypesItem = QStringLiteral("EditTypes");
constexpr int kContextTypeTag = 701;
constexpr int kContextGroupTag = 702;
constexpr int kContextAttachmentTag = 709;
const QString kQVXPasteHeader = QStringLiteral("Tolvanex qVX File -v3.0");

QString groupTitle(const BMGroup& group, qsizetype count)
{
    return count > 0 ? QStringLiteral("%1 (%2)").arg(group.mGroupName()).arg(count) : group.mGroupName();
}

// Refills a main-window pop-up without a change signal: `fill` adds the
// entries and returns the one to choose; an "Edit ..." entry after a
// separator ends the list. Returns the chosen index.
template <typename Fill>
int refillPopUp(QComboBox* popup, const QString& editTitle, const QString& editTag, Fill fill)
{
    const QSignalBlocker blocker(popup);
    popup->clear();
    const int chosen = fill();
    popup->insertSeparator(popup->count());
    popup->addItem(editTitle, editTag);
    popup->setCurrentIndex(chosen);
    return popup->currentIndex();
}

// The context menu's submenu under `tag`, emptied for refilling; none before
// the context menu is built.
QMenu* emptiedSubmenu(QMenu* menu, int tag)
{
    QAction* item = BMMainWindow::menuItemWithTag(menu, tag);
    if (!item || !item->menu())
        return nullptr;
    item->menu()->clear();
    return item->menu();
}

// A checkable entry of a context submenu carrying its index.
QAction* addChoice(QMenu* submenu, const QString& title, int index)
{
    QAction* action = submenu->addAction(title);
    action->setData(index);
    action->setCheckable(true);
    return action;
}

} // namespace

void BMPopUps::initGroupUIControl()
{
    BMMainWindow* w = mWindowSetup.mainWindowView();
    if (!w)
        return;
    QComboBox* popup = w->mCategoriesPopup;
    mState.mPreviousCategory = refillPopUp(popup, tr("Edit Groups..."), kEditGroupsItem, [&] {
        const auto groups = mCaches.groupsForEditing();
        if (groups.isEmpty()) {
            popup->addItem(tr("No Groups"), -1);
            return 0;
        }
        const auto counts = mCaches.recordCountsByGroup(mTables.searchString());
        const QIcon folder = bmimages::icon(QStringLiteral("24_folder"));
        int chosen = 0;
        for (int i = 0; i < groups.size(); ++i) {
            popup->addItem(folder, groupTitle(*groups.at(i), counts.value(groups.at(i)->mGroupUID())), i);
            if (groups.at(i)->mGroupUID() == mState.mGroupFilterSelectedUID)
                chosen = i;
        }
        return chosen;
    });
}

void BMPopUps::updateGroupUIControl()
{
    BMMainWindow* w = mWindowSetup.mainWindowView();
    if (!w)
        return;
    const auto groups = mCaches.groupsForEditing();
    const auto counts = mCaches.recordCountsByGroup(mTables.searchString());
    QComboBox* popup = w->mCategoriesPopup;
    for (int i = 0; i < groups.size() && i < popup->count(); ++i) {
        if (popup->itemData(i).userType() != QMetaType::Int)
            continue;
        // An unchanged title is not set again: each setting re-measures the pop-up.
        const QString title = groupTitle(*groups.at(i), counts.value(groups.at(i)->mGroupUID()));
        if (popup->itemText(i) != title)
            popup->setItemText(i, title);
    }
}

void BMPopUps::initTypesUIControl()
{
    BMMainWindow* w = mWindowSetup.mainWindowView();
    if (!w)
        return;
    QComboBox* popup = w->mTypesPopup;
    const QString keep = popup->currentIndex() > 0 ? popup->currentText() : QString();
    mState.mPreviousType = refillPopUp(popup, tr("Edit Types..."), kEditTypesItem, [&] {
        popup->addItem(tr("All Types"), -1);
        // The types, so that the list's columns can follow one.
        const auto types = mCaches.typesForEditing();
        for (int i = 0; i < types.size(); ++i)
            popup->addItem(QIcon(QPixmap::fromImage(mIcons.getImageFromIconIndex(types.at(i)->mTypeIconID()))),
                           types.at(i)->mTypeName(), i);
        const int index = keep.isNull() ? 0 : popup->findText(keep);
        return index < 0 ? 0 : index;
    });
}

void BMPopUps::setIconToMenuItems()
{
    BMMainWindow* w = mWindowSetup.mainWindowView();
    if (!w)
        return;
    const QHash<int, QString> images = {
        {kLockMenuItemTag, QStringLiteral("16x16_Encrypt")}, {kCutMenuItemTag, QStringLiteral("16x16_Cut")},
        {kCopyMenuItemTag, QStringLiteral("16x16_Copy")},     {kPasteMenuItemTag, QStringLiteral("16x16_Paste")},
        {300, QStringLiteral("16x16_Add")},                  {301, QStringLiteral("16x16_Edit")},
        {302, QStringLiteral("16x16_Delete")},               {303, QStringLiteral("16x16_Copy")},
        {304, QStringLiteral("16x16_Preferences")},          {305, QStringLiteral("16x16_Globe")},
        {306, QStringLiteral("print_16")},                   {307, QStringLiteral("AddAttachment")},
    };
    for (QMenu* menu : {w->mFileMenu, w->mEditMenu, w->mItemMenu}) {
        for (QAction* action : menu->actions()) {
            if (action->isSeparator() || !action->data().isValid())
                continue;
            const int tag = action->data().toInt();
            action->setIcon(images.contains(tag) ? bmimages::icon(images.value(tag)) : bmimages::blankIcon());
        }
    }
}

void BMPopUps::updateEditMenuItem(int fieldIndex, int tag)
{
    BMMainWindow* w = mWindowSetup.mainWindowView();
    QAction* item = w ? BMMainWindow::menuItemWithTag(w->mEditMenu, tag) : nullptr;
    if (!item)
        return;
    const auto record = mTables.itemPropertiesForTableViewSelectedRow();
    const TVXType* type = record ? (record->mRecordCustomType() ? record->mRecordCustomType().get() : record->mType().get())
                                 : nullptr;
    const QString value = record ? record->valueAtIndex(fieldIndex) : QString();
    if (!record || value.isEmpty()) {
        item->setText(TVXType::UnfiledType()->fieldAtIndex(fieldIndex));
        item->setEnabled(false);
        return;
    }
    item->setText(QStringLiteral("%1 %2").arg(tr("Copy"), type ? type->fieldAtIndex(fieldIndex) : QString()));
    item->setEnabled(true);
}

void BMPopUps::updateEditMenu()
{
    BMMainWindow* w = mWindowSetup.mainWindowView();
    if (!w)
        return;
    const auto record = mTables.itemPropertiesForTableViewSelectedRow();
    if (QAction* group = BMMainWindow::menuItemWithTag(w->mEditMenu, kCopyCategoryMenuItemTag)) {
        group->setText(QStringLiteral("%1 %2").arg(tr("Copy"), tr("Group")));
        group->setEnabled(record != nullptr);
    }
    for (int n = 0; n < kNumberOfFields; ++n)
        updateEditMenuItem(n, kCopyField1MenuItemTag + n);
    if (QAction* notes = BMMainWindow::menuItemWithTag(w->mEditMenu, kCopyNotesMenuItemTag)) {
        notes->setText(QStringLiteral("%1 %2").arg(tr("Copy"), tr("Notes")));
        notes->setEnabled(record && !record->mNotes().isEmpty());
    }
}

bool BMPopUps::isItemNotSelected() const
{
    const BMMainWindow* w = mWindowSetup.mainWindowView();
    if (!w)
        return false;
    switch (mTables.currentView()) {
    case kColumnViewTag:
        return mTables.selectedRowOf(w->mColumnViewDescriptionTable) >= 0;
    case kListViewTag:
        return mTables.selectedRowsOf(w->mListViewTypesTable).size() == 1;
    default:
        return !w->mTreeViewOutlineView->selectionModel()->selectedRows().isEmpty();
    }
}

bool BMPopUps::validateAttachmentButton() const
{
    const BMMainWindow* w = mWindowSetup.mainWindowView();
    if (!w)
        return false;
    if (mTables.currentView() == kListViewTag)
        return mTables.selectedRowsOf(w->mListViewTypesTable).size() == 1;
    if (mTables.currentView() == kTreeViewTag)
        return mTables.itemPropertiesForTableViewSelectedRow() != nullptr;
    return mTables.selectedRowOf(w->mColumnViewDescriptionTable) >= 0;
}

bool BMPopUps::validateWebLogin() const
{
    const BMMainWindow* w = mWindowSetup.mainWindowView();
    const auto type = mTables.typeUIDForTableViewSelectedRow();
    if (!w || !type || type->mTypeUID() != kWebLoginUID)
        return false;
    return mTables.currentView() != kListViewTag || mTables.selectedRowsOf(w->mListViewTypesTable).size() == 1;
}

bool BMPopUps::validateMenuItem(QAction* item)
{
    // The context menu's Type and Group follow the selected record's edit right.
    mStartup.updateApplicationUIForCurrectPermissions();
    const BMMainWindow* w = mWindowSetup.mainWindowView();
    if (!w || !item)
        return false;
    if (!w->isVisible())
        return false;
    if (mState.mPrintDialogON)
        return false;
    return menuItemFollowsSelection(item);
}

bool BMPopUps::menuItemFollowsSelection(QAction* item) const
{
    const BMMainWindow* w = mWindowSetup.mainWindowView();
    if (!w || !item)
        return false;
    const int tag = item->data().toInt();
    const bool one = isItemNotSelected();
    const bool recordRow = mTables.itemPropertiesForTableViewSelectedRow() != nullptr;
    const int view = mTables.currentView();
    QMenu* viewMenu = w->mViewMenu;
    if (viewMenu->actions().contains(item) && tag >= kColumnViewTag && tag <= kTreeViewTag)
        return tag != view;
    switch (tag) {
    case kCutMenuItemTag:
    case kCopyMenuItemTag:
        return view == kListViewTag ? !mTables.selectedRowsOf(w->mListViewTypesTable).isEmpty() : one;
    case kDeleteItemMenuItemTag:
        if (view == kListViewTag)
            return !mTables.selectedRowsOf(w->mListViewTypesTable).isEmpty();
        return view == kTreeViewTag ? one && recordRow : one;
    case kPasteMenuItemTag:
        return platform::Pasteboard::generalPasteboard().string().startsWith(kQVXPasteHeader);
    case kCustomizeFieldsMenuItemTag:
    case kDuplicateItemMenuItemTag:
    case kEditItemMenuItemTag:
    case kPrintRecordMenuItemTag:
    case kAttachmentMenuItemTag:
        return view == kTreeViewTag ? one && recordRow : one;
    case kWebLoginMenuItemTag:
        return validateWebLogin();
    case kSelectAllMenuItemTag:
        return view == kListViewTag;
    case kCopyCategoryMenuItemTag:
        return recordRow;
    case kCopyNotesMenuItemTag:
    default:
        if (tag >= kCopyField1MenuItemTag && tag <= kCopyNotesMenuItemTag)
            return item->isEnabled(); // set by updateEditMenu
        return true;
    }
}

void BMPopUps::validateMenuItems()
{
    // A disabled item's shortcut does nothing: every item is kept as the
    // selection has it, not as its menu was when last opened.
    BMMainWindow* w = mWindowSetup.mainWindowView();
    if (!w)
        return;
    for (QMenu* menu : {w->mFileMenu, w->mEditMenu, w->mItemMenu, w->mViewMenu})
        for (QAction* action : menu->actions())
            if (!action->isSeparator() && action->data().isValid())
                action->setEnabled(menuItemFollowsSelection(action));
}

void BMPopUps::validateUIControls()
{
    BMMainWindow* w = mWindowSetup.mainWindowView();
    if (!w)
        return;
    const bool one = isItemNotSelected();
    const auto record = mTables.itemPropertiesForTableViewSelectedRow();
    w->mColumnDuplicateButton->setEnabled(one);
    w->mListDuplicateButton->setEnabled(one);
    if (mTables.currentView() == kTreeViewTag) {
        const bool onRecord = one && record;
        for (QToolButton* b : {w->mTreeDuplicateButton, w->mDeleteButton, w->mEditButton, w->mPrintRecordButton,
                               w->mAttachmentButton})
            b->setEnabled(onRecord);
        w->mAutoFillButton->setEnabled(validateWebLogin());
    } else {
        w->mTreeDuplicateButton->setEnabled(one);
        w->mAutoFillButton->setEnabled(validateWebLogin());
        w->mDeleteButton->setEnabled(mTables.currentView() == kListViewTag
                                         ? !mTables.selectedRowsOf(w->mListViewTypesTable).isEmpty()
                                         : mTables.selectedRowOf(w->mColumnViewDescriptionTable) >= 0);
        w->mEditButton->setEnabled(one);
        w->mPrintRecordButton->setEnabled(validateAttachmentButton());
        w->mAttachmentButton->setEnabled(validateAttachmentButton());
    }
    w->mAddButton->setEnabled(mCaches.isGroupExistsInDatabase() || !mCaches.groupsForEditing().isEmpty());
    updateEditMenu();
    validateMenuItems();
    mTables.updateDetailInfoViewWithRecord(one ? record : nullptr);

    const bool deleteLook = one && record && record->mHasAttachment();
    const QString image = deleteLook ? QStringLiteral("DeleteAttachment") : QStringLiteral("AddAttachment");
    const QString title = deleteLook ? tr("Delete Attachment") : tr("Add Attachment");
    w->mAttachmentButton->setIcon(bmimages::icon(image));
    w->mAttachmentButton->setToolTip(title);
    for (QAction* item : {BMMainWindow::menuItemWithTag(w->mItemMenu, kAttachmentMenuItemTag),
                          BMMainWindow::menuItemWithTag(mItemContextualMenu_, kContextAttachmentTag)})
        if (item) {
            item->setIcon(bmimages::icon(image));
            item->setText(title);
        }
}

void BMPopUps::createItemContextualMenu()
{
    if (mItemContextualMenu_)
        return;
    mItemContextualMenu_ = new QMenu(mWindowSetup.mainWindowView());
    mItemContextualMenu_->setObjectName(QStringLiteral("mItemContextualMenu"));
    const struct {
        const char* title;
        const char* image;
    } items[] = {
        {QT_TR_NOOP("Edit Item"), "16x16_Edit"},
        {QT_TR_NOOP("Type"), nullptr},
        {QT_TR_NOOP("Group"), nullptr},
        {QT_TR_NOOP("Customize Fields"), "16x16_Preferences"},
        {QT_TR_NOOP("Delete"), "16x16_Delete"},
        {QT_TR_NOOP("Duplicate"), "16x16_Copy"},
        {QT_TR_NOOP("Export/Email qVX"), "qvx_16x16"},
        {QT_TR_NOOP("Print..."), "print_16"},
        {QT_TR_NOOP("AutoFill"), "16x16_Globe"},
        {QT_TR_NOOP("Add Attachment"), "AddAttachment"},
    };
    int tag = 700;
    for (const auto& item : items) {
        QAction* action = mItemContextualMenu_->addAction(
            item.image ? bmimages::icon(QString::fromLatin1(item.image)) : bmimages::blankIcon(), tr(item.title));
        action->setData(tag);
        if (tag == kContextTypeTag || tag == kContextGroupTag)
            action->setMenu(new QMenu(mItemContextualMenu_));
        ++tag;
    }
    mItemContextualMenu_->insertSeparator(mItemContextualMenu_->actions().at(4));
    initContextualTypeSubMenu();
    initContextualCategorySubMenu();
}

void BMPopUps::initContextualTypeSubMenu()
{
    QMenu* submenu = emptiedSubmenu(mItemContextualMenu_, kContextTypeTag);
    if (!submenu)
        return;
    const auto types = mCaches.typesForEditing();
    for (int i = 0; i < types.size(); ++i) {
        if (types.at(i)->mTypeName().isEmpty())
            continue;
        QAction* action = addChoice(submenu, types.at(i)->mTypeName(), i);
        connect(action, &QAction::triggered, this, [this, i] { contextTypeMenuChanged(i); });
    }
    mState.mPriviousContextualType = -1;
}

void BMPopUps::initContextualCategorySubMenu()
{
    QMenu* submenu = emptiedSubmenu(mItemContextualMenu_, kContextGroupTag);
    if (!submenu)
        return;
    const auto groups = mCaches.groupsWithPermission(kPermissionAdd);
    QStringList names;
    for (int i = 0; i < groups.size(); ++i) {
        QAction* action = addChoice(submenu, groups.at(i)->mGroupName(), i);
        names.append(groups.at(i)->mGroupName());
        connect(action, &QAction::triggered, this, [this, i] { contextCategoryMenuChanged(i); });
    }
    // The user's current group is always shown; without the add right it cannot be chosen.
    const TVXUser* user = mCaches.getCurrentUser();
    const auto current = user ? mCaches.mGroups().value(user->mCurrentGroup()) : nullptr;
    if (current) {
        bool listed = false;
        for (const auto& g : groups)
            listed = listed || g->mGroupUID() == current->mGroupUID();
        if (!listed) {
            const int position = int(std::count_if(names.begin(), names.end(), [&](const QString& name) {
                return name.compare(current->mGroupName(), Qt::CaseInsensitive) < 0;
            }));
            auto* action = new QAction(current->mGroupName(), submenu);
            action->setEnabled(false);
            submenu->insertAction(submenu->actions().value(position), action);
        }
    }
    mState.mPriviousContextualCategory = -1;
}

QMenu* BMPopUps::extendMenu()
{
    if (!mItemContextualMenu_)
        return nullptr;
    initContextualTypeSubMenu();
    initContextualCategorySubMenu();
    const auto record = mTables.itemPropertiesForTableViewSelectedRow();
    tickContextItem(BMMainWindow::menuItemWithTag(mItemContextualMenu_, kContextTypeTag)->menu(),
                    record && record->mType() ? record->mType()->mTypeName() : QString(), &mState.mPriviousContextualType);
    tickContextItem(BMMainWindow::menuItemWithTag(mItemContextualMenu_, kContextGroupTag)->menu(),
                    record && record->mGroup() ? record->mGroup()->mGroupName() : QString(),
                    &mState.mPriviousContextualCategory);
    return mItemContextualMenu_;
}

// What the record context menu acts on: the list's selected rows, or the
// record the other views show.
QList<std::shared_ptr<TVXRecord>> BMPopUps::contextMenuRecords(BMMainWindow& w)
{
    QList<std::shared_ptr<TVXRecord>> records;
    if (mTables.currentView() == kListViewTag) {
        for (int row : mTables.selectedRowsOf(w.mListViewTypesTable))
            if (const auto r = mTables.listModel()->recordAt(row))
                records.append(r);
    } else if (const auto r = mTables.itemPropertiesForTableViewSelectedRow()) {
        records.append(r);
    }
    return records;
}

void BMPopUps::contextTypeMenuChanged(int tag)
{
    BMMainWindow* w = mWindowSetup.mainWindowView();
    const auto type = mCaches.typesForEditing().value(tag);
    if (!w || !type)
        return;
    const QList<std::shared_ptr<TVXRecord>> records = contextMenuRecords(*w);
    for (const auto& record : records)
        if (!record->mType() || record->mType()->mTypeUID() != type->mTypeUID())
            mTables.retypeRecord(record, type, true);
    mTables.followStoreChanges();
    validateUIControls();
}

void BMPopUps::contextCategoryMenuChanged(int tag)
{
    BMMainWindow* w = mWindowSetup.mainWindowView();
    const auto group = mCaches.groupsWithPermission(kPermissionAdd).value(tag);
    if (!w || !group)
        return;
    const QList<std::shared_ptr<TVXRecord>> records = contextMenuRecords(*w);
    for (const auto& record : records) {
        if (record->mGroup() && record->mGroup()->mGroupUID() == group->mGroupUID())
            continue;
        const auto oldGroup = record->mGroup();
        record->setMGroup(group);
        const TVXResult code = mRecordWriter.replaceRecord(record);
        if (code != kTVXDone) {
            // The server kept the record where it was.
            record->setMGroup(oldGroup);
            mCaches.refreshRecordSearchEntry(*record);
            mRecordCommands.reportStoreResult(code);
        }
    }
    mTables.followStoreChanges();
}

void BMPopUps::updateTableColumnWidth()
{
    BMTableView* table = mTables.mListViewTypesTable();
    const TVXUser* user = mCaches.getCurrentUser();
    if (!table || !user || user->mColoumWidthArray().isEmpty())
        return;
    const QList<int>& widths = user->mColoumWidthArray();
    for (int k = 1; k < kListColumnCount; ++k) {
        // Sizing a hidden column would show it again.
        if (table->isColumnHidden(k))
            continue;
        const int width = widths.value(k - 1);
        table->horizontalHeader()->resizeSection(k, width > 0 ? width : 70);
    }
}

void BMPopUps::saveTableColumnWidthToPreference()
{
    BMTableView* table = mTables.mListViewTypesTable();
    if (!table || !mCaches.getCurrentUser())
        return;
    QList<int> widths;
    for (int k = 1; k < kListColumnCount; ++k)
        widths.append(table->isColumnHidden(k) ? 0 : table->horizontalHeader()->sectionSize(k));
    // Column settings are preferences, sent behind the window: a failed save
    // goes to the error path and the window stays as shown.
    mPreferences.setColumnWidthDetails(widths, mTables.getSelectedTypeIndex());
    if (mTables.listModel()->sortColumn() >= 0)
        mPreferences.setSortDescriptorBehind(TVXSortDescriptor{QString::number(mTables.listModel()->sortColumn()),
                                                               mTables.listModel()->sortOrder() == Qt::AscendingOrder});
}

void BMPopUps::updateTableColumnsWithSelectedItem()
{
    // The value columns carry the chosen type's field names; "Field 1" .. without a type.
    const auto type = mTables.currentView() == kListViewTag ? mTables.selectedType() : nullptr;
    for (int n = 0; n < kNumberOfFields; ++n) {
        QString title = QString::fromLatin1(kDefaultFieldNames[size_t(n)]);
        if (type && !type->fieldAtIndex(n).isEmpty())
            title = type->fieldAtIndex(n);
        updateTableColumnWIthID(QString::number(n + 3), title);
    }
}

void BMPopUps::updateTableColumnWIthID(const QString& identifier, const QString& key)
{
    bool ok = false;
    const int column = identifier.toInt(&ok);
    if (!ok || column - 3 < 0 || column - 3 >= kNumberOfFields || !mTables.listModel())
        return;
    mTables.listModel()->setHeaderTitle(column, key);
}

void BMPopUps::initTableColumnSorting()
{
    BMTableView* table = mTables.mListViewTypesTable();
    const TVXUser* user = mCaches.getCurrentUser();
    if (!table || !user || !user->mSortingInfo())
        return;
    bool ok = false;
    const int column = user->mSortingInfo()->key.toInt(&ok);
    if (!ok || column < 0 || column >= kListColumnCount)
        return;
    const Qt::SortOrder order = user->mSortingInfo()->ascending ? Qt::AscendingOrder : Qt::DescendingOrder;
    mTables.listModel()->setSortIndicator(column, order);
    table->horizontalHeader()->setSortIndicator(column, order);
}

void BMPopUps::setShouldMask(bool mask)
{
    BMMainWindow* w = mWindowSetup.mainWindowView();
    if (w) {
        const QString title = mask ? tr("Unmask") : tr("Mask");
        w->mUnmaskButton->setChecked(mask);
        w->mUnmaskButton->setToolTip(title);
        if (QAction* item = BMMainWindow::menuItemWithTag(w->mViewMenu, kMaskMenuItemTag))
            item->setText(title);
    }
    if (mask == mState.mShouldMask)
        return;
    mState.mShouldMask = mask;
    emit mTables.shouldMaskChanged(mask);
    mTables.refreshBrowseState();
    if (mTables.listModel() && mTables.listModel()->rowCount() > 0)
        emit mTables.listModel()->dataChanged(mTables.listModel()->index(0, 0),
                                     mTables.listModel()->index(mTables.listModel()->rowCount() - 1, kListColumnCount - 1));
}

bool BMPopUps::isValidPassword(const QString& password)
{
    if (password.isEmpty())
        return true;
    if (password.size() == 1)
        return false;
    const QChar first = password.at(0);
    return std::any_of(password.begin(), password.end(), [first](QChar c) { return c != first; });
}

QList<std::shared_ptr<TVXRecord>> BMPopUps::indexSetForExporting(bool listed)
{
    BMMainWindow* w = mWindowSetup.mainWindowView();
    if (!w)
        return {};
    QList<std::shared_ptr<TVXRecord>> records;
    switch (mTables.currentView()) {
    case kColumnViewTag: {
        const int smartRow = mTables.selectedRowOf(w->mSmartTypesTable);
        if (smartRow >= 0 && mTables.selectedRowOf(w->mColumnViewTypesTable) < 0) {
            if (listed)
                return mTables.itemsForDiscriptionTable(true);
            if (const auto r = mTables.selectedSmartRecord())
                records.append(r);
            return records;
        }
        if (listed)
            return mTables.sortedItemsForListView();
        if (const auto r = mTables.itemPropertiesForTableViewSelectedRow())
            records.append(r);
        return records;
    }
    case kListViewTag: {
        if (mTables.listModel()->records().isEmpty())
            return {};
        if (listed)
            return mTables.listModel()->records();
        for (int row : mTables.selectedRowsOf(w->mListViewTypesTable))
            records.append(mTables.listModel()->recordAt(row));
        return records;
    }
    default:
        if (listed) {
            mTables.refreshBrowseState();
            return mCaches.itemsOfGroup(mTables.browseState().group.get(), nullptr, mTables.browseState().searchText);
        }
        if (const auto r = mTables.itemPropertiesForTableViewSelectedRow())
            records.append(r);
        return records;
    }
}

void BMPopUps::tickContextItem(QMenu* submenu, const QString& title, int* previousTag)
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
