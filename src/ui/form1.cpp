#include "ui/form1.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QCursor>
#include <QFile>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHeaderView>
#include <QImage>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>

#include <algorithm>
#include <optional>
#include <span>
#include <stdexcept>
#include <utility>

#include "platform/process_probe.h"
#include "ui/window_files.h"

namespace dialsift::ui {

namespace {

QString Q(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QRect TwipRect(int left, int top, int width, int height) {
  return {Twips(left), Twips(top), Twips(width), Twips(height)};
}

QFont ArialBold(qreal points) {
  QFont font(QStringLiteral("Arial"));
  font.setStyleHint(QFont::SansSerif);
  font.setPointSizeF(points);
  font.setBold(true);
  return font;
}

struct ButtonPlace {
  int number;
  const char* caption;
  int left, top, width, height, tab;
};

constexpr ButtonPlace kButtons[] = {
    {5, "Help", 120, 120, 7800, 405, 21},
    {1, "Add Excel File(s)", 120, 2280, 3840, 405, 2},
    {4, "Add All Excel File(s) In Folder", 4080, 2280, 3840, 405, 3},
    {3, "Clear List", 120, 2790, 3840, 405, 4},
    {11, "Load Sample/Example Files", 4080, 2790, 3840, 405, 29},
    {7, "Start Extracting Phone Numbers", 120, 4390, 7800, 405, 5},
    {6, "Save Results As Text File", 120, 6930, 3840, 405, 6},
    {2, "Save As Comma Delimited", 4080, 6930, 3840, 405, 7},
    {8, "Copy Results To Clipboard", 120, 7440, 3840, 405, 22},
    {9, "Clear List", 4080, 7440, 3840, 405, 8},
    {10, "Format Phone Number Results", 120, 7950, 7800, 405, 28},
};

constexpr int kCheckLeft[8] = {240, 1100, 1960, 2820, 3680, 4540, 5400, 6260};

// Tab index of box i: 10 to 20 for the first eleven, then 23 to 27.
constexpr int CheckTab(int index) {
  return index <= 10 ? 10 + index : 12 + index;
}

constexpr char kListView1Tip[] =
    "Drag and drop files here. Double-click item to remove it. Move bar to right and out of "
    "window to reveal full names.";
constexpr char kListView2Tip[] =
    "Double-click item to remove it. Move bar to right and out of window to reveal full names.";

}  // namespace

// The boxes as the length test sees them: read from the widgets at each call.
class Form1::Boxes final : public phone::LengthBoxes {
 public:
  explicit Boxes(const Form1& form) : form_(form) {}
  int State(int index) const override {
    const QCheckBox* box = form_.Check1(index);
    if (box == nullptr) return 0;
    switch (box->checkState()) {
      case Qt::Checked:
        return 1;
      case Qt::PartiallyChecked:
        return 2;
      default:
        return 0;
    }
  }
  std::string Caption(int index) const override {
    const QCheckBox* box = form_.Check1(index);
    return box ? box->text().toStdString() : std::string();
  }

 private:
  const Form1& form_;
};

Form1::Form1(UserInterface& ui, std::filesystem::path beside, QWidget* parent)
    : QWidget(parent), ui_(ui), beside_(std::move(beside)), boxes_(std::make_unique<Boxes>(*this)) {
  probes_.excel_running = [] { return dialsift::IsExcelRunning(); };
  // Our readers need nothing installed: creating one cannot fail in a sound build.
  probes_.reader_available = [] { return true; };
  BuildControls();
  SetTabOrder();
  since_yield_.start();
}

Form1::~Form1() = default;

void Form1::SetProbes(Probes probes) {
  probes_ = std::move(probes);
}

void Form1::BuildControls() {
  setObjectName(QStringLiteral("Form1"));
  setWindowTitle(Q(kProgramTitle));
  setFont(ArialBold(9));
  resize(Twips(8040), Twips(8475));
  setMouseTracking(true);
  installEventFilter(this);

  list_view1_ = new ReportList(this);
  list_view1_->setObjectName(QStringLiteral("ListView1"));
  list_view1_->setGeometry(TwipRect(120, 615, 7800, 1575));
  list_view1_->setToolTip(QString::fromLatin1(kListView1Tip));
  list_view1_->setAcceptDrops(true);
  list_view1_->viewport()->setAcceptDrops(true);
  list_view1_->setDropIndicatorShown(false);
  list_view2_ = new ReportList(this);
  list_view2_->setObjectName(QStringLiteral("ListView2"));
  list_view2_->setGeometry(TwipRect(120, 4905, 7800, 1935));
  list_view2_->setToolTip(QString::fromLatin1(kListView2Tip));
  for (ReportList* list : {list_view1_, list_view2_}) {
    list->setFont(ArialBold(9));
    WatchMouse(list);
    WatchMouse(list->viewport());
    WatchMouse(list->header());
  }

  for (const ButtonPlace& place : kButtons) {
    auto* button = new QPushButton(QString::fromLatin1(place.caption), this);
    button->setObjectName(QStringLiteral("PushButton%1").arg(place.number));
    button->setGeometry(TwipRect(place.left, place.top, place.width, place.height));
    button->setFont(ArialBold(11.25));
    button->setAutoDefault(false);
    WatchMouse(button);
    push_buttons_[static_cast<std::size_t>(place.number - 1)] = button;
  }

  frame1_ = new QGroupBox(QStringLiteral("Phone Number Length"), this);
  frame1_->setObjectName(QStringLiteral("Frame1"));
  frame1_->setGeometry(TwipRect(120, 3250, 7800, 1020));
  frame1_->setAutoFillBackground(true);
  WatchMouse(frame1_);
  for (int i = 0; i < 16; ++i) {
    auto* box = new QCheckBox(QString::number(i + 5), frame1_);
    box->setObjectName(QStringLiteral("Check1_%1").arg(i));
    box->setGeometry(TwipRect(kCheckLeft[i % 8], i < 8 ? 300 : 650, 550, 255));
    box->setAutoFillBackground(true);
    WatchMouse(box);
    check1_[static_cast<std::size_t>(i)] = box;
    connect(box, &QCheckBox::stateChanged, this, [this, i] { Check1_Click(i); });
  }
  // Design-time colours: button faces for the window, white for the frame and boxes.
  QPalette white = frame1_->palette();
  white.setColor(QPalette::Window, Qt::white);
  frame1_->setPalette(white);
  for (QCheckBox* box : check1_) box->setPalette(white);

  connect(PushButton(1), &QPushButton::clicked, this, &Form1::PushButton1_Click);
  connect(PushButton(2), &QPushButton::clicked, this, &Form1::PushButton2_Click);
  connect(PushButton(3), &QPushButton::clicked, this, &Form1::PushButton3_Click);
  connect(PushButton(4), &QPushButton::clicked, this, &Form1::PushButton4_Click);
  connect(PushButton(5), &QPushButton::clicked, this, &Form1::PushButton5_Click);
  connect(PushButton(6), &QPushButton::clicked, this, &Form1::PushButton6_Click);
  connect(PushButton(7), &QPushButton::clicked, this, &Form1::PushButton7_Click);
  connect(PushButton(8), &QPushButton::clicked, this, &Form1::PushButton8_Click);
  connect(PushButton(9), &QPushButton::clicked, this, &Form1::PushButton9_Click);
  connect(PushButton(10), &QPushButton::clicked, this, &Form1::PushButton10_Click);
  connect(PushButton(11), &QPushButton::clicked, this, &Form1::PushButton11_Click);
  connect(list_view1_, &ReportList::rowDoubleClicked, this, &Form1::ListView1_DblClick);
  connect(list_view1_, &ReportList::keyPressed, this, &Form1::ListView1_KeyDown);
  connect(list_view1_, &ReportList::dragEntered, this, &Form1::ListView1_DragEnter);
  connect(list_view1_, &ReportList::dragMoved, this, &Form1::ListView1_DragMove);
  connect(list_view1_, &ReportList::dropped, this, &Form1::ListView1_Drop);
  connect(list_view2_, &ReportList::rowDoubleClicked, this, &Form1::ListView2_DblClick);
}

void Form1::SetTabOrder() {
  std::vector<std::pair<int, QWidget*>> order;
  order.emplace_back(0, list_view1_);
  order.emplace_back(1, list_view2_);
  for (const ButtonPlace& place : kButtons) order.emplace_back(place.tab, PushButton(place.number));
  for (int i = 0; i < 16; ++i) order.emplace_back(CheckTab(i), Check1(i));
  std::sort(order.begin(), order.end(),
            [](const auto& a, const auto& b) { return a.first < b.first; });
  for (std::size_t i = 1; i < order.size(); ++i)
    QWidget::setTabOrder(order[i - 1].second, order[i].second);
}

// Each control's mouse moves stay with it: a move over a button must not
// reach the window behind it and reset the pointer there.
void Form1::WatchMouse(QWidget* widget) {
  widget->setMouseTracking(true);
  widget->setAttribute(Qt::WA_NoMousePropagation);
  widget->installEventFilter(this);
}

QPushButton* Form1::PushButton(int n) const {
  if (n < 1 || n > 11) return nullptr;
  return push_buttons_[static_cast<std::size_t>(n - 1)];
}

QCheckBox* Form1::Check1(int index) const {
  if (index < 0 || index > 15) return nullptr;
  return check1_[static_cast<std::size_t>(index)];
}

const phone::LengthBoxes& Form1::LengthBoxes() const {
  return *boxes_;
}

bool Form1::HasPointerPicture() const {
  return hand_cursor_ != nullptr;
}

// ---- Pointer ----

void Form1::SetPointer(Pointer pointer) {
  pointer_ = pointer;
  ApplyPointerCursor();
}

void Form1::ApplyPointerCursor() {
  switch (pointer_) {
    case Pointer::kDefault:
      unsetCursor();
      break;
    case Pointer::kArrow:
      setCursor(Qt::ArrowCursor);
      break;
    case Pointer::kBusy:
      setCursor(Qt::WaitCursor);
      break;
    case Pointer::kHand:
      if (hand_cursor_)
        setCursor(*hand_cursor_);
      else
        unsetCursor();  // no pointer picture: the default arrow
      break;
  }
}

// Mouse moves: over a push button the hand, over anything else of the window
// the default pointer; the busy pointer stays while it shows.
bool Form1::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::MouseMove && pointer_ != Pointer::kBusy) {
    const bool over_button = qobject_cast<QPushButton*>(watched) != nullptr;
    const Pointer wanted = over_button ? Pointer::kHand : Pointer::kDefault;
    if (wanted != pointer_) SetPointer(wanted);
  }
  return QWidget::eventFilter(watched, event);
}

// ---- Error report and yields ----

void Form1::FlushResults() {
  if (pending_results_.empty()) return;
  list_view2_->AppendRows(pending_results_);
  pending_results_.clear();
}

void Form1::ShowErrorReport(const ErrorReport& report) {
  FlushResults();
  ui_.Message(ErrorReportText(report), kErrorReportTitle, UserInterface::Buttons::kOk,
              UserInterface::Icon::kWarning);
}

void Form1::Yield() {
  const qint64 elapsed = since_yield_.elapsed();
  if (elapsed < yield_interval_ms_) return;
  if (running_ && elapsed > longest_gap_ms_) longest_gap_ms_ = elapsed;
  FlushResults();
  QCoreApplication::processEvents();
  since_yield_.restart();
}

void Form1::closeEvent(QCloseEvent* event) {
  closing_ = true;
  QWidget::closeEvent(event);
}

// ---- Start-up ----

void Form1::Load() {
  const auto where = location::kFormLoad;
  Statement(where, 100, [this] { ApplySkin(); });
  Statement(where, 102, [this] { CentreWindow(*this); });
  if (Test(where, 104, [this] { return FileExists(beside_ / "HAND-M.CUR"); }))
    Statement(where, 106, [this] { LoadHandCursor(); });
  Statement(where, 114, [this] { RaiseStartCounter(); });
  Statement(where, 126, [this] {
    setWindowTitle(Q(kProgramTitle));
    setWindowIcon(ProgramIcon());
  });
  Statement(where, 128, [this] { list_view1_->SetHeading(QStringLiteral("Excel File(s)")); });
  Statement(where, 130, [this] { list_view1_->setColumnWidth(0, Twips(7000)); });
  Statement(where, 132, [this] { list_view2_->SetHeading(QStringLiteral("Results")); });
  Statement(where, 134, [this] { list_view2_->setColumnWidth(0, Twips(7000)); });
  const bool first_start = Test(where, 136, [this] { return ReadStartCounter() == 1; });
  if (first_start) {
    Statement(where, 138, [this] { Check1(5)->setCheckState(Qt::Checked); });
    Statement(where, 140, [this] { Check1(6)->setCheckState(Qt::Checked); });
  } else {
    for (int i = 0; i < 16; ++i) Statement(where, 144, [this, i] { RestoreBox(i); });
  }
  Statement(where, 148, [this] { CheckExcelInstalled(); });
}

// The skin: a Qt style sheet beside the program. Present means the window and
// the frame and boxes take the colour of button faces, then the sheet applies.
void Form1::ApplySkin() {
  const std::filesystem::path file = beside_ / "x" / "o.cjs";
  if (!IsListedFile(file)) return;
  QPalette face = palette();
  const QColor button_face = face.color(QPalette::Button);
  face.setColor(QPalette::Window, button_face);
  setPalette(face);
  for (QWidget* w : std::initializer_list<QWidget*>{frame1_}) {
    QPalette p = w->palette();
    p.setColor(QPalette::Window, button_face);
    w->setPalette(p);
  }
  for (QCheckBox* box : check1_) {
    QPalette p = box->palette();
    p.setColor(QPalette::Window, button_face);
    box->setPalette(p);
  }
  skinned_ = true;
  setStyleSheet(ReadStyleSheet(file));
}

// The hand pointer from HAND-M.CUR. Qt's reader gives the picture but not the
// hotspot, which lies in the file's first directory entry.
void Form1::LoadHandCursor() {
  const std::filesystem::path file = beside_ / "HAND-M.CUR";
  QFile in(QString::fromStdString(file.string()));
  if (!in.open(QIODevice::ReadOnly))
    throw std::runtime_error("Cannot open " + file.string() + ": " +
                             in.errorString().toStdString());
  const QByteArray bytes = in.readAll();
  const std::optional<QPoint> hotspot =
      CursorHotspot(std::span(reinterpret_cast<const unsigned char*>(bytes.constData()),
                              static_cast<std::size_t>(bytes.size())));
  QImage picture;
  if (!hotspot || !picture.loadFromData(bytes, "CUR") || picture.isNull())
    throw std::runtime_error("Invalid picture: " + file.string());
  hand_cursor_ = std::make_unique<QCursor>(QPixmap::fromImage(picture), hotspot->x(), hotspot->y());
  ApplyPointerCursor();
}

// "Loads", the start counter, read strictly: text that is not a number fails.
long long Form1::ReadStartCounter() const {
  if (!settings_.Readable())
    throw std::runtime_error("The settings store " + settings_.FileName() + " cannot be read");
  const std::optional<std::string> stored = settings_.Read("Loads");
  if (!stored) return 0;
  const std::optional<double> value = WholeNumber(*stored);
  if (!value) throw std::runtime_error("Type mismatch: \"Loads\" holds \"" + *stored + "\"");
  if (*value > 2147483646.0 || *value < -2147483648.0) throw std::runtime_error("Overflow");
  return RoundHalfEven(*value);
}

void Form1::RaiseStartCounter() {
  const long long loads = ReadStartCounter() + 1;
  if (!settings_.Write("Loads", std::to_string(loads)))
    throw std::runtime_error("The settings store " + settings_.FileName() + " cannot be written");
}

// A box's stored state: the leading number of its text, 0 when there is none.
void Form1::RestoreBox(int index) {
  const std::string stored = settings_.Read(PhoneLengthKey(index), "0");
  const std::optional<double> number = LeadingNumber(stored);
  const long long state = number ? RoundHalfEven(*number) : 0;
  if (state != 0 && state != 1)
    throw std::runtime_error("Invalid property value: \"" + PhoneLengthKey(index) + "\" holds \"" +
                             stored + "\"");
  Check1(index)->setCheckState(state == 1 ? Qt::Checked : Qt::Unchecked);
}

// The spreadsheet check: our readers stand in for the spreadsheet application.
void Form1::CheckExcelInstalled() {
  if (probes_.reader_available && probes_.reader_available()) return;
  ui_.Message(kExcelNotInstalledMessage, {}, UserInterface::Buttons::kOk,
              UserInterface::Icon::kNone);
}

// ---- Phone-length boxes and Help ----

// Every change of a box is stored at once. A store that cannot be written
// leaves the box as the user set it and says so once per start.
void Form1::Check1_Click(int index) {
  const int state = boxes_->State(index);
  if (settings_.Write(PhoneLengthKey(index), std::to_string(state))) return;
  if (store_failure_shown_) return;
  store_failure_shown_ = true;
  ui_.Message("The phone length choice could not be saved in " + settings_.FileName() +
                  ". It stays in effect until the program is closed.",
              {}, UserInterface::Buttons::kOk, UserInterface::Icon::kWarning);
}

void Form1::PushButton5_Click() {
  Statement(location::kPushButton5, 100, [this] {
    ui_.Message(kHelpMessage, {}, UserInterface::Buttons::kOk, UserInterface::Icon::kNone);
  });
}

// ---- The run ----

// The run's view of the window: the lists, the pointer, the boxes and the
// event loop.
class Form1::WindowRun final : public RunHost {
 public:
  explicit WindowRun(Form1& form) : form_(form) {}
  void Report(const ErrorReport& report) override { form_.ShowErrorReport(report); }
  std::vector<std::string> InputRows() override { return form_.ListView1()->Rows(); }
  void SetPointer(Pointer pointer) override { form_.SetPointer(pointer); }
  bool AskYesNo(std::string_view text) override {
    form_.FlushResults();
    return form_.ui_.Message(text, {}, UserInterface::Buttons::kYesNo,
                             UserInterface::Icon::kNone) == UserInterface::Answer::kYes;
  }
  void ShowMessage(std::string_view text) override {
    form_.FlushResults();
    form_.ui_.Message(text, {}, UserInterface::Buttons::kOk, UserInterface::Icon::kNone);
  }
  void ClearResults() override {
    form_.pending_results_.clear();
    form_.ListView2()->ClearRows();
  }
  // Rows reach the list at the next event-loop pass, in order; until then
  // nothing can look at the list.
  void AppendResult(std::string_view number) override {
    form_.pending_results_.emplace_back(number);
  }
  void Yield() override { form_.Yield(); }
  bool IsLengthTicked(std::int16_t digits) override {
    return phone::IsPhoneLengthTicked(form_.LengthBoxes(), digits);
  }
  bool IsExcelRunning() override {
    return form_.probes_.excel_running && form_.probes_.excel_running();
  }
  bool Stopped() override { return form_.Closing(); }

 private:
  Form1& form_;
};

// PushButton7: the run over the input file list. A press while a run is
// going on is ignored (the press arrives during one of the run's yields).
void Form1::PushButton7_Click() {
  if (running_) return;
  running_ = true;
  longest_gap_ms_ = 0;
  since_yield_.restart();
  WindowRun host(*this);
  const bool completed = Statement(location::kRun, 100, [&host] { RunExtraction(host); });
  FlushResults();
  if (!completed) SetPointer(Pointer::kDefault);
  running_ = false;
}

// ---- Module Main ----

bool FileExists(const std::filesystem::path& path) {
  std::error_code ec;
  (void)std::filesystem::last_write_time(path, ec);
  return !ec;
}

void CentreWindow(QWidget& window) {
  const QScreen* screen = window.screen();
  if (screen == nullptr) screen = QGuiApplication::primaryScreen();
  if (screen == nullptr) throw std::runtime_error("No screen to centre the window on");
  const QRect area = screen->geometry();
  const QSize outer = window.frameGeometry().size();
  window.move(area.x() + (area.width() - outer.width()) / 2,
              area.y() + (area.height() - outer.height()) / 2);
}

}  // namespace dialsift::ui
