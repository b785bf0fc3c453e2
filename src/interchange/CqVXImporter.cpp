#include "interchange/CqVXImporter.h"

#include "interchange/SideFiles.h"
#include "interchange/TextParsing.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <string.h> // explicit_bzero

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Only a regular file is read: opened without waiting (a pipe would block
// for ever) and refused unless it is one. -1 when it cannot be read, and
// also (*tooLarge set) when it is over the import limit.
int openImportFile(const std::string& path, bool* tooLarge)
{
    *tooLarge = false;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        return -1;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size > kImportFileByteLimit) {
        *tooLarge = S_ISREG(info.st_mode) && info.st_size > kImportFileByteLimit;
        ::close(fd);
        return -1;
    }
    return fd;
}

// Up to `bytes` more of the file behind `text`; 0 at its end, -1 on an error.
// No read error escapes as an exception.
ssize_t readPiece(int fd, std::string& text, std::size_t bytes)
{
    const std::size_t had = text.size();
    text.resize(had + bytes); // the caller made room: no copy is left behind unwiped
    std::size_t got = 0;
    while (got < bytes) {
        const ssize_t n = ::read(fd, text.data() + had + got, bytes - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            text.resize(had);
            return -1;
        }
        if (n == 0)
            break;
        got += static_cast<std::size_t>(n);
    }
    text.resize(had + got);
    return static_cast<ssize_t>(got);
}

// Whether every byte of the file is a text byte, read piece by piece; false
// also when it cannot be read or grows past the import limit meanwhile.
bool isTextThroughout(int fd, bool* readable)
{
    std::string piece;
    piece.reserve(kImportPieceBytes);
    bool text = true;
    std::int64_t total = 0;
    *readable = true;
    for (;;) {
        piece.clear();
        const ssize_t n = readPiece(fd, piece, kImportPieceBytes);
        total += n > 0 ? n : 0;
        if (n < 0 || total > kImportFileByteLimit) {
            *readable = false;
            break;
        }
        if (n == 0)
            break;
        if (text && !IsTextFile(piece))
            text = false;
    }
    WipeBytes(piece);
    return text && *readable && ::lseek(fd, 0, SEEK_SET) == 0;
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
    mFd = openImportFile(path, &tooLarge);
    if (mFd < 0) {
        if (tooLarge)
            throw TVXFileTooLarge();
        throw TVXInterchangeError("Invalid arguments");
    }
    const auto refuse = [this](const char* why) {
        ::close(mFd);
        WipeBytes(mText);
        throw TVXInterchangeError(why);
    };
    // A file with a byte that is no text anywhere in it is binary: looked at
    // piece by piece before anything is handed on.
    bool readable = true;
    const bool text = isTextThroughout(mFd, &readable);
    if (!readable)
        refuse("Invalid arguments");
    if (!text) {
        mFileType = eFileBinary;
        mAtEnd = true;
        return;
    }
    if (!fillWindow(kImportPieceBytes))
        refuse("Invalid arguments");
    if (mText.empty())
        refuse("Empty file");
    // The kind and the info line are at the start.
    mFileType = GetFileType(mText);
    // The readers stop at the first zero byte: a file holding one is binary
    // anyway, so nothing behind it is lost.
    mEncrypted = isQVX(mFileType) && CheckForEncryption(mText.c_str());
}

CqVXImporter::~CqVXImporter()
{
    if (mFd >= 0)
        ::close(mFd);
    WipeBytes(mText);
}

bool CqVXImporter::fillWindow(std::size_t ahead)
{
    while (!mAtEnd && mText.size() - mConsumed < ahead) {
        // What was handed on goes (wiped); the rest moves to the front.
        const std::size_t keep = mText.size() - mConsumed;
        if (mConsumed > 0) {
            std::memmove(mText.data(), mText.data() + mConsumed, keep);
            explicit_bzero(mText.data() + keep, mConsumed);
            mText.resize(keep);
            mConsumed = 0;
        }
        const std::size_t piece = std::max(kImportPieceBytes, ahead - keep);
        if (mText.capacity() < keep + piece) {
            // Grown by hand, so that the old copy is wiped before it is freed.
            std::string bigger;
            bigger.reserve(std::max(keep + piece, 2 * mText.capacity()));
            bigger.assign(mText);
            WipeBytes(mText);
            mText.swap(bigger);
        }
        const ssize_t n = readPiece(mFd, mText, piece);
        if (n < 0)
            return false;
        mBytesRead += n;
        if (mBytesRead > kImportFileByteLimit)
            return false; // it grew past the limit while being read
        mAtEnd = n == 0;
    }
    return true;
}

bool CqVXImporter::skipToLineEndAfter(std::size_t from)
{
    while (mText.size() - mConsumed < from) {
        from -= mText.size() - mConsumed;
        mConsumed = mText.size();
        if (mAtEnd)
            return true;
        if (!fillWindow(1))
            return false;
    }
    mConsumed += from;
    for (;;) {
        const char* pos = mText.c_str() + mConsumed;
        const char* end = mText.c_str() + mText.size();
        while (pos < end && *pos != '\0' && !IsLineEndChar(*pos))
            ++pos;
        mConsumed = std::size_t(pos - mText.c_str());
        if (pos < end || mAtEnd)
            return true;
        if (!fillWindow(1))
            return false;
    }
}

bool CqVXImporter::DoesPasswordMatch(const std::string& path, const std::string& password)
{
    bool tooLarge = false;
    const int fd = path.empty() ? -1 : openImportFile(path, &tooLarge);
    if (fd < 0)
        return false;
    // The info line is at the start.
    std::string text;
    text.reserve(kImportPieceBytes);
    const bool read = readPiece(fd, text, kImportPieceBytes) >= 0;
    ::close(fd);
    const TVXFileKey key(password);
    const bool match = read && ProcessQVXInfo(text.c_str(), key.get()) == kQVXInfoMatch;
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
    TVXFileLine line;
    for (;;) {
        if (!fillWindow(kImportLookAheadBytes)) {
            mSink->ErrorInImport(kImportErrorUnreadableFile); // the rest of the file is lost, and said so
            return false;
        }
        // The readers look past a record's end (where a quote closes, whether
        // blank lines follow), so a record read too close to the window's end
        // is read again with more text behind it.
        TVXReadReport tried;
        const char* pos = nullptr;
        const char* next = nullptr;
        bool overLong = false;
        for (;;) {
            pos = mText.c_str() + mConsumed;
            tried = report;
            next = GetNextRecord(mFileType, pos, key, line, &tried);
            const char* end = mText.c_str() + mText.size();
            if (mAtEnd || !next || std::size_t(end - next) >= kImportLookAheadBytes)
                break;
            const std::size_t have = mText.size() - mConsumed;
            if (have >= kImportLongestRecordBytes + kImportLookAheadBytes) {
                overLong = true;
                break;
            }
            if (!fillWindow(have + kImportPieceBytes)) {
                mSink->ErrorInImport(kImportErrorUnreadableFile);
                return false;
            }
        }
        if (overLong) {
            line.clear();
            mSink->ErrorInImport(kImportErrorMalformedLine);
            if (!skipToLineEndAfter(kImportLongestRecordBytes)) {
                mSink->ErrorInImport(kImportErrorUnreadableFile);
                return false;
            }
            continue;
        }
        report = tried;
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
            mConsumed = std::size_t(next - mText.c_str());
            continue;
        }
        mConsumed = std::size_t(next - mText.c_str());
        const int count = line.values.GetSize();
        if (line.isType)
            mSink->CreateType(line.values, clampedNumber(line.icon), clampedNumber(line.mask), count);
        else
            mSink->AddRecord(mFileType, line.values, line.customNames, line.attachmentFields,
                             line.groupName, clampedNumber(line.icon), clampedNumber(line.mask), count);
    }
}
