#include "store/session/TlsOptions.h"

#include <cppconn/driver.h>
#include <cppconn/exception.h>
#include <cppconn/resultset.h>
#include <cppconn/statement.h>

#include <QFileInfo>
#include <QSslCertificate>
#include <QHostAddress>
#include <QSslSocket>
#include <QStringList>

#include <arpa/inet.h>
#include <QRegularExpression>

namespace tvxsql {

namespace {

// Client library's text when TLS was asked for and the greeting did not offer it.
constexpr char kLibraryNoTls[] = "the server does not support it";
constexpr char kPlainSession[] = "the server does not offer TLS: the session is not encrypted";
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

// Reads the server's greeting and asks it for TLS, as the client library
// does, without sending any account; false when the server offers no TLS.
bool askForTls(QSslSocket& socket)
{
    QByteArray greeting;
    while (greeting.size() < 4
           || greeting.size() < 4 + int(quint8(greeting[0]) | quint8(greeting[1]) << 8 | quint8(greeting[2]) << 16)) {
        if (!socket.waitForReadyRead(kProbeWaitMs))
            return false;
        greeting += socket.readAll();
    }
    const int versionEnd = greeting.indexOf('\0', 5);
    const int capabilities = versionEnd + 1 + 4 + 8 + 1;
    if (greeting.size() <= 4 || greeting[4] != 10 || versionEnd < 0 || capabilities + 2 > greeting.size())
        return false;
    if (!((quint8(greeting[capabilities]) | quint8(greeting[capabilities + 1]) << 8) & kClientSsl))
        return false;
    QByteArray request;
    appendLittleEndian(request, 32, 3);
    request.append(char(quint8(greeting[3]) + 1)); // the sequence number
    appendLittleEndian(request, kClientLongPassword | kClientProtocol41 | kClientSsl | kClientSecureConnection, 4);
    appendLittleEndian(request, 1u << 24, 4); // largest packet
    request.append(char(kUtf8mb4GeneralCi));
    request.append(QByteArray(23, '\0'));
    socket.write(request);
    return socket.waitForBytesWritten(kProbeWaitMs);
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

// When the server's certificate does not name the host: the reason, naming
// what it lacks and what it holds. Empty when it names the host, or the
// question cannot be answered.
QString missingNameReason(const QString& host, quint16 port)
{
    QSslSocket socket;
    socket.connectToHost(host, port);
    if (!socket.waitForConnected(kProbeWaitMs) || !askForTls(socket))
        return QString();
    // Only the certificate is wanted here: the verification already failed.
    socket.setPeerVerifyMode(QSslSocket::VerifyNone);
    socket.startClientEncryption();
    if (!socket.waitForEncrypted(kProbeWaitMs))
        return QString();
    const QStringList names = certificateNames(socket.peerCertificate());
    for (const QString& name : names)
        if (nameCovers(name, host))
            return QString();
    return QStringLiteral("the server's certificate does not name %1; it names %2")
        .arg(host, names.isEmpty() ? QStringLiteral("nothing") : names.join(QStringLiteral(", ")));
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

std::unique_ptr<sql::Connection> connectWithTls(sql::ConnectOptionsMap options, const TlsPolicy& policy)
{
    if (const QString problem = caFileProblem(policy.caFile); !problem.isEmpty())
        refuse(problem);
    sql::ConnectOptionsMap tls = options;
    addTlsOptions(tls, policy.caFile);
    std::unique_ptr<sql::Connection> connection;
    try {
        connection.reset(get_driver_instance()->connect(tls));
    } catch (const sql::SQLException& e) {
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
            // "tcp://host:port" taken apart by hand: a URL parser would rewrite the host as typed.
            QString host = QString::fromStdString(options["hostName"].get<sql::SQLString>()->asStdString());
            host.remove(QRegularExpression(QStringLiteral("^tcp://")));
            const qsizetype colon = host.lastIndexOf(QLatin1Char(':'));
            const quint16 port = colon > 0 ? host.mid(colon + 1).toUShort() : 3306;
            host = colon > 0 ? host.left(colon) : host;
            if (const QString missing = missingNameReason(host, port); !missing.isEmpty())
                refuse(missing);
            throw;
        }
    }
    // The library takes a plain session when the greeting offers no TLS and
    // no certificate is verified: refuse it before any statement of the store.
    if (!policy.allowUnencrypted && sessionCipher(*connection).isEmpty())
        refuse(QString::fromLatin1(kPlainSession));
    return connection;
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

QString tlsRefusalMessage(const QString& caFile, const QString& reason, const QString& allowHint)
{
    if (const QString problem = caFileProblem(caFile); !problem.isEmpty())
        return problem;
    if (isNoTlsReason(reason)) {
        QString message = QStringLiteral("The server was refused: it does not offer an encrypted connection (TLS).");
        if (!allowHint.isEmpty())
            message += QLatin1Char(' ') + allowHint;
        return message;
    }
    if (reason.startsWith(QLatin1String("the server's certificate does not name")))
        return QStringLiteral("The server was refused: %1.").arg(reason);
    if (caFile.isEmpty())
        return QStringLiteral("The encrypted connection to the server failed (%1).").arg(reason);
    return QStringLiteral("The server was refused: its certificate does not verify against the certificate "
                          "authority file %1 and the system's authorities (%2).")
        .arg(caFile, reason);
}

} // namespace tvxsql
