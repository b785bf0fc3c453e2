#include "FormatTestSupport.h"

#include "interchange/FileFormats.h"
#include "interchange/TextParsing.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace formattest;

namespace {

const std::string kPassword = "p\xC3\xA4ss w\xC3\xB6rd, 2\"";

std::string enciphered(const std::string& password, std::string block)
{
    BlowfishContext c;
    Blowfish_Init(c, password.data(), password.size());
    Blowfish(c, block.data(), block.size(), true);
    std::string hex;
    WriteHexBytes(hex, block, false);
    return hex;
}

std::string fieldWith(const BlowfishContext* key, const std::string& text)
{
    std::string out;
    WriteFieldString(out, key, text);
    return out;
}

// One written record of the round trip and what must come back.
struct Sent {
    bool isType = false;
    TVXFileLine line;
};

// Writes a whole file of the kind: type lines and records whose every field
// carries each awkward text in turn.
std::string buildFile(EFileType kind, const BlowfishContext* key, std::vector<Sent>& sent)
{
    const auto& texts = awkwardTexts();
    const std::size_t n = texts.size();
    auto text = [&](std::size_t i) -> const std::string& { return texts[i % n]; };

    std::string file;
    WriteHeader(kind, file, key);
    for (std::size_t r = 0; r < n; ++r) {
        if (r % 5 == 0) {
            Sent type;
            type.isType = true;
            type.line.isType = true;
            type.line.icon = long(r) + 40;
            type.line.mask = long(r) * 7 + 1;
            for (int k = 0; k <= kQVXFieldCount; ++k)
                type.line.values.Add(std::string_view(text(r + k)));
            EXPECT_TRUE(WriteNextQVXType(file, kind, key, type.line.values, type.line.mask,
                                         type.line.icon));
            sent.push_back(std::move(type));
        }
        Sent record;
        TVXFileLine& line = record.line;
        line.icon = long(r) + 1;
        line.mask = long(r) * 3;
        for (int k = 0; k <= kQVXValueCount + 1; ++k) // values, date, notes
            line.values.Add(std::string_view(text(r + k)));
        for (int k = 0; k < kQVXAttachmentFieldCount; ++k)
            line.attachmentFields.Add(std::string_view(text(r + 11 + k)));
        for (int k = 0; k < kQVXFieldCount; ++k)
            line.customNames.Add(std::string_view(text(r + 14 + k)));
        line.groupName = text(r + 24);
        EXPECT_TRUE(WriteNextQVXRecord(file, kind, key, line));
        sent.push_back(std::move(record));
    }
    return file;
}

void expectSameLine(const Sent& sent, const TVXFileLine& got, EFileType kind, bool encrypted,
                    std::size_t index)
{
    SCOPED_TRACE("line " + std::to_string(index));
    ASSERT_EQ(got.isType, sent.isType);
    EXPECT_EQ(got.icon, sent.line.icon);
    EXPECT_EQ(got.mask, sent.line.mask);
    const auto values = listOf(got.values);
    if (sent.isType) {
        ASSERT_EQ(values.size(), 11u);
        for (int k = 0; k <= kQVXFieldCount; ++k)
            EXPECT_EQ(values[k], fieldBack(std::string(sent.line.values.ViewAt(k)), encrypted)) << k;
        EXPECT_EQ(got.customNames.GetSize(), 0);
        return;
    }
    ASSERT_EQ(values.size(), 11u);
    for (int k = 0; k <= kQVXValueCount; ++k)
        EXPECT_EQ(values[k], fieldBack(std::string(sent.line.values.ViewAt(k)), encrypted)) << k;
    EXPECT_EQ(values[10], notesBack(std::string(sent.line.values.ViewAt(10))));
    const auto custom = listOf(got.customNames);
    ASSERT_EQ(custom.size(), 10u);
    for (int k = 0; k < kQVXFieldCount; ++k)
        EXPECT_EQ(custom[k], fieldBack(std::string(sent.line.customNames.ViewAt(k)), encrypted));
    EXPECT_EQ(got.groupName.str(), fieldBack(sent.line.groupName.str(), encrypted));
    const auto attachment = listOf(got.attachmentFields);
    if (kind == eFileQVXv4) {
        ASSERT_EQ(attachment.size(), 3u);
        for (int k = 0; k < kQVXAttachmentFieldCount; ++k)
            EXPECT_EQ(attachment[k],
                      fieldBack(std::string(sent.line.attachmentFields.ViewAt(k)), encrypted));
    } else {
        EXPECT_TRUE(attachment.empty());
    }
}

} // namespace

TEST(QvxRoundTrip, EveryFieldKindThroughVersions3And4PlainAndEncrypted)
{
    TempFolder folder;
    for (const EFileType kind : {eFileQVXv3, eFileQVXv4}) {
        for (const bool encrypted : {false, true}) {
            SCOPED_TRACE("kind " + std::to_string(kind) + (encrypted ? " encrypted" : " plain"));
            const TVXFileKey key(encrypted ? kPassword : std::string());
            ASSERT_EQ(bool(key), encrypted);
            std::vector<Sent> sent;
            const std::string path =
                folder.path("records-" + std::to_string(kind) + (encrypted ? "-e" : "-p") + ".qvx");
            writeFile(path, buildFile(kind, key.get(), sent));
            const std::string file = readFile(path);

            // Only CR ends lines, and the file ends with one.
            EXPECT_EQ(file.find('\n'), std::string::npos);
            ASSERT_GE(file.size(), 2u);
            EXPECT_EQ(file.back(), '\r');
            EXPECT_NE(file[file.size() - 2], '\r');
            EXPECT_TRUE(IsTextFile(file));

            EXPECT_EQ(GetFileType(file), kind);
            EXPECT_EQ(CheckForEncryption(file.c_str()), encrypted);
            EXPECT_EQ(ProcessQVXInfo(file.c_str(), key.get()), kQVXInfoMatch);

            const ReadResult back = readAll(kind, file, key.get());
            EXPECT_FALSE(back.stoppedWithoutPosition);
            EXPECT_EQ(back.report.refusedLines, 0);
            EXPECT_EQ(back.report.linesWithExtraFields, 0);
            ASSERT_EQ(back.lines.size(), sent.size());
            for (std::size_t i = 0; i < sent.size(); ++i)
                expectSameLine(sent[i], back.lines[i], kind, encrypted, i);
        }
    }
}

TEST(QvxWriter, LinesHaveTheLayoutOfTheirVersion)
{
    TVXFileLine line;
    for (const char* v : {"a", "b", "c", "d", "e", "f", "g", "h", "i", "May 07,2009", "one\ntwo"})
        line.values.Add(v);
    line.attachmentFields = arrayOf({"file.pdf", "K3Y", "0123456789ABCDEF"});
    line.customNames = arrayOf({"User", "", "", "", "", "", "", "", "", "Last"});
    line.groupName = "Group";
    line.icon = 2;
    line.mask = 7;

    std::string v3;
    ASSERT_TRUE(WriteNextQVXRecord(v3, eFileQVXv3, nullptr, line));
    EXPECT_EQ(v3, "F,2,a,b,c,d,e,f,g,h,i,\"May 07,2009\",7,User,,,,,,,,,Last,Group,\"one\rtwo\"\r");

    std::string v4;
    ASSERT_TRUE(WriteNextQVXRecord(v4, eFileQVXv4, nullptr, line));
    EXPECT_EQ(v4, "F,2,a,b,c,d,e,f,g,h,i,\"May 07,2009\",file.pdf,K3Y,0123456789ABCDEF,7,"
                  "User,,,,,,,,,Last,Group,\"one\rtwo\"\r");

    // Missing entries are written empty, so nothing moves.
    TVXFileLine sparse;
    sparse.values = arrayOf({"only"});
    std::string short4;
    ASSERT_TRUE(WriteNextQVXRecord(short4, eFileQVXv4, nullptr, sparse));
    EXPECT_EQ(short4, "F,0,only,,,,,,,,,,,,,0,,,,,,,,,,,,\r");

    std::string type;
    ASSERT_TRUE(WriteNextQVXType(type, eFileQVXv3, nullptr, arrayOf({"Web", "User", "Pass"}), 3, 5));
    EXPECT_EQ(type, "T,5,Web,User,Pass,,,,,,,,,3,\r");
    TVXFileLine typeLine;
    typeLine.isType = true;
    typeLine.values = arrayOf({"Web", "User", "Pass"});
    typeLine.mask = 3;
    typeLine.icon = 5;
    std::string viaRecord;
    ASSERT_TRUE(WriteNextQVXRecord(viaRecord, eFileQVXv4, nullptr, typeLine));
    EXPECT_EQ(viaRecord, type);

    // The system writes only versions 3 and 4.
    for (const EFileType kind : {eFileNone, eFileCSVExport, eFileQVXv1, eFileQVXv2, eFileText}) {
        std::string out;
        EXPECT_FALSE(WriteNextQVXRecord(out, kind, nullptr, line));
        EXPECT_FALSE(WriteNextQVXType(out, kind, nullptr, line.values, 0, 0));
        EXPECT_TRUE(out.empty());
    }
}

TEST(QvxEncryptedField, BlocksAndHexadecimal)
{
    const TVXFileKey key(kPassword);
    const std::string empty = fieldWith(key.get(), "");
    const std::string seven = fieldWith(key.get(), "1234567");
    const std::string eight = fieldWith(key.get(), "12345678");
    EXPECT_EQ(empty.size(), 16u);
    EXPECT_EQ(seven.size(), 16u);
    EXPECT_EQ(eight.size(), 32u);
    EXPECT_EQ(empty, enciphered(kPassword, std::string(8, '\0')));
    EXPECT_EQ(seven, enciphered(kPassword, std::string("1234567\0", 8)));
    EXPECT_EQ(eight, enciphered(kPassword, std::string("12345678\0\0\0\0\0\0\0\0", 16)));
    EXPECT_EQ(eight.find_first_not_of("0123456789ABCDEF"), std::string::npos);

    EXPECT_EQ(DecryptFieldString(empty, key.get()), "");
    EXPECT_EQ(DecryptFieldString(seven, key.get()), "1234567");
    EXPECT_EQ(DecryptFieldString(eight, key.get()), "12345678");
    // A text ends at its first zero byte.
    EXPECT_EQ(fieldWith(key.get(), std::string("ab\0cd", 5)), fieldWith(key.get(), "ab"));
    // An odd digit and a partial block at the end are no part of the text.
    EXPECT_EQ(DecryptFieldString(eight + "A", key.get()), "12345678");
    EXPECT_EQ(DecryptFieldString(seven + "00FF", key.get()), "1234567");
    // Without a key the field is its own text.
    EXPECT_EQ(DecryptFieldString(seven, nullptr), seven);
    EXPECT_EQ(fieldWith(nullptr, "a,b"), "\"a,b\"");

    // A field of any size is enciphered whole.
    const std::string note = tenThousandByteNote();
    const std::string big = fieldWith(key.get(), note);
    EXPECT_EQ(big.size(), 2 * 10008u);
    EXPECT_EQ(DecryptFieldString(big, key.get()), note);
}

TEST(QvxCheckLine, WrongPasswordIsRefusedBeforeAnyRecord)
{
    TempFolder folder;
    const TVXFileKey key(kPassword);
    std::string header;
    WriteHeader(eFileQVXv4, header, key.get());
    const std::string crib(kTolvanexqVXCrib);
    EXPECT_EQ(header, std::string(kTolvanexqVX4Header) + "\rT," + enciphered(kPassword, crib) + "\r");

    std::string file = header;
    ASSERT_TRUE(WriteNextQVXType(file, eFileQVXv4, key.get(), arrayOf({"Web", "User"}), 0, 5));
    TVXFileLine record;
    record.values = arrayOf({"alice", "secret"});
    ASSERT_TRUE(WriteNextQVXRecord(file, eFileQVXv4, key.get(), record));
    const std::string path = folder.path("secret.qvx");
    writeFile(path, file);
    const std::string text = readFile(path);

    EXPECT_TRUE(CheckForEncryption(text.c_str()));
    EXPECT_EQ(ProcessQVXInfo(text.c_str(), key.get()), kQVXInfoMatch);
    EXPECT_EQ(ProcessQVXInfo(text.c_str(), nullptr), kQVXInfoNeedsKey);
    for (const std::string wrong : {"pässwörd", "p\xC3\xA4ss w\xC3\xB6rd, 2", "x"}) {
        const TVXFileKey other(wrong);
        EXPECT_EQ(ProcessQVXInfo(text.c_str(), other.get()), kQVXInfoWrongKey) << wrong;
        const ReadResult refused = readAll(eFileQVXv4, text, other.get());
        EXPECT_TRUE(refused.stoppedWithoutPosition);
        EXPECT_TRUE(refused.report.keyRefused);
        EXPECT_TRUE(refused.lines.empty());
    }
    // No key for an encrypted file: its hexadecimal is no record either.
    const ReadResult noKey = readAll(eFileQVXv4, text, nullptr);
    EXPECT_TRUE(noKey.stoppedWithoutPosition);
    EXPECT_TRUE(noKey.report.keyRefused);

    const ReadResult right = readAll(eFileQVXv4, text, key.get());
    EXPECT_FALSE(right.report.keyRefused);
    ASSERT_EQ(right.lines.size(), 2u);
    EXPECT_EQ(listOf(right.lines[1].values)[1], "secret");

    // A key offered for a plain file would turn its fields into noise.
    std::string plain;
    WriteHeader(eFileQVXv3, plain, nullptr);
    EXPECT_EQ(plain, std::string(kTolvanexqVX3Header) + "\rF\r");
    ASSERT_TRUE(WriteNextQVXRecord(plain, eFileQVXv3, nullptr, record));
    EXPECT_EQ(ProcessQVXInfo(plain.c_str(), key.get()), kQVXInfoMatch);
    const ReadResult keyForPlain = readAll(eFileQVXv3, plain, key.get());
    EXPECT_TRUE(keyForPlain.stoppedWithoutPosition);
    EXPECT_TRUE(keyForPlain.report.keyRefused);
    EXPECT_EQ(readAll(eFileQVXv3, plain, nullptr).lines.size(), 1u);

    // A check text that deciphers to something else, or is cut short.
    std::string damaged = text;
    damaged[damaged.find("T,") + 2] = damaged[damaged.find("T,") + 2] == 'A' ? 'B' : 'A';
    EXPECT_EQ(ProcessQVXInfo(damaged.c_str(), key.get()), kQVXInfoWrongKey);
    const std::string cut = std::string(kTolvanexqVX4Header) + "\rT," + enciphered(kPassword, crib).substr(0, 64) + "\r";
    EXPECT_EQ(ProcessQVXInfo(cut.c_str(), key.get()), kQVXInfoWrongKey);
    EXPECT_EQ(ProcessQVXInfo("Tolvanex Export File\r", key.get()), kQVXInfoNotQVX);
    EXPECT_EQ(ProcessQVXInfo("Tolvanex qVX File -v5.0\rF\r", nullptr), kQVXInfoNotQVX);
}

TEST(QvxOldVersions, HandWrittenVersion1Lines)
{
    const std::string file =
        "Tolvanex qVX File -v1.0\r"
        "F\r"
        "T,5,Web,User,Password,URL,Extra 1,Extra 2,Extra 3\r\n"
        "\r\n\r\n"
        "F,3,alice,secret,http://x,,,e6,\"note, with comma\rand a line\"\n"
        "F,4,bob,pw,u,a,b,c\r"
        "F,4,carol,pw,u,a,b,c,\r"
        "T,6,Bank\r";
    EXPECT_EQ(GetFileType(file), eFileQVXv1);
    const ReadResult back = readAll(eFileQVXv1, file, nullptr);
    ASSERT_EQ(back.lines.size(), 4u);

    const TVXFileLine& type = back.lines[0];
    EXPECT_TRUE(type.isType);
    EXPECT_EQ(type.icon, 5);
    EXPECT_EQ(type.mask, 0);
    EXPECT_EQ(listOf(type.values), (std::vector<std::string>{"Web", "User", "Password", "URL",
                                                             "Extra 1", "Extra 2", "Extra 3"}));

    const TVXFileLine& alice = back.lines[1];
    EXPECT_FALSE(alice.isType);
    EXPECT_EQ(alice.icon, 3);
    EXPECT_EQ(alice.mask, 0);
    EXPECT_EQ(listOf(alice.values),
              (std::vector<std::string>{"alice", "secret", "http://x", "", "", "e6", "", "", "", "",
                                        "note, with comma\rand a line"}));
    EXPECT_EQ(alice.customNames.GetSize(), 0);
    EXPECT_EQ(alice.attachmentFields.GetSize(), 0);
    EXPECT_TRUE(alice.groupName.empty());

    // bob's line ends after its values: refused, not read with "c" as notes.
    EXPECT_EQ(back.report.refusedLines, 1);
    const TVXFileLine& carol = back.lines[2];
    EXPECT_EQ(listOf(carol.values)[0], "carol");
    EXPECT_EQ(listOf(carol.values)[5], "c");
    EXPECT_EQ(listOf(carol.values)[10], "");

    // A type line short of its field names still names the type.
    EXPECT_TRUE(back.lines[3].isType);
    EXPECT_EQ(listOf(back.lines[3].values),
              (std::vector<std::string>{"Bank", "", "", "", "", "", ""}));
}

TEST(QvxOldVersions, HandWrittenVersion2LinesPlainAndEncrypted)
{
    const TVXFileKey key(kPassword);
    for (const BlowfishContext* k : {static_cast<const BlowfishContext*>(nullptr), key.get()}) {
        SCOPED_TRACE(k ? "encrypted" : "plain");
        auto f = [&](const std::string& text) { return fieldWith(k, text) + ","; };
        std::string file;
        WriteHeader(eFileQVXv2, file, k);
        file += "T,5," + f("Web") + f("n1") + f("n2") + f("n3") + f("n4") + f("n5") + f("n6")
                + "12\r";
        file += "F,3,";
        for (const char* v : {"v1", "v2", "v,3", "v4", "v5", "v6"})
            file += f(v);
        file += "7,";
        for (const char* c : {"c1", "c2", "c3", "c4", "c5", "c6"})
            file += f(c);
        file += f("Group") + fieldWith(k, "The \"notes\"") + "\r";
        // Custom names and a group, but no notes field.
        file += "F,4,";
        for (int i = 0; i < 6; ++i)
            file += f("x");
        file += "9,";
        for (int i = 0; i < 6; ++i)
            file += f("");
        file += fieldWith(k, "G2") + "\r";
        // Ends before its mask: refused.
        file += "F,4," + f("a") + f("b") + f("c") + f("d") + f("e") + fieldWith(k, "f") + "\r";

        EXPECT_EQ(GetFileType(file), eFileQVXv2);
        const ReadResult back = readAll(eFileQVXv2, file, k);
        ASSERT_EQ(back.lines.size(), 3u);
        EXPECT_EQ(back.report.refusedLines, 1);

        const TVXFileLine& type = back.lines[0];
        EXPECT_TRUE(type.isType);
        EXPECT_EQ(type.mask, 12);
        EXPECT_EQ(listOf(type.values),
                  (std::vector<std::string>{"Web", "n1", "n2", "n3", "n4", "n5", "n6"}));

        const TVXFileLine& record = back.lines[1];
        EXPECT_FALSE(record.isType);
        EXPECT_EQ(record.icon, 3);
        EXPECT_EQ(record.mask, 7);
        EXPECT_EQ(listOf(record.values),
                  (std::vector<std::string>{"v1", "v2", "v,3", "v4", "v5", "v6", "", "", "", "",
                                            "The \"notes\""}));
        EXPECT_EQ(listOf(record.customNames),
                  (std::vector<std::string>{"c1", "c2", "c3", "c4", "c5", "c6"}));
        EXPECT_EQ(record.groupName.str(), "Group");

        const TVXFileLine& noNotes = back.lines[2];
        EXPECT_EQ(noNotes.mask, 9);
        EXPECT_EQ(noNotes.values.GetSize(), 11);
        EXPECT_EQ(listOf(noNotes.values)[10], "");
        EXPECT_EQ(noNotes.groupName.str(), "G2");
    }
}

TEST(QvxReader, ShortLinesAreRefusedAndCountedLongLinesTrimmed)
{
    std::string file;
    WriteHeader(eFileQVXv3, file, nullptr);
    ASSERT_TRUE(WriteNextQVXType(file, eFileQVXv3, nullptr, arrayOf({"Web"}), 0, 5));
    TVXFileLine first;
    first.values = arrayOf({"1", "2", "3", "4", "5", "6", "7", "8", "9", "May 07,2009", "n1"});
    ASSERT_TRUE(WriteNextQVXRecord(file, eFileQVXv3, nullptr, first));
    file += "F,1,a,b,c,d,e\r";                                  // ends inside its values
    file += "F,1,a,b,c,d,e,f,g,h,i,\"May 08,2009\"\r";          // ends before its mask
    file += "F,1,a,b,c,d,e,f,g,h,i,\"May 09,2009\",4\r";        // ends after its mask: taken
    file += "F,1,a,b,c,d,e,f,g,h,i,d,4,,,,,,,,,,,G,notes,extra,\"more\"\r"; // surplus ignored
    TVXFileLine last = first;
    last.values.SetAt(0, "last");
    ASSERT_TRUE(WriteNextQVXRecord(file, eFileQVXv3, nullptr, last));

    const ReadResult back = readAll(eFileQVXv3, file, nullptr);
    EXPECT_EQ(back.report.refusedLines, 2);
    EXPECT_EQ(back.report.linesWithExtraFields, 1);
    ASSERT_EQ(back.lines.size(), 5u);
    EXPECT_EQ(listOf(back.lines[1].values), listOf(first.values));

    const auto afterMask = listOf(back.lines[2].values);
    ASSERT_EQ(afterMask.size(), 11u);
    EXPECT_EQ(afterMask[8], "i");
    EXPECT_EQ(afterMask[9], "May 09,2009");
    EXPECT_EQ(afterMask[10], "");
    EXPECT_EQ(back.lines[2].mask, 4);
    EXPECT_EQ(back.lines[2].customNames.GetSize(), 10);

    EXPECT_EQ(listOf(back.lines[3].values)[9], "d");
    EXPECT_EQ(listOf(back.lines[3].values)[10], "notes");
    EXPECT_EQ(back.lines[3].groupName.str(), "G");
    EXPECT_EQ(listOf(back.lines[4].values)[0], "last");
}

TEST(QvxReader, TextEncodingsAndVersion3NoteLineFeeds)
{
    const TVXFileKey key(kPassword);
    // Mac OS Roman bytes (0x8E is e acute) are read as such, plain or enciphered.
    for (const BlowfishContext* k : {static_cast<const BlowfishContext*>(nullptr), key.get()}) {
        std::string file;
        WriteHeader(eFileQVXv3, file, k);
        file += "F,1,";
        file += fieldWith(k, "caf\x8E") + ",";
        for (int i = 0; i < 9; ++i)
            file += fieldWith(k, "") + ",";
        file += "0,";
        for (int i = 0; i < 11; ++i)
            file += fieldWith(k, "") + ",";
        file += fieldWith(k, "one\ntwo\r") + "\r";
        const ReadResult back = readAll(eFileQVXv3, file, k);
        ASSERT_EQ(back.lines.size(), 1u);
        EXPECT_EQ(listOf(back.lines[0].values)[0], "caf\xC3\xA9");
        EXPECT_EQ(listOf(back.lines[0].values)[10], "onetwo\r");

        // Version 4 keeps what the enciphered notes hold.
        std::string file4;
        WriteHeader(eFileQVXv4, file4, k);
        file4 += "F,1,";
        for (int i = 0; i < 13; ++i)
            file4 += fieldWith(k, "") + ",";
        file4 += "0,";
        for (int i = 0; i < 11; ++i)
            file4 += fieldWith(k, "") + ",";
        file4 += fieldWith(k, "one\ntwo") + "\r";
        const ReadResult back4 = readAll(eFileQVXv4, file4, k);
        ASSERT_EQ(back4.lines.size(), 1u);
        EXPECT_EQ(listOf(back4.lines[0].values)[10], k ? "one\ntwo" : "onetwo");
    }
}

TEST(QvxReader, KindsWithoutReaderGiveNoPosition)
{
    const std::string text = "Tolvanex qVX File -v9.0\rF\rF,1,a\r";
    for (const EFileType kind : {eFileNone, eFileQVXUnknown, eFileUserCSV, eFileBinary}) {
        TVXFileLine line;
        line.values.Add("stale");
        line.isType = true;
        EXPECT_EQ(GetNextRecord(kind, text.c_str(), nullptr, line), nullptr) << kind;
        EXPECT_EQ(line.values.GetSize(), 0);
        EXPECT_FALSE(line.isType);
    }
    // An empty qVX file past its header gives an empty line at the end.
    const std::string empty = "Tolvanex qVX File -v3.0\rF\r\r\n";
    TVXFileLine line;
    const char* pos = GetNextRecord(eFileQVXv3, empty.c_str(), nullptr, line);
    ASSERT_NE(pos, nullptr);
    EXPECT_EQ(*pos, '\0');
    EXPECT_EQ(line.values.GetSize(), 0);
}
