#include "ui/extraction_run.h"

#include <QWidget>

namespace dialsift::ui {

namespace {
QString ProgressCaption(std::size_t workbook, std::size_t total) {
  return QStringLiteral("%1 \u2014 %2 of %3 workbooks")
      .arg(QString::fromUtf8(kProgramTitle.data(), static_cast<qsizetype>(kProgramTitle.size())))
      .arg(workbook)
      .arg(total);
}
}  // namespace

// The run's view of the window: the lists, the pointer, the boxes and the
// event loop. Queued results and held progress go up before every message,
// so nobody sees the window behind the run.
class ExtractionRun::Host final : public RunHost {
 public:
  explicit Host(ExtractionRun& run) : run_(run) {}
  void Report(const ErrorReport& report) override {
    run_.ShowHeldProgress(true);
    run_.services_.ShowErrorReport(report);
  }
  std::vector<std::string> InputRows() override { return run_.inputs_.Rows(); }
  void SetPointer(Pointer pointer) override { run_.services_.SetPointer(pointer); }
  bool AskYesNo(std::string_view text) override {
    BeforeMessage();
    return run_.services_.Ui().Message(text, {}, UserInterface::Buttons::kYesNo,
                                       UserInterface::Icon::kNone) == UserInterface::Answer::kYes;
  }
  void ShowMessage(std::string_view text) override {
    BeforeMessage();
    run_.services_.Ui().Message(text, {}, UserInterface::Buttons::kOk, UserInterface::Icon::kNone);
  }
  void ClearResults() override { run_.results_.StartOver(); }
  void AppendResult(const Record& record) override { run_.results_.QueueRow(record); }
  void Yield() override { run_.services_.Yield(); }
  bool IsLengthTicked(std::int16_t digits) override { return run_.lengths_.IsTicked(digits); }
  bool IsSpacedTicked() override { return run_.lengths_.IsSpacedTicked(); }
  // A workbook of the list open in a spreadsheet application has a lock
  // file beside it; we never drive one, so a running one is no reason to ask.
  bool IsExcelRunning() override {
    const std::vector<std::string> rows = run_.inputs_.Rows();
    return run_.lock_files_ ? platform::AnyWorkbookOpen(rows, run_.lock_files_)
                            : platform::AnyWorkbookOpen(rows);
  }
  void Progress(std::size_t workbook, std::size_t total) override {
    run_.Progress(workbook, total);
  }
  bool Stopped() override { return run_.services_.Closing(); }
  unsigned ReadingThreads() override { return run_.reading_threads_; }

 private:
  void BeforeMessage() {
    run_.results_.FlushQueuedRows();
    run_.ShowHeldProgress(true);
  }

  ExtractionRun& run_;
};

ExtractionRun::ExtractionRun(WindowServices& services, QWidget& window, const InputFileList& inputs,
                             ResultsList& results, const PhoneLengthBoxes& lengths)
    : services_(services), window_(window), inputs_(inputs), results_(results), lengths_(lengths) {}

void ExtractionRun::StartExtraction() {
  if (running_) return;
  running_ = true;
  since_caption_.invalidate();
  Host host(*this);
  const bool completed = services_.Statement(location::kRun, 100, [&host] { RunExtraction(host); });
  results_.FlushQueuedRows();
  if (!completed) services_.SetPointer(Pointer::kDefault);
  held_caption_.clear();
  window_.setWindowTitle(
      QString::fromUtf8(kProgramTitle.data(), static_cast<qsizetype>(kProgramTitle.size())));
  running_ = false;
}

void ExtractionRun::Progress(std::size_t workbook, std::size_t total) {
  held_caption_ = ProgressCaption(workbook, total);
  ShowHeldProgress();
}

void ExtractionRun::ShowHeldProgress(bool now) {
  if (held_caption_.isEmpty()) return;
  if (!now && since_caption_.isValid() && since_caption_.elapsed() < kCaptionInterval) return;
  window_.setWindowTitle(held_caption_);
  held_caption_.clear();
  since_caption_.start();
}

}  // namespace dialsift::ui
