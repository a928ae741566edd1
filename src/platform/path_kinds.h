// What each path given on a command line is: a file, a folder, missing...
#pragma once

#include <filesystem>
#include <span>
#include <string>
#include <system_error>
#include <vector>

namespace dialsift::platform {

// std::filesystem::status of a path: a link counts as what it points to.
struct PathKind {
  std::filesystem::file_type type = std::filesystem::file_type::none;
  std::error_code error;  // set when the kind could not be found out
};

// The kinds of `paths`, in their order, as std::filesystem::status gives
// them. A shell's "folder/*.xlsx" hands over thousands of names in one
// folder: where many paths share a folder, its listing answers for all of
// them in a few calls instead of one query per path. Whatever the listing
// cannot settle (links, entries of an unknown type, names it does not hold)
// is asked one by one.
std::vector<PathKind> PathKinds(std::span<const std::string> paths);

}  // namespace dialsift::platform
