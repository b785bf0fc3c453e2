#include "store/SchemaText.h"

QStringList splitSqlScript(const char* script)
{
    QStringList statements;
    QString current;
    for (const QString& rawLine : QString::fromUtf8(script).split(QLatin1Char('\n'))) {
        const QString line = rawLine.trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1String("--")))
            continue;
        current += line + QLatin1Char('\n');
        if (line.endsWith(QLatin1Char(';'))) {
            current.chop(2); // ";\n"
            statements << current.trimmed();
            current.clear();
        }
    }
    if (!current.trimmed().isEmpty())
        statements << current.trimmed();
    return statements;
}
