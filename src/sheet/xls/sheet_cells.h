// The cell records of one worksheet substream, delivered to a CellSink.
#pragma once

#include "sheet/biff_values.h"

#include <cstdint>

#include "sheet/result.h"
#include "sheet/workbook.h"
#include "sheet/xls/record_stream.h"
#include "sheet/xls/workbook_globals.h"

namespace dialsift::sheet::xls {

// Reads the worksheet whose BOF record is at `offset`, record by record, to
// its EOF. Substreams embedded in it (charts) are skipped.
Status ReadSheetCells(RecordReader& reader, std::uint32_t offset, WorkbookGlobals& globals,
                      CellSink& sink);

}  // namespace dialsift::sheet::xls
