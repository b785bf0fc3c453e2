// Start-up, the log-in panel and shut-down.
#include "app/AppControllerRules.h"
#include "app/BMController.h"
#include "windows/BMMainWindow.h"
#include "app/BMLoginPanel.h"

#include "exchange/EventLogBackup.h"
#include "model/BMGroup.h"
#include "model/BMPasswordPolicyController.h"
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

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QEventLoop>
#include <QFontDatabase>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSplitter>
#include <QTimer>

#include <optional>

using namespace appctl;

// --- creation and observers ---------------------------------------------------

namespace {
// The controller the pasteboard tells of copied secrets (the latest made).
const BMController* secretHandlerOwner = nullptr;
} // namespace

void BMController::registerObservers()
{
    if (mObserversRegistered)
        return;
    mObserversRegistered = true;
    resetIdleGuard();
    platform::setApplicationHooks(this);
    if (auto* app = QCoreApplication::instance())
        connect(app, &QCoreApplication::aboutToQuit, this, &BMController::applicationWillTerminate);
    if (auto* gui = qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        connect(gui, &QGuiApplication::commitDataRequest, this, [this] { systmWillPowerOff(); });
    auto& center = platform::NotificationCenter::defaultCenter();
    observeOptionChanges();
    observeStoreChanges();
    mObserverTokens << center.addObserver(kAddExtractAttachmentMenuNotification,
                                          [this](const platform::Notification& n) { addExtractAttachmentMenu(n.object); });
    mObserverTokens << center.addObserver(kDBCommLostNotification,
                                          [this](const platform::Notification&) { dbCommunicationError(); });
    mObserverTokens << center.addObserver(kDBMasterPasswordChangedNotification,
                                          [this](const platform::Notification&) { dbMasterPasswordChanged(); });
    mObserverTokens << center.addObserver(kDBUserDeletedNotification,
                                          [this](const platform::Notification&) { dbUserDeletedError(); });
    // A copied secret is cleared in time even when another window (the
    // browser of a web log-in) is active meanwhile.
    platform::Pasteboard::generalPasteboard().setSecretCopiedHandler([this] {
        mLastPasteBoardChangeCount = platform::Pasteboard::generalPasteboard().changeCount();
        installClearClipBoardTimer(false);
    });
    secretHandlerOwner = this;
}

void BMController::unregisterObservers()
{
    if (!mObserversRegistered)
        return;
    mObserversRegistered = false;
    for (auto token : mObserverTokens)
        platform::NotificationCenter::defaultCenter().removeObserver(token);
    mObserverTokens.clear();
    if (mOptionsObserver) {
        platform::NotificationCenter::defaultCenter().removeObserver(mOptionsObserver);
        mOptionsObserver = 0;
    }
    if (platform::applicationHooks() == this)
        platform::setApplicationHooks(nullptr);
    if (secretHandlerOwner == this) {
        platform::Pasteboard::generalPasteboard().setSecretCopiedHandler(nullptr);
        secretHandlerOwner = nullptr;
    }
    // The idle timer calls back into this controller.
    platform::IdleTimer::shared().remove();
}

BMLoginPanel* BMController::connectionWindow()
{
    if (!mConnectionWindow) {
        mConnectionWindow = new BMLoginPanel;
        mConnectionWindow->setAttribute(Qt::WA_DeleteOnClose, false);
        connect(this, &QObject::destroyed, mConnectionWindow, &QObject::deleteLater);
        connect(mConnectionWindow, &BMLoginPanel::connectRequested, this, &BMController::connectToMySqlServer);
        connect(mConnectionWindow, &BMLoginPanel::windowWillClose, this, [this] {
            // Closing the panel quits without saving, unless the log-in has just succeeded.
            if (!mLoginSucceeded)
                cancelConnection();
        });
        mConnectionWindow->mConnectToServerView()->hide();
    }
    return mConnectionWindow;
}

void BMController::awakeFromNib()
{
    if (mMainWindow)
        setupToolbarForWindow(mainWindowView());
    createTemperoryFolders();
    connectionWindow()->mConnectToServerView()->hide();
}

// --- launch -------------------------------------------------------------------

void BMController::applicationWillFinishLaunching()
{
    const TVXUser& user = *mDatabase->caches().mCurrentUser();
    int minutes = 0;
    if (TVXPasswordHint::isPasswordEnableForUser(user) && mDatabase->preferences().autoLockEnabledWithInactiveTime(&minutes)
        && minutes >= 1)
        installInactiveTimerWithTime(minutes);
}

void BMController::setUserDefaultValues()
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

bool BMController::runConnectionPanel()
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

bool BMController::applicationDidFinishLaunching()
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

    if (!mMainWindow)
        createMainWindow();
    registerRecordDragTypes();
    mIsLoaded = false;
    setMShouldCreateDatabase(true);

    // The pop-ups, the view and the group shown ask the same of the caches
    // (the group counts, the group's list): each answered once.
    std::optional<TVXStoreCaches::QueryBatch> batch(std::in_place, mDatabase->caches());
    // Each step below asks for the tables over the same records: they are filled once, at the end.
    holdTableRefreshes();
    initAboutBoxsetting();
    initGroupUIControl();
    initTypesUIControl();
    setupToolbarForWindow(mainWindowView());
    setIconToMenuItems();
    createItemContextualMenu();
    initTableColumnSorting();
    initSubviews();

    mLastPasteBoardChangeCount = platform::Pasteboard::generalPasteboard().changeCount() - 1;

    restoreSplitViewLayouts();

    updateUserRelatedInterface();
    releaseTableRefreshes();
    chooseTypeInColumnView();

    if (mMainWindow) {
        watchMainWindow();
        mMainWindow->show();
        mMainWindow->raise();
        mMainWindow->activateWindow();
    }
    batch.reset();
    // The load's progress panel goes once the main window has painted.
    dismissLoadingProgress();
    mSaveBackUpIsDone = false;
    mAppDidFinishLaunching = true;

    if (!mimportFileName.isEmpty()) {
        const QString path = mimportFileName;
        mimportFileName.clear();
        importFile(path);
    }

    correctTabNextKeyViews();
    removeUnofferedMenuItems();

    if (reloadAfterLaunch)
        reloadDatabase(nullptr);

    // Armed here too: before the log-in the user's lock settings are not known yet.
    applicationWillFinishLaunching();

    if (!mClipBoardWatchTimer) {
        mClipBoardWatchTimer = new QTimer(this);
        mClipBoardWatchTimer->setInterval(1000);
        connect(mClipBoardWatchTimer, &QTimer::timeout, this, &BMController::checkClipBoard);
        mClipBoardWatchTimer->start();
    }
    return true;
}

void BMController::updateUserRelatedInterface()
{
    const TVXUser& user = *mDatabase->caches().mCurrentUser();
    mCurrentUserName = user.mUsername();
    if (mMainWindow && user.mWindowPosition().isValid())
        mMainWindow->setGeometry(user.mWindowPosition().toRect());

    if (!user.mCurrentGroup().isEmpty()) {
        mGroupFilterSelectedUID = user.mCurrentGroup();
        const auto group = mDatabase->caches().mGroups().value(mGroupFilterSelectedUID);
        QComboBox* popup = categoriesPopup();
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
    if (QComboBox* types = typesPopup(); types && types->count() > 0)
        types->setCurrentIndex(0);
    changeCategory(); // the group pop-up's choice applies

    if (QAbstractButton* mask = unmaskButton()) {
        mask->setChecked(platform::UserDefaults::value(kMaskingStatusKey).toBool());
        unmask(mask);
    }
}

void BMController::setFileToOpenAtLaunch(const QString& path)
{
    if (mAppDidFinishLaunching)
        importFile(path);
    else
        mimportFileName = path;
}

// --- the log-in panel -----------------------------------------------------------

void BMController::enableConnectionWindowControls(bool enable)
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

void BMController::dismissConnectionLoadingProgress()
{
    BMLoginPanel* panel = connectionWindow();
    panel->mConnectToServerView()->hide();
    panel->mConnectToServerIndicator()->setRange(0, 1);
}

void BMController::connectToMySqlServer()
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
        [database = mDatabase, request] { return database->startConnectionToServer(request); });
    connect(mLoginTask.get(), &platform::BackgroundTask::finished, this, [this](const platform::TaskOutcome& outcome) {
        // One that threw never got to connectionISComplete.
        if (outcome.failed && mLoginInFlight)
            endLoginAttempt(kTVXNotServerError);
    });
}

void BMController::connectionISComplete() { endLoginAttempt(mDatabase->connectionErrorCode()); }

void BMController::endLoginAttempt(TVXResult code)
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

void BMController::askToTrustServer(const QString& fingerprint)
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

void BMController::rememberMasterPassword(const QString& master)
{
    // Only a master password the store accepted goes to the keyring (never a
    // settings file), and only when it changed. The panel's fields are
    // read-only while the log-in runs, so this is the text that was checked.
    auto& keychain = platform::Keychain::shared();
    if (const auto stored = keychain.readSecret(kMasterPasswordKey); !stored || *stored != master)
        keychain.writeSecret(kMasterPasswordKey, master);
}

void BMController::cancelConnection()
{
    mIsConnectionCancelled = true;
    terminate();
}

void BMController::dontSavePreference() { mIsConnectionCancelled = true; }

bool BMController::isMainWindowMaximied() { return mMainWindow && mMainWindow->isMaximized(); }

bool BMController::fontFamilyExists(const QString& family) { return QFontDatabase::hasFamily(family); }

// --- temporary folder and view state ---------------------------------------------

QString BMController::temporaryFolderPath() { return TVXAttachmentFolder::shared().path(); }

void BMController::createTemperoryFolders() { TVXAttachmentFolder::shared().path(); }

void BMController::clearTemperoryFolders() { TVXAttachmentFolder::shared().clear(); }

QString BMController::selectedGroupUIDForSaving()
{
    const auto groups = mDatabase->caches().groupsForEditing(false);
    if (groups.isEmpty())
        return kAllCategoriesUID;
    QComboBox* popup = categoriesPopup();
    if (!popup) {
        // Without a group pop-up the stored choice stands.
        const QString current = mDatabase->caches().mCurrentUser()->mCurrentGroup();
        return current.isEmpty() ? groups.first()->mGroupUID() : current;
    }
    const int index = popup->currentIndex();
    return (index >= 0 && index < groups.size()) ? groups[index]->mGroupUID() : groups.first()->mGroupUID();
}

void BMController::saveUSerPreference()
{
    saveSplitViewLayouts();
    TVXUser& user = *mDatabase->caches().mCurrentUser();
    user.setMLastView(static_cast<int16_t>(selectedViewTag()));
    user.setMShowDetailOnPane(columnToggleInfoState());
    user.setMCurrentGroup(selectedGroupUIDForSaving());
    user.setMCurrentType(kAllCategoriesUID);
    if (mDatabase->connection()) {
        // View state at quit: a failed save already went to the error path.
        (void)mDatabase->preferences().saveLastViewForUser(user);
        (void)mDatabase->preferences().saveToggleInfoForUser(user);
        (void)mDatabase->preferences().saveCurrentGroupForUser(user);
    }
    if (user.mLastView() == 1)
        saveTableColumnWidthToPreference();
}

// --- shut-down ----------------------------------------------------------------

void BMController::terminate()
{
    if (mIsTerminating)
        return;
    mIsTerminating = true;
    applicationShouldTerminate();
    if (mTerminateHandler) {
        mTerminateHandler();
        return;
    }
    platform::abortModal();
    QCoreApplication::quit();
}

void BMController::applicationShouldTerminate()
{
    if (!mIsConnectionCancelled)
        installClearClipBoardTimer(true);
}

void BMController::applicationWillTerminate()
{
    if (mIsConnectionCancelled)
        return;
    clearTmpFiles();
    // Only a signed-in run that has not saved yet has a view state to keep.
    if (mSaveBackUpIsDone || !mAppDidFinishLaunching)
        return;
    saveUSerPreference();
    TVXUser& user = *mDatabase->caches().mCurrentUser();
    if (mMainWindow)
        user.setMWindowPosition(QRectF(mMainWindow->geometry()));
    if (mDatabase->connection()) {
        TVXResult code = kTVXDone;
        mDatabase->preferences().saveBasicPreferencesForUser(user, &code);
    }
    mSaveBackUpIsDone = true;
}

void BMController::systmWillPowerOff()
{
    platform::abortModal();
    terminate();
}

// --- window and split views -------------------------------------------------------

void BMController::windowDidResize(bool fromNotification)
{
    QSplitter* smart = smartTypeSplitView();
    // A split view that is hidden or not laid out yet has no heights to keep:
    // "fixing" its zero sizes would fold the types table away.
    if (smart && smart->isVisible() && smart->height() > appctl::kSmartTypePaneMinimumHeight + smart->handleWidth()) {
        saveLayoutPreferenceWithName(smart, kSmartTypeSplitViewAutosaveName);
        const QStringList stored = platform::UserDefaults::stringList(kSmartTypeSplitViewAutosaveName);
        if (const auto fixed = smartTypeLayoutKeepingMinimum(stored, smart->handleWidth(), !fromNotification)) {
            platform::UserDefaults::setStringList(kSmartTypeSplitViewAutosaveName, *fixed);
            restoreLayoutPreferenceFromName(smart, kSmartTypeSplitViewAutosaveName);
        }
    }
    if (mMainWindow)
        mDatabase->caches().mCurrentUser()->setMWindowPosition(QRectF(mMainWindow->geometry()));
}

void BMController::popupType(QComboBox* popup)
{
    if (!popup)
        return;
    if (popup == typesPopup())
        mPreviousType = popup->currentIndex();
    else if (popup == categoriesPopup())
        mPreviousCategory = popup->currentIndex();
}
