#include "xls/formula/calc/date_result.h"

#include <memory>

#include "xls/formula/calc/compiled_formula.h"
#include "xls/formula/syntax_tree.h"
#include "xls/model/cell_store.h"
#include "xls/model/workbook.h"
#include "xls/model/worksheet.h"
#include "xls/model/xf_list.h"

namespace xls {

namespace {

// Function numbers of the catalogue.
enum : int {
  kFnCount = 0, kFnIf = 1, kFnMin = 6, kFnMax = 7, kFnRow = 8, kFnColumn = 9, kFnLen = 32, kFnDate = 65,
  kFnDay = 67, kFnMonth = 68, kFnYear = 69, kFnWeekday = 70, kFnHour = 71, kFnMinute = 72, kFnSecond = 73,
  kFnNow = 74, kFnRows = 76, kFnColumns = 77, kFnChoose = 100, kFnDateValue = 140, kFnCountA = 169,
  kFnDays360 = 220, kFnToday = 221,
};

// Formulas of other cells are followed this deep; deeper chains are left to the cell's format.
constexpr int kMaxDepth = 16;

TXLSResultKind CellKind(const IXLSWorksheet& sheet, int row, int column, int depth);

// The same kind from every branch, else unknown.
TXLSResultKind Either(TXLSResultKind a, TXLSResultKind b) { return a == b ? a : kResultUnknown; }

TXLSResultKind NodeKind(const TXLSSyntaxItem* node, const IXLSWorksheet& sheet, int row, int column, int depth) {
  if (!node) return kResultUnknown;
  auto child = [&](int i) { return NodeKind(node->Child(i), sheet, row, column, depth); };
  switch (node->kind) {
    case kNodeNumber:
    case kNodeBool:
    case kNodeMissing:
      return kResultNumber;
    case kNodeParen:
    case kNodeUnaryPlus:
      return child(1);
    case kNodeNegate:
    case kNodeMul:
    case kNodeDiv:
    case kNodePower:
    case kNodePercent: {
      // Numbers only give a number; a date scaled is no longer a date, nor surely a number.
      for (int i = 1; i <= node->ChildCount(); ++i)
        if (child(i) != kResultNumber) return kResultUnknown;
      return kResultNumber;
    }
    case kNodeAdd: {
      const TXLSResultKind a = child(1), b = child(2);
      if (a == kResultUnknown || b == kResultUnknown) return kResultUnknown;
      if (a == kResultDate && b == kResultDate) return kResultUnknown;
      return a == kResultDate || b == kResultDate ? kResultDate : kResultNumber;
    }
    case kNodeSub: {
      const TXLSResultKind a = child(1), b = child(2);
      if (a == kResultUnknown || b == kResultUnknown) return kResultUnknown;
      if (a == kResultDate) return b == kResultDate ? kResultNumber : kResultDate;
      return b == kResultDate ? kResultUnknown : kResultNumber;
    }
    case kNodeReference: {
      const TXLSRangeItem* r = node->range.get();
      if (!r || r->kind != kRangeCell) return kResultUnknown;
      int refRow = r->firstRow, refColumn = r->firstCol;
      if (r->offset) {
        if (!r->firstRowAbs) refRow = ((row + refRow) % 65536 + 65536) % 65536;
        if (!r->firstColAbs) refColumn = ((column + refColumn) % 256 + 256) % 256;
      }
      return CellKind(sheet, refRow, refColumn, depth + 1);
    }
    case kNodeCall:
      switch (node->value) {
        case kFnDate: case kFnNow: case kFnToday: case kFnDateValue:
          return kResultDate;
        case kFnCount: case kFnRow: case kFnColumn: case kFnLen: case kFnDay: case kFnMonth: case kFnYear:
        case kFnWeekday: case kFnHour: case kFnMinute: case kFnSecond: case kFnRows: case kFnColumns:
        case kFnCountA: case kFnDays360:
          return kResultNumber;
        case kFnIf:
          if (node->ChildCount() < 2) return kResultUnknown;
          return Either(child(2), node->ChildCount() >= 3 ? child(3) : kResultNumber);
        case kFnChoose:
        case kFnMin:
        case kFnMax: {
          if (node->ChildCount() < 1) return kResultUnknown;
          TXLSResultKind k = child(node->value == kFnChoose ? 2 : 1);
          for (int i = node->value == kFnChoose ? 3 : 2; i <= node->ChildCount(); ++i) k = Either(k, child(i));
          return k;
        }
        default:
          return kResultUnknown;
      }
    default:
      return kResultUnknown;
  }
}

TXLSResultKind CellKind(const IXLSWorksheet& sheet, int row, int column, int depth) {
  if (depth > kMaxDepth) return kResultUnknown;
  const TXLSCellRef* cell = sheet.Cells().FindCell(row, column);
  if (!cell || cell->IsMergedNonMaster()) return kResultNumber;
  const bool dateFormat = sheet.Workbook()->XFList().IsDateFormat(sheet.GetCellXF(row, column));
  switch (cell->Kind()) {
    case kCellDate:
      return kResultDate;
    case kCellNumber:
      return dateFormat ? kResultDate : kResultNumber;
    case kCellFormula: {
      const auto* f = dynamic_cast<const TXLSCompiledFormula*>(cell->Formula());
      TXLSResultKind k = kResultUnknown;
      if (f && f->HasTree()) {
        const std::unique_ptr<TXLSSyntaxItem> tree = f->Tree();
        k = NodeKind(tree.get(), sheet, row, column, depth);
      }
      if (k != kResultUnknown) return k;
      return dateFormat ? kResultDate : kResultUnknown;
    }
    default:
      return kResultNumber;
  }
}

}  // namespace

TXLSResultKind FormulaResultKind(const TXLSCompiledFormula& formula, const IXLSWorksheet& sheet, int row,
                                 int column) {
  if (!formula.HasTree()) return kResultUnknown;
  const std::unique_ptr<TXLSSyntaxItem> tree = formula.Tree();
  return NodeKind(tree.get(), sheet, row, column, 0);
}

}  // namespace xls
