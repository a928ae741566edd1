// Feeds arbitrary bytes to the text-file reader: the encoding sniffer, then
// the field parser in the encoding found, in uneven chunks.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "sheet/text/text_sheet.h"

namespace {

struct NullSink : dialsift::sheet::CellSink {
  void Cell(std::uint32_t, std::uint32_t, std::string_view text) override { bytes += text.size(); }
  std::size_t bytes = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace dialsift::sheet::text;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  EncodingSniffer sniffer;
  sniffer.Feed(bytes);
  auto found = sniffer.Finish();
  // Binary content still goes through the parser, in every encoding.
  const Encoding encodings[] = {found ? *found : Encoding::kUtf8, Encoding::kWindows1252,
                                Encoding::kUtf16Le, Encoding::kUtf16Be};
  for (const Encoding encoding : encodings) {
    NullSink sink;
    DelimitedParser parser(encoding, size % 2 ? ',' : '\t', sink);
    std::size_t pos = 0;
    std::size_t step = 1;
    while (pos < bytes.size()) {
      parser.Feed(bytes.substr(pos, step));
      pos += step;
      step = step * 3 % 17 + 1;
    }
    (void)parser.Finish();
  }
  return 0;
}
