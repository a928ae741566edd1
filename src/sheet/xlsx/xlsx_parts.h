// The package parts of a SpreadsheetML workbook that the sheets depend on:
// relationships, the workbook part, styles and shared strings. Transitional
// and Strict namespaces are both accepted.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "sheet/number_format.h"
#include "sheet/result.h"
#include "sheet/zip_archive.h"

namespace dialsift::sheet::xlsx {

// True for the SpreadsheetML main namespace, transitional or Strict.
bool IsMainNs(std::string_view ns);
// True for the relationships namespace of attributes such as r:id.
bool IsRelNs(std::string_view ns);

struct Relationship {
  std::string id;
  std::string type;    // full type URI
  std::string target;  // resolved part name, or the raw target when external
  bool external = false;
};

// True when the relationship type URI ends in "/<kind>" (the kinds are the
// same in the transitional and the Strict URI families).
bool RelTypeIs(std::string_view type, std::string_view kind);

// The relationships of `part` (read from "<folder>/_rels/<name>.rels"), with
// targets resolved against the part's folder. A part without a
// relationships part has none.
Result<std::vector<Relationship>> ReadRelationships(const ZipArchive& zip, std::string_view part);

struct SheetEntry {
  std::string name;
  std::string rel_id;
  std::string state;  // "visible", "hidden", "veryHidden"
};

struct WorkbookPart {
  std::vector<SheetEntry> sheets;
  bool date1904 = false;
};

Result<WorkbookPart> ReadWorkbookPart(const ZipArchive& zip, std::string_view part);

// The number-format handle of every cell style (cellXfs), interned in `engine`.
Result<std::vector<FormatEngine::Handle>> ReadStyles(const ZipArchive& zip, std::string_view part,
                                                     FormatEngine& engine);

// The shared-string table: all strings in one buffer, with their offsets.
// Memory follows the strings actually present, never a declared count.
class SharedStrings {
 public:
  // Largest total size of the strings, against hostile files.
  static constexpr std::size_t kMaxBytes = std::size_t{256} << 20;

  std::size_t size() const { return ends_.size(); }
  std::string_view operator[](std::size_t i) const {
    const std::uint32_t begin = i == 0 ? 0 : ends_[i - 1];
    return std::string_view(text_).substr(begin, ends_[i] - begin);
  }

  // Building: text of the string under construction, then End.
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

Result<SharedStrings> ReadSharedStrings(const ZipArchive& zip, std::string_view part);

}  // namespace dialsift::sheet::xlsx
