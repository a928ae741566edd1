// libFuzzer target for the whole path a dropped file takes: OpenWorkbook
// chooses the reader by content, then every sheet is read. The first byte
// picks the file's name (its extension chooses a text file's separator); the
// rest is the file.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include "sheet/workbook.h"

namespace {

class Sink final : public dialsift::sheet::CellSink {
 public:
  void Cell(std::uint32_t row, std::uint32_t column, std::string_view text) override {
    if (row == 0 || column == 0 || row > dialsift::sheet::kMaxRows ||
        column > dialsift::sheet::kMaxColumns || text.size() > (std::size_t{1} << 20)) {
      __builtin_trap();
    }
  }
};

std::string TempPath(std::uint8_t selector) {
  static constexpr const char* kNames[] = {"book.xlsx", "book.csv", "book.txt", "book"};
  return (std::filesystem::temp_directory_path() /
          ("open_workbook_fuzz_" + std::to_string(getpid()) + "_" + kNames[selector % 4]))
      .string();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const std::string path = TempPath(data[0]);
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data + 1), static_cast<std::streamsize>(size - 1));
    if (!out) return 0;
  }
  auto workbook = dialsift::sheet::OpenWorkbook(path);
  if (workbook) {
    for (std::size_t i = 0; i < (*workbook)->Sheets().size(); ++i) {
      Sink sink;
      const auto status = (*workbook)->ReadSheet(i, sink);
      if (!status && status.error().reason.empty()) __builtin_trap();
    }
  } else if (workbook.error().reason.empty()) {
    __builtin_trap();  // every failure must say why
  }
  std::remove(path.c_str());
  return 0;
}
