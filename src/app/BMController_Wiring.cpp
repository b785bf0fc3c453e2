// The main window's controls connected to the commands, the detail pane
// plugged into the window, and what the record sheet asks of the application.
#include "app/BMController.h"

#include "app/AppControllerRules.h"
#include "app/ExchangeRules.h"
#include "model/TVXRecord.h"
#include "model/TVXType.h"
#include "store/accounts/AccountAdmin.h"
#include "views/BMDetailsView.h"
#include "views/BMPrintDocument.h"
#include "views/BMSplitView.h"
#include "views/BMTableView.h"
#include "windows/BMCustomSettingsController.h"
#include "windows/BMDetailsWindowController.h"
#include "windows/BMMainWindow.h"

#include <QAction>
#include <QComboBox>
#include <QEvent>
#include <QMenu>
#include <QPointer>
#include <QShortcut>
#include <QToolButton>
#include <QTreeView>

#include <cmath>
#include <functional>

namespace {

// The pop-ups' editing items carry these in place of an index.
const QString kEditGroupsItem = QStringLiteral("EditGroups");
const QString kEditTypesItem = QStringLiteral("EditTypes");

// What the detail pane asks, answered by the controller.
class BMDetailsPaneDelegate : public BMDetailsViewDelegate {
public:
    explicit BMDetailsPaneDelegate(BMController& controller) : mController(controller) {}

    QMenu* extendMenu(QContextMenuEvent*, BMDetailsView*) override { return mController.extendMenu(); }
    void deleteSelected() override { mController.deleteSelected(nullptr); }
    void showStoredChanges() override
    {
        mController.followStoreChanges();
        mController.validateUIControls();
    }
    std::shared_ptr<TVXRecord> itemPropertiesForTableViewSelectedRow() override
    {
        return mController.itemPropertiesForTableViewSelectedRow();
    }
    bool checkForRecordPermissionFor(uint16_t mask, const BMGroup* group) override
    {
        return mController.checkForRecordPermissionFor(mask, group);
    }
    std::shared_ptr<TVXRecord> runDetailsSheet(const std::shared_ptr<TVXRecord>& record, int& operation) override
    {
        return mController.detailsWindowController().orderFrontDetailsWindowWithInfo(record, operation);
    }
    std::shared_ptr<TVXRecord> runDetailsSheet(const std::shared_ptr<TVXRecord>& record, int& operation,
                                               const RecordStorer& storer) override
    {
        return mController.detailsWindowController().orderFrontDetailsWindowWithInfo(record, operation, storer);
    }

private:
    BMController& mController;
};

void onClick(QAbstractButton* button, QObject* context, std::function<void()> command)
{
    QObject::connect(button, &QAbstractButton::clicked, context, [command = std::move(command)] { command(); });
}

void onTrigger(QAction* item, QObject* context, std::function<void()> command)
{
    if (item)
        QObject::connect(item, &QAction::triggered, context, [command = std::move(command)] { command(); });
}

// The limits of a split view's divider, as the rules give them.
BMSplitView::Constraint splitLimits(appctl::SplitViewKind kind)
{
    return [kind](int proposed, int, const BMSplitView& view) {
        const double extent = view.extent();
        double position = appctl::constrainMinCoordinate(kind, proposed, extent);
        position = appctl::constrainMaxCoordinate(kind, position, extent, view.handleWidth());
        return static_cast<int>(std::lround(position));
    };
}

} // namespace

// --- commands ---------------------------------------------------------------------

void BMController::connectCommands(BMMainWindow* w)
{
    if (!w || mCommandsConnected)
        return;
    mCommandsConnected = true;

    // The record buttons below the views.
    onClick(w->mAddButton, this, [this, w] { addItemsToDetail(w->mAddButton); });
    onClick(w->mEditButton, this, [this, w] { editItemDoubleAction(w->mEditButton); });
    onClick(w->mDeleteButton, this, [this, w] { deleteSelected(w->mDeleteButton); });
    for (QToolButton* button : {w->mColumnDuplicateButton, w->mListDuplicateButton, w->mTreeDuplicateButton})
        onClick(button, this, [this, button] { duplicateItem(button); });
    onClick(w->mPrintRecordButton, this, [this] { printRecord(); });
    onClick(w->mAttachmentButton, this, [this] { attachmentAction(); });
    onClick(w->mAutoFillButton, this, [this] { webLogin(); });

    // A double click on a record edits it (on a type row of the tree: opens or closes it).
    for (QAbstractItemView* table : std::initializer_list<QAbstractItemView*>{
             w->mListViewTypesTable, w->mColumnViewDescriptionTable, w->mTreeViewOutlineView})
        connect(table, &QAbstractItemView::doubleClicked, this, [this, table] { editItemDoubleAction(table); });
    // Return does the same, in every view.
    for (QAbstractItemView* table : std::initializer_list<QAbstractItemView*>{
             w->mListViewTypesTable, w->mColumnViewDescriptionTable, w->mTreeViewOutlineView})
        for (const auto key : {Qt::Key_Return, Qt::Key_Enter})
            new QShortcut(QKeySequence(key), table, this, [this, table] { editItemDoubleAction(table); },
                          Qt::WidgetShortcut);

    // Toolbar.
    onClick(w->mToolbarOptionButton, this, [this, w] { displayOptionsPanel(w->mToolbarOptionButton); });
    onClick(w->mToolbarLockButton, this, [this, w] { displayLockPanel(w->mToolbarLockButton); });

    // The pop-ups' editing items open the group/type editor.
    connect(w->mCategoriesPopup, &QComboBox::activated, this, [this, w](int index) {
        if (w->mCategoriesPopup->itemData(index).toString() == kEditGroupsItem)
            displayEditGroupPanel(w->mCategoriesPopup);
    });
    connect(w->mTypesPopup, &QComboBox::activated, this, [this, w](int index) {
        if (w->mTypesPopup->itemData(index).toString() == kEditTypesItem)
            displayEditTypesPanel(w->mTypesPopup);
    });

    // Menu items found by tag.
    const auto tagged = [this, w](int tag, std::function<void(QAction*)> command) {
        QAction* item = w->menuItemWithTag(tag);
        onTrigger(item, this, [item, command = std::move(command)] { command(item); });
    };
    tagged(kSetPasswordMenuItemTag, [this](QAction*) { setPassword(); });
    tagged(kSetMasterPasswordMenuItemTag, [this](QAction*) { setMasterPassword(); });
    tagged(kEditUserMenuItemTag, [this](QAction* item) { displayEditUsersPanel(item); });
    tagged(kEditCategoriesMenuItemTag, [this](QAction* item) { displayEditGroupPanel(item); });
    tagged(kEditTypesMenuItemTag, [this](QAction* item) { displayEditTypesPanel(item); });
    tagged(kLockMenuItemTag, [this](QAction* item) { displayLockPanel(item); });
    tagged(kPrintMenuItemTag, [this](QAction*) { print(); });
    tagged(kDeDupeMenuItemTag, [this](QAction* item) { deDupe(item); });
    tagged(kCloseMenuItemTag, [w](QAction*) { w->close(); });
    tagged(kQuitMenuItemTag, [this](QAction*) { terminate(); });
    for (int tag : {exchange::kTagImportQVX, exchange::kTagImportCSV, exchange::kTagRestore})
        tagged(tag, [this, tag](QAction*) { importSelectedFile(tag); });
    for (int tag : {exchange::kTagExportQVXWithAttachments, exchange::kTagExportCSV})
        tagged(tag, [this, tag](QAction*) { exportSelectedFile(tag); });
    // A backup is a qVX file of the records, with their attachments.
    tagged(kBackupMenuItemTag, [this](QAction*) { exportSelectedFile(exchange::kTagExportQVXWithAttachments); });
    onTrigger(w->mOptionsMenuItem, this, [this, w] { displayOptionsPanel(w->mOptionsMenuItem); });
    onTrigger(w->mReloadMenuItem, this, [this, w] { reloadDatabase(w->mReloadMenuItem); });
    onTrigger(w->mMailMenuItem, this, [this] { mailSelectedFile(); });
    onTrigger(w->mEventLoggerMenuItem, this, [this, w] { eventLogger(w->mEventLoggerMenuItem); });
    onTrigger(w->mHelpMenuItem, this, [this, w] { showHelp(w->mHelpMenuItem); });

    // Item menu.
    tagged(kAddItemMenuItemTag, [this](QAction* item) { addItemsToDetail(item); });
    tagged(kEditItemMenuItemTag, [this](QAction* item) { editItemDoubleAction(item); });
    tagged(kDeleteItemMenuItemTag, [this](QAction* item) { deleteSelected(item); });
    // The Delete key in a record table: the Delete command, its confirmation included.
    for (QAbstractItemView* table : std::initializer_list<QAbstractItemView*>{
             w->mListViewTypesTable, w->mColumnViewDescriptionTable, w->mTreeViewOutlineView})
        new QShortcut(QKeySequence::Delete, table, this, [this, table] { deleteSelected(table); }, Qt::WidgetShortcut);
    tagged(kDuplicateItemMenuItemTag, [this](QAction* item) { duplicateItem(item); });
    tagged(kCustomizeFieldsMenuItemTag, [this](QAction* item) { displayFieldCustomizePanel(item); });
    tagged(kWebLoginMenuItemTag, [this](QAction*) { webLogin(); });
    tagged(kPrintRecordMenuItemTag, [this](QAction*) { printRecord(); });
    tagged(kAttachmentMenuItemTag, [this](QAction*) { attachmentAction(); });

    // Edit menu: the copy items.
    for (int tag = kCopyCategoryMenuItemTag; tag <= kCopyNotesMenuItemTag; ++tag)
        tagged(tag, [this](QAction* item) { copyFieldValue(item); });
    tagged(kSelectAllMenuItemTag, [this](QAction* item) { selectAll(item); });

    // The record context menu (the type and group submenus connect their own items).
    createItemContextualMenu();
    const auto context = [this](int tag, std::function<void(QAction*)> command) {
        QAction* item = BMMainWindow::menuItemWithTag(mItemContextualMenu(), tag);
        onTrigger(item, this, [item, command = std::move(command)] { command(item); });
    };
    context(700, [this](QAction* item) { editItemDoubleAction(item); });
    context(703, [this](QAction* item) { displayFieldCustomizePanel(item); });
    context(704, [this](QAction* item) { deleteSelected(item); });
    context(705, [this](QAction* item) { duplicateItem(item); });
    context(706, [this](QAction*) { exportItemsToQVX(); });
    context(707, [this](QAction*) { printRecord(); });
    context(708, [this](QAction*) { webLogin(); });
    context(709, [this](QAction*) { attachmentAction(); });
}

// --- the detail pane --------------------------------------------------------------

BMDetailsViewDelegate* BMController::detailsViewDelegate()
{
    if (!mPaneDelegate)
        mPaneDelegate = std::make_shared<BMDetailsPaneDelegate>(*this);
    return mPaneDelegate.get();
}

void BMController::plugDetailPane(BMMainWindow* w)
{
    if (!w || qobject_cast<BMDetailsView*>(w->detailsView()))
        return;
    auto* pane = new BMDetailsView(nullptr, &mCaches, &mIcons, &mRecordWriter);
    pane->setObjectName(QStringLiteral("mDetailInfoView"));
    w->setDetailsView(pane);
    setDetailInfoView(pane);
    pane->setDelegate(detailsViewDelegate());
    pane->setShouldMask(mShouldMask);
    connect(this, &BMController::detailInfoRecordChanged, pane,
            [pane](const std::shared_ptr<TVXRecord>& record, const QString& title, const QImage& image) {
                if (!record) {
                    pane->resetDetailInfo();
                    return;
                }
                pane->setHeaderTitle(title);
                pane->setHeaderImage(image);
                pane->setDetailInfo(record);
            });
    connect(this, &BMController::shouldMaskChanged, pane, &BMDetailsView::setShouldMask);
    // Moving a divider redraws the pane at its new width.
    for (QSplitter* split : {w->mMainSplitView, w->mSubSplitView})
        connect(split, &QSplitter::splitterMoved, pane, [pane] { pane->update(); });
    connect(this, &QObject::destroyed, pane, [pane] { pane->setDelegate(nullptr); });
}

// --- the record sheet -------------------------------------------------------------

bool BMController::printRecordDetails(const std::shared_ptr<TVXRecord>& record, QWidget* parent)
{
    if (!record)
        return false;
    // Drawn by a pane of its own at the page's width; the screen's mask state holds.
    BMDetailsView view(nullptr, &mCaches, &mIcons, &mRecordWriter);
    view.setShouldMask(mShouldMask);
    view.showRecord(record);
    view.resize(static_cast<int>(defaultPrintableWidth()), 100);
    view.setFrames();
    const BMPrintDocument document = documentForDetailsView(view, recordPrintFooter(mCurrentUserName));
    mPrintDialogON = true;
    const bool printed = presentPrintDocument(document, parent ? parent : mMainWindow.data());
    printOperationDidRun(printed);
    return printed;
}

void BMController::installRecordSheetHooks(BMDetailsWindowController& sheet)
{
    // The sheet outlives a controller made for a while (tests); it then asks nobody.
    QPointer<BMController> self(this);
    sheet.setCustomFieldsRunner([self](QWidget* parent, std::shared_ptr<TVXType> fields,
                                       std::shared_ptr<TVXType> resetType,
                                       int& operation) -> std::shared_ptr<TVXType> {
        if (!self)
            return nullptr;
        BMCustomSettingsController::RecordFieldSet set;
        set.type = std::move(resetType);
        set.recordCustomType = std::move(fields);
        self->customSettingsController().displayCustomSettingsPanel(parent, set);
        operation = kOperationCustomType;
        // Only an accepted sheet hands back a field set.
        return set.typeCustomFields;
    });
    sheet.setRecordPrinter([self](const std::shared_ptr<TVXRecord>& record, QWidget* parent) {
        if (self)
            self->printRecordDetails(record, parent);
    });
}

// --- launch steps -----------------------------------------------------------------

void BMController::registerRecordDragTypes()
{
    BMMainWindow* w = mainWindowView();
    if (!w)
        return;
    // Records are dropped on a type, in the column view's type table or the tree.
    w->mColumnViewTypesTable->setAcceptDrops(true);
    w->mColumnViewTypesTable->setDragDropMode(QAbstractItemView::DropOnly);
    w->mTreeViewOutlineView->setAcceptDrops(true);
    w->mTreeViewOutlineView->setDragDropMode(QAbstractItemView::DragDrop);
    for (QAbstractItemView* source :
         std::initializer_list<QAbstractItemView*>{w->mColumnViewDescriptionTable, w->mTreeViewOutlineView})
        source->setDefaultDropAction(Qt::MoveAction);
}

void BMController::correctTabNextKeyViews()
{
    BMMainWindow* w = mainWindowView();
    if (!w)
        return;
    // Types, then their records, then the smart types.
    QWidget::setTabOrder(w->mColumnViewTypesTable, w->mColumnViewDescriptionTable);
    QWidget::setTabOrder(w->mColumnViewDescriptionTable, w->mSmartTypesTable);
}

void BMController::removeUnofferedMenuItems()
{
    BMMainWindow* w = mainWindowView();
    if (!w)
        return;
    // A store administrator keeps the account window, the master-password
    // change and the event log; for every other user they are taken out of
    // their menus (the items themselves stay).
    if (mAccountAdmin.isStoreAdministrator())
        return;
    for (QAction* item : {w->mEditUserMenuItem, w->mSetMasterPasswordMenuItem})
        if (item)
            w->mFileMenu->removeAction(item);
    if (w->mEventLoggerMenuItem)
        w->mViewMenu->removeAction(w->mEventLoggerMenuItem);
}

void BMController::applySplitViewLimits(BMMainWindow* w)
{
    if (!w)
        return;
    const std::pair<QSplitter*, appctl::SplitViewKind> splits[] = {
        {w->mMainSplitView, appctl::SplitViewKind::Main},
        {w->mSubSplitView, appctl::SplitViewKind::Sub},
        {w->mSmartTypeSplitView, appctl::SplitViewKind::SmartType},
    };
    for (const auto& [split, kind] : splits)
        if (auto* view = qobject_cast<BMSplitView*>(split))
            view->setConstraint(splitLimits(kind));
}

// --- the main window's resizes ----------------------------------------------------

namespace {

// Hands the window's resizes to a function (the window has no delegate calls of its own).
class WindowResizeRelay : public QObject {
public:
    WindowResizeRelay(QWidget* window, std::function<void()> resized)
        : QObject(window), mResized(std::move(resized))
    {
        window->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == parent() && event->type() == QEvent::Resize)
            mResized();
        return false;
    }

private:
    std::function<void()> mResized;
};

} // namespace

void BMController::watchMainWindow()
{
    if (!mMainWindow || mWatchingMainWindow)
        return;
    mWatchingMainWindow = true;
    QPointer<BMController> self(this);
    new WindowResizeRelay(mMainWindow, [self] {
        if (!self)
            return;
        self->windowDidResize(true);
        if (BMDetailsView* pane = self->detailInfoView())
            pane->update();
    });
}
