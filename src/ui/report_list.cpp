#include "ui/report_list.h"

#include <QContextMenuEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>

#include <algorithm>

#include "extract/record.h"

namespace dialsift::ui {

namespace {
QString ToQString(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}
}  // namespace

// ---- The rows ----

int ReportRows::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

// The view asks for every row's index at each relayout: answered without
// the virtual calls of the general check.
QModelIndex ReportRows::index(int row, int column, const QModelIndex& parent) const {
  if (parent.isValid() || column != 0 || row < 0 || static_cast<std::size_t>(row) >= rows_.size())
    return {};
  return createIndex(row, 0);
}

QVariant ReportRows::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.column() != 0 || index.row() < 0 ||
      static_cast<std::size_t>(index.row()) >= rows_.size())
    return {};
  const ListRow& row = rows_[static_cast<std::size_t>(index.row())];
  switch (role) {
    case Qt::DisplayRole:
      return ToQString(row.text);
    case Qt::ToolTipRole:
      if (!row.found_in) return {};
      return ToQString(RowTip(row));
    default:
      return {};
  }
}

QVariant ReportRows::headerData(int section, Qt::Orientation orientation, int role) const {
  if (section == 0 && orientation == Qt::Horizontal && role == Qt::DisplayRole) return heading_;
  return {};
}

Qt::ItemFlags ReportRows::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

void ReportRows::Append(std::vector<ListRow>& rows) {
  if (rows.empty()) return;
  const int first = static_cast<int>(rows_.size());
  beginInsertRows({}, first, first + static_cast<int>(rows.size()) - 1);
  if (rows_.empty()) {
    rows_.swap(rows);
  } else {
    rows_.insert(rows_.end(), std::make_move_iterator(rows.begin()),
                 std::make_move_iterator(rows.end()));
  }
  endInsertRows();
  rows.clear();
}

void ReportRows::Remove(std::size_t index) {
  const int row = static_cast<int>(index);
  beginRemoveRows({}, row, row);
  rows_.erase(rows_.begin() + static_cast<std::ptrdiff_t>(index));
  endRemoveRows();
}

void ReportRows::Clear() {
  beginResetModel();
  rows_.clear();
  rows_.shrink_to_fit();
  endResetModel();
}

void ReportRows::SetHeading(const QString& heading) {
  heading_ = heading;
  emit headerDataChanged(Qt::Horizontal, 0, 0);
}

std::string RowTip(const ListRow& row) {
  if (!row.found_in) return {};
  return WhereFound({{}, row.found_in->path, row.found_in->sheet, row.row, row.column});
}

// ---- The list ----

ReportList::ReportList(QWidget* parent) : QTreeView(parent), rows_(new ReportRows(this)) {
  setModel(rows_);
  setRootIsDecorated(false);
  setItemsExpandable(false);
  setUniformRowHeights(true);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  header()->setStretchLastSection(false);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
}

void ReportList::AppendRow(std::string_view text) {
  std::vector<ListRow> rows(1);
  rows.front().text = text;
  rows_->Append(rows);
}

void ReportList::AppendRows(std::vector<ListRow>& rows) {
  rows_->Append(rows);
}

std::string ReportList::RowToolTip(int row) const {
  if (row < 1 || row > RowCount()) return {};
  return RowTip(rows_->Row(static_cast<std::size_t>(row - 1)));
}

int ReportList::RowCount() const {
  return static_cast<int>(rows_->Size());
}

std::string ReportList::RowText(int row) const {
  if (row < 1 || row > RowCount()) return {};
  return rows_->Row(static_cast<std::size_t>(row - 1)).text;
}

std::vector<std::string> ReportList::Rows() const {
  std::vector<std::string> rows;
  rows.reserve(rows_->Size());
  for (std::size_t i = 0; i < rows_->Size(); ++i) rows.push_back(rows_->Row(i).text);
  return rows;
}

const ListRow* ReportList::Row(int row) const {
  if (row < 1 || row > RowCount()) return nullptr;
  return &rows_->Row(static_cast<std::size_t>(row - 1));
}

std::vector<ListRow> ReportList::RowsWithSource(std::span<const int> rows) const {
  std::vector<ListRow> out;
  if (rows.empty()) {
    out.reserve(rows_->Size());
    for (std::size_t i = 0; i < rows_->Size(); ++i) out.push_back(rows_->Row(i));
    return out;
  }
  out.reserve(rows.size());
  for (const int row : rows) {
    if (const ListRow* found = Row(row)) out.push_back(*found);
  }
  return out;
}

std::vector<int> ReportList::SelectedRows() const {
  std::vector<int> rows;
  for (const QModelIndex& index : selectionModel()->selectedRows()) rows.push_back(index.row() + 1);
  std::sort(rows.begin(), rows.end());
  return rows;
}

bool ReportList::RemoveRow(int row) {
  if (row < 1 || row > RowCount()) return false;
  rows_->Remove(static_cast<std::size_t>(row - 1));
  return true;
}

void ReportList::ClearRows() {
  rows_->Clear();
}

int ReportList::SelectedRow() const {
  const QModelIndex current = currentIndex();
  return current.isValid() ? current.row() + 1 : 0;
}

void ReportList::SelectRow(int row) {
  setCurrentIndex(rows_->index(row - 1, 0));
}

void ReportList::SetHeading(const QString& heading) {
  rows_->SetHeading(heading);
}

void ReportList::mouseDoubleClickEvent(QMouseEvent* event) {
  QTreeView::mouseDoubleClickEvent(event);
  emit rowDoubleClicked();
}

// The menu key asks for the current row's menu, shown on that row; the mouse
// for the row under the pointer.
void ReportList::contextMenuEvent(QContextMenuEvent* event) {
  QModelIndex index;
  QPoint at = event->globalPos();
  if (event->reason() == QContextMenuEvent::Keyboard) {
    index = currentIndex();
    if (index.isValid()) {
      scrollTo(index);
      at = viewport()->mapToGlobal(visualRect(index).center());
    }
  } else {
    index = indexAt(viewport()->mapFromGlobal(event->globalPos()));
  }
  event->accept();
  emit contextMenuWanted(at, index.isValid() ? index.row() + 1 : 0);
}

void ReportList::keyPressEvent(QKeyEvent* event) {
  emit keyPressed(event->key(), event->modifiers());
  QTreeView::keyPressEvent(event);
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
