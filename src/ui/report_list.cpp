#include "ui/report_list.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QHeaderView>
#include <QKeyEvent>

#include <memory>

namespace dialsift::ui {

namespace {
QString ToQString(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}
}  // namespace

ReportList::ReportList(QWidget* parent) : QTreeWidget(parent) {
  setRootIsDecorated(false);
  setItemsExpandable(false);
  setUniformRowHeights(true);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setColumnCount(1);
  setHeaderLabels({QString()});
  header()->setStretchLastSection(false);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
}

void ReportList::AppendRow(std::string_view text) {
  auto item = std::make_unique<QTreeWidgetItem>(QStringList{ToQString(text)});
  addTopLevelItem(item.release());  // the list owns its items
}

void ReportList::AppendRows(std::span<const std::string> texts,
                            std::span<const std::string> tooltips) {
  if (texts.empty()) return;
  QList<QTreeWidgetItem*> items;
  items.reserve(static_cast<qsizetype>(texts.size()));
  for (std::size_t i = 0; i < texts.size(); ++i) {
    auto item = std::make_unique<QTreeWidgetItem>(QStringList{ToQString(texts[i])});
    if (i < tooltips.size()) item->setToolTip(0, ToQString(tooltips[i]));
    items.append(item.release());
  }
  addTopLevelItems(items);  // the list owns its items
}

std::string ReportList::RowToolTip(int row) const {
  const QTreeWidgetItem* item = row >= 1 ? topLevelItem(row - 1) : nullptr;
  return item ? item->toolTip(0).toStdString() : std::string();
}

int ReportList::RowCount() const {
  return topLevelItemCount();
}

std::string ReportList::RowText(int row) const {
  const QTreeWidgetItem* item = topLevelItem(row - 1);
  return item ? item->text(0).toStdString() : std::string();
}

std::vector<std::string> ReportList::Rows() const {
  std::vector<std::string> rows;
  rows.reserve(static_cast<std::size_t>(RowCount()));
  for (int i = 0; i < RowCount(); ++i) rows.push_back(topLevelItem(i)->text(0).toStdString());
  return rows;
}

bool ReportList::RemoveRow(int row) {
  if (row < 1 || row > RowCount()) return false;
  std::unique_ptr<QTreeWidgetItem> taken(takeTopLevelItem(row - 1));
  return true;
}

void ReportList::ClearRows() {
  clear();
}

int ReportList::SelectedRow() const {
  QTreeWidgetItem* item = currentItem();
  if (item == nullptr) return 0;
  return indexOfTopLevelItem(item) + 1;
}

void ReportList::SetHeading(const QString& heading) {
  setHeaderLabels({heading});
}

void ReportList::mouseDoubleClickEvent(QMouseEvent* event) {
  QTreeWidget::mouseDoubleClickEvent(event);
  emit rowDoubleClicked();
}

void ReportList::keyPressEvent(QKeyEvent* event) {
  emit keyPressed(event->key(), event->modifiers());
  QTreeWidget::keyPressEvent(event);
}

void ReportList::dragEnterEvent(QDragEnterEvent* event) {
  event->ignore();
  emit dragEntered(event);
}

void ReportList::dragMoveEvent(QDragMoveEvent* event) {
  event->ignore();
  emit dragMoved(event);
}

void ReportList::dropEvent(QDropEvent* event) {
  event->ignore();
  emit dropped(event);
}

}  // namespace dialsift::ui
