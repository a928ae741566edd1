// UTF-8 output for the readers: every reader hands out UTF-8, whatever the
// file stores (UTF-16 in the binary formats, code pages in old ones).
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <string_view>

namespace dialsift::sheet {

inline constexpr char32_t kReplacementCharacter = 0xFFFD;

// The length of the UTF-8 sequence `text` begins with (1 to 4), or 0 when it
// begins with none: a stray or missing continuation byte, an overlong form, a
// surrogate or a code point beyond U+10FFFF.
inline std::size_t Utf8SequenceLength(std::string_view text) {
  if (text.empty()) return 0;
  const auto b = static_cast<unsigned char>(text[0]);
  const std::size_t len = b < 0x80           ? 1
                          : (b >> 5) == 0x6  ? 2
                          : (b >> 4) == 0xE  ? 3
                          : (b >> 3) == 0x1E ? 4
                                             : 0;
  if (len == 0 || len > text.size()) return 0;
  for (std::size_t k = 1; k < len; ++k) {
    if ((static_cast<unsigned char>(text[k]) & 0xC0) != 0x80) return 0;
  }
  if (len > 1) {
    const auto b1 = static_cast<unsigned char>(text[1]);
    if (b == 0xC0 || b == 0xC1 || (b == 0xE0 && b1 < 0xA0) || (b == 0xED && b1 >= 0xA0) ||
        (b == 0xF0 && b1 < 0x90) || (b == 0xF4 && b1 >= 0x90) || b > 0xF4) {
      return 0;
    }
  }
  return len;
}

// The code point of a sequence Utf8SequenceLength accepted, whole.
inline char32_t Utf8CodePoint(std::string_view sequence) {
  const auto b = static_cast<unsigned char>(sequence[0]);
  char32_t cp = sequence.size() == 1   ? b
                : sequence.size() == 2 ? b & 0x1F
                : sequence.size() == 3 ? b & 0x0F
                                       : b & 0x07;
  for (std::size_t k = 1; k < sequence.size(); ++k) {
    cp = (cp << 6) | (static_cast<unsigned char>(sequence[k]) & 0x3F);
  }
  return cp;
}

// Appends one code point as UTF-8.
inline void AppendUtf8(std::string& out, char32_t cp) {
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

// Appends Windows-1252 bytes as UTF-8. The five bytes the code page leaves
// unassigned (0x81, 0x8D, 0x8F, 0x90, 0x9D) become the C1 controls of the
// same value, as Windows itself maps them; every reader that meets this code
// page (old .xls files, text files) decodes it here, so a byte reads the same
// whatever file it came from.
inline void AppendWindows1252(std::string_view bytes, std::string& out) {
  static constexpr char16_t kHigh[32] = {
      0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
      0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
      0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
  for (const char ch : bytes) {
    const auto b = static_cast<unsigned char>(ch);
    if (b < 0x80) {
      out += ch;
    } else {
      AppendUtf8(out, b < 0xA0 ? kHigh[b - 0x80] : b);
    }
  }
}

// Length of a UTF-8 text in UTF-16 code units, the characters a spreadsheet
// application and the Windows dialogs count.
inline std::size_t Utf16Length(std::string_view utf8) {
  std::size_t units = 0;
  for (const char c : utf8) {
    const auto byte = static_cast<unsigned char>(c);
    if ((byte & 0xC0) == 0x80) continue;  // continuation byte
    units += (byte >= 0xF0) ? 2 : 1;      // four-byte sequences need a surrogate pair
  }
  return units;
}

// Turns UTF-16 code units into UTF-8 one unit at a time, so the units may
// arrive in pieces. Surrogate pairs become one code point; a surrogate
// without its partner becomes U+FFFD.
class Utf16Decoder {
 public:
  void Push(std::uint32_t unit, std::string& out) {
    if (high_ != 0) {
      const std::uint32_t high = high_;
      high_ = 0;
      if (unit >= 0xDC00 && unit <= 0xDFFF) {
        AppendUtf8(out, 0x10000 + ((high - 0xD800) << 10) + (unit - 0xDC00));
        return;
      }
      AppendUtf8(out, kReplacementCharacter);
    }
    if (unit >= 0xD800 && unit <= 0xDBFF) {
      high_ = unit;
    } else if (unit >= 0xDC00 && unit <= 0xDFFF) {
      AppendUtf8(out, kReplacementCharacter);
    } else if (unit < 0x80) {
      out += static_cast<char>(unit);
    } else {
      AppendUtf8(out, unit);
    }
  }
  // Ends the text: a high surrogate still waiting becomes U+FFFD.
  void Finish(std::string& out) {
    if (high_ != 0) AppendUtf8(out, kReplacementCharacter);
    high_ = 0;
  }
  bool Waiting() const { return high_ != 0; }

 private:
  std::uint32_t high_ = 0;
};

// Appends little-endian UTF-16 text; an odd last byte is ignored.
inline void AppendUtf16Le(std::span<const std::uint8_t> bytes, std::string& out) {
  // ASCII, the bulk of most texts, byte for byte; the decoder from the first
  // other unit on.
  const std::size_t units = bytes.size() / 2;
  const std::size_t start = out.size();
  out.resize(start + units);
  std::size_t ascii = 0;
  if constexpr (std::endian::native == std::endian::little) {
    // Four units at a time while all four are ASCII: their low bytes,
    // gathered into one word.
    for (; ascii + 4 <= units; ascii += 4) {
      std::uint64_t w;
      std::memcpy(&w, bytes.data() + 2 * ascii, 8);
      if (w & 0xFF80FF80FF80FF80u) break;
      w = (w | (w >> 8)) & 0x0000FFFF0000FFFFu;
      const auto four = static_cast<std::uint32_t>(w | (w >> 16));
      std::memcpy(out.data() + start + ascii, &four, 4);
    }
  }
  while (ascii < units && bytes[2 * ascii + 1] == 0 && bytes[2 * ascii] < 0x80) {
    out[start + ascii] = static_cast<char>(bytes[2 * ascii]);
    ++ascii;
  }
  out.resize(start + ascii);
  if (ascii == units) return;
  Utf16Decoder decoder;
  for (std::size_t i = 2 * ascii; i + 1 < bytes.size(); i += 2) {
    decoder.Push(bytes[i] | (std::uint32_t{bytes[i + 1]} << 8), out);
  }
  decoder.Finish(out);
}

inline void AppendUtf16Le(std::string_view bytes, std::string& out) {
  AppendUtf16Le(std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()), out);
}

}  // namespace dialsift::sheet
