// Every .xls workbook of the shared corpus opens and gives its text, or gives
// a clear error; none crashes or hangs.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "common/test_paths.h"
#include "text_cells.h"

namespace dialsift::sheet {
namespace {

struct CorpusFile {
  std::string path;  // below the corpus folder
  std::string format;
  std::string category;
};

std::vector<CorpusFile> XlsFilesOfManifest() {
  std::vector<CorpusFile> files;
  std::ifstream in(test::CorpusDir() / "manifest.tsv");
  std::string line;
  std::getline(in, line);  // header
  while (std::getline(in, line)) {
    std::vector<std::string> f;
    std::stringstream ss(line);
    for (std::string cell; std::getline(ss, cell, '\t');) f.push_back(cell);
    if (f.size() < 6 || f[1].rfind("xls-", 0) != 0) continue;
    files.push_back({f[0], f[1], f[5]});
  }
  return files;
}

TEST(XlsCorpus, EveryXlsGivesTextOrAClearError) {
  if (!test::HaveCorpus()) GTEST_SKIP() << "corpus absent: " << test::CorpusDir();
  const auto files = XlsFilesOfManifest();
  ASSERT_GT(files.size(), 250u);
  const auto start = std::chrono::steady_clock::now();
  std::map<std::string, int> errors;
  int opened = 0;
  int sheet_reports = 0;
  for (const auto& f : files) {
    const std::string text = test::WorkbookText(test::CorpusDir() / f.path);
    const bool failed = text.rfind("ERROR: ", 0) == 0;
    if (failed) {
      const std::string reason = text.substr(7);
      EXPECT_FALSE(reason.empty()) << f.path;
      // Group reasons that carry offsets by their opening words.
      ++errors[reason.substr(0, reason.find(" ("))];
    } else {
      ++opened;
      if (text.find(" | REPORT: ") != std::string::npos) ++sheet_reports;
    }
    if (f.format.ends_with("-encrypted") && f.category == "normal") {
      EXPECT_EQ(text, "ERROR: " + std::string(kPasswordProtectedReason)) << f.path;
    } else if (f.category != "broken") {
      // Sound workbooks of every BIFF version read completely.
      EXPECT_FALSE(failed) << f.path << ": " << text;
      EXPECT_EQ(text.find(" | REPORT: "), std::string::npos) << f.path << ": " << text;
    }
  }
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                      std::chrono::steady_clock::now() - start)
                      .count();
  std::cout << "xls corpus: " << files.size() << " files, " << opened << " opened ("
            << sheet_reports << " with an unreadable sheet), " << ms << " ms\n";
  for (const auto& [reason, n] : errors) std::cout << "  " << n << " x " << reason << "\n";
  EXPECT_LT(ms, 30000);
}

// Compound files damaged outside their workbook stream (a header that
// overstates the FAT, a directory chain that runs off the file after the
// workbook's entry, a last sector cut short by the end of the file after the
// stream's last byte) give their text; those whose workbook stream itself is
// broken say so.
TEST(XlsCorpus, IntactWorkbookStreamsOfDamagedContainersAreRead) {
  if (!test::HaveCorpus()) GTEST_SKIP() << "corpus absent: " << test::CorpusDir();
  const auto files = test::CorpusDir() / "files";
  const auto dir = files / "broken";
  for (const auto& path :
       {dir / "libxls/xls2csv_ole_read_MSAT_body_637.xls",
        dir / "poi/clusterfuzz-testcase-minimized-POIHSSFFuzzer-5816431116615680.xls"}) {
    const std::string text = test::WorkbookText(path);
    EXPECT_EQ(text.rfind("ERROR: ", 0), std::string::npos) << path << ": " << text;
  }
  // Last sectors cut short after the end of the workbook stream or of the
  // mini stream: whole workbooks.
  for (const auto& path :
       {dir / "calamine/OOM_alloc2.xls", files / "phpspreadsheet/sample.xls",
        files / "exceldatareader/Test_Row1217NotRead.xls", files / "poi/53984.xls"}) {
    const std::string text = test::WorkbookText(path);
    EXPECT_EQ(text.rfind("ERROR: ", 0), std::string::npos) << path << ": " << text;
    EXPECT_EQ(text.find(" | REPORT: "), std::string::npos) << path << ": " << text;
  }
  EXPECT_EQ(test::WorkbookText(dir / "libxls" / "xls2csv_ole_read_MSAT_772.xls"),
            "ERROR: damaged OLE2 compound file (the sector chain of the workbook stream is "
            "broken)");
}

}  // namespace
}  // namespace dialsift::sheet
