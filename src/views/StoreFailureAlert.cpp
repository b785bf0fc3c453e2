#include "views/StoreFailureAlert.h"

#include "platform/ui/AlertPanel.h"

#include <QCoreApplication>

namespace storealert {

QString messageReloadFirst()
{
    return QCoreApplication::translate("BMDetailsWindowController",
                                       "Operation failed. Please reload the database first.");
}

QString messageStoreBusy()
{
    return QCoreApplication::translate("BMDetailsWindowController", "The store is busy; try again in a moment.");
}

void reportStoreFailure(TVXResult code)
{
    if (code == kTVXDone || isReportedByErrorPath(code))
        return;
    BMRunAlertPanel(platform::standardAlertTitle(), code == kTVXStoreBusy ? messageStoreBusy() : messageReloadFirst(),
                    QCoreApplication::translate("BMDetailsWindowController", "OK"));
}

} // namespace storealert
