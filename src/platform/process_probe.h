// Whether a spreadsheet application is running for this user: a process
// named soffice.bin (LibreOffice), gnumeric or EXCEL.EXE (under Wine), read
// from the process table.
#pragma once

#include <filesystem>
#include <string_view>

namespace dialsift {

// True when `name` (a process's command name) is a spreadsheet application.
bool IsSpreadsheetProcessName(std::string_view name);

// True when a process of user `uid` under `proc_root` (a /proc-like tree:
// <pid>/comm and the <pid> folder's owner) is a spreadsheet application.
// False when the tree cannot be read.
bool IsExcelRunningIn(const std::filesystem::path& proc_root, unsigned uid);

// The same for this user on this machine (false where there is no /proc).
bool IsExcelRunning();

}  // namespace dialsift
