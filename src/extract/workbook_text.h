// Module Excel1, the reading side: the workbook text and the streaming scan
// that the run uses in its place.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "extract/error_report.h"
#include "extract/phone.h"
#include "extract/record.h"
#include "sheet/workbook.h"

namespace dialsift {

// Longest run of blanks that ReadWorkBookToString writes for empty cells
// between two texts. Ordinary sheets never come near it; a sheet whose only
// cells are A1 and XFD1048576 would otherwise ask for 17 billion blanks. The
// scanner sees any run of blanks as one separator, so the numbers found do
// not depend on it.
inline constexpr std::uint64_t kMaxBlankRun = 65536;

// The workbook text: for every worksheet in order, every cell of the rectangle
// from A1 to the last used row and column, trimmed of spaces and followed by
// one space; the whole trimmed of spaces. A sheet that cannot be read is
// reported (location ReadWorkBookToString) and the text built so far is kept.
std::string ReadWorkBookToString(sheet::Workbook& workbook, ErrorReporter& reporter);

// The same text handed to `out` in pieces of about kTextPiece bytes as it is
// built. `ranges` and `text` are the same file opened twice (a workbook's
// budgets count every cell read from it): each sheet is read from `ranges`
// for its used range and whether its cells come in order, then from `text`
// for its text, which goes out as it comes. Only a sheet whose cells are
// stored out of order is held whole, to be sorted. Sheets that cannot be
// read are reported from the first reading.
inline constexpr std::size_t kTextPiece = std::size_t{64} << 10;
void StreamWorkbookText(sheet::Workbook& ranges, sheet::Workbook& text, ErrorReporter& reporter,
                        const std::function<void(std::string_view)>& out);

// How many numbers of one sheet are held back to put cells stored out of
// order back in sheet order. A sheet in order holds them only in a queue; a
// sheet whose cells are displaced by more than this many numbers comes out
// in order within each such window. Bounds the memory of a sheet's numbers
// (a few MB) whatever the sheet holds.
inline constexpr std::size_t kReorderWindow = 65536;

// The phone numbers of the workbook, in the order of
// ExtractPhoneNumbers(ReadWorkBookToString(workbook)), each as a record of
// where it was found, handed to `sink` while the cells stream: cost follows
// the stored cells, not the used-range rectangle, and memory does not grow
// with the number of matches. `path` goes into the records as given.
void ScanWorkbook(sheet::Workbook& workbook, std::string_view path,
                  phone::StreamingScanner& scanner, RecordSink& sink, ErrorReporter& reporter,
                  const std::function<bool()>& cancelled = {});

// The numbers alone, collected.
std::vector<std::string> ScanWorkbook(sheet::Workbook& workbook, phone::StreamingScanner& scanner,
                                      ErrorReporter& reporter,
                                      const std::function<bool()>& cancelled = {});

}  // namespace dialsift
