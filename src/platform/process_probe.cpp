#include "platform/process_probe.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <string>

namespace dialsift {

namespace {
bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}
}  // namespace

bool IsSpreadsheetProcessName(std::string_view name) {
  // Wine keeps the Windows file name, whose case is not fixed.
  return name == "soffice.bin" || name == "gnumeric" || EqualsIgnoringCase(name, "EXCEL.EXE");
}

bool IsExcelRunningIn(const std::filesystem::path& proc_root, unsigned uid) {
  std::error_code ec;
  std::filesystem::directory_iterator it(proc_root, ec);
  if (ec) return false;
  for (const auto& entry : it) {
    const std::string pid = entry.path().filename().string();
    if (pid.empty() || !std::all_of(pid.begin(), pid.end(), [](char c) {
          return std::isdigit(static_cast<unsigned char>(c)) != 0;
        }))
      continue;
    struct stat info {};
    if (::stat(entry.path().c_str(), &info) != 0 || info.st_uid != uid) continue;
    std::ifstream comm(entry.path() / "comm");
    std::string name;
    if (!std::getline(comm, name)) continue;
    if (IsSpreadsheetProcessName(name)) return true;
  }
  return false;
}

bool IsExcelRunning() {
  return IsExcelRunningIn("/proc", static_cast<unsigned>(::getuid()));
}

}  // namespace dialsift
