#include "sheet/xls/sst.h"

namespace dialsift::sheet::xls {

SharedStrings ReadSharedStrings(const Record& sst) {
  SharedStrings out;
  RecordCursor cur(sst);
  std::uint32_t total = 0;
  std::string text;  // one string at a time: its length fits in 16 bits
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
    if (out.strings.Full()) {
      out.beyond = opc::SharedStrings::OverfullError();
      break;
    }
    text.clear();
    if (!cur.UnicodeString(false, text)) {
      out.truncated = true;
      break;
    }
    if (!out.strings.Fits(text.size())) {
      out.beyond = opc::SharedStrings::TooLarge();
      break;
    }
    out.strings.Append(text);
    out.strings.End();
  }
  out.strings.Shrink();
  return out;
}

}  // namespace dialsift::sheet::xls
