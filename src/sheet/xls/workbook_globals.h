// The workbook globals substream of a BIFF5/BIFF7/BIFF8 workbook: the sheet
// list, the shared strings, the number formats of the cell styles, the date
// system and the code page.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sheet/number_format.h"
#include "sheet/result.h"
#include "sheet/xls/record_stream.h"
#include "sheet/xls/sst.h"
#include "sheet/xls/text_codec.h"

namespace dialsift::sheet::xls {

enum class BiffVersion { kBiff2, kBiff3, kBiff4, kBiff5, kBiff8 };

struct SheetEntry {
  std::string name;
  std::uint32_t offset = 0;  // of the sheet's BOF record in the stream
};

struct WorkbookGlobals {
  BiffVersion version = BiffVersion::kBiff8;
  CodePageDecoder decoder;
  FormatEngine formats;
  // Number-format handle of each XF record, by XF index (BIFF2: by the
  // format index of the cell attributes).
  std::vector<FormatEngine::Handle> xf_formats;
  SharedStrings sst;
  // The worksheets, in workbook order (chart, macro and dialog sheets left out).
  std::vector<SheetEntry> sheets;
  // Worksheets that the sheet list places where no worksheet of theirs can
  // begin (on the globals, or where an earlier sheet begins). Each has an
  // offset of its own past any stream, from kRefusedOffset down, and
  // reading it gives its error.
  static constexpr std::uint32_t kRefusedOffset = 0xFFFFFFFF;
  std::vector<Error> refused;
  // The error of the refused sheet at `offset`, if it is one.
  const Error* RefusalAt(std::uint32_t offset) const {
    const std::uint32_t i = kRefusedOffset - offset;
    return i < refused.size() ? &refused[i] : nullptr;
  }

  FormatEngine::Handle FormatOfXf(std::uint16_t xf);
};

// Reads the globals from the start of the stream. A stream that holds one
// worksheet and no globals (BIFF2-4 files) gives one sheet named
// `lone_sheet_name`. Errors: not a workbook stream, a password-protected
// workbook, a damaged record stream.
Result<WorkbookGlobals> ReadWorkbookGlobals(RecordReader& reader,
                                            std::string_view lone_sheet_name = "Sheet1");

// Decodes the string forms of the workbook's BIFF version.
bool ReadCellString(RecordCursor& cur, WorkbookGlobals& g, std::string& out);

}  // namespace dialsift::sheet::xls
