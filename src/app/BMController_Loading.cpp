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
#include "platform/ui/AlertPanel.h"
#include "platform/ui/ModalRun.h"
#include "store/TVXDataBase.h"

#include <QComboBox>
#include <QLineEdit>
#include <QMenu>

#include <atomic>
#include <memory>
#include <thread>

BMProgressPanel* BMController::loadingDataPanel()
{
    if (!mLoadingDataPanel) {
        mLoadingDataPanel = new BMProgressPanel;
        connect(this, &QObject::destroyed, mLoadingDataPanel, &QObject::deleteLater);
    }
    return mLoadingDataPanel;
}

// --- first load ---------------------------------------------------------------

int BMController::loadDataBase(bool flag)
{
    (void)flag; // the first load: everything is read
    BMLoginPanel* panel = connectionWindow();
    const int code = mDatabase->initUserDetails(panel->mLoginUserName()->text(), panel->mUserPassword()->text());
    if (code != kTVXDone)
        return code;
    auto done = std::make_shared<std::atomic<bool>>(false);
    TVXDataBase* database = mDatabase;
    std::thread([database, done] {
        // Its code stays in connectionErrorCode(), which the launch reads once the panel is down.
        (void)database->loadDataBase();
        done->store(true);
    }).detach();
    mLoadWorkerDone = done;
    showLoadingProgressPanel();
    // The panel may be dismissed early; the caches are the worker's until it ends.
    waitWhile([done] { return !done->load(); });
    mLoadWorkerDone.reset();
    return kTVXDone;
}

void BMController::showLoadingProgressPanel()
{
    loadingDataPanel()->setText(tr("Loading data from the server..."));
    loadingDataPanel()->startAnimation();
    displayLoadingProgress();
    dismissLoadingProgress();
    loadingDataPanel()->stopAnimation();
}

void BMController::displayLoadingProgress()
{
    const auto done = mLoadWorkerDone;
    TVXDataBase* database = mDatabase;
    platform::runModalUntil(loadingDataPanel(), [database, done] {
        return (done && done->load()) || (!done && database->isLoadingComplete());
    });
}

void BMController::dismissLoadingProgress()
{
    loadingDataPanel()->hide();
    loadingDataPanel()->stopAnimation();
}

// --- reload -------------------------------------------------------------------

void BMController::reloadDatabase(QObject* sender)
{
    if (mReloadInFlight)
        return;
    loadingDataPanel()->setText(tr("Reloading data from the server..."));
    loadingDataPanel()->startAnimation();
    if (sender)
        mDatabase->mCurrentUser()->setMCurrentGroup(selectedGroupUIDForSaving());
    mReloadInFlight = true;
    auto done = std::make_shared<std::atomic<bool>>(false);
    TVXDataBase* database = mDatabase;
    std::thread([database, done] {
        // A failure reaches the application through reloadFailed on the main thread.
        (void)database->reloadDatabase();
        done->store(true);
    }).detach();
    installProgressIndicator();
    platform::runModalForWindow(loadingDataPanel());
    // The worker hands its last calls over through the event loop; the caches
    // are its own until it ends.
    waitWhile([done] { return !done->load(); });
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
    const QString current = mDatabase->mCurrentUser()->mCurrentGroup();
    int index = 0;
    if (mDatabase->mGroups().contains(current)) {
        const auto groups = mDatabase->groupsForEditing(false);
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
    initWindowTitle();
    uninstallProgressindicator();
    initGroupUIControl();
    updateTables();
    initTypesUIControl();
    selectCurrentGroupInPopup();
    if (QComboBox* types = typesPopup(); types && types->count() > 0)
        types->setCurrentIndex(0);
    changeCategory(); // the group pop-up's choice applies
    BMPasswordPolicyController::sharedBMPasswordPolicyController().refreshPasswordPolicyFrom();
}

void BMController::reloadFailed(int code)
{
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
        TVXDataBase::recordPermissionsInGroup(group, mDatabase->mCurrentUser()->mRecordPermissionsBit());
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

void BMController::accountRefusedDuringReload(int code)
{
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
