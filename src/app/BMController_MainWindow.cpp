// The main window: its toolbar, the three record views and the split views.
#include "app/BMController.h"

#include "app/AppControllerRules.h"

#include "model/BMGroup.h"
#include "model/TVXUser.h"
#include "platform/core/NotificationCenter.h"
#include "platform/core/UserDefaults.h"
#include "store/loading/StoreCaches.h"
#include "store/accounts/HintQuestions.h"
#include "views/BMImageCell.h"
#include "views/BMImages.h"
#include "views/BMRecordModels.h"
#include "views/BMSplitViewLayout.h"
#include "views/BMTableView.h"
#include "views/ImageAndTextCell.h"
#include "windows/BMMainWindow.h"

#include <QAction>
#include <QButtonGroup>
#include <QComboBox>
#include <QCoreApplication>
#include <QDialog>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QSplitter>
#include <QStackedWidget>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <QVBoxLayout>

#include <functional>

using appctl::kMaskingStatusKey;
using appctl::kPreferenceChangedNotification;

BMMainWindow* BMController::mainWindowView() const
{
    return qobject_cast<BMMainWindow*>(mMainWindow);
}

BMMainWindow* BMController::createMainWindow()
{
    if (auto* existing = mainWindowView())
        return existing;
    auto* window = new BMMainWindow;
    window->setDelegate(this);
    mMainWindow = window;
    makeTableModels();
    setupToolbarForWindow(window);
    connectMainWindow(window);
    createItemContextualMenu();
    setIconToMenuItems();
    plugDetailPane(window);
    connectCommands(window);
    applySplitViewLimits(window);
    return window;
}

QStringList BMController::toolbarDefaultItemIdentifiers()
{
    return {kToolbarCategories, kToolbarType, kToolbarViewsType, kToolbarOptions, kToolbarFlexibleSpace,
            kToolbarSearch};
}

QStringList BMController::toolbarAllowedItemIdentifiers()
{
    return {kToolbarSpace,         kToolbarSeparator, kToolbarCategories, kToolbarType, kToolbarOptions,
            kToolbarFlexibleSpace, kToolbarCustomize, kToolbarSearch};
}

QWidget* BMController::toolbarItemForItemIdentifier(const QString& identifier)
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
    view->setFixedSize(view->sizeHint());
    return view;
}

void BMController::setupToolbarForWindow(BMMainWindow* window)
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

void BMController::selectTabView(int tag)
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

void BMController::makeTableModels()
{
    BMMainWindow* w = mainWindowView();
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

void BMController::connectMainWindow(BMMainWindow* w)
{
    connect(w->mViewsSelectionControl, &QButtonGroup::idClicked, this, [this](int tag) { changeView(tag); });
    connect(w->mCategoriesPopup, &QComboBox::activated, this, [this] { changeCategory(); });
    connect(w->mTypesPopup, &QComboBox::activated, this, [this] { changeType(); });
    connect(w->mSearchField, &QLineEdit::textChanged, this, [this] { performSearch(); });
    for (QToolButton* toggle : {w->mColumnToggleInfoButton, w->mListToggleInfoButton, w->mTreeToggleInfoButton})
        connect(toggle, &QToolButton::clicked, this, [this](bool on) { toggleInfoView(on); });
    connect(w->mUnmaskButton, &QToolButton::clicked, this, [this, w] { unmask(w->mUnmaskButton); });

    for (int tag : {kColumnViewTag, kListViewTag, kTreeViewTag})
        if (QAction* item = BMMainWindow::menuItemWithTag(w->mViewMenu, tag))
            connect(item, &QAction::triggered, this, [this, tag] { changeView(tag); });
    if (QAction* item = BMMainWindow::menuItemWithTag(w->mViewMenu, kToggleDetailsMenuItemTag))
        connect(item, &QAction::triggered, this, [this] { toggleInfoViewFromMenu(); });
    if (QAction* item = BMMainWindow::menuItemWithTag(w->mViewMenu, kMaskMenuItemTag))
        connect(item, &QAction::triggered, this, [this, item] { unmaskFromMenu(item); });
    for (QMenu* menu : {w->mFileMenu, w->mEditMenu, w->mItemMenu, w->mViewMenu})
        connect(menu, &QMenu::aboutToShow, this, [this, menu] {
            for (QAction* action : menu->actions())
                if (!action->isSeparator() && action->data().isValid())
                    action->setEnabled(validateMenuItem(action));
        });

    for (QAbstractItemView* table : std::initializer_list<QAbstractItemView*>{
             w->mColumnViewTypesTable, w->mSmartTypesTable, w->mColumnViewDescriptionTable, w->mListViewTypesTable})
        connect(table->selectionModel(), &QItemSelectionModel::selectionChanged, this,
                [this, table] { tableViewSelectionDidChange(table); });
    connect(w->mTreeViewOutlineView->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { outlineViewSelectionDidChange(); });
    connect(mListModel, &BMRecordListModel::sortDescriptorsDidChange, this,
            [this] { tableViewSortDescriptorsDidChange(); });

    for (QAbstractItemView* table :
         std::initializer_list<QAbstractItemView*>{w->mColumnViewDescriptionTable, w->mListViewTypesTable}) {
        table->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(table, &QWidget::customContextMenuRequested, this, [this, table](const QPoint& pos) {
            if (QMenu* menu = extendMenuforEventInTableView(table, pos))
                menu->popup(table->viewport()->mapToGlobal(pos));
        });
    }
    w->mTreeViewOutlineView->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(w->mTreeViewOutlineView, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        if (QMenu* menu = extendMenuforEventInOutlineView(pos))
            menu->popup(mainWindowView()->mTreeViewOutlineView->viewport()->mapToGlobal(pos));
    });
}

void BMController::initWindowTitle()
{
    BMMainWindow* w = mainWindowView();
    const TVXUser* user = mCaches.getCurrentUser();
    if (w && user)
        w->setWindowTitle(QStringLiteral("%1 - %2").arg(tr("Tolvanex Enterprise"), user->mUsername()));
}

void BMController::initSubviews()
{
    BMMainWindow* w = createMainWindow();
    const TVXUser* user = mCaches.getCurrentUser();
    const int lastView = user ? qBound(0, int(user->mLastView()), 2) : kColumnViewTag;

    // 1. The view switch shows the user's last view; the column view first.
    if (auto* button = w->mViewsSelectionControl->button(lastView))
        button->setChecked(true);
    w->mTabView->setCurrentIndex(w->tabIndexForIdentifier(kTabViewItemColumnID));

    // Pop-ups: the user's group, then its types.
    initGroupUIControl();
    if (user && !mCaches.groupsForEditing().isEmpty()) {
        const auto groups = mCaches.groupsForEditing();
        for (int i = 0; i < groups.size(); ++i)
            if (groups.at(i)->mGroupUID() == user->mCurrentGroup())
                w->mCategoriesPopup->setCurrentIndex(w->mCategoriesPopup->findData(i));
    }
    mPreviousCategory = w->mCategoriesPopup->currentIndex();
    if (const auto group = selectedGroup())
        mGroupFilterSelectedUID = group->mGroupUID();
    else
        mGroupFilterSelectedUID.clear();
    initTypesUIControl();
    restoreSplitViewLayouts();

    // 4. Sorting and title.
    initTableColumnSorting();
    initWindowTitle();

    // 5. The user's last view.
    mSubviewsReady = true;
    w->mTabView->setCurrentIndex(lastView);
    changeView(lastView);

    // 6. Mask state, as kept on this computer (masked unless told otherwise).
    const bool masked = platform::UserDefaults::value(kMaskingStatusKey, true).toBool();
    w->mUnmaskButton->setChecked(masked);
    mShouldMask = !masked; // so that the setter sees a change and redraws
    setShouldMask(masked);

    // 7. Column widths; the list's bands in the user's row colour.
    updateTableColumnWidth();
    if (user && user->mRowColor().isValid())
        w->mListViewTypesTable->setRowColor(user->mRowColor());

    // 8. The detail pane, when the user keeps it hidden.
    if (user && !user->mShowDetailOnPane()) {
        for (QToolButton* toggle : {w->mColumnToggleInfoButton, w->mListToggleInfoButton, w->mTreeToggleInfoButton})
            toggle->setChecked(false);
        toggleInfoView(false);
    }

    // 9. The user's options apply.
    platform::NotificationCenter::defaultCenter().post(kPreferenceChangedNotification);
}

void BMController::chooseTypeInColumnView()
{
    // The column view opens on a chosen type with its records, never on a
    // type row that only looks chosen (the table's current row) beside an empty list.
    BMMainWindow* w = mainWindowView();
    if (!w || currentView() != kColumnViewTag || mTypesModel->rowCount() == 0
        || w->mColumnViewTypesTable->selectionModel()->hasSelection()
        || w->mSmartTypesTable->selectionModel()->hasSelection())
        return;
    const QModelIndex current = w->mColumnViewTypesTable->currentIndex();
    w->mColumnViewTypesTable->selectRow(current.isValid() ? current.row() : 0);
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

void BMController::saveSplitViewLayouts()
{
    if (const BMMainWindow* w = mainWindowView(); w && mCaches.getCurrentUser())
        forEachKeptSplitView(*w, [this](QSplitter& view, const QString& name) {
            bmsplit::saveLayoutPreferenceWithName(view, name, mPreferences);
        });
}

void BMController::restoreSplitViewLayouts()
{
    if (const BMMainWindow* w = mainWindowView(); w && mCaches.getCurrentUser())
        forEachKeptSplitView(*w, [this](QSplitter& view, const QString& name) {
            bmsplit::restoreLayoutPreferenceFromName(view, name, mPreferences);
        });
}

void BMController::setDetailsView(QWidget* detailsView)
{
    if (BMMainWindow* w = createMainWindow())
        w->setDetailsView(detailsView);
}

// --- the window's parts as the launch, the reload and the commands reach them ---------

QComboBox* BMController::categoriesPopup() { return mCategoriesPopup(); }

QComboBox* BMController::typesPopup() { return mTypesPopup(); }

QMenu* BMController::itemContextualMenu() { return mItemContextualMenu_; }

QSplitter* BMController::mainSplitView()
{
    const BMMainWindow* w = mainWindowView();
    return w ? w->mMainSplitView : nullptr;
}

QSplitter* BMController::subSplitView()
{
    const BMMainWindow* w = mainWindowView();
    return w ? w->mSubSplitView : nullptr;
}

QSplitter* BMController::smartTypeSplitView()
{
    const BMMainWindow* w = mainWindowView();
    return w ? w->mSmartTypeSplitView : nullptr;
}

QAbstractButton* BMController::unmaskButton() const
{
    const BMMainWindow* w = mainWindowView();
    return w ? w->mUnmaskButton : nullptr;
}

void BMController::saveLayoutPreferenceWithName(QSplitter* splitView, const QString& name)
{
    // The main split's layout also gives the user's pane width: only for a signed-in user.
    if (splitView && mCaches.getCurrentUser())
        bmsplit::saveLayoutPreferenceWithName(*splitView, name, mPreferences);
}

void BMController::restoreLayoutPreferenceFromName(QSplitter* splitView, const QString& name)
{
    if (splitView && mCaches.getCurrentUser())
        bmsplit::restoreLayoutPreferenceFromName(*splitView, name, mPreferences);
}

bool BMController::columnToggleInfoState()
{
    if (const BMMainWindow* w = mainWindowView())
        return w->mColumnToggleInfoButton->isChecked();
    const TVXUser* user = mCaches.getCurrentUser();
    return user ? user->mShowDetailOnPane() : true;
}

// --- the about box ------------------------------------------------------------------

void BMController::initAboutBoxsetting()
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

void BMController::orderFrontAboutPanel()
{
    if (!mAboutBox)
        initAboutBoxsetting();
    mAboutBox->show();
    mAboutBox->raise();
    mAboutBox->activateWindow();
}
