#pragma once
// The application controller: runs the log-in panel, starts the load, builds
// the main window and serves every command of it. One class; each concern has
// its own BMController_<Concern>.cpp and its own marked sections below.

#include "store/session/ResultCodes.h"
#include <QObject>
#include <QPointer>
#include <QWidget>
#include <QString>
#include <QImage>
#include <QList>
#include <QPoint>
#include <QVariant>
#include <QStringList>

#include <QList>

#include <any>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

#include "platform/core/ApplicationHooks.h"
#include "platform/core/NotificationCenter.h"
#include "store/schema/ColumnLimits.h"
#include "store/StoreTypes.h"

class BMDetailsView;
class BMDetailsViewDelegate;
class BMDetailsWindowController;
class TVXDataBase;
class TVXRecord;
class BMCategoryEditWindowController;
class BMCustomSettingsController;
class BMDetailsWindowController;
class BMEventLoggerWindowController;
class UserAccountController;
class BMGroup;
class BMHintQuestionPanel;
class BMLockPanel;
class BMLoginPanel;
class BMMainWindow;
class BMOutlineModel;
class BMProgressPanel;
class BMRecordListModel;
class BMRecordNamesModel;
class BMSmartTypesModel;
class BMTableView;
class BMTypesTableModel;
class QAbstractButton;
class QAbstractItemView;
class QAction;
class QComboBox;
class QLabel;
class QListView;
class QMenu;
class QSplitter;
class QStringListModel;
class QTimer;
class TVXType;
struct BMBrowseState;
namespace platform {
class BackgroundTask;
}

class BMController : public QObject, public platform::ApplicationHooks {
    Q_OBJECT
public:
    // The single controller; made on first use.
    static BMController* sharedApplicationController();
    explicit BMController(TVXDataBase* database = nullptr, QObject* parent = nullptr);
    ~BMController() override;

    TVXDataBase* database() const { return mDatabase; }

    // Shared state every concern reads (owned here, not in a concern's section).
    QWidget* mainWindow() const { return mMainWindow; }
    const QString& currentUserName() const { return mCurrentUserName; }
    bool isConnectionCancelled() const { return mIsConnectionCancelled; }

    // --- start-up, log-in and shut-down ---
    // Observers and the application hooks; undone by the destructor.
    void registerObservers();
    void unregisterObservers();
    void awakeFromNib();
    void applicationWillFinishLaunching();
    // The launch: log-in panel, load, main window. false when the user quit
    // before the main window was shown.
    bool applicationDidFinishLaunching();
    void setUserDefaultValues();
    void updateUserRelatedInterface();
    // A file handed over by the desktop: imported once the main window is shown.
    void setFileToOpenAtLaunch(const QString& path);

    // Runs the log-in panel until a log-in succeeds (true) or the panel is
    // closed (false: the application quits without saving).
    bool runConnectionPanel();
    void connectToMySqlServer();
    void connectionISComplete() override;
    void enableConnectionWindowControls(bool enable);
    void dismissConnectionLoadingProgress();
    void cancelConnection();
    void dontSavePreference();
    bool isLoginInFlight() const { return mLoginInFlight; }
    // A refresh with a search text waits for the records' search entries,
    // prepared on the workers after a load; it follows once they are.
    bool isRefreshAwaitingSearchEntries() const { return mRefreshAwaitsSearchEntries; }
    bool isMainWindowMaximied() override;
    bool fontFamilyExists(const QString& family) override;
    BMLoginPanel* connectionWindow();

    void createTemperoryFolders();
    void clearTemperoryFolders();
    static QString temporaryFolderPath();
    void saveUSerPreference();

    // Shut-down. terminate() is the application's quit: the should-terminate
    // step, then the handler (by default the event loop's quit, after which
    // applicationWillTerminate runs).
    void terminate();
    void applicationShouldTerminate();
    void applicationWillTerminate();
    void systmWillPowerOff();
    bool isTerminating() const { return mIsTerminating; }
    void setTerminateHandler(std::function<void()> handler) { mTerminateHandler = std::move(handler); }

    // Split-view and window rules.
    void windowDidResize(bool fromNotification = true);
    void popupType(QComboBox* popup);
    // (end of start-up, log-in and shut-down)

    // --- loading, reloading and lost connection ---
    TVXResult loadDataBase(bool flag);
    void showLoadingProgressPanel();
    void displayLoadingProgress();
    void dismissLoadingProgress();
    void reloadDatabase(QObject* sender);
    void installProgressIndicator();
    void uninstallProgressindicator();
    void finishReloadingData() override;
    void reloadFailed(int code) override;
    void updateApplicationUIForCurrectPermissions() override;
    void accountRefusedDuringReload(int code) override;
    void stopConnectionModelWindow() override;
    void dbCommunicationError();
    // Another client changed the master password: the same account logs in again with the new one.
    void dbMasterPasswordChanged();
    void dbUserDeletedError();
    BMProgressPanel* loadingDataPanel();
    // (end of loading, reloading and lost connection)

    // --- lock, unlock and clipboard ---
    void displayLockPanel(QObject* sender = nullptr);
    bool showLockPanel();
    void lockPanelOK();
    void lockPanelQuit();
    void lockPanelHint();
    void HintQuestionAnswerPanelOK();
    void displayErrCode(TVXResult code);
    void installInactiveTimerWithTime(double minutes);
    void DoIdle();
    void closeModals();
    void checkClipBoard();
    void installClearClipBoardTimer(bool quitting);
    void clearClipBoard(QTimer* timer);
    void clearClipBoardAction();
    bool isLocked() const { return mShouldLockInfoDisplay; }
    int numberOfAttempts() const { return mNumberOfAttempts; }
    bool isClearClipBoardPending() const { return mClearClipBoardTimer != nullptr; }
    BMLockPanel* lockPanel();
    BMHintQuestionPanel* hintQuestionAnswerPanel();
    // Whether this application is the active one (replaceable for tests).
    void setApplicationActiveProbe(std::function<bool()> probe) { mApplicationActiveProbe = std::move(probe); }
    // The open record editor gets Return (how the idle lock confirms it first).
    void setReturnKeyPoster(std::function<void(int times)> poster) { mReturnKeyPoster = std::move(poster); }
    // (end of lock, unlock and clipboard)

    // --- password panels ---
    // The signed-in user's password panel (menu command): checks, then stores
    // the password with its hint. passwordPanelOK answers whether it passed.
    void setPassword();
    bool passwordPanelOK();
    void passwordPanelCancel();
    // The master-password panels (menu command), then the re-encryption of the
    // whole store behind a progress panel.
    void setMasterPassword();
    bool masterPasswordPanelOK();
    void masterPasswordPanelCancel();
    // Runs until the re-encryption worker is done; its result code.
    TVXResult showReencryptingPanel();
    void endPasswordPanelSheet();
    // A panel's text changed: the new password's strength follows.
    void controlTextDidChange(QObject* field);
    class BMUserPasswordPanel* passwordPanel();
    class BMMasterPasswordPanel* setMasterPasswordPanel();
    class BMMasterPasswordPanel* resetMasterPasswordPanel();
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
    // The windows the commands open, over this controller's database manager
    // (the shared ones when it is the shared manager).
    BMCategoryEditWindowController& categoryEditController();
    BMCustomSettingsController& customSettingsController();
    BMDetailsWindowController& detailsWindowController();
    UserAccountController& userAccountController();
    BMEventLoggerWindowController* eventLoggerWindowController();
    QWidget* dedupeSheet();
    const QStringList& dedupeItemsNames() const { return mDedupeItemsNames; }
    // (end of record commands)

    // --- attachments, printing, mail and web log-in ---
    // A file is accepted as an attachment only when it is smaller.
    static constexpr qint64 kAttacmentMaxSize = tvxsql::kAttachmentByteLimit;
    // The pane of the main window; while one is set, the attachment row's
    // button ("AddExtractAttachmentMenu") opens the attachment menu on it.
    void setDetailInfoView(BMDetailsView* view);
    BMDetailsView* detailInfoView() const { return mDetailInfoView; }
    // The attachment button: remove the selected record's attachment, or add one.
    void attachmentAction();
    // The chosen file of the add panel (returnCode -1000 OK, -1001 Cancel).
    void attachmentSelectionPanelDidEnd(const QString& path, int returnCode);
    // The pane's attachment row asked ("AddExtractAttachmentMenu", whose object
    // is the row's button): writes the selected record's attachment to the
    // private temporary folder and shows the Open With / Save As menu on the pane.
    void addExtractAttachmentMenu(const std::any& button);
    // The menu for the written file; the caller owns it.
    QMenu* attachmentMenuForFile(const QString& path, QWidget* parent = nullptr);
    void launchfile(QAction* item);
    void openWithApp(QAction* item);
    void saveAsAttachment(QAction* item);
    // The save panel's end: writes the attachment to `chosenPath`, shows it in
    // the file manager, and removes the temporary copy in every case.
    void openPanelDidEndForExtarctAttachment(const QString& chosenPath, int returnCode,
                                             const QString& temporaryPath);
    void clearTmpFiles();
    void printRecord();
    void print();
    void printOperationDidRun(bool success);
    bool isPrintDialogOn() const { return mPrintDialogON; }
    void askForSendingMailWithAttachment(const QString& path);
    // Runs the hand-over on a worker; false when another one still runs (dropped).
    bool runAppleScript(std::function<void()> script);
    void webLogin();
    // (end of attachments, printing, mail and web log-in)

    // --- import, export, backup and restore ---
    // Export commands: tag 1070 qVX with attachments allowed, 1071 qVX, 1072 CSV.
    void exportSelectedFile(int tag);
    void exportItemsToQVX();
    void exportSelectionChange();
    // The password sheet, then the export on a worker behind the progress
    // panel. -1000 only when the file was written with every record.
    int runPassDialogForExportForFile(const QString& path, int exportTypes, int requestedKind);
    bool qvxExportpasswordPanelOK();
    void qvxExportpasswordPanelCancel();
    // Called by the group/type editor before a deletion.
    void backupRecords();
    // Import commands: tag 1060 qVX, 1061 CSV, 1062 to 1066 text, 109 restore.
    void importSelectedFile(int tag);
    void importQVXFile(const QString& path, bool forRestore);
    bool qvxImportpasswordPanelOK();
    void qvxImportpasswordPanelCancel();
    void importFile(const QString& path);
    // A file handed to the application; always true.
    bool openFile(const QString& path);
    void mailSelectedFile();
    void mailItems();
    // Replaces what the commands ask of the rest of the application (tests).
    void setExchangeHooks(const struct BMExchangeHooks& hooks);
    const struct BMExchangeHooks& exchangeHooks() const;
    // The panels of these commands (made on first use).
    QWidget* exportPasswordPanel();
    QWidget* importPasswordPanel();
    QWidget* exportOptionsView();
    // (end of import, export, backup and restore)

    // --- view, group and type selection ---
    // The view switch's and the View menu's view: 0 column, 1 list, 2 tree.
    void changeView(int view);
    int currentView() const;
    // The group pop-up's and the type pop-up's actions.
    void changeCategory(QObject* sender = nullptr);
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
    // The about box (made by initAboutBoxsetting at the launch), shown from the Help menu.
    void orderFrontAboutPanel();
    QWidget* aboutBox() const { return mAboutBox; }
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
    // Reloads the current view's tables, the group pop-up's counts and the
    // detail pane; what the store announced until then is shown with it.
    void updateTables();
    // While held, refreshes asked for are made once, when the hold ends:
    // the launch's steps each ask for one over the same records.
    void holdTableRefreshes();
    void releaseTableRefreshes();
    // In the column view with no type chosen, chooses the current type row (or the first).
    void chooseTypeInColumnView();
    void awaitSearchEntries();
    void pollSearchEntries();
    // Shows what the store announced (records, groups, types) now: the pop-ups
    // and menus that list what changed, then the tables. Nothing announced, nothing done.
    void followStoreChanges();
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
    // Re-applies the user's options to the main window: colours, font and row
    // height, list columns, sorting, and the lock and clipboard timers.
    void optionsDidChange();
    // Calls optionsDidChange on every "Tolvan Preference Changed Notification".
    void observeOptionChanges();
    void updateFontForTable(class QAbstractItemView* table);
    void updateTableColumn(uint64_t bit, const QString& identifier, int index);
    void listViewColumnsVisiblityChanged();
    void rearrangeTableColumns();
    // The options window, storing column settings for the list's selected type.
    class BMOptionsWindowController* optionsWindowController();
    // (end of applying the options)

    // --- wiring of the main window ---
    // Connects the main window's buttons, menu items, toolbar buttons, tables
    // and pop-up editing items to the commands (once, when the window is made).
    void connectCommands(BMMainWindow* window);
    // Puts a detail pane into the main window: it follows the selection and
    // the mask state, and the controller answers what it asks.
    void plugDetailPane(BMMainWindow* window);
    BMDetailsViewDelegate* detailsViewDelegate();
    // What the record sheet asks of the application: the sheet of a record's
    // own field set, and the printing of one record.
    void installRecordSheetHooks(BMDetailsWindowController& sheet);
    // Prints one record as the detail pane draws it; true when it was printed.
    bool printRecordDetails(const std::shared_ptr<TVXRecord>& record, QWidget* parent);
    // Launch steps: the tables that take dropped records, the key-view loop,
    // and the menu items no user is offered.
    void registerRecordDragTypes();
    void correctTabNextKeyViews();
    void removeUnofferedMenuItems();
    // Dividers stop at the limits of their split view.
    void applySplitViewLimits(BMMainWindow* window);
    // (end of wiring of the main window)

private:
    // Tells why, then runs the log-in panel for the same account.
    void logInAgain(const QString& message);
    // The keyring's copy of the master password, written once a log-in succeeded with it.
    void rememberMasterPassword(const QString& master);
    // Whether the store has a connection to the server (preferences are saved only then).
    bool storeConnected() const;
    TVXDataBase* mDatabase = nullptr;
    // Parts of that same store, for the files that need no more of it.
    TVXStoreCaches& mCaches;
    TVXPreferences& mPreferences;
    TVXPasswordHint& mPasswordHint;
    TVXEventLogAccess& mEventLog;
    TVXIconsAccess& mIcons;
    TVXRecentListsAccess& mRecentLists;
    TVXAttachmentStoreAccess& mAttachments;
    TVXAccountAdminAccess& mAccountAdmin;
    TVXPersonalAccess& mPersonal;
    TVXRecordWriter& mRecordWriter;
    TVXGroupTypeWriter& mGroupTypeWriter;
    TVXMasterPasswordChange& mMasterPassword;

    // Shared state. The main window is made by the main-window concern; the
    // selected record is what its views have selected.
    QPointer<QWidget> mMainWindow; // deleted with the controller
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
    BMLoginPanel* mConnectionWindow = nullptr;
    QList<platform::NotificationCenter::Token> mObserverTokens;
    std::function<void()> mTerminateHandler;
    bool mLoginInFlight = false;
    // The log-in attempt's worker, kept for its end: one that threw never reports.
    std::shared_ptr<platform::BackgroundTask> mLoginTask;
    // First log-in to a server without an authority: asks, keeps the answer, logs in again.
    void askToTrustServer(const QString& fingerprint);
    void endLoginAttempt(TVXResult code);
    bool mLoginSucceeded = false;
    bool mConnectionPanelRunning = false;
    bool mIsTerminating = false;
    bool mObserversRegistered = false;
    QTimer* mClipBoardWatchTimer = nullptr;
    QString mimportFileName;
    // The main window's parts as the launch and the reload use them (null
    // before the window exists).
    void initAboutBoxsetting();
    QComboBox* categoriesPopup();
    QComboBox* typesPopup();
    QMenu* itemContextualMenu();
    QSplitter* mainSplitView();
    QSplitter* subSplitView();
    QSplitter* smartTypeSplitView();
    void saveLayoutPreferenceWithName(QSplitter* splitView, const QString& name);
    void restoreLayoutPreferenceFromName(QSplitter* splitView, const QString& name);
    bool columnToggleInfoState();
    // (end of start-up, log-in and shut-down)

    // [loading, reloading and lost connection]
    BMProgressPanel* mLoadingDataPanel = nullptr;
    bool mReloadInFlight = false;
    bool mRefreshAwaitsSearchEntries = false;
    bool mHoldingTableRefreshes = false;
    bool mTableRefreshHeld = false; // one was asked for while held
    bool mInLostConnection = false;
    // After a lost connection the account name stays as it was.
    bool mAccountNameFixed = false;
    // The first load's worker while it runs.
    std::shared_ptr<platform::BackgroundTask> mLoadTask;
    // Selects the user's current group in the group pop-up (or the first item).
    void selectCurrentGroupInPopup();
    QString selectedGroupUIDForSaving();
    // (end of loading, reloading and lost connection)

    // [lock, unlock and clipboard]
    BMLockPanel* mLockPanel = nullptr;
    BMHintQuestionPanel* mHintQuestionAnswerPanel = nullptr;
    QTimer* mClearClipBoardTimer = nullptr;
    std::function<bool()> mApplicationActiveProbe;
    std::function<void(int)> mReturnKeyPoster;
    void lockUserInterface(bool locked);
    static void resetIdleGuard();
    // (end of lock, unlock and clipboard)

    // [password panels]
    BMUserPasswordPanel* mPasswordPanel = nullptr;
    BMMasterPasswordPanel* mSetMasterPasswordPanel = nullptr;
    BMMasterPasswordPanel* mResetMasterPasswordPanel = nullptr;
    BMMasterPasswordPanel* mActiveMasterPasswordPanel = nullptr;
    bool mMasterPasswordChecksPassed = false;
    QWidget* mReencryptingPanel = nullptr;
    // The running re-encryption.
    std::shared_ptr<platform::BackgroundTask> mReencryption;
    // (end of password panels)

    // [record commands]
    // The view selector's tag (0 column, 1 list, 2 tree), as the view state is saved.
    int selectedViewTag() const;
    // The main window's mask button; null before the window exists.
    QAbstractButton* unmaskButton() const;
    void reportStoreResult(TVXResult code) const;
    // Saves the record as new from `source` (edit's "save as new", duplicate).
    TVXResult addRecordSavedFrom(const std::shared_ptr<TVXRecord>& record, const TVXRecord* source);
    // Made for a manager other than the shared one; children of the controller.
    BMCustomSettingsController* mOwnCustomSettings = nullptr;
    BMCategoryEditWindowController* mOwnCategoryEditor = nullptr;
    BMDetailsWindowController* mOwnDetailsController = nullptr;
    UserAccountController* mOwnUserAccounts = nullptr;
    BMEventLoggerWindowController* mOwnEventLogger = nullptr;
    QWidget* mDedupeItems = nullptr;
    QListView* mDedupelistTable = nullptr;
    QLabel* mNumberOfDedupesText = nullptr;
    QStringListModel* mDedupeListModel = nullptr;
    QStringList mDedupeItemsNames;
    // (end of record commands)

    // [attachments, printing, mail and web log-in]
    // The detail pane the main window shows (set by setDetailInfoView).
    BMDetailsView* mDetailInfoView = nullptr;
    // The address a web log-in opens: www. gets http://; only web addresses pass.
    static QString webLoginAddress(const QString& value);
    void refreshAfterAttachmentChange(const std::shared_ptr<TVXRecord>& record);
    // (end of attachments, printing, mail and web log-in)

    // [import, export, backup and restore]
    void exportPanelDidEnd(int tag, const QString& path);
    void importPanelDidEnd(int tag, const QString& path);
    // Runs the export on a worker and waits for it behind the progress panel.
    bool runExportInBackground(class CExportDelegate& provider, const QString& path, int kind,
                               const QString& password, bool showProgress = true);
    void runImportInBackground(class TVXqVXImportDelegate& sink, const QString& password, bool showProgress = true);
    void importCSVFile(const QString& path, bool showProgress);
    bool mayExportFromSelectedGroup(bool forMail, bool* allRecordsAllowed);
    bool isPersonalGroup(const BMGroup* group) const;
    // Panels, hooks and accessory of these commands; made on first use.
    mutable std::shared_ptr<class BMExchangeState> mExchange;
    class BMExchangeState& exchange() const;
    QString mSelectedFileName;
    // (end of import, export, backup and restore)

    // [view, group and type selection]
    QList<int> mDetailsViewFrame; // the main split's sizes while the pane is hidden
    // (end of view, group and type selection)

    // [main window, toolbar and split views]
    void connectMainWindow(BMMainWindow* window);
    bool mSubviewsReady = false;
    QWidget* mAboutBox = nullptr;
    // (end of main window, toolbar and split views)

    // [outline and record tables]
    std::shared_ptr<BMBrowseState> mBrowseState;
    bool mReloadingTables = false; // selections put back after a reload are not the user's
    unsigned mPendingStoreChanges = 0; // the store's announced kinds not shown yet
    bool mStoreFollowQueued = false;     // one queued follow per turn of the event loop
    void observeStoreChanges();
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
                      bool alertOnFailure);
    // A dragged record dropped onto a type, with the edit right checked.
    bool dropRecordOnType(const QString& recordUID, const std::shared_ptr<TVXType>& type, bool alertOnFailure);
    int selectedRowOf(QAbstractItemView* table) const;
    QList<int> selectedRowsOf(QAbstractItemView* table) const;
    // The records the Delete command removes in the current view: the
    // description table's selected record (column view), the selected rows,
    // leaving only the row above the first one selected (list view), or the
    // outline's selected record (tree view).
    QList<std::shared_ptr<TVXRecord>> recordsSelectedForDeletion();
    // Tree view: when the selected row is a type row, expands or collapses it
    // and answers true.
    bool toggleSelectedTreeTypeRow();
    // List view: selects every row.
    void selectAllRecordRows();
    // The smart types' table reads its lists again; its selection stays.
    void reloadSmartTypesTable();
    // (end of outline and record tables)

    // [pop-ups, menus, columns and sorting]
    QList<std::shared_ptr<TVXRecord>> contextMenuRecords(BMMainWindow& window);
    QMenu* mItemContextualMenu_ = nullptr;
    void tickContextItem(QMenu* submenu, const QString& title, int* previousTag);
    // (end of pop-ups, menus, columns and sorting)

    // [applying the options]
    quint64 mOptionsObserver = 0;
    class BMOptionsWindowController* mOwnOptionsWindow = nullptr;
    // (end of applying the options)

    // [wiring of the main window]
    std::shared_ptr<BMDetailsViewDelegate> mPaneDelegate;
    bool mCommandsConnected = false;
    bool mWatchingMainWindow = false;
    // The controller becomes the shown main window's delegate: its resizes
    // keep the smart types' pane high enough and remember the frame.
    void watchMainWindow();
    // (end of wiring of the main window)
};
