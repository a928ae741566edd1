#include "extract/run.h"

#include "extract/phone.h"
#include "extract/workbook_text.h"
#include "sheet/workbook.h"

namespace dialsift {

bool ExcelOpenCancelsRun(RunHost& host) {
  if (!host.IsExcelRunning()) return false;
  return !host.AskYesNo(kExcelOpenPrompt);
}

// Statement numbers below are the ones the error report names.
void RunExtraction(RunHost& host) {
  host.SetPointer(Pointer::kBusy);       // 102
  if (ExcelOpenCancelsRun(host)) {       // 104
    host.SetPointer(Pointer::kDefault);  // 156
    return;
  }
  // The loop works on the rows as they stand now (106, 112): rows removed
  // while the run yields do not disturb it.
  const std::vector<std::string> rows = host.InputRows();
  if (rows.empty()) {
    host.ShowMessage(kNoFilesMessage);   // 154
    host.SetPointer(Pointer::kDefault);  // 156
    return;
  }
  host.ClearResults();  // 110

  phone::StreamingScanner scanner([&host](std::int16_t n) { return host.IsLengthTicked(n); },
                                  [&host] { host.Yield(); });
  const std::function<bool()> stopped = [&host] { return host.Stopped(); };

  for (std::size_t i = 0; i < rows.size(); ++i) {
    const std::string& path = rows[i];
    host.Yield();  // 114
    if (host.Stopped()) return;
    host.Progress(i + 1, rows.size());
    host.SetPointer(Pointer::kBusy);        // 116, 120
    auto opened = host.OpenWorkbook(path);  // 122
    if (!opened) {
      // One report for a workbook that cannot be opened; its later steps,
      // which all need the workbook, are skipped.
      host.Report({path + ": " + opened.error().reason, location::kRun, 122});
      continue;
    }
    // 126-130: the workbook text and its scan, one cell at a time.
    const std::vector<std::string> numbers = ScanWorkbook(*opened.value(), scanner, host, stopped);
    host.SetPointer(Pointer::kBusy);             // 128, 132
    for (const std::string& number : numbers) {  // 134-140
      host.Yield();                              // 136
      if (host.Stopped()) return;
      host.AppendResult(number);  // 138
    }
    host.SetPointer(Pointer::kBusy);  // 142
    opened.value().reset();           // 144, 146: close the workbook, release the reader
  }
  if (host.Stopped()) return;
  host.ShowMessage(kDoneMessage);      // 152
  host.SetPointer(Pointer::kDefault);  // 156
}

}  // namespace dialsift
