// What the main window shows: the view, the group and type, the detail pane
// and the search.
#include "app/BMController.h"

#include "model/BMGroup.h"
#include "model/TVXRecord.h"
#include "model/TVXType.h"
#include "model/TVXUID.h"
#include "model/TVXUser.h"
#include "store/personal/IconStore.h"
#include "store/accounts/PreferencesStore.h"
#include "store/loading/RecordSearch.h"
#include "store/loading/StoreCaches.h"
#include "views/BMRecordModels.h"
#include "views/BMTableView.h"
#include "windows/BMMainWindow.h"

#include <QAction>
#include <QButtonGroup>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QSplitter>
#include <QStackedWidget>
#include <QToolButton>

namespace {

// A pop-up's "Edit ..." entry opens its editor elsewhere: the choice goes
// back to what it was, and false. Any other entry becomes `previous`.
bool takePopUpChoice(QComboBox* popup, int& previous)
{
    if (popup->currentData().userType() != QMetaType::Int) {
        popup->setCurrentIndex(qBound(0, previous, popup->count() - 1));
        return false;
    }
    previous = popup->currentIndex();
    return true;
}

} // namespace

int BMController::currentView() const
{
    const BMMainWindow* w = mainWindowView();
    if (!w)
        return kColumnViewTag;
    const int tag = w->mViewsSelectionControl->checkedId();
    return tag < 0 ? kColumnViewTag : tag;
}

void BMController::changeView(int view)
{
    BMMainWindow* w = mainWindowView();
    if (!w || view < kColumnViewTag || view > kTreeViewTag)
        return;
    int previousView = -1;
    if (TVXUser* user = mCaches.getCurrentUser()) {
        previousView = user->mLastView();
        user->setMLastView(int16_t(view));
        if (storeConnected())
            mPreferences.saveLastViewBehind(*user); // a preference: a failed save goes to the error path
    }
    selectTabView(view);

    if (view == kListViewTag) {
        // The columns read back or keep their defaults; a failure went to the error path.
        if (storeConnected())
            (void)mPreferences.readColoumWidthInfoForType(QString());
        // The columns ticked in Options: the launch applies them only to a list shown then.
        listViewColumnsVisiblityChanged();
    }
    updateTables();
    if (view == kListViewTag) {
        updateTableColumnsWithSelectedItem();
        initTableColumnSorting();
        updateTableColumnWidth();
    } else {
        // Only a list just left has columns to keep: at a start in another
        // view the list never read its columns, and would write defaults over them.
        if (mSubviewsReady && storeConnected() && previousView == kListViewTag)
            saveTableColumnWidthToPreference();
    }
    validateUIControls();
    w->update();
}

void BMController::changeCategory(QObject*)
{
    BMMainWindow* w = mainWindowView();
    if (!w || !takePopUpChoice(w->mCategoriesPopup, mPreviousCategory))
        return;
    const auto groups = mCaches.groupsForEditing();
    TVXUser* user = mCaches.getCurrentUser();
    const auto group = selectedGroup();
    if (groups.isEmpty() || !group) {
        mGroupFilterSelectedUID.clear();
        if (user)
            user->setMCurrentGroup(kAllCategoriesUID);
    } else {
        mGroupFilterSelectedUID = group->mGroupUID();
        if (user)
            user->setMCurrentGroup(group->mGroupUID());
    }
    if (user && storeConnected())
        mPreferences.saveCurrentGroupBehind(*user); // a preference: a failed save goes to the error path
    initTypesUIControl();
    updateTables();
    validateUIControls();
}

void BMController::changeType()
{
    BMMainWindow* w = mainWindowView();
    if (!w || !takePopUpChoice(w->mTypesPopup, mPreviousType))
        return;
    const auto type = selectedType();
    if (storeConnected())
        (void)mPreferences.readColoumWidthInfoForType(type ? type->mTypeUID() : QString());
    updateTables();
    validateUIControls();
    updateDetailInfoViewWithRecord(itemPropertiesForTableViewSelectedRow());
    updateTableColumnsWithSelectedItem();
    updateTableColumnWidth();
    initTableColumnSorting();
}

bool BMController::isDetailPaneShown() const
{
    const BMMainWindow* w = mainWindowView();
    return w && !w->mDetailsViewContainer->isHidden();
}

void BMController::toggleInfoView(bool on)
{
    BMMainWindow* w = mainWindowView();
    if (!w)
        return;
    QAction* item = BMMainWindow::menuItemWithTag(w->mViewMenu, kToggleDetailsMenuItemTag);
    if (!on) {
        if (isDetailPaneShown())
            mDetailsViewFrame = w->mMainSplitView->sizes();
        w->mDetailsViewContainer->hide();
        if (item)
            item->setText(tr("Show Details"));
    } else {
        w->mDetailsViewContainer->show();
        if (!mDetailsViewFrame.isEmpty())
            w->mMainSplitView->setSizes(mDetailsViewFrame);
        if (item)
            item->setText(tr("Hide Details"));
    }
    for (QToolButton* toggle : {w->mColumnToggleInfoButton, w->mListToggleInfoButton, w->mTreeToggleInfoButton}) {
        toggle->setChecked(on);
        toggle->setToolTip(on ? tr("Hide Details") : tr("Show Details"));
    }
    mDetailPanelIsVisible = on;
    if (mCaches.getCurrentUser() && storeConnected())
        (void)mPreferences.setToggleInfo(on); // a preference: a failed save went to the error path
}

void BMController::toggleInfoViewFromMenu()
{
    BMMainWindow* w = mainWindowView();
    if (!w)
        return;
    QAction* item = BMMainWindow::menuItemWithTag(w->mViewMenu, kToggleDetailsMenuItemTag);
    const bool show = item && item->text() == tr("Show Details");
    if (item)
        item->setText(show ? tr("Hide Details") : tr("Show Details"));
    w->mColumnToggleInfoButton->setChecked(show);
    toggleInfoView(show);
}

void BMController::updateDetailInfoViewWithRecord(const std::shared_ptr<TVXRecord>& record)
{
    BMMainWindow* w = mainWindowView();
    QString title;
    QImage image;
    if (record) {
        title = record->mValue1();
        if (const TVXType* type = effectiveType(*record))
            image = mIcons.getImageFromIconIndex(type->mTypeIconID());
    }
    // The placeholder (until the detail pane is plugged in) names the record.
    if (w)
        if (auto* placeholder = qobject_cast<QLabel*>(w->detailsView())) {
            placeholder->setText(record ? QStringLiteral("<div style='font-size:15pt; color:#2b303a'>%1</div>"
                                                         "<div style='color:#8a8f98'>%2</div>")
                                              .arg(title.toHtmlEscaped(),
                                                   record->mType() ? record->mType()->mTypeName().toHtmlEscaped()
                                                                   : QString())
                                        : tr("No record selected"));
        }
    emit detailInfoRecordChanged(record, title, image);
}

QString BMController::searchString() const
{
    const BMMainWindow* w = mainWindowView();
    return w ? w->mSearchField->text() : QString();
}

void BMController::performSearch()
{
    updateTables();
    validateUIControls();
}

void BMController::focusSearchField()
{
    BMMainWindow* w = mainWindowView();
    if (!w)
        return;
    w->mSearchField->setFocus(Qt::ShortcutFocusReason);
    w->mSearchField->selectAll();
}

QComboBox* BMController::mCategoriesPopup() const
{
    const BMMainWindow* w = mainWindowView();
    return w ? w->mCategoriesPopup : nullptr;
}

QComboBox* BMController::mTypesPopup() const
{
    const BMMainWindow* w = mainWindowView();
    return w ? w->mTypesPopup : nullptr;
}

BMTableView* BMController::mListViewTypesTable() const
{
    const BMMainWindow* w = mainWindowView();
    return w ? w->mListViewTypesTable : nullptr;
}

int BMController::getSelectedTypeIndex() const
{
    const QComboBox* popup = mTypesPopup();
    return popup ? qMax(0, popup->currentIndex()) : 0;
}

QString BMController::getSelectedTypeUID() const
{
    return kAllCategoriesUID;
}
