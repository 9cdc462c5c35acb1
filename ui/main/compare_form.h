// The compare view: the open compare document as a read-only grid inside the main window, one
// tab per display group, with columns by the kind of comparison.
#pragma once

#include <QWidget>
#include <array>
#include <cstdint>

class QTabBar;
class QTableWidget;

namespace ui {

class TCompareForm : public QWidget {
  Q_OBJECT
 public:
  explicit TCompareForm(QWidget* owner);

  QTableWidget* compGrid;
  QTabBar* TabControl;
  std::int32_t CurrentRow = 1;
  std::array<std::uint8_t, 9> TabGroups{};

  void SetHeaders();
  void FillGrid();

  // The kind shown: 0, 1, or 2 for every kind above 1.
  int Kind() const;
  int ColumnCount() const;
  // Row 0 is the header row; data rows start at 1.
  int RowCount() const;
  QString Cell(int column, int row) const;
  int TabCount() const { return tabCount_; }

  void compGridDrawCell(QPainter* painter, int column, int row, const QRect& rect);

 public slots:
  void TabControlChange();
  void LanguageChanged();

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  void SetCell(int column, int row, const QString& text);
  void SetHead(int column, const QString& text);
  void FormResize();
  int tabCount_ = 0;
  bool quiet_ = false;
};

}  // namespace ui
