// Log-in: connect, refuse an all-privileges account, select the store, check
// the master password and key the encrypters.
#include "store/schema/QueryConstants.h"
#include "store/session/StatementHelpers.h"
#include "store/TVXDataBase.h"
#include "store/session/TlsOptions.h"

#include <cppconn/driver.h>
#include <cppconn/exception.h>
#include <cppconn/prepared_statement.h>
#include <cppconn/resultset.h>
#include <cppconn/statement.h>
#include <mysql_connection.h>

#include <utility>

namespace {

// How long a log-in waits for an unreachable server before reporting it.
constexpr int kConnectTimeoutSeconds = 15;

} // namespace


std::unique_ptr<sql::Connection> TVXDataBase::connectToSServer(const QString& url,
                                                               const QString& account,
                                                               const QString& password,
                                                               const QString& caFile,
                                                               bool allowUnencrypted,
                                                               const QString& pinnedFingerprint,
                                                               QString* metFingerprint)
{
    sql::ConnectOptionsMap options;
    options["hostName"] = sql::SQLString(url.toStdString());
    options["userName"] = sql::SQLString(account.toStdString());
    options["password"] = sql::SQLString(password.toStdString());
    // Matched rather than changed rows: "no row changed" then means the row is
    // gone, not that the new values equalled the old ones.
    options["CLIENT_FOUND_ROWS"] = true;
    // The load sends its reads in one text (store/session/ReadAhead.h). Every
    // text the client builds from a name or value checks or escapes it first.
    options["CLIENT_MULTI_STATEMENTS"] = true;
    options["OPT_CHARSET_NAME"] = sql::SQLString("utf8mb4");
    options["OPT_CONNECT_TIMEOUT"] = kConnectTimeoutSeconds;
    // A frozen or vanished server reaches the lost-connection path instead of
    // holding a statement for ever; each wait counts, not a whole streamed read.
    options["OPT_READ_TIMEOUT"] = mReadWriteTimeoutSeconds.load();
    options["OPT_WRITE_TIMEOUT"] = mReadWriteTimeoutSeconds.load();
    std::unique_ptr<sql::Connection> connection = tvxsql::connectWithTls(
        options, {caFile, allowUnencrypted, pinnedFingerprint, false}, metFingerprint);
    // The session's settings in one statement. A row lock held elsewhere ends
    // the statement (1205, "the store is busy") well before the read timeout
    // would take it for a lost connection. A cluster node applies other
    // nodes' commits a moment later: its reads wait for them, or a reload
    // right after another client's write can miss it.
    const std::string lockWait =
        "SET SESSION innodb_lock_wait_timeout=" + std::to_string(lockWaitSeconds(mReadWriteTimeoutSeconds.load()));
    std::unique_ptr<sql::Statement> stmt(connection->createStatement());
    try {
        stmt->execute(lockWait + ", wsrep_sync_wait=IF(@@wsrep_on, 1, @@SESSION.wsrep_sync_wait)");
    } catch (const sql::SQLException& e) {
        if (e.getErrorCode() != kErrUnknownSystemVariable) // a server without cluster support
            throw;
        stmt->execute(lockWait);
    }
    return connection;
}


TVXResult TVXDataBase::confirmMasterPasswordRow(sql::Connection& connection, bool forChange)
{
    const std::optional<QString> keyed = mCiphers.keyedMasterPassword();
    if (!keyed)
        return kTVXDone;
    std::unique_ptr<sql::Statement> stmt(connection.createStatement());
    // The store locks a copy of the row that no reader of DATABASEINFOTABLE can
    // lock: a lock taken there holds up no save.
    std::unique_ptr<sql::ResultSet> rs(stmt->executeQuery(forChange ? "SELECT TVX_MASTER_PASSWORD(1)"
                                                                    : "SELECT TVX_MASTER_PASSWORD(0)"));
    QString stored; // as the log-in compares: no row is an empty password
    mKeyRow = KeyRow{true, false, {}};
    while (rs->next()) {
        stored = decryptDataString(tvxsql::blobColumn(*rs, 1));
        noteKeyRow(*rs, 1);
    }
    return stored == *keyed ? kTVXDone : kTVXMasterPasswordMismatch;
}

void TVXDataBase::noteKeyRow(sql::ResultSet& rs, int column)
{
    mKeyRow.known = true;
    mKeyRow.present = !rs.isNull(column);
    mKeyRow.cipher = mKeyRow.present ? tvxsql::blobColumn(rs, column) : QByteArray();
}

bool TVXDataBase::keyRowMatchesKey() const
{
    const std::optional<QString> keyed = mCiphers.keyedMasterPassword();
    if (!keyed)
        return true; // nothing to compare
    if (!mKeyRow.known)
        return false;
    return (mKeyRow.present ? decryptDataString(mKeyRow.cipher) : QString()) == *keyed;
}

void TVXDataBase::reportKeyRowChanged()
{
    (void)reportError(platform::Error{QStringLiteral("The master password was changed by another client"),
                                      kErrMasterPasswordChanged},
                      kTVXMasterPasswordMismatch);
}

void TVXDataBase::adoptConnection(std::unique_ptr<sql::Connection> connection)
{
    swapConnection(std::move(connection));
}

void TVXDataBase::swapConnection(std::unique_ptr<sql::Connection> connection)
{
    // What the last session's clicks left to write goes out on its own connection.
    if (mWriteBehind)
        mWriteBehind->flush();
    std::unique_ptr<sql::Connection> previous;
    std::map<const char*, std::unique_ptr<sql::PreparedStatement>> prepared;
    std::map<std::pair<const char*, int>, PreparedRows> preparedRows;
    {
        const auto guard = lockConnection();
        previous = std::exchange(mCPcon, std::move(connection));
        prepared.swap(mPrepared);
        preparedRows.swap(mPreparedRows);
        mReadAhead.forgetFetched();
        mKeyRow = {};
    }
    // Closing the old connection talks to its server: not under the guard.
    prepared.clear();
    preparedRows.clear();
    previous.reset();
}

bool TVXDataBase::hasAdminUserPrivileges(const QString& account)
{
    const auto guard = lockConnection(); // one thread at a time on the connection
    try {
        if (!mCPcon)
            return false;
        const tvxsql::Rows rs = mReadAhead.rowsFor(*mCPcon, kQueryPrivLikeRoot, account);
        return rs->next() && rs->getInt(1) >= 1;
    } catch (const sql::SQLException&) {
        // An account that may not read the server's account table passes.
        return false;
    }
}

void TVXDataBase::selectSchema(const QString& schema)
{
    const auto guard = lockConnection(); // one thread at a time on the connection
    if (!mCPcon)
        throw tvxsql::noConnection();
    mCPcon->setSchema(schema.toStdString());
}

QString TVXDataBase::retriveMasterPassword()
{
    const auto guard = lockConnection(); // one thread at a time on the connection
    if (!mCPcon)
        throw tvxsql::noConnection();
    const tvxsql::Rows rs = mReadAhead.rows(*mCPcon, kQuerySelectDatabaseInfoTable);
    QString stored; // null: no row
    mKeyRow = KeyRow{true, false, {}};
    while (rs->next()) {
        stored = decryptDataString(tvxsql::blobColumn(*rs, 2));
        noteKeyRow(*rs, 2);
    }
    return stored;
}

TVXResult TVXDataBase::checkMasterPassword(const QString& typed)
{
    const QString stored = retriveMasterPassword();
    if ((stored.isNull() ? QString() : stored) == typed)
        return kTVXDone;
    endClientThreadState();
    mConnectionErrCode.store(kTVXMasterPasswordMismatch);
    mIsConnectionComplete.store(true);
    storehooks::notifyConnectionComplete();
    return kTVXMasterPasswordMismatch;
}

QString TVXDataBase::checkForMasterPasswordMatch()
{
    try {
        return retriveMasterPassword();
    } catch (const sql::SQLException& e) {
        (void)reportDatabaseError(e);
        return QString();
    }
}

QString TVXDataBase::secureConnectionRefusal() const
{
    std::lock_guard lock(mDetailsMutex);
    return mSecureConnectionRefusal;
}

QString TVXDataBase::serverFingerprint() const
{
    std::lock_guard lock(mDetailsMutex);
    return mServerFingerprint;
}

// Connects (over TLS unless allowed otherwise), refuses an all-privileges account, selects the
// store, checks the master password and keys the encrypters.
TVXResult TVXDataBase::startConnectionToServer(const LoginRequest& request)
{
    mIsConnectionComplete.store(false);
    mConnectionErrCode.store(kTVXDone);

    const QString caFile = request.value(kLoginTlsCAFile);
    // A verified certificate names the server as typed, not the address it resolved to.
    const QString typedHost = request.value(kLoginServerAddress);
    const QString host = !caFile.isEmpty() && !typedHost.isEmpty() ? typedHost : request.value(kLoginIPAddress);
    const QString url = QStringLiteral("tcp://") + host + QLatin1Char(':') + request.value(kLoginPortNumber);
    {
        std::lock_guard lock(mDetailsMutex);
        mSecureConnectionRefusal.clear();
        mServerFingerprint.clear();
        mConnectionDetails.insert(kDetailServerAddress, request.value(kLoginServerAddress));
        mConnectionDetails.insert(kDetailMasterPassword, request.value(kLoginMasterPassword));
        mConnectionDetails.insert(kDetailPortNumber, request.value(kLoginPortNumber));
    }

    const QString account = request.value(kLoginUsername);
    QString met;
    try {
        auto connection = connectToSServer(url, account, request.value(kLoginHostPassword), caFile,
                                           request.value(kLoginAllowUnencrypted) == QLatin1String("1"),
                                           request.value(kLoginTlsFingerprint), &met);
        // The new connection replaces (and closes) the one of an earlier log-in,
        // never under a statement another thread is running.
        swapConnection(std::move(connection));
        const auto refuseAllPrivileges = [&] {
            if (hasAdminUserPrivileges(account))
                throw sql::SQLException("Invalid Username", "HY000", kErrAllPrivilegesAccount);
        };
        // The store first, so that the log-in's reads can go out together:
        // the master-password row, the account's user row (for
        // initUserDetails) and the all-privileges check, which a plain
        // account may not read and so comes last.
        try {
            selectSchema(QString::fromLatin1(kTolvanexSchema));
        } catch (const sql::SQLException&) {
            refuseAllPrivileges(); // that refusal answers before a missing store
            throw;
        }
        {
            const auto guard = lockConnection();
            mReadAhead.fetchAll(*mCPcon, {{kQuerySelectDatabaseInfoTable},
                                          {TVXStoreLoader::kQueryUserRowForName, account},
                                          {kQueryPrivLikeRoot, account}});
        }
        refuseAllPrivileges();
        mCiphers.createUserEncrypter();
        const QString typed = request.value(kLoginMasterPassword);
        if (checkMasterPassword(typed) == kTVXMasterPasswordMismatch) {
            swapConnection(nullptr); // a refused log-in keeps no connection
            return kTVXMasterPasswordMismatch;
        }
        // Always replaced: an empty password must not leave an earlier store's key in force.
        mCiphers.createEncrypter(typed);
    } catch (const sql::SQLException& e) {
        if (e.getErrorCode() == tvxsql::kErrServerNotTrusted) {
            mConnectionErrCode.store(kTVXServerNotTrusted);
        } else if (e.getErrorCode() == tvxsql::kErrTlsConnection) {
            std::lock_guard lock(mDetailsMutex);
            mSecureConnectionRefusal = tvxsql::tlsRefusalMessage(
                caFile, QString::fromUtf8(e.what()),
                QStringLiteral("To use a server without it on purpose, set AllowUnencryptedServer=true in the "
                               "client's settings."),
                QStringLiteral("To accept a new certificate on purpose, remove the server's entry from "
                               "TrustedServerCertificates in the client's settings and log in again: its new "
                               "fingerprint is then shown for you to check."));
            mConnectionErrCode.store(kTVXSecureConnectionRefused);
        } else {
            // A cluster node cut off from the others cannot serve a log-in: as an unreachable server.
            mConnectionErrCode.store(isNodeUnavailable(e) ? kTVXHostUnreachable : mapDBErrorCode(e.getErrorCode()));
        }
        swapConnection(nullptr);
    }
    {
        std::lock_guard lock(mDetailsMutex);
        mServerFingerprint = met;
    }

    endClientThreadState();
    mIsConnectionComplete.store(true);
    setReconnectionDone();
    storehooks::notifyConnectionComplete();
    return mConnectionErrCode.load();
}
