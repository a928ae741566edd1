#include "results/export.h"

#include <cerrno>
#include <cstring>

#include "platform/file_attributes.h"
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

std::optional<WriteFailure> WriteRows(const std::string& path, std::span<const std::string> rows,
                                      Layout layout, const YieldFn& yield) {
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
  RecordWriter writer(layout == Layout::kLines ? Format::kLines : Format::kComma, file);
  Record record;
  for (const std::string& row : rows) {
    Call(yield);
    record.number = row;
    // A failed write discards the temporary file; the target stays as it was.
    if (!writer.Add(record)) return WriteFailure{Step::kWrite, file.ErrorString()};
  }
  if (!writer.Flush()) return WriteFailure{Step::kWrite, file.ErrorString()};
  if (!file.Commit()) return WriteFailure{Step::kClose, file.ErrorString()};
  return std::nullopt;
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
