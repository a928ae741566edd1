#include "platform/dir_listing.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

namespace dialsift::platform {
namespace {

unsigned char FoldAscii(unsigned char c) {
  return (c >= 'A' && c <= 'Z') ? c + ('a' - 'A') : c;
}

struct DirCloser {
  void operator()(DIR* dir) const { ::closedir(dir); }
};

// Fills the kind flags from the entry's own type and, for links and file
// systems that do not report types, from the file system.
void Classify(const std::string& folder, unsigned char type, DirEntry& entry) {
  if (type == DT_DIR) {
    entry.is_folder = true;
    return;
  }
  if (type == DT_REG) return;
  const std::string path = folder + (folder.ends_with('/') ? "" : "/") + entry.name;
  struct stat st {};
  if (type == DT_UNKNOWN) {
    if (::lstat(path.c_str(), &st) != 0) return;
    if (S_ISDIR(st.st_mode)) {
      entry.is_folder = true;
      return;
    }
    if (S_ISREG(st.st_mode)) return;
    if (!S_ISLNK(st.st_mode)) {
      entry.is_system = true;
      return;
    }
  } else if (type != DT_LNK) {
    entry.is_system = true;
    return;
  }
  entry.is_link = true;
  if (::stat(path.c_str(), &st) != 0) {
    entry.is_system = true;  // dangling
    return;
  }
  entry.is_folder = S_ISDIR(st.st_mode);
  entry.is_system = !S_ISDIR(st.st_mode) && !S_ISREG(st.st_mode);
}

}  // namespace

bool NameOrderLess(const std::string& a, const std::string& b) {
  const auto folded =
      std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return FoldAscii(static_cast<unsigned char>(x)) < FoldAscii(static_cast<unsigned char>(y));
      });
  if (folded) return true;
  const auto folded_reverse =
      std::lexicographical_compare(b.begin(), b.end(), a.begin(), a.end(), [](char x, char y) {
        return FoldAscii(static_cast<unsigned char>(x)) < FoldAscii(static_cast<unsigned char>(y));
      });
  if (folded_reverse) return false;
  return a < b;
}

std::optional<std::string> FolderReadError(const std::string& folder) {
  std::unique_ptr<DIR, DirCloser> dir(::opendir(folder.c_str()));
  if (dir) return std::nullopt;
  return std::string(std::strerror(errno));
}

std::optional<std::vector<DirEntry>> ListDirectory(const std::string& folder) {
  std::unique_ptr<DIR, DirCloser> dir(::opendir(folder.c_str()));
  if (!dir) return std::nullopt;
  std::vector<DirEntry> entries;
  while (const dirent* d = ::readdir(dir.get())) {
    const std::string_view name = d->d_name;
    if (name == "." || name == "..") continue;
    DirEntry entry;
    entry.name = std::string(name);
    Classify(folder, d->d_type, entry);
    entries.push_back(std::move(entry));
  }
  std::sort(entries.begin(), entries.end(),
            [](const DirEntry& a, const DirEntry& b) { return NameOrderLess(a.name, b.name); });
  return entries;
}

}  // namespace dialsift::platform
