// The phone-length selection: Frame1 with the sixteen Check1 boxes "5" to
// "20", and right of "12" and "20" the box "with spaces" (numbers written
// with spaces, off at the first start). Each change is stored at once; the
// start-up ticks the first-start lengths or restores the stored states; the
// length test reads the boxes at each call. "Help" explains the lengths.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "extract/phone.h"
#include "ui/window_services.h"

class QCheckBox;
class QGroupBox;
class QWidget;

namespace dialsift::ui {

class PhoneLengthBoxes final : public phone::LengthBoxes {
 public:
  // Builds Frame1 and its boxes inside `window`, as laid out.
  PhoneLengthBoxes(WindowServices& services, QWidget& window);

  QGroupBox* Frame() const { return frame_; }
  // Box `index`, 0 to 15; nullptr outside.
  QCheckBox* Box(int index) const;
  // The box "with spaces".
  QCheckBox* SpacedBox() const { return spaced_; }
  // Whether numbers written with spaces are read: the box's state now.
  bool IsSpacedTicked() const;

  // The length test's view: the boxes' states and captions now.
  int State(int index) const override;
  std::string Caption(int index) const override;

  // The length test (IsPhoneLengthTicked over the boxes), answered from a
  // table that is worked out again after any box changes: a run asks it
  // for every candidate word. The captions never change.
  bool IsTicked(std::int16_t n) const;

  // Ticks box `index` (the first-start lengths); stored like a click.
  void Tick(int index);
  // Sets box `index` to its stored state (0 when nothing is stored). Throws
  // when the store holds a number that is not a box state.
  void Restore(int index);
  // Sets the box "with spaces" to its stored state, the same way.
  void RestoreSpaced();
  // "Help": what ticking lengths does.
  void ShowHelp();

 private:
  // Every change of a box is stored at once.
  void StoreState(int index);
  void Store(std::string_view key, int state);

  WindowServices& services_;
  QGroupBox* frame_ = nullptr;
  std::array<QCheckBox*, 16> boxes_{};
  QCheckBox* spaced_ = nullptr;
  bool store_failure_shown_ = false;
  // The length test's answers for 0 to 20 digits, while valid.
  mutable std::array<bool, 21> ticked_{};
  mutable bool ticked_valid_ = false;
};

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

inline constexpr std::string_view kSpacedCaption = "with\nspaces";
inline constexpr std::string_view kSpacedTip =
    "Also read numbers written with spaces inside a cell as whole numbers:\n"
    "\"+44 20 7946 0958\" or \"(212) 555-0147\" instead of \"7946\", \"0958\" or "
    "\"555-0147\".\nLabels (Tel, Fax) and extensions (x204) end a number.";

}  // namespace dialsift::ui
