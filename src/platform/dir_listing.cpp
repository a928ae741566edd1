// Listings go through std::filesystem, which reads each entry's type from the
// directory itself where the file system reports it (as readdir's d_type
// does), so a listing costs one query only for links and for file systems
// that do not report types.
#include "platform/dir_listing.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace dialsift::platform {
namespace {

namespace fs = std::filesystem;

unsigned char FoldAscii(unsigned char c) {
  return (c >= 'A' && c <= 'Z') ? c + ('a' - 'A') : c;
}

// Fills the kind flags; a link is described by what it points to, and one
// that points nowhere is a system entry.
void Classify(const fs::directory_entry& d, DirEntry& entry) {
  std::error_code ec;
  entry.is_link = d.is_symlink(ec);
  // These use the type the listing reported and query the file system only
  // for links and untyped entries.
  entry.is_folder = d.is_directory(ec);
  if (ec) {
    entry.is_folder = false;
    entry.is_system = true;
    return;
  }
  entry.is_system = !entry.is_folder && !d.is_regular_file(ec);
  if (ec) entry.is_system = true;
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
  std::error_code ec;
  fs::directory_iterator it(fs::path(folder), ec);
  if (!ec) return std::nullopt;
  return ec.message();
}

std::optional<std::vector<DirEntry>> ListDirectory(const std::string& folder, std::string* reason) {
  std::error_code ec;
  fs::directory_iterator it(fs::path(folder), ec);
  std::vector<DirEntry> entries;
  for (const fs::directory_iterator end; !ec && it != end; it.increment(ec)) {
    DirEntry entry;
    entry.name = it->path().filename().string();
    Classify(*it, entry);
    entries.push_back(std::move(entry));
  }
  if (ec) {
    if (reason) *reason = ec.message();
    return std::nullopt;
  }
  std::sort(entries.begin(), entries.end(),
            [](const DirEntry& a, const DirEntry& b) { return NameOrderLess(a.name, b.name); });
  return entries;
}

}  // namespace dialsift::platform
