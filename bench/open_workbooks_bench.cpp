// The lock-file check before a run: 10,000 rows (ten folders of 1,000
// workbooks, two of every three with long names), no workbook of the list
// open. Measured twice: without any lock file, and with a lock file of some
// other workbook in every folder, so that every row's names are matched.
// Prints the best and the median of 9 checks each.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/open_workbooks.h"

int main() {
  namespace fs = std::filesystem;
  const fs::path root = fs::temp_directory_path() / "dialsift-lock-bench";
  fs::remove_all(root);
  std::vector<std::string> rows;
  for (int folder = 0; folder < 10; ++folder) {
    const fs::path dir = root / ("folder " + std::to_string(folder));
    fs::create_directories(dir);
    for (int i = 0; i < 1000; ++i) {
      const std::string name = (i % 3 == 0 ? "b" : "customer list ") + std::to_string(i) + ".xlsx";
      std::ofstream(dir / name) << "x";
      rows.push_back((dir / name).string());
    }
  }
  bool open = false;
  const auto measure = [&](const char* what) {
    std::vector<double> ms;
    for (int run = 0; run < 9; ++run) {
      const auto start = std::chrono::steady_clock::now();
      open = dialsift::platform::AnyWorkbookOpen(rows) || open;
      ms.push_back(
          std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
              .count());
    }
    std::sort(ms.begin(), ms.end());
    std::printf("lock-file check, %zu rows, %s: best %.1f ms, median %.1f ms\n", rows.size(), what,
                ms.front(), ms[ms.size() / 2]);
  };
  measure("no lock files");
  for (int folder = 0; folder < 10; ++folder)
    std::ofstream(root / ("folder " + std::to_string(folder)) / "~$other.xlsx") << "x";
  measure("a foreign lock file in every folder");
  fs::remove_all(root);
  if (open) std::printf("a lock file of a listed workbook was seen: the check is wrong\n");
  return open ? 1 : 0;
}
