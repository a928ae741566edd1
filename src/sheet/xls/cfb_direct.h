// The workbook stream of a compound file, found by the MS-CFB rules alone,
// for containers libgsf refuses as a whole although the workbook stream in
// them is intact (a header that overstates the number of FAT sectors, a
// chain one sector longer than its stream, damage in some other stream).
// Only the stream itself must be sound: every sector of its chain inside the
// file, no sector twice, and enough of them for its declared size.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "sheet/xls/record_stream.h"

namespace dialsift::sheet::xls {

struct DirectStream {
  // The workbook stream, or null.
  std::unique_ptr<ByteSource> stream;
  // Set when the directory names a workbook stream ("Workbook" or "Book")
  // that cannot be read; says why.
  std::string damage;
};

// Reads the container in `file` (kept alive by the result) directly.
DirectStream OpenWorkbookStreamDirect(std::unique_ptr<ByteSource> file);

}  // namespace dialsift::sheet::xls
