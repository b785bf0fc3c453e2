#include "store/session/TlsOptions.h"

#include <cppconn/driver.h>
#include <cppconn/exception.h>
#include <cppconn/resultset.h>
#include <cppconn/statement.h>

#include <QCryptographicHash>
#include <QFileInfo>
#include <QHostAddress>
#include <QRegularExpression>
#include <QSslCertificate>
#include <QSslSocket>
#include <QStringList>

#include <arpa/inet.h>
#include <sys/mman.h>
#include <unistd.h>

#include <optional>

namespace tvxsql {

namespace {

// Client library's text when TLS was asked for and the greeting did not offer it.
constexpr char kLibraryNoTls[] = "the server does not support it";
constexpr char kPlainSession[] = "the server does not offer TLS: the session is not encrypted";
constexpr char kChangedCertificate[] = "the server's certificate has changed";
constexpr char kUncheckedCertificate[] = "the server's certificate could not be read to check it";
constexpr char kRefusedMethod[] = "a log-in method was refused";
// How long the certificate probe waits at each step.
constexpr int kProbeWaitMs = 10000;

// Protocol capability bits of the greeting and of the TLS request.
constexpr quint32 kClientLongPassword = 0x1;
constexpr quint32 kClientProtocol41 = 0x200;
constexpr quint32 kClientSsl = 0x800;
constexpr quint32 kClientSecureConnection = 0x8000;
constexpr quint8 kUtf8mb4GeneralCi = 45;

void appendLittleEndian(QByteArray& bytes, quint32 value, int size)
{
    for (int i = 0; i < size; ++i)
        bytes.append(char((value >> (8 * i)) & 0xff));
}

enum class TlsAsked { Asked, NotOffered, NoGreeting, ServerError };

// Reads the server's greeting and asks it for TLS, as the client library
// does, without sending any account.
TlsAsked askForTls(QSslSocket& socket)
{
    QByteArray greeting;
    while (greeting.size() < 4
           || greeting.size() < 4 + int(quint8(greeting[0]) | quint8(greeting[1]) << 8 | quint8(greeting[2]) << 16)) {
        if (!socket.waitForReadyRead(kProbeWaitMs))
            return TlsAsked::NoGreeting;
        greeting += socket.readAll();
    }
    if (greeting.size() > 4 && quint8(greeting[4]) == 0xff) // an error packet: too many connections, a blocked host
        return TlsAsked::ServerError;
    const int versionEnd = greeting.indexOf('\0', 5);
    const int capabilities = versionEnd + 1 + 4 + 8 + 1;
    if (greeting.size() <= 4 || greeting[4] != 10 || versionEnd < 0 || capabilities + 2 > greeting.size())
        return TlsAsked::NoGreeting;
    if (!((quint8(greeting[capabilities]) | quint8(greeting[capabilities + 1]) << 8) & kClientSsl))
        return TlsAsked::NotOffered;
    QByteArray request;
    appendLittleEndian(request, 32, 3);
    request.append(char(quint8(greeting[3]) + 1)); // the sequence number
    appendLittleEndian(request, kClientLongPassword | kClientProtocol41 | kClientSsl | kClientSecureConnection, 4);
    appendLittleEndian(request, 1u << 24, 4); // largest packet
    request.append(char(kUtf8mb4GeneralCi));
    request.append(QByteArray(23, '\0'));
    socket.write(request);
    return socket.waitForBytesWritten(kProbeWaitMs) ? TlsAsked::Asked : TlsAsked::NoGreeting;
}

// Whether the text is an IPv4 or IPv6 address as written in full (not a
// shortened form such as 127.1, which is a name to the certificate check).
bool isAddressLiteral(const QString& host)
{
    unsigned char bytes[16];
    const QByteArray text = host.toLatin1();
    return ::inet_pton(AF_INET, text.constData(), bytes) == 1 || ::inet_pton(AF_INET6, text.constData(), bytes) == 1;
}

// The names a certificate holds: its DNS and IP alternative names, or else its common name.
QStringList certificateNames(const QSslCertificate& certificate)
{
    QStringList names;
    const auto alternatives = certificate.subjectAlternativeNames();
    for (auto it = alternatives.cbegin(); it != alternatives.cend(); ++it)
        if (it.key() == QSsl::DnsEntry || it.key() == QSsl::IpAddressEntry)
            names << it.value();
    if (names.isEmpty())
        names = certificate.subjectInfo(QSslCertificate::CommonName);
    return names;
}

// Whether the certificate name covers the host as the client library checks
// it: an address literal against the address names, any other text against
// the DNS names (a "*." name covers one label).
bool nameCovers(const QString& name, const QString& host)
{
    if (isAddressLiteral(host))
        return isAddressLiteral(name) && QHostAddress(name) == QHostAddress(host);
    if (name.startsWith(QLatin1String("*."))) {
        const qsizetype dot = host.indexOf(QLatin1Char('.'));
        return dot > 0 && host.mid(dot + 1).compare(name.mid(2), Qt::CaseInsensitive) == 0;
    }
    return name.compare(host, Qt::CaseInsensitive) == 0;
}

// What a probe met at the server: no connection (or the server's own
// refusal), no usable answer, a greeting without TLS, or a certificate.
struct Probe {
    enum Kind { Unreachable, Unanswered, NoTls, Certificate } kind = Unanswered;
    QSslCertificate certificate = QSslCertificate();
};

// Asks the server for TLS without sending any account and reads its certificate.
Probe probeCertificate(const QString& host, quint16 port)
{
    QSslSocket socket;
    socket.connectToHost(host, port);
    if (!socket.waitForConnected(kProbeWaitMs))
        return Probe{Probe::Unreachable};
    switch (askForTls(socket)) {
    case TlsAsked::Asked:
        break;
    case TlsAsked::NotOffered:
        return Probe{Probe::NoTls};
    case TlsAsked::ServerError:
        return Probe{Probe::Unreachable}; // the connect reports the server's own error
    case TlsAsked::NoGreeting:
        return Probe{};
    }
    // Only the certificate is wanted here: the caller checks it.
    socket.setPeerVerifyMode(QSslSocket::VerifyNone);
    socket.startClientEncryption();
    if (!socket.waitForEncrypted(kProbeWaitMs))
        return Probe{};
    return Probe{Probe::Certificate, socket.peerCertificate()};
}

QString colonHex(const QByteArray& digest) { return QString::fromLatin1(digest.toHex(':').toUpper()); }

// When the server's certificate does not name the host: the reason, naming
// what it lacks and what it holds. Empty when it names the host, or the
// question cannot be answered.
QString missingNameReason(const QString& host, quint16 port)
{
    const Probe probe = probeCertificate(host, port);
    if (probe.kind != Probe::Certificate)
        return QString();
    const QStringList names = certificateNames(probe.certificate);
    for (const QString& name : names)
        if (nameCovers(name, host))
            return QString();
    return QStringLiteral("the server's certificate does not name %1; it names %2")
        .arg(host, names.isEmpty() ? QStringLiteral("nothing") : names.join(QStringLiteral(", ")));
}

// "tcp://host:port" taken apart by hand: a URL parser would rewrite the host as typed.
std::pair<QString, quint16> hostAndPort(sql::ConnectOptionsMap& options)
{
    QString host = QString::fromStdString(options["hostName"].get<sql::SQLString>()->asStdString());
    host.remove(QRegularExpression(QStringLiteral("^tcp://")));
    const qsizetype colon = host.lastIndexOf(QLatin1Char(':'));
    const quint16 port = colon > 0 ? host.mid(colon + 1).toUShort() : 3306;
    return {colon > 0 ? host.left(colon) : host, port};
}

// Client-library options that Connector/C++ has no name for, handed over as
// an option file that lives in memory only, for the length of one connect.
class MemoryOptionFile {
public:
    explicit MemoryOptionFile(const QByteArray& text)
    {
        mFd = ::memfd_create("tvx-client-options", MFD_CLOEXEC);
        if (mFd >= 0 && ::write(mFd, text.constData(), size_t(text.size())) != text.size()) {
            ::close(mFd);
            mFd = -1;
        }
    }
    ~MemoryOptionFile()
    {
        if (mFd >= 0)
            ::close(mFd);
    }
    MemoryOptionFile(const MemoryOptionFile&) = delete;
    MemoryOptionFile& operator=(const MemoryOptionFile&) = delete;
    // The library reads it by name: without /proc it would quietly read nothing.
    bool ok() const { return mFd >= 0 && QFileInfo::exists(QString::fromStdString(path())); }
    std::string path() const { return "/proc/self/fd/" + std::to_string(mFd); }

private:
    int mFd = -1;
};

// Why a log-in method was refused. The client library names the method the
// server asked for in its message, but after a switch of method it names
// garbage: a name is only repeated when it is a method's name.
QString refusedMethodReason(const QString& libraryMessage)
{
    static const QStringList kKnownMethods = {
        QStringLiteral("mysql_clear_password"), QStringLiteral("dialog"),         QStringLiteral("mysql_old_password"),
        QStringLiteral("sha256_password"),      QStringLiteral("caching_sha2_password"),
        QStringLiteral("auth_gssapi_client"),   QStringLiteral("parsec"),         QStringLiteral("client_ed25519"),
        QStringLiteral("mysql_native_password"),
    };
    const QString named = QRegularExpression(QStringLiteral("'([^']*)'")).match(libraryMessage).captured(1);
    const QString method = kKnownMethods.contains(named) ? QStringLiteral("the log-in method %1").arg(named)
                                                         : QStringLiteral("another log-in method");
    return QStringLiteral("%1: the server asked for %2, which may send the password itself; only %3 are used, "
                          "and no password was sent")
        .arg(QLatin1String(kRefusedMethod), method, QString::fromLatin1(kAllowedAuthMethods).replace(',', QStringLiteral(" and ")));
}

[[noreturn]] void refuse(const QString& reason)
{
    throw sql::SQLException(reason.toStdString(), "HY000", kErrTlsConnection);
}

} // namespace

void addTlsOptions(sql::ConnectOptionsMap& options, const QString& caFile)
{
    if (caFile.isEmpty()) {
        // Asks for TLS; the library would still take a server without it,
        // which connectWithTls refuses.
        options["sslEnforce"] = true;
        return;
    }
    options["sslCA"] = sql::SQLString(QFile::encodeName(caFile).toStdString());
    options["sslCAPath"] = sql::SQLString(kSystemCAFolder);
    // Refuses a server without TLS, and one whose certificate or host name does not verify.
    options["sslVerify"] = true;
}

std::unique_ptr<sql::Connection> connectWithTls(sql::ConnectOptionsMap options, const TlsPolicy& policy,
                                                QString* metFingerprint)
{
    if (metFingerprint)
        metFingerprint->clear();
    if (const QString problem = caFileProblem(policy.caFile); !problem.isEmpty())
        refuse(problem);
    const auto [host, port] = hostAndPort(options);
    // Without an authority the certificate is checked against the pin here,
    // and the session below is bound to the very certificate checked (the
    // client library compares its SHA-1 during the handshake).
    QByteArray clientOptions = QByteArrayLiteral("[client]\nrestricted-auth=") + kAllowedAuthMethods + '\n';
    bool bound = false;
    if (policy.caFile.isEmpty()) {
        const Probe probe = probeCertificate(host, port);
        if (probe.kind == Probe::NoTls && !policy.allowUnencrypted)
            refuse(QString::fromLatin1(kPlainSession));
        if (probe.kind == Probe::Certificate) {
            const QString met = colonHex(probe.certificate.digest(QCryptographicHash::Sha256));
            if (metFingerprint)
                *metFingerprint = met;
            const QString pinned = normalizedFingerprint(policy.pinnedFingerprint);
            if (pinned.isEmpty() && !policy.trustUnpinned)
                throw sql::SQLException(("the server's certificate is not trusted yet: " + met).toStdString(), "HY000",
                                        kErrServerNotTrusted);
            if (!pinned.isEmpty() && pinned != met)
                refuse(QStringLiteral("%1: it was %2, it is now %3").arg(QLatin1String(kChangedCertificate), pinned, met));
            clientOptions += "ssl-fp=" + colonHex(probe.certificate.digest(QCryptographicHash::Sha1)).toLatin1() + '\n';
            bound = true;
        }
        // A server that answered but whose certificate could not be read gets
        // no account; an unreachable one is reported by the connect below.
        if (probe.kind == Probe::Unanswered)
            refuse(QString::fromLatin1(kUncheckedCertificate));
    }
    const MemoryOptionFile optionFile(clientOptions);
    if (!optionFile.ok())
        refuse(QStringLiteral("the client's connection options could not be prepared"));
    options["readDefaultFile"] = sql::SQLString(optionFile.path());
    sql::ConnectOptionsMap tls = options;
    addTlsOptions(tls, policy.caFile);
    std::unique_ptr<sql::Connection> connection;
    try {
        connection.reset(get_driver_instance()->connect(tls));
    } catch (const sql::SQLException& e) {
        if (e.getErrorCode() == kErrAuthMethodNotAllowed)
            refuse(refusedMethodReason(QString::fromUtf8(e.what())));
        if (e.getErrorCode() != kErrTlsConnection)
            throw;
        const QString reason = QString::fromUtf8(e.what());
        if (isNoTlsReason(reason)) {
            if (!policy.allowUnencrypted)
                throw;
            // Refused before any account was sent: plain, as allowed.
            options["sslEnforce"] = true;
            connection.reset(get_driver_instance()->connect(options));
        } else {
            if (!policy.caFile.isEmpty())
                if (const QString missing = missingNameReason(host, port); !missing.isEmpty())
                    refuse(missing);
            throw;
        }
    }
    // The library takes a plain session when the greeting offers no TLS and
    // no certificate is verified: refuse it before any statement of the store.
    const QString cipher = sessionCipher(*connection);
    if (!policy.allowUnencrypted && cipher.isEmpty())
        refuse(QString::fromLatin1(kPlainSession));
    // An encrypted session whose certificate was neither verified nor bound to the pin.
    if (!cipher.isEmpty() && policy.caFile.isEmpty() && !bound)
        refuse(QString::fromLatin1(kUncheckedCertificate));
    return connection;
}

QString normalizedFingerprint(const QString& text)
{
    QString hex = text.trimmed();
    hex.remove(QRegularExpression(QStringLiteral("^sha-?256:?"), QRegularExpression::CaseInsensitiveOption));
    hex.remove(QLatin1Char(':'));
    if (!QRegularExpression(QStringLiteral("^[0-9A-Fa-f]{64}$")).match(hex).hasMatch())
        return QString();
    return colonHex(QByteArray::fromHex(hex.toLatin1()));
}

QString sessionCipher(sql::Connection& connection)
{
    std::unique_ptr<sql::Statement> stmt(connection.createStatement());
    std::unique_ptr<sql::ResultSet> rs(stmt->executeQuery("SHOW STATUS LIKE 'Ssl_cipher'"));
    return rs->next() ? QString::fromStdString(rs->getString(2).asStdString()) : QString();
}

QString caFileProblem(const QString& caFile)
{
    if (caFile.isEmpty())
        return QString();
    const QFileInfo info(caFile);
    if (!info.isFile() || !info.isReadable())
        return QStringLiteral("The certificate authority file %1 cannot be read.").arg(caFile);
    return QString();
}

bool isNoTlsReason(const QString& reason)
{
    return reason.contains(QLatin1String(kLibraryNoTls), Qt::CaseInsensitive)
        || reason.contains(QLatin1String(kPlainSession));
}

QString tlsRefusalMessage(const QString& caFile, const QString& reason, const QString& allowHint,
                          const QString& pinHint)
{
    if (const QString problem = caFileProblem(caFile); !problem.isEmpty())
        return problem;
    if (isNoTlsReason(reason)) {
        QString message = QStringLiteral("The server was refused: it does not offer an encrypted connection (TLS).");
        if (!allowHint.isEmpty())
            message += QLatin1Char(' ') + allowHint;
        return message;
    }
    if (reason.startsWith(QLatin1String("the server's certificate does not name"))
        || reason.startsWith(QLatin1String(kRefusedMethod)) || reason.startsWith(QLatin1String(kUncheckedCertificate)))
        return QStringLiteral("The server was refused: %1.").arg(reason);
    if (reason.startsWith(QLatin1String(kChangedCertificate))) {
        // "...: it was OLD, it is now NEW"
        const QRegularExpressionMatch both =
            QRegularExpression(QStringLiteral("it was ([0-9A-F:]+), it is now ([0-9A-F:]+)")).match(reason);
        QString message = QStringLiteral("The server was refused: its certificate is not the one trusted for it. "
                                         "Trusted SHA-256 fingerprint: %1. The server now presents: %2. Someone "
                                         "may be between you and the server; ask its administrator whether the "
                                         "certificate was replaced.")
                              .arg(both.captured(1), both.captured(2));
        if (!pinHint.isEmpty())
            message += QLatin1Char(' ') + pinHint;
        return message;
    }
    if (caFile.isEmpty() && reason.contains(QLatin1String("Fingerprint verification"), Qt::CaseInsensitive))
        return QStringLiteral("The server was refused: the certificate it presented for the session is not the one "
                              "checked for it a moment before (someone may be between you and the server).");
    if (caFile.isEmpty())
        return QStringLiteral("The encrypted connection to the server failed (%1).").arg(reason);
    return QStringLiteral("The server was refused: its certificate does not verify against the certificate "
                          "authority file %1 and the system's authorities (%2).")
        .arg(caFile, reason);
}

} // namespace tvxsql
