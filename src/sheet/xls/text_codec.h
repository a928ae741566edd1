// Character decoding for BIFF strings: UTF-16LE (BIFF8 "unicode" strings and
// their compressed Latin-1 form) and the single- or multi-byte code page that
// BIFF5/BIFF7 files declare in their CODEPAGE record.
#pragma once

#include "base/unicode.h"

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

namespace dialsift::sheet::xls {

// Appends bytes whose high byte was dropped (BIFF8 "compressed" strings:
// code points U+0000 to U+00FF) as UTF-8.
void AppendLatin1(std::span<const std::uint8_t> bytes, std::string& out);

// Decodes the byte strings of a BIFF5/BIFF7 workbook from its code page.
// Unknown code pages fall back to Windows-1252, which is what Excel for
// Windows wrote when the record is absent.
class CodePageDecoder {
 public:
  explicit CodePageDecoder(int code_page = 1252);
  ~CodePageDecoder();
  CodePageDecoder(CodePageDecoder&&) noexcept;
  CodePageDecoder& operator=(CodePageDecoder&&) noexcept;

  void Append(std::span<const std::uint8_t> bytes, std::string& out);
  int code_page() const { return code_page_; }

 private:
  struct Iconv;
  int code_page_;
  bool windows_1252_ = false;     // decoded by the readers' one Windows-1252 table
  std::unique_ptr<Iconv> iconv_;  // null otherwise: Latin-1 passthrough for UTF-16 code page
};

// The iconv name of a Windows code page number, or empty when unknown.
std::string_view IconvNameForCodePage(int code_page);

}  // namespace dialsift::sheet::xls
