#pragma once
// The one alert for a store write that failed: a store busy with another
// session's lock asks for a moment; a stale copy, or a failure the error path
// has not shown, asks the user to reload. The windows that write,
// the details pane and the account window use it.
#include "store/session/ResultCodes.h"

#include <QString>

namespace storealert {

// "Operation failed. Please reload the database first."
QString messageReloadFirst();
// "The store is busy; try again in a moment."
QString messageStoreBusy();
// "You don't have sufficient access permissions.": the server refused the write.
QString messagePermissionRefused();
// Shows the busy message for 15, the permission message for 16, the reload
// message for result 8 and any other failure the error path has not shown;
// nothing for 0.
void reportStoreFailure(TVXResult code);

// The failure is shown as the reload message (8, and failures the error path has not shown).
bool asksForReload(TVXResult code);

// While one is alive, such a failure is not shown here: the window that made it
// shows the reload message itself, with the reload at hand.
class ReloadOfferedByCaller {
public:
    explicit ReloadOfferedByCaller(bool offered = true);
    ~ReloadOfferedByCaller();
    ReloadOfferedByCaller(const ReloadOfferedByCaller&) = delete;
    ReloadOfferedByCaller& operator=(const ReloadOfferedByCaller&) = delete;

private:
    bool mOffered;
};

} // namespace storealert
