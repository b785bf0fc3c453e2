// Stand-ins for functions other concerns build (the lead removes this file
// at merge). They keep the attachment, print and web log-in commands usable
// on their own: the "selection" is mSelectedTableRecord when it is cached.
#include "app/BMController.h"

#include "model/BMGroup.h"
#include "model/TVXRecord.h"
#include "model/TVXUser.h"
#include "platform/ui/AlertPanel.h"
#include "store/TVXDataBase.h"
#include "views/BMDetailsView.h"

namespace {
QString refusal()
{
    return BMController::tr(" You don't have sufficient access permissions.");
}
} // namespace

std::shared_ptr<TVXRecord> BMController::itemPropertiesForTableViewSelectedRow()
{
    if (!mSelectedTableRecord || !mDatabase->recordWithUID(mSelectedTableRecord->mRecordUID()))
        return nullptr;
    return mSelectedTableRecord;
}

QList<std::shared_ptr<TVXRecord>> BMController::indexSetForExporting(bool)
{
    if (auto record = itemPropertiesForTableViewSelectedRow())
        return {record};
    return {};
}

std::shared_ptr<BMGroup> BMController::selectedGroup()
{
    auto record = itemPropertiesForTableViewSelectedRow();
    return record ? record->mGroup() : nullptr;
}

int BMController::selectedViewTag() const
{
    return 1;
}

const BMListPrintSource* BMController::listPrintSource()
{
    return nullptr;
}

void BMController::setSelectedTableRecord(std::shared_ptr<TVXRecord> record)
{
    mSelectedTableRecord = std::move(record);
}

void BMController::updateTables() {}
void BMController::validateUIControls() {}
void BMController::initTypesUIControl() {}

void BMController::updateDetailInfoViewWithRecord(const std::shared_ptr<TVXRecord>& record)
{
    if (mDetailInfoView)
        mDetailInfoView->showRecord(record);
}

bool BMController::checkForRecordPermissionFor(uint16_t mask, const BMGroup* group)
{
    if (mDatabase->checkRecordPermission(mask, group))
        return true;
    BMRunAlertPanel(QString(), refusal(), tr("OK"));
    return false;
}

bool BMController::checkForDataPermissionFor(uint16_t mask)
{
    const auto& user = mDatabase->mCurrentUser();
    if (user && (user->mDataPermissionsBit() & mask) != 0)
        return true;
    BMRunAlertPanel(tr("Tolvanex Enterprise Alert!"), refusal(), QString());
    return false;
}
