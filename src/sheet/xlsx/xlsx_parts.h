// The parts of a SpreadsheetML workbook that the sheets depend on: the
// workbook part, styles and shared strings (the package layer is in opc/). Transitional
// and Strict namespaces are both accepted.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "sheet/number_format.h"
#include "sheet/opc/shared_strings.h"
#include "sheet/result.h"
#include "sheet/zip_archive.h"

namespace dialsift::sheet::xlsx {

// True for the SpreadsheetML main namespace, transitional or Strict.
bool IsMainNs(std::string_view ns);

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

// The shared-string table, rich-text runs joined, phonetic runs left out.
Result<opc::SharedStrings> ReadSharedStrings(const ZipArchive& zip, std::string_view part);

}  // namespace dialsift::sheet::xlsx
