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
// The events handlers receive are in xml_handler.h.
#pragma once

#include <cstddef>
#include <functional>
#include <istream>
#include <span>
#include <string_view>

#include "sheet/result.h"
#include "sheet/xml/xml_handler.h"
#include "sheet/zip_archive.h"

namespace dialsift::sheet {

// Fills the buffer given with the document's next bytes: how many (0 at its
// end), or why it cannot.
using XmlRead = std::function<Result<std::size_t>(std::span<char>)>;

// Parses the XML of zip entry `entry` (`part` names it in error messages).
// Errors read: "damaged XML in <part> (<what> at line N)".
Status ParseXml(ZipEntryReader& entry, std::string_view part, XmlHandler& handler);
// Parses XML held in memory.
Status ParseXml(std::string_view bytes, std::string_view part, XmlHandler& handler);
// Parses the document whose first bytes, `head`, were read already, and
// whose rest `read` yields.
Status ParseXml(std::string_view head, const XmlRead& read, std::string_view part,
                XmlHandler& handler);
// Parses XML read from a stream chunk by chunk, from where it stands.
Status ParseXml(std::istream& in, std::string_view part, XmlHandler& handler);
// Parses with expat alone: the reference that the fast path of ParseXml is
// held against in tests (ParseXml itself turns to expat for documents that
// are not UTF-8).
Status ParseXmlWithExpat(std::string_view bytes, std::string_view part, XmlHandler& handler);
// Opens `part` in `zip` and parses it ("missing part <part>" when absent).
Status ParseXmlPart(const ZipArchive& zip, std::string_view part, XmlHandler& handler);

}  // namespace dialsift::sheet
