#include "sheet/xml/xml_tokenizer.h"

#include "base/unicode.h"
#include "sheet/limits.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

namespace dialsift::sheet {

namespace {

constexpr std::string_view kXmlNs = "http://www.w3.org/XML/1998/namespace";
// Longest tag, comment, processing instruction or CDATA section accepted.
// Text is handed on in pieces and has no such limit.
constexpr std::size_t kMaxToken = std::size_t{64} << 20;

// Byte classes. kText: needs the slow path inside text; kAttr: inside an
// attribute value; kName: ends a name; kColon and kQuote: ':', '"' and '\'';
// kLess: '<'.
enum : std::uint8_t {
  kText = 1,
  kAttr = 2,
  kName = 4,
  kSpace = 8,
  kColon = 16,
  kQuote = 32,
  kLess = 64
};

constexpr std::array<std::uint8_t, 256> MakeClasses() {
  std::array<std::uint8_t, 256> t{};
  for (int c = 0; c < 256; ++c) {
    std::uint8_t v = 0;
    if (c >= 0x80 || (c < 0x20 && c != '\t' && c != '\n')) v |= kText;
    if (c >= 0x80 || c < 0x20 || c == '<') v |= kAttr;
    if (c == '&' || c == '\r' || c == ']') v |= kText;
    if (c == '&') v |= kAttr;
    if (c <= 0x20 || c == '/' || c == '>' || c == '<' || c == '=' || c == '"' || c == '\'' ||
        c == '&' || c == '?' || c == '!') {
      v |= kName;
    }
    if (c == ' ' || c == '\t' || c == '\n' || c == '\r') v |= kSpace;
    if (c == ':') v |= kColon;
    if (c == '"' || c == '\'') v |= kQuote;
    if (c == '<') v |= kLess;
    t[static_cast<std::size_t>(c)] = v;
  }
  return t;
}
constexpr auto kClass = MakeClasses();

inline std::uint8_t ClassOf(char c) {
  return kClass[static_cast<unsigned char>(c)];
}
inline bool IsSpace(char c) {
  return ClassOf(c) & kSpace;
}

const char* Find(const char* b, const char* e, std::string_view what) {
  const std::string_view hay(b, static_cast<std::size_t>(e - b));
  const auto at = hay.find(what);
  return at == std::string_view::npos ? nullptr : b + at;
}

// True when [b, e) is a prefix of `pattern` (more bytes may complete it).
bool PrefixOf(const char* b, const char* e, std::string_view pattern) {
  const auto n = static_cast<std::size_t>(e - b);
  return n < pattern.size() && pattern.compare(0, n, std::string_view(b, n)) == 0;
}

bool StartsWith(const char* b, const char* e, std::string_view pattern) {
  return static_cast<std::size_t>(e - b) >= pattern.size() &&
         std::memcmp(b, pattern.data(), pattern.size()) == 0;
}

bool IsXmlChar(char32_t cp) {
  return cp == 0x9 || cp == 0xA || cp == 0xD || (cp >= 0x20 && cp <= 0xD7FF) ||
         (cp >= 0xE000 && cp <= 0xFFFD) || (cp >= 0x10000 && cp <= 0x10FFFF);
}

// Length of the valid UTF-8 sequence of an XML character at b, 0 if invalid.
std::size_t Utf8Length(const unsigned char* b, const unsigned char* e) {
  const unsigned c = b[0];
  std::size_t n;
  char32_t cp;
  if (c >= 0xC2 && c <= 0xDF) {
    n = 2;
    cp = c & 0x1F;
  } else if (c >= 0xE0 && c <= 0xEF) {
    n = 3;
    cp = c & 0x0F;
  } else if (c >= 0xF0 && c <= 0xF4) {
    n = 4;
    cp = c & 0x07;
  } else {
    return 0;
  }
  if (static_cast<std::size_t>(e - b) < n) return 0;
  for (std::size_t k = 1; k < n; ++k) {
    if ((b[k] & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (b[k] & 0x3F);
  }
  static constexpr char32_t kMin[] = {0, 0, 0x80, 0x800, 0x10000};
  if (cp < kMin[n] || !IsXmlChar(cp)) return 0;
  return n;
}

// Position of the first ':' in a name, or npos. Names are a few bytes
// long: a plain loop beats a call of memchr.
inline std::size_t ColonIn(std::string_view name) {
  for (std::size_t i = 0; i < name.size(); ++i) {
    if (name[i] == ':') return i;
  }
  return std::string_view::npos;
}

// Scans a name from `q` (the NUL after the buffer ends it): where it ends,
// with `colon` at its one ':' or nullptr for none. nullptr for a name the
// fast reading of a tag leaves to the general one: two colons, or an empty
// prefix or local part.
inline const char* ScanName(const char* q, const char*& colon) {
  const char* const begin = q;
  colon = nullptr;
  while (!(ClassOf(*q) & (kName | kColon))) ++q;
  if (*q != ':') return q;
  if (q == begin) return nullptr;
  colon = q++;
  const char* const local = q;
  while (!(ClassOf(*q) & (kName | kColon))) ++q;
  if (*q == ':' || q == local) return nullptr;
  return q;
}

// True when the `n` bytes at `a` and at `b` are the same. Names are short:
// a plain loop beats a call of memcmp, and eight at a time pays from eight
// bytes on.
inline bool SameBytes(const char* a, const char* b, std::size_t n) {
  if (n < 8) {
    for (std::size_t i = 0; i < n; ++i) {
      if (a[i] != b[i]) return false;
    }
    return true;
  }
  std::uint64_t x;
  std::uint64_t y;
  for (std::size_t i = 0; i + 8 < n; i += 8) {
    std::memcpy(&x, a + i, 8);
    std::memcpy(&y, b + i, 8);
    if (x != y) return false;
  }
  // The last eight, overlapping those compared.
  std::memcpy(&x, a + n - 8, 8);
  std::memcpy(&y, b + n - 8, 8);
  return x == y;
}

// True when the `size` bytes at `a` spell `b`.
inline bool SameName(const char* a, std::size_t size, std::string_view b) {
  return size == b.size() && SameBytes(a, b.data(), size);
}

}  // namespace

// Line breaks in [b, e); sheet XML has few, so memchr skips far.
static std::uint64_t CountLines(const char* b, const char* e) {
  std::uint64_t n = 0;
  while (b < e) {
    const auto* nl =
        static_cast<const char*>(std::memchr(b, '\n', static_cast<std::size_t>(e - b)));
    if (!nl) break;
    ++n;
    b = nl + 1;
  }
  return n;
}

std::uint64_t CountLineBreaks(std::string_view bytes) {
  return CountLines(bytes.data(), bytes.data() + bytes.size());
}

Error DamagedXml(std::string_view part, std::string_view what, std::uint64_t line) {
  return {ErrorKind::kDamagedXml, "damaged XML in " + std::string(part) + " (" + std::string(what) +
                                      " at line " + std::to_string(line) + ")"};
}

Error RefusedDoctype(std::string_view part) {
  return {ErrorKind::kDamagedXml,
          "XML refused in " + std::string(part) +
              " (a document type declaration, which workbook parts never have)"};
}

XmlTokenizer::XmlTokenizer(std::string_view part, XmlHandler& handler)
    : part_(part), handler_(handler) {
  Bind("xml", kXmlNs, 0);
}

XmlTokenizer::XmlTokenizer(std::string_view part, XmlHandler& handler,
                           std::unique_ptr<char[]> buffer, std::size_t size)
    : XmlTokenizer(part, handler) {
  if (buffer) {
    buf_ = std::move(buffer);
    buf_size_ = size;
  }
}

std::pair<std::unique_ptr<char[]>, std::size_t> XmlTokenizer::ReleaseBuffer() {
  std::pair<std::unique_ptr<char[]>, std::size_t> out{std::move(buf_), buf_size_};
  buf_size_ = 0;
  pos_ = end_ = 0;
  return out;
}

bool XmlTokenizer::Between() const {
  return started_ && seen_root_ && !open_.empty() && pos_ == end_ && !failed_ && !doctype_ &&
         !handler_.Done();
}

bool XmlTokenizer::SameScope(const XmlTokenizer& other) const {
  if (open_.size() != other.open_.size() || bindings_.size() != other.bindings_.size()) {
    return false;
  }
  for (std::size_t i = 0; i < bindings_.size(); ++i) {
    const Binding& a = bindings_[i];
    const Binding& b = other.bindings_[i];
    if (a.prefix != b.prefix || a.uri != b.uri || a.depth != b.depth) return false;
  }
  for (std::size_t i = 0; i < open_.size(); ++i) {
    const Open& a = open_[i];
    const Open& b = other.open_[i];
    if (a.binding != b.binding || a.local_begin != b.local_begin ||
        !SameName(names_.At(a.qname_begin), a.qname_size,
                  std::string_view(other.names_.At(b.qname_begin), b.qname_size))) {
      return false;
    }
  }
  return true;
}

void XmlTokenizer::Bind(std::string_view prefix, std::string_view uri, std::size_t depth) {
  auto it = scopes_.find(prefix);
  if (it == scopes_.end())
    it = scopes_.emplace(std::string(prefix), std::vector<std::uint32_t>{}).first;
  it->second.push_back(static_cast<std::uint32_t>(bindings_.size()));
  bindings_.push_back({std::string(prefix), std::string(uri), depth, next_id_++});
  ++generation_;
}

void XmlTokenizer::Unbind(std::size_t keep) {
  if (bindings_.size() > keep) ++generation_;
  while (bindings_.size() > keep) {
    scopes_.find(bindings_.back().prefix)->second.pop_back();
    bindings_.pop_back();
  }
}

std::span<char> XmlTokenizer::Space(std::size_t min) {
  if (pos_ > 0) {
    lines_before_ += CountLines(buf_.get(), buf_.get() + pos_);
    bytes_before_ += pos_;
    std::memmove(buf_.get(), buf_.get() + pos_, end_ - pos_);
    end_ -= pos_;
    pos_ = 0;
  }
  // A pending token that needs more bytes gets at least as many again, so a
  // long token is rescanned a logarithmic number of times.
  const std::size_t want = std::max(min, end_);
  // One byte more for the NUL that Commit puts after the bytes.
  if (buf_size_ < end_ + want + 1) {
    // Doubled at least: a read may fill less than asked, and a long token
    // asking again for a little more must not be copied again each time.
    const std::size_t size = std::max(end_ + want + 1, 2 * buf_size_);
    auto bigger = std::make_unique_for_overwrite<char[]>(size);
    if (end_ > 0) std::memcpy(bigger.get(), buf_.get(), end_);
    buf_ = std::move(bigger);
    buf_size_ = size;
  }
  return {buf_.get() + end_, want};
}

bool XmlTokenizer::WantsOtherParser(std::string_view head) {
  if (head.starts_with("\xFE\xFF") || head.starts_with("\xFF\xFE")) return true;
  if (head.size() >= 2 && (head[0] == '\0' || head[1] == '\0')) return true;
  std::string_view decl = head.starts_with("\xEF\xBB\xBF") ? head.substr(3) : head;
  if (!decl.starts_with("<?xml")) return false;
  decl = decl.substr(0, decl.find("?>"));
  const auto enc = decl.find("encoding");
  if (enc == std::string_view::npos) return false;
  auto rest = decl.substr(enc + 8);
  const auto q = rest.find_first_of("\"'");
  if (q == std::string_view::npos) return false;
  rest = rest.substr(q + 1);
  const auto close = rest.find_first_of("\"'");
  std::string name(rest.substr(0, close));
  for (auto& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return name != "utf-8" && name != "utf8";
}

bool XmlTokenizer::OverBudget(std::uint64_t limit, std::string_view what) {
  if (!failed_) {
    over_budget_ = XmlOverBudget(part_, limit, what);
    failed_ = true;
  }
  return false;
}

bool XmlTokenizer::Fail(std::string what, const char* at) {
  if (!failed_) {
    const auto line =
        lines_before_ +
        static_cast<std::uint64_t>(std::count(static_cast<const char*>(buf_.get()), at, '\n')) + 1;
    error_ = std::move(what);
    error_line_ = line;
    failed_ = true;
  }
  return false;
}

Status XmlTokenizer::Outcome() const {
  if (handler_.HandlerError()) return *handler_.HandlerError();
  if (doctype_) return RefusedDoctype(part_);
  if (over_budget_) return *over_budget_;
  if (failed_) return DamagedXml(part_, error_, error_line_);
  return Status::Ok();
}

bool XmlTokenizer::Parse(bool last) {
  if (failed_ || doctype_ || handler_.Done()) return false;
  if (!started_) {
    if (end_ - pos_ < 3 && !last) return true;
    if (Pending().starts_with("\xEF\xBB\xBF")) {
      pos_ += 3;
      bom_ = 3;
    }
    started_ = true;
  }
  // A token found incomplete is scanned again only once its bytes have
  // doubled (or passed the bound): reads hand out some 64 KB at a time, and
  // scanning a long token anew after each would take time in the square of
  // its length.
  if (!last && end_ - pos_ < rescan_at_) return true;
  rescan_at_ = 0;
  while (pos_ < end_) {
    const Step step = Token(last);
    if (step == Step::kFail) return false;
    if (step == Step::kMore) {
      const std::size_t pending = end_ - pos_;
      if (pending > kMaxToken) {
        return Fail("a markup token longer than 64 MB", buf_.get() + pos_);
      }
      rescan_at_ = std::min(2 * pending, kMaxToken + 1);
      return true;
    }
  }
  if (!last) return true;
  if (!seen_root_ || !open_.empty()) Fail("no element found", buf_.get() + end_);
  return false;
}

XmlTokenizer::Step XmlTokenizer::Token(bool last) {
  char* const data = buf_.get();
  const char* p = data + pos_;
  const char* end = data + end_;
  if (*p != '<') {
    // Text in an element without a byte to decode or check, ended by the
    // '<' of the next tag, goes on as it is.
    if (!open_.empty()) {
      const char* q = p;
      while (!(ClassOf(*q) & (kText | kLess))) ++q;
      if (*q == '<' && q < end) {
        handler_.Characters(std::string_view(p, static_cast<std::size_t>(q - p)));
        pos_ = static_cast<std::size_t>(q - data);
        return handler_.Done() ? Step::kFail : Step::kDone;
      }
    }
    return TextToken(p, end, last);
  }
  if (end - p < 2) {
    if (last) return Fail("unclosed token", p), Step::kFail;
    return Step::kMore;
  }
  Step step;
  if (p[1] == '/') {
    step = EndTag(p, end);
  } else if (p[1] == '?' || p[1] == '!') {
    step = Special(p, end);
  } else {
    step = PlainStartTag(p);
    if (step == Step::kGeneral) step = StartTag(p, end);
  }
  if (step == Step::kMore && last) {
    Fail("unclosed token", p);
    return Step::kFail;
  }
  return step;
}

XmlTokenizer::Step XmlTokenizer::TextToken(const char* p, const char* end, bool last) {
  const char* const data = buf_.get();
  const auto* lt = static_cast<const char*>(std::memchr(p, '<', static_cast<std::size_t>(end - p)));
  const char* stop = lt ? lt : end;
  if (!lt && !last) {
    // Hand on what is complete: not a reference cut short, not a CR whose
    // LF may follow, not the "]]" of a "]]>" (which text must not hold), not
    // a partial UTF-8 sequence.
    if (stop > p && stop[-1] == '\r') --stop;
    for (int k = 0; k < 2 && stop > p && stop[-1] == ']'; ++k) --stop;
    const std::string_view piece(p, static_cast<std::size_t>(stop - p));
    const auto amp = piece.rfind('&');
    if (amp != std::string_view::npos && piece.find(';', amp) == std::string_view::npos) {
      stop = p + amp;
    }
    const char* q = stop;
    int cont = 0;
    while (q > p && cont < 3 && (static_cast<unsigned char>(q[-1]) & 0xC0) == 0x80) {
      --q;
      ++cont;
    }
    if (q > p && (static_cast<unsigned char>(q[-1]) & 0x80)) {
      const auto lead = static_cast<unsigned char>(q[-1]);
      const int need = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : 1;
      if (need > cont) stop = q - 1;
    }
    if (stop == p) return Step::kMore;
  }
  if (!Text(p, stop, false)) return Step::kFail;
  pos_ = static_cast<std::size_t>(stop - data);
  return Step::kDone;
}

bool XmlTokenizer::Text(const char* b, const char* e, bool cdata) {
  if (b == e) return true;
  if (open_.empty()) {
    for (const char* q = b; q < e; ++q) {
      if (!IsSpace(*q) || cdata) {
        return Fail(seen_root_ ? "junk after document element" : "text before the root element", q);
      }
    }
    return true;
  }
  const char* q = b;
  while (q < e && !(ClassOf(*q) & kText)) ++q;
  if (q == e) {
    handler_.Characters(std::string_view(b, static_cast<std::size_t>(e - b)));
    return !handler_.Done();
  }
  decoded_.assign(b, q);
  if (!DecodeInto(q, e, false, cdata, decoded_)) return false;
  handler_.Characters(decoded_);
  return !handler_.Done();
}

bool XmlTokenizer::DecodeInto(const char* b, const char* e, bool attribute, bool cdata,
                              std::string& out) {
  const char* q = b;
  while (q < e) {
    const char c = *q;
    const auto u = static_cast<unsigned char>(c);
    if (c == '&' && !cdata) {
      const auto* semi =
          static_cast<const char*>(std::memchr(q, ';', static_cast<std::size_t>(e - q)));
      if (!semi) return Fail("not well-formed (invalid token)", q);
      const std::string_view ref(q + 1, static_cast<std::size_t>(semi - q - 1));
      if (ref == "lt") {
        out += '<';
      } else if (ref == "gt") {
        out += '>';
      } else if (ref == "amp") {
        out += '&';
      } else if (ref == "quot") {
        out += '"';
      } else if (ref == "apos") {
        out += '\'';
      } else if (ref.size() >= 2 && ref[0] == '#') {
        const bool hex = ref[1] == 'x';
        std::string_view digits = ref.substr(hex ? 2 : 1);
        if (digits.empty()) return Fail("not well-formed (invalid token)", q);
        char32_t cp = 0;
        for (const char d : digits) {
          int v;
          if (d >= '0' && d <= '9') {
            v = d - '0';
          } else if (hex && d >= 'a' && d <= 'f') {
            v = d - 'a' + 10;
          } else if (hex && d >= 'A' && d <= 'F') {
            v = d - 'A' + 10;
          } else {
            return Fail("not well-formed (invalid token)", q);
          }
          cp = cp * (hex ? 16 : 10) + static_cast<char32_t>(v);
          if (cp > 0x10FFFF) return Fail("reference to invalid character number", q);
        }
        if (!IsXmlChar(cp)) return Fail("reference to invalid character number", q);
        AppendUtf8(out, cp);
      } else {
        return Fail("undefined entity", q);
      }
      q = semi + 1;
    } else if (c == '\r') {
      out += attribute ? ' ' : '\n';
      q += (q + 1 < e && q[1] == '\n') ? 2 : 1;
    } else if (attribute && (c == '\n' || c == '\t')) {
      out += ' ';
      ++q;
    } else if (c == '<' && attribute) {
      return Fail("not well-formed (invalid token)", q);
    } else if (u >= 0x80) {
      const std::size_t n = Utf8Length(reinterpret_cast<const unsigned char*>(q),
                                       reinterpret_cast<const unsigned char*>(e));
      if (n == 0) return Fail("not well-formed (invalid token)", q);
      out.append(q, n);
      q += n;
    } else if (u < 0x20 && c != '\t' && c != '\n') {
      return Fail("not well-formed (invalid token)", q);
    } else if (c == ']' && !cdata && !attribute && e - q >= 3 && q[1] == ']' && q[2] == '>') {
      return Fail("not well-formed (invalid token)", q);
    } else {
      out += c;
      ++q;
    }
  }
  return true;
}

// The slot a prefix is looked for first. (OpenDocument's usual prefixes
// and xml: each take a slot of their own.)
inline std::size_t PrefixSlot(std::string_view prefix, std::size_t slots) {
  const std::size_t h = prefix.size() * 2 + static_cast<unsigned char>(prefix.front()) * 28 +
                        static_cast<unsigned char>(prefix.back());
  return (h ^ (h >> 1)) % slots;
}

// The first try inlined into the fast reading of a start tag, which
// resolves a prefix or more per tag.
inline std::int32_t XmlTokenizer::BindingOf(std::string_view prefix) {
  // Documents use a handful of prefixes over and over: each stays resolved
  // until a declaration comes or goes, in the slot its length and end bytes
  // pick, or another if two take the same.
  const Resolved& slot = resolved_[PrefixSlot(prefix, resolved_.size())];
  if (slot.generation == generation_ && SameName(slot.prefix.data(), slot.size, prefix)) {
    return slot.binding;
  }
  return LookUpBinding(prefix);
}

std::int32_t XmlTokenizer::LookUpBinding(std::string_view prefix) {
  for (const Resolved& other : resolved_) {
    if (other.generation == generation_ && SameName(other.prefix.data(), other.size, prefix)) {
      return other.binding;
    }
  }
  std::int32_t index = -1;
  const auto it = scopes_.find(prefix);
  if (it != scopes_.end() && !it->second.empty()) {
    index = static_cast<std::int32_t>(it->second.back());
  }
  if (prefix.size() <= kKeptPrefix) {
    Resolved& slot = resolved_[PrefixSlot(prefix, resolved_.size())];
    std::copy(prefix.begin(), prefix.end(), slot.prefix.begin());
    slot.size = static_cast<std::uint8_t>(prefix.size());
    slot.binding = index;
    slot.generation = generation_;
  }
  return index;
}

bool XmlTokenizer::Resolve(std::string_view qname, bool is_attribute, XmlName& out,
                           std::int32_t* binding) {
  const auto colon = ColonIn(qname);
  std::string_view prefix;
  if (colon == std::string_view::npos) {
    out.local = qname;
    out.ns = {};
    // Attributes without a prefix are in no namespace.
    if (is_attribute) return true;
    // Elements without one are in the default namespace.
    const std::int32_t index = DefaultBinding();
    if (index >= 0) {
      out = NameIn(index, qname);
      if (binding) *binding = index;
    }
    return true;
  } else {
    prefix = qname.substr(0, colon);
    out.local = qname.substr(colon + 1);
    if (prefix.empty() || out.local.empty() || out.local.find(':') != std::string_view::npos) {
      return false;
    }
  }
  const std::int32_t index = BindingOf(prefix);
  if (index < 0) return false;
  out = NameIn(index, out.local);
  if (binding) *binding = index;
  return true;
}

std::int32_t XmlTokenizer::DefaultBinding() {
  // Looked up again only when a declaration has come or gone.
  if (default_generation_ != generation_) {
    const auto it = scopes_.find(std::string_view());
    default_binding_ = it != scopes_.end() && !it->second.empty()
                           ? static_cast<std::int32_t>(it->second.back())
                           : -1;
    default_generation_ = generation_;
  }
  return default_binding_;
}

XmlName XmlTokenizer::NameIn(std::int32_t binding, std::string_view local) const {
  const Binding& b = bindings_[static_cast<std::size_t>(binding)];
  return {b.uri, local, b.uri.empty() ? 0 : b.id};
}

XmlTokenizer::Step XmlTokenizer::StartTag(const char* p, const char* end) {
  const char* q = p + 1;
  while (q < end && !(ClassOf(*q) & kName)) ++q;
  if (q == end) return Step::kMore;
  const std::string_view qname(p + 1, static_cast<std::size_t>(q - p - 1));
  if (qname.empty()) return Fail("not well-formed (invalid token)", p), Step::kFail;
  raw_attrs_.clear();
  bool self_closing = false;
  while (true) {
    const char* before = q;
    while (q < end && IsSpace(*q)) ++q;
    if (q == end) return Step::kMore;
    if (*q == '>') {
      ++q;
      break;
    }
    if (*q == '/') {
      if (q + 1 == end) return Step::kMore;
      if (q[1] != '>') return Fail("not well-formed (invalid token)", q), Step::kFail;
      q += 2;
      self_closing = true;
      break;
    }
    if (q == before) return Fail("not well-formed (invalid token)", q), Step::kFail;
    const char* name_begin = q;
    while (q < end && !(ClassOf(*q) & kName)) ++q;
    if (q == end) return Step::kMore;
    const std::string_view name(name_begin, static_cast<std::size_t>(q - name_begin));
    while (q < end && IsSpace(*q)) ++q;
    if (q == end) return Step::kMore;
    if (name.empty() || *q != '=') return Fail("not well-formed (invalid token)", q), Step::kFail;
    ++q;
    while (q < end && IsSpace(*q)) ++q;
    if (q == end) return Step::kMore;
    if (*q != '"' && *q != '\'') return Fail("not well-formed (invalid token)", q), Step::kFail;
    const char quote = *q++;
    const auto* close =
        static_cast<const char*>(std::memchr(q, quote, static_cast<std::size_t>(end - q)));
    if (!close) return Step::kMore;
    if (raw_attrs_.size() == kMaxAttributesPerElement) {
      return OverBudget(kMaxAttributesPerElement, "attributes on one element"), Step::kFail;
    }
    raw_attrs_.push_back({name, q, close});
    q = close + 1;
  }
  // Measured once complete: a tag that arrives whole in one read must not
  // slip past the bound checked while bytes are awaited.
  if (static_cast<std::size_t>(q - p) > kMaxToken) {
    return Fail("a markup token longer than 64 MB", p), Step::kFail;
  }

  // The whole tag is here: declare its namespaces, then resolve its names.
  const std::size_t depth = open_.size() + 1;
  if (open_.empty() && seen_root_) return Fail("junk after document element", p), Step::kFail;
  if (depth > kMaxXmlDepth) {
    return OverBudget(kMaxXmlDepth, "levels of nested elements"), Step::kFail;
  }
  attr_values_.clear();
  values_.resize(raw_attrs_.size());
  for (std::size_t i = 0; i < raw_attrs_.size(); ++i) {
    const auto& a = raw_attrs_[i];
    const char* v = a.value_begin;
    while (v < a.value_end && !(ClassOf(*v) & kAttr)) ++v;
    if (v == a.value_end) {
      values_[i] = {std::string::npos, 0};
      continue;
    }
    const std::size_t offset = attr_values_.size();
    attr_values_.append(a.value_begin, v);
    if (!DecodeInto(v, a.value_end, true, false, attr_values_)) return Step::kFail;
    values_[i] = {offset, attr_values_.size() - offset};
  }
  // Views of decoded values are taken once all are in place: the string may
  // move while it grows.
  auto value_of = [&](std::size_t i) {
    const auto [offset, size] = values_[i];
    const auto& a = raw_attrs_[i];
    if (offset == std::string::npos) {
      return std::string_view(a.value_begin, static_cast<std::size_t>(a.value_end - a.value_begin));
    }
    return std::string_view(attr_values_).substr(offset, size);
  };
  const std::size_t bindings_before = bindings_.size();
  for (std::size_t i = 0; i < raw_attrs_.size(); ++i) {
    const std::string_view name = raw_attrs_[i].name;
    const bool declares = name == "xmlns" || name.starts_with("xmlns:");
    if (declares && bindings_.size() - bindings_before == kMaxNamespacesPerElement) {
      Unbind(bindings_before);
      return OverBudget(kMaxNamespacesPerElement, "namespace declarations on one element"),
             Step::kFail;
    }
    if (name == "xmlns") {
      Bind("", value_of(i), depth);
    } else if (name.starts_with("xmlns:")) {
      if (value_of(i).empty()) {
        Unbind(bindings_before);
        return Fail("must not undeclare prefix", p), Step::kFail;
      }
      Bind(name.substr(6), value_of(i), depth);
    }
  }
  XmlName element;
  std::int32_t binding = -1;
  if (!Resolve(qname, false, element, &binding)) return Fail("unbound prefix", p), Step::kFail;
  if (element.ns.empty()) binding = -1;
  attrs_.clear();
  for (std::size_t i = 0; i < raw_attrs_.size(); ++i) {
    const std::string_view name = raw_attrs_[i].name;
    if (name == "xmlns" || name.starts_with("xmlns:")) continue;
    XmlName attr;
    if (!Resolve(name, true, attr)) return Fail("unbound prefix", p), Step::kFail;
    attrs_.push_back({attr, value_of(i)});
  }
  return Opened(q, qname, element, binding, attrs_, self_closing, bindings_before);
}

XmlTokenizer::Step XmlTokenizer::PlainStartTag(const char* p) {
  // No test for the end at each byte: the NUL after the buffer stops every
  // scan below, and whatever stops a scan other than the byte expected goes
  // to the general path, which reports errors and waits for more bytes.
  // Names may have a prefix bound further out (OpenDocument writes one on
  // every name); declarations go the general way.
  const char* colon = nullptr;
  const char* q = ScanName(p + 1, colon);
  if (!q) return Step::kGeneral;
  const std::string_view qname(p + 1, static_cast<std::size_t>(q - p - 1));
  const bool prefixed = colon != nullptr;
  const std::size_t element_colon = prefixed ? static_cast<std::size_t>(colon - (p + 1)) : 0;
  if (qname.empty()) return Step::kGeneral;
  // Where each attribute's local name begins in its qualified one.
  std::array<std::uint8_t, kPlainAttrs> local_at;
  std::uint32_t prefixed_attrs = 0;  // a bit for each attribute with a prefix
  static_assert(kPlainAttrs <= 32);
  std::size_t count = 0;
  bool self_closing = false;
  while (true) {
    if (*q == '>') {
      ++q;
      break;
    }
    if (*q == '/') {
      if (q[1] != '>') return Step::kGeneral;
      q += 2;
      self_closing = true;
      break;
    }
    if (!IsSpace(*q)) return Step::kGeneral;
    do ++q;
    while (IsSpace(*q));
    if (*q == '>' || *q == '/') continue;
    const char* name_begin = q;
    q = ScanName(q, colon);
    if (!q) return Step::kGeneral;
    const std::string_view name(name_begin, static_cast<std::size_t>(q - name_begin));
    // Blanks around '=', a namespace declaration: the general path.
    if (*q != '=' || name.empty()) return Step::kGeneral;
    const std::size_t local = colon ? static_cast<std::size_t>(colon - name_begin) + 1 : 0;
    if (local == 0 ? name == "xmlns" : SameName(name_begin, local - 1, "xmlns")) {
      return Step::kGeneral;
    }
    const char quote = *++q;
    if (quote != '"' && quote != '\'') return Step::kGeneral;
    const char* value = ++q;
    // References, line ends and tabs (which a value normalises), other
    // controls, '<' and non-ASCII bytes all go the general way.
    while (true) {
      while (!(ClassOf(*q) & (kAttr | kQuote))) ++q;
      if (*q == quote) break;
      if (ClassOf(*q) & kAttr) return Step::kGeneral;
      ++q;  // the other quote
    }
    if (count == plain_attrs_.size() || local > 0xFF) return Step::kGeneral;
    local_at[count] = static_cast<std::uint8_t>(local);
    if (local > 0) prefixed_attrs |= std::uint32_t{1} << count;
    plain_attrs_[count++] = {{{}, name},
                             std::string_view(value, static_cast<std::size_t>(q - value))};
    ++q;
  }
  if (static_cast<std::size_t>(q - p) > kMaxToken || (open_.empty() && seen_root_) ||
      open_.size() >= kMaxXmlDepth) {
    return Step::kGeneral;
  }
  // Names are resolved once the tag is known whole and plain, as the
  // general path does; an unbound prefix is its to report.
  std::int32_t binding;
  XmlName element;
  if (!prefixed) {
    binding = DefaultBinding();
    element = binding >= 0 ? NameIn(binding, qname) : XmlName{{}, qname};
  } else {
    binding = BindingOf(qname.substr(0, element_colon));
    if (binding < 0) return Step::kGeneral;
    element = NameIn(binding, qname.substr(element_colon + 1));
  }
  for (std::uint32_t left = prefixed_attrs; left != 0; left &= left - 1) {
    const auto i = static_cast<std::size_t>(std::countr_zero(left));
    XmlName& name = plain_attrs_[i].name;
    const std::int32_t index = BindingOf(name.local.substr(0, local_at[i] - 1));
    if (index < 0) return Step::kGeneral;
    name = NameIn(index, name.local.substr(local_at[i]));
  }
  return Opened(q, qname, element, element.ns.empty() ? -1 : binding,
                std::span<const XmlAttribute>(plain_attrs_.data(), count), self_closing,
                bindings_.size());
}

void XmlTokenizer::NameStack::Grow(std::size_t n) {
  const std::size_t capacity = std::max(capacity_ * 2, size_ + n + 256);
  auto data = std::make_unique<char[]>(capacity);
  if (size_ > 0) std::memcpy(data.get(), data_.get(), size_);
  data_ = std::move(data);
  capacity_ = capacity;
}

// Inlined into both ways of reading a start tag: the fast one is run
// millions of times and a call costs it a tenth of its time.
[[gnu::always_inline]] inline XmlTokenizer::Step XmlTokenizer::Opened(
    const char* q, std::string_view qname, const XmlName& element, std::int32_t binding,
    std::span<const XmlAttribute> attrs, bool self_closing, std::size_t bindings_before) {
  const std::size_t begin = names_.Push(qname);
  open_.push_back({begin, static_cast<std::uint32_t>(qname.size()), binding,
                   static_cast<std::uint32_t>(qname.size() - element.local.size())});
  seen_root_ = true;
  pos_ = static_cast<std::size_t>(q - buf_.get());

  handler_.StartElement(element, XmlAttributes(attrs));
  if (handler_.Done()) return Step::kFail;
  if (self_closing) {
    handler_.EndElement(element);
    names_.PopTo(begin);
    open_.pop_back();
    Unbind(bindings_before);
    if (handler_.Done()) return Step::kFail;
  }
  return Step::kDone;
}

XmlTokenizer::Step XmlTokenizer::EndTag(const char* p, const char* end) {
  const char* q = p + 2;
  std::string_view qname;
  // The usual end tag: the open element's name, then '>'. Its name holds no
  // byte that ends a name, so the scan below would stop at the same '>'.
  if (!open_.empty() && static_cast<std::size_t>(end - q) > open_.back().qname_size &&
      SameBytes(q, names_.At(open_.back().qname_begin), open_.back().qname_size) &&
      q[open_.back().qname_size] == '>') {
    qname = std::string_view(q, open_.back().qname_size);
    q += qname.size();
  } else {
    // The NUL after the buffer ends both scans.
    while (!(ClassOf(*q) & kName)) ++q;
    qname = std::string_view(p + 2, static_cast<std::size_t>(q - p - 2));
    while (IsSpace(*q)) ++q;
    if (q == end) return Step::kMore;
    if (*q != '>' || qname.empty()) {
      return Fail("not well-formed (invalid token)", q), Step::kFail;
    }
    if (open_.empty()) return Fail("junk after document element", p), Step::kFail;
    if (!SameName(names_.At(open_.back().qname_begin), open_.back().qname_size, qname)) {
      return Fail("mismatched tag", p), Step::kFail;
    }
  }
  const Open top = open_.back();
  const std::string_view local(qname.data() + top.local_begin, qname.size() - top.local_begin);
  const XmlName element = top.binding >= 0 ? NameIn(top.binding, local) : XmlName{{}, local};
  pos_ = static_cast<std::size_t>(q + 1 - buf_.get());
  handler_.EndElement(element);
  names_.PopTo(top.qname_begin);
  open_.pop_back();
  // Declarations are made in document order: those of the element closed
  // are the last ones.
  const std::size_t depth = open_.size();
  if (!bindings_.empty() && bindings_.back().depth > depth) {
    std::size_t keep = bindings_.size();
    while (keep > 0 && bindings_[keep - 1].depth > depth) --keep;
    Unbind(keep);
  }
  return handler_.Done() ? Step::kFail : Step::kDone;
}

XmlTokenizer::Step XmlTokenizer::Special(const char* p, const char* end) {
  if (p[1] == '?') {
    const char* close = Find(p + 2, end, "?>");
    if (!close) return Step::kMore;
    if (static_cast<std::size_t>(close - p) > kMaxToken) {
      return Fail("a markup token longer than 64 MB", p), Step::kFail;
    }
    const char* t = p + 2;
    while (t < close && !IsSpace(*t)) ++t;
    std::string target(p + 2, t);
    for (auto& c : target) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const bool at_start = bytes_before_ + static_cast<std::size_t>(p - buf_.get()) == bom_;
    if (target.empty() || (target == "xml" && !at_start)) {
      return Fail("XML or text declaration not at start of entity", p), Step::kFail;
    }
    pos_ = static_cast<std::size_t>(close + 2 - buf_.get());
    return Step::kDone;
  }
  // "<!" so far.
  if (PrefixOf(p, end, "<!--") || PrefixOf(p, end, "<![CDATA[") || PrefixOf(p, end, "<!DOCTYPE")) {
    return Step::kMore;
  }
  if (StartsWith(p, end, "<!--")) {
    const char* close = Find(p + 4, end, "--");
    if (!close) return Step::kMore;
    if (static_cast<std::size_t>(close - p) > kMaxToken) {
      return Fail("a markup token longer than 64 MB", p), Step::kFail;
    }
    if (close + 2 == end) return Step::kMore;
    if (close[2] != '>') return Fail("not well-formed (invalid token)", close), Step::kFail;
    pos_ = static_cast<std::size_t>(close + 3 - buf_.get());
    return Step::kDone;
  }
  if (StartsWith(p, end, "<![CDATA[")) {
    const char* close = Find(p + 9, end, "]]>");
    if (!close) return Step::kMore;
    if (static_cast<std::size_t>(close - p) > kMaxToken) {
      return Fail("a markup token longer than 64 MB", p), Step::kFail;
    }
    if (open_.empty()) return Fail("not well-formed (invalid token)", p), Step::kFail;
    if (!Text(p + 9, close, true)) return Step::kFail;
    pos_ = static_cast<std::size_t>(close + 3 - buf_.get());
    return Step::kDone;
  }
  if (StartsWith(p, end, "<!DOCTYPE")) {
    doctype_ = true;
    return Step::kFail;
  }
  return Fail("syntax error", p), Step::kFail;
}

}  // namespace dialsift::sheet
