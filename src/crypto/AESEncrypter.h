#pragma once
// Attachment contents: Rijndael with a 24-byte key and a 24-byte block in ECB mode, data
// padded with zero bytes to a multiple of 24. The key is the first 24 bytes of the key
// text followed by zero bytes. Stateless: each call keys a cipher of its own.
//
// Failures of the cipher (a null key text, a length that is not a multiple of 24 on
// Decrypt) reach the caller as CRijndaelError; no buffer is left behind then.
class CAESEncrypter {
public:
    CAESEncrypter() = default;
    ~CAESEncrypter() = default;

    // *len: bytes of data on entry, cipher bytes (rounded up to 24) on return. The result
    // holds those bytes and a closing zero byte, comes from malloc and is the caller's to
    // free. Null, with *len untouched, when there is no data or *len <= 0.
    char* Encrypt(const char* keyText, const char* data, int* len) const;
    // len + 1 bytes from malloc: the plain bytes, still with the zero padding of the last
    // block, and a closing zero. Null when there is no data or len <= 0.
    char* Decrypt(const char* keyText, const char* data, int len) const;
};
