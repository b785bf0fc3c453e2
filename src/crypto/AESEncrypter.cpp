#include "crypto/AESEncrypter.h"

#include "crypto/Rijndael.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <stdexcept>
#include <string.h> // explicit_bzero

namespace {

constexpr int kSize = 24;

struct FreeDeleter {
    void operator()(char* p) const { free(p); }
};
using Buffer = std::unique_ptr<char, FreeDeleter>;

Buffer allocateZeroed(size_t n)
{
    Buffer b(static_cast<char*>(calloc(n, 1)));
    if (!b)
        throw std::bad_alloc();
    return b;
}

void keyCipher(CRijndael& cipher, const char* keyText)
{
    if (!keyText)
        throw CRijndaelError();
    char key[kSize] = {};
    memcpy(key, keyText, strnlen(keyText, kSize));
    cipher.MakeKey(key, CRijndael::sm_chain0, kSize, kSize);
    explicit_bzero(key, sizeof key);
}

} // namespace

char* CAESEncrypter::Encrypt(const char* keyText, const char* data, int* len) const
{
    if (!data || !len || *len <= 0)
        return nullptr;
    const long long n = *len;
    const long long padded = (n + kSize - 1) / kSize * kSize;
    if (padded >= INT_MAX)
        throw std::length_error("attachment too large");

    CRijndael cipher;
    keyCipher(cipher, keyText);
    Buffer result = allocateZeroed(size_t(padded) + 1);
    memcpy(result.get(), data, size_t(n));
    cipher.EncryptECB(result.get(), result.get(), size_t(padded));
    *len = int(padded);
    return result.release();
}

char* CAESEncrypter::Decrypt(const char* keyText, const char* data, int len) const
{
    if (!data || len <= 0)
        return nullptr;
    CRijndael cipher;
    keyCipher(cipher, keyText);
    Buffer result = allocateZeroed(size_t(len) + 1);
    cipher.DecryptECB(data, result.get(), size_t(len));
    return result.release();
}
