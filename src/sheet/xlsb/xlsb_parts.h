// The parts of a binary workbook (.xlsb): the workbook part (sheet list,
// date system), styles, shared strings and the cells of a worksheet. The
// package around them is read by the opc/ layer. The binary parts are parsed from any ByteSource so
// that tests and fuzzing can feed them from memory.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "sheet/number_format.h"
#include "sheet/opc/shared_strings.h"
#include "sheet/result.h"
#include "sheet/workbook.h"
#include "sheet/xlsb/biff12.h"
#include "sheet/zip_archive.h"

namespace dialsift::sheet::xlsb {

struct BundleSheet {
  std::string name;
  std::string rel_id;
};

struct BookPart {
  std::vector<BundleSheet> sheets;
  bool date1904 = false;
};

Result<BookPart> ParseBookPart(ByteSource& source, std::string part);

Result<opc::SharedStrings> ParseSharedStrings(ByteSource& source, std::string part);

// The number-format handle of each cell format (the cell XFs), interned in
// `engine`.
Result<std::vector<FormatEngine::Handle>> ParseStyles(ByteSource& source, std::string part,
                                                      FormatEngine& engine);

struct SheetContext {
  const opc::SharedStrings* strings = nullptr;
  const std::vector<FormatEngine::Handle>* styles = nullptr;
  FormatEngine* engine = nullptr;
};

// Streams the cells of a worksheet part to `sink`.
Status ParseSheet(ByteSource& source, std::string part, const SheetContext& context,
                  CellSink& sink);

}  // namespace dialsift::sheet::xlsb
