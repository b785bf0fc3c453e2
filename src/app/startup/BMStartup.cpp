// Loading after the log-in, reloading on demand, and what a lost connection
// or a removed account leads to.
#include "app/startup/BMStartup.h"
#include "app/AppControllerRules.h"
#include "app/BMController.h"
#include "app/startup/BMLoginPanel.h"
#include "app/BMProgressPanel.h"
#include "exchange/EventLogBackup.h"
#include "model/BMGroup.h"
#include "model/BMPasswordPolicyController.h"
#include "model/TVXRecord.h"
#include "model/TVXUID.h"
#include "model/TVXUser.h"
#include "platform/core/BackgroundTask.h"
#include "platform/core/UserDefaults.h"
#include "platform/ui/AlertPanel.h"
#include "platform/ui/IdleTimer.h"
#include "platform/ui/Keychain.h"
#include "platform/ui/ModalRun.h"
#include "platform/ui/Pasteboard.h"
#include "store/accounts/HintQuestions.h"
#include "store/attachments/TVXAttachmentFolder.h"
#include "store/TVXDataBase.h"
#include "windows/BMMainWindow.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QEvent>
#include <QEventLoop>
#include <QFontDatabase>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSplitter>
#include <QTimer>
#include <functional>
#include <memory>
#include <optional>
#include <utility>

BMStartup::BMStartup(BMController& app)
    : mState(app.state()), mHooks(app), mDatabase(app.database()),
      mAttachmentCommands(app.attachmentCommands()), mImportExport(app.importExport()),
      mLockControl(app.lockControl()), mWindowSetup(app.windowSetup()),
      mOptionsApplier(app.optionsApplier()), mPopUps(app.popUps()), mRecordCommands(app.recordCommands()),
      mTables(app.tables())
{
}

namespace {

const QString kPanelDismissalName = QStringLiteral("LoadingPanelDismissal");

// Runs `then` once the window's next paint has gone through (or after a
// while, should no paint come).
class AfterFirstPaint : public QObject {
public:
    AfterFirstPaint(QWidget* window, std::function<void()> then) : QObject(window), mThen(std::move(then))
    {
        setObjectName(kPanelDismissalName);
        window->installEventFilter(this);
        QTimer::singleShot(3000, this, [this] { finish(); });
    }
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            QTimer::singleShot(0, this, [this] { finish(); });
        return false;
    }

private:
    void finish()
    {
        if (mThen)
            std::exchange(mThen, nullptr)();
        deleteLater();
    }
    std::function<void()> mThen;
};

// Runs the steps one a turn of the event loop and returns after the last;
// user input meanwhile waits.
void runInTurns(const QList<std::function<void()>>& steps)
{
    QEventLoop loop;
    qsizetype next = 0;
    std::function<void()> step = [&] {
        steps.at(next++)();
        if (next < steps.size())
            QTimer::singleShot(0, &loop, step);
        else
            loop.quit();
    };
    if (steps.isEmpty())
        return;
    QTimer::singleShot(0, &loop, step);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
}

// Waits for a loading worker, which hands its last calls over through the
// event loop; true when it threw, and so never told the application its code.
bool finishWorker(platform::BackgroundTask& task)
{
    task.waitForFinished();
    return task.outcome().failed;
}

} // namespace

BMProgressPanel* BMStartup::loadingDataPanel()
{
    if (!mLoadingDataPanel) {
        mLoadingDataPanel = new BMProgressPanel;
        connect(this, &QObject::destroyed, mLoadingDataPanel, &QObject::deleteLater);
    }
    return mLoadingDataPanel;
}

// --- first load ---------------------------------------------------------------

TVXResult BMStartup::loadDataBase(bool flag)
{
    (void)flag; // the first load: everything is read
    BMLoginPanel* panel = connectionWindow();
    // The user's row is read on a worker too: the server may be far away.
    const auto userRow = platform::BackgroundTask::start(
        [mDatabase = mDatabase, name = panel->mLoginUserName()->text(), password = panel->mUserPassword()->text()] {
            const TVXResult read = mDatabase->initUserDetails(name, password);
            mDatabase->endClientThreadState();
            return int(read);
        });
    const bool rowThrew = finishWorker(*userRow);
    const TVXResult code = rowThrew ? kTVXNotServerError : static_cast<TVXResult>(userRow->outcome().code);
    if (code != kTVXDone)
        return code;
    // Its code stays in connectionErrorCode(), which the launch reads once the panel is down.
    // The search entries are prepared right after, on threads of their own: the window need not wait for them.
    mLoadTask = platform::BackgroundTask::start([mDatabase = mDatabase] {
        const TVXResult loaded = mDatabase->loadDataBase();
        mDatabase->caches().prepareSearchEntries();
        return loaded;
    });
    // The window is made while the store loads, rather than after: it reads
    // nothing of the caches until its tables are first filled. It is made a
    // part a turn of the event loop, so that the panel and input keep being served.
    mWindowSetup.startMainWindowInParts();
    showLoadingProgressPanel();
    // The panel may be dismissed early; the caches are the worker's until it ends.
    const bool threw = finishWorker(*mLoadTask);
    mLoadTask.reset();
    while (mWindowSetup.isMainWindowInParts())
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    if (threw) {
        // The store never recorded a code: say so here, as the launch does for a failed load.
        dismissLoadingProgress();
        reloadFailed(resultNumber(kTVXStatementFailed));
    }
    return kTVXDone;
}

void BMStartup::showLoadingProgressPanel()
{
    loadingDataPanel()->setText(tr("Loading data from the server..."));
    loadingDataPanel()->startAnimation();
    displayLoadingProgress();
    // The panel stays up while the main window is made: the launch dismisses it.
}

void BMStartup::displayLoadingProgress()
{
    if (mLoadTask)
        platform::runModalUntilFinished(loadingDataPanel(), *mLoadTask, true);
}

void BMStartup::dismissLoadingProgress()
{
    BMProgressPanel* panel = loadingDataPanel();
    const auto orderOut = [panel = QPointer<BMProgressPanel>(panel)] {
        if (!panel)
            return;
        panel->hide();
        panel->setWindowModality(Qt::NonModal);
        panel->stopAnimation();
    };
    // A shown main window takes over once it has painted: until then the
    // panel stays, so that the screen never shows no window at all.
    QWidget* window = mState.mMainWindow;
    if (panel->isVisible() && window && window->isVisible()) {
        new AfterFirstPaint(window, orderOut);
        window->update();
        return;
    }
    orderOut();
}

// --- reload -------------------------------------------------------------------

void BMStartup::reloadDatabase(QObject* sender)
{
    if (mReloadInFlight)
        return;
    // A save still due its answer first: its memory part must not land in the fresh caches.
    if (mDatabase->savesInFlight() > 0) {
        QPointer<BMStartup> self(this);
        QPointer<QObject> from(sender);
        mDatabase->whenSavesAnswered([self, from] {
            if (self)
                self->reloadDatabase(from);
        });
        return;
    }
    // The launch's panel, not yet gone, becomes this run's: it must not go mid-way.
    if (QWidget* window = mState.mMainWindow)
        qDeleteAll(window->findChildren<QObject*>(kPanelDismissalName, Qt::FindDirectChildrenOnly));
    loadingDataPanel()->setText(tr("Reloading data from the server..."));
    loadingDataPanel()->startAnimation();
    if (sender)
        mDatabase->caches().mCurrentUser()->setMCurrentGroup(selectedGroupUIDForSaving());
    mReloadInFlight = true;
    // A failure reaches the application through reloadFailed on the main thread.
    const auto task = platform::BackgroundTask::start([mDatabase = mDatabase] {
        const TVXResult reloaded = mDatabase->reloadDatabase();
        mDatabase->caches().prepareSearchEntries();
        return reloaded;
    });
    installProgressIndicator();
    platform::runModalUntilFinished(loadingDataPanel(), *task);
    // The caches are the worker's until it ends.
    if (finishWorker(*task))
        reloadFailed(resultNumber(kTVXStatementFailed));
    loadingDataPanel()->hide();
    loadingDataPanel()->stopAnimation();
    mReloadInFlight = false;
}

void BMStartup::installProgressIndicator()
{
    BMProgressPanel* panel = loadingDataPanel();
    panel->adjustSize();
    panel->raise();
    panel->activateWindow();
}

void BMStartup::uninstallProgressindicator()
{
    BMProgressPanel* panel = loadingDataPanel();
    if (panel->isVisible())
        platform::abortModal();
    panel->hide();
    panel->stopAnimation();
}

void BMStartup::selectCurrentGroupInPopup()
{
    QComboBox* popup = mWindowSetup.categoriesPopup();
    if (!popup || popup->count() == 0)
        return;
    const QString current = mDatabase->caches().mCurrentUser()->mCurrentGroup();
    int index = 0;
    if (mDatabase->caches().mGroups().contains(current)) {
        const auto groups = mDatabase->caches().groupsForEditing(false);
        for (int i = 0; i < groups.size(); ++i) {
            if (groups[i]->mGroupUID() == current) {
                index = i;
                break;
            }
        }
    }
    popup->setCurrentIndex(index < popup->count() ? index : 0);
}

void BMStartup::finishReloadingData()
{
    // The pop-ups and tables below ask the same of the caches: each answered once.
    const TVXStoreCaches::QueryBatch batch(mDatabase->caches());
    mWindowSetup.initWindowTitle();
    uninstallProgressindicator();
    mPopUps.initGroupUIControl();
    // The tables are refreshed once, by the group choice below.
    mPopUps.initTypesUIControl();
    selectCurrentGroupInPopup();
    if (QComboBox* types = mWindowSetup.typesPopup(); types && types->count() > 0)
        types->setCurrentIndex(0);
    mTables.changeCategory(); // the group pop-up's choice applies
    BMPasswordPolicyController::sharedBMPasswordPolicyController().refreshPasswordPolicyFrom();
}

void BMStartup::reloadFailed(int number)
{
    const TVXResult code = resultOfNumber(number);
    uninstallProgressindicator();
    if (code == kTVXClientError || code == kTVXHostUnreachable || code == kTVXAccessDenied) {
        dbCommunicationError();
        return;
    }
    if (code == kTVXDone)
        return;
    BMRunAlertPanel(tr("Reload Failed!"), tr("Data can't be reloaded."), tr("OK"));
}

void BMStartup::updateApplicationUIForCurrectPermissions()
{
    const auto record = mTables.itemPropertiesForTableViewSelectedRow();
    const BMGroup* group = record ? record->mGroup().get() : nullptr;
    const uint16_t bits =
        TVXStoreCaches::recordPermissionsInGroup(group, mDatabase->caches().mCurrentUser()->mRecordPermissionsBit());
    const bool mayEdit = (bits & 2) != 0;
    QMenu* menu = mWindowSetup.itemContextualMenu();
    if (!menu)
        return;
    for (QAction* action : menu->actions()) {
        const QString title = action->text().remove(QLatin1Char('&'));
        if (title == tr("Type") || title == tr("Group"))
            action->setEnabled(mayEdit);
    }
}

void BMStartup::accountRefusedDuringReload(int number)
{
    const TVXResult code = resultOfNumber(number);
    uninstallProgressindicator();
    if (code == kTVXAccountDisabled) {
        BMRunAlertPanel(QString(), tr("Your account has been disabled. Please contact administrator."), tr("Quit"));
        mState.mIsConnectionCancelled = true;
        terminate();
        return;
    }
    dbUserDeletedError();
}

void BMStartup::stopConnectionModelWindow()
{
    if (connectionWindow()->isVisible())
        platform::abortModal();
    uninstallProgressindicator();
}

// --- lost connection and removed account ------------------------------------------

void BMStartup::dbCommunicationError()
{
    logInAgain(tr("Connection to the server has been lost.Please connect again."));
}

void BMStartup::dbMasterPasswordChanged() { logInAgain(tr("Master Password does not match.")); }

void BMStartup::logInAgain(const QString& message)
{
    if (mInLostConnection || mIsTerminating || mQuitWaitsForSaves)
        return;
    // A save still due its answer is answered (and shown) on the session it
    // was sent on: the new log-in replaces that connection.
    if (mDatabase->savesInFlight() > 0) {
        if (!std::exchange(mLogInWaitsForSaves, true)) {
            QPointer<BMStartup> self(this);
            mDatabase->whenSavesAnswered([self, message] {
                if (!self)
                    return;
                self->mLogInWaitsForSaves = false;
                self->logInAgain(message);
            });
        }
        return;
    }
    mInLostConnection = true;
    BMRunAlertPanel(platform::standardAlertTitle(), message, tr("OK"));
    BMLoginPanel* panel = connectionWindow();
    // The same account must sign in again, with its password typed anew.
    mAccountNameFixed = true;
    panel->mLoginUserName()->setReadOnly(true);
    panel->mUserPassword()->clear();
    if (!runConnectionPanel() && !mIsTerminating)
        cancelConnection();
    mInLostConnection = false;
}

void BMStartup::dbUserDeletedError()
{
    if (mIsTerminating)
        return;
    BMRunAlertPanel(platform::standardAlertTitle(),
                    tr("This User may be deleted. Please contact Administrator for more information."), tr("Quit"));
    mState.mIsConnectionCancelled = true;
    terminate();
}

// Start-up, the log-in panel and shut-down.

using namespace appctl;

// --- creation and observers ---------------------------------------------------

namespace {
// The controller the pasteboard tells of copied secrets (the latest made).
const BMStartup* secretHandlerOwner = nullptr;
} // namespace

void BMStartup::registerObservers()
{
    if (mObserversRegistered)
        return;
    mObserversRegistered = true;
    mLockControl.resetIdleGuard();
    platform::setApplicationHooks(&mHooks);
    if (auto* app = QCoreApplication::instance())
        connect(app, &QCoreApplication::aboutToQuit, this, &BMStartup::applicationWillTerminate);
    if (auto* gui = qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        connect(gui, &QGuiApplication::commitDataRequest, this, [this] { systmWillPowerOff(); });
    auto& center = platform::NotificationCenter::defaultCenter();
    mOptionsApplier.observeOptionChanges();
    mTables.observeStoreChanges();
    mObserverTokens << center.addObserver(kAddExtractAttachmentMenuNotification,
                                          [this](const platform::Notification& n) { mAttachmentCommands.addExtractAttachmentMenu(n.object); });
    mObserverTokens << center.addObserver(kDBCommLostNotification,
                                          [this](const platform::Notification&) { dbCommunicationError(); });
    mObserverTokens << center.addObserver(kDBMasterPasswordChangedNotification,
                                          [this](const platform::Notification&) { dbMasterPasswordChanged(); });
    mObserverTokens << center.addObserver(kDBUserDeletedNotification,
                                          [this](const platform::Notification&) { dbUserDeletedError(); });
    // A copied secret is cleared in time even when another window (the
    // browser of a web log-in) is active meanwhile.
    platform::Pasteboard::generalPasteboard().setSecretCopiedHandler([this] {
        mState.mLastPasteBoardChangeCount = platform::Pasteboard::generalPasteboard().changeCount();
        mLockControl.installClearClipBoardTimer(false);
    });
    secretHandlerOwner = this;
}

void BMStartup::unregisterObservers()
{
    if (!mObserversRegistered)
        return;
    mObserversRegistered = false;
    for (auto token : mObserverTokens)
        platform::NotificationCenter::defaultCenter().removeObserver(token);
    mObserverTokens.clear();
    mOptionsApplier.stopObservingOptionChanges();
    if (platform::applicationHooks() == &mHooks)
        platform::setApplicationHooks(nullptr);
    if (secretHandlerOwner == this) {
        platform::Pasteboard::generalPasteboard().setSecretCopiedHandler(nullptr);
        secretHandlerOwner = nullptr;
    }
    // The idle timer calls back into this controller.
    platform::IdleTimer::shared().remove();
}

BMLoginPanel* BMStartup::connectionWindow()
{
    if (!mConnectionWindow) {
        mConnectionWindow = new BMLoginPanel;
        mConnectionWindow->setAttribute(Qt::WA_DeleteOnClose, false);
        connect(this, &QObject::destroyed, mConnectionWindow, &QObject::deleteLater);
        connect(mConnectionWindow, &BMLoginPanel::connectRequested, this, &BMStartup::connectToMySqlServer);
        connect(mConnectionWindow, &BMLoginPanel::windowWillClose, this, [this] {
            // Closing the panel quits without saving, unless the log-in has just succeeded.
            if (!mLoginSucceeded)
                cancelConnection();
        });
        mConnectionWindow->mConnectToServerView()->hide();
    }
    return mConnectionWindow;
}

void BMStartup::awakeFromNib()
{
    if (mState.mMainWindow)
        mWindowSetup.setupToolbarForWindow(mWindowSetup.mainWindowView());
    createTemperoryFolders();
    connectionWindow()->mConnectToServerView()->hide();
}

// --- launch -------------------------------------------------------------------

void BMStartup::applicationWillFinishLaunching()
{
    const TVXUser& user = *mDatabase->caches().mCurrentUser();
    int minutes = 0;
    if (TVXPasswordHint::isPasswordEnableForUser(user) && mDatabase->preferences().autoLockEnabledWithInactiveTime(&minutes)
        && minutes >= 1)
        mLockControl.installInactiveTimerWithTime(minutes);
}

void BMStartup::setUserDefaultValues()
{
    BMLoginPanel* panel = connectionWindow();
    if (platform::UserDefaults::value(kIsApplicationFirstLaunchKey).toBool()) {
        if (const auto master = platform::Keychain::shared().readSecret(kMasterPasswordKey))
            panel->mMasterPassword()->setText(*master);
    } else {
        platform::UserDefaults::setValue(kIsApplicationFirstLaunchKey, true);
    }
    if (!platform::UserDefaults::value(kEventLoggerDatabaseLocationKey).isValid())
        platform::UserDefaults::setValue(kEventLoggerDatabaseLocationKey,
                                         QDir::homePath() + QStringLiteral("/Documents/Tolvanex/"));
    const QVariant host = platform::UserDefaults::value(kServerHostNameKey);
    if (host.isValid())
        panel->mIPAddressField()->setText(host.toString());
    const QVariant account = platform::UserDefaults::value(kUsernameKey);
    if (account.isValid())
        panel->mLoginUserName()->setText(account.toString());
    const QVariant port = platform::UserDefaults::value(kPortNumberKey);
    if (port.isValid())
        panel->mPortNumberField()->setText(port.toString());
    panel->mLoginUserNameLabel()->setText(tr("Tolvanex Username:"));
    panel->mLoginUserPassword()->setText(tr("Tolvanex User Password:"));
    panel->mLoginUserName()->setReadOnly(false);
    panel->mLoginUserName()->setEnabled(true);
}

bool BMStartup::runConnectionPanel()
{
    BMLoginPanel* panel = connectionWindow();
    mLoginSucceeded = false;
    panel->adjustSize();
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        panel->move(screen->availableGeometry().center() - panel->rect().center());
    panel->raise();
    // The first field left to fill takes the typing.
    for (QLineEdit* field : {panel->mIPAddressField(), panel->mPortNumberField(), panel->mLoginUserName(),
                             panel->mUserPassword(), panel->mMasterPassword()})
        if (field->text().isEmpty()) {
            field->setFocus();
            break;
        }
    mConnectionPanelRunning = true;
    platform::runModalForWindow(panel);
    // A scripted or closed run may end while the worker still runs: its result
    // decides. Both it and a quit arrive as events.
    while (mLoginInFlight && !mIsTerminating)
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    mConnectionPanelRunning = false;
    return mLoginSucceeded && !mIsTerminating;
}

bool BMStartup::applicationDidFinishLaunching()
{
    setUserDefaultValues();
    for (;;) {
        if (!runConnectionPanel()) {
            if (!mIsTerminating)
                cancelConnection();
            return false;
        }
        // A refused user row has been reported through connectionISComplete: log in again.
        if (loadDataBase(false) == kTVXDone)
            break;
        if (mIsTerminating)
            return false;
    }
    if (mIsTerminating)
        return false;
    // A load that failed part-way must not pass for a whole one: say so, and
    // after a lost connection read everything again once logged in anew.
    const TVXResult loadCode = mDatabase->connectionErrorCode();
    bool reloadAfterLaunch = false;
    if (loadCode != kTVXDone) {
        dismissLoadingProgress();
        reloadFailed(resultNumber(loadCode));
        if (mIsTerminating)
            return false;
        reloadAfterLaunch =
            loadCode == kTVXClientError || loadCode == kTVXHostUnreachable || loadCode == kTVXAccessDenied;
    }

    BMPasswordPolicyController::sharedBMPasswordPolicyController().refreshPasswordPolicyFrom();

    showLoadedMainWindow();
    mState.mSaveBackUpIsDone = false;
    mState.mAppDidFinishLaunching = true;

    if (!mimportFileName.isEmpty()) {
        const QString path = mimportFileName;
        mimportFileName.clear();
        mImportExport.importFile(path);
    }

    mWindowSetup.correctTabNextKeyViews();
    mWindowSetup.removeUnofferedMenuItems();

    if (reloadAfterLaunch)
        reloadDatabase(nullptr);

    // Armed here too: before the log-in the user's lock settings are not known yet.
    applicationWillFinishLaunching();

    if (!mClipBoardWatchTimer) {
        mClipBoardWatchTimer = new QTimer(this);
        mClipBoardWatchTimer->setInterval(1000);
        connect(mClipBoardWatchTimer, &QTimer::timeout, &mLockControl, &BMLockControl::checkClipBoard);
        mClipBoardWatchTimer->start();
    }
    return true;
}

// The main window over the loaded store: its pop-ups, menus, views and
// layouts made ready, the tables filled once, then shown. The steps run a few
// a turn of the event loop, so that no single turn is long; user input waits
// until the last (the loading panel is still up).
void BMStartup::showLoadedMainWindow()
{
    if (!mState.mMainWindow)
        mWindowSetup.createMainWindow();
    mWindowSetup.registerRecordDragTypes();
    mState.mIsLoaded = false;
    mTables.setMShouldCreateDatabase(true);

    // The pop-ups, the view and the group shown ask the same of the caches
    // (the group counts, the group's list): each answered once.
    std::optional<TVXStoreCaches::QueryBatch> batch(std::in_place, mDatabase->caches());
    // Each step below asks for the tables over the same records: they are filled once, at the end.
    mTables.holdTableRefreshes();
    runInTurns({
        [this] {
            mWindowSetup.initAboutBoxsetting();
            mPopUps.initGroupUIControl();
            mPopUps.initTypesUIControl();
        },
        [this] {
            mWindowSetup.setupToolbarForWindow(mWindowSetup.mainWindowView());
            mPopUps.setIconToMenuItems();
            mPopUps.createItemContextualMenu();
            mPopUps.initTableColumnSorting();
        },
        [this] {
            mWindowSetup.initSubviews();
            mState.mLastPasteBoardChangeCount = platform::Pasteboard::generalPasteboard().changeCount() - 1;
            mWindowSetup.restoreSplitViewLayouts();
        },
        [this] { updateUserRelatedInterface(); },
        [this] {
            mTables.releaseTableRefreshes();
            mTables.chooseTypeInColumnView();
        },
    });

    if (mState.mMainWindow) {
        mWindowSetup.watchMainWindow();
        mState.mMainWindow->show();
        mState.mMainWindow->raise();
        mState.mMainWindow->activateWindow();
    }
    batch.reset();
    // The load's progress panel goes once the main window has painted.
    dismissLoadingProgress();
}

void BMStartup::updateUserRelatedInterface()
{
    const TVXUser& user = *mDatabase->caches().mCurrentUser();
    mState.mCurrentUserName = user.mUsername();
    if (mState.mMainWindow && user.mWindowPosition().isValid())
        mState.mMainWindow->setGeometry(user.mWindowPosition().toRect());

    if (!user.mCurrentGroup().isEmpty()) {
        mState.mGroupFilterSelectedUID = user.mCurrentGroup();
        const auto group = mDatabase->caches().mGroups().value(mState.mGroupFilterSelectedUID);
        QComboBox* popup = mWindowSetup.categoriesPopup();
        if (group && !group->mGroupName().isEmpty() && popup && popup->count() > 0) {
            int chosen = 0;
            for (int i = 0; i < popup->count(); ++i) {
                if (popup->itemText(i).startsWith(group->mGroupName())) {
                    chosen = i;
                    break;
                }
            }
            popup->setCurrentIndex(chosen);
        }
    }
    if (QComboBox* types = mWindowSetup.typesPopup(); types && types->count() > 0)
        types->setCurrentIndex(0);
    mTables.changeCategory(); // the group pop-up's choice applies

    if (QAbstractButton* mask = mWindowSetup.unmaskButton()) {
        mask->setChecked(platform::UserDefaults::value(kMaskingStatusKey).toBool());
        mRecordCommands.unmask(mask);
    }
}

void BMStartup::setFileToOpenAtLaunch(const QString& path)
{
    if (mState.mAppDidFinishLaunching)
        mImportExport.importFile(path);
    else
        mimportFileName = path;
}

// --- the log-in panel -----------------------------------------------------------

void BMStartup::enableConnectionWindowControls(bool enable)
{
    BMLoginPanel* panel = connectionWindow();
    for (QLineEdit* field : {panel->mIPAddressField(), panel->mLoginUserName(), panel->mUserPassword(),
                             panel->mMasterPassword(), panel->mPortNumberField()})
        field->setReadOnly(!enable);
    if (mAccountNameFixed)
        panel->mLoginUserName()->setReadOnly(true);
    panel->mPortStepper()->setEnabled(enable);
    panel->mConnectToServer()->setEnabled(enable);
}

void BMStartup::dismissConnectionLoadingProgress()
{
    BMLoginPanel* panel = connectionWindow();
    panel->mConnectToServerView()->hide();
    panel->mConnectToServerIndicator()->setRange(0, 1);
}

void BMStartup::connectToMySqlServer()
{
    if (mLoginInFlight)
        return;
    BMLoginPanel* panel = connectionWindow();
    panel->mConnectToServerView()->show();
    QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
    panel->mConnectToServerIndicator()->setRange(0, 0);

    LoginFields fields{panel->mIPAddressField()->text(), panel->mLoginUserName()->text(),
                       panel->mUserPassword()->text(), panel->mMasterPassword()->text(),
                       panel->mPortNumberField()->text()};
    const LoginCheck check = checkLoginFields(fields);
    if (check.refusal) {
        dismissConnectionLoadingProgress();
        BMRunAlertPanel(check.refusal->title, check.refusal->message, tr("OK"));
        return;
    }

    platform::UserDefaults::setValue(kServerHostNameKey, fields.host);
    platform::UserDefaults::setValue(kUsernameKey, fields.account);
    platform::UserDefaults::setValue(kPortNumberKey, fields.port);
    TVXDataBase::LoginRequest request = connectionDictionary(fields, check.address);
    const QString caFile = platform::UserDefaults::value(kTlsCAFileKey).toString();
    request.insert(kLoginTlsCAFile, caFile);
    if (caFile.isEmpty())
        request.insert(kLoginTlsFingerprint,
                       platform::UserDefaults::value(trustedServerKey(fields.host, fields.port)).toString());
    if (platform::UserDefaults::value(kAllowUnencryptedServerKey).toBool())
        request.insert(kLoginAllowUnencrypted, QStringLiteral("1"));
    enableConnectionWindowControls(false);
    mLoginInFlight = true;
    // The code reaches the main thread through connectionISComplete.
    mLoginTask = platform::BackgroundTask::start(
        [mDatabase = mDatabase, request] { return mDatabase->startConnectionToServer(request); });
    connect(mLoginTask.get(), &platform::BackgroundTask::finished, this, [this](const platform::TaskOutcome& outcome) {
        // One that threw never got to connectionISComplete.
        if (outcome.failed && mLoginInFlight)
            endLoginAttempt(kTVXNotServerError);
    });
}

void BMStartup::connectionISComplete() { endLoginAttempt(mDatabase->connectionErrorCode()); }

void BMStartup::endLoginAttempt(TVXResult code)
{
    mLoginInFlight = false;
    dismissConnectionLoadingProgress();
    enableConnectionWindowControls(true);
    if (code == kTVXDone) {
        mLoginSucceeded = true;
        rememberMasterPassword(connectionWindow()->mMasterPassword()->text());
        platform::abortModal();
        return;
    }
    if (code == kTVXServerNotTrusted) {
        askToTrustServer(mDatabase->serverFingerprint());
        return;
    }
    if (const auto alert = connectionResultAlert(code, mDatabase->secureConnectionRefusal()))
        BMRunAlertPanel(alert->title, alert->message, tr("OK"));
}

void BMStartup::askToTrustServer(const QString& fingerprint)
{
    // The worker that met the certificate has ended its attempt; the panel's
    // fields are what it was started with.
    BMLoginPanel* panel = connectionWindow();
    const QString host = panel->mIPAddressField()->text();
    const QString port = panel->mPortNumberField()->text();
    const AlertText question = serverTrustQuestion(host, port, fingerprint);
    if (fingerprint.isEmpty()
        || BMRunAlertPanel(question.title, question.message, tr("Trust"), tr("Cancel")) != platform::kAlertDefaultReturn)
        return;
    platform::UserDefaults::setValue(trustedServerKey(host, port), fingerprint);
    // Again, now pinned; not from inside the ending attempt's hand-over.
    QTimer::singleShot(0, this, [this] {
        if (!mLoginSucceeded && !mIsTerminating)
            connectToMySqlServer();
    });
}

void BMStartup::rememberMasterPassword(const QString& master)
{
    // Only a master password the store accepted goes to the keyring (never a
    // settings file), and only when it changed. The panel's fields are
    // read-only while the log-in runs, so this is the text that was checked.
    auto& keychain = platform::Keychain::shared();
    if (const auto stored = keychain.readSecret(kMasterPasswordKey); !stored || *stored != master)
        keychain.writeSecret(kMasterPasswordKey, master);
}

void BMStartup::cancelConnection()
{
    mState.mIsConnectionCancelled = true;
    terminate();
}

void BMStartup::dontSavePreference() { mState.mIsConnectionCancelled = true; }

bool BMStartup::isMainWindowMaximied() { return mState.mMainWindow && mState.mMainWindow->isMaximized(); }

bool BMStartup::fontFamilyExists(const QString& family) { return QFontDatabase::hasFamily(family); }

// --- temporary folder and view state ---------------------------------------------

QString BMStartup::temporaryFolderPath() { return TVXAttachmentFolder::shared().path(); }

void BMStartup::createTemperoryFolders() { TVXAttachmentFolder::shared().path(); }

void BMStartup::clearTemperoryFolders() { TVXAttachmentFolder::shared().clear(); }

QString BMStartup::selectedGroupUIDForSaving()
{
    const auto groups = mDatabase->caches().groupsForEditing(false);
    if (groups.isEmpty())
        return kAllCategoriesUID;
    QComboBox* popup = mWindowSetup.categoriesPopup();
    if (!popup) {
        // Without a group pop-up the stored choice stands.
        const QString current = mDatabase->caches().mCurrentUser()->mCurrentGroup();
        return current.isEmpty() ? groups.first()->mGroupUID() : current;
    }
    const int index = popup->currentIndex();
    return (index >= 0 && index < groups.size()) ? groups[index]->mGroupUID() : groups.first()->mGroupUID();
}

void BMStartup::saveUSerPreference()
{
    mWindowSetup.saveSplitViewLayouts();
    TVXUser& user = *mDatabase->caches().mCurrentUser();
    user.setMLastView(static_cast<int16_t>(mRecordCommands.selectedViewTag()));
    user.setMShowDetailOnPane(mWindowSetup.columnToggleInfoState());
    user.setMCurrentGroup(selectedGroupUIDForSaving());
    user.setMCurrentType(kAllCategoriesUID);
    if (mDatabase->connection()) {
        // View state at quit, behind the window like every other view-state
        // write; the quit waits for the queue. A failed write goes to the error path.
        mDatabase->preferences().saveLastViewBehind(user);
        mDatabase->preferences().setToggleInfoBehind(user.mShowDetailOnPane());
        mDatabase->preferences().saveCurrentGroupBehind(user);
    }
    if (user.mLastView() == 1) {
        mPopUps.saveTableColumnWidthToPreference();
        mDatabase->writeBehind().flush(); // the columns go out before the connection closes
    }
}

// --- shut-down ----------------------------------------------------------------

void BMStartup::terminate()
{
    if (mIsTerminating)
        return;
    // A save or delete still due its answer is answered (and shown) first:
    // the process must not end under it.
    if (mDatabase->savesInFlight() > 0) {
        if (!std::exchange(mQuitWaitsForSaves, true)) {
            QPointer<BMStartup> self(this);
            mDatabase->whenSavesAnswered([self] {
                if (!self)
                    return;
                self->mQuitWaitsForSaves = false;
                self->terminate();
            });
        }
        return;
    }
    mIsTerminating = true;
    applicationShouldTerminate();
    if (mTerminateHandler) {
        mTerminateHandler();
        return;
    }
    platform::abortModal();
    QCoreApplication::quit();
}

void BMStartup::applicationShouldTerminate()
{
    if (!mState.mIsConnectionCancelled)
        mLockControl.installClearClipBoardTimer(true);
}

void BMStartup::applicationWillTerminate()
{
    keepViewStateAtQuit();
    // What the clicks, the lock and the view state left to write goes out
    // before the process ends; a save sent meanwhile is answered here.
    mDatabase->finishWritesBehind();
}

void BMStartup::keepViewStateAtQuit()
{
    if (mState.mIsConnectionCancelled)
        return;
    mAttachmentCommands.clearTmpFiles();
    // Only a signed-in run that has not saved yet has a view state to keep.
    if (mState.mSaveBackUpIsDone || !mState.mAppDidFinishLaunching)
        return;
    saveUSerPreference();
    TVXUser& user = *mDatabase->caches().mCurrentUser();
    if (mState.mMainWindow)
        user.setMWindowPosition(QRectF(mState.mMainWindow->geometry()));
    if (mDatabase->connection())
        mDatabase->preferences().saveBasicPreferencesBehind(user);
    mState.mSaveBackUpIsDone = true;
}

void BMStartup::systmWillPowerOff()
{
    platform::abortModal();
    terminate();
}

// --- window and split views -------------------------------------------------------

void BMStartup::windowDidResize(bool fromNotification)
{
    QSplitter* smart = mWindowSetup.smartTypeSplitView();
    // A split view that is hidden or not laid out yet has no heights to keep:
    // "fixing" its zero sizes would fold the types table away.
    if (smart && smart->isVisible() && smart->height() > appctl::kSmartTypePaneMinimumHeight + smart->handleWidth()) {
        mWindowSetup.saveLayoutPreferenceWithName(smart, kSmartTypeSplitViewAutosaveName);
        const QStringList stored = platform::UserDefaults::stringList(kSmartTypeSplitViewAutosaveName);
        if (const auto fixed = smartTypeLayoutKeepingMinimum(stored, smart->handleWidth(), !fromNotification)) {
            platform::UserDefaults::setStringList(kSmartTypeSplitViewAutosaveName, *fixed);
            mWindowSetup.restoreLayoutPreferenceFromName(smart, kSmartTypeSplitViewAutosaveName);
        }
    }
    if (mState.mMainWindow)
        mDatabase->caches().mCurrentUser()->setMWindowPosition(QRectF(mState.mMainWindow->geometry()));
}

void BMStartup::popupType(QComboBox* popup)
{
    if (!popup)
        return;
    if (popup == mWindowSetup.typesPopup())
        mState.mPreviousType = popup->currentIndex();
    else if (popup == mWindowSetup.categoriesPopup())
        mState.mPreviousCategory = popup->currentIndex();
}
