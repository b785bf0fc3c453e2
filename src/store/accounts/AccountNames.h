#pragma once
// The server account names the store accepts, for checks made without the
// database manager.

#include <QString>

namespace tvxsql {

// Letters, digits, '_', '.', '-'; 1 to 16 characters.
bool isValidAccountName(const QString& name);

} // namespace tvxsql
