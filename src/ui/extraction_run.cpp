#include "ui/extraction_run.h"

namespace dialsift::ui {

// The run's view of the window: the lists, the pointer, the boxes and the
// event loop. Queued results go into the list before every message, so
// nobody sees the list without them.
class ExtractionRun::Host final : public RunHost {
 public:
  explicit Host(ExtractionRun& run) : run_(run) {}
  void Report(const ErrorReport& report) override { run_.window_.ShowErrorReport(report); }
  std::vector<std::string> InputRows() override { return run_.inputs_.Rows(); }
  void SetPointer(Pointer pointer) override { run_.window_.SetPointer(pointer); }
  bool AskYesNo(std::string_view text) override {
    run_.results_.FlushQueuedRows();
    return run_.window_.Ui().Message(text, {}, UserInterface::Buttons::kYesNo,
                                     UserInterface::Icon::kNone) == UserInterface::Answer::kYes;
  }
  void ShowMessage(std::string_view text) override {
    run_.results_.FlushQueuedRows();
    run_.window_.Ui().Message(text, {}, UserInterface::Buttons::kOk, UserInterface::Icon::kNone);
  }
  void ClearResults() override { run_.results_.StartOver(); }
  void AppendResult(const Record& record) override {
    run_.results_.QueueRow(record.number, WhereFound(record));
  }
  void Yield() override { run_.window_.Yield(); }
  bool IsLengthTicked(std::int16_t digits) override {
    return phone::IsPhoneLengthTicked(run_.lengths_, digits);
  }
  bool IsExcelRunning() override { return run_.excel_running_ && run_.excel_running_(); }
  bool Stopped() override { return run_.window_.Closing(); }

 private:
  ExtractionRun& run_;
};

ExtractionRun::ExtractionRun(WindowServices& window, const InputFileList& inputs,
                             ResultsList& results, const phone::LengthBoxes& lengths)
    : window_(window), inputs_(inputs), results_(results), lengths_(lengths) {}

void ExtractionRun::StartExtraction() {
  if (running_) return;
  running_ = true;
  Host host(*this);
  const bool completed = window_.Statement(location::kRun, 100, [&host] { RunExtraction(host); });
  results_.FlushQueuedRows();
  if (!completed) window_.SetPointer(Pointer::kDefault);
  running_ = false;
}

}  // namespace dialsift::ui
