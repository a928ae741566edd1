// The start-up sequence: the start counter, first start against restore, the
// skin, the hand cursor and the spreadsheet check.
#include <QCheckBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QPushButton>

#include "ui/window_fixture.h"

namespace dialsift::test {
namespace {

std::vector<int> Ticked(const ui::Form1& form) {
  std::vector<int> lengths;
  for (int i = 0; i < 16; ++i)
    if (form.Check1(i)->checkState() == Qt::Checked) lengths.push_back(i + 5);
  return lengths;
}

std::string ReportAt(int line) {
  return std::string(ui::location::kFormLoad) + "at line " + std::to_string(line) + "\r\r";
}

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

TEST_F(WindowTest, FirstStartTicksTenAndElevenThenLaterStartsRestore) {
  ui::Form1& form = Start();
  EXPECT_TRUE(ui_.messages.empty());
  EXPECT_EQ(Stored("Loads"), "1");
  EXPECT_EQ(Ticked(form), (std::vector<int>{10, 11}));
  EXPECT_EQ(Stored("5Phone Length"), "1");
  EXPECT_EQ(Stored("6Phone Length"), "1");
  EXPECT_EQ(Stored("0Phone Length"), std::nullopt);
  EXPECT_EQ(form.windowTitle(), "Dialsift");
  EXPECT_FALSE(form.windowIcon().isNull());
  EXPECT_EQ(form.ListView1()->model()->headerData(0, Qt::Horizontal).toString(), "Excel File(s)");
  EXPECT_EQ(form.ListView2()->model()->headerData(0, Qt::Horizontal).toString(), "Results");
  EXPECT_EQ(form.ListView1()->columnWidth(0), 467);
  EXPECT_EQ(form.ListView2()->header()->count(), 1);

  // Every change is stored at once.
  form_->Check1(15)->click();
  form_->Check1(5)->click();
  EXPECT_EQ(Stored("15Phone Length"), "1");
  EXPECT_EQ(Stored("5Phone Length"), "0");

  Restart();
  EXPECT_TRUE(ui_.messages.empty());
  EXPECT_EQ(Stored("Loads"), "2");
  EXPECT_EQ(Ticked(*form_), (std::vector<int>{11, 20}));
  EXPECT_TRUE(phone::IsPhoneLengthTicked(form_->LengthBoxes(), 20));
  EXPECT_FALSE(phone::IsPhoneLengthTicked(form_->LengthBoxes(), 10));
}

// "with spaces": off at the first start and nothing stored, then stored at
// each change and restored as the length boxes are; beside "12" and "20".
TEST_F(WindowTest, TheSpacedBoxIsOffAtFirstThenStoredAndRestored) {
  ui::Form1& form = Start();
  QCheckBox* box = form.Lengths().SpacedBox();
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(box->parentWidget(), form.Frame1());
  EXPECT_GT(box->geometry().left(), form.Check1(7)->geometry().right());
  EXPECT_LE(box->geometry().right(), form.Frame1()->width());
  EXPECT_LE(box->geometry().top(), form.Check1(7)->geometry().top());
  EXPECT_GE(box->geometry().bottom(), form.Check1(15)->geometry().bottom());
  EXPECT_TRUE(box->toolTip().contains("+44 20 7946 0958"));
  EXPECT_EQ(box->checkState(), Qt::Unchecked);
  EXPECT_FALSE(form.Lengths().IsSpacedTicked());
  EXPECT_EQ(Stored("Phone With Spaces"), std::nullopt);

  box->click();
  EXPECT_TRUE(form.Lengths().IsSpacedTicked());
  EXPECT_EQ(Stored("Phone With Spaces"), "1");
  Restart();
  EXPECT_TRUE(form_->Lengths().IsSpacedTicked());
  EXPECT_EQ(Ticked(*form_), (std::vector<int>{10, 11}));
  form_->Lengths().SpacedBox()->click();
  EXPECT_EQ(Stored("Phone With Spaces"), "0");
  Restart();
  EXPECT_FALSE(form_->Lengths().IsSpacedTicked());

  // Read as a box's value is; a number that is no state is reported at 144.
  for (const auto& [text, ticked] :
       std::vector<std::pair<std::string, bool>>{{" 1", true}, {"1 ", true}, {"x", false}}) {
    Store("Phone With Spaces", text);
    Restart();
    EXPECT_EQ(form_->Lengths().IsSpacedTicked(), ticked) << text;
    EXPECT_TRUE(ui_.messages.empty()) << text;
  }
  Store("Phone With Spaces", "7");
  Restart();
  ASSERT_EQ(ui_.messages.size(), 1u);
  EXPECT_TRUE(Contains(ui_.messages[0].text, ReportAt(144))) << ui_.messages[0].text;
  EXPECT_FALSE(form_->Lengths().IsSpacedTicked());
}

// The run asks the boxes at every word through a table of answers; whatever
// changes a box (a click, code, the third state) must show in it at once.
TEST_F(WindowTest, TheLengthTableFollowsEveryChangeOfTheBoxes) {
  ui::Form1& form = Start();  // 10 and 11 ticked
  const auto agrees = [&form](const char* after) {
    for (int n = -1; n <= 22; ++n) {
      const auto digits = static_cast<std::int16_t>(n);
      EXPECT_EQ(form.Lengths().IsTicked(digits),
                phone::IsPhoneLengthTicked(form.LengthBoxes(), digits))
          << n << " digits, after " << after;
    }
  };
  agrees("the start");
  form.Check1(2)->click();
  agrees("ticking 7");
  form.Check1(5)->click();
  agrees("unticking 10");
  form.Check1(15)->setCheckState(Qt::Checked);
  agrees("code ticking 20");
  form.Check1(6)->setCheckState(Qt::PartiallyChecked);
  agrees("11 in the third state");
  EXPECT_FALSE(form.Lengths().IsTicked(11));
  EXPECT_TRUE(form.Lengths().IsTicked(7));
  EXPECT_TRUE(form.Lengths().IsTicked(20));
}

TEST_F(WindowTest, RestoreReadsTheLeadingNumberOfEachStoredValue) {
  Store("Loads", "7");
  Store("0Phone Length", " 1");
  Store("1Phone Length", "1 ");
  Store("2Phone Length", "x");
  Store("3Phone Length", "0.5");  // half to even: 0
  Store("4Phone Length", "1.4");
  Store("7Phone Length", "");
  Store("8Phone Length", "1abc");
  Store("9Phone Length", "1.5");  // 2: not a box state
  ui::Form1& form = Start();
  EXPECT_EQ(Stored("Loads"), "8");
  EXPECT_EQ(Ticked(form), (std::vector<int>{5, 6, 9, 13}));
  ASSERT_EQ(ui_.messages.size(), 1u);
  EXPECT_TRUE(Contains(ui_.messages[0].text, ReportAt(144)));
  EXPECT_TRUE(Contains(ui_.messages[0].text, "9Phone Length"));
  // A restored box stores its state back; an unchanged one keeps its text.
  EXPECT_EQ(Stored("1Phone Length"), "1");
  EXPECT_EQ(Stored("2Phone Length"), "x");
}

TEST_F(WindowTest, AStoreWithoutLengthsLeavesEveryBoxUnticked) {
  Store("Loads", "3");
  ui::Form1& form = Start();
  EXPECT_TRUE(Ticked(form).empty());
  EXPECT_TRUE(ui_.messages.empty());
}

TEST_F(WindowTest, LoadsThatIsNotANumberIsReportedTwiceAndStartsAsFirst) {
  for (const char* bad : {"abc", "", "12x"}) {
    SCOPED_TRACE(bad);
    Store("Loads", bad);
    Store("0Phone Length", "1");
    ui::Form1& form = Start();
    ASSERT_EQ(ui_.messages.size(), 2u);
    EXPECT_TRUE(Contains(ui_.messages[0].text, ReportAt(114)));
    EXPECT_TRUE(Contains(ui_.messages[1].text, ReportAt(136)));
    EXPECT_EQ(ui_.messages[0].title, "Application Error");
    EXPECT_EQ(Stored("Loads"), bad);
    EXPECT_EQ(Ticked(form), (std::vector<int>{10, 11}));
    ui_.messages.clear();
    form_.reset();
  }
}

TEST_F(WindowTest, LoadsReadsWholeNumbersWithBlanksAndRoundsHalfToEven) {
  Store("Loads", " 2.5 ");
  Start();
  EXPECT_TRUE(ui_.messages.empty());
  EXPECT_EQ(Stored("Loads"), "3");
}

TEST_F(WindowTest, WithoutSkinTheFrameAndBoxesStayWhite) {
  ui::Form1& form = Start();
  EXPECT_FALSE(form.Skinned());
  EXPECT_EQ(form.Frame1()->palette().color(QPalette::Window), QColor(Qt::white));
  EXPECT_EQ(form.Check1(3)->palette().color(QPalette::Window), QColor(Qt::white));
  EXPECT_TRUE(form.styleSheet().isEmpty());
}

TEST_F(WindowTest, ASkinBesideTheProgramColoursTheWindowAndApplies) {
  WriteBeside("x/o.cjs", "QPushButton { color: #203060; } /* our skin */\n");
  ui::Form1& form = Start();
  EXPECT_TRUE(ui_.messages.empty());
  EXPECT_TRUE(form.Skinned());
  const QColor face = form.palette().color(QPalette::Button);
  EXPECT_EQ(form.palette().color(QPalette::Window), face);
  EXPECT_EQ(form.Frame1()->palette().color(QPalette::Window), QColor(Qt::white));
  EXPECT_EQ(form.Check1(15)->palette().color(QPalette::Window), QColor(Qt::white));
  EXPECT_TRUE(form.styleSheet().contains("#203060"));
}

TEST_F(WindowTest, ABrokenSkinIsReportedAtOneHundredAndStartGoesOn) {
  WriteBeside("x/o.cjs", "QPushButton { color: red;\n");
  ui::Form1& form = Start();
  ASSERT_EQ(ui_.messages.size(), 1u);
  EXPECT_TRUE(Contains(ui_.messages[0].text, ReportAt(100)));
  EXPECT_TRUE(form.styleSheet().isEmpty());
  EXPECT_EQ(Stored("Loads"), "1");
  EXPECT_EQ(Ticked(form), (std::vector<int>{10, 11}));
}

TEST_F(WindowTest, AHiddenOrFolderSkinIsNoSkin) {
  std::filesystem::create_directories(beside_.path() / "x" / "o.cjs");
  EXPECT_FALSE(Start().Skinned());
  EXPECT_TRUE(ui_.messages.empty());
}

TEST_F(WindowTest, TheHandCursorKeepsTheHotspotOfItsFile) {
  std::filesystem::copy_file(SourceDir() / "resources" / "beside" / "HAND-M.CUR",
                             beside_.path() / "HAND-M.CUR");
  ui::Form1& form = Start();
  EXPECT_TRUE(ui_.messages.empty());
  ASSERT_TRUE(form.HasPointerPicture());
  form.SetPointer(Pointer::kHand);
  EXPECT_EQ(form.cursor().shape(), Qt::BitmapCursor);
  EXPECT_EQ(form.cursor().hotSpot(), QPoint(6, 0));
  EXPECT_EQ(form.cursor().pixmap().size(), QSize(32, 32));
}

TEST_F(WindowTest, WithoutTheCursorFileTheHandShowsAsTheArrow) {
  ui::Form1& form = Start();
  EXPECT_FALSE(form.HasPointerPicture());
  form.SetPointer(Pointer::kHand);
  EXPECT_EQ(form.PointerKindValue(), 99);
  EXPECT_EQ(form.cursor().shape(), Qt::ArrowCursor);
}

TEST_F(WindowTest, ADamagedCursorFileIsReportedAtOneHundredSix) {
  WriteBeside("HAND-M.CUR", "not a cursor at all");
  ui::Form1& form = Start();
  ASSERT_EQ(ui_.messages.size(), 1u);
  EXPECT_TRUE(Contains(ui_.messages[0].text, ReportAt(106)));
  EXPECT_FALSE(form.HasPointerPicture());
}

TEST_F(WindowTest, NoReaderGivesTheNotInstalledMessageAndTheWindowStillOpens) {
  reader_available_ = false;
  Start();
  ASSERT_EQ(ui_.messages.size(), 1u);
  EXPECT_EQ(ui_.messages[0].text,
            "Excel is not installed on this computer. You need to have it installed to use "
            "this software without error.");
  EXPECT_EQ(ui_.messages[0].title, "");
  EXPECT_EQ(ui_.messages[0].buttons, UserInterface::Buttons::kOk);
  EXPECT_EQ(ui_.messages[0].icon, UserInterface::Icon::kNone);
  EXPECT_EQ(Stored("Loads"), "1");
}

TEST_F(WindowTest, AStoreThatCannotBeWrittenKeepsTheBoxesAndSaysSoOnce) {
  // The store's folder lies under a plain file: it can be read (empty) but not written.
  const auto blocker = config_.path() / "blocked";
  std::ofstream(blocker) << "a file, not a folder";
  QSettings::setPath(QSettings::IniFormat, QSettings::UserScope,
                     QString::fromStdString((blocker / "inside").string()));
  ui::Form1& form = Start();
  // The counter cannot be raised (114); the first-start boxes cannot be stored,
  // which is said once, plainly.
  ASSERT_EQ(ui_.messages.size(), 2u);
  EXPECT_TRUE(Contains(ui_.messages[0].text, ReportAt(114)));
  EXPECT_EQ(ui_.messages[1].icon, UserInterface::Icon::kWarning);
  EXPECT_EQ(ui_.messages[1].title, "");
  EXPECT_TRUE(Contains(ui_.messages[1].text, "could not be saved"));
  ui_.messages.clear();
  form.Check1(2)->click();
  form.Check1(3)->click();
  form.Check1(2)->click();
  EXPECT_EQ(Ticked(form), (std::vector<int>{8, 10, 11}));
  EXPECT_TRUE(ui_.messages.empty());
}

TEST_F(WindowTest, HelpShowsElevenLinesJoinedByCarriageReturns) {
  ui::Form1& form = Start();
  form.PushButton(5)->click();
  ASSERT_EQ(ui_.messages.size(), 1u);
  const std::vector<std::string> lines = {
      "If your Excel file contains:",
      "",
      "855-2880 (TTY)",
      "355-650-5551 (Voice)",
      "",
      "and you check 7 and 10, then the output will read:",
      "",
      "8552880",
      "3556505551",
      "",
      "In my opinion, the American default lengths would be 7 and 10."};
  std::string expected;
  for (std::size_t i = 0; i < lines.size(); ++i) expected += (i ? "\r" : "") + lines[i];
  EXPECT_EQ(ui_.messages[0].text, expected);
  EXPECT_EQ(ui_.messages[0].title, "");
  EXPECT_EQ(ui_.messages[0].buttons, UserInterface::Buttons::kOk);
  EXPECT_EQ(ui_.messages[0].icon, UserInterface::Icon::kNone);
}

}  // namespace
}  // namespace dialsift::test
