#include "sheet/opc/package.h"

#include "sheet/xml/xml_stream.h"

namespace dialsift::sheet::opc {

namespace {

constexpr std::string_view kRelationshipsNs =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
constexpr std::string_view kStrictRelationshipsNs =
    "http://purl.oclc.org/ooxml/officeDocument/relationships";
// The namespaces of the package's own XML parts (the same in Strict packages).
constexpr std::string_view kPackageRelationshipsNs =
    "http://schemas.openxmlformats.org/package/2006/relationships";
constexpr std::string_view kContentTypesNs =
    "http://schemas.openxmlformats.org/package/2006/content-types";

// Elements of a package part: its namespace, or none (some hand-made files
// leave it out).
bool InNs(const XmlName& name, std::string_view local, std::string_view ns) {
  return name.local == local && (name.ns.empty() || name.ns == ns);
}

class RelationshipsHandler final : public XmlHandler {
 public:
  RelationshipsHandler(std::string_view folder, Relationships& out) : folder_(folder), out_(out) {}
  void StartElement(const XmlName& name, const XmlAttributes& attrs) override {
    if (!InNs(name, "Relationship", kPackageRelationshipsNs)) return;
    Relationship rel;
    rel.id = std::string(attrs.Get("Id").value_or(""));
    rel.type = std::string(attrs.Get("Type").value_or(""));
    rel.external = attrs.Get("TargetMode").value_or("") == "External";
    const std::string_view target = attrs.Get("Target").value_or("");
    rel.target = rel.external ? std::string(target) : ResolvePartName(folder_, target);
    out_.Add(std::move(rel));
  }
  void EndElement(const XmlName&) override {}
  void Characters(std::string_view) override {}

 private:
  std::string_view folder_;
  Relationships& out_;
};

class ContentTypesHandler final : public XmlHandler {
 public:
  explicit ContentTypesHandler(ContentTypes& out) : out_(out) {}
  void StartElement(const XmlName& name, const XmlAttributes& attrs) override {
    if (InNs(name, "Default", kContentTypesNs) || InNs(name, "Override", kContentTypesNs)) {
      out_.Add(std::string(attrs.Get("ContentType").value_or("")));
    }
  }
  void EndElement(const XmlName&) override {}
  void Characters(std::string_view) override {}

 private:
  ContentTypes& out_;
};

}  // namespace

std::string ResolvePartName(std::string_view source_folder, std::string_view target) {
  std::string joined;
  if (!target.empty() && target.front() == '/') {
    joined = std::string(target.substr(1));
  } else {
    joined = std::string(source_folder);
    if (!joined.empty() && joined.back() != '/') joined += '/';
    joined += target;
  }
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (start <= joined.size()) {
    std::size_t end = joined.find('/', start);
    if (end == std::string::npos) end = joined.size();
    std::string part = joined.substr(start, end - start);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(std::move(part));
    }
    start = end + 1;
  }
  std::string out;
  for (const auto& p : parts) {
    if (!out.empty()) out += '/';
    out += p;
  }
  return out;
}

bool IsRelationshipsNs(std::string_view ns) {
  return ns == kRelationshipsNs || ns == kStrictRelationshipsNs;
}

bool RelTypeIs(std::string_view type, std::string_view kind) {
  return type.size() > kind.size() && type.ends_with(kind) &&
         type[type.size() - kind.size() - 1] == '/';
}

void Relationships::Add(Relationship rel) {
  by_id_.emplace(rel.id, all_.size());
  all_.push_back(std::move(rel));
}

const Relationship* Relationships::ById(std::string_view id) const {
  const auto it = by_id_.find(id);
  return it == by_id_.end() ? nullptr : &all_[it->second];
}

const Relationship* Relationships::FirstInternal(std::string_view kind) const {
  for (const auto& rel : all_) {
    if (!rel.external && RelTypeIs(rel.type, kind)) return &rel;
  }
  return nullptr;
}

Result<Relationships> ReadRelationships(const ZipArchive& zip, std::string_view part) {
  const auto slash = part.rfind('/');
  const std::string_view folder =
      slash == std::string_view::npos ? std::string_view{} : part.substr(0, slash + 1);
  const std::string_view name = slash == std::string_view::npos ? part : part.substr(slash + 1);
  const std::string rels = std::string(folder) + "_rels/" + std::string(name) + ".rels";
  Relationships out;
  if (!zip.Has(rels)) return out;
  RelationshipsHandler handler(folder, out);
  if (auto status = ParseXmlPart(zip, rels, handler); !status) return status.error();
  return out;
}

Result<ContentTypes> ReadContentTypes(const ZipArchive& zip) {
  ContentTypes out;
  ContentTypesHandler handler(out);
  if (auto status = ParseXmlPart(zip, "[Content_Types].xml", handler); !status) {
    return status.error();
  }
  return out;
}

}  // namespace dialsift::sheet::opc
