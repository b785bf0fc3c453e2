#include "FuzzReaders.h"

#include "exchange/TVXqVXImportDelegate.h"
#include "interchange/CEventLoggerBackupCreator.h"
#include "interchange/CqVXImporter.h"
#include "interchange/FileCrypter.h"
#include "interchange/FileDates.h"
#include "interchange/FileFormats.h"
#include "interchange/SideFiles.h"
#include "interchange/TextParsing.h"

#include <QString>
#include <QVariantHash>

#include <cstdio>
#include <cstdlib>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

[[noreturn]] void broken(const char* promise)
{
    std::fprintf(stderr, "reader broke its promise: %s\n", promise);
    std::abort();
}

void check(bool holds, const char* promise)
{
    if (!holds)
        broken(promise);
}

// Positions stay inside the text and every call moves on or ends it.
void readEveryLine(EFileType kind, const std::string& text, const BlowfishContext* key)
{
    const char* const begin = text.c_str();
    const char* const end = begin + text.size();
    const char* pos = begin;
    TVXReadReport report;
    for (;;) {
        TVXFileLine line;
        const char* next = GetNextRecord(kind, pos, key, line, &report);
        if (!next)
            return;
        check(next >= pos && next <= end, "positions stay inside the text");
        check(report.refusedLines >= 0 && report.linesWithExtraFields >= 0, "counts never go below zero");
        if (line.values.GetSize() == 0) {
            check(*next == '\0', "a line without values is the end of the text");
            return;
        }
        if (line.isType)
            check(line.customNames.GetSize() == 0 && line.attachmentFields.GetSize() == 0,
                  "type lines carry names only");
        else if (kind != eFileCSVExport && kind != eFileText)
            check(line.values.GetSize() == kQVXValueCount + 2, "record lines deliver all their values");
        if (!line.isType && line.values.GetSize() >= 2) {
            // What the sink makes of the date and the notes.
            ParseFileDate(line.values.ViewAt(line.values.GetSize() - 2));
            TVXqVXImportDelegate::notesFromFile(line.values.ViewAt(line.values.GetSize() - 1));
        }
        check(next > pos, "every line read moves on");
        pos = next;
    }
}

class CountingSink : public CqVXImporterDelegate {
public:
    std::shared_ptr<BMGroup> FindOrAddGroup(const std::string&) override { return nullptr; }
    void CreateType(const CStringArray& fields, int32_t, int32_t, int count) override
    {
        check(count == fields.GetSize(), "count is the number of entries");
    }
    void AddRecord(EFileType, const CStringArray& values, const CStringArray&, const CStringArray&, const CString&,
                   int32_t, int32_t, int count) override
    {
        check(!complete, "nothing arrives after the end");
        check(count == values.GetSize(), "count is the number of entries");
    }
    void ImportComplete() override
    {
        check(!complete, "the import completes once");
        complete = true;
    }
    void ErrorInImport(int code) override { check(code >= 1 && code <= 11, "error codes are known ones"); }
    bool complete = false;
};

// A private folder for the files the importer and side-file reader open,
// removed when the process ends.
class WorkFolder {
public:
    WorkFolder()
    {
        char pattern[] = "/tmp/tvx-fuzz-XXXXXX";
        if (!::mkdtemp(pattern))
            broken("a private folder can be made");
        path = pattern;
        ::mkdir((path + "/Files").c_str(), 0700);
    }
    ~WorkFolder()
    {
        ::unlink((path + "/Files/0123456789ABCDEF.sfa").c_str());
        ::unlink((path + "/input.qvx").c_str());
        ::rmdir((path + "/Files").c_str());
        ::rmdir(path.c_str());
    }
    std::string path;
};

const std::string& workFolder()
{
    static const WorkFolder folder;
    return folder.path;
}

void writeWhole(const std::string& path, const std::string& bytes)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        broken("the work file can be written");
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n <= 0)
            broken("the work file can be written");
        done += std::size_t(n);
    }
    ::close(fd);
}

void importFile(const std::string& text)
{
    const std::string path = workFolder() + "/input.qvx";
    writeWhole(path, text);
    for (const char* password : {"", kFuzzPassword}) {
        CountingSink sink;
        try {
            CqVXImporter importer(path, &sink);
            importer.ImportFile(importer.FileType(), password);
            check(sink.complete, "an import always completes");
        } catch (const TVXInterchangeError&) {
            check(text.empty(), "only an empty file is refused here");
        }
    }
    CqVXImporter::DoesPasswordMatch(path, kFuzzPassword);
}

void readSideFile(const std::string& bytes)
{
    const std::string qvx = workFolder() + "/input.qvx";
    writeWhole(workFolder() + "/Files/0123456789ABCDEF.sfa", bytes);
    std::string read;
    const TVXSideFileStatus status = ReadSideFile(qvx, "0123456789ABCDEF", read);
    if (bytes.size() > kMaxSideFileBytes) {
        check(status == TVXSideFileStatus::TooLarge && read.empty(), "a side file over the limit is not read");
        return;
    }
    check(status == TVXSideFileStatus::Read && read == bytes, "a side file is read whole");
    const TVXFileCrypter crypter("k3y");
    crypter.decryptData(read);
    // Enciphered and deciphered, the bytes come back, zero padding behind.
    std::string copy = bytes;
    crypter.encryptData(copy);
    crypter.decryptData(copy);
    check(copy.size() >= bytes.size() && copy.compare(0, bytes.size(), bytes) == 0, "side files decipher back");
}

// The input read as an event-log backup file: five fields an entry. Written
// back, every entry is again five fields.
void readBackupFile(const std::string& text)
{
    static const QStringList& columns = CEventLoggerBackupCreator::columns();
    QList<QVariantHash> entries;
    const char* pos = text.c_str();
    for (;;) {
        pos = SkipWhiteSp(pos, false);
        if (*pos == '\0')
            break;
        QVariantHash entry;
        for (int i = 0; i < columns.size() && !AtLineEnd(pos); ++i) {
            std::string field;
            pos = GetNextField(pos, field);
            entry.insert(columns[i], QString::fromUtf8(field.data(), qsizetype(field.size())));
        }
        pos = SkipLine(pos);
        entries.append(entry);
    }
    const std::string written = CEventLoggerBackupCreator(entries).fileContents();
    int fields = 0;
    for (const char* p = written.c_str();;) {
        p = SkipWhiteSp(p, false);
        if (*p == '\0')
            break;
        std::string field;
        p = GetNextField(p, field);
        ++fields;
    }
    check(fields == 5 * (int(entries.size()) + 1), "a written backup line reads back as five fields");
}

} // namespace

void FuzzReaders(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    const EFileType kind = GetFileType(text);
    check(kind >= eFileCSVExport && kind <= eFileBinary, "every file has a kind");
    CheckForEncryption(text.c_str());
    const TVXFileKey key(kFuzzPassword);
    ProcessQVXInfo(text.c_str(), nullptr);
    ProcessQVXInfo(text.c_str(), key.get());
    for (const EFileType reader : {eFileCSVExport, eFileQVXv1, eFileQVXv2, eFileQVXv3, eFileQVXv4}) {
        readEveryLine(reader, text, nullptr);
        readEveryLine(reader, text, key.get());
    }
    const char* pos = text.c_str();
    for (;;) {
        CStringArray account, permissions;
        const char* next = GetCSVUserRecord(pos, account, permissions);
        check(next >= pos && next <= text.c_str() + text.size(), "positions stay inside the text");
        if (*next == '\0' || next == pos)
            break;
        pos = next;
    }
    importFile(text);
    readSideFile(text);
    readBackupFile(text);
}
