#pragma once
// Start-up, log-in and shut-down, the first load, reloads and a lost connection.

#include "app/AppState.h"
#include "platform/core/ApplicationHooks.h"
#include "platform/core/NotificationCenter.h"
#include "store/session/ResultCodes.h"
#include "store/StoreTypes.h"

#include <QList>
#include <QObject>
#include <QString>
#include <functional>
#include <memory>

class TVXDataBase;
class BMLoginPanel;
class BMProgressPanel;
class QComboBox;
class QTimer;
namespace platform {
class BackgroundTask;
}

class BMController;
struct BMAppState;
class BMAttachmentCommands;
class BMImportExport;
class BMLockControl;
class BMMainWindowSetup;
class BMOptionsApplier;
class BMPopUps;
class BMRecordCommands;
class BMTables;

class BMStartup : public QObject {
    Q_OBJECT
public:
    explicit BMStartup(BMController& app);

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
    void connectionISComplete();
    void enableConnectionWindowControls(bool enable);
    void dismissConnectionLoadingProgress();
    void cancelConnection();
    void dontSavePreference();
    bool isLoginInFlight() const { return mLoginInFlight; }
    bool isMainWindowMaximied();
    bool fontFamilyExists(const QString& family);
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
    // The log-in panel, a load or a reload is under way.
    bool isSessionWorkRunning() const { return mConnectionPanelRunning || mReloadInFlight || mLoadTask; }
    // Observers of other concerns, removed with this one's (unregisterObservers).
    void keepObserver(platform::NotificationCenter::Token token) { mObserverTokens << token; }
    void setTerminateHandler(std::function<void()> handler) { mTerminateHandler = std::move(handler); }

    // Split-view and window rules.
    void windowDidResize(bool fromNotification = true);
    void popupType(QComboBox* popup);
    TVXResult loadDataBase(bool flag);
    void showLoadingProgressPanel();
    void displayLoadingProgress();
    void dismissLoadingProgress();
    void reloadDatabase(QObject* sender);
    void installProgressIndicator();
    void uninstallProgressindicator();
    void finishReloadingData();
    void reloadFailed(int code);
    void updateApplicationUIForCurrectPermissions();
    void accountRefusedDuringReload(int code);
    void stopConnectionModelWindow();
    void dbCommunicationError();
    // Another client changed the master password: the same account logs in again with the new one.
    void dbMasterPasswordChanged();
    void dbUserDeletedError();
    BMProgressPanel* loadingDataPanel();

private:
    void showLoadedMainWindow();
    // Tells why, then runs the log-in panel for the same account.
    void logInAgain(const QString& message);
    // The view state the quit keeps (not after a cancelled log-in).
    void keepViewStateAtQuit();
    // The keyring's copy of the master password, written once a log-in succeeded with it.
    void rememberMasterPassword(const QString& master);
    // First log-in to a server without an authority: asks, keeps the answer, logs in again.
    void askToTrustServer(const QString& fingerprint);
    void endLoginAttempt(TVXResult code);
    // Selects the user's current group in the group pop-up (or the first item).
    void selectCurrentGroupInPopup();
    QString selectedGroupUIDForSaving();

    QList<platform::NotificationCenter::Token> mObserverTokens;
    bool mConnectionPanelRunning = false;
    bool mIsTerminating = false;
    // A quit or a new log-in waits for the saves in flight (asked once).
    bool mQuitWaitsForSaves = false;
    bool mLogInWaitsForSaves = false;
    QString mimportFileName;
    bool mReloadInFlight = false;
    // The first load's worker while it runs.
    std::shared_ptr<platform::BackgroundTask> mLoadTask;
    BMLoginPanel* mConnectionWindow = nullptr;
    std::function<void()> mTerminateHandler;
    bool mLoginInFlight = false;
    // The log-in attempt's worker, kept for its end: one that threw never reports.
    std::shared_ptr<platform::BackgroundTask> mLoginTask;
    bool mLoginSucceeded = false;
    bool mObserversRegistered = false;
    QTimer* mClipBoardWatchTimer = nullptr;
    BMProgressPanel* mLoadingDataPanel = nullptr;
    bool mInLostConnection = false;
    // After a lost connection the account name stays as it was.
    bool mAccountNameFixed = false;

    // What this concern reads and calls.
    BMAppState& mState;
    // The coordinator, as what the store's workers report to.
    platform::ApplicationHooks& mHooks;
    TVXDataBase* mDatabase;
    BMAttachmentCommands& mAttachmentCommands;
    BMImportExport& mImportExport;
    BMLockControl& mLockControl;
    BMMainWindowSetup& mWindowSetup;
    BMOptionsApplier& mOptionsApplier;
    BMPopUps& mPopUps;
    BMRecordCommands& mRecordCommands;
    BMTables& mTables;
};
