#pragma once
// TLS on every connection to the store's server. The server must offer TLS
// unless an unencrypted server is allowed on purpose. With a
// certificate-authority file named, its certificate and host name must also
// verify against the system's authorities plus that file; without one, the
// certificate is taken unverified.
#include <cppconn/connection.h>

#include <QString>

#include <memory>

namespace tvxsql {

// The system's certificate authorities (Debian's ca-certificates, hashed).
inline constexpr char kSystemCAFolder[] = "/etc/ssl/certs";
// The client library's error for a refused or failed TLS handshake.
inline constexpr int kErrTlsConnection = 2026;

struct TlsPolicy {
    QString caFile;                // empty: TLS required, certificate not verified
    bool allowUnencrypted = false; // a server without TLS is taken
};

// Adds the TLS options to a connection's options.
void addTlsOptions(sql::ConnectOptionsMap& options, const QString& caFile);
// Connects with the TLS options (options["hostName"] as "tcp://host:port")
// and refuses, by a kErrTlsConnection exception, a server that offered no TLS
// and a session that is not encrypted, unless the policy allows it.
std::unique_ptr<sql::Connection> connectWithTls(sql::ConnectOptionsMap options, const TlsPolicy& policy);
// The session's TLS cipher; empty on a plain session.
QString sessionCipher(sql::Connection& connection);
// Why a named CA file cannot be used (empty when it can, or none is named).
QString caFileProblem(const QString& caFile);
// Whether a refusal's reason is a server without TLS (rather than a certificate).
bool isNoTlsReason(const QString& reason);
// The text shown when a connection was refused for its TLS: no TLS offered, a
// certificate that lacks the host's name, or one that does not verify.
// allowHint says how to take an unencrypted server on purpose.
QString tlsRefusalMessage(const QString& caFile, const QString& reason, const QString& allowHint = {});

} // namespace tvxsql
