#include "ui/window_files.h"

#include <QFile>
#include <QPainter>
#include <QPixmap>
#include <QStringDecoder>

#include <stdexcept>
#include <string>

namespace dialsift::ui {

bool IsListedFile(const std::filesystem::path& path) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) return false;
  const std::string name = path.filename().string();
  return !name.empty() && name.front() != '.';
}

namespace {

// Finds what would keep Qt's style sheet parser from reading the sheet as a
// whole: braces out of balance, a comment or string left open.
std::optional<std::string> StyleSheetFault(const QString& sheet) {
  int depth = 0;
  for (qsizetype i = 0; i < sheet.size(); ++i) {
    const QChar c = sheet[i];
    if (c == u'/' && i + 1 < sheet.size() && sheet[i + 1] == u'*') {
      const qsizetype end = sheet.indexOf(QStringLiteral("*/"), i + 2);
      if (end < 0) return "a comment is not closed";
      i = end + 1;
    } else if (c == u'"' || c == u'\'') {
      qsizetype j = i + 1;
      while (j < sheet.size() && sheet[j] != c && sheet[j] != u'\n') {
        if (sheet[j] == u'\\') ++j;
        ++j;
      }
      if (j >= sheet.size() || sheet[j] != c) return "a quoted text is not closed";
      i = j;
    } else if (c == u'{') {
      ++depth;
    } else if (c == u'}') {
      if (--depth < 0) return "a '}' has no '{'";
    }
  }
  if (depth != 0) return "a '{' is not closed";
  return std::nullopt;
}

}  // namespace

QString ReadStyleSheet(const std::filesystem::path& path) {
  QFile file(QString::fromStdString(path.string()));
  if (!file.open(QIODevice::ReadOnly))
    throw std::runtime_error("Cannot open the skin file " + path.string() + ": " +
                             file.errorString().toStdString());
  const QByteArray bytes = file.readAll();
  if (bytes.contains('\0'))
    throw std::runtime_error("The skin file " + path.string() + " is not a style sheet");
  QStringDecoder decode(QStringDecoder::Utf8);
  const QString sheet = decode(bytes);
  if (decode.hasError())
    throw std::runtime_error("The skin file " + path.string() + " is not UTF-8 text");
  if (auto fault = StyleSheetFault(sheet))
    throw std::runtime_error("The skin file " + path.string() + " is not a style sheet: " + *fault);
  return sheet;
}

std::optional<QPoint> CursorHotspot(std::span<const unsigned char> bytes) {
  // ICONDIR: reserved 0, type 2 (cursor), entry count; then 16-byte entries
  // whose bytes 4-5 and 6-7 hold the hotspot, little-endian.
  constexpr std::size_t kDirSize = 6;
  constexpr std::size_t kEntrySize = 16;
  if (bytes.size() < kDirSize + kEntrySize) return std::nullopt;
  const auto u16 = [&bytes](std::size_t at) { return bytes[at] | (bytes[at + 1] << 8); };
  if (u16(0) != 0 || u16(2) != 2 || u16(4) == 0) return std::nullopt;
  return QPoint(u16(kDirSize + 4), u16(kDirSize + 6));
}

QIcon ProgramIcon() {
  QIcon icon;
  for (int size : {16, 32, 48, 64}) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0x1f, 0x5f, 0xa8));
    painter.drawRoundedRect(QRectF(0, 0, size, size), size / 6.0, size / 6.0);
    painter.setBrush(Qt::white);
    // A telephone keypad: three columns of four keys, the last row's middle key only.
    const double cell = size / 4.0;
    const double radius = size / 14.0;
    for (int row = 0; row < 4; ++row) {
      for (int col = 0; col < 3; ++col) {
        if (row == 3 && col != 1) continue;
        const QPointF centre(cell * (col + 1), size * 0.14 + cell * 0.8 * (row + 0.5));
        painter.drawEllipse(centre, radius, radius);
      }
    }
    painter.end();
    icon.addPixmap(pixmap);
  }
  return icon;
}

}  // namespace dialsift::ui
