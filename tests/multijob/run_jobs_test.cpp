// Runs over workbooks of every format at several reading threads, many times
// over, against the run at one thread: same numbers, same places, same
// reports, no crash. Readers that share state between threads (a library's
// lazily made tables, a cache) fail here, and under ThreadSanitizer
// (tools/test-tsan.sh) every such race is named.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "common/test_paths.h"
#include "extract/run.h"
#include "platform/time_zone.h"
#include "sheet/xlsb_writer.h"

namespace dialsift {
namespace {

namespace fs = std::filesystem;

class CollectingHost : public RunHost {
 public:
  CollectingHost(std::vector<std::string> rows, unsigned threads)
      : rows_(std::move(rows)), threads_(threads) {}

  std::vector<std::string> InputRows() override { return rows_; }
  void SetPointer(Pointer) override {}
  bool AskYesNo(std::string_view) override { return true; }
  void ShowMessage(std::string_view) override {}
  void ClearResults() override { lines.clear(); }
  void AppendResult(const Record& r) override {
    lines.push_back(r.number + " @ " + r.path + " " + SheetCellReference(r.sheet, r.row, r.column));
  }
  void Yield() override {}
  bool IsLengthTicked(std::int16_t n) override { return n >= 7 && n <= 15; }
  bool IsExcelRunning() override { return false; }
  unsigned ReadingThreads() override { return threads_; }
  void Report(const ErrorReport& r) override {
    lines.push_back("report " + std::to_string(r.line) + " " + r.description);
  }

  std::vector<std::string> lines;

 private:
  std::vector<std::string> rows_;
  unsigned threads_;
};

std::vector<std::string> RunAt(const std::vector<std::string>& rows, unsigned threads) {
  CollectingHost host(rows, threads);
  RunExtraction(host);
  return host.lines;
}

// The workbooks beside the program and the test data, of every format, with
// the compound files several times over so that several threads open them
// at once; the .xls files come first, where all threads start together.
std::vector<std::string> Workbooks(const fs::path& extra) {
  std::vector<std::string> ole2;
  std::vector<std::string> others;
  for (const fs::path& root : {test::SourceDir() / "Samples", test::TestData(), extra}) {
    for (const auto& e : fs::recursive_directory_iterator(root)) {
      const std::string ext = e.path().extension().string();
      if (ext == ".xls") {
        ole2.push_back(e.path().string());
      } else if (ext == ".xlsx" || ext == ".xlsm" || ext == ".xlsb" || ext == ".ods" ||
                 ext == ".fods" || ext == ".csv") {
        others.push_back(e.path().string());
      }
    }
  }
  std::sort(ole2.begin(), ole2.end());
  std::sort(others.begin(), others.end());
  std::vector<std::string> rows;
  for (int copy = 0; copy < 4; ++copy) rows.insert(rows.end(), ole2.begin(), ole2.end());
  rows.insert(rows.end(), others.begin(), others.end());
  return rows;
}

TEST(MultiJob, EveryJobCountGivesTheOutputOfOne) {
  // As the programs do before their threads start: libzip's mktime calls
  // would otherwise make glibc reload the zone, under a lock of its own
  // that ThreadSanitizer cannot see.
  platform::PinLocalTimeZone();
  test::TempDir dir;
  test::xlsb::Builder b;
  b.SetStrings({"855-2880", "212-555-0147"});
  b.AddSheet("S",
             test::xlsb::SheetPart(test::xlsb::RowHdr(0) + test::xlsb::Isst(0, 0) +
                                   test::xlsb::Isst(1, 1) + test::xlsb::Real(2, 3556505551.0)));
  b.Write(dir.path() / "made.xlsb");
  const std::vector<std::string> rows = Workbooks(dir.path());
  for (const char* ext : {".xls", ".xlsx", ".xlsm", ".xlsb", ".ods", ".fods", ".csv"}) {
    EXPECT_TRUE(std::any_of(rows.begin(), rows.end(),
                            [ext](const std::string& r) { return r.ends_with(ext); }))
        << "no " << ext << " among the workbooks";
  }

  const std::vector<std::string> one = RunAt(rows, 1);
  ASSERT_GT(one.size(), 100u);
  const auto start = std::chrono::steady_clock::now();
  int runs = 0;
  // At least a few rounds, more while they are quick (a sanitizer build is
  // many times slower).
  for (int round = 0; round < 8; ++round) {
    if (round >= 2 && std::chrono::steady_clock::now() - start > std::chrono::seconds(20)) break;
    for (const unsigned threads : {4u, 2u}) {
      ASSERT_EQ(RunAt(rows, threads), one) << threads << " threads, round " << round;
      ++runs;
    }
  }
  std::cout << runs << " runs of " << rows.size() << " workbooks at 2 and 4 threads\n";
}

}  // namespace
}  // namespace dialsift
