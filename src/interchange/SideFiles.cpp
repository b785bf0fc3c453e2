#include "interchange/SideFiles.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string.h> // explicit_bzero

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Side files can be large; they are read in pieces of this size.
constexpr std::size_t kReadChunk = 1 << 16;

bool writeAll(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

// A folder made for the owner only, or one that is already there as a real
// folder (not a link to one).
bool ensureFolder(const std::string& path)
{
    if (::mkdir(path.c_str(), 0700) == 0)
        return true;
    if (errno != EEXIST)
        return false;
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::string withoutTrailingSlashes(std::string path)
{
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

} // namespace

bool IsValidSideFileName(std::string_view name)
{
    if (name.size() != kSideFileNameLength)
        return false;
    for (const char c : name)
        if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F')))
            return false;
    return true;
}

std::string FolderOfPath(const std::string& path)
{
    const std::string trimmed = withoutTrailingSlashes(path);
    const std::size_t slash = trimmed.rfind('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return trimmed.substr(0, slash);
}

std::string LastPathComponent(const std::string& path)
{
    const std::string trimmed = withoutTrailingSlashes(path);
    const std::size_t slash = trimmed.rfind('/');
    return slash == std::string::npos ? trimmed : trimmed.substr(slash + 1);
}

// ---- TVXAtomicFile -------------------------------------------------------------

TVXAtomicFile::TVXAtomicFile(std::string finalPath) : mFinalPath(std::move(finalPath)) {}

TVXAtomicFile::~TVXAtomicFile() { discard(); }

bool TVXAtomicFile::open()
{
    discard();
    mFailed = false;
    std::string pattern = FolderOfPath(mFinalPath) + "/." + LastPathComponent(mFinalPath) + ".XXXXXX";
    // mkstemp makes the file with mode 0600 and never opens one that exists.
    const int fd = ::mkstemp(pattern.data());
    if (fd < 0)
        return false;
    ::fchmod(fd, 0600); // whatever the umask
    mFd = fd;
    mTempPath = std::move(pattern);
    return true;
}

bool TVXAtomicFile::write(std::string_view bytes)
{
    if (mFd < 0 || mFailed)
        return false;
    if (!writeAll(mFd, bytes))
        mFailed = true;
    return !mFailed;
}

bool TVXAtomicFile::commit()
{
    if (mFd < 0 || mFailed) {
        discard();
        return false;
    }
    bool ok = ::fsync(mFd) == 0;
    ok = ::close(mFd) == 0 && ok;
    mFd = -1;
    if (ok)
        ok = ::rename(mTempPath.c_str(), mFinalPath.c_str()) == 0;
    if (!ok) {
        discard();
        return false;
    }
    mTempPath.clear();
    return true;
}

void TVXAtomicFile::discard()
{
    if (mFd >= 0) {
        ::close(mFd);
        mFd = -1;
    }
    if (!mTempPath.empty()) {
        ::unlink(mTempPath.c_str());
        mTempPath.clear();
    }
}

bool WriteFilePrivately(const std::string& path, std::string_view bytes)
{
    TVXAtomicFile file(path);
    return file.open() && file.write(bytes) && file.commit();
}

// ---- folders and side files -------------------------------------------------------

bool PrepareExportFolder(const std::string& path, std::string& innerFilePath, std::string& sideFileFolder)
{
    const std::string folder = withoutTrailingSlashes(path);
    const std::string name = LastPathComponent(folder);
    if (name.empty() || name == "." || name == "..")
        return false;
    const std::string files = folder + "/" + std::string(kAttachmentFolderName);
    if (!ensureFolder(folder) || !ensureFolder(files))
        return false;
    innerFilePath = folder + "/" + name;
    sideFileFolder = files + "/";
    return true;
}

std::optional<std::string> SideFilePath(const std::string& sideFileFolder, std::string_view name)
{
    if (!IsValidSideFileName(name))
        return std::nullopt;
    std::string path = sideFileFolder;
    if (!path.empty() && path.back() != '/')
        path += '/';
    path.append(name);
    path.append(kSideFileExtension);
    return path;
}

TVXSideFileStatus ReadSideFile(const std::string& qvxFilePath, std::string_view name, std::string& bytes,
                               std::size_t maxBytes)
{
    bytes.clear();
    if (!IsValidSideFileName(name))
        return TVXSideFileStatus::NameRefused;
    const std::string files = FolderOfPath(qvxFilePath) + "/" + std::string(kAttachmentFolderName);
    const int folder = ::open(files.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (folder < 0)
        return errno == ENOENT ? TVXSideFileStatus::Missing
               : errno == ELOOP || errno == ENOTDIR ? TVXSideFileStatus::NotAFile
                                                    : TVXSideFileStatus::Unreadable;
    const std::string fileName = std::string(name) + std::string(kSideFileExtension);
    const int fd = ::openat(folder, fileName.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    const int openError = errno;
    ::close(folder);
    if (fd < 0)
        return openError == ENOENT ? TVXSideFileStatus::Missing
               : openError == ELOOP ? TVXSideFileStatus::NotAFile
                                    : TVXSideFileStatus::Unreadable;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return TVXSideFileStatus::NotAFile;
    }
    if (static_cast<unsigned long long>(info.st_size) > maxBytes) {
        ::close(fd);
        return TVXSideFileStatus::TooLarge;
    }
    // The size is known and bounded: read in place, and stop at the limit
    // should the file have grown meanwhile.
    bytes.resize(static_cast<std::size_t>(info.st_size));
    std::size_t have = 0;
    bool ok = true, tooLarge = false;
    for (;;) {
        if (have == bytes.size()) {
            // Read as large as it was: at its end unless it grew.
            char probe;
            const ssize_t more = ::read(fd, &probe, 1);
            if (more < 0 && errno == EINTR)
                continue;
            if (more <= 0) {
                ok = more == 0;
                break;
            }
            if (bytes.size() >= maxBytes) {
                tooLarge = true;
                break;
            }
            bytes.push_back(probe);
            have = bytes.size();
            bytes.resize(std::min(maxBytes, bytes.size() + kReadChunk));
            continue;
        }
        const ssize_t n = ::read(fd, bytes.data() + have, bytes.size() - have);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            ok = false;
            break;
        }
        if (n == 0)
            break;
        have += static_cast<std::size_t>(n);
    }
    ::close(fd);
    if (!ok || tooLarge) {
        WipeBytes(bytes);
        bytes.clear();
        return tooLarge ? TVXSideFileStatus::TooLarge : TVXSideFileStatus::Unreadable;
    }
    bytes.resize(have);
    return TVXSideFileStatus::Read;
}

void WipeBytes(std::string& bytes)
{
    if (!bytes.empty())
        explicit_bzero(bytes.data(), bytes.size());
}
