#include "sheet/xls/sheet_cells.h"

#include <bit>
#include <optional>
#include <string>

namespace dialsift::sheet::xls {

namespace {

Error Damaged(std::string_view record, std::uint64_t offset) {
  return Error{ErrorKind::kDamagedWorkbook, "damaged worksheet (" + std::string(record) +
                                                " record at offset " + std::to_string(offset) +
                                                " is cut short)"};
}

bool IsBof(std::uint16_t type) {
  return type == rt::kBof || type == rt::kBof2 || type == rt::kBof3 || type == rt::kBof4;
}

struct CellHead {
  std::uint16_t row = 0;
  std::uint16_t col = 0;
  std::uint16_t xf = 0;
};

// Row, column and style of a cell record. BIFF2 cells carry three bytes of
// attributes instead of an XF index; the second holds the format index.
bool ReadHead(RecordCursor& cur, CellHead& h, bool biff2) {
  if (!cur.U16(h.row) || !cur.U16(h.col)) return false;
  if (!biff2) return cur.U16(h.xf);
  std::uint8_t attr[3];
  for (auto& a : attr) {
    if (!cur.U8(a)) return false;
  }
  h.xf = attr[1] & 0x3F;
  return true;
}

// The later record number of a BIFF2 cell record, which differs only in its
// cell head and string lengths.
std::uint16_t Biff2Type(std::uint16_t type) {
  switch (type) {
    case rt::kBlank2:
      return rt::kBlank;
    case rt::kNumber2:
      return rt::kNumber;
    case rt::kLabel2:
      return rt::kLabel;
    case rt::kBoolErr2:
      return rt::kBoolErr;
    case rt::kString2:
      return rt::kString;
    case rt::kBlank:
    case rt::kNumber:
    case rt::kLabel:
    case rt::kBoolErr:
    case rt::kString:
      return 0;  // not BIFF2 records: ignored
    default:
      return type;
  }
}

// True for the records that hold one or more cells.
bool IsCellRecord(std::uint16_t type) {
  switch (type) {
    case rt::kLabelSst:
    case rt::kLabel:
    case rt::kRString:
    case rt::kNumber:
    case rt::kRk:
    case rt::kMulRk:
    case rt::kBlank:
    case rt::kMulBlank:
    case rt::kBoolErr:
    case rt::kFormula:
    case rt::kFormula3:
    case rt::kFormula4:
    case rt::kInteger2:
      return true;
    default:
      return false;
  }
}

// Reads the cell records of one worksheet substream, one member function per
// record kind. Each returns an Error for a damaged record; a delivery the
// sink refuses (cancelled, or a cell out of range) stops the read through
// Stopped().
class SheetReader {
 public:
  SheetReader(RecordReader& reader, WorkbookGlobals& g, CellSink& sink)
      : reader_(reader), g_(g), sink_(sink), biff2_(g.version == BiffVersion::kBiff2) {}

  Status Read(std::uint32_t offset);

 private:
  Status OnRecord(Record& rec);
  Status LabelSst(const Record& rec);
  Status Label(Record& rec, std::uint16_t type);
  Status Number(const Record& rec);
  Status Integer(const Record& rec);
  Status Rk(const Record& rec);
  Status MulRk(const Record& rec);
  Status Blank(const Record& rec);
  Status MulBlank(const Record& rec);
  Status BoolErr(const Record& rec);
  Status Formula(const Record& rec);
  Status String(Record& rec);

  // Delivers a cell with its displayed text, or an empty one. Deliver
  // checks the column and asks for cancellation between rows.
  void Put(std::uint32_t row, std::uint32_t col, std::uint16_t xf, const StoredValue& value);
  void PutBlank(std::uint32_t row, std::uint32_t col);
  void Deliver(std::uint32_t row, std::uint32_t col, std::string_view text);
  bool Stopped() const { return stopped_; }
  Status Finish() const { return error_ ? Status(*error_) : Status::Ok(); }

  RecordReader& reader_;
  WorkbookGlobals& g_;
  CellSink& sink_;
  const bool biff2_;
  bool stopped_ = false;
  std::optional<Error> error_;
  std::uint32_t last_row_ = 0xFFFFFFFF;
  // A formula whose string result follows in a STRING record.
  std::optional<CellHead> pending_string_;
  std::string text_;
  std::string shown_;
};

Status SheetReader::Read(std::uint32_t offset) {
  reader_.Seek(offset);
  Record rec;
  auto got = reader_.Next(rec);
  if (!got) return got.error();
  if (!*got || !IsBof(rec.type)) {
    return Error{ErrorKind::kDamagedWorkbook,
                 "damaged workbook stream (no worksheet at offset " + std::to_string(offset) + ")"};
  }
  int depth = 0;  // BOF/EOF nesting of embedded substreams (charts)
  for (;;) {
    got = reader_.Next(rec);
    if (!got) return got.error();
    if (!*got) break;  // the stream ended without EOF: keep what was read
    if (IsBof(rec.type)) {
      ++depth;
      continue;
    }
    if (rec.type == rt::kEof) {
      if (depth == 0) break;
      --depth;
      continue;
    }
    if (depth > 0) continue;
    if (auto status = OnRecord(rec); !status) return status;
    if (Stopped()) return Finish();
  }
  if (pending_string_) PutBlank(pending_string_->row, pending_string_->col);
  return Finish();
}

Status SheetReader::OnRecord(Record& rec) {
  const std::uint16_t type = biff2_ ? Biff2Type(rec.type) : rec.type;
  if (IsCellRecord(type) && pending_string_) {
    // The STRING record never came: the cached result is empty.
    const CellHead p = *pending_string_;
    pending_string_.reset();
    PutBlank(p.row, p.col);
    if (Stopped()) return Status::Ok();
  }
  switch (type) {
    case rt::kLabelSst:
      return LabelSst(rec);
    case rt::kLabel:
    case rt::kRString:
      return Label(rec, type);
    case rt::kNumber:
      return Number(rec);
    case rt::kInteger2:
      return Integer(rec);
    case rt::kRk:
      return Rk(rec);
    case rt::kMulRk:
      return MulRk(rec);
    case rt::kBlank:
      return Blank(rec);
    case rt::kMulBlank:
      return MulBlank(rec);
    case rt::kBoolErr:
      return BoolErr(rec);
    case rt::kFormula:
    case rt::kFormula3:
    case rt::kFormula4:
      return Formula(rec);
    case rt::kString:
      return String(rec);
    default:
      return Status::Ok();
  }
}

Status SheetReader::LabelSst(const Record& rec) {
  RecordCursor cur(rec);
  CellHead h;
  std::uint32_t index = 0;
  if (!ReadHead(cur, h, biff2_) || !cur.U32(index)) return Damaged("LABELSST", rec.offset);
  if (index >= g_.sst.strings.size()) {
    return Error{ErrorKind::kDamagedWorkbook, "damaged workbook (a cell refers to shared string " +
                                                  std::to_string(index) + ", the table holds " +
                                                  std::to_string(g_.sst.strings.size()) + ")"};
  }
  Put(h.row, h.col, h.xf, StoredValue::Text(g_.sst.strings[index]));
  return Status::Ok();
}

Status SheetReader::Label(Record& rec, std::uint16_t type) {
  if (auto st = reader_.GatherContinues(rec, kMaxStringRecordBytes); !st) return st;
  RecordCursor cur(rec);
  CellHead h;
  text_.clear();
  if (!ReadHead(cur, h, biff2_) || !ReadCellString(cur, g_, text_)) {
    return Damaged(type == rt::kLabel ? "LABEL" : "RSTRING", rec.offset);
  }
  Put(h.row, h.col, h.xf, StoredValue::Text(text_));
  return Status::Ok();
}

Status SheetReader::Number(const Record& rec) {
  RecordCursor cur(rec);
  CellHead h;
  double v = 0;
  if (!ReadHead(cur, h, biff2_) || !cur.F64(v)) return Damaged("NUMBER", rec.offset);
  Put(h.row, h.col, h.xf, StoredValue::Number(v));
  return Status::Ok();
}

Status SheetReader::Integer(const Record& rec) {
  RecordCursor cur(rec);
  CellHead h;
  std::uint16_t v = 0;
  if (!ReadHead(cur, h, biff2_) || !cur.U16(v)) return Damaged("INTEGER", rec.offset);
  Put(h.row, h.col, h.xf, StoredValue::Number(v));
  return Status::Ok();
}

Status SheetReader::Rk(const Record& rec) {
  RecordCursor cur(rec);
  CellHead h;
  std::uint32_t rk = 0;
  if (!ReadHead(cur, h, biff2_) || !cur.U32(rk)) return Damaged("RK", rec.offset);
  Put(h.row, h.col, h.xf, StoredValue::Number(DecodeRk(rk)));
  return Status::Ok();
}

Status SheetReader::MulRk(const Record& rec) {
  RecordCursor cur(rec);
  std::uint16_t row = 0;
  std::uint16_t col = 0;
  if (!cur.U16(row) || !cur.U16(col) || cur.Remaining() < 2) return Damaged("MULRK", rec.offset);
  // Entries of 6 bytes, then the last column (2 bytes).
  const std::size_t n = (cur.Remaining() - 2) / 6;
  for (std::size_t i = 0; i < n && !Stopped(); ++i) {
    std::uint16_t xf = 0;
    std::uint32_t rk = 0;
    if (!cur.U16(xf) || !cur.U32(rk)) return Damaged("MULRK", rec.offset);
    Put(row, std::uint32_t{col} + static_cast<std::uint32_t>(i), xf,
        StoredValue::Number(DecodeRk(rk)));
  }
  return Status::Ok();
}

Status SheetReader::Blank(const Record& rec) {
  RecordCursor cur(rec);
  CellHead h;
  if (!ReadHead(cur, h, biff2_)) return Damaged("BLANK", rec.offset);
  PutBlank(h.row, h.col);
  return Status::Ok();
}

Status SheetReader::MulBlank(const Record& rec) {
  RecordCursor cur(rec);
  std::uint16_t row = 0;
  std::uint16_t col = 0;
  if (!cur.U16(row) || !cur.U16(col) || cur.Remaining() < 2) {
    return Damaged("MULBLANK", rec.offset);
  }
  const std::size_t n = (cur.Remaining() - 2) / 2;
  for (std::size_t i = 0; i < n && !Stopped(); ++i) {
    PutBlank(row, std::uint32_t{col} + static_cast<std::uint32_t>(i));
  }
  return Status::Ok();
}

Status SheetReader::BoolErr(const Record& rec) {
  RecordCursor cur(rec);
  CellHead h;
  std::uint8_t value = 0;
  std::uint8_t is_error = 0;
  if (!ReadHead(cur, h, biff2_) || !cur.U8(value) || !cur.U8(is_error)) {
    return Damaged("BOOLERR", rec.offset);
  }
  Put(h.row, h.col, h.xf,
      is_error != 0 ? StoredValue::Error(BiffErrorText(value)) : StoredValue::Bool(value != 0));
  return Status::Ok();
}

// The cached result of a formula: a number, or (marked by 0xFFFF in its
// last two bytes) a string that follows, a boolean, an error or nothing.
Status SheetReader::Formula(const Record& rec) {
  RecordCursor cur(rec);
  CellHead h;
  std::uint8_t result[8];
  if (!ReadHead(cur, h, biff2_)) return Damaged("FORMULA", rec.offset);
  for (auto& b : result) {
    if (!cur.U8(b)) return Damaged("FORMULA", rec.offset);
  }
  if (result[6] != 0xFF || result[7] != 0xFF) {
    std::uint64_t bits = 0;
    for (int i = 7; i >= 0; --i) bits = (bits << 8) | result[i];
    Put(h.row, h.col, h.xf, StoredValue::Number(std::bit_cast<double>(bits)));
    return Status::Ok();
  }
  switch (result[0]) {
    case 0:  // a string, in the STRING record that follows
      pending_string_ = h;
      break;
    case 1:
      Put(h.row, h.col, h.xf, StoredValue::Bool(result[2] != 0));
      break;
    case 2:
      Put(h.row, h.col, h.xf, StoredValue::Error(BiffErrorText(result[2])));
      break;
    default:  // 3: an empty string
      PutBlank(h.row, h.col);
      break;
  }
  return Status::Ok();
}

Status SheetReader::String(Record& rec) {
  if (!pending_string_) return Status::Ok();
  if (auto st = reader_.GatherContinues(rec, kMaxStringRecordBytes); !st) return st;
  RecordCursor cur(rec);
  text_.clear();
  if (!ReadCellString(cur, g_, text_)) return Damaged("STRING", rec.offset);
  const CellHead p = *pending_string_;
  pending_string_.reset();
  Put(p.row, p.col, p.xf, StoredValue::Text(text_));
  return Status::Ok();
}

void SheetReader::Put(std::uint32_t row, std::uint32_t col, std::uint16_t xf,
                      const StoredValue& value) {
  if (stopped_) return;
  Deliver(row, col, g_.formats.DisplayedText(value, g_.FormatOfXf(xf), shown_));
}

void SheetReader::PutBlank(std::uint32_t row, std::uint32_t col) {
  Deliver(row, col, {});
}

void SheetReader::Deliver(std::uint32_t row, std::uint32_t col, std::string_view text) {
  if (stopped_) return;
  if (col >= kMaxColumns) {
    error_ = Error{ErrorKind::kDamagedWorkbook,
                   "damaged worksheet (a cell beyond the last column, in row " +
                       std::to_string(row + 1) + ")"};
    stopped_ = true;
    return;
  }
  if (row != last_row_) {
    last_row_ = row;
    if (sink_.Cancelled()) {
      stopped_ = true;
      return;
    }
  }
  sink_.Cell(row + 1, col + 1, text);
}

}  // namespace

Status ReadSheetCells(RecordReader& reader, std::uint32_t offset, WorkbookGlobals& g,
                      CellSink& sink) {
  if (const Error* refused = g.RefusalAt(offset)) return *refused;
  return SheetReader(reader, g, sink).Read(offset);
}

}  // namespace dialsift::sheet::xls
