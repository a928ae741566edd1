// Every corpus file of the binary-workbook, OpenDocument and text kinds gives
// its text or a clear error, quickly.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "common/test_paths.h"
#include "sheet/text_cells.h"

namespace dialsift::test {
namespace {

struct CountingSink : sheet::CellSink {
  void Cell(std::uint32_t, std::uint32_t, std::string_view) override { ++cells; }
  std::size_t cells = 0;
};

TEST(FormatsCorpusTest, EveryFileGivesItsTextOrAClearError) {
  if (!HaveCorpus()) GTEST_SKIP() << "corpus absent: " << CorpusDir();
  const std::set<std::string> kinds = {"xlsb", "ods", "fods", "csv", "text", "ods-encrypted"};
  std::ifstream manifest(CorpusDir() / "manifest.tsv");
  std::string line;
  std::getline(manifest, line);
  std::map<std::string, int> opened, errors;
  std::map<std::string, int> reasons;
  std::map<ErrorKind, int> refusals;
  std::size_t files = 0;
  const auto start = std::chrono::steady_clock::now();
  while (std::getline(manifest, line)) {
    std::istringstream fields(line);
    std::string path, kind;
    std::getline(fields, path, '\t');
    std::getline(fields, kind, '\t');
    if (!kinds.count(kind)) continue;
    ++files;
    auto book = sheet::OpenWorkbook(CorpusDir() / path);
    if (!book) {
      EXPECT_FALSE(book.error().reason.empty()) << path;
      ++errors[kind];
      ++reasons[book.error().reason];
      ++refusals[book.error().kind];
      continue;
    }
    ++opened[kind];
    for (std::size_t i = 0; i < (*book)->Sheets().size(); ++i) {
      CountingSink sink;
      const auto status = (*book)->ReadSheet(i, sink);
      if (!status) {
        EXPECT_FALSE(status.error().reason.empty()) << path;
        ++reasons["sheet: " + status.error().reason];
      }
    }
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  for (const auto& [kind, n] : opened) std::cout << "opened " << kind << ": " << n << "\n";
  for (const auto& [kind, n] : errors) std::cout << "refused " << kind << ": " << n << "\n";
  for (const auto& [reason, n] : reasons) std::cout << "  " << n << " x " << reason << "\n";
  std::cout << files << " files in " << seconds << " s\n";
  EXPECT_GT(files, 100u);
  EXPECT_LT(seconds, 30.0);
  // The real workbooks among them open; the refusals are the encrypted,
  // empty and damaged files, plus one CSV with NUL bytes in it.
  EXPECT_GE(opened["xlsb"], 53);
  EXPECT_GE(opened["ods"], 37);
  EXPECT_EQ(opened["fods"], 1);
  EXPECT_GE(opened["csv"], 13);
  EXPECT_EQ(refusals[ErrorKind::kPasswordProtected], 1);
}

TEST(FormatsCorpusTest, KnownContentOfCorpusFiles) {
  if (!HaveCorpus()) GTEST_SKIP() << "corpus absent: " << CorpusDir();
  const auto files = CorpusDir() / "files";
  // Windows-1252 and UTF-16 CSV files decode.
  auto book = sheet::OpenWorkbook(files / "exceldatareader/utf16le_bom.csv");
  ASSERT_TRUE(book);
  SheetCells cells;
  ASSERT_TRUE((*book)->ReadSheet(0, cells).ok());
  EXPECT_GT(cells.count, 3u);
  // A directory of phone numbers in a real CSV file.
  const std::string directory = WorkbookText(files / "nz-ece/directory.csv");
  EXPECT_GT(directory.size(), 1000000u);
  // The binary workbook whose sheet entries carry four extra bytes.
  EXPECT_NE(WorkbookText(files / "poi/Simple.xlsb").find("Microsoft Excel 2007"),
            std::string::npos);
}

}  // namespace
}  // namespace dialsift::test
