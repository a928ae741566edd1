// Saves a picture of the window, with rows in both lists, under the build
// tree (screenshots/form1.png) for people to look at.
#include <QPixmap>

#include "ui/window_fixture.h"

namespace dialsift::test {
namespace {

TEST_F(WindowTest, SavesAScreenshotOfTheWindow) {
  ui::Form1& form = Start();
  form.ListView1()->AppendRow("/home/ada/Workbooks/contacts.xlsx");
  form.ListView1()->AppendRow("/home/ada/Workbooks/orders.xlsm");
  form.ListView2()->AppendRow("212-555-0147");
  form.ListView2()->AppendRow("(718)555-0134");
  form.show();
  const QPixmap picture = form.grab();
  EXPECT_EQ(picture.size(), QSize(536, 565) * picture.devicePixelRatio());
  const auto folder = BinDir().parent_path() / "screenshots";
  std::filesystem::create_directories(folder);
  EXPECT_TRUE(picture.save(QString::fromStdString((folder / "form1.png").string())));
}

}  // namespace
}  // namespace dialsift::test
