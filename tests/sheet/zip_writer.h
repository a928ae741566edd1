// Writes small zip packages for reader tests.
#pragma once

#include <zip.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace dialsift::test {

// Writes a zip holding the given entries (name, bytes), stored in order.
// False when the archive cannot be written.
inline bool WriteZip(const std::filesystem::path& path,
                     const std::vector<std::pair<std::string, std::string>>& entries) {
  int err = 0;
  zip_t* z = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &err);
  if (z == nullptr) return false;
  for (const auto& [name, bytes] : entries) {
    zip_source_t* src = zip_source_buffer(z, bytes.data(), bytes.size(), 0);
    zip_file_add(z, name.c_str(), src, ZIP_FL_OVERWRITE);
  }
  return zip_close(z) == 0;
}

}  // namespace dialsift::test
