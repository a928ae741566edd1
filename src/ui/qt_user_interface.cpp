#include "ui/qt_user_interface.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QUrl>

#include "extract/error_report.h"

namespace dialsift::ui {

namespace {
QString Q(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}
}  // namespace

QString DisplayText(std::string_view text) {
  QString out = Q(text);
  out.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  out.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  return out;
}

QString DialogFilter(std::string_view filter) {
  const QStringList parts = Q(filter).split(QLatin1Char('|'));
  QStringList entries;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    const QString& description = parts[i];
    const QString& pattern = parts[i + 1];
    if (description.isEmpty() && pattern.isEmpty()) continue;
    const QString patterns = QString(pattern).replace(QLatin1Char(';'), QLatin1Char(' '));
    if (description.contains(QLatin1Char('(') + pattern + QLatin1Char(')')))
      entries << description;
    else
      entries << description + QStringLiteral(" (") + patterns + QLatin1Char(')');
  }
  return entries.join(QStringLiteral(";;"));
}

UserInterface::Answer QtUserInterface::Message(std::string_view text, std::string_view title,
                                               Buttons buttons, Icon icon) {
  QMessageBox box(owner_.data());
  box.setWindowTitle(Q(title.empty() ? kProgramTitle : title));
  box.setText(DisplayText(text));
  box.setTextFormat(Qt::PlainText);
  box.setIcon(icon == Icon::kWarning ? QMessageBox::Warning : QMessageBox::NoIcon);
  if (buttons == Buttons::kYesNo) {
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
    box.setDefaultButton(QMessageBox::Yes);
    return box.exec() == QMessageBox::Yes ? Answer::kYes : Answer::kNo;
  }
  box.setStandardButtons(QMessageBox::Ok);
  box.exec();
  return Answer::kOk;
}

UserInterface::OpenFilesResult QtUserInterface::OpenFiles(std::string_view title,
                                                          std::string_view filter) {
  const QStringList files =
      QFileDialog::getOpenFileNames(owner_.data(), Q(title), QString(), DialogFilter(filter));
  OpenFilesResult result;
  if (files.isEmpty()) return result;
  if (files.size() == 1) {
    result.single = QDir::toNativeSeparators(files.front()).toStdString();
    return result;
  }
  result.folder = QDir::toNativeSeparators(QFileInfo(files.front()).absolutePath()).toStdString();
  for (const QString& file : files)
    result.names.push_back(QFileInfo(file).fileName().toStdString());
  return result;
}

std::string QtUserInterface::SaveFile(std::string_view file_name, std::string_view title,
                                      std::string_view filter) {
  // The program asks its own overwrite question; the dialog must not ask first.
  const QString chosen =
      QFileDialog::getSaveFileName(owner_.data(), Q(title), Q(file_name), DialogFilter(filter),
                                   nullptr, QFileDialog::DontConfirmOverwrite);
  return QDir::toNativeSeparators(chosen).toStdString();
}

std::string QtUserInterface::ChooseFolder(std::string_view title) {
  const QString chosen = QFileDialog::getExistingDirectory(owner_.data(), Q(title));
  return QDir::toNativeSeparators(chosen).toStdString();
}

void QtUserInterface::OpenWithShell(std::string_view target) {
  const QString text = Q(target);
  const QUrl url = QFileInfo::exists(text) ? QUrl::fromLocalFile(text) : QUrl::fromUserInput(text);
  QDesktopServices::openUrl(url);
}

}  // namespace dialsift::ui
