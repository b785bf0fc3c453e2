#pragma once
// Shared pieces of the file-format tests: awkward field texts, files in a
// private temporary folder, and reading a whole file line by line.
#include "interchange/FileFormats.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace formattest {

// Exactly 10,000 bytes of lines with quotes, commas, accents and other
// scripts, padded with "x" so that no character is cut.
inline std::string tenThousandByteNote()
{
    std::string text;
    for (int i = 0;; ++i) {
        const std::string line = "Line " + std::to_string(i)
                                 + ": \"key\", caf\xC3\xA9 \xE6\x97\xA5\xE6\x9C\xAC \xD0\x96\n";
        if (text.size() + line.size() > 10000)
            break;
        text += line;
    }
    text.append(10000 - text.size(), 'x');
    return text;
}

// Texts every field kind must carry.
inline const std::vector<std::string>& awkwardTexts()
{
    static const std::vector<std::string> texts = {
        "plain",
        "comma, inside",
        "say \"hi\"",
        "\"",
        "first\rsecond",
        "first\nsecond",
        "first\r\nsecond\n",
        "  two leading blanks",
        "trailing blanks  ",
        "",
        "Cr\xC3\xA8me br\xC3\xBBl\xC3\xA9" "e \xC3\x85ngstr\xC3\xB6m",
        "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E \xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82 "
        "\xD8\xB9\xD8\xB1\xD8\xA8\xD9\x8A \xF0\x9F\x94\x91",
        "1234567",  // one block when enciphered
        "12345678", // two blocks
        tenThousandByteNote(),
    };
    return texts;
}

// What a field reads back as: a plain field loses its line feeds, an
// enciphered one keeps every byte.
inline std::string fieldBack(const std::string& text, bool encrypted)
{
    if (encrypted)
        return text;
    std::string out;
    for (const char c : text)
        if (c != '\n')
            out += c;
    return out;
}

// Notes are written with their line breaks as CR.
inline std::string notesBack(const std::string& text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\n')
            out += text[i];
        else if (i == 0 || text[i - 1] != '\r')
            out += '\r';
    }
    return out;
}

class TempFolder {
public:
    TempFolder() { EXPECT_TRUE(mDir.isValid()); }
    std::string path(const std::string& name) const
    {
        return mDir.filePath(QString::fromStdString(name)).toStdString();
    }

private:
    QTemporaryDir mDir; // removed with its contents
};

inline void writeFile(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), std::streamsize(bytes.size()));
    ASSERT_TRUE(out.good());
}

inline std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Every line of a file as the importer reads it: until the reader gives no
// position or an empty line at the end of the text.
struct ReadResult {
    std::vector<TVXFileLine> lines;
    TVXReadReport report;
    bool stoppedWithoutPosition = false;
};

inline ReadResult readAll(EFileType kind, const std::string& text, const BlowfishContext* key)
{
    ReadResult result;
    const char* pos = text.c_str();
    for (int guard = 0; guard < 100000; ++guard) {
        TVXFileLine line;
        pos = GetNextRecord(kind, pos, key, line, &result.report);
        if (!pos) {
            result.stoppedWithoutPosition = true;
            break;
        }
        if (line.values.GetSize() == 0 && *pos == '\0')
            break;
        result.lines.push_back(std::move(line));
    }
    return result;
}

inline std::vector<std::string> listOf(const CStringArray& list)
{
    std::vector<std::string> out;
    for (int i = 0; i < list.GetSize(); ++i)
        out.emplace_back(list.ViewAt(i));
    return out;
}

inline CStringArray arrayOf(const std::vector<std::string>& texts)
{
    CStringArray list;
    for (const std::string& t : texts)
        list.Add(std::string_view(t));
    return list;
}

} // namespace formattest
