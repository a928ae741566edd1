// The UserInterface of the running program: Qt message boxes, file dialogs
// and the desktop's open operation, all owned by the main window.
#pragma once

#include <QPointer>
#include <QWidget>

#include "platform/user_interface.h"

namespace dialsift::ui {

class QtUserInterface final : public UserInterface {
 public:
  // Dialogs and boxes are owned by `owner` (may be set later).
  explicit QtUserInterface(QWidget* owner = nullptr) : owner_(owner) {}
  void SetOwner(QWidget* owner) { owner_ = owner; }

  Answer Message(std::string_view text, std::string_view title, Buttons buttons,
                 Icon icon) override;
  OpenFilesResult OpenFiles(std::string_view title, std::string_view filter) override;
  std::string SaveFile(std::string_view file_name, std::string_view title,
                       std::string_view filter) override;
  std::string ChooseFolder(std::string_view title) override;
  void OpenWithShell(std::string_view target) override;

 private:
  QPointer<QWidget> owner_;
};

// Message text for display: every CR LF, lone CR or lone LF becomes one line break.
QString DisplayText(std::string_view text);
// A filter of "description|pattern|description|pattern|" pairs as Qt writes it:
// "description (pattern);;...". A description that already names its pattern
// in parentheses is kept as it is.
QString DialogFilter(std::string_view filter);

}  // namespace dialsift::ui
