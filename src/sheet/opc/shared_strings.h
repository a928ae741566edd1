// The shared-string table of a workbook (SpreadsheetML, binary, BIFF8): all
// strings in one buffer with their end offsets, so memory follows the
// strings actually present, never a count the file declares, and an empty
// string costs its offset alone.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "sheet/limits.h"
#include "sheet/result.h"

namespace dialsift::sheet::opc {

class SharedStrings {
 public:
  // Largest total size of the strings, against hostile files.
  static constexpr std::size_t kMaxBytes = std::size_t{256} << 20;

  static Error TooLarge() {
    return {ErrorKind::kTooLarge, "the shared strings of the workbook exceed 256 MB"};
  }

  std::size_t size() const { return ends_.size(); }
  std::string_view operator[](std::size_t i) const {
    const std::uint32_t begin = i == 0 ? 0 : ends_[i - 1];
    return std::string_view(text_).substr(begin, ends_[i] - begin);
  }

  // Building: append to text() the string under construction, as long as
  // Fits says the table stays within kMaxBytes, then End it; once Full,
  // no more strings may be added (OverfullError says so).
  bool Fits(std::size_t more) const { return text_.size() + more <= kMaxBytes; }
  bool Full() const { return ends_.size() >= kMaxSharedStrings; }
  static Error OverfullError() { return OverBudget(kMaxSharedStrings, "shared strings"); }
  std::string& text() { return text_; }
  void End() { ends_.push_back(static_cast<std::uint32_t>(text_.size())); }
  void Shrink() {
    text_.shrink_to_fit();
    ends_.shrink_to_fit();
  }

 private:
  std::string text_;
  std::vector<std::uint32_t> ends_;
};

}  // namespace dialsift::sheet::opc
