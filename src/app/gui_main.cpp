// The desktop program: the main window, started and left to the user.
// Workbooks and folders named on the command line (the file manager's "Open
// With" passes them so) go onto the input list as if dropped on it.
#include <QApplication>
#include <QCommandLineParser>
#include <QFileInfo>
#include <QTimer>
#include <QUrl>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <span>
#include <string>
#include <vector>

#include "platform/heap.h"
#include "platform/program_files.h"
#include "platform/time_zone.h"
#include "ui/form1.h"
#include "ui/qt_user_interface.h"

namespace {

using namespace dialsift;

// The user interface of a start-up report: every message and question is
// written out instead of shown, and every question and dialog is declined.
class ReportingUserInterface final : public UserInterface {
 public:
  Answer Message(std::string_view text, std::string_view, Buttons buttons, Icon) override {
    const bool question = buttons == Buttons::kYesNo;
    std::cout << (question ? "question: " : "message: ") << text << '\n';
    return question ? Answer::kNo : Answer::kOk;
  }
  OpenFilesResult OpenFiles(std::string_view, std::string_view) override { return {}; }
  std::string SaveFile(std::string_view, std::string_view, std::string_view) override { return {}; }
  std::string ChooseFolder(std::string_view) override { return {}; }
  int ChooseItem(std::string_view, std::string_view, std::span<const std::string>, int) override {
    return -1;
  }
  std::string OpenWithShell(std::string_view target) override {
    std::cout << "open: " << target << '\n';
    return {};
  }
};

// The command line, read before any window exists: --help, --version and a
// mistake are answered without a display, as the CLI answers them.
void SetUpCommandLine(QCommandLineParser& parser) {
  parser.setApplicationDescription(
      QStringLiteral("Gathers the phone numbers of many spreadsheet workbooks: the window."));
  parser.addHelpOption();
  parser.addOption(
      QCommandLineOption({QStringLiteral("V"), QStringLiteral("v"), QStringLiteral("version")},
                         QStringLiteral("Displays version information.")));
  parser.addPositionalArgument(
      QStringLiteral("PATH"),
      QStringLiteral("A workbook or folder to put on the input list, as if dropped on it."),
      QStringLiteral("[PATH...]"));
}

// Answers --help and --version on a bare core application, which needs no
// display, and ends the program; returns when the window is wanted. Anything
// else, mistakes included, is read again once the window's application has
// taken its own options (-platform, -style...).
void AnswerWithoutWindow(int argc, char** argv, QCommandLineParser& parser) {
  QStringList arguments;
  for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
  parser.parse(arguments);
  if (!parser.isSet(QStringLiteral("help")) && !parser.isSet(QStringLiteral("version"))) return;
  QCoreApplication core(argc, argv);
  QCoreApplication::setApplicationVersion(QStringLiteral(DIALSIFT_VERSION));
  if (parser.isSet(QStringLiteral("help"))) parser.showHelp(0);
  std::cout << QCoreApplication::applicationName().toStdString() << " " << DIALSIFT_VERSION << "\n";
  std::exit(std::cout.flush() ? 0 : 1);
}

// With DIALSIFT_STARTUP_REPORT set, the window is not shown: it starts up,
// takes the command line's paths, presses "Load Sample/Example Files", writes
// what it found and quits. Checks of an installed program use it.
int StartupReport(const std::filesystem::path& files_folder,
                  const std::vector<std::string>& paths) {
  ReportingUserInterface ui;
  ui::Form1 form(ui, files_folder);
  form.Load();
  form.Inputs().AddPaths(paths);
  form.Inputs().AddSampleFiles();
  std::cout << "files folder: " << files_folder.string() << '\n'
            << "hand pointer: " << (form.HasPointerPicture() ? "loaded" : "missing") << '\n';
  for (const std::string& row : form.ListView1()->Rows()) std::cout << "row: " << row << '\n';
  return std::cout.flush() ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  dialsift::platform::PinLocalTimeZone();
  dialsift::platform::KeepFreedMemoryForReuse();
  QCommandLineParser parser;
  SetUpCommandLine(parser);
  AnswerWithoutWindow(argc, argv, parser);

  QApplication app(argc, argv);
  QApplication::setApplicationVersion(QStringLiteral(DIALSIFT_VERSION));
  // The menu entry's name: desktops match the running window to it.
  QGuiApplication::setDesktopFileName(QStringLiteral("example.quillmark.Dialsift"));
  parser.process(app);

  std::vector<std::string> paths;
  for (const QString& arg : parser.positionalArguments()) {
    const QUrl url(arg);  // a launcher may pass file:// addresses
    const QString path = url.isLocalFile() ? url.toLocalFile() : arg;
    paths.push_back(QFileInfo(path).absoluteFilePath().toStdString());
  }

  const std::filesystem::path files_folder =
      ProgramFilesFolder(QCoreApplication::applicationDirPath().toStdString());
  if (qEnvironmentVariableIsSet("DIALSIFT_STARTUP_REPORT"))
    return StartupReport(files_folder, paths);

  ui::QtUserInterface ui;
  ui::Form1 form(ui, files_folder);
  ui.SetOwner(&form);
  form.Load();
  form.show();
  // Taken in once the window shows, so that a message about a path has its
  // window and a large folder fills the list while the window answers.
  if (!paths.empty())
    QTimer::singleShot(0, &form, [&form, &paths] { form.Inputs().AddPaths(paths); });
  return QApplication::exec();
}
