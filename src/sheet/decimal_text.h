// Reads the decimal numbers that workbooks store as text ("-12.5", "1E-3",
// "42"), fast: std::from_chars goes through strtod in our C++ library, which
// costs more than all the rest of reading a number cell.
#pragma once

#include <string_view>

namespace dialsift::sheet {

// Parses the whole of `text` as std::from_chars does (chars_format::general)
// and gives the same double. False when it is not a number or not all of it
// is one; `out` is then unspecified.
bool ParseDecimal(std::string_view text, double& out);

}  // namespace dialsift::sheet
