#pragma once
// TLS on every connection to the store's server. The server must offer TLS
// unless an unencrypted server is allowed on purpose. With a
// certificate-authority file named, its certificate and host name must also
// verify against the system's authorities plus that file; without one, the
// certificate must have the SHA-256 fingerprint pinned for the server (or be
// taken on purpose), and the session is bound to that very certificate.
// Only log-in methods that never send the password itself are used.
#include <cppconn/connection.h>

#include <QString>

#include <memory>

namespace tvxsql {

// The system's certificate authorities (Debian's ca-certificates, hashed).
inline constexpr char kSystemCAFolder[] = "/etc/ssl/certs";
// The client library's error for a refused or failed TLS handshake.
inline constexpr int kErrTlsConnection = 2026;
// Raised by connectWithTls: without an authority file or a pinned
// fingerprint, the server's certificate is not trusted yet (nothing was sent).
inline constexpr int kErrServerNotTrusted = 102;
// The client library's refusal of a log-in method it may not use.
inline constexpr int kErrAuthMethodNotAllowed = 5010;
// The log-in methods used: both prove the password without sending it.
inline constexpr char kAllowedAuthMethods[] = "mysql_native_password,client_ed25519";

struct TlsPolicy {
    QString caFile;                // empty: the certificate must match the pin
    bool allowUnencrypted = false; // a server without TLS is taken
    QString pinnedFingerprint;     // without a CA file: the SHA-256 the certificate must have
    bool trustUnpinned = false;    // without a CA file or pin: take the certificate met
};

// Adds the TLS options to a connection's options.
void addTlsOptions(sql::ConnectOptionsMap& options, const QString& caFile);
// Connects with the TLS options (options["hostName"] as "tcp://host:port")
// and refuses, by a kErrTlsConnection exception, a server that offered no TLS
// and a session that is not encrypted, unless the policy allows it; a
// certificate that differs from the pin; and a switch to a log-in method that
// would send the password. Without a CA file or pin (and not trusting
// unpinned), it raises kErrServerNotTrusted before any account is sent.
// metFingerprint receives the SHA-256 of the certificate the server presented
// (empty when none was seen).
std::unique_ptr<sql::Connection> connectWithTls(sql::ConnectOptionsMap options, const TlsPolicy& policy,
                                                QString* metFingerprint = nullptr);
// A SHA-256 fingerprint as shown: 32 upper-case hex pairs joined by colons.
// Takes any case, with or without colons or a "SHA256:" prefix; empty when the
// text is no SHA-256 fingerprint.
QString normalizedFingerprint(const QString& text);
// The session's TLS cipher; empty on a plain session.
QString sessionCipher(sql::Connection& connection);
// Why a named CA file cannot be used (empty when it can, or none is named).
QString caFileProblem(const QString& caFile);
// Whether a refusal's reason is a server without TLS (rather than a certificate).
bool isNoTlsReason(const QString& reason);
// The text shown when a connection was refused for its TLS: no TLS offered, a
// certificate that lacks the host's name, or one that does not verify.
// allowHint says how to take an unencrypted server on purpose.
// pinHint says how to accept a changed certificate on purpose.
QString tlsRefusalMessage(const QString& caFile, const QString& reason, const QString& allowHint = {},
                          const QString& pinHint = {});

} // namespace tvxsql
