// File kinds, the file key, the two field encodings and the header and info
// lines.
#include "interchange/FileFormats.h"

#include "interchange/TextParsing.h"

#include <array>
#include <cstring>

namespace {

constexpr std::array<std::string_view, 4> kVersionHeaders = {
    kTolvanexqVXHeader, kTolvanexqVX2Header, kTolvanexqVX3Header, kTolvanexqVX4Header};

// Length of the enciphered form of a text of n bytes: the text, its
// terminator and zero padding to whole blocks.
std::size_t encipheredLength(std::size_t n) { return (n + 8) / 8 * 8; }

void wipe(std::string& bytes)
{
    for (char& c : bytes)
        reinterpret_cast<volatile char&>(c) = 0;
}

} // namespace

void TVXFileKey::ContextWiper::operator()(BlowfishContext* context) const
{
    Blowfish_Clear(*context);
    delete context;
}

TVXFileKey::TVXFileKey(std::string_view password)
{
    if (password.empty())
        return;
    mContext.reset(new BlowfishContext);
    Blowfish_Init(*mContext, password.data(), password.size());
}

TVXFileKey::~TVXFileKey() = default;

void TVXFileLine::clear()
{
    isType = false;
    icon = 0;
    mask = 0;
    values.RemoveAll();
    customNames.RemoveAll();
    attachmentFields.RemoveAll();
    groupName.clear();
}

EFileType GetFileType(std::string_view file)
{
    if (!IsTextFile(file))
        return eFileBinary;
    if (HasHeader(file, kTolvanexqVXPreHeader)) {
        for (std::size_t i = 0; i < kVersionHeaders.size(); ++i)
            if (HasHeader(file, kVersionHeaders[i]))
                return static_cast<EFileType>(eFileQVXv1 + int(i));
        return eFileQVXUnknown;
    }
    if (HasHeader(file, kTolvanexHeader))
        return eFileCSVExport;
    if (HasHeader(file, kTolvanUserCSVHeader))
        return eFileUserCSV;
    return eFileText;
}

bool CheckForEncryption(const char* text)
{
    bool encrypted = false;
    ReadBool(SkipLine(text), encrypted);
    return encrypted;
}

int ProcessQVXInfo(const char* text, const BlowfishContext* key)
{
    const std::string_view start(text, strnlen(text, kTolvanexqVX4Header.size()));
    bool isQVX = false;
    for (const std::string_view header : kVersionHeaders)
        isQVX = isQVX || HasHeader(start, header);
    if (!isQVX)
        return kQVXInfoNotQVX;

    // The info line is short; a longer one cannot hold the check text anyway.
    std::string info;
    GetNextLine(SkipLine(text), info, 200);
    bool encrypted = false;
    const char* pos = ReadBool(info.c_str(), encrypted);
    if (!encrypted)
        return kQVXInfoMatch;
    if (!key)
        return kQVXInfoNeedsKey;

    std::string check;
    ReadHexBytes(pos, check);
    check.resize(check.size() / 8 * 8);
    BlowfishDecryptToBuffer(*key, check.data(), check.data(), check.size());
    const std::size_t zero = check.find('\0');
    if (zero != std::string::npos)
        check.resize(zero);
    return check == kTolvanexqVXCrib ? kQVXInfoMatch : kQVXInfoWrongKey;
}

void WriteFieldString(std::string& out, const BlowfishContext* key, std::string_view text)
{
    const std::size_t zero = text.find('\0');
    if (zero != std::string_view::npos)
        text = text.substr(0, zero);
    if (!key) {
        FormatCSVField(text, out); // no limit: never cut
        return;
    }
    std::string block(encipheredLength(text.size()), '\0');
    if (!text.empty()) // an empty view may point nowhere
        std::memcpy(block.data(), text.data(), text.size());
    BlowfishEncryptToBuffer(*key, block.data(), block.data(), block.size());
    WriteHexBytes(out, block, false);
}

std::string DecryptFieldString(std::string_view field, const BlowfishContext* key)
{
    if (!key)
        return std::string(field);
    const std::string hex(field); // zero-terminated for the parser
    std::string bytes;
    ReadHexBytes(hex.c_str(), bytes);
    // A partial last block cannot be deciphered; it is no part of the text.
    bytes.resize(bytes.size() / 8 * 8);
    BlowfishDecryptToBuffer(*key, bytes.data(), bytes.data(), bytes.size());
    const std::size_t zero = bytes.find('\0');
    if (zero != std::string::npos) {
        std::string text = bytes.substr(0, zero);
        wipe(bytes);
        return text;
    }
    return bytes;
}

void WriteHeader(EFileType kind, std::string& out, const BlowfishContext* key)
{
    switch (kind) {
    case eFileQVXv1:
    case eFileQVXv2:
    case eFileQVXv3:
    case eFileQVXv4:
        WriteString(out, kVersionHeaders[kind - eFileQVXv1]);
        WriteString(out, kLineEnding);
        if (key) {
            std::string check(kTolvanexqVXCrib);
            BlowfishEncryptToBuffer(*key, check.data(), check.data(), check.size());
            WriteBool(out, true, true);
            WriteHexBytes(out, check, false);
        } else {
            WriteBool(out, false, false);
        }
        WriteString(out, kLineEnding);
        return;
    case eFileUserCSV:
        WriteString(out, kTolvanUserCSVHeader);
        WriteString(out, kLineEnding);
        return;
    default:
        WriteString(out, kTolvanexHeader);
        WriteString(out, kLineEnding);
        return;
    }
}
