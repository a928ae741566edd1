#include "sheet/xlsb/biff12.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace dialsift::sheet::xlsb {

namespace {

constexpr std::size_t kChunk = 1 << 16;

}  // namespace

Result<std::size_t> MemorySource::Read(std::span<char> buffer) {
  const std::size_t n = std::min(buffer.size(), bytes_.size());
  std::memcpy(buffer.data(), bytes_.data(), n);
  bytes_.remove_prefix(n);
  return n;
}

Error DamagedPart(std::string_view part, std::string_view what) {
  return Error{ErrorKind::kDamagedWorkbook, "damaged binary workbook part " + std::string(part) +
                                                " (" + std::string(what) + ")"};
}

Error RecordReader::Damaged(std::string_view what) const {
  return DamagedPart(part_, what);
}

Result<bool> RecordReader::Fill(std::size_t n) {
  if (end_ - pos_ >= n) return true;
  if (pos_ > 0) {
    std::memmove(buf_.data(), buf_.data() + pos_, end_ - pos_);
    end_ -= pos_;
    pos_ = 0;
  }
  // Room for a whole chunk after the bytes kept: a zip entry then inflates
  // straight into it, where a smaller read is staged and copied.
  if (buf_.size() < end_ + std::max(n, kChunk)) buf_.resize(end_ + std::max(n, kChunk));
  while (end_ < n && !eof_) {
    auto got = source_.Read(std::span<char>(buf_.data() + end_, buf_.size() - end_));
    if (!got) return got.error();
    if (*got == 0) eof_ = true;
    end_ += *got;
  }
  return end_ >= n;
}

Result<bool> RecordReader::NextSlow(Record& record) {
  record = {};
  auto have = Fill(1);
  if (!have) return have.error();
  if (!*have) return false;

  // Header: at most 2 type bytes and 4 size bytes.
  have = Fill(6);
  if (!have) return have.error();
  const std::size_t avail = end_ - pos_;
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(buf_[pos_ + i]); };
  std::size_t i = 0;
  std::uint32_t type = byte(i) & 0x7Fu;
  if (byte(i++) & 0x80u) {
    if (i >= avail) return Damaged("a record header is cut off");
    if (byte(i) & 0x80u) return Damaged("a record type is longer than two bytes");
    type |= static_cast<std::uint32_t>(byte(i++) & 0x7Fu) << 7;
  }
  std::uint64_t size = 0;
  for (int k = 0;; ++k) {
    if (i >= avail) return Damaged("a record header is cut off");
    const unsigned b = byte(i++);
    size |= static_cast<std::uint64_t>(b & 0x7Fu) << (7 * k);
    if (!(b & 0x80u)) break;
    if (k == 3) return Damaged("a record size is longer than four bytes");
  }
  pos_ += i;
  record.type = type;

  if (size > kMaxPayload) {
    // Skip it without holding it.
    std::uint64_t left = size;
    const std::size_t in_buf = std::min<std::uint64_t>(left, end_ - pos_);
    pos_ += in_buf;
    left -= in_buf;
    while (left > 0) {
      pos_ = end_ = 0;
      if (buf_.size() < kChunk) buf_.resize(kChunk);
      const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(left, buf_.size()));
      auto got = source_.Read(std::span<char>(buf_.data(), want));
      if (!got) return got.error();
      if (*got == 0) {
        eof_ = true;
        return Damaged("record " + std::to_string(type) + " runs past the end of the part");
      }
      left -= *got;
    }
    record.skipped = true;
    return true;
  }
  have = Fill(static_cast<std::size_t>(size));
  if (!have) return have.error();
  if (!*have) return Damaged("record " + std::to_string(type) + " runs past the end of the part");
  record.data = std::string_view(buf_.data() + pos_, static_cast<std::size_t>(size));
  pos_ += static_cast<std::size_t>(size);
  return true;
}

bool Payload::WideString(std::string& out) {
  out.clear();
  std::uint32_t count = 0;
  if (!U32(count)) return false;
  if (count > Left() / 2) return false;
  AppendUtf16Le(data_.substr(pos_, std::size_t{count} * 2), out);
  pos_ += std::size_t{count} * 2;
  return true;
}

bool Payload::NullableWideString(std::string& out) {
  out.clear();
  if (Left() >= 4 && data_.substr(pos_, 4) == std::string_view("\xFF\xFF\xFF\xFF", 4)) {
    pos_ += 4;
    return true;
  }
  return WideString(out);
}

}  // namespace dialsift::sheet::xlsb
