// Placeholder until the SpreadsheetML reader lands.
#include "sheet/readers.h"

namespace dialsift::sheet {

WorkbookResult OpenXlsx(const std::filesystem::path&, ZipArchive) {
  return Error{"Excel workbooks (.xlsx) cannot be read yet"};
}

}  // namespace dialsift::sheet
