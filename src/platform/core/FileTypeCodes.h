#pragma once
// File type and creator codes: four-character tags that say what kind of
// file an exported file is and which program made it. This desktop has no
// such catalogue information, so they are recorded as extended attributes
// where the file system takes them, and skipped silently where it does not.
#include <string>
#include <string_view>

namespace platform {

inline constexpr char kFileTypeAttribute[] = "user.tolvanex.type";
inline constexpr char kFileCreatorAttribute[] = "user.tolvanex.creator";

// Records both codes on the file (not through a symbolic link). False when
// they could not be recorded: no such file, or a file system without user
// attributes. Callers need not look: the codes are a courtesy.
bool setFileTypeAndCreator(const std::string& path, std::string_view type, std::string_view creator);

// The codes recorded on a file; empty when there are none.
std::string fileTypeCode(const std::string& path);
std::string fileCreatorCode(const std::string& path);

} // namespace platform
