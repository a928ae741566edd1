// One large document read on several threads. The document is cut into
// stretches of a few hundred kilobytes, each beginning where a child of one element
// opens (a row of a sheet's data). Every stretch is parsed ahead, on any
// thread, by a parser that has read only the document's head (everything
// before the first such child) and then the stretch; its handler keeps what
// it finds. The stretches are then taken in order: a stretch's findings
// stand when the parse of everything before it has ended in the state its
// parser began in (the same elements open, the same namespaces in scope, the
// handler in the same state) and the stretch depended on nothing before it;
// otherwise its bytes are parsed after the others, as one parser would.
// Findings, their order, errors and the lines they name are those of
// ParseXml.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string_view>

#include "sheet/result.h"
#include "sheet/xml/xml_handler.h"
#include "sheet/xml/xml_stream.h"

namespace dialsift::sheet {

// A handler that can read a stretch of a document ahead of its turn.
// Created handing on what it finds at once.
class SplitHandler : public XmlHandler {
 public:
  // Keeps what it finds from here on, forgetting what it kept before, and
  // takes nothing from what it read so far (a row's position, say) but its
  // state of elements.
  virtual void ReadAhead() = 0;
  // False when what it read ahead did depend on what came before (a row
  // without its number), or it could not keep it all.
  virtual bool Independent() const = 0;
  // True when the two would read the next bytes alike.
  virtual bool SameState(const SplitHandler& other) const = 0;
  // Hands on what it kept, in order, and from then on what it finds. False
  // when the receiver asked to stop on the way: it has then stopped.
  virtual bool HandOn() = 0;
  // As new, handing on at once, its storage kept for the next stretch.
  virtual void Restart() = 0;
};

// How the stretches went, for tests and benchmarks.
struct SplitCounts {
  std::size_t stood = 0;       // parsed ahead, and what they found stood
  std::size_t read_again = 0;  // read again by the one parser
};

struct SplitOptions {
  std::string_view container;  // local name of the element whose children cut ("sheetData")
  std::string_view child;      // local name of the children a stretch begins at ("row")
  std::size_t stretch = std::size_t{256} << 10;  // bytes of a stretch, about
  unsigned threads = 1;                          // parsing beside the caller's
  SplitCounts* counts = nullptr;                 // when given, told how it went
  // Asked before each stretch: false has the caller's thread read the rest
  // of the document alone, as ParseXml would (the second core is taken).
  std::function<bool()> spare;
};

// Parses what `read` yields as described above. `read` and `make` are
// called on the caller's thread only; handlers parse on any. A document that does not
// lend itself (no such child near its start, another encoding than UTF-8)
// is read by one parser, ParseXml.
Status ParseXmlSplit(const XmlRead& read, std::string_view part,
                     const std::function<std::unique_ptr<SplitHandler>()>& make,
                     const SplitOptions& options);

}  // namespace dialsift::sheet
