// The exports' bytes, and what a failed or declined export leaves on disk.
#include "results/export.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "common/test_paths.h"
#include "ui/scripted_user_interface.h"

namespace dialsift::results {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

void WriteAll(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

std::vector<std::string> Numbers(std::size_t n) {
  std::vector<std::string> rows;
  for (std::size_t i = 0; i < n; ++i) rows.push_back("555-" + std::to_string(1000000 + i));
  return rows;
}

TEST(WriteRows, WritesLinesAndCommaDelimitedBytes) {
  TempDir dir;
  const auto path = dir.path() / "out.txt";
  struct Case {
    std::vector<std::string> rows;
    std::string lines, commas;
  };
  const std::vector<Case> cases = {
      {{}, "", ""},
      {{"(355)650-5551"}, "(355)650-5551\r\n", "(355)650-5551"},
      {{"A", "B"}, "A\r\nB\r\n", "A,B"},
      {{"1 2", "", "3"}, "1 2\r\n\r\n3\r\n", "1 2,,3"},
  };
  for (const auto& c : cases) {
    ASSERT_FALSE(WriteRows(path.string(), c.rows, Layout::kLines));
    EXPECT_EQ(test::ReadFile(path), c.lines);
    ASSERT_FALSE(WriteRows(path.string(), c.rows, Layout::kCommaDelimited));
    EXPECT_EQ(test::ReadFile(path), c.commas);
  }
}

TEST(WriteRows, WritesEveryOneOfManyRowsAndYieldsPerRow) {
  TempDir dir;
  const auto rows = Numbers(40000);
  std::string lines, commas;
  for (const auto& row : rows) {
    lines += row + "\r\n";
    commas += (commas.empty() ? "" : ",") + row;
  }
  int yields = 0;
  ASSERT_FALSE(WriteRows((dir.path() / "a.txt").string(), rows, Layout::kLines, [&] { ++yields; }));
  EXPECT_EQ(yields, 40000);
  EXPECT_EQ(test::ReadFile(dir.path() / "a.txt"), lines);
  ASSERT_FALSE(WriteRows((dir.path() / "b.txt").string(), rows, Layout::kCommaDelimited));
  EXPECT_EQ(test::ReadFile(dir.path() / "b.txt"), commas);
}

TEST(WriteRows, LeavesAReadOnlyTargetAsItWas) {
  TempDir dir;
  const auto path = dir.path() / "old.txt";
  WriteAll(path, "old content");
  fs::permissions(path, fs::perms::owner_read);
  for (const Layout layout : {Layout::kLines, Layout::kCommaDelimited}) {
    const auto failure = WriteRows(path.string(), Numbers(3), layout);
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->step, WriteFailure::Step::kOpen);
    EXPECT_EQ(failure->description, "Permission denied");
    EXPECT_EQ(test::ReadFile(path), "old content");
  }
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), {}), 1);  // no leftovers
}

TEST(WriteRows, FailsToOpenInAMissingFolderOrOverAFolder) {
  TempDir dir;
  const auto missing = dir.path() / "no such folder" / "out.txt";
  const auto failure = WriteRows(missing.string(), Numbers(2), Layout::kLines);
  ASSERT_TRUE(failure);
  EXPECT_EQ(failure->step, WriteFailure::Step::kOpen);
  EXPECT_FALSE(failure->description.empty());
  EXPECT_FALSE(fs::exists(missing.parent_path()));

  fs::create_directory(dir.path() / "folder");
  const auto over_folder = WriteRows((dir.path() / "folder").string(), Numbers(2), Layout::kLines);
  ASSERT_TRUE(over_folder);
  EXPECT_TRUE(fs::is_directory(dir.path() / "folder"));
}

TEST(SaveListCommaDelimited, AsksBeforeOverwritingAndKeepsTheFileOnNo) {
  TempDir dir;
  const auto path = dir.path() / "out.txt";
  test::ScriptedUserInterface ui;

  ASSERT_TRUE(SaveListCommaDelimited(Numbers(2), path.string(), ui));  // new file: no question
  EXPECT_TRUE(ui.messages.empty());
  EXPECT_EQ(test::ReadFile(path), "555-1000000,555-1000001");

  WriteAll(path, "keep me");
  ui.answers = {UserInterface::Answer::kNo};
  ASSERT_TRUE(SaveListCommaDelimited(Numbers(2), path.string(), ui));
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].text, "Are you sure you wish to overwrite " + path.string() + " ?");
  EXPECT_EQ(ui.messages[0].buttons, UserInterface::Buttons::kYesNo);
  EXPECT_EQ(ui.messages[0].icon, UserInterface::Icon::kNone);
  EXPECT_EQ(ui.messages[0].title, "");
  EXPECT_EQ(test::ReadFile(path), "keep me");

  ui.answers = {UserInterface::Answer::kYes};
  ASSERT_TRUE(SaveListCommaDelimited(Numbers(1), path.string(), ui));
  EXPECT_EQ(test::ReadFile(path), "555-1000000");

  fs::permissions(path, fs::perms::owner_read);
  const Status failed = SaveListCommaDelimited(Numbers(1), path.string(), ui);
  EXPECT_FALSE(failed);
  EXPECT_EQ(failed.error().reason, "Permission denied");
}

TEST(ClipboardText, TakesEveryRowWithoutTrailingBlanks) {
  EXPECT_EQ(ClipboardText({}), "");
  const std::vector<std::string> rows = {"A", "B  ", " C", "   "};
  int yields = 0;
  EXPECT_EQ(ClipboardText(rows, [&] { ++yields; }), "A\r\nB\r\n C\r\n\r\n");
  EXPECT_EQ(yields, 4);
}

}  // namespace
}  // namespace dialsift::results
