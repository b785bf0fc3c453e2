#pragma once
// The database manager: the one connection to the store's server, the field
// encrypters, the in-memory caches and every read and write of the store.
// One class; its operations are spread over one source file per concern.

#include "platform/core/Error.h"
#include "store/ResultCodes.h"

#include <QByteArray>
#include <QHash>
#include <QString>

#include <atomic>
#include <istream>
#include <memory>
#include <mutex>

namespace sql {
class Connection;
class Driver;
class ResultSet;
class SQLException;
class Statement;
} // namespace sql

class CDBEncrypter;
class TVXUser;

// Keys of the log-in request handed to startConnectionToServer().
inline const QString kLoginIPAddress = QStringLiteral("IPAddress");
inline const QString kLoginPortNumber = QStringLiteral("PortNumber");
inline const QString kLoginUsername = QStringLiteral("Username");
inline const QString kLoginHostPassword = QStringLiteral("HostPassword");
inline const QString kLoginMasterPassword = QStringLiteral("MasterPassword");
inline const QString kLoginSchema = QStringLiteral("Schema");
inline const QString kLoginServerAddress = QStringLiteral("Server Address");

// Keys of the connection details kept from the last log-in.
inline const QString kDetailServerAddress = QStringLiteral("Server Address");
inline const QString kDetailPortNumber = QStringLiteral("Port Number");
inline const QString kDetailMasterPassword = QStringLiteral("Master Password");

// Notices posted on the main thread, with the platform::Error as object.
inline const QString kDBCommLostNotification = QStringLiteral("DB_COMM_LOST");
inline const QString kDBUserDeletedNotification = QStringLiteral("DB_USR_DEL");

// Keys the user-data encrypter (the stored master password and users'
// passwords). Only its first 16 bytes take part in the key.
extern const char kTolvanexApplicationKey[];

class TVXDataBase {
public:
    using LoginRequest = QHash<QString, QString>;

    // The instance the application uses; made on first use, never destroyed.
    static TVXDataBase& sharedTVXDataBase();

    TVXDataBase();
    ~TVXDataBase();
    TVXDataBase(const TVXDataBase&) = delete;
    TVXDataBase& operator=(const TVXDataBase&) = delete;

    // --- state -------------------------------------------------------------
    // The signed-in user: made with the manager, filled at log-in; lives as long as it.
    const std::shared_ptr<TVXUser>& mCurrentUser() const { return m_currentUser; }
    QString connectedServerAddress() const;
    QString connectingPortAddress() const;
    QString masterPassword() const;
    bool isLoadingComplete() const { return mIsLoadingComplete.load(); }
    bool isConnectionComplete() const { return mIsConnectionComplete.load(); }
    int connectionErrorCode() const { return mConnectionErrCode.load(); }
    bool isConnectionLostHandlerOn() const { return mConnectionLostHandlerIsOn.load(); }
    sql::Connection* connection() const { return mCPcon.get(); }

    // --- log-in --------------------------------------------------------------
    // The log-in worker: connects, refuses an all-privileges account, selects
    // the store, checks the master password and keys the encrypters. Runs on
    // the calling thread (the log-in panel starts it on a worker) and tells the
    // application through connectionISComplete on the main thread.
    int startConnectionToServer(const LoginRequest& request);
    // Library exceptions pass to the caller.
    std::unique_ptr<sql::Connection> connectToSServer(const QString& url, const QString& account,
                                                      const QString& password);
    bool hasAdminUserPrivileges(const QString& account);
    void selectSchema(const QString& schema);
    void createUserEncrypter();
    // An empty password leaves values stored as their plain bytes.
    void createEncrypter(const QString& masterPassword);
    // The stored master password; a null string when there is no row.
    QString retriveMasterPassword();
    int checkMasterPassword(const QString& typed);
    // The stored master password for the master-password panel; null on failure.
    QString checkForMasterPasswordMatch();
    static int mapDBErrorCode(int serverErrorNumber);
    // The error path; always on the main thread.
    void handleDatabaseError(const platform::Error& error);
    void setReconnectionDone() { mConnectionLostHandlerIsOn.store(false); }
    void createDefaultSchema();
    void setupDataBase() {}

    // Calls towards the application, performed on the main thread.
    void finishReloadingData();
    void stopConnectionModelWindow();
    void checkConnectionCallback(int code);

    // --- value enciphering ---------------------------------------------------
    // Field encrypter (master password); without one the plain UTF-8 bytes.
    QByteArray encryptString(const QString& text) const;
    QString getDecryptedString(std::istream& blob) const;
    QString decryptString(const QByteArray& stored) const;
    // User-data encrypter (application key).
    QByteArray encryptDataString(const QString& text) const;
    QString getDecryptedStringInfo(std::istream& blob) const;
    QString decryptDataString(const QByteArray& stored) const;

    bool hasFieldEncrypter() const;

    // The error tail of every statement: hands the error to the main thread's
    // handler, waits, and returns `code`.
    int reportDatabaseError(const sql::SQLException& e, int code = kTVXStatementFailed);

private:
    void endClientThreadState() const;
    void notifyConnectionComplete();
    std::shared_ptr<const CDBEncrypter> fieldEncrypter() const;
    std::shared_ptr<const CDBEncrypter> userDataEncrypter() const;

    std::shared_ptr<TVXUser> m_currentUser;
    std::unique_ptr<sql::Connection> mCPcon;

    mutable std::mutex mEncrypterMutex;
    std::shared_ptr<const CDBEncrypter> mEncrypter;
    std::shared_ptr<const CDBEncrypter> mUserDataEncrypter;

    std::atomic<bool> mReadRecords{false};
    std::atomic<bool> mIsDataReloaded{false};
    std::atomic<bool> mIsLoadingComplete{false};
    std::atomic<bool> mIsConnectionComplete{false};
    std::atomic<int> mConnectionErrCode{0};
    std::atomic<bool> mConnectionLostHandlerIsOn{false};

    mutable std::mutex mDetailsMutex;
    QHash<QString, QString> mConnectionDetails;
};
