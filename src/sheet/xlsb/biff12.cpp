#include "sheet/xlsb/biff12.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace dialsift::sheet::xlsb {

namespace {

constexpr std::size_t kChunk = 1 << 16;

void AppendUtf8(std::string& out, std::uint32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

}  // namespace

Result<std::size_t> MemorySource::Read(std::span<char> buffer) {
  const std::size_t n = std::min(buffer.size(), bytes_.size());
  std::memcpy(buffer.data(), bytes_.data(), n);
  bytes_.remove_prefix(n);
  return n;
}

Error RecordReader::Damaged(std::string_view what) const {
  return Error{"damaged binary workbook part " + part_ + ": " + std::string(what)};
}

Result<bool> RecordReader::Fill(std::size_t n) {
  if (end_ - pos_ >= n) return true;
  if (pos_ > 0) {
    std::memmove(buf_.data(), buf_.data() + pos_, end_ - pos_);
    end_ -= pos_;
    pos_ = 0;
  }
  if (buf_.size() < std::max(n, kChunk)) buf_.resize(std::max(n, kChunk));
  while (end_ < n && !eof_) {
    auto got = source_.Read(std::span<char>(buf_.data() + end_, buf_.size() - end_));
    if (!got) return got.error();
    if (*got == 0) eof_ = true;
    end_ += *got;
  }
  return end_ >= n;
}

Result<bool> RecordReader::Next(Record& record) {
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

bool Payload::U8(std::uint8_t& v) {
  if (Left() < 1) return false;
  v = static_cast<std::uint8_t>(data_[pos_++]);
  return true;
}

bool Payload::U16(std::uint16_t& v) {
  if (Left() < 2) return false;
  v = static_cast<std::uint16_t>(static_cast<unsigned char>(data_[pos_]) |
                                 (static_cast<unsigned char>(data_[pos_ + 1]) << 8));
  pos_ += 2;
  return true;
}

bool Payload::U32(std::uint32_t& v) {
  if (Left() < 4) return false;
  v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(data_[pos_ + i]);
  pos_ += 4;
  return true;
}

bool Payload::F64(double& v) {
  if (Left() < 8) return false;
  std::uint64_t bits = 0;
  for (int i = 7; i >= 0; --i) bits = (bits << 8) | static_cast<unsigned char>(data_[pos_ + i]);
  v = std::bit_cast<double>(bits);
  pos_ += 8;
  return true;
}

bool Payload::Skip(std::size_t n) {
  if (Left() < n) return false;
  pos_ += n;
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

void AppendUtf16Le(std::string_view bytes, std::string& out) {
  out.reserve(out.size() + bytes.size() / 2);
  std::uint32_t high = 0;
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    const std::uint32_t unit =
        static_cast<unsigned char>(bytes[i]) |
        (static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i + 1])) << 8);
    if (high != 0) {
      if (unit >= 0xDC00 && unit <= 0xDFFF) {
        AppendUtf8(out, 0x10000 + ((high - 0xD800) << 10) + (unit - 0xDC00));
        high = 0;
        continue;
      }
      AppendUtf8(out, 0xFFFD);
      high = 0;
    }
    if (unit >= 0xD800 && unit <= 0xDBFF) {
      high = unit;
    } else if (unit >= 0xDC00 && unit <= 0xDFFF) {
      AppendUtf8(out, 0xFFFD);
    } else if (unit < 0x80) {
      out += static_cast<char>(unit);
    } else {
      AppendUtf8(out, unit);
    }
  }
  if (high != 0) AppendUtf8(out, 0xFFFD);
}

double DecodeRk(std::uint32_t rk) {
  double value = 0;
  if (rk & 0x2u) {
    // A signed 30-bit integer in the high bits.
    value = static_cast<double>(static_cast<std::int32_t>(rk) >> 2);
  } else {
    value = std::bit_cast<double>(static_cast<std::uint64_t>(rk & 0xFFFFFFFCu) << 32);
  }
  return (rk & 0x1u) ? value / 100 : value;
}

std::string_view ErrorText(std::uint8_t code) {
  switch (code) {
    case 0x00:
      return "#NULL!";
    case 0x07:
      return "#DIV/0!";
    case 0x0F:
      return "#VALUE!";
    case 0x17:
      return "#REF!";
    case 0x1D:
      return "#NAME?";
    case 0x24:
      return "#NUM!";
    case 0x2A:
      return "#N/A";
    case 0x2B:
      return "#GETTING_DATA";
    default:
      return "#N/A";
  }
}

}  // namespace dialsift::sheet::xlsb
