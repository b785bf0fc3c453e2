#include "views/StoreFailureAlert.h"

#include "platform/ui/AlertPanel.h"

#include <QCoreApplication>

namespace storealert {

QString messageReloadFirst()
{
    return QCoreApplication::translate("BMDetailsWindowController",
                                       "Operation failed. Please reload the database first.");
}

void reportStoreFailure(TVXResult code)
{
    if (code == kTVXDone || isReportedByErrorPath(code))
        return;
    BMRunAlertPanel(platform::standardAlertTitle(), messageReloadFirst(),
                    QCoreApplication::translate("BMDetailsWindowController", "OK"));
}

} // namespace storealert
