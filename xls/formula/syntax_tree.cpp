#include "xls/formula/syntax_tree.h"

#include <algorithm>

#include "xls/model/cell_address.h"

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
  const TXLSCellShift shift{row, column, columnCount, rowCount, lastColumn, lastRow};
  return CopyTree(*this, [&shift](TXLSRangeItem& r) {
    if (r.offset || r.IsInvalid()) return;
    const bool area = r.IsArea();
    int r1 = r.firstRow, c1 = r.firstCol, r2 = area ? r.lastRow : r.firstRow, c2 = area ? r.lastCol : r.firstCol;
    const bool kept = ShiftReference(r1, c1, r2, c2, area, shift);
    if (!kept) {
      // A cell keeps its old position (only the kind says it is gone); an area what is left.
      if (area) r.firstRow = r1, r.firstCol = c1, r.lastRow = r2, r.lastCol = c2;
      r.kind += kRangeInvalid;
      return;
    }
    r.firstRow = r1, r.firstCol = c1, r.lastRow = r2, r.lastCol = c2;
    if (area && r1 == r2 && c1 == c2) r.kind = r.kind == kRangeArea ? kRangeCell : kRangeCell3d;
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
