#include "xls/formula/calc/compiled_formula.h"

#include <algorithm>

#include "xls/formula/calc/calculator.h"
#include "xls/formula/workbook_formulas.h"
#include "xls/model/blob.h"
#include "xls/model/workbook.h"
#include "xls/model/worksheet.h"

namespace xls {

std::unique_ptr<TXLSArrayFormula> TXLSArrayFormula::Create(std::int32_t firstRow, std::int32_t firstColumn,
                                                           std::int32_t lastRow, std::int32_t lastColumn,
                                                           TXLSCompiledFormula* formula) {
  auto a = std::make_unique<TXLSArrayFormula>();
  a->firstRow = std::min(firstRow, lastRow);
  a->lastRow = std::max(firstRow, lastRow);
  a->firstColumn = std::min(firstColumn, lastColumn);
  a->lastColumn = std::max(firstColumn, lastColumn);
  a->anchorRow = a->firstRow;
  a->anchorColumn = a->firstColumn;
  a->owner = true;
  a->formula = formula;
  return a;
}

std::unique_ptr<TXLSArrayFormula> TXLSArrayFormula::CreateMember(std::int32_t anchorRow, std::int32_t anchorColumn,
                                                                 TXLSCompiledFormula* anchorFormula) {
  auto a = std::make_unique<TXLSArrayFormula>();
  a->anchorRow = a->firstRow = a->lastRow = anchorRow;
  a->anchorColumn = a->firstColumn = a->lastColumn = anchorColumn;
  a->formula = anchorFormula;
  return a;
}

TXLSCompiledFormula::TXLSCompiledFormula(std::unique_ptr<TXLSSyntaxItem> tree,
                                         std::unique_ptr<TXLSFormulatArrays> arrays)
    : tree_(tree.get()), arrays_(std::move(arrays)) {}

TXLSCompiledFormula::TXLSCompiledFormula(TXLSPackedTree tree) : tree_(std::move(tree)) {}

TXLSCompiledFormula::~TXLSCompiledFormula() = default;

std::unique_ptr<TXLSCompiledFormula> TXLSCompiledFormula::CreateArrayMember(std::unique_ptr<TXLSArrayFormula> link) {
  auto f = std::make_unique<TXLSCompiledFormula>(nullptr, nullptr);
  f->link_ = std::move(link);
  return f;
}

namespace {

std::unique_ptr<TXLSCompiledFormula> WithTree(std::unique_ptr<TXLSSyntaxItem> tree, const TXLSFormulatArrays* arrays) {
  return std::make_unique<TXLSCompiledFormula>(std::move(tree), arrays ? arrays->Copy() : nullptr);
}

}  // namespace

std::unique_ptr<TXLSCompiledFormula> TXLSCompiledFormula::Copy() const {
  auto copy = WithTree(nullptr, arrays_.get());
  copy->tree_ = tree_;
  return copy;
}

std::unique_ptr<TXLSCompiledFormula> TXLSCompiledFormula::CopyMovedFormula(int rows, int columns) const {
  // Moved in the packed bytes, as every cell of a shared formula read from a file is: no tree.
  auto copy = WithTree(nullptr, arrays_.get());
  copy->tree_ = tree_.WithRanges([rows, columns](std::int32_t kind, TXLSRangeItem& r) {
    if (kind == kNodeReference) MoveRangeItem(r, rows, columns);
  });
  return copy;
}

std::unique_ptr<TXLSCompiledFormula> TXLSCompiledFormula::CopyShifted(int row, int column, int columnCount,
                                                                      int rowCount, int lastColumn, int lastRow) const {
  const auto tree = Tree();
  return WithTree(tree ? tree->CopyShifted(row, column, columnCount, rowCount, lastColumn, lastRow) : nullptr,
                  arrays_.get());
}

std::int32_t TXLSCompiledFormula::GetArraysBytes(std::unique_ptr<TXLSBlob>& out, int format) const {
  out.reset();
  if (!arrays_ || arrays_->TotalSize(format) < 1) return 1;
  auto blob = std::make_unique<TXLSBlob>(arrays_->TotalSize(format));
  const std::int32_t st = arrays_->Write(*blob, format);
  if (st != 1) return st;
  out = std::move(blob);
  return 1;
}

std::unique_ptr<TXLSCellFormula> TXLSCompiledFormula::CopyMoved(int rows, int columns) const {
  // A cell of an array formula has no formula of its own to copy: the copy is blank.
  if (tree_.Empty()) return nullptr;
  return CopyMovedFormula(rows, columns);
}

void ResolveRangeOffsets(TXLSRangeItem& r, int row, int column) {
  if (!r.offset) return;
  auto wrap = [](int v, int n) { return ((v % n) + n) % n; };
  if (!r.firstRowAbs) r.firstRow = wrap(row + r.firstRow, 65536);
  if (!r.firstColAbs) r.firstCol = wrap(column + r.firstCol, 256);
  if (r.IsArea()) {
    if (!r.lastRowAbs) r.lastRow = wrap(row + r.lastRow, 65536);
    if (!r.lastColAbs) r.lastCol = wrap(column + r.lastCol, 256);
  } else {
    r.lastRow = r.firstRow;
    r.lastCol = r.firstCol;
  }
  r.offset = 0;
}

void TXLSCompiledFormula::ResolveOffsets(int row, int column) {
  // In the packed bytes, which stay as they are when no reference is an offset one.
  tree_.ChangeRanges([row, column](std::int32_t, TXLSRangeItem& r) { ResolveRangeOffsets(r, row, column); });
}

const TXLSCompiledFormula* ArrayAnchorFormula(const IXLSWorksheet& sheet, const TXLSCompiledFormula& member) {
  const TXLSArrayFormula* link = member.ArrayLink();
  if (!link) return nullptr;
  if (link->owner) return &member;
  const auto* anchor = dynamic_cast<const TXLSCompiledFormula*>(sheet.GetCellFormula(link->anchorRow, link->anchorColumn));
  if (!anchor || anchor != link->formula || !anchor->ArrayLink() || !anchor->ArrayLink()->owner) return nullptr;
  return anchor;
}

std::int32_t TXLSCompiledFormula::Calculate(const IXLSWorksheet& sheet, int row, int column, Variant& out) {
  TXLSWorkbook* book = sheet.Workbook();
  const std::int32_t st = book->Formulas().Calculator().CalculateCell(sheet.GetIndex(), *this,
                                                                     book->GetRecalcStamp(), out, column, row);
  if (st != kCalcOk) out = Variant();
  return st;
}

std::u16string TXLSCompiledFormula::Text(const IXLSWorksheet& sheet, int row, int column) const {
  std::u16string text;
  if (link_ && !ArrayAnchorFormula(sheet, *this)) return text;  // its array formula is gone
  sheet.Workbook()->Formulas().Calculator().GetFormulaText(sheet.GetSheetId(), *this, text, row, column);
  return text;
}

TXLSCalcRangeList::TXLSCalcRangeList(std::int32_t firstSheet, std::int32_t lastSheet, std::int32_t firstRow,
                                     std::int32_t firstColumn, std::int32_t lastRow, std::int32_t lastColumn) {
  if (firstSheet > lastSheet) std::swap(firstSheet, lastSheet);
  for (std::int32_t s = firstSheet; s <= lastSheet; ++s) {
    ranges_.push_back(TXLSCalcRange{firstRow, firstColumn, lastRow, lastColumn, s});
  }
}

const TXLSCalcRange* TXLSCalcRangeList::Item(std::int32_t i) const {
  if (i < 1 || i > Count()) return nullptr;
  return &ranges_[static_cast<std::size_t>(i - 1)];
}

const TXLSCalcRangeList* GetRangeFromValue(const Variant& v) {
  if (!v.IsObject()) return nullptr;
  return dynamic_cast<const TXLSCalcRangeList*>(v.ObjectValue().get());
}

}  // namespace xls
