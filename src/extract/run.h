// Module Excel1, the run: what pressing "Start Extracting Phone Numbers"
// does, written against a small host interface so that the main window and
// the tests drive the same routine.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "extract/error_report.h"
#include "extract/phone.h"
#include "extract/record.h"
#include "sheet/workbook.h"

namespace dialsift {

enum class Pointer { kDefault = 0, kArrow = 1, kBusy = 11, kHand = 99 };

// What the run needs from its surroundings.
class RunHost : public ErrorReporter {
 public:
  // The input file list as it stands when the loop starts.
  virtual std::vector<std::string> InputRows() = 0;
  virtual void SetPointer(Pointer pointer) = 0;
  // A message box with Yes and No, no icon, the program's title. True on Yes.
  virtual bool AskYesNo(std::string_view text) = 0;
  // A message box with OK, no icon, the program's title.
  virtual void ShowMessage(std::string_view text) = 0;
  virtual void ClearResults() = 0;
  // A number found, with where it was found; the results list shows its text.
  virtual void AppendResult(const Record& record) = 0;
  // Lets the window process its pending messages.
  virtual void Yield() = 0;
  // The length test, asked at every candidate word.
  virtual bool IsLengthTicked(std::int16_t digits) = 0;
  // Whether numbers written with spaces are read, asked at every cell whose
  // reading with spaces could differ from its words.
  virtual bool IsSpacedTicked() { return false; }
  // True when a workbook of the input list is open in a spreadsheet
  // application right now.
  virtual bool IsExcelRunning() = 0;
  // Where the run is: workbook `workbook` (1-based) of `total` is next.
  virtual void Progress(std::size_t /*workbook*/, std::size_t /*total*/) {}
  // True once the window is closing: the run stops at its next yield.
  virtual bool Stopped() { return false; }
  // `OpenWorkbook`: a reader for the workbook at `path`, one per workbook,
  // released when the workbook is done. Called on the reading threads, each
  // workbook on one of them.
  virtual Result<std::unique_ptr<sheet::Workbook>> OpenWorkbook(const std::string& path) {
    return sheet::OpenWorkbook(path);
  }
  // Threads that read workbooks ahead of the one being handed on; 0: one
  // per core. Everything else the run asks of the host happens on the
  // thread that called RunExtraction.
  virtual unsigned ReadingThreads() { return 0; }
};

inline constexpr std::string_view kExcelOpenPrompt =
    "Excel may be open. It is recommended that you close Excel first.\r"
    "Use Ctrl+Alt+Del > Task Manager > EXCEL.EXE if necessary.\r\n\r\n"
    "Would you like to proceed anyway?";
inline constexpr std::string_view kDoneMessage = "Done.";
inline constexpr std::string_view kNoFilesMessage = "No files added.";
// The reason given for a workbook whose reading ran out of memory.
inline constexpr std::string_view kTooLargeToRead = "too large to read";

// Opens a workbook by path.
using OpenFn = std::function<Result<std::unique_ptr<sheet::Workbook>>(const std::string& path)>;

// One workbook of a run: opens it, scans it and hands its records to `sink`
// as they are found. A workbook that cannot be opened is reported at line
// 122 ("PATH: reason"); a damaged sheet as ScanWorkbook reports it. Running
// out of memory while reading it is that workbook's failure alone: it is
// reported as "PATH: too large to read" (line 126), the records found before
// stay, and the caller goes on with the next workbook. False when the
// workbook could not be opened or read to its end.
bool ReadWorkbookRecords(const std::string& path, const OpenFn& open,
                         phone::StreamingScanner& scanner, RecordSink& sink,
                         ErrorReporter& reporter, const std::function<bool()>& cancelled = {});

// A file's size, what reading it takes as far as the order of starting
// goes; 0 when it cannot be told.
std::uint64_t ReadingSize(const std::string& path);

// True when the run is to stop before it begins: a spreadsheet application
// is running and the user did not answer Yes.
bool ExcelOpenCancelsRun(RunHost& host);

// The run over the input file list into the results list. Reading threads
// open and read the workbooks ahead, finding the words that could be phone
// numbers; the calling thread hands them on in input order and decides each
// one when its turn comes, asking the host's length test then, so a box
// changed during the run applies to every word decided after it. Error
// reports come at their workbook's place. When the host stops the run, the
// reading threads are gone before RunExtraction returns.
void RunExtraction(RunHost& host);

}  // namespace dialsift
