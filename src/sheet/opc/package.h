// The Open Packaging Conventions layer (ECMA-376 Part 2) shared by the .xlsx
// and .xlsb readers: part names, the relationships of a part and the content
// types a package declares. Transitional and Strict packages alike.
#pragma once

#include <cstddef>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "sheet/result.h"
#include "sheet/zip_archive.h"

namespace dialsift::sheet::opc {

// Joins a relationship target to the folder of its source part and resolves
// "." and ".." ("xl/" + "worksheets/sheet1.xml", "/xl/x.xml"). The result
// has no leading slash.
std::string ResolvePartName(std::string_view source_folder, std::string_view target);

// True for the namespace of relationship-id attributes such as r:id, in its
// transitional or Strict form.
bool IsRelationshipsNs(std::string_view ns);

struct Relationship {
  std::string id;
  std::string type;    // full type URI
  std::string target;  // resolved part name, or the raw target when external
  bool external = false;
};

// True when the relationship type URI ends in "/<kind>" (the kinds are the
// same in the transitional and the Strict URI families).
bool RelTypeIs(std::string_view type, std::string_view kind);

// The relationships of one part, in file order, found by Id in constant time.
class Relationships {
 public:
  // Keeps `rel`; of several with one Id, the first counts.
  void Add(Relationship rel);
  const Relationship* ById(std::string_view id) const;
  // The first relationship of type `kind` whose target is inside the package.
  const Relationship* FirstInternal(std::string_view kind) const;
  std::span<const Relationship> All() const { return all_; }

 private:
  struct Hash {
    using is_transparent = void;
    std::size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
  };
  std::vector<Relationship> all_;
  std::unordered_map<std::string, std::size_t, Hash, std::equal_to<>> by_id_;
};

// The relationships of `part` (read from "<folder>/_rels/<name>.rels"; "" is
// the package itself), with internal targets resolved against the part's
// folder. A part without a relationships part has none.
Result<Relationships> ReadRelationships(const ZipArchive& zip, std::string_view part);

// The content types that [Content_Types].xml declares, in its Default and
// Override entries alike.
class ContentTypes {
 public:
  void Add(std::string type) { types_.push_back(std::move(type)); }
  // True when some declared type satisfies `pred`.
  bool Any(const std::function<bool(std::string_view)>& pred) const {
    for (const auto& t : types_) {
      if (pred(t)) return true;
    }
    return false;
  }

 private:
  std::vector<std::string> types_;
};

Result<ContentTypes> ReadContentTypes(const ZipArchive& zip);

}  // namespace dialsift::sheet::opc
