// ListView1 and ListView2: a one-column report list whose rows carry one text
// each. Rows are addressed from 1 (the top row), as the handlers count them.
#pragma once

#include <QTreeWidget>

#include <span>
#include <string>
#include <string_view>
#include <vector>

class QDragEnterEvent;
class QDragMoveEvent;
class QDropEvent;
class QKeyEvent;

namespace dialsift::ui {

class ReportList final : public QTreeWidget {
  Q_OBJECT

 public:
  explicit ReportList(QWidget* parent = nullptr);

  // Appends a row at the bottom.
  void AppendRow(std::string_view text);
  // Appends rows at the bottom, in order, as one insertion; each row gets
  // the tooltip of the same index, when given.
  void AppendRows(std::span<const std::string> texts, std::span<const std::string> tooltips = {});
  // The tooltip of row `row` (1 = top); empty when it has none.
  std::string RowToolTip(int row) const;
  int RowCount() const;
  // Text of row `row` (1 = top); empty when there is no such row.
  std::string RowText(int row) const;
  // Every row's text, top to bottom: a snapshot for loops that yield.
  std::vector<std::string> Rows() const;
  // Removes row `row` (1 = top); false when there is no such row.
  bool RemoveRow(int row);
  // Removes every row.
  void ClearRows();
  // The row the list reports as selected (the current row), 1-based; 0 when none.
  int SelectedRow() const;

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

 protected:
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;
};

}  // namespace dialsift::ui
