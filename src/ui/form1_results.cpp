// The results list's handlers: the exports, the clipboard copy, clearing,
// the formatting page and removing rows.
#include <QClipboard>
#include <QGuiApplication>

#include "platform/file_attributes.h"
#include "results/export.h"
#include "ui/form1.h"

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

// The save dialog of both file exports: the chosen path, empty on cancel.
std::string AskSavePath(Form1& form, std::string_view where) {
  std::string path;
  // Statements 106 to 112 set the dialog's file name, flags, title and filter.
  form.Statement(where, 114, [&] {
    path = form.Ui().SaveFile(results::kSaveFileName, results::kSaveTitle, results::kSaveFilter);
  });
  return path;  // 116
}

}  // namespace

// "Save Results As Text File".
void Form1::PushButton6_Click() {
  constexpr auto where = location::kPushButton6;
  const std::string path = AskSavePath(*this, where);
  if (path.empty()) return;  // 118

  UserInterface::Answer answer = UserInterface::Answer::kYes;  // 124
  if (platform::FileExists(path)) {                            // 120
    Statement(where, 122, [&] {
      answer = ui_.Message(results::OverwriteQuestion(path), {}, UserInterface::Buttons::kYesNo,
                           UserInterface::Icon::kNone);
    });
  }
  if (answer != UserInterface::Answer::kYes) return;  // 126

  SetPointer(Pointer::kBusy);  // 128
  const std::vector<std::string> rows = list_view2_->Rows();
  if (const auto failure =
          results::WriteRows(path, rows, results::Layout::kLines, [this] { Yield(); })) {
    using Step = results::WriteFailure::Step;
    const int line = failure->step == Step::kOpen ? 130 : failure->step == Step::kWrite ? 136 : 140;
    ShowErrorReport({failure->description, where, line});
  }
  SetPointer(Pointer::kArrow);  // 142
}

// "Save As Comma Delimited".
void Form1::PushButton2_Click() {
  constexpr auto where = location::kPushButton2;
  const std::string path = AskSavePath(*this, where);
  if (path.empty()) return;  // 118

  SetPointer(Pointer::kBusy);  // 120
  const std::vector<std::string> rows = list_view2_->Rows();
  if (const Status status = results::SaveListCommaDelimited(rows, path, ui_, [this] { Yield(); });
      !status) {
    ShowErrorReport({status.error().reason, where, 122});
  }
  SetPointer(Pointer::kArrow);  // 124
}

// "Copy Results To Clipboard".
void Form1::PushButton8_Click() {
  constexpr auto where = location::kPushButton8;
  Statement(where, 106, [this] { CopyListToClipboard(*list_view2_, [this] { Yield(); }); });
  Statement(where, 108, [this] {
    ui_.Message(results::kCopiedMessage, {}, UserInterface::Buttons::kOk,
                UserInterface::Icon::kNone);
  });
}

// "Clear List" of the results list.
void Form1::PushButton9_Click() {
  Statement(location::kPushButton9, 100, [this] { list_view2_->ClearRows(); });
}

// "Format Phone Number Results": our page, in the default browser.
void Form1::PushButton10_Click() {
  Statement(location::kPushButton10, 100,
            [this] { ui_.OpenWithShell((beside_ / kFormattingPage).string()); });
}

void Form1::ListView2_DblClick() {
  if (const int row = list_view2_->SelectedRow(); row > 0) list_view2_->RemoveRow(row);
}

}  // namespace dialsift::ui
