#include "windows/BMMainWindow.h"

#include "model/TVXType.h"
#include "views/BMImages.h"
#include "views/BMSplitView.h"
#include "views/BMTableView.h"

#include <QAction>
#include <QButtonGroup>
#include <QComboBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QShortcut>
#include <QSplitter>
#include <QStackedWidget>
#include <QStatusBar>
#include <QStyledItemDelegate>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <QVBoxLayout>

namespace {

// Text cells set in from the left edge, as the record lists are.
class InsetTextCell : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        option->text.prepend(QStringLiteral("  "));
    }
};

QToolButton* barButton(const QString& image, const QString& tip, QWidget* parent, bool checkable = false)
{
    auto* button = new QToolButton(parent);
    button->setIcon(bmimages::icon(image));
    button->setIconSize(QSize(16, 16));
    button->setToolTip(tip);
    button->setAutoRaise(true);
    button->setCheckable(checkable);
    button->setFocusPolicy(Qt::NoFocus);
    return button;
}

// Right in a source table of the column view goes on to its records, Left
// back to the source that lists them, as the columns of a browser do.
class ColumnWalk : public QObject {
public:
    ColumnWalk(QTableView* types, QTableView* smart, QTableView* records, QObject* parent)
        : QObject(parent), mTypes(types), mSmart(smart), mRecords(records)
    {
        for (QTableView* table : {types, smart, records})
            table->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::KeyPress)
            return false;
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))
            return false;
        if (key->key() == Qt::Key_Right && (watched == mTypes || watched == mSmart)) {
            if (!static_cast<QTableView*>(watched)->selectionModel()->hasSelection() || !mRecords->model()
                || mRecords->model()->rowCount() == 0)
                return true;
            mRecords->setFocus(Qt::TabFocusReason);
            if (!mRecords->selectionModel()->hasSelection())
                mRecords->selectRow(0);
            return true;
        }
        if (key->key() == Qt::Key_Left && watched == mRecords) {
            QTableView* source = mSmart->selectionModel()->hasSelection() ? mSmart : mTypes;
            source->setFocus(Qt::BacktabFocusReason);
            return true;
        }
        return false;
    }

private:
    QTableView* mTypes;
    QTableView* mSmart;
    QTableView* mRecords;
};

// A table of the column view: one column, one selected row, no editing.
BMTableView* newSourceTable(const QString& name, QWidget* page)
{
    auto* table = new BMTableView(page);
    table->setObjectName(name);
    table->horizontalHeader()->setStretchLastSection(true);
    table->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    table->verticalHeader()->setDefaultSectionSize(26);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setFrameShape(QFrame::NoFrame);
    return table;
}

// Two panes of the column view side by side (or one above the other) with a hairline
// divider; they grow in the ratio firstShare : secondShare.
BMSplitView* newPaneSplit(Qt::Orientation orientation, const QString& name, QWidget* first, QWidget* second,
                          int firstShare, int secondShare, QWidget* page)
{
    auto* split = new BMSplitView(orientation, page);
    split->setObjectName(name);
    split->addWidget(first);
    split->addWidget(second);
    split->setStretchFactor(0, firstShare);
    split->setStretchFactor(1, secondShare);
    split->setHandleWidth(1);
    return split;
}

// A page of the view switch: one column, edge to edge.
QVBoxLayout* edgeToEdgeColumn(QWidget* page)
{
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    return layout;
}

} // namespace

BMMainWindow::BMMainWindow(QWidget* parent) : BMMainWindow(InParts{}, parent)
{
    while (buildNextPart()) {
    }
}

BMMainWindow::BMMainWindow(InParts, QWidget* parent) : BMWindow(parent)
{
    setObjectName(QStringLiteral("BMMainWindow"));
    setUnifiedTitleAndToolBarOnMac(true);
}

bool BMMainWindow::buildNextPart()
{
    switch (mPartsBuilt) {
    case 0:
        buildToolbarViews();
        break;
    case 1:
        // The three views in a tab view without tabs.
        mTabView = new QStackedWidget(this);
        mTabView->setObjectName(QStringLiteral("mTabView"));
        mColumnsView = buildColumnView();
        mColumnsView->setObjectName(kTabViewItemColumnID);
        mTabView->addWidget(mColumnsView);
        break;
    case 2:
        mListView = buildListView();
        mListView->setObjectName(kTabViewItemListID);
        mTabView->addWidget(mListView);
        break;
    case 3:
        mTreeView = buildTreeView();
        mTreeView->setObjectName(kTabViewItemTreeID);
        mTabView->addWidget(mTreeView);
        break;
    case 4:
        buildCentralWidget();
        break;
    case 5:
        buildMenus();
        // Escape empties the search, as in the desktop's search fields.
        new QShortcut(QKeySequence(Qt::Key_Escape), mSearchField, mSearchField, &QLineEdit::clear, Qt::WidgetShortcut);
        setTabOrder(mCategoriesPopup, mSearchField);
        setTabOrder(mSearchField, mColumnViewTypesTable);
        setTabOrder(mColumnViewTypesTable, mSmartTypesTable);
        setTabOrder(mSmartTypesTable, mColumnViewDescriptionTable);
        setTabOrder(mColumnViewDescriptionTable, mTypesPopup);
        setTabOrder(mTypesPopup, mListViewTypesTable);
        setTabOrder(mListViewTypesTable, mTreeViewOutlineView);
        resize(1100, 680);
        break;
    default:
        return false;
    }
    return ++mPartsBuilt < kBuildParts;
}

// Toolbar views; the controller places them on the toolbar.
void BMMainWindow::buildToolbarViews()
{
    mToolbarCategoriesView = new QWidget(this);
    {
        auto* layout = new QHBoxLayout(mToolbarCategoriesView);
        layout->setContentsMargins(4, 0, 4, 0);
        mCategoriesPopup = new QComboBox(mToolbarCategoriesView);
        mCategoriesPopup->setObjectName(QStringLiteral("mCategoriesPopup"));
        mCategoriesPopup->setMinimumWidth(190);
        mCategoriesPopup->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
        layout->addWidget(mCategoriesPopup);
    }
    mToolbarTypesViewDummy = new QWidget(this);
    mToolbarTypesViewDummy->setFixedSize(8, 8);

    mToolbarSelectionView = new QWidget(this);
    {
        auto* layout = new QHBoxLayout(mToolbarSelectionView);
        layout->setContentsMargins(4, 0, 4, 0);
        layout->setSpacing(0);
        mViewsSelectionControl = new QButtonGroup(mToolbarSelectionView);
        mViewsSelectionControl->setExclusive(true);
        const struct {
            const char* image;
            const char* tip;
            int tag;
        } views[] = {{"mainwin_ColumnView", QT_TR_NOOP("Column View"), kColumnViewTag},
                     {"mainwin_ListView", QT_TR_NOOP("List View"), kListViewTag},
                     {"mainwin_TreeView", QT_TR_NOOP("Tree View"), kTreeViewTag}};
        for (const auto& v : views) {
            auto* button = new QToolButton(mToolbarSelectionView);
            button->setIcon(bmimages::icon(QString::fromLatin1(v.image)));
            button->setIconSize(QSize(18, 18));
            button->setCheckable(true);
            button->setToolTip(tr(v.tip));
            button->setFocusPolicy(Qt::NoFocus);
            mViewsSelectionControl->addButton(button, v.tag);
            layout->addWidget(button);
        }
    }

    mOptionLockView = new QWidget(this);
    {
        auto* layout = new QHBoxLayout(mOptionLockView);
        layout->setContentsMargins(4, 0, 4, 0);
        layout->setSpacing(2);
        mToolbarOptionButton = barButton(QStringLiteral("16x16_Preferences"), QString(), mOptionLockView);
        mToolbarLockButton = barButton(QStringLiteral("16x16_Encrypt"), QString(), mOptionLockView);
        mToolbarOptionButton->setIconSize(QSize(20, 20));
        mToolbarLockButton->setIconSize(QSize(20, 20));
        layout->addWidget(mToolbarOptionButton);
        layout->addWidget(mToolbarLockButton);
    }

    mToolbarSearchView = new QWidget(this);
    {
        auto* layout = new QHBoxLayout(mToolbarSearchView);
        layout->setContentsMargins(4, 0, 6, 0);
        mSearchField = new QLineEdit(mToolbarSearchView);
        mSearchField->setObjectName(QStringLiteral("mSearchField"));
        mSearchField->setPlaceholderText(tr("Search"));
        mSearchField->setClearButtonEnabled(true);
        mSearchField->setMinimumWidth(220);
        mSearchField->addAction(bmimages::icon(QStringLiteral("mainwin_Search")), QLineEdit::LeadingPosition);
        layout->addWidget(mSearchField);
    }
}

// The record views (made before) and the detail pane side by side, the button bar below.
void BMMainWindow::buildCentralWidget()
{
    // The detail pane's box, with a placeholder until the pane is set.
    mDetailsViewContainer = new QFrame(this);
    mDetailsViewContainer->setObjectName(QStringLiteral("mDetailsViewContainer"));
    mDetailsViewContainer->setFrameShape(QFrame::NoFrame);
    mDetailsViewContainer->setMinimumWidth(220);
    mDetailsLayout = new QVBoxLayout(mDetailsViewContainer);
    mDetailsLayout->setContentsMargins(0, 0, 0, 0);
    auto* placeholder = new QLabel(tr("No record selected"), mDetailsViewContainer);
    placeholder->setAlignment(Qt::AlignCenter);
    placeholder->setStyleSheet(QStringLiteral("color: #8a8f98; background: #f7f8fa;"));
    mDetailsLayout->addWidget(placeholder);
    mDetailsView = placeholder;

    mMainSplitView = new BMSplitView(Qt::Horizontal, this);
    mMainSplitView->setObjectName(QStringLiteral("mMainSplitView"));
    mMainSplitView->setChildrenCollapsible(false);
    mMainSplitView->addWidget(mTabView);
    mMainSplitView->addWidget(mDetailsViewContainer);
    mMainSplitView->setStretchFactor(0, 3);
    mMainSplitView->setStretchFactor(1, 2);
    mMainSplitView->setHandleWidth(1);
    // The records take about three fifths of the width, the pane the rest.
    mMainSplitView->setSizes({640, 420});

    auto* central = new QWidget(this);
    auto* centralLayout = new QVBoxLayout(central);
    centralLayout->setContentsMargins(0, 0, 0, 0);
    centralLayout->setSpacing(0);
    centralLayout->addWidget(mMainSplitView, 1);
    auto* line = new QFrame(central);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Plain);
    line->setStyleSheet(QStringLiteral("color: #d0d4da;"));
    centralLayout->addWidget(line);
    centralLayout->addWidget(buildButtonBar());
    setCentralWidget(central);
}

QWidget* BMMainWindow::buildColumnView()
{
    auto* page = new QWidget;
    QVBoxLayout* layout = edgeToEdgeColumn(page);

    mColumnViewTypesTable = newSourceTable(QStringLiteral("mColumnViewTypesTable"), page);
    mColumnViewTypesTable->setDropIndicatorShown(true);
    mSmartTypesTable = newSourceTable(QStringLiteral("mSmartTypesTable"), page);
    mColumnViewDescriptionTable = newSourceTable(QStringLiteral("mColumnViewDescriptionTable"), page);
    mColumnViewDescriptionTable->verticalHeader()->setDefaultSectionSize(24);
    mColumnViewDescriptionTable->setDragEnabled(true);
    mColumnViewDescriptionTable->setDragDropMode(QAbstractItemView::DragOnly);
    mColumnViewDescriptionTable->setItemDelegate(new InsetTextCell(mColumnViewDescriptionTable));

    const QString sourceStyle = QStringLiteral(
        "BMTableView { background: #eef1f5; selection-background-color: #3478ce; }"
        "QHeaderView::section { background: #e3e7ed; color: #5b6472; border: none;"
        " border-bottom: 1px solid #d0d4da; padding: 3px 6px; font-weight: 600; }");
    mColumnViewTypesTable->setStyleSheet(sourceStyle);
    mSmartTypesTable->setStyleSheet(sourceStyle);
    mColumnViewDescriptionTable->setStyleSheet(QStringLiteral(
        "QHeaderView::section { background: #f3f5f8; color: #5b6472; border: none;"
        " border-bottom: 1px solid #d0d4da; padding: 3px 6px; font-weight: 600; }"));

    mSmartTypeSplitView = newPaneSplit(Qt::Vertical, QStringLiteral("mSmartTypeSplitView"), mColumnViewTypesTable,
                                       mSmartTypesTable, 3, 1, page);
    mSubSplitView = newPaneSplit(Qt::Horizontal, QStringLiteral("mSubSplitView"), mSmartTypeSplitView,
                                 mColumnViewDescriptionTable, 2, 3, page);
    new ColumnWalk(mColumnViewTypesTable, mSmartTypesTable, mColumnViewDescriptionTable, page);
    mSubSplitView->setSizes({230, 300});
    mSmartTypeSplitView->setSizes({380, 130});
    layout->addWidget(mSubSplitView);
    return page;
}

QWidget* BMMainWindow::buildListView()
{
    auto* page = new QWidget;
    QVBoxLayout* layout = edgeToEdgeColumn(page);
    layout->setSpacing(0);

    // The type pop-up of the list view, above its table.
    mToolbarTypesView = new QWidget(page);
    mToolbarTypesView->setObjectName(QStringLiteral("mToolbarTypesView"));
    mToolbarTypesView->setStyleSheet(QStringLiteral("#mToolbarTypesView { background: #f3f5f8; }"));
    auto* strip = new QHBoxLayout(mToolbarTypesView);
    strip->setContentsMargins(8, 4, 8, 4);
    auto* label = new QLabel(tr("Types"), mToolbarTypesView);
    label->setStyleSheet(QStringLiteral("color: #5b6472;"));
    mTypesPopup = new QComboBox(mToolbarTypesView);
    mTypesPopup->setObjectName(QStringLiteral("mTypesPopup"));
    mTypesPopup->setMinimumWidth(170);
    mTypesPopup->setToolTip(tr("Types"));
    strip->addWidget(label);
    strip->addWidget(mTypesPopup);
    strip->addStretch(1);
    layout->addWidget(mToolbarTypesView);

    mListViewTypesTable = new BMTableView(page);
    mListViewTypesTable->setObjectName(QStringLiteral("mListViewTypesTable"));
    mListViewTypesTable->setSelectionMode(QAbstractItemView::ExtendedSelection);
    mListViewTypesTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    mListViewTypesTable->verticalHeader()->setDefaultSectionSize(22);
    mListViewTypesTable->horizontalHeader()->setSectionsMovable(false);
    mListViewTypesTable->horizontalHeader()->setStretchLastSection(false);
    mListViewTypesTable->setFrameShape(QFrame::NoFrame);
    mListViewTypesTable->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    mListViewTypesTable->setStyleSheet(QStringLiteral(
        "QHeaderView::section { background: #f3f5f8; color: #3c4350; border: none;"
        " border-right: 1px solid #dde1e6; border-bottom: 1px solid #d0d4da; padding: 3px 6px; }"));
    layout->addWidget(mListViewTypesTable, 1);
    return page;
}

QWidget* BMMainWindow::buildTreeView()
{
    auto* page = new QWidget;
    QVBoxLayout* layout = edgeToEdgeColumn(page);
    mTreeViewOutlineView = new QTreeView(page);
    mTreeViewOutlineView->setObjectName(QStringLiteral("mTreeViewOutlineView"));
    mTreeViewOutlineView->setHeaderHidden(true);
    mTreeViewOutlineView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    mTreeViewOutlineView->setSelectionMode(QAbstractItemView::SingleSelection);
    mTreeViewOutlineView->setDragEnabled(true);
    mTreeViewOutlineView->setDragDropMode(QAbstractItemView::DragOnly);
    mTreeViewOutlineView->setDropIndicatorShown(true);
    // A double click on a type row is the controller's (it expands or collapses it).
    mTreeViewOutlineView->setExpandsOnDoubleClick(false);
    mTreeViewOutlineView->setUniformRowHeights(true);
    mTreeViewOutlineView->setFrameShape(QFrame::NoFrame);
    mTreeViewOutlineView->setIndentation(22);
    mTreeViewOutlineView->setStyleSheet(QStringLiteral("QTreeView::item { height: 26px; }"));
    layout->addWidget(mTreeViewOutlineView);
    return page;
}

QWidget* BMMainWindow::buildButtonBar()
{
    auto* bar = new QWidget(this);
    bar->setObjectName(QStringLiteral("mButtonBar"));
    bar->setStyleSheet(QStringLiteral("#mButtonBar { background: #f3f5f8; }"));
    auto* layout = new QHBoxLayout(bar);
    layout->setContentsMargins(6, 3, 6, 3);
    layout->setSpacing(2);

    mAddButton = barButton(QStringLiteral("16x16_Add"), tr("Add Item"), bar);
    mEditButton = barButton(QStringLiteral("16x16_Edit"), tr("Edit Item"), bar);
    mDeleteButton = barButton(QStringLiteral("16x16_Delete"), tr("Delete"), bar);
    mDuplicateButtons = new QStackedWidget(bar);
    mColumnDuplicateButton = barButton(QStringLiteral("16x16_Copy"), tr("Duplicate"), bar);
    mListDuplicateButton = barButton(QStringLiteral("16x16_Copy"), tr("Duplicate"), bar);
    mTreeDuplicateButton = barButton(QStringLiteral("16x16_Copy"), tr("Duplicate"), bar);
    for (auto* b : {mColumnDuplicateButton, mListDuplicateButton, mTreeDuplicateButton})
        mDuplicateButtons->addWidget(b);
    mDuplicateButtons->setFixedSize(mColumnDuplicateButton->sizeHint());
    mPrintRecordButton = barButton(QStringLiteral("print_16"), tr("Print..."), bar);
    mAttachmentButton = barButton(QStringLiteral("AddAttachment"), tr("Add Attachment"), bar);
    mAutoFillButton = barButton(QStringLiteral("16x16_Globe"), tr("AutoFill"), bar);
    mUnmaskButton = barButton(QStringLiteral("mainwin_Mask"), tr("Mask"), bar, true);

    mToggleButtons = new QStackedWidget(bar);
    mColumnToggleInfoButton = barButton(QStringLiteral("mainwin_Info"), tr("Hide Details"), bar, true);
    mListToggleInfoButton = barButton(QStringLiteral("mainwin_Info"), tr("Hide Details"), bar, true);
    mTreeToggleInfoButton = barButton(QStringLiteral("mainwin_Info"), tr("Hide Details"), bar, true);
    for (auto* b : {mColumnToggleInfoButton, mListToggleInfoButton, mTreeToggleInfoButton}) {
        b->setChecked(true);
        mToggleButtons->addWidget(b);
    }
    mToggleButtons->setFixedSize(mColumnToggleInfoButton->sizeHint());

    for (QWidget* w : std::initializer_list<QWidget*>{mAddButton, mEditButton, mDeleteButton, mDuplicateButtons})
        layout->addWidget(w);
    auto* separator = new QFrame(bar);
    separator->setFrameShape(QFrame::VLine);
    separator->setStyleSheet(QStringLiteral("color: #d0d4da;"));
    layout->addSpacing(4);
    layout->addWidget(separator);
    layout->addSpacing(4);
    for (QWidget* w : std::initializer_list<QWidget*>{mPrintRecordButton, mAttachmentButton, mAutoFillButton})
        layout->addWidget(w);
    layout->addStretch(1);
    layout->addWidget(mUnmaskButton);
    layout->addWidget(mToggleButtons);
    return bar;
}

void BMMainWindow::buildMenus()
{
    QMenuBar* bar = menuBar();
    const auto item = [](QMenu* menu, const QString& title, int tag) {
        QAction* action = menu->addAction(title);
        action->setData(tag);
        return action;
    };

    mFileMenu = bar->addMenu(tr("&File"));
    item(mFileMenu, tr("Set &Password..."), kSetPasswordMenuItemTag);
    mSetMasterPasswordMenuItem = item(mFileMenu, tr("Set &Master Password..."), kSetMasterPasswordMenuItemTag);
    mEditUserMenuItem = item(mFileMenu, tr("Edit &Users..."), kEditUserMenuItemTag);
    mFileMenu->addSeparator();
    item(mFileMenu, tr("Edit &Groups..."), kEditCategoriesMenuItemTag);
    item(mFileMenu, tr("Edit T&ypes..."), kEditTypesMenuItemTag);
    mOptionsMenuItem = mFileMenu->addAction(tr("&Options..."));
    mOptionsMenuItem->setMenuRole(QAction::PreferencesRole);
    mFileMenu->addSeparator();
    item(mFileMenu, tr("&Lock"), kLockMenuItemTag)->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_L));
    mReloadMenuItem = mFileMenu->addAction(tr("&Reload"));
    mReloadMenuItem->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_R));
    mFileMenu->addSeparator();
    QMenu* import = mFileMenu->addMenu(tr("&Import"));
    import->menuAction()->setData(kImportMenuItemTag);
    item(import, tr("&qVX File..."), kImportVIDMenuItemTag);
    item(import, tr("&CSV File..."), kImportCSVMenuItemTag);
    QMenu* exportMenu = mFileMenu->addMenu(tr("&Export"));
    exportMenu->menuAction()->setData(kExportMenuItemTag);
    item(exportMenu, tr("&qVX File..."), kExportVIDTag);
    item(exportMenu, tr("&CSV File..."), kExportCSVTag);
    exportMenu->addSeparator();
    mMailMenuItem = exportMenu->addAction(tr("&Mail qVX File..."));
    item(mFileMenu, tr("&Backup..."), kBackupMenuItemTag);
    item(mFileMenu, tr("Re&store..."), kRestoreMenuItemTag);
    mFileMenu->addSeparator();
    item(mFileMenu, tr("Remove &Duplicates..."), kDeDupeMenuItemTag);
    item(mFileMenu, tr("Pri&nt..."), kPrintMenuItemTag)->setShortcut(QKeySequence::Print);
    mFileMenu->addSeparator();
    item(mFileMenu, tr("&Close"), kCloseMenuItemTag)->setShortcut(QKeySequence::Close);
    item(mFileMenu, tr("&Quit"), kQuitMenuItemTag)->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));

    mEditMenu = bar->addMenu(tr("&Edit"));
    item(mEditMenu, tr("Cu&t"), kCutMenuItemTag)->setShortcut(QKeySequence::Cut);
    item(mEditMenu, tr("&Copy"), kCopyMenuItemTag)->setShortcut(QKeySequence::Copy);
    item(mEditMenu, tr("&Paste"), kPasteMenuItemTag)->setShortcut(QKeySequence::Paste);
    item(mEditMenu, tr("Select &All"), kSelectAllMenuItemTag)->setShortcut(QKeySequence::SelectAll);
    mEditMenu->addSeparator();
    item(mEditMenu, tr("Copy Group"), kCopyCategoryMenuItemTag);
    for (int n = 0; n < 10; ++n)
        item(mEditMenu, QStringLiteral("%1 %2").arg(tr("Copy"), QString::fromLatin1(kDefaultFieldNames[size_t(n)])),
             kCopyField1MenuItemTag + n);
    item(mEditMenu, tr("Copy Notes"), kCopyNotesMenuItemTag);

    mItemMenu = bar->addMenu(tr("&Item"));
    item(mItemMenu, tr("&Add Item"), kAddItemMenuItemTag)->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_N));
    item(mItemMenu, tr("&Edit Item"), kEditItemMenuItemTag)->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_E));
    item(mItemMenu, tr("&Delete"), kDeleteItemMenuItemTag);
    item(mItemMenu, tr("D&uplicate"), kDuplicateItemMenuItemTag);
    item(mItemMenu, tr("&Customize Fields"), kCustomizeFieldsMenuItemTag);
    item(mItemMenu, tr("Auto&Fill"), kWebLoginMenuItemTag);
    item(mItemMenu, tr("&Print..."), kPrintRecordMenuItemTag);
    item(mItemMenu, tr("Add A&ttachment"), kAttachmentMenuItemTag);

    mViewMenu = bar->addMenu(tr("&View"));
    item(mViewMenu, tr("&Column View"), kColumnViewTag)->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_1));
    item(mViewMenu, tr("&List View"), kListViewTag)->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_2));
    item(mViewMenu, tr("&Tree View"), kTreeViewTag)->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_3));
    mViewMenu->addSeparator();
    item(mViewMenu, tr("Hide Details"), kToggleDetailsMenuItemTag);
    item(mViewMenu, tr("Mask"), kMaskMenuItemTag);
    mViewMenu->addSeparator();
    mEventLoggerMenuItem = mViewMenu->addAction(tr("&Event Log..."));

    mHelpMenu = bar->addMenu(tr("&Help"));
    mHelpMenuItem = mHelpMenu->addAction(tr("Tolvanex Enterprise Help"));
    mHelpMenuItem->setShortcut(QKeySequence::HelpContents);

    // F10 opens the first menu; the arrow keys and mnemonics go on from there.
    connect(new QShortcut(QKeySequence(Qt::Key_F10), this), &QShortcut::activated, this,
            [this] { menuBar()->setActiveAction(mFileMenu->menuAction()); });
}

QMenu* BMMainWindow::addMenu(const QString& title, QMenu** slot)
{
    QMenu* menu = menuBar()->addMenu(title);
    if (slot)
        *slot = menu;
    return menu;
}

void BMMainWindow::setDetailsView(QWidget* detailsView)
{
    if (!detailsView || detailsView == mDetailsView)
        return;
    if (mDetailsView) {
        mDetailsLayout->removeWidget(mDetailsView);
        mDetailsView->deleteLater();
    }
    detailsView->setParent(mDetailsViewContainer);
    mDetailsLayout->addWidget(detailsView);
    mDetailsView = detailsView;
}

QAction* BMMainWindow::menuItemWithTag(QMenu* menu, int tag)
{
    if (!menu)
        return nullptr;
    for (QAction* action : menu->actions()) {
        if (!action->isSeparator() && action->data().isValid() && action->data().toInt() == tag)
            return action;
        if (QAction* inner = menuItemWithTag(action->menu(), tag))
            return inner;
    }
    return nullptr;
}

QAction* BMMainWindow::menuItemWithTag(int tag) const
{
    for (QMenu* menu : {mFileMenu, mEditMenu, mItemMenu, mViewMenu})
        if (QAction* action = menuItemWithTag(menu, tag))
            return action;
    return nullptr;
}

int BMMainWindow::tabIndexForIdentifier(const QString& identifier) const
{
    for (int i = 0; i < mTabView->count(); ++i)
        if (mTabView->widget(i)->objectName() == identifier)
            return i;
    return -1;
}
