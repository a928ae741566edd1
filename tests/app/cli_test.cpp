// dialsift-cli end to end: the built program on real workbook files.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "common/test_paths.h"

namespace dialsift {
namespace {

namespace fs = std::filesystem;
using test::TempDir;
using ::testing::HasSubstr;

struct CliResult {
  int exit_code = -1;
  std::string out;
  std::string err;
};

std::string Slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

std::string Quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

class Cli : public ::testing::Test {
 protected:
  CliResult Run(const std::vector<std::string>& args) {
    std::string cmd = Quote((test::BinDir() / "dialsift-cli").string());
    for (const auto& a : args) cmd += " " + Quote(a);
    cmd +=
        " >" + Quote((io_.path() / "out").string()) + " 2>" + Quote((io_.path() / "err").string());
    // The settings the CLI may read live in a folder of the test's own.
    cmd = "XDG_CONFIG_HOME=" + Quote((io_.path() / "config").string()) + " " + cmd;
    CliResult r;
    const int status = std::system(cmd.c_str());
    r.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.out = Slurp(io_.path() / "out");
    r.err = Slurp(io_.path() / "err");
    return r;
  }
  std::string Fixture(const std::string& name) {
    return (test::TestData() / "xlsx" / name).string();
  }
  TempDir io_;
  TempDir tmp_;
};

TEST_F(Cli, PrintsNumbersInTextExportFormat) {
  auto r =
      Run({"-l", "7,10", Fixture("openpyxl_tty_voice.xlsx"), Fixture("openpyxl_two_sheets.xlsx")});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out, "855-2880\r\n355-650-5551\r\n855-2880\r\n355-650-5551\r\n");
  EXPECT_EQ(r.err, "");

  r = Run({"--comma", "--lengths=7-10", Fixture("openpyxl_tty_voice.xlsx")});
  EXPECT_EQ(r.out, "855-2880,355-650-5551");

  r = Run({"-l7", "-j3", "--output=" + (io_.path() / "o.txt").string(),
           Fixture("openpyxl_tty_voice.xlsx")});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(Slurp(io_.path() / "o.txt"), "855-2880\r\n");

  r = Run({"-l", "7", "--text", Fixture("openpyxl_tty_voice.xlsx")});
  EXPECT_EQ(r.out, "855-2880 (TTY) 355-650-5551 (Voice)\r\n");
}

TEST_F(Cli, DefaultLengthsComeFromTheWindowsSettings) {
  // Before the window's first start: 10 and 11.
  auto r = Run({Fixture("openpyxl_tty_voice.xlsx")});
  EXPECT_EQ(r.out, "355-650-5551\r\n");

  fs::create_directories(io_.path() / "config" / "Quillmark");
  std::ofstream(io_.path() / "config" / "Quillmark" / "Quillmark.ini")
      << "[Dialsift]\nLoads=3\n2Phone%20Length=1\n5Phone%20Length=0\n";
  r = Run({Fixture("openpyxl_tty_voice.xlsx")});
  EXPECT_EQ(r.out, "855-2880\r\n");
}

TEST_F(Cli, FailuresGoToStandardErrorAndTheExitStatus) {
  auto r = Run({"-l", "7", "/no/such/book.xlsx", Fixture("openpyxl_tty_voice.xlsx"),
                Fixture("crafted_doctype.xlsx")});
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(r.out, "855-2880\r\n");
  EXPECT_THAT(r.err, HasSubstr("/no/such/book.xlsx: file not found\n"));
  EXPECT_THAT(r.err, HasSubstr("crafted_doctype.xlsx: "));

  EXPECT_EQ(Run({"-l", "4", "x.xlsx"}).exit_code, 2);
  EXPECT_EQ(Run({"-l", "7,x", "x.xlsx"}).exit_code, 2);
  EXPECT_EQ(Run({"--bogus", "x.xlsx"}).exit_code, 2);
  EXPECT_EQ(Run({}).exit_code, 2);
  r = Run({"--help"});
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_THAT(r.out, HasSubstr("Usage: dialsift-cli"));
}

TEST_F(Cli, FoldersAreTakenInOrderAndEveryJobCountGivesTheSameOutput) {
  const fs::path tree = tmp_.path() / "tree";
  fs::create_directories(tree / "b" / "deeper");
  fs::create_directories(tree / "a");
  fs::copy_file(Fixture("openpyxl_two_sheets.xlsx"), tree / "b" / "deeper" / "3.xlsx");
  fs::copy_file(Fixture("openpyxl_two_sheets.xlsx"), tree / "a" / "2.XLSX");
  fs::copy_file(Fixture("openpyxl_tty_voice.xlsx"), tree / "1.xlsx");
  fs::copy_file(Fixture("openpyxl_tty_voice.xlsx"), tree / "~lock.xlsx");
  std::ofstream(tree / "notes.csv") << "3556505551\n";
  for (int i = 0; i < 40; ++i) {
    fs::copy_file(Fixture(i % 2 ? "openpyxl_tty_voice.xlsx" : "openpyxl_two_sheets.xlsx"),
                  tree / "b" / ("m" + std::to_string(100 + i) + ".xlsm"));
  }
  const auto one = Run({"-j", "1", "-l", "7,10", "--text", tree.string()});
  EXPECT_EQ(one.exit_code, 0) << one.err;
  EXPECT_EQ(one.out.substr(0, 60),
            "855-2880 (TTY) 355-650-5551 (Voice)\r\n855-2880 355-650-5551\r\n");
  for (const char* jobs : {"2", "7"}) {
    EXPECT_EQ(Run({"-j", jobs, "-l", "7,10", "--text", tree.string()}).out, one.out) << jobs;
  }
  // 1.xlsx, a/2.XLSX, the 40 in b, then b/deeper/3.xlsx; no ~lock, no csv.
  EXPECT_EQ(std::count(one.out.begin(), one.out.end(), '\n'), 43);
}

TEST_F(Cli, OutputFileIsReplacedOnlyWhenComplete) {
  const fs::path target = tmp_.path() / "numbers.txt";
  std::ofstream(target) << "old";
  auto r = Run({"-l", "7", "-o", target.string(), Fixture("openpyxl_tty_voice.xlsx")});
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(Slurp(target), "855-2880\r\n");

  r = Run({"-l", "7", "-o", (tmp_.path() / "missing" / "n.txt").string(),
           Fixture("openpyxl_tty_voice.xlsx")});
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_THAT(r.err, HasSubstr("cannot write"));
  for (const auto& e : fs::directory_iterator(tmp_.path())) {
    EXPECT_EQ(e.path().filename().string().find(".tmp"), std::string::npos);
  }
}

}  // namespace
}  // namespace dialsift
