// The cell records of one worksheet substream, delivered to a CellSink.
#pragma once

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

// The value of an RK number (MS-XLS 2.5.217): a 30-bit integer or the top 30
// bits of a double, possibly scaled by 1/100.
double DecodeRk(std::uint32_t rk);

// The text of a BIFF error code ("#DIV/0!" for 0x07, ...).
std::string_view ErrorText(std::uint8_t code);

}  // namespace dialsift::sheet::xls
