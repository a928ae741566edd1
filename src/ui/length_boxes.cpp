#include "ui/length_boxes.h"

#include <QCheckBox>
#include <QGroupBox>

#include <stdexcept>

#include "platform/spaced_setting.h"
#include "ui/layout.h"

namespace dialsift::ui {

namespace {
constexpr int kBoxLeft[8] = {240, 1100, 1960, 2820, 3680, 4540, 5400, 6260};
}  // namespace

PhoneLengthBoxes::PhoneLengthBoxes(WindowServices& services, QWidget& window)
    : services_(services) {
  frame_ = new QGroupBox(QStringLiteral("Phone Number Length"), &window);
  frame_->setObjectName(QStringLiteral("Frame1"));
  frame_->setGeometry(TwipRect(120, 3250, 7800, 1020));
  frame_->setAutoFillBackground(true);
  frame_->setFont(ArialBold(9));  // set here: a skin's sheet would drop the window's
  for (int i = 0; i < 16; ++i) {
    auto* box = new QCheckBox(QString::number(i + 5), frame_);
    box->setObjectName(QStringLiteral("Check1_%1").arg(i));
    box->setGeometry(TwipRect(kBoxLeft[i % 8], i < 8 ? 300 : 650, 550, 255));
    box->setAutoFillBackground(true);
    box->setFont(ArialBold(9));
    boxes_[static_cast<std::size_t>(i)] = box;
    QObject::connect(box, &QCheckBox::stateChanged, frame_, [this, i] {
      ticked_valid_ = false;
      StoreState(i);
    });
  }
  // "with spaces" in the free room right of "12" and "20", in two lines.
  spaced_ = new QCheckBox(
      QString::fromUtf8(kSpacedCaption.data(), static_cast<qsizetype>(kSpacedCaption.size())),
      frame_);
  spaced_->setObjectName(QStringLiteral("CheckSpaced"));
  spaced_->setGeometry(TwipRect(6900, 300, 840, 605));
  spaced_->setAutoFillBackground(true);
  QFont small = ArialBold(8);
  small.setBold(false);
  spaced_->setFont(small);
  spaced_->setToolTip(
      QString::fromUtf8(kSpacedTip.data(), static_cast<qsizetype>(kSpacedTip.size())));
  QObject::connect(spaced_, &QCheckBox::stateChanged, frame_,
                   [this] { Store(kSpacedKey, IsSpacedTicked() ? 1 : 0); });
  // The frame and every box have a white background, skinned or not. The
  // frame's own sheet outranks a skin's sheet on the window; it draws the
  // frame's border itself, since the native panel has a tinted fill.
  QPalette white = frame_->palette();
  white.setColor(QPalette::Window, Qt::white);
  white.setColor(QPalette::Button, Qt::white);
  frame_->setPalette(white);
  for (QCheckBox* box : boxes_) box->setPalette(white);
  spaced_->setPalette(white);
  frame_->setStyleSheet(QStringLiteral(
      "QGroupBox#Frame1 { background-color: white; border: 1px solid #bcbcbc;"
      " border-radius: 2px; margin-top: 7px; background-clip: margin; }"
      "QGroupBox#Frame1::title { subcontrol-origin: margin; left: 6px; padding: 0 2px; }"
      "QCheckBox { background-color: white; }"));
}

QCheckBox* PhoneLengthBoxes::Box(int index) const {
  if (index < 0 || index > 15) return nullptr;
  return boxes_[static_cast<std::size_t>(index)];
}

int PhoneLengthBoxes::State(int index) const {
  const QCheckBox* box = Box(index);
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

std::string PhoneLengthBoxes::Caption(int index) const {
  const QCheckBox* box = Box(index);
  return box ? box->text().toStdString() : std::string();
}

bool PhoneLengthBoxes::IsTicked(std::int16_t n) const {
  if (n < 0 || static_cast<std::size_t>(n) >= ticked_.size())
    return phone::IsPhoneLengthTicked(*this, n);
  if (!ticked_valid_) {
    for (std::size_t k = 0; k < ticked_.size(); ++k)
      ticked_[k] = phone::IsPhoneLengthTicked(*this, static_cast<std::int16_t>(k));
    ticked_valid_ = true;
  }
  return ticked_[static_cast<std::size_t>(n)];
}

bool PhoneLengthBoxes::IsSpacedTicked() const {
  return spaced_->checkState() == Qt::Checked;
}

void PhoneLengthBoxes::Tick(int index) {
  Box(index)->setCheckState(Qt::Checked);
}

void PhoneLengthBoxes::Restore(int index) {
  const std::optional<StoredLengthBox> stored = ReadLengthBox(services_.Settings(), index);
  const long long state = stored ? stored->state : 0;
  if (state != 0 && state != 1)
    throw std::runtime_error("Invalid property value: \"" + PhoneLengthKey(index) + "\" holds \"" +
                             stored->text + "\"");
  Box(index)->setCheckState(state == 1 ? Qt::Checked : Qt::Unchecked);
}

void PhoneLengthBoxes::RestoreSpaced() {
  const std::optional<StoredLengthBox> stored = ReadSpacedBox(services_.Settings());
  const long long state = stored ? stored->state : 0;
  if (state != 0 && state != 1)
    throw std::runtime_error("Invalid property value: \"" + std::string(kSpacedKey) +
                             "\" holds \"" + stored->text + "\"");
  spaced_->setCheckState(state == 1 ? Qt::Checked : Qt::Unchecked);
}

void PhoneLengthBoxes::StoreState(int index) {
  Store(PhoneLengthKey(index), State(index));
}

// A store that cannot be written leaves the box as the user set it and says
// so once per start.
void PhoneLengthBoxes::Store(std::string_view key, int state) {
  SettingsStore& settings = services_.Settings();
  if (settings.Write(key, std::to_string(state))) return;
  if (store_failure_shown_) return;
  store_failure_shown_ = true;
  services_.Ui().Message("The phone length choice could not be saved in " + settings.FileName() +
                             ". It stays in effect until the program is closed.",
                         {}, UserInterface::Buttons::kOk, UserInterface::Icon::kWarning);
}

void PhoneLengthBoxes::ShowHelp() {
  services_.Statement(location::kPushButton5, 100, [this] {
    services_.Ui().Message(kHelpMessage, {}, UserInterface::Buttons::kOk,
                           UserInterface::Icon::kNone);
  });
}

}  // namespace dialsift::ui
