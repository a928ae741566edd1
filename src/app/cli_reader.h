// dialsift-cli's reading of one workbook, on one of the run's threads: its
// records, formatted there unless the writer must see each one, or its text,
// handed to the writer in sheet order.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "app/cli_options.h"
#include "extract/ordered_run.h"
#include "extract/record.h"
#include "results/e164.h"

namespace dialsift::cli {

// What a workbook hands to the output: a record, records already in the
// output format or a piece of its text (--text), or an error line. A record's path is its
// workbook's; its sheet is named by the kSheet item before it, once per run
// of records from one sheet.
struct Item {
  enum class Kind { kRecord, kFormatted, kSheet, kError } kind = Kind::kRecord;
  // The number, the formatted records or text, the sheet's name, or the
  // error line.
  std::string text;
  std::uint32_t row = 0;
  std::uint32_t column = 0;
  results::Normalised normalised;  // with --e164, worked out by the worker
};

// Reads the workbook at `path` into `out`. `reading` counts the workbooks
// being read right now, across the run's threads.
void ReadWorkbook(const std::string& path, const Options& options, std::atomic<unsigned>& reading,
                  OrderedRun<Item>::Channel& out);

// The key --unique compares: the E.164 form when there is one, else digits.
std::string UniqueKey(const Record& record, const results::Normalised* normalised);

}  // namespace dialsift::cli
