// The sample workbooks give the numbers their README lists, at the default
// lengths 10 and 11, in every format they are saved in.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/test_paths.h"
#include "extract/workbook_text.h"
#include "filelist/folder_intake.h"
#include "sheet/workbook.h"

namespace dialsift {
namespace {

struct NoReports final : ErrorReporter {
  void Report(const ErrorReport& report) override { ADD_FAILURE() << ErrorReportText(report); }
};

std::vector<std::string> NumbersIn(const std::string& path) {
  auto workbook = sheet::OpenWorkbook(path);
  if (!workbook) {
    ADD_FAILURE() << path << ": " << workbook.error().reason;
    return {};
  }
  NoReports reports;
  return phone::ExtractPhoneNumbers(ReadWorkBookToString(**workbook, reports),
                                    [](std::int16_t n) { return n == 10 || n == 11; });
}

TEST(Samples, GiveTheNumbersTheirReadmeLists) {
  const std::vector<std::string> contacts = {
      "212-555-0147", "212.555.0168", "+1-646-555-0112", "(718)555-0134",   "917-555-0123",
      "12125550161",  "+12125550106", "020-7946-0958",   "07700900123",     "2125550183",
      "12125550184",  "212-555-0188", "1-212-555-0189",  "646.555.0190",    "02079460123",
      "7700900555",   "212-555-0147", "(212)555-0148.",  "+1.212.555.0177", "4000123456."};
  const std::vector<std::string> orders = {"212-555-0147",  "718-555-0134",   "718-555-0135",
                                           "(212)555-0161", "1-800-555-0199", "800.555.0142",
                                           "800-555-0144"};
  const std::vector<std::string> suppliers = {"1-312-555-0102", "312-555-0103",  "(312)555-0114",
                                              "312.555.0126",   "020-7946-0012", "1.312.555.0137"};

  const auto rows = filelist::SampleRows(test::SourceDir().string());
  ASSERT_EQ(rows.size(), 7u);  // the five workbooks, the generator and this README
  const std::string s = test::SourceDir().string() + "/Samples/";
  for (const char* name : {"contacts.xlsx", "contacts.xls", "contacts.ods"})
    EXPECT_EQ(NumbersIn(s + name), contacts) << name;
  EXPECT_EQ(NumbersIn(s + "orders.xlsm"), orders);
  EXPECT_EQ(NumbersIn(s + "suppliers.csv"), suppliers);
}

}  // namespace
}  // namespace dialsift
