// A fast, non-validating but well-formedness-checking XML tokenizer for
// UTF-8 documents. Private to xml_stream.cpp, whose ParseXml uses it in place
// of expat where it can: worksheet
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

class XmlTokenizer {
 public:
  XmlTokenizer(std::string_view part, XmlHandler& handler);

  // Room for at least `min` more bytes at the end of the buffer (more when a
  // long token is pending, so that rescanning it stays linear).
  std::span<char> Space(std::size_t min);
  void Commit(std::size_t n) { end_ += n; }

  // True once the start of the document shows that it is not UTF-8 (a UTF-16
  // byte order mark, or another encoding declared): expat must read it.
  bool WantsOtherParser();
  // The bytes received so far and not yet parsed.
  std::string_view Pending() const { return {buf_.get() + pos_, end_ - pos_}; }

  // Parses what has arrived; `last` when no more will. Returns false once
  // parsing is over (the end, a stop or an error).
  bool Parse(bool last);
  Status Outcome() const;

 private:
  enum class Step { kDone, kMore, kFail };

  Step Token(bool last);
  Step StartTag(const char* p, const char* end);
  Step EndTag(const char* p, const char* end);
  Step Special(const char* p, const char* end);
  bool Text(const char* b, const char* e, bool cdata);
  bool DecodeInto(const char* b, const char* e, bool attribute, bool cdata, std::string& out);
  // Splits `qname` and finds its namespace; `binding`, when given, receives
  // the index of the declaration that binds it.
  bool Resolve(std::string_view qname, bool is_attribute, XmlName& out,
               std::int32_t* binding = nullptr);
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
  };
  struct Open {
    std::uint32_t qname_begin;  // into open_names_
    std::uint32_t qname_size;
    std::int32_t binding;  // namespace of the element, -1 for none
  };
  struct RawAttribute {
    std::string_view name;
    const char* value_begin;
    const char* value_end;
  };

  std::string_view part_;
  XmlHandler& handler_;
  // Grown without zeroing: the bytes are always written before they are
  // read, and zeroing 64 KB per part was a seventh of a small workbook's time.
  std::unique_ptr<char[]> buf_;
  std::size_t buf_size_ = 0;
  std::size_t pos_ = 0;             // next byte to parse
  std::size_t end_ = 0;             // end of the bytes received
  std::uint64_t bytes_before_ = 0;  // bytes already dropped
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
  // The prefixes resolved last and the declaration each resolved to (-1:
  // none), valid while generation_ (counting changes of the declarations in
  // scope) stays as it was.
  struct Resolved {
    std::string prefix;
    std::int32_t binding = -1;
    std::uint64_t generation = 0;
  };
  std::array<Resolved, 4> resolved_;
  std::size_t resolved_next_ = 0;
  std::uint64_t generation_ = 1;
  std::int32_t default_binding_ = -1;  // the default namespace's declaration
  std::uint64_t default_generation_ = 0;
  std::optional<Error> over_budget_;
  std::vector<Open> open_;
  std::string open_names_;
  std::vector<RawAttribute> raw_attrs_;
  std::vector<XmlAttribute> attrs_;
  std::string decoded_;      // text with references resolved
  std::string attr_values_;  // attribute values with references resolved
  // Per attribute: offset and size of its decoded value in attr_values_, or
  // npos when the raw value is used as it is.
  std::vector<std::pair<std::size_t, std::size_t>> values_;
};

}  // namespace dialsift::sheet
