// Reads the decimal numbers that workbooks store as text ("-12.5", "1E-3",
// "42"), fast: std::from_chars goes through strtod in our C++ library, which
// costs more than all the rest of reading a number cell.
#pragma once

#include <cstdint>
#include <string_view>

namespace dialsift::sheet {

// Parses the whole of `text` as std::from_chars does (chars_format::general)
// and gives the same double. False when it is not a number or not all of it
// is one; `out` is then unspecified.
bool ParseDecimal(std::string_view text, double& out);

// The text's value as written: mantissa x 10^scale, its sign left out.
struct WrittenDecimal {
  std::uint64_t mantissa = 0;
  int scale = 0;
  bool known = false;  // false: the text took the long way, or is no number
};

// ParseDecimal, also telling the decimal the text writes when it is one of
// the common forms read the quick way.
bool ParseDecimal(std::string_view text, double& out, WrittenDecimal& written);

}  // namespace dialsift::sheet
