#include "ui/input_file_list.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>

#include <stdexcept>

#include "filelist/add_files.h"
#include "filelist/folder_intake.h"

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

// A drag is welcome only when it carries local files or folders. The list
// only reads their paths, so it takes a copy (or a link), never a move: a
// file manager then never deletes the source. A drag offering neither is
// refused.
bool TakeAsCopy(QDropEvent* event) {
  if (!LocalPaths(event->mimeData()).empty()) {
    for (const Qt::DropAction action : {Qt::CopyAction, Qt::LinkAction}) {
      if (event->possibleActions() & action) {
        event->setDropAction(action);
        event->accept();
        return true;
      }
    }
  }
  event->setDropAction(Qt::IgnoreAction);
  event->ignore();
  return false;
}

}  // namespace

InputFileList::InputFileList(WindowServices& window, ReportList& list, std::filesystem::path beside)
    : window_(window), list_(list), beside_(std::move(beside)) {}

void InputFileList::AddFiles() {
  constexpr auto where = location::kPushButton1;
  UserInterface::OpenFilesResult chosen;
  // Lines 100 to 106 set the dialog's file name, flags, title and filter.
  window_.Statement(where, 108, [&] {
    chosen = window_.Ui().OpenFiles(filelist::kAddFilesTitle, filelist::kAddFilesFilter);
  });
  if (chosen.cancelled()) return;  // 110

  const auto rows = filelist::RowsFromDialog(chosen);
  if (!rows) {
    window_.Ui().Message(filelist::kTooManyFilesMessage, {}, UserInterface::Buttons::kOk,
                         UserInterface::Icon::kNone);
    return;
  }
  const int line = chosen.names.empty() ? 118 : 132;
  for (const auto& row : *rows) window_.Statement(where, line, [&] { list_.AppendRow(row); });
}

void InputFileList::ClearInputList() {
  window_.Statement(location::kPushButton3, 100, [this] { list_.ClearRows(); });
}

void InputFileList::AddFolder() {
  constexpr auto where = location::kPushButton4;
  const std::string extension(filelist::kExcelExtension);  // 100
  window_.Statement(where, 104, [&] {
    SettingsStore& settings = window_.Settings();
    if (!settings.Write(filelist::kExtensionKey, extension))
      throw std::runtime_error("The settings file " + settings.FileName() + " cannot be written.");
  });
  std::string folder;
  window_.Statement(where, 106,
                    [&] { folder = window_.Ui().ChooseFolder(filelist::kChooseFolderTitle); });
  if (folder.empty()) return;  // 108

  window_.SetPointer(Pointer::kBusy);  // 110
  filelist::Intake intake;
  window_.Statement(where, 114, [&] {
    intake = filelist::FolderIntake(
        folder, "*." + extension, [this] { window_.Yield(); },
        [this] { return window_.Closing(); });
    // Folders the walk could not read are named; the files found elsewhere
    // are still added.
    if (!intake.problems.empty())
      throw std::runtime_error(filelist::WalkProblemsText(intake.problems));
  });
  for (const auto& row : intake.rows) window_.Statement(where, 128, [&] { list_.AppendRow(row); });
  window_.SetPointer(Pointer::kDefault);  // 132
}

void InputFileList::AddSampleFiles() {
  constexpr auto where = location::kPushButton11;
  const std::string program_folder = beside_.string();
  std::vector<std::string> rows;
  window_.Statement(where, 100, [&] { rows = filelist::SampleRows(program_folder); });
  for (const auto& row : rows) window_.Statement(where, 104, [&] { list_.AppendRow(row); });

  UserInterface::Answer answer = UserInterface::Answer::kNo;
  window_.Statement(where, 106, [&] {
    answer = window_.Ui().Message(filelist::kOpenSamplesQuestion, {},
                                  UserInterface::Buttons::kYesNo, UserInterface::Icon::kNone);
  });
  if (answer == UserInterface::Answer::kYes) {
    window_.Statement(where, 108,
                      [&] { window_.Ui().OpenWithShell(filelist::SamplesFolder(program_folder)); });
  }
}

// Double-click and Delete remove the selected row; nothing is ever reported.
void InputFileList::RemoveSelectedRow() {
  if (const int row = list_.SelectedRow(); row > 0) list_.RemoveRow(row);
}

void InputFileList::KeyPressed(int key) {
  if (key == Qt::Key_Delete) RemoveSelectedRow();
}

void InputFileList::DragEntered(QDragEnterEvent* event) {
  TakeAsCopy(event);
}

void InputFileList::DragMoved(QDragMoveEvent* event) {
  TakeAsCopy(event);
}

// A drop of local files and folders: taken in as AddPaths says.
void InputFileList::Dropped(QDropEvent* event) {
  if (!TakeAsCopy(event)) return;
  const std::vector<std::string> paths = LocalPaths(event->mimeData());
  AddPaths(paths);
}

// Each path in order: a visible folder is taken in with every file of its
// tree; anything else becomes one row as given. A path that vanished or a
// folder that cannot be read is named in a message, and the others are still
// taken.
void InputFileList::AddPaths(const std::vector<std::string>& paths) {
  for (const auto& path : paths) {
    if (window_.Closing()) return;
    const filelist::DroppedPath dropped = filelist::ExamineDroppedPath(path);
    switch (dropped.kind) {
      case filelist::DroppedPath::Kind::kFolder: {
        const filelist::Intake intake = filelist::FolderIntake(
            path, "*.*", [this] { window_.Yield(); }, [this] { return window_.Closing(); });
        for (const auto& row : intake.rows) list_.AppendRow(row);
        if (!intake.problems.empty() && !window_.Closing()) {
          window_.Ui().Message(filelist::WalkProblemsText(intake.problems), {},
                               UserInterface::Buttons::kOk, UserInterface::Icon::kWarning);
        }
        break;
      }
      case filelist::DroppedPath::Kind::kRow:
        list_.AppendRow(path);
        break;
      case filelist::DroppedPath::Kind::kProblem:
        window_.Ui().Message(filelist::DropProblemText(path, dropped.reason), {},
                             UserInterface::Buttons::kOk, UserInterface::Icon::kWarning);
        break;
    }
  }
}

}  // namespace dialsift::ui
