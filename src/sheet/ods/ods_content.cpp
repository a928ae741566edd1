#include "sheet/ods/ods_content.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>
#include <span>

#include "sheet/limits.h"
#include "sheet/number_format.h"

namespace dialsift::sheet::ods {

namespace {

constexpr std::string_view kDrawNs = "urn:oasis:names:tc:opendocument:xmlns:drawing:1.0";
// Repeat counts are clamped here, far beyond any sheet, so that sums of
// them never wrap.
constexpr std::uint64_t kMaxCount = std::uint64_t{1} << 40;
constexpr std::uint64_t kMaxPosition = std::uint64_t{1} << 50;

std::uint64_t Count(std::optional<std::string_view> value) {
  if (!value) return 1;
  std::uint64_t n = 0;
  for (const char c : *value) {
    if (c < '0' || c > '9') return 1;
    n = std::min(kMaxCount, n * 10 + static_cast<std::uint64_t>(c - '0'));
  }
  return n == 0 ? 1 : n;
}

enum class Ns : std::uint8_t { kOther, kOffice, kTable, kText, kDraw };

// The namespaces told apart here differ in length, so one comparison of
// the URI settles which one a name is in.
Ns NsOf(std::string_view ns) {
  switch (ns.size()) {
    case kOfficeNs.size():
      return ns == kOfficeNs ? Ns::kOffice : Ns::kOther;
    case kTableNs.size():
      return ns == kTableNs ? Ns::kTable : Ns::kOther;
    case kTextNs.size():
      return ns == kTextNs ? Ns::kText : Ns::kOther;
    case kDrawNs.size():
      return ns == kDrawNs ? Ns::kDraw : Ns::kOther;
    default:
      return Ns::kOther;
  }
}

inline bool IsLeadByte(char c) {
  return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
}

// The attributes of a cell read here. The office: attributes that hold its
// typed value come first, in the order of ValueAttrFor.
enum class Attr : std::uint8_t {
  kStringValue,
  kValue,
  kDateValue,
  kTimeValue,
  kBooleanValue,
  kType,
  kRepeat,
  kStyle,
  kFormula,
  kOther
};
constexpr std::size_t kAttrs = static_cast<std::size_t>(Attr::kOther);
// No such attribute: elements have far fewer (kMaxAttributesPerElement).
constexpr std::uint16_t kAbsent = 0xFFFF;
static_assert(kMaxAttributesPerElement < kAbsent);

// Told apart by length first: a cell's names are compared once each.
Attr AttrOf(std::string_view local) {
  switch (local.size()) {
    case 5:
      return local == "value" ? Attr::kValue : Attr::kOther;
    case 10:
      if (local == "value-type") return Attr::kType;
      if (local == "date-value") return Attr::kDateValue;
      if (local == "time-value") return Attr::kTimeValue;
      if (local == "style-name") return Attr::kStyle;
      return Attr::kOther;
    case 7:
      return local == "formula" ? Attr::kFormula : Attr::kOther;
    case 12:
      return local == "string-value" ? Attr::kStringValue : Attr::kOther;
    case 13:
      return local == "boolean-value" ? Attr::kBooleanValue : Attr::kOther;
    case 23:
      return local == "number-columns-repeated" ? Attr::kRepeat : Attr::kOther;
    default:
      return Attr::kOther;
  }
}

}  // namespace

SheetHandler::ValueType SheetHandler::TypeOf(std::string_view type) {
  switch (type.size()) {
    case 0:
      return ValueType::kNone;
    case 4:
      if (type == "date") return ValueType::kDate;
      if (type == "time") return ValueType::kTime;
      break;
    case 5:
      if (type == "float") return ValueType::kFloat;
      break;
    case 7:
      if (type == "boolean") return ValueType::kBoolean;
      break;
    case 8:
      if (type == "currency") return ValueType::kCurrency;
      break;
    case 10:
      if (type == "percentage") return ValueType::kPercentage;
      break;
  }
  return ValueType::kOther;
}

std::size_t SheetHandler::ValueAttrFor(ValueType type) {
  switch (type) {
    case ValueType::kFloat:
    case ValueType::kPercentage:
    case ValueType::kCurrency:
      return static_cast<std::size_t>(Attr::kValue);
    case ValueType::kDate:
      return static_cast<std::size_t>(Attr::kDateValue);
    case ValueType::kTime:
      return static_cast<std::size_t>(Attr::kTimeValue);
    case ValueType::kBoolean:
      return static_cast<std::size_t>(Attr::kBooleanValue);
    default:
      return static_cast<std::size_t>(Attr::kStringValue);
  }
}

// The parser numbers the namespace declarations of a parse: a verdict is
// remembered by that number, so that each URI is compared once, not once
// per name.
std::uint8_t SheetHandler::NsCode(const XmlName& name) {
  if (name.ns_id == 0) return static_cast<std::uint8_t>(NsOf(name.ns));
  auto& seen = ns_seen_[name.ns_id % ns_seen_.size()];
  if (seen.id != name.ns_id) seen = {name.ns_id, static_cast<std::uint8_t>(NsOf(name.ns))};
  return seen.ns;
}

void SheetHandler::StartElement(const XmlName& name, const XmlAttributes& attrs) {
  const Ns ns = static_cast<Ns>(NsCode(name));
  if (in_cell_) {
    ++cell_depth_;
    if (hidden_depth_ > 0) {
      ++hidden_depth_;
      return;
    }
    // Comments, shapes anchored to the cell and note bodies are not shown
    // as the cell's text.
    if ((ns == Ns::kOffice && name.local == "annotation") || ns == Ns::kDraw ||
        (ns == Ns::kText && name.local == "note-body")) {
      hidden_depth_ = 1;
      return;
    }
    if (paragraph_depth_ == 0) {
      if (cell_depth_ == 1 && ns == Ns::kText && (name.local == "p" || name.local == "h")) {
        if (paragraphs_++ > 0) AppendText("\n");
        paragraph_depth_ = 1;
      }
      return;
    }
    ++paragraph_depth_;
    if (ns != Ns::kText) return;
    if (name.local == "s") {
      const auto n = std::min<std::uint64_t>(Count(attrs.Get(kTextNs, "c")), kMaxCellChars);
      AppendText(std::string(static_cast<std::size_t>(n), ' '));
    } else if (name.local == "tab") {
      AppendText("\t");
    } else if (name.local == "line-break") {
      AppendText("\n");
    }
    return;
  }
  if (ns == Ns::kOffice && name.local == "spreadsheet") {
    if (spreadsheet_depth_++ == 0 && !formats_) formats_.emplace(common_, styles_);
    return;
  }
  if (spreadsheet_depth_ == 0) {
    collector_.StartElement(name, attrs);
    return;
  }
  if (ns != Ns::kTable) return;
  if (name.local == "table") {
    if (table_depth_++ == 0) BeginTable(attrs);
    return;
  }
  if (!sink_) return;
  if (name.local == "table-column") {
    if (table_depth_ == 1) StartColumn(attrs);
    return;
  }
  if (name.local == "table-row") {
    in_row_ = true;
    row_repeat_ = Count(attrs.Get(kTableNs, "number-rows-repeated"));
    column_ = 1;
    row_used_ = 0;
  } else if (in_row_ && name.local == "table-cell") {
    StartCell(attrs, false);
  } else if (in_row_ && name.local == "covered-table-cell") {
    StartCell(attrs, true);
  }
}

void SheetHandler::EndElement(const XmlName& name) {
  if (in_cell_) {
    if (cell_depth_ == 0) return EndCell();
    --cell_depth_;
    if (hidden_depth_ > 0) {
      --hidden_depth_;
    } else if (paragraph_depth_ > 0) {
      --paragraph_depth_;
    }
    return;
  }
  const Ns ns = static_cast<Ns>(NsCode(name));
  if (ns == Ns::kOffice && name.local == "spreadsheet") {
    --spreadsheet_depth_;
    return;
  }
  if (spreadsheet_depth_ == 0) {
    collector_.EndElement(name);
    return;
  }
  if (ns != Ns::kTable) return;
  if (name.local == "table") {
    if (--table_depth_ == 0) EndTable();
  } else if (name.local == "table-row" && sink_) {
    EndRow();
  }
}

void SheetHandler::BeginTable(const XmlAttributes& attrs) {
  sink_ = router_.BeginSheet(tables_seen_, attrs.Get(kTableNs, "name").value_or(""));
  sheet_error_.reset();
  row_ = 1;
  column_ = 1;
  in_row_ = false;
  row_used_ = 0;
  repeated_cells_ = 0;
  beyond_ = false;
  column_styles_.clear();
  columns_declared_ = 0;
}

void SheetHandler::StartColumn(const XmlAttributes& attrs) {
  const std::uint64_t first = columns_declared_ + 1;
  columns_declared_ = std::min(
      kMaxPosition, columns_declared_ + Count(attrs.Get(kTableNs, "number-columns-repeated")));
  const std::string_view style = attrs.Get(kTableNs, "default-cell-style-name").value_or("");
  if (column_styles_.empty() ? style.empty() : column_styles_.back().style == style) return;
  column_styles_.push_back({first, std::string(style)});
}

void SheetHandler::EndTable() {
  const std::size_t index = tables_seen_++;
  const bool routed = sink_ != nullptr || sheet_error_.has_value();
  sink_ = nullptr;
  if (!routed) return;
  if (beyond_ && !sheet_error_) {
    sheet_error_ = Error{ErrorKind::kTooLarge,
                         "cells beyond the last row or column of a worksheet were not read"};
  }
  const Status status = sheet_error_ ? Status(*sheet_error_) : Status::Ok();
  if (!router_.EndSheet(index, status)) Stop();
}

// The rest of the sheet is passed over; the error goes with its end.
void SheetHandler::SheetFailed(Error error) {
  sheet_error_ = std::move(error);
  sink_ = nullptr;
}

void SheetHandler::Characters(std::string_view text) {
  if (in_cell_ && paragraph_depth_ > 0 && hidden_depth_ == 0) {
    AppendText(text);
  } else if (spreadsheet_depth_ == 0 && collector_.Inside()) {
    collector_.Characters(text);
  }
}

void SheetHandler::AppendText(std::string_view text) {
  std::string& into = *text_;
  // Characters are counted only once the bytes could go beyond what a cell
  // holds: there are never more characters than bytes.
  if (!counting_) {
    if (into.size() + text.size() <= kMaxCellChars) {
      into += text;
      return;
    }
    counting_ = true;
    text_chars_ = 0;
    for (const char c : into) text_chars_ += IsLeadByte(c);
  }
  if (text_chars_ >= kMaxCellChars) return;
  for (const char c : text) {
    // Counts characters by their first byte, so the cut never splits one.
    if (IsLeadByte(c) && ++text_chars_ > kMaxCellChars) return;
    into += c;
  }
}

void SheetHandler::StartCell(const XmlAttributes& attrs, bool covered) {
  in_cell_ = true;
  covered_ = covered;
  cell_depth_ = 0;
  paragraph_depth_ = 0;
  hidden_depth_ = 0;
  paragraphs_ = 0;
  // The text goes straight into the row's next slot, whose string keeps its
  // storage from row to row; the slot is taken if the cell shows something.
  if (row_used_ == row_cells_.size()) row_cells_.emplace_back();
  text_ = &row_cells_[row_used_].text;
  text_->clear();
  counting_ = false;
  // One pass over the attributes; the first of a name counts, as in a
  // lookup by name. Each name read notes the position of its attribute.
  const auto all = attrs.All();
  std::array<std::uint16_t, kAttrs> at;
  at.fill(kAbsent);
  for (std::size_t i = 0; i < all.size() && i < kAbsent; ++i) {
    const Attr attr = AttrOf(all[i].name.local);
    if (attr == Attr::kOther) continue;
    auto& slot = at[static_cast<std::size_t>(attr)];
    if (slot != kAbsent) continue;
    const bool table_attr = attr == Attr::kRepeat || attr == Attr::kStyle || attr == Attr::kFormula;
    if (static_cast<Ns>(NsCode(all[i].name)) != (table_attr ? Ns::kTable : Ns::kOffice)) continue;
    slot = static_cast<std::uint16_t>(i);
  }
  auto get = [&](Attr attr) -> std::optional<std::string_view> {
    const std::uint16_t i = at[static_cast<std::size_t>(attr)];
    if (i == kAbsent) return std::nullopt;
    return all[i].value;
  };
  const std::optional<std::string_view> repeat = get(Attr::kRepeat);
  const std::optional<std::string_view> type = get(Attr::kType);
  cell_repeat_ = Count(repeat);
  value_type_ = TypeOf(type.value_or(""));
  // Assigned, not rebuilt: the string keeps its storage cell after cell.
  value_.assign(get(static_cast<Attr>(ValueAttrFor(value_type_))).value_or(""));
  style_.assign(get(Attr::kStyle).value_or(""));
  formula_ = get(Attr::kFormula).has_value();
}

void SheetHandler::EndCell() {
  in_cell_ = false;
  const std::uint64_t column = column_;
  column_ = std::min(kMaxPosition, column_ + cell_repeat_);
  // Covered cells sit under a merged cell and show nothing.
  if (covered_) return;
  const bool typed = value_type_ != ValueType::kNone;
  std::string& shown = *text_;
  bool has_text = paragraphs_ > 0 && (!shown.empty() || typed);
  if (!has_text && !typed) return;
  if (typed && value_type_ != ValueType::kOther) {
    if (auto rendered = RenderValue(column)) {
      shown = std::move(*rendered);
      has_text = true;
    }
  }
  if (!has_text) {
    // A typed value stored without its text (some writers leave the text
    // out): show the value itself.
    if (value_type_ == ValueType::kFloat || value_type_ == ValueType::kPercentage ||
        value_type_ == ValueType::kCurrency) {
      double v = 0;
      const auto [end, ec] = std::from_chars(value_.data(), value_.data() + value_.size(), v);
      if (ec == std::errc() && end == value_.data() + value_.size()) {
        shown =
            value_type_ == ValueType::kPercentage ? FormatGeneral(v * 100) + "%" : FormatGeneral(v);
      } else {
        shown = value_;
      }
    } else if (value_type_ == ValueType::kBoolean) {
      shown = value_ == "true" || value_ == "1" ? "TRUE" : "FALSE";
    } else {
      shown = value_;
    }
  }
  if (column > kMaxColumns) {
    beyond_ = true;
    return;
  }
  const std::uint64_t room = kMaxColumns - column + 1;
  if (cell_repeat_ > room) beyond_ = true;
  RowCell& slot = row_cells_[row_used_];
  slot.column = column;
  slot.repeat = std::min(cell_repeat_, room);
  ++row_used_;
}

std::optional<std::string> SheetHandler::RenderValue(std::uint64_t column) {
  if (!formats_) return std::nullopt;
  // A formula that failed stores zero and shows its error ("#DIV/0!",
  // "Err:502").
  if (formula_ && paragraphs_ > 0 && (text_->starts_with('#') || text_->starts_with("Err:"))) {
    return std::nullopt;
  }
  std::optional<double> value;
  // A formula's result in a cell without a data style is shown in a format
  // the application infers from the formula (TRUE() a boolean, TODAY() a
  // date): its stored text is what it showed.
  auto unstyled = CellFormats::Unstyled::kStoredText;
  switch (value_type_) {
    case ValueType::kFloat:
      if (!formula_) unstyled = CellFormats::Unstyled::kGeneral;
      [[fallthrough]];
    case ValueType::kPercentage:
    case ValueType::kCurrency: {
      double v = 0;
      const auto [end, ec] = std::from_chars(value_.data(), value_.data() + value_.size(), v);
      if (ec == std::errc() && end == value_.data() + value_.size()) value = v;
      break;
    }
    case ValueType::kDate:
      value = DateSerial(value_);
      break;
    case ValueType::kTime:
      value = DurationDays(value_);
      break;
    case ValueType::kBoolean:
      if (!formula_) unstyled = CellFormats::Unstyled::kBoolean;
      if (value_ == "true" || value_ == "1") value = 1;
      if (value_ == "false" || value_ == "0") value = 0;
      break;
    default:
      break;
  }
  if (!value) return std::nullopt;
  std::string_view style = style_;
  if (style.empty() && !column_styles_.empty() && column <= columns_declared_) {
    // The last declared range that starts at or before the cell's column.
    const auto after = std::upper_bound(
        column_styles_.begin(), column_styles_.end(), column,
        [](std::uint64_t column, const ColumnStyle& range) { return column < range.first; });
    if (after != column_styles_.begin()) style = std::prev(after)->style;
  }
  return formats_->Render(style, *value, unstyled);
}

void SheetHandler::EndRow() {
  in_row_ = false;
  const std::uint64_t first = row_;
  row_ = std::min(kMaxPosition, row_ + row_repeat_);
  if (router_.SkipRest()) {
    sink_ = nullptr;
    return;
  }
  const std::span<const RowCell> cells(row_cells_.data(), row_used_);
  if (cells.empty()) {
    if (sink_->Cancelled()) Stop();
    return;
  }
  if (first > kMaxRows) {
    beyond_ = true;
    return;
  }
  const std::uint64_t rows = std::min(row_repeat_, kMaxRows - first + 1);
  if (rows < row_repeat_) beyond_ = true;
  std::uint64_t per_row = 0;
  for (const auto& cell : cells) per_row += cell.repeat;
  repeated_cells_ += rows * per_row - cells.size();
  if (repeated_cells_ > kMaxRepeatedCells) {
    return SheetFailed(
        {ErrorKind::kTooLarge, "the sheet repeats its cells more than a worksheet can hold"});
  }
  for (std::uint64_t r = 0; r < rows; ++r) {
    for (const auto& cell : cells) {
      for (std::uint64_t k = 0; k < cell.repeat; ++k) {
        sink_->Cell(static_cast<std::uint32_t>(first + r),
                    static_cast<std::uint32_t>(cell.column + k), cell.text);
      }
    }
    if (sink_->Cancelled()) return Stop();
  }
}

}  // namespace dialsift::sheet::ods
