#include "extract/workbook_text.h"

#include <algorithm>
#include <string_view>
#include <tuple>

namespace dialsift {

namespace {

std::string_view TrimSpaces(std::string_view s) {
  const auto first = s.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  const auto last = s.find_last_not_of(' ');
  return s.substr(first, last - first + 1);
}

struct StoredCell {
  std::uint32_t row;
  std::uint32_t column;
  std::string text;  // trimmed
};

// Collects one sheet's cells and its used range.
class CollectingSink final : public sheet::CellSink {
 public:
  void Cell(std::uint32_t row, std::uint32_t column, std::string_view text) override {
    last_row = std::max(last_row, row);
    last_column = std::max(last_column, column);
    const auto trimmed = TrimSpaces(text);
    if (!trimmed.empty()) cells.push_back({row, column, std::string(trimmed)});
    any = true;
  }
  std::vector<StoredCell> cells;
  std::uint32_t last_row = 0;
  std::uint32_t last_column = 0;
  bool any = false;
};

// Appends texts separated by the blanks that the empty cells between them
// stand for. Leading and trailing blanks are never written, which is the
// final trim.
class TextBuilder {
 public:
  void Blanks(std::uint64_t n) { pending_ += n; }
  void Text(std::string_view text) {
    if (!out_.empty()) out_.append(static_cast<std::size_t>(std::min(pending_, kMaxBlankRun)), ' ');
    out_ += text;
    pending_ = 0;
  }
  std::string Take() { return std::move(out_); }

 private:
  std::string out_;
  std::uint64_t pending_ = 0;
};

struct ScanMatch {
  std::uint32_t row;
  std::uint32_t column;
  std::string number;
};

// Feeds each cell's text to the scanner as it arrives. Numbers are kept with
// their cell so that a sheet stored out of order still gives them in the
// order of the workbook text.
class ScanningSink final : public sheet::CellSink {
 public:
  ScanningSink(phone::StreamingScanner& scanner, const std::function<bool()>& cancelled)
      : scanner_(scanner), cancelled_(cancelled) {}

  void Cell(std::uint32_t row, std::uint32_t column, std::string_view text) override {
    if (row < last_row_ || (row == last_row_ && column < last_column_)) out_of_order_ = true;
    last_row_ = row;
    last_column_ = column;
    found_.clear();
    scanner_.Scan(text, found_);
    for (auto& n : found_) matches_.push_back({row, column, std::move(n)});
  }
  bool Cancelled() override { return cancelled_ && cancelled_(); }

  void Finish(std::vector<std::string>& out) {
    if (out_of_order_) {
      std::stable_sort(matches_.begin(), matches_.end(), [](const auto& a, const auto& b) {
        return std::tie(a.row, a.column) < std::tie(b.row, b.column);
      });
    }
    for (auto& m : matches_) out.push_back(std::move(m.number));
    matches_.clear();
    out_of_order_ = false;
    last_row_ = last_column_ = 0;
  }

 private:
  phone::StreamingScanner& scanner_;
  const std::function<bool()>& cancelled_;
  std::vector<std::string> found_;
  std::vector<ScanMatch> matches_;
  std::uint32_t last_row_ = 0;
  std::uint32_t last_column_ = 0;
  bool out_of_order_ = false;
};

}  // namespace

std::string ReadWorkBookToString(sheet::Workbook& workbook, ErrorReporter& reporter) {
  TextBuilder text;
  const auto sheets = workbook.Sheets();
  for (std::size_t i = 0; i < sheets.size(); ++i) {
    CollectingSink sink;
    if (auto status = workbook.ReadSheet(i, sink); !status) {
      reporter.Report({"Sheet \"" + sheets[i].name + "\": " + status.error().reason,
                       location::kReadWorkbook, sink.any ? 110 : 102});
    }
    std::stable_sort(sink.cells.begin(), sink.cells.end(), [](const auto& a, const auto& b) {
      return std::tie(a.row, a.column) < std::tie(b.row, b.column);
    });
    // Position of a cell counted over the rectangle, row by row.
    const std::uint64_t width = sink.last_column;
    std::uint64_t next = 0;  // position of the next cell to account for
    for (const auto& cell : sink.cells) {
      const std::uint64_t pos = (cell.row - 1) * width + (cell.column - 1);
      text.Blanks(pos - std::min(pos, next));
      text.Text(cell.text);
      text.Blanks(1);
      next = pos + 1;
    }
    const std::uint64_t total = std::uint64_t{sink.last_row} * width;
    if (total > next) text.Blanks(total - next);
  }
  return text.Take();
}

std::vector<std::string> ScanWorkbook(sheet::Workbook& workbook, phone::StreamingScanner& scanner,
                                      ErrorReporter& reporter,
                                      const std::function<bool()>& cancelled) {
  std::vector<std::string> numbers;
  ScanningSink sink(scanner, cancelled);
  const auto sheets = workbook.Sheets();
  for (std::size_t i = 0; i < sheets.size(); ++i) {
    if (cancelled && cancelled()) break;
    if (auto status = workbook.ReadSheet(i, sink); !status) {
      reporter.Report({"Sheet \"" + sheets[i].name + "\": " + status.error().reason,
                       location::kReadWorkbook, 110});
    }
    sink.Finish(numbers);
  }
  return numbers;
}

}  // namespace dialsift
