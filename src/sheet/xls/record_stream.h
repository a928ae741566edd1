// The BIFF record stream: a sequence of records, each a 2-byte type, a 2-byte
// length and that many bytes of body (MS-XLS 2.1.4). Records whose body
// overflows the 8224-byte limit go on in CONTINUE records; RecordReader can
// gather those into one Record with the boundaries kept, because strings
// split across a boundary re-state their encoding there.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "sheet/result.h"
#include "sheet/xls/text_codec.h"

namespace dialsift::sheet::xls {

// Random access to the bytes of the workbook stream.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  virtual std::uint64_t Size() const = 0;
  // Fills `out` from `offset`; false when the bytes cannot be read.
  virtual bool Read(std::uint64_t offset, std::span<std::uint8_t> out) = 0;
};

// A ByteSource over bytes in memory (tests, fuzzing).
class MemorySource final : public ByteSource {
 public:
  explicit MemorySource(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
  std::uint64_t Size() const override { return bytes_.size(); }
  bool Read(std::uint64_t offset, std::span<std::uint8_t> out) override;

 private:
  std::span<const std::uint8_t> bytes_;
};

namespace rt {
// BIFF2 cell records (their numbers mean nothing in later versions).
inline constexpr std::uint16_t kBlank2 = 0x0001;
inline constexpr std::uint16_t kInteger2 = 0x0002;
inline constexpr std::uint16_t kNumber2 = 0x0003;
inline constexpr std::uint16_t kLabel2 = 0x0004;
inline constexpr std::uint16_t kBoolErr2 = 0x0005;
inline constexpr std::uint16_t kString2 = 0x0007;
inline constexpr std::uint16_t kFormat2 = 0x001E;  // BIFF2 and BIFF3
inline constexpr std::uint16_t kXf3 = 0x0243;
inline constexpr std::uint16_t kXf4 = 0x0443;
inline constexpr std::uint16_t kFormula = 0x0006;
inline constexpr std::uint16_t kEof = 0x000A;
inline constexpr std::uint16_t kDateMode = 0x0022;
inline constexpr std::uint16_t kFilePass = 0x002F;
inline constexpr std::uint16_t kContinue = 0x003C;
inline constexpr std::uint16_t kCodePage = 0x0042;
inline constexpr std::uint16_t kWsBool = 0x0081;
inline constexpr std::uint16_t kBoundSheet = 0x0085;
inline constexpr std::uint16_t kMulRk = 0x00BD;
inline constexpr std::uint16_t kMulBlank = 0x00BE;
inline constexpr std::uint16_t kRString = 0x00D6;
inline constexpr std::uint16_t kXf = 0x00E0;
inline constexpr std::uint16_t kSst = 0x00FC;
inline constexpr std::uint16_t kLabelSst = 0x00FD;
inline constexpr std::uint16_t kDimensions = 0x0200;
inline constexpr std::uint16_t kBlank = 0x0201;
inline constexpr std::uint16_t kNumber = 0x0203;
inline constexpr std::uint16_t kLabel = 0x0204;
inline constexpr std::uint16_t kBoolErr = 0x0205;
inline constexpr std::uint16_t kFormula3 = 0x0206;
inline constexpr std::uint16_t kString = 0x0207;
inline constexpr std::uint16_t kRk = 0x027E;
inline constexpr std::uint16_t kFormula4 = 0x0406;
inline constexpr std::uint16_t kFormat = 0x041E;
inline constexpr std::uint16_t kBof = 0x0809;
// BOF records of BIFF2, BIFF3 and BIFF4.
inline constexpr std::uint16_t kBof2 = 0x0009;
inline constexpr std::uint16_t kBof3 = 0x0209;
inline constexpr std::uint16_t kBof4 = 0x0409;
}  // namespace rt

// The most a single cell string needs: 32767 characters of two bytes, plus
// the flag byte that each CONTINUE record repeats.
inline constexpr std::size_t kMaxStringRecordBytes = 128 * 1024;

// One record, with the CONTINUE records that followed it when asked for.
struct Record {
  std::uint16_t type = 0;
  std::uint64_t offset = 0;  // of the record header in the stream
  std::vector<std::uint8_t> data;
  // End offsets (into data) of the body and of each CONTINUE body.
  std::vector<std::size_t> segment_ends;
};

// Reads records from a ByteSource through a read-ahead window.
class RecordReader {
 public:
  explicit RecordReader(ByteSource& source) : source_(source) {}

  void Seek(std::uint64_t offset) { pos_ = offset; }
  std::uint64_t Position() const { return pos_; }
  std::uint64_t Size() const { return source_.Size(); }

  // The next record: true when one was read, false at the end of the stream,
  // an Error when the stream is damaged (a header or body cut short).
  Result<bool> Next(Record& rec);
  // Appends the CONTINUE records that follow to `rec` (just read by Next),
  // up to `max_bytes` of record data; CONTINUE records beyond that are left
  // for Next, which callers skip as unknown records.
  Status GatherContinues(Record& rec, std::size_t max_bytes = SIZE_MAX);

 private:
  bool Fetch(std::uint64_t offset, std::span<std::uint8_t> out);
  Result<bool> Header(std::uint16_t& type, std::uint16_t& length);

  ByteSource& source_;
  std::uint64_t pos_ = 0;
  std::vector<std::uint8_t> window_;
  std::uint64_t window_start_ = 0;
  std::size_t window_target_ = 0;
};

// Reads the fields of a Record front to back. Plain fields read across
// CONTINUE boundaries; BIFF8 character data re-reads its encoding flag at each
// boundary. Every read checks the bounds and fails (returns false) past the end.
class RecordCursor {
 public:
  explicit RecordCursor(const Record& rec) : rec_(rec) {}

  bool U8(std::uint8_t& v);
  bool U16(std::uint16_t& v);
  bool U32(std::uint32_t& v);
  bool F64(double& v);
  bool Skip(std::size_t n);
  std::size_t Remaining() const { return rec_.data.size() - pos_; }

  // `count` characters of BIFF8 character data, starting in the given width.
  bool Chars(std::size_t count, bool high_byte, std::string& out);
  // `count` bytes of BIFF5 byte-string data, decoded with the code page.
  bool Bytes(std::size_t count, CodePageDecoder& decoder, std::string& out);

  // BIFF8 XLUnicodeString (16-bit length) or ShortXLUnicodeString (8-bit).
  bool UnicodeString(bool short_length, std::string& out);
  // BIFF5 byte string with an 8- or 16-bit length.
  bool ByteString(bool short_length, CodePageDecoder& decoder, std::string& out);

 private:
  // A string's character count: 8 or 16 bits.
  bool Length(bool short_length, std::size_t& count);
  bool Raw(std::uint8_t* out, std::size_t n);
  // The end of the segment holding pos_, and whether pos_ is where a CONTINUE begins.
  std::size_t SegmentEnd() const;
  bool AtBoundary() const;

  const Record& rec_;
  std::size_t pos_ = 0;
};

}  // namespace dialsift::sheet::xls
