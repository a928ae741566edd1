#include "sheet/numfmt/builtin.h"

#include <array>

namespace dialsift::sheet::numfmt {

namespace {

// ids 0-49 as an en-US installation shows them. 14 and 22 show four-digit
// years there; 5-8 and 41-44 are the dollar currency and accounting formats.
constexpr std::array<std::string_view, 50> kCodes = {
    "General",
    "0",
    "0.00",
    "#,##0",
    "#,##0.00",
    "\"$\"#,##0_);\\(\"$\"#,##0\\)",
    "\"$\"#,##0_);[Red]\\(\"$\"#,##0\\)",
    "\"$\"#,##0.00_);\\(\"$\"#,##0.00\\)",
    "\"$\"#,##0.00_);[Red]\\(\"$\"#,##0.00\\)",
    "0%",
    "0.00%",
    "0.00E+00",
    "# ?/?",
    "# ?\?/??",
    "m/d/yyyy",
    "d-mmm-yy",
    "d-mmm",
    "mmm-yy",
    "h:mm AM/PM",
    "h:mm:ss AM/PM",
    "h:mm",
    "h:mm:ss",
    "m/d/yyyy h:mm",
    "",
    "",
    "",
    "",
    "",
    "",
    "",
    "",
    "",
    "",
    "",
    "",
    "",
    "",  // 23-36: East Asian, below
    "#,##0 ;(#,##0)",
    "#,##0 ;[Red](#,##0)",
    "#,##0.00;(#,##0.00)",
    "#,##0.00;[Red](#,##0.00)",
    "_(* #,##0_);_(* \\(#,##0\\);_(* \"-\"_);_(@_)",
    "_(\"$\"* #,##0_);_(\"$\"* \\(#,##0\\);_(\"$\"* \"-\"_);_(@_)",
    "_(* #,##0.00_);_(* \\(#,##0.00\\);_(* \"-\"?\?_);_(@_)",
    "_(\"$\"* #,##0.00_);_(\"$\"* \\(#,##0.00\\);_(\"$\"* \"-\"?\?_);_(@_)",
    "mm:ss",
    "[h]:mm:ss",
    "mmss.0",
    "##0.0E+0",
    "@",
};

// The East Asian ids (23-36, 50-81) have no en-US code of their own; an
// en-US application shows them like these.
int EastAsianEquivalent(int id) {
  if (id >= 23 && id <= 26) return 0;
  if ((id >= 27 && id <= 31) || id == 36 || (id >= 50 && id <= 58)) return 14;
  if (id == 32 || id == 34) return 20;
  if (id == 33 || id == 35) return 21;
  if (id >= 59 && id <= 62) return id - 58;
  if (id == 67 || id == 68) return id - 58;
  if (id == 69 || id == 70) return id - 57;
  if (id == 71 || id == 72) return 14;
  if (id >= 73 && id <= 75) return id - 58;
  if (id >= 76 && id <= 78) return id - 56;
  if (id >= 79 && id <= 81) return id - 34;
  return -1;
}

}  // namespace

std::string_view BuiltinCode(int id) {
  if (id >= 0 && id < static_cast<int>(kCodes.size()) && !kCodes[id].empty()) return kCodes[id];
  const int alias = EastAsianEquivalent(id);
  return alias >= 0 ? kCodes[alias] : std::string_view();
}

}  // namespace dialsift::sheet::numfmt
