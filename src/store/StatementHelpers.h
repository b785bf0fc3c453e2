#pragma once
// Small helpers around the database API shared by the manager's sources.
#include <QByteArray>
#include <QString>

#include "crypto/DataBuf.h"
#include "store/ColumnLimits.h"

#include <cppconn/resultset.h>

#include <istream>
#include <memory>

namespace tvxsql {

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

} // namespace tvxsql
