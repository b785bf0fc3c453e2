#pragma once
// The rights of the store's server accounts (server/grants.txt, compiled in):
// what every account gets table by table, and what administrators get beside.
#include <QList>
#include <QString>
#include <QStringList>

struct StoreGrant {
    bool administrator = false; // an "admin" line: administrators only
    QString object;             // "tolvanexdb.TABLE", "tolvanexdb.*", "mysql.user_info", "FUNCTION tolvanexdb.F", ...
    QString privileges;         // as GRANT takes them, "WITH GRANT OPTION" apart
    bool withGrantOption = false;
};

// Reads a grants text; nullopt-like empty list with the reason when a line is malformed.
QList<StoreGrant> parseStoreGrants(const QString& text, QString* problem = nullptr);
// The compiled-in server/grants.txt.
const QList<StoreGrant>& storeGrants();
// The body of the store's rights routine: every account's grants, then inside
// "IF administrator" the administrators' (empty when the list is unreadable).
QString storeGrantRoutineText();
