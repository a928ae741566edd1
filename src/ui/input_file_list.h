// The input file list (ListView1) and what the user does with it: add files
// by the open dialog, a whole folder tree, dropped files and folders or the
// sample workbooks; remove one row; clear it.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "ui/report_list.h"
#include "ui/window_services.h"

class QDragEnterEvent;
class QDragMoveEvent;
class QDropEvent;

namespace dialsift::ui {

class InputFileList {
 public:
  // `list` is the window's ListView1; `beside` the folder of the files
  // beside the program (the samples).
  InputFileList(WindowServices& window, ReportList& list, std::filesystem::path beside);

  ReportList& List() const { return list_; }
  // The rows as they stand now, top to bottom.
  std::vector<std::string> Rows() const { return list_.Rows(); }

  // "Add Excel File(s)": the multi-select open dialog.
  void AddFiles();
  // "Clear List" of the input file list.
  void ClearInputList();
  // "Add All Excel File(s) In Folder": every workbook of a folder tree.
  void AddFolder();
  // "Load Sample/Example Files".
  void AddSampleFiles();
  // A double-click on the list: removes the selected row, quietly.
  void RemoveSelectedRow();
  // A key pressed on the list: Delete removes the selected row.
  void KeyPressed(int key);
  // Drag and drop of files and folders from a file manager.
  void DragEntered(QDragEnterEvent* event);
  void DragMoved(QDragMoveEvent* event);
  void Dropped(QDropEvent* event);
  // The files and folders of a drop, or of the program's command line.
  void AddPaths(const std::vector<std::string>& paths);

 private:
  WindowServices& window_;
  ReportList& list_;
  std::filesystem::path beside_;
};

}  // namespace dialsift::ui
