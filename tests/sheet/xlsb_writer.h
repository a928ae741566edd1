// A small writer of binary workbooks (.xlsb) for the tests, from the published
// record layout: records are built byte by byte, so tests can also write the
// damaged and hostile ones that no spreadsheet application produces.
#pragma once

#include <zip.h>

#include <bit>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

namespace dialsift::test::xlsb {

inline void PutU16(std::string& out, std::uint16_t v) {
  out += static_cast<char>(v & 0xFF);
  out += static_cast<char>(v >> 8);
}
inline void PutU32(std::string& out, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
}
inline void PutF64(std::string& out, double v) {
  const auto bits = std::bit_cast<std::uint64_t>(v);
  for (int i = 0; i < 8; ++i) out += static_cast<char>((bits >> (8 * i)) & 0xFF);
}
// An XLWideString from UTF-8 text (characters of the Basic Multilingual Plane).
inline void PutWide(std::string& out, std::string_view utf8) {
  std::u16string units;
  for (std::size_t i = 0; i < utf8.size();) {
    const auto b = static_cast<unsigned char>(utf8[i]);
    char32_t cp = b;
    int extra = 0;
    if (b >= 0xE0) {
      cp = b & 0x0F;
      extra = 2;
    } else if (b >= 0xC0) {
      cp = b & 0x1F;
      extra = 1;
    }
    ++i;
    for (int k = 0; k < extra && i < utf8.size(); ++k, ++i) {
      cp = (cp << 6) | (static_cast<unsigned char>(utf8[i]) & 0x3F);
    }
    units += static_cast<char16_t>(cp);
  }
  PutU32(out, static_cast<std::uint32_t>(units.size()));
  for (const char16_t u : units) PutU16(out, u);
}

// One record: type and size in their 7-bit variable-length forms.
inline std::string Rec(std::uint32_t type, std::string_view payload = {}) {
  std::string out;
  out += static_cast<char>((type & 0x7F) | (type > 0x7F ? 0x80 : 0));
  if (type > 0x7F) out += static_cast<char>((type >> 7) & 0x7F);
  std::uint32_t size = static_cast<std::uint32_t>(payload.size());
  do {
    char b = static_cast<char>(size & 0x7F);
    size >>= 7;
    if (size) b = static_cast<char>(b | 0x80);
    out += b;
  } while (size);
  out += payload;
  return out;
}

// The 8-byte Cell structure: column (0-based) and cell format.
inline std::string CellHead(std::uint32_t column, std::uint32_t style = 0) {
  std::string out;
  PutU32(out, column);
  PutU32(out, style);
  return out;
}

inline std::string RowHdr(std::uint32_t row0) {
  std::string p;
  PutU32(p, row0);
  PutU32(p, 0);    // ixfe
  PutU16(p, 300);  // height
  p += std::string(4, '\0');
  return Rec(0, p);
}
inline std::string Isst(std::uint32_t column, std::uint32_t index, std::uint32_t style = 0) {
  std::string p = CellHead(column, style);
  PutU32(p, index);
  return Rec(7, p);
}
inline std::string InlineStr(std::uint32_t column, std::string_view text, std::uint32_t style = 0) {
  std::string p = CellHead(column, style);
  PutWide(p, text);
  return Rec(6, p);
}
inline std::string Real(std::uint32_t column, double v, std::uint32_t style = 0) {
  std::string p = CellHead(column, style);
  PutF64(p, v);
  return Rec(5, p);
}
inline std::string Rk(std::uint32_t column, std::uint32_t rk, std::uint32_t style = 0) {
  std::string p = CellHead(column, style);
  PutU32(p, rk);
  return Rec(2, p);
}

// Sheet data: the records between the begin and end of the cell table.
inline std::string SheetPart(std::string_view cells) {
  return Rec(129) + Rec(145) + std::string(cells) + Rec(146) + Rec(130);
}

struct SheetSpec {
  std::string name;
  std::string part;  // the sheet's records, as SheetPart makes them
  std::string rel_type = "worksheet";
};

class Builder {
 public:
  void AddSheet(std::string name, std::string part, std::string rel_type = "worksheet") {
    sheets_.push_back({std::move(name), std::move(part), std::move(rel_type)});
  }
  void SetStrings(std::vector<std::string> strings) { strings_ = std::move(strings); }
  // Custom number formats (id, code) and the format id of each cell XF.
  void SetStyles(std::vector<std::pair<std::uint16_t, std::string>> formats,
                 std::vector<std::uint16_t> xf_formats) {
    formats_ = std::move(formats);
    xfs_ = std::move(xf_formats);
  }
  void SetDate1904(bool on) { date1904_ = on; }
  // Replaces a part's bytes as written (for damaged files).
  void Override(std::string name, std::string bytes) {
    overrides_.push_back({std::move(name), std::move(bytes)});
  }

  std::string WorkbookPart() const {
    std::string out = Rec(131);
    std::string prop;
    PutU32(prop, date1904_ ? 1 : 0);
    PutU32(prop, 0);
    PutWide(prop, "");
    out += Rec(153, prop);
    out += Rec(143);
    for (std::size_t i = 0; i < sheets_.size(); ++i) {
      std::string p;
      PutU32(p, 0);
      PutU32(p, static_cast<std::uint32_t>(i + 1));
      PutWide(p, "rId" + std::to_string(i + 1));
      PutWide(p, sheets_[i].name);
      out += Rec(156, p);
    }
    out += Rec(144) + Rec(132);
    return out;
  }
  std::string StylesPart() const {
    std::string out = Rec(278) + Rec(615);
    for (const auto& [id, code] : formats_) {
      std::string p;
      PutU16(p, id);
      PutWide(p, code);
      out += Rec(44, p);
    }
    out += Rec(616);
    // A style XF that must not count as a cell format.
    std::string style_xf(16, '\0');
    style_xf[2] = 10;
    out += Rec(626) + Rec(47, style_xf) + Rec(627);
    out += Rec(617);
    for (const auto id : xfs_) {
      std::string p;
      PutU16(p, 0);
      PutU16(p, id);
      p += std::string(12, '\0');
      out += Rec(47, p);
    }
    out += Rec(618) + Rec(279);
    return out;
  }
  std::string StringsPart() const {
    std::string begin;
    PutU32(begin, static_cast<std::uint32_t>(strings_.size()));
    PutU32(begin, static_cast<std::uint32_t>(strings_.size()));
    std::string out = Rec(159, begin);
    for (const auto& s : strings_) {
      std::string p(1, '\0');
      PutWide(p, s);
      out += Rec(19, p);
    }
    return out + Rec(160);
  }

  void Write(const std::filesystem::path& path) const {
    std::vector<std::pair<std::string, std::string>> parts;
    parts.push_back(
        {"[Content_Types].xml",
         R"(<?xml version="1.0" encoding="UTF-8"?>)"
         R"(<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">)"
         R"(<Default Extension="bin" ContentType="application/vnd.ms-excel.sheet.binary.macroEnabled.main"/>)"
         R"(<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>)"
         R"(</Types>)"});
    parts.push_back({"_rels/.rels", Rels({{"rId1", "officeDocument", "xl/workbook.bin"}})});
    std::vector<std::tuple<std::string, std::string, std::string>> rels;
    for (std::size_t i = 0; i < sheets_.size(); ++i) {
      const std::string file = "worksheets/sheet" + std::to_string(i + 1) + ".bin";
      rels.emplace_back("rId" + std::to_string(i + 1), sheets_[i].rel_type, file);
      parts.push_back({"xl/" + file, sheets_[i].part});
    }
    rels.emplace_back("rIdS", "styles", "styles.bin");
    rels.emplace_back("rIdT", "sharedStrings", "sharedStrings.bin");
    parts.push_back({"xl/_rels/workbook.bin.rels", Rels(rels)});
    parts.push_back({"xl/workbook.bin", WorkbookPart()});
    parts.push_back({"xl/styles.bin", StylesPart()});
    parts.push_back({"xl/sharedStrings.bin", StringsPart()});
    for (const auto& [name, bytes] : overrides_) {
      for (auto& part : parts) {
        if (part.first == name) part.second = bytes;
      }
    }
    int err = 0;
    zip_t* z = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &err);
    if (!z) return;
    for (const auto& [name, bytes] : parts) {
      zip_source_t* src = zip_source_buffer(z, bytes.data(), bytes.size(), 0);
      zip_file_add(z, name.c_str(), src, ZIP_FL_OVERWRITE);
    }
    zip_close(z);
  }

 private:
  static std::string Rels(const std::vector<std::tuple<std::string, std::string, std::string>>& r) {
    std::string out =
        R"(<?xml version="1.0" encoding="UTF-8"?>)"
        R"(<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">)";
    for (const auto& [id, kind, target] : r) {
      const std::string base = kind == "xlMacrosheet"
                                   ? "http://schemas.microsoft.com/office/2006/relationships/"
                                   : "http://schemas.openxmlformats.org/officeDocument/2006/"
                                     "relationships/";
      out += "<Relationship Id=\"" + id + "\" Type=\"" + base + kind + "\" Target=\"" + target +
             "\"/>";
    }
    return out + "</Relationships>";
  }

  std::vector<SheetSpec> sheets_;
  std::vector<std::string> strings_;
  std::vector<std::pair<std::uint16_t, std::string>> formats_;
  std::vector<std::uint16_t> xfs_;
  std::vector<std::pair<std::string, std::string>> overrides_;
  bool date1904_ = false;
};

}  // namespace dialsift::test::xlsb
