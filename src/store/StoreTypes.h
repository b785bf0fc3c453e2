#pragma once
// What callers of the store share without the database manager itself: the
// result codes, the log-in request and its keys, the notices the store posts,
// and the list and cache types its queries hand out.

#include "store/session/ResultCodes.h"

#include <QHash>
#include <QList>
#include <QString>

#include <memory>

class BMGroup;
class QImage;
class TVXDataBase;
class TVXRecord;
class TVXType;
class TVXUser_Admin;
struct TVXSortDescriptor;

// The parts of the manager a caller may be given instead of the whole of it
// (each in its own header; the manager holds or implements each of them).
class TVXAccountAdminAccess;
class TVXAttachmentStoreAccess;
class TVXEventLogAccess;
class TVXGroupTypeWriter;
class TVXIconsAccess;
class TVXMasterPasswordChange;
class TVXPasswordHint;
class TVXStoreSession;
class TVXPersonalAccess;
class TVXPreferences;
class TVXRecentListsAccess;
class TVXRecordWriter;
class TVXStoreCaches;

using TVXGroupCache = QHash<QString, std::shared_ptr<BMGroup>>;
using TVXTypeCache = QHash<QString, std::shared_ptr<TVXType>>;
using TVXRecordCache = QHash<QString, std::shared_ptr<TVXRecord>>;
using TVXUserCache = QHash<QString, std::shared_ptr<TVXUser_Admin>>;
using TVXIconCache = QHash<QString, QImage>;

using TVXRecordList = QList<std::shared_ptr<TVXRecord>>;
using TVXGroupList = QList<std::shared_ptr<BMGroup>>;
using TVXTypeList = QList<std::shared_ptr<TVXType>>;
using TVXUserList = QList<std::shared_ptr<TVXUser_Admin>>;

// The log-in request handed to startConnectionToServer(), under the keys below.
using TVXLoginRequest = QHash<QString, QString>;
inline const QString kLoginIPAddress = QStringLiteral("IPAddress");
inline const QString kLoginPortNumber = QStringLiteral("PortNumber");
inline const QString kLoginUsername = QStringLiteral("Username");
inline const QString kLoginHostPassword = QStringLiteral("HostPassword");
inline const QString kLoginMasterPassword = QStringLiteral("MasterPassword");
inline const QString kLoginSchema = QStringLiteral("Schema");
inline const QString kLoginServerAddress = QStringLiteral("Server Address");
// A certificate-authority file: the server must then verify against it (TLS).
inline const QString kLoginTlsCAFile = QStringLiteral("TLSCAFile");
// Without a CA file: the SHA-256 fingerprint trusted for this server and port.
inline const QString kLoginTlsFingerprint = QStringLiteral("TLSFingerprint");
// "1": a server that offers no TLS is taken all the same.
inline const QString kLoginAllowUnencrypted = QStringLiteral("AllowUnencryptedServer");

// Keys of the connection details kept from the last log-in.
inline const QString kDetailServerAddress = QStringLiteral("Server Address");
inline const QString kDetailPortNumber = QStringLiteral("Port Number");
inline const QString kDetailMasterPassword = QStringLiteral("Master Password");

// Notices posted on the main thread, with the platform::Error as object.
inline const QString kDBCommLostNotification = QStringLiteral("DB_COMM_LOST");
inline const QString kDBUserDeletedNotification = QStringLiteral("DB_USR_DEL");
// Another client changed the master password: this one must log in again.
inline const QString kDBMasterPasswordChangedNotification = QStringLiteral("DB_MPW_CHANGED");

// Keys the user-data encrypter (the stored master password and users'
// passwords). Only its first 16 bytes take part in the key.
extern const char kTolvanexApplicationKey[];
