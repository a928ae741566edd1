#include "app/cli_reader.h"

#include <array>
#include <new>

#include "extract/run.h"
#include "extract/workbook_text.h"
#include "sheet/open_options.h"
#include "sheet/workbook.h"

namespace dialsift::cli {
namespace {

// Reads one workbook into the channel.
class Reader final : public RecordSink, public ErrorReporter {
 public:
  Reader(const std::string& path, const Options& options, std::atomic<unsigned>& reading,
         OrderedRun<Item>::Channel& out)
      : path_(path), options_(options), reading_(reading), out_(out) {
    // Unless the writer must see each number (--unique), the records are
    // formatted here, on the reading threads, and go to it in pieces.
    if (!options_.unique && !options_.text) {
      formatter_.emplace(options_.format);
      formatter_->Follow();
    }
  }

  void Read() {
    if (options_.text) {
      ReadText();
      return;
    }
    // The selection cannot change during a run: its answers are worked out
    // once, not read from the boxes at every candidate.
    phone::StreamingScanner::FixedLengths ticked{};
    for (std::size_t n = 0; n < ticked.size(); ++n) {
      ticked[n] = phone::IsPhoneLengthTicked(options_.lengths, static_cast<std::int16_t>(n));
    }
    phone::StreamingScanner scanner(ticked, options_.rule);
    // A workbook read while at most half the jobs are busy gets a second
    // thread (inflating ahead, or parsing a big sheet's stretches while the
    // core stays free): one big workbook uses both cores, many small ones
    // are not slowed by threads they cannot use.
    const unsigned busy = ++reading_;
    struct Done {
      std::atomic<unsigned>& reading;
      ~Done() { --reading; }
    } done{reading_};
    sheet::OpenOptions open_options;
    open_options.inflate_ahead = options_.jobs > 1 && 2 * busy <= options_.jobs;
    open_options.core_to_spare = [this] { return 2 * reading_.load() <= options_.jobs; };
    const OpenFn open = [&open_options](const std::string& p) {
      return sheet::OpenWorkbook(p, open_options);
    };
    ReadWorkbookRecords(path_, open, scanner, *this, *this, [this] { return out_.Stopping(); });
    HandOnFormatted();
  }

  void Found(const Record& record) override {
    if (formatter_) {
      if (options_.e164) {
        const results::Normalised normalised = options_.e164->Normalise(record.number);
        formatter_->Add(record, &normalised, formatted_);
      } else {
        formatter_->Add(record, nullptr, formatted_);
      }
      ++formatted_records_;
      if (formatted_.size() >= kFormattedPiece) HandOnFormatted();
      return;
    }
    if (!sheet_named_ || sheet_ != record.sheet) {
      sheet_named_ = true;
      sheet_ = record.sheet;
      out_.Put(Item{Item::Kind::kSheet, sheet_, 0, 0, {}});
    }
    Item item{Item::Kind::kRecord, record.number, record.row, record.column, {}};
    // libphonenumber's work on each number is shared out among the workers.
    if (options_.e164) item.normalised = options_.e164->Normalise(record.number);
    out_.Put(std::move(item));
  }

  void Report(const ErrorReport& report) override {
    HandOnFormatted();  // the records found before it go first
    // The run's own reports name the path already; a sheet's do not.
    Item item;
    item.kind = Item::Kind::kError;
    item.text =
        report.location == location::kRun ? report.description : path_ + ": " + report.description;
    out_.Put(std::move(item));
  }

 private:
  // The workbook's text goes out in pieces as it is built, one line per
  // workbook.
  void ReadText() {
    try {
      // Opened twice: each sheet is read once for its range, once for its
      // text, and each opening has the budgets of one reading.
      auto ranges = sheet::OpenWorkbook(path_);
      auto text = ranges ? sheet::OpenWorkbook(path_) : std::move(ranges);
      if (!text) {
        Report({path_ + ": " + text.error().reason, location::kRun, 122});
        return;
      }
      StreamWorkbookText(*ranges.value(), *text.value(), *this, [this](std::string_view piece) {
        Item item;
        item.kind = Item::Kind::kFormatted;
        item.text = piece;
        // A piece counts as the records of its size against what may be held.
        out_.Put(std::move(item), piece.size() / kBytesPerRecord + 1);
      });
      out_.Put(Item{Item::Kind::kFormatted, "\r\n", 0, 0, {}});
    } catch (const std::bad_alloc&) {
      Report({path_ + ": " + std::string(kTooLargeToRead), location::kRun, 126});
    }
  }

  void HandOnFormatted() {
    if (formatted_.empty()) return;
    Item item;
    item.kind = Item::Kind::kFormatted;
    item.text.swap(formatted_);
    // It counts as its records against what may be held ahead.
    out_.Put(std::move(item), formatted_records_);
    formatted_records_ = 0;
    formatted_.reserve(kFormattedPiece + 256);
  }

  // A formatted record's bytes, about, for weighing pieces of text.
  static constexpr std::size_t kBytesPerRecord = 16;
  // Formatted records are handed on in pieces of about this size.
  static constexpr std::size_t kFormattedPiece = std::size_t{16} << 10;

  const std::string& path_;
  const Options& options_;
  std::atomic<unsigned>& reading_;  // workbooks being read right now
  OrderedRun<Item>::Channel& out_;
  std::optional<results::RecordFormatter> formatter_;
  std::string formatted_;
  std::size_t formatted_records_ = 0;  // in formatted_
  std::string sheet_;                  // of the last kSheet item
  bool sheet_named_ = false;
};

}  // namespace

void ReadWorkbook(const std::string& path, const Options& options, std::atomic<unsigned>& reading,
                  OrderedRun<Item>::Channel& out) {
  Reader(path, options, reading, out).Read();
}

std::string UniqueKey(const Record& record, const results::Normalised* normalised) {
  if (normalised && !normalised->e164.empty()) return normalised->e164;
  std::string digits;
  for (char c : record.number) {
    if (c >= '0' && c <= '9') digits += c;
  }
  return digits;
}

}  // namespace dialsift::cli
