// The results list (ListView2) and its exports: the text file, the comma
// delimited file, the clipboard copy, clearing and removing rows, the page on
// formatting phone numbers. The run fills it through QueueRow: queued rows
// reach the list at the window's next event-loop pass or message, in order.
#pragma once

#include <QElapsedTimer>

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "extract/record.h"
#include "ui/report_list.h"
#include "ui/window_services.h"

namespace dialsift::ui {

class ResultsList {
 public:
  // `list` is the window's ListView2; `beside` the folder of the files
  // beside the program (the formatting page).
  ResultsList(WindowServices& window, ReportList& list, std::filesystem::path beside);

  ReportList& List() const { return list_; }

  // "Save Results As Text File".
  void SaveResultsAsText();
  // "Save As Comma Delimited".
  void SaveResultsCommaDelimited();
  // "Copy Results To Clipboard".
  void CopyResultsToClipboard();
  // "Clear List" of the results list.
  void ClearResults();
  // "Format Phone Number Results": our page, in the default browser.
  void OpenFormattingPage();
  // A double-click on the list: removes the selected row, quietly.
  void RemoveSelectedRow();

  // The run's side: empty the list (queued rows included), queue a row,
  // and put the queued rows in.
  void StartOver();
  // The row's text is the record's number; its tooltip says where it was found.
  void QueueRow(const Record& record);
  // Puts the queued rows in, now.
  void FlushQueuedRows();
  // The same at an event-loop pass, at most every kRowsInterval ms: each
  // insertion makes the view lay out all its rows again.
  void FlushQueuedRowsPaced();

  static constexpr qint64 kRowsInterval = 30;

 private:
  // The save dialog of both file exports: the chosen path, empty on cancel.
  std::string AskSavePath(std::string_view where);

  WindowServices& window_;
  ReportList& list_;
  std::filesystem::path beside_;
  std::vector<ListRow> queued_;
  // Where the rows being queued come from: one per sheet, shared by its rows.
  std::shared_ptr<const FoundIn> found_in_;
  QElapsedTimer since_flush_;
};

}  // namespace dialsift::ui
