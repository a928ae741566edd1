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

#include "platform/file_attributes.h"
#include "ui/window_files.h"

namespace dialsift::ui {

namespace {

QString Q(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
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

Form1::Form1(UserInterface& ui, std::filesystem::path beside, QWidget* parent)
    : QWidget(parent), ui_(ui), beside_(std::move(beside)) {
  // Our readers need nothing installed: creating one cannot fail in a sound build.
  probes_.reader_available = [] { return true; };
  BuildControls();
  ConnectHandlers();
  SetTabOrder();
  since_yield_.start();
}

Form1::~Form1() = default;

void Form1::SetProbes(Probes probes) {
  probes_ = std::move(probes);
  run_->SetLockFileLister(probes_.lock_files);
  results_->SetE164ModulePath(probes_.e164_module);
}

void Form1::BuildControls() {
  setObjectName(QStringLiteral("Form1"));
  setWindowTitle(Q(kProgramTitle));
  setFont(ArialBold(9));
  resize(Twips(8040), Twips(8475));
  setMouseTracking(true);
  installEventFilter(this);

  auto* list_view1 = new ReportList(this);
  list_view1->setObjectName(QStringLiteral("ListView1"));
  list_view1->setGeometry(TwipRect(120, 615, 7800, 1575));
  list_view1->setToolTip(QString::fromLatin1(kListView1Tip));
  list_view1->setAcceptDrops(true);
  list_view1->viewport()->setAcceptDrops(true);
  list_view1->setDropIndicatorShown(false);
  auto* list_view2 = new ReportList(this);
  list_view2->setObjectName(QStringLiteral("ListView2"));
  list_view2->setGeometry(TwipRect(120, 4905, 7800, 1935));
  list_view2->setToolTip(QString::fromLatin1(kListView2Tip));
  // Several results may be picked for "Copy with Source"; the double-click
  // still removes the one clicked.
  list_view2->setSelectionMode(QAbstractItemView::ExtendedSelection);
  for (ReportList* list : {list_view1, list_view2}) {
    list->setFont(ArialBold(9));
    WatchMouse(list);
    WatchMouse(list->viewport());
    WatchMouse(list->header());
  }
  inputs_ = std::make_unique<InputFileList>(*this, *list_view1, beside_);
  results_ = std::make_unique<ResultsList>(*this, *list_view2, beside_);

  for (const ButtonPlace& place : kButtons) {
    auto* button = new QPushButton(QString::fromLatin1(place.caption), this);
    button->setObjectName(QStringLiteral("PushButton%1").arg(place.number));
    button->setGeometry(TwipRect(place.left, place.top, place.width, place.height));
    button->setFont(ArialBold(11.25));
    button->setAutoDefault(false);
    WatchMouse(button);
    push_buttons_[static_cast<std::size_t>(place.number - 1)] = button;
  }

  lengths_ = std::make_unique<PhoneLengthBoxes>(*this, *this);
  WatchMouse(lengths_->Frame());
  for (int i = 0; i < 16; ++i) WatchMouse(Check1(i));
  WatchMouse(lengths_->SpacedBox());

  run_ = std::make_unique<ExtractionRun>(*this, *this, *inputs_, *results_, *lengths_);
}

void Form1::ConnectHandlers() {
  InputFileList* inputs = inputs_.get();
  ResultsList* results = results_.get();
  const auto on_click = [this](int n, auto handler) {
    connect(PushButton(n), &QPushButton::clicked, this, handler);
  };
  on_click(1, [inputs] { inputs->AddFiles(); });
  on_click(2, [results] { results->SaveResultsCommaDelimited(); });
  on_click(3, [inputs] { inputs->ClearInputList(); });
  on_click(4, [inputs] { inputs->AddFolder(); });
  on_click(5, [this] { lengths_->ShowHelp(); });
  on_click(6, [results] { results->SaveResultsAsText(); });
  on_click(7, [this] { StartExtraction(); });
  on_click(8, [results] { results->CopyResultsToClipboard(); });
  on_click(9, [results] { results->ClearResults(); });
  on_click(10, [results] { results->OpenFormattingPage(); });
  on_click(11, [inputs] { inputs->AddSampleFiles(); });

  ReportList* list_view1 = ListView1();
  connect(list_view1, &ReportList::rowDoubleClicked, this,
          [inputs] { inputs->RemoveSelectedRow(); });
  connect(list_view1, &ReportList::keyPressed, this,
          [inputs](int key) { inputs->KeyPressed(key); });
  connect(list_view1, &ReportList::dragEntered, this,
          [inputs](QDragEnterEvent* event) { inputs->DragEntered(event); });
  connect(list_view1, &ReportList::dragMoved, this,
          [inputs](QDragMoveEvent* event) { inputs->DragMoved(event); });
  connect(list_view1, &ReportList::dropped, this,
          [inputs](QDropEvent* event) { inputs->Dropped(event); });
  connect(ListView2(), &ReportList::rowDoubleClicked, this,
          [results] { results->RemoveSelectedRow(); });
  connect(ListView2(), &ReportList::contextMenuWanted, this,
          [results](QPoint global, int row) { results->ShowContextMenu(global, row); });
}

void Form1::SetTabOrder() {
  std::vector<std::pair<int, QWidget*>> order;
  order.emplace_back(0, ListView1());
  order.emplace_back(1, ListView2());
  for (const ButtonPlace& place : kButtons) order.emplace_back(place.tab, PushButton(place.number));
  for (int i = 0; i < 16; ++i) order.emplace_back(CheckTab(i), Check1(i));
  order.emplace_back(CheckTab(15), lengths_->SpacedBox());  // right after "20"
  std::stable_sort(order.begin(), order.end(),
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

// ---- Error report, yields and the run ----

void Form1::ShowErrorReport(const ErrorReport& report) {
  results_->FlushQueuedRows();
  ui_.Message(ErrorReportText(report), kErrorReportTitle, UserInterface::Buttons::kOk,
              UserInterface::Icon::kWarning);
}

void Form1::Yield() {
  const qint64 elapsed = since_yield_.elapsed();
  if (elapsed < yield_interval_ms_) return;
  if (run_->Running() && elapsed > longest_gap_ms_) longest_gap_ms_ = elapsed;
  results_->FlushQueuedRowsPaced();
  run_->ShowHeldProgress();
  QCoreApplication::processEvents();
  since_yield_.restart();
}

void Form1::StartExtraction() {
  if (!run_->Running()) {
    longest_gap_ms_ = 0;
    since_yield_.restart();
  }
  run_->StartExtraction();
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
  if (Test(where, 104, [this] { return platform::FileExists((beside_ / "HAND-M.CUR").string()); }))
    Statement(where, 106, [this] { LoadHandCursor(); });
  Statement(where, 114, [this] { RaiseStartCounter(); });
  Statement(where, 126, [this] {
    setWindowTitle(Q(kProgramTitle));
    setWindowIcon(ProgramIcon());
  });
  Statement(where, 128, [this] { ListView1()->SetHeading(QStringLiteral("Excel File(s)")); });
  Statement(where, 130, [this] { ListView1()->setColumnWidth(0, Twips(7000)); });
  Statement(where, 132, [this] { ListView2()->SetHeading(QStringLiteral("Results")); });
  Statement(where, 134, [this] { ListView2()->setColumnWidth(0, Twips(7000)); });
  const bool first_start = Test(where, 136, [this] { return ReadStartCounter() == 1; });
  if (first_start) {
    Statement(where, 138, [this] { lengths_->Tick(5); });
    Statement(where, 140, [this] { lengths_->Tick(6); });
  } else {
    for (int i = 0; i < 16; ++i) Statement(where, 144, [this, i] { lengths_->Restore(i); });
    Statement(where, 144, [this] { lengths_->RestoreSpaced(); });
  }
  Statement(where, 148, [this] { CheckExcelInstalled(); });
}

// The skin: a Qt style sheet beside the program. Present means the window
// takes the colour of button faces, then the sheet applies. The length frame
// and its boxes stay white (their own sheet outranks the window's).
void Form1::ApplySkin() {
  const std::filesystem::path file = beside_ / "x" / "o.cjs";
  if (!IsListedFile(file)) return;
  QPalette face = palette();
  face.setColor(QPalette::Window, face.color(QPalette::Button));
  setPalette(face);
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

// The spreadsheet check: our readers stand in for the spreadsheet application.
void Form1::CheckExcelInstalled() {
  if (probes_.reader_available && probes_.reader_available()) return;
  ui_.Message(kExcelNotInstalledMessage, {}, UserInterface::Buttons::kOk,
              UserInterface::Icon::kNone);
}

// ---- Module Main ----

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
