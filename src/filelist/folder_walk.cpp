#include "filelist/folder_walk.h"

#include "platform/dir_listing.h"
#include "platform/file_attributes.h"

namespace dialsift::filelist {
namespace {

char FoldAscii(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : c;
}

// Wildcard match with backtracking over the last "*": linear in practice,
// never exponential.
bool WildcardMatch(std::string_view name, std::string_view pattern) {
  std::size_t n = 0, p = 0;
  std::size_t star = std::string_view::npos, star_n = 0;
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      star_n = n;
    } else if (p < pattern.size() &&
               (pattern[p] == '?' || FoldAscii(pattern[p]) == FoldAscii(name[n]))) {
      ++p;
      ++n;
    } else if (star != std::string_view::npos) {
      p = star + 1;
      n = ++star_n;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

// A folder as problems name it: without its trailing separator.
std::string FolderName(std::string folder) {
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  return RepairJoinedPath(std::move(folder));
}

// Yields; true when the walk is to end.
bool Call(const YieldFn& yield, const StopFn& stopped) {
  if (yield) yield();
  return stopped && stopped();
}

// The direct sub-folders of `folder` (which ends with "/"), in name order.
// False when the walk is to end.
bool AppendSubfolders(const std::string& folder, std::vector<std::string>& found,
                      const YieldFn& yield, const StopFn& stopped,
                      std::vector<WalkProblem>* problems) {
  std::string reason;
  const auto entries = platform::ListDirectory(folder, &reason);
  if (Call(yield, stopped)) return false;
  if (!entries) {
    if (problems) problems->push_back({FolderName(folder), std::move(reason)});
    return true;
  }
  for (const auto& entry : *entries) {
    if (Call(yield, stopped)) return false;
    // The listing asks for ordinary entries and folders only.
    if (entry.name.front() == '.' || entry.is_system) continue;
    if (entry.name.find('?') != std::string::npos) continue;
    // Only a folder (or a link to one) can carry the directory bit; the
    // listing already knows, which spares a query per file.
    if (!entry.is_folder) continue;
    std::string path = folder + entry.name;
    const auto attributes = platform::FileAttributes(path, &reason);
    if (!attributes) {
      if (problems) problems->push_back({FolderName(path), std::move(reason)});
      continue;
    }
    if ((*attributes & platform::kAttrDirectory) == 0) continue;
    // A link to a folder is not followed: it could lead back up the tree.
    if (*attributes & platform::kAttrReparsePoint) continue;
    path += '/';
    found.push_back(std::move(path));
  }
  return true;
}

}  // namespace

bool MatchesPattern(std::string_view name, std::string_view pattern) {
  if (WildcardMatch(name, pattern)) return true;
  if (pattern.ends_with(".*") && name.find('.') == std::string_view::npos)
    return WildcardMatch(name, pattern.substr(0, pattern.size() - 2));
  return false;
}

void CollectSubfolders(std::vector<std::string>& folders, const YieldFn& yield,
                       const StopFn& stopped, std::vector<WalkProblem>* problems) {
  // Level by level: each level's folders are listed one after the other, and
  // all levels are added to `folders` only once the walk is complete.
  std::vector<std::string> found;
  bool going = true;
  for (std::size_t i = 0; going && i < folders.size(); ++i)
    going = AppendSubfolders(folders[i], found, yield, stopped, problems);
  std::size_t level_begin = 0;
  while (going && level_begin < found.size()) {
    const std::size_t level_end = found.size();
    for (std::size_t i = level_begin; going && i < level_end; ++i) {
      const std::string folder = found[i];  // `found` grows while we read it
      going = AppendSubfolders(folder, found, yield, stopped, problems);
    }
    level_begin = level_end;
  }
  folders.reserve(folders.size() + found.size());
  for (auto& folder : found) {
    if (going && Call(yield, stopped)) going = false;
    folders.push_back(std::move(folder));
  }
}

std::vector<std::string> ListFolderFiles(std::string folder, std::string_view pattern,
                                         std::vector<WalkProblem>* problems) {
  if (!folder.ends_with('/')) folder += '/';
  std::vector<std::string> names;
  std::string reason;
  auto entries = platform::ListDirectory(folder, &reason);
  if (!entries) {
    if (problems) problems->push_back({FolderName(folder), std::move(reason)});
    return names;
  }
  for (auto& entry : *entries) {
    if (entry.is_folder || entry.is_system) continue;
    if (MatchesPattern(entry.name, pattern)) names.push_back(std::move(entry.name));
  }
  return names;
}

std::string RepairJoinedPath(std::string path) {
  std::size_t at = 0;
  while ((at = path.find("//", at)) != std::string::npos) path.erase(at, 1);
  return path;
}

}  // namespace dialsift::filelist
