// The pieces of the text-file reader: finding a file's encoding, and turning
// its bytes into the cells of one worksheet the way a spreadsheet application
// imports a delimited text file. Both work chunk by chunk, so a file is never
// held whole.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "base/unicode.h"
#include "sheet/result.h"
#include "sheet/workbook.h"

namespace dialsift::sheet::text {

enum class Encoding { kUtf8, kWindows1252, kUtf16Le, kUtf16Be };

// Looks at the whole content, chunk by chunk, and decides whether it is text
// and in which encoding. A byte order mark decides UTF-8 or UTF-16; otherwise
// content that is valid UTF-8 throughout is UTF-8, anything else is read as
// Windows-1252. More than one control character in a hundred characters
// other than NUL, or nothing but NULs, mean binary content.
class EncodingSniffer {
 public:
  void Feed(std::string_view bytes);
  // The encoding, or "not a workbook" for binary content.
  Result<Encoding> Finish();

 private:
  void FeedBody(std::string_view bytes);
  void FeedUtf16(std::string_view bytes);
  void FeedBytes(std::string_view bytes);

  std::string head_;  // first bytes, until the byte order mark is known
  bool head_done_ = false;
  Encoding bom_ = Encoding::kUtf8;
  bool has_bom_ = false;
  std::uint64_t total_ = 0;
  std::uint64_t controls_ = 0;
  std::uint64_t nuls_ = 0;
  bool utf8_valid_ = true;
  int utf8_pending_ = 0;  // continuation bytes still expected
  unsigned utf8_lead_ = 0;
  bool utf16_odd_ = false;
  unsigned char utf16_first_ = 0;
};

// Splits delimited text into fields and hands each non-empty field to the
// sink as written: no number conversion. Fields in double quotes may hold the
// separator, line breaks and doubled quotes; text after a closing quote is
// kept, as a spreadsheet application keeps it. Lines end with CR LF, LF or
// CR. A comma-separated file whose first line is "sep=X" uses X instead, and
// that line is not a row. Rows beyond the last worksheet row end the read
// with an error; fields beyond the last column are dropped and give an error
// once the rest is read, and a field keeps at most 32,767 characters, as a
// cell does.
class DelimitedParser {
 public:
  DelimitedParser(Encoding encoding, char separator, CellSink& sink);

  // Feeds the next bytes of the file (in the file's encoding). Returns false
  // when the read must end (the sink asked to stop, or the row limit); Status()
  // then says whether that is an error.
  bool Feed(std::string_view bytes);
  // Ends the content: delivers the last field and row.
  Status Finish();

 private:
  void FeedUtf8(std::string_view utf8);
  void ParseUtf8(std::string_view utf8);
  void ProbeSeparatorLine(bool at_end);
  void Byte(char c);
  void Append(char c);
  void AppendRun(std::string_view run);
  void EndField();
  void EndRow();

  enum class State { kFieldStart, kUnquoted, kQuoted, kQuoteInQuoted };

  Encoding encoding_;
  char separator_;
  CellSink& sink_;
  State state_ = State::kFieldStart;
  bool skip_lf_ = false;    // the last byte was a CR that ended a row
  bool line_open_ = false;  // the current line has content
  bool stopped_ = false;
  std::optional<Error> error_;
  std::string field_;
  std::uint32_t field_chars_ = 0;
  std::uint32_t row_ = 1;
  std::uint32_t column_ = 1;
  bool bom_checked_ = false;
  std::string pending_;  // undecoded bytes carried between chunks
  Utf16Decoder utf16_;   // keeps a high surrogate waiting for its pair
  std::string utf8_;     // decoded chunk
  std::string probe_;    // the first bytes, while they may be "sep=X"
  bool probe_done_ = false;
};

}  // namespace dialsift::sheet::text
