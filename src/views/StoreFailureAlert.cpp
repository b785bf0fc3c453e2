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

bool asksForReload(TVXResult code)
{
    return code != kTVXDone && !isReportedByErrorPath(code) && code != kTVXStoreBusy && code != kTVXPermissionRefused;
}

namespace {
int reloadOffers = 0; // main thread only, as every alert
}

ReloadOfferedByCaller::ReloadOfferedByCaller(bool offered) : mOffered(offered)
{
    if (mOffered)
        ++reloadOffers;
}

ReloadOfferedByCaller::~ReloadOfferedByCaller()
{
    if (mOffered)
        --reloadOffers;
}

void reportStoreFailure(TVXResult code)
{
    if (code == kTVXDone || isReportedByErrorPath(code))
        return;
    if (asksForReload(code) && reloadOffers > 0)
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
