// libFuzzer target for the folder intake over a tree the input describes.
// Each pair of bytes is one step: the first picks what to make (a folder to
// step into, a step back up, a file, a hidden file, a "~" file, a FIFO, a
// link to a folder above, a link to a file, a dangling link, a folder nobody
// may read), the second its name. The walk must end, take every regular file
// it can read once, and take nothing else.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "filelist/folder_intake.h"

namespace fs = std::filesystem;

namespace {

const fs::path& Root() {
  static const fs::path root =
      fs::temp_directory_path() / ("folder_walk_fuzz_" + std::to_string(getpid()));
  return root;
}

std::string Name(std::uint8_t b) {
  static constexpr const char* kStems[] = {"a", "B", "c.d", "sub", "x?y", "Z"};
  static constexpr const char* kExtensions[] = {".xls", ".XLSX", ".xlsb", ".csv", "", ".xls.bak"};
  return std::string(kStems[b % 6]) + std::to_string(b / 36) + kExtensions[(b / 6) % 6];
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::error_code ec;
  fs::remove_all(Root(), ec);
  fs::create_directories(Root());
  std::vector<fs::path> stack{Root()};
  std::vector<fs::path> locked;
  for (std::size_t i = 0; i + 1 < size && i < 256; i += 2) {
    const fs::path& here = stack.back();
    const std::string name = Name(data[i + 1]);
    const fs::path p = here / name;
    if (fs::symlink_status(p, ec).type() != fs::file_type::not_found) continue;
    switch (data[i] % 10) {
      case 0:
        if (stack.size() < 8 && fs::create_directory(p, ec)) stack.push_back(p);
        break;
      case 1:
        if (stack.size() > 1) stack.pop_back();
        break;
      case 2:
        std::ofstream(p) << "x";
        break;
      case 3:
        std::ofstream(here / ("." + name)) << "x";
        break;
      case 4:
        std::ofstream(here / ("~" + name)) << "x";
        break;
      case 5:
        ::mkfifo(p.c_str(), 0600);
        break;
      case 6:
        fs::create_directory_symlink(stack.front(), p, ec);
        break;
      case 7:
        fs::create_symlink(Root() / "nowhere", p, ec);
        break;
      case 8:
        if (fs::create_directory(p, ec)) {
          std::ofstream(p / "inside.xls") << "x";
          fs::permissions(p, fs::perms::none, ec);
          locked.push_back(p);
        }
        break;
      default:
        std::ofstream(p) << "x";
        fs::create_symlink(p, here / ("link-" + name), ec);
        break;
    }
  }
  const auto intake = dialsift::filelist::FolderIntake(Root().string(), "*.*");
  std::set<std::string> seen;
  for (const auto& row : intake.rows) {
    if (!seen.insert(row).second) __builtin_trap();  // a file taken twice
    if (!fs::is_regular_file(row, ec)) __builtin_trap();
    if (row.rfind(Root().string(), 0) != 0) __builtin_trap();
  }
  for (const auto& problem : intake.problems) {
    if (problem.reason.empty()) __builtin_trap();
  }
  // Give the locked folders back, for the clean-up.
  for (const auto& p : locked) fs::permissions(p, fs::perms::owner_all, ec);
  fs::remove_all(Root(), ec);
  return 0;
}
