// Where tests find their data, the corpus and the built program.
#pragma once

#include <filesystem>
#include <string>

namespace dialsift::test {

inline std::filesystem::path SourceDir() {
  return DIALSIFT_SOURCE_DIR;
}
inline std::filesystem::path TestData() {
  return DIALSIFT_TEST_DATA;
}
inline std::filesystem::path BinDir() {
  return DIALSIFT_BIN_DIR;
}
// The shared corpus of real workbooks; may be absent (tests then skip).
inline std::filesystem::path CorpusDir() {
  return DIALSIFT_CORPUS_DIR;
}
inline bool HaveCorpus() {
  return std::filesystem::exists(CorpusDir() / "manifest.tsv");
}

// A fresh temporary folder, removed with the object.
class TempDir {
 public:
  TempDir() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "dialsift-test-XXXXXX").string();
    path_ = mkdtemp(tmpl.data());
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

}  // namespace dialsift::test
