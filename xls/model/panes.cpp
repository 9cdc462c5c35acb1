#include "xls/model/panes.h"

#include <cmath>

#include "xls/model/worksheet.h"

namespace xls {

void TXLSPanes::Clear() {
  frozen_ = false;
  hasPanes_ = false;
  columnSplit_ = 0;
  rowSplit_ = 0;
  topRow_ = 0;
  leftColumn_ = 0;
  activePane_ = 3;
}

void TXLSPanes::DefaultSplit() {
  IXLSRange sel = sheet_->GetSelection();
  std::int32_t rows = sel->GetRow() - sheet_->GetScrollRow();
  if (rows < 0 || rows > 20) rows = 0;
  std::int32_t columns = sel->GetColumn() - sheet_->GetScrollColumn();
  if (columns < 0 || columns > 10) columns = 0;
  if (rows == 0 && columns == 0) rows = columns = 1;
  columnSplit_ = columns;
  rowSplit_ = rows;
  topRow_ = rows;
  leftColumn_ = columns;
  hasPanes_ = true;
}

void TXLSPanes::SetSplit(bool on) {
  if (!on && hasPanes_) {
    columnSplit_ = 0;
    rowSplit_ = 0;
    hasPanes_ = false;
    frozen_ = false;
  } else if (on && !hasPanes_) {
    DefaultSplit();
  }
}

void TXLSPanes::SetFrozen(bool on) {
  if (!on) {
    frozen_ = false;
    return;
  }
  if (frozen_) return;
  if (!hasPanes_) DefaultSplit();
  frozen_ = true;
  columnSplit_ = std::ceil(columnSplit_);
  rowSplit_ = std::ceil(rowSplit_);
}

void TXLSPanes::SetSplitPosition(double columns, double rows) {
  if (columns == 0 && rows == 0) {
    SetSplit(false);
    return;
  }
  if (!hasPanes_) DefaultSplit();
  if (!(columns >= 0)) columns = 0;  // negative and NaN
  if (!(rows >= 0)) rows = 0;
  if (columns > 255) columns = 255;
  if (rows > 65535) rows = 65535;
  const std::int32_t top = sheet_->GetScrollRow();
  const std::int32_t left = sheet_->GetScrollColumn();
  if (frozen_) {
    columns = std::ceil(columns);
    rows = std::ceil(rows);
    columnSplit_ = columns;
    rowSplit_ = rows;
    SetTopRow(top - 1 + static_cast<std::int32_t>(rows));
    SetLeftColumn(left - 1 + static_cast<std::int32_t>(columns));
  } else {
    columnSplit_ = columns;
    rowSplit_ = rows;
    SetTopRow(static_cast<std::int32_t>(std::floor(rows)) + top - 1);
    SetLeftColumn(static_cast<std::int32_t>(std::floor(columns)) + left - 1);
  }
}

void TXLSPanes::SetTopRow(std::int32_t row) {
  if (row >= 0 && row <= 65535) topRow_ = row;
}

void TXLSPanes::SetLeftColumn(std::int32_t column) {
  if (column >= 0 && column <= 255) leftColumn_ = column;
}

std::unique_ptr<TXLSBlob> TXLSPanes::BuildPane() {
  if (!hasPanes_) return nullptr;
  // Half-way values round to even, as the stored offsets always have.
  auto roundEven = [](double v) { return static_cast<std::int32_t>(std::nearbyint(v)); };
  std::int32_t x = 0, y = 0;
  if (frozen_) {
    x = roundEven(columnSplit_);
    y = roundEven(rowSplit_);
  } else {
    const TXLSColumnInfoList& cols = sheet_->ColumnInfo();
    std::int32_t c = sheet_->GetScrollColumn() - 1;
    if (cols.GetFirstVisibleColumn() > c) c = cols.GetFirstVisibleColumn();
    double w = 0;
    std::int32_t whole = static_cast<std::int32_t>(std::floor(columnSplit_));
    for (std::int32_t n = 0; n < whole && c <= 255; ++c) {
      if (cols.IsHidden(c)) continue;
      w += cols.GetColumnWidth(c);
      ++n;
    }
    while (c <= 255 && cols.IsHidden(c)) ++c;
    if (c <= 255) w += (columnSplit_ - whole) * cols.GetColumnWidth(c);
    x = w == 0 ? 0 : roundEven(390 + 113.879 * w);

    const TXLSRowInfoList& rows = sheet_->RowInfo();
    std::int32_t r = sheet_->GetScrollRow() - 1;
    if (rows.GetFirstVisibleRow() > r) r = rows.GetFirstVisibleRow();
    double h = 0;
    std::int32_t wholeRows = static_cast<std::int32_t>(std::floor(rowSplit_));
    for (std::int32_t n = 0; n < wholeRows && r <= 65535; ++r) {
      if (rows.IsHidden(r)) continue;
      h += rows.GetRowHeight(r);
      ++n;
    }
    while (r <= 65535 && rows.IsHidden(r)) ++r;
    if (r <= 65535) h += (rowSplit_ - wholeRows) * rows.GetRowHeight(r);
    y = h == 0 ? 0 : roundEven(255 + 20 * h);
  }
  activePane_ = x > 0 && y > 0 ? 0 : (x > 0 ? 1 : (y > 0 ? 2 : 3));
  auto b = std::make_unique<TXLSBlob>(14);
  b->AddWord(0x0041);
  b->AddWord(10);
  b->AddWord(static_cast<std::uint32_t>(x));
  b->AddWord(static_cast<std::uint32_t>(y));
  b->AddWord(static_cast<std::uint32_t>(topRow_ < 0 ? 0 : topRow_));
  b->AddWord(static_cast<std::uint32_t>(leftColumn_ < 0 ? 0 : leftColumn_));
  b->AddWord(static_cast<std::uint32_t>(activePane_));
  return b;
}

}  // namespace xls
