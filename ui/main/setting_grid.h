// The grid of document lines whose setting column is edited, shared by the parameter view and
// the favourites window, and the edit rules both apply to a setting cell.
#pragma once

#include <QString>
#include <QTableWidget>
#include <array>

#include "core/records.h"

class QLineEdit;

namespace ui {

// Column 0 holds the document line's index (hidden), column 6 its setting.
inline constexpr int kSettingColumn = 6;

// Whether the editor of a setting cell may open, and whether a password box came first.
enum class EditorOpening { Refused, Open, OpenAfterPassword };

// What the grid asks of the window that owns it, in the grid's own row numbers (row 0 the header).
class SettingGridOwner {
 public:
  virtual bool parGridSelectCell(int column, int row) = 0;
  virtual EditorOpening parGridGetEditMask(int column, int row) = 0;
  virtual void parGridSetEditText(int column, int row, const QString& text, bool closing) = 0;
  virtual void parGridDrawCell(QPainter* painter, int column, int row, const QRect& rect) = 0;
  virtual Qt::CursorShape parGridMouseMove(int column, int row) const = 0;

 protected:
  ~SettingGridOwner() = default;
};

// The grid: asks its owner before an editor opens, passes every keystroke and the closing commit
// of the editor to the owner, and lets the owner close the editor from outside. A key that made
// the owner ask for a password is not typed into the editor that opens after the box: the
// editor shows the cell's own text, selected, as after a refused password the key is dropped.
class SettingGrid : public QTableWidget {
  Q_OBJECT
 public:
  // A document grid (7 columns, fixed-pitch font of `pixelSize` pixels) named "parGrid".
  SettingGrid(SettingGridOwner* owner, QWidget* parent, int pixelSize);
  bool EditorOpen() const { return editor_ != nullptr; }
  QLineEdit* Editor() const { return editor_; }
  // Closes the open editor, committing its text exactly as leaving the cell does.
  void CommitEditor();
  void SetEditor(QLineEdit* editor) { editor_ = editor; }
  // Opens the editor on the current cell as the edit key does; false when it stays closed.
  bool OpenEditor() { return edit(currentIndex(), EditKeyPressed, nullptr); }
  // The grid in the owner's row numbers.
  QString Cell(int column, int row) const;
  void SetCell(int column, int row, const QString& text);

 protected:
  bool edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) override;
  // A typed key that opened no editor (a refused or cancelled password, a read-only line) is
  // no search for a row whose text starts with it: the selection stays on the line typed on,
  // so the next entry cannot go to another parameter.
  void keyboardSearch(const QString&) override {}
  void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
  // The hint of a marked setting cell (SettingUnknown).
  bool viewportEvent(QEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;

 private:
  SettingGridOwner* owner_;
  QLineEdit* editor_ = nullptr;
};

// The seven cells of document line `index`: index, description, code, unit, range, default, setting.
std::array<QString, 7> SettingRowCells(int index);

// The check of each keystroke in a setting's editor: an empty text and a lone "-" (a negative
// value being typed) pass; a text that reads as a whole number (a line without decimals) or a
// decimal number becomes `lastAccepted`; any other text is replaced by `lastAccepted`, with a beep.
void FilterTypedSetting(const core::ParameterDefinition& line, const QString& text, QString& lastAccepted,
                        QLineEdit* editor);

// Stores the text of a closed editor as the setting of document line `index`: refused with a
// message when out of the line's range (`code` and `range` name it), and with online edit on
// written to the linked drive first (refused with the failure's message when that fails).
// Returns the text the setting cell shows afterwards; `stored` tells whether the line changed.
QString CommitSetting(int index, const QString& text, const QString& textBefore, const QString& code,
                      const QString& range, bool& stored);

// Whether the setting of document line `index` may not be what the linked drive holds: a write
// of it was not confirmed and reading it back failed too (core::ValueUnknown), in a document of
// the linked model. Such a cell is marked until the parameter is read or written again.
bool SettingUnknown(int index);
// The same for the row of a setting grid (its column 0 holds the line's index).
bool SettingUnknown(const SettingGrid& grid, int row);

// Paints a cell of a setting grid: the current row blue with white text up to the default, its
// setting cell framed; defaults red, settings blue; a setting whose value in the drive is unknown
// in dark orange italics, framed with a dashed line.
void DrawSettingCell(QPainter* painter, const QRect& rect, int column, bool currentRow, const QString& text,
                     const QFont& font, bool unknown = false);

}  // namespace ui
