// Module AddFolder, the walk: a folder's sub-folders level by level, one
// folder's files by pattern, and the joined-path repair.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "base/yield.h"

namespace dialsift::filelist {

using ::dialsift::YieldFn;
// True once the caller wants the walk to end early (the window is closing).
using StopFn = std::function<bool()>;

// A folder or entry the walk could not take, and the platform's reason.
struct WalkProblem {
  std::string path;
  std::string reason;
  bool operator==(const WalkProblem&) const = default;
};

// True when `name` matches the listing pattern `pattern`: "*" stands for any
// run of characters, "?" for one; letters match without regard to case. A
// pattern ending in ".*" also takes names without a dot, so "*.*" takes every
// name and "*.xls*" takes book.xls, BOOK.XLSX, a.xlsm and a.xlsb alike.
bool MatchesPattern(std::string_view name, std::string_view pattern);

// Appends to `folders` (each ending with "/") every sub-folder below them, at
// any depth, each ending with "/": first all direct sub-folders of the given
// folders, then the next level, and so on; within a folder in name order.
// Hidden and system entries, names holding "?" and links to folders are left
// out, and so is everything below them. A folder that cannot be read, or a
// sub-folder that cannot be examined (no permission, a path too long), is
// passed over and added to `problems` when given. Each folder's listing is
// read whole before the next starts. When `stopped` answers true after a
// yield, the walk ends and appends what it has found.
void CollectSubfolders(std::vector<std::string>& folders, const YieldFn& yield = {},
                       const StopFn& stopped = {}, std::vector<WalkProblem>* problems = nullptr);

// The names of the regular files of `folder` that match `pattern`, in name
// order, hidden ones and links to regular files included. Folders, pipes,
// sockets, devices and dangling links are no workbooks and are left out: a
// pipe would block whoever opens it. Nothing when the folder cannot be read;
// the reason then goes to `problems` when given.
std::vector<std::string> ListFolderFiles(std::string folder, std::string_view pattern,
                                         std::vector<WalkProblem>* problems = nullptr);

// A path built by joining a folder, "/" and a name, with the doubled
// separator that joining a root folder produces made single ("//a" -> "/a").
std::string RepairJoinedPath(std::string path);

}  // namespace dialsift::filelist
