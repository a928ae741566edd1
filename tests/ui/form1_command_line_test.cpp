// The window's command line, end to end: the built program, started with
// paths as the file manager passes them, reports what went onto its list.
#include <gtest/gtest.h>

#include <QProcess>
#include <QProcessEnvironment>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "common/test_paths.h"

namespace dialsift::test {
namespace {

namespace fs = std::filesystem;

struct Report {
  int exit_code = -1;
  std::vector<std::string> lines;
  bool Has(const std::string& line) const {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
  }
};

// Runs the built window in `folder` with DIALSIFT_STARTUP_REPORT set.
Report StartWindow(const fs::path& folder, const QStringList& args) {
  QProcess process;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("DIALSIFT_STARTUP_REPORT", "1");
  env.insert("QT_QPA_PLATFORM", "offscreen");
  env.insert("XDG_CONFIG_HOME", QString::fromStdString((folder / "config").string()));
  process.setProcessEnvironment(env);
  process.setWorkingDirectory(QString::fromStdString(folder.string()));
  process.start(QString::fromStdString((BinDir() / "dialsift").string()), args);
  Report report;
  if (!process.waitForFinished(30000)) return report;
  report.exit_code = process.exitCode();
  for (const QByteArray& line : process.readAllStandardOutput().split('\n'))
    if (!line.isEmpty()) report.lines.push_back(line.toStdString());
  return report;
}

void Touch(const fs::path& file) {
  fs::create_directories(file.parent_path());
  std::ofstream(file) << "x";
}

TEST(WindowCommandLine, PathsGoOntoTheInputListAsIfDropped) {
  TempDir dir;
  const fs::path& d = dir.path();
  Touch(d / "book one.xlsx");
  Touch(d / "tree" / "a.csv");
  Touch(d / "tree" / "~a.csv");  // the folder intake leaves owner files out
  const QString tree_url =
      QStringLiteral("file://") + QString::fromStdString((d / "tree").string());

  const Report report = StartWindow(d, {"book one.xlsx", tree_url, "gone.xls"});
  ASSERT_EQ(report.exit_code, 0);
  // Relative paths are made whole, as a drop gives them; a file:// address is a path.
  std::vector<std::string> rows;
  for (const auto& line : report.lines)
    if (line.rfind("row: ", 0) == 0) rows.push_back(line.substr(5));
  ASSERT_GE(rows.size(), 2u);
  EXPECT_EQ(rows[0], (d / "book one.xlsx").string());
  EXPECT_EQ(rows[1], (d / "tree" / "a.csv").string());
  // Then the samples, pressed in by the report.
  EXPECT_TRUE(report.Has("row: " + (BinDir() / "Samples" / "suppliers.csv").string()));
  EXPECT_FALSE(report.Has("row: " + (d / "tree" / "~a.csv").string()));
  EXPECT_TRUE(report.Has("message: Cannot add \"" + (d / "gone.xls").string() +
                         "\": No such file or directory."));
  EXPECT_TRUE(report.Has("files folder: " + BinDir().string()));
  EXPECT_TRUE(report.Has("hand pointer: loaded"));
}

TEST(WindowCommandLine, HelpAndVersionAnswerWithoutAWindow) {
  QProcess process;
  process.start(QString::fromStdString((BinDir() / "dialsift").string()), {"--version"});
  ASSERT_TRUE(process.waitForFinished(30000));
  EXPECT_EQ(process.exitCode(), 0);
  EXPECT_EQ(process.readAllStandardOutput().trimmed().toStdString(),
            std::string("dialsift ") + DIALSIFT_VERSION);
  process.start(QString::fromStdString((BinDir() / "dialsift").string()), {"--help"});
  ASSERT_TRUE(process.waitForFinished(30000));
  EXPECT_EQ(process.exitCode(), 0);
  EXPECT_NE(process.readAllStandardOutput().indexOf("[PATH...]"), -1);
}

}  // namespace
}  // namespace dialsift::test
