// Applying the user's options to the main window.
#include "app/options/BMOptionsApplier.h"
#include "app/BMController.h"
#include "app/options/OptionsApplying.h"
#include "model/TVXUser.h"
#include "platform/core/NotificationCenter.h"
#include "platform/ui/Pasteboard.h"
#include "store/accounts/HintStore.h"
#include "store/accounts/PreferencesStore.h"
#include "store/loading/StoreCaches.h"
#include "views/BMDetailsView.h"
#include "views/BMTableView.h"
#include "windows/BMMainWindow.h"
#include "windows/BMOptionsWindowController.h"

#include <utility>
#include <QAbstractItemView>
#include <QPointer>
#include <QTableView>
#include <QTreeView>

BMOptionsApplier::BMOptionsApplier(BMController& app)
    : mState(app.state()), mCaches(app.store().caches), mEventLog(app.store().eventLog),
      mPreferences(app.store().preferences), mAttachmentCommands(app.attachmentCommands()),
      mLockControl(app.lockControl()), mWindowSetup(app.windowSetup()), mPopUps(app.popUps()),
      mTables(app.tables())
{
}

namespace {

// The main window's tables other than the list (none before the window exists).
QList<QAbstractItemView*> otherTablesOf(const BMMainWindow* w)
{
    if (!w)
        return {};
    return {w->mSmartTypesTable, w->mColumnViewTypesTable, w->mColumnViewDescriptionTable, w->mTreeViewOutlineView};
}

} // namespace

void BMOptionsApplier::observeOptionChanges()
{
    if (mOptionsObserver)
        return;
    QPointer<BMOptionsApplier> self(this);
    mOptionsObserver = platform::NotificationCenter::defaultCenter().addObserver(
        kTolvanPreferenceChangedNotification, [self](const platform::Notification&) {
            if (self)
                self->optionsDidChange();
        });
}

void BMOptionsApplier::stopObservingOptionChanges()
{
    if (mOptionsObserver)
        platform::NotificationCenter::defaultCenter().removeObserver(std::exchange(mOptionsObserver, 0));
}

BMOptionsWindowController* BMOptionsApplier::optionsWindowController()
{
    if (!mOwnOptionsWindow) {
        mOwnOptionsWindow = new BMOptionsWindowController(mCaches, mPreferences, mEventLog);
        // A window has no object parent: it goes with the controller.
        connect(this, &QObject::destroyed, [options = mOwnOptionsWindow] { delete options; });
    }
    BMOptionsWindowController* window = mOwnOptionsWindow;
    QPointer<BMOptionsApplier> self(this);
    window->setSelectedTypeUIDProvider([self] { return self ? self->mTables.getSelectedTypeUID() : QString(); });
    return window;
}

void BMOptionsApplier::optionsDidChange()
{
    TVXUser* user = mCaches.getCurrentUser();
    if (!user)
        return;
    const QColor rowColor = user->mRowColor().isValid() ? user->mRowColor() : QColor(Qt::white);

    // 1. The detail pane takes the row colour.
    applyoptions::applyBackgroundColor(mAttachmentCommands.detailInfoView(), rowColor);

    // 2. The tables: the list's band colour and the others' background, lighter.
    const BMMainWindow* w = mWindowSetup.mainWindowView();
    const bool listShown = w && mTables.currentView() == kListViewTag;
    const QColor light = applyoptions::blendedRowColor(rowColor);
    // The list draws its bands from the row colour itself (blended as its rows are drawn).
    if (BMTableView* list = mTables.mListViewTypesTable())
        list->setRowColor(rowColor);
    for (QAbstractItemView* view : otherTablesOf(w))
        applyoptions::applyBackgroundColor(view, light);

    // 3. The list's columns.
    if (listShown) {
        listViewColumnsVisiblityChanged();
        mPopUps.updateTableColumnsWithSelectedItem();
    }

    // 4. Font and row height.
    updateFontForTable(mTables.mListViewTypesTable());
    for (QAbstractItemView* view : otherTablesOf(w))
        updateFontForTable(view);

    // 5, 6. Column order, contents and sorting.
    if (listShown)
        rearrangeTableColumns();
    mTables.updateTables();
    mPopUps.initTableColumnSorting();

    // 7. Automatic lock: armed anew only; turning it off leaves a running timer to the lock code.
    int minutes = 0;
    if (TVXPasswordHint::isPasswordEnableForUser(*user) && mPreferences.autoLockEnabledWithInactiveTime(&minutes)
        && minutes > 0)
        mLockControl.installInactiveTimerWithTime(minutes);

    // 8. Clipboard: clearing is on when it has a moment to happen; a value
    // still on the clipboard follows the new clearing time.
    user->setMClearClipboardState(user->mClipBoardOnExit() || user->mClearClipBoardTimer() > 0);
    if (platform::Pasteboard::generalPasteboard().changeCount() == mState.mLastPasteBoardChangeCount)
        mLockControl.installClearClipBoardTimer(false);
}

void BMOptionsApplier::updateFontForTable(QAbstractItemView* table)
{
    if (const TVXUser* user = mCaches.getCurrentUser())
        applyoptions::applyFont(table, user->mTextFont());
}

void BMOptionsApplier::updateTableColumn(uint64_t bit, const QString& identifier, int index)
{
    Q_UNUSED(index);
    applyoptions::updateTableColumn(mTables.mListViewTypesTable(), bit, identifier.toInt());
}

void BMOptionsApplier::listViewColumnsVisiblityChanged()
{
    const TVXUser* user = mCaches.getCurrentUser();
    QTableView* table = mTables.mListViewTypesTable();
    if (!user || !table)
        return;
    applyoptions::applyColumnMask(table, user->mColoumInfo());
}

void BMOptionsApplier::rearrangeTableColumns() { applyoptions::rearrangeTableColumns(mTables.mListViewTypesTable()); }
