// The results list's exports: the text file, the comma-delimited file
// (module SaveComma) and the clipboard text (module Main). They read a
// snapshot of the rows, so rows removed while they yield change nothing.
#pragma once

#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "base/yield.h"
#include "extract/record.h"
#include "platform/user_interface.h"
#include "results/output.h"
#include "sheet/result.h"

namespace dialsift::results {

using ::dialsift::YieldFn;

class E164;

// The save dialog of both file exports.
inline constexpr std::string_view kSaveFileName = "output.txt";
inline constexpr std::string_view kSaveTitle = "Save";
inline constexpr std::string_view kSaveFilter = "Text Files (*.txt)|*.txt|All Files (*.*)|*.*|";

inline constexpr std::string_view kCopiedMessage =
    "Results have been copied to the clipboard.\r\rClick a text area where you normally type "
    "and press Ctrl+V to paste the clipboard.";

// "Are you sure you wish to overwrite " + path + " ?"
std::string OverwriteQuestion(std::string_view path);

enum class Layout {
  kLines,          // each row followed by CR LF
  kCommaDelimited  // rows joined by ",", nothing after the last
};

struct WriteFailure {
  enum class Step {
    kOpen,   // the target cannot be written (read-only, missing folder, ...)
    kWrite,  // writing a row failed (disk full, ...)
    kClose   // the finished file could not replace the target
  };
  Step step = Step::kOpen;
  std::string description;  // in the words of the platform
};

// Writes the rows to `path` through a temporary file beside it; the target is
// replaced only once every row is written, so a failure leaves it as it was.
// Calls `yield` before each row.
std::optional<WriteFailure> WriteRows(const std::string& path, std::span<const std::string> rows,
                                      Layout layout, const YieldFn& yield = {});

// Writes records in `format` to `path` the same way, as dialsift-cli writes
// them: with each record's E.164 form from `e164`, or without (null).
std::optional<WriteFailure> WriteRecords(const std::string& path, std::span<const Record> records,
                                         Format format, const E164* e164,
                                         const YieldFn& yield = {});

// SaveListCommaDelimited: when `path` exists, asks the overwrite question and
// writes nothing unless the answer is Yes; then writes the rows comma
// delimited. Any number of rows.
Status SaveListCommaDelimited(std::span<const std::string> rows, const std::string& path,
                              UserInterface& ui, const YieldFn& yield = {});

// The text CopyListToClipboard puts on the clipboard: every row with its
// trailing spaces removed, each followed by CR LF. Calls `yield` per row.
std::string ClipboardText(std::span<const std::string> rows, const YieldFn& yield = {});

}  // namespace dialsift::results
