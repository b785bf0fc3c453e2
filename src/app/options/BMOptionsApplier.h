#pragma once
// Applying the user's options to the main window, and the options window.

#include "app/AppState.h"
#include "store/StoreTypes.h"

#include <QObject>
#include <QString>
#include <cstdint>

class QAbstractItemView;

class BMController;
struct BMAppState;
class BMAttachmentCommands;
class BMLockControl;
class BMMainWindowSetup;
class BMPopUps;
class BMTables;

class BMOptionsApplier : public QObject {
    Q_OBJECT
public:
    explicit BMOptionsApplier(BMController& app);

    // Re-applies the user's options to the main window: colours, font and row
    // height, list columns, sorting, and the lock and clipboard timers.
    void optionsDidChange();
    // Calls optionsDidChange on every "Tolvan Preference Changed Notification".
    void observeOptionChanges();
    void stopObservingOptionChanges();
    void updateFontForTable(class QAbstractItemView* table);
    void updateTableColumn(uint64_t bit, const QString& identifier, int index);
    void listViewColumnsVisiblityChanged();
    void rearrangeTableColumns();
    // The options window, storing column settings for the list's selected type.
    class BMOptionsWindowController* optionsWindowController();

private:
    quint64 mOptionsObserver = 0;
    class BMOptionsWindowController* mOwnOptionsWindow = nullptr;

    // What this concern reads and calls.
    BMAppState& mState;
    TVXStoreCaches& mCaches;
    TVXEventLogAccess& mEventLog;
    TVXPreferences& mPreferences;
    BMAttachmentCommands& mAttachmentCommands;
    BMLockControl& mLockControl;
    BMMainWindowSetup& mWindowSetup;
    BMPopUps& mPopUps;
    BMTables& mTables;
};
