#include "interchange/CqVXImporter.h"

#include "interchange/SideFiles.h"

#include <cerrno>
#include <climits>
#include <string.h> // explicit_bzero

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Only a regular file is read: opened without waiting (a pipe would block
// for ever) and refused unless it is one. No read error escapes as an
// exception. A file over the import limit is not read (*tooLarge set); one
// that grows past it while being read is dropped as well.
bool readWholeFile(const std::string& path, std::string& text, bool* tooLarge = nullptr)
{
    text.clear();
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        return false;
    struct stat info {};
    bool ok = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
    bool over = ok && info.st_size > kImportFileByteLimit;
    ok = ok && !over;
    // Read in place at the size the file has; more than that (it grew
    // meanwhile) through a small buffer.
    std::size_t have = 0;
    if (ok && info.st_size > 0)
        text.resize(static_cast<std::size_t>(info.st_size));
    char chunk[4096];
    while (ok) {
        const bool inPlace = have < text.size();
        const ssize_t n = inPlace ? ::read(fd, text.data() + have, text.size() - have)
                                  : ::read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            ok = n == 0;
            break;
        }
        if (inPlace) {
            have += static_cast<std::size_t>(n);
        } else {
            text.append(chunk, static_cast<std::size_t>(n));
            have = text.size();
            if (std::int64_t(have) > kImportFileByteLimit) {
                over = true;
                ok = false;
            }
        }
    }
    ::close(fd);
    if (tooLarge)
        *tooLarge = over;
    explicit_bzero(chunk, sizeof chunk);
    if (!ok)
        WipeBytes(text);
    text.resize(ok ? have : 0); // a file that shrank meanwhile ends where its bytes did
    return ok;
}

bool isImportable(EFileType kind)
{
    switch (kind) {
    case eFileCSVExport:
    case eFileQVXv1:
    case eFileQVXv2:
    case eFileQVXv3:
    case eFileQVXv4:
        return true;
    default:
        return false;
    }
}

bool isQVX(EFileType kind) { return kind >= eFileQVXv1 && kind <= eFileQVXv4; }

int32_t clampedNumber(long value)
{
    if (value < 0 || value > INT32_MAX)
        return 0; // no icon or mask of ours; read as none
    return static_cast<int32_t>(value);
}

} // namespace

CqVXImporter::CqVXImporter(const std::string& path, CqVXImporterDelegate* sink) : mSink(sink)
{
    if (!sink || path.empty())
        throw TVXInterchangeError("Invalid arguments");
    bool tooLarge = false;
    if (!readWholeFile(path, mText, &tooLarge)) {
        if (tooLarge)
            throw TVXFileTooLarge();
        throw TVXInterchangeError("Invalid arguments");
    }
    if (mText.empty())
        throw TVXInterchangeError("Empty file");
    mFileType = GetFileType(mText);
    // The readers stop at the first zero byte: a file holding one is binary
    // anyway, so nothing behind it is lost.
    mEncrypted = isQVX(mFileType) && CheckForEncryption(mText.c_str());
}

CqVXImporter::~CqVXImporter() { WipeBytes(mText); }

bool CqVXImporter::DoesPasswordMatch(const std::string& path, const std::string& password)
{
    std::string text;
    if (path.empty() || !readWholeFile(path, text))
        return false;
    const TVXFileKey key(password);
    const bool match = ProcessQVXInfo(text.c_str(), key.get()) == kQVXInfoMatch;
    WipeBytes(text);
    return match;
}

bool CqVXImporter::ImportFile(EFileType /*kind*/, const std::string& password)
{
    CqVXImporterDelegate* const sink = mSink;
    bool readThrough = false;
    try {
        if (!isImportable(mFileType)) {
            sink->ErrorInImport(kImportErrorNotImportable);
        } else if (mEncrypted) {
            // The password is tested first: cipher text is never taken as values.
            const TVXFileKey key(password);
            if (!key || ProcessQVXInfo(mText.c_str(), key.get()) != kQVXInfoMatch)
                sink->ErrorInImport(kImportErrorWrongPassword);
            else
                readThrough = readLines(key.get());
        } else {
            readThrough = readLines(nullptr);
        }
    } catch (...) {
        // Out of memory or the like: the rest of the file is lost, and said so.
        sink->ErrorInImport(kImportErrorUnreadableFile);
        readThrough = false;
    }
    sink->ImportComplete(); // last, in every case: the sink's owner may destroy us from here on
    return readThrough;
}

bool CqVXImporter::readLines(const BlowfishContext* key)
{
    TVXReadReport report;
    int refusedSoFar = 0;
    int surplusSoFar = 0;
    const char* pos = mText.c_str();
    TVXFileLine line;
    for (;;) {
        const char* next = GetNextRecord(mFileType, pos, key, line, &report);
        for (; refusedSoFar < report.refusedLines; ++refusedSoFar)
            mSink->ErrorInImport(kImportErrorMalformedLine);
        for (; surplusSoFar < report.linesWithExtraFields; ++surplusSoFar)
            mSink->ErrorInImport(kImportErrorSurplusFields);
        if (!next) {
            if (report.keyRefused)
                mSink->ErrorInImport(kImportErrorWrongPassword);
            return false;
        }
        if (line.values.GetSize() == 0) {
            if (*next == '\0')
                return true; // the end of the text
            if (next == pos)
                return false; // no progress: never loop on a line the reader cannot take
            pos = next;
            continue;
        }
        pos = next;
        const int count = line.values.GetSize();
        if (line.isType)
            mSink->CreateType(line.values, clampedNumber(line.icon), clampedNumber(line.mask), count);
        else
            mSink->AddRecord(mFileType, line.values, line.customNames, line.attachmentFields,
                             line.groupName, clampedNumber(line.icon), clampedNumber(line.mask), count);
    }
}
