#pragma once
// A digest of a row's stored column bytes, to tell whether the row still holds
// what this client read from it. Only this process compares them.
#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace tvxsql {

class RowDigest {
public:
    RowDigest& add(const QByteArray& bytes) { return mix(bytes.constData(), size_t(bytes.size())); }
    RowDigest& add(const QString& text) { return mix(text.constData(), size_t(text.size()) * sizeof(QChar)); }
    RowDigest& add(qint64 number) { return mix(&number, sizeof number); }
    // Never 0, which stands for "no row".
    quint64 value() const { return quint64(mValue) | 1u; }

private:
    // MurmurHash64A, the length folded into the seed: eight bytes a step, and
    // no set-up per call (the load takes thirteen per record).
    RowDigest& mix(const void* data, size_t length)
    {
        constexpr uint64_t m = 0xc6a4a7935bd1e995ull;
        constexpr int r = 47;
        uint64_t h = uint64_t(mValue) ^ (uint64_t(length) * m);
        const auto* p = static_cast<const unsigned char*>(data);
        for (; length >= 8; p += 8, length -= 8) {
            uint64_t k;
            std::memcpy(&k, p, 8);
            k *= m;
            k ^= k >> r;
            k *= m;
            h ^= k;
            h *= m;
        }
        if (length) {
            uint64_t k = 0;
            std::memcpy(&k, p, length);
            h ^= k;
            h *= m;
        }
        h ^= h >> r;
        h *= m;
        h ^= h >> r;
        mValue = size_t(h);
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
