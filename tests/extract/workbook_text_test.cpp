#include "extract/workbook_text.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>

#include "common/fake_workbook.h"

namespace dialsift {
namespace {

using test::FakeSheet;
using test::FakeWorkbook;
using ::testing::ElementsAre;

struct CollectingReporter : ErrorReporter {
  std::vector<ErrorReport> reports;
  void Report(const ErrorReport& r) override { reports.push_back(r); }
};

// The text, which the streamed form gives the same in pieces.
std::string Text(std::vector<FakeSheet> sheets, CollectingReporter* reporter = nullptr) {
  FakeWorkbook wb(sheets);
  FakeWorkbook ranges(sheets);
  FakeWorkbook again(sheets);
  CollectingReporter local;
  CollectingReporter streamed_reports;
  std::string streamed;
  StreamWorkbookText(ranges, again, streamed_reports, [&streamed](std::string_view piece) {
    EXPECT_FALSE(piece.empty());
    streamed += piece;
  });
  std::string text = ReadWorkBookToString(wb, reporter ? *reporter : local);
  EXPECT_EQ(streamed, text);
  EXPECT_EQ(streamed_reports.reports.size(), (reporter ? *reporter : local).reports.size());
  return text;
}

std::vector<std::string> Scan(std::vector<FakeSheet> sheets, std::initializer_list<int> lengths) {
  FakeWorkbook wb(std::move(sheets));
  CollectingReporter reporter;
  auto sel = phone::LengthSelection::Of(lengths);
  phone::StreamingScanner scanner([&](std::int16_t n) { return IsPhoneLengthTicked(sel, n); });
  return ScanWorkbook(wb, scanner, reporter);
}

TEST(WorkbookText, TrimsCellsAndSeparatesThemByOneBlankPerCell) {
  EXPECT_EQ(Text({{"S", {{1, 1, "855-2880 (TTY)"}, {1, 2, " 355-650-5551 (Voice) "}}}}),
            "855-2880 (TTY) 355-650-5551 (Voice)");
  EXPECT_EQ(Text({{"S", {{3, 3, "855-2880"}}}}), "855-2880");
  EXPECT_EQ(Text({{"A", {{1, 1, "855-2880"}}}, {"B", {{1, 1, "355-650-5551"}}}}),
            "855-2880 355-650-5551");
  // Empty cells between texts each leave their blank: A1 and C1 are two
  // blanks apart; the end of a three-column row and the start of the next
  // row are one cell apart.
  EXPECT_EQ(Text({{"S", {{1, 1, "a"}, {1, 3, "c"}, {2, 1, "d"}}}}), "a  c d");
  EXPECT_EQ(Text({{"S", {{1, 1, "a"}, {2, 3, "f"}}}}), "a     f");
  // Only blanks are trimmed; tabs and line breaks stay.
  EXPECT_EQ(Text({{"S", {{1, 1, "\tx\n"}, {1, 2, "   "}, {1, 3, "y"}}}}), "\tx\n  y");
  // A styled blank widens the used range like any cell.
  EXPECT_EQ(Text({{"S", {{1, 1, "a"}, {1, 3, ""}}}, {"T", {{1, 1, "b"}}}}), "a   b");
}

TEST(WorkbookText, CellsStoredOutOfOrderReadInSheetOrder) {
  EXPECT_EQ(Text({{"S", {{2, 1, "second"}, {1, 2, "first"}}}}), "first second");
  EXPECT_THAT(Scan({{"S", {{2, 1, "3556505551"}, {1, 2, "8552880"}}}}, {7, 10}),
              ElementsAre("8552880", "3556505551"));
}

TEST(WorkbookText, FarCornerCellCostsNothing) {
  const auto start = std::chrono::steady_clock::now();
  const std::string text = Text({{"S", {{1, 1, "8552880"}, {1048576, 16384, "3556505551"}}}});
  EXPECT_EQ(text, "8552880" + std::string(kMaxBlankRun, ' ') + "3556505551");
  EXPECT_THAT(Scan({{"S", {{1, 1, "8552880"}, {1048576, 16384, "3556505551"}}}}, {7, 10}),
              ElementsAre("8552880", "3556505551"));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
}

TEST(WorkbookText, ScanFindsWhatTheTextHolds) {
  const std::vector<FakeSheet> sheets = {{"S",
                                          {{1, 1, "Tel:+1.555.123.4567;Fax:(355)650-5551"},
                                           {1, 2, "855-2880\n355-650-5551"},
                                           {2, 1, "855-2880\r\n355-650-5551"},
                                           {2, 2, "1"},
                                           {2, 3, "234567"}}},
                                         {"T", {{5, 5, "(355) 650-5551 355.650.5551"}}}};
  auto sel = phone::LengthSelection::Of({7, 10, 11});
  const auto whole = phone::ExtractPhoneNumbers(
      Text(sheets), [&](std::int16_t n) { return IsPhoneLengthTicked(sel, n); });
  EXPECT_EQ(Scan(sheets, {7, 10, 11}), whole);
  EXPECT_THAT(whole, ElementsAre("+1.555.123.4567", "(355)650-5551", "855-2880", "355-650-5551",
                                 "650-5551", "355.650.5551"));
}

TEST(WorkbookText, DamagedSheetIsReportedAndTheRestKept) {
  CollectingReporter reporter;
  const std::string text =
      Text({{"A", {{1, 1, "kept"}}, "damaged XML"}, {"B", {{1, 1, "next"}}}}, &reporter);
  EXPECT_EQ(text, "kept next");
  ASSERT_EQ(reporter.reports.size(), 1u);
  EXPECT_EQ(reporter.reports[0].location, location::kReadWorkbook);
  EXPECT_THAT(reporter.reports[0].description, ::testing::HasSubstr("damaged XML"));
}

}  // namespace
}  // namespace dialsift
