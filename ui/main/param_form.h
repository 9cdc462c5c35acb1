// The parameter view: the open parameter document as a grid inside the main window, one tab
// per display group, with the setting column editable under the range, access-level and
// online-write rules.
#pragma once

#include <QTableWidget>
#include <QWidget>
#include <array>
#include <cstdint>

#include "core/modbus.h"
#include "core/records.h"

class QTabBar;
class QLineEdit;

namespace ui {

class TParamForm;

// The grid: asks the view before an editor opens and lets the view close the editor from outside.
class ParamGrid : public QTableWidget {
  Q_OBJECT
 public:
  explicit ParamGrid(TParamForm* form);
  bool EditorOpen() const { return editor_ != nullptr; }
  QLineEdit* Editor() const { return editor_; }
  // Closes the open editor, committing its text exactly as leaving the cell does.
  void CommitEditor();
  void SetEditor(QLineEdit* editor) { editor_ = editor; }
  // Opens the editor on the current cell as the edit key does; false when it stays closed.
  bool OpenEditor() { return edit(currentIndex(), EditKeyPressed, nullptr); }

 protected:
  bool edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) override;
  void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
  void mouseMoveEvent(QMouseEvent* event) override;

 private:
  TParamForm* form_;
  QLineEdit* editor_ = nullptr;
};

class TParamForm : public QWidget {
  Q_OBJECT
 public:
  explicit TParamForm(QWidget* owner);

  ParamGrid* parGrid;
  QTabBar* TabControl;

  std::int32_t CurrentRow = 1;
  std::int32_t EditIndex = -1;
  QString LastAcceptedText;
  QString TextBeforeEdit;
  std::array<std::uint8_t, 9> TabGroups{};
  std::int32_t SelectedIndex = -1;
  std::int32_t CurrentGroup = 0;

  void SetHeaders();
  void FillGrid();
  // The find window's go-to message and the favourites window's refresh message (posted with
  // QMetaObject::invokeMethod and a queued connection).
  Q_INVOKABLE void RefreshSettings();
  Q_INVOKABLE void GotoRow(int index, int group);

  // The grid in its own row numbers: row 0 is the header row, data rows start at 1.
  int RowCount() const;
  QString Cell(int column, int row) const;
  void SetCell(int column, int row, const QString& text);
  // Moves the selection to the setting cell of `row` as a click would.
  void SelectRow(int row);
  int TabCount() const;

  // Handlers of the grid.
  bool parGridSelectCell(int column, int row);
  bool parGridGetEditMask(int column, int row);
  void parGridSetEditText(int column, int row, const QString& text, bool closing);
  void parGridDrawCell(QPainter* painter, int column, int row, const QRect& rect);
  Qt::CursorShape parGridMouseMove(int column, int row) const;

 public slots:
  void TabControlChange();
  // The main window's language-change message.
  void LanguageChanged();

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  void FormResize();
  void FillRow(int row, int index);
  void SelectSettingCell(int row);  // without running the selection handler
  void CommitEntry(int row, const QString& text);
  // The message of an online write that failed: the register's limits for a value that does not
  // fit, else what the result code means.
  void ShowWriteFailure(const core::ParameterDefinition& line, const QString& text, core::TransactionResult result);

  bool quiet_ = false;       // programmatic selection and tab changes
  bool committing_ = false;  // a commit is showing its message boxes
  int tabCount_ = 0;
};

}  // namespace ui
