// Placeholder until the text-file reader lands.
#include "sheet/readers.h"

namespace dialsift::sheet {

WorkbookResult OpenTextWorkbook(const std::filesystem::path&, std::span<const char>) {
  return Error{"not a workbook"};
}

}  // namespace dialsift::sheet
