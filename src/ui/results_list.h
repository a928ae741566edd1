// The results list (ListView2) and its exports: the text file, the comma
// delimited file, the clipboard copy, clearing and removing rows, the page on
// formatting phone numbers. The run fills it through QueueRow: queued rows
// reach the list at the window's next event-loop pass or message, in order.
//
// Its context menu gives the rows with where they were found and their
// E.164 form (copied, or saved as the CLI's csv), opens a row's workbook or
// its folder, and sets the region that numbers without a country code are
// read in. The E.164 module is loaded the first time a form is needed.
#pragma once

#include <QElapsedTimer>
#include <QPoint>

#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "extract/record.h"
#include "results/e164.h"
#include "ui/report_list.h"
#include "ui/window_services.h"

class QMenu;

namespace dialsift::ui {

namespace location {
inline constexpr std::string_view kSaveWithSource =
    "in Numtrawl2/19/2015.Form1.mnuSaveWithSource_Click ";
}  // namespace location

// The settings key of the region for numbers without a country code.
inline constexpr std::string_view kRegionKey = "Region";

// The context menu's entries.
inline constexpr std::string_view kMenuCopyWithSource = "Copy with Source";
inline constexpr std::string_view kMenuSaveWithSource = "Save with Source As CSV...";
inline constexpr std::string_view kMenuOpenWorkbook = "Open Workbook";
inline constexpr std::string_view kMenuShowInFolder = "Show in Folder";
inline constexpr std::string_view kMenuRegion = "Region for numbers without a country code...";

// The region of the user's locale (its territory, "DE" for de_DE), "US" when
// the locale names none.
std::string LocaleRegion();

// The tab-separated lines "Copy with Source" puts on the clipboard: number,
// E.164 form, workbook, sheet and cell, CR LF after each. `e164` gives the
// forms (none: that column stays empty). Tabs and line breaks inside a field
// become blanks, so each field stays one spreadsheet cell.
std::string SourceLines(std::span<const ListRow> rows, const results::E164* e164);

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

  // The context menu for row `row` (1 = top; 0: none under the pointer).
  std::unique_ptr<QMenu> MakeContextMenu(int row);
  void ShowContextMenu(QPoint global, int row);
  // "Copy with Source": the selected rows, or every row when none is.
  void CopyWithSource();
  // "Save with Source As CSV...": every row, as dialsift-cli --format csv
  // --e164 REGION writes them.
  void SaveWithSourceAsCsv();
  // "Open Workbook" and "Show in Folder" for row `row`.
  void OpenWorkbook(int row);
  void ShowInFolder(int row);
  // "Region for numbers without a country code...".
  void ChooseRegion();
  // The region in use: the stored one, else the locale's.
  std::string Region() const;
  // Where the E.164 module is loaded from (empty: beside the program).
  void SetE164ModulePath(std::filesystem::path path) { e164_module_path_ = std::move(path); }

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
  // The reading of the current region; none, after saying why, when the
  // module cannot be loaded or does not know the region.
  const results::E164* Numbering();
  // Opens `target` with the shell; a failure is shown with `what`.
  void OpenOrSay(const std::string& target, std::string_view what);

  WindowServices& window_;
  ReportList& list_;
  std::filesystem::path beside_;
  std::vector<ListRow> queued_;
  // Where the rows being queued come from: one per sheet, shared by its rows.
  std::shared_ptr<const FoundIn> found_in_;
  QElapsedTimer since_flush_;
  std::filesystem::path e164_module_path_;
  std::optional<results::E164Module> e164_module_;
  std::optional<results::E164> e164_;  // for e164_region_
  std::string e164_region_;
};

}  // namespace dialsift::ui
