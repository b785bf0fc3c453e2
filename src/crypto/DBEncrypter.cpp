#include "crypto/DBEncrypter.h"

#include <climits>
#include <cstdlib>
#include <cstring>

namespace {

constexpr int kBlock = 16;

// Rounded up to a whole number of blocks, or -1 when that no longer fits an int.
long long paddedLength(long long n)
{
    if (n <= 0)
        return 0;
    const long long padded = (n + kBlock - 1) / kBlock * kBlock;
    return padded < INT_MAX ? padded : -1;
}

} // namespace

CDBEncrypter::CDBEncrypter(const char* keyText)
{
    if (keyText)
        Init(keyText);
}

CDBEncrypter::CDBEncrypter(const QByteArray& keyText)
{
    Init(keyText.constData());
}

QByteArray CDBEncrypter::keyFromText(const char* keyText)
{
    // At most 16 bytes of the text, then blanks up to 16.
    QByteArray key(kBlock, ' ');
    if (keyText)
        memcpy(key.data(), keyText, strnlen(keyText, kBlock));
    return key;
}

int CDBEncrypter::Init(const char* keyText)
{
    if (!keyText) {
        ForgetKey();
        return 0;
    }
    QByteArray key = keyFromText(keyText);
    int ok = 1;
    try {
        MakeKey(key.constData(), sm_chain0, kBlock, kBlock);
    } catch (...) {
        ok = 0;
    }
    key.fill('\0');
    return ok;
}

char* CDBEncrypter::Encrypt(const char* in, int* len) const
{
    const long long n = len && *len > 0 ? *len : 0;
    const long long padded = paddedLength(n);
    char* result = padded < 0 ? nullptr : static_cast<char*>(calloc(size_t(padded) + 1, 1));
    if (!result) {
        if (len)
            *len = 0;
        return nullptr;
    }
    if (len)
        *len = int(padded);
    if (!in || padded == 0 || !IsKeyInit())
        return result;
    memcpy(result, in, size_t(n));
    try {
        EncryptECB(result, result, size_t(padded));
    } catch (...) {
        memset(result, 0, size_t(padded)); // never leave the plain text behind
    }
    return result;
}

char* CDBEncrypter::Decrypt(const char* in, int len) const
{
    const size_t n = len > 0 ? size_t(len) : 0;
    char* result = static_cast<char*>(calloc(n + 1, 1));
    if (!result || !in || n == 0)
        return result;
    try {
        DecryptECB(in, result, n);
    } catch (...) {
        memset(result, 0, n);
    }
    return result;
}

QByteArray CDBEncrypter::encryptBytes(const QByteArray& plain) const
{
    const qsizetype padded = (plain.size() + kBlock - 1) / kBlock * kBlock;
    QByteArray out(padded, '\0');
    if (padded == 0 || !IsKeyInit())
        return out;
    char* p = out.data();
    memcpy(p, plain.constData(), size_t(plain.size()));
    try {
        EncryptECB(p, p, size_t(padded));
    } catch (...) {
        out.fill('\0');
    }
    return out;
}

QByteArray CDBEncrypter::decryptBytes(const QByteArray& cipher) const
{
    if (cipher.isEmpty() || cipher.size() % kBlock != 0 || !IsKeyInit())
        return {};
    QByteArray out(cipher.size(), '\0');
    try {
        DecryptECB(cipher.constData(), out.data(), size_t(cipher.size()));
    } catch (...) {
        return {};
    }
    const qsizetype end = out.indexOf('\0');
    if (end >= 0)
        out.truncate(end);
    return out;
}
