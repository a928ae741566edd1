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

namespace dialsift::sheet {

// The en-US format code of a built-in number-format id (0 to 49, plus the
// East Asian ids that map onto them). Empty for ids without a built-in code.
std::string_view BuiltinFormatCode(int id);

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
