#pragma once
// AES-128 in ECB mode for values stored on the server. The key is the first 16 bytes of a
// key text, padded with blanks; values are padded with zero bytes to a multiple of 16 and
// carry no length, so equal texts under one key give equal cipher bytes.
//
// Never throws. Once keyed it is only read, so one encrypter may serve several threads.
#include "crypto/Rijndael.h"

#include <QByteArray>

class CDBEncrypter : public CRijndael {
public:
    // A null text leaves the encrypter without key: it then enciphers to zeros and
    // deciphers to the empty text.
    explicit CDBEncrypter(const char* keyText = nullptr);
    // The text ends at its first zero byte, as a C text would; an empty or null array is
    // the empty text (16 blanks), not "no key".
    explicit CDBEncrypter(const QByteArray& keyText);

    // 1 when keyed, 0 otherwise (a null text also drops any earlier key).
    int Init(const char* keyText);

    // *len: bytes of in on entry, cipher bytes (rounded up to 16) on return. The result holds
    // those bytes and a closing zero byte, comes from malloc and is the caller's to free.
    // Null only when memory cannot be had (then *len is 0).
    char* Encrypt(const char* in, int* len) const;
    // len + 1 bytes from malloc: the plain bytes with their zero padding and a closing zero;
    // all zeros when len is not a multiple of 16 or there is no key. Null only when memory
    // cannot be had.
    char* Decrypt(const char* in, int len) const;

    // Cipher bytes of plain (length rounded up to 16; zeros without key).
    QByteArray encryptBytes(const QByteArray& plain) const;
    // The plain bytes up to the first zero byte; empty when cipher cannot be deciphered.
    QByteArray decryptBytes(const QByteArray& cipher) const;

    // The 16-byte key made from a key text.
    static QByteArray keyFromText(const char* keyText);
};
