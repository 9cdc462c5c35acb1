// Formatting of ranges: every change goes through the XF list, which returns the index of the
// changed format; cells, and the styles of whole rows and columns, take the new index.
#include <algorithm>
#include <cmath>

#include "xls/model/range.h"
#include "xls/model/workbook.h"
#include "xls/model/worksheet.h"
#include "xls/model/xf_list.h"

namespace xls {

namespace {

using EdgeSetter = std::function<std::int32_t(std::int32_t, std::int32_t, bool)>;

struct AlignCode {
  std::int32_t constant;
  std::int32_t code;
};
// The interface's alignment constants and the codes the cell formats store for them.
constexpr AlignCode kHorizontal[] = {{kHAlignGeneral, 0}, {kHAlignLeft, 1},         {kHAlignCenter, 2},
                                     {kHAlignRight, 3},   {kHAlignFill, 4},         {kHAlignJustify, 5},
                                     {kHAlignCenterAcross, 6}, {kHAlignDistributed, 7}};
constexpr AlignCode kVertical[] = {{kVAlignTop, 0}, {kVAlignCenter, 1}, {kVAlignBottom, 2}, {kVAlignJustify, 3},
                                   {kVAlignDistributed, 4}};

template <std::size_t N>
std::int32_t CodeOf(const AlignCode (&table)[N], std::int32_t constant) {
  for (const AlignCode& a : table) {
    if (a.constant == constant) return a.code;
  }
  return -1;
}

template <std::size_t N>
std::int32_t ConstantOf(const AlignCode (&table)[N], std::int32_t code) {
  for (const AlignCode& a : table) {
    if (a.code == code) return a.constant;
  }
  return 0;
}

bool CellInside(std::int64_t r, std::int64_t c) { return r >= 0 && r <= 65535 && c >= 0 && c <= 255; }

}  // namespace

std::int32_t TXLSRange::RangeKind() const {
  if (firstRow_ == 0 && lastRow_ == 65535) return 1;
  if (firstCol_ == 0 && lastCol_ == 255) return 2;
  return 0;
}

void TXLSRange::ApplyToCell(std::int32_t row, std::int32_t column, const XFSetter& setter,
                            std::int32_t& memoOld, std::int32_t& memoNew, bool skipMergedNonMaster) {
  TXLSCellRef* cell = sheet_->Cells().GetOrCreateCell(row, column);
  if (skipMergedNonMaster && cell->IsMergedNonMaster()) return;
  bool own = false;
  std::int32_t old = sheet_->GetCellXF(row, column, &own);
  TXLSXFList& xfs = sheet_->Workbook()->XFList();
  if (!own) {
    // The cell takes its inherited format as its own first, so that every setter result,
    // changed or not, is one counted use of the cell.
    xfs.AddUse(old);
    cell->SetXF(old);
  }
  if (memoOld >= 0 && old == memoOld) {
    xfs.MoveUse(old, memoNew);
    cell->SetXF(memoNew);
    return;
  }
  std::int32_t n = setter(old, true);
  memoOld = old;
  memoNew = n;
  cell->SetXF(n);
}

void TXLSRange::ApplyFormat(const XFSetter& setter) {
  TXLSCellHeap& heap = sheet_->Cells();
  TXLSXFList& xfs = sheet_->Workbook()->XFList();
  std::int32_t memoOld = -1, memoNew = 0;
  const std::int32_t kind = RangeKind();
  if (kind == 0) {
    for (std::int32_t r = firstRow_; r <= lastRow_; ++r) {
      for (std::int32_t c = firstCol_; c <= lastCol_; ++c) ApplyToCell(r, c, setter, memoOld, memoNew, true);
    }
    return;
  }
  if (kind == 1) {
    TXLSRowInfoList& rows = sheet_->RowInfo();
    std::int32_t r1 = heap.Empty() ? 65536 : heap.FirstRow();
    std::int32_t r2 = heap.Empty() ? -1 : heap.LastRow();
    if (!rows.Empty()) {
      r1 = std::min(r1, rows.FirstRow());
      r2 = std::max(r2, rows.LastRow());
    }
    for (std::int32_t c = firstCol_; c <= lastCol_; ++c) {
      TXLSColumnInfo* e = sheet_->ColumnInfo().GetOrCreate(c);
      e->xf = setter(e->xf, true);  // exactly one use moves from the old column style
      memoOld = -1;
      for (std::int32_t r = r1; r <= r2; ++r) {
        if (heap.FindCell(r, c)) {
          ApplyToCell(r, c, setter, memoOld, memoNew, true);
        } else if (rows.GetRowXF(r) != 0) {
          // The row's own style would hide the new column style: the cell takes the change
          // applied to the row's style.
          ApplyToCell(r, c, setter, memoOld, memoNew, true);
        }
      }
    }
    return;
  }
  TXLSColumnInfoList& cols = sheet_->ColumnInfo();
  std::int32_t c1 = heap.Empty() ? 256 : heap.FirstColumn();
  std::int32_t c2 = heap.Empty() ? -1 : heap.LastColumn();
  if (!cols.Empty()) {
    c1 = std::min(c1, cols.FirstColumn());
    c2 = std::max(c2, cols.LastColumn());
  }
  for (std::int32_t r = firstRow_; r <= lastRow_; ++r) {
    TXLSRowInfo* e = sheet_->RowInfo().GetOrCreate(r);
    e->xf = setter(e->hasStyle ? e->xf : 0, true);
    e->hasStyle = 1;
    memoOld = -1;
    for (std::int32_t c = c1; c <= c2; ++c) {
      if (heap.FindCell(r, c)) {
        ApplyToCell(r, c, setter, memoOld, memoNew, true);
      } else if (cols.GetEntry(c)) {
        // The new row style would hide the column's format: the cell takes the column's
        // format with the change.
        std::int32_t colXF = cols.GetColumnXF(c);
        TXLSCellRef* cell = heap.GetOrCreateCell(r, c);
        xfs.MoveUse(cell->XF(), colXF);
        cell->SetXF(colXF);
        ApplyToCell(r, c, setter, memoOld, memoNew, true);
      }
    }
  }
}

std::int32_t TXLSRange::GetFirstCellXF() const { return sheet_->GetCellXF(firstRow_, firstCol_); }

namespace {
TXLSXFList& XFs(IXLSWorksheet* sheet) { return sheet->Workbook()->XFList(); }
}  // namespace

// ----- attributes -------------------------------------------------------------------------

std::u16string TXLSRange::GetNumberFormat() const { return XFs(sheet_).GetFormatText(GetFirstCellXF()); }
void TXLSRange::SetNumberFormat(const std::u16string& format) {
  TXLSXFList& x = XFs(sheet_);
  ApplyFormat([&](std::int32_t old, bool own) { return x.SetFormatText(old, format, own); });
}

Variant TXLSRange::GetWrapText() const { return Variant(XFs(sheet_).GetWrapText(GetFirstCellXF())); }
void TXLSRange::SetWrapText(const Variant& v) {
  bool b = false;
  if (!v.ToBoolean(b)) return;
  TXLSXFList& x = XFs(sheet_);
  ApplyFormat([&](std::int32_t old, bool own) { return x.SetWrapText(old, b, own); });
}

Variant TXLSRange::GetOrientation() const {
  std::int32_t r = XFs(sheet_).GetRotation(GetFirstCellXF());
  if (r != 255 && r > 90) return Variant(static_cast<int>(90 - r));
  return Variant(static_cast<int>(r));
}

void TXLSRange::SetOrientation(const Variant& v) {
  std::int64_t n = 0;
  if (!v.ToInteger(n)) return;
  if (n < 0) n = 90 - n;
  if (n >= 181 && n != 255) return;
  TXLSXFList& x = XFs(sheet_);
  ApplyFormat([&](std::int32_t old, bool own) { return x.SetRotation(old, static_cast<std::int32_t>(n), own); });
}

bool TXLSRange::GetLocked() const { return XFs(sheet_).GetLocked(GetFirstCellXF()); }
void TXLSRange::SetLocked(bool v) {
  TXLSXFList& x = XFs(sheet_);
  ApplyFormat([&](std::int32_t old, bool own) { return x.SetLocked(old, v, own); });
}
bool TXLSRange::GetFormulaHidden() const { return XFs(sheet_).GetFormulaHidden(GetFirstCellXF()); }
void TXLSRange::SetFormulaHidden(bool v) {
  TXLSXFList& x = XFs(sheet_);
  ApplyFormat([&](std::int32_t old, bool own) { return x.SetFormulaHidden(old, v, own); });
}
bool TXLSRange::GetShrinkToFit() const { return XFs(sheet_).GetShrinkToFit(GetFirstCellXF()); }
void TXLSRange::SetShrinkToFit(bool v) {
  TXLSXFList& x = XFs(sheet_);
  ApplyFormat([&](std::int32_t old, bool own) { return x.SetShrinkToFit(old, v, own); });
}
std::int32_t TXLSRange::GetReadingOrder() const { return XFs(sheet_).GetReadingOrder(GetFirstCellXF()); }
void TXLSRange::SetReadingOrder(std::uint8_t v) {
  if (v > 2) return;  // context, left-to-right, right-to-left
  TXLSXFList& x = XFs(sheet_);
  ApplyFormat([&](std::int32_t old, bool own) { return x.SetReadingOrder(old, v, own); });
}

std::int32_t TXLSRange::GetHorizontalAlignment() const {
  return ConstantOf(kHorizontal, XFs(sheet_).GetHorizontalAlignment(GetFirstCellXF()));
}
void TXLSRange::SetHorizontalAlignment(std::int32_t v) {
  std::int32_t code = CodeOf(kHorizontal, v);
  if (code < 0) return;
  TXLSXFList& x = XFs(sheet_);
  ApplyFormat([&](std::int32_t old, bool own) { return x.SetHorizontalAlignment(old, code, own); });
}
std::int32_t TXLSRange::GetVerticalAlignment() const {
  return ConstantOf(kVertical, XFs(sheet_).GetVerticalAlignment(GetFirstCellXF()));
}
void TXLSRange::SetVerticalAlignment(std::int32_t v) {
  std::int32_t code = CodeOf(kVertical, v);
  if (code < 0) return;
  TXLSXFList& x = XFs(sheet_);
  ApplyFormat([&](std::int32_t old, bool own) { return x.SetVerticalAlignment(old, code, own); });
}

std::int32_t TXLSRange::GetIndentLevel() const { return XFs(sheet_).GetIndent(GetFirstCellXF()); }
void TXLSRange::SetIndentLevel(std::int32_t v) {
  if (v < 0 || v > 15) return;
  TXLSXFList& x = XFs(sheet_);
  ApplyFormat([&](std::int32_t old, bool own) { return x.SetIndent(old, v, own); });
}

std::int32_t TXLSRange::GetInteriorColor() const { return XFs(sheet_).GetInteriorColor(GetFirstCellXF()) & 0xFF; }
void TXLSRange::SetInteriorColor(std::int32_t c) {
  TXLSXFList& x = XFs(sheet_);
  ApplyFormat([&](std::int32_t old, bool own) { return x.SetInteriorColor(old, c & 0xFFFF, own); });
}
std::int32_t TXLSRange::GetFillPattern() const { return XFs(sheet_).GetFillPattern(GetFirstCellXF()) & 0xFF; }
void TXLSRange::SetFillPattern(std::int32_t p) {
  TXLSXFList& x = XFs(sheet_);
  ApplyFormat([&](std::int32_t old, bool own) { return x.SetFillPattern(old, p & 0xFFFF, own); });
}
std::int32_t TXLSRange::GetPatternColor() const { return XFs(sheet_).GetPatternColor(GetFirstCellXF()) & 0xFF; }
void TXLSRange::SetPatternColor(std::int32_t c) {
  TXLSXFList& x = XFs(sheet_);
  ApplyFormat([&](std::int32_t old, bool own) { return x.SetPatternColor(old, c & 0xFFFF, own); });
}

// ----- fonts ------------------------------------------------------------------------------

#define XLS_FONT_GET(Type, Name) \
  Type TXLSRange::GetFont##Name() const { return XFs(sheet_).GetFont##Name(GetFirstCellXF()); }
#define XLS_FONT_SET(Type, Name)                                                              \
  void TXLSRange::SetFont##Name(Type v) {                                                     \
    TXLSXFList& x = XFs(sheet_);                                                              \
    ApplyFormat([&](std::int32_t old, bool own) { return x.SetFont##Name(old, v, own); });    \
  }
XLS_FONT_GET(bool, Bold)
XLS_FONT_GET(std::u16string, Name)
XLS_FONT_GET(double, Size)
XLS_FONT_GET(std::int32_t, Color)
XLS_FONT_GET(bool, Italic)
XLS_FONT_GET(bool, Strikethrough)
XLS_FONT_GET(bool, Outline)
XLS_FONT_GET(bool, Shadow)
XLS_FONT_GET(std::int32_t, Charset)
XLS_FONT_GET(std::int32_t, Family)
XLS_FONT_GET(std::int32_t, Underline)
XLS_FONT_GET(bool, Subscript)
XLS_FONT_GET(bool, Superscript)
XLS_FONT_SET(bool, Bold)
XLS_FONT_SET(const std::u16string&, Name)
XLS_FONT_SET(double, Size)
XLS_FONT_SET(std::int32_t, Color)
XLS_FONT_SET(bool, Italic)
XLS_FONT_SET(bool, Strikethrough)
XLS_FONT_SET(bool, Outline)
XLS_FONT_SET(bool, Shadow)
XLS_FONT_SET(std::uint8_t, Charset)
XLS_FONT_SET(std::uint8_t, Family)
XLS_FONT_SET(std::uint8_t, Underline)
XLS_FONT_SET(bool, Subscript)
XLS_FONT_SET(bool, Superscript)
#undef XLS_FONT_GET
#undef XLS_FONT_SET

// ----- borders ----------------------------------------------------------------------------

void TXLSRange::ApplyEdges(std::int32_t r1, std::int32_t c1, std::int32_t r2, std::int32_t c2,
                           std::int32_t mask, bool neighbour, const EdgeSetter& setter) {
  r1 = std::max(r1, 0);
  c1 = std::max(c1, 0);
  r2 = std::min(r2, 65535);
  c2 = std::min(c2, 255);
  if (r1 > r2 || c1 > c2) return;
  TXLSCellHeap& heap = sheet_->Cells();
  TXLSXFList& xfs = XFs(sheet_);
  std::int32_t memoOld = -1, memoNew = 0;
  for (std::int32_t r = r1; r <= r2; ++r) {
    for (std::int32_t c = c1; c <= c2; ++c) {
      if (!neighbour) {
        ApplyToCell(r, c, [&](std::int32_t old, bool own) { return setter(old, mask, own); }, memoOld,
                    memoNew, false);
        continue;
      }
      if (!heap.FindCell(r, c)) continue;
      if (!xfs.HasOwnBorders(sheet_->GetCellXF(r, c))) continue;
      // The neighbour's facing edge goes, so that the two sides do not disagree.
      ApplyToCell(r, c,
                  [&](std::int32_t old, bool own) { return xfs.SetBorderLineStyle(old, mask, own, kXlNone); },
                  memoOld, memoNew, false);
    }
  }
}

void TXLSRange::SetBorder(std::int32_t index, const EdgeSetter& setter) {
  const std::int32_t r1 = firstRow_, r2 = lastRow_, c1 = firstCol_, c2 = lastCol_;
  switch (index) {
    case kBorderDiagonalDown:
      ApplyEdges(r1, c1, r2, c2, kEdgeDiagonalDown, false, setter);
      break;
    case kBorderDiagonalUp:
      ApplyEdges(r1, c1, r2, c2, kEdgeDiagonalUp, false, setter);
      break;
    case kBorderLeft:
      ApplyEdges(r1, c1, r2, c1, kEdgeLeft, false, setter);
      if (c1 > 0) ApplyEdges(r1, c1 - 1, r2, c1 - 1, kEdgeRight, true, setter);
      break;
    case kBorderTop:
      ApplyEdges(r1, c1, r1, c2, kEdgeTop, false, setter);
      if (r1 > 0) ApplyEdges(r1 - 1, c1, r1 - 1, c2, kEdgeBottom, true, setter);
      break;
    case kBorderBottom:
      ApplyEdges(r2, c1, r2, c2, kEdgeBottom, false, setter);
      ApplyEdges(r2 + 1, c1, r2 + 1, c2, kEdgeTop, true, setter);
      break;
    case kBorderRight:
      ApplyEdges(r1, c2, r2, c2, kEdgeRight, false, setter);
      ApplyEdges(r1, c2 + 1, r2, c2 + 1, kEdgeLeft, true, setter);
      break;
    case kBorderInsideVertical:
      if (c1 < c2) {
        ApplyEdges(r1, c1, r2, c1, kEdgeRight, false, setter);
        ApplyEdges(r1, c2, r2, c2, kEdgeLeft, false, setter);
        if (c2 - c1 > 1) ApplyEdges(r1, c1 + 1, r2, c2 - 1, kEdgeLeft | kEdgeRight, false, setter);
      }
      break;
    case kBorderInsideHorizontal:
      if (r1 < r2) {
        ApplyEdges(r1, c1, r1, c2, kEdgeBottom, false, setter);
        ApplyEdges(r2, c1, r2, c2, kEdgeTop, false, setter);
        if (r2 - r1 > 1) ApplyEdges(r1 + 1, c1, r2 - 1, c2, kEdgeTop | kEdgeBottom, false, setter);
      }
      break;
    case kBorderOutline:
      SetBorder(kBorderRight, setter);
      SetBorder(kBorderTop, setter);
      SetBorder(kBorderBottom, setter);
      SetBorder(kBorderLeft, setter);
      break;
    case kBorderInside:
      SetBorder(kBorderInsideHorizontal, setter);
      SetBorder(kBorderInsideVertical, setter);
      break;
    default:
      break;
  }
}

void TXLSRange::SetAllBorders(const EdgeSetter& setter) {
  const std::int32_t r1 = firstRow_, r2 = lastRow_, c1 = firstCol_, c2 = lastCol_;
  ApplyEdges(r1, c1, r2, c2, kEdgeLeft | kEdgeRight | kEdgeTop | kEdgeBottom, false, setter);
  if (r1 > 0) ApplyEdges(r1 - 1, c1, r1 - 1, c2, kEdgeBottom, true, setter);
  ApplyEdges(r2 + 1, c1, r2 + 1, c2, kEdgeTop, true, setter);
  if (c1 > 0) ApplyEdges(r1, c1 - 1, r2, c1 - 1, kEdgeRight, true, setter);
  ApplyEdges(r1, c2 + 1, r2, c2 + 1, kEdgeLeft, true, setter);
}

void TXLSRange::SetBorderColor(std::int32_t index, std::int32_t color) {
  TXLSXFList& x = XFs(sheet_);
  SetBorder(index, [&](std::int32_t old, std::int32_t mask, bool own) { return x.SetBorderColor(old, mask, own, color); });
}
void TXLSRange::SetBorderLineStyle(std::int32_t index, std::int32_t style) {
  TXLSXFList& x = XFs(sheet_);
  SetBorder(index, [&](std::int32_t old, std::int32_t mask, bool own) { return x.SetBorderLineStyle(old, mask, own, style); });
}
void TXLSRange::SetBorderWeight(std::int32_t index, std::int32_t weight) {
  TXLSXFList& x = XFs(sheet_);
  SetBorder(index, [&](std::int32_t old, std::int32_t mask, bool own) { return x.SetBorderWeight(old, mask, own, weight); });
}
void TXLSRange::SetAllBordersColor(std::int32_t color) {
  TXLSXFList& x = XFs(sheet_);
  SetAllBorders([&](std::int32_t old, std::int32_t mask, bool own) { return x.SetBorderColor(old, mask, own, color); });
}
void TXLSRange::SetAllBordersLineStyle(std::int32_t style) {
  TXLSXFList& x = XFs(sheet_);
  SetAllBorders([&](std::int32_t old, std::int32_t mask, bool own) { return x.SetBorderLineStyle(old, mask, own, style); });
}
void TXLSRange::SetAllBordersWeight(std::int32_t weight) {
  TXLSXFList& x = XFs(sheet_);
  SetAllBorders([&](std::int32_t old, std::int32_t mask, bool own) { return x.SetBorderWeight(old, mask, own, weight); });
}

// what: 0 colour, 1 line style, 2 weight. The edge between two cells is read from the upper
// or left cell first, then from the other; a side counts only inside the sheet and with
// borders of its own.
std::int32_t TXLSRange::ReadEdge(std::int32_t r1, std::int32_t c1, std::int32_t edge1, std::int32_t r2,
                                 std::int32_t c2, std::int32_t edge2, int what) const {
  TXLSXFList& xfs = XFs(sheet_);
  const std::int32_t rows[2] = {r1, r2}, cols[2] = {c1, c2}, edges[2] = {edge1, edge2};
  for (int side = 0; side < 2; ++side) {
    if (edges[side] == 0 || !CellInside(rows[side], cols[side])) continue;
    std::int32_t xf = sheet_->GetCellXF(rows[side], cols[side]);
    if (!xfs.HasOwnBorders(xf)) continue;
    if (what == 2) {
      std::int32_t w = xfs.GetBorderWeight(xf, edges[side]);
      if (w != kWeightThin) return w;
      continue;
    }
    if (xfs.GetBorderLineStyle(xf, edges[side]) == kXlNone) continue;
    return what == 0 ? xfs.GetBorderColor(xf, edges[side]) : xfs.GetBorderLineStyle(xf, edges[side]);
  }
  return what == 2 ? kWeightThin : kXlNone;
}

template <typename Read>
std::int32_t TXLSRange::ReadBorder(std::int32_t index, std::int32_t unequal, std::int32_t fallback,
                                   Read read) const {
  const std::int32_t r1 = firstRow_, r2 = lastRow_, c1 = firstCol_, c2 = lastCol_;
  switch (index) {
    case kBorderDiagonalDown:
      return read(r1, c1, kEdgeDiagonalDown, -1, -1, 0);
    case kBorderDiagonalUp:
      return read(r1, c1, kEdgeDiagonalUp, -1, -1, 0);
    case kBorderLeft:
      return read(r1, c1 - 1, kEdgeRight, r1, c1, kEdgeLeft);
    case kBorderTop:
    case kBorderOutline:
      return read(r1 - 1, c1, kEdgeBottom, r1, c1, kEdgeTop);
    case kBorderBottom:
      return read(r2, c2, kEdgeBottom, r2 + 1, c2, kEdgeTop);
    case kBorderRight:
      return read(r2, c2, kEdgeRight, r2, c2 + 1, kEdgeLeft);
    case kBorderInsideVertical:
      return c1 < c2 ? read(r1, c1, kEdgeRight, r1, c1 + 1, kEdgeLeft) : unequal;
    case kBorderInsideHorizontal:
      return r1 < r2 ? read(r1, c1, kEdgeBottom, r1 + 1, c1, kEdgeTop) : unequal;
    case kBorderInside: {
      std::int32_t h = ReadBorder(kBorderInsideHorizontal, unequal, fallback, read);
      std::int32_t v = ReadBorder(kBorderInsideVertical, unequal, fallback, read);
      return h == v ? h : unequal;
    }
    default:
      return fallback;
  }
}

std::int32_t TXLSRange::GetBorderColor(std::int32_t index) const {
  return ReadBorder(index, 0, kXlNone, [this](auto... a) { return ReadEdge(a..., 0); });
}
std::int32_t TXLSRange::GetBorderLineStyle(std::int32_t index) const {
  return ReadBorder(index, -1, kXlNone, [this](auto... a) { return ReadEdge(a..., 1); });
}
std::int32_t TXLSRange::GetBorderWeight(std::int32_t index) const {
  return ReadBorder(index, -1, kWeightThin, [this](auto... a) { return ReadEdge(a..., 2); });
}

std::int32_t TXLSRange::CommonEdgeCode() const {
  TXLSXFList& xfs = XFs(sheet_);
  std::int32_t xf = GetFirstCellXF();
  if (!xfs.HasOwnBorders(xf)) return 0;
  std::int32_t code = xfs.GetBorderStyleCode(xf, kEdgeTop);
  for (std::int32_t e : {kEdgeBottom, kEdgeLeft, kEdgeRight}) {
    if (xfs.GetBorderStyleCode(xf, e) != code) return -1;
  }
  return code;
}

std::int32_t TXLSRange::GetAllBordersColor() const {
  std::int32_t code = CommonEdgeCode();
  if (code == 0) return kXlNone;
  if (code == -1) return 0;
  TXLSXFList& xfs = XFs(sheet_);
  std::int32_t xf = GetFirstCellXF();
  std::int32_t color = xfs.GetBorderColor(xf, kEdgeLeft);
  for (std::int32_t e : {kEdgeRight, kEdgeTop, kEdgeBottom}) {
    if (xfs.GetBorderColor(xf, e) != color) return 0;
  }
  return color;
}
std::int32_t TXLSRange::GetAllBordersLineStyle() const {
  std::int32_t code = CommonEdgeCode();
  return code == -1 ? -1 : TXLSXFList::LineStyleFromCode(code);
}
std::int32_t TXLSRange::GetAllBordersWeight() const {
  std::int32_t code = CommonEdgeCode();
  return code == -1 ? -1 : TXLSXFList::WeightFromCode(code);
}

// ----- sizes ------------------------------------------------------------------------------

Variant TXLSRange::ReadSizes(bool columns, bool hidden) const {
  const std::int32_t first = columns ? firstCol_ : firstRow_;
  const std::int32_t last = columns ? lastCol_ : lastRow_;
  auto one = [&](std::int32_t i) {
    if (columns) {
      const TXLSColumnInfoList& l = sheet_->ColumnInfo();
      return hidden ? Variant(l.IsHidden(i)) : Variant(l.GetColumnWidth(i));
    }
    const TXLSRowInfoList& l = sheet_->RowInfo();
    return hidden ? Variant(l.IsHidden(i)) : Variant(l.GetRowHeight(i));
  };
  if (first == last) return one(first);
  Variant out = Variant::Array1(last - first + 1);
  for (std::int32_t i = first; i <= last; ++i) *out.ArrayValue()->At(i - first) = one(i);
  return out;
}

void TXLSRange::WriteSizes(bool columns, bool hidden, const Variant& v) {
  const std::int32_t first = columns ? firstCol_ : firstRow_;
  const std::int32_t last = columns ? lastCol_ : lastRow_;
  auto put = [&](std::int32_t i, const Variant& x) {
    if (hidden) {
      bool b = false;
      if (!x.ToBoolean(b)) return;
      if (columns) sheet_->ColumnInfo().SetHidden(i, b); else sheet_->RowInfo().SetHidden(i, b);
      return;
    }
    double d = 0;
    if (!x.ToDouble(d)) return;
    if (columns) sheet_->ColumnInfo().SetColumnWidth(i, d > 255 ? 255 : d);
    else sheet_->RowInfo().SetRowHeight(i, d);
  };
  if (!v.IsArray()) {
    for (std::int32_t i = first; i <= last; ++i) put(i, v);
    return;
  }
  const VariantArray* a = v.ArrayValue();
  if (!a || a->Dimensions() != 1) return;
  for (std::int32_t i = first; i <= last; ++i) {
    std::int32_t j = i - first;
    if (j < a->Count(0)) {
      put(i, *a->At(a->Low(0) + j));
    } else if (a->Count(0) == 1) {
      put(i, *a->At(a->Low(0)));
    }
  }
}

Variant TXLSRange::GetColumnWidth() const { return ReadSizes(true, false); }
void TXLSRange::SetColumnWidth(const Variant& v) { WriteSizes(true, false, v); }
Variant TXLSRange::GetRowHeight() const { return ReadSizes(false, false); }
void TXLSRange::SetRowHeight(const Variant& v) { WriteSizes(false, false, v); }
Variant TXLSRange::GetColumnsHidden() const { return ReadSizes(true, true); }
void TXLSRange::SetColumnsHidden(const Variant& v) { WriteSizes(true, true, v); }
Variant TXLSRange::GetRowsHidden() const { return ReadSizes(false, true); }
void TXLSRange::SetRowsHidden(const Variant& v) { WriteSizes(false, true, v); }

double TXLSRange::GetHeight() const {
  double h = 0;
  for (std::int32_t r = firstRow_; r <= lastRow_; ++r) h += sheet_->RowInfo().GetRowHeight(r);
  return h;
}

}  // namespace xls
