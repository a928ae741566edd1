// How OpenWorkbook goes about reading a workbook, for callers that choose.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>

#include "sheet/result.h"
#include "sheet/workbook.h"

namespace dialsift::sheet {

struct OpenOptions {
  // Large parts of zip-based workbooks (.xlsx, .xlsb, .ods) are inflated on
  // a second thread while the first one parses: for callers with a core to
  // spare. The cells, their order and the errors stay the same.
  bool inflate_ahead = false;
  // With inflate_ahead, asked as each stretch of a large .xlsx sheet is cut
  // off: whether the core is still to spare (another workbook may have
  // started meanwhile); once it is not, the rest of the sheet is read on one
  // thread. Empty: always.
  std::function<bool()> core_to_spare;
  // Files up to this size are read whole at once, and a zip archive among
  // them is then read from memory. Opened from its file, libzip seeks and
  // reads a few dozen times for a small workbook, each a system call. The
  // cells, their order and the errors stay the same.
  std::uint64_t read_whole_up_to = std::uint64_t{4} << 20;
};

// OpenWorkbook(path), with options.
Result<std::unique_ptr<Workbook>> OpenWorkbook(const std::filesystem::path& path,
                                               const OpenOptions& options);

}  // namespace dialsift::sheet
