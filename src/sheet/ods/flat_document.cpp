#include "sheet/ods/flat_document.h"

#include <algorithm>
#include <fstream>
#include <optional>
#include <streambuf>

#include "sheet/ods/ods_content.h"
#include "base/unicode.h"

namespace dialsift::sheet::ods {

namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr std::size_t kChunk = std::size_t{64} << 10;

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// Appends UTF-16 bytes as UTF-8; an odd last byte is left in `odd`.
void DecodeUtf16(std::string_view bytes, bool big_endian, Utf16Decoder& decoder, std::string& odd,
                 std::string& out) {
  std::size_t i = 0;
  if (!odd.empty() && !bytes.empty()) {
    const std::string pair = odd + bytes[0];
    odd.clear();
    const auto hi = static_cast<unsigned char>(pair[big_endian ? 0 : 1]);
    const auto lo = static_cast<unsigned char>(pair[big_endian ? 1 : 0]);
    decoder.Push((std::uint32_t{hi} << 8) | lo, out);
    i = 1;
  }
  for (; i + 1 < bytes.size(); i += 2) {
    const auto hi = static_cast<unsigned char>(bytes[i + (big_endian ? 0 : 1)]);
    const auto lo = static_cast<unsigned char>(bytes[i + (big_endian ? 1 : 0)]);
    decoder.Push((std::uint32_t{hi} << 8) | lo, out);
  }
  if (i < bytes.size()) odd.assign(1, bytes[i]);
}

// Where the parts of a prolog lie in UTF-8 text.
struct Prolog {
  enum class End { kRoot, kNotXml, kCutShort };
  End end = End::kNotXml;
  std::size_t root = 0;                            // the root element's '<'
  std::size_t declaration_end = 0;                 // past the XML declaration, 0 when none
  std::size_t doctype_begin = 0, doctype_end = 0;  // equal when none
  bool doctype_declares = false;                   // it has declarations of its own ([...])
};

Prolog ScanProlog(std::string_view s) {
  Prolog p;
  std::size_t pos = 0;
  if (s.starts_with("<?xml") && s.size() > 5 && (IsBlank(s[5]) || s[5] == '?')) {
    const auto end = s.find("?>");
    if (end == std::string_view::npos) return p.end = Prolog::End::kCutShort, p;
    pos = p.declaration_end = end + 2;
  }
  for (;;) {
    while (pos < s.size() && IsBlank(s[pos])) ++pos;
    if (pos == s.size()) return p.end = Prolog::End::kCutShort, p;
    if (s[pos] != '<') return p;
    const std::string_view rest = s.substr(pos);
    // The start of a comment or declaration cut short.
    if (std::string_view("<!DOCTYPE").starts_with(rest) ||
        std::string_view("<!--").starts_with(rest)) {
      return p.end = Prolog::End::kCutShort, p;
    }
    std::size_t end = std::string_view::npos;
    if (rest.starts_with("<!--")) {
      end = s.find("-->", pos + 4);
      if (end != std::string_view::npos) end += 3;
    } else if (rest.starts_with("<?")) {
      end = s.find("?>", pos + 2);
      if (end != std::string_view::npos) end += 2;
    } else if (rest.starts_with("<!DOCTYPE")) {
      // To its '>', past quoted literals and the bracketed declarations.
      char quote = 0;
      bool in_subset = false;
      for (std::size_t i = pos + 9; i < s.size(); ++i) {
        const char c = s[i];
        if (quote) {
          if (c == quote) quote = 0;
        } else if (c == '"' || c == '\'') {
          quote = c;
        } else if (c == '[') {
          in_subset = true;
          p.doctype_declares = true;
        } else if (c == ']') {
          in_subset = false;
        } else if (c == '>' && !in_subset) {
          end = i + 1;
          break;
        }
      }
      if (end != std::string_view::npos) {
        p.doctype_begin = pos;
        p.doctype_end = end;
      }
    } else if (rest.starts_with("<!")) {
      return p;
    } else {
      p.end = Prolog::End::kRoot;
      p.root = pos;
      return p;
    }
    if (end == std::string_view::npos) return p.end = Prolog::End::kCutShort, p;
    pos = end;
  }
}

enum class Verdict { kYes, kNo, kCutShort };

// The root start tag at `s`: office:document, its prefix bound to the
// office namespace. A tag cut short by the end of the bytes counts when its
// name has the usual prefix.
Verdict RootIsOfficeDocument(std::string_view s) {
  std::size_t i = 1;
  while (i < s.size() && !IsBlank(s[i]) && s[i] != '>' && s[i] != '/') ++i;
  if (i == s.size()) return Verdict::kCutShort;
  const std::string_view qname = s.substr(1, i - 1);
  const auto colon = qname.find(':');
  const std::string_view prefix = colon == std::string_view::npos ? "" : qname.substr(0, colon);
  const std::string_view local = colon == std::string_view::npos ? qname : qname.substr(colon + 1);
  if (local != "document") return Verdict::kNo;
  const std::string wanted = prefix.empty() ? "xmlns" : "xmlns:" + std::string(prefix);
  while (i < s.size()) {
    while (i < s.size() && IsBlank(s[i])) ++i;
    if (i < s.size() && (s[i] == '>' || s[i] == '/')) return Verdict::kNo;
    const std::size_t name_begin = i;
    while (i < s.size() && s[i] != '=' && !IsBlank(s[i]) && s[i] != '>') ++i;
    const std::string_view name = s.substr(name_begin, i - name_begin);
    while (i < s.size() && (IsBlank(s[i]) || s[i] == '=')) ++i;
    if (i == s.size()) break;
    const char quote = s[i];
    if (quote != '"' && quote != '\'') return Verdict::kNo;
    const auto close = s.find(quote, i + 1);
    if (close == std::string_view::npos) break;
    if (name == wanted) {
      return s.substr(i + 1, close - i - 1) == kOfficeNs ? Verdict::kYes : Verdict::kNo;
    }
    i = close + 1;
  }
  // The tag goes on beyond what was looked at.
  return prefix == "office" ? Verdict::kYes : Verdict::kCutShort;
}

// The bytes as UTF-8 without a byte order mark.
std::string AsUtf8(std::string_view bytes, XmlEncoding encoding) {
  if (encoding == XmlEncoding::kUtf8) {
    if (bytes.starts_with(kUtf8Bom)) bytes.remove_prefix(kUtf8Bom.size());
    return std::string(bytes);
  }
  const bool big_endian = encoding == XmlEncoding::kUtf16Be;
  if (bytes.starts_with(big_endian ? "\xFE\xFF" : "\xFF\xFE")) bytes.remove_prefix(2);
  std::string out, odd;
  Utf16Decoder decoder;
  DecodeUtf16(bytes, big_endian, decoder, odd, out);
  return out;
}

Verdict Judge(std::string_view head) {
  const std::string text = AsUtf8(head, EncodingOfXml(head));
  const Prolog p = ScanProlog(text);
  switch (p.end) {
    case Prolog::End::kNotXml:
      return Verdict::kNo;
    case Prolog::End::kCutShort:
      return Verdict::kCutShort;
    case Prolog::End::kRoot:
      break;
  }
  return RootIsOfficeDocument(std::string_view(text).substr(p.root));
}

// Streams the document as UTF-8 with its prolog cleared.
class FlatBuffer final : public std::streambuf {
 public:
  explicit FlatBuffer(const std::filesystem::path& path) : in_(path, std::ios::binary) {}
  bool ok() const { return static_cast<bool>(in_); }

 protected:
  int_type underflow() override {
    while (gptr() == egptr()) {
      if (done_) return traits_type::eof();
      Fill();
      setg(out_.data(), out_.data(), out_.data() + out_.size());
    }
    return traits_type::to_int_type(*gptr());
  }

 private:
  void Read(std::size_t n) {
    raw_.resize(n);
    in_.read(raw_.data(), static_cast<std::streamsize>(n));
    raw_.resize(static_cast<std::size_t>(in_.gcount()));
  }

  void Fill() {
    out_.clear();
    if (!started_) {
      started_ = true;
      Read(kFlatSniffBytes);
      encoding_ = EncodingOfXml(raw_);
      std::string_view bytes = raw_;
      if (encoding_ == XmlEncoding::kUtf8) {
        // The parser reads the mark itself.
        out_.assign(bytes);
        const std::size_t skip = bytes.starts_with(kUtf8Bom) ? kUtf8Bom.size() : 0;
        ClearProlog(skip, false);
      } else {
        const bool big_endian = encoding_ == XmlEncoding::kUtf16Be;
        if (bytes.starts_with(big_endian ? "\xFE\xFF" : "\xFF\xFE")) bytes.remove_prefix(2);
        DecodeUtf16(bytes, big_endian, decoder_, odd_, out_);
        ClearProlog(0, true);
      }
    } else {
      Read(kChunk);
      if (encoding_ == XmlEncoding::kUtf8) {
        out_.assign(raw_);
      } else {
        DecodeUtf16(raw_, encoding_ == XmlEncoding::kUtf16Be, decoder_, odd_, out_);
      }
    }
    if (raw_.empty()) {
      decoder_.Finish(out_);
      done_ = true;
    }
  }

  // The declaration of a UTF-16 document names the encoding the bytes no
  // longer have: it goes. A document type declaration without declarations
  // of its own turns into blanks (its line breaks stay, and so do the line
  // numbers of errors); one with them is left for the parser to refuse.
  void ClearProlog(std::size_t from, bool drop_declaration) {
    const Prolog p = ScanProlog(std::string_view(out_).substr(from));
    if (p.doctype_end > p.doctype_begin && !p.doctype_declares) {
      for (std::size_t i = from + p.doctype_begin; i < from + p.doctype_end; ++i) {
        if (out_[i] != '\n') out_[i] = ' ';
      }
    }
    if (drop_declaration && p.declaration_end > 0) out_.erase(from, p.declaration_end);
  }

  std::ifstream in_;
  XmlEncoding encoding_ = XmlEncoding::kUtf8;
  bool started_ = false;
  bool done_ = false;
  std::string raw_;
  std::string out_;
  std::string odd_;
  Utf16Decoder decoder_;
};

class FlatStream final : public std::istream {
 public:
  explicit FlatStream(const std::filesystem::path& path) : std::istream(nullptr), buffer_(path) {
    rdbuf(&buffer_);
    if (!buffer_.ok()) setstate(std::ios::badbit);
  }

 private:
  FlatBuffer buffer_;
};

}  // namespace

XmlEncoding EncodingOfXml(std::string_view head) {
  if (head.starts_with("\xFF\xFE")) return XmlEncoding::kUtf16Le;
  if (head.starts_with("\xFE\xFF")) return XmlEncoding::kUtf16Be;
  if (head.size() >= 2 && head[0] != 0 && head[1] == 0) return XmlEncoding::kUtf16Le;
  if (head.size() >= 2 && head[0] == 0 && head[1] != 0) return XmlEncoding::kUtf16Be;
  return XmlEncoding::kUtf8;
}

bool IsFlatDocument(std::string_view head) {
  return Judge(head.substr(0, kFlatSniffBytes)) == Verdict::kYes;
}

bool IsFlatDocument(const std::filesystem::path& path, std::string_view head, bool whole) {
  const Verdict verdict = Judge(head.substr(0, kFlatSniffBytes));
  if (verdict != Verdict::kCutShort || whole || head.size() >= kFlatSniffBytes) {
    return verdict == Verdict::kYes;
  }
  std::ifstream in(path, std::ios::binary);
  std::string more(kFlatSniffBytes, '\0');
  in.read(more.data(), static_cast<std::streamsize>(more.size()));
  more.resize(static_cast<std::size_t>(in.gcount()));
  return Judge(more) == Verdict::kYes;
}

std::unique_ptr<std::istream> OpenFlatStream(const std::filesystem::path& path) {
  return std::make_unique<FlatStream>(path);
}

}  // namespace dialsift::sheet::ods
