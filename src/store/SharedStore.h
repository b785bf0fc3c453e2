#pragma once
// The application's one store, seen through the part a caller needs, so that
// views and windows that default to it need not include the whole manager.
// Each returns the same object as TVXDataBase::sharedTVXDataBase().

#include "store/StoreTypes.h"

namespace sharedstore {

TVXStoreCaches& caches();
TVXPreferences& preferences();
TVXPasswordHint& passwordHint();
TVXEventLogAccess& eventLog();
TVXIconsAccess& icons();
TVXRecordWriter& recordWriter();
TVXGroupTypeWriter& groupTypeWriter();
TVXPersonalAccess& personal();
TVXAccountAdminAccess& accountAdmin();

} // namespace sharedstore
