// Helpers shared by the reader tests: a sink that keeps every cell, and the
// workbook text of a file.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "extract/workbook_text.h"
#include "sheet/workbook.h"

namespace dialsift::test {

struct SheetCells : sheet::CellSink {
  void Cell(std::uint32_t row, std::uint32_t column, std::string_view text) override {
    cells[{row, column}] = std::string(text);
    ++count;
  }
  // The text at (row, column), or "<none>" when no cell came.
  std::string At(std::uint32_t row, std::uint32_t column) const {
    const auto it = cells.find({row, column});
    return it == cells.end() ? "<none>" : it->second;
  }
  std::map<std::pair<std::uint32_t, std::uint32_t>, std::string> cells;
  std::size_t count = 0;
};

struct RecordingReporter : ErrorReporter {
  void Report(const ErrorReport& report) override { reports.push_back(report.description); }
  std::vector<std::string> reports;
};

// The workbook text of `path`, or "ERROR: <reason>" when it does not open.
// Reports of unreadable sheets are appended as " | REPORT: ...".
inline std::string WorkbookText(const std::filesystem::path& path) {
  auto book = sheet::OpenWorkbook(path);
  if (!book) return "ERROR: " + book.error().reason;
  RecordingReporter reporter;
  std::string text = ReadWorkBookToString(**book, reporter);
  for (const auto& r : reporter.reports) text += " | REPORT: " + r;
  return text;
}

inline void WriteFile(const std::filesystem::path& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace dialsift::test
