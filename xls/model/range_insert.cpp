// Inserting and deleting cells, whole rows and whole columns. The work is written once along a
// "line" axis (rows when cells shift vertically, columns when they shift horizontally) and a
// "cross" axis; the two mappings below turn (line, cross) into (row, column).
#include <algorithm>
#include <vector>

#include "xls/model/cell_address.h"
#include "xls/model/cell_value.h"
#include "xls/model/hyperlinks.h"
#include "xls/model/page_setup.h"
#include "xls/model/range.h"
#include "xls/model/workbook.h"
#include "xls/model/worksheet.h"

namespace xls {

namespace {

constexpr std::int64_t kShiftDown = -4121, kShiftRight = -4161, kShiftUp = -4162, kShiftLeft = -4159;

struct Axes {
  bool vertical;  // lines are rows
  std::int32_t Row(std::int32_t line, std::int32_t cross) const { return vertical ? line : cross; }
  std::int32_t Column(std::int32_t line, std::int32_t cross) const { return vertical ? cross : line; }
};

struct Rect {
  std::int32_t r1, c1, r2, c2;
  bool Contains(const Rect& o) const { return o.r1 >= r1 && o.r2 <= r2 && o.c1 >= c1 && o.c2 <= c2; }
};

// The print area, the title rows and columns and the hyperlinks of the sheet move as references
// to their cells do; what is deleted whole is gone.
void ShiftSheetAreas(IXLSWorksheet& sheet, const TXLSCellShift& cellShift) {
  auto shift = [&](std::int32_t& r1, std::int32_t& c1, std::int32_t& r2, std::int32_t& c2) {
    return ShiftReference(r1, c1, r2, c2, true, cellShift);
  };
  TXLSPageSetup& setup = *sheet.GetPageSetup();
  if (std::int32_t r1 = setup.PrintAreaFirstRow(), c1 = setup.PrintAreaFirstColumn(), r2 = setup.PrintAreaLastRow(),
      c2 = setup.PrintAreaLastColumn();
      r1 >= 0) {
    if (shift(r1, c1, r2, c2)) setup.SetPrintArea(r1, c1, r2, c2);
    else setup.SetPrintAreaText(u"");
  }
  if (std::int32_t r1 = setup.TitleFirstRow() - 1, r2 = setup.TitleLastRow() - 1, c1 = 0, c2 = 255; r1 >= 0) {
    if (shift(r1, c1, r2, c2)) setup.SetPrintTitleRows(r1 + 1, r2 + 1);
    else setup.SetPrintTitleRows(0, 0);
  }
  if (std::int32_t c1 = setup.TitleFirstColumn() - 1, c2 = setup.TitleLastColumn() - 1, r1 = 0, r2 = 65535; c1 >= 0) {
    if (shift(r1, c1, r2, c2)) setup.SetPrintTitleColumns(c1 + 1, c2 + 1);
    else setup.SetPrintTitleColumns(0, 0);
  }
  if (sheet.HasHyperlinks()) sheet.Hyperlinks().MoveAreas(shift);
}

}  // namespace

Variant TXLSRange::Insert(const Variant& shift) {
  ShiftCells(true, shift);
  return Variant(true);
}

Variant TXLSRange::Delete(const Variant& shift) {
  ShiftCells(false, shift);
  return Variant(true);
}

void TXLSRange::ShiftCells(bool insert, const Variant& shift) {
  IXLSWorksheet& sheet = *sheet_;
  TXLSCellHeap& heap = sheet.Cells();
  TXLSRowInfoList& rowInfo = sheet.RowInfo();
  TXLSColumnInfoList& colInfo = sheet.ColumnInfo();
  const bool allColumns = firstCol_ == 0 && lastCol_ == 255;
  const bool allRows = firstRow_ == 0 && lastRow_ == 65535;

  std::int32_t kind = RangeKind();
  std::int64_t arg = 0;
  const bool given = shift.IsInteger() && shift.ToInteger(arg);
  bool vertical = kind != 1;
  if (given && (arg == (insert ? kShiftDown : kShiftUp))) {
    vertical = true;
    if (kind == 1 && !allColumns) kind = 0;
  } else if (given && (arg == (insert ? kShiftRight : kShiftLeft))) {
    vertical = false;
    if (kind == 2 && !allRows) kind = 0;
  }
  if (kind == 1) vertical = false;
  if (kind == 2) vertical = true;
  const bool whole = kind != 0;
  const Axes ax{vertical};
  const std::int32_t limit = vertical ? 65535 : 255;
  std::int32_t l1 = vertical ? firstRow_ : firstCol_;
  std::int32_t l2 = vertical ? lastRow_ : lastCol_;
  const std::int32_t x1 = vertical ? firstCol_ : firstRow_;
  const std::int32_t x2 = vertical ? lastCol_ : lastRow_;

  // How far the content reaches along the lines: cells, widened by row or column settings.
  std::int32_t lastLine = heap.Empty() ? -1 : (vertical ? heap.LastRow() : heap.LastColumn());
  if (vertical && !rowInfo.Empty()) lastLine = std::max(lastLine, rowInfo.LastRow());
  if (!vertical && !colInfo.Empty()) lastLine = std::max(lastLine, colInfo.LastColumn());
  // Cells exist only across the used area.
  const std::int32_t usedX1 = heap.Empty() ? 1 : std::max(x1, vertical ? heap.FirstColumn() : heap.FirstRow());
  const std::int32_t usedX2 = heap.Empty() ? 0 : std::min(x2, vertical ? heap.LastColumn() : heap.LastRow());

  std::int32_t n = l2 - l1 + 1;
  if (insert) {
    if (lastLine >= l1 && lastLine + n > limit) return;  // pushed content would leave the sheet
    if (!whole && lastLine < l1 - 1) return;
  } else {
    if (!whole && lastLine < l1) return;
    if (!whole && l2 > lastLine) {
      l2 = lastLine;
      n = l2 - l1 + 1;
    }
  }

  // Merged areas: those wholly inside the block that moves travel with it (taken apart here and
  // merged again at their new place); every other area with a cell in the affected rectangle
  // is dissolved.
  const std::int32_t moveFrom = insert ? l1 : l2 + 1;
  auto rectOf = [&](std::int32_t a, std::int32_t b) {
    return Rect{ax.Row(a, x1), ax.Column(a, x1), ax.Row(b, x2), ax.Column(b, x2)};
  };
  const Rect moving = rectOf(moveFrom, std::max(lastLine, moveFrom));
  std::vector<Rect> travelling;
  if (!heap.Empty() && lastLine >= l1) {
    const Rect affected = rectOf(l1, lastLine);
    for (std::int32_t r = std::max(affected.r1, heap.FirstRow()); r <= std::min(affected.r2, heap.LastRow()); ++r) {
      for (std::int32_t c = std::max(affected.c1, heap.FirstColumn()); c <= std::min(affected.c2, heap.LastColumn()); ++c) {
        TXLSCellRef* cell = heap.FindCell(r, c);
        if (!cell || !cell->Merged()) continue;
        TXLSCellRef* master = cell->Merge()->master;
        Rect area{master->Row(), master->Column(), master->Row() + master->Merge()->rows - 1,
                  master->Column() + master->Merge()->columns - 1};
        if (moving.Contains(area) && lastLine >= moveFrom) travelling.push_back(area);
        heap.DissolveMerge(master);
      }
    }
  }

  auto moveSettings = [&](std::int32_t from, std::int32_t to) {
    if (vertical) {
      rowInfo.CopyRowInfo(to, rowInfo.Find(from));
    } else if (const TXLSColumnInfo* e = colInfo.GetEntry(from)) {
      colInfo.CopyColumnInfo(to, e);
    } else {
      colInfo.DeleteColumnInfo(to);
    }
  };
  auto clearSettings = [&](std::int32_t line) {
    if (vertical) rowInfo.CopyRowInfo(line, nullptr);
    else colInfo.DeleteColumnInfo(line);
  };
  auto moveLine = [&](std::int32_t from, std::int32_t to) {
    if (whole) moveSettings(from, to);
    for (std::int32_t x = usedX1; x <= usedX2; ++x) {
      if (heap.FindCell(ax.Row(from, x), ax.Column(from, x))) {
        heap.MoveCell(ax.Row(from, x), ax.Column(from, x), ax.Row(to, x), ax.Column(to, x), false);
      }
    }
  };

  const std::int32_t delta = insert ? n : -n;
  if (insert) {
    for (std::int32_t line = lastLine; line >= l1; --line) moveLine(line, line + n);
    for (std::int32_t line = l1; line <= l2; ++line) {
      if (whole) {
        if (l1 > 0) moveSettings(l1 - 1, line);
        else clearSettings(line);
      }
      if (l1 == 0 || heap.Empty()) continue;
      // Inserted positions show what the row above (column to the left) shows.
      for (std::int32_t x = usedX1; x <= usedX2; ++x) {
        std::int32_t above = sheet.GetCellXF(ax.Row(l1 - 1, x), ax.Column(l1 - 1, x));
        if (sheet.GetCellXF(ax.Row(line, x), ax.Column(line, x)) != above) {
          sheet.SetCellXF(ax.Row(line, x), ax.Column(line, x), above);
        }
      }
    }
  } else {
    for (std::int32_t line = l1; line <= l2; ++line) {
      for (std::int32_t x = usedX1; x <= usedX2; ++x) heap.DeleteCell(ax.Row(line, x), ax.Column(line, x));
      if (whole) clearSettings(line);
    }
    for (std::int32_t line = l2 + 1; line <= lastLine; ++line) moveLine(line, line - n);
    if (whole) {
      for (std::int32_t line = std::max(l1, lastLine - n + 1); line <= lastLine; ++line) clearSettings(line);
    }
    // Deleting every column leaves no row settings, and every row no column settings.
    if (whole && !vertical && l1 == 0 && l2 == 255 && !rowInfo.Empty()) {
      const std::int32_t first = rowInfo.FirstRow(), last = rowInfo.LastRow();
      for (std::int32_t r = first; r <= last; ++r) rowInfo.CopyRowInfo(r, nullptr);
    }
    if (whole && vertical && l1 == 0 && l2 == 65535) {
      for (std::int32_t c = 0; c <= 255; ++c) colInfo.DeleteColumnInfo(c);
    }
  }

  for (const Rect& a : travelling) {
    const std::int32_t dr = vertical ? delta : 0, dc = vertical ? 0 : delta;
    // The cells under the area travelled with it and keep what they hold.
    CreateRC(sheet_, a.r1 + dr, a.c1 + dc, a.r2 + dr, a.c2 + dc)->MergeAsRead();
  }
  // Comments (and the anchors of pictures) go with their cells the same way.
  if (TXLSSheetDrawingBase* drawing = sheet.DrawingSlot()) {
    if (!insert) drawing->DeleteRect(ax.Row(l1, x1), ax.Column(l1, x1), ax.Column(l2, x2), ax.Row(l2, x2));
    const std::int32_t from = insert ? l1 : l2 + 1;
    if (from <= limit)
      drawing->ShiftCells(ax.Row(from, x1), ax.Column(from, x1), ax.Column(limit, x2), ax.Row(limit, x2),
                          vertical ? 0 : delta, vertical ? delta : 0);
  }
  // Conditional formats and validations: cut where cells go, moved where they move (-1 leaves a
  // side of the band open).
  if (TXLSSheetRulesBase* rules = sheet.RulesSlot()) {
    const std::int32_t y1 = whole ? -1 : x1, y2 = whole ? -1 : x2;
    if (!insert) rules->DeleteCells(ax.Row(l1, y1), ax.Column(l1, y1), ax.Column(l2, y2), ax.Row(l2, y2));
    const std::int32_t from = insert ? l1 : l2 + 1;
    rules->ShiftCells(ax.Row(from, y1), ax.Column(from, y1), ax.Row(-1, y2), ax.Column(-1, y2), vertical ? delta : 0,
                      vertical ? 0 : delta);
  }
  // Formulas and names follow the cells they refer to, and so do the print area, the title rows
  // and columns and the hyperlinks.
  const TXLSCellShift cellShift = vertical ? TXLSCellShift{l1, x1, 0, delta, x2, 65535}
                                           : TXLSCellShift{x1, l1, delta, 0, 255, x2};
  ShiftCellFormulas(sheet, cellShift.row, cellShift.column, cellShift.columnCount, cellShift.rowCount,
                    cellShift.lastColumn, cellShift.lastRow);
  ShiftSheetAreas(sheet, cellShift);
  sheet.Workbook()->BumpRecalcStamp();
}

}  // namespace xls
