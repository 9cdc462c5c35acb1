// The owner-drawn look shared by the document grids: the cream bold header row and cells that
// the owning view paints itself through a callback.
#pragma once

#include <QHeaderView>
#include <QStyledItemDelegate>
#include <functional>
#include <vector>

class QTabBar;
class QTableWidget;

namespace ui {

inline const QColor kHeaderCream(255, 251, 240);
inline const QColor kCurrentBlue(0, 0, 255);
inline const QColor kDefaultRed(255, 0, 0);
inline const QColor kUnknownOrange(200, 90, 0);  // a setting whose value in the drive is unknown

// The header text as drawn in a cell `width` pixels wide: whole when it fits with 2 pixels on
// each side, else cut with an ellipsis.
QString HeaderText(const QFontMetrics& metrics, const QString& text, int width);
// The widths of columns that share `room` pixels: equal shares, except that a column whose
// header needs more than its share (`needs`, in pixels) gets what it needs and the others share
// the rest; when the room cannot give every column what it needs, equal shares.
std::vector<int> ShareColumnWidths(const std::vector<int>& needs, int room);
// What a header text needs in a cell: its width in the bold header font and 2 pixels each side.
int HeaderNeeds(QFont gridFont, const QString& text);
// Draws a header cell: cream fill, black bold text centred horizontally, 2 pixels from the top,
// clipped to the cell.
void DrawHeaderCell(QPainter* painter, const QRect& rect, const QString& text, QFont font);
// Draws a cell's text at (left + 2, top + 2) in `color`.
void DrawCellText(QPainter* painter, const QRect& rect, const QString& text, const QFont& font, const QColor& color);

class CreamHeaderView : public QHeaderView {
  Q_OBJECT
 public:
  explicit CreamHeaderView(QWidget* parent);

 protected:
  void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override;
};

// Paints every cell through `paint` (column, row of the model, rectangle).
class OwnerDrawDelegate : public QStyledItemDelegate {
  Q_OBJECT
 public:
  using Painter = std::function<void(QPainter*, int column, int row, const QRect&)>;
  OwnerDrawDelegate(QObject* parent, Painter paint);
  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;

 private:
  Painter paint_;
};

// Sets up a table as a document grid: header row, no row header, grid lines, vertical scroll
// bar only, fixed-pitch font of `pixelSize` pixels.
void SetUpDocumentGrid(QTableWidget* grid, int columns, int pixelSize);

// A document grid's text in the row numbers its window uses: row 0 is the header row, data rows
// start at 1; empty where there is no item.
QString GridCell(const QTableWidget* grid, int column, int row);
// Sets the text of data row `row` (from 1), first making the cell's item with `flags` when it has none.
void SetGridCell(QTableWidget* grid, int column, int row, const QString& text,
                 Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable);

// The hidden tab strip above a document grid: 41 pixels high, bold text of `pixelSize` pixels.
QTabBar* MakeTabStrip(QWidget* parent, int pixelSize);

}  // namespace ui
