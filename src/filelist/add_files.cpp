#include "filelist/add_files.h"

#include "base/unicode.h"
#include "filelist/folder_walk.h"

namespace dialsift::filelist {

using sheet::Utf16Length;

std::optional<std::vector<std::string>> RowsFromDialog(
    const UserInterface::OpenFilesResult& result) {
  if (result.names.empty()) {
    if (result.single.empty()) return std::vector<std::string>{};
    if (Utf16Length(result.single) + 1 > kDialogResultChars) return std::nullopt;
    return std::vector<std::string>{result.single};
  }
  std::size_t chars = Utf16Length(result.folder) + 1;
  for (const auto& name : result.names) chars += Utf16Length(name) + 1;
  if (chars > kDialogResultChars) return std::nullopt;

  std::vector<std::string> rows;
  rows.reserve(result.names.size());
  for (const auto& name : result.names)
    rows.push_back(RepairJoinedPath(result.folder + "/" + name));
  return rows;
}

}  // namespace dialsift::filelist
