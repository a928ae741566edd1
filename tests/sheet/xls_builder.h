// Builds BIFF record streams and OLE2 compound files in memory for the .xls
// reader tests: byte-exact cases that no writer produces on demand (split
// strings, lying counts, damaged records).
#pragma once

#include <gsf/gsf-outfile-msole.h>
#include <gsf/gsf-outfile.h>
#include <gsf/gsf-output-memory.h>
#include <gsf/gsf-output.h>

#include <bit>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace dialsift::test::xls {

using Bytes = std::vector<std::uint8_t>;

// Little-endian field writers.
inline void Put8(Bytes& b, std::uint32_t v) {
  b.push_back(static_cast<std::uint8_t>(v));
}
inline void Put16(Bytes& b, std::uint32_t v) {
  Put8(b, v & 0xFF);
  Put8(b, (v >> 8) & 0xFF);
}
inline void Put32(Bytes& b, std::uint32_t v) {
  Put16(b, v & 0xFFFF);
  Put16(b, v >> 16);
}
inline void PutF64(Bytes& b, double v) {
  const auto bits = std::bit_cast<std::uint64_t>(v);
  Put32(b, static_cast<std::uint32_t>(bits));
  Put32(b, static_cast<std::uint32_t>(bits >> 32));
}
inline void PutBytes(Bytes& b, std::string_view s) {
  b.insert(b.end(), s.begin(), s.end());
}
// Characters of a BIFF8 string: 8-bit (compressed) or UTF-16LE from a
// string of ASCII or of 16-bit units.
inline void PutChars16(Bytes& b, std::u16string_view s) {
  for (const char16_t c : s) Put16(b, c);
}
// A BIFF8 XLUnicodeString with 8-bit characters.
inline Bytes Str8(std::string_view s) {
  Bytes b;
  Put16(b, static_cast<std::uint32_t>(s.size()));
  Put8(b, 0);
  PutBytes(b, s);
  return b;
}
// A BIFF8 ShortXLUnicodeString (sheet names) with 8-bit characters.
inline Bytes ShortStr8(std::string_view s) {
  Bytes b;
  Put8(b, static_cast<std::uint32_t>(s.size()));
  Put8(b, 0);
  PutBytes(b, s);
  return b;
}

// A record stream under construction.
class Biff {
 public:
  Biff& Rec(std::uint16_t type, const Bytes& body) {
    Put16(data_, type);
    Put16(data_, static_cast<std::uint32_t>(body.size()));
    data_.insert(data_.end(), body.begin(), body.end());
    return *this;
  }
  Biff& Raw(const Bytes& bytes) {
    data_.insert(data_.end(), bytes.begin(), bytes.end());
    return *this;
  }
  // BOF of the given version (0x0600 BIFF8, 0x0500 BIFF5) and substream type.
  Biff& Bof(std::uint16_t version, std::uint16_t type) {
    Bytes b;
    Put16(b, version);
    Put16(b, type);
    Put16(b, 0x0DBB);
    Put16(b, 0x07CC);
    if (version == 0x0600) {
      Put32(b, 0);
      Put32(b, 0x0006);
    }
    return Rec(0x0809, b);
  }
  Biff& Eof() { return Rec(0x000A, {}); }
  // Cell records (row, col 0-based).
  Biff& Number(int row, int col, double v, int xf = 0) {
    Bytes b = Head(row, col, xf);
    PutF64(b, v);
    return Rec(0x0203, b);
  }
  Biff& LabelSst(int row, int col, std::uint32_t index, int xf = 0) {
    Bytes b = Head(row, col, xf);
    Put32(b, index);
    return Rec(0x00FD, b);
  }
  Biff& Blank(int row, int col) { return Rec(0x0201, Head(row, col, 0)); }

  std::size_t size() const { return data_.size(); }
  const Bytes& bytes() const { return data_; }

  static Bytes Head(int row, int col, int xf) {
    Bytes b;
    Put16(b, static_cast<std::uint32_t>(row));
    Put16(b, static_cast<std::uint32_t>(col));
    Put16(b, static_cast<std::uint32_t>(xf));
    return b;
  }

 private:
  Bytes data_;
};

// A BOUNDSHEET body; the offset is patched in once known.
inline Bytes BoundSheet(std::uint32_t offset, std::string_view name, std::uint8_t type = 0,
                        std::uint8_t state = 0) {
  Bytes b;
  Put32(b, offset);
  Put8(b, state);
  Put8(b, type);
  const Bytes s = ShortStr8(name);
  b.insert(b.end(), s.begin(), s.end());
  return b;
}

struct SheetSpec {
  std::string name;
  Bytes records;                     // between the sheet's BOF and EOF
  std::uint8_t kind = 0;             // BOUNDSHEET type: 0 worksheet, 1 macro, 2 chart
  std::uint16_t substream = 0x0010;  // BOF type
  std::uint8_t state = 0;            // 0 visible, 1 hidden
};

// A workbook stream: globals (BOF, `globals`, BOUNDSHEETs, EOF) and the
// sheets' substreams, with correct BOUNDSHEET offsets unless `offset_shift`
// moves them. BIFF5 (version 0x0500) writes byte-string sheet names.
inline Bytes WorkbookStream(const Bytes& globals, const std::vector<SheetSpec>& sheets,
                            std::uint16_t version = 0x0600, std::int32_t offset_shift = 0) {
  auto bound = [&](std::uint32_t offset, const SheetSpec& s) {
    Bytes b;
    Put32(b, offset);
    Put8(b, s.state);
    Put8(b, s.kind);
    Put8(b, static_cast<std::uint32_t>(s.name.size()));
    if (version == 0x0600) Put8(b, 0);
    PutBytes(b, s.name);
    return b;
  };
  Biff head;
  head.Bof(version, 0x0005).Raw(globals);
  std::size_t pos = head.size() + 4;  // + EOF
  for (const auto& s : sheets) pos += 4 + bound(0, s).size();
  for (const auto& s : sheets) {
    head.Rec(0x0085,
             bound(static_cast<std::uint32_t>(static_cast<std::int64_t>(pos) + offset_shift), s));
    Biff sub;
    sub.Bof(version, s.substream).Raw(s.records).Eof();
    pos += sub.size();
  }
  head.Eof();
  for (const auto& s : sheets) {
    Biff sub;
    sub.Bof(version, s.substream).Raw(s.records).Eof();
    head.Raw(sub.bytes());
  }
  return head.bytes();
}

// An OLE2 compound file holding the given streams, written by libgsf.
inline Bytes CompoundFile(std::initializer_list<std::pair<std::string, Bytes>> streams) {
  GsfOutput* mem = gsf_output_memory_new();
  GsfOutfile* ole = gsf_outfile_msole_new(mem);
  for (const auto& [name, data] : streams) {
    GsfOutput* child = gsf_outfile_new_child(ole, name.c_str(), FALSE);
    gsf_output_write(child, data.size(), data.data());
    gsf_output_close(child);
    g_object_unref(child);
  }
  gsf_output_close(GSF_OUTPUT(ole));
  g_object_unref(ole);
  const auto* bytes = gsf_output_memory_get_bytes(GSF_OUTPUT_MEMORY(mem));
  Bytes out(bytes, bytes + gsf_output_size(mem));
  g_object_unref(mem);
  return out;
}

}  // namespace dialsift::test::xls
