// The run behind "Start Extracting Phone Numbers": the input file list's
// workbooks read one by one, their numbers into the results list.
#pragma once

#include <QElapsedTimer>

#include <functional>

#include "extract/phone.h"
#include "ui/input_file_list.h"
#include "ui/results_list.h"
#include "ui/window_services.h"

namespace dialsift::ui {

class ExtractionRun {
 public:
  // True when a spreadsheet application has the workbooks open.
  using ExcelProbe = std::function<bool()>;

  ExtractionRun(WindowServices& window, const InputFileList& inputs, ResultsList& results,
                const phone::LengthBoxes& lengths);

  void SetExcelProbe(ExcelProbe probe) { excel_running_ = std::move(probe); }

  // "Start Extracting Phone Numbers". A press while a run is going on is
  // ignored (the press arrives during one of the run's yields).
  void StartExtraction();
  // True while a run is going on.
  bool Running() const { return running_; }

 private:
  class Host;

  WindowServices& window_;
  const InputFileList& inputs_;
  ResultsList& results_;
  const phone::LengthBoxes& lengths_;
  ExcelProbe excel_running_;
  bool running_ = false;
};

}  // namespace dialsift::ui
