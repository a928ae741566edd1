// The kinds of many paths at once agree with asking for each path alone.
#include "platform/path_kinds.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

#include "common/test_paths.h"

namespace dialsift::platform {
namespace {

namespace fs = std::filesystem;

void Touch(const fs::path& p) {
  std::ofstream(p) << "x";
}

TEST(PathKinds, AgreeWithAskingEachPath) {
  test::TempDir dir;
  const fs::path d = dir.path();
  for (int i = 0; i < 40; ++i) Touch(d / ("book" + std::to_string(i) + ".xlsx"));
  fs::create_directory(d / "folder");
  fs::create_symlink(d / "book1.xlsx", d / "link-to-file");
  fs::create_symlink(d / "folder", d / "link-to-folder");
  fs::create_symlink(d / "nowhere", d / "dangling");
  ASSERT_EQ(::mkfifo((d / "fifo").c_str(), 0600), 0);
  // A few entries of a small folder, below the count that lists it.
  fs::create_directory(d / "few");
  Touch(d / "few" / "a.xls");

  std::vector<std::string> paths;
  for (int i = 0; i < 40; ++i)
    paths.push_back((d / ("book" + std::to_string(i) + ".xlsx")).string());
  for (const char* name : {"folder", "link-to-file", "link-to-folder", "dangling", "fifo",
                           "missing.xlsx", "book1.xlsx", "folder/", ".", ".."}) {
    paths.push_back((d / name).string());
  }
  paths.push_back(d.string() + "//book2.xlsx");
  paths.push_back((d / "folder" / ".." / "book3.xlsx").string());
  paths.push_back((d / "book4.xlsx" / "inside").string());  // a file taken for a folder
  paths.push_back((d / "few" / "a.xls").string());
  paths.push_back((d / "few" / "b.xls").string());
  paths.push_back("");
  // The same names relative to the working folder.
  const fs::path was = fs::current_path();
  fs::current_path(d);
  for (int i = 0; i < 20; ++i) paths.push_back("book" + std::to_string(i) + ".xlsx");
  paths.push_back("folder");
  paths.push_back("./book5.xlsx");
  paths.push_back("missing");

  const std::vector<PathKind> kinds = PathKinds(paths);
  ASSERT_EQ(kinds.size(), paths.size());
  for (std::size_t i = 0; i < paths.size(); ++i) {
    std::error_code ec;
    const fs::file_type alone = fs::status(paths[i], ec).type();
    EXPECT_EQ(static_cast<int>(kinds[i].type), static_cast<int>(alone)) << paths[i];
    EXPECT_EQ(bool(kinds[i].error), alone != fs::file_type::not_found && bool(ec)) << paths[i];
  }
  fs::current_path(was);
}

TEST(PathKinds, AFewNamesInAHugeFolder) {
  // The listing gives up early; whatever it did not reach is still right.
  test::TempDir dir;
  for (int i = 0; i < 6000; ++i) Touch(dir.path() / ("f" + std::to_string(i)));
  std::vector<std::string> paths;
  for (int i = 5980; i < 6000; ++i)
    paths.push_back((dir.path() / ("f" + std::to_string(i))).string());
  for (int i = 0; i < 20; ++i) paths.push_back((dir.path() / ("g" + std::to_string(i))).string());
  const std::vector<PathKind> kinds = PathKinds(paths);
  for (std::size_t i = 0; i < paths.size(); ++i) {
    EXPECT_EQ(kinds[i].type, i < 20 ? fs::file_type::regular : fs::file_type::not_found)
        << paths[i];
    EXPECT_FALSE(kinds[i].error) << paths[i];
  }
}

}  // namespace
}  // namespace dialsift::platform
