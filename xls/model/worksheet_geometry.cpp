// Sizes and walks in points over the sheet's columns and rows, which turn shape positions
// into cell anchors and back.
#include <algorithm>
#include <cmath>

#include "xls/model/worksheet.h"

namespace xls {

namespace {

constexpr double kCommentGap = 10.5;  // points between a cell and its comment box

// A walk over sizes(i) for i from `from` by `step` (+1 or -1) within 0..last until the sum
// reaches distance; units is 1024 (columns) or 256 (rows).
template <typename Size>
bool Walk(std::int32_t from, double distance, std::int32_t last, double units, Size size,
          std::int32_t& reached, std::int32_t& offset) {
  const std::int32_t step = distance < 0 ? -1 : 1;
  const double wanted = std::fabs(distance);
  double before = 0;
  for (std::int32_t i = from + step; i >= 0 && i <= last; i += step) {
    double s = size(i);
    if (s <= 0) continue;  // hidden
    if (before + s >= wanted) {
      double fraction = (wanted - before) / s;
      if (step < 0) fraction = 1 - fraction;
      reached = i;
      offset = static_cast<std::int32_t>(std::lround(fraction * units));
      return true;
    }
    before += s;
  }
  return false;
}

}  // namespace

bool IXLSWorksheet::WalkColumns(std::int32_t column, double distance, std::int32_t& reached,
                                std::int32_t& offset) const {
  return Walk(column, distance, 255, 1024.0, [this](std::int32_t c) { return ColumnWidthPoints(c); },
              reached, offset);
}

bool IXLSWorksheet::WalkRows(std::int32_t row, double distance, std::int32_t& reached,
                             std::int32_t& offset) const {
  return Walk(row, distance, 65535, 256.0, [this](std::int32_t r) { return RowHeightPoints(r); },
              reached, offset);
}

XLSAnchor IXLSWorksheet::GetCommentAnchor(std::int32_t row, std::int32_t column, double width,
                                          double height) const {
  XLSAnchor a;
  width = std::max(width, 0.0);
  height = std::max(height, 0.0);
  // Columns: right of the cell, else left of it, else a fixed place beside it.
  if (!(WalkColumns(column, kCommentGap, a.column1, a.columnOffset1) &&
        WalkColumns(column, kCommentGap + width, a.column2, a.columnOffset2)) &&
      !(WalkColumns(column, -(kCommentGap + width), a.column1, a.columnOffset1) &&
        WalkColumns(column, -kCommentGap, a.column2, a.columnOffset2))) {
    a.column1 = column >= 253 ? column - 1 : column + 1;
    a.columnOffset1 = 192;
    a.column2 = a.column1 + 1;
    a.columnOffset2 = 806;
  }
  // Rows: from just above the cell's top edge down; else below the cell; else above it;
  // else a fixed place.
  bool placed = WalkRows(row, -kCommentGap, a.row1, a.rowOffset1) &&
                WalkRows(row - 1, std::max(height - kCommentGap, 0.0), a.row2, a.rowOffset2);
  if (!placed && row < 65535) {
    a.row1 = row + 1;
    a.rowOffset1 = 0;
    placed = WalkRows(row, height, a.row2, a.rowOffset2);
  }
  if (!placed) {
    placed = WalkRows(row, -(height + 5), a.row1, a.rowOffset1) && WalkRows(row, -5, a.row2, a.rowOffset2);
  }
  if (!placed) {
    a.row1 = row >= 65532 ? row - 4 : (row == 0 ? 0 : row - 1);
    a.rowOffset1 = 105;
    a.row2 = a.row1 + 4;
    a.rowOffset2 = 196;
  }
  // A box never ends before it starts (a box of no height over hidden rows would).
  if (a.row2 < a.row1 || (a.row2 == a.row1 && a.rowOffset2 < a.rowOffset1)) {
    a.row2 = a.row1;
    a.rowOffset2 = a.rowOffset1;
  }
  if (a.column2 < a.column1 || (a.column2 == a.column1 && a.columnOffset2 < a.columnOffset1)) {
    a.column2 = a.column1;
    a.columnOffset2 = a.columnOffset1;
  }
  return a;
}

void IXLSWorksheet::PositionToAnchor(XLSAnchor& a, double width, double height) const {
  // Across: the first column gives only its part right of the start offset.
  std::int32_t c = a.column1;
  double start = a.columnOffset1 / 1024.0;
  double fraction = 1;
  double w = ColumnWidthPoints(c);
  double left = w * (1 - start);
  if (w > 0 && width <= left) {
    fraction = start + width / w;
  } else {
    double remaining = width - (w > 0 ? left : 0);
    for (++c; c <= 255; ++c) {
      w = ColumnWidthPoints(c);
      if (w <= 0) continue;
      if (remaining <= w) break;
      remaining -= w;
    }
    if (c > 255) {
      c = 255;
      fraction = 1;
    } else {
      fraction = remaining / w;
    }
  }
  a.column2 = c;
  a.columnOffset2 = static_cast<std::int32_t>(std::lround(std::min(fraction, 1.0) * 1024));

  // Down: whole rows from the first one.
  std::int32_t r = a.row1;
  double remaining = height;
  double rowFraction = 1;
  for (; r <= 65535; ++r) {
    double h = RowHeightPoints(r);
    if (h <= 0) continue;
    if (remaining <= h) {
      rowFraction = remaining / h;
      break;
    }
    remaining -= h;
  }
  if (r >= 65535) {
    r = 65534;
    rowFraction = 1;
  }
  a.row2 = r;
  a.rowOffset2 = static_cast<std::int32_t>(std::lround(std::min(rowFraction, 1.0) * 256));
}

void IXLSWorksheet::AnchorToSize(const XLSAnchor& a, double& width, double& height) const {
  if (a.column2 < a.column1 || a.row2 < a.row1 || a.columnOffset1 > 1024 || a.columnOffset2 > 1024 ||
      a.rowOffset2 > 256 || a.column1 < 0 || a.column2 > 255 || a.row1 < 0 || a.row2 > 65535) {
    width = height = 10;
    return;
  }
  width = 0;
  for (std::int32_t c = a.column1; c <= a.column2; ++c) width += ColumnWidthPoints(c);
  width -= ColumnWidthPoints(a.column1) * a.columnOffset1 / 1024.0;
  width -= ColumnWidthPoints(a.column2) * (1 - a.columnOffset2 / 1024.0);
  height = 0;
  for (std::int32_t r = a.row1; r <= a.row2; ++r) height += RowHeightPoints(r);
  height -= RowHeightPoints(a.row2) * (1 - a.rowOffset2 / 256.0);
}

void IXLSWorksheet::GetSelectionCell(std::int32_t& row, std::int32_t& column) const {
  row = selection_->GetFirstRow();
  column = selection_->GetFirstCol();
}

}  // namespace xls
