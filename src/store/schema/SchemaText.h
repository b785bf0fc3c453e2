#pragma once
// The store's CREATE TABLE texts (server/schema.sql and server/user_info.sql)
// and its routines (server/routines.sql), compiled in so that the
// store-creation program needs no files beside it.
#include <QStringList>

extern const char* const kStoreSchemaSQL;
extern const char* const kUserInfoSchemaSQL;
extern const char* const kStoreRoutinesSQL;
// The write rules the server holds (server/rules.sql): functions and triggers.
extern const char* const kStoreRulesSQL;
// A record's add, edit and delete as one call each (server/writes.sql), after the rules.
extern const char* const kStoreWritesSQL;

// Splits a script into its statements (at ';' ending a line), dropping "--" comments.
QStringList splitSqlScript(const char* script);
// Splits a script whose statements end at the delimiter that "DELIMITER x"
// lines set (';' at first), as the mariadb client reads it; drops comment lines.
QStringList splitDelimitedScript(const QString& script);
