#include "model/StringAdditions.h"

#include <gtest/gtest.h>

#include <QSet>

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
