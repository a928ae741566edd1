#include "sheet/numfmt/render.h"

namespace dialsift::sheet::numfmt {

// A text section shows its literals and the text in place of each @ (and
// of General).
void RenderText(const Section& s, std::string_view text, std::string& out) {
  for (const Token& t : s.tokens) {
    if (t.kind == Tok::kLiteral) {
      out += t.text;
    } else if (t.kind == Tok::kText || t.kind == Tok::kGeneral) {
      out += text;
    }
  }
}

}  // namespace dialsift::sheet::numfmt
