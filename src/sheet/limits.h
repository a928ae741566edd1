// What reading one workbook may cost. A file of a few kilobytes can claim
// billions of cells, sheets or strings; these bounds keep every workbook to a
// few seconds and a few hundred megabytes, whatever it claims, while staying
// far above what real workbooks hold. Reaching one ends the read with an
// error of kind kTooLarge that names it (OverBudget below); the cells read
// until then have been delivered.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "sheet/result.h"

namespace dialsift::sheet {

// Cells delivered, over all sheets: sixteen times the rows of a full-height
// column, about two seconds of reading with the numbers scanned. Real
// workbooks rarely hold a tenth of it.
inline constexpr std::uint64_t kMaxCellsPerWorkbook = std::uint64_t{1} << 24;

// Worksheets listed. The application has no fixed limit, but a workbook of
// thousands of sheets is already unusable there.
inline constexpr std::size_t kMaxSheetsPerWorkbook = 10'000;

// Bytes inflated out of the zip container, counting every read of the same
// part again (a part read for two sheets counts twice): the XML of a sheet
// of 10 million cells, parsed in about three seconds.
inline constexpr std::uint64_t kMaxInflatedBytes = std::uint64_t{1} << 30;

// Entries of the shared-string table: each costs its offset even when empty.
// Sixteen million unique strings is more than any real table holds.
inline constexpr std::size_t kMaxSharedStrings = std::size_t{1} << 24;

// Cell formats (xf records, styles). The application stops at 65,430 in
// SpreadsheetML and 4,050 in BIFF8.
inline constexpr std::size_t kMaxCellFormats = 65'536;

// Nesting of XML elements. Workbook parts nest a dozen deep (some writers
// wrap extension data thousands deep); each level costs the parser its open
// element's name, so this keeps the stack to a few megabytes.
inline constexpr std::size_t kMaxXmlDepth = 65'536;

// Namespace declarations and attributes on one element. A SpreadsheetML root
// declares about twenty namespaces; no element has more than a few dozen
// attributes.
inline constexpr std::size_t kMaxNamespacesPerElement = 1'024;
inline constexpr std::size_t kMaxAttributesPerElement = 4'096;

// CONTINUE records after one BIFF record (the shared-string table is the
// only one that needs many): 8,224 bytes each, so 2 GB of strings.
inline constexpr std::size_t kMaxContinueRecords = 262'144;

inline constexpr std::string_view kOverBudgetReason = "workbook too large to read (";

// The error for a workbook beyond one of the bounds above; `what` names it
// ("more than 16777216 cells").
inline Error OverBudget(std::string_view what) {
  return {ErrorKind::kTooLarge,
          std::string(kOverBudgetReason) + std::string(what) + "; the rest was not read)"};
}

// "more than N `what`", the usual way of naming a budget.
inline Error OverBudget(std::uint64_t limit, std::string_view what) {
  return OverBudget("more than " + std::to_string(limit) + " " + std::string(what));
}

// True for an error of OverBudget: nothing more of the workbook is read.
inline bool IsOverBudget(const Error& error) {
  return error.kind == ErrorKind::kTooLarge && error.reason.starts_with(kOverBudgetReason);
}

// The error for an XML part beyond one of the bounds of XML above; the other
// parts of the workbook are still read.
inline Error XmlOverBudget(std::string_view part, std::uint64_t limit, std::string_view what) {
  return {ErrorKind::kTooLarge, "XML too large to read in " + std::string(part) + " (more than " +
                                    std::to_string(limit) + " " + std::string(what) + ")"};
}

}  // namespace dialsift::sheet
