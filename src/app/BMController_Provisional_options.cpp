// provisional: stand-ins for what mainwin (main window, tables, selection)
// and appctl (idle timer, clipboard timer) build; deleted at merge.
#include "app/BMController.h"

#include "model/TVXUID.h"

#include <QAbstractItemView>
#include <QTableView>

// provisional: built by mainwin
QTableView* BMController::listViewTypesTable() const { return nullptr; }
QAbstractItemView* BMController::smartTypesTable() const { return nullptr; }
QAbstractItemView* BMController::columnViewTypesTable() const { return nullptr; }
QAbstractItemView* BMController::columnViewDescriptionTable() const { return nullptr; }
QAbstractItemView* BMController::treeViewOutlineView() const { return nullptr; }
bool BMController::isListViewSelected() const { return false; }
QString BMController::getSelectedTypeUID() { return kAllCategoriesUID; }

