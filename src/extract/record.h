// A phone number found in a workbook, with where it was found.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace dialsift {

struct Record {
  std::string number;        // exactly as written in the cell
  std::string path;          // the workbook, as given to the run
  std::string sheet;         // the worksheet's name
  std::uint32_t row = 0;     // 1-based
  std::uint32_t column = 0;  // 1-based

  bool operator==(const Record&) const = default;
};

// The column's letters: 1 is "A", 27 is "AA", 16384 is "XFD".
std::string ColumnLetters(std::uint32_t column);
// The cell as an A1 reference: "C7".
std::string CellReference(std::uint32_t row, std::uint32_t column);
// Sheet and cell as one reference: "Sheet1!C7". A sheet name holding anything
// but letters, digits, "_" and "." is quoted ('My sheet'!C7, '' for a quote),
// as formulas write it.
std::string SheetCellReference(std::string_view sheet, std::uint32_t row, std::uint32_t column);

// Where the record was found, as the results list's row tooltip shows it:
// the workbook's file name, an em dash and the sheet's cell,
// "contacts.xlsx — Sheet1!C7".
std::string WhereFound(const Record& record);

// Receives the records of a run as they are found, in workbook-text order.
class RecordSink {
 public:
  virtual ~RecordSink() = default;
  // The record is only valid during the call; keep a copy to hold on to it.
  virtual void Found(const Record& record) = 0;
  // Under phone::Rule::kWordsMarkingSpaced: a cell whose reading with spaces
  // could differ from its words, whole in `record.number`, before them.
  virtual void SpacedCell(const Record& /*record*/) {}
};

}  // namespace dialsift
