#include "xls/formula/syntax_tree.h"

#include <algorithm>

namespace xls {

TXLSSyntaxItem* TXLSSyntaxItem::Child(int i) const {
  if (i < 1 || i > ChildCount()) return nullptr;
  return children_[static_cast<size_t>(i - 1)].get();
}

TXLSSyntaxItem* TXLSSyntaxItem::AddChild(std::unique_ptr<TXLSSyntaxItem> child) {
  child->parent = this;
  height_ = std::max(height_, child->height_ + 1);
  children_.push_back(std::move(child));
  return children_.back().get();
}

TXLSSyntaxItem* TXLSSyntaxItem::InsertChild(std::unique_ptr<TXLSSyntaxItem> child) {
  child->parent = this;
  height_ = std::max(height_, child->height_ + 1);
  children_.insert(children_.begin(), std::move(child));
  return children_.front().get();
}

namespace {

std::unique_ptr<TXLSSyntaxItem> CopyNode(const TXLSSyntaxItem& node) {
  auto copy = std::make_unique<TXLSSyntaxItem>(node.kind);
  copy->text = node.text;
  copy->number = node.number;
  copy->value = node.value;
  copy->rawToken = node.rawToken;
  if (node.range) copy->range = std::make_unique<TXLSRangeItem>(*node.range);
  return copy;
}

template <typename Adjust>
std::unique_ptr<TXLSSyntaxItem> CopyTree(const TXLSSyntaxItem& node, const Adjust& adjust) {
  auto copy = CopyNode(node);
  if (copy->range && copy->kind == kNodeReference) adjust(*copy->range);
  for (int i = 1; i <= node.ChildCount(); ++i) copy->AddChild(CopyTree(*node.Child(i), adjust));
  return copy;
}

void OrderCorners(TXLSRangeItem& r) {
  if (r.firstRow > r.lastRow) {
    std::swap(r.firstRow, r.lastRow);
    std::swap(r.firstRowAbs, r.lastRowAbs);
  }
  if (r.firstCol > r.lastCol) {
    std::swap(r.firstCol, r.lastCol);
    std::swap(r.firstColAbs, r.lastColAbs);
  }
}

constexpr int kLineDeleted = -1;

// Where row or column v goes when |delta| lines are inserted (delta > 0) or deleted (delta < 0)
// at start; kLineDeleted when v is one of the deleted lines.
int Shift(int v, int delta, int start) {
  if (v < start) return v;
  if (delta < 0 && v < start - delta) return kLineDeleted;
  return v + delta;
}

// An area's first corner inside the deleted lines moves to the first line after them (now at
// start), its last corner to the line before them: the area shrinks to what is left of it.
int ShiftFirst(int v, int delta, int start) {
  const int moved = Shift(v, delta, start);
  return moved == kLineDeleted ? start : moved;
}

int ShiftLast(int v, int delta, int start) {
  const int moved = Shift(v, delta, start);
  return moved == kLineDeleted ? start - 1 : moved;
}

}  // namespace

std::unique_ptr<TXLSSyntaxItem> TXLSSyntaxItem::Copy() const {
  return CopyTree(*this, [](TXLSRangeItem&) {});
}

void MoveRangeItem(TXLSRangeItem& r, int rows, int columns) {
  if (r.offset) return;
  if (!r.firstRowAbs) r.firstRow += rows;
  if (!r.firstColAbs) r.firstCol += columns;
  if (r.IsArea()) {
    if (!r.lastRowAbs) r.lastRow += rows;
    if (!r.lastColAbs) r.lastCol += columns;
  } else {
    r.lastRow = r.firstRow;
    r.lastCol = r.firstCol;
    r.lastRowAbs = r.firstRowAbs;
    r.lastColAbs = r.firstColAbs;
  }
  OrderCorners(r);
}

std::unique_ptr<TXLSSyntaxItem> TXLSSyntaxItem::CopyMoved(int rows, int columns) const {
  return CopyTree(*this, [rows, columns](TXLSRangeItem& r) { MoveRangeItem(r, rows, columns); });
}

std::unique_ptr<TXLSSyntaxItem> TXLSSyntaxItem::CopyShifted(int row, int column, int columnCount,
                                                            int rowCount, int lastColumn,
                                                            int lastRow) const {
  return CopyTree(*this, [=](TXLSRangeItem& r) {
    if (r.offset || r.IsInvalid()) return;
    const TXLSRangeItem o = r;
    const bool area = o.IsArea();
    const int oLastRow = area ? o.lastRow : o.firstRow;
    const int oLastCol = area ? o.lastCol : o.firstCol;
    const bool wholeColumn = area && o.firstRow == 0 && o.lastRow == kMaxRow;
    const bool wholeRow = area && o.firstCol == 0 && o.lastCol == kMaxColumn;
    // A cell in deleted rows or columns is gone (#REF!); an area loses its deleted part and is
    // gone when nothing of it is left.
    bool gone = false;
    if (rowCount != 0 && !wholeColumn && row <= o.firstRow && column <= o.firstCol &&
        lastColumn >= oLastCol) {
      r.firstRow = area ? ShiftFirst(o.firstRow, rowCount, row) : Shift(o.firstRow, rowCount, row);
      gone = gone || r.firstRow == kLineDeleted;
    }
    if (columnCount != 0 && !wholeRow && column <= o.firstCol && row <= o.firstRow &&
        lastRow >= oLastRow) {
      r.firstCol = area ? ShiftFirst(o.firstCol, columnCount, column) : Shift(o.firstCol, columnCount, column);
      gone = gone || r.firstCol == kLineDeleted;
    }
    if (area) {
      if (rowCount != 0 && !wholeColumn && row <= o.lastRow && column <= o.firstCol &&
          lastColumn >= o.lastCol) {
        r.lastRow = std::min(ShiftLast(o.lastRow, rowCount, row), kMaxRow);
      }
      if (columnCount != 0 && !wholeRow && column <= o.lastCol && row <= o.firstRow &&
          lastRow >= o.lastRow) {
        r.lastCol = std::min(ShiftLast(o.lastCol, columnCount, column), kMaxColumn);
      }
      if (r.firstRow == r.lastRow && r.firstCol == r.lastCol) {
        r.kind = r.kind == kRangeArea ? kRangeCell : kRangeCell3d;
      }
    } else if (gone) {
      // Keep the old position: only the kind says the cell is gone.
      r.firstRow = o.firstRow;
      r.firstCol = o.firstCol;
      r.kind += kRangeInvalid;
    }
    if (!area) {
      r.lastRow = r.firstRow;
      r.lastCol = r.firstCol;
    }
    if (r.IsInvalid()) return;
    if (r.firstRow > r.lastRow || r.firstCol > r.lastCol || r.firstRow < 0 || r.firstCol < 0 ||
        r.lastRow > kMaxRow || r.lastCol > kMaxColumn) {
      r.kind += kRangeInvalid;
    }
  });
}

std::unique_ptr<TXLSSyntaxItem> TXLSSyntaxStack::Pop() {
  if (items_.empty()) return nullptr;
  auto node = std::move(items_.back());
  items_.pop_back();
  return node;
}

bool TXLSSyntaxStack::PopInto(TXLSSyntaxItem& node, int count) {
  if (count < 0 || count > Count()) return false;
  node.children_.reserve(node.children_.size() + static_cast<size_t>(count));
  const auto first = items_.end() - count;
  for (auto it = first; it != items_.end(); ++it) node.AddChild(std::move(*it));
  items_.erase(first, items_.end());
  return true;
}

}  // namespace xls
