// File attributes in the bit layout the program has always tested against:
// the values GetFileAttributesW gives on Windows, mapped onto POSIX files.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace dialsift::platform {

// The user may not write the entry: its owner has no write permission, or
// the user lacks it (a root user still sees a mode without any owner write
// bit as read-only, as Windows does with its read-only flag).
inline constexpr std::uint32_t kAttrReadOnly = 0x1;
// The name begins with ".".
inline constexpr std::uint32_t kAttrHidden = 0x2;
// Neither a regular file nor a folder: socket, device, fifo, dangling link.
inline constexpr std::uint32_t kAttrSystem = 0x4;
inline constexpr std::uint32_t kAttrDirectory = 0x10;
// Every regular file carries it.
inline constexpr std::uint32_t kAttrArchive = 0x20;
// The entry is a symbolic link; the other bits describe what it points to.
inline constexpr std::uint32_t kAttrReparsePoint = 0x400;

// The attributes of `path`, or nothing when the path cannot be examined
// (missing, or a folder on the way cannot be searched). A trailing separator
// is ignored, except that "/" stays the root. When given, `reason` receives
// the platform's description of a failure.
std::optional<std::uint32_t> FileAttributes(std::string_view path, std::string* reason = nullptr);

// True when the file system can report the path's modification time (links
// followed); never fails.
bool FileExists(std::string_view path);

}  // namespace dialsift::platform
