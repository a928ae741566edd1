#include "results/output.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "base/unicode.h"

namespace dialsift::results {
namespace {

constexpr std::size_t kChunkBytes = 1 << 16;

// Appends `text` with every byte sequence that is not UTF-8 replaced by
// U+FFFD, so that csv and jsonl stay UTF-8 whatever a path holds.
template <class Append>
void ForEachUtf8(std::string_view text, Append&& append) {
  std::size_t i = 0;
  while (i < text.size()) {
    const std::size_t len = sheet::Utf8SequenceLength(text.substr(i));
    if (len > 0) {
      append(text.substr(i, len));
      i += len;
    } else {
      append(std::string_view("\xEF\xBF\xBD"));
      ++i;
    }
  }
}

void AppendCsvField(std::string_view value, std::string& out) {
  const bool quote = value.find_first_of(",\"\r\n") != std::string_view::npos;
  if (quote) out += '"';
  ForEachUtf8(value, [&](std::string_view piece) {
    if (piece == "\"") out += '"';
    out += piece;
  });
  if (quote) out += '"';
}

void AppendJsonString(std::string_view value, std::string& out) {
  out += '"';
  ForEachUtf8(value, [&](std::string_view piece) {
    const auto c = static_cast<unsigned char>(piece[0]);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += piece;
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
      out += escaped;
    } else {
      out += piece;
    }
  });
  out += '"';
}

}  // namespace

std::optional<Format> ParseFormat(std::string_view name) {
  if (name == "lines") return Format::kLines;
  if (name == "comma") return Format::kComma;
  if (name == "csv") return Format::kCsv;
  if (name == "jsonl") return Format::kJsonl;
  return std::nullopt;
}

void RecordFormatter::Begin(std::string& out) const {
  if (format_ == Format::kCsv) out += "number,e164,valid,path,sheet,cell\r\n";
}

void RecordFormatter::Add(const Record& record, const Normalised* normalised, std::string& out) {
  switch (format_) {
    case Format::kLines:
      out += record.number;
      out += "\r\n";
      break;
    case Format::kComma:
      if (!first_) out += ',';
      out += record.number;
      break;
    case Format::kCsv:
      AppendCsvField(record.number, out);
      out += ',';
      if (normalised) {
        AppendCsvField(normalised->e164, out);
        out += normalised->valid ? ",true," : ",false,";
      } else {
        out += ",,";
      }
      AppendCsvField(record.path, out);
      out += ',';
      AppendCsvField(record.sheet, out);
      out += ',';
      out += CellReference(record.row, record.column);
      out += "\r\n";
      break;
    case Format::kJsonl:
      out += "{\"number\":";
      AppendJsonString(record.number, out);
      out += ",\"e164\":";
      if (!normalised) {
        out += "null,\"valid\":null";
      } else {
        if (normalised->e164.empty()) {
          out += "null";
        } else {
          AppendJsonString(normalised->e164, out);
        }
        out += normalised->valid ? ",\"valid\":true" : ",\"valid\":false";
      }
      out += ",\"path\":";
      AppendJsonString(record.path, out);
      out += ",\"sheet\":";
      AppendJsonString(record.sheet, out);
      out += ",\"cell\":\"";
      out += CellReference(record.row, record.column);
      out += "\"}\n";
      break;
  }
  first_ = false;
}

bool SaveFile::Open() {
  return file_.Open(path_);
}

bool SaveFile::Write(std::string_view bytes) {
  return file_.Write(bytes);
}

bool SaveFile::Commit() {
  return file_.Commit();
}

void SaveFile::Cancel() {
  file_.Cancel();
}

std::string SaveFile::ErrorString() const {
  return file_.Error();
}

bool StandardOutput::Write(std::string_view bytes) {
  if (std::fwrite(bytes.data(), 1, bytes.size(), stdout) == bytes.size()) return true;
  error_ = std::strerror(errno);
  return false;
}

bool StandardOutput::Commit() {
  if (std::fflush(stdout) == 0 && !std::ferror(stdout)) return true;
  error_ = std::strerror(errno);
  return false;
}

RecordWriter::RecordWriter(Format format, Destination& destination)
    : formatter_(format), destination_(destination) {
  buffer_.reserve(kChunkBytes + 512);
  formatter_.Begin(buffer_);
}

bool RecordWriter::Add(const Record& record, const Normalised* normalised) {
  formatter_.Add(record, normalised, buffer_);
  if (buffer_.size() >= kChunkBytes) return Flush();
  return ok_;
}

bool RecordWriter::AddFormatted(std::string_view records) {
  if (records.empty()) return ok_;
  if (formatter_.first_ && formatter_.format_ == Format::kComma) records.remove_prefix(1);
  formatter_.first_ = false;
  buffer_ += records;
  if (buffer_.size() >= kChunkBytes) return Flush();
  return ok_;
}

bool RecordWriter::Flush() {
  if (ok_ && !buffer_.empty()) ok_ = destination_.Write(buffer_);
  buffer_.clear();
  return ok_;
}

}  // namespace dialsift::results
