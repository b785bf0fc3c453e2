#include "views/StoreFailureAlert.h"

#include "platform/ui/AlertPanel.h"

#include <QCoreApplication>

namespace storealert {

QString messageReloadFirst()
{
    return QCoreApplication::translate("BMDetailsWindowController",
                                       "Operation failed. Please reload the database first.");
}

QString messagePermissionRefused()
{
    return QCoreApplication::translate("BMDetailsWindowController", "You don't have sufficient access permissions.");
}

void reportStoreFailure(TVXResult code)
{
    if (code == kTVXDone || isReportedByErrorPath(code))
        return;
    if (code == kTVXPermissionRefused) {
        BMRunAlertPanel(platform::standardAlertTitle(), messagePermissionRefused(),
                        QCoreApplication::translate("BMDetailsWindowController", "OK"));
        return;
    }
    BMRunAlertPanel(platform::standardAlertTitle(), messageReloadFirst(),
                    QCoreApplication::translate("BMDetailsWindowController", "OK"));
}

} // namespace storealert
