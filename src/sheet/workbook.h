// The workbook reader interface. One implementation per file format; the
// format is chosen from the file's content by OpenWorkbook, never from its
// name.
//
// A reader streams: ReadSheet hands the cells of one worksheet to a sink as
// they come out of the file, so memory grows with the workbook's shared
// tables (shared strings, styles), not with the number of rows.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "sheet/result.h"

namespace dialsift::sheet {

// Largest row and column a worksheet may have (XFD1048576). Readers reject
// cell references beyond these.
inline constexpr std::uint32_t kMaxRows = 1048576;
inline constexpr std::uint32_t kMaxColumns = 16384;

struct SheetInfo {
  std::string name;  // UTF-8
};

// Receives the cells of one worksheet. Rows and columns are 1-based. The text
// is the cell's displayed text (UTF-8): what a spreadsheet application shows
// in the cell, independent of the column width. Cells that are present in the
// file without a value (a styled blank) come with an empty text: they count
// towards the used range like any other cell.
//
// Cells normally arrive in row-major order, but a file may store them in any
// order; consumers that need the order sort themselves.
class CellSink {
 public:
  virtual ~CellSink() = default;
  virtual void Cell(std::uint32_t row, std::uint32_t column, std::string_view text) = 0;
  // Asked between rows; returning true stops the sheet early (the read then
  // ends with success). Lets a closed window end a long read.
  virtual bool Cancelled() { return false; }
};

// An open workbook. Created by OpenWorkbook, closed by destruction.
class Workbook {
 public:
  virtual ~Workbook() = default;

  // The worksheets, in workbook order, hidden ones included; chart, macro and
  // dialog sheets are not worksheets and are not listed.
  virtual std::span<const SheetInfo> Sheets() const = 0;

  // Streams the cells of worksheet `index` (0-based, into Sheets()) to `sink`.
  // On a damaged sheet the cells read before the damage have been delivered
  // and the Error says what is wrong.
  virtual Status ReadSheet(std::size_t index, CellSink& sink) = 0;
};

// Opens the workbook at `path`, whatever its format. The Error's reason never
// repeats the path.
Result<std::unique_ptr<Workbook>> OpenWorkbook(const std::filesystem::path& path);

}  // namespace dialsift::sheet
