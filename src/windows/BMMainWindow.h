#pragma once
// The main window: toolbar (group pop-up, view switch, option and lock
// buttons, search field), the three record views in a tab view without tabs,
// the detail pane beside them, and the record buttons below. It only holds
// the controls; BMController fills and drives them.
#include "views/BMWindow.h"

#include <QPointer>

class BMTableView;
class QAbstractButton;
class QAction;
class QButtonGroup;
class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QMenu;
class QSplitter;
class QStackedWidget;
class QToolBar;
class QToolButton;
class QTreeView;
class QVBoxLayout;

// Tags of the view switch and tab indexes.
inline constexpr int kColumnViewTag = 0;
inline constexpr int kListViewTag = 1;
inline constexpr int kTreeViewTag = 2;

inline const QString kTabViewItemColumnID = QStringLiteral("ColumnView");
inline const QString kTabViewItemListID = QStringLiteral("ListView");
inline const QString kTabViewItemTreeID = QStringLiteral("TreeView");

// Toolbar item identifiers.
inline const QString kToolbarCategories = QStringLiteral("Toolbar Categories");
inline const QString kToolbarType = QStringLiteral("Types");
inline const QString kToolbarViewsType = QStringLiteral("Different Views type");
inline const QString kToolbarOptions = QStringLiteral("Options toolbar");
inline const QString kToolbarSearch = QStringLiteral("Search bar");
inline const QString kToolbarFlexibleSpace = QStringLiteral("NSToolbarFlexibleSpaceItem");
inline const QString kToolbarSpace = QStringLiteral("NSToolbarSpaceItem");
inline const QString kToolbarSeparator = QStringLiteral("NSToolbarSeparatorItem");
inline const QString kToolbarCustomize = QStringLiteral("NSToolbarCustomizeToolbarItem");

// Menu item tags the controller adjusts.
inline constexpr int kSetPasswordMenuItemTag = 100;
inline constexpr int kEditTypesMenuItemTag = 101;
inline constexpr int kEditCategoriesMenuItemTag = 102;
inline constexpr int kLockMenuItemTag = 103;
inline constexpr int kPageSetupMenuItemTag = 104;
inline constexpr int kPrintMenuItemTag = 105;
inline constexpr int kImportMenuItemTag = 106;
inline constexpr int kImportVIDMenuItemTag = 1060;
inline constexpr int kImportCSVMenuItemTag = 1061;
inline constexpr int kExportMenuItemTag = 107;
inline constexpr int kExportVIDTag = 1070;
inline constexpr int kExportCSVTag = 1072;
inline constexpr int kBackupMenuItemTag = 108;
inline constexpr int kRestoreMenuItemTag = 109;
inline constexpr int kCloseMenuItemTag = 112;
inline constexpr int kDeDupeMenuItemTag = 113;
inline constexpr int kSetMasterPasswordMenuItemTag = 116;
inline constexpr int kEditUserMenuItemTag = 117;
inline constexpr int kQuitMenuItemTag = 118;
inline constexpr int kCutMenuItemTag = 200;
inline constexpr int kCopyMenuItemTag = 201;
inline constexpr int kPasteMenuItemTag = 202;
inline constexpr int kSelectAllMenuItemTag = 203;
inline constexpr int kCopyCategoryMenuItemTag = 206;
inline constexpr int kCopyField1MenuItemTag = 207;
inline constexpr int kCopyField10MenuItemTag = 216;
inline constexpr int kCopyNotesMenuItemTag = 217;
inline constexpr int kAddItemMenuItemTag = 300;
inline constexpr int kEditItemMenuItemTag = 301;
inline constexpr int kDeleteItemMenuItemTag = 302;
inline constexpr int kDuplicateItemMenuItemTag = 303;
inline constexpr int kCustomizeFieldsMenuItemTag = 304;
inline constexpr int kWebLoginMenuItemTag = 305;
inline constexpr int kPrintRecordMenuItemTag = 306;
inline constexpr int kAttachmentMenuItemTag = 307;
inline constexpr int kToggleDetailsMenuItemTag = 400;
inline constexpr int kMaskMenuItemTag = 401;

class BMMainWindow : public BMWindow {
    Q_OBJECT
public:
    explicit BMMainWindow(QWidget* parent = nullptr);
    // Made in parts: the window is empty until buildNextPart() has answered
    // false, each call making one part (a short stretch of the main thread).
    struct InParts {};
    BMMainWindow(InParts, QWidget* parent = nullptr);
    bool buildNextPart();
    bool isBuilt() const { return mPartsBuilt == kBuildParts; }

    // The detail pane, made elsewhere, takes the place of the placeholder.
    void setDetailsView(QWidget* detailsView);
    QWidget* detailsView() const { return mDetailsView; }

    // The item with the tag in the menu or its submenus; null for none.
    static QAction* menuItemWithTag(QMenu* menu, int tag);
    QAction* menuItemWithTag(int tag) const;
    QMenu* addMenu(const QString& title, QMenu** slot);

    // Views and controls (the controller's outlets).
    QToolBar* mToolbar = nullptr;
    QWidget* mToolbarCategoriesView = nullptr;
    QWidget* mToolbarTypesView = nullptr;
    QWidget* mToolbarTypesViewDummy = nullptr;
    QWidget* mToolbarSelectionView = nullptr;
    QWidget* mOptionLockView = nullptr;
    QWidget* mToolbarSearchView = nullptr;
    QAction* mToolbarTypesItem = nullptr; // the toolbar's second item
    QComboBox* mCategoriesPopup = nullptr;
    QComboBox* mTypesPopup = nullptr;
    QButtonGroup* mViewsSelectionControl = nullptr;
    QToolButton* mToolbarOptionButton = nullptr;
    QToolButton* mToolbarLockButton = nullptr;
    QLineEdit* mSearchField = nullptr;

    QSplitter* mMainSplitView = nullptr;
    QSplitter* mSubSplitView = nullptr;
    QSplitter* mSmartTypeSplitView = nullptr;
    QStackedWidget* mTabView = nullptr;
    QWidget* mColumnsView = nullptr;
    QWidget* mListView = nullptr;
    QWidget* mTreeView = nullptr;
    QFrame* mDetailsViewContainer = nullptr;

    BMTableView* mColumnViewTypesTable = nullptr;
    BMTableView* mSmartTypesTable = nullptr;
    BMTableView* mColumnViewDescriptionTable = nullptr;
    BMTableView* mListViewTypesTable = nullptr;
    QTreeView* mTreeViewOutlineView = nullptr;

    QToolButton* mAddButton = nullptr;
    QToolButton* mEditButton = nullptr;
    QToolButton* mDeleteButton = nullptr;
    QToolButton* mColumnDuplicateButton = nullptr;
    QToolButton* mListDuplicateButton = nullptr;
    QToolButton* mTreeDuplicateButton = nullptr;
    QToolButton* mPrintRecordButton = nullptr;
    QToolButton* mAttachmentButton = nullptr;
    QToolButton* mAutoFillButton = nullptr;
    QToolButton* mUnmaskButton = nullptr;
    QToolButton* mColumnToggleInfoButton = nullptr;
    QToolButton* mListToggleInfoButton = nullptr;
    QToolButton* mTreeToggleInfoButton = nullptr;
    QStackedWidget* mDuplicateButtons = nullptr; // the current view's duplicate button
    QStackedWidget* mToggleButtons = nullptr;    // the current view's detail toggle

    QMenu* mFileMenu = nullptr;
    QMenu* mEditMenu = nullptr;
    QMenu* mItemMenu = nullptr;
    QMenu* mViewMenu = nullptr;
    QMenu* mHelpMenu = nullptr;
    // Items without a tag of their own.
    QAction* mEditUserMenuItem = nullptr;          // File, tag 117
    QAction* mSetMasterPasswordMenuItem = nullptr; // File, tag 116
    QAction* mEventLoggerMenuItem = nullptr;       // View
    QAction* mOptionsMenuItem = nullptr;
    QAction* mReloadMenuItem = nullptr;
    QAction* mMailMenuItem = nullptr;
    QAction* mHelpMenuItem = nullptr;

    // Which tab item holds which view, by identifier.
    int tabIndexForIdentifier(const QString& identifier) const;

private:
    static constexpr int kBuildParts = 6;
    void buildToolbarViews();
    void buildCentralWidget();
    QWidget* buildColumnView();
    QWidget* buildListView();
    QWidget* buildTreeView();
    QWidget* buildButtonBar();
    void buildMenus();

    QVBoxLayout* mDetailsLayout = nullptr;
    QPointer<QWidget> mDetailsView;
    int mPartsBuilt = 0;
};
