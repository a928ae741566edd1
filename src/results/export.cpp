#include "results/export.h"

#include <cerrno>
#include <cstring>

#include "platform/file_attributes.h"
#include "results/e164.h"
#include "results/output.h"

namespace dialsift::results {
namespace {

void Call(const YieldFn& yield) {
  if (yield) yield();
}

}  // namespace

std::string OverwriteQuestion(std::string_view path) {
  std::string text = "Are you sure you wish to overwrite ";
  text += path;
  text += " ?";
  return text;
}

namespace {

// Writes the records that `add` gives the writer, through a temporary file
// beside `path` that replaces it only once all are written.
template <class AddAll>
std::optional<WriteFailure> WriteThroughSaveFile(const std::string& path, Format format,
                                                 AddAll&& add_all) {
  using Step = WriteFailure::Step;
  // A file its owner may not write stays as it is, also for a user (root)
  // whom the system would let replace it.
  if (const auto attributes = platform::FileAttributes(path);
      attributes && (*attributes & platform::kAttrReadOnly) &&
      !(*attributes & platform::kAttrDirectory)) {
    return WriteFailure{Step::kOpen, std::strerror(EACCES)};
  }
  SaveFile file(path);
  if (!file.Open()) return WriteFailure{Step::kOpen, file.ErrorString()};
  RecordWriter writer(format, file);
  // A failed write discards the temporary file; the target stays as it was.
  if (!add_all(writer) || !writer.Flush()) return WriteFailure{Step::kWrite, file.ErrorString()};
  if (!file.Commit()) return WriteFailure{Step::kClose, file.ErrorString()};
  return std::nullopt;
}

}  // namespace

std::optional<WriteFailure> WriteRows(const std::string& path, std::span<const std::string> rows,
                                      Layout layout, const YieldFn& yield) {
  const Format format = layout == Layout::kLines ? Format::kLines : Format::kComma;
  return WriteThroughSaveFile(path, format, [&](RecordWriter& writer) {
    Record record;
    for (const std::string& row : rows) {
      Call(yield);
      record.number = row;
      if (!writer.Add(record)) return false;
    }
    return true;
  });
}

std::optional<WriteFailure> WriteRecords(const std::string& path, std::span<const Record> records,
                                         Format format, const E164* e164, const YieldFn& yield) {
  return WriteThroughSaveFile(path, format, [&](RecordWriter& writer) {
    for (const Record& record : records) {
      Call(yield);
      if (e164) {
        const Normalised normalised = e164->Normalise(record.number);
        if (!writer.Add(record, &normalised)) return false;
      } else if (!writer.Add(record)) {
        return false;
      }
    }
    return true;
  });
}

Status SaveListCommaDelimited(std::span<const std::string> rows, const std::string& path,
                              UserInterface& ui, const YieldFn& yield) {
  if (platform::FileExists(path) &&
      ui.Message(OverwriteQuestion(path), {}, UserInterface::Buttons::kYesNo,
                 UserInterface::Icon::kNone) != UserInterface::Answer::kYes) {
    return Status::Ok();
  }
  if (auto failure = WriteRows(path, rows, Layout::kCommaDelimited, yield)) {
    return Error{ErrorKind::kIo, std::move(failure->description)};
  }
  return Status::Ok();
}

std::string ClipboardText(std::span<const std::string> rows, const YieldFn& yield) {
  std::size_t total = 0;
  for (const auto& row : rows) total += row.size() + 2;
  std::string text;
  text.reserve(total);
  for (const auto& row : rows) {
    Call(yield);
    const auto end = row.find_last_not_of(' ');
    text.append(row, 0, end == std::string::npos ? 0 : end + 1);
    text += "\r\n";
  }
  return text;
}

}  // namespace dialsift::results
