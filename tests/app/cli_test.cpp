// dialsift-cli end to end: the built program on real workbook files.
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <thread>

#include "common/test_paths.h"
#include "platform/program_files.h"
#include "results/e164_module.h"

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

std::string Quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

class Cli : public ::testing::Test {
 protected:
  // Runs the built program, or `program` when given.
  CliResult Run(const std::vector<std::string>& args, const fs::path& program = {}) {
    std::string cmd = Quote((program.empty() ? test::BinDir() / "dialsift-cli" : program).string());
    for (const auto& a : args) cmd += " " + Quote(a);
    cmd +=
        " >" + Quote((io_.path() / "out").string()) + " 2>" + Quote((io_.path() / "err").string());
    // The settings the CLI may read live in a folder of the test's own.
    cmd = "XDG_CONFIG_HOME=" + Quote((io_.path() / "config").string()) + " " + cmd;
    CliResult r;
    const int status = std::system(cmd.c_str());
    r.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.out = test::ReadFile(io_.path() / "out");
    r.err = test::ReadFile(io_.path() / "err");
    return r;
  }
  // Runs a shell command line with the test's settings folder; output as given.
  int Shell(const std::string& line) {
    const std::string cmd =
        "XDG_CONFIG_HOME=" + Quote((io_.path() / "config").string()) + " " + line;
    const int status = std::system(cmd.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  std::string Program() { return Quote((test::BinDir() / "dialsift-cli").string()); }
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
  EXPECT_EQ(test::ReadFile(io_.path() / "o.txt"), "855-2880\r\n");

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
  EXPECT_EQ(test::ReadFile(target), "855-2880\r\n");

  r = Run({"-l", "7", "-o", (tmp_.path() / "missing" / "n.txt").string(),
           Fixture("openpyxl_tty_voice.xlsx")});
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_THAT(r.err, HasSubstr("cannot write"));
  for (const auto& e : fs::directory_iterator(tmp_.path())) {
    EXPECT_EQ(e.path().filename().string().find(".tmp"), std::string::npos);
  }
  r = Run({"-l", "7", "-o", tmp_.path().string(), Fixture("openpyxl_tty_voice.xlsx")});
  EXPECT_EQ(r.err, "dialsift-cli: cannot write " + tmp_.path().string() + ": Is a directory\n");

  // A device is written, not replaced by a file (also for a root user).
  r = Run({"-l", "7", "-o", "/dev/null", Fixture("openpyxl_tty_voice.xlsx")});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_TRUE(fs::is_character_file("/dev/null"));
  r = Run({"-l", "7", "-o", "/dev/full", Fixture("openpyxl_tty_voice.xlsx")});
  EXPECT_EQ(r.err, "dialsift-cli: cannot write /dev/full: No space left on device\n");
  EXPECT_TRUE(fs::is_character_file("/dev/full"));
}

// An output that is one of the input workbooks, under any name, is refused
// before anything is read or written.
TEST_F(Cli, RefusesAnOutputThatIsAnInput) {
  const fs::path folder = tmp_.path() / "books";
  fs::create_directories(folder / "sub");
  const fs::path book = folder / "sub" / "book.xlsx";
  fs::copy_file(Fixture("openpyxl_tty_voice.xlsx"), book);
  const std::string original = test::ReadFile(book);
  fs::create_symlink(book, tmp_.path() / "link.xlsx");
  fs::create_hard_link(book, tmp_.path() / "hard.xlsx");
  const fs::path list = tmp_.path() / "list";
  std::ofstream(list) << book.string() << "\n";
  const std::string other = Fixture("openpyxl_two_sheets.xlsx");
  const std::vector<std::vector<std::string>> runs = {
      {"-o", book.string(), book.string()},
      {"-o", (tmp_.path() / "link.xlsx").string(), other, book.string()},
      {"-o", book.string(), other, (tmp_.path() / "hard.xlsx").string()},
      {"-o", book.string(), "--text", folder.string()},
      {"-o", book.string(), "--files-from", list.string()},
  };
  for (const auto& args : runs) {
    std::vector<std::string> full = {"-l", "7"};
    full.insert(full.end(), args.begin(), args.end());
    const auto r = Run(full);
    EXPECT_EQ(r.exit_code, 2) << full[3];
    EXPECT_THAT(r.err, HasSubstr("is the workbook")) << full[3];
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(test::ReadFile(book), original);
  }
  // Another file in the same folder is written as before.
  const auto r = Run({"-l", "7", "-o", (folder / "numbers.txt").string(), folder.string()});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(test::ReadFile(folder / "numbers.txt"), "855-2880\r\n");
}

// The records as Python's json module reads them.
std::string JsonFields(const fs::path& file, const std::string& fields) {
  const std::string script =
      "import json,sys\nfor l in open(sys.argv[1]):\n  d=json.loads(l); print(" + fields + ")";
  const fs::path out = file.string() + ".py";
  const std::string command =
      "python3 -c " + Quote(script) + " " + Quote(file.string()) + " >" + Quote(out.string());
  if (std::system(command.c_str()) != 0) return "python3 failed: " + command;
  return test::ReadFile(out);
}

TEST_F(Cli, JsonLinesAndCsvSayWhereEachNumberWasFound) {
  const fs::path out = tmp_.path() / "n.jsonl";
  auto r = Run({"-l7,10", "--format", "jsonl", "--e164=US", "-o", out.string(),
                Fixture("openpyxl_two_sheets.xlsx"), Fixture("openpyxl_tty_voice.xlsx")});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(JsonFields(out,
                       "d[\"number\"],d[\"e164\"],d[\"valid\"],d[\"sheet\"],d[\"cell\"],"
                       "d[\"path\"].split(\"/\")[-1]"),
            "855-2880 +18552880 False First A1 openpyxl_two_sheets.xlsx\n"
            "355-650-5551 +13556505551 False Second A1 openpyxl_two_sheets.xlsx\n"
            "855-2880 +18552880 False Sheet A1 openpyxl_tty_voice.xlsx\n"
            "355-650-5551 +13556505551 False Sheet B1 openpyxl_tty_voice.xlsx\n");

  r = Run({"-l7,10", "--format=csv", "--unique", Fixture("openpyxl_two_sheets.xlsx"),
           Fixture("openpyxl_tty_voice.xlsx")});
  EXPECT_EQ(r.out, "number,e164,valid,path,sheet,cell\r\n855-2880,,," +
                       Fixture("openpyxl_two_sheets.xlsx") + ",First,A1\r\n355-650-5551,,," +
                       Fixture("openpyxl_two_sheets.xlsx") + ",Second,A1\r\n");

  EXPECT_EQ(Run({"--format", "xml", "x.xlsx"}).exit_code, 2);
  EXPECT_EQ(Run({"--e164", "ZZ", "x.xlsx"}).exit_code, 2);
  EXPECT_EQ(Run({"-c", "--format", "csv", "x.xlsx"}).exit_code, 2);
  EXPECT_EQ(Run({"-t", "--format", "jsonl", "x.xlsx"}).exit_code, 2);
  EXPECT_EQ(Run({"-0", "x.xlsx"}).exit_code, 2);
}

TEST_F(Cli, UniqueKeepsTheFirstOfEachNumber) {
  const fs::path csv = tmp_.path() / "n.csv";
  std::ofstream(csv) << "(212)555-0147,212.555.0147\n2125550147,+1.212.555.0147\n"
                        "0044.20.7946.0958,+44-20-7946-0958\n";
  // By digits.
  auto r = Run({"-l10-14", "--unique", csv.string()});
  EXPECT_EQ(r.out, "(212)555-0147\r\n+1.212.555.0147\r\n0044.20.7946.0958\r\n+44-20-7946-0958\r\n");
  // By E.164 form: in GB the ten digits are a number of GB, not the US one.
  r = Run({"-l10-14", "--unique", "--e164", "GB", csv.string()});
  EXPECT_EQ(r.out, "(212)555-0147\r\n+1.212.555.0147\r\n0044.20.7946.0958\r\n");
  r = Run({"-l10-14", "--unique", "--e164", "us", csv.string()});
  EXPECT_EQ(r.out, "(212)555-0147\r\n0044.20.7946.0958\r\n");
}

// --spaced: whole numbers in every format, E.164 without the written "(0)",
// --unique by E.164 form, the same output for every job count; without
// --lengths the window's stored "with spaces" box stands for it.
TEST_F(Cli, SpacedReadsWholeNumbersInEveryFormatAndJobCount) {
  const fs::path folder = tmp_.path() / "books";
  fs::create_directories(folder);
  for (int i = 0; i < 12; ++i) {
    std::ofstream(folder / ("b" + std::to_string(10 + i) + ".csv"))
        << "\"+44 (0)20 7946 0958\",Tel 020 7946 0958 / Fax 020 7946 0959\n"
        << "\"1 234 567,89\",(212) 555-01" << 10 + i << " x204\n";
  }
  std::vector<std::string> books;
  for (int i = 0; i < 12; ++i)
    books.push_back((folder / ("b" + std::to_string(10 + i) + ".csv")).string());
  const auto args = [&books](std::vector<std::string> options) {
    options.insert(options.end(), books.begin(), books.end());
    return options;
  };
  auto r = Run({"-l", "7-15", "--spaced", books[0]});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out, "+44 (0)20 7946 0958\r\n020 7946 0958\r\n020 7946 0959\r\n(212) 555-0110\r\n");
  EXPECT_EQ(Run({"-l", "7-15", books[0]}).out, "555-0110\r\n");  // the word rule
  for (const std::string format : {"lines", "comma", "csv", "jsonl"}) {
    const auto one = Run(args({"-j", "1", "-l", "7-15", "--spaced", "--format", format}));
    EXPECT_THAT(one.out, HasSubstr("020 7946 0958")) << format;
    for (const char* jobs : {"2", "5"}) {
      EXPECT_EQ(Run(args({"-j", jobs, "-l", "7-15", "--spaced", "--format", format})).out, one.out)
          << format << " -j " << jobs;
    }
  }
  r = Run(args({"-l", "7-15", "--spaced", "--e164", "GB", "--format", "csv"}));
  EXPECT_THAT(r.out, HasSubstr("+44 (0)20 7946 0958,+442079460958,true,"));
  r = Run(args({"-l", "7-15", "--spaced", "--e164", "GB", "--unique"}));
  EXPECT_EQ(r.out.substr(0, 36), "+44 (0)20 7946 0958\r\n020 7946 0959\r\n");

  fs::create_directories(io_.path() / "config" / "Quillmark");
  std::ofstream(io_.path() / "config" / "Quillmark" / "Quillmark.ini")
      << "[Dialsift]\nLoads=3\n5Phone%20Length=1\nPhone%20With%20Spaces=1\n";
  EXPECT_EQ(Run({books[0]}).out, "(212) 555-0110\r\n");
  EXPECT_EQ(Run({"-l", "10", books[0]}).out, "");
}

// A plain start maps only what every run needs: Qt is the window's, no run
// needs GLib or GIO (OLE2 files are read by our own code), and libphonenumber
// (with protobuf, abseil and ICU) comes from a module loaded for --e164.
TEST_F(Cli, StartsWithoutTheLibrariesOfSomeRunsOnly) {
  const std::string loaded = (io_.path() / "loaded").string();
  ASSERT_EQ(Shell("LD_TRACE_LOADED_OBJECTS=1 " + Program() + " >" + Quote(loaded)), 0);
  const std::string libraries = test::ReadFile(loaded);
  EXPECT_THAT(libraries, HasSubstr("libc.so"));
  for (const char* name : {"libQt", "libicu", "libgsf", "libglib", "libgio", "libphonenumber",
                           "libprotobuf", "libabsl", "dialsift-e164"}) {
    EXPECT_THAT(libraries, ::testing::Not(HasSubstr(name)));
  }
}

// The E.164 module is looked for beside the program, then in
// ../lib/<triplet>/dialsift/; a missing or broken one fails the run, saying
// where and why.
TEST_F(Cli, TheE164ModuleIsLoadedOnlyForE164) {
  // The program alone in a folder of its own.
  const fs::path bin = tmp_.path() / "bin";
  const fs::path lib = (bin / InstalledModuleFolder()).lexically_normal();
  fs::create_directories(bin);
  fs::create_directories(lib);
  fs::copy_file(test::BinDir() / "dialsift-cli", bin / "dialsift-cli");
  const std::vector<std::string> plain = {"-l7,10", Fixture("openpyxl_two_sheets.xlsx")};
  const std::vector<std::string> e164 = {"-l7,10",   "--e164", "US",
                                         "--format", "csv",    Fixture("openpyxl_two_sheets.xlsx")};
  auto r = Run(plain, bin / "dialsift-cli");
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out, Run(plain).out);
  EXPECT_EQ(r.err, "");
  const auto fails = [&](const fs::path& module, const std::string& reason) {
    const CliResult failed = Run(e164, bin / "dialsift-cli");
    EXPECT_EQ(failed.exit_code, 1);
    EXPECT_EQ(failed.out, "");
    EXPECT_EQ(failed.err, "dialsift-cli: --e164 cannot load its module " + module.string() + ": " +
                              reason + "\n");
  };
  fails(lib / "dialsift-e164.so", "cannot open shared object file: No such file or directory");
  std::ofstream(lib / "dialsift-e164.so") << std::string(4096, 'x');
  fails(lib / "dialsift-e164.so", "invalid ELF header");

  // Installed: the module in the private lib folder gives the build tree's output.
  fs::copy_file(test::BinDir() / "dialsift-e164.so", lib / "dialsift-e164.so",
                fs::copy_options::overwrite_existing);
  const CliResult built = Run(e164);
  ASSERT_EQ(built.exit_code, 0) << built.err;
  r = Run(e164, bin / "dialsift-cli");
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out, built.out);
  EXPECT_THAT(r.out, HasSubstr("+18552880"));

  // One beside the program comes first.
  fs::copy_file(DIALSIFT_OTHER_E164_MODULE, bin / "dialsift-e164.so");
  fails(bin / "dialsift-e164.so", "built for another version of the program (interface " +
                                      std::to_string(results::kE164ModuleInterface) + " wanted)");
}

TEST_F(Cli, WorkbookListFromAnotherProgram) {
  const fs::path tree = tmp_.path() / "tree";
  fs::create_directories(tree / "sub dir");
  fs::copy_file(Fixture("openpyxl_tty_voice.xlsx"), tree / "sub dir" / "a b.xlsx");
  fs::copy_file(Fixture("openpyxl_two_sheets.xlsx"), tree / "two.xlsx");
  const std::string list = (tmp_.path() / "list").string();
  std::ofstream(list) << (tree / "two.xlsx").string() << "\n"
                      << (tree / "sub dir").string() << "\n";
  const std::string out = Quote((io_.path() / "out").string());
  EXPECT_EQ(Shell(Program() + " -l7 --files-from " + Quote(list) + " >" + out), 0);
  EXPECT_EQ(test::ReadFile(io_.path() / "out"), "855-2880\r\n855-2880\r\n");
  EXPECT_EQ(Shell("cd " + Quote(tree.string()) + " && find . -name '*.xlsx' -print0 | sort -z | " +
                  Program() + " -l7 -0 --files-from - --format jsonl >" + out),
            0);
  const std::string got = test::ReadFile(io_.path() / "out");
  EXPECT_NE(got.find("\"path\":\"./sub dir/a b.xlsx\""), std::string::npos) << got;
  EXPECT_NE(got.find("\"path\":\"./two.xlsx\""), std::string::npos) << got;
  EXPECT_EQ(Shell(Program() + " -l7 --files-from /no/such/list >" + out + " 2>&1"), 1);
  EXPECT_THAT(test::ReadFile(io_.path() / "out"), HasSubstr("cannot read /no/such/list"));
}

TEST_F(Cli, FailedWritesAndOddNamesAreReported) {
  // Standard output on a full disk.
  const std::string err = Quote((io_.path() / "err").string());
  EXPECT_EQ(Shell(Program() + " -l7 " + Quote(Fixture("openpyxl_tty_voice.xlsx")) +
                  " >/dev/full 2>" + err),
            1);
  EXPECT_EQ(test::ReadFile(io_.path() / "err"),
            "dialsift-cli: cannot write standard output: No space left on device\n");

  // A name holding a line break and an escape stays on its one error line.
  const fs::path odd = tmp_.path() / "two\nlines\x1b[31m.xlsx";
  const auto r = Run({"-l7", odd.string()});
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
  EXPECT_THAT(r.err, HasSubstr("two\\nlines\\x1b[31m.xlsx: "));
}

// A workbook of 3 million numbers: what the CLI holds does not grow with them.
class CliBig : public Cli {
 protected:
  static void SetUpTestSuite() {
    dir_ = new TempDir;
    std::ofstream out(dir_->path() / "many.csv", std::ios::binary);
    std::string chunk;
    for (int i = 0; i < 3000000; ++i) {
      chunk += std::to_string(5550000 + i % 1000000);
      chunk += i % 6 == 5 ? '\n' : ',';
      if (chunk.size() > (1 << 20)) {
        out << chunk;
        chunk.clear();
      }
    }
    out << chunk;
  }
  static void TearDownTestSuite() { delete dir_; }
  static std::string Many() { return (dir_->path() / "many.csv").string(); }

  // Starts the CLI with its standard output going to `out`.
  pid_t Spawn(const std::vector<std::string>& args, const fs::path& out) {
    std::vector<std::string> argv = {(test::BinDir() / "dialsift-cli").string()};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> ptrs;
    for (auto& a : argv) ptrs.push_back(a.data());
    ptrs.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = -1;
    posix_spawn(&pid, ptrs[0], &actions, nullptr, ptrs.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return pid;
  }
  static TempDir* dir_;
};
TempDir* CliBig::dir_ = nullptr;

TEST_F(CliBig, MemoryDoesNotGrowWithTheNumberOfMatches) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "under AddressSanitizer its own shadow memory and quarantine hide the CLI's";
#endif
  for (const char* jobs : {"1", "2"}) {
    const pid_t pid = Spawn({"-q", "-l7", "-j", jobs, Many(), Many()}, "/dev/null");
    ASSERT_GT(pid, 0);
    int status = 0;
    rusage usage{};
    ASSERT_EQ(wait4(pid, &status, 0, &usage), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    // Holding the 6 million numbers would take several hundred MB.
    EXPECT_LT(usage.ru_maxrss, 120 * 1024) << "KB with -j " << jobs;
  }
}

TEST_F(CliBig, InterruptedRunLeavesNoTemporaryFile) {
  const fs::path target = tmp_.path() / "numbers.txt";
  std::ofstream(target) << "old";
  for (int signal : {SIGTERM, SIGINT}) {
    const pid_t pid =
        Spawn({"-q", "-l7", "-o", target.string(), Many(), Many(), Many()}, "/dev/null");
    ASSERT_GT(pid, 0);
    // The run is under way (its temporary file, unnamed or not, is open).
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    kill(pid, signal);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << status;
    std::vector<fs::path> left;
    for (const auto& e : fs::directory_iterator(tmp_.path())) left.push_back(e.path());
    EXPECT_EQ(left, std::vector<fs::path>{target});
    EXPECT_TRUE(test::ReadFile(target) == "old");
  }
}

// GNU parallel spreads a folder over two workers (the local machine as two
// logins) and the merged JSON lines equal one run's.
TEST_F(Cli, GnuParallelSpreadsAFolderOverWorkers) {
  if (std::system("parallel --version >/dev/null 2>&1") != 0) {
    GTEST_SKIP() << "GNU parallel is not installed (Debian package parallel)";
  }
  const fs::path tree = tmp_.path() / "tree";
  fs::create_directories(tree / "sub");
  for (int i = 0; i < 12; ++i) {
    fs::copy_file(Fixture(i % 2 ? "openpyxl_tty_voice.xlsx" : "openpyxl_two_sheets.xlsx"),
                  tree / (i % 3 ? "sub" : ".") / ("b" + std::to_string(i) + ".xlsx"));
  }
  const std::string single = Quote((io_.path() / "single").string());
  const std::string merged = Quote((io_.path() / "merged").string());
  ASSERT_EQ(Shell("cd " + Quote(tree.string()) + " && find . -name '*.xlsx' -print0 | " +
                  Program() + " -q -l7,10 --format jsonl -0 --files-from - >" + single),
            0);
  ASSERT_EQ(Shell("cd " + Quote(tree.string()) + " && find . -name '*.xlsx' -print0 | " +
                  "parallel --will-cite -0 -n 4 --sshlogin 1/: --sshlogin 1/: " + Program() +
                  " -q -l7,10 --format jsonl -- {} >" + merged),
            0);
  auto lines = [](const std::string& text) {
    std::multiset<std::string> set;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) set.insert(line);
    return set;
  };
  const auto one = lines(test::ReadFile(io_.path() / "single"));
  EXPECT_EQ(one.size(), 24u);
  EXPECT_EQ(lines(test::ReadFile(io_.path() / "merged")), one);
}

// Every option of --help is in the README's table, and the other way round.
TEST_F(Cli, HelpAndReadmeListTheSameOptions) {
  const std::string help = Run({"--help"}).out;
  std::set<std::string> in_help;
  const std::regex option_line(R"(^  (-\w, )?\s*(--[\w-]+))");
  std::istringstream lines(help);
  for (std::string line; std::getline(lines, line);) {
    std::smatch m;
    if (std::regex_search(line, m, option_line)) {
      in_help.insert(m[2]);
      if (m[1].matched) in_help.insert(m[1].str().substr(0, 2));
    }
  }
  std::set<std::string> in_readme;
  const std::string readme = test::ReadFile(test::SourceDir() / "README.md");
  const auto table = readme.find("| option | meaning |");
  ASSERT_NE(table, std::string::npos);
  std::istringstream rows(readme.substr(table));
  std::string heading;
  std::getline(rows, heading);
  std::getline(rows, heading);  // |---|---|
  for (std::string row; std::getline(rows, row) && row.rfind("|", 0) == 0;) {
    const std::string first = row.substr(0, row.find('|', 1));
    const std::regex name(R"(`(--?[\w-]+))");
    for (std::sregex_iterator it(first.begin(), first.end(), name), end; it != end; ++it) {
      in_readme.insert((*it)[1]);
    }
  }
  EXPECT_EQ(in_help, in_readme);
  EXPECT_GE(in_help.size(), 20u);
}

}  // namespace
}  // namespace dialsift
