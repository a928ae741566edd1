// The input file list's handlers on the real window: the open dialog, the
// folder walk, drops, the samples, removal and clearing.
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>

#include <gmock/gmock.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "ui/window_fixture.h"

namespace dialsift::test {
namespace {

namespace fs = std::filesystem;
using Answer = UserInterface::Answer;

std::vector<std::string> Rows(ui::Form1& form) {
  return form.ListView1()->Rows();
}

void Touch(const fs::path& path) {
  fs::create_directories(path.parent_path());
  std::ofstream(path) << "x";
}

UserInterface::OpenFilesResult Picked(std::string folder, std::vector<std::string> names) {
  UserInterface::OpenFilesResult r;
  r.folder = std::move(folder);
  r.names = std::move(names);
  return r;
}

TEST_F(WindowTest, AddFilesTakesTheDialogsPicksAsRows) {
  ui::Form1& form = Start();
  UserInterface::OpenFilesResult single;
  single.single = "/book.xlsx";
  ui_.open_results = {single, Picked("/", {"b.xls", "a.xlsm"}),
                      Picked("/home/u/data", {"x.xls", "no such file.xls"}), single};
  for (int i = 0; i < 4; ++i) form.Inputs().AddFiles();
  EXPECT_EQ(Rows(form),
            (std::vector<std::string>{"/book.xlsx", "/b.xls", "/a.xlsm", "/home/u/data/x.xls",
                                      "/home/u/data/no such file.xls", "/book.xlsx"}));
  EXPECT_EQ(ui_.dialog_titles.front(), "Add File(s) - Hold Ctrl to select multiple files");
  EXPECT_EQ(ui_.dialog_filters.front(), "Excel Files (*.xls*)|*.xls*|");
  EXPECT_TRUE(ui_.messages.empty());

  form.Inputs().AddFiles();  // cancelled: the script is out of picks
  EXPECT_EQ(Rows(form).size(), 6u);
  EXPECT_TRUE(ui_.messages.empty());
}

TEST_F(WindowTest, AddFilesRefusesASelectionTooLongForTheDialog) {
  ui::Form1& form = Start();
  // Folder, names and their NULs: 10 + 1 + 2999 * (9 + 1) = 30001 characters.
  std::vector<std::string> names(2999, "book.xlsx");
  ui_.open_results = {Picked("/some/path", names)};
  form.Inputs().AddFiles();
  EXPECT_EQ(form.ListView1()->RowCount(), 0);
  ASSERT_EQ(ui_.messages.size(), 1u);
  EXPECT_EQ(ui_.messages[0].text,
            "You've selected too many files to add.\r\rPlease try adding via the \"Add All\" "
            "button.");
  EXPECT_EQ(ui_.messages[0].title, "");
  EXPECT_EQ(ui_.messages[0].buttons, UserInterface::Buttons::kOk);
  EXPECT_EQ(ui_.messages[0].icon, UserInterface::Icon::kNone);

  names.pop_back();  // 29991 characters fit
  ui_.open_results = {Picked("/some/path", names)};
  form.Inputs().AddFiles();
  EXPECT_EQ(form.ListView1()->RowCount(), 2998);
}

TEST_F(WindowTest, DoubleClickAndDeleteRemoveTheSelectedRowOnly) {
  ui::Form1& form = Start();
  ui::ReportList* list = form.ListView1();
  form.Inputs().RemoveSelectedRow();
  form.Inputs().KeyPressed(Qt::Key_Delete);
  for (const char* row : {"a", "b", "c", "d"}) list->AppendRow(row);
  list->SelectRow(2);
  form.Inputs().RemoveSelectedRow();
  EXPECT_EQ(Rows(form), (std::vector<std::string>{"a", "c", "d"}));
  list->SelectRow(3);
  form.Inputs().KeyPressed(Qt::Key_Backspace);
  form.Inputs().KeyPressed(Qt::Key_D);
  EXPECT_EQ(list->RowCount(), 3);
  form.Inputs().KeyPressed(Qt::Key_Delete);
  EXPECT_EQ(Rows(form), (std::vector<std::string>{"a", "c"}));
  EXPECT_TRUE(ui_.messages.empty());

  form.ListView2()->AppendRow("555-0100");
  form.Inputs().ClearInputList();
  EXPECT_EQ(list->RowCount(), 0);
  EXPECT_EQ(form.ListView2()->RowCount(), 1);  // the results keep their own Clear List
  form.Inputs().ClearInputList();
  EXPECT_TRUE(ui_.messages.empty());
}

TEST_F(WindowTest, AddFolderStoresTheExtensionAndTakesTheTreeUnderTheHourglass) {
  ui::Form1& form = Start();
  form.SetPointer(Pointer::kArrow);
  form.Inputs().AddFolder();  // cancelled
  EXPECT_EQ(Stored("Extension"), "xls*");
  EXPECT_EQ(ui_.dialog_titles, (std::vector<std::string>{"Please select folder:"}));
  EXPECT_EQ(form.PointerKind(), Pointer::kArrow);
  EXPECT_EQ(form.ListView1()->RowCount(), 0);

  TempDir tree;
  Touch(tree.path() / "b.xls");
  Touch(tree.path() / "a.csv");
  Touch(tree.path() / "sub" / "c.XLSB");
  Touch(tree.path() / "~$b.xls");
  ui_.folder_results = {tree.path().string()};
  form.Inputs().AddFolder();
  const std::string root = tree.path().string();
  EXPECT_EQ(Rows(form), (std::vector<std::string>{root + "/b.xls", root + "/sub/c.XLSB"}));
  EXPECT_EQ(form.PointerKind(), Pointer::kDefault);
  EXPECT_TRUE(ui_.messages.empty());
}

TEST_F(WindowTest, FoldersTheWalkCannotReadAreReportedAndTheRestIsTaken) {
  ui::Form1& form = Start();
  TempDir tree;
  Touch(tree.path() / "b.xls");
  const std::string deep = MakeTooDeep(tree.path(), "lost.xls");
  ASSERT_FALSE(deep.empty());
  ui_.folder_results = {tree.path().string()};
  form.Inputs().AddFolder();
  EXPECT_EQ(Rows(form), (std::vector<std::string>{tree.path().string() + "/b.xls"}));
  ASSERT_EQ(ui_.messages.size(), 1u);
  EXPECT_EQ(ui_.messages[0].title, "Application Error");
  EXPECT_THAT(ui_.messages[0].text, ::testing::StartsWith("Cannot read \"" + tree.path().string()));
  EXPECT_THAT(
      ui_.messages[0].text,
      ::testing::HasSubstr("File name too long.\r\nin Numtrawl2/19/2015.Form1.PushButton4_Click "
                           "at line 114"));
  EXPECT_EQ(form.PointerKind(), Pointer::kDefault);

  // Dropped, the same tree gives its row and one warning naming the folder.
  ui_.messages.clear();
  form.ListView1()->ClearRows();
  QMimeData mime;
  mime.setUrls({QUrl::fromLocalFile(QString::fromStdString(tree.path().string()))});
  QDropEvent event(QPointF(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  form.Inputs().Dropped(&event);
  EXPECT_EQ(Rows(form), (std::vector<std::string>{tree.path().string() + "/b.xls"}));
  ASSERT_EQ(ui_.messages.size(), 1u);
  EXPECT_THAT(ui_.messages[0].text, ::testing::EndsWith(": File name too long."));
  RemoveTooDeep(tree.path());
}

TEST_F(WindowTest, SamplesPressedTwiceGiveEveryFileTwiceAndOfferTheFolder) {
  ui::Form1& form = Start();
  ui_.answers = {Answer::kNo};
  form.Inputs().AddSampleFiles();  // no Samples folder yet: nothing added, the question still comes
  EXPECT_EQ(form.ListView1()->RowCount(), 0);
  ASSERT_EQ(ui_.messages.size(), 1u);
  EXPECT_EQ(ui_.messages[0].text,
            "Would you like this software to open the folder where these sample files are stored "
            "(so that you can view them before working with them)?");
  EXPECT_EQ(ui_.messages[0].buttons, UserInterface::Buttons::kYesNo);
  EXPECT_TRUE(ui_.shell_opened.empty());

  WriteBeside("Samples/one.xlsx", "x");
  WriteBeside("Samples/~two.csv", "x");
  WriteBeside("Samples/inner/three.xls", "x");
  ui_.answers = {Answer::kNo, Answer::kYes};
  form.Inputs().AddSampleFiles();
  form.Inputs().AddSampleFiles();
  const std::string s = beside_.path().string() + "/Samples/";
  EXPECT_EQ(Rows(form), (std::vector<std::string>{s + "one.xlsx", s + "~two.csv", s + "one.xlsx",
                                                  s + "~two.csv"}));
  EXPECT_EQ(ui_.shell_opened, (std::vector<std::string>{s}));
}

TEST_F(WindowTest, TheRealSamplesBesideTheProgramLoad) {
  ui_.answers = {Answer::kNo};
  ui::Form1 form(ui_, BinDir());
  form.Inputs().AddSampleFiles();
  const auto rows = form.ListView1()->Rows();
  const std::string s = (BinDir() / "Samples").string() + "/";
  for (const char* name :
       {"contacts.ods", "contacts.xls", "contacts.xlsx", "orders.xlsm", "suppliers.csv"})
    EXPECT_NE(std::find(rows.begin(), rows.end(), s + name), rows.end()) << name;
}

// A drop of `urls` on the input list, as the window gets it.
struct Drop {
  explicit Drop(const QList<QUrl>& urls, const QString& text = {}) {
    if (!urls.isEmpty()) mime.setUrls(urls);
    if (!text.isEmpty()) mime.setText(text);
  }
  QMimeData mime;
};

QUrl Local(const fs::path& path) {
  return QUrl::fromLocalFile(QString::fromStdString(path));
}

TEST_F(WindowTest, DropsTakeFilesAsGivenAndFoldersThroughTheIntake) {
  ui::Form1& form = Start();
  TempDir dir;
  const fs::path& d = dir.path();
  Touch(d / "notes.txt");
  Touch(d / "tree" / "a.csv");
  Touch(d / "tree" / "~lock.xls");
  Touch(d / "tree" / "deep" / "b.xlsx");
  Touch(d / "other" / "c.ods");
  Touch(d / ".hidden-folder" / "inside.xls");
  Drop drop({Local(d / "notes.txt"), Local(d / "tree"), Local(d / "gone.xls"),
             Local(d / ".hidden-folder"), Local(d / "other")});

  QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &drop.mime, Qt::LeftButton, Qt::NoModifier);
  form.Inputs().DragEntered(&enter);
  EXPECT_TRUE(enter.isAccepted());

  QDropEvent event(QPointF(5, 5), Qt::CopyAction, &drop.mime, Qt::LeftButton, Qt::NoModifier);
  form.Inputs().Dropped(&event);
  const std::string r = d.string();
  EXPECT_EQ(Rows(form),
            (std::vector<std::string>{r + "/notes.txt", r + "/tree/a.csv", r + "/tree/deep/b.xlsx",
                                      r + "/.hidden-folder", r + "/other/c.ods"}));
  ASSERT_EQ(ui_.messages.size(), 1u);
  EXPECT_EQ(ui_.messages[0].text, "Cannot add \"" + r + "/gone.xls\": No such file or directory.");
}

TEST_F(WindowTest, DropsTakeACopyEvenWhenTheFileManagerProposesAMove) {
  ui::Form1& form = Start();
  TempDir dir;
  Touch(dir.path() / "a.xlsx");
  Drop drop({Local(dir.path() / "a.xlsx")});
  const Qt::DropActions offered = Qt::CopyAction | Qt::MoveAction;
  // Shift asks a file manager to move.
  QDragEnterEvent enter(QPoint(5, 5), offered, &drop.mime, Qt::LeftButton, Qt::ShiftModifier);
  ASSERT_EQ(enter.proposedAction(), Qt::MoveAction);
  form.Inputs().DragEntered(&enter);
  EXPECT_TRUE(enter.isAccepted());
  EXPECT_EQ(enter.dropAction(), Qt::CopyAction);
  QDragMoveEvent over(QPoint(6, 6), offered, &drop.mime, Qt::LeftButton, Qt::ShiftModifier);
  form.Inputs().DragMoved(&over);
  EXPECT_EQ(over.dropAction(), Qt::CopyAction);
  QDropEvent event(QPointF(6, 6), offered, &drop.mime, Qt::LeftButton, Qt::ShiftModifier);
  form.Inputs().Dropped(&event);
  EXPECT_TRUE(event.isAccepted());
  EXPECT_EQ(event.dropAction(), Qt::CopyAction);
  EXPECT_EQ(Rows(form), std::vector<std::string>{(dir.path() / "a.xlsx").string()});

  // A drag that can only move is refused: taking it would delete the source.
  QDropEvent move_only(QPointF(6, 6), Qt::MoveAction, &drop.mime, Qt::LeftButton, Qt::NoModifier);
  form.Inputs().Dropped(&move_only);
  EXPECT_FALSE(move_only.isAccepted());
  EXPECT_EQ(Rows(form).size(), 1u);
}

TEST_F(WindowTest, ADragOfTextIsRefused) {
  ui::Form1& form = Start();
  Drop drop({}, QStringLiteral("/etc/passwd"));
  QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &drop.mime, Qt::LeftButton, Qt::NoModifier);
  enter.accept();
  form.Inputs().DragEntered(&enter);
  EXPECT_FALSE(enter.isAccepted());
  EXPECT_EQ(enter.dropAction(), Qt::IgnoreAction);
  QDropEvent event(QPointF(5, 5), Qt::CopyAction, &drop.mime, Qt::LeftButton, Qt::NoModifier);
  form.Inputs().Dropped(&event);
  EXPECT_EQ(form.ListView1()->RowCount(), 0);

  Drop web({QUrl(QStringLiteral("https://example.com/book.xlsx"))});
  QDragEnterEvent web_enter(QPoint(5, 5), Qt::CopyAction, &web.mime, Qt::LeftButton,
                            Qt::NoModifier);
  form.Inputs().DragEntered(&web_enter);
  EXPECT_FALSE(web_enter.isAccepted());
}

}  // namespace
}  // namespace dialsift::test
