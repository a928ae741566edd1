// The folder walk and the folder intake over real folder trees.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "common/test_paths.h"
#include "filelist/folder_intake.h"
#include "filelist/folder_walk.h"

namespace dialsift::filelist {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

void Touch(const fs::path& path, fs::perms perms = fs::perms::owner_read | fs::perms::owner_write) {
  fs::create_directories(path.parent_path());
  std::ofstream(path) << "x";
  fs::permissions(path, perms);
}

// Rows relative to the tree's root, for readable expectations.
std::vector<std::string> Relative(const std::vector<std::string>& rows, const fs::path& root) {
  std::vector<std::string> out;
  const std::string prefix = root.string() + "/";
  for (const auto& row : rows) {
    EXPECT_TRUE(row.starts_with(prefix)) << row;
    out.push_back(row.substr(prefix.size()));
  }
  return out;
}

TEST(MatchesPattern, TakesEveryWorkbookExtensionInAnyCaseAndNoCsv) {
  for (const char* name : {"a.xls", "B.XLSX", "c.Xlsm", "d.xlsb", "e.f.xls", "g.xls.bak"})
    EXPECT_TRUE(MatchesPattern(name, "*.xls*")) << name;
  for (const char* name : {"a.csv", "xls", "a.xl", "axls", "a.ods"})
    EXPECT_FALSE(MatchesPattern(name, "*.xls*")) << name;
}

TEST(MatchesPattern, StarDotStarTakesNamesWithoutADot) {
  for (const char* name : {"README", "a.b", ".hidden", "x."})
    EXPECT_TRUE(MatchesPattern(name, "*.*")) << name;
  EXPECT_TRUE(MatchesPattern("book1.xls", "book?.XLS"));
  EXPECT_FALSE(MatchesPattern("book12.xls", "book?.xls"));
  EXPECT_FALSE(MatchesPattern("README", "*.xls*"));
  // Many stars against a long name stay quick.
  EXPECT_FALSE(MatchesPattern(std::string(5000, 'a'), "*a*a*a*a*a*a*a*a*b"));
}

TEST(RepairJoinedPath, MakesDoubledSeparatorsSingle) {
  EXPECT_EQ(RepairJoinedPath("//a.xls"), "/a.xls");
  EXPECT_EQ(RepairJoinedPath("//home/u//b.xls"), "/home/u/b.xls");
  EXPECT_EQ(RepairJoinedPath("/x/y.xls"), "/x/y.xls");
}

TEST(FolderIntake, TakesFilesFolderByFolderBreadthFirstInNameOrder) {
  TempDir dir;
  const fs::path& root = dir.path();
  Touch(root / "b.xls");
  Touch(root / "A.xlsx");
  Touch(root / "data.csv");
  Touch(root / "beta" / "1.XLS");
  Touch(root / "beta" / "inner" / "4.xlsb");
  Touch(root / "alpha" / "2.xlsx");
  Touch(root / "alpha" / "deep" / "deeper" / "5.xls");
  Touch(root / "alpha" / "deep" / "3.xlsm");
  Touch(root / "alpha" / "notes.txt");

  const std::vector<std::string> expected = {"A.xlsx",
                                             "b.xls",
                                             "alpha/2.xlsx",
                                             "beta/1.XLS",
                                             "alpha/deep/3.xlsm",
                                             "beta/inner/4.xlsb",
                                             "alpha/deep/deeper/5.xls"};
  EXPECT_EQ(Relative(FolderIntake(root.string(), "*.xls*").rows, root), expected);

  // The same folder dropped ("*.*") takes every file, whatever its type.
  const auto all = Relative(FolderIntake(root.string(), "*.*").rows, root);
  EXPECT_EQ(all.size(), 9u);
  EXPECT_EQ(all[2], "data.csv");
  EXPECT_EQ(all[4], "alpha/notes.txt");

  // A folder given with its trailing separator gives the same rows.
  EXPECT_EQ(Relative(FolderIntake(root.string() + "/", "*.xls*").rows, root), expected);
}

TEST(FolderIntake, AppliesTheTildeAndHiddenFileRules) {
  TempDir dir;
  const fs::path& root = dir.path();
  Touch(root / "~$book.xlsx");
  Touch(root / "~lock.csv");
  Touch(root / ".writable.xls");                         // hidden + archive: skipped
  Touch(root / ".readonly.xls", fs::perms::owner_read);  // + read-only: taken
  Touch(root / "plain.xls", fs::perms::owner_read);      // read-only alone: taken
  Touch(root / ".hidden" / "in-hidden.xls");             // not scanned
  Touch(root / "what?" / "in-question.xls");             // not scanned
  Touch(root / "sub" / "~$in-sub.xls");
  Touch(root / "sub" / "ok.xls");
  // No workbook, and a pipe would block whoever opens it: left out.
  ASSERT_EQ(::mkfifo((root / "pipe.xls").c_str(), 0600), 0);
  fs::create_symlink(root / "nowhere.xls", root / "dangling.xls");

  EXPECT_EQ(Relative(FolderIntake(root.string(), "*.*").rows, root),
            (std::vector<std::string>{".readonly.xls", "plain.xls", "sub/ok.xls"}));
}

TEST(FolderIntake, DoesNotFollowLinksToFolders) {
  TempDir dir;
  const fs::path& root = dir.path();
  Touch(root / "top.xls");
  Touch(root / "sub" / "low.xls");
  fs::create_directory_symlink(root, root / "sub" / "back-to-root");
  fs::create_directory_symlink(root / "sub", root / "again");
  fs::create_symlink(root / "top.xls", root / "sub" / "link.xls");  // a link to a file is a file

  EXPECT_EQ(Relative(FolderIntake(root.string(), "*.xls*").rows, root),
            (std::vector<std::string>{"top.xls", "sub/link.xls", "sub/low.xls"}));
}

// Runs `fn` as an unprivileged user when the tests run as root, so that
// folder permissions apply; returns what it printed.
template <class Fn>
std::string RunWithoutPrivileges(const fs::path& tree, Fn fn) {
  if (::geteuid() != 0) return fn();
  // The tree must be reachable for the other user.
  for (fs::path p = tree; p != p.root_path(); p = p.parent_path())
    fs::permissions(p, fs::perms::others_read | fs::perms::others_exec, fs::perm_options::add);
  int pipe_fds[2];
  if (::pipe(pipe_fds) != 0) return "pipe failed";
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(pipe_fds[0]);
    if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(3);
    const std::string out = fn();
    const ssize_t written = ::write(pipe_fds[1], out.data(), out.size());
    ::_exit(written == static_cast<ssize_t>(out.size()) ? 0 : 4);
  }
  ::close(pipe_fds[1]);
  std::string out;
  char buffer[4096];
  for (ssize_t n; (n = ::read(pipe_fds[0], buffer, sizeof buffer)) > 0;) out.append(buffer, n);
  ::close(pipe_fds[0]);
  int status = 0;
  ::waitpid(child, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return "child failed";
  return out;
}

TEST(FolderIntake, NamesEachFolderThatCannotBeReadAndTakesTheRest) {
  TempDir dir;
  const fs::path& root = dir.path();
  Touch(root / "a.xls", fs::perms::all);
  Touch(root / "locked" / "hidden-from-us.xls", fs::perms::all);
  Touch(root / "open" / "b.xls", fs::perms::all);
  Touch(root / "open" / "shut" / "c.xls", fs::perms::all);
  fs::permissions(root / "open", fs::perms::all);
  fs::permissions(root, fs::perms::all);
  fs::permissions(root / "locked", fs::perms::none);
  fs::permissions(root / "open" / "shut", fs::perms::none);

  const std::string out = RunWithoutPrivileges(root, [&] {
    std::string text;
    const Intake intake = FolderIntake(root.string(), "*.xls*");
    for (const auto& row : intake.rows) text += row + "\n";
    for (const auto& problem : intake.problems) text += problem.path + ": " + problem.reason + "\n";
    const auto dropped = ExamineDroppedPath((root / "locked").string());
    text += dropped.kind == DroppedPath::Kind::kProblem ? "problem: " + dropped.reason : "taken";
    return text;
  });
  fs::permissions(root / "locked", fs::perms::owner_all);
  fs::permissions(root / "open" / "shut", fs::perms::owner_all);
  const std::string r = root.string();
  EXPECT_EQ(out, r + "/a.xls\n" + r + "/open/b.xls\n" + r + "/locked: Permission denied\n" + r +
                     "/open/shut: Permission denied\nproblem: Permission denied");
  EXPECT_EQ(WalkProblemsText({{"/x/a", "Permission denied"}, {"/x/b", "File name too long"}}, 1),
            "Cannot read \"/x/a\": Permission denied.\r\n(and 1 more)");
}

TEST(FolderIntake, NamesAFolderWhosePathIsTooLong) {
  TempDir dir;
  const std::string deep = test::MakeTooDeep(dir.path(), "lost.xls");
  ASSERT_FALSE(deep.empty());
  Touch(dir.path() / "found.xls");

  const Intake intake = FolderIntake(dir.path().string(), "*.xls*");
  EXPECT_EQ(intake.rows, std::vector<std::string>{(dir.path() / "found.xls").string()});
  ASSERT_EQ(intake.problems.size(), 1u);
  EXPECT_EQ(intake.problems[0].reason, "File name too long");
  EXPECT_GT(intake.problems[0].path.size(), 4096u);
  EXPECT_TRUE(deep.starts_with(intake.problems[0].path));
  test::RemoveTooDeep(dir.path());
}

TEST(CollectSubfolders, AppendsEachLevelAfterTheGivenFoldersAndYields) {
  TempDir dir;
  const fs::path& root = dir.path();
  fs::create_directories(root / "b" / "b1");
  fs::create_directories(root / "a" / "a1" / "a2");
  Touch(root / "c.xls");  // files are not folders
  std::vector<std::string> folders{root.string() + "/"};
  int yields = 0;
  CollectSubfolders(folders, [&] { ++yields; });
  const std::string r = root.string();
  EXPECT_EQ(folders, (std::vector<std::string>{r + "/", r + "/a/", r + "/b/", r + "/a/a1/",
                                               r + "/b/b1/", r + "/a/a1/a2/"}));
  EXPECT_GT(yields, 0);
}

TEST(ExamineDroppedPath, SortsFoldersFromEverythingElse) {
  TempDir dir;
  const fs::path& root = dir.path();
  Touch(root / "notes.txt");
  fs::create_directories(root / "folder");
  fs::create_directories(root / ".config");
  using Kind = DroppedPath::Kind;
  EXPECT_EQ(ExamineDroppedPath((root / "notes.txt").string()).kind, Kind::kRow);
  EXPECT_EQ(ExamineDroppedPath((root / "folder").string()).kind, Kind::kFolder);
  EXPECT_EQ(ExamineDroppedPath((root / ".config").string()).kind, Kind::kRow);
  const auto gone = ExamineDroppedPath((root / "vanished.xls").string());
  EXPECT_EQ(gone.kind, Kind::kProblem);
  EXPECT_EQ(DropProblemText("/x/vanished.xls", gone.reason),
            "Cannot add \"/x/vanished.xls\": No such file or directory.");
}

TEST(SampleRows, TakesEveryFileOfTheSampleFolderButNotItsSubfolders) {
  TempDir dir;
  const fs::path samples = dir.path() / "Samples";
  Touch(samples / "b.xlsx");
  Touch(samples / "~a.csv");
  Touch(samples / ".hidden.xls");
  Touch(samples / "more" / "c.xls");
  const std::string s = dir.path().string() + "/Samples/";
  EXPECT_EQ(SampleRows(dir.path().string()),
            (std::vector<std::string>{s + ".hidden.xls", s + "b.xlsx", s + "~a.csv"}));
  EXPECT_TRUE(SampleRows((dir.path() / "nowhere").string()).empty());
}

}  // namespace
}  // namespace dialsift::filelist

namespace dialsift::filelist {
namespace {

TEST(FolderIntake, EndsEarlyOnceStoppedAndAddsNothing) {
  test::TempDir dir;
  for (int i = 0; i < 20; ++i) Touch(dir.path() / ("f" + std::to_string(i)) / "a.xls");
  int yields = 0;
  const auto intake = FolderIntake(
      dir.path().string(), "*.*", [&] { ++yields; }, [&] { return yields >= 3; });
  EXPECT_TRUE(intake.rows.empty());
  EXPECT_EQ(yields, 3);
}

}  // namespace
}  // namespace dialsift::filelist
