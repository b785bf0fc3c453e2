#include "interchange/TextEncoding.h"

#include "model/StringAdditions.h"

namespace {
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
    return char32_t(macOSRomanToUnicode(byte));
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
