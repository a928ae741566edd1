// What the parts of the main window (the input file list, the results list,
// the phone-length boxes, the run) need from the window they sit in: the
// user interface, the settings store, the pointer, the event loop and the
// error report. The window provides it; the parts never see each other's
// widgets or the window's members.
#pragma once

#include <exception>
#include <string_view>
#include <utility>

#include "extract/error_report.h"
#include "extract/run.h"
#include "platform/qt/settings_store.h"
#include "platform/user_interface.h"

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

class WindowServices {
 public:
  virtual ~WindowServices() = default;

  // Message boxes, dialogs and the shell.
  virtual UserInterface& Ui() = 0;
  // The per-user settings store.
  virtual SettingsStore& Settings() = 0;
  // The window's mouse pointer (0, 1, 11, 99).
  virtual void SetPointer(Pointer pointer) = 0;
  // Lets the window process pending events (rate-limited); long loops call
  // it per item.
  virtual void Yield() = 0;
  // True once the window is closing: long loops stop at their next Yield.
  virtual bool Closing() const = 0;
  // The "Application Error" box.
  virtual void ShowErrorReport(const ErrorReport& report) = 0;

  // Runs one numbered statement; a failure (an exception) shows the error
  // report and returns false, and the handler goes on.
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

  // The same for the test of a conditional: a failing test counts as
  // holding (returns true).
  template <class Fn>
  bool Test(std::string_view where, int line, Fn&& fn) {
    bool holds = true;
    Statement(where, line, [&] { holds = static_cast<bool>(std::forward<Fn>(fn)()); });
    return holds;
  }
};

}  // namespace dialsift::ui
