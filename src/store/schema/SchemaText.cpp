#include "store/schema/SchemaText.h"

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

QStringList splitDelimitedScript(const QString& script)
{
    QStringList statements;
    QString current;
    QString delimiter = QStringLiteral(";");
    for (const QString& rawLine : script.split(QLatin1Char('\n'))) {
        const QString line = rawLine.trimmed();
        if (line.startsWith(QLatin1String("DELIMITER "), Qt::CaseInsensitive)) {
            delimiter = line.mid(10).trimmed();
            continue;
        }
        if (line.isEmpty() || line.startsWith(QLatin1String("--")))
            continue;
        current += rawLine + QLatin1Char('\n');
        if (line.endsWith(delimiter)) {
            current = current.trimmed();
            current.chop(delimiter.size());
            statements << current.trimmed();
            current.clear();
        }
    }
    if (!current.trimmed().isEmpty())
        statements << current.trimmed();
    return statements;
}
