#include "sheet/numfmt/render.h"

namespace dialsift::sheet::numfmt {

bool AppendBounded(std::string& out, std::string_view piece) {
  if (out.size() >= kMaxOutput) return false;
  const std::size_t room = kMaxOutput - out.size();
  if (piece.size() <= room) {
    out += piece;
    return true;
  }
  std::size_t cut = room;
  while (cut > 0 && (static_cast<unsigned char>(piece[cut]) & 0xC0) == 0x80) --cut;
  out += piece.substr(0, cut);
  return false;
}

// A text section shows its literals and the text in place of each @ (and
// of General), up to the longest text a cell shows.
void RenderText(const Section& s, std::string_view text, std::string& out) {
  for (const Token& t : s.tokens) {
    bool room = true;
    if (t.kind == Tok::kLiteral) {
      room = AppendBounded(out, t.text);
    } else if (t.kind == Tok::kText || t.kind == Tok::kGeneral) {
      room = AppendBounded(out, text);
    }
    if (!room) return;
  }
}

}  // namespace dialsift::sheet::numfmt
