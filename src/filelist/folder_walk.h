// Module AddFolder, the walk: a folder's sub-folders level by level, one
// folder's files by pattern, and the joined-path repair.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace dialsift::filelist {

// Lets the window process its pending messages.
using YieldFn = std::function<void()>;
// True once the caller wants the walk to end early (the window is closing).
using StopFn = std::function<bool()>;

// True when `name` matches the listing pattern `pattern`: "*" stands for any
// run of characters, "?" for one; letters match without regard to case. A
// pattern ending in ".*" also takes names without a dot, so "*.*" takes every
// name and "*.xls*" takes book.xls, BOOK.XLSX, a.xlsm and a.xlsb alike.
bool MatchesPattern(std::string_view name, std::string_view pattern);

// Appends to `folders` (each ending with "/") every sub-folder below them, at
// any depth, each ending with "/": first all direct sub-folders of the given
// folders, then the next level, and so on; within a folder in name order.
// Hidden and system entries, names holding "?" and links to folders are left
// out, and so is everything below them; a folder that cannot be read is
// passed over. Each folder's listing is read whole before the next starts.
// When `stopped` answers true after a yield, the walk ends and appends what
// it has found.
void CollectSubfolders(std::vector<std::string>& folders, const YieldFn& yield = {},
                       const StopFn& stopped = {});

// The names of the files of `folder` that match `pattern`, in name order:
// ordinary, hidden and system files; no folders (nor links to folders).
// Nothing when the folder cannot be read.
std::vector<std::string> ListFolderFiles(std::string folder, std::string_view pattern);

// A path built by joining a folder, "/" and a name, with the doubled
// separator that joining a root folder produces made single ("//a" -> "/a").
std::string RepairJoinedPath(std::string path);

}  // namespace dialsift::filelist
