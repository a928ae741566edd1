// The input file list's handlers: adding files by dialog, by folder, by drop
// and from the samples; removing rows; clearing.
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>

#include <stdexcept>

#include "filelist/add_files.h"
#include "filelist/folder_intake.h"
#include "ui/form1.h"

namespace dialsift::ui {

namespace {

// The local files and folders a drag carries, in the order given.
std::vector<std::string> LocalPaths(const QMimeData* data) {
  std::vector<std::string> paths;
  if (data == nullptr || !data->hasUrls()) return paths;
  for (const QUrl& url : data->urls()) {
    if (url.isLocalFile()) paths.push_back(url.toLocalFile().toStdString());
  }
  return paths;
}

}  // namespace

// "Add Excel File(s)".
void Form1::PushButton1_Click() {
  constexpr auto where = location::kPushButton1;
  UserInterface::OpenFilesResult chosen;
  // Lines 100 to 106 set the dialog's file name, flags, title and filter.
  Statement(where, 108,
            [&] { chosen = ui_.OpenFiles(filelist::kAddFilesTitle, filelist::kAddFilesFilter); });
  if (chosen.cancelled()) return;  // 110

  const auto rows = filelist::RowsFromDialog(chosen);
  if (!rows) {
    ui_.Message(filelist::kTooManyFilesMessage, {}, UserInterface::Buttons::kOk,
                UserInterface::Icon::kNone);
    return;
  }
  const int line = chosen.names.empty() ? 118 : 132;
  for (const auto& row : *rows) Statement(where, line, [&] { list_view1_->AppendRow(row); });
}

// "Clear List" of the input file list.
void Form1::PushButton3_Click() {
  Statement(location::kPushButton3, 100, [this] { list_view1_->ClearRows(); });
}

// "Add All Excel File(s) In Folder".
void Form1::PushButton4_Click() {
  constexpr auto where = location::kPushButton4;
  const std::string extension(filelist::kExcelExtension);  // 100
  Statement(where, 104, [&] {
    if (!settings_.Write(filelist::kExtensionKey, extension))
      throw std::runtime_error("The settings file " + settings_.FileName() + " cannot be written.");
  });
  std::string folder;
  Statement(where, 106, [&] { folder = ui_.ChooseFolder(filelist::kChooseFolderTitle); });
  if (folder.empty()) return;  // 108

  SetPointer(Pointer::kBusy);  // 110
  std::vector<std::string> rows;
  Statement(where, 114, [&] {
    rows = filelist::FolderIntake(
        folder, "*." + extension, [this] { Yield(); }, [this] { return closing_; });
  });
  for (const auto& row : rows) Statement(where, 128, [&] { list_view1_->AppendRow(row); });
  SetPointer(Pointer::kDefault);  // 132
}

// "Load Sample/Example Files".
void Form1::PushButton11_Click() {
  constexpr auto where = location::kPushButton11;
  const std::string program_folder = beside_.string();
  std::vector<std::string> rows;
  Statement(where, 100, [&] { rows = filelist::SampleRows(program_folder); });
  for (const auto& row : rows) Statement(where, 104, [&] { list_view1_->AppendRow(row); });

  UserInterface::Answer answer = UserInterface::Answer::kNo;
  Statement(where, 106, [&] {
    answer = ui_.Message(filelist::kOpenSamplesQuestion, {}, UserInterface::Buttons::kYesNo,
                         UserInterface::Icon::kNone);
  });
  if (answer == UserInterface::Answer::kYes) {
    Statement(where, 108, [&] { ui_.OpenWithShell(filelist::SamplesFolder(program_folder)); });
  }
}

// Double-click and Delete remove the selected row; nothing is ever reported.
void Form1::ListView1_DblClick() {
  if (const int row = list_view1_->SelectedRow(); row > 0) list_view1_->RemoveRow(row);
}

void Form1::ListView1_KeyDown(int key, Qt::KeyboardModifiers /*modifiers*/) {
  if (key != Qt::Key_Delete) return;
  if (const int row = list_view1_->SelectedRow(); row > 0) list_view1_->RemoveRow(row);
}

// A drag is welcome only when it carries local files or folders.
void Form1::ListView1_DragEnter(QDragEnterEvent* event) {
  if (LocalPaths(event->mimeData()).empty()) {
    event->setDropAction(Qt::IgnoreAction);
    event->ignore();
  } else {
    event->acceptProposedAction();
  }
}

void Form1::ListView1_DragMove(QDragMoveEvent* event) {
  if (LocalPaths(event->mimeData()).empty()) {
    event->setDropAction(Qt::IgnoreAction);
    event->ignore();
  } else {
    event->acceptProposedAction();
  }
}

// A drop of local files and folders: they are taken in as AddPaths says.
void Form1::ListView1_Drop(QDropEvent* event) {
  const std::vector<std::string> paths = LocalPaths(event->mimeData());
  if (paths.empty()) {
    event->ignore();
    return;
  }
  event->acceptProposedAction();
  AddPaths(paths);
}

// Each path in order: a visible folder is taken in with every file of its
// tree; anything else becomes one row as given. A path that vanished or a
// folder that cannot be read is named in a message, and the others are still
// taken.
void Form1::AddPaths(const std::vector<std::string>& paths) {
  for (const auto& path : paths) {
    if (closing_) return;
    const filelist::DroppedPath dropped = filelist::ExamineDroppedPath(path);
    switch (dropped.kind) {
      case filelist::DroppedPath::Kind::kFolder:
        for (const auto& row : filelist::FolderIntake(
                 path, "*.*", [this] { Yield(); }, [this] { return closing_; }))
          list_view1_->AppendRow(row);
        break;
      case filelist::DroppedPath::Kind::kRow:
        list_view1_->AppendRow(path);
        break;
      case filelist::DroppedPath::Kind::kProblem:
        ui_.Message(filelist::DropProblemText(path, dropped.reason), {},
                    UserInterface::Buttons::kOk, UserInterface::Icon::kWarning);
        break;
    }
  }
}

}  // namespace dialsift::ui
