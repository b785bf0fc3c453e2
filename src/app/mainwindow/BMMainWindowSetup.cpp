// The main window's controls connected to the commands, the detail pane
// plugged into the window, and what the record sheet asks of the application.
#include "app/mainwindow/BMMainWindowSetup.h"
#include "app/AppControllerRules.h"
#include "app/BMController.h"
#include "app/exchange/ExchangeRules.h"
#include "model/BMGroup.h"
#include "model/TVXRecord.h"
#include "model/TVXType.h"
#include "model/TVXUser.h"
#include "platform/core/NotificationCenter.h"
#include "platform/core/UserDefaults.h"
#include "store/accounts/AccountAdmin.h"
#include "store/accounts/HintQuestions.h"
#include "store/loading/StoreCaches.h"
#include "views/BMDetailsView.h"
#include "views/BMImageCell.h"
#include "views/BMImages.h"
#include "views/BMPrintDocument.h"
#include "views/BMRecordModels.h"
#include "views/BMSplitView.h"
#include "views/BMSplitViewLayout.h"
#include "views/BMTableView.h"
#include "views/ImageAndTextCell.h"
#include "windows/BMCustomSettingsController.h"
#include "store/writers/RecordWriter.h"
#include "windows/BMDetailsWindowController.h"
#include "windows/BMMainWindow.h"

#include <QAction>
#include <QButtonGroup>
#include <QClipboard>
#include <QGuiApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QDialog>
#include <QEvent>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QTimer>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QSplitter>
#include <QStackedWidget>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <QVBoxLayout>
#include <cmath>
#include <functional>

BMMainWindowSetup::BMMainWindowSetup(BMController& app)
    : mState(app.state()), mWindowDelegate(app), mAccountAdmin(app.store().accountAdmin),
      mCaches(app.store().caches), mIcons(app.store().icons), mPreferences(app.store().preferences),
      mRecordWriter(app.store().recordWriter), mAttachmentCommands(app.attachmentCommands()),
      mImportExport(app.importExport()), mLockControl(app.lockControl()),
      mPasswordPanels(app.passwordPanels()), mPopUps(app.popUps()), mRecordCommands(app.recordCommands()),
      mStartup(app.startup()), mTables(app.tables())
{
}

namespace {

// The pop-ups' editing items carry these in place of an index.
const QString kEditGroupsItem = QStringLiteral("EditGroups");
const QString kEditTypesItem = QStringLiteral("EditTypes");

// What the detail pane asks, answered by the controller.
class BMDetailsPaneDelegate : public BMDetailsViewDelegate {
public:
    BMDetailsPaneDelegate(BMPopUps& popUps, BMRecordCommands& commands, BMTables& tables)
        : mPopUps(popUps), mCommands(commands), mTables(tables)
    {
    }

    QMenu* extendMenu(QContextMenuEvent*, BMDetailsView*) override { return mPopUps.extendMenu(); }
    void deleteSelected() override { mCommands.deleteSelected(nullptr); }
    void showStoredChanges() override
    {
        mTables.followStoreChanges();
        mPopUps.validateUIControls();
    }
    std::shared_ptr<TVXRecord> itemPropertiesForTableViewSelectedRow() override
    {
        return mTables.itemPropertiesForTableViewSelectedRow();
    }
    bool checkForRecordPermissionFor(uint16_t mask, const BMGroup* group) override
    {
        return mCommands.checkForRecordPermissionFor(mask, group);
    }
    std::shared_ptr<TVXRecord> runDetailsSheet(const std::shared_ptr<TVXRecord>& record, int& operation) override
    {
        return mCommands.detailsWindowController().orderFrontDetailsWindowWithInfo(record, operation);
    }
    std::shared_ptr<TVXRecord> runDetailsSheet(const std::shared_ptr<TVXRecord>& record, int& operation,
                                               const RecordStorer& store, const StoreReport& report) override
    {
        // The sheet waits for the server's answer while the window goes on.
        TVXRecordWriter& writer = mCommands.recordWriter();
        return mCommands.detailsWindowController().orderFrontDetailsWindowSaving(
            record, operation,
            [&writer, store](const std::shared_ptr<TVXRecord>& built, int storedOperation,
                             const BMDetailsWindowController::SaveAnswer& answer) {
                writer.saveBehindWindow([store, built, storedOperation] { return store(built, storedOperation); },
                                        answer);
            },
            report);
    }

private:
    BMPopUps& mPopUps;
    BMRecordCommands& mCommands;
    BMTables& mTables;
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

void BMMainWindowSetup::connectCommands(BMMainWindow* w)
{
    if (!w || mCommandsConnected)
        return;
    mCommandsConnected = true;

    // The record buttons below the views.
    onClick(w->mAddButton, this, [this, w] { mRecordCommands.addItemsToDetail(w->mAddButton); });
    onClick(w->mEditButton, this, [this, w] { mRecordCommands.editItemDoubleAction(w->mEditButton); });
    onClick(w->mDeleteButton, this, [this, w] { mRecordCommands.deleteSelected(w->mDeleteButton); });
    for (QToolButton* button : {w->mColumnDuplicateButton, w->mListDuplicateButton, w->mTreeDuplicateButton})
        onClick(button, this, [this, button] { mRecordCommands.duplicateItem(button); });
    onClick(w->mPrintRecordButton, this, [this] { mAttachmentCommands.printRecord(); });
    onClick(w->mAttachmentButton, this, [this] { mAttachmentCommands.attachmentAction(); });
    onClick(w->mAutoFillButton, this, [this] { mAttachmentCommands.webLogin(); });

    // A double click on a record edits it (on a type row of the tree: opens or closes it).
    for (QAbstractItemView* table : std::initializer_list<QAbstractItemView*>{
             w->mListViewTypesTable, w->mColumnViewDescriptionTable, w->mTreeViewOutlineView})
        connect(table, &QAbstractItemView::doubleClicked, this, [this, table] { mRecordCommands.editItemDoubleAction(table); });
    // Return does the same, in every view.
    for (QAbstractItemView* table : std::initializer_list<QAbstractItemView*>{
             w->mListViewTypesTable, w->mColumnViewDescriptionTable, w->mTreeViewOutlineView})
        for (const auto key : {Qt::Key_Return, Qt::Key_Enter})
            new QShortcut(QKeySequence(key), table, this, [this, table] { mRecordCommands.editItemDoubleAction(table); },
                          Qt::WidgetShortcut);

    // Toolbar.
    onClick(w->mToolbarOptionButton, this, [this, w] { mRecordCommands.displayOptionsPanel(w->mToolbarOptionButton); });
    onClick(w->mToolbarLockButton, this, [this, w] { mLockControl.displayLockPanel(w->mToolbarLockButton); });

    // The pop-ups' editing items open the group/type editor.
    connect(w->mCategoriesPopup, &QComboBox::activated, this, [this, w](int index) {
        if (w->mCategoriesPopup->itemData(index).toString() == kEditGroupsItem)
            mRecordCommands.displayEditGroupPanel(w->mCategoriesPopup);
    });
    connect(w->mTypesPopup, &QComboBox::activated, this, [this, w](int index) {
        if (w->mTypesPopup->itemData(index).toString() == kEditTypesItem)
            mRecordCommands.displayEditTypesPanel(w->mTypesPopup);
    });
    connectMenuItems(w);
    connectContextMenu();
}

void BMMainWindowSetup::connectMenuItems(BMMainWindow* w)
{
    // Menu items found by tag.
    const auto tagged = [this, w](int tag, std::function<void(QAction*)> command) {
        QAction* item = w->menuItemWithTag(tag);
        onTrigger(item, this, [item, command = std::move(command)] { command(item); });
    };
    tagged(kSetPasswordMenuItemTag, [this](QAction*) { mPasswordPanels.setPassword(); });
    tagged(kSetMasterPasswordMenuItemTag, [this](QAction*) { mPasswordPanels.setMasterPassword(); });
    tagged(kEditUserMenuItemTag, [this](QAction* item) { mRecordCommands.displayEditUsersPanel(item); });
    tagged(kEditCategoriesMenuItemTag, [this](QAction* item) { mRecordCommands.displayEditGroupPanel(item); });
    tagged(kEditTypesMenuItemTag, [this](QAction* item) { mRecordCommands.displayEditTypesPanel(item); });
    tagged(kLockMenuItemTag, [this](QAction* item) { mLockControl.displayLockPanel(item); });
    tagged(kPrintMenuItemTag, [this](QAction*) { mAttachmentCommands.print(); });
    tagged(kDeDupeMenuItemTag, [this](QAction* item) { mRecordCommands.deDupe(item); });
    tagged(kCloseMenuItemTag, [w](QAction*) { w->close(); });
    tagged(kQuitMenuItemTag, [this](QAction*) { mStartup.terminate(); });
    for (int tag : {exchange::kTagImportQVX, exchange::kTagImportCSV, exchange::kTagRestore})
        tagged(tag, [this, tag](QAction*) { mImportExport.importSelectedFile(tag); });
    for (int tag : {exchange::kTagExportQVXWithAttachments, exchange::kTagExportCSV})
        tagged(tag, [this, tag](QAction*) { mImportExport.exportSelectedFile(tag); });
    // A backup is a qVX file of the records, with their attachments.
    tagged(kBackupMenuItemTag, [this](QAction*) { mImportExport.exportSelectedFile(exchange::kTagExportQVXWithAttachments); });
    onTrigger(w->mOptionsMenuItem, this, [this, w] { mRecordCommands.displayOptionsPanel(w->mOptionsMenuItem); });
    onTrigger(w->mReloadMenuItem, this, [this, w] { mStartup.reloadDatabase(w->mReloadMenuItem); });
    onTrigger(w->mMailMenuItem, this, [this] { mImportExport.mailSelectedFile(); });
    onTrigger(w->mEventLoggerMenuItem, this, [this, w] { mRecordCommands.eventLogger(w->mEventLoggerMenuItem); });
    onTrigger(w->mHelpMenuItem, this, [this, w] { mRecordCommands.showHelp(w->mHelpMenuItem); });

    // Item menu.
    tagged(kAddItemMenuItemTag, [this](QAction* item) { mRecordCommands.addItemsToDetail(item); });
    tagged(kEditItemMenuItemTag, [this](QAction* item) { mRecordCommands.editItemDoubleAction(item); });
    tagged(kDeleteItemMenuItemTag, [this](QAction* item) { mRecordCommands.deleteSelected(item); });
    // The Delete key in a record table: the Delete command, its confirmation included.
    for (QAbstractItemView* table : std::initializer_list<QAbstractItemView*>{
             w->mListViewTypesTable, w->mColumnViewDescriptionTable, w->mTreeViewOutlineView})
        new QShortcut(QKeySequence::Delete, table, this, [this, table] { mRecordCommands.deleteSelected(table); }, Qt::WidgetShortcut);
    tagged(kDuplicateItemMenuItemTag, [this](QAction* item) { mRecordCommands.duplicateItem(item); });
    tagged(kCustomizeFieldsMenuItemTag, [this](QAction* item) { mRecordCommands.displayFieldCustomizePanel(item); });
    tagged(kWebLoginMenuItemTag, [this](QAction*) { mAttachmentCommands.webLogin(); });
    tagged(kPrintRecordMenuItemTag, [this](QAction*) { mAttachmentCommands.printRecord(); });
    tagged(kAttachmentMenuItemTag, [this](QAction*) { mAttachmentCommands.attachmentAction(); });

    // Edit menu: the copy items.
    for (int tag = kCopyCategoryMenuItemTag; tag <= kCopyNotesMenuItemTag; ++tag)
        tagged(tag, [this](QAction* item) { mRecordCommands.copyFieldValue(item); });
    tagged(kSelectAllMenuItemTag, [this](QAction* item) { mRecordCommands.selectAll(item); });
}

void BMMainWindowSetup::connectContextMenu()
{
    mLockControl.watchLockKeyOverSheets();

    // The record context menu (the type and group submenus connect their own items).
    mPopUps.createItemContextualMenu();
    const auto context = [this](int tag, std::function<void(QAction*)> command) {
        QAction* item = BMMainWindow::menuItemWithTag(mPopUps.mItemContextualMenu(), tag);
        onTrigger(item, this, [item, command = std::move(command)] { command(item); });
    };
    context(700, [this](QAction* item) { mRecordCommands.editItemDoubleAction(item); });
    context(703, [this](QAction* item) { mRecordCommands.displayFieldCustomizePanel(item); });
    context(704, [this](QAction* item) { mRecordCommands.deleteSelected(item); });
    context(705, [this](QAction* item) { mRecordCommands.duplicateItem(item); });
    context(706, [this](QAction*) { mImportExport.exportItemsToQVX(); });
    context(707, [this](QAction*) { mAttachmentCommands.printRecord(); });
    context(708, [this](QAction*) { mAttachmentCommands.webLogin(); });
    context(709, [this](QAction*) { mAttachmentCommands.attachmentAction(); });
}

// --- the detail pane --------------------------------------------------------------

BMDetailsViewDelegate* BMMainWindowSetup::detailsViewDelegate()
{
    if (!mPaneDelegate)
        mPaneDelegate = std::make_shared<BMDetailsPaneDelegate>(mPopUps, mRecordCommands, mTables);
    return mPaneDelegate.get();
}

void BMMainWindowSetup::plugDetailPane(BMMainWindow* w)
{
    if (!w || qobject_cast<BMDetailsView*>(w->detailsView()))
        return;
    auto* pane = new BMDetailsView(nullptr, &mCaches, &mIcons, &mRecordWriter);
    pane->setObjectName(QStringLiteral("mDetailInfoView"));
    w->setDetailsView(pane);
    mAttachmentCommands.setDetailInfoView(pane);
    pane->setDelegate(detailsViewDelegate());
    pane->setShouldMask(mState.mShouldMask);
    connect(&mTables, &BMTables::detailInfoRecordChanged, pane,
            [pane](const std::shared_ptr<TVXRecord>& record, const QString& title, const QImage& image) {
                if (!record) {
                    pane->resetDetailInfo();
                    return;
                }
                pane->setHeaderTitle(title);
                pane->setHeaderImage(image);
                pane->setDetailInfo(record);
            });
    connect(&mTables, &BMTables::shouldMaskChanged, pane, &BMDetailsView::setShouldMask);
    // Moving a divider redraws the pane at its new width.
    for (QSplitter* split : {w->mMainSplitView, w->mSubSplitView})
        connect(split, &QSplitter::splitterMoved, pane, [pane] { pane->update(); });
    connect(this, &QObject::destroyed, pane, [pane] { pane->setDelegate(nullptr); });
}

// --- the record sheet -------------------------------------------------------------

bool BMMainWindowSetup::printRecordDetails(const std::shared_ptr<TVXRecord>& record, QWidget* parent)
{
    if (!record)
        return false;
    // Drawn by a pane of its own at the page's width; the screen's mask state holds.
    BMDetailsView view(nullptr, &mCaches, &mIcons, &mRecordWriter);
    view.setShouldMask(mState.mShouldMask);
    view.showRecord(record);
    view.resize(static_cast<int>(defaultPrintableWidth()), 100);
    view.setFrames();
    const BMPrintDocument document = documentForDetailsView(view, recordPrintFooter(mState.mCurrentUserName));
    mState.mPrintDialogON = true;
    const bool printed = presentPrintDocument(document, parent ? parent : mState.mMainWindow.data());
    mAttachmentCommands.printOperationDidRun(printed);
    return printed;
}

void BMMainWindowSetup::installRecordSheetHooks(BMDetailsWindowController& sheet)
{
    // The sheet outlives a controller made for a while (tests); it then asks nobody.
    QPointer<BMMainWindowSetup> self(this);
    sheet.setCustomFieldsRunner([self](QWidget* parent, std::shared_ptr<TVXType> fields,
                                       std::shared_ptr<TVXType> resetType,
                                       int& operation) -> std::shared_ptr<TVXType> {
        if (!self)
            return nullptr;
        BMCustomSettingsController::RecordFieldSet set;
        set.type = std::move(resetType);
        set.recordCustomType = std::move(fields);
        self->mRecordCommands.customSettingsController().displayCustomSettingsPanel(parent, set);
        operation = kOperationCustomType;
        // Only an accepted sheet hands back a field set.
        return set.typeCustomFields;
    });
    sheet.setRecordPrinter([self](const std::shared_ptr<TVXRecord>& record, QWidget* parent) {
        if (self)
            self->printRecordDetails(record, parent);
    });
    // A save refused as stale reloads from the sheet, which keeps its input.
    sheet.setStoreReloader([self] {
        if (!self || !self->mState.storeConnected())
            return false;
        self->mStartup.reloadDatabase(nullptr);
        return self->mState.storeConnected();
    });
}

// --- launch steps -----------------------------------------------------------------

void BMMainWindowSetup::registerRecordDragTypes()
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

void BMMainWindowSetup::correctTabNextKeyViews()
{
    BMMainWindow* w = mainWindowView();
    if (!w)
        return;
    // Types, then their records, then the smart types.
    QWidget::setTabOrder(w->mColumnViewTypesTable, w->mColumnViewDescriptionTable);
    QWidget::setTabOrder(w->mColumnViewDescriptionTable, w->mSmartTypesTable);
}

void BMMainWindowSetup::removeUnofferedMenuItems()
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

void BMMainWindowSetup::applySplitViewLimits(BMMainWindow* w)
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

void BMMainWindowSetup::watchMainWindow()
{
    if (!mState.mMainWindow || mWatchingMainWindow)
        return;
    mWatchingMainWindow = true;
    QPointer<BMMainWindowSetup> self(this);
    new WindowResizeRelay(mState.mMainWindow, [self] {
        if (!self)
            return;
        self->mStartup.windowDidResize(true);
        if (BMDetailsView* pane = self->mAttachmentCommands.detailInfoView())
            pane->update();
    });
}

// The main window: its toolbar, the three record views and the split views.

using appctl::kMaskingStatusKey;
using appctl::kPreferenceChangedNotification;

BMMainWindow* BMMainWindowSetup::mainWindowView() const
{
    return qobject_cast<BMMainWindow*>(mState.mMainWindow);
}

BMMainWindow* BMMainWindowSetup::createMainWindow()
{
    if (auto* existing = mainWindowView())
        return existing;
    if (BMMainWindow* partly = mWindowInParts) {
        mWindowInParts = nullptr;
        while (partly->buildNextPart()) {
        }
        return installMainWindow(partly);
    }
    return installMainWindow(new BMMainWindow);
}

BMMainWindow* BMMainWindowSetup::installMainWindow(BMMainWindow* window)
{
    window->setDelegate(&mWindowDelegate);
    mState.mMainWindow = window;
    mTables.makeTableModels();
    setupToolbarForWindow(window);
    connectMainWindow(window);
    mPopUps.createItemContextualMenu();
    mPopUps.setIconToMenuItems();
    plugDetailPane(window);
    connectCommands(window);
    applySplitViewLimits(window);
    return window;
}

BMMainWindowSetup::~BMMainWindowSetup()
{
    // A window still being made is no one else's yet.
    delete mWindowInParts.data();
}

bool BMMainWindowSetup::isMainWindowInParts() const { return !mWindowInParts.isNull(); }

void BMMainWindowSetup::startMainWindowInParts()
{
    if (mainWindowView() || mWindowInParts)
        return;
    mWindowInParts = new BMMainWindow(BMMainWindow::InParts{});
    QTimer::singleShot(0, this, &BMMainWindowSetup::buildNextWindowPart);
}

void BMMainWindowSetup::buildNextWindowPart()
{
    BMMainWindow* partly = mWindowInParts;
    if (!partly)
        return; // finished at once meanwhile
    // The wiring has a turn of its own, after the last part.
    if (!partly->isBuilt()) {
        partly->buildNextPart();
        QTimer::singleShot(0, this, &BMMainWindowSetup::buildNextWindowPart);
        return;
    }
    mWindowInParts = nullptr;
    installMainWindow(partly);
}

QStringList BMMainWindowSetup::toolbarDefaultItemIdentifiers()
{
    return {kToolbarCategories, kToolbarType, kToolbarViewsType, kToolbarOptions, kToolbarFlexibleSpace,
            kToolbarSearch};
}

QStringList BMMainWindowSetup::toolbarAllowedItemIdentifiers()
{
    return {kToolbarSpace,         kToolbarSeparator, kToolbarCategories, kToolbarType, kToolbarOptions,
            kToolbarFlexibleSpace, kToolbarCustomize, kToolbarSearch};
}

QWidget* BMMainWindowSetup::toolbarItemForItemIdentifier(const QString& identifier)
{
    BMMainWindow* w = mainWindowView();
    if (!w)
        return nullptr;
    QWidget* view = nullptr;
    QString tip;
    if (identifier == kToolbarCategories) {
        view = w->mToolbarCategoriesView;
        tip = tr("Groups");
    } else if (identifier == kToolbarType) {
        // The type pop-up lives in the list view; the toolbar keeps its place.
        view = w->mToolbarTypesViewDummy;
    } else if (identifier == kToolbarViewsType) {
        if (auto* first = w->mViewsSelectionControl->button(kColumnViewTag))
            first->setChecked(true);
        view = w->mToolbarSelectionView;
    } else if (identifier == kToolbarOptions) {
        w->mToolbarOptionButton->setToolTip(tr("Option"));
        w->mToolbarLockButton->setToolTip(tr("Lock"));
        view = w->mOptionLockView;
    } else if (identifier == kToolbarSearch) {
        view = w->mToolbarSearchView;
        tip = tr("Search");
    }
    if (!view)
        return nullptr;
    view->setToolTip(tip);
    view->adjustSize();
    // A view without a layout has no size hint: its own frame is its size.
    const QSize hint = view->sizeHint();
    view->setFixedSize(hint.isValid() ? hint : view->size());
    return view;
}

void BMMainWindowSetup::setupToolbarForWindow(BMMainWindow* window)
{
    if (!window || window->mToolbar)
        return;
    auto* toolbar = new QToolBar(tr("Toolbar"), window);
    toolbar->setObjectName(QStringLiteral("MainToolBar"));
    toolbar->setMovable(false);
    toolbar->setFloatable(false);
    toolbar->toggleViewAction()->setVisible(false); // no customisation
    toolbar->setContextMenuPolicy(Qt::PreventContextMenu);
    toolbar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    toolbar->setIconSize(QSize(16, 16));
    toolbar->setStyleSheet(QStringLiteral("QToolBar#MainToolBar { spacing: 6px; padding: 4px 6px;"
                                          " border-bottom: 1px solid #d0d4da; }"));
    for (const QString& identifier : toolbarDefaultItemIdentifiers()) {
        if (identifier == kToolbarFlexibleSpace) {
            auto* spacer = new QWidget(toolbar);
            spacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
            toolbar->addWidget(spacer);
            continue;
        }
        if (QWidget* view = toolbarItemForItemIdentifier(identifier)) {
            QAction* item = toolbar->addWidget(view);
            item->setObjectName(identifier);
            if (identifier == kToolbarType)
                window->mToolbarTypesItem = item;
        }
    }
    window->addToolBar(Qt::TopToolBarArea, toolbar);
    window->mToolbar = toolbar;
}

void BMMainWindowSetup::selectTabView(int tag)
{
    BMMainWindow* w = mainWindowView();
    if (!w || tag < kColumnViewTag || tag > kTreeViewTag)
        return;
    w->mTabView->setCurrentIndex(tag);
    if (auto* button = w->mViewsSelectionControl->button(tag))
        button->setChecked(true);
    w->mDuplicateButtons->setCurrentIndex(tag);
    w->mToggleButtons->setCurrentIndex(tag);
}

void BMMainWindowSetup::connectMainWindow(BMMainWindow* w)
{
    connect(w->mViewsSelectionControl, &QButtonGroup::idClicked, this, [this](int tag) { mTables.changeView(tag); });
    connect(w->mCategoriesPopup, &QComboBox::activated, this, [this] { mTables.changeCategory(); });
    connect(w->mTypesPopup, &QComboBox::activated, this, [this] { mTables.changeType(); });
    connect(w->mSearchField, &QLineEdit::textChanged, this, [this] { mTables.performSearch(); });
    for (QToolButton* toggle : {w->mColumnToggleInfoButton, w->mListToggleInfoButton, w->mTreeToggleInfoButton})
        connect(toggle, &QToolButton::clicked, this, [this](bool on) { mTables.toggleInfoView(on); });
    connect(w->mUnmaskButton, &QToolButton::clicked, this, [this, w] { mRecordCommands.unmask(w->mUnmaskButton); });

    for (int tag : {kColumnViewTag, kListViewTag, kTreeViewTag})
        if (QAction* item = BMMainWindow::menuItemWithTag(w->mViewMenu, tag))
            connect(item, &QAction::triggered, this, [this, tag] { mTables.changeView(tag); });
    if (QAction* item = BMMainWindow::menuItemWithTag(w->mViewMenu, kToggleDetailsMenuItemTag))
        connect(item, &QAction::triggered, this, [this] { mTables.toggleInfoViewFromMenu(); });
    if (QAction* item = BMMainWindow::menuItemWithTag(w->mViewMenu, kMaskMenuItemTag))
        connect(item, &QAction::triggered, this, [this, item] { mRecordCommands.unmaskFromMenu(item); });
    for (QMenu* menu : {w->mFileMenu, w->mEditMenu, w->mItemMenu, w->mViewMenu})
        connect(menu, &QMenu::aboutToShow, this, [this, menu] {
            for (QAction* action : menu->actions())
                if (!action->isSeparator() && action->data().isValid())
                    action->setEnabled(mPopUps.validateMenuItem(action));
        });
    for (QMenu* menu : {w->mFileMenu, w->mEditMenu, w->mItemMenu, w->mViewMenu})
        connect(menu, &QMenu::aboutToHide, this, [this] { mPopUps.validateMenuItems(); });
    // Paste follows what the clipboard holds, whoever put it there.
    connect(QGuiApplication::clipboard(), &QClipboard::dataChanged, this, [this] { mPopUps.validateMenuItems(); });

    for (QAbstractItemView* table : std::initializer_list<QAbstractItemView*>{
             w->mColumnViewTypesTable, w->mSmartTypesTable, w->mColumnViewDescriptionTable, w->mListViewTypesTable})
        connect(table->selectionModel(), &QItemSelectionModel::selectionChanged, this,
                [this, table] { mTables.tableViewSelectionDidChange(table); });
    connect(w->mTreeViewOutlineView->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { mTables.outlineViewSelectionDidChange(); });
    connect(mTables.listModel(), &BMRecordListModel::sortDescriptorsDidChange, this,
            [this] { mTables.tableViewSortDescriptorsDidChange(); });

    for (QAbstractItemView* table :
         std::initializer_list<QAbstractItemView*>{w->mColumnViewDescriptionTable, w->mListViewTypesTable}) {
        table->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(table, &QWidget::customContextMenuRequested, this, [this, table](const QPoint& pos) {
            if (QMenu* menu = mTables.extendMenuforEventInTableView(table, pos))
                menu->popup(table->viewport()->mapToGlobal(pos));
        });
    }
    w->mTreeViewOutlineView->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(w->mTreeViewOutlineView, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        if (QMenu* menu = mTables.extendMenuforEventInOutlineView(pos))
            menu->popup(mainWindowView()->mTreeViewOutlineView->viewport()->mapToGlobal(pos));
    });
}

void BMMainWindowSetup::initWindowTitle()
{
    BMMainWindow* w = mainWindowView();
    const TVXUser* user = mCaches.getCurrentUser();
    if (w && user)
        w->setWindowTitle(QStringLiteral("%1 - %2").arg(tr("Tolvanex Enterprise"), user->mUsername()));
}

void BMMainWindowSetup::initSubviews()
{
    BMMainWindow* w = createMainWindow();
    const TVXUser* user = mCaches.getCurrentUser();
    const int lastView = user ? qBound(0, int(user->mLastView()), 2) : kColumnViewTag;

    // 1. The view switch shows the user's last view; the column view first.
    if (auto* button = w->mViewsSelectionControl->button(lastView))
        button->setChecked(true);
    w->mTabView->setCurrentIndex(w->tabIndexForIdentifier(kTabViewItemColumnID));

    // Pop-ups: the user's group, then its types.
    mPopUps.initGroupUIControl();
    if (user && !mCaches.groupsForEditing().isEmpty()) {
        const auto groups = mCaches.groupsForEditing();
        const auto counts = mCaches.recordCountsByGroup(QString());
        int chosen = -1;
        for (int i = 0; i < groups.size(); ++i)
            if (groups.at(i)->mGroupUID() == user->mCurrentGroup())
                chosen = i;
        // A group left empty (a newcomer's own group, say) gives way to the
        // first group with records: the window opens on something to see.
        if (chosen < 0 || counts.value(groups.at(chosen)->mGroupUID()) == 0)
            for (int i = 0; i < groups.size(); ++i)
                if (counts.value(groups.at(i)->mGroupUID()) > 0) {
                    chosen = i;
                    break;
                }
        if (chosen >= 0)
            w->mCategoriesPopup->setCurrentIndex(w->mCategoriesPopup->findData(chosen));
    }
    mState.mPreviousCategory = w->mCategoriesPopup->currentIndex();
    if (const auto group = mTables.selectedGroup())
        mState.mGroupFilterSelectedUID = group->mGroupUID();
    else
        mState.mGroupFilterSelectedUID.clear();
    mPopUps.initTypesUIControl();
    restoreSplitViewLayouts();

    // 4. Sorting and title.
    mPopUps.initTableColumnSorting();
    initWindowTitle();

    // 5. The user's last view.
    mSubviewsReady = true;
    w->mTabView->setCurrentIndex(lastView);
    mTables.changeView(lastView);

    // 6. Mask state, as kept on this computer (masked unless told otherwise).
    const bool masked = platform::UserDefaults::value(kMaskingStatusKey, true).toBool();
    w->mUnmaskButton->setChecked(masked);
    mState.mShouldMask = !masked; // so that the setter sees a change and redraws
    mPopUps.setShouldMask(masked);

    // 7. Column widths; the list's bands in the user's row colour.
    mPopUps.updateTableColumnWidth();
    if (user && user->mRowColor().isValid())
        w->mListViewTypesTable->setRowColor(user->mRowColor());

    // 8. The detail pane, when the user keeps it hidden.
    if (user && !user->mShowDetailOnPane()) {
        for (QToolButton* toggle : {w->mColumnToggleInfoButton, w->mListToggleInfoButton, w->mTreeToggleInfoButton})
            toggle->setChecked(false);
        mTables.toggleInfoView(false);
    }

    // 9. The user's options apply.
    platform::NotificationCenter::defaultCenter().post(kPreferenceChangedNotification);
}

namespace {

// The window's split views whose layouts the user's preferences keep, by name.
void forEachKeptSplitView(const BMMainWindow& w, const std::function<void(QSplitter&, const QString&)>& fn)
{
    fn(*w.mMainSplitView, kMainSplitViewAutosaveName);
    fn(*w.mSubSplitView, kSubSplitViewAutosaveName);
    fn(*w.mSmartTypeSplitView, kSmartTypeSplitViewAutosaveName);
}

} // namespace

void BMMainWindowSetup::saveSplitViewLayouts()
{
    if (const BMMainWindow* w = mainWindowView(); w && mCaches.getCurrentUser())
        forEachKeptSplitView(*w, [this](QSplitter& view, const QString& name) {
            bmsplit::saveLayoutPreferenceWithName(view, name, mPreferences);
        });
}

void BMMainWindowSetup::restoreSplitViewLayouts()
{
    if (const BMMainWindow* w = mainWindowView(); w && mCaches.getCurrentUser())
        forEachKeptSplitView(*w, [this](QSplitter& view, const QString& name) {
            bmsplit::restoreLayoutPreferenceFromName(view, name, mPreferences);
        });
}

void BMMainWindowSetup::setDetailsView(QWidget* detailsView)
{
    if (BMMainWindow* w = createMainWindow())
        w->setDetailsView(detailsView);
}

// --- the window's parts as the launch, the reload and the commands reach them ---------

QComboBox* BMMainWindowSetup::categoriesPopup() { return mTables.mCategoriesPopup(); }

QComboBox* BMMainWindowSetup::typesPopup() { return mTables.mTypesPopup(); }

QMenu* BMMainWindowSetup::itemContextualMenu() { return mPopUps.mItemContextualMenu(); }

QSplitter* BMMainWindowSetup::mainSplitView()
{
    const BMMainWindow* w = mainWindowView();
    return w ? w->mMainSplitView : nullptr;
}

QSplitter* BMMainWindowSetup::subSplitView()
{
    const BMMainWindow* w = mainWindowView();
    return w ? w->mSubSplitView : nullptr;
}

QSplitter* BMMainWindowSetup::smartTypeSplitView()
{
    const BMMainWindow* w = mainWindowView();
    return w ? w->mSmartTypeSplitView : nullptr;
}

QAbstractButton* BMMainWindowSetup::unmaskButton() const
{
    const BMMainWindow* w = mainWindowView();
    return w ? w->mUnmaskButton : nullptr;
}

void BMMainWindowSetup::saveLayoutPreferenceWithName(QSplitter* splitView, const QString& name)
{
    // The main split's layout also gives the user's pane width: only for a signed-in user.
    if (splitView && mCaches.getCurrentUser())
        bmsplit::saveLayoutPreferenceWithName(*splitView, name, mPreferences);
}

void BMMainWindowSetup::restoreLayoutPreferenceFromName(QSplitter* splitView, const QString& name)
{
    if (splitView && mCaches.getCurrentUser())
        bmsplit::restoreLayoutPreferenceFromName(*splitView, name, mPreferences);
}

bool BMMainWindowSetup::columnToggleInfoState()
{
    if (const BMMainWindow* w = mainWindowView())
        return w->mColumnToggleInfoButton->isChecked();
    const TVXUser* user = mCaches.getCurrentUser();
    return user ? user->mShowDetailOnPane() : true;
}

// --- the about box ------------------------------------------------------------------

void BMMainWindowSetup::initAboutBoxsetting()
{
    BMMainWindow* w = mainWindowView();
    if (!mAboutBox) {
        auto* box = new QDialog(w, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint);
        box->setObjectName(QStringLiteral("AboutBox"));
        box->setWindowTitle(tr("About Tolvanex Enterprise"));
        auto* icon = new QLabel(box);
        icon->setPixmap(bmimages::image(QStringLiteral("16x16_Encrypt"), 64));
        icon->setAlignment(Qt::AlignCenter);
        auto* name = new QLabel(tr("Tolvanex Enterprise"), box);
        name->setAlignment(Qt::AlignCenter);
        name->setStyleSheet(QStringLiteral("font-size: 15pt; font-weight: 600;"));
        auto* version = new QLabel(tr("Version %1"), box);
        version->setObjectName(QStringLiteral("AboutVersion"));
        version->setAlignment(Qt::AlignCenter);
        version->setStyleSheet(QStringLiteral("color: #5b6472;"));
        auto* ok = new QPushButton(tr("OK"), box);
        ok->setDefault(true);
        connect(ok, &QPushButton::clicked, box, &QDialog::accept);
        auto* layout = new QVBoxLayout(box);
        layout->setContentsMargins(32, 24, 32, 18);
        layout->setSpacing(8);
        layout->addWidget(icon);
        layout->addWidget(name);
        layout->addWidget(version);
        layout->addSpacing(8);
        layout->addWidget(ok, 0, Qt::AlignCenter);
        mAboutBox = box;
        if (!w)
            connect(this, &QObject::destroyed, box, [box] { delete box; });

        // The version label's own text is the format of the version shown.
        const QString number = QCoreApplication::applicationVersion();
        version->setText(version->text().arg(number.isEmpty() ? QStringLiteral("-") : number));

        if (w) {
            QMenu* help = nullptr;
            for (QAction* item : w->menuBar()->actions())
                if (item->menu() && item->text().remove(QLatin1Char('&')) == tr("Help"))
                    help = item->menu();
            if (!help)
                help = w->addMenu(tr("Help"), nullptr);
            QAction* about = help->addAction(tr("About Tolvanex Enterprise"));
            about->setObjectName(QStringLiteral("AboutItem"));
            about->setMenuRole(QAction::AboutRole);
            connect(about, &QAction::triggered, this, [this] { orderFrontAboutPanel(); });
        }
    }
    // Centred over the main window, or on the screen without one.
    mAboutBox->adjustSize();
    const QRect area = w ? w->frameGeometry()
                         : (mAboutBox->screen() ? mAboutBox->screen()->availableGeometry() : QRect());
    if (area.isValid())
        mAboutBox->move(area.center() - mAboutBox->rect().center());
}

void BMMainWindowSetup::orderFrontAboutPanel()
{
    if (!mAboutBox)
        initAboutBoxsetting();
    mAboutBox->show();
    mAboutBox->raise();
    mAboutBox->activateWindow();
}
