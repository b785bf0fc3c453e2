#pragma once
// Running statements with the manager's error path, for the store's sources.
#include "store/ResultCodes.h"

#include <cppconn/exception.h>

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

} // namespace tvxsql
