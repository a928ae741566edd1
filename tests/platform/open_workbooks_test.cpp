// A workbook open in a spreadsheet application, seen by its lock file.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>

#include "common/test_paths.h"
#include "platform/open_workbooks.h"

namespace dialsift::test {
namespace {

using platform::AnyWorkbookOpen;
using platform::LockFileNames;
using Names = std::vector<std::string>;

TEST(LockFileNames, LibreOfficeAndTheOwnerFileWithItsRuleForLongNames) {
  // Base names of up to 6 characters keep them all.
  EXPECT_EQ(LockFileNames("Book1.xlsx"), (Names{".~lock.Book1.xlsx#", "~$Book1.xlsx"}));
  EXPECT_EQ(LockFileNames("abcdef.xls"), (Names{".~lock.abcdef.xls#", "~$abcdef.xls"}));
  // 7 characters lose one, 8 and more lose two.
  EXPECT_EQ(LockFileNames("abcdefg.xlsx"),
            (Names{".~lock.abcdefg.xlsx#", "~$abcdefg.xlsx", "~$bcdefg.xlsx"}));
  EXPECT_EQ(LockFileNames("OfficeReport.xlsm"),
            (Names{".~lock.OfficeReport.xlsm#", "~$OfficeReport.xlsm", "~$ficeReport.xlsm"}));
  // Only the last extension is not counted; characters, not bytes, are dropped.
  EXPECT_EQ(LockFileNames("ab.cdefgh.xlsx")[2], "~$.cdefgh.xlsx");
  EXPECT_EQ(LockFileNames("ÄÖÜßäöü1.ods")[2], "~$Üßäöü1.ods");
  EXPECT_EQ(LockFileNames("contacts")[2], "~$ntacts");
  EXPECT_TRUE(LockFileNames("").empty());
}

TEST(AnyWorkbookOpen, ReadsEachDistinctFolderOnceAndMatchesItsNames) {
  std::vector<std::string> listed;
  std::map<std::string, Names> locks;
  const platform::LockFileLister lister = [&](const std::string& folder) {
    listed.push_back(folder);
    return locks[folder];
  };
  const std::vector<std::string> rows = {"/w/a.xlsx", "/w/b.xlsx", "/w/a.xlsx",
                                         "/v/a.xlsx", "/w/b.xlsx", "/u/sub/customers.xlsx"};
  EXPECT_FALSE(AnyWorkbookOpen(rows, lister));
  EXPECT_EQ(listed, (Names{"/w/", "/v/", "/u/sub/"}));

  // Lock files of other workbooks, or of ours in another folder, are not ours.
  locks = {{"/w/", {"~$c.xlsx", ".~lock.a.xlsx"}},
           {"/v/", {"~$b.xlsx"}},
           {"/u/sub/", {"~$customers.xls", "~$ustomers.xlsx"}}};
  EXPECT_FALSE(AnyWorkbookOpen(rows, lister));
  for (const auto& [folder, lock] : std::vector<std::pair<std::string, std::string>>{
           {"/w/", ".~lock.b.xlsx#"}, {"/v/", "~$a.xlsx"}, {"/u/sub/", "~$stomers.xlsx"}}) {
    locks = {{folder, {lock}}};
    EXPECT_TRUE(AnyWorkbookOpen(rows, lister)) << folder << lock;
  }
  listed.clear();
  EXPECT_FALSE(AnyWorkbookOpen({}, lister));
  EXPECT_TRUE(listed.empty());
}

TEST(AnyWorkbookOpen, SeesRealLockFilesBesideTheWorkbooks) {
  TempDir dir;
  const auto touch = [&](const std::string& name) { std::ofstream(dir.path() / name) << "x"; };
  touch("quarterly.xlsx");
  touch("Book1.ods");
  const std::vector<std::string> rows = {(dir.path() / "quarterly.xlsx").string(),
                                         (dir.path() / "Book1.ods").string()};
  EXPECT_FALSE(AnyWorkbookOpen(rows));
  touch(".~lock.Book1.ods#");
  EXPECT_TRUE(AnyWorkbookOpen(rows));
  std::filesystem::remove(dir.path() / ".~lock.Book1.ods#");
  touch("~$arterly.xlsx");
  EXPECT_TRUE(AnyWorkbookOpen(rows));
  // A lock file of another workbook in the same folder is not one of ours.
  std::filesystem::remove(dir.path() / "~$arterly.xlsx");
  touch(".~lock.other.xlsx#");
  EXPECT_FALSE(AnyWorkbookOpen(rows));
}

}  // namespace
}  // namespace dialsift::test
