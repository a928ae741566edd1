#include "extract/record.h"

#include <algorithm>

namespace dialsift {

std::string ColumnLetters(std::uint32_t column) {
  std::string letters;
  while (column > 0) {
    --column;
    letters += static_cast<char>('A' + column % 26);
    column /= 26;
  }
  std::reverse(letters.begin(), letters.end());
  return letters;
}

std::string CellReference(std::uint32_t row, std::uint32_t column) {
  return ColumnLetters(column) + std::to_string(row);
}

std::string WhereFound(const Record& record) {
  const auto slash = record.path.find_last_of('/');
  std::string out = slash == std::string::npos ? record.path : record.path.substr(slash + 1);
  out += " \u2014 ";
  out += SheetCellReference(record.sheet, record.row, record.column);
  return out;
}

std::string SheetCellReference(std::string_view sheet, std::uint32_t row, std::uint32_t column) {
  const bool plain = !sheet.empty() && std::all_of(sheet.begin(), sheet.end(), [](char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '.' || static_cast<unsigned char>(c) >= 0x80;
  });
  std::string out;
  if (plain) {
    out = sheet;
  } else {
    out = "'";
    for (char c : sheet) {
      out += c;
      if (c == '\'') out += '\'';
    }
    out += "'";
  }
  out += '!';
  out += CellReference(row, column);
  return out;
}

}  // namespace dialsift
