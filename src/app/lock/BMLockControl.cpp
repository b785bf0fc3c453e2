// Lock and unlock, the password hint, the automatic lock after idle time and
// the clearing of copied text.
#include "app/lock/BMLockControl.h"
#include "app/AppControllerRules.h"
#include "app/BMController.h"
#include "app/lock/BMLockPanel.h"
#include "app/BMProgressPanel.h"
#include "app/records/BMRecordCommands.h"
#include "store/writers/RecordWriter.h"
#include "app/mainwindow/BMMainWindowSetup.h"
#include "app/tables/BMTables.h"
#include "model/TVXRecord.h"
#include "model/TVXType.h"
#include "model/TVXUser.h"
#include "platform/ui/AlertPanel.h"
#include "platform/ui/IdleTimer.h"
#include "platform/ui/ModalRun.h"
#include "platform/ui/Pasteboard.h"
#include "platform/ui/SaveWait.h"
#include "store/accounts/AccountAdmin.h"
#include "store/eventlog/EventLogStore.h"
#include "store/accounts/HintQuestions.h"
#include "store/accounts/HintStore.h"
#include "store/accounts/PreferencesStore.h"
#include "store/loading/StoreCaches.h"
#include "store/eventlog/TVXEventLogger.h"
#include "views/BMRecordModels.h"
#include "views/BMTableView.h"
#include "windows/BMDetailsWindowController.h"
#include "windows/BMMainWindow.h"

#include <QApplication>
#include <QClipboard>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPointer>
#include <QPushButton>
#include <QSet>
#include <QTimer>
#include <QTreeView>
#include <algorithm>

using namespace appctl;

BMLockControl::BMLockControl(BMController& app)
    : mState(app.state()), mAccountAdmin(app.store().accountAdmin), mCaches(app.store().caches),
      mEventLog(app.store().eventLog), mPasswordHint(app.store().passwordHint),
      mPreferences(app.store().preferences), mRecordWriter(app.store().recordWriter), mPasswordPanels(app.passwordPanels()), mPopUps(app.popUps()),
      mRecordCommands(app.recordCommands()), mStartup(app.startup()), mWindowSetup(app.windowSetup()),
      mTables(app.tables())
{
}

namespace {

// Keeps a second idle firing from starting another lock while one is handled.
bool alertISON = true;

bool isOneOfOurPanels(const QWidget* w)
{
    const QString name = w->objectName();
    return name == QLatin1String("mLockPanel") || name == QLatin1String("mConnectionWindow")
           || name == QLatin1String("mLoadingDataPanel") || name == QLatin1String("mHintQuestionAnswerPanel");
}

// Open modal windows other than the lock, log-in and progress panels (the
// record editor and panels inside it).
int openEditorWindows()
{
    int count = 0;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible() && w->isModal() && !isOneOfOurPanels(w))
            ++count;
    return count;
}

void postReturnToFocus()
{
    QWidget* target = QApplication::focusWidget();
    if (!target)
        target = QApplication::activeModalWidget();
    if (!target)
        return;
    QCoreApplication::postEvent(target, new QKeyEvent(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier));
    QCoreApplication::postEvent(target, new QKeyEvent(QEvent::KeyRelease, Qt::Key_Return, Qt::NoModifier));
}

// The client's windows while the lock panel is up: hidden, as the data in them
// must not show, then shown again as they were, their input and focus kept.
// Runs under way stay: a hidden sheet or alert goes on waiting for its user.
class HiddenWindows {
public:
    explicit HiddenWindows(const QWidget* lockPanel)
    {
        const QList<QWidget*> runWindows = platform::modalRunWindows();
        QList<QWidget*> others;
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (!w->isVisible() || w == lockPanel || w->windowType() == Qt::ToolTip)
                continue;
            if (w->windowType() == Qt::Popup) {
                w->close(); // an open menu is not brought back
                continue;
            }
            if (!runWindows.contains(w))
                others.push_back(w);
        }
        // Shown again in this order: plain windows (main window first), then
        // modal ones, the runs' windows last and innermost last, so that each
        // modal window is above the ones it blocks.
        std::stable_sort(others.begin(), others.end(), [](const QWidget* a, const QWidget* b) {
            return rank(a) < rank(b);
        });
        for (QWidget* w : others)
            mWindows.push_back({w, w->focusWidget()});
        for (QWidget* w : runWindows)
            if (w->isVisible())
                mWindows.push_back({w, w->focusWidget()});
        mActive = QApplication::activeWindow();
        for (auto it = mWindows.rbegin(); it != mWindows.rend(); ++it)
            it->window->hide();
    }

    void showAgain()
    {
        QWidget* top = nullptr;
        for (const Entry& entry : mWindows) {
            if (!entry.window)
                continue;
            entry.window->show();
            entry.window->raise();
            if (entry.focus)
                entry.focus->setFocus(Qt::OtherFocusReason);
            top = entry.window;
        }
        // The innermost modal window takes the input; else the one active before.
        QWidget* active = QApplication::activeModalWidget() ? top : mActive.data();
        if (!active || !active->isVisible())
            active = top;
        if (active)
            active->activateWindow();
        mWindows.clear();
    }

private:
    struct Entry {
        QPointer<QWidget> window;
        QPointer<QWidget> focus;
    };
    static int rank(const QWidget* w)
    {
        if (w->inherits("BMMainWindow"))
            return 0;
        return w->isModal() ? 2 : 1;
    }

    QList<Entry> mWindows;
    QPointer<QWidget> mActive;
};

// What the main window's current view had selected: the lock empties the
// tables and the unlock reloads them, then this is chosen again.
struct KeptSelection {
    int view = -1;
    QString typeUID;
    int smartRow = -1;
    QSet<QString> records;
};

QString recordUID(const std::shared_ptr<TVXRecord>& record) { return record ? record->mRecordUID() : QString(); }

KeptSelection keepSelection(const BMMainWindow* w, const BMTables& controller)
{
    KeptSelection kept;
    if (!w)
        return kept;
    kept.view = controller.currentView();
    if (kept.view == kColumnViewTag) {
        for (const QModelIndex& index : w->mColumnViewTypesTable->selectionModel()->selectedRows())
            if (const auto type = controller.typesModel()->typeAt(index.row()))
                kept.typeUID = type->mTypeUID();
        for (const QModelIndex& index : w->mSmartTypesTable->selectionModel()->selectedRows())
            kept.smartRow = index.row();
        for (const QModelIndex& index : w->mColumnViewDescriptionTable->selectionModel()->selectedRows())
            kept.records.insert(recordUID(controller.namesModel()->recordAt(index.row())));
    } else if (kept.view == kListViewTag) {
        for (const QModelIndex& index : w->mListViewTypesTable->selectionModel()->selectedRows())
            kept.records.insert(recordUID(controller.listModel()->recordAt(index.row())));
    } else {
        for (const QModelIndex& index : w->mTreeViewOutlineView->selectionModel()->selectedRows())
            kept.records.insert(recordUID(controller.outlineModel()->recordAt(index)));
    }
    kept.records.remove(QString());
    return kept;
}

void selectRecordRows(QAbstractItemView* view, const QSet<QString>& uids,
                      const std::function<std::shared_ptr<TVXRecord>(int)>& recordAtRow)
{
    if (uids.isEmpty() || view->selectionModel()->hasSelection())
        return;
    const auto uidAtRow = [&recordAtRow](int row) { return recordUID(recordAtRow(row)); };
    if (BMTables::reselectRows(view, uids, uidAtRow, view->model()->rowCount()))
        view->scrollTo(view->selectionModel()->currentIndex());
}

void restoreSelection(BMMainWindow* w, const BMTables& controller, const KeptSelection& kept)
{
    if (!w || kept.view != controller.currentView())
        return;
    if (kept.view == kColumnViewTag) {
        BMTypesTableModel* types = controller.typesModel();
        if (!w->mColumnViewTypesTable->selectionModel()->hasSelection()
            && !w->mSmartTypesTable->selectionModel()->hasSelection()) {
            int row = -1;
            for (int i = 0; i < types->rowCount() && !kept.typeUID.isEmpty(); ++i)
                if (types->typeAt(i) && types->typeAt(i)->mTypeUID() == kept.typeUID)
                    row = i;
            // Choosing the type (or smart type) fills the record table.
            if (row >= 0)
                w->mColumnViewTypesTable->selectRow(row);
            else if (kept.smartRow >= 0 && kept.smartRow < w->mSmartTypesTable->model()->rowCount())
                w->mSmartTypesTable->selectRow(kept.smartRow);
        }
        BMRecordNamesModel* names = controller.namesModel();
        selectRecordRows(w->mColumnViewDescriptionTable, kept.records, [names](int row) { return names->recordAt(row); });
    } else if (kept.view == kListViewTag) {
        BMRecordListModel* list = controller.listModel();
        selectRecordRows(w->mListViewTypesTable, kept.records, [list](int row) { return list->recordAt(row); });
    } else if (kept.records.size() == 1 && !w->mTreeViewOutlineView->selectionModel()->hasSelection()) {
        const QModelIndex index = controller.outlineModel()->indexOfRecord(*kept.records.cbegin());
        if (index.isValid()) {
            w->mTreeViewOutlineView->expand(index.parent());
            w->mTreeViewOutlineView->selectionModel()->select(
                index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
            w->mTreeViewOutlineView->selectionModel()->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
            w->mTreeViewOutlineView->scrollTo(index);
        }
    }
}

} // namespace

void BMLockControl::resetIdleGuard() { alertISON = true; }

BMLockPanel* BMLockControl::lockPanel()
{
    if (!mLockPanel) {
        mLockPanel = new BMLockPanel;
        connect(this, &QObject::destroyed, mLockPanel, &QObject::deleteLater);
        connect(mLockPanel, &BMLockPanel::unlockRequested, this, &BMLockControl::lockPanelOK);
        connect(mLockPanel, &BMLockPanel::quitRequested, this, &BMLockControl::lockPanelQuit);
        connect(mLockPanel, &BMLockPanel::hintRequested, this, &BMLockControl::lockPanelHint);
    }
    return mLockPanel;
}

BMHintQuestionPanel* BMLockControl::hintQuestionAnswerPanel()
{
    if (!mHintQuestionAnswerPanel) {
        mHintQuestionAnswerPanel = new BMHintQuestionPanel;
        connect(this, &QObject::destroyed, mHintQuestionAnswerPanel, &QObject::deleteLater);
        connect(mHintQuestionAnswerPanel, &BMHintQuestionPanel::answered, this,
                &BMLockControl::HintQuestionAnswerPanelOK);
    }
    return mHintQuestionAnswerPanel;
}

// --- lock and unlock ------------------------------------------------------------

void BMLockControl::lockUserInterface(bool locked)
{
    // The tables show no record while locked (and the pane follows them).
    mTables.setMShouldLockInfoDisplay(locked);
    mPopUps.initTypesUIControl();
}

void BMLockControl::displayLockPanel(QObject* sender)
{
    (void)sender;
    // A record being written is answered first: the lock's own modal run must
    // not be where a save's answer lands.
    if (mRecordWriter.savesInFlight() > 0 || mRecordCommands.isDeleting()) {
        QPointer<BMLockControl> self(this);
        mRecordWriter.whenSavesAnswered([self] {
            if (self && !self->isLocked())
                self->displayLockPanel(nullptr);
        });
        return;
    }
    // Nothing running is ended: an editor or alert open now is hidden under the
    // lock and comes back as it was, its input kept.
    BMLockPanel* panel = lockPanel();
    panel->mAttemptsLabel()->hide();
    const TVXUser& user = *mCaches.mCurrentUser();
    if (!TVXPasswordHint::isPasswordEnableForUser(user)) {
        BMRunAlertPanel(platform::standardAlertTitle(), tr("You need to set password first."), tr("OK"));
        return;
    }
    panel->mUserLockPanelField()->setEnabled(false);
    panel->mUserLockPanelField()->setText(user.mUsername());
    const KeptSelection kept = keepSelection(mWindowSetup.mainWindowView(), mTables);
    lockUserInterface(true);
    mEventLog.eventLogger().addLogEventBehind(QStringLiteral("Lock Application"), QString(), QString(),
                                              mState.mCurrentUserName);
    mState.mNumberOfAttempts = user.mLoginAttemptCount();
    HiddenWindows hidden(panel);
    if (showLockPanel()) {
        lockUserInterface(false);
        restoreSelection(mWindowSetup.mainWindowView(), mTables, kept);
        hidden.showAgain();
    } else {
        mState.mIsConnectionCancelled = true;
        // A lock-out's deletion in flight is answered before the application ends (terminate waits for it).
        mStartup.terminate();
    }
}

bool BMLockControl::showLockPanel()
{
    BMLockPanel* panel = lockPanel();
    const TVXUser& user = *mCaches.mCurrentUser();
    if (!TVXPasswordHint::isPasswordEnableForUser(user))
        return true;
    mState.mNumberOfAttempts = user.mLoginAttemptCount();
    panel->mAttemptsLabel()->hide();
    mState.mShouldLockInfoDisplay = true;
    if (showsAttemptsLabelAtOpen(mState.mNumberOfAttempts)) {
        panel->mAttemptsLabel()->setText(attemptsLabelText(mState.mNumberOfAttempts));
        panel->mAttemptsLabel()->show();
    }
    // A lock-out of an earlier run left only Quit usable; a new lock starts afresh.
    const bool lockedOut = mState.mNumberOfAttempts >= kMaxUnlockAttempts;
    panel->mLackPanelOKButton()->setEnabled(!lockedOut);
    panel->mPasswordField()->setEnabled(!lockedOut);
    panel->hintButton()->setEnabled(!lockedOut);
    panel->mPasswordField()->clear();
    panel->mPasswordField()->setFocus();
    panel->adjustSize();
    const int code = platform::runModalForWindow(panel);
    ++mLockRun; // a hint answered after this run shows nothing
    panel->saveWait()->show(false);
    panel->hide();
    panel->mPasswordField()->clear();
    mState.mShouldLockInfoDisplay = false;
    return code != platform::kModalRunAborted;
}

void BMLockControl::lockPanelQuit()
{
    if (!isHintWaiting()) // the hint is answered first
        platform::abortModal();
}

bool BMLockControl::isHintWaiting() const
{
    return (mLockPanel && mLockPanel->saveWait()->isSaving())
           || (mHintQuestionAnswerPanel && mHintQuestionAnswerPanel->saveWait()->isSaving());
}

void BMLockControl::lockPanelOK()
{
    if (isHintWaiting())
        return;
    BMLockPanel* panel = lockPanel();
    TVXUser& user = *mCaches.mCurrentUser();
    const QString typed = panel->mPasswordField()->text();
    if (!TVXPasswordHint::isPasswordEnableForUser(user) && typed.isEmpty()) {
        platform::stopModal();
        panel->hide();
        mStartup.reloadDatabase(nullptr);
        return;
    }
    if (mPasswordHint.validatePasswordForUser(user, typed)) {
        mState.mNumberOfAttempts = 0;
        platform::stopModal();
        panel->hide();
        panel->mPasswordField()->clear();
        mStartup.reloadDatabase(nullptr);
        // The count is a preference, sent behind the window: a failure goes
        // to the error path, and the unlock stands.
        if (mState.storeConnected())
            mPreferences.setNumberofAttemptsLeftBehind(0, user);
        return;
    }
    panel->mPasswordField()->clear();
    mEventLog.eventLogger().addLogEventBehind(QStringLiteral("Failed login attempt"), QString(), QString(),
                                              mState.mCurrentUserName);
    BMRunAlertPanel(platform::standardAlertTitle(), tr("That is not a correct password."), tr("OK"));
    ++mState.mNumberOfAttempts;
    if (mState.storeConnected())
        mPreferences.setNumberofAttemptsLeftBehind(static_cast<int16_t>(mState.mNumberOfAttempts), user); // as above
    else
        user.setMLoginAttemptCount(static_cast<int16_t>(mState.mNumberOfAttempts));
    const FailedUnlock outcome = failedUnlockOutcome(mState.mNumberOfAttempts);
    if (outcome.warnFiveLeft)
        BMRunAlertPanel(platform::standardAlertTitle(), tr("Only 5 attempts left !!!"), tr("OK"));
    if (outcome.showAttemptsLabel) {
        panel->mAttemptsLabel()->setText(attemptsLabelText(mState.mNumberOfAttempts));
        panel->mAttemptsLabel()->show();
    }
    if (outcome.lockOut) {
        panel->mLackPanelOKButton()->setEnabled(false);
        panel->mPasswordField()->setEnabled(false);
        panel->hintButton()->setEnabled(false);
        BMRunAlertPanel(platform::standardAlertTitle(),
                        tr("Since you have entered an incorrect password 10 times, your data will now be deleted.")
                            + QLatin1Char('\n')
                            + tr("Quit Tolvanex, and you can start the app again and start entering data from scratch."),
                        tr("OK"));
        if (mState.storeConnected()) {
            // Behind the window, in this order; only Quit is left either way,
            // and it waits for the deletion's answer. A failure goes to the
            // error path.
            mPreferences.setNumberofAttemptsLeftBehind(0, user);
            mRecordWriter.saveBehindWindow(mAccountAdmin.deleteUserServerPart(user), nullptr);
        }
    }
}

// --- the hint -------------------------------------------------------------------

void BMLockControl::lockPanelHint()
{
    if (isHintWaiting())
        return;
    TVXUser& user = *mCaches.mCurrentUser();
    if (user.mHintQuestionNumber() > 0) {
        mEventLog.eventLogger().addLogEventBehind(QStringLiteral("Request Hint"), QString(), QString(), mState.mCurrentUserName);
        BMHintQuestionPanel* panel = hintQuestionAnswerPanel();
        panel->mHintToQuestion()->setText(kQuestions.value(user.mHintQuestionNumber()));
        panel->mHintAnswerToQuestion()->clear();
        panel->adjustSize();
        platform::runModalForWindow(panel);
        ++mHintQuestionRun; // an answer after this run shows nothing
        panel->saveWait()->show(false);
        panel->hide();
        panel->mHintAnswerToQuestion()->clear();
        // Whatever the hint's alerts were, the user types the password next.
        if (mLockPanel)
            mLockPanel->mPasswordField()->setFocus();
        return;
    }
    // The lock panel keeps its input until the server answers.
    BMLockPanel* panel = lockPanel();
    panel->saveWait()->show(true);
    QPointer<BMLockControl> self(this);
    mPasswordHint.readHintBehindWindow([self, run = mLockRun](const TVXPasswordHint::HintReading& reading) {
        if (self)
            self->hintRead(run, reading);
    });
}

void BMLockControl::hintRead(quint64 run, const TVXPasswordHint::HintReading& reading)
{
    if (run != mLockRun || !mLockPanel || mStartup.isTerminating())
        return;
    mLockPanel->saveWait()->show(false);
    const TVXResult code = reading.code;
    if (code == kTVXDone)
        BMRunAlertPanel(tr("The Hint"), reading.exists ? reading.hint : tr("You have not set any hint."), tr("OK"));
    else
        displayErrCode(code);
    if (mLockPanel)
        mLockPanel->mPasswordField()->setFocus(); // the password is typed next
}

void BMLockControl::HintQuestionAnswerPanelOK()
{
    if (isHintWaiting())
        return;
    BMHintQuestionPanel* panel = hintQuestionAnswerPanel();
    panel->saveWait()->show(true);
    QPointer<BMLockControl> self(this);
    mPasswordHint.checkHintAnswerBehindWindow(
        panel->mHintAnswerToQuestion()->text(),
        [self, run = mHintQuestionRun](const TVXPasswordHint::HintReading& reading) {
            if (self)
                self->hintAnswerChecked(run, reading);
        });
}

void BMLockControl::hintAnswerChecked(quint64 run, const TVXPasswordHint::HintReading& reading)
{
    // A wrong answer is logged even when its panel is gone meanwhile.
    const bool shown = run == mHintQuestionRun && mHintQuestionAnswerPanel && !mStartup.isTerminating();
    if (shown) {
        mHintQuestionAnswerPanel->saveWait()->show(false);
        displayErrCode(reading.code);
    }
    if (mStartup.isTerminating())
        return;
    if (!reading.rightAnswer)
        mEventLog.eventLogger().addLogEventBehind(QStringLiteral("Failed Hint Question Answer"), QString(), QString(),
                                                  mState.mCurrentUserName);
    if (!shown)
        return;
    if (!reading.rightAnswer)
        BMRunAlertPanel(platform::standardAlertTitle(), tr("Hint Challenge Answer is incorrect."), tr("OK"));
    else
        BMRunAlertPanel(tr("The Hint"), reading.hint, tr("OK"));
    // Only the question panel's own run ends here.
    const QList<QWidget*> runs = platform::modalRunWindows();
    if (!runs.isEmpty() && runs.back() == mHintQuestionAnswerPanel)
        platform::stopModal();
}

void BMLockControl::displayErrCode(TVXResult code)
{
    if (code == kTVXDone)
        return;
    if (code == kTVXAccountDisabled) {
        BMRunAlertPanel(platform::standardAlertTitle(),
                        tr("Your account has been disabled. Please contact administrator."), tr("Quit"));
        mState.mIsConnectionCancelled = true;
        mStartup.terminate();
        return;
    }
    BMRunAlertPanel(platform::standardAlertTitle(),
                    code == kTVXAccountDeleted ? tr("Your account has been deleted")
                                               : tr("Connection to the server has been lost."),
                    tr("Retry"));
}

// --- automatic lock ---------------------------------------------------------------

namespace {

// The lock's shortcut for every window of the application: a sheet or an
// alert runs modally, and the main window's menu does not see the keys then.
class LockKeyOverSheets : public QObject {
public:
    LockKeyOverSheets(QObject* owner, std::function<bool()> mayLock, std::function<void()> lock)
        : QObject(owner), mMayLock(std::move(mayLock)), mLock(std::move(lock))
    {
        qApp->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() != QEvent::KeyPress && event->type() != QEvent::ShortcutOverride)
            return false;
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() != Qt::Key_L || (key->modifiers() & ~Qt::KeypadModifier) != Qt::ControlModifier
            || !platform::isModalRunning() || !mMayLock())
            return false;
        if (event->type() == QEvent::ShortcutOverride) {
            event->accept(); // the key press follows, and locks
            return true;
        }
        // Once the key is handled: the lock runs a modal panel of its own.
        QTimer::singleShot(0, this, [this] {
            if (platform::isModalRunning() && mMayLock())
                mLock();
        });
        return true;
    }

private:
    std::function<bool()> mMayLock;
    std::function<void()> mLock;
};

} // namespace

bool BMLockControl::mayLockOverModalRun() const
{
    // Not over the log-in, a load, a re-encryption, an exchange's progress or the lock itself.
    if (mState.mShouldLockInfoDisplay || mStartup.isSessionWorkRunning() || mPasswordPanels.isReencrypting())
        return false;
    return !qobject_cast<const BMProgressPanel*>(QApplication::activeModalWidget());
}

void BMLockControl::watchLockKeyOverSheets()
{
    if (mWatchingLockKey)
        return;
    mWatchingLockKey = true;
    QPointer<BMLockControl> self(this);
    new LockKeyOverSheets(
        this, [self] { return self && self->mayLockOverModalRun(); },
        [self] {
            if (self)
                self->displayLockPanel(nullptr);
        });
}

void BMLockControl::installInactiveTimerWithTime(double minutes)
{
    platform::IdleTimer::shared().remove();
    if (minutes <= 0)
        return;
    platform::IdleTimer::shared().install(static_cast<int>(minutes * 60.0 * 1000.0), [this] { DoIdle(); });
}

void BMLockControl::DoIdle()
{
    if (!alertISON)
        return;
    alertISON = false;
    if (BMDetailsWindowController& sheet = mRecordCommands.detailsWindowController(); sheet.isVisible()) {
        // The record sheet through its own OK, whatever has the focus; a panel
        // above it takes a Return first. An input the store refuses keeps the
        // sheet open, hidden under the lock with its alert.
        QPointer<BMDetailsWindowController> target(&sheet);
        const auto confirm = [target] {
            if (target && target->isVisible())
                target->detailPanelOK();
        };
        if (openEditorWindows() > 1) {
            if (mReturnKeyPoster)
                mReturnKeyPoster(1);
            else
                postReturnToFocus();
            // Once that panel's run has ended.
            QTimer::singleShot(50, this, confirm);
        } else {
            QTimer::singleShot(0, this, confirm);
        }
        QTimer::singleShot(100, this, &BMLockControl::closeModals);
        return;
    }
    if (const int editors = openEditorWindows(); editors > 0) {
        // Confirm the open editor (and a panel inside it) first, then lock.
        const int times = editors > 1 ? 2 : 1;
        if (mReturnKeyPoster) {
            mReturnKeyPoster(times);
        } else {
            postReturnToFocus();
            if (times > 1)
                QTimer::singleShot(0, [] { postReturnToFocus(); });
        }
        QTimer::singleShot(100, this, &BMLockControl::closeModals);
        return;
    }
    closeModals();
}

void BMLockControl::closeModals()
{
    // Not while the log-in panel, a load or a re-encryption is up (no data
    // shows, and aborting them would end the session): try again shortly.
    if (mStartup.isSessionWorkRunning() || mPasswordPanels.isReencrypting()) {
        QTimer::singleShot(1000, this, &BMLockControl::closeModals);
        return;
    }
    const TVXUser& user = *mCaches.mCurrentUser();
    int minutes = 0;
    if (TVXPasswordHint::isPasswordEnableForUser(user) && mPreferences.autoLockEnabledWithInactiveTime(&minutes)
        && minutes > 0)
        displayLockPanel(nullptr);
    alertISON = true;
}

// --- clipboard ------------------------------------------------------------------

void BMLockControl::checkClipBoard()
{
    const int count = platform::Pasteboard::generalPasteboard().changeCount();
    if (count <= mState.mLastPasteBoardChangeCount)
        return;
    const bool active = mApplicationActiveProbe ? mApplicationActiveProbe()
                                                : QGuiApplication::applicationState() == Qt::ApplicationActive;
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    // Without text the board does not count as empty.
    const bool emptyString = data && data->hasText() && data->text().isEmpty();
    if (active && !emptyString) {
        mState.mLastPasteBoardChangeCount = count;
        installClearClipBoardTimer(false);
    } else if (mClearClipBoardTimer) {
        mClearClipBoardTimer->stop();
        mClearClipBoardTimer->deleteLater();
        mClearClipBoardTimer = nullptr;
    }
}

void BMLockControl::installClearClipBoardTimer(bool quitting)
{
    const TVXUser& user = *mCaches.mCurrentUser();
    if (!user.mClearClipboardState())
        return;
    if (quitting) {
        clearClipBoard(nullptr);
        return;
    }
    if (mClearClipBoardTimer) {
        mClearClipBoardTimer->stop();
        mClearClipBoardTimer->deleteLater();
        mClearClipBoardTimer = nullptr;
    }
    if (user.mClipBoardOnExit())
        return;
    auto* timer = new QTimer(this);
    timer->setSingleShot(true);
    timer->setInterval(std::max(0, static_cast<int>(user.mClearClipBoardTimer())) * 60 * 1000);
    connect(timer, &QTimer::timeout, this, [this, timer] { clearClipBoard(timer); });
    mClearClipBoardTimer = timer;
    timer->start();
}

void BMLockControl::clearClipBoard(QTimer* timer)
{
    QClipboard* clipboard = QGuiApplication::clipboard();
    const QMimeData* data = clipboard->mimeData();
    if (data && data->hasText()) {
        auto* plain = new QMimeData;
        plain->setText(QString());
        clipboard->setMimeData(plain);
    }
    // The given timer and any other pending clear end here: one clear is enough.
    for (QTimer* pending : {timer, mClearClipBoardTimer}) {
        if (pending) {
            pending->stop();
            pending->deleteLater();
        }
        if (pending == mClearClipBoardTimer)
            break;
    }
    mClearClipBoardTimer = nullptr;
}

void BMLockControl::clearClipBoardAction() { clearClipBoard(mClearClipBoardTimer); }
