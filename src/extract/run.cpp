#include "extract/run.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <stdexcept>
#include <system_error>
#include <thread>

#include "extract/ordered_run.h"
#include "extract/phone.h"
#include "extract/workbook_text.h"
#include "sheet/workbook.h"

namespace dialsift {

bool ReadWorkbookRecords(const std::string& path, const OpenFn& open,
                         phone::StreamingScanner& scanner, RecordSink& sink,
                         ErrorReporter& reporter, const std::function<bool()>& cancelled) {
  int line = 122;
  try {
    auto opened = open(path);
    if (!opened) {
      // One report for a workbook that cannot be opened; its later steps,
      // which all need the workbook, are skipped.
      reporter.Report({path + ": " + opened.error().reason, location::kRun, 122});
      return false;
    }
    line = 126;
    ScanWorkbook(*opened.value(), path, scanner, sink, reporter, cancelled);
    line = 144;
    opened.value().reset();  // close the workbook, release the reader
    return true;
  } catch (const std::bad_alloc&) {
    // Whatever the reader held is released by now; the run has its memory
    // back for the next workbook.
    reporter.Report({path + ": " + std::string(kTooLargeToRead), location::kRun, line});
    return false;
  }
}

std::uint64_t ReadingSize(const std::string& path) {
  std::error_code ec;
  const auto size = std::filesystem::file_size(path, ec);
  return ec ? 0 : static_cast<std::uint64_t>(size);
}

bool ExcelOpenCancelsRun(RunHost& host) {
  if (!host.IsExcelRunning()) return false;
  return !host.AskYesNo(kExcelOpenPrompt);
}

namespace {

// What a reading thread hands to the run for one workbook, in the order the
// run takes it: the workbook begins, then for each sheet its name and the
// words that could be phone numbers, whatever the length boxes say (a digit,
// only "0123456789+-() ." characters), and the error reports at their place.
// A cell whose reading with spaces could differ from its words comes whole
// before them, to be read either way when its turn comes.
struct Ahead {
  enum class Kind : std::uint8_t {
    kBegin,
    kSheet,
    kWord,
    kCell,
    kReport,
    kFailure
  } kind = Kind::kBegin;
  // The sheet's name, the word, the cell, the report's description, the failure.
  std::string text;
  std::uint32_t row = 0;
  std::uint32_t column = 0;
  std::int16_t digits = 0;  // of a word
  std::string_view location;
  int line = 0;  // of a report

  static Ahead Of(Kind kind, std::string text) {
    Ahead a;
    a.kind = kind;
    a.text = std::move(text);
    return a;
  }
};

using AheadRun = OrderedRun<Ahead>;

// Reads one workbook on a reading thread into its channel.
class ReadAhead final : public RecordSink, public ErrorReporter {
 public:
  ReadAhead(RunHost& host, AheadRun::Channel& out) : host_(host), out_(out) {}

  void Read(const std::string& path) {
    out_.Put({});
    try {
      // Every length a box stands for: the scan keeps each word that could
      // be a number, whatever is ticked when its turn comes.
      phone::StreamingScanner words(
          [](std::int16_t n) { return n >= phone::kShortestLength && n <= phone::kLongestLength; },
          {}, phone::Rule::kWordsMarkingSpaced);
      const OpenFn open = [this](const std::string& p) { return host_.OpenWorkbook(p); };
      ReadWorkbookRecords(path, open, words, *this, *this, [this] { return out_.Stopping(); });
    } catch (const std::exception& e) {
      // Not the reader's to answer: the run's statement fails with it.
      out_.Put(Ahead::Of(Ahead::Kind::kFailure, e.what()));
    }
  }

  void Found(const Record& record) override {
    NameSheet(record);
    Ahead word = Ahead::Of(Ahead::Kind::kWord, record.number);
    word.row = record.row;
    word.column = record.column;
    for (const char c : record.number) word.digits += c >= '0' && c <= '9' ? 1 : 0;
    out_.Put(std::move(word));
  }

  void SpacedCell(const Record& record) override {
    NameSheet(record);
    Ahead cell = Ahead::Of(Ahead::Kind::kCell, record.number);
    cell.row = record.row;
    cell.column = record.column;
    out_.Put(std::move(cell));
  }

  void Report(const ErrorReport& report) override {
    Ahead item = Ahead::Of(Ahead::Kind::kReport, report.description);
    item.location = report.location;
    item.line = report.line;
    out_.Put(std::move(item));
  }

 private:
  void NameSheet(const Record& record) {
    if (sheet_named_ && sheet_ == record.sheet) return;
    sheet_named_ = true;
    sheet_ = record.sheet;
    out_.Put(Ahead::Of(Ahead::Kind::kSheet, sheet_));
  }

  RunHost& host_;
  AheadRun::Channel& out_;
  std::string sheet_;
  bool sheet_named_ = false;
};

}  // namespace

// Statement numbers below are the ones the error report names.
void RunExtraction(RunHost& host) {
  host.SetPointer(Pointer::kBusy);       // 102
  if (ExcelOpenCancelsRun(host)) {       // 104
    host.SetPointer(Pointer::kDefault);  // 156
    return;
  }
  // The loop works on the rows as they stand now (106, 112): rows removed
  // while the run yields do not disturb it.
  const std::vector<std::string> rows = host.InputRows();
  if (rows.empty()) {
    host.ShowMessage(kNoFilesMessage);   // 154
    host.SetPointer(Pointer::kDefault);  // 156
    return;
  }
  host.ClearResults();  // 110

  unsigned threads = host.ReadingThreads();
  if (threads == 0) threads = std::max(1u, std::thread::hardware_concurrency());
  AheadRun run(rows.size(), threads, [&host, &rows](std::size_t index, AheadRun::Channel& out) {
    ReadAhead(host, out).Read(rows[index]);
  });
  // The last workbooks start largest first: the run does not end on a big
  // one read alone.
  run.SizeInputs([&rows](std::size_t index) { return ReadingSize(rows[index]); });

  // 114-146 for each row: open, the workbook's words one cell at a time,
  // each decided as its turn comes, close.
  Record record;
  // The cell read with spaces, whose words are passed over.
  bool spaced = false;
  std::uint32_t spaced_row = 0;
  std::uint32_t spaced_column = 0;
  std::vector<std::string> numbers;
  const auto take = [&](std::size_t index, Ahead& item) {
    switch (item.kind) {
      case Ahead::Kind::kBegin:
        host.Yield();  // 114
        if (host.Stopped()) return false;
        host.Progress(index + 1, rows.size());
        host.SetPointer(Pointer::kBusy);  // 116, 120
        record.path = rows[index];
        spaced = false;
        return true;
      case Ahead::Kind::kSheet:
        spaced = false;
        record.sheet.swap(item.text);
        return true;
      case Ahead::Kind::kCell:
        spaced = host.IsSpacedTicked();
        if (!spaced) return true;
        spaced_row = item.row;
        spaced_column = item.column;
        numbers = phone::ExtractSpacedNumbers(
            item.text, [&host](std::int16_t n) { return host.IsLengthTicked(n); },
            [&host] { host.Yield(); });
        for (std::string& number : numbers) {
          host.Yield();  // 136
          if (host.Stopped()) return false;
          record.number.swap(number);
          record.row = item.row;
          record.column = item.column;
          host.AppendResult(record);  // 138
        }
        return !host.Stopped();
      case Ahead::Kind::kWord:
        if (spaced && item.row == spaced_row && item.column == spaced_column) return true;
        host.Yield();
        if (host.Stopped()) return false;
        if (!host.IsLengthTicked(item.digits)) return true;
        // Each number reaches the results list the moment it is found (134-140).
        host.Yield();  // 136
        if (host.Stopped()) return false;
        record.number.swap(item.text);
        record.row = item.row;
        record.column = item.column;
        host.AppendResult(record);  // 138
        return true;
      case Ahead::Kind::kReport:
        host.Report({std::move(item.text), item.location, item.line});
        return !host.Stopped();
      case Ahead::Kind::kFailure:
        throw std::runtime_error(item.text);
    }
    return true;
  };
  const auto done = [&host](std::size_t) { host.SetPointer(Pointer::kBusy); };  // 128, 132, 142
  // While the reading threads are behind, the window keeps its events going.
  const auto stopped = [&host] {
    host.Yield();
    return host.Stopped();
  };
  if (!run.Run(take, done, stopped, std::chrono::milliseconds(10)) || host.Stopped()) return;
  host.ShowMessage(kDoneMessage);      // 152
  host.SetPointer(Pointer::kDefault);  // 156
}

}  // namespace dialsift
