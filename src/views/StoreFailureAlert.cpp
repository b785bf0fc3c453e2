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

QString messagePermissionRefused()
{
    return QCoreApplication::translate("BMDetailsWindowController", "You don't have sufficient access permissions.");
}

void reportStoreFailure(TVXResult code)
{
    if (code == kTVXDone || isReportedByErrorPath(code))
        return;
    QString message = messageReloadFirst();
    if (code == kTVXStoreBusy)
        message = messageStoreBusy();
    else if (code == kTVXPermissionRefused)
        message = messagePermissionRefused();
    BMRunAlertPanel(platform::standardAlertTitle(), message,
                    QCoreApplication::translate("BMDetailsWindowController", "OK"));
}

} // namespace storealert
