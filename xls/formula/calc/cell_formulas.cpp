// The formula library's slot in the model (xls/model/library_slots.h): the workbook's formulas
// and names, evaluating formula text, compiling a cell's formula text and keeping the formulas of
// every sheet pointing at the same cells when cells of a sheet move.
#include <algorithm>
#include <vector>

#include "xls/formula/calc/calculator.h"
#include "xls/formula/extern_sheet.h"
#include "xls/formula/names.h"
#include "xls/formula/workbook_formulas.h"
#include "xls/model/cell_store.h"
#include "xls/model/library_slots.h"
#include "xls/model/workbook.h"
#include "xls/model/worksheet.h"
#include "xls/model/worksheets.h"

namespace xls {

namespace {

class TFormulaLibrary final : public TXLSFormulaLibrary {
 public:
  TFormulaLibrary() { LibrarySlots().formula = this; }
  std::shared_ptr<TXLSWorkbookFormulas> MakeFormulas(TXLSWorkbook& book) override {
    return std::make_shared<TXLSWorkbookFormulas>(book);
  }
  std::shared_ptr<TXLSNames> Names(TXLSWorkbook& book) override {
    return std::make_shared<TXLSNames>(book.Formulas().Names());
  }
  std::int32_t Evaluate(TXLSWorkbook& book, const std::u16string& formula, Variant& value) override;
  std::unique_ptr<TXLSCellFormula> CompileCell(IXLSWorksheet& sheet, const std::u16string& text) override {
    return sheet.Workbook()->Formulas().Calculator().CompileText(text, sheet.GetSheetId());
  }
  void ShiftCells(IXLSWorksheet& sheet, int row, int column, int columnCount, int rowCount, int lastColumn,
                  int lastRow) override;
};

TFormulaLibrary library;

}  // namespace

// Named in kv_xls_formula's link interface, so that every program linking it fills the slot.
extern "C" void kv_xls_formula_slot() {}

std::int32_t TFormulaLibrary::Evaluate(TXLSWorkbook& book, const std::u16string& formula, Variant& value) {
  value = Variant();
  const std::u16string text = !formula.empty() && formula[0] == u'=' ? formula.substr(1) : formula;
  IXLSWorksheet* active = book.GetActiveSheet();
  TXLSCalculator& calc = book.Formulas().Calculator();
  std::unique_ptr<TXLSCompiledFormula> f = calc.CompileText(text, active ? active->GetSheetId() : 0);
  if (!f) return kCalcMalformed;
  const std::int32_t st = calc.CalculateCell(active ? active->GetIndex() : -1, *f, 0, value, 0, 0);
  if (st != kCalcOk) value = Variant();
  return st;
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

// Members of an array formula whose formula object is replaced point at the new one.
void ReplaceMembersFormula(IXLSWorksheet& sheet, const TXLSCompiledFormula* from, TXLSCompiledFormula* to) {
  sheet.Cells().ForEach([&](TXLSCellRef& cell) {
    auto* f = dynamic_cast<TXLSCompiledFormula*>(cell.Formula());
    if (f && f->ArrayLink() && !f->ArrayLink()->owner && f->ArrayLink()->formula == from) f->ArrayLink()->formula = to;
  });
}

// Where a cell of the moved sheet went; false when it was deleted.
bool MovedPosition(int& r, int& c, int row, int column, int columnCount, int rowCount, int lastColumn, int lastRow) {
  if (rowCount != 0 && r >= row && c >= column && c <= lastColumn) {
    if (rowCount < 0 && r < row - rowCount) return false;
    r += rowCount;
  } else if (columnCount != 0 && c >= column && r >= row && r <= lastRow) {
    if (columnCount < 0 && c < column - columnCount) return false;
    c += columnCount;
  }
  return r >= 0 && r <= 65535 && c >= 0 && c <= 255;
}

// Array formulas of the moved sheet: the owner's rectangle goes with its anchor cell, members
// point at the anchor's new place, and members whose array formula is gone become blank.
void MoveArrayLinks(IXLSWorksheet& sheet, int row, int column, int columnCount, int rowCount, int lastColumn,
                    int lastRow) {
  std::vector<TXLSCellRef*> members;
  sheet.Cells().ForEach([&](TXLSCellRef& cell) {
    auto* f = dynamic_cast<TXLSCompiledFormula*>(cell.Formula());
    TXLSArrayFormula* link = f ? f->ArrayLink() : nullptr;
    if (!link) return;
    if (!link->owner) {
      members.push_back(&cell);
      return;
    }
    const int dr = cell.Row() - link->anchorRow, dc = cell.Column() - link->anchorColumn;
    link->anchorRow += dr, link->firstRow += dr, link->lastRow = std::min(link->lastRow + dr, 65535);
    link->anchorColumn += dc, link->firstColumn += dc, link->lastColumn = std::min(link->lastColumn + dc, 255);
  });
  for (TXLSCellRef* cell : members) {
    auto* f = static_cast<TXLSCompiledFormula*>(cell->Formula());
    TXLSArrayFormula* link = f->ArrayLink();
    int r = link->anchorRow, c = link->anchorColumn;
    if (MovedPosition(r, c, row, column, columnCount, rowCount, lastColumn, lastRow)) {
      link->anchorRow = link->firstRow = link->lastRow = r;
      link->anchorColumn = link->firstColumn = link->lastColumn = c;
    }
    if (!ArrayAnchorFormula(sheet, *f)) cell->SetFormula(nullptr);
  }
}

}  // namespace

void TFormulaLibrary::ShiftCells(IXLSWorksheet& moved, int row, int column, int columnCount, int rowCount,
                                 int lastColumn, int lastRow) {
  TXLSWorkbook& book = *moved.Workbook();
  if (!book.HasFormulas()) return;  // no formula or name was ever compiled in this workbook
  TXLSExternSheet& externs = book.Formulas().Externs();
  // A tree whose references to the moved cells follow them (those to other sheets stay), or
  // nullptr when none of them moved; ownSheet: its references without a sheet are on the moved sheet.
  auto shiftedTree = [&](const TXLSSyntaxItem& tree, bool ownSheet) -> std::unique_ptr<TXLSSyntaxItem> {
    std::unique_ptr<TXLSSyntaxItem> shifted = tree.CopyShifted(row, column, columnCount, rowCount, lastColumn, lastRow);
    bool changed = false;
    KeepOtherSheets(*shifted, tree, ownSheet, moved.GetIndex(), externs, changed);
    return changed ? std::move(shifted) : nullptr;
  };
  // Names point at the cells they named: as a cell formula's references, and #REF! where those
  // cells are deleted. A name's reference without a sheet is on the sheet of its scope.
  book.Formulas().Names().ReplaceFormulas([&](const TXLSCustomName& name, const TXLSSyntaxItem& tree) {
    return shiftedTree(tree, name.Owner() && name.Owner()->Scope() == moved.GetSheetId());
  });
  IXLSWorkSheets& sheets = book.GetWorksheets();
  for (std::int32_t s = 1; s <= sheets.GetCount(); ++s) {
    IXLSWorksheet* sheet = sheets.GetItem(s);
    std::vector<TXLSCellRef*> cells;
    sheet->Cells().ForEach([&](TXLSCellRef& cell) {
      if (cell.Formula()) cells.push_back(&cell);
    });
    for (TXLSCellRef* cell : cells) {
      auto* f = dynamic_cast<TXLSCompiledFormula*>(cell->Formula());
      const std::unique_ptr<TXLSSyntaxItem> tree = f ? f->Tree() : nullptr;
      if (!tree) continue;
      const std::unique_ptr<TXLSSyntaxItem> shifted = shiftedTree(*tree, sheet == &moved);
      if (!shifted) continue;
      std::unique_ptr<TXLSCompiledFormula> copy = f->Copy();
      copy->SetTree(shifted.get());
      copy->KeepResultOf(*f);
      if (TXLSArrayFormula* link = f->ArrayLink()) {
        // The array formula's members point at the formula object: it keeps its identity.
        auto moved = std::make_unique<TXLSArrayFormula>(*link);
        moved->formula = copy.get();
        copy->SetArrayFormula(std::move(moved));
        ReplaceMembersFormula(*sheet, f, copy.get());
      }
      cell->SetFormula(std::move(copy));
    }
  }
  MoveArrayLinks(moved, row, column, columnCount, rowCount, lastColumn, lastRow);
}

}  // namespace xls
