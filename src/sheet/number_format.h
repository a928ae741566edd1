// Renders cell values the way a spreadsheet application displays them
// (en-US conventions), from the cell's number-format code.
//
// One FormatEngine per workbook: it parses each distinct format code once and
// keeps the parsed form, so readers intern the codes of their styles once and
// render every cell through the returned handle.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "sheet/decimal_text.h"

namespace dialsift::sheet {

// The en-US format code of a built-in number-format id (0 to 49, plus the
// East Asian ids that map onto them). Empty for ids without a built-in code.
std::string_view BuiltinFormatCode(int id);

// A cell value as a workbook stores it: a number (dates and times are
// numbers too: serial days), a text, a boolean or an error value.
struct StoredValue {
  enum class Type : std::uint8_t { kNumber, kText, kBool, kError };
  Type type = Type::kText;
  double number = 0;      // kNumber; kBool: 1 or 0
  std::string_view text;  // kText; kError: as written ("#N/A")
  // kNumber: the decimal the file writes for it, where it writes one;
  // short ones give their digits without working them out of the double.
  WrittenDecimal written;

  static StoredValue Number(double v, WrittenDecimal written = {}) {
    return {Type::kNumber, v, {}, written};
  }
  static StoredValue Text(std::string_view s) { return {Type::kText, 0, s, {}}; }
  static StoredValue Bool(bool b) { return {Type::kBool, b ? 1.0 : 0.0, {}, {}}; }
  static StoredValue Error(std::string_view s) { return {Type::kError, 0, s, {}}; }
};

class FormatEngine {
 public:
  using Handle = std::uint32_t;

  explicit FormatEngine(bool date1904 = false);
  ~FormatEngine();
  FormatEngine(FormatEngine&&) noexcept;
  FormatEngine& operator=(FormatEngine&&) noexcept;

  // Dates count from 1904-01-01 instead of 1900-01-00.
  void SetDate1904(bool date1904);
  bool Date1904() const;

  // Parses `code` (once per distinct code) and returns its handle. An invalid
  // code is kept and renders like General.
  Handle Intern(std::string_view code);
  // Handle of a built-in id; General for unknown ids.
  Handle InternBuiltin(int id);

  // True when `format` shows a text value unchanged (General, "@", a code
  // without a text section), as found when the code was interned.
  bool ShowsTextAsIs(Handle format) const;

  // The displayed text of `value` in a cell of number format `format`:
  // numbers rendered by the format, text through its text section, booleans
  // as "TRUE"/"FALSE", errors as written. The result views `value.text`
  // (text shown as it is, errors) or `scratch`, which it overwrites.
  std::string_view DisplayedText(const StoredValue& value, Handle format, std::string& scratch);

  // The displayed text of a number.
  std::string FormatNumber(double value, Handle format);
  // The displayed text of a text cell shown through a format (its text
  // section, or the text itself).
  std::string FormatText(std::string_view text, Handle format);

  // Convenience for one-off calls and tests.
  std::string FormatNumber(double value, std::string_view code) {
    return FormatNumber(value, Intern(code));
  }

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// General format, with the integer rule: an integral value of at most 15
// digits is written in full; everything else with at most 11 characters,
// switching to scientific notation as the spreadsheet application does.
std::string FormatGeneral(double value);

}  // namespace dialsift::sheet
