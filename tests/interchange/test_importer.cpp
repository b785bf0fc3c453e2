// The importer over real files: what it hands to its sink, in which order,
// and what it refuses before handing anything on.
#include "ExchangeTestSupport.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <unistd.h>

#include <fstream>
#include <limits>

using namespace exchangetest;
using namespace formattest;

namespace {

using Strings = std::vector<std::string>;

TVXFileLine typeLine(const std::string& name, long icon, long mask)
{
    TVXFileLine line;
    line.isType = true;
    line.icon = icon;
    line.mask = mask;
    line.values.Add(name);
    for (int i = 1; i <= 10; ++i)
        line.values.Add(name + " field " + std::to_string(i));
    return line;
}

TVXFileLine recordLine(const std::string& first, long icon, long mask)
{
    TVXFileLine line;
    line.icon = icon;
    line.mask = mask;
    line.values.Add(first);
    for (int i = 2; i <= 9; ++i)
        line.values.Add("value " + std::to_string(i));
    line.values.Add("March 04,2021");
    line.values.Add("first line\nsecond, line");
    for (int i = 0; i < 10; ++i)
        line.customNames.Add(i == 2 ? "own name" : "");
    line.attachmentFields.Add("scan.pdf");
    line.attachmentFields.Add("k3y");
    line.attachmentFields.Add("00112233445566AA");
    line.groupName = "Finance";
    return line;
}

// Two types and three records: A, a1, a2, B, b1.
std::string twoTypeFile(EFileType kind, const BlowfishContext* key)
{
    std::string text;
    WriteHeader(kind, text, key);
    WriteNextQVXRecord(text, kind, key, typeLine("A", 7, 4));
    WriteNextQVXRecord(text, kind, key, recordLine("a1", 7, 4));
    WriteNextQVXRecord(text, kind, key, recordLine("a2", 9, 1));
    WriteNextQVXRecord(text, kind, key, typeLine("B", 300, 0));
    WriteNextQVXRecord(text, kind, key, recordLine("b1", 0, 0));
    return text;
}

std::string fileWith(const TempFolder& folder, const std::string& name, const std::string& text)
{
    const std::string path = folder.path(name);
    writeFile(path, text);
    return path;
}

} // namespace

TEST(ImportReading, HandsTypeAndRecordLinesToTheSinkInFileOrder)
{
    TempFolder folder;
    const std::string path = fileWith(folder, "two.qvx", twoTypeFile(eFileQVXv4, nullptr));
    RecordingSink sink;
    CqVXImporter importer(path, &sink);
    EXPECT_EQ(importer.FileType(), eFileQVXv4);
    EXPECT_FALSE(importer.IsFileEncrypted());
    // The kind argument is not what drives the reading.
    EXPECT_TRUE(importer.ImportFile(eFileCSVExport, ""));

    EXPECT_EQ(sink.calls, (Strings{"type", "record", "record", "type", "record", "complete"}));
    ASSERT_EQ(sink.lines.size(), 5u);
    const auto& a = sink.lines[0];
    EXPECT_EQ(a.count, 11);
    EXPECT_EQ(a.values.front(), "A");
    EXPECT_EQ(a.values.back(), "A field 10");
    EXPECT_EQ(a.icon, 7);
    EXPECT_EQ(a.mask, 4);

    const auto& a1 = sink.lines[1];
    EXPECT_EQ(a1.kind, eFileQVXv4);
    EXPECT_EQ(a1.count, 11);
    EXPECT_EQ(a1.values[0], "a1");
    EXPECT_EQ(a1.values[9], "March 04,2021");
    EXPECT_EQ(a1.values[10], "first line\rsecond, line"); // line breaks travel as CR
    EXPECT_EQ(a1.customNames[2], "own name");
    EXPECT_EQ(a1.attachmentFields, (Strings{"scan.pdf", "k3y", "00112233445566AA"}));
    EXPECT_EQ(a1.groupName, "Finance");
    EXPECT_EQ(sink.lines[2].icon, 9);
    EXPECT_EQ(sink.lines[3].icon, 300); // mapping icons is the sink's business
}

TEST(ImportReading, AnEncryptedFileIsReadOnlyWithItsPassword)
{
    TempFolder folder;
    const TVXFileKey key("harbour lights");
    const std::string path = fileWith(folder, "secret.qvx", twoTypeFile(eFileQVXv3, key.get()));

    EXPECT_TRUE(CqVXImporter::DoesPasswordMatch(path, "harbour lights"));
    EXPECT_FALSE(CqVXImporter::DoesPasswordMatch(path, "harbour light"));
    EXPECT_FALSE(CqVXImporter::DoesPasswordMatch(path, ""));
    EXPECT_FALSE(CqVXImporter::DoesPasswordMatch(folder.path("missing.qvx"), "harbour lights"));

    {
        // A wrong password is refused before anything is handed on: cipher
        // text never arrives as values.
        RecordingSink sink;
        CqVXImporter importer(path, &sink);
        EXPECT_TRUE(importer.IsFileEncrypted());
        EXPECT_FALSE(importer.ImportFile(eFileQVXv3, "wrong"));
        EXPECT_EQ(sink.calls, (Strings{"error 3", "complete"}));
    }
    {
        RecordingSink sink;
        CqVXImporter importer(path, &sink);
        EXPECT_FALSE(importer.ImportFile(eFileQVXv3, ""));
        EXPECT_EQ(sink.calls, (Strings{"error 3", "complete"}));
    }
    RecordingSink sink;
    CqVXImporter importer(path, &sink);
    EXPECT_TRUE(importer.ImportFile(eFileQVXv3, "harbour lights"));
    EXPECT_EQ(sink.calls, (Strings{"type", "record", "record", "type", "record", "complete"}));
    EXPECT_EQ(sink.lines[1].values[0], "a1");
    // Version 3 drops line feeds from notes; the CR of the line break stays.
    EXPECT_EQ(sink.lines[1].values[10], "first line\rsecond, line");
    EXPECT_TRUE(sink.lines[1].attachmentFields.empty());
}

TEST(ImportReading, APlainFileIgnoresAGivenPassword)
{
    TempFolder folder;
    const std::string path = fileWith(folder, "plain.qvx", twoTypeFile(eFileQVXv3, nullptr));
    EXPECT_TRUE(CqVXImporter::DoesPasswordMatch(path, "anything"));
    RecordingSink sink;
    CqVXImporter importer(path, &sink);
    EXPECT_TRUE(importer.ImportFile(eFileQVXv3, "anything"));
    EXPECT_EQ(sink.count("record"), 3);
    EXPECT_EQ(sink.lines[1].values[0], "a1");
}

TEST(ImportReading, EachUnreadableRecordLineIsReportedAndTheRestStillArrives)
{
    TempFolder folder;
    std::string text;
    WriteHeader(eFileQVXv3, text, nullptr);
    WriteNextQVXRecord(text, eFileQVXv3, nullptr, typeLine("A", 7, 4));
    WriteNextQVXRecord(text, eFileQVXv3, nullptr, recordLine("good 1", 7, 4));
    text += "F,7,short,line\r";
    text += "F,7,another short one\r\r\n";
    WriteNextQVXRecord(text, eFileQVXv3, nullptr, recordLine("good 2", 7, 4));
    const std::string path = fileWith(folder, "malformed.qvx", text);

    RecordingSink sink;
    CqVXImporter importer(path, &sink);
    EXPECT_TRUE(importer.ImportFile(eFileQVXv3, ""));
    EXPECT_EQ(sink.calls, (Strings{"type", "record", "error 5", "error 5", "record", "complete"}));
    EXPECT_EQ(sink.lines[2].values[0], "good 2");
}

TEST(ImportReading, CSVLinesNameTheirTypeFirst)
{
    TempFolder folder;
    std::string text;
    WriteHeader(eFileCSVExport, text, nullptr);
    for (const std::string type : {"Web", "Bank"}) {
        CStringArray values;
        values.Add(type);
        for (int i = 1; i <= 9; ++i)
            values.Add(type + " " + std::to_string(i));
        values.Add("January 31,2020");
        values.Add("a note");
        WriteNextRecord(text, values, "Home, sweet");
    }
    const std::string path = fileWith(folder, "records.csv", text);
    RecordingSink sink;
    CqVXImporter importer(path, &sink);
    EXPECT_EQ(importer.FileType(), eFileCSVExport);
    EXPECT_FALSE(importer.IsFileEncrypted());
    EXPECT_TRUE(importer.ImportFile(eFileCSVExport, "ignored"));
    EXPECT_EQ(sink.calls, (Strings{"record", "record", "complete"}));
    const auto& web = sink.lines[0];
    EXPECT_EQ(web.kind, eFileCSVExport);
    EXPECT_EQ(web.count, 12);
    EXPECT_EQ(web.values[0], "Web");
    EXPECT_EQ(web.values[9], "Web 9");
    EXPECT_EQ(web.values[10], "January 31,2020");
    EXPECT_EQ(web.groupName, "Home, sweet");
    EXPECT_EQ(web.icon, 0);
}

TEST(ImportReading, VersionOneAndTwoLinesArriveInTheCommonLayout)
{
    TempFolder folder;
    const std::string v1 = "Tolvanex qVX File -v1.0\rF\r"
                           "T,5,Email,Address,Login,Password,Server,Port,Protocol\r"
                           "F,5,bob@example.com,bob,s3cret,mail.example.com,993,IMAP,\"note, with comma\"\r";
    RecordingSink sink1;
    CqVXImporter importer1(fileWith(folder, "v1.qvx", v1), &sink1);
    EXPECT_TRUE(importer1.ImportFile(eFileQVXv1, ""));
    ASSERT_EQ(sink1.calls, (Strings{"type", "record", "complete"}));
    EXPECT_EQ(sink1.lines[0].count, 7);
    EXPECT_EQ(sink1.lines[0].values[6], "Protocol");
    EXPECT_EQ(sink1.lines[0].mask, 0);
    EXPECT_EQ(sink1.lines[1].values,
              (Strings{"bob@example.com", "bob", "s3cret", "mail.example.com", "993", "IMAP", "", "", "", "",
                       "note, with comma"}));
    EXPECT_TRUE(sink1.lines[1].customNames.empty());

    const std::string v2 = "Tolvanex qVX File -v2.0\rF\r"
                           "T,12,Bank,Bank name,Account,PIN,IBAN,BIC,Branch,4,\r"
                           "F,3,Other,1,2,3,4,5,7,Card,,,,,,Finance,n2\r";
    RecordingSink sink2;
    CqVXImporter importer2(fileWith(folder, "v2.qvx", v2), &sink2);
    EXPECT_TRUE(importer2.ImportFile(eFileQVXv2, ""));
    ASSERT_EQ(sink2.calls, (Strings{"type", "record", "complete"}));
    EXPECT_EQ(sink2.lines[0].mask, 4);
    const auto& r = sink2.lines[1];
    EXPECT_EQ(r.values, (Strings{"Other", "1", "2", "3", "4", "5", "", "", "", "", "n2"}));
    EXPECT_EQ(r.customNames, (Strings{"Card", "", "", "", "", ""}));
    EXPECT_EQ(r.icon, 3);
    EXPECT_EQ(r.mask, 7);
    EXPECT_EQ(r.groupName, "Finance");
}

TEST(ImportRefusals, NoSinkAMissingFileAndAnEmptyFileAreRefusedAtConstruction)
{
    TempFolder folder;
    const std::string path = fileWith(folder, "ok.qvx", twoTypeFile(eFileQVXv3, nullptr));
    auto messageOf = [](const std::string& p, CqVXImporterDelegate* sink) -> std::string {
        try {
            CqVXImporter importer(p, sink);
        } catch (const TVXInterchangeError& e) {
            return e.what();
        }
        return "(accepted)";
    };
    RecordingSink sink;
    EXPECT_EQ(messageOf(path, nullptr), "Invalid arguments");
    EXPECT_EQ(messageOf(folder.path("missing.qvx"), &sink), "Invalid arguments");
    EXPECT_EQ(messageOf("", &sink), "Invalid arguments");
    EXPECT_EQ(messageOf(fileWith(folder, "empty.qvx", ""), &sink), "Empty file");
    EXPECT_TRUE(sink.calls.empty());
}

TEST(ImportRefusals, FilesOfNoImportableKindHandNothingOn)
{
    TempFolder folder;
    const std::vector<std::pair<std::string, EFileType>> files = {
        {"just some text\rF,1,2,3\r", eFileText},
        {std::string("Tolvanex qVX File -v3.0\rF\r\x07\r", 28), eFileBinary},
        {"Tolvanex qVX File -v5.0\rF\rT,1,A,,,,,,,,,,0,\r", eFileQVXUnknown},
        {std::string(kTolvanUserCSVHeader) + "\ra,b,b,A,,,,1,1,1,1,\r", eFileUserCSV},
    };
    int n = 0;
    for (const auto& [text, kind] : files) {
        SCOPED_TRACE(kind);
        RecordingSink sink;
        CqVXImporter importer(fileWith(folder, "file" + std::to_string(n++), text), &sink);
        EXPECT_EQ(importer.FileType(), kind);
        EXPECT_FALSE(importer.IsFileEncrypted());
        EXPECT_FALSE(importer.ImportFile(kind, ""));
        EXPECT_EQ(sink.calls, (Strings{"error 1", "complete"}));
    }
}

TEST(ImportReading, SurplusFieldsOfAQVXLineAreReportedAndTheLineStillArrives)
{
    TempFolder folder;
    std::string text;
    WriteHeader(eFileQVXv3, text, nullptr);
    WriteNextQVXRecord(text, eFileQVXv3, nullptr, typeLine("A", 7, 4));
    text += "F,7,one,,,,,,,,,\"May 07,2009\",4,,,,,,,,,,,G,n1,extra,\"more\"\r";
    text += "F,7,two,,,,,,,,,\"May 07,2009\",4,,,,,,,,,,,G,n2,\r"; // a closing comma is no surplus
    RecordingSink sink;
    CqVXImporter importer(fileWith(folder, "surplus.qvx", text), &sink);
    EXPECT_TRUE(importer.ImportFile(eFileQVXv3, ""));
    EXPECT_EQ(sink.calls, (Strings{"type", "error 11", "record", "record", "complete"}));
    EXPECT_EQ(sink.lines[1].values[10], "n1");
    EXPECT_EQ(sink.lines[2].values[10], "n2");
}

TEST(ImportReading, AQuoteLeftOpenRefusesItsLineOnlyInEveryVersion)
{
    TempFolder folder;
    {
        // Version 1: the stray quote would swallow the records below it.
        const std::string v1 = "Tolvanex qVX File -v1.0\rF\r"
                               "T,5,Email,Address,Login,Password,Server,Port,Protocol\r"
                               "F,5,one,a,b,c,d,e,n1\r"
                               "F,5,\"two,a,b,c,d,e,n2\r"
                               "F,5,three,a,b,c,d,e,\"note, three\"\r";
        RecordingSink sink;
        CqVXImporter importer(fileWith(folder, "v1.qvx", v1), &sink);
        EXPECT_TRUE(importer.ImportFile(eFileQVXv1, ""));
        EXPECT_EQ(sink.calls, (Strings{"type", "record", "error 5", "record", "complete"}));
        EXPECT_EQ(sink.lines[2].values,
                  (Strings{"three", "a", "b", "c", "d", "e", "", "", "", "", "note, three"}));
    }
    for (const bool encrypted : {false, true}) {
        SCOPED_TRACE(encrypted);
        const TVXFileKey key(encrypted ? "pass word" : "");
        std::string v3;
        WriteHeader(eFileQVXv3, v3, key.get());
        WriteNextQVXRecord(v3, eFileQVXv3, key.get(), typeLine("A", 7, 4));
        WriteNextQVXRecord(v3, eFileQVXv3, key.get(), recordLine("one", 7, 4));
        // Closes at the date's quote, inside the line: no value takes "x,,,July 04".
        v3 += "F,7,\"two,x,,,,,,,,\"July 04,2020\",4,,,,,,,,,,,G,n\r";
        // Open at the end of the line, to close at the next line's date.
        v3 += "F,7,four,,,,,,,,,\"May 07,2009\",4,,,,,,,,,,,G,\"open note\r";
        WriteNextQVXRecord(v3, eFileQVXv3, key.get(), recordLine("five", 7, 4));
        // A type line left open: the records below it have no type.
        v3 += "T,7,\"B,,,,,,,,,,,0,\r";
        WriteNextQVXRecord(v3, eFileQVXv3, key.get(), recordLine("six", 7, 4));
        RecordingSink sink;
        CqVXImporter importer(fileWith(folder, encrypted ? "v3e.qvx" : "v3.qvx", v3), &sink);
        EXPECT_TRUE(importer.ImportFile(eFileQVXv3, encrypted ? "pass word" : ""));
        ASSERT_EQ(sink.calls, (Strings{"type", "record", "error 5", "error 5", "record", "type", "record",
                                       "complete"}));
        EXPECT_EQ(sink.lines[1].values[0], "one");
        EXPECT_EQ(sink.lines[2].values[0], "five");
        EXPECT_EQ(sink.lines[2].values[9], "March 04,2021");
        EXPECT_EQ(sink.lines[2].groupName, "Finance");
        EXPECT_EQ(sink.lines[3].values, (Strings{""}));
        EXPECT_EQ(sink.lines[4].values[0], "six");
    }
}

TEST(ImportRefusals, AFolderAPipeAndAFileThatFailsToReadAreRefusedAtOnce)
{
    TempFolder folder;
    const std::string pipe = folder.path("pipe.qvx");
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    const std::string directory = folder.path("folder.qvx");
    ASSERT_EQ(::mkdir(directory.c_str(), 0700), 0);
    // A regular file whose first read fails.
    const std::string failing = "/proc/self/mem";
    for (const std::string& path : {directory, pipe, failing}) {
        SCOPED_TRACE(path);
        RecordingSink sink;
        std::string message = "(accepted)";
        try {
            CqVXImporter importer(path, &sink);
        } catch (const TVXInterchangeError& e) {
            message = e.what();
        }
        EXPECT_EQ(message, "Invalid arguments");
        EXPECT_FALSE(CqVXImporter::DoesPasswordMatch(path, "pw"));
        EXPECT_TRUE(sink.calls.empty());
    }
}

TEST(ImportRefusals, AFileOverTheLimitIsRefusedWithoutBeingRead)
{
    TempFolder folder;
    // Valid lines at its head, then a hole past the limit (no disk space taken).
    const std::string path = fileWith(folder, "huge.qvx", twoTypeFile(eFileQVXv3, nullptr));
    ASSERT_EQ(::truncate(path.c_str(), kImportFileByteLimit + 1), 0);
    struct rusage before {};
    ASSERT_EQ(::getrusage(RUSAGE_SELF, &before), 0);

    RecordingSink sink;
    std::string message = "(accepted)";
    try {
        CqVXImporter importer(path, &sink);
    } catch (const TVXFileTooLarge& e) {
        message = e.what();
    }
    EXPECT_EQ(message, "File too large");
    EXPECT_FALSE(CqVXImporter::DoesPasswordMatch(path, ""));
    EXPECT_TRUE(sink.calls.empty());
    struct rusage after {};
    ASSERT_EQ(::getrusage(RUSAGE_SELF, &after), 0);
    EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 64 * 1024); // KiB: the file was never held
}

TEST(ImportRefusals, AnythingThrownByTheSinkEndsTheImportReported)
{
    struct Throwing : RecordingSink {
        void AddRecord(EFileType, const CStringArray&, const CStringArray&, const CStringArray&, const CString&,
                       int32_t, int32_t, int) override
        {
            throw 42; // not even a std::exception
        }
    };
    TempFolder folder;
    Throwing sink;
    CqVXImporter importer(fileWith(folder, "two.qvx", twoTypeFile(eFileQVXv3, nullptr)), &sink);
    EXPECT_FALSE(importer.ImportFile(eFileQVXv3, ""));
    EXPECT_EQ(sink.calls, (Strings{"type", "error 4", "complete"}));
}

namespace {

// One line per sink call, what a peer would compare: the kind of call and
// every text it carried.
std::string describe(const RecordingSink::Line& line)
{
    std::string out = line.isType ? "type" : "record";
    for (const auto* list : {&line.values, &line.customNames, &line.attachmentFields})
        for (const std::string& value : *list)
            out += '|' + value;
    return out + '|' + line.groupName + '|' + std::to_string(line.icon) + '|' + std::to_string(line.mask);
}

// The calls the readers make over the text held whole, as the importer once read every file.
std::vector<std::string> wholeTextCalls(EFileType kind, const std::string& text)
{
    std::vector<std::string> calls;
    TVXReadReport report;
    int refused = 0;
    const char* pos = text.c_str();
    TVXFileLine line;
    for (;;) {
        const char* next = GetNextRecord(kind, pos, nullptr, line, &report);
        for (; refused < report.refusedLines; ++refused)
            calls.push_back("error 5");
        if (!next || (line.values.GetSize() == 0 && (*next == '\0' || next == pos)))
            return calls;
        pos = next;
        if (line.values.GetSize() == 0)
            continue;
        RecordingSink::Line got;
        got.isType = line.isType;
        got.values = listOf(line.values);
        if (!line.isType) {
            got.customNames = listOf(line.customNames);
            got.attachmentFields = listOf(line.attachmentFields);
        }
        got.groupName = line.groupName.str();
        got.icon = int32_t(line.icon);
        got.mask = int32_t(line.mask);
        calls.push_back(describe(got));
    }
}

std::vector<std::string> importedCalls(const RecordingSink& sink)
{
    std::vector<std::string> calls;
    std::size_t next = 0;
    for (const std::string& call : sink.calls) {
        if (call == "type" || call == "record")
            calls.push_back(describe(sink.lines[next++]));
        else if (call != "complete" && call != "error 11")
            calls.push_back(call);
    }
    return calls;
}

// The peak resident memory since the last reset, in KiB.
long peakMemoryKiB()
{
    std::ifstream status("/proc/self/status");
    std::string key;
    long value = 0;
    while (status >> key) {
        if (key == "VmHWM:" && status >> value)
            return value;
        status.ignore(std::numeric_limits<std::streamsize>::max(), '\n');
    }
    return -1;
}

void resetPeakMemory()
{
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
}

} // namespace

// Far more text than one piece of reading: records whose quoted notes hold
// commas, quotes and line ends, lines left with an open quote, blank lines,
// all across many piece boundaries. What the sink gets is what the readers
// give over the text held whole.
TEST(ImportReading, AFileReadInPiecesGivesWhatItsWholeTextGives)
{
    std::string text;
    WriteHeader(eFileQVXv3, text, nullptr);
    WriteNextQVXRecord(text, eFileQVXv3, nullptr, typeLine("A", 7, 4));
    unsigned seed = 12345;
    const auto random = [&seed](unsigned below) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 8) % below;
    };
    const std::string pieces[] = {"plain", "with, comma", "say \"hi\"", "two\nlines", "cr\rend", "  lead", "\"\""};
    for (int i = 0; text.size() < 3 * kImportPieceBytes + kImportLookAheadBytes / 3; ++i) {
        if (random(50) == 0) {
            text += "F,0,\"an open quote, " + std::to_string(i) + "\r\n";
            continue;
        }
        if (random(30) == 0)
            text += "\r\n\r\n   \r\n";
        TVXFileLine line = recordLine("r" + std::to_string(i), long(random(64)), long(random(8)));
        std::string notes;
        for (unsigned n = random(40); n > 0; --n)
            notes += pieces[random(std::size(pieces))];
        line.values.SetAt(10, notes + std::string(random(3000), 'x'));
        WriteNextQVXRecord(text, eFileQVXv3, nullptr, line);
    }
    const std::vector<std::string> expected = wholeTextCalls(eFileQVXv3, text);
    ASSERT_GT(expected.size(), 5000u);

    TempFolder folder;
    const std::string path = fileWith(folder, "long.qvx", text);
    RecordingSink sink;
    CqVXImporter importer(path, &sink);
    EXPECT_TRUE(importer.ImportFile(eFileQVXv3, ""));
    const std::vector<std::string> got = importedCalls(sink);
    ASSERT_EQ(got.size(), expected.size());
    for (std::size_t i = 0; i < got.size(); ++i)
        ASSERT_EQ(got[i], expected[i]) << "call " << i;
}

// A file many times larger than the memory the import may take is read
// through, written here in pieces of its own so that the test holds none of
// it whole either; the process's peak memory stays far below the file's size.
TEST(ImportReading, AFileFarLargerThanItsMemoryIsReadWithBoundedMemory)
{
    TempFolder folder;
    const std::string path = folder.path("large.qvx");
    constexpr std::int64_t kFileBytes = std::int64_t(384) * 1024 * 1024;
    int records = 0;
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        std::string chunk;
        WriteHeader(eFileQVXv3, chunk, nullptr);
        WriteNextQVXRecord(chunk, eFileQVXv3, nullptr, typeLine("A", 7, 4));
        std::int64_t written = 0;
        while (written < kFileBytes) {
            TVXFileLine line = recordLine("r" + std::to_string(records++), 7, 4);
            line.values.SetAt(10, std::string(3900, 'n'));
            WriteNextQVXRecord(chunk, eFileQVXv3, nullptr, line);
            if (chunk.size() > 1024 * 1024) {
                out.write(chunk.data(), std::streamsize(chunk.size()));
                written += std::int64_t(chunk.size());
                chunk.clear();
            }
        }
        out.write(chunk.data(), std::streamsize(chunk.size()));
        ASSERT_TRUE(out.good());
    }

    // Counts what arrives and keeps only the last record's first value.
    struct CountingSink : CqVXImporterDelegate {
        std::shared_ptr<BMGroup> FindOrAddGroup(const std::string&) override { return nullptr; }
        void CreateType(const CStringArray&, int32_t, int32_t, int) override { ++types; }
        void AddRecord(EFileType, const CStringArray& values, const CStringArray&, const CStringArray&,
                       const CString&, int32_t, int32_t, int) override
        {
            ++records;
            last.assign(values.ViewAt(0));
        }
        void ImportComplete() override { complete = true; }
        void ErrorInImport(int code) override { errors.push_back(code); }
        int types = 0, records = 0;
        std::string last;
        bool complete = false;
        std::vector<int> errors;
    } sink;

    resetPeakMemory();
    const long before = peakMemoryKiB();
    ASSERT_GT(before, 0);
    {
        CqVXImporter importer(path, &sink);
        EXPECT_TRUE(importer.ImportFile(eFileQVXv3, ""));
    }
    const long grown = peakMemoryKiB() - before;
    EXPECT_TRUE(sink.complete);
    EXPECT_TRUE(sink.errors.empty());
    EXPECT_EQ(sink.types, 1);
    EXPECT_EQ(sink.records, records);
    EXPECT_EQ(sink.last, "r" + std::to_string(records - 1));
    // The file is 384 MiB; the reading window a few pieces of 4 MiB. The
    // address sanitizer keeps freed memory aside for a while, so its build
    // measures its own quarantine instead.
#if !defined(__SANITIZE_ADDRESS__)
    EXPECT_LT(grown, 48 * 1024) << "peak grew by " << grown << " KiB";
#else
    EXPECT_LT(grown, 384 * 1024) << "peak grew by " << grown << " KiB";
#endif
}
