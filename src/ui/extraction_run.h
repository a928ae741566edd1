// The run behind "Start Extracting Phone Numbers": the input file list's
// workbooks read ahead on reading threads and handed on one by one, their
// numbers into the results list. While it
// goes, the window's caption tells where it is ("Dialsift — 120 of 330
// workbooks"), at most ten times a second.
#pragma once

#include <QElapsedTimer>
#include <QString>

#include <cstddef>

#include "extract/phone.h"
#include "platform/open_workbooks.h"
#include "ui/input_file_list.h"
#include "ui/length_boxes.h"
#include "ui/results_list.h"
#include "ui/window_services.h"

class QWidget;

namespace dialsift::ui {

class ExtractionRun {
 public:
  // `window` is the widget whose caption shows the progress.
  ExtractionRun(WindowServices& services, QWidget& window, const InputFileList& inputs,
                ResultsList& results, const PhoneLengthBoxes& lengths);

  // How the run finds the lock files of open workbooks (empty: on disk).
  void SetLockFileLister(platform::LockFileLister lister) { lock_files_ = std::move(lister); }
  // Threads that read workbooks ahead during a run; 0 (the default): one per core.
  void SetReadingThreads(unsigned threads) { reading_threads_ = threads; }

  // "Start Extracting Phone Numbers". A press while a run is going on is
  // ignored (the press arrives during one of the run's yields).
  void StartExtraction();
  // True while a run is going on.
  bool Running() const { return running_; }
  // Puts a progress caption held back by the rate limit up, once its time
  // has come (or at once when `now`).
  void ShowHeldProgress(bool now = false);

  // Least time between two progress captions, in ms.
  static constexpr qint64 kCaptionInterval = 100;

 private:
  class Host;

  void Progress(std::size_t workbook, std::size_t total);

  WindowServices& services_;
  QWidget& window_;
  const InputFileList& inputs_;
  ResultsList& results_;
  const PhoneLengthBoxes& lengths_;
  platform::LockFileLister lock_files_;
  unsigned reading_threads_ = 0;
  bool running_ = false;
  QString held_caption_;
  QElapsedTimer since_caption_;
};

}  // namespace dialsift::ui
