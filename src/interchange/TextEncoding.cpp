#include "interchange/TextEncoding.h"

namespace {

// Mac OS Roman 0x80 to 0xFF (Apple's mapping, with the euro sign at 0xDB).
const char16_t kMacRomanHigh[128] = {
    0x00C4, 0x00C5, 0x00C7, 0x00C9, 0x00D1, 0x00D6, 0x00DC, 0x00E1,  // 80
    0x00E0, 0x00E2, 0x00E4, 0x00E3, 0x00E5, 0x00E7, 0x00E9, 0x00E8,  // 88
    0x00EA, 0x00EB, 0x00ED, 0x00EC, 0x00EE, 0x00EF, 0x00F1, 0x00F3,  // 90
    0x00F2, 0x00F4, 0x00F6, 0x00F5, 0x00FA, 0x00F9, 0x00FB, 0x00FC,  // 98
    0x2020, 0x00B0, 0x00A2, 0x00A3, 0x00A7, 0x2022, 0x00B6, 0x00DF,  // A0
    0x00AE, 0x00A9, 0x2122, 0x00B4, 0x00A8, 0x2260, 0x00C6, 0x00D8,  // A8
    0x221E, 0x00B1, 0x2264, 0x2265, 0x00A5, 0x00B5, 0x2202, 0x2211,  // B0
    0x220F, 0x03C0, 0x222B, 0x00AA, 0x00BA, 0x03A9, 0x00E6, 0x00F8,  // B8
    0x00BF, 0x00A1, 0x00AC, 0x221A, 0x0192, 0x2248, 0x2206, 0x00AB,  // C0
    0x00BB, 0x2026, 0x00A0, 0x00C0, 0x00C3, 0x00D5, 0x0152, 0x0153,  // C8
    0x2013, 0x2014, 0x201C, 0x201D, 0x2018, 0x2019, 0x00F7, 0x25CA,  // D0
    0x00FF, 0x0178, 0x2044, 0x20AC, 0x2039, 0x203A, 0xFB01, 0xFB02,  // D8
    0x2021, 0x00B7, 0x201A, 0x201E, 0x2030, 0x00C2, 0x00CA, 0x00C1,  // E0
    0x00CB, 0x00C8, 0x00CD, 0x00CE, 0x00CF, 0x00CC, 0x00D3, 0x00D4,  // E8
    0xF8FF, 0x00D2, 0x00DA, 0x00DB, 0x00D9, 0x0131, 0x02C6, 0x02DC,  // F0
    0x00AF, 0x02D8, 0x02D9, 0x02DA, 0x00B8, 0x02DD, 0x02DB, 0x02C7,  // F8
};

bool isContinuation(unsigned char c) { return (c & 0xC0) == 0x80; }

} // namespace

std::size_t UTF8SequenceLength(std::string_view text)
{
    if (text.empty())
        return 0;
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t avail = text.size();
    const unsigned char c = p[0];
    if (c < 0x80)
        return 1;
    std::size_t length = 0;
    unsigned char low = 0x80, high = 0xBF; // allowed range of the second byte
    if (c >= 0xC2 && c <= 0xDF) {
        length = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
        length = 3;
        if (c == 0xE0) low = 0xA0;      // overlong
        else if (c == 0xED) high = 0x9F; // surrogates
    } else if (c >= 0xF0 && c <= 0xF4) {
        length = 4;
        if (c == 0xF0) low = 0x90;      // overlong
        else if (c == 0xF4) high = 0x8F; // beyond U+10FFFF
    } else {
        return 0;
    }
    if (avail < length || p[1] < low || p[1] > high)
        return 0;
    for (std::size_t i = 2; i < length; ++i)
        if (!isContinuation(p[i]))
            return 0;
    return length;
}

bool IsValidUTF8(std::string_view bytes)
{
    while (!bytes.empty()) {
        const std::size_t n = UTF8SequenceLength(bytes);
        if (n == 0)
            return false;
        bytes.remove_prefix(n);
    }
    return true;
}

char32_t MacRomanToUnicode(unsigned char byte)
{
    return byte < 0x80 ? char32_t(byte) : char32_t(kMacRomanHigh[byte - 0x80]);
}

void AppendUTF8(std::string& out, char32_t c)
{
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xC0 | (c >> 6));
        out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += char(0xE0 | (c >> 12));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    } else {
        out += char(0xF0 | (c >> 18));
        out += char(0x80 | ((c >> 12) & 0x3F));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    }
}

std::string MacRomanToUTF8(std::string_view bytes)
{
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 2);
    for (const char b : bytes)
        AppendUTF8(out, MacRomanToUnicode(static_cast<unsigned char>(b)));
    return out;
}

std::string DecodeTextBytes(std::string_view bytes)
{
    if (IsValidUTF8(bytes))
        return std::string(bytes);
    return MacRomanToUTF8(bytes);
}

std::size_t UTF8CutLength(std::string_view text, std::size_t maxBytes)
{
    if (maxBytes >= text.size())
        return text.size();
    std::size_t pos = 0;
    while (pos < maxBytes) {
        std::size_t n = UTF8SequenceLength(text.substr(pos));
        if (n == 0)
            n = 1;
        if (pos + n > maxBytes)
            break;
        pos += n;
    }
    return pos;
}

std::size_t UTF16Length(std::string_view utf8)
{
    std::size_t units = 0;
    while (!utf8.empty()) {
        std::size_t n = UTF8SequenceLength(utf8);
        if (n == 0)
            n = 1;
        units += (n == 4) ? 2 : 1;
        utf8.remove_prefix(n);
    }
    return units;
}
