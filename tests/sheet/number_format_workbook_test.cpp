// The engine inside the readers, against workbooks that record what a
// spreadsheet application displayed (corpus files/formats/). Everything is
// read through OpenWorkbook; cells are compared one by one and every
// mismatch is reported at once.
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
#include "sheet/number_format.h"
#include "sheet/workbook.h"

namespace dialsift::sheet {
namespace {

std::filesystem::path FormatsDir() {
  return test::CorpusDir() / "files" / "formats";
}

#define REQUIRE_FORMAT_FILES()                                               \
  if (!std::filesystem::exists(FormatsDir())) {                              \
    GTEST_SKIP() << "corpus format workbooks not found at " << FormatsDir(); \
  }

using Grid = std::map<std::pair<std::uint32_t, std::uint32_t>, std::string>;

class GridSink : public CellSink {
 public:
  explicit GridSink(Grid& grid) : grid_(grid) {}
  void Cell(std::uint32_t row, std::uint32_t column, std::string_view text) override {
    grid_[{row, column}] = std::string(text);
  }

 private:
  Grid& grid_;
};

// Every sheet of a workbook as (row, column) -> displayed text.
std::vector<Grid> ReadAll(const std::filesystem::path& path) {
  std::vector<Grid> sheets;
  auto wb = OpenWorkbook(path);
  EXPECT_TRUE(wb) << path;
  if (!wb) return sheets;
  for (std::size_t i = 0; i < (*wb)->Sheets().size(); ++i) {
    sheets.emplace_back();
    GridSink sink(sheets.back());
    EXPECT_TRUE((*wb)->ReadSheet(i, sink).ok()) << path << " sheet " << i;
  }
  return sheets;
}

std::string At(const Grid& g, std::uint32_t row, std::uint32_t col) {
  auto it = g.find({row, col});
  return it == g.end() ? std::string() : it->second;
}

struct Tally {
  int agree = 0;
  int differ = 0;
  int unknown_value = 0;  // value only known as its rounded display
  std::string shown;
  void Mismatch(const std::string& what) {
    if (++differ <= 30) shown += "  " + what + "\n";
  }
};

// Days since 1904-01-01 of a civil date.
long long Days1904(int y, int m, int d) {
  y -= m <= 2;
  const long long era = (y >= 0 ? y : y - 399) / 400;
  const long long yoe = y - era * 400;
  const long long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const long long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468 + 24107;  // 1970-01-01 is 1904 day 24107
}

// The value of a test cell from its displayed text: a plain number, or a
// date shown as "dd-Mon-yyyy hh:mm:ss.000" (1904 system). `exact` tells
// whether the display keeps every digit of the value.
bool ValueOf(const std::string& text, double& value, bool& exact) {
  char* end = nullptr;
  value = std::strtod(text.c_str(), &end);
  if (!text.empty() && end == text.c_str() + text.size()) {
    int significant = 0;
    bool leading = true;
    for (char c : text) {
      if (c == 'E' || c == 'e') significant = 99;
      if (c >= '1' && c <= '9') leading = false;
      if (!leading && c >= '0' && c <= '9') ++significant;
    }
    exact = significant < 10;
    return true;
  }
  static const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                  "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  int d, y, h, mi, s, ms;
  char mon[4] = {};
  if (std::sscanf(text.c_str(), "%d-%3c-%d %d:%d:%d.%d", &d, mon, &y, &h, &mi, &s, &ms) == 7) {
    for (int m = 0; m < 12; ++m) {
      if (std::string(mon) == kMonths[m]) {
        value = static_cast<double>(Days1904(y, m + 1, d)) +
                (h * 3600 + mi * 60 + s + ms / 1000.0) / 86400.0;
        exact = false;
        return true;
      }
    }
  }
  return false;
}

// Workbooks of rows (expected text, format code, value): the expected text
// is the application's own TEXT(value, code). These workbooks use the 1904
// date system.
void CheckTextFunctionSheet(const std::string& file, Tally& t) {
  const auto sheets = ReadAll(FormatsDir() / file);
  const bool text_tests = file.rfind("TextFormat", 0) == 0;
  FormatEngine engine(true);
  for (const Grid& g : sheets) {
    if (At(g, 1, 1) != "Result (expected)") continue;
    const std::uint32_t last = g.rbegin()->first.first;
    for (std::uint32_t row = 2; row <= last; ++row) {
      if (!g.count({row, 2})) continue;
      const std::string expected = At(g, row, 1);
      // The text tests call TEXT(value, ";;;" & code).
      const std::string code = (text_tests ? ";;;" : "") + At(g, row, 2);
      const std::string shown = At(g, row, 3);
      double value = 0;
      bool exact = true;
      std::string actual;
      if (!text_tests && ValueOf(shown, value, exact)) {
        actual = engine.FormatNumber(value, engine.Intern(code));
      } else {
        actual = engine.FormatText(shown, engine.Intern(code));
      }
      // General writes whole numbers of up to 15 digits in full.
      if (code == "General" && std::fabs(value) >= 1e11 && value == std::floor(value)) {
        char full[32];
        std::snprintf(full, sizeof full, "%.0f", value);
        if (actual == full) {
          ++t.agree;
          continue;
        }
      }
      if (actual == expected) {
        ++t.agree;
      } else if (!exact) {
        ++t.unknown_value;
      } else {
        t.Mismatch(file + " row " + std::to_string(row) + " [" + code + "] " + shown +
                   ": expected \"" + expected + "\" got \"" + actual + "\"");
      }
    }
  }
}

void Report(const char* name, const Tally& t) {
  std::printf("%s: %d agree, %d differ, %d with a value known only rounded\n", name, t.agree,
              t.differ, t.unknown_value);
}

TEST(NumberFormatWorkbooks, TextFunctionResults) {
  REQUIRE_FORMAT_FILES();
  Tally t;
  for (const char* file :
       {"DateFormatNumberTests.xlsx", "DateFormatTests.xlsx", "ElapsedFormatTests.xlsx",
        "FormatChoiceTests.xlsx", "FormatChoiceTests.xls", "FormatConditionTests.xlsx",
        "GeneralFormatTests.xlsx", "NumberFormatApproxTests.xlsx", "NumberFormatTests.xlsx",
        "TextFormatTests.xlsx"}) {
    CheckTextFunctionSheet(file, t);
  }
  Report("TEXT() results", t);
  EXPECT_GT(t.agree, 700);
  EXPECT_EQ(t.differ, 0) << t.shown;
}

// FormatKM: a value, the value shown through a format, the text the
// application showed; the readers render the formatted cells themselves.
TEST(NumberFormatWorkbooks, ThousandsAndMillionsSuffixes) {
  REQUIRE_FORMAT_FILES();
  Tally t;
  for (const char* file : {"FormatKM.xls", "FormatKM.xlsx"}) {
    const auto sheets = ReadAll(FormatsDir() / file);
    ASSERT_FALSE(sheets.empty());
    const Grid& g = sheets[0];
    for (std::uint32_t row = 2; g.count({row, 1}); ++row) {
      for (std::uint32_t col : {2u, 4u}) {
        const std::string shown = At(g, row, col), expected = At(g, row, col + 1);
        if (shown == expected) {
          ++t.agree;
        } else {
          t.Mismatch(std::string(file) + " row " + std::to_string(row) + ": expected \"" +
                     expected + "\" got \"" + shown + "\"");
        }
      }
    }
  }
  Report("FormatKM", t);
  EXPECT_GT(t.agree, 20);
  EXPECT_EQ(t.differ, 0) << t.shown;
}

// 54686_fraction_formats.xls holds values under ten fraction formats; the
// .txt beside it lists what the application displayed.
TEST(NumberFormatWorkbooks, FractionFormats) {
  REQUIRE_FORMAT_FILES();
  const auto sheets = ReadAll(FormatsDir() / "54686_fraction_formats.xls");
  ASSERT_FALSE(sheets.empty());
  std::ifstream in(FormatsDir() / "54686_fraction_formats.txt", std::ios::binary);
  Tally t;
  std::string line;
  std::uint32_t row = 0;
  while (std::getline(in, line)) {
    ++row;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (row == 1) continue;
    std::vector<std::string> fields;
    std::size_t start = 0;
    while (true) {
      const auto tab = line.find('\t', start);
      fields.push_back(line.substr(start, tab - start));
      if (tab == std::string::npos) break;
      start = tab + 1;
    }
    for (std::uint32_t col = 4; col <= fields.size(); ++col) {
      const std::string shown = At(sheets[0], row, col);
      if (shown == fields[col - 1]) {
        ++t.agree;
      } else {
        t.Mismatch("row " + std::to_string(row) + " col " + std::to_string(col) + " (" +
                   At(sheets[0], row, 3) + "): expected \"" + fields[col - 1] + "\" got \"" +
                   shown + "\"");
      }
    }
  }
  Report("fraction formats", t);
  EXPECT_GT(t.agree, 3000);
  EXPECT_EQ(t.differ, 0) << t.shown;
}

// 1.005 and 1.004 under "0.00_ ": the application rounds the decimal value.
TEST(NumberFormatWorkbooks, RoundingOfTheShownDecimal) {
  REQUIRE_FORMAT_FILES();
  const auto sheets = ReadAll(FormatsDir() / "decimal-format.xlsx");
  ASSERT_FALSE(sheets.empty());
  EXPECT_EQ(At(sheets[0], 1, 1), "1.01 ");
  EXPECT_EQ(At(sheets[0], 2, 1), "1.00 ");
}

}  // namespace
}  // namespace dialsift::sheet
