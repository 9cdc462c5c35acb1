// Formula cells of the workbook model: compiling a cell's formula text and keeping the
// formulas of every sheet pointing at the same cells when cells of a sheet move.
#include <vector>

#include "xls/formula/calc/calculator.h"
#include "xls/formula/extern_sheet.h"
#include "xls/formula/workbook_formulas.h"
#include "xls/model/cell_store.h"
#include "xls/model/cell_value.h"
#include "xls/model/workbook.h"
#include "xls/model/worksheet.h"
#include "xls/model/worksheets.h"

namespace xls {

std::unique_ptr<TXLSCellFormula> CompileCellFormula(IXLSWorksheet& sheet, const std::u16string& text) {
  return sheet.Workbook()->Formulas().Calculator().CompileText(text, sheet.GetSheetId());
}

namespace {

// Puts the original reference back into the shifted copy wherever the reference is not on the
// sheet whose cells moved (copy and original have the same shape).
void KeepOtherSheets(TXLSSyntaxItem& copy, const TXLSSyntaxItem& original, bool ownSheetMoved, int movedIndex,
                     TXLSExternSheet& externs, bool& changed) {
  if (copy.range && original.range) {
    bool onMoved = false;
    if (original.range->Is3d()) {
      int book = 0, first = 0, last = 0;
      onMoved = externs.IsOwnBook(original.range->externId) &&
                externs.ResolveEntry(original.range->externId, book, first, last) == 1 && first == movedIndex &&
                last == movedIndex;
    } else {
      onMoved = ownSheetMoved;
    }
    if (!onMoved) {
      *copy.range = *original.range;
    } else {
      const TXLSRangeItem& a = *copy.range;
      const TXLSRangeItem& b = *original.range;
      changed = changed || a.firstRow != b.firstRow || a.lastRow != b.lastRow || a.firstCol != b.firstCol ||
                a.lastCol != b.lastCol || a.kind != b.kind;
    }
  }
  for (int i = 1; i <= copy.ChildCount() && i <= original.ChildCount(); ++i) {
    KeepOtherSheets(*copy.Child(i), *original.Child(i), ownSheetMoved, movedIndex, externs, changed);
  }
}

}  // namespace

void ShiftCellFormulas(IXLSWorksheet& moved, int row, int column, int columnCount, int rowCount, int lastColumn,
                       int lastRow) {
  TXLSWorkbook& book = *moved.Workbook();
  if (!book.HasFormulas()) return;  // no formula was ever compiled in this workbook
  TXLSExternSheet& externs = book.Formulas().Externs();
  IXLSWorkSheets& sheets = book.GetWorksheets();
  for (std::int32_t s = 1; s <= sheets.GetCount(); ++s) {
    IXLSWorksheet* sheet = sheets.GetItem(s);
    std::vector<TXLSCellRef*> cells;
    sheet->Cells().ForEach([&](TXLSCellRef& cell) {
      if (cell.Formula()) cells.push_back(&cell);
    });
    for (TXLSCellRef* cell : cells) {
      auto* f = dynamic_cast<TXLSCompiledFormula*>(cell->Formula());
      if (!f || !f->Tree() || f->IsArrayMember()) continue;
      std::unique_ptr<TXLSCompiledFormula> copy = f->CopyShifted(row, column, columnCount, rowCount, lastColumn, lastRow);
      if (!copy || !copy->Tree()) continue;
      bool changed = false;
      KeepOtherSheets(*const_cast<TXLSSyntaxItem*>(copy->Tree()), *f->Tree(), sheet == &moved, moved.GetIndex(),
                      externs, changed);
      if (changed) cell->SetFormula(std::move(copy));
    }
  }
}

}  // namespace xls
