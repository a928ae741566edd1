#include <cmath>
#include <cstdint>

#include "sheet/numfmt/render.h"
#include "sheet/numfmt/serial_date.h"

namespace dialsift::sheet::numfmt {

namespace {

constexpr const char* kMonths[] = {"January",   "February", "March",    "April",
                                   "May",       "June",     "July",     "August",
                                   "September", "October",  "November", "December"};
constexpr const char* kDays[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                 "Thursday", "Friday", "Saturday"};

void AppendPadded(long long v, int width, std::string& out) {
  // Written from the right into a buffer, zeros and all, then appended in
  // one go.
  char buf[24];
  char* const end = buf + sizeof buf;
  char* p = end;
  do {
    *--p = static_cast<char>('0' + v % 10);
    v /= 10;
  } while (v > 0);
  std::ptrdiff_t pad = width - (end - p);
  if (pad > p - buf) {
    // Wider than the buffer ([hhhhhhhhhhhhhhhhhhhhhhhhh]): the zeros go first.
    out.append(static_cast<std::size_t>(pad), '0');
    pad = 0;
  }
  for (; pad > 0; --pad) *--p = '0';
  out.append(p, static_cast<std::size_t>(end - p));
}

}  // namespace

bool RenderDateTime(const Section& s, double magnitude, bool date1904, std::string& out) {
  // Time is rounded to the finest fraction of a second the section shows;
  // rounding may carry into the next day.
  long long unit = 1;
  for (int i = 0; i < s.subsecond; ++i) unit *= 10;
  const long long per_day = 86400 * unit;
  double days_d = std::floor(magnitude);
  const long long max_serial = kMaxSerial1900 - (date1904 ? kDays1904Offset : 0);
  if (days_d > static_cast<double>(max_serial)) return false;
  auto days = static_cast<long long>(days_d);
  long long ticks = std::llround((magnitude - days_d) * static_cast<double>(per_day));
  if (ticks >= per_day) {
    ++days;
    ticks -= per_day;
  }
  if (days > max_serial) return false;
  const long long serial = days + (date1904 ? kDays1904Offset : 0);
  const long long seconds = ticks / unit;
  const long long fraction = ticks % unit;
  const long long total_seconds = days * 86400 + seconds;
  const int hour = static_cast<int>(seconds / 3600);
  const int minute = static_cast<int>(seconds / 60 % 60);
  const int second = static_cast<int>(seconds % 60);
  bool have_date = false;
  CivilDate date;
  auto civil = [&]() -> const CivilDate& {
    if (!have_date) {
      date = DateFromSerial(serial);
      have_date = true;
    }
    return date;
  };
  for (const Token& t : s.tokens) {
    switch (t.kind) {
      case Tok::kLiteral:
        // Mostly a single separator ("-", "/", ":", " ").
        if (t.text.size() == 1) {
          out += t.text[0];
        } else {
          out += t.text;
        }
        break;
      case Tok::kYear:
        if (t.width <= 2) {
          AppendPadded(civil().year % 100, 2, out);
        } else {
          AppendPadded(civil().year, 4, out);
        }
        break;
      case Tok::kEraYear:
        AppendPadded(civil().year, 4, out);
        break;
      case Tok::kBuddhistYear:
        if (t.width <= 2) {
          AppendPadded((civil().year + 543) % 100, 2, out);
        } else {
          AppendPadded(civil().year + 543, 4, out);
        }
        break;
      case Tok::kMonth: {
        const int m = civil().month;
        if (t.width <= 2) {
          AppendPadded(m, t.width, out);
        } else if (t.width == 3) {
          out.append(kMonths[m - 1], 3);
        } else if (t.width == 5) {
          out += kMonths[m - 1][0];
        } else {
          out += kMonths[m - 1];
        }
        break;
      }
      case Tok::kDay:
        if (t.width <= 2) {
          AppendPadded(civil().day, t.width, out);
        } else if (t.width == 3) {
          out.append(kDays[civil().weekday], 3);
        } else {
          out += kDays[civil().weekday];
        }
        break;
      case Tok::kHour:
        if (s.elapsed == 'h') {
          AppendPadded(total_seconds / 3600, t.width > 2 ? 2 : t.width, out);
        } else if (s.hour12) {
          AppendPadded(hour % 12 == 0 ? 12 : hour % 12, t.width >= 2 ? 2 : 1, out);
        } else {
          AppendPadded(hour, t.width >= 2 ? 2 : 1, out);
        }
        break;
      case Tok::kMinute:
        AppendPadded(s.elapsed == 'm' ? total_seconds / 60 : minute, t.width >= 2 ? 2 : 1, out);
        break;
      case Tok::kSecond:
        AppendPadded(s.elapsed == 's' ? total_seconds : second, t.width >= 2 ? 2 : 1, out);
        break;
      case Tok::kElapsed: {
        const long long v = t.ch == 'h'   ? total_seconds / 3600
                            : t.ch == 'm' ? total_seconds / 60
                                          : total_seconds;
        AppendPadded(v, t.width, out);
        break;
      }
      case Tok::kSubSecond: {
        out += '.';
        std::string digits;
        AppendPadded(fraction, s.subsecond, digits);
        out.append(digits, 0, t.width);
        break;
      }
      case Tok::kAmPm: {
        const bool pm = hour >= 12;
        if (t.width == 2) {
          out += pm ? "PM" : "AM";
        } else {
          out += pm ? t.text[1] : t.text[0];
        }
        break;
      }
      default:
        break;
    }
  }
  return true;
}

}  // namespace dialsift::sheet::numfmt
