#include "store/TlsOptions.h"

#include <QFileInfo>

namespace tvxsql {

void addTlsOptions(sql::ConnectOptionsMap& options, const QString& caFile)
{
    if (caFile.isEmpty()) {
        // Asks for TLS and takes a plain connection from a server without it.
        options["sslEnforce"] = true;
        return;
    }
    options["sslCA"] = sql::SQLString(QFile::encodeName(caFile).toStdString());
    options["sslCAPath"] = sql::SQLString(kSystemCAFolder);
    // Refuses a server without TLS, and one whose certificate or host name does not verify.
    options["sslVerify"] = true;
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

QString tlsRefusalMessage(const QString& caFile, const QString& reason)
{
    if (const QString problem = caFileProblem(caFile); !problem.isEmpty())
        return problem;
    if (caFile.isEmpty())
        return QStringLiteral("The encrypted connection to the server failed (%1).").arg(reason);
    return QStringLiteral("The server was refused: it offers no encrypted connection, or its certificate does "
                          "not verify against the certificate authority file %1 and the system's authorities "
                          "(%2).")
        .arg(caFile, reason);
}

} // namespace tvxsql
