// One folder's entries, read to the end before the caller looks at them, in a
// fixed order so that every run lists the same folder the same way.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace dialsift::platform {

struct DirEntry {
  std::string name;
  bool is_link = false;    // a symbolic link (the flags below describe its target)
  bool is_folder = false;  // a folder, or a link to one
  bool is_system = false;  // neither a regular file nor a folder
};

// Every entry of `folder` but "." and "..", ordered by name: letters compared
// without case first, then byte by byte. Nothing when the folder cannot be
// read (missing, not a folder, no permission, a path too long); `reason`,
// when given, then receives the platform's description.
std::optional<std::vector<DirEntry>> ListDirectory(const std::string& folder,
                                                   std::string* reason = nullptr);

// Why `folder` cannot be listed, or nothing when it can.
std::optional<std::string> FolderReadError(const std::string& folder);

// Orders names the way ListDirectory does.
bool NameOrderLess(const std::string& a, const std::string& b);

}  // namespace dialsift::platform
