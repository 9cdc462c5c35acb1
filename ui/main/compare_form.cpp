#include "ui/main/compare_form.h"

#include <QHeaderView>
#include <QPainter>
#include <QTabBar>
#include <QTableWidget>
#include <QVBoxLayout>

#include "core/common.h"
#include "ui/common/grid_look.h"
#include "ui/common/page_keys.h"
#include "ui/common/qt_text.h"

namespace ui {

TCompareForm::TCompareForm(QWidget* owner) : QWidget(owner) {
  setObjectName("CompareForm");
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  TabControl = MakeTabStrip(this, 16);
  compGrid = new QTableWidget(this);
  compGrid->setObjectName("compGrid");
  layout->addWidget(TabControl);
  layout->addWidget(compGrid);

  const auto& s = core::State();
  const auto& h = s.CmpHeader;
  SetUpDocumentGrid(compGrid, ColumnCount(), 16);
  compGrid->setItemDelegate(new OwnerDrawDelegate(compGrid, [this](QPainter* p, int column, int row, const QRect& r) {
    compGridDrawCell(p, column, row + 1, r);
  }));
  compGrid->setEditTriggers(QAbstractItemView::NoEditTriggers);
  compGrid->setSelectionBehavior(QAbstractItemView::SelectRows);
  compGrid->setRowCount(1);
  for (int c = 0; c < ColumnCount(); ++c) {
    compGrid->setHorizontalHeaderItem(c, new QTableWidgetItem);
    SetCell(c, 1, QString());
  }

  // The columns and their headers follow the kind of comparison; then one tab per display group.
  CurrentRow = 1;
  if (Kind() == 1) {
    SetHead(3, ShortName(Qs(h.fileNames[0].view())));
    SetHead(4, ShortName(Qs(h.fileNames[1].view())));
  } else if (Kind() == 2) {
    for (int f = 0; f < 3; ++f) {
      QString name = ShortName(Qs(h.fileNames[f].view()));
      if (f > 0 && name.isEmpty()) name = "------";
      SetHead(4 + f, name);
    }
  }
  core::State().DocumentModified = false;
  const std::array<bool, 9> present = core::DisplayGroupsUsed(s.CompareRecords);
  quiet_ = true;
  for (int g = 1; g <= 9; ++g)
    if (present[g - 1]) {
      TabGroups[tabCount_++] = static_cast<std::uint8_t>(g);
      TabControl->addTab(MenuText(PageCaption(static_cast<int>(h.model), g)));
    }
  if (tabCount_ > 0) TabControl->setCurrentIndex(0);
  quiet_ = false;
  TabControl->setVisible(tabCount_ >= 2);
  connect(TabControl, &QTabBar::currentChanged, this, [this] {
    if (!quiet_) TabControlChange();
  });
  AddPageKeys(this, TabControl);
  SetHeaders();
  FillGrid();
}

int TCompareForm::Kind() const {
  const int kind = core::State().CmpHeader.kind;
  return kind >= 2 ? 2 : kind;
}

int TCompareForm::ColumnCount() const { return Kind() == 2 ? 7 : 5; }

void TCompareForm::SetHeaders() {
  for (int c = 0; c < 3; ++c) SetHead(c, L(81 + c));
  if (Kind() != 1) SetHead(3, L(85));
  if (Kind() == 0)
    SetHead(4, L(80) + QString("_%1").arg(static_cast<int>(core::State().CmpHeader.station), 3, 10, QChar('0')));
}

void TCompareForm::FillGrid() {
  const auto& records = core::State().CompareRecords;
  const int tab = TabControl->currentIndex();
  const int group = tab >= 0 && tab < tabCount_ ? TabGroups[tab] : 0;
  int n = 0;
  for (const auto& r : records) {
    if (group == 0 || r.displayGroup != group) continue;
    ++n;
    compGrid->setRowCount(n);
    const int d = r.decimals;
    QString cells[7] = {Description(r), Qs(r.code.view()), Qs(r.unit.view())};
    if (Kind() == 1) {
      cells[3] = FormatNumber(d, r.values[0]);
      cells[4] = FormatNumber(d, r.values[1]);
    } else {
      cells[3] = FormatNumber(d, r.defaultValue);
      for (int v = 0; v < (Kind() == 2 ? 3 : 1); ++v) cells[4 + v] = FormatNumber(d, r.values[v]);
    }
    for (int c = 0; c < ColumnCount(); ++c) SetCell(c, n, cells[c]);
  }
  compGrid->viewport()->update();
}

int TCompareForm::RowCount() const { return compGrid->rowCount() + 1; }

QString TCompareForm::Cell(int column, int row) const { return GridCell(compGrid, column, row); }

void TCompareForm::SetCell(int column, int row, const QString& text) { SetGridCell(compGrid, column, row, text); }

void TCompareForm::SetHead(int column, const QString& text) {
  if (QTableWidgetItem* head = compGrid->horizontalHeaderItem(column)) head->setText(text);
}

void TCompareForm::compGridDrawCell(QPainter* painter, int column, int row, const QRect& rect) {
  const QString text = Cell(column, row);
  const QFont& font = compGrid->font();
  if (row == CurrentRow) {
    painter->fillRect(rect, kCurrentBlue);
    if (ColumnCount() == 7 && column == 6) {
      painter->save();
      painter->setPen(QPen(Qt::black, 1));
      painter->drawRect(rect.adjusted(0, 0, -1, -1));
      painter->restore();
    }
    DrawCellText(painter, rect, text, font, Qt::white);
    return;
  }
  painter->fillRect(rect, Qt::white);
  const bool defaultColumn = column == 3 && Kind() != 1;
  DrawCellText(painter, rect, text, font, defaultColumn ? kDefaultRed : QColor(Qt::black));
}

void TCompareForm::TabControlChange() { FillGrid(); }

void TCompareForm::LanguageChanged() {
  SetHeaders();
  FillGrid();
}

void TCompareForm::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  FormResize();
}

void TCompareForm::FormResize() {
  const int w = compGrid->width();
  const int columns = ColumnCount();
  const int q = columns == 5 ? (w - 8) / 6 : (w - 10) / 8;
  compGrid->setColumnWidth(0, 2 * q);
  for (int c = 1; c < columns; ++c) compGrid->setColumnWidth(c, q);
}

}  // namespace ui
