#include "extract/run.h"

#include "extract/phone.h"
#include "extract/workbook_text.h"
#include "sheet/workbook.h"

namespace dialsift {

bool ReadWorkbookRecords(const std::string& path, const OpenFn& open,
                         phone::StreamingScanner& scanner, RecordSink& sink,
                         ErrorReporter& reporter, const std::function<bool()>& cancelled) {
  int line = 122;
  try {
    auto opened = open(path);
    if (!opened) {
      // One report for a workbook that cannot be opened; its later steps,
      // which all need the workbook, are skipped.
      reporter.Report({path + ": " + opened.error().reason, location::kRun, 122});
      return false;
    }
    line = 126;
    ScanWorkbook(*opened.value(), path, scanner, sink, reporter, cancelled);
    line = 144;
    opened.value().reset();  // close the workbook, release the reader
    return true;
  } catch (const std::bad_alloc&) {
    // Whatever the reader held is released by now; the run has its memory
    // back for the next workbook.
    reporter.Report({path + ": " + std::string(kTooLargeToRead), location::kRun, line});
    return false;
  }
}

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
  const OpenFn open = [&host](const std::string& path) { return host.OpenWorkbook(path); };

  // Each number reaches the results list the moment it is found (134-140).
  struct ToResults final : RecordSink {
    RunHost& host;
    explicit ToResults(RunHost& h) : host(h) {}
    void Found(const Record& record) override {
      host.Yield();                                    // 136
      if (!host.Stopped()) host.AppendResult(record);  // 138
    }
  } results(host);

  for (std::size_t i = 0; i < rows.size(); ++i) {
    const std::string& path = rows[i];
    host.Yield();  // 114
    if (host.Stopped()) return;
    host.Progress(i + 1, rows.size());
    host.SetPointer(Pointer::kBusy);  // 116, 120
    // 122-146: open, the workbook text and its scan one cell at a time, close.
    ReadWorkbookRecords(path, open, scanner, results, host, stopped);
    if (host.Stopped()) return;
    host.SetPointer(Pointer::kBusy);  // 128, 132, 142
  }
  if (host.Stopped()) return;
  host.ShowMessage(kDoneMessage);      // 152
  host.SetPointer(Pointer::kDefault);  // 156
}

}  // namespace dialsift
