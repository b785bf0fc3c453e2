// The store's user accounts as the administrator sees them.
#include "model/BMGroup.h"
#include "store/accounts/AccountNames.h"
#include "store/schema/QueryConstants.h"
#include "store/session/StatementHelpers.h"
#include "store/TVXDataBase.h"

#include <cppconn/connection.h>
#include <cppconn/exception.h>
#include <cppconn/statement.h>

#include <QRegularExpression>

namespace {

bool isGrantPrivilegeList(const QString& privileges)
{
    // Only the lists the account code uses: plain privilege names, optionally with a column list.
    static const QRegularExpression pattern(
        QStringLiteral("^(\\s*(SELECT|INSERT|UPDATE|DELETE|CREATE)(\\([A-Z_]+\\))?\\s*,)+$"));
    return pattern.match(privileges).hasMatch();
}

} // namespace

bool tvxsql::isValidAccountName(const QString& name)
{
    // \z, not $: '$' also matches before a final line break.
    static const QRegularExpression pattern(QStringLiteral("\\A[A-Za-z0-9_.-]{1,16}\\z"));
    if (!pattern.match(name).hasMatch())
        return false;
    // Names the server keeps for itself, as the store's routines refuse them.
    const QString lower = name.toLower();
    static const QStringList reserved = {QStringLiteral("root"), QStringLiteral("public"), QStringLiteral("none"),
                                         QStringLiteral("current_user"), QStringLiteral("current_role"),
                                         QStringLiteral("tvx_definer")};
    return !reserved.contains(lower) && !lower.startsWith(QLatin1String("mysql."))
           && !lower.startsWith(QLatin1String("mariadb."));
}

void TVXDataBase::assignTablePrivilegesforTable(const QString& grantFormat, const QString& privileges,
                                                const QString& account)
{
    const auto guard = lockConnection(); // one thread at a time on the connection
    if (privileges.isEmpty())
        return;
    // Only well-formed names and privilege lists reach the server: the texts are
    // spliced into the statement, which cannot take them as parameters.
    if (!tvxsql::isValidAccountName(account) || !isGrantPrivilegeList(privileges))
        return;
    QString statement = grantFormat;
    statement.replace(statement.indexOf(QLatin1String("%@")), 2, privileges.chopped(1));
    const qsizetype second = statement.indexOf(QLatin1String("%@"));
    if (second < 0)
        return;
    statement.replace(second, 2, account);
    try {
        std::unique_ptr<sql::Statement> stmt(mCPcon->createStatement());
        stmt->execute(statement.toStdString());
    } catch (const sql::SQLException& e) {
        (void)reportDatabaseError(e);
    }
}

