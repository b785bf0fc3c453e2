// The user-password and master-password panels of the controller.
#include "app/passwords/BMPasswordPanels.h"
#include "app/BMController.h"
#include "app/passwords/BMMasterPasswordPanel.h"
#include "app/passwords/BMUserPasswordPanel.h"
#include "app/passwords/PasswordPanelRules.h"
#include "model/BMPasswordPolicyController.h"
#include "model/TVXUser.h"
#include "platform/core/BackgroundTask.h"
#include "platform/ui/AlertPanel.h"
#include "platform/ui/ModalRun.h"
#include "platform/ui/SaveWait.h"
#include "store/eventlog/EventLogStore.h"
#include "store/accounts/HintStore.h"
#include "store/session/MasterPasswordChange.h"
#include "store/loading/StoreCaches.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

BMPasswordPanels::BMPasswordPanels(BMController& app)
    : mState(app.state()), mCaches(app.store().caches), mEventLog(app.store().eventLog),
      mMasterPassword(app.store().masterPassword), mPasswordHint(app.store().passwordHint),
      mRecordCommands(app.recordCommands())
{
}

namespace {

bool conformsToPolicy(const QString& password)
{
    return BMPasswordPolicyController::sharedBMPasswordPolicyController().stringConformsPassowrdPolicy(password);
}

void showRefusal(const passwordpanels::Refusal& refusal)
{
    BMRunAlertPanel(refusal.title, refusal.message, refusal.button);
}

// Both master-password panels answer to the same commands; the controller owns them.
BMMasterPasswordPanel* newMasterPasswordPanel(BMPasswordPanels& controller, bool changePanel)
{
    auto* panel = new BMMasterPasswordPanel(changePanel);
    QObject::connect(panel, &BMMasterPasswordPanel::okClicked, &controller,
                     [&controller] { controller.masterPasswordPanelOK(); });
    QObject::connect(panel, &BMMasterPasswordPanel::cancelClicked, &controller,
                     &BMPasswordPanels::masterPasswordPanelCancel);
    QObject::connect(&controller, &QObject::destroyed, panel, &QObject::deleteLater);
    return panel;
}

} // namespace

BMUserPasswordPanel* BMPasswordPanels::passwordPanel()
{
    if (!mPasswordPanel) {
        mPasswordPanel = new BMUserPasswordPanel;
        mPasswordPanel->setAttribute(Qt::WA_DeleteOnClose, false);
        connect(mPasswordPanel, &BMUserPasswordPanel::okClicked, this, [this] { passwordPanelOK(); });
        connect(mPasswordPanel, &BMUserPasswordPanel::cancelClicked, this, &BMPasswordPanels::passwordPanelCancel);
        connect(mPasswordPanel, &BMUserPasswordPanel::passwordTextChanged, this, &BMPasswordPanels::controlTextDidChange);
        connect(this, &QObject::destroyed, mPasswordPanel, &QObject::deleteLater);
    }
    return mPasswordPanel;
}

BMMasterPasswordPanel* BMPasswordPanels::setMasterPasswordPanel()
{
    if (!mSetMasterPasswordPanel)
        mSetMasterPasswordPanel = newMasterPasswordPanel(*this, false);
    return mSetMasterPasswordPanel;
}

BMMasterPasswordPanel* BMPasswordPanels::resetMasterPasswordPanel()
{
    if (!mResetMasterPasswordPanel)
        mResetMasterPasswordPanel = newMasterPasswordPanel(*this, true);
    return mResetMasterPasswordPanel;
}

// --- the user's own password ---------------------------------------------------

void BMPasswordPanels::setPassword()
{
    const TVXUser* user = mCaches.getCurrentUser();
    if (!user)
        return;
    if (user->mIsNotAllowedToChangePassword()) {
        BMRunAlertPanel(tr("Tolvanex Enterprise Alert"), tr("You don't have sufficient access permissions."), tr("OK"));
        return;
    }
    BMUserPasswordPanel* panel = passwordPanel();
    const bool hasPassword = TVXPasswordHint::isPasswordEnableForUser(*user);
    panel->prepare(hasPassword);
    mPasswordPanelEnd.reset();
    platform::runModalForWindow(panel);
    ++mPasswordRun; // an answer after this run ends no other
    panel->saveWait()->show(false);
    panel->hide();
    panel->prepare(hasPassword); // no secret stays in the panel
}

bool BMPasswordPanels::passwordPanelOK()
{
    const TVXUser* user = mCaches.getCurrentUser();
    if (!user || !mPasswordPanel || mPasswordPanel->saveWait()->isSaving())
        return false;
    const passwordpanels::UserPasswordInput input = mPasswordPanel->input();
    const auto refusal = passwordpanels::checkUserPasswordPanel(
        input, TVXPasswordHint::isPasswordEnableForUser(*user),
        [this, user](const QString& typed) { return mPasswordHint.validatePasswordForUser(*user, typed); },
        conformsToPolicy);
    if (refusal) {
        showRefusal(*refusal);
        return false;
    }
    // The panel keeps what was typed until the server answers.
    mPasswordPanel->saveWait()->show(true);
    QPointer<BMPasswordPanels> self(this);
    passwordpanels::storeUserPassword(mPasswordHint, mEventLog, input, mState.mCurrentUserName,
                                      [self, run = mPasswordRun](TVXResult code) {
                                          if (self)
                                              self->passwordStored(run, code);
                                      });
    return true;
}

void BMPasswordPanels::passwordStored(quint64 run, TVXResult code)
{
    const bool ours = run == mPasswordRun && mPasswordPanel;
    if (ours)
        mPasswordPanel->saveWait()->show(false);
    // A refused write keeps the panel and what was typed; it is told even
    // when the panel is gone meanwhile.
    if (code != kTVXDone) {
        mRecordCommands.reportStoreResult(code);
        return;
    }
    if (!ours)
        return;
    mPasswordPanelEnd = platform::kModalRunStopped;
    // Only the panel's own run ends here.
    const QList<QWidget*> runs = platform::modalRunWindows();
    if (!runs.isEmpty() && runs.back() == mPasswordPanel)
        platform::stopModal();
}

bool BMPasswordPanels::isWaitingForServer() const
{
    return mPasswordPanel && mPasswordPanel->saveWait()->isSaving();
}

void BMPasswordPanels::passwordPanelCancel()
{
    if (!isWaitingForServer()) // what was sent is answered first
        platform::abortModal();
}

void BMPasswordPanels::controlTextDidChange(QObject* field)
{
    if (mPasswordPanel && field == mPasswordPanel->mNewPasswordField())
        mPasswordPanel->showStrength(passwordpanels::passwordStrength(mPasswordPanel->mNewPasswordField()->text()));
}

// --- the master password -------------------------------------------------------

void BMPasswordPanels::setMasterPassword()
{
    const QString stored = mMasterPassword.masterPasswordInForce();
    mActiveMasterPasswordPanel = stored.isEmpty() ? setMasterPasswordPanel() : resetMasterPasswordPanel();
    mActiveMasterPasswordPanel->prepare();
    mMasterPasswordChecksPassed = false;
    const int code = platform::runModalForWindow(mActiveMasterPasswordPanel);
    const QString newPassword = mActiveMasterPasswordPanel->input().newPassword;
    mActiveMasterPasswordPanel->prepare(); // no secret stays in the panel
    // Only a run that passed the checks changes anything (closing the panel does not).
    if (code == platform::kModalRunStopped && mMasterPasswordChecksPassed) {
        mMasterPassword.saveMasterPasswordForAdmin(newPassword);
        mMasterPassword.setChangeMasterPassword(true);
        mReencryption = platform::BackgroundTask::start(
            [&change = mMasterPassword, newPassword] { return change.reEncyptAllDatabaseInformation(newPassword); });
        const TVXResult result = showReencryptingPanel();
        if (result != kTVXDone)
            BMRunAlertPanel(tr("Tolvanex Enterprise Alert!"),
                            tr("The master password could not be changed. The stored data is unchanged."), tr("OK"));
    }
    mMasterPasswordChecksPassed = false;
    endPasswordPanelSheet();
}

bool BMPasswordPanels::masterPasswordPanelOK()
{
    if (!mActiveMasterPasswordPanel)
        return false;
    const auto refusal = passwordpanels::checkMasterPasswordPanel(
        mActiveMasterPasswordPanel->input(), mMasterPassword.masterPasswordInForce(), conformsToPolicy);
    if (refusal) {
        showRefusal(*refusal);
        return false;
    }
    mMasterPasswordChecksPassed = true;
    platform::stopModal();
    return true;
}

void BMPasswordPanels::masterPasswordPanelCancel() { platform::abortModal(); }

TVXResult BMPasswordPanels::showReencryptingPanel()
{
    if (!mReencryptingPanel) {
        auto* panel = new QWidget(nullptr, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
        panel->setObjectName(QStringLiteral("mReencryptingPanel"));
        panel->setWindowTitle(tr("Tolvanex Enterprise"));
        auto* text = new QLabel(tr("Reencrypting Database..."));
        text->setObjectName(QStringLiteral("mIphoneSyncProgressTextFeild"));
        auto* indicator = new QProgressBar;
        indicator->setRange(0, 0); // busy
        indicator->setTextVisible(false);
        indicator->setMinimumWidth(320);
        auto* layout = new QVBoxLayout(panel);
        layout->setContentsMargins(24, 20, 24, 22);
        layout->setSpacing(12);
        layout->addWidget(text);
        layout->addWidget(indicator);
        connect(this, &QObject::destroyed, panel, &QObject::deleteLater);
        mReencryptingPanel = panel;
    }
    const std::shared_ptr<platform::BackgroundTask> run = mReencryption;
    if (!run)
        return kTVXDone;
    platform::runModalUntilFinished(mReencryptingPanel, *run);
    // The panel may have been closed: the store is still being rewritten.
    run->waitForFinished();
    mReencryptingPanel->hide();
    mReencryption.reset();
    // One that threw failed as any other.
    const platform::TaskOutcome outcome = run->outcome();
    return outcome.failed ? kTVXStatementFailed : resultOfNumber(outcome.code);
}

void BMPasswordPanels::endPasswordPanelSheet()
{
    for (QWidget* panel : {static_cast<QWidget*>(mSetMasterPasswordPanel), static_cast<QWidget*>(mResetMasterPasswordPanel)})
        if (panel && panel->isVisible())
            panel->hide();
}
