#include "store/accounts/StoreGrants.h"

#include <QFile>
#include <QRegularExpression>

QList<StoreGrant> parseStoreGrants(const QString& text, QString* problem)
{
    // Only names and privilege lists of these shapes reach a GRANT statement.
    static const QRegularExpression line(
        QStringLiteral("^(user|admin)\\s+((?:FUNCTION|PROCEDURE)\\s+)?(\\S+)\\s+(.+?)\\s*$"));
    static const QRegularExpression object(
        QStringLiteral("^(\\*\\.\\*|tolvanexdb\\.\\*|mysql\\.(user|user_info)|(tolvanexdb\\.)?[A-Z_]+)$"));
    static const QRegularExpression privilege(QStringLiteral("^[A-Z]+( [A-Z]+)?(\\([A-Z_]+(, ?[A-Z_]+)*\\))?$"));
    static const QLatin1String grantOption(" WITH GRANT OPTION");

    QList<StoreGrant> grants;
    const auto fail = [problem](const QString& reason) {
        if (problem)
            *problem = reason;
        return QList<StoreGrant>();
    };
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (int n = 0; n < lines.size(); ++n) {
        const QString trimmed = lines[n].trimmed();
        if (trimmed.isEmpty() || trimmed.startsWith(QLatin1Char('#')))
            continue;
        const auto match = line.match(trimmed);
        if (!match.hasMatch() || !object.match(match.captured(3)).hasMatch())
            return fail(QStringLiteral("grants line %1 is not of the form: role object privileges").arg(n + 1));
        StoreGrant grant;
        grant.administrator = match.captured(1) == QLatin1String("admin");
        grant.object = match.captured(3).contains(QLatin1Char('.')) ? match.captured(3)
                                                                    : QStringLiteral("tolvanexdb.") + match.captured(3);
        if (!match.captured(2).isEmpty())
            grant.object = match.captured(2).trimmed() + QLatin1Char(' ') + grant.object; // "FUNCTION tolvanexdb.X"
        grant.privileges = match.captured(4);
        if (grant.privileges.endsWith(grantOption)) {
            grant.withGrantOption = true;
            grant.privileges.chop(grantOption.size());
        }
        // Split at commas outside column lists.
        int depth = 0;
        QString current;
        QStringList parts;
        for (const QChar c : std::as_const(grant.privileges)) {
            if (c == QLatin1Char('('))
                ++depth;
            else if (c == QLatin1Char(')'))
                --depth;
            if (c == QLatin1Char(',') && depth == 0) {
                parts << current.trimmed();
                current.clear();
            } else {
                current += c;
            }
        }
        parts << current.trimmed();
        for (const QString& part : std::as_const(parts))
            if (depth != 0 || !privilege.match(part).hasMatch())
                return fail(QStringLiteral("grants line %1 names a privilege of an unknown form").arg(n + 1));
        grants << grant;
    }
    if (grants.isEmpty())
        return fail(QStringLiteral("the grants list is empty"));
    return grants;
}

const QList<StoreGrant>& storeGrants()
{
    static const QList<StoreGrant> grants = [] {
        QFile file(QStringLiteral(":/server/grants.txt"));
        if (!file.open(QIODevice::ReadOnly))
            return QList<StoreGrant>();
        return parseStoreGrants(QString::fromUtf8(file.readAll()));
    }();
    return grants;
}

QString storeGrantRoutineText()
{
    // The statements run inside the rights routine, whose variables
    // `account` (the quoted account) and `administrator` they use. Objects
    // and privileges passed the parser's patterns, so they hold no quotes.
    QString userPart;
    QString adminPart;
    for (const StoreGrant& grant : storeGrants()) {
        const QString statement =
            QStringLiteral("EXECUTE IMMEDIATE CONCAT('GRANT %1 ON %2 TO ', account%3);\n")
                .arg(grant.privileges, grant.object,
                     grant.withGrantOption ? QStringLiteral(", ' WITH GRANT OPTION'") : QString());
        if (grant.administrator)
            adminPart += QStringLiteral("    ") + statement;
        else
            userPart += QStringLiteral("  ") + statement;
    }
    if (userPart.isEmpty() || adminPart.isEmpty())
        return userPart;
    return userPart + QStringLiteral("  IF administrator THEN\n") + adminPart + QStringLiteral("  END IF;\n");
}
