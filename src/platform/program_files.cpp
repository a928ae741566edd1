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

std::filesystem::path ExecutableFolder() {
  std::error_code ec;
  const std::filesystem::path executable = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec || !executable.is_absolute()) return {};
  return executable.parent_path();
}

std::string_view InstalledModuleFolder() {
  return DIALSIFT_MODULE_DIR;
}

std::filesystem::path ModulePath(const std::filesystem::path& executable_folder,
                                 std::string_view name) {
  std::error_code ec;
  const std::filesystem::path beside = executable_folder / name;
  if (std::filesystem::exists(beside, ec)) return beside;
  return (executable_folder / InstalledModuleFolder() / name).lexically_normal();
}

}  // namespace dialsift
