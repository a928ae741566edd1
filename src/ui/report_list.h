// ListView1 and ListView2: a one-column report list whose rows carry one text
// each. Rows are addressed from 1 (the top row), as the handlers count them.
//
// The rows live in a flat model of plain strings: a run appends thousands of
// rows a second, and each pass of the event loop then costs one insertion
// and one relayout of the view, not one item object per row.
#pragma once

#include <QAbstractListModel>
#include <QPoint>
#include <QTreeView>

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

class QContextMenuEvent;
class QDragEnterEvent;
class QDragMoveEvent;
class QDropEvent;
class QKeyEvent;

namespace dialsift::ui {

// The workbook and sheet that found numbers come from, shared by the rows of
// one sheet.
struct FoundIn {
  std::string path;
  std::string sheet;
};

// One row: its text and, for a found number, where it was found. The
// tooltip is made from that when it is asked for.
struct ListRow {
  std::string text;
  std::shared_ptr<const FoundIn> found_in;  // none for a plain row
  std::uint32_t row = 0;
  std::uint32_t column = 0;
};

// The rows of a report list, top to bottom.
class ReportRows final : public QAbstractListModel {
  Q_OBJECT

 public:
  explicit ReportRows(QObject* parent = nullptr) : QAbstractListModel(parent) {}

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  QModelIndex index(int row, int column, const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

  // Row `index` (0-based); the caller checks the range.
  const ListRow& Row(std::size_t index) const { return rows_[index]; }
  std::size_t Size() const { return rows_.size(); }
  // Appends the rows at the bottom, in order, as one insertion; `rows` is
  // left empty.
  void Append(std::vector<ListRow>& rows);
  void Remove(std::size_t index);
  void Clear();
  void SetHeading(const QString& heading);
  const QString& Heading() const { return heading_; }

 private:
  std::vector<ListRow> rows_;
  QString heading_;
};

// The tooltip of a row: where its number was found; empty for a plain row.
std::string RowTip(const ListRow& row);

class ReportList final : public QTreeView {
  Q_OBJECT

 public:
  explicit ReportList(QWidget* parent = nullptr);

  // Appends a row at the bottom.
  void AppendRow(std::string_view text);
  // Appends rows at the bottom, in order, as one insertion; `rows` is left empty.
  void AppendRows(std::vector<ListRow>& rows);
  // The tooltip of row `row` (1 = top); empty when it has none.
  std::string RowToolTip(int row) const;
  int RowCount() const;
  // Text of row `row` (1 = top); empty when there is no such row.
  std::string RowText(int row) const;
  // Every row's text, top to bottom: a snapshot for loops that yield.
  std::vector<std::string> Rows() const;
  // Row `row` (1 = top) with where it was found; null when there is no such row.
  const ListRow* Row(int row) const;
  // The rows `rows` (1 = top), in that order, or every row when `rows` is
  // empty: a snapshot.
  std::vector<ListRow> RowsWithSource(std::span<const int> rows = {}) const;
  // The selected rows, top to bottom (1 = top); empty when none is.
  std::vector<int> SelectedRows() const;
  // Removes row `row` (1 = top); false when there is no such row.
  bool RemoveRow(int row);
  // Removes every row.
  void ClearRows();
  // The row the list reports as selected (the current row), 1-based; 0 when none.
  int SelectedRow() const;
  // Makes row `row` (1 = top) the selected row, as a click on it does.
  void SelectRow(int row);

  // The heading of the single column.
  void SetHeading(const QString& heading);

 signals:
  // A double-click anywhere on the list.
  void rowDoubleClicked();
  // A key pressed while the list has the focus (before the list's own handling).
  void keyPressed(int key, Qt::KeyboardModifiers modifiers);
  // Drag and drop. The events arrive ignored: a receiver accepts what it takes.
  void dragEntered(QDragEnterEvent* event);
  void dragMoved(QDragMoveEvent* event);
  void dropped(QDropEvent* event);
  // A context menu is asked for at `global` (screen coordinates), by the
  // mouse over row `row` or by the keyboard on the current row; 0 for none.
  void contextMenuWanted(QPoint global, int row);

 protected:
  void contextMenuEvent(QContextMenuEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  ReportRows* rows_;  // owned by the list, as its model
};

}  // namespace dialsift::ui
