// Where tests find their data, the corpus and the built program.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
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

// A file's bytes; empty when it cannot be read.
inline std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
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

// Builds, inside `root`, folders nested deeper than a path may be long
// (PATH_MAX), one level at a time as no single call takes such a path, and
// puts `file` in the deepest. Returns the deepest folder's path, or "" on
// failure. RemoveTooDeep takes the folders away again.
inline std::string MakeTooDeep(const std::filesystem::path& root, const std::string& file) {
  const std::string level(200, 'd');
  std::string deep = root.string();
  int fd = ::open(root.c_str(), O_RDONLY | O_DIRECTORY);
  for (int i = 0; fd >= 0 && i < 22; ++i) {
    const int next = ::mkdirat(fd, level.c_str(), 0700) == 0
                         ? ::openat(fd, level.c_str(), O_RDONLY | O_DIRECTORY)
                         : -1;
    ::close(fd);
    fd = next;
    deep += "/" + level;
  }
  if (fd < 0) return {};
  const int f = ::openat(fd, file.c_str(), O_CREAT | O_WRONLY, 0600);
  if (f >= 0) ::close(f);
  ::close(fd);
  return f >= 0 ? deep : std::string();
}
inline void RemoveTooDeep(const std::filesystem::path& root) {
  const std::string command = "cd '" + root.string() + "' && rm -rf " + std::string(200, 'd');
  [[maybe_unused]] const int status = std::system(command.c_str());
}

}  // namespace dialsift::test
