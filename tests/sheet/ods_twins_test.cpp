// The same content saved in different formats gives the same phone numbers.
#include <gtest/gtest.h>

#include <fstream>
#include <set>

#include "common/test_paths.h"
#include "extract/phone.h"
#include "sheet/text_cells.h"

namespace dialsift::test {
namespace {

std::vector<std::string> Numbers(const std::filesystem::path& path, std::size_t sheets = 99) {
  auto book = sheet::OpenWorkbook(path);
  if (!book) return {"ERROR: " + book.error().reason};
  // The workbook text of the first `sheets` sheets.
  struct FirstSheets : sheet::Workbook {
    FirstSheets(sheet::Workbook& inner, std::size_t n) : inner(inner), n(n) {}
    std::span<const sheet::SheetInfo> Sheets() const override {
      const auto all = inner.Sheets();
      return all.first(std::min(n, all.size()));
    }
    Status ReadSheet(std::size_t i, sheet::CellSink& sink) override {
      return inner.ReadSheet(i, sink);
    }
    sheet::Workbook& inner;
    std::size_t n;
  } limited(**book, sheets);
  RecordingReporter reporter;
  const std::string text = ReadWorkBookToString(limited, reporter);
  EXPECT_TRUE(reporter.reports.empty()) << path;
  return phone::ExtractPhoneNumbers(text, [](std::int16_t n) { return n >= 7 && n <= 15; });
}

TEST(FormatTwinsTest, FixturesGiveTheSameNumbersInEveryFormat) {
  for (const char* name : {"features", "contact_examples", "c3_only", "two_sheets"}) {
    const auto base = TestData() / "ods" / name;
    const auto want = Numbers(base.string() + ".xlsx");
    EXPECT_FALSE(want.empty()) << name;
    EXPECT_EQ(Numbers(base.string() + ".ods"), want) << name;
    EXPECT_EQ(Numbers(base.string() + ".fods"), want) << name;
    // LibreOffice's CSV holds the first sheet only.
    EXPECT_EQ(Numbers(base.string() + ".csv"), Numbers(base.string() + ".xlsx", 1)) << name;
  }
}

TEST(FormatTwinsTest, SampleContactsGiveTheSameNumbersInEveryFormat) {
  const auto samples = SourceDir() / "Samples";
  if (!std::filesystem::exists(samples / "contacts.ods")) GTEST_SKIP() << "no samples";
  const auto want = Numbers(samples / "contacts.xlsx");
  EXPECT_GT(want.size(), 20u);
  EXPECT_EQ(Numbers(samples / "contacts.ods"), want);
  EXPECT_EQ(Numbers(samples / "contacts.xls"), want);
}

// Corpus workbooks saved as .xlsb and as another format beside it give the
// same workbook text, except where the twins hold different content (volatile
// formulas, edited copies).
TEST(FormatTwinsTest, CorpusBinaryWorkbooksReadLikeTheirTwins) {
  if (!HaveCorpus()) GTEST_SKIP() << "corpus absent";
  const std::set<std::string> differ = {
      "files/calamine/issues.xlsb",
      "files/exceldatareader/Test_git_issue_694_TimeSpan.xlsb",
      "files/sheetjs/formula_stress_test.xlsb",
  };
  std::ifstream manifest(CorpusDir() / "manifest.tsv");
  std::string line;
  int pairs = 0;
  while (std::getline(manifest, line)) {
    const auto tab = line.find('\t');
    const std::string path = line.substr(0, tab);
    if (line.compare(tab + 1, 5, "xlsb\t") != 0 || differ.count(path)) continue;
    const auto xlsb = CorpusDir() / path;
    for (const char* ext : {".xlsx", ".xlsm", ".xls", ".ods"}) {
      auto twin = xlsb;
      twin.replace_extension(ext);
      if (!std::filesystem::exists(twin)) continue;
      ++pairs;
      EXPECT_EQ(WorkbookText(xlsb), WorkbookText(twin)) << path << " vs " << ext;
    }
  }
  EXPECT_GE(pairs, 30);
}

}  // namespace
}  // namespace dialsift::test
