// Merged areas and clearing of ranges. An area lives in its cells: each carries a reference to
// the area's top-left cell (the master), which holds the area's size.
#include <algorithm>

#include "xls/model/range.h"
#include "xls/model/workbook.h"
#include "xls/model/worksheet.h"
#include "xls/model/xf_list.h"

namespace xls {

namespace {

struct Area {
  std::int32_t r1, c1, r2, c2;
};

Area AreaOf(const TXLSCellRef& master) {
  const TXLSMergeInfo* m = master.Merge();
  return {master.Row(), master.Column(), master.Row() + m->rows - 1, master.Column() + m->columns - 1};
}

}  // namespace

void TXLSRange::ExpandToMergedAreas() {
  TXLSCellHeap& heap = sheet_->Cells();
  std::int32_t r1 = firstRow_, r2 = lastRow_, c1 = firstCol_, c2 = lastCol_;
  bool changed = true;
  auto grow = [&](std::int32_t r, std::int32_t c) {
    const TXLSCellRef* cell = heap.FindCell(r, c);
    if (!cell || !cell->Merged()) return;
    Area a = AreaOf(*cell->Merge()->master);
    if (a.c1 < c1 || a.c2 > c2 || a.r1 < r1 || a.r2 > r2) {
      r1 = std::min(r1, a.r1);
      c1 = std::min(c1, a.c1);
      r2 = std::max(r2, a.r2);
      c2 = std::max(c2, a.c2);
      changed = true;
    }
  };
  while (changed && !heap.Empty()) {
    changed = false;
    // The border cells: first and last column of every row, first and last row of every column,
    // as far as the used area reaches (merged cells exist only inside it).
    for (std::int32_t r = std::max(r1, heap.FirstRow()); r <= std::min(r2, heap.LastRow()); ++r) {
      grow(r, c1);
      grow(r, c2);
    }
    for (std::int32_t c = std::max(c1, heap.FirstColumn()); c <= std::min(c2, heap.LastColumn()); ++c) {
      grow(r1, c);
      grow(r2, c);
    }
  }
  firstRow_ = static_cast<std::uint16_t>(r1);
  lastRow_ = static_cast<std::uint16_t>(r2);
  firstCol_ = static_cast<std::uint8_t>(c1);
  lastCol_ = static_cast<std::uint8_t>(c2);
}

void TXLSRange::ShrinkToMergedAreas() {
  TXLSCellHeap& heap = sheet_->Cells();
  if (heap.Empty()) return;
  std::int32_t r1 = firstRow_, r2 = lastRow_, c1 = firstCol_, c2 = lastCol_;
  bool changed = true;
  while (changed && r1 <= r2 && c1 <= c2) {
    changed = false;
    // Merged cells exist only inside the used area.
    const std::int32_t top = std::max(r1, heap.FirstRow()), bottom = std::min(r2, heap.LastRow());
    const std::int32_t left = std::max(c1, heap.FirstColumn()), right = std::min(c2, heap.LastColumn());
    for (std::int32_t r = top; r <= bottom && !changed; ++r) {
      for (std::int32_t c = left; c <= right && !changed; ++c) {
        const TXLSCellRef* cell = heap.FindCell(r, c);
        if (!cell || !cell->Merged()) continue;
        Area a = AreaOf(*cell->Merge()->master);
        if (a.c1 < c1) c1 = a.c2 + 1, changed = true;
        else if (a.c2 > c2) c2 = a.c1 - 1, changed = true;
        else if (a.r1 < r1) r1 = a.r2 + 1, changed = true;
        else if (a.r2 > r2) r2 = a.r1 - 1, changed = true;
      }
    }
  }
  if (r1 > r2 || c1 > c2) return;  // nothing would be left
  firstRow_ = static_cast<std::uint16_t>(r1);
  lastRow_ = static_cast<std::uint16_t>(r2);
  firstCol_ = static_cast<std::uint8_t>(c1);
  lastCol_ = static_cast<std::uint8_t>(c2);
}

void TXLSRange::Select() {
  ExpandToMergedAreas();
  sheet_->SetSelection(CreateRC(sheet_, firstRow_, firstCol_, lastRow_, lastCol_));
}

void TXLSRange::Merge(bool across) { MergeArea(across, false); }

void TXLSRange::MergeArea(bool across, bool keepValues) {
  TXLSCellHeap& heap = sheet_->Cells();
  ExpandToMergedAreas();
  const std::int32_t r1 = firstRow_, r2 = lastRow_, c1 = firstCol_, c2 = lastCol_;
  UnMerge();  // areas inside the range give way to the new one
  for (std::int32_t r = r1; r <= r2; ++r) {
    TXLSCellRef* master = nullptr;
    for (std::int32_t c = c1; c <= c2; ++c) {
      TXLSCellRef* cell = heap.GetOrCreateCell(r, c);
      if (!master) {
        master = across || r == r1 ? cell : heap.FindCell(r1, c1);
      }
      auto info = std::make_unique<TXLSMergeInfo>();
      info->master = master;
      info->rows = across ? 1 : r2 - r1 + 1;
      info->columns = static_cast<std::uint16_t>(c2 - c1 + 1);
      if (cell != master && !keepValues) TXLSCellRef::SetValue(*cell, *sheet_, Variant());
      cell->SetMerge(std::move(info));
    }
  }
  sheet_->Workbook()->BumpRecalcStamp();
}

void TXLSRange::UnMerge() {
  TXLSCellHeap& heap = sheet_->Cells();
  std::int32_t r1, c1, r2, c2;
  if (!ClipToUsedArea(r1, c1, r2, c2)) return;
  bool dissolved = false;
  for (std::int32_t r = r1; r <= r2; ++r) {
    for (std::int32_t c = c1; c <= c2; ++c) {
      TXLSCellRef* cell = heap.FindCell(r, c);
      if (cell && cell->Merged()) {
        heap.DissolveMerge(cell->Merge()->master);
        dissolved = true;
      }
    }
  }
  // Formulas read the cells that were under the area as their values now.
  if (dissolved) sheet_->Workbook()->BumpRecalcStamp();
}

bool TXLSRange::GetMergeCells() const {
  const TXLSCellRef* cell = sheet_->Cells().FindCell(firstRow_, firstCol_);
  if (!cell || !cell->Merged()) return false;
  Area a = AreaOf(*cell->Merge()->master);
  return firstRow_ >= a.r1 && lastRow_ <= a.r2 && firstCol_ >= a.c1 && lastCol_ <= a.c2;
}

IXLSRange TXLSRange::GetMergeArea() {
  if (!GetMergeCells()) return IXLSRange(shared_from_this());
  Area a = AreaOf(*sheet_->Cells().FindCell(firstRow_, firstCol_)->Merge()->master);
  return CreateRC(sheet_, a.r1, a.c1, a.r2, a.c2);
}

void TXLSRange::ClearCells(std::int32_t mask) {
  TXLSCellHeap& heap = sheet_->Cells();
  TXLSXFList& xfs = sheet_->Workbook()->XFList();
  std::int32_t r1, c1, r2, c2;
  if (!ClipToUsedArea(r1, c1, r2, c2)) return;
  for (std::int32_t r = r1; r <= r2; ++r) {
    for (std::int32_t c = c1; c <= c2; ++c) {
      TXLSCellRef* cell = heap.FindCell(r, c);
      if (!cell) continue;
      if (mask & 1) {
        // A merged area is a format of its cells: clearing formats dissolves it first.
        if (cell->Merged()) heap.DissolveMerge(cell->Merge()->master);
        xfs.MoveUse(cell->XF(), 0);
        cell->SetXF(0);
      }
      TXLSCellRef::SetValue(*cell, *sheet_, Variant());
    }
  }
  sheet_->Workbook()->BumpRecalcStamp();
}

void TXLSRange::ClearContents() { ClearCells(2); }
void TXLSRange::Clear() {
  ClearCells(3);
  // The rules and links that live on the cells go with their formats: hyperlinks, comments,
  // conditional formats and validations.
  if (sheet_->HasHyperlinks()) sheet_->Hyperlinks().DeleteArea(firstRow_, firstCol_, lastRow_, lastCol_);
  if (TXLSSheetDrawingBase* drawing = sheet_->DrawingSlot()) drawing->DeleteRect(firstRow_, firstCol_, lastCol_, lastRow_);
  if (TXLSSheetRulesBase* rules = sheet_->RulesSlot()) rules->DeleteRect(firstRow_, firstCol_, lastCol_, lastRow_);
}

}  // namespace xls

