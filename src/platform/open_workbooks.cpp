#include "platform/open_workbooks.h"

#include <algorithm>
#include <filesystem>
#include <unordered_map>
#include <unordered_set>

namespace dialsift::platform {

namespace {

namespace fs = std::filesystem;

constexpr std::string_view kLibreOfficePrefix = ".~lock.";
constexpr std::string_view kOwnerFilePrefix = "~$";
// "/" everywhere, and "\" too where it separates.
constexpr std::string_view kSeparators = fs::path::preferred_separator == '\\' ? "/\\" : "/";

// Byte length of the first `count` characters of UTF-8 `text` (all of it
// when shorter).
std::size_t LeadingCharacters(std::string_view text, std::size_t count) {
  std::size_t at = 0;
  for (std::size_t seen = 0; seen < count && at < text.size(); ++seen) {
    ++at;
    while (at < text.size() && (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80) ++at;
  }
  return at;
}

std::size_t CharacterCount(std::string_view text) {
  return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](char c) {
    return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  }));
}

}  // namespace

std::vector<std::string> LockFileNames(std::string_view name) {
  std::vector<std::string> names;
  if (name.empty()) return names;
  names.push_back(std::string(kLibreOfficePrefix) + std::string(name) + "#");
  names.push_back(std::string(kOwnerFilePrefix) + std::string(name));
  const std::size_t dot = name.rfind('.');
  const std::string_view base = dot == std::string_view::npos ? name : name.substr(0, dot);
  const std::size_t length = CharacterCount(base);
  const std::size_t dropped = length >= 8 ? 2 : length == 7 ? 1 : 0;
  if (dropped > 0)
    names.push_back(std::string(kOwnerFilePrefix) +
                    std::string(name.substr(LeadingCharacters(name, dropped))));
  return names;
}

std::vector<std::string> ListLockFiles(const std::string& folder) {
  std::vector<std::string> names;
  std::error_code ec;
  fs::directory_iterator it(folder.empty() ? fs::path(".") : fs::path(folder), ec);
  for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
    std::string name = it->path().filename().string();
    if (name.starts_with(kLibreOfficePrefix) || name.starts_with(kOwnerFilePrefix))
      names.push_back(std::move(name));
  }
  return names;
}

bool AnyWorkbookOpen(std::span<const std::string> paths, const LockFileLister& list_lock_files) {
  // The distinct names of each folder, folders in the order first listed.
  std::vector<std::string_view> folders;
  std::unordered_map<std::string_view, std::unordered_set<std::string_view>> names_in;
  for (const std::string& path : paths) {
    const std::size_t cut = path.find_last_of(kSeparators);
    const std::string_view whole(path);
    const std::string_view folder = cut == std::string::npos ? "" : whole.substr(0, cut + 1);
    auto [entry, added] = names_in.try_emplace(folder);
    if (added) folders.push_back(folder);
    entry->second.insert(cut == std::string::npos ? whole : whole.substr(cut + 1));
  }
  for (const std::string_view folder : folders) {
    const std::vector<std::string> locks = list_lock_files(std::string(folder));
    if (locks.empty()) continue;
    const std::unordered_set<std::string_view> present(locks.begin(), locks.end());
    for (const std::string_view name : names_in[folder]) {
      for (const std::string& lock : LockFileNames(name))
        if (present.contains(lock)) return true;
    }
  }
  return false;
}

}  // namespace dialsift::platform
