// provisional: built by grouptype (record commands); only what the drops need.
#include "app/BMController.h"

#include "model/BMGroup.h"
#include "platform/ui/AlertPanel.h"
#include "store/TVXDataBase.h"

bool BMController::checkForRecordPermissionFor(uint16_t mask, const BMGroup* group)
{
    if (mDatabase->checkRecordPermission(mask, group))
        return true;
    BMRunAlertPanel(QString(), tr(" You don't have sufficient access permissions."), tr("OK"));
    return false;
}
