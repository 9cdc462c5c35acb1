#include "xls/model/worksheet.h"

#include <cmath>

#include "xls/model/cell_store.h"
#include "xls/model/string_table.h"
#include "xls/model/workbook.h"
#include "xls/model/worksheets.h"
#include "xls/model/xf_list.h"

namespace xls {

IXLSWorksheet::IXLSWorksheet(TXLSWorkbook* workbook, std::int32_t sheetId)
    : workbook_(workbook),
      sheetId_(sheetId),
      colInfo_(&workbook->XFList()),
      rowInfo_(&workbook->XFList()),
      heap_(std::make_unique<TXLSCellHeap>(this)),
      pageSetup_(std::make_shared<TXLSPageSetup>(this)),
      hBreaks_(this),
      vBreaks_(this) {
  cells_ = TXLSRange::CreateRC(this, 0, 0, 65535, 255);
  selection_ = TXLSRange::CreateRC(this, 0, 0, 0, 0);
}

IXLSWorksheet::~IXLSWorksheet() {
  heap_.reset();  // the cells give their uses back before the row and column lists go
  // Row and column styles count uses of their formats too.
  TXLSXFList& xfs = workbook_->XFList();
  if (!colInfo_.Empty()) {
    for (std::int32_t c = colInfo_.FirstColumn(); c <= colInfo_.LastColumn(); ++c) {
      if (const TXLSColumnInfo* e = colInfo_.GetEntry(c)) xfs.MoveUse(e->xf, 0);
    }
  }
  if (!rowInfo_.Empty()) {
    for (std::int32_t r = rowInfo_.NextRow(0); r >= 0; r = rowInfo_.NextRow(r + 1))
      xfs.MoveUse(rowInfo_.Find(r)->xf, 0);
  }
}

IXLSRange IXLSWorksheet::GetRange(const std::u16string& first, const std::u16string& second) {
  return TXLSRange::Create(this, first, second);
}

IXLSRange IXLSWorksheet::GetRangeRC(std::int32_t row1, std::int32_t column1, std::int32_t row2,
                                    std::int32_t column2) {
  auto clamp = [](std::int32_t v, std::int32_t max) { return v < 1 ? 1 : (v > max ? max : v); };
  return TXLSRange::CreateRC(this, clamp(row1, 65536) - 1, clamp(column1, 256) - 1,
                             clamp(row2, 65536) - 1, clamp(column2, 256) - 1);
}

IXLSRange IXLSWorksheet::GetUsedRange() {
  if (heap_->Empty()) return TXLSRange::CreateRC(this, 0, 0, 0, 0);
  return TXLSRange::CreateRC(this, heap_->FirstRow(), heap_->FirstColumn(), heap_->LastRow(),
                             heap_->LastColumn());
}

TXLSPanes& IXLSWorksheet::GetPanes() {
  if (!panes_) panes_ = std::make_unique<TXLSPanes>(this);
  return *panes_;
}

TXLSOutline& IXLSWorksheet::GetOutline() {
  if (!outline_) outline_ = std::make_unique<TXLSOutline>();
  return *outline_;
}

bool IXLSWorksheet::SetName(const std::u16string& name) {
  if (!workbook_->GetWorksheets().IsValidName(index_, name)) return false;
  // Results kept from a file stand only while nothing formulas could see has changed.
  if (name != name_) workbook_->BumpRecalcStamp();
  name_ = name;
  return true;
}

void IXLSWorksheet::SetScrollRow(std::int32_t row) {
  if (row >= 1 && row <= 65536) scrollRow_ = static_cast<std::uint16_t>(row - 1);
}

void IXLSWorksheet::SetScrollColumn(std::int32_t column) {
  if (column >= 1 && column <= 256) scrollColumn_ = static_cast<std::uint16_t>(column - 1);
}

void IXLSWorksheet::SetZoom(const Variant& v) {
  if (v.IsBoolean()) {
    if (!v.BooleanValue()) zoom_ = 100;
    return;
  }
  std::int64_t z = 0;
  if (v.ToInteger(z) && z >= 10 && z <= 400) zoom_ = static_cast<std::uint16_t>(z);
}

void IXLSWorksheet::SetVisible(const Variant& v) {
  if (v.IsBoolean()) {
    visibility_ = v.BooleanValue() ? 0 : 1;
    return;
  }
  std::int64_t n = -1;
  if (v.ToInteger(n) && n >= 0 && n <= 2) visibility_ = static_cast<std::uint8_t>(n);
}

void IXLSWorksheet::Activate() {
  IXLSWorkSheets& sheets = workbook_->GetWorksheets();
  sheets.SetActive(this);
  if (!selected_) {
    sheets.DeselectAll();
    selected_ = true;
  }
}

void IXLSWorksheet::Select(bool replace) {
  IXLSWorkSheets& sheets = workbook_->GetWorksheets();
  if (replace) {
    sheets.DeselectAll();
    sheets.SetActive(this);
  }
  selected_ = true;
}

std::int32_t IXLSWorksheet::MakeFirstVisibleTab() {
  workbook_->SetFirstVisibleTab(static_cast<std::uint16_t>(index_ - 1));
  return 1;
}

std::int32_t IXLSWorksheet::GetCellXF(std::int32_t row, std::int32_t column, bool* own) const {
  if (own) *own = false;
  if (const TXLSCellRef* cell = heap_->FindCell(row, column)) {
    if (cell->XF() > 0) {
      if (own) *own = true;
      return cell->XF();
    }
  }
  std::int32_t r = rowInfo_.GetRowXF(row);
  if (r != 0) return r;
  return colInfo_.GetColumnXF(column);
}

std::int32_t IXLSWorksheet::SetCellFormula(std::int32_t row, std::int32_t column,
                                          std::unique_ptr<TXLSCellFormula> formula) {
  if (row < 0 || row > 65535 || column < 0 || column > 255) return -2;
  TXLSCellRef* cell = heap_->GetOrCreateCell(row, column);
  if (cell->IsMergedNonMaster()) return 1;
  if (cell->Kind() == kCellString) {
    workbook_->StringTable().Release(cell->StringIndex());
    cell->SetStringIndex(-1);
    cell->SetKind(kCellBlank);
  }
  cell->SetFormula(std::move(formula));
  workbook_->BumpRecalcStamp();
  return 1;
}

TXLSCellFormula* IXLSWorksheet::GetCellFormula(std::int32_t row, std::int32_t column) const {
  if (row < 0 || row > 65535 || column < 0 || column > 255) return nullptr;
  const TXLSCellRef* cell = heap_->FindCell(row, column);
  return cell ? cell->Formula() : nullptr;
}

void IXLSWorksheet::SetCellXF(std::int32_t row, std::int32_t column, std::int32_t xf) {
  TXLSCellRef* cell = heap_->FindCell(row, column);
  if (!cell) {
    // Created with the position's format counted; that use moves to the new format.
    cell = heap_->GetOrCreateCell(row, column);
  }
  workbook_->XFList().MoveUse(cell->XF(), xf);
  cell->SetXF(xf);
}

double IXLSWorksheet::ColumnWidthPoints(std::int32_t column) const {
  if (colInfo_.IsHidden(column)) return 0;
  return std::round(colInfo_.GetColumnWidth(column) * 225.0 / 40.0 * 100.0) / 100.0;
}

double IXLSWorksheet::RowHeightPoints(std::int32_t row) const {
  if (rowInfo_.IsHidden(row)) return 0;
  return std::round(rowInfo_.GetRowHeight(row) * 100.0) / 100.0;
}

std::int32_t IXLSWorksheet::FreezePanes(std::int32_t columns, std::int32_t rows, std::int32_t topRow,
                                        std::int32_t leftColumn) {
  TXLSPanes& panes = GetPanes();
  panes.Clear();
  if (columns <= 0 && rows <= 0) return 1;
  panes.SetFrozen(true);
  panes.SetSplitPosition(columns < 0 ? 0 : columns, rows < 0 ? 0 : rows);
  panes.SetTopRow(topRow);
  panes.SetLeftColumn(leftColumn);
  return 1;
}

std::int32_t IXLSWorksheet::SplitPanes(double horizontalPoints, double verticalPoints) {
  TXLSPanes& panes = GetPanes();
  panes.Clear();
  // Distances become column and row counts from the first visible column and row; the column
  // or row the distance ends in counts with its fraction.
  auto count = [](double distance, std::int32_t start, std::int32_t last, auto size) {
    double n = 0;
    for (std::int32_t i = start; i <= last && distance > 0; ++i) {
      double s = size(i);
      if (s <= 0) continue;
      if (distance > s) {
        n += 1;
        distance -= s;
      } else {
        n += distance / s;
        distance = 0;
      }
    }
    return std::round(n * 100.0) / 100.0;
  };
  double columns = count(horizontalPoints, scrollColumn_, 255,
                         [this](std::int32_t c) { return ColumnWidthPoints(c); });
  double rows = count(verticalPoints, scrollRow_, 65535,
                      [this](std::int32_t r) { return RowHeightPoints(r); });
  if (columns == 0 && rows == 0) return 1;
  panes.SetSplitPosition(columns, rows);
  return 1;
}

}  // namespace xls
