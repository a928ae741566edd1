// The results list's handlers on the real window: both file exports, the
// clipboard copy, clearing, removal and the formatting page.
#include <QAbstractButton>
#include <QApplication>
#include <QClipboard>
#include <QFileDialog>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "extract/error_report.h"
#include "ui/qt_user_interface.h"
#include "ui/window_fixture.h"

namespace dialsift::test {
namespace {

namespace fs = std::filesystem;
using Answer = UserInterface::Answer;

void Fill(ui::Form1& form, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) form.ListView2()->AppendRow(std::to_string(2125550000 + i));
}

std::string Report(std::string_view description, std::string_view where, int line) {
  return ErrorReportText({std::string(description), where, line});
}

TEST_F(WindowTest, TextAndCommaExportsWriteTheirBytes) {
  ui::Form1& form = Start();
  TempDir out;
  for (const std::size_t n : {0u, 1u, 2u, 40000u}) {
    form.ListView2()->ClearRows();
    Fill(form, n);
    std::string lines, commas;
    for (std::size_t i = 0; i < n; ++i) {
      lines += std::to_string(2125550000 + i) + "\r\n";
      commas += (i ? "," : "") + std::to_string(2125550000 + i);
    }
    const fs::path text = out.path() / ("text" + std::to_string(n) + ".txt");
    const fs::path comma = out.path() / ("comma" + std::to_string(n) + ".txt");
    ui_.save_results = {text.string(), comma.string()};
    form.Results().SaveResultsAsText();
    form.Results().SaveResultsCommaDelimited();
    ASSERT_TRUE(fs::exists(text) && fs::exists(comma)) << n;  // empty lists too: 0 bytes
    EXPECT_EQ(ReadFile(text), lines) << n;
    EXPECT_EQ(ReadFile(comma), commas) << n;
    EXPECT_EQ(form.PointerKind(), Pointer::kArrow);
  }
  EXPECT_TRUE(ui_.messages.empty());  // new files: no question, no report
  EXPECT_EQ(ui_.save_file_names.front(), "output.txt");
  EXPECT_EQ(ui_.dialog_titles.front(), "Save");
  EXPECT_EQ(ui_.dialog_filters.front(), "Text Files (*.txt)|*.txt|All Files (*.*)|*.*|");
}

TEST_F(WindowTest, CancellingTheSaveDialogWritesNothing) {
  ui::Form1& form = Start();
  Fill(form, 2);
  form.SetPointer(Pointer::kHand);
  form.Results().SaveResultsAsText();
  form.Results().SaveResultsCommaDelimited();
  EXPECT_EQ(form.PointerKind(), Pointer::kHand);
  EXPECT_TRUE(ui_.messages.empty());
}

TEST_F(WindowTest, OverwriteIsAskedAndNoKeepsTheFile) {
  ui::Form1& form = Start();
  Fill(form, 2);
  TempDir out;
  const fs::path path = out.path() / "old.txt";
  std::ofstream(path) << "old";
  const std::string question = "Are you sure you wish to overwrite " + path.string() + " ?";

  // Text export: the question comes before the busy pointer; No changes nothing.
  std::vector<Pointer> pointer_at_question;
  ui_.on_message = [&](const auto&) { pointer_at_question.push_back(form.PointerKind()); };
  form.SetPointer(Pointer::kHand);
  ui_.save_results = {path.string(), path.string(), path.string(), path.string()};
  ui_.answers = {Answer::kNo, Answer::kNo, Answer::kYes, Answer::kYes};
  form.Results().SaveResultsAsText();
  EXPECT_EQ(ReadFile(path), "old");
  EXPECT_EQ(form.PointerKind(), Pointer::kHand);
  // Comma export: busy before its question, the arrow after a No.
  form.Results().SaveResultsCommaDelimited();
  EXPECT_EQ(ReadFile(path), "old");
  EXPECT_EQ(form.PointerKind(), Pointer::kArrow);
  form.Results().SaveResultsAsText();
  EXPECT_EQ(ReadFile(path), "2125550000\r\n2125550001\r\n");
  form.Results().SaveResultsCommaDelimited();
  EXPECT_EQ(ReadFile(path), "2125550000,2125550001");

  EXPECT_EQ(ui_.Texts(), std::vector<std::string>(4, question));
  EXPECT_EQ(ui_.messages[0].buttons, UserInterface::Buttons::kYesNo);
  EXPECT_EQ(ui_.messages[0].title, "");
  EXPECT_EQ(pointer_at_question, (std::vector<Pointer>{Pointer::kHand, Pointer::kBusy,
                                                       Pointer::kArrow, Pointer::kBusy}));
}

// The save dialog of the running program with the test's script for
// everything else.
class RealSaveDialog final : public UserInterface {
 public:
  explicit RealSaveDialog(ScriptedUserInterface& script) : script_(script) {}
  void SetOwner(QWidget* owner) { real_.SetOwner(owner); }
  Answer Message(std::string_view text, std::string_view title, Buttons buttons,
                 Icon icon) override {
    return script_.Message(text, title, buttons, icon);
  }
  OpenFilesResult OpenFiles(std::string_view title, std::string_view filter) override {
    return script_.OpenFiles(title, filter);
  }
  std::string SaveFile(std::string_view file_name, std::string_view title,
                       std::string_view filter) override {
    return real_.SaveFile(file_name, title, filter);
  }
  std::string ChooseFolder(std::string_view title) override { return script_.ChooseFolder(title); }
  int ChooseItem(std::string_view title, std::string_view label, std::span<const std::string> items,
                 int current) override {
    return script_.ChooseItem(title, label, items, current);
  }
  std::string OpenWithShell(std::string_view target) override {
    return script_.OpenWithShell(target);
  }

 private:
  ScriptedUserInterface& script_;
  ui::QtUserInterface real_;
};

TEST_F(WindowTest, SavingOverAFileAsksOnlyTheProgramsQuestion) {
  RealSaveDialog dialogs(ui_);
  ui::Form1 form(dialogs, beside_.path());
  dialogs.SetOwner(&form);
  form.Load();
  form.show();
  Fill(form, 2);
  TempDir out;
  const fs::path path = out.path() / "r.txt";
  std::ofstream(path) << "old";

  // Plays the user at the real dialogs: picks the existing file in the save
  // dialog and answers Yes to any box that the dialog itself shows.
  // (Each act is queued: a timer does not fire again inside its own slot.)
  std::vector<std::string> seen;
  QPointer<QFileDialog> answered;
  QTimer user;
  QObject::connect(&user, &QTimer::timeout, [&] {
    QWidget* modal = QApplication::activeModalWidget();
    if (auto* dialog = qobject_cast<QFileDialog*>(modal); dialog && dialog != answered) {
      answered = dialog;
      seen.push_back("save dialog");
      dialog->selectFile(QString::fromStdString(path.string()));
      QTimer::singleShot(0, dialog, [dialog] {
        static_cast<QDialog*>(dialog)->accept();  // as the Save button does
      });
    } else if (auto* box = qobject_cast<QMessageBox*>(modal)) {
      seen.push_back("dialog's box: " + box->text().toStdString());
      QTimer::singleShot(0, box, [box] { box->button(QMessageBox::Yes)->click(); });
    }
  });
  user.start(10);

  ui_.answers = {Answer::kYes};
  form.Results().SaveResultsAsText();
  ui_.answers = {Answer::kYes};
  form.Results().SaveResultsCommaDelimited();
  user.stop();

  EXPECT_EQ(seen, (std::vector<std::string>{"save dialog", "save dialog"}));
  const std::string question = "Are you sure you wish to overwrite " + path.string() + " ?";
  EXPECT_EQ(ui_.Texts(), (std::vector<std::string>{question, question}));
  EXPECT_EQ(ReadFile(path), "2125550000,2125550001");
}

TEST_F(WindowTest, AnUnwritableTargetIsReportedOnceAndKeepsItsContent) {
  ui::Form1& form = Start();
  Fill(form, 3);
  TempDir out;
  const fs::path locked = out.path() / "locked.txt";
  std::ofstream(locked) << "precious";
  fs::permissions(locked, fs::perms::owner_read);
  const fs::path missing = out.path() / "no folder" / "out.txt";

  ui_.save_results = {locked.string(), locked.string(), missing.string(), missing.string()};
  ui_.answers = {Answer::kYes, Answer::kYes};
  form.Results().SaveResultsAsText();
  form.Results().SaveResultsCommaDelimited();
  form.Results().SaveResultsAsText();
  form.Results().SaveResultsCommaDelimited();

  const auto texts = ui_.Texts();
  ASSERT_EQ(texts.size(), 6u);  // two questions, then one report per export
  // Each report names the file that could not be written.
  const std::string denied = locked.string() + ": Permission denied";
  const std::string absent = missing.string() + ": No such file or directory";
  EXPECT_EQ(texts[1], Report(denied, ui::location::kPushButton6, 130));
  EXPECT_EQ(texts[3], Report(denied, ui::location::kPushButton2, 122));
  EXPECT_EQ(texts[4], Report(absent, ui::location::kPushButton6, 130));
  EXPECT_EQ(texts[5], Report(absent, ui::location::kPushButton2, 122));
  EXPECT_EQ(ui_.messages[1].title, "Application Error");
  EXPECT_EQ(ui_.messages[1].icon, UserInterface::Icon::kWarning);
  EXPECT_EQ(ReadFile(locked), "precious");
  EXPECT_FALSE(fs::exists(missing.parent_path()));
  EXPECT_EQ(std::distance(fs::directory_iterator(out.path()), {}), 1);  // no temporary files left
  EXPECT_EQ(form.PointerKind(), Pointer::kArrow);
}

TEST_F(WindowTest, ClipboardCopyTakesEveryRowAndAlwaysConfirms) {
  ui::Form1& form = Start();
  QClipboard* clipboard = QGuiApplication::clipboard();
  clipboard->setText(QStringLiteral("untouched"));
  form.Results()
      .CopyResultsToClipboard();  // empty list: the clipboard stays, the message still comes
  EXPECT_EQ(clipboard->text(), "untouched");

  form.ListView2()->AppendRow("212-555-0147");
  form.ListView2()->AppendRow("(718)555-0134  ");
  form.Results().CopyResultsToClipboard();
  EXPECT_EQ(clipboard->text(), "212-555-0147\r\n(718)555-0134\r\n");
  const std::string message =
      "Results have been copied to the clipboard.\r\rClick a text area where you normally type "
      "and press Ctrl+V to paste the clipboard.";
  EXPECT_EQ(ui_.Texts(), (std::vector<std::string>{message, message}));
  EXPECT_EQ(ui_.messages[0].buttons, UserInterface::Buttons::kOk);
  EXPECT_EQ(ui_.messages[0].icon, UserInterface::Icon::kNone);
}

TEST_F(WindowTest, ResultsClearRemoveAndTheFormattingPage) {
  ui::Form1& form = Start();
  ui::ReportList* list = form.ListView2();
  form.Results().RemoveSelectedRow();  // nothing selected: nothing happens
  Fill(form, 3);
  form.ListView1()->AppendRow("/a.xlsx");
  list->SelectRow(1);
  form.Results().RemoveSelectedRow();
  EXPECT_EQ(list->Rows(), (std::vector<std::string>{"2125550001", "2125550002"}));
  form.Results().ClearResults();
  EXPECT_EQ(list->RowCount(), 0);
  EXPECT_EQ(form.ListView1()->RowCount(), 1);

  form.Results().OpenFormattingPage();
  ASSERT_EQ(ui_.shell_opened.size(), 1u);
  EXPECT_EQ(ui_.shell_opened[0], (beside_.path() / "phone-formatting.html").string());
  EXPECT_TRUE(ui_.messages.empty());
}

}  // namespace
}  // namespace dialsift::test
