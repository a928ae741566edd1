#include "platform/program_files.h"

#include <system_error>

namespace dialsift {

namespace {

bool HoldsProgramFiles(const std::filesystem::path& folder) {
  std::error_code ec;
  for (const std::string_view name : kProgramFileNames) {
    if (std::filesystem::exists(folder / name, ec)) return true;
  }
  return false;
}

}  // namespace

std::filesystem::path ProgramFilesFolder(const std::filesystem::path& executable_folder) {
  if (HoldsProgramFiles(executable_folder)) return executable_folder;
  const std::filesystem::path shared =
      (executable_folder / ".." / "share" / "dialsift").lexically_normal();
  if (HoldsProgramFiles(shared)) return shared;
  return executable_folder;
}

}  // namespace dialsift
