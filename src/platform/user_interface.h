// Everything the window's handlers say to the user or ask of the desktop goes
// through this one interface: message boxes, the file and folder dialogs, and
// the shell's open operation. The program uses the Qt implementation; tests
// use a scripted one.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace dialsift {

class UserInterface {
 public:
  enum class Buttons { kOk, kYesNo };
  enum class Icon { kNone, kWarning };
  enum class Answer { kOk, kYes, kNo };

  // What the multi-select open dialog returned: the folder and the names the
  // user picked in it, or just `folder` empty when the user cancelled. A
  // single pick comes back as one full path in `single`.
  struct OpenFilesResult {
    std::string single;              // one file chosen: its full path
    std::string folder;              // several files: their folder...
    std::vector<std::string> names;  // ...and their names, in dialog order
    bool cancelled() const { return single.empty() && names.empty(); }
  };

  virtual ~UserInterface() = default;

  // A message box. `title` empty means the program's title.
  virtual Answer Message(std::string_view text, std::string_view title, Buttons buttons,
                         Icon icon) = 0;
  // The multi-select open dialog.
  virtual OpenFilesResult OpenFiles(std::string_view title, std::string_view filter) = 0;
  // The save dialog; the chosen path, or empty when cancelled.
  virtual std::string SaveFile(std::string_view file_name, std::string_view title,
                               std::string_view filter) = 0;
  // The folder browser; the chosen folder, or empty when cancelled.
  virtual std::string ChooseFolder(std::string_view title) = 0;
  // A pick from a list: the index of the item chosen, or -1 when cancelled.
  // `current` is the item shown chosen at first (-1 for none).
  virtual int ChooseItem(std::string_view title, std::string_view label,
                         std::span<const std::string> items, int current) = 0;
  // Opens a file, folder or web address with its associated program. Empty
  // when the desktop took it, else why it could not (the file is gone, no
  // program opens its type...).
  virtual std::string OpenWithShell(std::string_view target) = 0;
};

}  // namespace dialsift
