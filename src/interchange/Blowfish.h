#pragma once
// The Blowfish block cipher (16 rounds) in ECB mode, for interchange files
// and attachment side files. A block is 8 bytes read as two big-endian 32-bit
// words (bytes 0 to 3 the left half), so enciphered bytes do not depend on
// the machine's byte order.
#include <cstddef>
#include <cstdint>

struct BlowfishContext {
    uint32_t P[18];
    uint32_t S[4][256];
};
static_assert(sizeof(BlowfishContext) == 4168);

// Starts from the digits of pi and mixes in the key: its bytes taken
// cyclically, four at a time, most significant first, so at most the first
// 72 count. An empty key (key may then be null) mixes in nothing, the same
// as a key of zero bytes.
void Blowfish_Init(BlowfishContext& context, const void* key, std::size_t keyLength);

// One block in word form: in[0] the left half, in[1] the right half. in and
// out may be the same array.
void Blowfish_Encrypt(const BlowfishContext& context, const uint32_t in[2], uint32_t out[2]);
void Blowfish_Decrypt(const BlowfishContext& context, const uint32_t in[2], uint32_t out[2]);

// The whole 8-byte blocks of a byte buffer; source and destination may be the
// same, neither need be aligned, and a remainder of 1 to 7 bytes is left
// untouched. Any length is taken whole.
void BlowfishEncryptToBuffer(const BlowfishContext& context, const void* source,
                             void* destination, std::size_t length);
void BlowfishDecryptToBuffer(const BlowfishContext& context, const void* source,
                             void* destination, std::size_t length);

// The whole blocks of a buffer in place: enciphered when encrypt is set,
// deciphered otherwise.
void Blowfish(const BlowfishContext& context, void* buffer, std::size_t length, bool encrypt);

// Overwrites the key material of a context.
void Blowfish_Clear(BlowfishContext& context);
