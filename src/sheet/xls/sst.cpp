#include "sheet/xls/sst.h"

namespace dialsift::sheet::xls {

SharedStrings ReadSharedStrings(const Record& sst) {
  SharedStrings out;
  RecordCursor cur(sst);
  std::uint32_t total = 0;
  if (!cur.U32(total) || !cur.U32(out.declared)) {
    out.truncated = true;
    return out;
  }
  for (std::uint32_t i = 0; i < out.declared; ++i) {
    if (cur.Remaining() == 0) {
      // Fewer strings than declared: the count lied. Cells referring past
      // the end are reported when they are read.
      break;
    }
    std::string s;
    if (!cur.UnicodeString(false, s)) {
      out.truncated = true;
      break;
    }
    out.strings.push_back(std::move(s));
  }
  return out;
}

}  // namespace dialsift::sheet::xls
