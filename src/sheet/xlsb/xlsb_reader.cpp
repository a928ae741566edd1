// Placeholder until the binary workbook reader lands.
#include "sheet/readers.h"

namespace dialsift::sheet {

WorkbookResult OpenXlsb(const std::filesystem::path&, ZipArchive) {
  return Error{"binary workbooks (.xlsb) cannot be read yet"};
}

}  // namespace dialsift::sheet
