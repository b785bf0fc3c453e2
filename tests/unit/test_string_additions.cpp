#include "model/StringAdditions.h"
#include "store/session/StatementHelpers.h"

#include <gtest/gtest.h>

#include <QSet>

#include <random>

#include <sstream>

TEST(StringAdditions, ValidUtf8IsReadAsUtf8)
{
    EXPECT_EQ(stringWithSpecialCharacters("caf\xC3\xA9"), QString::fromUtf8("café"));
    EXPECT_EQ(stringWithSpecialCharacters("plain"), QStringLiteral("plain"));
    EXPECT_EQ(stringWithSpecialCharacters(""), QString());
    EXPECT_TRUE(stringWithSpecialCharacters(nullptr).isEmpty());
}

TEST(StringAdditions, TextThatIsNotUtf8IsReadAsMacOSRoman)
{
    // Latin-1 "café" and "été": 0xE9 is È in Mac OS Roman.
    EXPECT_EQ(stringWithSpecialCharacters("caf\xE9"), QString::fromUtf8("cafÈ"));
    EXPECT_EQ(stringWithSpecialCharacters("\xE9t\xE9"), QString::fromUtf8("ÈtÈ"));
    // A sequence cut off at the end is not valid UTF-8 either.
    EXPECT_EQ(stringWithSpecialCharacters("abc\xC3"), QString::fromUtf8("abc√"));
    // Neither is an encoded surrogate.
    EXPECT_EQ(stringWithSpecialCharacters("\xED\xA0\x80"), QString::fromUtf8("Ì†Ä"));
}

TEST(StringAdditions, MacOSRomanTable)
{
    for (int b = 0; b < 0x80; ++b)
        EXPECT_EQ(macOSRomanToUnicode(uint8_t(b)), char16_t(b));
    EXPECT_EQ(macOSRomanToUnicode(0x80), u'Ä');
    EXPECT_EQ(macOSRomanToUnicode(0x8E), u'é');
    EXPECT_EQ(macOSRomanToUnicode(0xA5), u'•');
    EXPECT_EQ(macOSRomanToUnicode(0xAA), u'™');
    EXPECT_EQ(macOSRomanToUnicode(0xCA), u'\u00A0');
    EXPECT_EQ(macOSRomanToUnicode(0xDB), u'€');
    EXPECT_EQ(macOSRomanToUnicode(0xDE), u'ﬁ');
    EXPECT_EQ(macOSRomanToUnicode(0xF0), u'\uF8FF');
    EXPECT_EQ(macOSRomanToUnicode(0xF5), u'ı');
    EXPECT_EQ(macOSRomanToUnicode(0xFF), u'ˇ');

    // One character per byte, no two bytes alike.
    QSet<char16_t> seen;
    for (int b = 0; b < 256; ++b)
        seen.insert(macOSRomanToUnicode(uint8_t(b)));
    EXPECT_EQ(seen.size(), 256);
    const std::string bytes("\x00\x41\xE9", 3);
    EXPECT_EQ(stringWithMacOSRoman(bytes), QString(QChar(0)) + QString::fromUtf8("AÈ"));
}

TEST(StringAdditions, IPv4Addresses)
{
    EXPECT_TRUE(isvalidIPv4Address(QStringLiteral("192.168.0.1")));
    EXPECT_TRUE(isvalidIPv4Address(QStringLiteral("127.0.0.1")));
    EXPECT_TRUE(isvalidIPv4Address(QStringLiteral("255.255.255.255")));
    EXPECT_TRUE(isvalidIPv4Address(QStringLiteral("0.0.0.0")));

    EXPECT_FALSE(isvalidIPv4Address(QStringLiteral("256.1.1.1")));
    EXPECT_FALSE(isvalidIPv4Address(QStringLiteral("1.2.3")));
    EXPECT_FALSE(isvalidIPv4Address(QStringLiteral("1.2.3.4.5")));
    EXPECT_FALSE(isvalidIPv4Address(QStringLiteral("localhost")));
    EXPECT_FALSE(isvalidIPv4Address(QStringLiteral("::1")));
    EXPECT_FALSE(isvalidIPv4Address(QStringLiteral(" 1.2.3.4")));
    EXPECT_FALSE(isvalidIPv4Address(QString()));
    // Text after an embedded NUL still counts.
    EXPECT_FALSE(isvalidIPv4Address(QStringLiteral("1.2.3.4") + QChar(0) + QStringLiteral("junk")));
}

TEST(StringAdditions, StandardStringsAndStreams)
{
    EXPECT_EQ(stringWithSTDString("d\xC3\xA9j\xC3\xA0"), QString::fromUtf8("déjà"));
    EXPECT_EQ(stringWithSTDString(std::string("a\0b", 3)).size(), 3);

    std::istringstream stream("  h\xC3\xA9llo\tworld\n");
    EXPECT_EQ(stringWithSTDStreamPtr(&stream), QString::fromUtf8("héllo"));
    EXPECT_EQ(stringWithSTDStreamPtr(&stream), QStringLiteral("world"));
    EXPECT_TRUE(stringWithSTDStreamPtr(&stream).isEmpty());
    EXPECT_TRUE(stringWithSTDStreamPtr(nullptr).isEmpty());
}

TEST(StringAdditions, StorableTextReadsBackAsTypedAndKeepsEverythingElse)
{
    const QChar high(0xD83D), low(0xDE00), mark(0xFEFF);
    EXPECT_EQ(storableText(QString(mark) + "bank"), "bank");
    EXPECT_EQ(storableText(QString("a") + mark + "b"), QString("a") + mark + "b") << "only a leading mark is lost";
    EXPECT_EQ(storableText(QString("a") + high + "b" + low + "c" + QChar(0) + "d"), "abcd");
    EXPECT_EQ(storableText(QString("a") + high + low), QString("a") + high + low) << "a pair is one character";
    EXPECT_EQ(storableText(QString(mark) + QChar(0) + mark + "x"), "x") << "no mark is left leading";
    const QString plain = QString::fromUtf8("Grüße \u65e5\u672c");
    EXPECT_TRUE(storableText(plain).isSharedWith(plain)) << "a storable text is not copied";

    // Whatever is typed, what is left is what the store's writers accept.
    std::mt19937 rng(3);
    const char16_t pool[] = {u'a', u'\0', 0xFEFF, 0xD800, 0xDBFF, 0xDC00, 0xDFFF, u'\u00e9', u' '};
    for (int round = 0; round < 2000; ++round) {
        QString text;
        for (int n = int(rng() % 8); n > 0; --n)
            text.append(QChar(pool[rng() % std::size(pool)]));
        const QString kept = storableText(text);
        EXPECT_TRUE(tvxsql::readsBackAsWritten(kept)) << round;
        EXPECT_LE(kept.size(), text.size());
    }
}
