// Writes a zip holding the given entries (name, bytes), stored in order.
#pragma once

#include <gtest/gtest.h>
#include <zip.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace dialsift::test {

inline void WriteZip(const std::filesystem::path& path,
                     const std::vector<std::pair<std::string, std::string>>& entries) {
  int err = 0;
  zip_t* z = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &err);
  ASSERT_NE(z, nullptr);
  for (const auto& [name, bytes] : entries) {
    zip_source_t* src = zip_source_buffer(z, bytes.data(), bytes.size(), 0);
    zip_file_add(z, name.c_str(), src, ZIP_FL_OVERWRITE);
  }
  ASSERT_EQ(zip_close(z), 0);
}

}  // namespace dialsift::test
