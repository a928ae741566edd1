// Placeholder until the BIFF reader lands.
#include "sheet/readers.h"

namespace dialsift::sheet {

WorkbookResult OpenCompoundFile(const std::filesystem::path&) {
  return Error{"Excel 97-2003 workbooks (.xls) cannot be read yet"};
}
WorkbookResult OpenBareBiff(const std::filesystem::path&) {
  return Error{"unsupported old format (Excel 2.x-4.x workbook)"};
}

}  // namespace dialsift::sheet
