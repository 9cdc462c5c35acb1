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
#include "ui/main/setting_grid.h"

class QTabBar;
class QLineEdit;

namespace ui {

class TParamForm : public QWidget, public SettingGridOwner {
  Q_OBJECT
 public:
  explicit TParamForm(QWidget* owner);

  SettingGrid* parGrid;
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
  bool parGridSelectCell(int column, int row) override;
  EditorOpening parGridGetEditMask(int column, int row) override;
  void parGridSetEditText(int column, int row, const QString& text, bool closing) override;
  void parGridDrawCell(QPainter* painter, int column, int row, const QRect& rect) override;
  Qt::CursorShape parGridMouseMove(int column, int row) const override;

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

  bool quiet_ = false;       // programmatic selection and tab changes
  bool committing_ = false;  // a commit is showing its message boxes
  int tabCount_ = 0;
};

}  // namespace ui
