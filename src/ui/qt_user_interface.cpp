#include "ui/qt_user_interface.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QMessageBox>
#include <QMimeDatabase>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

#include <algorithm>

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

int QtUserInterface::ChooseItem(std::string_view title, std::string_view label,
                                std::span<const std::string> items, int current) {
  QStringList texts;
  for (const std::string& item : items) texts << Q(item);
  bool ok = false;
  const QString chosen = QInputDialog::getItem(owner_.data(), Q(title), Q(label), texts,
                                               std::max(current, 0), false, &ok);
  if (!ok) return -1;
  return static_cast<int>(texts.indexOf(chosen));
}

namespace {

// The desktop's default program for a MIME type, from xdg-mime (xdg-utils,
// which QDesktopServices's opening uses too): "" for none, nullopt when it
// cannot be asked.
std::optional<QString> XdgDefaultProgram(const QString& mime_type) {
  const QString xdg_mime = QStandardPaths::findExecutable(QStringLiteral("xdg-mime"));
  if (xdg_mime.isEmpty()) return std::nullopt;
  QProcess query;
  query.start(xdg_mime, {QStringLiteral("query"), QStringLiteral("default"), mime_type});
  if (!query.waitForFinished(5000) || query.exitStatus() != QProcess::NormalExit) {
    query.kill();
    query.waitForFinished(1000);
    return std::nullopt;
  }
  return QString::fromLocal8Bit(query.readAllStandardOutput()).trimmed();
}

}  // namespace

QString ShellOpenProblem(
    const QString& path,
    const std::function<std::optional<QString>(const QString& mime_type)>& default_program) {
  const QFileInfo info(path);
  if (!info.exists()) return QStringLiteral("it is no longer there.");
  const QMimeType type = QMimeDatabase().mimeTypeForFile(info);
  const std::optional<QString> program = default_program(type.name());
  if (program && program->isEmpty()) {
    return QStringLiteral("no program is set to open files of the type %1 (%2).")
        .arg(type.comment(), type.name());
  }
  return {};
}

std::string QtUserInterface::OpenWithShell(std::string_view target) {
  const QString text = Q(target);
  const bool local = QFileInfo(text).isAbsolute();
  if (local) {
    const QString problem = ShellOpenProblem(text, XdgDefaultProgram);
    if (!problem.isEmpty()) return problem.toStdString();
  }
  const QUrl url = local ? QUrl::fromLocalFile(text) : QUrl::fromUserInput(text);
  if (!QDesktopServices::openUrl(url))
    return "the desktop has no program to open it with (xdg-open could not be started).";
  return {};
}

}  // namespace dialsift::ui
