// The files beside the program that dress the window: the skin (a Qt style
// sheet) and the hand cursor; and the program's icon.
#pragma once

#include <QIcon>
#include <QPoint>
#include <QString>

#include <filesystem>
#include <optional>
#include <span>

namespace dialsift::ui {

// True when a directory listing would show the file: it exists and is a
// regular file whose name does not begin with ".".
bool IsListedFile(const std::filesystem::path& path);

// The style sheet in `path`. Throws std::runtime_error when the file cannot
// be read or is not a style sheet (not UTF-8 text, unbalanced braces, an
// unterminated comment or string).
QString ReadStyleSheet(const std::filesystem::path& path);

// The hotspot of the first picture of a .cur file, from its directory entry;
// nothing when the bytes are not a cursor file.
std::optional<QPoint> CursorHotspot(std::span<const unsigned char> bytes);

// The program's icon, drawn here: a dial pad on a blue tile.
QIcon ProgramIcon();

}  // namespace dialsift::ui
