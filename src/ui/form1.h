// Form1, the main window: the input file list, the results list, the
// phone-length boxes and the eleven push buttons. The window lays the
// controls out, runs the start-up sequence (Form_Load), keeps the pointer
// rules, the error report and the event loop's pacing, and composes the
// parts that own the handlers:
//   InputFileList     ListView1 and its buttons, removal and drops
//   ResultsList       ListView2, its exports and removal
//   PhoneLengthBoxes  Frame1 with the sixteen Check1 boxes, and Help
//   ExtractionRun     "Start Extracting Phone Numbers"
#pragma once

#include <QElapsedTimer>
#include <QWidget>

#include <array>
#include <filesystem>
#include <functional>
#include <memory>
#include <string_view>

#include "extract/phone.h"
#include "ui/extraction_run.h"
#include "ui/input_file_list.h"
#include "ui/layout.h"
#include "ui/length_boxes.h"
#include "ui/report_list.h"
#include "ui/results_list.h"
#include "ui/window_services.h"

class QCheckBox;
class QCursor;
class QGroupBox;
class QPushButton;

namespace dialsift::ui {

inline constexpr std::string_view kExcelNotInstalledMessage =
    "Excel is not installed on this computer. You need to have it installed to use this "
    "software without error.";

// Module Main: puts the window, by its outer size, in the middle of its screen.
void CentreWindow(QWidget& window);

class Form1 final : public QWidget, public WindowServices {
  Q_OBJECT
  Q_PROPERTY(int pointerKind READ PointerKindValue)

 public:
  // What the window asks of the machine, replaceable in tests.
  struct Probes {
    // How the run finds the lock files of workbooks open in a spreadsheet
    // application (empty: in the file system).
    platform::LockFileLister lock_files;
    // True when a workbook reader can be created (the spreadsheet check at start).
    std::function<bool()> reader_available;
    // The E.164 module of the results list's menu (empty: beside the program).
    std::filesystem::path e164_module;
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
  ReportList* ListView1() const { return &inputs_->List(); }
  ReportList* ListView2() const { return &results_->List(); }
  QGroupBox* Frame1() const { return lengths_->Frame(); }
  // Push button n, 1 to 11.
  QPushButton* PushButton(int n) const;
  // Phone-length box `index`, 0 to 15.
  QCheckBox* Check1(int index) const { return lengths_->Box(index); }

  // The parts, each with the handlers of its controls.
  InputFileList& Inputs() { return *inputs_; }
  ResultsList& Results() { return *results_; }
  PhoneLengthBoxes& Lengths() { return *lengths_; }
  ExtractionRun& Run() { return *run_; }

  // WindowServices.
  UserInterface& Ui() override { return ui_; }
  SettingsStore& Settings() override { return settings_; }
  void SetPointer(Pointer pointer) override;
  void Yield() override;
  bool Closing() const override { return closing_; }
  void ShowErrorReport(const ErrorReport& report) override;

  Pointer PointerKind() const { return pointer_; }
  int PointerKindValue() const { return static_cast<int>(pointer_); }
  // The sixteen boxes as the length test reads them, at each call.
  const phone::LengthBoxes& LengthBoxes() const { return *lengths_; }
  // True while a run is going on.
  bool Running() const { return run_->Running(); }
  // Longest time between two event-loop passes during the last run, in ms.
  qint64 LongestYieldGapMs() const { return longest_gap_ms_; }
  // Least time between two event-loop passes of Yield(), in ms (default 15).
  void SetYieldInterval(qint64 ms) { yield_interval_ms_ = ms; }
  // True when HAND-M.CUR was loaded as the pointer picture.
  bool HasPointerPicture() const { return hand_cursor_ != nullptr; }
  // True when the skin beside the program was applied.
  bool Skinned() const { return skinned_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void BuildControls();
  void ConnectHandlers();
  void SetTabOrder();
  void StartExtraction();
  void ApplySkin();
  void LoadHandCursor();
  long long ReadStartCounter() const;
  void RaiseStartCounter();
  void CheckExcelInstalled();
  void ApplyPointerCursor();
  void WatchMouse(QWidget* widget);

  UserInterface& ui_;
  std::filesystem::path beside_;
  SettingsStore settings_;
  Probes probes_;

  std::array<QPushButton*, 11> push_buttons_{};
  std::unique_ptr<InputFileList> inputs_;
  std::unique_ptr<ResultsList> results_;
  std::unique_ptr<PhoneLengthBoxes> lengths_;
  std::unique_ptr<ExtractionRun> run_;
  std::unique_ptr<QCursor> hand_cursor_;

  Pointer pointer_ = Pointer::kDefault;
  bool closing_ = false;
  bool skinned_ = false;
  QElapsedTimer since_yield_;
  qint64 yield_interval_ms_ = 15;
  qint64 longest_gap_ms_ = 0;
};

}  // namespace dialsift::ui
