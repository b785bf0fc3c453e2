#include "crypto/Rijndael.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace {

std::string hex(const char* text)
{
    std::string out;
    for (const char* p = text; p[0] && p[1]; p += 2)
        out.push_back(char(std::stoi(std::string(p, 2), nullptr, 16)));
    return out;
}

std::string toHex(const std::string& bytes)
{
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        out.push_back(digits[c >> 4]);
        out.push_back(digits[c & 15]);
    }
    return out;
}

std::string ecbEncrypt(const std::string& key, const std::string& plain, int blockSize)
{
    CRijndael cipher;
    cipher.MakeKey(key.data(), CRijndael::sm_chain0, int(key.size()), blockSize);
    std::string out(plain.size(), '\0');
    cipher.Encrypt(plain.data(), out.data(), out.size(), CRijndael::ECB);
    return out;
}

std::string ecbDecrypt(const std::string& key, const std::string& cipherText, int blockSize)
{
    CRijndael cipher;
    cipher.MakeKey(key.data(), CRijndael::sm_chain0, int(key.size()), blockSize);
    std::string out(cipherText.size(), '\0');
    cipher.Decrypt(cipherText.data(), out.data(), out.size(), CRijndael::ECB);
    return out;
}

struct Vector {
    const char* name;
    const char* key;
    const char* plain;
    const char* cipher;
};

} // namespace

TEST(RijndaelVectors, PublishedVectors)
{
    const Vector vectors[] = {
        {"FIPS-197 B", "2b7e151628aed2a6abf7158809cf4f3c", "3243f6a8885a308d313198a2e0370734",
         "3925841d02dc09fbdc118597196a0b32"},
        {"FIPS-197 C.1 AES-128", "000102030405060708090a0b0c0d0e0f",
         "00112233445566778899aabbccddeeff", "69c4e0d86a7b0430d8cdb78070b4c55a"},
        {"FIPS-197 C.2 AES-192", "000102030405060708090a0b0c0d0e0f1011121314151617",
         "00112233445566778899aabbccddeeff", "dda97ca4864cdfe06eaf70a0ec0d7191"},
        {"FIPS-197 C.3 AES-256",
         "000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f",
         "00112233445566778899aabbccddeeff", "8ea2b7ca516745bfeafc49904b496089"},
        // 24-byte key with a 24-byte block: the general path that attachments use.
        {"Rijndael 192/192", "2b7e151628aed2a6abf7158809cf4f3c762e7160f38b4da5",
         "3243f6a8885a308d313198a2e03707344a4093822299f31d",
         "725ae43b5f3161de806a7c93e0bca93c967ec1ae1b71e1cf"},
    };
    for (const Vector& v : vectors) {
        SCOPED_TRACE(v.name);
        const std::string key = hex(v.key), plain = hex(v.plain);
        const int blockSize = int(plain.size());
        EXPECT_EQ(toHex(ecbEncrypt(key, plain, blockSize)), v.cipher);
        EXPECT_EQ(toHex(ecbDecrypt(key, hex(v.cipher), blockSize)), v.plain);

        CRijndael cipher;
        cipher.MakeKey(key.data(), nullptr, int(key.size()), blockSize);
        std::string block(plain.size(), '\0');
        cipher.EncryptBlock(plain.data(), block.data());
        EXPECT_EQ(toHex(block), v.cipher);
        cipher.DecryptBlock(block.data(), block.data());
        EXPECT_EQ(toHex(block), v.plain);
    }
}

TEST(RijndaelVectors, RoundsFollowTheLongerOfKeyAndBlock)
{
    const std::string key(32, 'k');
    const int sizes[] = {16, 24, 32};
    const int expected[3][3] = {{10, 12, 14}, {12, 12, 14}, {14, 14, 14}};
    for (int k = 0; k < 3; ++k)
        for (int b = 0; b < 3; ++b) {
            CRijndael cipher;
            cipher.MakeKey(key.data(), nullptr, sizes[k], sizes[b]);
            EXPECT_EQ(cipher.GetRounds(), expected[k][b]) << sizes[k] << "/" << sizes[b];
        }
}

TEST(RijndaelVectors, EcbEnciphersEachBlockOnItsOwn)
{
    const std::string key = hex("2b7e151628aed2a6abf7158809cf4f3c");
    const std::string block = hex("3243f6a8885a308d313198a2e0370734");
    EXPECT_EQ(toHex(ecbEncrypt(key, block + block, 16)),
              "3925841d02dc09fbdc118597196a0b32" "3925841d02dc09fbdc118597196a0b32");
}

// NIST SP 800-38A F.2.1 and F.3.13, first two blocks.
TEST(RijndaelModes, CbcAndCfbMatchPublishedVectorsAndChainAcrossCalls)
{
    const std::string key = hex("2b7e151628aed2a6abf7158809cf4f3c");
    const std::string iv = hex("000102030405060708090a0b0c0d0e0f");
    const std::string plain =
        hex("6bc1bee22e409f96e93d7e117393172aae2d8a571e03ac9c9eb76fac45af8e51");
    struct {
        int mode;
        const char* cipher;
    } cases[] = {
        {CRijndael::CBC,
         "7649abac8119b246cee98e9b12e9197d5086cb9b507219ee95db113a917678b2"},
        {CRijndael::CFB,
         "3b3fd92eb72dad20333449f8e83cfb4ac8a64537a0b3a93fcde3cdad9f1ce58b"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mode);
        CRijndael cipher;
        cipher.MakeKey(key.data(), iv.data(), 16, 16);
        std::string out(32, '\0');
        cipher.Encrypt(plain.data(), out.data(), 32, c.mode);
        EXPECT_EQ(toHex(out), c.cipher);

        // One block per call continues the chain.
        cipher.MakeKey(key.data(), iv.data(), 16, 16);
        std::string piecewise(32, '\0');
        cipher.Encrypt(plain.data(), piecewise.data(), 16, c.mode);
        cipher.Encrypt(plain.data() + 16, piecewise.data() + 16, 16, c.mode);
        EXPECT_EQ(toHex(piecewise), c.cipher);

        // Deciphering in place, again one block per call.
        cipher.MakeKey(key.data(), iv.data(), 16, 16);
        cipher.Decrypt(out.data(), out.data(), 16, c.mode);
        cipher.Decrypt(out.data() + 16, out.data() + 16, 16, c.mode);
        EXPECT_EQ(out, plain);
    }
}

TEST(RijndaelModes, ChainRunsOnUntilANewKey)
{
    const std::string key(24, 'q'), chain(32, 'c'), plain(64, 'p');
    CRijndael cipher;
    cipher.MakeKey(key.data(), chain.data(), 24, 32);
    std::string first(64, '\0'), second(64, '\0');
    cipher.Encrypt(plain.data(), first.data(), 64, CRijndael::CBC);
    cipher.Encrypt(plain.data(), second.data(), 64, CRijndael::CBC);
    EXPECT_NE(first, second);

    cipher.MakeKey(key.data(), chain.data(), 24, 32);
    cipher.Encrypt(plain.data(), second.data(), 64, CRijndael::CBC);
    EXPECT_EQ(first, second);

    cipher.MakeKey(key.data(), chain.data(), 24, 32);
    cipher.Decrypt(first.data(), second.data(), 64, CRijndael::CBC);
    EXPECT_EQ(second, plain);
}

TEST(RijndaelFailures, RefusesBadKeysAndLengths)
{
    const std::string key(32, 'k');
    CRijndael cipher;
    EXPECT_THROW(cipher.MakeKey(nullptr, nullptr, 16, 16), std::exception);
    for (int bad : {0, 8, 20, 33, 64, -16}) {
        EXPECT_THROW(cipher.MakeKey(key.data(), nullptr, bad, 16), CRijndaelError) << bad;
        EXPECT_THROW(cipher.MakeKey(key.data(), nullptr, 16, bad), CRijndaelError) << bad;
    }
    EXPECT_FALSE(cipher.IsKeyInit());
}

TEST(RijndaelFailures, RefusesWorkBeforeAKey)
{
    CRijndael cipher;
    char in[32] = {}, out[32] = {};
    EXPECT_THROW(cipher.EncryptBlock(in, out), CRijndaelError);
    EXPECT_THROW(cipher.DecryptBlock(in, out), CRijndaelError);
    for (int mode : {CRijndael::ECB, CRijndael::CBC, CRijndael::CFB}) {
        EXPECT_THROW(cipher.Encrypt(in, out, 16, mode), CRijndaelError);
        EXPECT_THROW(cipher.Decrypt(in, out, 16, mode), CRijndaelError);
    }
    EXPECT_THROW(cipher.Xor(out, in), CRijndaelError);
}

TEST(RijndaelFailures, RefusesEmptyOrPartialBlocks)
{
    const std::string key(24, 'k');
    char in[64] = {}, out[64] = {};
    CRijndael aes;
    aes.MakeKey(key.data(), nullptr, 16, 16);
    CRijndael wide;
    wide.MakeKey(key.data(), nullptr, 24, 24);
    for (int mode : {CRijndael::ECB, CRijndael::CBC, CRijndael::CFB}) {
        for (size_t n : {size_t(0), size_t(15), size_t(17)}) {
            EXPECT_THROW(aes.Encrypt(in, out, n, mode), CRijndaelError) << n;
            EXPECT_THROW(aes.Decrypt(in, out, n, mode), CRijndaelError) << n;
        }
        EXPECT_THROW(wide.Encrypt(in, out, 16, mode), CRijndaelError);
        EXPECT_THROW(wide.Decrypt(in, out, 32, mode), CRijndaelError);
        EXPECT_NO_THROW(wide.Encrypt(in, out, 48, mode));
    }
}

// A slow textbook Rijndael, sharing nothing with the tables: S-box from the GF(2^8) inverse
// and the affine map, MixColumns by xtime. Any wrong table entry shows up as a mismatch.
namespace {

uint8_t xtime(uint8_t a)
{
    return uint8_t((a << 1) ^ ((a & 0x80) ? 0x1b : 0));
}

uint8_t gmul(uint8_t a, uint8_t b)
{
    uint8_t r = 0;
    for (; b; b >>= 1, a = xtime(a))
        if (b & 1)
            r ^= a;
    return r;
}

uint8_t sboxOf(uint8_t x)
{
    uint8_t inv = 0;
    for (int b = 1; x && b < 256; ++b)
        if (gmul(x, uint8_t(b)) == 1)
            inv = uint8_t(b);
    uint8_t s = 0x63;
    for (int i = 0; i < 8; ++i) {
        const int bit = ((inv >> i) ^ (inv >> ((i + 4) % 8)) ^ (inv >> ((i + 5) % 8))
                         ^ (inv >> ((i + 6) % 8)) ^ (inv >> ((i + 7) % 8)))
            & 1;
        s ^= uint8_t(bit << i);
    }
    return s;
}

std::string referenceEncrypt(const std::string& key, const std::string& in)
{
    static const std::vector<uint8_t> sbox = [] {
        std::vector<uint8_t> table(256);
        for (int i = 0; i < 256; ++i)
            table[size_t(i)] = sboxOf(uint8_t(i));
        return table;
    }();
    const int nk = int(key.size()) / 4, nb = int(in.size()) / 4;
    const int nr = 6 + std::max(nk, nb);
    const int shift[4] = {0, 1, nb == 8 ? 3 : 2, nb == 8 ? 4 : 3};

    std::vector<uint8_t> w(size_t(4 * nb * (nr + 1)));
    for (int i = 0; i < 4 * nk; ++i)
        w[size_t(i)] = uint8_t(key[size_t(i)]);
    uint8_t rc = 1;
    for (int i = nk; i < nb * (nr + 1); ++i) {
        uint8_t t[4];
        for (int j = 0; j < 4; ++j)
            t[j] = w[size_t(4 * (i - 1) + j)];
        if (i % nk == 0) {
            const uint8_t first = t[0];
            for (int j = 0; j < 3; ++j)
                t[j] = sbox[t[j + 1]];
            t[3] = sbox[first];
            t[0] ^= rc;
            rc = xtime(rc);
        } else if (nk > 6 && i % nk == 4) {
            for (auto& b : t)
                b = sbox[b];
        }
        for (int j = 0; j < 4; ++j)
            w[size_t(4 * i + j)] = w[size_t(4 * (i - nk) + j)] ^ t[j];
    }

    std::vector<uint8_t> s(in.begin(), in.end()); // byte 4c + r is row r, column c
    auto addRoundKey = [&](int round) {
        for (int i = 0; i < 4 * nb; ++i)
            s[size_t(i)] ^= w[size_t(4 * nb * round + i)];
    };
    addRoundKey(0);
    for (int round = 1; round <= nr; ++round) {
        std::vector<uint8_t> t(s.size());
        for (int c = 0; c < nb; ++c)
            for (int r = 0; r < 4; ++r)
                t[size_t(4 * c + r)] = sbox[s[size_t(4 * ((c + shift[r]) % nb) + r)]];
        if (round != nr) {
            for (int c = 0; c < nb; ++c) {
                uint8_t* col = &t[size_t(4 * c)];
                const uint8_t a0 = col[0], a1 = col[1], a2 = col[2], a3 = col[3];
                col[0] = xtime(a0) ^ xtime(a1) ^ a1 ^ a2 ^ a3;
                col[1] = a0 ^ xtime(a1) ^ xtime(a2) ^ a2 ^ a3;
                col[2] = a0 ^ a1 ^ xtime(a2) ^ xtime(a3) ^ a3;
                col[3] = xtime(a0) ^ a0 ^ a1 ^ a2 ^ xtime(a3);
            }
        }
        s = t;
        addRoundKey(round);
    }
    return std::string(s.begin(), s.end());
}

} // namespace

TEST(RijndaelCrossCheck, TablesAgreeWithTextbookRijndael)
{
    std::mt19937 rng(20240611);
    auto randomBytes = [&](int n) {
        std::string b(size_t(n), '\0');
        for (auto& c : b)
            c = char(rng() & 0xff);
        return b;
    };
    for (int keySize : {16, 24, 32})
        for (int blockSize : {16, 24, 32})
            for (int trial = 0; trial < 20; ++trial) {
                SCOPED_TRACE(::testing::Message() << keySize << "/" << blockSize);
                const std::string key = randomBytes(keySize);
                const std::string plain = randomBytes(blockSize);
                const std::string expected = referenceEncrypt(key, plain);
                EXPECT_EQ(toHex(ecbEncrypt(key, plain, blockSize)), toHex(expected));
                EXPECT_EQ(toHex(ecbDecrypt(key, expected, blockSize)), toHex(plain));
            }
}
