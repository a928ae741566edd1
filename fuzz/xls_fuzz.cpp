// libFuzzer target for the .xls reader: the OLE2 compound-file container,
// the BIFF records of the workbook globals and of every worksheet, and bare
// BIFF2-4 streams.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "sheet/xls/xls_workbook.h"

namespace {

class CountingSink final : public dialsift::sheet::CellSink {
 public:
  void Cell(std::uint32_t row, std::uint32_t column, std::string_view text) override {
    sum_ += row + column + text.size();
  }

 private:
  std::size_t sum_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // Inputs that begin like a compound file go through its container; the rest are
  // taken as bare record streams (BIFF2-4 files).
  constexpr std::uint8_t kOle2Magic[] = {0xD0, 0xCF, 0x11, 0xE0};
  const std::span bytes(data, size);
  const bool ole2 = size >= 4 && std::equal(kOle2Magic, kOle2Magic + 4, data);
  auto book = ole2 ? dialsift::sheet::xls::OpenCompoundFileInMemory(bytes)
                   : dialsift::sheet::xls::OpenBareBiffInMemory(bytes);
  if (!book) return 0;
  CountingSink sink;
  const auto sheets = (*book)->Sheets().size();
  for (std::size_t i = 0; i < sheets; ++i) (void)(*book)->ReadSheet(i, sink);
  return 0;
}
