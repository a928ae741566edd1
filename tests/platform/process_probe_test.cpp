// The running-spreadsheet probe over a made-up process table.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "common/test_paths.h"
#include "platform/process_probe.h"

namespace dialsift::test {
namespace {

void AddProcess(const std::filesystem::path& root, const std::string& pid,
                const std::string& comm) {
  std::filesystem::create_directories(root / pid);
  std::ofstream(root / pid / "comm") << comm << "\n";
}

TEST(ProcessProbe, KnowsTheSpreadsheetApplicationsByName) {
  EXPECT_TRUE(IsSpreadsheetProcessName("soffice.bin"));
  EXPECT_TRUE(IsSpreadsheetProcessName("gnumeric"));
  EXPECT_TRUE(IsSpreadsheetProcessName("EXCEL.EXE"));
  EXPECT_TRUE(IsSpreadsheetProcessName("excel.exe"));
  EXPECT_FALSE(IsSpreadsheetProcessName("soffice"));  // the launcher script, not the office
  EXPECT_FALSE(IsSpreadsheetProcessName("gnumeric-bin"));
  EXPECT_FALSE(IsSpreadsheetProcessName(""));
}

TEST(ProcessProbe, FindsOnlyThisUsersProcesses) {
  TempDir proc;
  const unsigned me = static_cast<unsigned>(::getuid());
  AddProcess(proc.path(), "17", "bash");
  AddProcess(proc.path(), "self", "soffice.bin");  // not a process number
  EXPECT_FALSE(IsExcelRunningIn(proc.path(), me));
  AddProcess(proc.path(), "4242", "soffice.bin");
  EXPECT_TRUE(IsExcelRunningIn(proc.path(), me));
  EXPECT_FALSE(IsExcelRunningIn(proc.path(), me + 1));  // someone else's office
  EXPECT_FALSE(IsExcelRunningIn(proc.path() / "absent", me));
}

TEST(ProcessProbe, ReadsTheRealProcessTable) {
  if (!std::filesystem::exists("/proc/self/comm")) GTEST_SKIP() << "no /proc";
  // This test process is none of them; the answer depends on the machine, but the
  // probe must finish and agree with itself.
  EXPECT_EQ(IsExcelRunning(), IsExcelRunningIn("/proc", static_cast<unsigned>(::getuid())));
}

}  // namespace
}  // namespace dialsift::test
