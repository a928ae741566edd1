#include "results/export.h"

#include <QSaveFile>
#include <QString>

#include <cerrno>
#include <cstring>

#include "platform/file_attributes.h"

namespace dialsift::results {
namespace {

constexpr std::size_t kChunkBytes = 1 << 16;

void Call(const YieldFn& yield) {
  if (yield) yield();
}

bool WriteChunk(QSaveFile& file, std::string& chunk) {
  const auto size = static_cast<qint64>(chunk.size());
  const bool ok = file.write(chunk.data(), size) == size;
  chunk.clear();
  return ok;
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
  QSaveFile file(QString::fromStdString(path));
  if (!file.open(QIODevice::WriteOnly)) {
    return WriteFailure{Step::kOpen, file.errorString().toStdString()};
  }

  std::string chunk;
  chunk.reserve(kChunkBytes + 256);
  for (std::size_t i = 0; i < rows.size(); ++i) {
    Call(yield);
    chunk += rows[i];
    if (layout == Layout::kLines) {
      chunk += "\r\n";
    } else if (i + 1 < rows.size()) {
      chunk += ',';
    }
    if (chunk.size() >= kChunkBytes && !WriteChunk(file, chunk)) {
      return WriteFailure{Step::kWrite, file.errorString().toStdString()};  // file discarded
    }
  }
  if (!chunk.empty() && !WriteChunk(file, chunk)) {
    return WriteFailure{Step::kWrite, file.errorString().toStdString()};
  }
  if (!file.commit()) return WriteFailure{Step::kClose, file.errorString().toStdString()};
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
