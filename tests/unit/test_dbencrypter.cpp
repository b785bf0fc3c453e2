#include "crypto/AESEncrypter.h"
#include "crypto/DBEncrypter.h"
#include "crypto/DataBuf.h"

#include <gtest/gtest.h>

#include <QString>
#include <QStringList>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

struct Free {
    void operator()(char* p) const { free(p); }
};
using Owned = std::unique_ptr<char, Free>;

QByteArray bytes(const char* p, int n)
{
    return QByteArray(p, n);
}

bool allZero(const char* p, int n)
{
    for (int i = 0; i < n; ++i)
        if (p[i])
            return false;
    return true;
}

QByteArray aes128(const QByteArray& key16, QByteArray padded)
{
    CRijndael cipher;
    cipher.MakeKey(key16.constData(), CRijndael::sm_chain0, 16, 16);
    cipher.Encrypt(padded.constData(), padded.data(), size_t(padded.size()), CRijndael::ECB);
    return padded;
}

} // namespace

TEST(DBEncrypter, PaddedLengthsAndClosingZero)
{
    CDBEncrypter enc("key");
    const char plain[40] = "0123456789abcdef0123456789abcdef012345";
    const int cases[][2] = {{0, 0}, {1, 16}, {15, 16}, {16, 16}, {17, 32}, {32, 32}, {33, 48}};
    for (const auto& c : cases) {
        int len = c[0];
        Owned out(enc.Encrypt(plain, &len));
        ASSERT_TRUE(out);
        EXPECT_EQ(len, c[1]) << c[0];
        EXPECT_EQ(out.get()[len], '\0') << c[0];
        if (len > 0) {
            EXPECT_FALSE(allZero(out.get(), len));
        }
        EXPECT_EQ(enc.encryptBytes(bytes(plain, c[0])), bytes(out.get(), len));
    }
}

TEST(DBEncrypter, StoredBytesAreAes128EcbWithZeroPadding)
{
    // Known answers from an independent AES implementation.
    EXPECT_EQ(CDBEncrypter("secret").encryptBytes("hello").toHex(),
              "ec9f2e01fb48a810bc042287135f156a");
    // The key is cut by bytes, not characters: 18 UTF-8 bytes, the first 16 count.
    const QByteArray key = QString::fromUtf8("Master-Pässwörd!").toUtf8();
    const QByteArray value = QString::fromUtf8("Ålesund – café €").toUtf8();
    ASSERT_EQ(value.size(), 22);
    EXPECT_EQ(CDBEncrypter(key).encryptBytes(value).toHex(),
              "78ffa46975cee4da44a37f101739578814bb4c9719102978680e8a4dc9eb2045");
}

TEST(DBEncrypter, KeyTextIsCutOrPaddedWithBlanksTo16Bytes)
{
    EXPECT_EQ(CDBEncrypter::keyFromText(""), QByteArray(16, ' '));
    EXPECT_EQ(CDBEncrypter::keyFromText("abc"), QByteArray("abc") + QByteArray(13, ' '));
    EXPECT_EQ(CDBEncrypter::keyFromText("0123456789abcdefWXYZ"), QByteArray("0123456789abcdef"));

    const QByteArray value = "a value of some length";
    QByteArray padded = value;
    padded.append(QByteArray(32 - value.size(), '\0'));

    EXPECT_EQ(CDBEncrypter("").encryptBytes(value), aes128(QByteArray(16, ' '), padded));
    EXPECT_EQ(CDBEncrypter("0123456789abcdefWXYZ").encryptBytes(value),
              CDBEncrypter("0123456789abcdef").encryptBytes(value));
    EXPECT_NE(CDBEncrypter("0123456789abcdef").encryptBytes(value),
              CDBEncrypter("0123456789abcdeX").encryptBytes(value));
    // A QByteArray key text reads like the C text.
    EXPECT_EQ(CDBEncrypter(QByteArray("short")).encryptBytes(value),
              CDBEncrypter("short").encryptBytes(value));
}

TEST(DBEncrypter, SameTextSameKeyGivesSameBytes)
{
    CDBEncrypter a("master"), b("master");
    EXPECT_EQ(a.encryptBytes("Group name"), b.encryptBytes("Group name"));
    EXPECT_EQ(a.encryptBytes("Group name"), a.encryptBytes("Group name"));
    EXPECT_NE(a.encryptBytes("Group name"), a.encryptBytes("Group Name"));
}

TEST(DBEncrypter, RoundTripKeepsMultiByteTextWhole)
{
    CDBEncrypter enc("Pässwörd");
    const QStringList values = {
        QString(),
        QStringLiteral("x"),
        QString::fromUtf8("éééééééé"),  // 8 characters, 16 bytes
        QString::fromUtf8("ééééééééé"), // 9 characters, 18 bytes
        QString::fromUtf8("Ålesund – café € 日本語 🙂"),
        QString(300, QChar(0x00e4)),
    };
    for (const QString& v : values) {
        const QByteArray utf8 = v.toUtf8();
        const QByteArray cipher = enc.encryptBytes(utf8);
        EXPECT_EQ(cipher.size(), (utf8.size() + 15) / 16 * 16) << v.toStdString();
        EXPECT_EQ(QString::fromUtf8(enc.decryptBytes(cipher)), v);

        int len = int(utf8.size());
        Owned c(enc.Encrypt(utf8.constData(), &len));
        Owned p(enc.Decrypt(c.get(), len));
        EXPECT_EQ(QString::fromUtf8(p.get()), v); // read as a NUL-ended text
    }
}

TEST(DBEncrypter, DecryptKeepsPaddingAndEndsWithZero)
{
    CDBEncrypter enc("k");
    int len = 5;
    Owned c(enc.Encrypt("hello", &len));
    ASSERT_EQ(len, 16);
    Owned p(enc.Decrypt(c.get(), 16));
    EXPECT_EQ(std::memcmp(p.get(), "hello", 5), 0);
    EXPECT_TRUE(allZero(p.get() + 5, 12)); // padding and the closing zero
}

TEST(DBEncrypter, UndecipherableInputReadsAsEmptyText)
{
    CDBEncrypter enc("k");
    const QByteArray good = enc.encryptBytes("a secret");
    Owned fifteen(enc.Decrypt(good.constData(), 15));
    EXPECT_TRUE(allZero(fifteen.get(), 16));
    Owned null(enc.Decrypt(nullptr, 16));
    EXPECT_TRUE(allZero(null.get(), 17));
    Owned empty(enc.Decrypt(good.constData(), 0));
    EXPECT_EQ(empty.get()[0], '\0');
    Owned negative(enc.Decrypt(good.constData(), -4));
    EXPECT_EQ(negative.get()[0], '\0');

    EXPECT_TRUE(enc.decryptBytes(good.left(15)).isEmpty());
    EXPECT_TRUE(enc.decryptBytes(QByteArray()).isEmpty());
    EXPECT_EQ(enc.decryptBytes(good), "a secret");
}

TEST(DBEncrypter, WithoutKeyGivesZerosAndEmptyTextWithoutFailing)
{
    CDBEncrypter none(nullptr);
    EXPECT_FALSE(none.IsKeyInit());
    int len = 20;
    Owned c;
    ASSERT_NO_THROW(c.reset(none.Encrypt("twenty bytes of text", &len)));
    EXPECT_EQ(len, 32);
    EXPECT_TRUE(allZero(c.get(), 33));
    EXPECT_EQ(none.encryptBytes("twenty bytes of text"), QByteArray(32, '\0'));

    const QByteArray cipher = CDBEncrypter("k").encryptBytes("text");
    Owned p;
    ASSERT_NO_THROW(p.reset(none.Decrypt(cipher.constData(), 16)));
    EXPECT_TRUE(allZero(p.get(), 17));
    EXPECT_TRUE(none.decryptBytes(cipher).isEmpty());

    // Re-keying with no text drops the old key instead of keeping it.
    CDBEncrypter enc("k");
    EXPECT_EQ(enc.Init(nullptr), 0);
    EXPECT_TRUE(enc.decryptBytes(cipher).isEmpty());
    EXPECT_EQ(enc.Init("k"), 1);
    EXPECT_EQ(enc.decryptBytes(cipher), "text");
}

TEST(DBEncrypter, NullInputGivesZerosOfThePaddedLength)
{
    CDBEncrypter enc("k");
    int len = 3;
    Owned c(enc.Encrypt(nullptr, &len));
    EXPECT_EQ(len, 16);
    EXPECT_TRUE(allZero(c.get(), 17));
}

TEST(DBEncrypter, OneEncrypterServesSeveralThreads)
{
    const CDBEncrypter enc("shared key");
    std::vector<QByteArray> plain, expected;
    for (int i = 0; i < 200; ++i) {
        plain.push_back(QByteArray::number(i).repeated(i % 9 + 1));
        expected.push_back(enc.encryptBytes(plain.back()));
    }
    std::vector<int> mismatches(4, 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            for (int round = 0; round < 50; ++round)
                for (size_t i = 0; i < plain.size(); ++i)
                    if (enc.encryptBytes(plain[i]) != expected[i]
                        || enc.decryptBytes(expected[i]) != plain[i])
                        ++mismatches[size_t(t)];
        });
    for (auto& th : threads)
        th.join();
    EXPECT_EQ(mismatches, std::vector<int>(4, 0));
}

TEST(AESEncrypter, PadsTo24AndKeepsPaddingOnTheWayBack)
{
    CAESEncrypter aes;
    const char data[] = "twenty-five bytes of data";
    ASSERT_EQ(std::strlen(data), 25u);
    int len = 25;
    Owned c(aes.Encrypt("0123456789ABCDEF", data, &len));
    ASSERT_TRUE(c);
    EXPECT_EQ(len, 48);
    EXPECT_EQ(c.get()[48], '\0');

    Owned p(aes.Decrypt("0123456789ABCDEF", c.get(), 48));
    ASSERT_TRUE(p);
    EXPECT_EQ(std::memcmp(p.get(), data, 25), 0);
    EXPECT_TRUE(allZero(p.get() + 25, 24)); // 23 padding bytes and the closing zero
}

TEST(AESEncrypter, KeyIsTextFollowedByZeroBytes)
{
    const std::string data(24, 'd');
    auto reference = [&](const std::string& key24) {
        CRijndael cipher;
        cipher.MakeKey(key24.data(), nullptr, 24, 24);
        std::string out(24, '\0');
        cipher.Encrypt(data.data(), out.data(), 24, CRijndael::ECB);
        return out;
    };
    CAESEncrypter aes;
    int len = 24;
    Owned c(aes.Encrypt("0123456789ABCDEF", data.data(), &len));
    EXPECT_EQ(std::string(c.get(), 24), reference("0123456789ABCDEF" + std::string(8, '\0')));

    len = 24;
    c.reset(aes.Encrypt("0123456789ABCDEFGHIJKLMNopqrst", data.data(), &len));
    EXPECT_EQ(std::string(c.get(), 24), reference("0123456789ABCDEFGHIJKLMN"));
}

TEST(AESEncrypter, NothingToDoGivesNull)
{
    CAESEncrypter aes;
    int len = 0;
    EXPECT_EQ(aes.Encrypt("key", "data", &len), nullptr);
    EXPECT_EQ(len, 0);
    len = 4;
    EXPECT_EQ(aes.Encrypt("key", nullptr, &len), nullptr);
    EXPECT_EQ(len, 4);
    EXPECT_EQ(aes.Decrypt("key", nullptr, 24), nullptr);
    EXPECT_EQ(aes.Decrypt("key", "data", 0), nullptr);
}

TEST(AESEncrypter, CipherFailuresReachTheCaller)
{
    CAESEncrypter aes;
    const std::string thirty(30, 'x');
    EXPECT_THROW(aes.Decrypt("key", thirty.data(), 30), std::exception);
    int len = 4;
    EXPECT_THROW(aes.Encrypt(nullptr, "data", &len), std::exception);
    EXPECT_EQ(len, 4);
}

TEST(DataBuf, StreamYieldsExactlyTheBytesThenEnd)
{
    char* raw = static_cast<char*>(malloc(5));
    std::memcpy(raw, "a\0b\xff" "c", 5);
    DataBuf buf(raw, 5);
    EXPECT_EQ(buf.size(), 5u);
    BinaryStream in(&buf);

    // Read the way a BLOB setter does: fixed chunks until end of file.
    std::string got;
    char chunk[3];
    while (in.read(chunk, sizeof chunk) || in.gcount() > 0)
        got.append(chunk, size_t(in.gcount()));
    EXPECT_EQ(got, std::string("a\0b\xff" "c", 5));
    EXPECT_TRUE(in.eof());
    EXPECT_EQ(in.get(), std::char_traits<char>::eof());
}

TEST(DataBuf, PlainInputStreamReadsAlikeAndWritingFails)
{
    DataBuf buf(QByteArray("hello"));
    std::istream in(&buf);
    std::ostringstream all;
    all << in.rdbuf();
    EXPECT_EQ(all.str(), "hello");

    DataBuf other(QByteArray("x"));
    std::ostream out(&other);
    out << "y";
    EXPECT_TRUE(out.fail());
}

TEST(DataBuf, DefaultAndEmptyBuffersReadAsEmpty)
{
    DataBuf none;
    EXPECT_EQ(none.size(), 0u);
    BinaryStream a(&none);
    EXPECT_EQ(a.get(), std::char_traits<char>::eof());

    DataBuf empty{QByteArray()};
    BinaryStream b(&empty);
    EXPECT_EQ(b.get(), std::char_traits<char>::eof());

    DataBuf nullBytes(nullptr, 7);
    EXPECT_EQ(nullBytes.size(), 0u);
}

TEST(DataBuf, CarriesCipherBytesToTheStatement)
{
    CDBEncrypter enc("master");
    const QByteArray value = QString::fromUtf8("Grüße").toUtf8();
    int len = int(value.size());
    char* cipher = enc.Encrypt(value.constData(), &len);
    auto* buf = new DataBuf(cipher, size_t(len));
    auto* stream = new BinaryStream(buf);
    std::string blob((std::istreambuf_iterator<char>(*stream)), std::istreambuf_iterator<char>());
    delete stream;
    delete buf;
    ASSERT_EQ(blob.size(), 16u);
    EXPECT_EQ(enc.decryptBytes(QByteArray(blob.data(), int(blob.size()))), value);
}
