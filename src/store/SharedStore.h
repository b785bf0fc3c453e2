#pragma once
// The application's one store, seen through the part a caller needs, so that
// views and windows that default to it need not include the whole manager.
// Each returns the same object as TVXDataBase::sharedTVXDataBase().

class TVXEventLogAccess;
class TVXGroupTypeWriter;
class TVXIconsAccess;
class TVXPasswordHint;
class TVXPersonalAccess;
class TVXPreferences;
class TVXRecentListsAccess;
class TVXRecordWriter;
class TVXStoreCaches;

namespace sharedstore {

TVXStoreCaches& caches();
TVXPreferences& preferences();
TVXPasswordHint& passwordHint();
TVXEventLogAccess& eventLog();
TVXIconsAccess& icons();
TVXRecentListsAccess& recentLists();
TVXRecordWriter& recordWriter();
TVXGroupTypeWriter& groupTypeWriter();
TVXPersonalAccess& personal();

} // namespace sharedstore
