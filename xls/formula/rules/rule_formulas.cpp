#include "xls/formula/rules/rule_formulas.h"

#include <algorithm>
#include <memory>

#include "xls/formula/calc/compiled_formula.h"
#include "xls/formula/extern_sheet.h"
#include "xls/formula/syntax_tree.h"

namespace xls {
namespace {

// Whether a side a1..a2 of the band (-1 open) holds x.
bool Inside(std::int32_t x, std::int32_t a1, std::int32_t a2) { return (a1 < 0 || x >= a1) && (a2 < 0 || x <= a2); }

// An offset of a relative part, wrapped the way the record's field wraps it.
std::int32_t Offset(std::int32_t to, std::int32_t from, std::int32_t lines) {
  std::int32_t d = ((to - from) % lines + lines) % lines;
  return d >= lines / 2 ? d - lines : d;
}

// The references of the shifted tree (taken at the old cell, then moved) as the rule keeps
// them: those not on the moved sheet as they were (from the original tree, same shape), offsets
// again from the cell's new place where the original had offsets.
void Restore(TXLSSyntaxItem& shifted, const TXLSSyntaxItem& original, const TRuleFormulaPlace& place,
             const TXLSExternSheet& externs) {
  if (shifted.range && original.range) {
    const TXLSRangeItem& o = *original.range;
    bool onMoved = place.ownSheet && !o.Is3d();
    if (o.Is3d()) {
      int book = 0, first = 0, last = 0;
      onMoved = externs.IsOwnBook(o.externId) && externs.ResolveEntry(o.externId, book, first, last) == 1 &&
                first == place.movedSheet && last == place.movedSheet;
    }
    if (original.kind != kNodeReference || !onMoved) {
      *shifted.range = o;
    } else if (o.offset) {
      TXLSRangeItem& r = *shifted.range;
      if (!r.firstRowAbs) r.firstRow = Offset(r.firstRow, place.row, 65536);
      if (!r.firstColAbs) r.firstCol = Offset(r.firstCol, place.column, 256);
      if (!r.lastRowAbs) r.lastRow = Offset(r.lastRow, place.row, 65536);
      if (!r.lastColAbs) r.lastCol = Offset(r.lastCol, place.column, 256);
      r.offset = 1;
    }
  }
  for (int i = 1; i <= shifted.ChildCount() && i <= original.ChildCount(); ++i)
    Restore(*shifted.Child(i), *original.Child(i), place, externs);
}

}  // namespace

void OldPosition(const TRuleMove& move, std::int32_t& row, std::int32_t& column) {
  const TRuleBand& b = move.band;
  if (move.rowDelta != 0 && Inside(column, b.firstColumn, b.lastColumn) && b.firstRow >= 0 &&
      row >= b.firstRow + move.rowDelta)
    row -= move.rowDelta;
  if (move.columnDelta != 0 && Inside(row, b.firstRow, b.lastRow) && b.firstColumn >= 0 &&
      column >= b.firstColumn + move.columnDelta)
    column -= move.columnDelta;
}

TRuleFormulaPlace RulePlace(const TRuleMove& move, bool ownSheet, std::int32_t movedSheet, const TCondRange& bounds) {
  TRuleFormulaPlace place;
  place.ownSheet = ownSheet;
  place.movedSheet = movedSheet;
  place.row = place.oldRow = bounds.firstRow;
  place.column = place.oldColumn = bounds.firstColumn;
  if (ownSheet) OldPosition(move, place.oldRow, place.oldColumn);
  return place;
}

void MoveRuleFormula(TXLSCompiledFormula& formula, const TRuleMove& move, const TRuleFormulaPlace& place,
                     const TXLSExternSheet& externs) {
  const std::unique_ptr<TXLSSyntaxItem> original = formula.Tree();
  if (!original) return;
  // The references of the formula at the cell's old place, moved as a cell formula's are.
  std::unique_ptr<TXLSCompiledFormula> resolved = formula.Copy();
  resolved->ResolveOffsets(place.oldRow, place.oldColumn);
  const std::unique_ptr<TXLSSyntaxItem> tree = resolved->Tree();
  if (!tree) return;
  const TRuleBand& b = move.band;
  std::unique_ptr<TXLSSyntaxItem> shifted;
  if (move.rowDelta != 0) {
    shifted = tree->CopyShifted(b.firstRow + std::min(0, move.rowDelta), std::max(b.firstColumn, 0), 0, move.rowDelta,
                                b.lastColumn < 0 ? kMaxColumn : b.lastColumn, 65535);
  } else if (move.columnDelta != 0) {
    shifted = tree->CopyShifted(std::max(b.firstRow, 0), b.firstColumn + std::min(0, move.columnDelta),
                                move.columnDelta, 0, kMaxColumn, b.lastRow < 0 ? 65535 : b.lastRow);
  } else {
    return;
  }
  Restore(*shifted, *original, place, externs);
  formula.SetTree(shifted.get());
}

}  // namespace xls
