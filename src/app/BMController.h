#pragma once
// The application controller: runs the log-in panel, starts the load, builds
// the main window and serves every command of it. One class; each concern has
// its own BMController_<Concern>.cpp and its own marked sections below.
#include <QObject>
#include <QWidget>
#include <QString>

#include <memory>

class TVXDataBase;
class TVXRecord;
// Used by the record commands.
class BMGroup;
class BMCategoryEditWindowController;
class BMCustomSettingsController;
class QAbstractButton;
class QAction;
class QLabel;
class QListView;
class QStringListModel;

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
    // Permission tests of the commands (and of the detail pane and record
    // sheet): a refusal is shown and answers false.
    bool checkForRecordPermissionFor(uint16_t mask, const BMGroup* group);
    bool checkForDataPermissionFor(uint16_t mask);

    // The commands; a sender is the menu item, button or table that sent it
    // (a menu item's tag is its "tag" property, else its data).
    void addItemsToDetail(QObject* sender = nullptr);
    void editItemDoubleAction(QObject* sender = nullptr);
    void duplicateItem(QObject* sender = nullptr);
    void deleteSelected(QObject* sender = nullptr);
    void unmask(QAbstractButton* maskButton);
    void unmaskFromMenu(QAction* item);
    void copyFieldValue(QObject* sender);
    void copyFieldValue(int tag);
    void deDupe(QObject* sender = nullptr);
    void dedupeYes(QObject* sender = nullptr);
    void dedupeNo(QObject* sender = nullptr);
    void selectAll(QObject* sender = nullptr);
    void displayFieldCustomizePanel(QObject* sender = nullptr);
    void addTypes(QObject* sender = nullptr);
    void displayEditGroupPanel(QObject* sender = nullptr);
    void displayEditTypesPanel(QObject* sender = nullptr);
    void displayEditUsersPanel(QObject* sender = nullptr);
    void displayOptionsPanel(QObject* sender = nullptr);
    void eventLogger(QObject* sender = nullptr);
    void showHelp(QObject* sender = nullptr);
    // Every duplicate record of the whole store (the first of each equal set is kept).
    QList<std::shared_ptr<TVXRecord>> deDupeIndexes();
    static bool itemsAreEqual(const TVXRecord& first, const TVXRecord& second);
    // The cached record the tables have selected, or null.
    std::shared_ptr<TVXRecord> selectedRecord() const;
    // The editor of groups and types over this controller's database manager.
    BMCategoryEditWindowController& categoryEditController();
    BMCustomSettingsController& customSettingsController();
    QWidget* dedupeSheet();
    const QStringList& dedupeItemsNames() const { return mDedupeItemsNames; }

    // provisional: built by mainwin
    std::shared_ptr<BMGroup> selectedGroup() const;
    void initTypesUIControl();
    void initGroupUIControl();
    void updateTables();
    void validateUIControls();
    void updateDetailInfoViewWithRecord(const std::shared_ptr<TVXRecord>& record);
    void changeCategory(QObject* sender);
    void initContextualTypeSubMenu();
    void initContextualCategorySubMenu();
    void setShouldMask(bool mask);
    // provisional: built by recsheet
    std::shared_ptr<TVXRecord> orderFrontDetailsWindowWithInfo(const std::shared_ptr<TVXRecord>& record,
                                                               int& operation);
    // provisional: built by admin
    void backupRecords();
    // (end of record commands)

    // --- attachments, printing, mail and web log-in ---
    // (end of attachments, printing, mail and web log-in)

    // --- import, export, backup and restore ---
    // (end of import, export, backup and restore)

    // --- view, group and type selection ---
    // (end of view, group and type selection)

    // --- main window, toolbar and split views ---
    // (end of main window, toolbar and split views)

    // --- outline and record tables ---
    // (end of outline and record tables)

    // --- pop-ups, menus, columns and sorting ---
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
    // provisional: built by mainwin. The view selector's tag (0 column, 1 list, 2 tree).
    int selectedViewTag() const;
    // provisional: built by mainwin. The records the Delete command removes in
    // the current view: the description table's selected record (column
    // view), the selected rows after only the row above the first is left
    // selected (list view), or the outline's selected record (tree view).
    QList<std::shared_ptr<TVXRecord>> recordsSelectedForDeletion();
    // provisional: built by mainwin. Tree view: when the selected row is a type
    // row, expand or collapse it and answer true.
    bool toggleSelectedTreeTypeRow();
    // provisional: built by mainwin. List view: select every row.
    void selectAllRecordRows();
    // provisional: built by mainwin. The smart types' table reads its lists again.
    void reloadSmartTypesTable();
    // provisional: built by mainwin. Group and type pop-ups and the mask item of the View menu.
    void selectCategoriesPopupIndex(int index);
    QString categoriesPopupTitle() const;
    void selectCategoriesPopupTitle(const QString& title); // the first item when gone
    void selectTypesPopupIndex(int index);
    QAction* viewMenuItemWithTag(int tag) const;
    QAbstractButton* unmaskButton() const;
    // provisional: built by detailpane
    void resetDetailInfo();
    void setDetailPaneShouldMask(bool mask);
    // provisional: built by admin (user account window) and options (options window, event-log viewer)
    void displayUserList();
    void showOptionsWindow();
    void showEventLogViewer();
    // provisional: built by mainwin. The record list's first sort descriptor, if any.
    bool recordListFirstSortDescriptor(struct TVXSortDescriptor* descriptor) const;
    void reportStoreResult(int code) const;
    // Saves the record as new from `source` (edit's "save as new", duplicate).
    int addRecordSavedFrom(const std::shared_ptr<TVXRecord>& record, const TVXRecord* source);
    // Made for a manager other than the shared one; children of the controller.
    BMCustomSettingsController* mOwnCustomSettings = nullptr;
    BMCategoryEditWindowController* mOwnCategoryEditor = nullptr;
    QWidget* mDedupeItems = nullptr;
    QListView* mDedupelistTable = nullptr;
    QLabel* mNumberOfDedupesText = nullptr;
    QStringListModel* mDedupeListModel = nullptr;
    QStringList mDedupeItemsNames;
    // (end of record commands)

    // [attachments, printing, mail and web log-in]
    // (end of attachments, printing, mail and web log-in)

    // [import, export, backup and restore]
    // (end of import, export, backup and restore)

    // [view, group and type selection]
    // (end of view, group and type selection)

    // [main window, toolbar and split views]
    // (end of main window, toolbar and split views)

    // [outline and record tables]
    // (end of outline and record tables)

    // [pop-ups, menus, columns and sorting]
    // (end of pop-ups, menus, columns and sorting)

    // [applying the options]
    // (end of applying the options)
};
