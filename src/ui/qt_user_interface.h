// The UserInterface of the running program: Qt message boxes, file dialogs
// and the desktop's open operation, all owned by the main window.
#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>

#include <functional>
#include <optional>
#include <span>
#include <string>

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
  int ChooseItem(std::string_view title, std::string_view label, std::span<const std::string> items,
                 int current) override;
  std::string OpenWithShell(std::string_view target) override;

 private:
  QPointer<QWidget> owner_;
};

// Why the desktop cannot open local file or folder `path` (empty when it
// can, as far as can be told beforehand): it is gone, or no program is set
// to open its type. `default_program` answers the desktop's default program
// for a MIME type ("" for none, nullopt when it cannot be asked).
QString ShellOpenProblem(
    const QString& path,
    const std::function<std::optional<QString>(const QString& mime_type)>& default_program);

// Message text for display: every CR LF, lone CR or lone LF becomes one line break.
QString DisplayText(std::string_view text);
// A filter of "description|pattern|description|pattern|" pairs as Qt writes it:
// "description (pattern);;...". A description that already names its pattern
// in parentheses is kept as it is.
QString DialogFilter(std::string_view filter);

}  // namespace dialsift::ui
