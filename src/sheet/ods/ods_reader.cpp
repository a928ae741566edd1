// Placeholder until the OpenDocument reader lands.
#include "sheet/readers.h"

namespace dialsift::sheet {

WorkbookResult OpenOds(const std::filesystem::path&, ZipArchive) {
  return Error{"OpenDocument spreadsheets (.ods) cannot be read yet"};
}
WorkbookResult OpenFlatOds(const std::filesystem::path&) {
  return Error{"flat OpenDocument spreadsheets (.fods) cannot be read yet"};
}

}  // namespace dialsift::sheet
