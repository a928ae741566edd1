// Whether a workbook is open in a spreadsheet application right now, seen by
// the lock file that the application keeps beside the workbook while it is
// open. Its unsaved changes are not in the file that a run would read.
#pragma once

#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace dialsift::platform {

// The names of the lock files that show the workbook called `name` open,
// without repeats:
//   ".~lock." + name + "#"  LibreOffice and Apache OpenOffice;
//   "~$" + name             the owner file of the desktop office suites
//                           (Excel keeps the whole name);
//   "~$" + name shortened   the owner file's rule for long names, as Word
//                           applies it: a base name (the name without its
//                           extension) of 8 or more characters loses its
//                           first two characters, one of exactly 7 its
//                           first one. Both namings are looked for, so a
//                           workbook is seen open whichever one its suite
//                           uses.
std::vector<std::string> LockFileNames(std::string_view name);

// The names in a folder that may be lock files (they begin with ".~lock."
// or "~$"); none when the folder cannot be read. The check's only contact
// with the file system.
using LockFileLister = std::function<std::vector<std::string>(const std::string& folder)>;
std::vector<std::string> ListLockFiles(const std::string& folder);

// True when a workbook of `paths` has one of its lock files beside it. Each
// distinct folder is read once, and a folder without lock files costs
// nothing more, however many of its workbooks are listed.
bool AnyWorkbookOpen(std::span<const std::string> paths,
                     const LockFileLister& list_lock_files = ListLockFiles);

}  // namespace dialsift::platform
