#include "sheet/xls/workbook_globals.h"

#include <map>
#include <optional>

#include "sheet/limits.h"

namespace dialsift::sheet::xls {

namespace {

// BOF substream types (MS-XLS 2.4.21).
constexpr std::uint16_t kGlobalsSubstream = 0x0005;
constexpr std::uint16_t kWorksheetSubstream = 0x0010;
constexpr std::uint16_t kChartSubstream = 0x0020;
constexpr std::uint16_t kMacroSubstream = 0x0040;
// An Excel 4.0 workbook: several BIFF4 sheets bound in one file.
constexpr std::uint16_t kBiff4WorkbookSubstream = 0x0100;

// WsBool flag that marks a dialog sheet stored as a worksheet substream.
constexpr std::uint16_t kWsBoolDialog = 0x0010;

// A sheet's header records are few; a worksheet has shown its WsBool long
// before this many records.
constexpr int kSheetHeaderRecords = 256;

Error Damaged(const std::string& what) {
  return Error{ErrorKind::kDamagedWorkbook, "damaged workbook stream (" + what + ")"};
}

struct RawSheet {
  std::string name;
  std::uint32_t offset;
  std::uint8_t type;  // BoundSheet8 dt: 0 worksheet or dialog, 1 macro, 2 chart, 6 VBA module
};

bool HasBofAt(RecordReader& reader, std::uint32_t offset) {
  reader.Seek(offset);
  Record rec;
  auto got = reader.Next(rec);
  return got && *got && rec.type == rt::kBof;
}

// The offsets of the substreams that follow the globals, in stream order.
// Used when the BOUNDSHEET records point elsewhere (some writers get the
// offsets wrong); the n-th BOUNDSHEET then names the n-th substream.
std::vector<std::uint32_t> SubstreamOffsets(RecordReader& reader, std::uint64_t from) {
  std::vector<std::uint32_t> offsets;
  reader.Seek(from);
  Record rec;
  int depth = 0;
  for (;;) {
    auto got = reader.Next(rec);
    if (!got || !*got) break;
    if (rec.type == rt::kBof) {
      if (depth == 0) offsets.push_back(static_cast<std::uint32_t>(rec.offset));
      ++depth;
    } else if (rec.type == rt::kEof && depth > 0) {
      --depth;
    }
  }
  return offsets;
}

// True when the substream at `offset` is a worksheet (not a chart, macro or
// dialog sheet). A BOF that is missing or unreadable leaves the sheet in the
// list: reading it then reports the damage.
bool IsWorksheet(RecordReader& reader, std::uint32_t offset) {
  reader.Seek(offset);
  Record rec;
  auto got = reader.Next(rec);
  if (!got || !*got || rec.type != rt::kBof) return true;
  RecordCursor bof(rec);
  std::uint16_t version = 0;
  std::uint16_t type = 0;
  if (!bof.U16(version) || !bof.U16(type)) return true;
  if (type != kWorksheetSubstream) return false;
  for (int i = 0; i < kSheetHeaderRecords; ++i) {
    got = reader.Next(rec);
    if (!got || !*got) return true;
    switch (rec.type) {
      case rt::kWsBool: {
        RecordCursor cur(rec);
        std::uint16_t flags = 0;
        return !cur.U16(flags) || (flags & kWsBoolDialog) == 0;
      }
      case rt::kDimensions:
      case rt::kEof:
      case rt::kBof:
        return true;
      default:
        break;
    }
  }
  return true;
}

}  // namespace

FormatEngine::Handle WorkbookGlobals::FormatOfXf(std::uint16_t xf) {
  if (xf < xf_formats.size()) return xf_formats[xf];
  return formats.InternBuiltin(0);
}

bool ReadCellString(RecordCursor& cur, WorkbookGlobals& g, std::string& out) {
  switch (g.version) {
    case BiffVersion::kBiff8:
      return cur.UnicodeString(false, out);
    case BiffVersion::kBiff2:
      return cur.ByteString(true, g.decoder, out);
    default:
      return cur.ByteString(false, g.decoder, out);
  }
}

namespace {

// What the records before the sheets say, gathered before it is resolved.
struct GlobalsState {
  bool date1904 = false;
  // Format codes by id (BIFF5/8) or by position in the file (BIFF2-4, whose
  // styles refer to the n-th FORMAT record).
  std::map<std::uint16_t, std::string> format_codes;
  std::uint16_t format_position = 0;
  std::vector<std::uint16_t> xf_format_ids;
};

// Handles the records that describe the whole workbook: the code page, the
// date system, number formats, cell styles, encryption.
Status GlobalRecord(Record& rec, RecordReader& reader, WorkbookGlobals& g, GlobalsState& st) {
  RecordCursor cur(rec);
  const bool old = g.version == BiffVersion::kBiff2 || g.version == BiffVersion::kBiff3 ||
                   g.version == BiffVersion::kBiff4;
  switch (rec.type) {
    case rt::kFilePass:
      return PasswordProtected();
    case rt::kCodePage: {
      std::uint16_t cp = 0;
      if (cur.U16(cp) && g.version != BiffVersion::kBiff8) g.decoder = CodePageDecoder(cp);
      break;
    }
    case rt::kDateMode: {
      std::uint16_t mode = 0;
      if (cur.U16(mode)) st.date1904 = mode == 1;
      break;
    }
    case rt::kFormat2:
    case rt::kFormat: {
      if (auto gathered = reader.GatherContinues(rec, kMaxStringRecordBytes); !gathered) {
        return gathered;
      }
      std::uint16_t id = 0;
      std::string code;
      bool ok = false;
      if (g.version == BiffVersion::kBiff8) {
        ok = cur.U16(id) && cur.UnicodeString(false, code);
      } else if (g.version == BiffVersion::kBiff5) {
        ok = cur.U16(id) && cur.ByteString(true, g.decoder, code);
      } else {
        // BIFF4 puts two unused bytes first; BIFF2 and BIFF3 do not.
        id = st.format_position++;
        ok = (rec.type == rt::kFormat2 || cur.Skip(2)) && cur.ByteString(true, g.decoder, code);
      }
      if (ok) st.format_codes[id] = std::move(code);
      break;
    }
    case rt::kXf:
    case rt::kXf3:
    case rt::kXf4: {
      std::uint16_t format = 0;
      if (old) {
        std::uint8_t font = 0;
        std::uint8_t fmt = 0;
        if (cur.U8(font) && cur.U8(fmt)) format = fmt;
      } else {
        std::uint16_t font = 0;
        if (!cur.U16(font) || !cur.U16(format)) format = 0;
      }
      if (st.xf_format_ids.size() == kMaxCellFormats) {
        return OverBudget(kMaxCellFormats, "cell formats");
      }
      st.xf_format_ids.push_back(format);
      break;
    }
    default:
      break;
  }
  return Status::Ok();
}

void ResolveFormats(WorkbookGlobals& g, GlobalsState& st) {
  g.formats.SetDate1904(st.date1904);
  if (g.version == BiffVersion::kBiff2) {
    // BIFF2 cells name their format directly (6 bits of the cell
    // attributes); the "XF" index the cell reader passes is that position.
    st.xf_format_ids.clear();
    for (std::uint16_t i = 0; i < 64; ++i) st.xf_format_ids.push_back(i);
  }
  std::map<std::uint16_t, FormatEngine::Handle> handles;
  g.xf_formats.reserve(st.xf_format_ids.size());
  for (const std::uint16_t id : st.xf_format_ids) {
    auto it = handles.find(id);
    if (it == handles.end()) {
      const auto code = st.format_codes.find(id);
      const bool by_position = g.version != BiffVersion::kBiff5 && g.version != BiffVersion::kBiff8;
      const auto h = code != st.format_codes.end() ? g.formats.Intern(code->second)
                     : by_position                 ? g.formats.InternBuiltin(0)
                                                   : g.formats.InternBuiltin(id);
      it = handles.emplace(id, h).first;
    }
    g.xf_formats.push_back(it->second);
  }
}

// A worksheet stream without workbook globals (BIFF2-4 files, some BIFF5
// writers): its style and format records sit inside the sheet itself.
Result<WorkbookGlobals> LoneWorksheet(RecordReader& reader, WorkbookGlobals g,
                                      std::string_view sheet_name) {
  GlobalsState st;
  Record rec;
  int depth = 0;
  for (;;) {
    auto got = reader.Next(rec);
    if (!got) return got.error();
    if (!*got) break;
    if (rec.type == rt::kBof || rec.type == rt::kBof2 || rec.type == rt::kBof3 ||
        rec.type == rt::kBof4) {
      ++depth;
    } else if (rec.type == rt::kEof) {
      if (depth == 0) break;
      --depth;
    } else if (depth == 0) {
      if (auto status = GlobalRecord(rec, reader, g, st); !status) return status.error();
    }
  }
  ResolveFormats(g, st);
  g.sheets.push_back({std::string(sheet_name), 0});
  return g;
}

}  // namespace

Result<WorkbookGlobals> ReadWorkbookGlobals(RecordReader& reader,
                                            std::string_view lone_sheet_name) {
  WorkbookGlobals g;
  reader.Seek(0);
  Record rec;
  auto got = reader.Next(rec);
  if (got && !*got) return NotAWorkbook("the workbook stream is empty");
  if (!got && got.error().kind == ErrorKind::kDamagedContainer) return got.error();
  const bool bof = got && (rec.type == rt::kBof || rec.type == rt::kBof2 || rec.type == rt::kBof3 ||
                           rec.type == rt::kBof4);
  if (!bof) {
    return NotAWorkbook("the workbook stream does not begin with a BOF record");
  }
  RecordCursor head(rec);
  std::uint16_t version = 0;
  std::uint16_t type = 0;
  if (!head.U16(version) || !head.U16(type)) return Damaged("short BOF record");
  switch (rec.type) {
    case rt::kBof2:
      g.version = BiffVersion::kBiff2;
      break;
    case rt::kBof3:
      g.version = BiffVersion::kBiff3;
      break;
    case rt::kBof4:
      g.version = BiffVersion::kBiff4;
      break;
    default:
      // BIFF8 says 0x0600; BIFF5 and BIFF7 say 0x0500. Some writers leave
      // it zero, and the length of the BOF tells the two apart then.
      g.version = version == 0x0600 || (version != 0x0500 && rec.data.size() >= 16)
                      ? BiffVersion::kBiff8
                      : BiffVersion::kBiff5;
      break;
  }
  if (g.version == BiffVersion::kBiff8) g.decoder = CodePageDecoder(1200);
  if (type == kWorksheetSubstream) return LoneWorksheet(reader, std::move(g), lone_sheet_name);
  if (type == kBiff4WorkbookSubstream) {
    return Error{ErrorKind::kUnsupportedFormat,
                 "unsupported old format (Excel 4.0 workbook of several sheets)"};
  }
  if (type == kChartSubstream || type == kMacroSubstream) {
    return NotAWorkbook("a chart or macro sheet on its own");
  }
  if (type != kGlobalsSubstream || rec.type != rt::kBof) {
    return NotAWorkbook("the workbook stream does not begin with workbook globals");
  }

  GlobalsState st;
  std::vector<RawSheet> raw_sheets;
  bool have_sst = false;
  // The code page comes early in the globals, before any string record
  // that needs it.
  for (;;) {
    got = reader.Next(rec);
    if (!got) return got.error();
    if (!*got) break;  // no EOF: take what the stream holds
    if (rec.type == rt::kEof) break;
    RecordCursor cur(rec);
    switch (rec.type) {
      case rt::kBoundSheet: {
        std::uint32_t offset = 0;
        std::uint8_t state = 0;
        std::uint8_t kind = 0;
        std::string name;
        if (!cur.U32(offset) || !cur.U8(state) || !cur.U8(kind)) {
          return Damaged("short BOUNDSHEET record");
        }
        const bool named = g.version == BiffVersion::kBiff8 ? cur.UnicodeString(true, name)
                                                            : cur.ByteString(true, g.decoder, name);
        if (!named) return Damaged("short BOUNDSHEET record");
        // One beyond the sheets read is enough for the budget to tell.
        if (raw_sheets.size() <= kMaxSheetsPerWorkbook) {
          raw_sheets.push_back({std::move(name), offset, kind});
        }
        break;
      }
      case rt::kSst: {
        if (g.version != BiffVersion::kBiff8 || have_sst) break;
        if (auto gathered = reader.GatherContinues(rec); !gathered) return gathered.error();
        g.sst = ReadSharedStrings(rec);
        if (g.sst.beyond) return *g.sst.beyond;
        have_sst = true;
        break;
      }
      default:
        if (auto status = GlobalRecord(rec, reader, g, st); !status) return status.error();
        break;
    }
  }
  ResolveFormats(g, st);

  const std::uint64_t globals_end = reader.Position();
  bool offsets_good = true;
  for (const auto& s : raw_sheets) offsets_good = offsets_good && HasBofAt(reader, s.offset);
  if (!offsets_good) {
    const auto found = SubstreamOffsets(reader, globals_end);
    for (std::size_t i = 0; i < raw_sheets.size() && i < found.size(); ++i) {
      raw_sheets[i].offset = found[i];
    }
  }
  if (raw_sheets.empty()) return Damaged("the sheet list is missing");
  for (std::size_t i = 0; i < raw_sheets.size(); ++i) {
    auto& s = raw_sheets[i];
    if (s.type != 0) continue;
    // A worksheet placed on the globals, or where an earlier sheet begins,
    // would be skipped as no worksheet or read twice: it is refused.
    std::optional<std::string> refusal;
    if (s.offset < globals_end && HasBofAt(reader, s.offset)) {
      refusal = "the sheet list places this sheet on the workbook globals";
    } else {
      for (std::size_t k = 0; k < i; ++k) {
        if (raw_sheets[k].offset == s.offset) {
          refusal =
              "the sheet list places this sheet where sheet \"" + raw_sheets[k].name + "\" begins";
          break;
        }
      }
    }
    if (refusal) {
      const auto key =
          WorkbookGlobals::kRefusedOffset - static_cast<std::uint32_t>(g.refused.size());
      g.refused.push_back(Damaged(*refusal));
      g.sheets.push_back({s.name, key});
      continue;
    }
    if (!IsWorksheet(reader, s.offset)) continue;
    g.sheets.push_back({s.name, s.offset});
  }
  return g;
}

}  // namespace dialsift::sheet::xls
