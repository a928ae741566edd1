// The shared string table of a BIFF8 workbook (SST record, MS-XLS 2.4.265)
// and the CONTINUE records it spills into.
#pragma once

#include <optional>

#include "sheet/opc/shared_strings.h"
#include "sheet/result.h"
#include "sheet/xls/record_stream.h"

namespace dialsift::sheet::xls {

struct SharedStrings {
  opc::SharedStrings strings;   // UTF-8, rich-text runs and phonetic data dropped
  std::uint32_t declared = 0;   // the count the record declares (not trusted)
  bool truncated = false;       // the data ended inside a string
  std::optional<Error> beyond;  // more strings, or more text, than a workbook may hold
};

// Reads the strings of an SST record gathered with its CONTINUE records. The
// declared count only bounds the loop: memory follows the bytes present, up
// to the table's bounds.
SharedStrings ReadSharedStrings(const Record& sst);

}  // namespace dialsift::sheet::xls
