// The error report: what a numbered statement shows when it fails, before its
// handler goes on with the next statement.
#pragma once

#include <string>
#include <string_view>

namespace dialsift {

inline constexpr std::string_view kProgramTitle = "Dialsift";
inline constexpr std::string_view kErrorReportTitle = "Application Error";
inline constexpr std::string_view kSupportAddress = "support@quillmark.example";

// Location texts of the handlers and routines that number their statements.
namespace location {
inline constexpr std::string_view kFormLoad = "in Numtrawl2/19/2015.Form1.Form_Load ";
inline constexpr std::string_view kRun = "in Numtrawl2/19/2015.Form1.PushButton7_Click ";
inline constexpr std::string_view kReadWorkbook =
    "in Numtrawl2/19/2015.Excel1.ReadWorkBookToString ";
}  // namespace location

struct ErrorReport {
  std::string description;  // the failure in the words of whatever failed
  std::string_view location;
  int line = 0;
};

// The report's text: description, CR LF, location, "at line N", CR CR and the
// request to mail a screenshot to the support address.
inline std::string ErrorReportText(const ErrorReport& report) {
  std::string text = report.description;
  text += "\r\n";
  text += report.location;
  text += "at line ";
  text += std::to_string(report.line);
  text += "\r\r";
  text += "Please email screenshot of this message to ";
  text += kSupportAddress;
  return text;
}

class ErrorReporter {
 public:
  virtual ~ErrorReporter() = default;
  virtual void Report(const ErrorReport& report) = 0;
};

}  // namespace dialsift
