// The exporter over real files: the lines it writes, the folder layout of a
// version 4 export, and that a failed export leaves no file and says so.
#include "ExchangeTestSupport.h"

#include "platform/core/FileTypeCodes.h"

#include <gtest/gtest.h>

#include <QFileInfo>

#include <csignal>
#include <sys/resource.h>

using namespace exchangetest;
using namespace formattest;

namespace {

using Strings = std::vector<std::string>;

std::vector<ScriptedProvider::Record> threeRecords(const std::string& t1, const std::string& t2,
                                                   const std::string& t3)
{
    return {record(t1, "one"), record(t2, "two"), record(t3, "three")};
}

// The first field of each line ("T" or "F" for qVX lines).
Strings lineKinds(const std::string& text)
{
    Strings kinds;
    for (const std::string& line : splitLines(text))
        kinds.push_back(line.substr(0, line.find(',')));
    return kinds;
}

} // namespace

TEST(ExportWriting, ATypeLineStandsBeforeEachChangeOfType)
{
    TempFolder folder;
    {
        const std::string path = folder.path("aab.qvx");
        ScriptedProvider provider(threeRecords("A", "A", "B"));
        CExporter exporter(path, &provider, eFileQVXv3, "");
        EXPECT_FALSE(exporter.IsEncrypted());
        EXPECT_TRUE(exporter.DoExport());
        EXPECT_EQ(provider.calls, (Strings{"type", "type", "complete"}));
        EXPECT_EQ(provider.completedPath, path);
        const std::string text = readFile(path);
        EXPECT_EQ(lineKinds(text), (Strings{"Tolvanex qVX File -v3.0", "F", "T", "F", "F", "T", "F"}));
        EXPECT_EQ(text.back(), '\r');
        EXPECT_EQ(text.find('\n'), std::string::npos);
        // Read back as the importer reads it.
        const ReadResult back = readAll(eFileQVXv3, text, nullptr);
        ASSERT_EQ(back.lines.size(), 5u);
        EXPECT_EQ(listOf(back.lines[0].values)[10], "A f10");
        EXPECT_EQ(listOf(back.lines[1].values)[0], "one");
        EXPECT_EQ(listOf(back.lines[3].values)[0], "B");
    }
    ScriptedProvider provider(threeRecords("A", "B", "A"));
    const std::string path = folder.path("aba.qvx");
    CExporter exporter(path, &provider, eFileQVXv3, "");
    EXPECT_TRUE(exporter.DoExport());
    EXPECT_EQ(lineKinds(readFile(path)), (Strings{"Tolvanex qVX File -v3.0", "F", "T", "F", "T", "F", "T", "F"}));
}

TEST(ExportWriting, ACSVExportHasNoTypeLinesAndIsNeverEncrypted)
{
    TempFolder folder;
    const std::string path = folder.path("records.csv");
    ScriptedProvider provider(threeRecords("A", "A", "B"));
    CExporter exporter(path, &provider, eFileCSVExport, "a password");
    EXPECT_FALSE(exporter.IsEncrypted());
    EXPECT_TRUE(exporter.DoExport());
    EXPECT_EQ(provider.calls, (Strings{"complete"}));
    const std::string text = readFile(path);
    const Strings lines = splitLines(text);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], "Tolvanex Export File");
    EXPECT_EQ(lines[1], "A,one,v2,v3,v4,v5,v6,v7,v8,v9,\"May 07,2009\",note,Group");
    EXPECT_EQ(lines[3].substr(0, 8), "B,three,");
}

TEST(ExportWriting, AnEncryptedExportReadsBackOnlyWithItsPassword)
{
    TempFolder folder;
    const std::string path = folder.path("secret.qvx");
    ScriptedProvider provider({record("Web", "s3cret value", "a note\nwith two lines")});
    CExporter exporter(path, &provider, eFileQVXv3, "pass phrase");
    EXPECT_TRUE(exporter.IsEncrypted());
    EXPECT_TRUE(exporter.DoExport());
    const std::string text = readFile(path);
    EXPECT_EQ(text.find("s3cret"), std::string::npos);
    EXPECT_EQ(text.find("Web"), std::string::npos);
    EXPECT_TRUE(CqVXImporter::DoesPasswordMatch(path, "pass phrase"));
    EXPECT_FALSE(CqVXImporter::DoesPasswordMatch(path, "pass phrasE"));
    const TVXFileKey key("pass phrase");
    const ReadResult back = readAll(eFileQVXv3, text, key.get());
    ASSERT_EQ(back.lines.size(), 2u);
    EXPECT_EQ(listOf(back.lines[1].values)[0], "s3cret value");
    EXPECT_EQ(listOf(back.lines[1].values)[10], "a note\rwith two lines");
}

TEST(ExportWriting, AVersionFourExportWithAnAttachmentBecomesAFolderWithItsSideFiles)
{
    TempFolder folder;
    auto records = threeRecords("A", "A", "B");
    records[1].attachmentName = "scan.pdf";
    records[1].passKey = "k3y";
    records[1].recordID = "00112233445566AA";
    records[1].sideFileBytes = std::string("\x01\x02\x00\x03", 4);
    records[0].recordID = "0011223344556601"; // no attachment: no side file
    const std::string path = folder.path("Records.qvx");
    ScriptedProvider provider(records);
    CExporter exporter(path, &provider, eFileQVXv4, "");
    EXPECT_TRUE(exporter.DoExport());

    const std::string inner = path + "/Records.qvx";
    EXPECT_EQ(exporter.Path(), inner);
    EXPECT_EQ(provider.completedPath, inner);
    EXPECT_EQ(provider.calls, (Strings{"paths", "type", "copy 00112233445566AA", "type", "complete"}));
    EXPECT_EQ(folderEntries(path), (Strings{"Files", "Records.qvx"}));
    EXPECT_EQ(folderEntries(path + "/Files"), (Strings{"00112233445566AA.sfa"}));
    EXPECT_EQ(readFile(path + "/Files/00112233445566AA.sfa"), records[1].sideFileBytes);
    EXPECT_EQ(modeOf(path), 0700);
    EXPECT_EQ(modeOf(path + "/Files"), 0700);
    EXPECT_EQ(modeOf(path + "/Files/00112233445566AA.sfa"), 0600);
    EXPECT_EQ(GetFileType(readFile(inner)), eFileQVXv4);

    // A version 3 export of the same records is one file.
    ScriptedProvider v3Provider(records);
    const std::string v3Path = folder.path("Records3.qvx");
    CExporter v3(v3Path, &v3Provider, eFileQVXv3, "");
    EXPECT_TRUE(v3.DoExport());
    EXPECT_EQ(v3Provider.completedPath, v3Path);
    EXPECT_TRUE(QFileInfo(QString::fromStdString(v3Path)).isFile());
}

TEST(ExportWriting, TheFileIsPrivateCarriesItsCodesAndReplacesAnEarlierOneWhole)
{
    TempFolder folder;
    const std::string path = folder.path("records.qvx");
    writeFile(path, "an earlier export");
    ScriptedProvider provider(threeRecords("A", "A", "B"));
    CExporter exporter(path, &provider, eFileQVXv3, "");
    EXPECT_TRUE(exporter.DoExport());
    EXPECT_EQ(GetFileType(readFile(path)), eFileQVXv3);
    EXPECT_EQ(modeOf(path), 0600);
    // No temporary file is left beside it.
    EXPECT_EQ(folderEntries(FolderOfPath(path)), (Strings{"records.qvx"}));

    const std::string csv = folder.path("records.csv");
    ScriptedProvider csvProvider(threeRecords("A", "A", "B"));
    CExporter csvExporter(csv, &csvProvider, eFileCSVExport, "");
    EXPECT_TRUE(csvExporter.DoExport());
    if (platform::fileTypeCode(path).empty())
        GTEST_SKIP() << "this file system keeps no user attributes";
    EXPECT_EQ(platform::fileTypeCode(path), "TEXT");
    EXPECT_EQ(platform::fileCreatorCode(path), "Tvlx");
    EXPECT_EQ(platform::fileTypeCode(csv), "TEXT");
    EXPECT_EQ(platform::fileCreatorCode(csv), "ttxt");
}

TEST(ExportFailures, InvalidArgumentsAreRefusedAtConstruction)
{
    ScriptedProvider provider({});
    auto messageOf = [](const std::string& path, CExportDataProviderDelegate* p, EFileType kind) -> std::string {
        try {
            CExporter exporter(path, p, kind, "");
        } catch (const TVXInterchangeError& e) {
            return e.what();
        }
        return "(accepted)";
    };
    EXPECT_EQ(messageOf("/tmp/x.qvx", nullptr, eFileQVXv3), "Invalid arguments");
    EXPECT_EQ(messageOf("", &provider, eFileQVXv3), "Invalid arguments");
    EXPECT_EQ(messageOf("/tmp/x.qvx", &provider, eFileQVXv1), "Invalid arguments");
    EXPECT_EQ(messageOf("/tmp/x.qvx", &provider, eFileUserCSV), "Invalid arguments");
    EXPECT_EQ(messageOf("/tmp/x.qvx", &provider, eFileQVXv4), "(accepted)");
    EXPECT_TRUE(provider.calls.empty());
}

TEST(ExportFailures, AnUnwritableFolderIsReportedAndNothingClaimsSuccess)
{
    TempFolder folder;
    writeFile(folder.path("plain"), "a file, not a folder");
    // /proc takes no new file, not even from root; a path through a file has no folder.
    for (const std::string& path : {std::string("/proc/tolvanex-export.qvx"), folder.path("plain/export.qvx")}) {
        for (EFileType kind : {eFileQVXv3, eFileCSVExport}) {
            SCOPED_TRACE(path);
            ScriptedProvider provider(threeRecords("A", "A", "B"));
            CExporter exporter(path, &provider, kind, "");
            EXPECT_FALSE(exporter.DoExport());
            EXPECT_EQ(provider.calls, (Strings{"error 2", "complete"}));
            EXPECT_EQ(provider.completedPath, "");
        }
    }
    // A version 4 export whose folder cannot be made.
    auto records = threeRecords("A", "A", "B");
    records[0].attachmentName = "a.bin";
    records[0].recordID = "0011223344556601";
    ScriptedProvider provider(records);
    CExporter exporter("/proc/tolvanex-export.qvx", &provider, eFileQVXv4, "");
    EXPECT_FALSE(exporter.DoExport());
    EXPECT_EQ(provider.calls, (Strings{"paths", "error 2", "complete"}));
    EXPECT_EQ(provider.completedPath, "");
}

TEST(ExportFailures, AFileThatCannotBeWrittenWholeIsNotPutInPlace)
{
    TempFolder folder;
    const std::string path = folder.path("big.qvx");
    writeFile(path, "the earlier export");
    std::vector<ScriptedProvider::Record> records;
    for (int i = 0; i < 200; ++i)
        records.push_back(record("A", "record " + std::to_string(i), std::string(2000, 'n')));

    // Files may grow to 64 KB only: the write fails part way.
    struct sigaction ignore {}, previous {};
    ignore.sa_handler = SIG_IGN;
    ASSERT_EQ(::sigaction(SIGXFSZ, &ignore, &previous), 0);
    rlimit before {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &before), 0);
    rlimit small = before;
    small.rlim_cur = 65536;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    ScriptedProvider provider(records);
    CExporter exporter(path, &provider, eFileQVXv3, "");
    const bool ok = exporter.DoExport();
    ::setrlimit(RLIMIT_FSIZE, &before);
    ::sigaction(SIGXFSZ, &previous, nullptr);

    EXPECT_FALSE(ok);
    ASSERT_GE(provider.calls.size(), 2u);
    EXPECT_EQ(provider.calls[provider.calls.size() - 2], "error 3");
    EXPECT_EQ(provider.calls.back(), "complete");
    EXPECT_EQ(provider.completedPath, "");
    EXPECT_EQ(readFile(path), "the earlier export");
    EXPECT_EQ(folderEntries(FolderOfPath(path)), (Strings{"big.qvx"}));
}

TEST(ExportFailures, RecordsEndingEarlyOrSideFilesRefusedAreReported)
{
    TempFolder folder;
    {
        ScriptedProvider provider(threeRecords("A", "A", "B"));
        provider.refuseTypes = true;
        CExporter exporter(folder.path("early.qvx"), &provider, eFileQVXv3, "");
        EXPECT_FALSE(exporter.DoExport());
        EXPECT_EQ(provider.calls, (Strings{"type", "error 5", "complete"}));
        // A file without all its records is not put in place.
        EXPECT_EQ(provider.completedPath, "");
        EXPECT_TRUE(folderEntries(FolderOfPath(folder.path("early.qvx"))).empty());
    }
    // A record identifier that is no side-file name never names a file.
    auto records = threeRecords("A", "A", "B");
    records[0].attachmentName = "evil.bin";
    records[0].recordID = "../../escaped";
    records[1].attachmentName = "lower.bin";
    records[1].recordID = "00112233445566aa";
    records[2].attachmentName = "good.bin";
    records[2].recordID = "00112233445566BB";
    records[2].sideFileBytes = "bytes";
    const std::string path = folder.path("Crafted.qvx");
    ScriptedProvider provider(records);
    CExporter exporter(path, &provider, eFileQVXv4, "");
    EXPECT_FALSE(exporter.DoExport());
    EXPECT_EQ(provider.calls, (Strings{"paths", "type", "error 6", "error 6", "type", "copy 00112233445566BB",
                                       "complete"}));
    EXPECT_EQ(provider.completedPath, path + "/Crafted.qvx"); // the file itself is whole
    EXPECT_EQ(folderEntries(path + "/Files"), (Strings{"00112233445566BB.sfa"}));
    EXPECT_EQ(folderEntries(FolderOfPath(path)), (Strings{"Crafted.qvx"}));
}

TEST(ExportFailures, AnythingThrownByTheProviderEndsTheExportReported)
{
    // The store lost mid-way, as the provider would meet it.
    struct Throwing : ScriptedProvider {
        using ScriptedProvider::ScriptedProvider;
        bool AnyRecordHasAttachment() override { throw std::runtime_error("connection lost"); }
        bool GetNextRecord(EFileType kind, CStringArray& values, int32_t& mask, CStringArray& customNames,
                           CString& groupName, CStringArray& attachmentFields, int32_t& icon,
                           bool& typeChanged) override
        {
            if (throwOnRecord)
                throw 42; // not even a std::exception
            return ScriptedProvider::GetNextRecord(kind, values, mask, customNames, groupName, attachmentFields,
                                                   icon, typeChanged);
        }
        bool throwOnRecord = false;
    };
    TempFolder folder;
    for (const EFileType kind : {eFileQVXv4, eFileQVXv3}) {
        Throwing provider(threeRecords("A", "A", "B"));
        provider.throwOnRecord = kind == eFileQVXv3;
        CExporter exporter(folder.path("lost.qvx"), &provider, kind, "");
        EXPECT_FALSE(exporter.DoExport());
        EXPECT_EQ(provider.calls, (Strings{"error 3", "complete"}));
        EXPECT_EQ(provider.completedPath, "");
    }
    EXPECT_TRUE(folderEntries(FolderOfPath(folder.path("lost.qvx"))).empty());
}
