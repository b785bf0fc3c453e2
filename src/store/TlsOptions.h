#pragma once
// TLS on every connection to the store's server. With a certificate-authority
// file named, the server must offer TLS and its certificate and host name must
// verify against the system's authorities plus that file; without one, TLS is
// used whenever the server offers it.
#include <cppconn/connection.h>

#include <QString>

namespace tvxsql {

// The system's certificate authorities (Debian's ca-certificates, hashed).
inline constexpr char kSystemCAFolder[] = "/etc/ssl/certs";
// The client library's error for a refused or failed TLS handshake.
inline constexpr int kErrTlsConnection = 2026;

// Adds the TLS options to a connection's options.
void addTlsOptions(sql::ConnectOptionsMap& options, const QString& caFile);
// Why a named CA file cannot be used (empty when it can, or none is named).
QString caFileProblem(const QString& caFile);
// The text shown when a connection with a named CA file was refused.
QString tlsRefusalMessage(const QString& caFile, const QString& reason);

} // namespace tvxsql
