#include "sheet/xlsx/xlsx_sheet.h"

#include <charconv>
#include <cmath>

#include "sheet/decimal_text.h"
#include "sheet/xlsx/xlsx_text.h"

namespace dialsift::sheet::xlsx {

namespace {

std::string_view TrimXmlSpace(std::string_view s) {
  while (!s.empty() &&
         (s.front() == ' ' || s.front() == '\t' || s.front() == '\n' || s.front() == '\r')) {
    s.remove_prefix(1);
  }
  while (!s.empty() &&
         (s.back() == ' ' || s.back() == '\t' || s.back() == '\n' || s.back() == '\r')) {
    s.remove_suffix(1);
  }
  return s;
}

bool ParseUnsigned(std::string_view text, std::uint64_t& out) {
  text = TrimXmlSpace(text);
  const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
  return ec == std::errc() && ptr == text.data() + text.size() && !text.empty();
}

bool ParseDouble(std::string_view text, double& out, WrittenDecimal& written) {
  text = TrimXmlSpace(text);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  // "inf" and "nan" are no numbers a cell can hold.
  return ParseDecimal(text, out, written) && std::isfinite(out);
}

}  // namespace

void KeptCells::Cell(std::uint32_t row, std::uint32_t column, std::string_view text) {
  if (full_ || text_.size() + text.size() > kMaxBytes || cells_.size() >= kMaxCells) {
    full_ = true;
    return;
  }
  cells_.push_back({row, column, static_cast<std::uint32_t>(text_.size()),
                    static_cast<std::uint32_t>(text.size())});
  text_ += text;
}

bool KeptCells::Cancelled() {
  if (cells_.size() >= kMaxCells) full_ = true;
  if (!full_) cells_.push_back({0, 0, 0, 0});
  return full_;
}

bool KeptCells::HandOn(CellSink& to) const {
  for (const Kept& c : cells_) {
    if (c.row == 0) {
      if (to.Cancelled()) return false;
    } else {
      to.Cell(c.row, c.column, std::string_view(text_).substr(c.begin, c.size));
    }
  }
  return true;
}

void KeptCells::Reserve() {
  // What a stretch of sheet XML usually shows: growing to it would fault in
  // fresh pages stretch after stretch.
  if (cells_.capacity() == 0) {
    cells_.reserve(8192);
    text_.reserve(std::size_t{128} << 10);
  }
}

void KeptCells::Clear() {
  cells_.clear();
  text_.clear();
  full_ = false;
}

SheetHandler::SheetHandler(const SheetContext& context, std::string_view part, CellSink& sink)
    : context_(context),
      part_(part),
      out_(sink),
      sink_(&sink),
      general_(context.engine->InternBuiltin(0)) {}

void SheetHandler::ReadAhead() {
  kept_.Clear();
  kept_.Reserve();
  sink_ = &kept_;
  position_known_ = false;
  independent_ = true;
}

bool SheetHandler::SameState(const SplitHandler& other) const {
  const auto* o = dynamic_cast<const SheetHandler*>(&other);
  // Inside a cell its value so far would have to match too: not worth it.
  return o && !in_cell_ && !o->in_cell_ && depth_in_data_ == o->depth_in_data_ &&
         phonetic_ == o->phonetic_ && !Done() && !o->Done();
}

bool SheetHandler::HandOn() {
  sink_ = &out_;
  if (kept_.HandOn(out_)) return true;
  Stop();
  return false;
}

void SheetHandler::Restart() {
  ClearOutcome();
  sink_ = &out_;
  kept_.Clear();
  position_known_ = true;
  independent_ = true;
  row_ = column_ = style_ = 0;
  type_ = Type::kNumber;
  depth_in_data_ = phonetic_ = 0;
  in_cell_ = in_value_ = in_inline_ = has_value_ = false;
  last_ns_.clear();
  last_ns_id_ = 0;
  last_ns_ours_ = false;
  value_.clear();
}

std::string SheetHandler::Where() const {
  return ColumnName(column_) + std::to_string(row_) + " in " + std::string(part_);
}

bool SheetHandler::Ours(const XmlName& name) {
  // Most elements of a sheet share one namespace: remember the last one by
  // the parser's number of its declaration or else by its name. Not by its
  // address: a declaration that goes out of scope frees its storage, and the
  // next one, of another name, may take it.
  if (name.ns_id != 0 && name.ns_id == last_ns_id_) return last_ns_ours_;
  if (name.ns != last_ns_) {
    last_ns_.assign(name.ns);
    last_ns_ours_ = name.ns.empty() || IsMainNs(name.ns);
  }
  last_ns_id_ = name.ns_id;
  return last_ns_ours_;
}

void SheetHandler::StartElement(const XmlName& name, const XmlAttributes& attrs) {
  if (!Ours(name)) return;
  const std::string_view local = name.local;
  if (depth_in_data_ == 0) {
    if (local == "sheetData") depth_in_data_ = 1;
    return;
  }
  if (in_cell_) {
    if (local == "v") {
      in_value_ = true;
      has_value_ = true;
      value_.clear();
    } else if (local == "is") {
      in_inline_ = true;
      has_value_ = true;
      value_.clear();
    } else if (local == "rPh") {
      ++phonetic_;
    } else if (local == "t" && in_inline_ && phonetic_ == 0) {
      in_value_ = true;
    }
    return;
  }
  if (local == "c") {
    StartCell(attrs);
  } else if (local == "row") {
    StartRow(attrs);
  }
}

void SheetHandler::EndElement(const XmlName& name) {
  if (depth_in_data_ == 0 || !Ours(name)) return;
  const std::string_view local = name.local;
  if (in_cell_) {
    if (local == "v" || local == "t") {
      in_value_ = false;
    } else if (local == "is") {
      in_inline_ = false;
    } else if (local == "rPh") {
      if (phonetic_ > 0) --phonetic_;
    } else if (local == "c") {
      EndCell();
    }
    return;
  }
  if (local == "row") {
    if (sink_->Cancelled()) Stop();
  } else if (local == "sheetData") {
    depth_in_data_ = 0;
  }
}

void SheetHandler::Characters(std::string_view text) {
  if (!in_value_) return;
  if (value_.size() + text.size() > kMaxCellBytes) {
    return Fail(ErrorKind::kTooLarge, "cell " + Where() + " holds more than 16 MB of text");
  }
  value_ += text;
}

void SheetHandler::StartRow(const XmlAttributes& attrs) {
  if (const auto r = attrs.Get("r")) {
    std::uint64_t n = 0;
    if (!ParseUnsigned(*r, n) || n == 0) {
      return Fail(ErrorKind::kDamagedWorkbook,
                  "damaged row number \"" + std::string(*r) + "\" in " + std::string(part_));
    }
    if (n > kMaxRows) {
      return Fail(ErrorKind::kDamagedWorkbook,
                  "row " + std::string(*r) + " is beyond the last row of a sheet (1048576) in " +
                      std::string(part_));
    }
    row_ = static_cast<std::uint32_t>(n);
    position_known_ = true;
  } else {
    if (!position_known_) independent_ = false;
    if (row_ >= kMaxRows) {
      return Fail(ErrorKind::kDamagedWorkbook,
                  "a row beyond the last row of a sheet (1048576) in " + std::string(part_));
    }
    ++row_;
  }
  column_ = 0;
}

void SheetHandler::StartCell(const XmlAttributes& attrs) {
  type_ = Type::kNumber;
  style_ = 0;
  bool has_ref = false;
  for (const auto& a : attrs.All()) {
    if (!a.name.ns.empty()) continue;
    const std::string_view n = a.name.local;
    if (n == "r") {
      has_ref = true;
      CellRef ref;
      switch (ParseCellRef(a.value, ref)) {
        case RefStatus::kOk:
          row_ = ref.row;
          column_ = ref.column;
          position_known_ = true;
          break;
        case RefStatus::kOutOfRange:
          return Fail(ErrorKind::kDamagedWorkbook,
                      "cell reference " + std::string(a.value) +
                          " is beyond the last cell of a sheet (XFD1048576) in " +
                          std::string(part_));
        case RefStatus::kMalformed:
          return Fail(
              ErrorKind::kDamagedWorkbook,
              "damaged cell reference \"" + std::string(a.value) + "\" in " + std::string(part_));
      }
    } else if (n == "t") {
      const std::string_view t = a.value;
      if (t == "s") {
        type_ = Type::kShared;
      } else if (t == "inlineStr") {
        type_ = Type::kInline;
      } else if (t == "str") {
        type_ = Type::kFormulaString;
      } else if (t == "b") {
        type_ = Type::kBool;
      } else if (t == "e") {
        type_ = Type::kError;
      } else if (t == "d") {
        type_ = Type::kDate;
      }
    } else if (n == "s") {
      std::uint64_t s = 0;
      style_ = ParseUnsigned(a.value, s) && s < context_.styles.size()
                   ? static_cast<std::uint32_t>(s)
                   : 0;
    }
  }
  if (!has_ref) {
    // Without a reference a cell follows the previous one in its row.
    if (!position_known_) independent_ = false;
    if (row_ == 0) row_ = 1;
    if (column_ >= kMaxColumns) {
      return Fail(ErrorKind::kDamagedWorkbook,
                  "a cell beyond the last column of a sheet (XFD) in " + std::string(part_));
    }
    ++column_;
  }
  in_cell_ = true;
  in_value_ = false;
  in_inline_ = false;
  has_value_ = false;
  phonetic_ = 0;
  value_.clear();
}

FormatEngine::Handle SheetHandler::StyleFormat() const {
  return style_ < context_.styles.size() ? context_.styles[style_] : general_;
}

void SheetHandler::DeliverText(std::string_view text) {
  std::string_view stored = text;
  if (MayHoldEscape(text)) {
    scratch_.clear();
    AppendUnescaped(text, scratch_);
    stored = scratch_;
  }
  Deliver(StoredValue::Text(stored));
}

void SheetHandler::Deliver(const StoredValue& value) {
  sink_->Cell(row_, column_, context_.engine->DisplayedText(value, StyleFormat(), shown_));
}

void SheetHandler::EndCell() {
  in_cell_ = false;
  in_value_ = false;
  in_inline_ = false;
  if (!has_value_) {
    // A styled blank, or a formula without a cached result.
    sink_->Cell(row_, column_, {});
    return;
  }
  switch (type_) {
    case Type::kNumber: {
      double value = 0;
      WrittenDecimal written;
      if (ParseDouble(value_, value, written)) return Deliver(StoredValue::Number(value, written));
      // Not a number after all: show what is written.
      if (TrimXmlSpace(value_).empty()) return sink_->Cell(row_, column_, {});
      return DeliverText(value_);
    }
    case Type::kShared: {
      std::uint64_t index = 0;
      if (TrimXmlSpace(value_).empty()) return sink_->Cell(row_, column_, {});
      if (!ParseUnsigned(value_, index)) {
        return Fail(ErrorKind::kDamagedWorkbook,
                    "damaged shared-string index \"" + value_ + "\" at " + Where());
      }
      const std::size_t count = context_.strings ? context_.strings->size() : 0;
      if (index >= count) {
        return Fail(ErrorKind::kDamagedWorkbook, "shared string " + std::to_string(index) +
                                                     " does not exist (the workbook has " +
                                                     std::to_string(count) + ") at " + Where());
      }
      // Shared strings are stored unescaped already.
      return Deliver(StoredValue::Text((*context_.strings)[static_cast<std::size_t>(index)]));
    }
    case Type::kInline:
    case Type::kFormulaString:
      return DeliverText(value_);
    case Type::kBool: {
      const std::string_view v = TrimXmlSpace(value_);
      if (v.empty()) return sink_->Cell(row_, column_, {});
      return Deliver(StoredValue::Bool(v != "0" && v != "false"));
    }
    case Type::kError:
      return Deliver(StoredValue::Error(TrimXmlSpace(value_)));
    case Type::kDate: {
      const std::string_view v = TrimXmlSpace(value_);
      if (v.empty()) return sink_->Cell(row_, column_, {});
      if (const auto serial = IsoDateToSerial(v, context_.date1904)) {
        return Deliver(StoredValue::Number(*serial));
      }
      return DeliverText(value_);
    }
  }
}

}  // namespace dialsift::sheet::xlsx
