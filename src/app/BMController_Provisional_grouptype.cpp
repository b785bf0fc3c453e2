// Stand-ins for what the record commands call in other concerns of the
// controller, until those are built: each does nothing, or answers "none".
#include "app/BMController.h"

#include <QAbstractButton>
#include <QAction>

#include "model/BMGroup.h"
#include "model/TVXRecord.h"
#include "model/TVXUser.h"

// main window, tables, pop-ups and menus
void BMController::changeCategory(QObject*) {}
int BMController::selectedViewTag() const { return 1; }
QList<std::shared_ptr<TVXRecord>> BMController::recordsSelectedForDeletion() { return {}; }
bool BMController::toggleSelectedTreeTypeRow() { return false; }
void BMController::selectAllRecordRows() {}
void BMController::reloadSmartTypesTable() {}
void BMController::selectCategoriesPopupIndex(int) {}
QString BMController::categoriesPopupTitle() const { return {}; }
void BMController::selectCategoriesPopupTitle(const QString&) {}
void BMController::selectTypesPopupIndex(int) {}
QAction* BMController::viewMenuItemWithTag(int) const { return nullptr; }
QAbstractButton* BMController::unmaskButton() const { return nullptr; }
bool BMController::recordListFirstSortDescriptor(TVXSortDescriptor*) const { return false; }

// record details sheet
std::shared_ptr<TVXRecord> BMController::orderFrontDetailsWindowWithInfo(const std::shared_ptr<TVXRecord>&, int&)
{
    return nullptr;
}

// detail pane
void BMController::resetDetailInfo() {}
void BMController::setDetailPaneShouldMask(bool) {}

// backup, user accounts, options, event log
void BMController::displayUserList() {}
void BMController::showOptionsWindow() {}
void BMController::showEventLogViewer() {}
