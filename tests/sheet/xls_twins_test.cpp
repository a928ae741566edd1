// The same workbook as .xls and as .xlsx gives the same workbook text.
#include <gtest/gtest.h>

#include <fstream>
#include <iostream>
#include <map>
#include <set>
#include <sstream>
#include <string>

#include "common/test_paths.h"
#include "text_cells.h"

namespace dialsift::sheet {
namespace {

namespace fs = std::filesystem;

TEST(XlsTwins, FixturesSavedAsXlsByLibreOfficeReadLikeTheirXlsx) {
  // from_xlsx/<folder>__<name>.xls was saved by LibreOffice from
  // tests/data/xlsx/<name> or Samples/<name>.
  int compared = 0;
  for (const auto& entry : fs::directory_iterator(test::TestData() / "xls" / "from_xlsx")) {
    const std::string file = entry.path().filename().string();
    const auto sep = file.find("__");
    ASSERT_NE(sep, std::string::npos) << file;
    const std::string folder = file.substr(0, sep);
    const std::string name = file.substr(sep + 2, file.size() - sep - 2 - 4);  // drop ".xls"
    const fs::path source = folder == "Samples" ? test::SourceDir() / "Samples" / name
                                                : test::TestData() / "xlsx" / name;
    std::string expected = test::WorkbookText(source);
    if (name == "openpyxl_values.xlsx") {
      // openpyxl leaves A7's "=1+1" without a cached result; LibreOffice
      // computed it when it saved the .xls.
      const auto at = expected.find("#N/A    00123");
      ASSERT_NE(at, std::string::npos) << expected;
      expected.replace(at, 13, "#N/A  2  00123");
    }
    EXPECT_EQ(test::WorkbookText(entry.path()), expected) << file;
    ++compared;
  }
  EXPECT_GE(compared, 10);
  EXPECT_EQ(test::WorkbookText(test::TestData() / "xls" / "contacts.xls"),
            test::WorkbookText(test::TestData() / "xls" / "contacts.xlsx"));
}

// Corpus twins whose two files do not hold the same workbook.
const std::map<std::string, std::string> kDifferentTwins = {
    {"files/edalgoca-dataset/Northwind.xls", "the .xlsx has another sheet list and order"},
    {"files/exceldatareader/Test_git_issue_694_TimeSpan.xls", "the .xlsx is a damaged zip"},
    {"files/formats/FormatChoiceTests.xls", "the .xlsx lacks the \"Debug\" category cells"},
    {"files/poi/FormatChoiceTests.xls", "the .xlsx lacks the \"Debug\" category cells"},
    {"files/sheetjs/comments_stress_test.xls",
     "cached formula strings hold LF LF in the .xls, CR CR in the .xlsx"},
};

TEST(XlsTwins, CorpusXlsWithAnXlsxTwinGiveTheSameText) {
  if (!test::HaveCorpus()) GTEST_SKIP() << "corpus absent: " << test::CorpusDir();
  std::ifstream in(test::CorpusDir() / "manifest.tsv");
  std::string line;
  std::getline(in, line);
  int twins = 0;
  int equal = 0;
  while (std::getline(in, line)) {
    std::stringstream ss(line);
    std::string path;
    std::string format;
    std::getline(ss, path, '\t');
    std::getline(ss, format, '\t');
    if (!format.starts_with("xls-")) continue;
    const fs::path xls = test::CorpusDir() / path;
    fs::path xlsx;
    for (const char* ext : {".xlsx", ".XLSX"}) {
      if (fs::exists(fs::path(xls).replace_extension(ext)))
        xlsx = fs::path(xls).replace_extension(ext);
    }
    if (xlsx.empty()) continue;
    ++twins;
    if (kDifferentTwins.contains(path)) continue;
    const std::string a = test::WorkbookText(xls);
    const std::string b = test::WorkbookText(xlsx);
    EXPECT_EQ(a, b) << path;
    if (a == b) ++equal;
  }
  std::cout << "xls/xlsx twins: " << twins << ", equal " << equal << ", " << kDifferentTwins.size()
            << " known to hold different content\n";
  EXPECT_GE(twins, 30);
}

}  // namespace
}  // namespace dialsift::sheet
