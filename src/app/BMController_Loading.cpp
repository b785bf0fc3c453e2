// Loading after the log-in, reloading on demand, and what a lost connection
// or a removed account leads to.
#include "app/AppControllerRules.h"
#include "app/BMController.h"
#include "app/BMLoginPanel.h"
#include "app/BMProgressPanel.h"

#include "model/BMGroup.h"
#include "model/BMPasswordPolicyController.h"
#include "model/TVXRecord.h"
#include "model/TVXUID.h"
#include "model/TVXUser.h"
#include "platform/core/BackgroundTask.h"
#include "platform/ui/AlertPanel.h"
#include "platform/ui/ModalRun.h"
#include "store/TVXDataBase.h"

#include <QComboBox>
#include <QEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QTimer>

#include <functional>
#include <memory>

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

// Waits for a loading worker, which hands its last calls over through the
// event loop; true when it threw, and so never told the application its code.
bool finishWorker(platform::BackgroundTask& task)
{
    task.waitForFinished();
    return task.outcome().failed;
}

} // namespace

BMProgressPanel* BMController::loadingDataPanel()
{
    if (!mLoadingDataPanel) {
        mLoadingDataPanel = new BMProgressPanel;
        connect(this, &QObject::destroyed, mLoadingDataPanel, &QObject::deleteLater);
    }
    return mLoadingDataPanel;
}

// --- first load ---------------------------------------------------------------

TVXResult BMController::loadDataBase(bool flag)
{
    (void)flag; // the first load: everything is read
    BMLoginPanel* panel = connectionWindow();
    const TVXResult code = mDatabase->initUserDetails(panel->mLoginUserName()->text(), panel->mUserPassword()->text());
    if (code != kTVXDone)
        return code;
    // Its code stays in connectionErrorCode(), which the launch reads once the panel is down.
    // The search entries are prepared right after, on threads of their own: the window need not wait for them.
    mLoadTask = platform::BackgroundTask::start([database = mDatabase] {
        const TVXResult loaded = database->loadDataBase();
        database->caches().prepareSearchEntries();
        return loaded;
    });
    // The window is made while the store loads, rather than after: it reads
    // nothing of the caches until its tables are first filled.
    createMainWindow();
    showLoadingProgressPanel();
    // The panel may be dismissed early; the caches are the worker's until it ends.
    const bool threw = finishWorker(*mLoadTask);
    mLoadTask.reset();
    if (threw) {
        // The store never recorded a code: say so here, as the launch does for a failed load.
        dismissLoadingProgress();
        reloadFailed(resultNumber(kTVXStatementFailed));
    }
    return kTVXDone;
}

void BMController::showLoadingProgressPanel()
{
    loadingDataPanel()->setText(tr("Loading data from the server..."));
    loadingDataPanel()->startAnimation();
    displayLoadingProgress();
    // The panel stays up while the main window is made: the launch dismisses it.
}

void BMController::displayLoadingProgress()
{
    if (mLoadTask)
        platform::runModalUntilFinished(loadingDataPanel(), *mLoadTask, true);
}

void BMController::dismissLoadingProgress()
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
    QWidget* window = mMainWindow;
    if (panel->isVisible() && window && window->isVisible()) {
        new AfterFirstPaint(window, orderOut);
        window->update();
        return;
    }
    orderOut();
}

// --- reload -------------------------------------------------------------------

void BMController::reloadDatabase(QObject* sender)
{
    if (mReloadInFlight)
        return;
    // The launch's panel, not yet gone, becomes this run's: it must not go mid-way.
    if (QWidget* window = mMainWindow)
        qDeleteAll(window->findChildren<QObject*>(kPanelDismissalName, Qt::FindDirectChildrenOnly));
    loadingDataPanel()->setText(tr("Reloading data from the server..."));
    loadingDataPanel()->startAnimation();
    if (sender)
        mDatabase->caches().mCurrentUser()->setMCurrentGroup(selectedGroupUIDForSaving());
    mReloadInFlight = true;
    // A failure reaches the application through reloadFailed on the main thread.
    const auto task = platform::BackgroundTask::start([database = mDatabase] {
        const TVXResult reloaded = database->reloadDatabase();
        database->caches().prepareSearchEntries();
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

void BMController::installProgressIndicator()
{
    BMProgressPanel* panel = loadingDataPanel();
    panel->adjustSize();
    panel->raise();
    panel->activateWindow();
}

void BMController::uninstallProgressindicator()
{
    BMProgressPanel* panel = loadingDataPanel();
    if (panel->isVisible())
        platform::abortModal();
    panel->hide();
    panel->stopAnimation();
}

void BMController::selectCurrentGroupInPopup()
{
    QComboBox* popup = categoriesPopup();
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

void BMController::finishReloadingData()
{
    // The pop-ups and tables below ask the same of the caches: each answered once.
    const TVXStoreCaches::QueryBatch batch(mDatabase->caches());
    initWindowTitle();
    uninstallProgressindicator();
    initGroupUIControl();
    // The tables are refreshed once, by the group choice below.
    initTypesUIControl();
    selectCurrentGroupInPopup();
    if (QComboBox* types = typesPopup(); types && types->count() > 0)
        types->setCurrentIndex(0);
    changeCategory(); // the group pop-up's choice applies
    BMPasswordPolicyController::sharedBMPasswordPolicyController().refreshPasswordPolicyFrom();
}

void BMController::reloadFailed(int number)
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

void BMController::updateApplicationUIForCurrectPermissions()
{
    const auto record = itemPropertiesForTableViewSelectedRow();
    const BMGroup* group = record ? record->mGroup().get() : nullptr;
    const uint16_t bits =
        TVXStoreCaches::recordPermissionsInGroup(group, mDatabase->caches().mCurrentUser()->mRecordPermissionsBit());
    const bool mayEdit = (bits & 2) != 0;
    QMenu* menu = itemContextualMenu();
    if (!menu)
        return;
    for (QAction* action : menu->actions()) {
        const QString title = action->text().remove(QLatin1Char('&'));
        if (title == tr("Type") || title == tr("Group"))
            action->setEnabled(mayEdit);
    }
}

void BMController::accountRefusedDuringReload(int number)
{
    const TVXResult code = resultOfNumber(number);
    uninstallProgressindicator();
    if (code == kTVXAccountDisabled) {
        BMRunAlertPanel(QString(), tr("Your account has been disabled. Please contact administrator."), tr("Quit"));
        mIsConnectionCancelled = true;
        terminate();
        return;
    }
    dbUserDeletedError();
}

void BMController::stopConnectionModelWindow()
{
    if (connectionWindow()->isVisible())
        platform::abortModal();
    uninstallProgressindicator();
}

// --- lost connection and removed account ------------------------------------------

void BMController::dbCommunicationError()
{
    logInAgain(tr("Connection to the server has been lost.Please connect again."));
}

void BMController::dbMasterPasswordChanged() { logInAgain(tr("Master Password does not match.")); }

void BMController::logInAgain(const QString& message)
{
    if (mInLostConnection || mIsTerminating)
        return;
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

void BMController::dbUserDeletedError()
{
    if (mIsTerminating)
        return;
    BMRunAlertPanel(platform::standardAlertTitle(),
                    tr("This User may be deleted. Please contact Administrator for more information."), tr("Quit"));
    mIsConnectionCancelled = true;
    terminate();
}
