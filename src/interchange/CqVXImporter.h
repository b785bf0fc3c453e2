#pragma once
// The importer: reads a qVX or CSV export file and hands every type line and
// record line, in file order, to an import sink, which turns them into types
// and records of the vault. Plain C++ over the file's bytes; the sink is the
// only way out.
#include "interchange/FileFormats.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>

class BMGroup;

// A refused construction of an importer or exporter; what() is the reason
// ("Invalid arguments", "Empty file").
class TVXInterchangeError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// No export file comes near this size (a record line takes a few kilobytes
// at most); a larger file is refused before any of it is read.
inline constexpr std::int64_t kImportFileByteLimit = std::int64_t(512) * 1024 * 1024;
// The file is read in pieces, so the memory it takes is bounded whatever its
// size: the text from the next record on, at least kImportLookAheadBytes past
// its end (the readers look ahead for a quote's close), and at most
// kImportLongestRecordBytes for one record; a longer record (or a quote left
// open that long) is refused as malformed and reading goes on at the next
// line end after that.
inline constexpr std::size_t kImportPieceBytes = std::size_t(4) * 1024 * 1024;
inline constexpr std::size_t kImportLookAheadBytes = std::size_t(1) * 1024 * 1024;
inline constexpr std::size_t kImportLongestRecordBytes = std::size_t(32) * 1024 * 1024;

// An import file over kImportFileByteLimit: what() is "File too large".
class TVXFileTooLarge : public TVXInterchangeError {
public:
    TVXFileTooLarge() : TVXInterchangeError("File too large") {}
};

// Codes handed to CqVXImporterDelegate::ErrorInImport. The importer itself
// gives 1, 3, 4 and 5; the sink notes its own failures with the others.
// Whole-file failures: nothing was imported.
inline constexpr int kImportErrorNotImportable = 1;  // no qVX or CSV export file of a readable version
inline constexpr int kImportErrorWrongPassword = 3;  // the password does not open the file (or is missing)
inline constexpr int kImportErrorUnreadableFile = 4; // the file cannot be read, or is empty
inline constexpr int kImportErrorFileTooLarge = 12;  // over kImportFileByteLimit: not read at all
// One record line lost each:
inline constexpr int kImportErrorRecordNotStored = 2; // the store refused the record or its type
inline constexpr int kImportErrorMalformedLine = 5;   // a record line ended before its fields
inline constexpr int kImportErrorNoType = 6;          // no type line (or an unnamed one) above the record
inline constexpr int kImportErrorValueTooLong = 7;    // a text over the record sheet's limits
inline constexpr int kImportErrorNoTargetGroup = 8;   // no group to import into
// The record was imported, without its attachment:
inline constexpr int kImportErrorSideFileMissing = 9;   // its side file is not there
inline constexpr int kImportErrorSideFileRefused = 10;  // its side file is refused, unreadable or too large
// The line was imported without the fields past its layout:
inline constexpr int kImportErrorSurplusFields = 11;

// The import sink. Every call comes from the thread running ImportFile, in
// file order; ImportComplete is always the last.
class CqVXImporterDelegate {
public:
    virtual ~CqVXImporterDelegate() = default;

    // The group of that name, made and stored if missing; none for an empty name.
    virtual std::shared_ptr<BMGroup> FindOrAddGroup(const std::string& groupName) = 0;
    // A type line: typeFields holds the type name and its field names; count
    // is the number of entries.
    virtual void CreateType(const CStringArray& typeFields, int32_t icon, int32_t mask, int count) = 0;
    // A record line (TVXFileLine says what each list holds for each kind);
    // count is the number of entries in values.
    virtual void AddRecord(EFileType kind, const CStringArray& values, const CStringArray& customNames,
                           const CStringArray& attachmentFields, const CString& groupName, int32_t icon,
                           int32_t mask, int count) = 0;
    // The whole file was handed on (or refused); the import is over.
    virtual void ImportComplete() = 0;
    virtual void ErrorInImport(int code) = 0;
};

class CqVXImporter {
public:
    // Opens the file, reads its first piece and takes its kind. Throws TVXInterchangeError
    // "Invalid arguments" for a null sink or a file that cannot be read
    // (anything but a regular file is never opened for reading: a folder or
    // a pipe is refused at once), and "Empty file" for an empty one; a file
    // over kImportFileByteLimit throws TVXFileTooLarge before anything of it
    // is read. The sink is not owned.
    CqVXImporter(const std::string& path, CqVXImporterDelegate* sink);
    ~CqVXImporter(); // wipes the text read
    CqVXImporter(const CqVXImporter&) = delete;
    CqVXImporter& operator=(const CqVXImporter&) = delete;

    // The info line of a qVX file says "T"; false for every other kind.
    bool IsFileEncrypted() const { return mEncrypted; }
    EFileType FileType() const { return mFileType; }

    // Whether the password opens the file at path: true for a plain qVX file,
    // false for a file that is not qVX or cannot be read.
    static bool DoesPasswordMatch(const std::string& path, const std::string& password);

    // Hands the whole file to the sink and ends with its ImportComplete, in
    // every case. The file's own kind drives the reading (`kind` is not
    // used). Kinds that are not qVX versions 1 to 4 or a CSV export, and an
    // encrypted file whose password does not match, are refused before
    // anything is handed on (ErrorInImport 1 or 3). Record lines the reader
    // cannot take are each reported (5), and so is each line whose fields past
    // its layout were left out (11). The password is ignored for a plain
    // file. True when the file was read through. After ImportComplete the
    // importer touches neither the sink nor itself: the sink's owner may
    // destroy both once the sink says it is complete.
    bool ImportFile(EFileType kind, const std::string& password);

private:
    bool readLines(const BlowfishContext* key);
    // At least `ahead` bytes of text from mConsumed on, or all the file has;
    // false when reading failed or the file grew past the limit.
    bool fillWindow(std::size_t ahead);
    // Drops the window up to the first line end at or after `from` bytes past
    // mConsumed, reading on as far as needed; false as fillWindow.
    bool skipToLineEndAfter(std::size_t from);

    CqVXImporterDelegate* mSink;
    int mFd = -1;
    std::string mText;          // the window: the file's bytes from some point on (zero-terminated)
    std::size_t mConsumed = 0;  // the window's bytes already handed on
    std::int64_t mBytesRead = 0;
    bool mAtEnd = false;        // the file has no more bytes
    EFileType mFileType = eFileNone;
    bool mEncrypted = false;
};
