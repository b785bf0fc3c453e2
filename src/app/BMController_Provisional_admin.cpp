// Stand-ins for functions of the main window, the detail pane and the group
// editor that the import and export commands call; the real ones replace these.
#include "app/BMController.h"

#include "model/BMGroup.h"
#include "model/TVXRecord.h"
#include "store/TVXDataBase.h"

std::shared_ptr<BMGroup> BMController::selectedGroup() const
{
    if (auto group = database()->groupWithUID(mGroupFilterSelectedUID))
        return group;
    const auto groups = database()->groupsForEditing(false);
    return groups.isEmpty() ? nullptr : groups.constFirst();
}

QList<std::shared_ptr<TVXRecord>> BMController::indexSetForExporting(bool listed) const
{
    if (listed)
        return database()->itemsOfGroup(selectedGroup().get(), QString());
    if (mSelectedTableRecord && database()->recordWithUID(mSelectedTableRecord->mRecordUID()))
        return {mSelectedTableRecord};
    return {};
}

void BMController::updateGroupUIControl() {}
void BMController::initTypesUIControl() {}
void BMController::updateTables() {}
QList<std::shared_ptr<TVXRecord>> BMController::recordsToExportForBackUP() { return {}; }
void BMController::deleteSelectedGroup() {}
