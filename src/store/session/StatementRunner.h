#pragma once
// Running statements with the manager's error path, for the store's sources.
#include "store/session/ResultCodes.h"

#include "store/session/StatementHelpers.h"

#include <cppconn/exception.h>
#include <cppconn/prepared_statement.h>
#include <cppconn/resultset.h>

#include <memory>
#include <string>

namespace tvxsql {

// Statements whose server error takes the manager's error path (any other
// exception passes on): 0, or the error path's code, returned and also put
// in *code when given. `database` is the manager; a template parameter so that
// this header does without its definition.
template <class Database, class Work>
TVXResult runReporting(Database& database, TVXResult* code, Work&& work)
{
    TVXResult result = kTVXDone;
    try {
        work();
    } catch (const sql::SQLException& e) {
        result = database.reportDatabaseError(e);
    }
    if (code)
        *code = result;
    return result;
}

// Whether the query finds a row, its parameters set by `bind`; false, after
// the error path, when it cannot be asked (no connection among them).
template <class Database, class Bind>
bool findsRow(Database& database, const std::string& query, Bind&& bind)
{
    try {
        if (!database.connection())
            throw noConnection();
        std::unique_ptr<sql::PreparedStatement> stmt(database.connection()->prepareStatement(query));
        bind(*stmt);
        std::unique_ptr<sql::ResultSet> rs(stmt->executeQuery());
        return rs->next();
    } catch (const sql::SQLException& e) {
        (void)database.reportDatabaseError(e);
        return false;
    }
}

} // namespace tvxsql
