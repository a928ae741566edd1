#include "sheet/xls/record_stream.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "sheet/limits.h"

namespace dialsift::sheet::xls {

namespace {

constexpr std::size_t kMinWindow = 4 * 1024;
constexpr std::size_t kMaxWindow = 64 * 1024;

std::string Hex4(std::uint16_t v) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string s = "0x0000";
  for (int i = 0; i < 4; ++i) s[5 - i] = kDigits[(v >> (4 * i)) & 0xF];
  return s;
}

Error Unreadable(std::uint64_t offset) {
  return Error{ErrorKind::kDamagedContainer,
               "damaged OLE2 compound file (the workbook stream cannot be read at offset " +
                   std::to_string(offset) + ")"};
}

}  // namespace

bool MemorySource::Read(std::uint64_t offset, std::span<std::uint8_t> out) {
  if (offset > bytes_.size() || out.size() > bytes_.size() - offset) return false;
  if (out.empty()) return true;
  std::memcpy(out.data(), bytes_.data() + offset, out.size());
  return true;
}

bool RecordReader::Fetch(std::uint64_t offset, std::span<std::uint8_t> out) {
  const std::uint64_t size = source_.Size();
  if (offset > size || out.size() > size - offset) return false;
  if (out.empty()) return true;
  if (offset >= window_start_ && offset + out.size() <= window_start_ + window_.size()) {
    std::memcpy(out.data(), window_.data() + (offset - window_start_), out.size());
    return true;
  }
  if (out.size() > kMaxWindow) return source_.Read(offset, out);
  // Reading on where the window ended doubles the window; a jump (a sheet's
  // BOF, a check of one record) starts small again, so that many scattered
  // reads stay cheap.
  const bool sequential = offset == window_start_ + window_.size();
  window_target_ = sequential ? std::min(window_target_ * 2, kMaxWindow) : kMinWindow;
  const std::size_t want = std::max(window_target_, out.size());
  window_.resize(static_cast<std::size_t>(std::min<std::uint64_t>(want, size - offset)));
  window_start_ = offset;
  if (!source_.Read(offset, window_)) {
    window_.clear();
    return false;
  }
  std::memcpy(out.data(), window_.data(), out.size());
  return true;
}

Result<bool> RecordReader::Header(std::uint16_t& type, std::uint16_t& length) {
  const std::uint64_t size = source_.Size();
  if (pos_ >= size) return false;
  std::uint8_t h[4];
  if (size - pos_ < 4) {
    return Error{ErrorKind::kDamagedWorkbook,
                 "damaged workbook stream (a record header is cut short at offset " +
                     std::to_string(pos_) + ")"};
  }
  if (!Fetch(pos_, h)) {
    return Unreadable(pos_);
  }
  type = static_cast<std::uint16_t>(h[0] | (h[1] << 8));
  length = static_cast<std::uint16_t>(h[2] | (h[3] << 8));
  if (length > size - pos_ - 4) {
    return Error{ErrorKind::kDamagedWorkbook, "damaged workbook stream (record " + Hex4(type) +
                                                  " at offset " + std::to_string(pos_) +
                                                  " runs past the end of the stream)"};
  }
  return true;
}

Result<bool> RecordReader::Next(Record& rec) {
  std::uint16_t type = 0;
  std::uint16_t length = 0;
  auto got = Header(type, length);
  if (!got || !*got) return got;
  rec.type = type;
  rec.offset = pos_;
  rec.data.resize(length);
  rec.segment_ends.assign(1, length);
  if (!Fetch(pos_ + 4, rec.data)) {
    return Unreadable(pos_);
  }
  pos_ += 4 + std::uint64_t{length};
  return true;
}

Status RecordReader::GatherContinues(Record& rec, std::size_t max_bytes) {
  for (std::size_t records = 0;; ++records) {
    std::uint16_t type = 0;
    std::uint16_t length = 0;
    auto more = Header(type, length);
    if (!more) return more.error();
    if (!*more || type != rt::kContinue || rec.data.size() + length > max_bytes) break;
    if (records == kMaxContinueRecords) {
      return OverBudget(kMaxContinueRecords, "CONTINUE records after one record");
    }
    const std::size_t old = rec.data.size();
    rec.data.resize(old + length);
    if (!Fetch(pos_ + 4, std::span(rec.data).subspan(old))) {
      return Unreadable(pos_);
    }
    rec.segment_ends.push_back(rec.data.size());
    pos_ += 4 + std::uint64_t{length};
  }
  return Status::Ok();
}

bool RecordCursor::AtBoundary() const {
  return pos_ > 0 && pos_ < rec_.data.size() &&
         std::binary_search(rec_.segment_ends.begin(), rec_.segment_ends.end(), pos_);
}

std::size_t RecordCursor::SegmentEnd() const {
  const auto it = std::upper_bound(rec_.segment_ends.begin(), rec_.segment_ends.end(), pos_);
  return it == rec_.segment_ends.end() ? rec_.data.size() : *it;
}

bool RecordCursor::Raw(std::uint8_t* out, std::size_t n) {
  if (n > Remaining()) return false;
  std::memcpy(out, rec_.data.data() + pos_, n);
  pos_ += n;
  return true;
}

bool RecordCursor::U8(std::uint8_t& v) {
  return Raw(&v, 1);
}

bool RecordCursor::U16(std::uint16_t& v) {
  std::uint8_t b[2];
  if (!Raw(b, 2)) return false;
  v = static_cast<std::uint16_t>(b[0] | (b[1] << 8));
  return true;
}

bool RecordCursor::U32(std::uint32_t& v) {
  std::uint8_t b[4];
  if (!Raw(b, 4)) return false;
  v = b[0] | (std::uint32_t{b[1]} << 8) | (std::uint32_t{b[2]} << 16) | (std::uint32_t{b[3]} << 24);
  return true;
}

bool RecordCursor::F64(double& v) {
  std::uint8_t b[8];
  if (!Raw(b, 8)) return false;
  std::uint64_t bits = 0;
  for (int i = 7; i >= 0; --i) bits = (bits << 8) | b[i];
  v = std::bit_cast<double>(bits);
  return true;
}

bool RecordCursor::Skip(std::size_t n) {
  if (n > Remaining()) return false;
  pos_ += n;
  return true;
}

bool RecordCursor::Chars(std::size_t count, bool high_byte, std::string& out) {
  while (count > 0) {
    if (AtBoundary()) {
      // The characters go on in a CONTINUE record, which begins with the
      // encoding flag of the rest of the string.
      std::uint8_t flags = 0;
      if (!U8(flags)) return false;
      high_byte = (flags & 0x01) != 0;
    }
    const std::size_t end = SegmentEnd();
    const std::size_t width = high_byte ? 2 : 1;
    const std::size_t n = std::min(count, (end - pos_) / width);
    if (n == 0) return false;  // half a character before the boundary
    const std::span<const std::uint8_t> bytes(rec_.data.data() + pos_, n * width);
    if (high_byte) {
      AppendUtf16Le(bytes, out);
    } else {
      AppendLatin1(bytes, out);
    }
    pos_ += n * width;
    count -= n;
  }
  return true;
}

bool RecordCursor::Bytes(std::size_t count, CodePageDecoder& decoder, std::string& out) {
  if (count > Remaining()) return false;
  decoder.Append(std::span(rec_.data.data() + pos_, count), out);
  pos_ += count;
  return true;
}

bool RecordCursor::Length(bool short_length, std::size_t& count) {
  if (short_length) {
    std::uint8_t n = 0;
    if (!U8(n)) return false;
    count = n;
  } else {
    std::uint16_t n = 0;
    if (!U16(n)) return false;
    count = n;
  }
  return true;
}

bool RecordCursor::UnicodeString(bool short_length, std::string& out) {
  std::size_t count = 0;
  if (!Length(short_length, count)) return false;
  // Some writers leave out the flags byte of an empty string at the end of a record.
  if (count == 0 && Remaining() == 0) return true;
  std::uint8_t flags = 0;
  if (!U8(flags)) return false;
  std::uint16_t runs = 0;
  std::uint32_t ext = 0;
  // Rich-text runs and phonetic data may follow the characters; they only
  // occur where the caller allows them (SST), but skipping is harmless.
  if ((flags & 0x08) != 0 && !U16(runs)) return false;
  if ((flags & 0x04) != 0 && !U32(ext)) return false;
  if (!Chars(count, (flags & 0x01) != 0, out)) return false;
  return Skip(std::size_t{runs} * 4) && Skip(ext);
}

bool RecordCursor::ByteString(bool short_length, CodePageDecoder& decoder, std::string& out) {
  std::size_t count = 0;
  if (!Length(short_length, count)) return false;
  return Bytes(count, decoder, out);
}

}  // namespace dialsift::sheet::xls
