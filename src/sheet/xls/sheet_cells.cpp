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

// Delivers cells, checking references and asking for cancellation between rows.
class CellWriter {
 public:
  CellWriter(WorkbookGlobals& g, CellSink& sink) : g_(g), sink_(sink) {}

  // False when the sink asked to stop or the reference is out of range
  // (error() then says so).
  bool Text(std::uint32_t row, std::uint32_t col, std::string_view text) {
    if (col >= kMaxColumns) {
      error_ = Error{ErrorKind::kDamagedWorkbook,
                     "damaged worksheet (a cell beyond the last column, in row " +
                         std::to_string(row + 1) + ")"};
      return false;
    }
    if (row != last_row_) {
      last_row_ = row;
      if (sink_.Cancelled()) return false;
    }
    sink_.Cell(row + 1, col + 1, text);
    return true;
  }
  bool Number(std::uint32_t row, std::uint32_t col, std::uint16_t xf, double value) {
    return Text(row, col, g_.formats.FormatNumber(value, g_.FormatOfXf(xf)));
  }
  bool String(std::uint32_t row, std::uint32_t col, std::uint16_t xf, std::string_view s) {
    return Text(row, col, g_.TextOfXf(xf, s, scratch_));
  }
  // Success, or why the last delivery failed.
  Status Finish() const { return error_ ? Status(*error_) : Status::Ok(); }

 private:
  WorkbookGlobals& g_;
  CellSink& sink_;
  std::uint32_t last_row_ = 0xFFFFFFFF;
  std::optional<Error> error_;
  std::string scratch_;
};

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

}  // namespace

Status ReadSheetCells(RecordReader& reader, std::uint32_t offset, WorkbookGlobals& g,
                      CellSink& sink) {
  reader.Seek(offset);
  Record rec;
  auto got = reader.Next(rec);
  if (!got) return got.error();
  if (!*got || (rec.type != rt::kBof && rec.type != rt::kBof2 && rec.type != rt::kBof3 &&
                rec.type != rt::kBof4)) {
    return Error{ErrorKind::kDamagedWorkbook,
                 "damaged workbook stream (no worksheet at offset " + std::to_string(offset) + ")"};
  }
  CellWriter out(g, sink);
  const bool biff2 = g.version == BiffVersion::kBiff2;
  // A formula whose string result follows in a STRING record.
  std::optional<CellHead> pending_string;
  int depth = 0;  // BOF/EOF nesting of embedded substreams (charts)
  std::string text;

  for (;;) {
    got = reader.Next(rec);
    if (!got) return got.error();
    if (!*got) break;  // the stream ended without EOF: keep what was read
    if (rec.type == rt::kBof || rec.type == rt::kBof2 || rec.type == rt::kBof3 ||
        rec.type == rt::kBof4) {
      ++depth;
      continue;
    }
    if (rec.type == rt::kEof) {
      if (depth == 0) break;
      --depth;
      continue;
    }
    if (depth > 0) continue;

    RecordCursor cur(rec);
    CellHead h;
    const std::uint16_t type = biff2 ? Biff2Type(rec.type) : rec.type;
    const bool is_cell = type == rt::kLabelSst || type == rt::kLabel || type == rt::kRString ||
                         type == rt::kNumber || type == rt::kRk || type == rt::kMulRk ||
                         type == rt::kBlank || type == rt::kMulBlank || type == rt::kBoolErr ||
                         type == rt::kFormula || type == rt::kFormula3 || type == rt::kFormula4 ||
                         type == rt::kInteger2;
    if (is_cell && pending_string) {
      // The STRING record never came: the cached result is empty.
      if (!out.Text(pending_string->row, pending_string->col, "")) return out.Finish();
      pending_string.reset();
    }
    bool go_on = true;
    switch (type) {
      case rt::kLabelSst: {
        std::uint32_t index = 0;
        if (!ReadHead(cur, h, biff2) || !cur.U32(index)) return Damaged("LABELSST", rec.offset);
        if (index >= g.sst.strings.size()) {
          return Error{ErrorKind::kDamagedWorkbook,
                       "damaged workbook (a cell refers to shared string " + std::to_string(index) +
                           ", the table holds " + std::to_string(g.sst.strings.size()) + ")"};
        }
        go_on = out.String(h.row, h.col, h.xf, g.sst.strings[index]);
        break;
      }
      case rt::kLabel:
      case rt::kRString: {
        if (auto st = reader.GatherContinues(rec, kMaxStringRecordBytes); !st) return st;
        text.clear();
        if (!ReadHead(cur, h, biff2) || !ReadCellString(cur, g, text)) {
          return Damaged(type == rt::kLabel ? "LABEL" : "RSTRING", rec.offset);
        }
        go_on = out.String(h.row, h.col, h.xf, text);
        break;
      }
      case rt::kNumber: {
        double v = 0;
        if (!ReadHead(cur, h, biff2) || !cur.F64(v)) return Damaged("NUMBER", rec.offset);
        go_on = out.Number(h.row, h.col, h.xf, v);
        break;
      }
      case rt::kInteger2: {
        std::uint16_t v = 0;
        if (!ReadHead(cur, h, biff2) || !cur.U16(v)) return Damaged("INTEGER", rec.offset);
        go_on = out.Number(h.row, h.col, h.xf, v);
        break;
      }
      case rt::kRk: {
        std::uint32_t rk = 0;
        if (!ReadHead(cur, h, biff2) || !cur.U32(rk)) return Damaged("RK", rec.offset);
        go_on = out.Number(h.row, h.col, h.xf, DecodeRk(rk));
        break;
      }
      case rt::kMulRk: {
        std::uint16_t row = 0;
        std::uint16_t col = 0;
        if (!cur.U16(row) || !cur.U16(col) || cur.Remaining() < 2) {
          return Damaged("MULRK", rec.offset);
        }
        // Entries of 6 bytes, then the last column (2 bytes).
        const std::size_t n = (cur.Remaining() - 2) / 6;
        for (std::size_t i = 0; i < n && go_on; ++i) {
          std::uint16_t xf = 0;
          std::uint32_t rk = 0;
          if (!cur.U16(xf) || !cur.U32(rk)) return Damaged("MULRK", rec.offset);
          go_on =
              out.Number(row, std::uint32_t{col} + static_cast<std::uint32_t>(i), xf, DecodeRk(rk));
        }
        break;
      }
      case rt::kBlank:
        if (!ReadHead(cur, h, biff2)) return Damaged("BLANK", rec.offset);
        go_on = out.Text(h.row, h.col, "");
        break;
      case rt::kMulBlank: {
        std::uint16_t row = 0;
        std::uint16_t col = 0;
        if (!cur.U16(row) || !cur.U16(col) || cur.Remaining() < 2) {
          return Damaged("MULBLANK", rec.offset);
        }
        const std::size_t n = (cur.Remaining() - 2) / 2;
        for (std::size_t i = 0; i < n && go_on; ++i) {
          go_on = out.Text(row, std::uint32_t{col} + static_cast<std::uint32_t>(i), "");
        }
        break;
      }
      case rt::kBoolErr: {
        std::uint8_t value = 0;
        std::uint8_t is_error = 0;
        if (!ReadHead(cur, h, biff2) || !cur.U8(value) || !cur.U8(is_error)) {
          return Damaged("BOOLERR", rec.offset);
        }
        go_on = out.Text(h.row, h.col,
                         is_error != 0 ? BiffErrorText(value) : (value != 0 ? "TRUE" : "FALSE"));
        break;
      }
      case rt::kFormula:
      case rt::kFormula3:
      case rt::kFormula4: {
        std::uint8_t result[8];
        if (!ReadHead(cur, h, biff2)) return Damaged("FORMULA", rec.offset);
        for (auto& b : result) {
          if (!cur.U8(b)) return Damaged("FORMULA", rec.offset);
        }
        if (result[6] != 0xFF || result[7] != 0xFF) {
          std::uint64_t bits = 0;
          for (int i = 7; i >= 0; --i) bits = (bits << 8) | result[i];
          go_on = out.Number(h.row, h.col, h.xf, std::bit_cast<double>(bits));
          break;
        }
        switch (result[0]) {
          case 0:  // a string, in the STRING record that follows
            pending_string = h;
            break;
          case 1:
            go_on = out.Text(h.row, h.col, result[2] != 0 ? "TRUE" : "FALSE");
            break;
          case 2:
            go_on = out.Text(h.row, h.col, BiffErrorText(result[2]));
            break;
          default:  // 3: an empty string
            go_on = out.Text(h.row, h.col, "");
            break;
        }
        break;
      }
      case rt::kString: {
        if (!pending_string) break;
        if (auto st = reader.GatherContinues(rec, kMaxStringRecordBytes); !st) return st;
        text.clear();
        if (!ReadCellString(cur, g, text)) return Damaged("STRING", rec.offset);
        const CellHead p = *pending_string;
        pending_string.reset();
        go_on = out.String(p.row, p.col, p.xf, text);
        break;
      }
      default:
        break;
    }
    if (!go_on) return out.Finish();
  }
  if (pending_string) out.Text(pending_string->row, pending_string->col, "");
  return out.Finish();
}

}  // namespace dialsift::sheet::xls
