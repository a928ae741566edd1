// Small text routines of the SpreadsheetML reader: cell references, the
// _xHHHH_ escapes of stored strings, and ISO 8601 dates of t="d" cells.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace dialsift::sheet::xlsx {

struct CellRef {
  std::uint32_t row = 0;     // 1-based; 0 when the reference names no row
  std::uint32_t column = 0;  // 1-based
};

enum class RefStatus { kOk, kMalformed, kOutOfRange };

// Parses "B12" (letters, then digits; lower case letters accepted). A
// reference beyond XFD1048576 is kOutOfRange, anything else that is not a
// reference kMalformed.
RefStatus ParseCellRef(std::string_view text, CellRef& out);

// Column letters of a 1-based column ("A", "XFD").
std::string ColumnName(std::uint32_t column);

// Appends `text` to `out` with the _xHHHH_ escapes of stored strings decoded
// (each stands for one UTF-16 code unit; "_x005F_" is an escaped underscore,
// so "_x005F_x000D_" reads "_x000D_"). Surrogate pairs combine; a lone
// surrogate becomes U+FFFD.
void AppendUnescaped(std::string_view text, std::string& out);
// The same in place: returns the length of the text unescaped, which is
// never longer than it was.
std::size_t UnescapeInPlace(std::span<char> text);

// True when `text` may hold an escape (a cheap test before AppendUnescaped).
inline bool MayHoldEscape(std::string_view text) {
  return text.find("_x") != std::string_view::npos;
}

// The serial number of an ISO 8601 date-time ("2024-02-29", "2024-02-29T13:45:00",
// "13:45:00"), in the 1900 date system (with its leap-day quirk) or the 1904
// one. Empty when the text is not such a date.
std::optional<double> IsoDateToSerial(std::string_view text, bool date1904);

}  // namespace dialsift::sheet::xlsx
