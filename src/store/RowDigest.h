#pragma once
// A digest of a row's stored column bytes, to tell whether the row still holds
// what this client read from it. Only this process compares them.
#include <QByteArray>
#include <QHashFunctions>
#include <QString>

#include <cstddef>

namespace tvxsql {

class RowDigest {
public:
    RowDigest& add(const QByteArray& bytes) { return mix(bytes.constData(), size_t(bytes.size())); }
    RowDigest& add(const QString& text) { return mix(text.constData(), size_t(text.size()) * sizeof(QChar)); }
    RowDigest& add(qint64 number) { return mix(&number, sizeof number); }
    // Never 0, which stands for "no row".
    quint64 value() const { return quint64(mValue) | 1u; }

private:
    RowDigest& mix(const void* data, size_t length)
    {
        mValue = qHashBits(&length, sizeof length, mValue);
        mValue = qHashBits(data, length, mValue);
        return *this;
    }
    size_t mValue = size_t(0x9E3779B97F4A7C15ull);
};

// The digests of the store's rows, over the stored bytes of the columns a
// replace writes. `stored`: values 1 to 10, then the note; `fields`: field names 1 to 10.
quint64 recordRowDigest(const QString& groupUID, const QString& typeUID, const QByteArray* stored, bool attached,
                        bool customised);
quint64 customTypeDigest(qint64 icon, qint64 mask, const QByteArray* fields);
quint64 attachmentDigest(const QByteArray& nameCipher, const QByteArray& keyCipher);
quint64 groupDigest(const QByteArray& nameCipher, qint64 permissions, bool prevails);
quint64 typeDigest(const QByteArray& nameCipher, qint64 icon, qint64 mask, const QByteArray* fields);

} // namespace tvxsql
