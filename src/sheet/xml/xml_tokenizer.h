// A fast, non-validating but well-formedness-checking XML tokenizer for
// UTF-8 documents. Private to the parsers of xml_stream.cpp and
// xml_split.cpp, which use it in place of expat where they can: worksheet
// parts run to hundreds of megabytes and expat spends most of a read in its
// generic machinery. It reports the same events as the expat path (names
// split into namespace URI and local part, attribute values normalised, line
// ends normalised, entity and character references resolved), refuses any
// DOCTYPE, and hands documents in other encodings back to expat.
//
// Checked: tags nest and match, attributes are well formed, references are
// known, prefixes are bound, text outside the root element is blank, UTF-8 is
// valid, comments, processing instructions and CDATA sections are closed.
// Not checked (harmless for reading): the finer rules of name characters and
// duplicate attributes.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "sheet/result.h"
#include "sheet/xml/xml_handler.h"

namespace dialsift::sheet {

// The errors of both parsers, worded alike.
Error DamagedXml(std::string_view part, std::string_view what, std::uint64_t line);
Error RefusedDoctype(std::string_view part);

// Line breaks in `bytes`.
std::uint64_t CountLineBreaks(std::string_view bytes);

class XmlTokenizer {
 public:
  XmlTokenizer(std::string_view part, XmlHandler& handler);
  // The same, with the buffer of an earlier tokenizer (ReleaseBuffer): a
  // fresh one would fault in its pages again.
  XmlTokenizer(std::string_view part, XmlHandler& handler, std::unique_ptr<char[]> buffer,
               std::size_t size);
  std::pair<std::unique_ptr<char[]>, std::size_t> ReleaseBuffer();

  // Room for at least `min` more bytes at the end of the buffer (more when a
  // long token is pending, so that it needs few reads).
  std::span<char> Space(std::size_t min);
  // The first `n` bytes of the last Space have been filled.
  void Commit(std::size_t n) {
    end_ += n;
    buf_[end_] = '\0';
  }

  // True once the start of the document shows that it is not UTF-8 (a UTF-16
  // byte order mark, or another encoding declared): expat must read it.
  bool WantsOtherParser() const { return WantsOtherParser(Pending()); }
  // The same, of the first bytes of a document.
  static bool WantsOtherParser(std::string_view head);
  // The bytes received so far and not yet parsed.
  std::string_view Pending() const { return {buf_.get() + pos_, end_ - pos_}; }

  // Parses what has arrived; `last` when no more will. Returns false once
  // parsing is over (the end, a stop or an error).
  bool Parse(bool last);
  // Parses what has arrived, even a token put off until more bytes come:
  // for a document whose reading failed, so that what came before the
  // failure is parsed however the reads fell.
  void ParseReceived() {
    if (!buf_) return;
    buf_[end_] = '\0';  // a Space since the last Commit moved the bytes
    rescan_at_ = 0;
    Parse(false);
  }
  Status Outcome() const;

  // For a document read in stretches (xml_split.cpp):
  // True between two tokens inside the root element, every byte received
  // parsed and nothing failed or stopped.
  bool Between() const;
  // True when the same elements are open, by the same names, with the same
  // namespace declarations in scope: the next bytes read alike in both.
  bool SameScope(const XmlTokenizer& other) const;
  // The room left after the bytes received, for a caller that fills it
  // before it commits (after a Space).
  std::span<char> Room() { return {buf_.get() + end_, buf_size_ - end_ - 1}; }
  // The bytes received since the last Space made room: parsed or not, they
  // stay until the next Space.
  std::string_view Received() const { return {buf_.get(), end_}; }
  // Gives back the last `n` bytes received, which must not be parsed yet.
  void Unreceive(std::size_t n) {
    end_ -= n;
    buf_[end_] = '\0';
  }
  // Line breaks before the bytes this tokenizer saw that were read by another.
  void AddLinesBefore(std::uint64_t n) { lines_before_ += n; }

 private:
  // kGeneral: the fast path of a token leaves it to the general one.
  enum class Step { kDone, kMore, kFail, kGeneral };

  Step Token(bool last);
  // Text that needs decoding or checking, or runs to the end of the bytes.
  Step TextToken(const char* p, const char* end, bool last);
  // A start tag as sheets write them by the million; kGeneral for any other.
  Step PlainStartTag(const char* p);
  Step StartTag(const char* p, const char* end);
  // Hands on a start tag read whole, ending at `q`.
  Step Opened(const char* q, std::string_view qname, const XmlName& element, std::int32_t binding,
              std::span<const XmlAttribute> attrs, bool self_closing, std::size_t bindings_before);
  // Index of the default namespace's declaration in scope, -1 for none.
  std::int32_t DefaultBinding();
  XmlName NameIn(std::int32_t binding, std::string_view local) const;
  Step EndTag(const char* p, const char* end);
  Step Special(const char* p, const char* end);
  bool Text(const char* b, const char* e, bool cdata);
  bool DecodeInto(const char* b, const char* e, bool attribute, bool cdata, std::string& out);
  // Splits `qname` and finds its namespace; `binding`, when given, receives
  // the index of the declaration that binds it.
  bool Resolve(std::string_view qname, bool is_attribute, XmlName& out,
               std::int32_t* binding = nullptr);
  // Index of the declaration in scope for a non-empty `prefix`, -1 for none.
  std::int32_t BindingOf(std::string_view prefix);
  std::int32_t LookUpBinding(std::string_view prefix);
  void Bind(std::string_view prefix, std::string_view uri, std::size_t depth);
  // Drops the bindings from index `keep` on.
  void Unbind(std::size_t keep);
  bool Fail(std::string what, const char* at);
  // The document goes beyond one of the workbook's bounds (sheet/limits.h).
  bool OverBudget(std::uint64_t limit, std::string_view what);

  struct Binding {
    std::string prefix;
    std::string uri;
    std::size_t depth;
    std::uint64_t id;  // XmlName::ns_id, never reused
  };
  struct Open {
    std::size_t qname_begin;  // into names_
    std::uint32_t qname_size;
    std::int32_t binding;       // namespace of the element, -1 for none
    std::uint32_t local_begin;  // of the local name in the qualified one
  };
  struct RawAttribute {
    std::string_view name;
    const char* value_begin;
    const char* value_end;
  };

  std::string_view part_;
  XmlHandler& handler_;
  // The bytes received, followed by a NUL once any have come: scans of
  // names and values stop at it without a test for the end at every byte.
  // Grown without zeroing: the bytes are always written before they are
  // read, and zeroing 64 KB per part was a seventh of a small workbook's time.
  std::unique_ptr<char[]> buf_;
  std::size_t buf_size_ = 0;
  std::size_t pos_ = 0;             // next byte to parse
  std::size_t end_ = 0;             // end of the bytes received
  std::uint64_t bytes_before_ = 0;  // bytes already dropped
  std::size_t rescan_at_ = 0;       // pending bytes before an incomplete token is scanned again
  std::size_t bom_ = 0;             // length of a UTF-8 byte order mark
  std::uint64_t lines_before_ = 0;  // line breaks in the bytes already dropped
  bool started_ = false;            // the start of the document has been looked at
  bool seen_root_ = false;
  bool doctype_ = false;
  bool failed_ = false;
  std::string error_;
  std::uint64_t error_line_ = 0;
  std::vector<Binding> bindings_;
  // For each prefix ("" for the default namespace), the indices into
  // bindings_ of its declarations in scope, innermost last: a name resolves
  // in one lookup, however many declarations are in scope.
  struct Hash {
    using is_transparent = void;
    std::size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
  };
  std::unordered_map<std::string, std::vector<std::uint32_t>, Hash, std::equal_to<>> scopes_;
  // Prefixes resolved and the declaration each resolved to (-1: none),
  // valid while generation_ (counting changes of the declarations in
  // scope) stays as it was. Prefixes are a few bytes, kept in place so that
  // a lookup compares them without a call; longer ones are not kept.
  static constexpr std::size_t kKeptPrefix = 15;
  struct Resolved {
    std::uint64_t generation = 0;
    std::int32_t binding = -1;
    std::uint8_t size = 0;
    std::array<char, kKeptPrefix> prefix{};
  };
  std::array<Resolved, 16> resolved_;
  std::uint64_t generation_ = 1;
  std::uint64_t next_id_ = 1;
  std::int32_t default_binding_ = -1;  // the default namespace's declaration
  std::uint64_t default_generation_ = 0;
  std::optional<Error> over_budget_;
  std::vector<Open> open_;
  // The names of the open elements, one after the other.
  class NameStack {
   public:
    // Returns where the name begins.
    std::size_t Push(std::string_view name) {
      const std::size_t begin = size_;
      const std::size_t n = name.size();
      if (capacity_ - size_ < n) Grow(n);
      // Names are a few bytes: a plain loop beats a call of memcpy.
      char* to = data_.get() + size_;
      for (std::size_t i = 0; i < n; ++i) to[i] = name[i];
      size_ += n;
      return begin;
    }
    const char* At(std::size_t begin) const { return data_.get() + begin; }
    void PopTo(std::size_t begin) { size_ = begin; }

   private:
    void Grow(std::size_t n);
    std::unique_ptr<char[]> data_;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
  };
  NameStack names_;
  // The attributes of a start tag read by PlainStartTag; more go the general way.
  static constexpr std::size_t kPlainAttrs = 16;
  std::array<XmlAttribute, kPlainAttrs> plain_attrs_;
  std::vector<RawAttribute> raw_attrs_;
  std::vector<XmlAttribute> attrs_;
  std::string decoded_;      // text with references resolved
  std::string attr_values_;  // attribute values with references resolved
  // Per attribute: offset and size of its decoded value in attr_values_, or
  // npos when the raw value is used as it is.
  std::vector<std::pair<std::size_t, std::size_t>> values_;
};

}  // namespace dialsift::sheet
