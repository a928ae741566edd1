// libFuzzer target over (format code, value): the engine must not crash,
// hang or produce unbounded text for any code, number or text.
//
// Input layout: 8 bytes of double, 1 flag byte (bit 0: 1904 system, bit 1:
// also render the rest as a text value), then the format code.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "sheet/number_format.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 9) return 0;
  double value;
  std::memcpy(&value, data, sizeof value);
  const std::uint8_t flags = data[8];
  const std::string_view code(reinterpret_cast<const char*>(data + 9), size - 9);
  dialsift::sheet::FormatEngine engine((flags & 1) != 0);
  const auto h = engine.Intern(code);
  // Longest text the engine may return: a cell's limit.
  constexpr std::size_t kLimit = 32767;
  if (engine.FormatNumber(value, h).size() > kLimit) std::abort();
  // A few neighbours of the value exercise rounding and section choice.
  for (double v : {-value, value * 1000, value / 86400, 0.0}) {
    if (engine.FormatNumber(v, h).size() > kLimit) std::abort();
  }
  if (flags & 2) {
    if (engine.FormatText(code, h).size() > kLimit) std::abort();
  }
  if (engine.Intern(code) != h) std::abort();
  return 0;
}
