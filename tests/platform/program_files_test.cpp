// Which folder the program reads its own files from.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "common/test_paths.h"
#include "platform/program_files.h"

namespace dialsift::test {
namespace {

namespace fs = std::filesystem;

void Touch(const fs::path& file) {
  fs::create_directories(file.parent_path());
  std::ofstream(file) << "x";
}

TEST(ProgramFiles, BesideTheExecutableComesFirstThenTheSharedFolder) {
  TempDir root;
  const fs::path bin = root.path() / "usr" / "bin";
  const fs::path shared = root.path() / "usr" / "share" / "dialsift";
  fs::create_directories(bin);

  // Nothing anywhere: the executable's folder, where each file is then missing.
  EXPECT_EQ(ProgramFilesFolder(bin), bin);

  // An installed tree: bin/ holds only programs.
  Touch(shared / "HAND-M.CUR");
  EXPECT_EQ(ProgramFilesFolder(bin), shared);  // no "bin/.." in the answer

  // A portable copy beside the program wins, whichever of the files it holds.
  fs::create_directories(bin / "Samples");
  EXPECT_EQ(ProgramFilesFolder(bin), bin);
  fs::remove(bin / "Samples");
  Touch(bin / "x" / "o.cjs");
  EXPECT_EQ(ProgramFilesFolder(bin), bin);
}

TEST(ProgramFiles, TheSharedFolderCountsOnlyWhenItHoldsTheFiles) {
  TempDir root;
  const fs::path bin = root.path() / "bin";
  fs::create_directories(bin);
  fs::create_directories(root.path() / "share" / "dialsift");  // empty
  EXPECT_EQ(ProgramFilesFolder(bin), bin);
  Touch(root.path() / "share" / "dialsift" / "phone-formatting.html");
  EXPECT_EQ(ProgramFilesFolder(bin), root.path() / "share" / "dialsift");
}

TEST(ProgramFiles, AModuleBesideTheExecutableComesFirstThenThePrivateLibFolder) {
  TempDir root;
  const fs::path bin = root.path() / "usr" / "bin";
  fs::create_directories(bin);
  // Missing everywhere: the installed place, named in the error of its loading.
  const fs::path installed =
      root.path() / "usr" / fs::path(InstalledModuleFolder()).lexically_relative("..");
  EXPECT_EQ(ModulePath(bin, "m.so"), installed / "m.so");
  EXPECT_TRUE(InstalledModuleFolder().starts_with("../lib/"));
  EXPECT_TRUE(InstalledModuleFolder().ends_with("/dialsift"));
  Touch(bin / "m.so");
  EXPECT_EQ(ModulePath(bin, "m.so"), bin / "m.so");
}

TEST(ProgramFiles, TheBuildTreeHoldsItsFilesBesideThePrograms) {
  EXPECT_EQ(ProgramFilesFolder(BinDir()), BinDir());
}

}  // namespace
}  // namespace dialsift::test
