#pragma once
// Small helpers around the database API shared by the manager's sources.
#include <QByteArray>
#include <QString>
#include <QStringList>

#include "crypto/DataBuf.h"
#include "model/StringAdditions.h"
#include "store/schema/ColumnLimits.h"

#include "store/session/ResultCodes.h"

#include <cppconn/connection.h>
#include <cppconn/exception.h>
#include <cppconn/prepared_statement.h>
#include <cppconn/resultset.h>

#include <algorithm>
#include <istream>
#include <memory>
#include <string>

namespace tvxsql {

// What a statement meets when there is no connection: a lost connection's server error.
inline sql::SQLException noConnection() { return sql::SQLException("Invalid Connection", "HY000", kErrServerLost); }

// The rows a query of one parameter, a key such as an identifier, finds.
inline std::unique_ptr<sql::ResultSet> rowsFor(sql::Connection& connection, const char* query, const QString& key)
{
    std::unique_ptr<sql::PreparedStatement> stmt(connection.prepareStatement(query));
    stmt->setString(1, key.toStdString());
    return std::unique_ptr<sql::ResultSet>(stmt->executeQuery());
}

// Runs a write of one parameter, a key; the number of rows it matched.
inline int updateRowsFor(sql::Connection& connection, const char* query, const QString& key)
{
    std::unique_ptr<sql::PreparedStatement> stmt(connection.prepareStatement(query));
    stmt->setString(1, key.toStdString());
    return stmt->executeUpdate();
}

// Whether a text reads back as it was written; writers refuse one that would not.
inline bool readsBackAsWritten(const QString& text) { return isStorableText(text); }

// The raw bytes of a BLOB or text column (by position from 1); empty for NULL.
inline QByteArray blobColumn(sql::ResultSet& rs, int column)
{
    if (rs.isNull(column))
        return {};
    const sql::SQLString value = rs.getString(column);
    return QByteArray(value.c_str(), static_cast<qsizetype>(value.length()));
}

inline QString textColumn(sql::ResultSet& rs, int column)
{
    if (rs.isNull(column))
        return QStringLiteral("");
    return QString::fromStdString(rs.getString(column).asStdString());
}

// A BLOB parameter: the bytes and the stream the statement reads them through.
// It must live until the statement has run.
class BlobParameter {
public:
    explicit BlobParameter(const QByteArray& bytes) : mBuffer(bytes), mStream(&mBuffer) {}
    std::istream* stream() { return &mStream; }

private:
    DataBuf mBuffer;
    BinaryStream mStream;
};

inline std::unique_ptr<BlobParameter> blobStream(const QByteArray& bytes)
{
    return std::make_unique<BlobParameter>(bytes);
}

// BLOB bytes bound inside the statement's own packet rather than streamed
// ahead of it, one packet each: for statements of many rows. The column takes
// them unchanged: the connection's client and connection character sets are
// the same (utf8mb4), so the server converts nothing.
inline void bindBytes(sql::PreparedStatement& stmt, int index, const QByteArray& bytes)
{
    stmt.setString(index, sql::SQLString(bytes.constData(), static_cast<size_t>(bytes.size())));
}

// A one-row INSERT or REPLACE text taking `rows` rows: its last parenthesised
// group of placeholders repeated. Parameters are then bound row after row.
inline std::string repeatedRowsText(const char* oneRow, int rows)
{
    const std::string text = oneRow;
    const size_t open = text.rfind('(');
    const size_t close = text.rfind(')');
    if (open == std::string::npos || close == std::string::npos || close < open)
        return text;
    const std::string group = text.substr(open, close - open + 1);
    std::string many = text.substr(0, close + 1);
    many.reserve(text.size() + size_t(std::max(rows - 1, 0)) * (group.size() + 1));
    for (int i = 1; i < rows; ++i)
        many += ',' + group;
    return many + text.substr(close + 1);
}

// The first column of every row a query of one key finds, in order.
inline QStringList textColumnOfRows(sql::Connection& connection, const char* query, const QString& key)
{
    const auto rs = rowsFor(connection, query, key);
    QStringList texts;
    while (rs->next())
        texts << textColumn(*rs, 1);
    return texts;
}

} // namespace tvxsql
