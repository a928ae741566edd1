// The events of a streaming XML parse, as handlers receive them. Element and
// attribute names arrive split into namespace URI and local name, so a
// handler matches "c" in the SpreadsheetML namespace whatever prefix the file
// uses, and can accept the OOXML Strict URIs next to the transitional ones.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "sheet/result.h"

namespace dialsift::sheet {

// A qualified name: namespace URI (empty when the name has none) and local name.
struct XmlName {
  std::string_view ns;
  std::string_view local;
  // When not 0, names the namespace declaration `ns` came from, unique over
  // the whole parse: two names with the same non-zero id have the same URI,
  // so a handler can remember its verdict on a namespace without comparing
  // URIs. 0 tells nothing (no namespace, or a parser that does not number
  // its declarations).
  std::uint64_t ns_id = 0;

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

  void Fail(Error error) {
    if (!done_) error_ = std::move(error);
    done_ = true;
  }
  void Fail(ErrorKind kind, std::string reason) { Fail(Error{kind, std::move(reason)}); }
  void Stop() { done_ = true; }
  bool Done() const { return done_; }
  const std::optional<Error>& HandlerError() const { return error_; }

 protected:
  // Neither failed nor stopped: for a handler used again on another document.
  void ClearOutcome() {
    error_.reset();
    done_ = false;
  }

 private:
  std::optional<Error> error_;
  bool done_ = false;
};

}  // namespace dialsift::sheet
