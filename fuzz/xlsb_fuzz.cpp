// Feeds arbitrary bytes to the binary-workbook part parsers. The first byte
// picks the part: worksheet, shared strings, styles or workbook.
#include <cstddef>
#include <cstdint>
#include <string>

#include "sheet/number_format.h"
#include "sheet/xlsb/xlsb_parts.h"

namespace {

struct NullSink : dialsift::sheet::CellSink {
  void Cell(std::uint32_t, std::uint32_t, std::string_view text) override { bytes += text.size(); }
  std::size_t bytes = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace dialsift::sheet;
  if (size == 0) return 0;
  const std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
  xlsb::MemorySource source(bytes);
  FormatEngine engine;
  switch (data[0] % 4) {
    case 0: {
      // A context with a few strings and styles, so indexes can hit or miss.
      opc::SharedStrings strings;
      for (const char* s : {"a", "212-555-0100", ""}) {
        strings.Append(s);
        strings.End();
      }
      const std::vector<FormatEngine::Handle> styles = {engine.InternBuiltin(0),
                                                        engine.Intern("0.00"), engine.Intern("@")};
      NullSink sink;
      (void)xlsb::ParseSheet(source, "sheet", {&strings, &styles, &engine}, sink);
      break;
    }
    case 1:
      (void)xlsb::ParseSharedStrings(source, "strings");
      break;
    case 2:
      (void)xlsb::ParseStyles(source, "styles", engine);
      break;
    default:
      (void)xlsb::ParseBookPart(source, "workbook");
      break;
  }
  return 0;
}
