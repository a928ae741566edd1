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
#include "common/write_zip.h"
#include "extract/run.h"
#include "platform/time_zone.h"
#include "sheet/open_options.h"
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

// A sheet large enough to be parsed in stretches on two threads when the
// archive has a core to spare: the cells must be those of one parser.
TEST(MultiJob, ALargeSheetReadOnTwoThreadsGivesTheCellsOfOne) {
  platform::PinLocalTimeZone();
  test::TempDir dir;
  std::string rows;
  for (int r = 1; r <= 30000; ++r) {
    const std::string n = std::to_string(r);
    // Rows 10001 to 10100 without their numbers: those stretches are read again.
    rows += r > 10000 && r <= 10100 ? "<row>" : "<row r=\"" + n + "\">";
    rows += "<c><v>" + std::to_string(2125550000 + r) + "</v></c><c t=\"inlineStr\"><is><t>Tel " +
            n + "-0147</t></is></c></row>\n";
    if (r == 20000) rows += "<!-- <row r=\"1\"><c><v>1</v></c></row> -->";
  }
  test::WriteOneSheetXlsx(dir.path() / "big.xlsx", "Big",
                          "<worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/"
                          "2006/main\"><sheetData>\n" +
                              rows + "</sheetData></worksheet>");
  const auto cells = [&](bool spare_core) {
    sheet::OpenOptions options;
    options.inflate_ahead = spare_core;
    auto book = sheet::OpenWorkbook(dir.path() / "big.xlsx", options);
    EXPECT_TRUE(book);
    struct Collect final : sheet::CellSink {
      std::string all;
      void Cell(std::uint32_t row, std::uint32_t column, std::string_view text) override {
        all += std::to_string(row) + "," + std::to_string(column) + "=" + std::string(text) + ";";
      }
    } collect;
    EXPECT_TRUE((*book)->ReadSheet(0, collect));
    return collect.all;
  };
  const std::string one = cells(false);
  ASSERT_GT(one.size(), std::size_t{1} << 20);
  for (int round = 0; round < 3; ++round) EXPECT_EQ(cells(true), one) << "round " << round;
}

}  // namespace
}  // namespace dialsift
