// The record stream of the binary workbook parts (BIFF12): each record is a
// type of one or two bytes and a size of one to four bytes, both written
// seven bits per byte with the high bit saying that another byte follows,
// then the payload.
#pragma once

#include "base/unicode.h"
#include "sheet/biff_values.h"

#include <bit>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "sheet/result.h"
#include "sheet/zip_archive.h"

namespace dialsift::sheet::xlsb {

// Record types the reader looks at.
namespace rt {
inline constexpr std::uint32_t kRowHdr = 0;
inline constexpr std::uint32_t kCellBlank = 1;
inline constexpr std::uint32_t kCellRk = 2;
inline constexpr std::uint32_t kCellError = 3;
inline constexpr std::uint32_t kCellBool = 4;
inline constexpr std::uint32_t kCellReal = 5;
inline constexpr std::uint32_t kCellSt = 6;
inline constexpr std::uint32_t kCellIsst = 7;
inline constexpr std::uint32_t kFmlaString = 8;
inline constexpr std::uint32_t kFmlaNum = 9;
inline constexpr std::uint32_t kFmlaBool = 10;
inline constexpr std::uint32_t kFmlaError = 11;
// The short cell records carry no column: theirs follows the previous cell's.
inline constexpr std::uint32_t kShortBlank = 12;
inline constexpr std::uint32_t kShortRk = 13;
inline constexpr std::uint32_t kShortError = 14;
inline constexpr std::uint32_t kShortBool = 15;
inline constexpr std::uint32_t kShortReal = 16;
inline constexpr std::uint32_t kShortSt = 17;
inline constexpr std::uint32_t kShortIsst = 18;
inline constexpr std::uint32_t kSstItem = 19;
inline constexpr std::uint32_t kFmt = 44;
inline constexpr std::uint32_t kXf = 47;
inline constexpr std::uint32_t kCellRString = 62;
inline constexpr std::uint32_t kBeginSheetData = 145;
inline constexpr std::uint32_t kEndSheetData = 146;
inline constexpr std::uint32_t kWbProp = 153;
inline constexpr std::uint32_t kBundleSh = 156;
inline constexpr std::uint32_t kBeginCellXfs = 617;
inline constexpr std::uint32_t kEndCellXfs = 618;
}  // namespace rt

// Where the bytes of a part come from: a zip entry, or memory in tests and
// fuzzing.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // Bytes read into `buffer`, 0 at the end.
  virtual Result<std::size_t> Read(std::span<char> buffer) = 0;
};

class ZipEntrySource final : public ByteSource {
 public:
  explicit ZipEntrySource(ZipEntryReader entry) : entry_(std::move(entry)) {}
  Result<std::size_t> Read(std::span<char> buffer) override { return entry_.Read(buffer); }

 private:
  ZipEntryReader entry_;
};

class MemorySource final : public ByteSource {
 public:
  explicit MemorySource(std::string_view bytes) : bytes_(bytes) {}
  Result<std::size_t> Read(std::span<char> buffer) override;

 private:
  std::string_view bytes_;
};

struct Record {
  std::uint32_t type = 0;
  std::string_view data;  // valid until the next call of Next
  // Payloads beyond kMaxPayload are skipped unread: `data` is then empty.
  bool skipped = false;
};

// "damaged binary workbook part <part> (<what>)".
Error DamagedPart(std::string_view part, std::string_view what);

class RecordReader {
 public:
  // Largest payload held in memory. Cell, string and style records are far
  // smaller; larger ones (embedded objects, formula tables) are skipped.
  static constexpr std::size_t kMaxPayload = std::size_t{1} << 22;

  RecordReader(ByteSource& source, std::string part) : source_(source), part_(std::move(part)) {}

  // The next record: true when there is one, false at the end of the part.
  Result<bool> Next(Record& record) {
    // The usual record, header and payload already at hand, is read here;
    // the rest (more bytes to read, a payload to skip, a bad header) below.
    const std::size_t avail = end_ - pos_;
    if (avail >= kLongestHeader) {
      const auto* b = reinterpret_cast<const unsigned char*>(buf_.data() + pos_);
      std::size_t i = 1;
      std::uint32_t type = b[0] & 0x7Fu;
      if (b[0] & 0x80u) {
        if (b[1] & 0x80u) return NextSlow(record);
        type |= static_cast<std::uint32_t>(b[1] & 0x7Fu) << 7;
        i = 2;
      }
      std::size_t size = 0;
      for (int k = 0;; ++k) {
        const unsigned c = b[i++];
        size |= static_cast<std::size_t>(c & 0x7Fu) << (7 * k);
        if (!(c & 0x80u)) break;
        if (k == 3) return NextSlow(record);
      }
      if (size <= avail - i && size <= kMaxPayload) {
        record.type = type;
        record.data = std::string_view(buf_.data() + pos_ + i, size);
        record.skipped = false;
        pos_ += i + size;
        return true;
      }
    }
    return NextSlow(record);
  }
  const std::string& part() const { return part_; }

 private:
  // Two bytes of type, four of size.
  static constexpr std::size_t kLongestHeader = 6;

  Result<bool> NextSlow(Record& record);
  // Makes `n` bytes available from pos_; false when the part ends before.
  Result<bool> Fill(std::size_t n);
  Error Damaged(std::string_view what) const;

  ByteSource& source_;
  std::string part_;
  std::vector<char> buf_;
  std::size_t pos_ = 0;
  std::size_t end_ = 0;
  bool eof_ = false;
};

// Reads the little-endian fields of one payload. Every read checks the bytes
// left, so a record that lies about its content fails instead of running off.
class Payload {
 public:
  explicit Payload(std::string_view data) : data_(data) {}

  bool U8(std::uint8_t& v) {
    if (Left() < 1) return false;
    v = Byte(pos_++);
    return true;
  }
  bool U16(std::uint16_t& v) {
    if (Left() < 2) return false;
    v = static_cast<std::uint16_t>(Byte(pos_) | (Byte(pos_ + 1) << 8));
    pos_ += 2;
    return true;
  }
  bool U32(std::uint32_t& v) {
    if (Left() < 4) return false;
    v = Byte(pos_) | (Byte(pos_ + 1) << 8) | (Byte(pos_ + 2) << 16) |
        (std::uint32_t{Byte(pos_ + 3)} << 24);
    pos_ += 4;
    return true;
  }
  bool F64(double& v) {
    if (Left() < 8) return false;
    std::uint64_t bits = 0;
    for (std::size_t i = 8; i-- > 0;) bits = (bits << 8) | Byte(pos_ + i);
    v = std::bit_cast<double>(bits);
    pos_ += 8;
    return true;
  }
  bool Skip(std::size_t n) {
    if (Left() < n) return false;
    pos_ += n;
    return true;
  }
  // An XLWideString (count of UTF-16 units, then the units), as UTF-8.
  bool WideString(std::string& out);
  // An XLNullableWideString: like WideString; the null string reads as empty.
  bool NullableWideString(std::string& out);
  std::size_t Left() const { return data_.size() - pos_; }

 private:
  std::uint32_t Byte(std::size_t i) const { return static_cast<unsigned char>(data_[i]); }

  std::string_view data_;
  std::size_t pos_ = 0;
};

}  // namespace dialsift::sheet::xlsb
