#include "ui/results_list.h"

#include <QClipboard>
#include <QGuiApplication>

#include "platform/file_attributes.h"
#include "results/export.h"

namespace dialsift::ui {

namespace {

// The name of our page on formatting phone numbers, beside the program.
constexpr std::string_view kFormattingPage = "phone-formatting.html";

// CopyListToClipboard: every row of the list, each followed by CR LF. A list
// without rows leaves the clipboard alone.
void CopyListToClipboard(const ReportList& list, const results::YieldFn& yield) {
  const std::vector<std::string> rows = list.Rows();
  if (rows.empty()) return;
  const std::string text = results::ClipboardText(rows, yield);
  QClipboard* clipboard = QGuiApplication::clipboard();
  clipboard->clear();
  clipboard->setText(QString::fromStdString(text));
}

}  // namespace

ResultsList::ResultsList(WindowServices& window, ReportList& list, std::filesystem::path beside)
    : window_(window), list_(list), beside_(std::move(beside)) {}

std::string ResultsList::AskSavePath(std::string_view where) {
  std::string path;
  // Statements 106 to 112 set the dialog's file name, flags, title and filter.
  window_.Statement(where, 114, [&] {
    path = window_.Ui().SaveFile(results::kSaveFileName, results::kSaveTitle, results::kSaveFilter);
  });
  return path;  // 116
}

void ResultsList::SaveResultsAsText() {
  constexpr auto where = location::kPushButton6;
  const std::string path = AskSavePath(where);
  if (path.empty()) return;  // 118

  UserInterface::Answer answer = UserInterface::Answer::kYes;  // 124
  if (platform::FileExists(path)) {                            // 120
    window_.Statement(where, 122, [&] {
      answer = window_.Ui().Message(results::OverwriteQuestion(path), {},
                                    UserInterface::Buttons::kYesNo, UserInterface::Icon::kNone);
    });
  }
  if (answer != UserInterface::Answer::kYes) return;  // 126

  window_.SetPointer(Pointer::kBusy);  // 128
  const std::vector<std::string> rows = list_.Rows();
  if (const auto failure =
          results::WriteRows(path, rows, results::Layout::kLines, [this] { window_.Yield(); })) {
    using Step = results::WriteFailure::Step;
    const int line = failure->step == Step::kOpen ? 130 : failure->step == Step::kWrite ? 136 : 140;
    window_.ShowErrorReport({path + ": " + failure->description, where, line});
  }
  window_.SetPointer(Pointer::kArrow);  // 142
}

void ResultsList::SaveResultsCommaDelimited() {
  constexpr auto where = location::kPushButton2;
  const std::string path = AskSavePath(where);
  if (path.empty()) return;  // 118

  window_.SetPointer(Pointer::kBusy);  // 120
  const std::vector<std::string> rows = list_.Rows();
  if (const Status status =
          results::SaveListCommaDelimited(rows, path, window_.Ui(), [this] { window_.Yield(); });
      !status) {
    window_.ShowErrorReport({path + ": " + status.error().reason, where, 122});
  }
  window_.SetPointer(Pointer::kArrow);  // 124
}

void ResultsList::CopyResultsToClipboard() {
  constexpr auto where = location::kPushButton8;
  window_.Statement(where, 106,
                    [this] { CopyListToClipboard(list_, [this] { window_.Yield(); }); });
  window_.Statement(where, 108, [this] {
    window_.Ui().Message(results::kCopiedMessage, {}, UserInterface::Buttons::kOk,
                         UserInterface::Icon::kNone);
  });
}

void ResultsList::ClearResults() {
  window_.Statement(location::kPushButton9, 100, [this] { list_.ClearRows(); });
}

void ResultsList::OpenFormattingPage() {
  window_.Statement(location::kPushButton10, 100,
                    [this] { window_.Ui().OpenWithShell((beside_ / kFormattingPage).string()); });
}

void ResultsList::RemoveSelectedRow() {
  if (const int row = list_.SelectedRow(); row > 0) list_.RemoveRow(row);
}

void ResultsList::StartOver() {
  queued_.clear();
  found_in_.reset();
  since_flush_.invalidate();  // the run's first rows show at once
  list_.ClearRows();
}

void ResultsList::QueueRow(const Record& record) {
  if (!found_in_ || found_in_->sheet != record.sheet || found_in_->path != record.path)
    found_in_ = std::make_shared<const FoundIn>(FoundIn{record.path, record.sheet});
  queued_.push_back({record.number, found_in_, record.row, record.column});
}

void ResultsList::FlushQueuedRows() {
  list_.AppendRows(queued_);
  since_flush_.start();
}

void ResultsList::FlushQueuedRowsPaced() {
  if (queued_.empty()) return;
  if (since_flush_.isValid() && since_flush_.elapsed() < kRowsInterval) return;
  FlushQueuedRows();
}

}  // namespace dialsift::ui
