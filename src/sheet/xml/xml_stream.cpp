#include "sheet/xml/xml_stream.h"

#include "sheet/limits.h"
#include "sheet/xml/xml_tokenizer.h"

#include <expat.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>
#include <span>
#include <vector>

namespace dialsift::sheet {

namespace {

// Separates namespace URI and local name in the names expat hands over. A
// control character cannot occur in a URI of a well-formed XML 1.0 document.
constexpr char kNsSeparator = '\x01';

// Bytes handed to expat per call, at least and at most.
constexpr std::size_t kChunk = 64 * 1024;
constexpr std::size_t kMaxFeed = std::size_t{256} << 20;

// Splits an expat name "uri<sep>local" into its parts.
XmlName SplitName(const char* name) {
  const std::string_view full(name);
  // Local names are short and URIs long: look for the separator from the end.
  const auto sep = full.rfind(kNsSeparator);
  if (sep == std::string_view::npos) return {{}, full};
  return {full.substr(0, sep), full.substr(sep + 1)};
}

// Owns one expat parser wired to a handler.
class XmlParser {
 public:
  XmlParser(std::string_view part, XmlHandler& handler)
      : parser_(XML_ParserCreateNS(nullptr, kNsSeparator)), part_(part), handler_(handler) {
    if (!parser_) return;
    XML_SetUserData(parser_.get(), this);
    XML_SetElementHandler(parser_.get(), &XmlParser::OnStart, &XmlParser::OnEnd);
    XML_SetCharacterDataHandler(parser_.get(), &XmlParser::OnText);
    XML_SetStartDoctypeDeclHandler(parser_.get(), &XmlParser::OnDoctype);
    XML_SetParamEntityParsing(parser_.get(), XML_PARAM_ENTITY_PARSING_NEVER);
  }

  // Feeds `n` bytes already placed in expat's buffer; `last` ends the document.
  // Returns false when parsing is over (finished, stopped or failed).
  bool Feed(std::size_t n, bool last) {
    fed_ += n;
    if (XML_ParseBuffer(parser_.get(), static_cast<int>(n), last ? 1 : 0) == XML_STATUS_ERROR) {
      return false;
    }
    return !last;
  }

  // Room for the next bytes to feed. Expat scans a token it found incomplete
  // again from its start at every feed: while one is pending, each feed is
  // at least as long as what is pending, so a long token costs time linear
  // in its length rather than in its square.
  std::span<char> Buffer() {
    const std::size_t pending = fed_ - std::min(fed_, last_event_);
    const std::size_t n = std::min(std::max(kChunk, pending), kMaxFeed);
    void* buffer = XML_GetBuffer(parser_.get(), static_cast<int>(n));
    if (!buffer) return {};
    return {static_cast<char*>(buffer), n};
  }

  Status Outcome() const {
    if (handler_.HandlerError()) return *handler_.HandlerError();
    if (doctype_) return RefusedDoctype(part_);
    if (over_budget_) return *over_budget_;
    if (handler_.Done()) return Status::Ok();
    const XML_Error code = XML_GetErrorCode(parser_.get());
    if (code == XML_ERROR_NONE) return Status::Ok();
    return DamagedXml(part_, XML_ErrorString(code), XML_GetCurrentLineNumber(parser_.get()));
  }

  bool Valid() const { return parser_ != nullptr; }

 private:
  static void OnStart(void* self_ptr, const XML_Char* name, const XML_Char** attrs) {
    auto* self = static_cast<XmlParser*>(self_ptr);
    // Expat may still report the end of an empty element after a stop.
    if (self->handler_.Done() || self->over_budget_) return;
    if (++self->depth_ > kMaxXmlDepth) {
      return self->OverBudget(kMaxXmlDepth, "levels of nested elements");
    }
    auto& list = self->attrs_;
    list.clear();
    for (const XML_Char** a = attrs; a[0]; a += 2) {
      if (list.size() == kMaxAttributesPerElement) {
        return self->OverBudget(kMaxAttributesPerElement, "attributes on one element");
      }
      list.push_back({SplitName(a[0]), a[1]});
    }
    self->Seen();
    self->handler_.StartElement(SplitName(name), XmlAttributes(list));
    if (self->handler_.Done()) XML_StopParser(self->parser_.get(), XML_FALSE);
  }
  static void OnEnd(void* self_ptr, const XML_Char* name) {
    auto* self = static_cast<XmlParser*>(self_ptr);
    // Expat may still report the end of an empty element after a stop.
    if (self->handler_.Done() || self->over_budget_) return;
    --self->depth_;
    self->Seen();
    self->handler_.EndElement(SplitName(name));
    if (self->handler_.Done()) XML_StopParser(self->parser_.get(), XML_FALSE);
  }
  static void OnText(void* self_ptr, const XML_Char* text, int len) {
    auto* self = static_cast<XmlParser*>(self_ptr);
    // Expat may still report the end of an empty element after a stop.
    if (self->handler_.Done() || self->over_budget_) return;
    self->Seen();
    self->handler_.Characters(std::string_view(text, static_cast<std::size_t>(len)));
    if (self->handler_.Done()) XML_StopParser(self->parser_.get(), XML_FALSE);
  }
  static void OnDoctype(void* self_ptr, const XML_Char*, const XML_Char*, const XML_Char*, int) {
    auto* self = static_cast<XmlParser*>(self_ptr);
    self->doctype_ = true;
    XML_StopParser(self->parser_.get(), XML_FALSE);
  }

  // Notes how far expat has got: the bytes after it are pending.
  void Seen() {
    const XML_Index at = XML_GetCurrentByteIndex(parser_.get());
    if (at > 0) last_event_ = static_cast<std::size_t>(at);
  }

  void OverBudget(std::uint64_t limit, std::string_view what) {
    over_budget_ = XmlOverBudget(part_, limit, what);
    XML_StopParser(parser_.get(), XML_FALSE);
  }

  struct Free {
    void operator()(XML_ParserStruct* p) const { XML_ParserFree(p); }
  };
  std::unique_ptr<XML_ParserStruct, Free> parser_;
  std::string_view part_;
  XmlHandler& handler_;
  std::vector<XmlAttribute> attrs_;
  bool doctype_ = false;
  std::size_t depth_ = 0;
  std::size_t fed_ = 0;         // bytes handed to expat
  std::size_t last_event_ = 0;  // where the last event began
  std::optional<Error> over_budget_;
};

Error OutOfMemory(std::string_view part) {
  return Error{ErrorKind::kTooLarge, "out of memory while reading " + std::string(part)};
}

}  // namespace

namespace {

// Parses with expat whatever `read` yields, after the bytes in `head`.
template <class Read>
Status ParseWithExpat(std::string_view head, Read&& read, std::string_view part,
                      XmlHandler& handler) {
  XmlParser parser(part, handler);
  if (!parser.Valid()) return OutOfMemory(part);
  for (std::size_t done = 0; done < head.size();) {
    const std::span<char> buffer = parser.Buffer();
    if (buffer.empty()) return OutOfMemory(part);
    const std::size_t n = std::min(buffer.size(), head.size() - done);
    std::memcpy(buffer.data(), head.data() + done, n);
    done += n;
    if (!parser.Feed(n, false)) return parser.Outcome();
  }
  while (true) {
    const std::span<char> buffer = parser.Buffer();
    if (buffer.empty()) return OutOfMemory(part);
    // Filled whole: a read may hand out less than asked.
    std::size_t filled = 0;
    while (filled < buffer.size()) {
      auto n = read(buffer.subspan(filled));
      if (!n) return n.error();
      if (*n == 0) break;
      filled += *n;
    }
    if (!parser.Feed(filled, filled == 0)) break;
  }
  return parser.Outcome();
}

// Parses with the fast tokenizer, or with expat when the document is not UTF-8.
template <class Read>
Status Parse(Read&& read, std::string_view part, XmlHandler& handler) {
  XmlTokenizer tokenizer(part, handler);
  bool first = true;
  while (true) {
    auto n = read(tokenizer.Space(kChunk));
    if (!n) {
      tokenizer.ParseReceived();
      return tokenizer.Outcome().ok() ? Status(n.error()) : tokenizer.Outcome();
    }
    tokenizer.Commit(*n);
    if (first) {
      first = false;
      if (tokenizer.WantsOtherParser()) {
        return ParseWithExpat(tokenizer.Pending(), read, part, handler);
      }
    }
    if (!tokenizer.Parse(*n == 0)) break;
  }
  return tokenizer.Outcome();
}

// Hands out the bytes of a buffer chunk by chunk.
struct BufferSource {
  std::string_view bytes;
  std::size_t done = 0;
  Result<std::size_t> operator()(std::span<char> out) {
    const std::size_t n = std::min(out.size(), bytes.size() - done);
    std::memcpy(out.data(), bytes.data() + done, n);
    done += n;
    return n;
  }
};

}  // namespace

Status ParseXml(ZipEntryReader& entry, std::string_view part, XmlHandler& handler) {
  return Parse([&](std::span<char> out) { return entry.Read(out); }, part, handler);
}

Status ParseXml(std::string_view bytes, std::string_view part, XmlHandler& handler) {
  return Parse(BufferSource{bytes}, part, handler);
}

Status ParseXml(std::string_view head, const XmlRead& read, std::string_view part,
                XmlHandler& handler) {
  BufferSource first{head};
  return Parse(
      [&](std::span<char> out) -> Result<std::size_t> {
        if (first.done < head.size()) return first(out);
        return read(out);
      },
      part, handler);
}

Status ParseXml(std::istream& in, std::string_view part, XmlHandler& handler) {
  return Parse(
      [&](std::span<char> out) -> Result<std::size_t> {
        in.read(out.data(), static_cast<std::streamsize>(out.size()));
        if (in.bad()) return Error{ErrorKind::kIo, "cannot read " + std::string(part)};
        return static_cast<std::size_t>(in.gcount());
      },
      part, handler);
}

Status ParseXmlWithExpat(std::string_view bytes, std::string_view part, XmlHandler& handler) {
  return ParseWithExpat({}, BufferSource{bytes}, part, handler);
}

Status ParseXmlPart(const ZipArchive& zip, std::string_view part, XmlHandler& handler) {
  auto entry = zip.OpenEntry(part);
  if (!entry) return entry.error();
  return ParseXml(*entry, part, handler);
}

}  // namespace dialsift::sheet
