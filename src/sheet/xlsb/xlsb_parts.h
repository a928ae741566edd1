// The parts of a binary workbook (.xlsb): the package relationships, the
// workbook part (sheet list, date system), styles, shared strings and the
// cells of a worksheet. The binary parts are parsed from any ByteSource so
// that tests and fuzzing can feed them from memory.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "sheet/number_format.h"
#include "sheet/result.h"
#include "sheet/workbook.h"
#include "sheet/xlsb/biff12.h"
#include "sheet/zip_archive.h"

namespace dialsift::sheet::xlsb {

struct Relationship {
  std::string id;
  std::string type;    // full type URI
  std::string target;  // part name resolved against the source's folder
  bool external = false;
};

// True when the type URI ends in "/<kind>".
bool RelTypeIs(std::string_view type, std::string_view kind);

// The relationships of `part`, read from "<folder>/_rels/<name>.rels"; none
// when that part is absent.
Result<std::vector<Relationship>> ReadRelationships(const ZipArchive& zip, std::string_view part);

struct BundleSheet {
  std::string name;
  std::string rel_id;
};

struct BookPart {
  std::vector<BundleSheet> sheets;
  bool date1904 = false;
};

Result<BookPart> ParseBookPart(ByteSource& source, std::string part);

// The shared strings, in one buffer with their end offsets: memory follows
// the strings present, never a declared count.
class SharedStrings {
 public:
  static constexpr std::size_t kMaxBytes = std::size_t{1} << 30;

  std::size_t size() const { return ends_.size(); }
  std::string_view operator[](std::size_t i) const {
    const std::size_t begin = i == 0 ? 0 : ends_[i - 1];
    return std::string_view(text_).substr(begin, ends_[i] - begin);
  }
  std::string& text() { return text_; }
  void End() { ends_.push_back(static_cast<std::uint32_t>(text_.size())); }

 private:
  std::string text_;
  std::vector<std::uint32_t> ends_;
};

Result<SharedStrings> ParseSharedStrings(ByteSource& source, std::string part);

// The number-format handle of each cell format (the cell XFs), interned in
// `engine`.
Result<std::vector<FormatEngine::Handle>> ParseStyles(ByteSource& source, std::string part,
                                                      FormatEngine& engine);

struct SheetContext {
  const SharedStrings* strings = nullptr;
  const std::vector<FormatEngine::Handle>* styles = nullptr;
  FormatEngine* engine = nullptr;
};

// Streams the cells of a worksheet part to `sink`.
Status ParseSheet(ByteSource& source, std::string part, const SheetContext& context,
                  CellSink& sink);

}  // namespace dialsift::sheet::xlsb
