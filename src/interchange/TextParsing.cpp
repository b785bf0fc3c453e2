#include "interchange/TextParsing.h"

#include "interchange/TextEncoding.h"

#include <cstdlib>
#include <utility>

namespace {

bool isWhiteSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\r' || c == '\n';
}

bool isHexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); }

int hexValue(char c) { return c <= '9' ? c - '0' : c - 'A' + 10; }

// Bytes a plain field may carry without the file reading as binary.
bool isTextByte(unsigned char c)
{
    return c >= 32 || c == 9 || c == 10 || c == 11 || c == 12 || c == 13 || c == 29;
}

void cutTo(std::string& value, std::size_t maxBytes, bool* wasCut)
{
    const bool cut = value.size() > maxBytes;
    if (cut)
        value.resize(UTF8CutLength(value, maxBytes));
    if (wasCut)
        *wasCut = cut;
}

} // namespace

const char* SkipWhiteSp(const char* pos, bool stopAtLineEnd)
{
    while (*pos != '\0' && isWhiteSpace(*pos)) {
        if (stopAtLineEnd && IsLineEndChar(*pos))
            break;
        ++pos;
    }
    return pos;
}

const char* SkipReturns(const char* pos)
{
    while (IsLineEndChar(*pos))
        ++pos;
    return pos;
}

const char* SkipLine(const char* pos)
{
    while (!AtLineEnd(pos))
        ++pos;
    return SkipReturns(pos);
}

const char* GetNextLine(const char* pos, std::string& out, std::size_t maxBytes, bool* wasCut)
{
    std::string line;
    while (*pos != '\0') {
        const char* start = pos;
        while (!AtLineEnd(pos))
            ++pos;
        line.assign(start, pos);
        if (*pos == '\r')
            ++pos;
        if (*pos == '\n')
            ++pos;
        if (!line.empty())
            break;
    }
    cutTo(line, maxBytes, wasCut);
    out = std::move(line);
    return pos;
}

const char* GetNextField(const char* pos, std::string& out, std::size_t maxBytes, bool* wasCut)
{
    std::string value;
    pos = SkipWhiteSp(pos, false);
    if (*pos == '"') {
        ++pos;
        for (;;) {
            const char c = *pos;
            if (c == '\0')
                break; // unterminated: the value runs to the end of the text
            if (c == '"') {
                if (pos[1] == '"') {
                    value += '"';
                    pos += 2;
                    continue;
                }
                ++pos;
                break;
            }
            if (c == '\v')
                value += '\r';
            else if (c != '\n')
                value += c;
            ++pos;
        }
        // Malformed tail behind the closing quote.
        std::string tail;
        bool onlyBlanks = true;
        while (*pos != '\0' && *pos != ',' && !IsLineEndChar(*pos)) {
            const char c = *pos++;
            if (c != ' ' && c != '\t')
                onlyBlanks = false;
            tail += (c == '\v') ? '\r' : c;
        }
        if (!onlyBlanks)
            value += tail;
    } else {
        while (*pos != '\0' && *pos != ',' && !IsLineEndChar(*pos)) {
            value += (*pos == '\v') ? '\r' : *pos;
            ++pos;
        }
    }
    if (*pos == ',') {
        ++pos;
        pos = SkipWhiteSp(pos, true);
    }
    cutTo(value, maxBytes, wasCut);
    out = std::move(value);
    return pos;
}

const char* ReadNumber(const char* pos, long& number)
{
    std::string field;
    pos = GetNextField(pos, field);
    number = std::strtol(field.c_str(), nullptr, 10); // clamps on overflow, 0 without digits
    return pos;
}

const char* ReadBool(const char* pos, bool& flag)
{
    std::string field;
    pos = GetNextField(pos, field);
    flag = !field.empty() && field[0] == 'T';
    return pos;
}

const char* ReadHexBytes(const char* pos, std::string& out)
{
    while (*pos == ' ' || *pos == '\t')
        ++pos;
    std::string bytes;
    while (isHexDigit(pos[0]) && isHexDigit(pos[1])) {
        bytes += static_cast<char>((hexValue(pos[0]) << 4) | hexValue(pos[1]));
        pos += 2;
    }
    if (isHexDigit(*pos))
        ++pos; // the odd last digit is consumed but gives no byte
    out = std::move(bytes);
    return pos;
}

bool HasHeader(std::string_view text, std::string_view header)
{
    return text.size() >= header.size() && text.substr(0, header.size()) == header;
}

bool IsTextFile(std::string_view text)
{
    for (const char c : text)
        if (!isTextByte(static_cast<unsigned char>(c)))
            return false;
    return true;
}

void WriteString(std::string& out, std::string_view text)
{
    out.append(text);
}

void WriteBool(std::string& out, bool flag, bool comma)
{
    out += flag ? 'T' : 'F';
    if (comma)
        out += ',';
}

void WriteNumber(std::string& out, long value, bool comma)
{
    out += std::to_string(value);
    if (comma)
        out += ',';
}

void WriteHexBytes(std::string& out, const void* bytes, std::size_t count, bool comma)
{
    static const char kDigits[] = "0123456789ABCDEF";
    const auto* p = static_cast<const unsigned char*>(bytes);
    out.reserve(out.size() + 2 * count + 1);
    for (std::size_t i = 0; i < count; ++i) {
        out += kDigits[p[i] >> 4];
        out += kDigits[p[i] & 0x0F];
    }
    if (comma)
        out += ',';
}

bool FormatCSVField(std::string_view text, std::string& out, std::size_t maxBytes)
{
    const std::size_t zero = text.find('\0');
    if (zero != std::string_view::npos)
        text = text.substr(0, zero);

    // Most fields fit whole: one pass to measure, one to write.
    {
        std::size_t kept = 0, quotes = 0;
        bool quoted = false;
        for (const char c : text) {
            if (c == '\n' || !isTextByte(static_cast<unsigned char>(c)))
                continue;
            if (kept == 0 && isWhiteSpace(c))
                quoted = true;
            if (c == ',' || c == '"' || c == '\r')
                quoted = true;
            if (c == '"')
                ++quotes;
            ++kept;
        }
        const std::size_t overhead = quoted ? 2 : 0;
        if (maxBytes >= overhead && kept + quotes <= maxBytes - overhead) {
            out.reserve(out.size() + kept + quotes + overhead);
            if (quoted)
                out += '"';
            for (const char c : text) {
                if (c == '\n' || !isTextByte(static_cast<unsigned char>(c)))
                    continue;
                if (c == '"')
                    out += '"';
                out += c;
            }
            if (quoted)
                out += '"';
            return true;
        }
    }

    std::string content;
    content.reserve(text.size());
    for (const char c : text)
        if (c != '\n' && isTextByte(static_cast<unsigned char>(c)))
            content += c;

    const bool quoted = content.find_first_of(",\"\r") != std::string::npos
                        || (!content.empty() && isWhiteSpace(content[0]));
    const std::size_t overhead = quoted ? 2 : 0;
    if (maxBytes < overhead)
        return false; // not even the quotes fit

    // Whole characters only, and a quote only with its double.
    const std::size_t budget = maxBytes - overhead;
    std::string encoded;
    std::string_view rest = content;
    bool cut = false;
    while (!rest.empty()) {
        std::size_t n = UTF8SequenceLength(rest);
        if (n == 0)
            n = 1;
        const std::size_t cost = (rest[0] == '"') ? 2 : n;
        if (encoded.size() + cost > budget) {
            cut = true;
            break;
        }
        if (rest[0] == '"')
            encoded += "\"\"";
        else
            encoded.append(rest.substr(0, n));
        rest.remove_prefix(n);
    }

    if (quoted)
        out += '"';
    out += encoded;
    if (quoted)
        out += '"';
    return !cut;
}
