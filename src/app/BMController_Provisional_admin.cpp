// Stand-ins for functions of the main window, the detail pane and the group
// editor that the import and export commands call; the real ones replace these.
#include "app/BMController.h"

#include "model/BMGroup.h"
#include "model/TVXRecord.h"
#include "store/TVXDataBase.h"

QList<std::shared_ptr<TVXRecord>> BMController::recordsToExportForBackUP() { return {}; }
void BMController::deleteSelectedGroup() {}
