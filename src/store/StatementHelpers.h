#pragma once
// Small helpers around the database API shared by the manager's sources.
#include <QByteArray>
#include <QString>

#include "crypto/DataBuf.h"

#include <cppconn/resultset.h>

#include <istream>
#include <memory>

namespace tvxsql {

// TINYBLOB columns (names, values, field names, attachment names and keys)
// hold 255 bytes: a server would cut a longer cipher short, or refuse it, and
// a cut cipher is lost. Writers refuse such a value before writing anything.
inline constexpr qsizetype kTinyBlobCapacity = 255;
inline bool fitsTinyBlob(const QByteArray& cipher) { return cipher.size() <= kTinyBlobCapacity; }

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
