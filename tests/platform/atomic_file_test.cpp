// A file replaced as a whole: what the target and its folder hold before,
// after and instead of a commit.
#include "platform/atomic_file.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "common/test_paths.h"

namespace dialsift::platform {
namespace {

namespace fs = std::filesystem;
using Temporary = AtomicFile::Temporary;

std::vector<std::string> Names(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(folder)) names.push_back(e.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

unsigned Mode(const fs::path& path) {
  struct stat st {};
  EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
  return st.st_mode & 07777;
}

class AtomicFileTest : public ::testing::TestWithParam<Temporary> {
 protected:
  test::TempDir dir_;
};

TEST_P(AtomicFileTest, TheTargetChangesOnlyAtCommitAndNothingIsLeftBeside) {
  const fs::path target = dir_.path() / "out.txt";
  std::ofstream(target) << "old";
  std::string big;
  for (int i = 0; big.size() < (3 << 20); ++i) big += std::to_string(i) + ",";
  {
    AtomicFile file(GetParam());
    ASSERT_TRUE(file.Open(target));
    ASSERT_TRUE(file.Write(big));
    ASSERT_TRUE(file.Write("tail"));
    EXPECT_EQ(test::ReadFile(target), "old");
    ASSERT_TRUE(file.Commit()) << file.Error();
  }
  EXPECT_EQ(test::ReadFile(target), big + "tail");
  EXPECT_EQ(Names(dir_.path()), std::vector<std::string>{"out.txt"});

  // Cancelled, or dropped without a commit: the target stays.
  for (bool cancel : {true, false}) {
    AtomicFile file(GetParam());
    ASSERT_TRUE(file.Open(target));
    ASSERT_TRUE(file.Write("new"));
    if (cancel) {
      file.Cancel();
      EXPECT_FALSE(file.Commit());
    }
  }
  EXPECT_EQ(test::ReadFile(target), big + "tail");
  EXPECT_EQ(Names(dir_.path()), std::vector<std::string>{"out.txt"});

  // A new file, empty.
  AtomicFile empty(GetParam());
  ASSERT_TRUE(empty.Open(dir_.path() / "empty"));
  ASSERT_TRUE(empty.Commit());
  EXPECT_TRUE(fs::is_regular_file(dir_.path() / "empty"));
  EXPECT_EQ(fs::file_size(dir_.path() / "empty"), 0u);
}

TEST_P(AtomicFileTest, KeepsTheTargetsPermissionsAndGivesANewFileTheUmasks) {
  const mode_t old_mask = ::umask(027);
  AtomicFile file(GetParam());
  ASSERT_TRUE(file.Open(dir_.path() / "new"));
  ASSERT_TRUE(file.Commit());
  EXPECT_EQ(Mode(dir_.path() / "new"), 0640u);

  const fs::path kept = dir_.path() / "kept";
  std::ofstream(kept) << "x";
  ASSERT_EQ(::chmod(kept.c_str(), 0604), 0);
  ASSERT_TRUE(file.Open(kept));
  ASSERT_TRUE(file.Write("y"));
  ASSERT_TRUE(file.Commit());
  EXPECT_EQ(Mode(kept), 0604u);
  EXPECT_EQ(test::ReadFile(kept), "y");
  ::umask(old_mask);
}

TEST_P(AtomicFileTest, ASymbolicLinkIsFollowedToTheFileItNames) {
  fs::create_directory(dir_.path() / "real");
  const fs::path real = dir_.path() / "real" / "data.txt";
  std::ofstream(real) << "old";
  fs::create_symlink("real/data.txt", dir_.path() / "link");        // relative to its folder
  fs::create_symlink(dir_.path() / "link", dir_.path() / "link2");  // a chain
  fs::create_symlink("real/absent.txt", dir_.path() / "dangling");

  for (const char* name : {"link", "link2"}) {
    AtomicFile file(GetParam());
    ASSERT_TRUE(file.Open(dir_.path() / name));
    ASSERT_TRUE(file.Write(name));
    ASSERT_TRUE(file.Commit()) << file.Error();
    EXPECT_EQ(test::ReadFile(real), name);
    EXPECT_TRUE(fs::is_symlink(dir_.path() / name));
  }
  AtomicFile file(GetParam());
  ASSERT_TRUE(file.Open(dir_.path() / "dangling"));
  ASSERT_TRUE(file.Write("made"));
  ASSERT_TRUE(file.Commit()) << file.Error();
  EXPECT_EQ(test::ReadFile(dir_.path() / "real" / "absent.txt"), "made");
  EXPECT_TRUE(fs::is_symlink(dir_.path() / "dangling"));
  EXPECT_EQ(Names(dir_.path() / "real"), (std::vector<std::string>{"absent.txt", "data.txt"}));
}

TEST_P(AtomicFileTest, FailuresAreToldInTheSystemsWords) {
  AtomicFile file(GetParam());
  EXPECT_FALSE(file.Open(dir_.path() / "no folder" / "out.txt"));
  EXPECT_EQ(file.Error(), "No such file or directory");
  EXPECT_FALSE(file.Write("x"));
  EXPECT_FALSE(file.Commit());
  fs::create_directory(dir_.path() / "folder");
  EXPECT_FALSE(file.Open(dir_.path() / "folder"));
  EXPECT_EQ(file.Error(), "Is a directory");
  EXPECT_TRUE(fs::is_empty(dir_.path() / "folder"));
  EXPECT_EQ(Names(dir_.path()), std::vector<std::string>{"folder"});
}

// A write that fails half way (the file size limit stands in for a full
// disk) fails the commit, and the target stays as it was.
TEST_P(AtomicFileTest, AFailedWriteLeavesTheTargetAsItWas) {
  const fs::path target = dir_.path() / "out.txt";
  std::ofstream(target) << "old";
  rlimit old_limit{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old_limit), 0);
  const auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit limit = old_limit;
  limit.rlim_cur = 1000;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limit), 0);
  AtomicFile file(GetParam());
  const bool opened = file.Open(target);
  const bool wrote = opened && file.Write(std::string(1500, 'x'));
  const std::string error = file.Error();
  const bool later = file.Write("y");
  const bool committed = file.Commit();
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &old_limit), 0);
  std::signal(SIGXFSZ, old_handler);

  ASSERT_TRUE(opened);
  EXPECT_FALSE(wrote);
  EXPECT_EQ(error, "File too large");
  EXPECT_FALSE(later);
  EXPECT_FALSE(committed);
  EXPECT_EQ(file.Error(), "File too large");
  EXPECT_EQ(test::ReadFile(target), "old");
  EXPECT_EQ(Names(dir_.path()), std::vector<std::string>{"out.txt"});
}

INSTANTIATE_TEST_SUITE_P(Temporaries, AtomicFileTest,
                         ::testing::Values(Temporary::kUnnamed, Temporary::kNamed),
                         [](const auto& info) {
                           return info.param == Temporary::kUnnamed ? "Unnamed" : "Named";
                         });

// A device is no file to replace: it is written directly and stays a device.
TEST(AtomicFile, WritesADeviceDirectly) {
  AtomicFile null_device;
  ASSERT_TRUE(null_device.Open("/dev/null"));
  ASSERT_TRUE(null_device.Write("nothing"));
  ASSERT_TRUE(null_device.Commit()) << null_device.Error();

  AtomicFile full;
  ASSERT_TRUE(full.Open("/dev/full"));
  const bool wrote = full.Write("x");
  EXPECT_FALSE(wrote && full.Commit());
  EXPECT_EQ(full.Error(), "No space left on device");
  for (const char* device : {"/dev/null", "/dev/full"}) {
    EXPECT_TRUE(fs::is_character_file(device)) << device;
  }
}

}  // namespace
}  // namespace dialsift::platform
