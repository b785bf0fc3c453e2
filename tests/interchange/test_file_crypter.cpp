#include "interchange/FileCrypter.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

std::string sample(std::size_t n)
{
    std::string s(n, '\0');
    for (std::size_t i = 0; i < n; ++i)
        s[i] = static_cast<char>('A' + i % 26);
    return s;
}

std::string asciiKey(std::size_t n)
{
    std::string key;
    for (std::size_t i = 0; i < n; ++i)
        key += static_cast<char>('!' + (i * 5) % 90);
    return key;
}

// What the crypter must give: Blowfish ECB under the key bytes, zero-padded.
std::string reference(const std::string& keyBytes, std::string data)
{
    BlowfishContext c;
    Blowfish_Init(c, keyBytes.data(), keyBytes.size());
    data.resize((data.size() + 7) / 8 * 8, '\0');
    Blowfish(c, data.data(), data.size(), true);
    return data;
}

} // namespace

TEST(FileCrypter, WithoutKeyLeavesDataAlone)
{
    TVXFileCrypter crypter;
    EXPECT_FALSE(crypter.hasContext());
    std::string data = "attachment";
    EXPECT_FALSE(crypter.encryptData(data));
    EXPECT_EQ(data, "attachment");
    EXPECT_FALSE(crypter.decryptData(data));
    EXPECT_EQ(data, "attachment");
}

TEST(FileCrypter, LengthsGrowToWholeBlocks)
{
    const TVXFileCrypter crypter("K3Y-pass");
    const std::pair<std::size_t, std::size_t> cases[] = {
        {0, 0}, {1, 8}, {7, 8}, {8, 8}, {9, 16}, {65528, 65528}, {65529, 65536}, {100001, 100008}};
    for (const auto& [in, out] : cases) {
        SCOPED_TRACE(in);
        std::string data = sample(in);
        ASSERT_TRUE(crypter.encryptData(data));
        EXPECT_EQ(data.size(), out);
        EXPECT_EQ(data, reference("K3Y-pass", sample(in)));
    }
}

TEST(FileCrypter, DecryptingKeepsTheZeroPadding)
{
    const TVXFileCrypter crypter("pass");
    std::string data = "0123456789";
    ASSERT_TRUE(crypter.encryptData(data));
    ASSERT_TRUE(crypter.decryptData(data));
    EXPECT_EQ(data, std::string("0123456789\0\0\0\0\0\0", 16));
}

TEST(FileCrypter, RoundTripsWithKeysOf0To72BytesAndBeyond)
{
    const std::string plain = sample(1000) + std::string("\0\xFF\x80 end", 8);
    std::string previousCipher;
    for (std::size_t n : {0u, 1u, 56u, 72u}) {
        SCOPED_TRACE(n);
        const std::string key = asciiKey(n);
        const TVXFileCrypter crypter(key);
        std::string data = plain;
        ASSERT_TRUE(crypter.encryptData(data));
        EXPECT_EQ(data, reference(key, plain));
        EXPECT_NE(data, previousCipher);
        previousCipher = data;
        ASSERT_TRUE(crypter.decryptData(data));
        EXPECT_EQ(data, plain);
    }

    // Only the first 72 key bytes count.
    std::string fromLong = plain, from72 = plain;
    TVXFileCrypter(asciiKey(72) + "more key bytes").encryptData(fromLong);
    TVXFileCrypter(asciiKey(72)).encryptData(from72);
    EXPECT_EQ(fromLong, from72);
}

TEST(FileCrypter, EmptyPassKeyIsTheKeyOfZeroBytes)
{
    std::string a = sample(24), b = sample(24);
    TVXFileCrypter("").encryptData(a);
    const std::string zeros(4, '\0');
    b = reference(zeros, b);
    EXPECT_EQ(a, b);
    EXPECT_NE(a, sample(24));
}

TEST(FileCrypter, PassKeyGivesAsManyBytesAsItHasCharacters)
{
    EXPECT_EQ(TVXFileCrypter::keyBytesForPassKey("Ab3$xYz9Ab3$xYz9"), "Ab3$xYz9Ab3$xYz9");
    // "é" is one character and two UTF-8 bytes: only the first byte is key.
    EXPECT_EQ(TVXFileCrypter::keyBytesForPassKey("\xC3\xA9"), "\xC3");
    // "ü😀x": four UTF-16 units, so the first four of its seven bytes.
    EXPECT_EQ(TVXFileCrypter::keyBytesForPassKey("\xC3\xBC\xF0\x9F\x98\x80x"), "\xC3\xBC\xF0\x9F");
    // Not UTF-8: read as Mac OS Roman ("\x8E" is é) and keyed like "é".
    EXPECT_EQ(TVXFileCrypter::keyBytesForPassKey("\x8E"), "\xC3");

    std::string a = sample(16), b = sample(16);
    TVXFileCrypter("\xC3\xA9").encryptData(a);
    EXPECT_EQ(a, reference("\xC3", b));
}

TEST(FileCrypter, CopiedContextEnciphersAlike)
{
    BlowfishContext c;
    Blowfish_Init(c, "side-file-key", 13);
    const TVXFileCrypter fromContext(c);
    TVXFileCrypter fromKey("side-file-key");
    std::string a = sample(40), b = sample(40);
    fromContext.encryptData(a);
    fromKey.encryptData(b);
    EXPECT_EQ(a, b);

    TVXFileCrypter moved(std::move(fromKey));
    std::string d = sample(40);
    EXPECT_TRUE(moved.encryptData(d));
    EXPECT_EQ(d, a);
}
