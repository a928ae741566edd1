// libFuzzer target for the .xls reader: the OLE2 container (libgsf) and the
// BIFF records of the workbook globals and of every worksheet. Run with
// LSAN_OPTIONS=suppressions=fuzz/xls_fuzz.lsan.supp (a libgsf leak on
// malformed directories).
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
  auto book = dialsift::sheet::xls::OpenCompoundFileInMemory(std::span(data, size));
  if (!book) return 0;
  CountingSink sink;
  const auto sheets = (*book)->Sheets().size();
  for (std::size_t i = 0; i < sheets; ++i) (void)(*book)->ReadSheet(i, sink);
  return 0;
}
