#include "ui/common/grid_look.h"

#include <QPainter>
#include <QTabBar>
#include <QTableWidget>
#include <algorithm>
#include <cmath>

namespace ui {

QString HeaderText(const QFontMetrics& metrics, const QString& text, int width) {
  return metrics.elidedText(text, Qt::ElideRight, std::max(0, width - 4));
}

std::vector<int> ShareColumnWidths(const std::vector<int>& needs, int room) {
  const int n = static_cast<int>(needs.size());
  if (n == 0) return {};
  std::vector<bool> own(needs.size(), false);  // the columns that take what they need
  int taken = 0, sharing = n;
  for (bool changed = true; changed && sharing > 0;) {
    changed = false;
    const int share = (room - taken) / sharing;
    for (std::size_t c = 0; c < needs.size(); ++c)
      if (!own[c] && needs[c] > share) {
        own[c] = true;
        taken += needs[c];
        --sharing;
        changed = true;
      }
  }
  if (sharing == 0 || taken > room) return std::vector<int>(needs.size(), room / n);
  const int share = (room - taken) / sharing;
  std::vector<int> widths(needs.size());
  for (std::size_t c = 0; c < needs.size(); ++c) widths[c] = own[c] ? needs[c] : share;
  return widths;
}

int HeaderNeeds(QFont font, const QString& text) {
  font.setBold(true);
  // The text is cut when its exact width, not the rounded one, exceeds the cell less 4 pixels.
  return static_cast<int>(std::ceil(QFontMetricsF(font).horizontalAdvance(text))) + 4;
}

void DrawHeaderCell(QPainter* painter, const QRect& rect, const QString& text, QFont font) {
  painter->save();
  painter->fillRect(rect, kHeaderCream);
  font.setBold(true);
  painter->setFont(font);
  painter->setPen(Qt::black);
  painter->setClipRect(rect);
  const QFontMetrics metrics(font);
  const QString shown = HeaderText(metrics, text, rect.width());
  const int x = rect.left() + rect.width() / 2 - metrics.horizontalAdvance(shown) / 2;
  painter->drawText(x, rect.top() + 2 + metrics.ascent(), shown);
  painter->setPen(QColor(160, 160, 160));
  painter->drawLine(rect.topRight(), rect.bottomRight());
  painter->drawLine(rect.bottomLeft(), rect.bottomRight());
  painter->restore();
}

void DrawCellText(QPainter* painter, const QRect& rect, const QString& text, const QFont& font, const QColor& color) {
  painter->save();
  painter->setClipRect(rect);
  painter->setFont(font);
  painter->setPen(color);
  const QFontMetrics metrics(font);
  painter->drawText(rect.left() + 2, rect.top() + 2 + metrics.ascent(), text);
  painter->restore();
}

CreamHeaderView::CreamHeaderView(QWidget* parent) : QHeaderView(Qt::Horizontal, parent) {
  setSectionsClickable(false);
  setHighlightSections(false);
}

void CreamHeaderView::paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const {
  const QString text = model() ? model()->headerData(logicalIndex, Qt::Horizontal).toString() : QString();
  QFont f = font();
  if (parentWidget()) f = parentWidget()->font();
  DrawHeaderCell(painter, rect, text, f);
}

OwnerDrawDelegate::OwnerDrawDelegate(QObject* parent, Painter paint)
    : QStyledItemDelegate(parent), paint_(std::move(paint)) {}

void OwnerDrawDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
  paint_(painter, index.column(), index.row(), option.rect);
}

void SetUpDocumentGrid(QTableWidget* grid, int columns, int pixelSize) {
  auto* header = new CreamHeaderView(grid);
  grid->setHorizontalHeader(header);
  grid->setColumnCount(columns);
  grid->verticalHeader()->hide();
  grid->verticalHeader()->setDefaultSectionSize(pixelSize + 8);
  grid->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  grid->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  grid->setShowGrid(true);
  grid->setWordWrap(false);
  grid->setSelectionMode(QAbstractItemView::SingleSelection);
  QFont f("Courier New");
  f.setStyleHint(QFont::TypeWriter);
  f.setPixelSize(pixelSize);
  grid->setFont(f);
  header->setFixedHeight(pixelSize + 10);
  header->setSectionResizeMode(QHeaderView::Fixed);
  header->setMinimumSectionSize(0);
}

QString GridCell(const QTableWidget* grid, int column, int row) {
  const QTableWidgetItem* item = row == 0 ? grid->horizontalHeaderItem(column) : grid->item(row - 1, column);
  return item ? item->text() : QString();
}

void SetGridCell(QTableWidget* grid, int column, int row, const QString& text, Qt::ItemFlags flags) {
  QTableWidgetItem* item = grid->item(row - 1, column);
  if (!item) {
    item = new QTableWidgetItem;
    item->setFlags(flags);
    grid->setItem(row - 1, column, item);
  }
  item->setText(text);
}

QTabBar* MakeTabStrip(QWidget* parent, int pixelSize) {
  auto* tabs = new QTabBar(parent);
  tabs->setObjectName("TabControl");
  tabs->setFixedHeight(41);
  QFont font("MS Sans Serif");
  font.setPixelSize(pixelSize);
  font.setBold(true);
  tabs->setFont(font);
  tabs->setExpanding(false);
  tabs->hide();
  return tabs;
}

}  // namespace ui
