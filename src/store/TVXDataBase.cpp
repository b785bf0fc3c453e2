// The manager itself: instance, state accessors, value enciphering and the
// error path shared by every reader and writer.
#include "store/TVXDataBase.h"
#include "store/SharedStore.h"

#include "crypto/DBEncrypter.h"
#include "model/PasswordGenerator.h"
#include "platform/core/ApplicationHooks.h"
#include "platform/core/MainThread.h"
#include "platform/core/NotificationCenter.h"
#include "store/accounts/AccountAdmin.h"
#include "store/attachments/AttachmentStore.h"
#include "store/eventlog/EventLogStore.h"
#include "store/accounts/HintStore.h"
#include "store/personal/IconStore.h"
#include "store/personal/PersonalStore.h"
#include "store/accounts/PreferencesStore.h"
#include "store/personal/RecentListsStore.h"
#include "store/writers/StaleCopies.h"
#include "store/session/StatementHelpers.h"

#include <cppconn/connection.h>
#include <cppconn/driver.h>
#include <cppconn/exception.h>
#include <cppconn/prepared_statement.h>
#include <cppconn/resultset.h>
#include <cppconn/statement.h>
#include <mysql.h>

#include <cstring>
#include <string.h> // explicit_bzero
#include <string_view>
#include <vector>

TVXDataBase& TVXDataBase::sharedTVXDataBase()
{
    static auto* instance = new TVXDataBase; // lives until the process ends
    return *instance;
}

TVXStoreCaches& sharedstore::caches() { return TVXDataBase::sharedTVXDataBase().caches(); }
TVXPreferences& sharedstore::preferences() { return TVXDataBase::sharedTVXDataBase().preferences(); }
TVXPasswordHint& sharedstore::passwordHint() { return TVXDataBase::sharedTVXDataBase().passwordHint(); }
TVXEventLogAccess& sharedstore::eventLog() { return TVXDataBase::sharedTVXDataBase().eventLog(); }
TVXIconsAccess& sharedstore::icons() { return TVXDataBase::sharedTVXDataBase().icons(); }
TVXRecordWriter& sharedstore::recordWriter() { return TVXDataBase::sharedTVXDataBase(); }
TVXGroupTypeWriter& sharedstore::groupTypeWriter() { return TVXDataBase::sharedTVXDataBase(); }
TVXPersonalAccess& sharedstore::personal() { return TVXDataBase::sharedTVXDataBase().personal(); }
TVXAccountAdminAccess& sharedstore::accountAdmin() { return TVXDataBase::sharedTVXDataBase().accountAdmin(); }

TVXDataBase::TVXDataBase()
    : mStaleCopies(std::make_unique<TVXStaleCopies>())
    , mRecentListsAccess(*this, mCaches)
    , mPreferences(*this, mRecentListsAccess)
    , mPasswordHint(*this)
    , mPersonalAccess(*this)
    , mAccountAdminAccess(*this, mPersonalAccess, mPreferences)
    , mAttachmentAccess(*this)
    , mEventLogAccess(*this, mCaches)
    , mIconsAccess(*this)
    , mMasterPassword(*this)
    , mMembership(*this, mCaches)
    , mLoader(*this)
    , mAttachmentWriter(*this)
{
    mConnectionMutex.setReleasedHandler([this](std::vector<platform::Error>& errors) {
        for (const platform::Error& error : errors)
            handOnError(error);
    });
    mWriteBehind = std::make_unique<TVXWriteBehind>([this] { endClientThreadState(); });
    // The driver's first use initialises the client library, which is not
    // safe to do from two threads at once; do it here, on the creating thread.
    get_driver_instance();
}

TVXDataBase::~TVXDataBase() = default;

sql::Connection& TVXDataBase::liveConnection() const
{
    if (!mCPcon)
        throw tvxsql::noConnection();
    return *mCPcon;
}

TVXResult TVXDataBase::runStatement(const std::function<TVXResult()>& work, TVXResult otherFailure)
{
    try {
        return work();
    } catch (const sql::SQLException& e) {
        return reportDatabaseError(e);
    } catch (const std::exception&) {
        return otherFailure;
    }
}

QString TVXDataBase::connectedServerAddress() const
{
    std::lock_guard lock(mDetailsMutex);
    return mConnectionDetails.value(kDetailServerAddress);
}

QString TVXDataBase::connectingPortAddress() const
{
    std::lock_guard lock(mDetailsMutex);
    return mConnectionDetails.value(kDetailPortNumber);
}

QString TVXDataBase::masterPassword() const
{
    std::lock_guard lock(mDetailsMutex);
    return mConnectionDetails.value(kDetailMasterPassword);
}

// --- value enciphering ---------------------------------------------------------

QByteArray TVXDataBase::encryptString(const QString& text) const { return mCiphers.encryptString(text); }
QString TVXDataBase::decryptString(const QByteArray& stored) const { return mCiphers.decryptString(stored); }
QByteArray TVXDataBase::encryptDataString(const QString& text) const { return mCiphers.encryptDataString(text); }
QString TVXDataBase::decryptDataString(const QByteArray& stored) const { return mCiphers.decryptDataString(stored); }

QString TVXDataBase::generatePasswordWith(uint16_t flags, uint16_t length) const
{
    return generatePassword(flags, length);
}

// --- error path --------------------------------------------------------------

TVXResult TVXDataBase::mapDBErrorCode(int serverErrorNumber)
{
    if (serverErrorNumber == kErrAccessDenied)
        return kTVXAccessDenied;
    if (serverErrorNumber == kErrAllPrivilegesAccount)
        return kTVXAllPrivileges;
    if (serverErrorNumber == kErrPermissionRefused)
        return kTVXPermissionRefused;
    if (serverErrorNumber == kErrUserBlocked)
        return kTVXAccountBlocked;
    // This client library reports a refused TCP connection as 2002.
    if (serverErrorNumber == kErrConnectionRefused || serverErrorNumber == kErrConnectHostFailed
        || serverErrorNumber == kErrUnknownHost)
        return kTVXHostUnreachable;
    if ((serverErrorNumber >= 2000 && serverErrorNumber <= 2050) || isNodeNotReady(serverErrorNumber))
        return kTVXClientError;
    return kTVXStatementFailed;
}

void TVXDataBase::handleDatabaseError(const platform::Error& error)
{
    const int number = error.code;
    if ((number >= 2000 && number <= 2050) || isNodeNotReady(number)) {
        if (!mConnectionLostHandlerIsOn.exchange(true))
            platform::NotificationCenter::defaultCenter().post(kDBCommLostNotification, error);
    } else if (number == kErrTableAccessDenied || number == kErrColumnAccessDenied) {
        if (!mConnectionLostHandlerIsOn.exchange(true))
            platform::NotificationCenter::defaultCenter().post(kDBUserDeletedNotification, error);
    } else if (number == kErrMasterPasswordChanged) {
        if (!mConnectionLostHandlerIsOn.exchange(true))
            platform::NotificationCenter::defaultCenter().post(kDBMasterPasswordChangedNotification, error);
    }
}

bool TVXDataBase::isNodeUnavailable(const sql::SQLException& e)
{
    if (isNodeNotReady(e.getErrorCode()))
        return true;
    if (e.getErrorCode() != kErrLockWaitTimeout)
        return false;
    // A cluster node cut off from the others ends a read's wait for the
    // cluster as a lock wait timeout; the node then says it is not ready.
    try {
        const auto guard = lockConnection();
        if (!mCPcon)
            return false;
        std::unique_ptr<sql::Statement> stmt(mCPcon->createStatement());
        // A lone server built with cluster support says it is not ready too.
        std::unique_ptr<sql::ResultSet> on(stmt->executeQuery("SHOW VARIABLES LIKE 'wsrep_on'"));
        if (!on->next() || on->getString(2) != "ON")
            return false;
        std::unique_ptr<sql::ResultSet> rs(stmt->executeQuery("SHOW STATUS LIKE 'wsrep_ready'"));
        return rs->next() && rs->getString(2) == "OFF";
    } catch (const sql::SQLException&) {
        return false;
    }
}

int TVXDataBase::serverErrorNumber(const sql::SQLException& e)
{
    return isNodeUnavailable(e) ? kErrNodeNotReady : e.getErrorCode();
}

TVXResult TVXDataBase::reportDatabaseError(const sql::SQLException& e, TVXResult code)
{
    const int number = serverErrorNumber(e);
    // A lock another session holds: the connection is fine, the write can wait.
    if (number == kErrLockWaitTimeout && code == kTVXStatementFailed)
        code = kTVXStoreBusy;
    // A write the store's rules refused is the user's to hear of, not a stale copy.
    if (code == kTVXStatementFailed && e.getErrorCode() == kErrPermissionRefused)
        code = kTVXPermissionRefused;
    return reportError(platform::Error{QString::fromUtf8(e.what()), number}, code);
}

TVXResult TVXDataBase::reportError(const platform::Error& error, TVXResult code)
{
    if (deferErrorToBatchEnd(error))
        return code;
    // Whoever holds the guard may be what the main thread waits for.
    if (mConnectionMutex.heldByThisThread()) {
        mConnectionMutex.keepUntilReleased(error);
        return code;
    }
    handOnError(error);
    return code;
}

void TVXDataBase::handOnError(const platform::Error& error)
{
    // A save from the window shows its errors with its answer.
    if (collectsForSave(error))
        return;
    // A write behind the window reports without waiting: the main thread may be
    // waiting for that writer to finish.
    if (TVXWriteBehind::isWriterThread())
        platform::performOnMainThread([this, error] { handleDatabaseError(error); });
    else
        platform::performOnMainThreadAndWait([this, &error] { handleDatabaseError(error); });
}

// --- calls towards the application -----------------------------------------

void storehooks::notifyConnectionComplete()
{
    platform::performOnMainThreadAndWait([] {
        if (auto* hooks = platform::applicationHooks())
            hooks->connectionISComplete();
    });
}

void TVXDataBase::endClientThreadState() const
{
    // Only workers end their per-thread state; the main thread keeps using it.
    if (!platform::isMainThread())
        mysql_thread_end();
}
