// Flat OpenDocument files (.fods): telling one by its content, and reading
// its bytes as the XML parser wants them.
//
// A flat document is one XML document whose root element is office:document.
// Before the root may come an XML declaration, processing instructions,
// comments, a document type declaration and blanks, in UTF-8 or UTF-16 (with
// or without a byte order mark). Telling looks at a fixed number of bytes;
// reading turns UTF-16 into UTF-8 as it goes and clears the prolog of what
// the parser would misread (the declaration of an encoding that is no longer
// the one of the bytes) or refuse (a document type declaration without
// declarations of its own, which holds nothing the document needs).
#pragma once

#include <cstddef>
#include <filesystem>
#include <istream>
#include <memory>
#include <string>
#include <string_view>

namespace dialsift::sheet::ods {

// Bytes looked at to tell a flat document: room for long comments and root
// elements that declare many namespaces.
inline constexpr std::size_t kFlatSniffBytes = std::size_t{1} << 20;

enum class XmlEncoding { kUtf8, kUtf16Le, kUtf16Be };

// The encoding that an XML document's first bytes show: a byte order mark,
// or a '<' (after blanks) in one of the UTF-16 byte orders.
XmlEncoding EncodingOfXml(std::string_view head);

// True when `head` (the first bytes of a file, at most kFlatSniffBytes of
// them) begins a flat OpenDocument file. `complete`: `head` is the whole file.
bool IsFlatDocument(std::string_view head);

// True when the file begins a flat OpenDocument file; `head` holds its first
// bytes (all of them when `whole`), and more are read from the file when
// the prolog goes on beyond them.
bool IsFlatDocument(const std::filesystem::path& path, std::string_view head, bool whole);

// The document's bytes as UTF-8 with its prolog cleared, streamed from the
// file.
std::unique_ptr<std::istream> OpenFlatStream(const std::filesystem::path& path);

}  // namespace dialsift::sheet::ods
