#include "platform/path_kinds.h"

#include <cstddef>
#include <string_view>
#include <unordered_map>
#include <utility>

namespace dialsift::platform {
namespace {

namespace fs = std::filesystem;

// A folder is listed when at least this many paths name entries of it.
constexpr std::size_t kListFrom = 16;
// A listing goes on for at most this many entries per path it looks for,
// so a huge folder named by a few paths costs little more than asking each.
constexpr std::size_t kEntriesPerPath = 16;
constexpr std::size_t kEntriesAtLeast = 4096;

PathKind Ask(const std::string& path) {
  PathKind kind;
  kind.type = fs::status(path, kind.error).type();
  // A missing path is a kind, not a failure to find out.
  if (kind.type == fs::file_type::not_found) kind.error.clear();
  return kind;
}

// The folder part of `path` and the entry it names, or nothing when the
// path names no plain entry ("dir/", "..", "").
bool SplitPath(const std::string& path, std::string& folder, std::string& name) {
  const fs::path p(path);
  name = p.filename().native();
  if (name.empty() || name == "." || name == "..") return false;
  folder = p.has_parent_path() ? p.parent_path().native() : std::string(".");
  return true;
}

// Settles what it can of the paths `wanted` (entry name -> their indices)
// from one listing of `folder`.
void SettleFromListing(const std::string& folder,
                       std::unordered_map<std::string, std::vector<std::size_t>>& wanted,
                       std::size_t paths, std::vector<PathKind>& kinds,
                       std::vector<bool>& settled) {
  std::error_code ec;
  fs::directory_iterator it(fs::path(folder), ec);
  std::size_t left = wanted.size();
  std::size_t budget = std::max(kEntriesAtLeast, paths * kEntriesPerPath);
  for (const fs::directory_iterator end; !ec && it != end && left > 0 && budget > 0;
       it.increment(ec), --budget) {
    const auto found = wanted.find(it->path().filename().native());
    if (found == wanted.end()) continue;
    --left;
    // The type the listing reported; a link or an untyped entry is queried
    // here, as the path would be. Anything else is asked again below.
    PathKind kind;
    if (it->is_regular_file(kind.error)) {
      kind.type = fs::file_type::regular;
    } else if (!kind.error && it->is_directory(kind.error)) {
      kind.type = fs::file_type::directory;
    }
    if (kind.error || kind.type == fs::file_type::none) continue;
    for (const std::size_t index : found->second) {
      kinds[index] = kind;
      settled[index] = true;
    }
  }
}

}  // namespace

std::vector<PathKind> PathKinds(std::span<const std::string> paths) {
  std::vector<PathKind> kinds(paths.size());
  std::vector<bool> settled(paths.size(), false);

  // Folder -> entry name -> the indices of the paths naming it.
  std::unordered_map<std::string, std::unordered_map<std::string, std::vector<std::size_t>>>
      by_folder;
  std::unordered_map<std::string, std::size_t> count;
  std::string folder;
  std::string name;
  for (std::size_t i = 0; i < paths.size(); ++i) {
    if (SplitPath(paths[i], folder, name)) ++count[folder];
  }
  for (std::size_t i = 0; i < paths.size(); ++i) {
    if (!SplitPath(paths[i], folder, name)) continue;
    if (count[folder] < kListFrom) continue;
    by_folder[folder][name].push_back(i);
  }
  for (auto& [listed, wanted] : by_folder) {
    SettleFromListing(listed, wanted, count[listed], kinds, settled);
  }
  for (std::size_t i = 0; i < paths.size(); ++i) {
    if (!settled[i]) kinds[i] = Ask(paths[i]);
  }
  return kinds;
}

}  // namespace dialsift::platform
