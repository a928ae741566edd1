// Builds BIFF record streams and OLE2 compound files in memory for the .xls
// reader tests: byte-exact cases that no writer produces on demand (split
// strings, lying counts, damaged records).
#pragma once

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

// An OLE2 compound file (version 3, 512-byte sectors) holding the given
// streams as children of the root, each the right sibling of the one before.
// Streams under 4096 bytes live in the mini stream. Layout, in sectors: the
// FAT from sector 0 (one sector for files under 64 KB), then the directory
// (entry 0 the root, then the streams in order), the mini FAT, the mini
// stream and each regular stream. Every chain runs forward through
// consecutive sectors, so tests can find and spoil any part by its offset.
inline Bytes CompoundFile(const std::vector<std::pair<std::string, Bytes>>& streams) {
  constexpr std::uint32_t kSector = 512;
  constexpr std::uint32_t kEnd = 0xFFFFFFFE;
  const auto sectors_for = [](std::size_t bytes) {
    return static_cast<std::uint32_t>((bytes + kSector - 1) / kSector);
  };
  Bytes mini;  // the mini stream
  std::vector<std::uint32_t> starts;
  std::vector<std::uint32_t> mini_fat;
  for (const auto& [name, data] : streams) {
    if (data.size() >= 4096 || data.empty()) {
      starts.push_back(data.empty() ? kEnd : 0);
      continue;
    }
    const auto first = static_cast<std::uint32_t>(mini.size() / 64);
    starts.push_back(first);
    mini.insert(mini.end(), data.begin(), data.end());
    mini.resize((mini.size() + 63) / 64 * 64, 0);
    const auto last = static_cast<std::uint32_t>(mini.size() / 64);
    for (std::uint32_t m = first; m + 1 < last; ++m) mini_fat.push_back(m + 1);
    mini_fat.push_back(kEnd);
  }
  // Sector runs: directory, mini FAT, mini stream, regular streams.
  std::vector<Bytes> runs;
  Bytes dir;
  const auto entry = [&dir](std::string_view name, std::uint8_t type, std::uint32_t right,
                            std::uint32_t child, std::uint32_t start, std::uint32_t size) {
    Bytes e;
    for (const char c : name) Put16(e, static_cast<std::uint8_t>(c));
    e.resize(64, 0);
    Put16(e, static_cast<std::uint32_t>(2 * name.size() + 2));
    Put8(e, type);
    Put8(e, 1);  // black
    Put32(e, 0xFFFFFFFF);
    Put32(e, right);
    Put32(e, child);
    e.resize(116, 0);
    Put32(e, start);
    Put32(e, size);
    Put32(e, 0);
    dir.insert(dir.end(), e.begin(), e.end());
  };
  Bytes mini_fat_bytes;
  for (const std::uint32_t v : mini_fat) Put32(mini_fat_bytes, v);
  const std::uint32_t dir_sectors = sectors_for((streams.size() + 1) * 128);
  std::uint32_t total = dir_sectors + sectors_for(mini_fat_bytes.size()) + sectors_for(mini.size());
  for (const auto& [name, data] : streams) {
    if (data.size() >= 4096) total += sectors_for(data.size());
  }
  std::uint32_t fat_sectors = 1;
  while (fat_sectors * (kSector / 4) < total + fat_sectors) ++fat_sectors;
  const std::uint32_t dir_start = fat_sectors;
  const std::uint32_t mini_fat_start = dir_start + dir_sectors;
  const std::uint32_t mini_start = mini_fat_start + sectors_for(mini_fat_bytes.size());
  std::uint32_t next = mini_start + sectors_for(mini.size());
  entry("Root Entry", 5, 0xFFFFFFFF, streams.empty() ? 0xFFFFFFFF : 1,
        mini.empty() ? kEnd : mini_start, static_cast<std::uint32_t>(mini.size()));
  for (std::size_t i = 0; i < streams.size(); ++i) {
    const Bytes& data = streams[i].second;
    if (data.size() >= 4096) {
      starts[i] = next;
      next += sectors_for(data.size());
    }
    entry(streams[i].first, 2,
          i + 1 < streams.size() ? static_cast<std::uint32_t>(i + 2) : 0xFFFFFFFF, 0xFFFFFFFF,
          starts[i], static_cast<std::uint32_t>(data.size()));
  }
  runs.push_back(dir);
  runs.push_back(mini_fat_bytes);
  runs.push_back(mini);
  for (const auto& [name, data] : streams) {
    if (data.size() >= 4096) runs.push_back(data);
  }
  std::vector<std::uint32_t> fat(fat_sectors, 0xFFFFFFFD);
  for (const Bytes& run : runs) {
    const std::uint32_t n = sectors_for(run.size());
    for (std::uint32_t k = 0; k < n; ++k) {
      fat.push_back(k + 1 < n ? static_cast<std::uint32_t>(fat.size() + 1) : kEnd);
    }
  }
  fat.resize(fat_sectors * (kSector / 4), 0xFFFFFFFF);

  Bytes out{0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
  out.resize(24, 0);
  for (const std::uint32_t v : {0x3Eu, 3u, 0xFFFEu, 9u, 6u}) Put16(out, v);
  out.resize(44, 0);
  for (const std::uint32_t v :
       {fat_sectors, dir_start, 0u, 4096u, mini_fat.empty() ? kEnd : mini_fat_start,
        sectors_for(mini_fat_bytes.size()), kEnd, 0u}) {
    Put32(out, v);
  }
  for (std::uint32_t i = 0; i < 109; ++i) Put32(out, i < fat_sectors ? i : 0xFFFFFFFF);
  for (const std::uint32_t v : fat) Put32(out, v);
  for (const Bytes& run : runs) {
    out.insert(out.end(), run.begin(), run.end());
    out.resize(out.size() + (kSector - run.size() % kSector) % kSector, 0);
  }
  return out;
}

}  // namespace dialsift::test::xls
