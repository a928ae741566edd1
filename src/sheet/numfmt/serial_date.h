// Serial day numbers of the spreadsheet file formats to calendar dates.
//
// The 1900 system counts 1900-01-01 as day 1 and, like the first
// spreadsheet programs, believes 1900 was a leap year: day 60 is the
// non-existent 29 February 1900, so every serial from 61 on is one more
// than the true day count. Day 0 shows as "1900-01-00". The 1904 system
// (old Macintosh files) starts at 1904-01-01 = day 0, which is day 1462 of
// the 1900 system.
#pragma once

namespace dialsift::sheet::numfmt {

// Last day either system can show: 9999-12-31 as a 1900 serial.
inline constexpr long long kMaxSerial1900 = 2958465;
inline constexpr long long kDays1904Offset = 1462;

struct CivilDate {
  int year = 1900;
  int month = 1;    // 1-12
  int day = 0;      // 0-31
  int weekday = 0;  // 0 Sunday ... 6 Saturday
};

// `serial` is a 1900-system day number, 0 to kMaxSerial1900.
CivilDate DateFromSerial(long long serial);

}  // namespace dialsift::sheet::numfmt
