#pragma once
// The main window of a signed-in controller, and records chosen in its views
// the way a user chooses them: the commands act on what the views have
// selected, so tests select there too.
#include "app/BMController.h"
#include "model/BMGroup.h"
#include "model/TVXRecord.h"
#include "model/TVXType.h"
#include "store/TVXDataBase.h"
#include "views/BMDetailsView.h"
#include "views/BMRecordModels.h"
#include "views/BMTableView.h"
#include "windows/BMMainWindow.h"

#include <QComboBox>
#include <QItemSelection>
#include <QItemSelectionModel>
#include <QObject>
#include <QStringList>
#include <QTreeView>

namespace tvxtest {

// Builds the main window as the launch does once the data are loaded. The
// caller deletes the window before the controller.
inline BMMainWindow* createMainWindow(BMController& controller)
{
    controller.tables().setMShouldCreateDatabase(true);
    BMMainWindow* window = controller.windowSetup().createMainWindow();
    controller.windowSetup().initSubviews();
    window->resize(1100, 680);
    return window;
}

// The pane shows what the controller hands it, as in the main window.
inline void showRecordsIn(BMController& controller, BMDetailsView& pane)
{
    controller.attachmentCommands().setDetailInfoView(&pane);
    QObject::connect(&controller, &BMController::detailInfoRecordChanged, &pane,
                     [&pane](const std::shared_ptr<TVXRecord>& record, const QString&, const QImage&) {
                         if (record)
                             pane.showRecord(record);
                         else
                             pane.resetDetailInfo();
                     });
}

// Chooses the group in the group pop-up, as its action does; false when the
// pop-up does not list it.
inline bool chooseGroup(BMController& controller, const QString& groupUID)
{
    QComboBox* popup = controller.tables().mCategoriesPopup();
    const auto groups = controller.database()->caches().groupsForEditing();
    for (int i = 0; popup && i < groups.size(); ++i) {
        if (groups.at(i)->mGroupUID() != groupUID)
            continue;
        const int index = popup->findData(i);
        if (index < 0)
            return false;
        popup->setCurrentIndex(index);
        controller.tables().changeCategory(popup);
        return true;
    }
    return false;
}

// Switches to the view (kColumnViewTag, kListViewTag, kTreeViewTag), chooses
// the group of the first record and selects the records: every one in the
// list view, the first one in the column view (its type row, then its name)
// and in the tree view. False when a record is not shown there.
inline bool selectRecords(BMController& controller, const QStringList& recordUIDs, int view = kListViewTag)
{
    BMMainWindow* w = controller.windowSetup().mainWindowView();
    const auto first = recordUIDs.isEmpty() ? nullptr : controller.database()->caches().recordWithUID(recordUIDs.first());
    if (!w || !first || !first->mGroup())
        return false;
    controller.tables().changeView(view);
    if (!chooseGroup(controller, first->mGroup()->mGroupUID()))
        return false;

    if (view == kListViewTag) {
        const auto& records = controller.tables().listModel()->records();
        QItemSelection selection;
        for (const QString& uid : recordUIDs) {
            int row = -1;
            for (int r = 0; r < records.size() && row < 0; ++r)
                if (records.at(r)->mRecordUID() == uid)
                    row = r;
            if (row < 0)
                return false;
            const QModelIndex index = controller.tables().listModel()->index(row, 0);
            selection.select(index, index);
        }
        QItemSelectionModel* model = w->mListViewTypesTable->selectionModel();
        model->select(selection, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        model->setCurrentIndex(selection.indexes().first(), QItemSelectionModel::NoUpdate);
        return true;
    }

    if (view == kColumnViewTag) {
        const auto& types = controller.tables().typesModel()->types();
        int typeRow = -1;
        for (int r = 0; r < types.size() && typeRow < 0; ++r)
            if (first->mType() && types.at(r)->mTypeUID() == first->mType()->mTypeUID())
                typeRow = r;
        if (typeRow < 0)
            return false;
        w->mColumnViewTypesTable->selectRow(typeRow);
        const auto& names = controller.tables().namesModel()->records();
        for (int r = 0; r < names.size(); ++r)
            if (names.at(r)->mRecordUID() == first->mRecordUID()) {
                w->mColumnViewDescriptionTable->selectRow(r);
                return true;
            }
        return false;
    }

    const QModelIndex index = controller.tables().outlineModel()->indexOfRecord(first->mRecordUID());
    if (!index.isValid())
        return false;
    w->mTreeViewOutlineView->expand(index.parent());
    w->mTreeViewOutlineView->selectionModel()->setCurrentIndex(
        index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    return true;
}

} // namespace tvxtest
