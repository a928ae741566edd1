// Streaming, namespace-aware XML parsing, shared by the readers of the
// XML-based formats (.xlsx, .ods, the XML parts of .xlsb). UTF-8 documents go
// through a fast tokenizer of our own (xml_tokenizer.h), others through expat;
// both report the same events.
//
// The document is parsed in chunks straight out of a zip entry (or from
// a byte buffer), so a part is never held whole. A document type declaration
// is refused outright: workbook parts never need one, and refusing it shuts
// out entity expansion and external entities in one go.
//
// Element and attribute names arrive split into namespace URI and local name,
// so a handler matches "c" in the SpreadsheetML namespace whatever prefix the
// file uses, and can accept the OOXML Strict URIs next to the transitional ones.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "sheet/result.h"
#include "sheet/zip_archive.h"

namespace dialsift::sheet {

// A qualified name: namespace URI (empty when the name has none) and local name.
struct XmlName {
  std::string_view ns;
  std::string_view local;

  bool Is(std::string_view want_ns, std::string_view want_local) const {
    return local == want_local && ns == want_ns;
  }
};

struct XmlAttribute {
  XmlName name;
  std::string_view value;
};

// The attributes of one element, valid only during the StartElement call.
class XmlAttributes {
 public:
  explicit XmlAttributes(std::span<const XmlAttribute> attrs) : attrs_(attrs) {}

  // Value of the attribute without a namespace called `local`, if present.
  std::optional<std::string_view> Get(std::string_view local) const {
    for (const auto& a : attrs_) {
      if (a.name.ns.empty() && a.name.local == local) return a.value;
    }
    return std::nullopt;
  }
  // Value of the attribute `local` in namespace `ns`, if present.
  std::optional<std::string_view> Get(std::string_view ns, std::string_view local) const {
    for (const auto& a : attrs_) {
      if (a.name.Is(ns, local)) return a.value;
    }
    return std::nullopt;
  }

  // Visits every attribute: fn(XmlName, value).
  template <class Fn>
  void ForEach(Fn&& fn) const {
    for (const auto& a : attrs_) fn(a.name, a.value);
  }

  std::span<const XmlAttribute> All() const { return attrs_; }

 private:
  std::span<const XmlAttribute> attrs_;
};

// Receives the parse events. A handler that finds the content unacceptable
// calls Fail; one that has seen enough calls Stop. Either ends the parse at
// once; Fail makes ParseXml return the handler's error.
class XmlHandler {
 public:
  virtual ~XmlHandler() = default;
  virtual void StartElement(const XmlName& name, const XmlAttributes& attrs) = 0;
  virtual void EndElement(const XmlName& name) = 0;
  // Character data, possibly split over several calls for one text node.
  virtual void Characters(std::string_view text) = 0;

  void Fail(std::string reason) {
    if (!done_) error_ = Error{std::move(reason)};
    done_ = true;
  }
  void Stop() { done_ = true; }
  bool Done() const { return done_; }
  const std::optional<Error>& HandlerError() const { return error_; }

 private:
  std::optional<Error> error_;
  bool done_ = false;
};

// Parses the XML of zip entry `entry` (`part` names it in error messages).
// Errors read: "damaged XML in <part>: <what> at line N".
Status ParseXml(ZipEntryReader& entry, std::string_view part, XmlHandler& handler);
// Parses XML held in memory.
Status ParseXml(std::string_view bytes, std::string_view part, XmlHandler& handler);
// Parses with expat alone: the reference that the fast path of ParseXml is
// held against in tests (ParseXml itself turns to expat for documents that
// are not UTF-8).
Status ParseXmlWithExpat(std::string_view bytes, std::string_view part, XmlHandler& handler);
// Opens `part` in `zip` and parses it ("missing part <part>" when absent).
Status ParseXmlPart(const ZipArchive& zip, std::string_view part, XmlHandler& handler);

}  // namespace dialsift::sheet
