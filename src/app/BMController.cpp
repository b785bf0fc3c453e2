#include "app/BMController.h"

#include "model/TVXRecord.h"
#include "store/TVXDataBase.h"

namespace {
BMController* gSharedController = nullptr;
}

BMStoreAccess::BMStoreAccess(TVXDataBase& database)
    : caches(database.caches())
    , preferences(database.preferences())
    , passwordHint(database.passwordHint())
    , eventLog(database.eventLog())
    , icons(database.icons())
    , recentLists(database.recentLists())
    , attachments(database.attachments())
    , accountAdmin(database.accountAdmin())
    , personal(database.personal())
    , recordWriter(database)
    , groupTypeWriter(database)
    , masterPassword(database.masterPasswordChange())
{
}

BMController* BMController::sharedApplicationController()
{
    if (!gSharedController)
        new BMController;
    return gSharedController;
}

BMController::BMController(TVXDataBase* database, QObject* parent)
    : QObject(parent)
    , mDatabase(database ? database : &TVXDataBase::sharedTVXDataBase())
    , mStore(*mDatabase)
    , mStartup(*this)
    , mTables(*this)
    , mLockControl(*this)
    , mPopUps(*this)
    , mRecordCommands(*this)
    , mAttachmentCommands(*this)
    , mImportExport(*this)
    , mOptionsApplier(*this)
    , mPasswordPanels(*this)
    , mWindowSetup(*this)
{
    // The object the application makes is the shared one.
    gSharedController = this;
    mState.mStoreConnected = [db = mDatabase] { return db->connection() != nullptr; };
    connect(&mTables, &BMTables::detailInfoRecordChanged, this, &BMController::detailInfoRecordChanged);
    connect(&mTables, &BMTables::shouldMaskChanged, this, &BMController::shouldMaskChanged);
    mStartup.registerObservers();
}

BMController::~BMController()
{
    mStartup.unregisterObservers();
    // The window's views read the concerns' models and call them back.
    delete mState.mMainWindow.data();
    if (gSharedController == this)
        gSharedController = nullptr;
}

void BMController::connectionISComplete() { mStartup.connectionISComplete(); }
void BMController::finishReloadingData() { mStartup.finishReloadingData(); }
void BMController::reloadFailed(int code) { mStartup.reloadFailed(code); }
void BMController::updateApplicationUIForCurrectPermissions() { mStartup.updateApplicationUIForCurrectPermissions(); }
void BMController::accountRefusedDuringReload(int code) { mStartup.accountRefusedDuringReload(code); }
void BMController::stopConnectionModelWindow() { mStartup.stopConnectionModelWindow(); }
bool BMController::isMainWindowMaximied() { return mStartup.isMainWindowMaximied(); }
bool BMController::fontFamilyExists(const QString& family) { return mStartup.fontFamilyExists(family); }
