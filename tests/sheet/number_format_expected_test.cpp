// Displayed text against the CSV that the spreadsheet application itself
// saved for 966 corpus sheets (corpus expected/, index.tsv). Each workbook is
// read through OpenWorkbook and compared cell by cell; agreement is reported
// separately for pairs taken from the same repository and path (same
// content) and for pairs matched by file name only (content may differ).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "common/test_paths.h"
#include "sheet/workbook.h"

namespace dialsift::sheet {
namespace {

std::filesystem::path ExpectedDir() {
  return test::CorpusDir() / "expected";
}

using Grid = std::map<std::pair<std::uint32_t, std::uint32_t>, std::string>;

class GridSink : public CellSink {
 public:
  explicit GridSink(Grid& grid) : grid_(grid) {}
  void Cell(std::uint32_t row, std::uint32_t column, std::string_view text) override {
    if (!text.empty()) grid_[{row, column}] = std::string(text);
  }

 private:
  Grid& grid_;
};

std::string ReadFile(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// Comma-separated values as the application writes them: quotes around
// fields holding commas, quotes or line breaks; rows end in CR, LF or CRLF.
Grid ParseCsv(const std::string& text) {
  Grid grid;
  std::uint32_t row = 1, col = 1;
  std::string field;
  bool quoted = false;
  auto flush = [&] {
    if (!field.empty()) grid[{row, col}] = field;
    field.clear();
  };
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (quoted) {
      if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
        field += '"';
        ++i;
      } else if (c == '"') {
        quoted = false;
      } else {
        field += c;
      }
    } else if (c == '"') {
      quoted = true;
    } else if (c == ',') {
      flush();
      ++col;
    } else if (c == '\r' || c == '\n') {
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      flush();
      ++row;
      col = 1;
    } else {
      field += c;
    }
  }
  flush();
  return grid;
}

bool Ascii(const std::string& s) {
  for (unsigned char c : s) {
    if (c >= 0x80) return false;
  }
  return true;
}

bool AllHashes(const std::string& s) {
  return !s.empty() && s.find_first_not_of('#') == std::string::npos;
}

// Our General writes whole numbers of 12 to 15 digits in full where the
// application writes 1.23457E+11.
bool LongIntegerRule(const std::string& expected, const std::string& ours) {
  if (ours.size() < 12 || ours.size() > 16 || expected.find('E') == std::string::npos) return false;
  if (ours.find_first_not_of("-0123456789") != std::string::npos) return false;
  const double a = std::strtod(ours.c_str(), nullptr), b = std::strtod(expected.c_str(), nullptr);
  return b != 0 && std::fabs(a - b) <= std::fabs(b) * 1e-5;
}

// The short date (built-in 14) of an en-US Windows installation has a
// four-digit year; the application that saved these files wrote two.
bool ShortDateYear(const std::string& expected_cell, const std::string& ours_cell) {
  // A time may follow the date (built-in 22).
  const auto e_space = expected_cell.find(' '), o_space = ours_cell.find(' ');
  if (expected_cell.substr(e_space == std::string::npos ? expected_cell.size() : e_space) !=
      ours_cell.substr(o_space == std::string::npos ? ours_cell.size() : o_space)) {
    return false;
  }
  const std::string expected = expected_cell.substr(0, e_space);
  const std::string ours = ours_cell.substr(0, o_space);
  const auto slash = ours.rfind('/');
  return slash != std::string::npos && ours.size() == slash + 5 && expected.size() == slash + 3 &&
         ours.compare(0, slash + 1, expected, 0, slash + 1) == 0 &&
         ours.compare(slash + 3, 2, expected, slash + 1, 2) == 0 &&
         expected.find_first_not_of("0123456789/") == std::string::npos;
}

struct Tally {
  int sheets = 0, sheets_unread = 0, csv_empty = 0;
  long cells = 0, agree = 0, deliberate = 0, not_ascii = 0;
  // Differences where only one side has text (cells missing or misplaced,
  // a reader's business) and where both do (a rendering difference).
  long one_sided = 0, both = 0;
  std::string shown;
  int listed = 0;
  double Rate() const { return cells ? 100.0 * agree / cells : 100.0; }
};

TEST(NumberFormatExpected, ApplicationSavedCsv) {
  if (!std::filesystem::exists(ExpectedDir() / "index.tsv")) {
    GTEST_SKIP() << "corpus expected/ not found";
  }
  std::istringstream index(ReadFile(ExpectedDir() / "index.tsv"));
  struct Pair {
    std::size_t sheet;
    std::string csv;
    bool same_path;
  };
  std::map<std::string, std::vector<Pair>> by_workbook;
  std::string line;
  std::getline(index, line);  // header
  while (std::getline(index, line)) {
    std::vector<std::string> f;
    std::size_t start = 0;
    while (true) {
      const auto tab = line.find('\t', start);
      f.push_back(line.substr(start, tab - start));
      if (tab == std::string::npos) break;
      start = tab + 1;
    }
    if (f.size() < 5) continue;
    by_workbook[f[0]].push_back(
        {static_cast<std::size_t>(std::atoi(f[2].c_str())), f[3], f[4].rfind("same", 0) == 0});
  }
  Tally same, name;
  for (const auto& [path, pairs] : by_workbook) {
    auto wb = OpenWorkbook(test::CorpusDir() / path);
    for (const Pair& p : pairs) {
      Tally& t = p.same_path ? same : name;
      ++t.sheets;
      if (!wb || p.sheet >= (*wb)->Sheets().size()) {
        ++t.sheets_unread;
        continue;
      }
      Grid ours;
      GridSink sink(ours);
      if (!(*wb)->ReadSheet(p.sheet, sink).ok()) {
        ++t.sheets_unread;
        continue;
      }
      const std::string csv = ReadFile(test::CorpusDir() / p.csv);
      // An empty file where the workbook holds a sheet of data: the
      // application saved nothing for it (large_strings.xlsb).
      if (csv.empty() && !ours.empty()) {
        ++t.csv_empty;
        continue;
      }
      const Grid expected = ParseCsv(csv);
      Grid all = expected;
      all.insert(ours.begin(), ours.end());
      for (const auto& [pos, unused] : all) {
        auto e = expected.find(pos);
        auto o = ours.find(pos);
        const std::string want = e == expected.end() ? "" : e->second;
        const std::string got = o == ours.end() ? "" : o->second;
        if (!Ascii(want) || !Ascii(got)) {
          ++t.not_ascii;  // the saved CSV is in a legacy Mac or Windows encoding
          continue;
        }
        ++t.cells;
        if (want == got || (AllHashes(want) && AllHashes(got))) {
          ++t.agree;
        } else if (LongIntegerRule(want, got) || ShortDateYear(want, got)) {
          ++t.agree;
          ++t.deliberate;
        } else if (want.empty() || got.empty()) {
          ++t.one_sided;
        } else if (++t.both, ++t.listed <= 60) {
          t.shown += "  " + path + " sheet " + std::to_string(p.sheet) + " R" +
                     std::to_string(pos.first) + "C" + std::to_string(pos.second) +
                     ": expected \"" + want.substr(0, 60) + "\" got \"" + got.substr(0, 60) +
                     "\"\n";
        }
      }
    }
  }
  for (const auto* t : {&same, &name}) {
    std::printf(
        "%s: %d sheets (%d unread, %d with an empty CSV), %ld cells compared, %ld agree (%.2f%%; "
        "%ld by the General "
        "integer rule or the four-digit short date), %ld non-ASCII cells not compared; differing: "
        "%ld with text on one side "
        "only, %ld with different text\n",
        t == &same ? "same repository, same path" : "name-match", t->sheets, t->sheets_unread,
        t->csv_empty, t->cells, t->agree, t->Rate(), t->deliberate, t->not_ascii, t->one_sided,
        t->both);
  }
  std::printf("same-path differences:\n%s", same.shown.c_str());
  std::printf("name-match differences:\n%s", name.shown.c_str());
  // Floors against regressions. Most remaining differences are cells on one
  // side only (placement, pivot tables, the first used row) rather than
  // renderings; see the lists above.
  EXPECT_GE(same.Rate(), 97.0);
  EXPECT_GE(name.Rate(), 92.0);
}

}  // namespace
}  // namespace dialsift::sheet
