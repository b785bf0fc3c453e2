#include "interchange/TextEncoding.h"
#include "interchange/TextParsing.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Reads n fields of one line the way the file readers do: a line that ends
// early gives empty fields, and the next line is never entered.
const char* readFields(const char* pos, std::size_t n, std::vector<std::string>& out)
{
    out.clear();
    for (std::size_t i = 0; i < n; ++i) {
        std::string field;
        if (!AtLineEnd(pos))
            pos = GetNextField(pos, field);
        out.push_back(field);
    }
    return pos;
}

std::string writeLine(const std::vector<std::string>& values)
{
    std::string line;
    for (std::size_t i = 0; i < values.size(); ++i) {
        EXPECT_TRUE(FormatCSVField(values[i], line));
        if (i + 1 < values.size())
            line += ',';
    }
    line += '\r';
    return line;
}

// More than 10,000 bytes of everything a field can hold.
std::string longText()
{
    std::string text;
    int i = 0;
    while (text.size() < 10000) {
        text += "line " + std::to_string(i++) + ", \"quoted\" caf\xC3\xA9 \xE6\x97\xA5\xE6\x9C\xAC "
                "\xD0\x9F\xD1\x80\xD0\xB8 \xF0\x9F\x94\x91\r";
    }
    return text;
}

} // namespace

TEST(TextParsingFields, RoundTripOfAwkwardValues)
{
    const std::vector<std::string> values = {
        "plain",
        "comma, inside",
        "say \"hello\"",
        "\"",
        ",",
        "first line\rsecond line",
        "\r",
        "  two leading blanks",
        "\tleading tab",
        "trailing blanks  ",
        "",
        "Cr\xC3\xA8me br\xC3\xBBl\xC3\xA9" "e, \xC3\x85ngstr\xC3\xB6m",
        "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E \xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82 "
        "\xCE\xB1\xCE\xB2\xCE\xB3 \xD8\xB9\xD8\xB1\xD8\xA8\xD9\x8A",
        "emoji \xF0\x9F\x94\x91",
        "",
        longText(),
        "",
    };
    const std::string file = writeLine(values) + writeLine(values);
    std::vector<std::string> back;
    const char* pos = file.c_str();
    for (int line = 0; line < 2; ++line) {
        pos = SkipReturns(pos);
        pos = readFields(pos, values.size(), back);
        ASSERT_EQ(back.size(), values.size());
        for (std::size_t i = 0; i < values.size(); ++i)
            EXPECT_EQ(back[i], values[i]) << "line " << line << " field " << i;
        EXPECT_TRUE(AtLineEnd(pos));
    }
    EXPECT_EQ(*SkipReturns(pos), '\0');
}

TEST(TextParsingFields, WriterQuotesOnlyWhereNeeded)
{
    auto format = [](std::string_view text) {
        std::string out;
        FormatCSVField(text, out);
        return out;
    };
    EXPECT_EQ(format("plain text"), "plain text");
    EXPECT_EQ(format(""), "");
    EXPECT_EQ(format("a,b"), "\"a,b\"");
    EXPECT_EQ(format("say \"hi\""), "\"say \"\"hi\"\"\"");
    EXPECT_EQ(format("a\rb"), "\"a\rb\"");
    EXPECT_EQ(format("  x"), "\"  x\"");
    EXPECT_EQ(format("x  "), "x  ");
    // Line feeds are dropped; CR LF keeps its CR.
    EXPECT_EQ(format("a\nb"), "ab");
    EXPECT_EQ(format("a\r\nb"), "\"a\rb\"");
    // The text ends at a zero byte; bytes that would make the file binary go.
    EXPECT_EQ(format(std::string_view("ab\0cd", 5)), "ab");
    EXPECT_EQ(format("a\x07" "b\x1D" "c"), "ab\x1D" "c");
    const std::string out = format("bell\x01\x02\x1B");
    EXPECT_TRUE(IsTextFile(out));
}

TEST(TextParsingFields, ReaderRules)
{
    std::string f;
    // Leading white space is skipped; a bare field ends at comma or line end.
    const char* text = "  \t bare  ,next\r\nrest";
    const char* pos = GetNextField(text, f);
    EXPECT_EQ(f, "bare  ");
    pos = GetNextField(pos, f);
    EXPECT_EQ(f, "next");
    EXPECT_EQ(*pos, '\r');

    // After the comma, blanks are skipped but not line ends.
    pos = GetNextField("a,   \rb", f);
    EXPECT_EQ(f, "a");
    EXPECT_EQ(*pos, '\r');

    // In quotes: commas and CR belong to the value, LF is dropped, VT reads as CR.
    pos = GetNextField("\"x,\r\ny\vz\",after", f);
    EXPECT_EQ(f, "x,\ry\rz");
    GetNextField(pos, f);
    EXPECT_EQ(f, "after");

    // VT in a bare field reads as CR too.
    GetNextField("a\vb", f);
    EXPECT_EQ(f, "a\rb");

    // Empty fields between commas.
    std::vector<std::string> back;
    readFields("a,,\"\",d\r", 4, back);
    EXPECT_EQ(back, (std::vector<std::string>{"a", "", "", "d"}));

    // Malformed: a lone quote in a bare field is literal; text behind a
    // closing quote stays with its field, so later fields keep their places.
    readFields("ab\"c,\"q\"tail,\"r\"  ,z\r", 4, back);
    EXPECT_EQ(back, (std::vector<std::string>{"ab\"c", "qtail", "r", "z"}));

    // An unclosed quote runs to the end of the text.
    pos = GetNextField("\"open, never closed", f);
    EXPECT_EQ(f, "open, never closed");
    EXPECT_EQ(*pos, '\0');

    // Reading the buffer being read into is safe.
    std::string self = "\"one\",two";
    GetNextField(self.c_str(), self);
    EXPECT_EQ(self, "one");
}

TEST(TextParsingFields, LengthLimitCutIsReportedAndWholeCharacters)
{
    // "a" then é (2 bytes), 日 (3 bytes), 🔑 (4 bytes), a quote, then "z".
    const std::string text = "a\xC3\xA9\xE6\x97\xA5\xF0\x9F\x94\x91\"z";
    for (std::size_t max = 0; max <= 20; ++max) {
        SCOPED_TRACE(max);
        std::string out;
        const bool whole = FormatCSVField(text, out, max);
        EXPECT_LE(out.size(), max);
        EXPECT_EQ(whole, out == "\"a\xC3\xA9\xE6\x97\xA5\xF0\x9F\x94\x91\"\"z\"");
        EXPECT_TRUE(IsValidUTF8(out));
        if (out.empty()) {
            EXPECT_LT(max, 3u); // the quotes and "a" fit from 3 on
            continue;
        }
        std::string back;
        GetNextField(out.c_str(), back);
        EXPECT_EQ(text.compare(0, back.size(), back), 0) << "not a prefix";
        EXPECT_TRUE(IsValidUTF8(back));
    }
    // A doubled quote is never split: at 13 bytes only one byte of it would fit.
    std::string out;
    EXPECT_FALSE(FormatCSVField(text, out, 13));
    EXPECT_EQ(out, "\"a\xC3\xA9\xE6\x97\xA5\xF0\x9F\x94\x91\"");

    // Unquoted text of a ten-thousand-byte field, cut exactly.
    const std::string big = longText();
    std::string bare;
    std::string plain(big);
    for (char& c : plain)
        if (c == ',' || c == '"' || c == '\r')
            c = '.';
    EXPECT_FALSE(FormatCSVField(plain, bare, 4095));
    EXPECT_LE(bare.size(), 4095u);
    EXPECT_GE(bare.size(), 4092u);
    EXPECT_TRUE(IsValidUTF8(bare));
    EXPECT_EQ(plain.compare(0, bare.size(), bare), 0);
}

TEST(TextParsingFields, ReadingLimitReportsCutAndConsumesTheField)
{
    const std::string line = "\"\xC3\xA9\xC3\xA9\xC3\xA9, more\",next\r";
    std::string f;
    bool cut = false;
    const char* pos = GetNextField(line.c_str(), f, 5, &cut);
    EXPECT_TRUE(cut);
    EXPECT_EQ(f, "\xC3\xA9\xC3\xA9");
    pos = GetNextField(pos, f, 5, &cut);
    EXPECT_FALSE(cut);
    EXPECT_EQ(f, "next");

    // Not UTF-8 (Mac OS Roman bytes): cut at the limit itself.
    GetNextField("\x8E\x8F\x90\x91", f, 3, &cut);
    EXPECT_TRUE(cut);
    EXPECT_EQ(f, "\x8E\x8F\x90");
}

TEST(TextParsingNumbers, NumbersBooleansAndHex)
{
    long n = -1;
    const char* pos = ReadNumber("42,  -7,x9,,\r", n);
    EXPECT_EQ(n, 42);
    pos = ReadNumber(pos, n);
    EXPECT_EQ(n, -7);
    pos = ReadNumber(pos, n);
    EXPECT_EQ(n, 0);
    pos = ReadNumber(pos, n);
    EXPECT_EQ(n, 0);
    EXPECT_EQ(*pos, '\r');

    bool flag = false;
    pos = ReadBool("T,F,True,t,\"T\",", flag);
    EXPECT_TRUE(flag);
    pos = ReadBool(pos, flag);
    EXPECT_FALSE(flag);
    pos = ReadBool(pos, flag);
    EXPECT_TRUE(flag);
    pos = ReadBool(pos, flag);
    EXPECT_FALSE(flag);
    ReadBool(pos, flag);
    EXPECT_TRUE(flag);

    std::string line;
    WriteBool(line, true, true);
    WriteNumber(line, 31, true);
    WriteNumber(line, -1024, false);
    WriteString(line, ",end");
    EXPECT_EQ(line, "T,31,-1024,end");

    std::string hex;
    const unsigned char bytes[] = {0x00, 0x0F, 0xA5, 0xFF};
    WriteHexBytes(hex, bytes, 4, true);
    EXPECT_EQ(hex, "000FA5FF,");

    std::string back;
    ReadHexBytes(" \t000FA5FF,", back);
    EXPECT_EQ(back, std::string("\x00\x0F\xA5\xFF", 4));
    ReadHexBytes("0a1B", back);
    EXPECT_TRUE(back.empty());
    pos = ReadHexBytes("1B2", back);
    EXPECT_EQ(back, "\x1B");
    EXPECT_EQ(*pos, '\0');
    // In place, as the encrypted fields are read.
    std::string field = "414243";
    ReadHexBytes(field.c_str(), field);
    EXPECT_EQ(field, "ABC");
}

TEST(TextParsingLines, SkippingAndLineReading)
{
    const char* text = "first line\r\n\r\nsecond\rthird\n\n";
    EXPECT_EQ(std::string(SkipLine(text)), "second\rthird\n\n");
    EXPECT_EQ(std::string(SkipReturns("\r\n\r\nx")), "x");
    EXPECT_EQ(std::string(SkipWhiteSp(" \t\v\f\r\n x")), "x");
    EXPECT_EQ(std::string(SkipWhiteSp(" \t\r\n x", true)), "\r\n x");

    std::string line;
    const char* pos = GetNextLine("\r\n\r\nfirst\r\nsecond\rthird\n", line);
    EXPECT_EQ(line, "first");
    pos = GetNextLine(pos, line);
    EXPECT_EQ(line, "second");
    pos = GetNextLine(pos, line);
    EXPECT_EQ(line, "third");
    pos = GetNextLine(pos, line);
    EXPECT_EQ(line, "");
    EXPECT_EQ(*pos, '\0');

    // A long line is read whole; with a limit it is cut, reported, and still
    // consumed to its end.
    std::string big = longText();
    for (char& c : big)
        if (c == '\r')
            c = ' ';
    const std::string file = big + "\r\nnext";
    bool cut = true;
    pos = GetNextLine(file.c_str(), line, kNoLengthLimit, &cut);
    EXPECT_FALSE(cut);
    EXPECT_EQ(line, big);
    EXPECT_EQ(std::string(pos), "next");

    pos = GetNextLine(file.c_str(), line, 4000, &cut);
    EXPECT_TRUE(cut);
    EXPECT_LE(line.size(), 4000u);
    EXPECT_TRUE(IsValidUTF8(line));
    EXPECT_EQ(big.compare(0, line.size(), line), 0);
    EXPECT_EQ(std::string(pos), "next");
}

TEST(TextParsingLines, HeadersAndTextDetection)
{
    EXPECT_TRUE(HasHeader("Tolvanex Export File\rrest", "Tolvanex Export File"));
    EXPECT_FALSE(HasHeader("Tolvanex Export", "Tolvanex Export File"));
    EXPECT_TRUE(HasHeader("anything", ""));

    EXPECT_TRUE(IsTextFile("tab\tlf\ncr\rvt\vff\fgs\x1D high \xC3\xA9\xFF"));
    EXPECT_FALSE(IsTextFile("bell\x07"));
    EXPECT_FALSE(IsTextFile(std::string_view("nul\0", 4)));
    EXPECT_FALSE(IsTextFile("esc\x1B"));
}

TEST(TextParsingEncoding, InvalidUTF8IsReadAsMacRoman)
{
    const std::string utf8 = "caf\xC3\xA9 \xE6\x97\xA5 \xF0\x9F\x94\x91";
    EXPECT_TRUE(IsValidUTF8(utf8));
    EXPECT_EQ(DecodeTextBytes(utf8), utf8);

    // Mac OS Roman "café" and the international letters of the generator.
    EXPECT_EQ(DecodeTextBytes("caf\x8E"), "caf\xC3\xA9");
    EXPECT_EQ(DecodeTextBytes("\x8C\xBD\xC6\xDB"), "\xC3\xA5\xCE\xA9\xE2\x88\x86\xE2\x82\xAC");

    // Overlong forms, surrogates, stray continuations and cut sequences are
    // not UTF-8.
    for (const char* bad : {"\xC0\x80", "\xED\xA0\x80", "\x80", "\xE6\x97", "\xF4\x90\x80\x80"}) {
        EXPECT_FALSE(IsValidUTF8(bad)) << bad;
        EXPECT_TRUE(IsValidUTF8(DecodeTextBytes(bad)));
    }
    EXPECT_EQ(MacRomanToUnicode('A'), U'A');
    EXPECT_EQ(MacRomanToUnicode(0xF0), U'\xF8FF');
}

TEST(TextParsingEncoding, CutLengthsAndUTF16Lengths)
{
    const std::string text = "a\xC3\xA9\xF0\x9F\x94\x91";
    EXPECT_EQ(UTF8CutLength(text, 0), 0u);
    EXPECT_EQ(UTF8CutLength(text, 2), 1u);
    EXPECT_EQ(UTF8CutLength(text, 3), 3u);
    EXPECT_EQ(UTF8CutLength(text, 6), 3u);
    EXPECT_EQ(UTF8CutLength(text, 7), 7u);
    EXPECT_EQ(UTF8CutLength(text, 100), 7u);

    EXPECT_EQ(UTF16Length(""), 0u);
    EXPECT_EQ(UTF16Length("abc"), 3u);
    EXPECT_EQ(UTF16Length(text), 4u);
}
