// Feeds arbitrary bytes as the content of an OpenDocument spreadsheet, every
// sheet routed to one sink.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "sheet/ods/ods_content.h"

namespace {

struct NullSink : dialsift::sheet::CellSink {
  void Cell(std::uint32_t, std::uint32_t, std::string_view text) override { bytes += text.size(); }
  std::size_t bytes = 0;
};

struct AllSheets : dialsift::sheet::ods::SheetRouter {
  dialsift::sheet::CellSink* BeginSheet(std::size_t, std::string_view) override { return &sink; }
  bool EndSheet(std::size_t, const dialsift::Status&) override { return true; }
  NullSink sink;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  AllSheets router;
  dialsift::sheet::ods::SheetHandler handler(router);
  (void)dialsift::sheet::ParseXml(std::string_view(reinterpret_cast<const char*>(data), size),
                                  "content.xml", handler);
  return 0;
}
