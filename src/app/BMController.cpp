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
    , mCaches(mDatabase->caches())
    , mPreferences(mDatabase->preferences())
    , mPasswordHint(mDatabase->passwordHint())
    , mEventLog(mDatabase->eventLog())
    , mIcons(mDatabase->icons())
    , mRecentLists(mDatabase->recentLists())
    , mAttachments(mDatabase->attachments())
    , mAccountAdmin(mDatabase->accountAdmin())
    , mPersonal(mDatabase->personal())
    , mRecordWriter(*mDatabase)
    , mGroupTypeWriter(*mDatabase)
    , mMasterPassword(mDatabase->masterPasswordChange())
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
