#include "interchange/Blowfish.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

std::vector<unsigned char> fromHex(const std::string& hex)
{
    std::vector<unsigned char> bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        bytes.push_back(static_cast<unsigned char>(std::stoul(hex.substr(i, 2), nullptr, 16)));
    return bytes;
}

void toWords(const std::vector<unsigned char>& b, uint32_t w[2])
{
    w[0] = (uint32_t(b[0]) << 24) | (uint32_t(b[1]) << 16) | (uint32_t(b[2]) << 8) | b[3];
    w[1] = (uint32_t(b[4]) << 24) | (uint32_t(b[5]) << 16) | (uint32_t(b[6]) << 8) | b[7];
}

BlowfishContext keyed(const std::vector<unsigned char>& key)
{
    BlowfishContext c;
    Blowfish_Init(c, key.data(), key.size());
    return c;
}

struct Triple {
    const char* key;
    const char* plain;
    const char* cipher;
};

// Eric Young's ECB test data.
const Triple kEcbVectors[] = {
    {"0000000000000000", "0000000000000000", "4EF997456198DD78"},
    {"FFFFFFFFFFFFFFFF", "FFFFFFFFFFFFFFFF", "51866FD5B85ECB8A"},
    {"3000000000000000", "1000000000000001", "7D856F9A613063F2"},
    {"1111111111111111", "1111111111111111", "2466DD878B963C9D"},
    {"0123456789ABCDEF", "1111111111111111", "61F9C3802281B096"},
    {"1111111111111111", "0123456789ABCDEF", "7D0CC630AFDA1EC7"},
    {"0000000000000000", "0000000000000000", "4EF997456198DD78"},
    {"FEDCBA9876543210", "0123456789ABCDEF", "0ACEAB0FC6A0A28D"},
    {"7CA110454A1A6E57", "01A1D6D039776742", "59C68245EB05282B"},
    {"0131D9619DC1376E", "5CD54CA83DEF57DA", "B1B8CC0B250F09A0"},
    {"07A1133E4A0B2686", "0248D43806F67172", "1730E5778BEA1DA4"},
    {"3849674C2602319E", "51454B582DDF440A", "A25E7856CF2651EB"},
    {"04B915BA43FEB5B6", "42FD443059577FA2", "353882B109CE8F1A"},
    {"0113B970FD34F2CE", "059B5E0851CF143A", "48F4D0884C379918"},
    {"0170F175468FB5E6", "0756D8E0774761D2", "432193B78951FC98"},
    {"43297FAD38E373FE", "762514B829BF486A", "13F04154D69D1AE5"},
    {"07A7137045DA2A16", "3BDD119049372802", "2EEDDA93FFD39C79"},
    {"04689104C2FD3B2F", "26955F6835AF609A", "D887E0393C2DA6E3"},
    {"37D06BB516CB7546", "164D5E404F275232", "5F99D04F5B163969"},
    {"1F08260D1AC2465E", "6B056E18759F5CCA", "4A057A3B24D3977B"},
    {"584023641ABA6176", "004BD6EF09176062", "452031C1E4FADA8E"},
    {"025816164629B007", "480D39006EE762F2", "7555AE39F59B87BD"},
    {"49793EBC79B3258F", "437540C8698F3CFA", "53C55F9CB49FC019"},
    {"4FB05E1515AB73A7", "072D43A077075292", "7A8E7BFA937E89A3"},
    {"49E95D6D4CA229BF", "02FE55778117F12A", "CF9C5D7A4986ADB5"},
    {"018310DC409B26D6", "1D9D5C5018F728C2", "D1ABB290658BC778"},
    {"1C587F1C13924FEF", "305532286D6F295A", "55CB3774D13EF201"},
    {"0101010101010101", "0123456789ABCDEF", "FA34EC4847B268B2"},
    {"1F1F1F1F0E0E0E0E", "0123456789ABCDEF", "A790795108EA3CAE"},
    {"E0FEE0FEF1FEF1FE", "0123456789ABCDEF", "C39E072D9FAC631D"},
    {"0000000000000000", "FFFFFFFFFFFFFFFF", "014933E0CDAFF6E4"},
    {"FFFFFFFFFFFFFFFF", "0000000000000000", "F21E9A77B71C49BC"},
    {"0123456789ABCDEF", "0000000000000000", "245946885754369A"},
    {"FEDCBA9876543210", "FFFFFFFFFFFFFFFF", "6B5C5A9C5D9E0A5A"},
};

// Eric Young's set-key data: keys of 1 to 24 bytes enciphering FEDCBA9876543210.
const char* const kSetKeySource = "F0E1D2C3B4A5968778695A4B3C2D1E0F0011223344556677";
const char* const kSetKeyCiphers[24] = {
    "F9AD597C49DB005E", "E91D21C1D961A6D6", "E9C2B70A1BC65CF3", "BE1E639408640F05",
    "B39E44481BDB1E6E", "9457AA83B1928C0D", "8BB77032F960629D", "E87A244E2CC85E82",
    "15750E7A4F4EC577", "122BA70B3AB64AE0", "3A833C9AFFC537F6", "9409DA87A90F6BF2",
    "884F80625060B8B4", "1F85031C19E11968", "79D9373A714CA34F", "93142887EE3BE15C",
    "03429E838CE2D14B", "A4299E27469FF67B", "AFD5AED1C1BC96A8", "10851C0E3858DA9F",
    "E6F51ED79B9DB21F", "64A6E14AFD36B46F", "80C7D7D45A5479AD", "05044B62FA52D080",
};

} // namespace

TEST(BlowfishVectors, EcbTestDataInWordForm)
{
    ASSERT_EQ(sizeof kEcbVectors / sizeof kEcbVectors[0], 34u);
    for (const auto& v : kEcbVectors) {
        SCOPED_TRACE(v.key);
        const BlowfishContext c = keyed(fromHex(v.key));
        uint32_t plain[2], cipher[2], out[2], back[2];
        toWords(fromHex(v.plain), plain);
        toWords(fromHex(v.cipher), cipher);
        Blowfish_Encrypt(c, plain, out);
        EXPECT_EQ(out[0], cipher[0]);
        EXPECT_EQ(out[1], cipher[1]);
        Blowfish_Decrypt(c, out, back);
        EXPECT_EQ(back[0], plain[0]);
        EXPECT_EQ(back[1], plain[1]);
    }
}

TEST(BlowfishVectors, EcbTestDataAsBytesIndependentOfByteOrder)
{
    for (const auto& v : kEcbVectors) {
        SCOPED_TRACE(v.key);
        const BlowfishContext c = keyed(fromHex(v.key));
        const auto plain = fromHex(v.plain);
        const auto cipher = fromHex(v.cipher);
        unsigned char out[8];
        BlowfishEncryptToBuffer(c, plain.data(), out, 8);
        EXPECT_EQ(0, std::memcmp(out, cipher.data(), 8));
        BlowfishDecryptToBuffer(c, out, out, 8);
        EXPECT_EQ(0, std::memcmp(out, plain.data(), 8));
    }
}

TEST(BlowfishVectors, SetKeyDataForKeysOf1To24Bytes)
{
    const auto source = fromHex(kSetKeySource);
    ASSERT_EQ(source.size(), 24u);
    const auto plain = fromHex("FEDCBA9876543210");
    for (std::size_t n = 1; n <= 24; ++n) {
        SCOPED_TRACE(n);
        BlowfishContext c;
        Blowfish_Init(c, source.data(), n);
        unsigned char out[8];
        BlowfishEncryptToBuffer(c, plain.data(), out, 8);
        EXPECT_EQ(0, std::memcmp(out, fromHex(kSetKeyCiphers[n - 1]).data(), 8));
    }
}

TEST(BlowfishKeys, EmptyKeyIsTheKeyOfZeroBytes)
{
    BlowfishContext empty, nullKey, fourZeros, oneZero;
    Blowfish_Init(empty, "", 0);
    Blowfish_Init(nullKey, nullptr, 0);
    const unsigned char zeros[4] = {0, 0, 0, 0};
    Blowfish_Init(fourZeros, zeros, 4);
    Blowfish_Init(oneZero, zeros, 1);
    EXPECT_EQ(0, std::memcmp(&empty, &fourZeros, sizeof empty));
    EXPECT_EQ(0, std::memcmp(&nullKey, &fourZeros, sizeof empty));
    EXPECT_EQ(0, std::memcmp(&oneZero, &fourZeros, sizeof empty));
    // The zero key is the one of the first published vector.
    const auto plain = fromHex("0000000000000000");
    unsigned char out[8];
    BlowfishEncryptToBuffer(empty, plain.data(), out, 8);
    EXPECT_EQ(0, std::memcmp(out, fromHex("4EF997456198DD78").data(), 8));
}

TEST(BlowfishKeys, OnlyTheFirst72KeyBytesCount)
{
    std::vector<unsigned char> key(100);
    for (std::size_t i = 0; i < key.size(); ++i)
        key[i] = static_cast<unsigned char>(i * 7 + 1);
    BlowfishContext k71, k72, k73, k100;
    Blowfish_Init(k71, key.data(), 71);
    Blowfish_Init(k72, key.data(), 72);
    Blowfish_Init(k73, key.data(), 73);
    Blowfish_Init(k100, key.data(), 100);
    EXPECT_EQ(0, std::memcmp(&k72, &k73, sizeof k72));
    EXPECT_EQ(0, std::memcmp(&k72, &k100, sizeof k72));
    EXPECT_NE(0, std::memcmp(&k71, &k72, sizeof k72));
}

TEST(BlowfishBuffers, RemainderIsLeftUntouched)
{
    const BlowfishContext c = keyed(fromHex("0123456789ABCDEF"));
    std::string data = "0123456789ABCDEFxyz";
    const std::string original = data;
    Blowfish(c, data.data(), data.size(), true);
    EXPECT_NE(data.substr(0, 16), original.substr(0, 16));
    EXPECT_EQ(data.substr(16), "xyz");
    Blowfish(c, data.data(), data.size(), false);
    EXPECT_EQ(data, original);

    std::string shortText = "1234567";
    Blowfish(c, shortText.data(), shortText.size(), true);
    EXPECT_EQ(shortText, "1234567");
}

TEST(BlowfishBuffers, InPlaceOutOfPlaceAndUnalignedAgree)
{
    const BlowfishContext c = keyed(fromHex("FEDCBA9876543210"));
    std::vector<unsigned char> plain(64);
    for (std::size_t i = 0; i < plain.size(); ++i)
        plain[i] = static_cast<unsigned char>(i * 13);

    std::vector<unsigned char> separate(64);
    BlowfishEncryptToBuffer(c, plain.data(), separate.data(), plain.size());

    std::vector<unsigned char> inPlace = plain;
    Blowfish(c, inPlace.data(), inPlace.size(), true);
    EXPECT_EQ(inPlace, separate);

    std::vector<unsigned char> storage(plain.size() + 3);
    unsigned char* odd = storage.data() + 3;
    std::memcpy(odd, plain.data(), plain.size());
    Blowfish(c, odd, plain.size(), true);
    EXPECT_EQ(0, std::memcmp(odd, separate.data(), plain.size()));
    BlowfishDecryptToBuffer(c, odd, odd, plain.size());
    EXPECT_EQ(0, std::memcmp(odd, plain.data(), plain.size()));
}

// ECB: every block enciphered alone, also far past 65535 bytes.
TEST(BlowfishBuffers, LongBufferIsEncipheredWhole)
{
    const BlowfishContext c = keyed(fromHex("7CA110454A1A6E57"));
    const std::size_t length = 70000;
    std::vector<unsigned char> data(length);
    for (std::size_t i = 0; i < length; ++i)
        data[i] = static_cast<unsigned char>(i % 251);
    std::vector<unsigned char> whole = data;
    Blowfish(c, whole.data(), whole.size(), true);
    for (std::size_t off = 0; off < length; off += 8) {
        unsigned char block[8];
        BlowfishEncryptToBuffer(c, data.data() + off, block, 8);
        ASSERT_EQ(0, std::memcmp(block, whole.data() + off, 8)) << "block at " << off;
    }
    Blowfish(c, whole.data(), whole.size(), false);
    EXPECT_EQ(whole, data);
}
