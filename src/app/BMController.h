#pragma once
// The application controller: runs the log-in panel, starts the load, builds
// the main window and serves every command of it. One class; each concern has
// its own BMController_<Concern>.cpp and its own marked sections below.
#include <QObject>
#include <QWidget>
#include <QString>
#include <QImage>
#include <QList>
#include <QPoint>
#include <QVariant>
#include <QStringList>

#include <memory>

class TVXDataBase;
class TVXRecord;
class TVXType;
class BMGroup;
class BMMainWindow;
class BMTableView;
struct BMBrowseState;
class BMTypesTableModel;
class BMSmartTypesModel;
class BMRecordNamesModel;
class BMRecordListModel;
class BMOutlineModel;
class QAbstractItemView;
class QAction;
class QComboBox;
class QMenu;

class BMController : public QObject {
    Q_OBJECT
public:
    // The single controller; made on first use.
    static BMController* sharedApplicationController();
    explicit BMController(TVXDataBase* database = nullptr, QObject* parent = nullptr);
    ~BMController() override;

    TVXDataBase* database() const { return mDatabase; }

    // Shared state every concern reads (owned here, not in a concern's section).
    QWidget* mainWindow() const { return mMainWindow; }
    std::shared_ptr<TVXRecord> selectedTableRecord() const { return mSelectedTableRecord; }
    const QString& currentUserName() const { return mCurrentUserName; }
    bool isConnectionCancelled() const { return mIsConnectionCancelled; }

    // --- start-up, log-in and shut-down ---
    // (end of start-up, log-in and shut-down)

    // --- loading, reloading and lost connection ---
    // (end of loading, reloading and lost connection)

    // --- lock, unlock and clipboard ---
    // (end of lock, unlock and clipboard)

    // --- password panels ---
    // (end of password panels)

    // --- record commands ---
    // (end of record commands)

    // --- attachments, printing, mail and web log-in ---
    // (end of attachments, printing, mail and web log-in)

    // --- import, export, backup and restore ---
    // (end of import, export, backup and restore)

    // --- view, group and type selection ---
    // The view switch's and the View menu's view: 0 column, 1 list, 2 tree.
    void changeView(int view);
    int currentView() const;
    // The group pop-up's and the type pop-up's actions.
    void changeCategory();
    void changeType();
    // Shows (on) or hides (off) the detail pane; the View menu's item flips it.
    void toggleInfoView(bool on);
    void toggleInfoViewFromMenu();
    bool isDetailPaneShown() const;
    // Fills the detail pane with the record, or empties it for null.
    void updateDetailInfoViewWithRecord(const std::shared_ptr<TVXRecord>& record);
    // The search field's action: the tables follow the text.
    void performSearch();
    QString searchString() const;
    QComboBox* mCategoriesPopup() const;
    QComboBox* mTypesPopup() const;
    BMTableView* mListViewTypesTable() const;
    void setSelectedTableRecord(std::shared_ptr<TVXRecord> record) { mSelectedTableRecord = std::move(record); }
    int getSelectedTypeIndex() const;
    int selectedTypeFromPopup() const { return getSelectedTypeIndex(); }
    QString getSelectedTypeUID() const;
public Q_SLOTS:
    // Ctrl+F in the main window.
    void focusSearchField();
Q_SIGNALS:
    // For the detail pane: what to show (record null: empty it).
    void detailInfoRecordChanged(const std::shared_ptr<TVXRecord>& record, const QString& headerTitle,
                                 const QImage& headerImage);
    // For the detail pane: the window's mask state changed.
    void shouldMaskChanged(bool mask);
public:
    // (end of view, group and type selection)

    // --- main window, toolbar and split views ---
    // Makes the main window (once) and keeps it in mMainWindow.
    BMMainWindow* createMainWindow();
    BMMainWindow* mainWindowView() const;
    void setupToolbarForWindow(BMMainWindow* window);
    static QStringList toolbarDefaultItemIdentifiers();
    static QStringList toolbarAllowedItemIdentifiers();
    bool validateToolbarItem(const QString&) const { return true; }
    // The toolbar item's view with its size and tool tip; null for other identifiers.
    QWidget* toolbarItemForItemIdentifier(const QString& identifier);
    // The view switch's action.
    void selectTabView(int tag);
    // Prepares the window's views once after log-in and loading.
    void initSubviews();
    void initWindowTitle();
    // The three split views' layouts, kept on this computer.
    void saveSplitViewLayouts();
    void restoreSplitViewLayouts();
    // The detail pane made by its own class goes into the window's box.
    void setDetailsView(QWidget* detailsView);
    // (end of main window, toolbar and split views)

    // --- outline and record tables ---
    // Loaded and not locked: otherwise every table is empty.
    void setMShouldCreateDatabase(bool loaded);
    void setMShouldLockInfoDisplay(bool locked);
    std::shared_ptr<BMGroup> selectedGroup() const;
    std::shared_ptr<TVXType> selectedType() const;
    std::shared_ptr<TVXRecord> itemPropertiesForTableViewSelectedRow() const;
    std::shared_ptr<TVXType> typeUIDForTableViewSelectedRow() const;
    std::shared_ptr<TVXRecord> selectedSmartRecord() const;
    QList<std::shared_ptr<TVXRecord>> sortedItemsForListView();
    QList<std::shared_ptr<TVXRecord>> itemsForSelectedCategoryAndType(bool recreate);
    QList<std::shared_ptr<TVXRecord>> itemsForDiscriptionTable(bool recreate);
    QList<std::shared_ptr<TVXRecord>> itemsForOutlineViewType(const std::shared_ptr<TVXType>& type, bool recreate);
    // Reloads the current view's tables, the group pop-up's counts and the detail pane.
    void updateTables();
    // Selection changes of the tables and the outline.
    void tableViewSelectionDidChange(QAbstractItemView* table);
    void outlineViewSelectionDidChange();
    // Re-typing a record by dropping it onto a type.
    bool tableViewAcceptDrop(const QString& recordUID, const std::shared_ptr<TVXType>& type);
    bool outlineViewAcceptDrop(const QString& recordUID, const std::shared_ptr<TVXType>& type);
    void tableViewSortDescriptorsDidChange();
    // The record context menu for a right click at `pos` (viewport
    // coordinates); null where no menu belongs.
    QMenu* extendMenuforEventInTableView(QAbstractItemView* table, const QPoint& pos);
    QMenu* extendMenuforEventInOutlineView(const QPoint& pos);
    // A printed record list's value: column 0 to 14 of the list's row, never masked.
    QVariant tableViewForPrinting(int column, int row) const;
    BMRecordListModel* listModel() const { return mListModel; }
    BMTypesTableModel* typesModel() const { return mTypesModel; }
    BMSmartTypesModel* smartModel() const { return mSmartModel; }
    BMRecordNamesModel* namesModel() const { return mNamesModel; }
    BMOutlineModel* outlineModel() const { return mOutlineModel; }
    // provisional: built by grouptype
    bool checkForRecordPermissionFor(uint16_t mask, const BMGroup* group);
    // (end of outline and record tables)

    // --- pop-ups, menus, columns and sorting ---
    void initGroupUIControl();
    void updateGroupUIControl();
    void initTypesUIControl();
    void setIconToMenuItems();
    void updateEditMenu();
    void updateEditMenuItem(int fieldIndex, int tag);
    bool validateMenuItem(QAction* item);
    void validateUIControls();
    // Despite its name: true when one record is selected.
    bool isItemNotSelected() const;
    bool validateAttachmentButton() const;
    bool validateWebLogin() const;
    void createItemContextualMenu();
    void initContextualTypeSubMenu();
    void initContextualCategorySubMenu();
    // The detail pane's right click: the record menu ticked for the selected record.
    QMenu* extendMenu();
    void contextTypeMenuChanged(int tag);
    void contextCategoryMenuChanged(int tag);
    QMenu* mItemContextualMenu() const { return mItemContextualMenu_; }
    void updateTableColumnWidth();
    void saveTableColumnWidthToPreference();
    void updateTableColumnsWithSelectedItem();
    void updateTableColumnWIthID(const QString& identifier, const QString& key);
    void initTableColumnSorting();
    bool shouldMask() const { return mShouldMask; }
    void setShouldMask(bool mask);
    static bool isValidPassword(const QString& password);
    QList<std::shared_ptr<TVXRecord>> indexSetForExporting(bool listed);
    // (end of pop-ups, menus, columns and sorting)

    // --- applying the options ---
    // (end of applying the options)

private:
    TVXDataBase* mDatabase = nullptr;

    // Shared state. The main window is made by the main-window concern; the
    // selected record is kept by the tables and read by the commands.
    QWidget* mMainWindow = nullptr;
    std::shared_ptr<TVXRecord> mSelectedTableRecord;
    QString mCurrentUserName;
    QString mGroupFilterSelectedUID;
    bool mNeedToDoSynchOnExit = false;
    bool mShouldLockInfoDisplay = false;
    bool mDetailPanelIsVisible = false;
    bool mSaveBackUpIsDone = true;
    bool mAppDidFinishLaunching = false;
    bool mShouldMask = false;
    bool mShouldCreateDatabase = false;
    bool mPrintDialogON = false;
    bool mIsLoaded = false;
    bool mIsConnectionCancelled = false;
    int mLastPasteBoardChangeCount = 0;
    int mNumberOfAttempts = 0;
    int mPreviousType = 0;
    int mPreviousCategory = 0;
    int mPriviousContextualType = -1;
    int mPriviousContextualCategory = -1;

    // [start-up, log-in and shut-down]
    // (end of start-up, log-in and shut-down)

    // [loading, reloading and lost connection]
    // (end of loading, reloading and lost connection)

    // [lock, unlock and clipboard]
    // (end of lock, unlock and clipboard)

    // [password panels]
    // (end of password panels)

    // [record commands]
    // (end of record commands)

    // [attachments, printing, mail and web log-in]
    // (end of attachments, printing, mail and web log-in)

    // [import, export, backup and restore]
    // (end of import, export, backup and restore)

    // [view, group and type selection]
    QList<int> mDetailsViewFrame; // the main split's sizes while the pane is hidden
    // (end of view, group and type selection)

    // [main window, toolbar and split views]
    void connectMainWindow(BMMainWindow* window);
    bool mSubviewsReady = false;
    // (end of main window, toolbar and split views)

    // [outline and record tables]
    std::shared_ptr<BMBrowseState> mBrowseState;
    bool mReloadingTables = false; // selections put back after a reload are not the user's
    BMTypesTableModel* mTypesModel = nullptr;
    BMSmartTypesModel* mSmartModel = nullptr;
    BMRecordNamesModel* mNamesModel = nullptr;
    BMRecordListModel* mListModel = nullptr;
    BMOutlineModel* mOutlineModel = nullptr;
    // The browse state follows the pop-ups, the search field and the flags.
    void refreshBrowseState();
    void makeTableModels();
    // A record was looked at: view counts, smart lists and the event log.
    void noteRecordViewed(const std::shared_ptr<TVXRecord>& record, bool raiseMemoryCounter);
    bool retypeRecord(const std::shared_ptr<TVXRecord>& record, const std::shared_ptr<TVXType>& type,
                      bool alertOnStale);
    int selectedRowOf(QAbstractItemView* table) const;
    QList<int> selectedRowsOf(QAbstractItemView* table) const;
    // (end of outline and record tables)

    // [pop-ups, menus, columns and sorting]
    QMenu* mItemContextualMenu_ = nullptr;
    void tickContextItem(QMenu* submenu, const QString& title, int* previousTag);
    // (end of pop-ups, menus, columns and sorting)

    // [applying the options]
    // (end of applying the options)
};
