#include "crypto/Rijndael.h"

#include <array>
#include <cstring>
#include <string.h> // explicit_bzero

namespace {

using Table = std::array<uint32_t, 256>;

constexpr std::array<uint8_t, 256> sBox = {
    0x63, 0x7c, 0x77, 0x7b, 0xf2, 0x6b, 0x6f, 0xc5, 0x30, 0x01, 0x67, 0x2b, 0xfe, 0xd7, 0xab, 0x76,
    0xca, 0x82, 0xc9, 0x7d, 0xfa, 0x59, 0x47, 0xf0, 0xad, 0xd4, 0xa2, 0xaf, 0x9c, 0xa4, 0x72, 0xc0,
    0xb7, 0xfd, 0x93, 0x26, 0x36, 0x3f, 0xf7, 0xcc, 0x34, 0xa5, 0xe5, 0xf1, 0x71, 0xd8, 0x31, 0x15,
    0x04, 0xc7, 0x23, 0xc3, 0x18, 0x96, 0x05, 0x9a, 0x07, 0x12, 0x80, 0xe2, 0xeb, 0x27, 0xb2, 0x75,
    0x09, 0x83, 0x2c, 0x1a, 0x1b, 0x6e, 0x5a, 0xa0, 0x52, 0x3b, 0xd6, 0xb3, 0x29, 0xe3, 0x2f, 0x84,
    0x53, 0xd1, 0x00, 0xed, 0x20, 0xfc, 0xb1, 0x5b, 0x6a, 0xcb, 0xbe, 0x39, 0x4a, 0x4c, 0x58, 0xcf,
    0xd0, 0xef, 0xaa, 0xfb, 0x43, 0x4d, 0x33, 0x85, 0x45, 0xf9, 0x02, 0x7f, 0x50, 0x3c, 0x9f, 0xa8,
    0x51, 0xa3, 0x40, 0x8f, 0x92, 0x9d, 0x38, 0xf5, 0xbc, 0xb6, 0xda, 0x21, 0x10, 0xff, 0xf3, 0xd2,
    0xcd, 0x0c, 0x13, 0xec, 0x5f, 0x97, 0x44, 0x17, 0xc4, 0xa7, 0x7e, 0x3d, 0x64, 0x5d, 0x19, 0x73,
    0x60, 0x81, 0x4f, 0xdc, 0x22, 0x2a, 0x90, 0x88, 0x46, 0xee, 0xb8, 0x14, 0xde, 0x5e, 0x0b, 0xdb,
    0xe0, 0x32, 0x3a, 0x0a, 0x49, 0x06, 0x24, 0x5c, 0xc2, 0xd3, 0xac, 0x62, 0x91, 0x95, 0xe4, 0x79,
    0xe7, 0xc8, 0x37, 0x6d, 0x8d, 0xd5, 0x4e, 0xa9, 0x6c, 0x56, 0xf4, 0xea, 0x65, 0x7a, 0xae, 0x08,
    0xba, 0x78, 0x25, 0x2e, 0x1c, 0xa6, 0xb4, 0xc6, 0xe8, 0xdd, 0x74, 0x1f, 0x4b, 0xbd, 0x8b, 0x8a,
    0x70, 0x3e, 0xb5, 0x66, 0x48, 0x03, 0xf6, 0x0e, 0x61, 0x35, 0x57, 0xb9, 0x86, 0xc1, 0x1d, 0x9e,
    0xe1, 0xf8, 0x98, 0x11, 0x69, 0xd9, 0x8e, 0x94, 0x9b, 0x1e, 0x87, 0xe9, 0xce, 0x55, 0x28, 0xdf,
    0x8c, 0xa1, 0x89, 0x0d, 0xbf, 0xe6, 0x42, 0x68, 0x41, 0x99, 0x2d, 0x0f, 0xb0, 0x54, 0xbb, 0x16,
};

constexpr std::array<uint8_t, 256> makeInverseSBox()
{
    std::array<uint8_t, 256> inv{};
    for (int i = 0; i < 256; ++i)
        inv[sBox[i]] = static_cast<uint8_t>(i);
    return inv;
}
constexpr std::array<uint8_t, 256> siBox = makeInverseSBox();

constexpr uint8_t mul(uint8_t a, uint8_t b)
{
    uint8_t r = 0;
    while (b) {
        if (b & 1)
            r ^= a;
        a = static_cast<uint8_t>((a << 1) ^ ((a & 0x80) ? 0x1b : 0));
        b >>= 1;
    }
    return r;
}

constexpr uint32_t word(uint8_t b0, uint8_t b1, uint8_t b2, uint8_t b3)
{
    return (uint32_t(b0) << 24) | (uint32_t(b1) << 16) | (uint32_t(b2) << 8) | b3;
}

constexpr uint32_t ror8(uint32_t w, int times)
{
    for (int i = 0; i < times; ++i)
        w = (w >> 8) | (w << 24);
    return w;
}

// Round tables: SubBytes (or InvSubBytes) and one column of (Inv)MixColumns for the byte
// in row `row`, so a round is four lookups and XORs per column.
constexpr Table makeEncTable(int row)
{
    Table t{};
    for (int x = 0; x < 256; ++x) {
        const uint8_t s = sBox[x];
        t[x] = ror8(word(mul(s, 2), s, s, mul(s, 3)), row);
    }
    return t;
}
constexpr Table makeDecTable(int row)
{
    Table t{};
    for (int x = 0; x < 256; ++x) {
        const uint8_t s = siBox[x];
        t[x] = ror8(word(mul(s, 14), mul(s, 9), mul(s, 13), mul(s, 11)), row);
    }
    return t;
}

constexpr Table T1 = makeEncTable(0), T2 = makeEncTable(1), T3 = makeEncTable(2),
                T4 = makeEncTable(3);
constexpr Table T5 = makeDecTable(0), T6 = makeDecTable(1), T7 = makeDecTable(2),
                T8 = makeDecTable(3);

// Round constants 1, 2, 4, ..., 0x80, 0x1b, 0x36, ...: enough for 4-word keys with 8-word blocks.
constexpr std::array<uint8_t, 30> makeRcon()
{
    std::array<uint8_t, 30> r{};
    uint8_t v = 1;
    for (auto& x : r) {
        x = v;
        v = mul(v, 2);
    }
    return r;
}
constexpr std::array<uint8_t, 30> rcon = makeRcon();

// Row-shift offsets of rows 1 to 3, indexed by (blockSize / 4 - 4) / 2.
constexpr int shifts[3][3] = {{1, 2, 3}, {1, 2, 3}, {1, 3, 4}};

inline uint32_t load(const char* p)
{
    const auto* b = reinterpret_cast<const unsigned char*>(p);
    return word(b[0], b[1], b[2], b[3]);
}
inline void store(char* p, uint32_t w)
{
    auto* b = reinterpret_cast<unsigned char*>(p);
    b[0] = uint8_t(w >> 24);
    b[1] = uint8_t(w >> 16);
    b[2] = uint8_t(w >> 8);
    b[3] = uint8_t(w);
}

inline uint32_t subWord(uint32_t w)
{
    return word(sBox[w >> 24], sBox[(w >> 16) & 0xff], sBox[(w >> 8) & 0xff], sBox[w & 0xff]);
}

// InvMixColumns of one word: T5..T8 undo the S-box first, so feed them S-boxed bytes.
inline uint32_t invMixColumn(uint32_t w)
{
    return T5[sBox[w >> 24]] ^ T6[sBox[(w >> 16) & 0xff]] ^ T7[sBox[(w >> 8) & 0xff]]
        ^ T8[sBox[w & 0xff]];
}

bool validLength(int n)
{
    return n == 16 || n == 24 || n == 32;
}

// One direction of the cipher: its four round tables and the S-box of the last round.
struct Direction {
    const Table* rounds[4];
    const std::array<uint8_t, 256>* box;
};
constexpr Direction kEncryption{{&T1, &T2, &T3, &T4}, &sBox};
constexpr Direction kDecryption{{&T5, &T6, &T7, &T8}, &siBox};

// One block of bc words. Rows 1 to 3 of column i come from columns (i + from[n]) % bc.
inline void cipherBlock(int bc, const int from[3], const Direction& d,
                        const uint32_t (*keys)[CRijndael::MAX_BC], int rounds, const char* in,
                        char* result)
{
    const Table &A = *d.rounds[0], &B = *d.rounds[1], &C = *d.rounds[2], &D = *d.rounds[3];
    const auto& box = *d.box;
    uint32_t a[CRijndael::MAX_BC], t[CRijndael::MAX_BC];
    for (int i = 0; i < bc; ++i)
        t[i] = load(in + 4 * i) ^ keys[0][i];
    for (int r = 1; r < rounds; ++r) {
        for (int i = 0; i < bc; ++i)
            a[i] = A[t[i] >> 24] ^ B[(t[(i + from[0]) % bc] >> 16) & 0xff]
                ^ C[(t[(i + from[1]) % bc] >> 8) & 0xff] ^ D[t[(i + from[2]) % bc] & 0xff]
                ^ keys[r][i];
        memcpy(t, a, sizeof(uint32_t) * size_t(bc));
    }
    for (int i = 0; i < bc; ++i) {
        const uint32_t w = word(box[t[i] >> 24], box[(t[(i + from[0]) % bc] >> 16) & 0xff],
                                box[(t[(i + from[1]) % bc] >> 8) & 0xff],
                                box[t[(i + from[2]) % bc] & 0xff]);
        store(result + 4 * i, w ^ keys[rounds][i]);
    }
}

// The 16-byte block, the one every stored value uses: the same rounds with
// the columns written out, so that the state stays in registers.
template <int F0, int F1, int F2>
inline void cipherBlock16(const Direction& d, const uint32_t (*keys)[CRijndael::MAX_BC], int rounds,
                          const char* in, char* result)
{
    const Table &A = *d.rounds[0], &B = *d.rounds[1], &C = *d.rounds[2], &D = *d.rounds[3];
    uint32_t t[4];
    for (int i = 0; i < 4; ++i)
        t[i] = load(in + 4 * i) ^ keys[0][i];
    const auto column = [&](const uint32_t* s, int i, const uint32_t* k) {
        return A[s[i] >> 24] ^ B[(s[(i + F0) & 3] >> 16) & 0xff] ^ C[(s[(i + F1) & 3] >> 8) & 0xff]
            ^ D[s[(i + F2) & 3] & 0xff] ^ k[i];
    };
    for (int r = 1; r < rounds; ++r) {
        const uint32_t a[4] = {column(t, 0, keys[r]), column(t, 1, keys[r]), column(t, 2, keys[r]),
                               column(t, 3, keys[r])};
        t[0] = a[0];
        t[1] = a[1];
        t[2] = a[2];
        t[3] = a[3];
    }
    const auto& box = *d.box;
    for (int i = 0; i < 4; ++i) {
        const uint32_t w = word(box[t[i] >> 24], box[(t[(i + F0) & 3] >> 16) & 0xff],
                                box[(t[(i + F1) & 3] >> 8) & 0xff], box[t[(i + F2) & 3] & 0xff]);
        store(result + 4 * i, w ^ keys[rounds][i]);
    }
}

} // namespace

const char CRijndael::sm_chain0[CRijndael::MAX_BLOCK_SIZE] = {};

CRijndael::CRijndael() = default;

CRijndael::~CRijndael()
{
    ForgetKey();
}

void CRijndael::ForgetKey()
{
    explicit_bzero(m_Ke, sizeof m_Ke);
    explicit_bzero(m_Kd, sizeof m_Kd);
    explicit_bzero(m_chain0, sizeof m_chain0);
    explicit_bzero(m_chain, sizeof m_chain);
    m_bKeyInit = false;
}

void CRijndael::MakeKey(const char* key, const char* chain, int keylength, int blockSize)
{
    if (!key || !validLength(keylength) || !validLength(blockSize))
        throw CRijndaelError();

    ForgetKey();
    m_keylength = keylength;
    m_blockSize = blockSize;
    if (chain)
        memcpy(m_chain0, chain, size_t(blockSize));
    memcpy(m_chain, m_chain0, sizeof m_chain);

    const int KC = keylength / 4;
    const int BC = blockSize / 4;
    m_iROUNDS = 6 + (KC > BC ? KC : BC);
    const int ROUNDS = m_iROUNDS;

    uint32_t tk[MAX_KC];
    for (int i = 0; i < KC; ++i)
        tk[i] = load(key + 4 * i);

    // Word i of the expanded key goes to round i / BC, column i % BC; decryption rounds
    // run in reverse order.
    const int total = BC * (ROUNDS + 1);
    uint32_t prev = 0;
    for (int i = 0; i < total; ++i) {
        uint32_t w;
        if (i < KC) {
            w = tk[i];
        } else {
            uint32_t temp = prev;
            if (i % KC == 0)
                temp = subWord((temp << 8) | (temp >> 24)) ^ (uint32_t(rcon[i / KC - 1]) << 24);
            else if (KC > 6 && i % KC == 4)
                temp = subWord(temp);
            w = tk[i % KC] ^ temp;
            tk[i % KC] = w;
        }
        m_Ke[i / BC][i % BC] = w;
        m_Kd[ROUNDS - i / BC][i % BC] = w;
        prev = w;
    }
    explicit_bzero(tk, sizeof tk);

    // Equivalent inverse cipher: inner decryption round keys pass through InvMixColumns.
    for (int r = 1; r < ROUNDS; ++r)
        for (int j = 0; j < BC; ++j)
            m_Kd[r][j] = invMixColumn(m_Kd[r][j]);

    m_bKeyInit = true;
}

void CRijndael::EncryptBlock(const char* in, char* result) const
{
    if (!m_bKeyInit)
        throw CRijndaelError();
    const int* sh = shifts[(m_blockSize / 4 - 4) >> 1];
    const int from[3] = {sh[0], sh[1], sh[2]};
    if (m_blockSize == 16)
        cipherBlock16<1, 2, 3>(kEncryption, m_Ke, m_iROUNDS, in, result);
    else
        cipherBlock(m_blockSize / 4, from, kEncryption, m_Ke, m_iROUNDS, in, result);
}

void CRijndael::DecryptBlock(const char* in, char* result) const
{
    if (!m_bKeyInit)
        throw CRijndaelError();
    const int BC = m_blockSize / 4;
    const int* sh = shifts[(BC - 4) >> 1];
    // Inverse row shifts: row n of column i comes from column i - shift.
    const int from[3] = {BC - sh[0], BC - sh[1], BC - sh[2]};
    if (m_blockSize == 16)
        cipherBlock16<3, 2, 1>(kDecryption, m_Kd, m_iROUNDS, in, result);
    else
        cipherBlock(BC, from, kDecryption, m_Kd, m_iROUNDS, in, result);
}

void CRijndael::CheckRun(size_t n) const
{
    if (!m_bKeyInit || n == 0 || n % size_t(m_blockSize) != 0)
        throw CRijndaelError();
}

template <class Step>
void CRijndael::ForEachBlock(const char* in, char* result, size_t n, Step&& step) const
{
    CheckRun(n);
    const size_t bs = size_t(m_blockSize);
    for (size_t i = 0; i < n; i += bs)
        step(in + i, result + i);
}

void CRijndael::EncryptECB(const char* in, char* result, size_t n) const
{
    ForEachBlock(in, result, n, [this](const char* block, char* out) { EncryptBlock(block, out); });
}

void CRijndael::DecryptECB(const char* in, char* result, size_t n) const
{
    ForEachBlock(in, result, n, [this](const char* block, char* out) { DecryptBlock(block, out); });
}

void CRijndael::Encrypt(const char* in, char* result, size_t n, int iMode)
{
    const size_t bs = size_t(m_blockSize);
    if (iMode == CBC) {
        ForEachBlock(in, result, n, [&](const char* plain, char* cipher) {
            Xor(m_chain, plain);
            EncryptBlock(m_chain, cipher);
            memcpy(m_chain, cipher, bs);
        });
    } else if (iMode == CFB) {
        ForEachBlock(in, result, n, [&](const char* plain, char* cipher) {
            char block[MAX_BLOCK_SIZE];
            EncryptBlock(m_chain, block);
            Xor(block, plain);
            memcpy(cipher, block, bs);
            memcpy(m_chain, block, bs);
        });
    } else {
        EncryptECB(in, result, n);
    }
}

void CRijndael::Decrypt(const char* in, char* result, size_t n, int iMode)
{
    if (iMode != CBC && iMode != CFB) {
        DecryptECB(in, result, n);
        return;
    }
    const size_t bs = size_t(m_blockSize);
    ForEachBlock(in, result, n, [&](const char* from, char* plain) {
        // Keep the cipher block: in and result may be one buffer.
        char cipher[MAX_BLOCK_SIZE];
        memcpy(cipher, from, bs);
        char block[MAX_BLOCK_SIZE];
        if (iMode == CBC)
            DecryptBlock(cipher, block);
        else
            EncryptBlock(m_chain, block);
        Xor(block, iMode == CBC ? m_chain : cipher);
        memcpy(plain, block, bs);
        memcpy(m_chain, cipher, bs);
    });
}

void CRijndael::Xor(char* buff, const char* chain) const
{
    if (!m_bKeyInit)
        throw CRijndaelError();
    for (int i = 0; i < m_blockSize; ++i)
        buff[i] ^= chain[i];
}
