#include "model/StringAdditions.h"

#include <QStringDecoder>

#include <arpa/inet.h>

#include <cstring>

namespace {

// Mac OS Roman bytes 0x80 to 0xFF in Unicode (0xDB is the euro sign, 0xF0 the
// private-use code point that stands for the Apple logo).
constexpr char16_t kMacOSRomanHigh[128] = {
    0x00C4, 0x00C5, 0x00C7, 0x00C9, 0x00D1, 0x00D6, 0x00DC, 0x00E1, // 80
    0x00E0, 0x00E2, 0x00E4, 0x00E3, 0x00E5, 0x00E7, 0x00E9, 0x00E8, // 88
    0x00EA, 0x00EB, 0x00ED, 0x00EC, 0x00EE, 0x00EF, 0x00F1, 0x00F3, // 90
    0x00F2, 0x00F4, 0x00F6, 0x00F5, 0x00FA, 0x00F9, 0x00FB, 0x00FC, // 98
    0x2020, 0x00B0, 0x00A2, 0x00A3, 0x00A7, 0x2022, 0x00B6, 0x00DF, // A0
    0x00AE, 0x00A9, 0x2122, 0x00B4, 0x00A8, 0x2260, 0x00C6, 0x00D8, // A8
    0x221E, 0x00B1, 0x2264, 0x2265, 0x00A5, 0x00B5, 0x2202, 0x2211, // B0
    0x220F, 0x03C0, 0x222B, 0x00AA, 0x00BA, 0x03A9, 0x00E6, 0x00F8, // B8
    0x00BF, 0x00A1, 0x00AC, 0x221A, 0x0192, 0x2248, 0x2206, 0x00AB, // C0
    0x00BB, 0x2026, 0x00A0, 0x00C0, 0x00C3, 0x00D5, 0x0152, 0x0153, // C8
    0x2013, 0x2014, 0x201C, 0x201D, 0x2018, 0x2019, 0x00F7, 0x25CA, // D0
    0x00FF, 0x0178, 0x2044, 0x20AC, 0x2039, 0x203A, 0xFB01, 0xFB02, // D8
    0x2021, 0x00B7, 0x201A, 0x201E, 0x2030, 0x00C2, 0x00CA, 0x00C1, // E0
    0x00CB, 0x00C8, 0x00CD, 0x00CE, 0x00CF, 0x00CC, 0x00D3, 0x00D4, // E8
    0xF8FF, 0x00D2, 0x00DA, 0x00DB, 0x00D9, 0x0131, 0x02C6, 0x02DC, // F0
    0x00AF, 0x02D8, 0x02D9, 0x02DA, 0x00B8, 0x02DD, 0x02DB, 0x02C7, // F8
};

} // namespace

char16_t macOSRomanToUnicode(unsigned char byte)
{
    return byte < 0x80 ? char16_t(byte) : kMacOSRomanHigh[byte - 0x80];
}

QString stringWithMacOSRoman(std::string_view bytes)
{
    QString result(qsizetype(bytes.size()), Qt::Uninitialized);
    QChar* out = result.data();
    for (std::size_t i = 0; i < bytes.size(); ++i)
        out[i] = QChar(macOSRomanToUnicode(static_cast<unsigned char>(bytes[i])));
    return result;
}

QString stringWithSpecialCharacters(const char* text)
{
    if (!text)
        return {};
    const std::string_view bytes(text, std::strlen(text));
    // Keep a leading byte-order mark as text: the caller's bytes are returned as they are.
    // Stateless: a sequence cut off at the end counts as invalid, not as pending.
    QStringDecoder utf8(QStringConverter::Utf8,
                        QStringConverter::Flag::ConvertInitialBom | QStringConverter::Flag::Stateless);
    QString decoded = utf8.decode(QByteArrayView(bytes.data(), qsizetype(bytes.size())));
    if (!utf8.hasError())
        return decoded;
    return stringWithMacOSRoman(bytes);
}

bool isvalidIPv4Address(const QString& text)
{
    const QByteArray utf8 = text.toUtf8();
    // An embedded NUL would let inet_pton judge only the text before it.
    if (utf8.contains('\0'))
        return false;
    in_addr address{};
    return inet_pton(AF_INET, utf8.constData(), &address) != 0;
}

bool isStorableText(const QString& text)
{
    return !text.contains(QChar(u'\0')) && !text.startsWith(QChar(0xFEFF)) && QStringView(text).isValidUtf16();
}

QString storableText(const QString& text)
{
    if (isStorableText(text))
        return text;
    const QChar mark(0xFEFF);
    QString kept;
    kept.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            kept.append(c);
            kept.append(text.at(++i));
        } else if (!c.isNull() && !c.isSurrogate() && !(c == mark && kept.isEmpty())) {
            kept.append(c);
        }
    }
    return kept;
}

QString stringWithSTDString(const std::string& text)
{
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

QString stringWithSTDStreamPtr(std::istream* stream)
{
    if (!stream)
        return {};
    std::string word;
    if (!(*stream >> word))
        return {};
    return stringWithSTDString(word);
}
