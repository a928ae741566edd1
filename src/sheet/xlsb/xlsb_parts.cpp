#include "sheet/xlsb/xlsb_parts.h"

#include <optional>
#include <unordered_map>

#include "sheet/limits.h"

namespace dialsift::sheet::xlsb {

Result<BookPart> ParseBookPart(ByteSource& source, std::string part) {
  RecordReader reader(source, part);
  BookPart book;
  Record rec;
  while (true) {
    auto more = reader.Next(rec);
    if (!more) return more.error();
    if (!*more) break;
    if (rec.type == rt::kWbProp && !rec.skipped) {
      Payload p(rec.data);
      std::uint32_t flags = 0;
      if (!p.U32(flags)) return DamagedPart(part, "workbook properties cut short");
      book.date1904 = flags & 1u;
    } else if (rec.type == rt::kBundleSh) {
      // Sheet state and tab id, then the relationship id and the name. Some
      // writers put four more bytes before the strings; accept either layout
      // when the strings then fill the record exactly.
      BundleSheet sheet;
      bool ok = false;
      for (const std::size_t skip : {8, 12}) {
        Payload p(rec.data);
        if (!rec.skipped && p.Skip(skip) && p.NullableWideString(sheet.rel_id) &&
            p.WideString(sheet.name) && p.Left() == 0) {
          ok = true;
          break;
        }
      }
      if (!ok) return DamagedPart(part, "an unreadable sheet entry");
      // One beyond the sheets read is enough for the budget to tell.
      if (book.sheets.size() > kMaxSheetsPerWorkbook) continue;
      book.sheets.push_back(std::move(sheet));
    }
  }
  return book;
}

Result<opc::SharedStrings> ParseSharedStrings(ByteSource& source, std::string part) {
  RecordReader reader(source, part);
  opc::SharedStrings strings;
  Record rec;
  std::string scratch;
  while (true) {
    auto more = reader.Next(rec);
    if (!more) return more.error();
    if (!*more) break;
    if (rec.type != rt::kSstItem) continue;
    // A RichStr: flags (rich runs, phonetic text), then the string itself.
    Payload p(rec.data);
    if (rec.skipped || !p.Skip(1) || !p.WideString(scratch)) {
      return DamagedPart(part,
                         "shared string " + std::to_string(strings.size()) + " is unreadable");
    }
    if (!strings.Fits(scratch.size())) return opc::SharedStrings::TooLarge();
    if (strings.Full()) return opc::SharedStrings::OverfullError();
    strings.Append(scratch);
    strings.End();
  }
  strings.Shrink();
  return strings;
}

Result<std::vector<FormatEngine::Handle>> ParseStyles(ByteSource& source, std::string part,
                                                      FormatEngine& engine) {
  RecordReader reader(source, part);
  std::unordered_map<std::uint16_t, FormatEngine::Handle> custom;
  std::vector<std::uint16_t> xf_formats;
  bool in_cell_xfs = false;
  Record rec;
  std::string code;
  while (true) {
    auto more = reader.Next(rec);
    if (!more) return more.error();
    if (!*more) break;
    switch (rec.type) {
      case rt::kFmt: {
        Payload p(rec.data);
        std::uint16_t id = 0;
        if (rec.skipped || !p.U16(id) || !p.WideString(code)) {
          return DamagedPart(part, "an unreadable number format");
        }
        custom[id] = engine.Intern(code);
        break;
      }
      case rt::kBeginCellXfs:
        in_cell_xfs = true;
        break;
      case rt::kEndCellXfs:
        in_cell_xfs = false;
        break;
      case rt::kXf: {
        if (!in_cell_xfs) break;
        Payload p(rec.data);
        std::uint16_t format = 0;
        if (rec.skipped || !p.Skip(2) || !p.U16(format)) {
          return DamagedPart(part, "an unreadable cell format");
        }
        if (xf_formats.size() == kMaxCellFormats)
          return OverBudget(kMaxCellFormats, "cell formats");
        xf_formats.push_back(format);
        break;
      }
      default:
        break;
    }
  }
  // Formats may follow the XFs that use them; resolve at the end.
  std::vector<FormatEngine::Handle> handles;
  handles.reserve(xf_formats.size());
  for (const auto id : xf_formats) {
    const auto it = custom.find(id);
    handles.push_back(it != custom.end() ? it->second : engine.InternBuiltin(id));
  }
  return handles;
}

namespace {

class SheetParser {
 public:
  SheetParser(std::string part, const SheetContext& context, CellSink& sink)
      : part_(std::move(part)), context_(context), sink_(sink) {
    general_ = context_.engine->InternBuiltin(0);
  }

  // Returns false to stop (error or cancel).
  bool OnRecord(const Record& rec) {
    if (rec.type == rt::kRowHdr) {
      Payload p(rec.data);
      std::uint32_t row = 0;
      if (rec.skipped || !p.U32(row)) return Fail("an unreadable row header");
      if (row >= kMaxRows) {
        // Named alone: the row read before says nothing about this one.
        error_ = DamagedPart(part_, "row " + std::to_string(std::uint64_t{row} + 1) +
                                        " is beyond the last row, " + std::to_string(kMaxRows));
        return false;
      }
      // Asked between rows; stopping ends the read with success.
      if (have_row_ && sink_.Cancelled()) return false;
      row_ = row + 1;
      have_row_ = true;
      column_ = 0;
      return true;
    }
    const bool full = rec.type <= rt::kFmlaError || rec.type == rt::kCellRString;
    const bool brief = rec.type >= rt::kShortBlank && rec.type <= rt::kShortIsst;
    if (!full && !brief) return true;
    if (rec.skipped) return Fail("an oversized cell record");
    Payload p(rec.data);
    std::uint32_t column = 0;
    if (full) {
      if (!p.U32(column)) return Fail("an unreadable cell");
    } else {
      column = column_;  // one after the previous cell (column_ is 1-based)
    }
    std::uint32_t style = 0;
    if (!p.U32(style)) return Fail("an unreadable cell");
    style &= 0xFFFFFFu;
    if (column >= kMaxColumns) return Fail("a cell beyond the last column");
    if (!have_row_) return Fail("a cell outside any row");
    column_ = column + 1;
    style_ = style;
    return Value(rec.type, p);
  }

  Status Outcome() const {
    if (error_) return *error_;
    return Status::Ok();
  }

 private:
  bool Value(std::uint32_t type, Payload& p) {
    switch (type) {
      case rt::kCellBlank:
      case rt::kShortBlank:
        sink_.Cell(row_, column_, {});
        return true;
      case rt::kCellRk:
      case rt::kShortRk: {
        std::uint32_t rk = 0;
        if (!p.U32(rk)) return Fail("an unreadable number cell");
        return Show(StoredValue::Number(DecodeRk(rk)));
      }
      case rt::kCellReal:
      case rt::kShortReal:
      case rt::kFmlaNum: {
        double v = 0;
        if (!p.F64(v)) return Fail("an unreadable number cell");
        return Show(StoredValue::Number(v));
      }
      case rt::kCellError:
      case rt::kShortError:
      case rt::kFmlaError: {
        std::uint8_t code = 0;
        if (!p.U8(code)) return Fail("an unreadable error cell");
        return Show(StoredValue::Error(BiffErrorText(code)));
      }
      case rt::kCellBool:
      case rt::kShortBool:
      case rt::kFmlaBool: {
        std::uint8_t b = 0;
        if (!p.U8(b)) return Fail("an unreadable boolean cell");
        return Show(StoredValue::Bool(b != 0));
      }
      case rt::kCellSt:
      case rt::kShortSt:
      case rt::kFmlaString:
        if (!p.WideString(text_)) return Fail("an unreadable text cell");
        return Show(StoredValue::Text(text_));
      case rt::kCellRString:
        if (!p.Skip(1) || !p.WideString(text_)) return Fail("an unreadable text cell");
        return Show(StoredValue::Text(text_));
      case rt::kCellIsst:
      case rt::kShortIsst: {
        std::uint32_t index = 0;
        if (!p.U32(index)) return Fail("an unreadable text cell");
        const std::size_t count = context_.strings ? context_.strings->size() : 0;
        if (index >= count) {
          return Fail("shared string " + std::to_string(index) +
                      " does not exist (the workbook has " + std::to_string(count) + ")");
        }
        return Show(StoredValue::Text((*context_.strings)[index]));
      }
      default:
        return true;
    }
  }

  FormatEngine::Handle Format() const {
    return context_.styles && style_ < context_.styles->size() ? (*context_.styles)[style_]
                                                               : general_;
  }

  bool Show(const StoredValue& value) {
    sink_.Cell(row_, column_, context_.engine->DisplayedText(value, Format(), shown_));
    return true;
  }

  bool Fail(std::string what) {
    error_ = DamagedPart(part_, what + " in row " + std::to_string(row_));
    return false;
  }

  std::string part_;
  const SheetContext& context_;
  CellSink& sink_;
  FormatEngine::Handle general_ = 0;
  std::uint32_t row_ = 0;
  std::uint32_t column_ = 0;
  std::uint32_t style_ = 0;
  bool have_row_ = false;
  std::optional<Error> error_;
  std::string text_;
  std::string shown_;
};

}  // namespace

Status ParseSheet(ByteSource& source, std::string part, const SheetContext& context,
                  CellSink& sink) {
  RecordReader reader(source, part);
  SheetParser parser(part, context, sink);
  Record rec;
  while (true) {
    auto more = reader.Next(rec);
    if (!more) return more.error();
    if (!*more) break;
    // Nothing after the cell table holds cell values.
    if (rec.type == rt::kEndSheetData) break;
    if (!parser.OnRecord(rec)) break;
  }
  return parser.Outcome();
}

}  // namespace dialsift::sheet::xlsb
