#pragma once
// Files the importer and exporter touch besides the interchange file itself:
// the attachment side files (".sfa" in a "Files" folder next to a version 4
// qVX file), the folder layout of such an export, and private writing.
//
// Side-file names come from files and stores that others wrote, so only a
// record identifier (16 upper-case hexadecimal digits) is accepted as a name:
// nothing can reach outside its "Files" folder. Side files are opened without
// following symbolic links.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

// The folder of side files inside an export folder.
inline constexpr std::string_view kAttachmentFolderName = "Files";
inline constexpr std::string_view kSideFileExtension = ".sfa";
inline constexpr std::size_t kSideFileNameLength = 16;
// The largest side file taken on import: an attachment below the record
// sheet's limit of 1 MB, enciphered and padded to whole blocks, is never
// larger. Anything larger is refused unread.
inline constexpr std::size_t kMaxSideFileBytes = 1048576;

// Exactly 16 characters "0"-"9", "A"-"F".
bool IsValidSideFileName(std::string_view name);

// The folder part of a path ("." when it has none) and its last component.
std::string FolderOfPath(const std::string& path);
std::string LastPathComponent(const std::string& path);

// A file written under a temporary name beside its final place (readable and
// writable by the owner only) and renamed over the final path by commit(), so
// that the final path never holds half a file and a symbolic link there is
// replaced, not followed. Dropped without commit, the temporary file goes.
class TVXAtomicFile {
public:
    explicit TVXAtomicFile(std::string finalPath);
    ~TVXAtomicFile();
    TVXAtomicFile(const TVXAtomicFile&) = delete;
    TVXAtomicFile& operator=(const TVXAtomicFile&) = delete;

    // Creates the temporary file; false when the folder takes no new file.
    bool open();
    // Appends; false once any write failed (later writes do nothing).
    bool write(std::string_view bytes);
    // Flushes to the disk, closes and renames into place; false on any
    // failure, the final path then unchanged.
    bool commit();
    // Removes the temporary file, if any; the final path is left alone.
    void discard();

    const std::string& finalPath() const { return mFinalPath; }
    bool isOpen() const { return mFd >= 0; }

private:
    std::string mFinalPath;
    std::string mTempPath;
    int mFd = -1;
    bool mFailed = false;
};

// The whole file written through TVXAtomicFile.
bool WriteFilePrivately(const std::string& path, std::string_view bytes);

// The folder layout of a version 4 export chosen as `path`: the folder `path`
// and its "Files" folder (both made when missing, owner only), the inner
// qVX file path/<last component of path>, and the side-file folder
// path/Files/. False when either folder cannot be made or the path names
// something that is not a folder (a symbolic link included).
bool PrepareExportFolder(const std::string& path, std::string& innerFilePath, std::string& sideFileFolder);

enum class TVXSideFileStatus {
    Read,         // the bytes were read
    Missing,      // no such side file
    NameRefused,  // the name is no record identifier
    NotAFile,     // a link, a folder or anything but a plain file
    Unreadable,   // there, but it could not be read
    TooLarge,     // over maxBytes: not read
};

// The side file `name`.sfa in the "Files" folder beside the qVX file at
// qvxFilePath. The "Files" folder itself must not be a symbolic link. Its
// size is checked before anything is read.
TVXSideFileStatus ReadSideFile(const std::string& qvxFilePath, std::string_view name, std::string& bytes,
                               std::size_t maxBytes = kMaxSideFileBytes);

// The side-file path for a record identifier in a side-file folder (as
// PrepareExportFolder gives it); null when the name is refused.
std::optional<std::string> SideFilePath(const std::string& sideFileFolder, std::string_view name);

// Overwrites a buffer that held secrets before it is released.
void WipeBytes(std::string& bytes);
