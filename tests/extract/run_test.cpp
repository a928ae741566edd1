#include "extract/run.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <fstream>
#include <map>
#include <mutex>
#include <thread>

#include "common/fake_workbook.h"
#include "common/test_paths.h"
#include "extract/phone.h"

namespace dialsift {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

// A workbook whose reading runs out of memory after its first cell.
class Huge final : public sheet::Workbook {
 public:
  std::span<const sheet::SheetInfo> Sheets() const override { return infos_; }
  Status ReadSheet(std::size_t, sheet::CellSink& sink) override {
    sink.Cell(1, 1, "8552880");
    throw std::bad_alloc();
  }

 private:
  std::vector<sheet::SheetInfo> infos_{{"S"}};
};

// Records everything the run does to its surroundings, in order.
class ScriptedHost : public RunHost {
 public:
  std::vector<std::string> rows;
  std::map<std::string, std::vector<test::FakeSheet>> workbooks;
  bool excel_running = false;
  bool answer_yes = true;
  phone::LengthSelection lengths = phone::LengthSelection::Of({7, 10});
  std::function<void(int)> on_yield;

  std::vector<std::string> events;
  std::vector<std::string> results;
  std::vector<ErrorReport> reports;
  Pointer pointer = Pointer::kDefault;
  int yields = 0;

  std::vector<std::string> InputRows() override { return rows; }
  void SetPointer(Pointer p) override {
    if (p != pointer) events.push_back("pointer " + std::to_string(static_cast<int>(p)));
    pointer = p;
  }
  bool AskYesNo(std::string_view text) override {
    events.push_back("ask " + std::string(text));
    return answer_yes;
  }
  void ShowMessage(std::string_view text) override { events.push_back("say " + std::string(text)); }
  void ClearResults() override {
    events.push_back("clear");
    results.clear();
  }
  void AppendResult(const Record& r) override {
    results.push_back(r.number);
    places.push_back(r.path + " " + SheetCellReference(r.sheet, r.row, r.column));
    if (on_result) on_result(r);
  }
  std::function<void(const Record&)> on_result;
  std::vector<std::string> places;
  void Yield() override {
    ++yields;
    if (on_yield) on_yield(yields);
  }
  bool IsLengthTicked(std::int16_t n) override { return phone::IsPhoneLengthTicked(lengths, n); }
  bool IsExcelRunning() override { return excel_running; }
  unsigned ReadingThreads() override { return threads; }
  unsigned threads = 2;
  std::atomic<int> opened{0};
  std::function<void(const std::string&)> on_open;  // called on the reading threads
  void Report(const ErrorReport& r) override {
    events.push_back("report " + std::to_string(r.line));
    reports.push_back(r);
  }
  // Called on the reading threads.
  Result<std::unique_ptr<sheet::Workbook>> OpenWorkbook(const std::string& path) override {
    if (on_open) on_open(path);
    ++opened;
    if (path == "huge") return std::unique_ptr<sheet::Workbook>(std::make_unique<Huge>());
    auto it = workbooks.find(path);
    if (it == workbooks.end()) return sheet::OpenWorkbook(path);
    return std::unique_ptr<sheet::Workbook>(std::make_unique<test::FakeWorkbook>(it->second));
  }
};

TEST(Run, EmptyListSaysSoAndLeavesResults) {
  ScriptedHost host;
  host.results = {"old"};
  RunExtraction(host);
  EXPECT_THAT(host.events, ElementsAre("pointer 11", "say No files added.", "pointer 0"));
  EXPECT_THAT(host.results, ElementsAre("old"));
}

TEST(Run, RunningSpreadsheetIsAskedAboutFirst) {
  const std::string prompt =
      "ask Excel may be open. It is recommended that you close Excel first.\r"
      "Use Ctrl+Alt+Del > Task Manager > EXCEL.EXE if necessary.\r\n\r\n"
      "Would you like to proceed anyway?";
  ScriptedHost yes;
  yes.excel_running = true;
  RunExtraction(yes);
  EXPECT_THAT(yes.events, ElementsAre("pointer 11", prompt, "say No files added.", "pointer 0"));

  ScriptedHost no;
  no.excel_running = true;
  no.answer_yes = false;
  no.rows = {"a.xlsx"};
  no.results = {"old"};
  RunExtraction(no);
  EXPECT_THAT(no.events, ElementsAre("pointer 11", prompt, "pointer 0"));
  EXPECT_THAT(no.results, ElementsAre("old"));
}

TEST(Run, RowsInOrderDuplicatesKeptBadWorkbookReportedOnce) {
  ScriptedHost host;
  host.results = {"old"};
  host.rows = {"one", "/no/such/book.xlsx", "three", "one"};
  host.workbooks["one"] = {{"S", {{1, 1, "855-2880 (TTY)"}, {1, 2, "355-650-5551"}}}};
  host.workbooks["three"] = {{"S", {{1, 1, "8552880"}}}, {"T", {{2, 2, "no number"}}}};
  RunExtraction(host);
  EXPECT_THAT(host.results,
              ElementsAre("855-2880", "355-650-5551", "8552880", "855-2880", "355-650-5551"));
  ASSERT_EQ(host.reports.size(), 1u);
  EXPECT_EQ(host.reports[0].line, 122);
  EXPECT_EQ(host.reports[0].location, location::kRun);
  EXPECT_EQ(host.reports[0].description, "/no/such/book.xlsx: file not found");
  EXPECT_EQ(host.events.front(), "pointer 11");
  EXPECT_EQ(host.events[1], "clear");
  EXPECT_THAT(std::vector(host.events.end() - 2, host.events.end()),
              ElementsAre("say Done.", "pointer 0"));
}

TEST(Run, EachResultKnowsWhereItWasFound) {
  ScriptedHost host;
  host.rows = {"one", "two"};
  host.workbooks["one"] = {{"S", {{7, 3, "855-2880"}}}, {"Hidden", {{2, 1, "3556505551"}}}};
  host.workbooks["two"] = {{"Sheet1", {{1, 1, "x"}, {1, 2, "8552880"}}}};
  RunExtraction(host);
  EXPECT_THAT(host.results, ElementsAre("855-2880", "3556505551", "8552880"));
  EXPECT_THAT(host.places, ElementsAre("one S!C7", "one Hidden!A2", "two Sheet1!B1"));
}

// Running out of memory in one workbook costs that workbook only: it is
// reported, the numbers before stay, and the run goes on.
TEST(Run, AWorkbookTooLargeToReadIsReportedAndTheRunGoesOn) {
  ScriptedHost host;
  host.rows = {"huge", "one"};
  host.workbooks["one"] = {{"S", {{1, 1, "3556505551"}}}};
  RunExtraction(host);
  EXPECT_THAT(host.results, ElementsAre("8552880", "3556505551"));
  ASSERT_EQ(host.reports.size(), 1u);
  EXPECT_EQ(host.reports[0].description, "huge: too large to read");
  EXPECT_EQ(host.reports[0].line, 126);
  EXPECT_EQ(host.events.back(), "pointer 0");
}

TEST(Run, LengthChangedDuringTheRunAppliesToLaterWords) {
  ScriptedHost host;
  host.rows = {"book"};
  host.workbooks["book"] = {{"S", {{1, 1, "8552880"}, {2, 1, "8552881"}, {3, 1, "8552882"}}}};
  host.on_result = [&](const Record&) { host.lengths.Set(7, false); };
  RunExtraction(host);
  EXPECT_THAT(host.results, ElementsAre("8552880"));
}

// The reading threads read workbooks ahead, but the words they find are
// decided when their turn comes: a length unticked once every workbook has
// been opened still applies to all words after it.
TEST(Run, WordsReadAheadAreDecidedWhenTheirTurnComes) {
  for (unsigned threads : {1u, 3u}) {
    ScriptedHost host;
    host.threads = threads;
    for (int i = 0; i < 30; ++i) host.rows.push_back("book");
    host.workbooks["book"] = {{"S", {{1, 1, "8552880"}, {1, 2, "3556505551"}}}};
    bool all_opened = false;
    host.on_result = [&](const Record&) {
      if (host.results.size() != 1) return;
      const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(20);
      while (host.opened < 30 && std::chrono::steady_clock::now() < give_up)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      all_opened = host.opened == 30;
      host.lengths.Set(10, false);
    };
    RunExtraction(host);
    EXPECT_TRUE(all_opened) << threads;
    std::vector<std::string> expected = {"8552880"};
    for (int i = 1; i < 30; ++i) expected.push_back("8552880");
    EXPECT_EQ(host.results, expected) << threads;
    EXPECT_EQ(host.events.back(), "pointer 0");
  }
}

// A big workbook at the end of the list is opened first, so that the run
// does not end on it read alone; what it finds still comes at its place.
TEST(Run, ABigWorkbookAtTheEndIsReadFirst) {
  test::TempDir dir;
  ScriptedHost host;
  for (int i = 0; i < 6; ++i) {
    const auto path = dir.path() / ("small" + std::to_string(i) + ".csv");
    std::ofstream(path) << "855-288" << i << "\n";
    host.rows.push_back(path.string());
  }
  const auto big = dir.path() / "big.csv";
  {
    std::ofstream out(big);
    out << "3556505551\n";
    for (int i = 0; i < 2000; ++i) out << "no number here,\n";
  }
  host.rows.push_back(big.string());
  // The small ones wait (a few seconds in all) for the big one to be opened.
  std::mutex lock;
  std::condition_variable opened;
  bool big_opened = false;
  int small_first = 0;
  const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  host.on_open = [&](const std::string& path) {
    std::unique_lock hold(lock);
    if (path == big.string()) {
      big_opened = true;
      opened.notify_all();
      return;
    }
    opened.wait_until(hold, give_up, [&] { return big_opened; });
    if (!big_opened) ++small_first;
  };
  RunExtraction(host);
  EXPECT_EQ(small_first, 0);
  EXPECT_THAT(host.results, ElementsAre("855-2880", "855-2881", "855-2882", "855-2883", "855-2884",
                                        "855-2885", "3556505551"));
}

TEST(Run, StopsQuietlyWhenTheWindowCloses) {
  struct ClosingHost : ScriptedHost {
    bool Stopped() override { return yields >= 1; }
  } host;
  host.rows = {"book", "book"};
  host.workbooks["book"] = {{"S", {{1, 1, "8552880"}}}};
  RunExtraction(host);
  EXPECT_THAT(host.results, IsEmpty());
  for (const auto& e : host.events) EXPECT_NE(e, "say Done.");
}

TEST(ErrorReportText, IsExact) {
  EXPECT_EQ(ErrorReportText({"File not found", location::kRun, 122}),
            "File not found\r\nin Numtrawl2/19/2015.Form1.PushButton7_Click at line 122\r\r"
            "Please email screenshot of this message to support@quillmark.example");
}

}  // namespace
}  // namespace dialsift
