// The one output path of found numbers: records turned into the bytes of an
// output format and written to a file that is replaced only once complete,
// or to a stream. The CLI writes through it, and so do the window's exports.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "extract/record.h"
#include "platform/atomic_file.h"

namespace dialsift::results {

enum class Format {
  kLines,  // each number followed by CR LF (the text export)
  kComma,  // numbers joined by ",", nothing after the last (the comma export)
  kCsv,    // RFC 4180, UTF-8, CR LF, header number,e164,valid,path,sheet,cell
  kJsonl   // one JSON object per number with the csv's fields, LF after each
};

// "lines", "comma", "csv" or "jsonl".
std::optional<Format> ParseFormat(std::string_view name);

// A number's dialable form, when it was asked for.
struct Normalised {
  std::string e164;    // "+12125550147"; empty when the number has none
  bool valid = false;  // the numbering plan knows such a number
};

// Appends the bytes of records in one format to a text.
class RecordFormatter {
 public:
  explicit RecordFormatter(Format format) : format_(format) {}
  // What comes before the first record: the csv header, else nothing.
  void Begin(std::string& out) const;
  // One record. `normalised` is null when no normalising was asked for:
  // e164 and valid are then empty (csv) or null (jsonl).
  void Add(const Record& record, const Normalised* normalised, std::string& out);
  // From now on the records follow others: in the comma format each comes
  // with the separator before it. For records formatted apart from the
  // output's first (RecordWriter::AddFormatted).
  void Follow() { first_ = false; }

 private:
  friend class RecordWriter;
  Format format_;
  bool first_ = true;
};

// Where the bytes go.
class Destination {
 public:
  virtual ~Destination() = default;
  virtual bool Write(std::string_view bytes) = 0;
  // Makes what was written final; false when that fails.
  virtual bool Commit() = 0;
  // The last failure, in the words of the platform.
  virtual std::string ErrorString() const = 0;
};

// A file written through a temporary file beside it: the target is replaced
// only by Commit, once everything is written; dropped unwritten (destroyed or
// Cancel) it stays as it was and the temporary file goes.
class SaveFile final : public Destination {
 public:
  explicit SaveFile(const std::string& path) : path_(path) {}
  // False when the target cannot be written (read-only, missing folder...).
  bool Open();
  bool Write(std::string_view bytes) override;
  bool Commit() override;
  void Cancel();
  std::string ErrorString() const override;

 private:
  std::string path_;
  platform::AtomicFile file_;
};

// Standard output.
class StandardOutput final : public Destination {
 public:
  bool Write(std::string_view bytes) override;
  bool Commit() override;  // flushes
  std::string ErrorString() const override { return error_; }

 private:
  std::string error_;
};

// Formats records into a buffer and writes it to a destination in chunks.
class RecordWriter {
 public:
  RecordWriter(Format format, Destination& destination);
  // False once a write has failed (the destination says why).
  bool Add(const Record& record, const Normalised* normalised = nullptr);
  // Records formatted elsewhere in the same format by a formatter told to
  // Follow: the output's first record loses the separator it came with.
  bool AddFormatted(std::string_view records);
  // Writes what is buffered; false when that fails.
  bool Flush();

 private:
  RecordFormatter formatter_;
  Destination& destination_;
  std::string buffer_;
  bool ok_ = true;
};

}  // namespace dialsift::results
