#include "extract/workbook_text.h"

#include <algorithm>
#include <deque>
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

// The first reading of a sheet: its used range and whether its cells come
// in sheet order.
class RangeSink final : public sheet::CellSink {
 public:
  void Cell(std::uint32_t row, std::uint32_t column, std::string_view) override {
    if (any && (row < last_row_seen || (row == last_row_seen && column < last_column_seen))) {
      in_order = false;
    }
    last_row_seen = row;
    last_column_seen = column;
    last_row = std::max(last_row, row);
    last_column = std::max(last_column, column);
    any = true;
  }
  std::uint32_t last_row = 0;
  std::uint32_t last_column = 0;
  std::uint32_t last_row_seen = 0;
  std::uint32_t last_column_seen = 0;
  bool in_order = true;
  bool any = false;
};

// Collects the texts of a sheet stored out of order.
class CollectingSink final : public sheet::CellSink {
 public:
  void Cell(std::uint32_t row, std::uint32_t column, std::string_view text) override {
    const auto trimmed = TrimSpaces(text);
    if (!trimmed.empty()) cells.push_back({row, column, std::string(trimmed)});
  }
  std::vector<StoredCell> cells;
};

// Writes texts separated by the blanks that the empty cells between them
// stand for, handing the text on in pieces. Leading and trailing blanks are
// never written, which is the final trim.
class TextBuilder {
 public:
  explicit TextBuilder(std::function<void(std::string_view)> out) : out_(std::move(out)) {}
  void Blanks(std::uint64_t n) { pending_ += n; }
  void Text(std::string_view text) {
    if (started_) {
      buffer_.append(static_cast<std::size_t>(std::min(pending_, kMaxBlankRun)), ' ');
    }
    buffer_ += text;
    started_ = true;
    pending_ = 0;
    if (buffer_.size() >= kTextPiece) Flush();
  }
  void Flush() {
    if (!buffer_.empty()) out_(buffer_);
    buffer_.clear();
  }

 private:
  std::function<void(std::string_view)> out_;
  std::string buffer_;
  std::uint64_t pending_ = 0;
  bool started_ = false;
};

// Writes a sheet's cells, which come in sheet order, into the text: a cell's
// position is counted over the rectangle, row by row.
class SheetText final : public sheet::CellSink {
 public:
  SheetText(TextBuilder& text, std::uint64_t width) : text_(text), width_(width) {}
  void Cell(std::uint32_t row, std::uint32_t column, std::string_view text) override {
    const auto trimmed = TrimSpaces(text);
    if (trimmed.empty()) return;
    const std::uint64_t pos = (row - 1) * width_ + (column - 1);
    text_.Blanks(pos - std::min(pos, next_));
    text_.Text(trimmed);
    text_.Blanks(1);
    next_ = pos + 1;
  }
  // The blanks of the empty cells after the last text, up to `total`.
  void Finish(std::uint64_t total) {
    if (total > next_) text_.Blanks(total - next_);
  }

 private:
  TextBuilder& text_;
  std::uint64_t width_;
  std::uint64_t next_ = 0;  // position of the next cell to account for
};

struct Pending {
  std::uint32_t row;
  std::uint32_t column;
  std::uint64_t order;  // arrival, so that numbers of one cell keep theirs
  std::string number;
  bool spaced_cell = false;  // the cell's whole text (RecordSink::SpacedCell)
};

constexpr bool Before(const Pending& a, const Pending& b) {
  return std::tie(a.row, a.column, a.order) < std::tie(b.row, b.column, b.order);
}

// A number waiting in the ring: 24 bytes, the text inline when it is short,
// as a sheet's numbers nearly all are. The ring's pages are touched once per
// process as it first fills, and then cycled through: the smaller the slot,
// the fewer pages to fault in and the more of the ring stays in cache.
struct Slot {
  static constexpr std::size_t kInline = 15;
  static constexpr std::uint8_t kSpaced = 0x80;   // the cell's whole text
  static constexpr std::uint8_t kSpilled = 0x7f;  // the text waits in spilled_
  std::uint32_t row;
  std::uint32_t column;
  std::uint8_t size_and_kind;  // the inline size, or kSpilled; kSpaced added
  char text[kInline];
};
static_assert(sizeof(Slot) == 24);

// Feeds each cell's text to the scanner as it arrives and hands the numbers
// on as records, in sheet order. While the cells come in order the numbers
// wait in a ring; the first cell out of order moves them into a heap. Either
// way at most kReorderWindow numbers wait: beyond that the first in sheet
// order goes out. The ring's slot freed by a number going out takes the next
// one in, so a long sheet cycles through one window's memory.
class ScanningSink final : public sheet::CellSink, phone::StreamingScanner::Found {
 public:
  ScanningSink(phone::StreamingScanner& scanner, RecordSink& out, std::string_view path,
               const std::function<bool()>& cancelled)
      : scanner_(scanner), out_(out), cancelled_(cancelled) {
    record_.path = path;
    // The whole window at once: growing by doubling, a long sheet's ring
    // would copy itself a dozen times and leave behind blocks too small for
    // the next workbook's, to be faulted in anew. Pages are only touched as
    // numbers fill them, so a short sheet costs a few.
    ring_.reserve(kReorderWindow + 1);
  }

  void StartSheet(const std::string& name) {
    record_.sheet = name;
    last_row_ = last_column_ = 0;
  }

  void Cell(std::uint32_t row, std::uint32_t column, std::string_view text) override {
    if (!heap_ && (row < last_row_ || (row == last_row_ && column < last_column_))) {
      waiting_.clear();
      std::uint64_t order = order_ - count_;
      for (; count_ > 0; --count_) {
        Slot& slot = ring_[head_];
        waiting_.push_back({slot.row, slot.column, order++, TakeText(slot),
                            (slot.size_and_kind & Slot::kSpaced) != 0});
        head_ = (head_ + 1) % ring_.size();
      }
      head_ = 0;
      heap_ = true;
      std::make_heap(waiting_.begin(), waiting_.end(), After);
    }
    last_row_ = row;
    last_column_ = column;
    row_ = row;
    column_ = column;
    scanner_.Scan(text, *this);
  }
  bool Cancelled() override { return cancelled_ && cancelled_(); }

  // Hands on every number still waiting: the sheet is done.
  void Finish() {
    while (heap_ ? !waiting_.empty() : count_ > 0) EmitFirst();
    waiting_.clear();
    head_ = 0;
    heap_ = false;
  }

 private:
  // Heap order for std::*_heap: the first in sheet order on top.
  static bool After(const Pending& a, const Pending& b) { return Before(b, a); }

  void Number(std::string_view number) override { Hold(number, false); }
  void SpacedCell(std::string_view cell) override { Hold(cell, true); }

  void Hold(std::string_view number, bool spaced_cell) {
    if (heap_) {
      waiting_.push_back({row_, column_, order_++, std::string(number), spaced_cell});
      std::push_heap(waiting_.begin(), waiting_.end(), After);
      if (waiting_.size() > kReorderWindow) EmitFirst();
      return;
    }
    // The ring only wraps once it has all its slots: until then nothing
    // leaves it but at the end of a sheet, which starts it again at 0.
    const std::size_t at = head_ + count_;
    Slot& slot = at < ring_.size()                   ? ring_[at]
                 : ring_.size() < kReorderWindow + 1 ? ring_.emplace_back()
                                                     : ring_[at - ring_.size()];
    slot.row = row_;
    slot.column = column_;
    std::uint8_t kind = spaced_cell ? Slot::kSpaced : 0;
    if (number.size() <= Slot::kInline) {
      kind |= static_cast<std::uint8_t>(number.size());
      std::copy(number.begin(), number.end(), slot.text);
    } else {
      kind |= Slot::kSpilled;
      spilled_.emplace_back(number);
    }
    slot.size_and_kind = kind;
    ++order_;
    if (++count_ > kReorderWindow) EmitFirst();
  }

  // The text of the ring's slot; a spilled one is the first in spilled_,
  // since the ring's numbers leave it in the order they came.
  std::string TakeText(const Slot& slot) {
    const std::uint8_t size = slot.size_and_kind & ~Slot::kSpaced;
    if (size != Slot::kSpilled) return std::string(slot.text, size);
    std::string text = std::move(spilled_.front());
    spilled_.pop_front();
    return text;
  }

  void EmitFirst() {
    if (heap_) {
      std::pop_heap(waiting_.begin(), waiting_.end(), After);
      Pending& p = waiting_.back();
      record_.number.swap(p.number);
      Emit(p.row, p.column, p.spaced_cell);
      waiting_.pop_back();
      return;
    }
    const Slot& slot = ring_[head_];
    record_.number = TakeText(slot);
    Emit(slot.row, slot.column, (slot.size_and_kind & Slot::kSpaced) != 0);
    head_ = (head_ + 1) % ring_.size();
    if (--count_ == 0) head_ = 0;
  }

  void Emit(std::uint32_t row, std::uint32_t column, bool spaced_cell) {
    record_.row = row;
    record_.column = column;
    if (spaced_cell) {
      out_.SpacedCell(record_);
    } else {
      out_.Found(record_);
    }
  }

  phone::StreamingScanner& scanner_;
  RecordSink& out_;
  const std::function<bool()>& cancelled_;
  Record record_;
  std::vector<Slot> ring_;           // in order: count_ numbers from head_ on
  std::deque<std::string> spilled_;  // the ring's texts too long for a slot
  std::size_t head_ = 0;
  std::size_t count_ = 0;
  std::vector<Pending> waiting_;  // out of order: a heap
  bool heap_ = false;
  std::uint64_t order_ = 0;
  std::uint32_t row_ = 0;
  std::uint32_t column_ = 0;
  std::uint32_t last_row_ = 0;
  std::uint32_t last_column_ = 0;
};

}  // namespace

void StreamWorkbookText(sheet::Workbook& ranges, sheet::Workbook& text, ErrorReporter& reporter,
                        const std::function<void(std::string_view)>& out) {
  TextBuilder builder(out);
  const auto sheets = ranges.Sheets();
  for (std::size_t i = 0; i < sheets.size(); ++i) {
    RangeSink range;
    if (auto status = ranges.ReadSheet(i, range); !status) {
      reporter.Report({"Sheet \"" + sheets[i].name + "\": " + status.error().reason,
                       location::kReadWorkbook, range.any ? 110 : 102});
    }
    if (!range.any) continue;
    SheetText sheet(builder, range.last_column);
    if (range.in_order) {
      (void)text.ReadSheet(i, sheet);  // the same cells again
    } else {
      CollectingSink collected;
      (void)text.ReadSheet(i, collected);
      std::stable_sort(collected.cells.begin(), collected.cells.end(),
                       [](const auto& a, const auto& b) {
                         return std::tie(a.row, a.column) < std::tie(b.row, b.column);
                       });
      for (const auto& cell : collected.cells) sheet.Cell(cell.row, cell.column, cell.text);
    }
    sheet.Finish(std::uint64_t{range.last_row} * range.last_column);
  }
  builder.Flush();
}

std::string ReadWorkBookToString(sheet::Workbook& workbook, ErrorReporter& reporter) {
  std::string whole;
  TextBuilder builder([&whole](std::string_view piece) { whole += piece; });
  const auto sheets = workbook.Sheets();
  for (std::size_t i = 0; i < sheets.size(); ++i) {
    RangeSink range;
    CollectingSink collected;
    struct Both final : sheet::CellSink {
      RangeSink& range;
      CollectingSink& collected;
      Both(RangeSink& r, CollectingSink& c) : range(r), collected(c) {}
      void Cell(std::uint32_t row, std::uint32_t column, std::string_view text) override {
        range.Cell(row, column, text);
        collected.Cell(row, column, text);
      }
    } both(range, collected);
    if (auto status = workbook.ReadSheet(i, both); !status) {
      reporter.Report({"Sheet \"" + sheets[i].name + "\": " + status.error().reason,
                       location::kReadWorkbook, range.any ? 110 : 102});
    }
    std::stable_sort(collected.cells.begin(), collected.cells.end(),
                     [](const auto& a, const auto& b) {
                       return std::tie(a.row, a.column) < std::tie(b.row, b.column);
                     });
    SheetText sheet(builder, range.last_column);
    for (const auto& cell : collected.cells) sheet.Cell(cell.row, cell.column, cell.text);
    sheet.Finish(std::uint64_t{range.last_row} * range.last_column);
  }
  builder.Flush();
  return whole;
}

void ScanWorkbook(sheet::Workbook& workbook, std::string_view path,
                  phone::StreamingScanner& scanner, RecordSink& sink, ErrorReporter& reporter,
                  const std::function<bool()>& cancelled) {
  ScanningSink cells(scanner, sink, path, cancelled);
  const auto sheets = workbook.Sheets();
  for (std::size_t i = 0; i < sheets.size(); ++i) {
    if (cancelled && cancelled()) break;
    cells.StartSheet(sheets[i].name);
    Status status;
    try {
      status = workbook.ReadSheet(i, cells);
    } catch (const std::bad_alloc&) {
      cells.Finish();  // the numbers found before stay
      throw;
    }
    cells.Finish();
    if (!status) {
      reporter.Report({"Sheet \"" + sheets[i].name + "\": " + status.error().reason,
                       location::kReadWorkbook, 110});
    }
  }
}

std::vector<std::string> ScanWorkbook(sheet::Workbook& workbook, phone::StreamingScanner& scanner,
                                      ErrorReporter& reporter,
                                      const std::function<bool()>& cancelled) {
  struct Numbers final : RecordSink {
    std::vector<std::string> list;
    void Found(const Record& r) override { list.push_back(r.number); }
  } numbers;
  ScanWorkbook(workbook, {}, scanner, numbers, reporter, cancelled);
  return std::move(numbers.list);
}

}  // namespace dialsift
