#include "filelist/add_files.h"

#include "filelist/folder_walk.h"

namespace dialsift::filelist {

std::size_t Utf16Length(std::string_view text) {
  std::size_t units = 0;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if ((byte & 0xC0) == 0x80) continue;  // continuation byte
    units += (byte >= 0xF0) ? 2 : 1;      // four-byte sequences need a surrogate pair
  }
  return units;
}

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
