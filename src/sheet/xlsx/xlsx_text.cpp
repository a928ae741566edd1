#include "sheet/xlsx/xlsx_text.h"

#include <cstring>

#include "base/unicode.h"

#include "sheet/workbook.h"

namespace dialsift::sheet::xlsx {

namespace {

// Any reference, with letters and digits of any length.
RefStatus ParseLongCellRef(std::string_view text, CellRef& out) {
  std::size_t i = 0;
  std::uint64_t column = 0;
  while (i < text.size()) {
    const char c = text[i];
    unsigned letter;
    if (c >= 'A' && c <= 'Z') {
      letter = static_cast<unsigned>(c - 'A');
    } else if (c >= 'a' && c <= 'z') {
      letter = static_cast<unsigned>(c - 'a');
    } else {
      break;
    }
    column = column * 26 + letter + 1;
    if (column > kMaxColumns) column = kMaxColumns + 1;  // saturate, stays out of range
    ++i;
  }
  if (i == 0 || i == text.size()) return RefStatus::kMalformed;
  std::uint64_t row = 0;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (c < '0' || c > '9') return RefStatus::kMalformed;
    row = row * 10 + static_cast<unsigned>(c - '0');
    if (row > kMaxRows) row = kMaxRows + 1;
  }
  if (row == 0) return RefStatus::kMalformed;
  if (column > kMaxColumns || row > kMaxRows) return RefStatus::kOutOfRange;
  out.row = static_cast<std::uint32_t>(row);
  out.column = static_cast<std::uint32_t>(column);
  return RefStatus::kOk;
}

}  // namespace

RefStatus ParseCellRef(std::string_view text, CellRef& out) {
  // References of at most three letters and seven digits, which cannot
  // overflow, read in one pass; longer ones the careful way.
  const std::size_t size = text.size();
  if (size > 10) return ParseLongCellRef(text, out);
  std::size_t i = 0;
  std::uint32_t column = 0;
  for (; i < size; ++i) {
    // Only 'A'-'Z' and 'a'-'z' land on 'a'-'z' once bit 0x20 is set.
    const unsigned letter = static_cast<unsigned char>(text[i] | 0x20) - unsigned{'a'};
    if (letter >= 26) break;
    column = column * 26 + letter + 1;
  }
  if (i == 0 || i > 3 || size - i > 7) return ParseLongCellRef(text, out);
  std::uint32_t row = 0;
  for (std::size_t k = i; k < size; ++k) {
    const unsigned digit = static_cast<unsigned char>(text[k]) - unsigned{'0'};
    if (digit > 9) return RefStatus::kMalformed;
    row = row * 10 + digit;
  }
  if (row == 0 || i == size) return RefStatus::kMalformed;
  if (column > kMaxColumns || row > kMaxRows) return RefStatus::kOutOfRange;
  out.row = row;
  out.column = column;
  return RefStatus::kOk;
}

std::string ColumnName(std::uint32_t column) {
  std::string name;
  while (column > 0) {
    const std::uint32_t d = (column - 1) % 26;
    name.insert(name.begin(), static_cast<char>('A' + d));
    column = (column - 1) / 26;
  }
  return name;
}

namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// The code unit of an escape "_xHHHH_" at the start of `s`, or -1.
int EscapeAt(std::string_view s) {
  if (s.size() < 7 || s[0] != '_' || s[1] != 'x' || s[6] != '_') return -1;
  int unit = 0;
  for (int k = 2; k < 6; ++k) {
    const int d = HexDigit(s[static_cast<std::size_t>(k)]);
    if (d < 0) return -1;
    unit = unit * 16 + d;
  }
  return unit;
}

}  // namespace

void AppendUnescaped(std::string_view text, std::string& out) {
  const std::size_t before = out.size();
  out.append(text);
  out.resize(before + UnescapeInPlace(std::span<char>(out).subspan(before)));
}

std::size_t UnescapeInPlace(std::span<char> bytes) {
  // Every escape is longer than what it stands for, so what is written never
  // overtakes what is still to be read.
  const std::string_view text(bytes.data(), bytes.size());
  std::size_t written = 0;
  auto put = [&](std::string_view s) {
    std::memmove(bytes.data() + written, s.data(), s.size());
    written += s.size();
  };
  std::string unit_text;
  auto put_code = [&](char32_t cp) {
    unit_text.clear();
    AppendUtf8(unit_text, cp);
    put(unit_text);
  };
  std::size_t i = 0;
  while (i < text.size()) {
    const auto next = text.find("_x", i);
    if (next == std::string_view::npos) break;
    put(text.substr(i, next - i));
    const int unit = EscapeAt(text.substr(next));
    if (unit < 0) {
      put("_");
      i = next + 1;
      continue;
    }
    i = next + 7;
    if (unit >= 0xD800 && unit <= 0xDBFF) {
      const int low = EscapeAt(text.substr(i));
      if (low >= 0xDC00 && low <= 0xDFFF) {
        put_code(0x10000 + ((static_cast<char32_t>(unit) - 0xD800) << 10) +
                 (static_cast<char32_t>(low) - 0xDC00));
        i += 7;
      } else {
        put_code(0xFFFD);
      }
    } else if (unit >= 0xDC00 && unit <= 0xDFFF) {
      put_code(0xFFFD);
    } else if (unit != 0) {
      put_code(static_cast<char32_t>(unit));
    }
  }
  put(text.substr(i));
  return written;
}

namespace {

// Days from 1970-01-01 to the given civil date (proleptic Gregorian).
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const auto yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

bool Digits(std::string_view s, std::size_t pos, std::size_t n, unsigned& value) {
  if (pos + n > s.size()) return false;
  value = 0;
  for (std::size_t k = pos; k < pos + n; ++k) {
    if (s[k] < '0' || s[k] > '9') return false;
    value = value * 10 + static_cast<unsigned>(s[k] - '0');
  }
  return true;
}

unsigned DaysInMonth(unsigned y, unsigned m) {
  static constexpr unsigned kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (m == 2 && ((y % 4 == 0 && y % 100 != 0) || y % 400 == 0)) return 29;
  return kDays[m - 1];
}

}  // namespace

std::optional<double> IsoDateToSerial(std::string_view text, bool date1904) {
  std::size_t pos = 0;
  double days = 0;
  bool have_date = false;
  unsigned y, m, d;
  if (Digits(text, 0, 4, y) && text.size() >= 10 && text[4] == '-' && Digits(text, 5, 2, m) &&
      text[7] == '-' && Digits(text, 8, 2, d)) {
    if (m < 1 || m > 12 || d < 1 || d > DaysInMonth(y, m)) return std::nullopt;
    const std::int64_t n = DaysFromCivil(y, m, d);
    if (date1904) {
      days = static_cast<double>(n - DaysFromCivil(1904, 1, 1));
    } else {
      // Serial 1 is 1900-01-01 and serial 60 the 29 February 1900 that never
      // was, so every later day sits one above its true count.
      std::int64_t s = n - DaysFromCivil(1899, 12, 31);
      if (s >= 60) ++s;
      days = static_cast<double>(s < 0 ? 0 : s);
    }
    have_date = true;
    pos = 10;
    if (pos < text.size() && (text[pos] == 'T' || text[pos] == ' ')) ++pos;
  }
  double fraction = 0;
  unsigned hh, mm, ss = 0;
  if (pos < text.size() && text[pos] != 'Z') {
    if (!Digits(text, pos, 2, hh) || pos + 5 > text.size() || text[pos + 2] != ':' ||
        !Digits(text, pos + 3, 2, mm)) {
      return std::nullopt;
    }
    pos += 5;
    double seconds = 0;
    if (pos < text.size() && text[pos] == ':') {
      if (!Digits(text, pos + 1, 2, ss)) return std::nullopt;
      pos += 3;
      seconds = ss;
      if (pos < text.size() && text[pos] == '.') {
        double scale = 0.1;
        for (++pos; pos < text.size() && text[pos] >= '0' && text[pos] <= '9'; ++pos) {
          seconds += (text[pos] - '0') * scale;
          scale /= 10;
        }
      }
    }
    if (hh > 24 || mm > 59 || ss > 60) return std::nullopt;
    fraction = (hh * 3600.0 + mm * 60.0 + seconds) / 86400.0;
  } else if (!have_date) {
    return std::nullopt;
  }
  if (pos < text.size() && text[pos] == 'Z') ++pos;
  if (pos != text.size()) return std::nullopt;
  return days + fraction;
}

}  // namespace dialsift::sheet::xlsx
