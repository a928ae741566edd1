// Entry points of the .xls reader beyond readers.h: opening from memory
// (fuzzing, tests).
#pragma once

#include <cstdint>
#include <span>

#include "sheet/readers.h"

namespace dialsift::sheet::xls {

// Opens an OLE2 compound file held in memory. `bytes` must outlive the workbook.
WorkbookResult OpenCompoundFileInMemory(std::span<const std::uint8_t> bytes);
// Opens a bare BIFF2-4 record stream held in memory; likewise.
WorkbookResult OpenBareBiffInMemory(std::span<const std::uint8_t> bytes);

}  // namespace dialsift::sheet::xls
