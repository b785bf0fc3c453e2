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

// 38 characters; only the first 16 key the cipher, so they must never change:
// every stored master password and user password depends on them.
const char kTolvanexApplicationKey[] = "TolvanexVaultKey-7Q2mW9xK4pL8sN3vR6tZ0";
static_assert(sizeof(kTolvanexApplicationKey) - 1 == 38);

namespace {

// What a reader of a NUL-ended text sees of a deciphered buffer.
QString textUpToNul(const QByteArray& bytes)
{
    const qsizetype nul = bytes.indexOf('\0');
    return QString::fromUtf8(nul < 0 ? bytes : bytes.left(nul));
}

QByteArray readWholeStream(std::istream& in)
{
    in.clear();
    in.seekg(0, std::ios::end);
    const std::streamoff length = in.tellg();
    if (length < 1)
        return {};
    in.seekg(0, std::ios::beg);
    QByteArray bytes(static_cast<qsizetype>(length), '\0');
    in.read(bytes.data(), length);
    bytes.resize(static_cast<qsizetype>(in.gcount()));
    return bytes;
}

} // namespace

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

// --- encrypters --------------------------------------------------------------

std::shared_ptr<const CDBEncrypter> TVXDataBase::fieldEncrypter() const
{
    std::lock_guard lock(mEncrypterMutex);
    return mEncrypter;
}

std::shared_ptr<const CDBEncrypter> TVXDataBase::userDataEncrypter() const
{
    std::lock_guard lock(mEncrypterMutex);
    return mUserDataEncrypter;
}

bool TVXDataBase::hasFieldEncrypter() const { return fieldEncrypter() != nullptr; }

void TVXDataBase::createUserEncrypter()
{
    auto encrypter = std::make_shared<const CDBEncrypter>(kTolvanexApplicationKey);
    std::lock_guard lock(mEncrypterMutex);
    mUserDataEncrypter = std::move(encrypter);
}

void TVXDataBase::createEncrypter(const QString& masterPassword)
{
    std::shared_ptr<const CDBEncrypter> encrypter;
    if (!masterPassword.isEmpty())
        encrypter = std::make_shared<const CDBEncrypter>(masterPassword.toUtf8().constData());
    std::lock_guard lock(mEncrypterMutex);
    mEncrypter = std::move(encrypter);
    mKeyedMasterPassword = masterPassword;
}

QByteArray TVXDataBase::encryptString(const QString& text) const
{
    const QByteArray plain = text.toUtf8();
    const auto encrypter = fieldEncrypter();
    return encrypter ? encrypter->encryptBytes(plain) : plain;
}

QString TVXDataBase::decryptWith(const CDBEncrypter* encrypter, const QByteArray& stored)
{
    if (stored.isEmpty())
        return QStringLiteral("");
    constexpr qsizetype kBlock = 16;
    constexpr qsizetype kOnStack = 1024;
    if (!encrypter || stored.size() % kBlock != 0 || !encrypter->IsKeyInit() || stored.size() > kOnStack)
        return textUpToNul(encrypter ? encrypter->decryptBytes(stored) : stored);
    // Short values (nearly all) are deciphered on the stack: the text is the
    // one string made, and the plain bytes are wiped at once.
    char plain[kOnStack];
    const auto size = static_cast<size_t>(stored.size());
    QString text;
    try {
        encrypter->DecryptECB(stored.constData(), plain, size);
        const void* nul = std::memchr(plain, '\0', size);
        text = QString::fromUtf8(QByteArrayView(plain, nul ? static_cast<const char*>(nul) - plain : stored.size()));
    } catch (...) {
        text = textUpToNul(QByteArray());
    }
    explicit_bzero(plain, size);
    return text;
}

QString TVXDataBase::decryptString(const QByteArray& stored) const
{
    return decryptWith(fieldEncrypter().get(), stored);
}

QString TVXDataBase::getDecryptedString(std::istream& blob) const
{
    return decryptString(readWholeStream(blob));
}

QByteArray TVXDataBase::encryptDataString(const QString& text) const
{
    const QByteArray plain = text.toUtf8();
    const auto encrypter = userDataEncrypter();
    return encrypter ? encrypter->encryptBytes(plain) : plain;
}

QString TVXDataBase::decryptDataString(const QByteArray& stored) const
{
    if (stored.isEmpty())
        return QStringLiteral("");
    const auto encrypter = userDataEncrypter();
    return textUpToNul(encrypter ? encrypter->decryptBytes(stored) : stored);
}

QString TVXDataBase::getDecryptedStringInfo(std::istream& blob) const
{
    return decryptDataString(readWholeStream(blob));
}

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
    // A write behind the window reports without waiting: the main thread may be
    // waiting for that writer to finish.
    if (TVXWriteBehind::isWriterThread())
        platform::performOnMainThread([this, error] { handleDatabaseError(error); });
    else
        platform::performOnMainThreadAndWait([this, &error] { handleDatabaseError(error); });
}

// --- calls towards the application -----------------------------------------

void TVXDataBase::notifyConnectionComplete()
{
    platform::performOnMainThreadAndWait([] {
        if (auto* hooks = platform::applicationHooks())
            hooks->connectionISComplete();
    });
}

void TVXDataBase::finishReloadingData()
{
    platform::performOnMainThreadAndWait([] {
        if (auto* hooks = platform::applicationHooks())
            hooks->finishReloadingData();
    });
}

void TVXDataBase::stopConnectionModelWindow()
{
    platform::performOnMainThreadAndWait([] {
        if (auto* hooks = platform::applicationHooks())
            hooks->stopConnectionModelWindow();
    });
}

void TVXDataBase::checkConnectionCallback(TVXResult code)
{
    platform::performOnMainThreadAndWait([code] {
        if (auto* hooks = platform::applicationHooks())
            hooks->checkConnectionCallback(resultNumber(code));
    });
}

void TVXDataBase::endClientThreadState() const
{
    // Only workers end their per-thread state; the main thread keeps using it.
    if (!platform::isMainThread())
        mysql_thread_end();
}
