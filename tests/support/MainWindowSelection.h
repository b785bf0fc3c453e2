#pragma once
// The main window of a signed-in controller, and records chosen in its views
// the way a user chooses them: the commands act on what the views have
// selected, so tests select there too.
#include "app/BMController.h"
#include "model/BMGroup.h"
#include "model/TVXRecord.h"
#include "model/TVXType.h"
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
    controller.setMShouldCreateDatabase(true);
    BMMainWindow* window = controller.createMainWindow();
    controller.initSubviews();
    window->resize(1100, 680);
    return window;
}

// The pane shows what the controller hands it, as in the main window.
inline void showRecordsIn(BMController& controller, BMDetailsView& pane)
{
    controller.setDetailInfoView(&pane);
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
bool chooseGroup(BMController& controller, const QString& groupUID);

// Switches to the view (kColumnViewTag, kListViewTag, kTreeViewTag), chooses
// the group of the first record and selects the records: every one in the
// list view, the first one in the column view (its type row, then its name)
// and in the tree view. False when a record is not shown there.
bool selectRecords(BMController& controller, const QStringList& recordUIDs, int view = kListViewTag);

} // namespace tvxtest
