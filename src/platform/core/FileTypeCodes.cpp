#include "platform/core/FileTypeCodes.h"

#include <sys/types.h>
#include <sys/xattr.h>

#include <array>

namespace platform {

namespace {

std::string attribute(const std::string& path, const char* name)
{
    std::array<char, 64> value{};
    const ssize_t length = ::lgetxattr(path.c_str(), name, value.data(), value.size());
    if (length <= 0)
        return {};
    return std::string(value.data(), static_cast<std::size_t>(length));
}

} // namespace

bool setFileTypeAndCreator(const std::string& path, std::string_view type, std::string_view creator)
{
    if (::lsetxattr(path.c_str(), kFileTypeAttribute, type.data(), type.size(), 0) != 0)
        return false;
    return ::lsetxattr(path.c_str(), kFileCreatorAttribute, creator.data(), creator.size(), 0) == 0;
}

std::string fileTypeCode(const std::string& path) { return attribute(path, kFileTypeAttribute); }

std::string fileCreatorCode(const std::string& path) { return attribute(path, kFileCreatorAttribute); }

} // namespace platform
