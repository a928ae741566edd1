// Module Excel1, the reading side: the workbook text and the streaming scan
// that the run uses in its place.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "extract/error_report.h"
#include "extract/phone.h"
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

// The phone numbers of the workbook, equal to
// ExtractPhoneNumbers(ReadWorkBookToString(workbook)) but read as the cells
// stream: cost follows the stored cells, not the used-range rectangle.
std::vector<std::string> ScanWorkbook(sheet::Workbook& workbook, phone::StreamingScanner& scanner,
                                      ErrorReporter& reporter,
                                      const std::function<bool()>& cancelled = {});

}  // namespace dialsift
