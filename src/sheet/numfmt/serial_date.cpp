#include "sheet/numfmt/serial_date.h"

namespace dialsift::sheet::numfmt {

namespace {

// Days since 1970-01-01 to the proleptic Gregorian calendar.
CivilDate FromDays(long long z) {
  z += 719468;
  const long long era = (z >= 0 ? z : z - 146096) / 146097;
  const long long doe = z - era * 146097;
  const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const long long mp = (5 * doy + 2) / 153;
  CivilDate c;
  c.day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  c.month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  c.year = static_cast<int>(yoe + era * 400 + (c.month <= 2));
  return c;
}

// 1899-12-31 in days since 1970-01-01.
constexpr long long kDay0 = -25568;

}  // namespace

CivilDate DateFromSerial(long long serial) {
  CivilDate c;
  if (serial == 0) {
    c = {1900, 1, 0, 0};
  } else if (serial == 60) {
    c = {1900, 2, 29, 0};
  } else {
    c = FromDays(kDay0 + (serial < 60 ? serial : serial - 1));
  }
  // Serial 1 is a Sunday by the application's count; from March 1900 on
  // this is also the true weekday.
  c.weekday = static_cast<int>((serial + 6) % 7);
  return c;
}

}  // namespace dialsift::sheet::numfmt
