#include "sheet/xls/workbook_globals.h"

#include <map>

namespace dialsift::sheet::xls {

namespace {

// BOF substream types (MS-XLS 2.4.21).
constexpr std::uint16_t kGlobalsSubstream = 0x0005;
constexpr std::uint16_t kWorksheetSubstream = 0x0010;

// WsBool flag that marks a dialog sheet stored as a worksheet substream.
constexpr std::uint16_t kWsBoolDialog = 0x0010;

// A sheet's header records are few; a worksheet has shown its WsBool long
// before this many records.
constexpr int kSheetHeaderRecords = 256;

Error Damaged(const std::string& what) {
  return Error{"damaged workbook stream (" + what + ")"};
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

std::string_view WorkbookGlobals::TextOfXf(std::uint16_t xf, std::string_view stored,
                                           std::string& scratch) {
  if (xf >= text_as_is.size()) text_as_is.resize(std::size_t{xf} + 1, -1);
  auto& known = text_as_is[xf];
  if (known < 0) {
    constexpr std::string_view kProbe = "\x01probe text\x02";
    known = formats.FormatText(kProbe, FormatOfXf(xf)) == kProbe ? 1 : 0;
  }
  if (known == 1) return stored;
  scratch = formats.FormatText(stored, FormatOfXf(xf));
  return scratch;
}

bool ReadCellString(RecordCursor& cur, WorkbookGlobals& g, std::string& out) {
  if (g.version == BiffVersion::kBiff8) return cur.UnicodeString(false, out);
  return cur.ByteString(false, g.decoder, out);
}

Result<WorkbookGlobals> ReadWorkbookGlobals(RecordReader& reader) {
  WorkbookGlobals g;
  reader.Seek(0);
  Record rec;
  auto got = reader.Next(rec);
  if (got && !*got) return Error{"not a workbook (the workbook stream is empty)"};
  if (!got && got.error().reason.starts_with("damaged OLE2")) return got.error();
  if (got && (rec.type == rt::kBof2 || rec.type == rt::kBof3 || rec.type == rt::kBof4)) {
    return Error{"unsupported old format (Excel 2.x-4.x workbook)"};
  }
  if (!got || rec.type != rt::kBof) {
    return Error{"not a workbook (the workbook stream does not begin with a BOF record)"};
  }
  {
    RecordCursor bof(rec);
    std::uint16_t version = 0;
    std::uint16_t type = 0;
    if (!bof.U16(version) || !bof.U16(type)) return Damaged("short BOF record");
    // BIFF8 says 0x0600; BIFF5 and BIFF7 say 0x0500. Some writers leave it
    // zero, and the length of the BOF tells the two apart then.
    if (version == 0x0600 || (version != 0x0500 && rec.data.size() >= 16)) {
      g.version = BiffVersion::kBiff8;
    } else {
      g.version = BiffVersion::kBiff5;
    }
    if (type == kWorksheetSubstream) {
      // A worksheet on its own, without workbook globals: one sheet.
      g.sheets.push_back({"Sheet1", 0});
      return g;
    }
    if (type != kGlobalsSubstream) {
      return Error{"not a workbook (the workbook stream does not begin with workbook globals)"};
    }
  }

  bool date1904 = false;
  std::map<std::uint16_t, std::string> format_codes;
  std::vector<std::uint16_t> xf_format_ids;
  std::vector<RawSheet> raw_sheets;
  bool have_sst = false;

  // The code page must be known before the first byte string is decoded; it
  // comes early in the globals, before any string record that needs it.
  for (;;) {
    got = reader.Next(rec);
    if (!got) return got.error();
    if (!*got) break;  // no EOF: take what the stream holds
    if (rec.type == rt::kEof) break;
    RecordCursor cur(rec);
    switch (rec.type) {
      case rt::kFilePass:
        return Error{"password-protected workbook"};
      case rt::kCodePage: {
        std::uint16_t cp = 0;
        if (cur.U16(cp) && g.version == BiffVersion::kBiff5) g.decoder = CodePageDecoder(cp);
        break;
      }
      case rt::kDateMode: {
        std::uint16_t mode = 0;
        if (cur.U16(mode)) date1904 = mode == 1;
        break;
      }
      case rt::kFormat: {
        if (auto st = reader.GatherContinues(rec); !st) return st.error();
        std::uint16_t id = 0;
        std::string code;
        const bool ok = cur.U16(id) &&
                        (g.version == BiffVersion::kBiff8 ? cur.UnicodeString(false, code)
                                                          : cur.ByteString(true, g.decoder, code));
        if (ok) format_codes[id] = std::move(code);
        break;
      }
      case rt::kXf: {
        std::uint16_t font = 0;
        std::uint16_t format = 0;
        if (cur.U16(font) && cur.U16(format))
          xf_format_ids.push_back(format);
        else
          xf_format_ids.push_back(0);
        break;
      }
      case rt::kBoundSheet: {
        std::uint32_t offset = 0;
        std::uint8_t state = 0;
        std::uint8_t type = 0;
        std::string name;
        if (!cur.U32(offset) || !cur.U8(state) || !cur.U8(type)) {
          return Damaged("short BOUNDSHEET record");
        }
        const bool named = g.version == BiffVersion::kBiff8 ? cur.UnicodeString(true, name)
                                                            : cur.ByteString(true, g.decoder, name);
        if (!named) return Damaged("short BOUNDSHEET record");
        raw_sheets.push_back({std::move(name), offset, type});
        break;
      }
      case rt::kSst: {
        if (g.version != BiffVersion::kBiff8 || have_sst) break;
        if (auto st = reader.GatherContinues(rec); !st) return st.error();
        g.sst = ReadSharedStrings(rec);
        have_sst = true;
        break;
      }
      default:
        break;
    }
  }
  g.formats.SetDate1904(date1904);
  std::map<std::uint16_t, FormatEngine::Handle> handles;
  g.xf_formats.reserve(xf_format_ids.size());
  for (const std::uint16_t id : xf_format_ids) {
    auto it = handles.find(id);
    if (it == handles.end()) {
      const auto code = format_codes.find(id);
      const auto h =
          code != format_codes.end() ? g.formats.Intern(code->second) : g.formats.InternBuiltin(id);
      it = handles.emplace(id, h).first;
    }
    g.xf_formats.push_back(it->second);
  }

  const std::uint64_t globals_end = reader.Position();
  bool offsets_good = true;
  for (const auto& s : raw_sheets) offsets_good = offsets_good && HasBofAt(reader, s.offset);
  if (!offsets_good) {
    const auto found = SubstreamOffsets(reader, globals_end);
    for (std::size_t i = 0; i < raw_sheets.size() && i < found.size(); ++i) {
      raw_sheets[i].offset = found[i];
    }
  }
  for (auto& s : raw_sheets) {
    if (s.type != 0) continue;
    if (!IsWorksheet(reader, s.offset)) continue;
    g.sheets.push_back({std::move(s.name), s.offset});
  }
  return g;
}

}  // namespace dialsift::sheet::xls
