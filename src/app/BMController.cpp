#include "app/BMController.h"

#include "model/TVXRecord.h"
#include "store/TVXDataBase.h"

namespace {
BMController* gSharedController = nullptr;
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
    , mCaches(*mDatabase)
    , mPreferences(*mDatabase)
    , mPasswordHint(*mDatabase)
    , mEventLog(*mDatabase)
    , mIcons(*mDatabase)
    , mRecentLists(*mDatabase)
    , mAttachments(*mDatabase)
    , mAccountAdmin(*mDatabase)
    , mPersonal(*mDatabase)
    , mRecordWriter(*mDatabase)
    , mGroupTypeWriter(*mDatabase)
    , mMasterPassword(*mDatabase)
{
    // The object the application makes is the shared one.
    gSharedController = this;
    registerObservers();
}

bool BMController::storeConnected() const
{
    return mDatabase->connection() != nullptr;
}

BMController::~BMController()
{
    unregisterObservers();
    // The window's views read this controller's models and call it back.
    delete mMainWindow.data();
    if (gSharedController == this)
        gSharedController = nullptr;
}
