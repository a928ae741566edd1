// Form1, the main window: the input file list, the results list, the
// phone-length boxes and the eleven push buttons, with every handler of the
// program.
//
// The handlers live in several files by subject:
//   form1.cpp           layout, start-up (Form_Load), pointer rules, the error
//                       report, the phone-length boxes, Help, the run (PushButton7)
//   form1_filelist.cpp  the input file list's buttons, removal and drops
//   form1_results.cpp   the results list's buttons and removal
//
// Services for handlers (all on the window's thread):
//   ListView1() / ListView2()  the two lists; see ReportList for the row
//                              accessors (AppendRow, RowCount, RowText(1-based),
//                              Rows, RemoveRow, ClearRows, SelectedRow)
//   Ui()                       message boxes, dialogs and the shell
//   BesideDir()                the folder of the files beside the program
//   Settings()                 the per-user settings store
//   SetPointer / PointerKind   the window's mouse pointer (0, 1, 11, 99)
//   Statement(location, line, fn)
//                              runs one numbered statement; a failure (an
//                              exception) shows the "Application Error" box
//                              and returns false, and the handler goes on
//   Test(location, line, fn)   the same for the test of a conditional: a
//                              failing test counts as holding (returns true)
//   Yield()                    lets the window process pending events
//                              (rate-limited); long loops call it per item
//   Closing()                  true once the window is closing: long loops
//                              stop at their next Yield
#pragma once

#include <QElapsedTimer>
#include <QWidget>

#include <array>
#include <exception>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

#include "extract/error_report.h"
#include "extract/phone.h"
#include "extract/run.h"
#include "platform/settings.h"
#include "platform/user_interface.h"
#include "ui/report_list.h"

class QCheckBox;
class QCursor;
class QDragEnterEvent;
class QDragMoveEvent;
class QDropEvent;
class QGroupBox;
class QPushButton;

namespace dialsift::ui {

// Location texts of the window's handlers for the error report.
namespace location {
using dialsift::location::kFormLoad;
using dialsift::location::kRun;
inline constexpr std::string_view kPushButton1 = "in Numtrawl2/19/2015.Form1.PushButton1_Click ";
inline constexpr std::string_view kPushButton2 = "in Numtrawl2/19/2015.Form1.PushButton2_Click ";
inline constexpr std::string_view kPushButton3 = "in Numtrawl2/19/2015.Form1.PushButton3_Click ";
inline constexpr std::string_view kPushButton4 = "in Numtrawl2/19/2015.Form1.PushButton4_Click ";
inline constexpr std::string_view kPushButton5 = "in Numtrawl2/19/2015.Form1.PushButton5_Click ";
inline constexpr std::string_view kPushButton6 = "in Numtrawl2/19/2015.Form1.PushButton6_Click ";
inline constexpr std::string_view kPushButton8 = "in Numtrawl2/19/2015.Form1.PushButton8_Click ";
inline constexpr std::string_view kPushButton9 = "in Numtrawl2/19/2015.Form1.PushButton9_Click ";
inline constexpr std::string_view kPushButton10 = "in Numtrawl2/19/2015.Form1.PushButton10_Click ";
inline constexpr std::string_view kPushButton11 = "in Numtrawl2/19/2015.Form1.PushButton11_Click ";
}  // namespace location

inline constexpr std::string_view kExcelNotInstalledMessage =
    "Excel is not installed on this computer. You need to have it installed to use this "
    "software without error.";
inline constexpr std::string_view kHelpMessage =
    "If your Excel file contains:\r"
    "\r"
    "855-2880 (TTY)\r"
    "355-650-5551 (Voice)\r"
    "\r"
    "and you check 7 and 10, then the output will read:\r"
    "\r"
    "8552880\r"
    "3556505551\r"
    "\r"
    "In my opinion, the American default lengths would be 7 and 10.";

// Module Main: true when the file system can tell the path's modification time.
bool FileExists(const std::filesystem::path& path);
// Module Main: puts the window, by its outer size, in the middle of its screen.
void CentreWindow(QWidget& window);

// Pixels from twips (15 twips per pixel).
constexpr int Twips(int twips) {
  return (twips * 2 + 15) / 30;
}

class Form1 final : public QWidget {
  Q_OBJECT
  Q_PROPERTY(int pointerKind READ PointerKindValue)

 public:
  // What the window asks of the machine, replaceable in tests.
  struct Probes {
    // True when a spreadsheet application runs for this user.
    std::function<bool()> excel_running;
    // True when a workbook reader can be created (the spreadsheet check at start).
    std::function<bool()> reader_available;
  };

  // `ui` must outlive the window. `beside` is the folder of the files beside
  // the program (cursor, skin, samples). Builds the controls as laid out;
  // Load() runs the start-up sequence.
  Form1(UserInterface& ui, std::filesystem::path beside, QWidget* parent = nullptr);
  ~Form1() override;

  void SetProbes(Probes probes);
  // The start-up sequence (Form_Load); run once, before show().
  void Load();

  // Controls.
  ReportList* ListView1() const { return list_view1_; }
  ReportList* ListView2() const { return list_view2_; }
  QGroupBox* Frame1() const { return frame1_; }
  // Push button n, 1 to 11.
  QPushButton* PushButton(int n) const;
  // Phone-length box `index`, 0 to 15.
  QCheckBox* Check1(int index) const;

  // Services for handlers (see the file comment).
  UserInterface& Ui() { return ui_; }
  const std::filesystem::path& BesideDir() const { return beside_; }
  SettingsStore& Settings() { return settings_; }
  void SetPointer(Pointer pointer);
  Pointer PointerKind() const { return pointer_; }
  int PointerKindValue() const { return static_cast<int>(pointer_); }
  bool Closing() const { return closing_; }
  void Yield();
  void ShowErrorReport(const ErrorReport& report);

  template <class Fn>
  bool Statement(std::string_view where, int line, Fn&& fn) {
    try {
      std::forward<Fn>(fn)();
      return true;
    } catch (const std::exception& e) {
      ShowErrorReport({e.what(), where, line});
    } catch (...) {
      ShowErrorReport({"Unknown error", where, line});
    }
    return false;
  }

  template <class Fn>
  bool Test(std::string_view where, int line, Fn&& fn) {
    bool holds = true;
    Statement(where, line, [&] { holds = static_cast<bool>(std::forward<Fn>(fn)()); });
    return holds;
  }

  // The sixteen boxes as the length test reads them, at each call.
  const phone::LengthBoxes& LengthBoxes() const;
  // True while PushButton7's run is going on.
  bool Running() const { return running_; }
  // Longest time between two event-loop passes during the last run, in ms.
  qint64 LongestYieldGapMs() const { return longest_gap_ms_; }
  // Least time between two event-loop passes of Yield(), in ms (default 15).
  void SetYieldInterval(qint64 ms) { yield_interval_ms_ = ms; }
  // True when HAND-M.CUR was loaded as the pointer picture.
  bool HasPointerPicture() const;
  // True when the skin beside the program was applied.
  bool Skinned() const { return skinned_; }

 public slots:
  // Input file list (form1_filelist.cpp).
  void PushButton1_Click();
  void PushButton3_Click();
  void PushButton4_Click();
  void PushButton11_Click();
  void ListView1_DblClick();
  void ListView1_KeyDown(int key, Qt::KeyboardModifiers modifiers);
  void ListView1_DragEnter(QDragEnterEvent* event);
  void ListView1_DragMove(QDragMoveEvent* event);
  void ListView1_Drop(QDropEvent* event);
  // The files and folders of a drop, or of the program's command line.
  void AddPaths(const std::vector<std::string>& paths);
  // Results list (form1_results.cpp).
  void PushButton6_Click();
  void PushButton2_Click();
  void PushButton8_Click();
  void PushButton9_Click();
  void PushButton10_Click();
  void ListView2_DblClick();
  // This window (form1.cpp).
  void PushButton5_Click();
  void PushButton7_Click();
  void Check1_Click(int index);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  class Boxes;
  class WindowRun;

  void BuildControls();
  void SetTabOrder();
  void ApplySkin();
  void LoadHandCursor();
  long long ReadStartCounter() const;
  void RaiseStartCounter();
  void RestoreBox(int index);
  void CheckExcelInstalled();
  void ApplyPointerCursor();
  void WatchMouse(QWidget* widget);

  UserInterface& ui_;
  std::filesystem::path beside_;
  SettingsStore settings_;
  Probes probes_;

  ReportList* list_view1_ = nullptr;
  ReportList* list_view2_ = nullptr;
  QGroupBox* frame1_ = nullptr;
  std::array<QPushButton*, 11> push_buttons_{};
  std::array<QCheckBox*, 16> check1_{};
  std::unique_ptr<Boxes> boxes_;
  std::unique_ptr<QCursor> hand_cursor_;

  Pointer pointer_ = Pointer::kDefault;
  bool closing_ = false;
  bool running_ = false;
  bool skinned_ = false;
  bool store_failure_shown_ = false;
  QElapsedTimer since_yield_;
  qint64 yield_interval_ms_ = 15;
  // Results of the run not yet in ListView2: they go in before every event-loop
  // pass and every message, so nobody sees the list without them.
  std::vector<std::string> pending_results_;
  void FlushResults();
  qint64 longest_gap_ms_ = 0;
};

}  // namespace dialsift::ui
