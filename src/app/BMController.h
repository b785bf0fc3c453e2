#pragma once
// The application controller: runs the log-in panel, starts the load, builds
// the main window and serves every command of it. One class; each concern has
// its own BMController_<Concern>.cpp and its own marked sections below.
#include <QObject>
#include <QWidget>
#include <QString>

#include <any>
#include <atomic>
#include <functional>
#include <memory>

#include "platform/core/ApplicationHooks.h"
#include "platform/core/NotificationCenter.h"

class TVXDataBase;
class TVXRecord;
class QAbstractButton;
class QComboBox;
class QMenu;
class QSplitter;
class QTimer;
class BMLoginPanel;
class BMProgressPanel;
class BMLockPanel;
class BMHintQuestionPanel;

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
    std::shared_ptr<TVXRecord> selectedTableRecord() const { return mSelectedTableRecord; }
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
    int loadDataBase(bool flag);
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
    void displayErrCode(int code);
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
    // (end of password panels)

    // --- record commands ---
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
    BMLoginPanel* mConnectionWindow = nullptr;
    QList<platform::NotificationCenter::Token> mObserverTokens;
    std::function<void()> mTerminateHandler;
    bool mLoginInFlight = false;
    bool mLoginSucceeded = false;
    bool mConnectionPanelRunning = false;
    bool mIsTerminating = false;
    bool mObserversRegistered = false;
    QTimer* mClipBoardWatchTimer = nullptr;
    QString mimportFileName;
    // Runs the event loop (the workers hand results over through it) while busy() holds.
    static void waitWhile(const std::function<bool()>& busy);
    // provisional: built by mainwin
    void initAboutBoxsetting();
    void initGroupUIControl();
    void initTypesUIControl();
    void setupToolbarForWindow(QWidget* window);
    void setIconToMenuItems();
    void createItemContextualMenu();
    void initTableColumnSorting();
    void initSubviews();
    void initWindowTitle();
    void updateTables();
    void changeCategory(QObject* sender);
    void saveTableColumnWidthToPreference();
    std::shared_ptr<TVXRecord> itemPropertiesForTableViewSelectedRow();
    QComboBox* categoriesPopup();
    QComboBox* typesPopup();
    QMenu* itemContextualMenu();
    QSplitter* mainSplitView();
    QSplitter* subSplitView();
    QSplitter* smartTypeSplitView();
    void saveLayoutPreferenceWithName(QSplitter* splitView, const QString& name);
    void restoreLayoutPreferenceFromName(QSplitter* splitView, const QString& name);
    int selectedViewTag();
    bool columnToggleInfoState();
    void createMainWindow();
    // provisional: built by grouptype
    void unmask(QObject* sender);
    QAbstractButton* unmaskButton();
    // provisional: built by admin
    void importFile(const QString& path);
    // provisional: built by options
    void optionsDidChange();
    // provisional: built by detailpane
    void addExtractAttachmentMenu(const std::any& button);
    // (end of start-up, log-in and shut-down)

    // [loading, reloading and lost connection]
    BMProgressPanel* mLoadingDataPanel = nullptr;
    bool mReloadInFlight = false;
    bool mInLostConnection = false;
    // After a lost connection the account name stays as it was.
    bool mAccountNameFixed = false;
    std::shared_ptr<std::atomic<bool>> mLoadWorkerDone;
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
    // (end of password panels)

    // [record commands]
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
