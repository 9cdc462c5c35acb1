// A rectangle of cells of one worksheet, the handle through which callers read and change
// values and formats. A range holds no cells: every operation goes to the sheet's cell store,
// its row and column information and the workbook's format list, so two ranges over the same
// cells see the same data. A range is reference-counted and seen through four views that
// differ only in what Count, Item and the hidden flag mean:
//
//   view               Count     Item(i)                  hidden flag of
//   IXLSRange          rows      row i (IXLSRowItemRange) the columns
//   IXLSRowItemRange   columns   column i (IXLSRange)     the rows
//   IXLSColsRange      columns   column i (IXLSRange)     the columns
//   IXLSRowsRange      rows      row i (IXLSRowItemRange) the rows
//
// so Item(i) then Item(j) of an IXLSRange visits cell (i, j) of the range.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "xls/model/variant.h"

namespace platform {
class ByteStream;
}

namespace xls {

class IXLSWorksheet;
class TXLSRange;
class TXLSComment;
class TXLSFont;
class TXLSInterior;
class TXLSBorders;
class TXLSHyperLinks;
using IXLSFont = std::shared_ptr<TXLSFont>;
using IXLSInterior = std::shared_ptr<TXLSInterior>;
using IXLSBorders = std::shared_ptr<TXLSBorders>;

// Raised for item access and positions outside rows 1..65536 or columns 1..256.
inline constexpr const char* kInvalidRowColumn = "Invalid row/column index";

enum class RangeView { Range, RowItem, Columns, Rows };

template <RangeView V>
class XLSRangeHandle {
 public:
  XLSRangeHandle() = default;
  explicit XLSRangeHandle(std::shared_ptr<TXLSRange> r) : r_(std::move(r)) {}

  TXLSRange* operator->() const { return r_.get(); }
  TXLSRange& operator*() const { return *r_; }
  explicit operator bool() const { return r_ != nullptr; }
  const std::shared_ptr<TXLSRange>& Object() const { return r_; }

  std::int32_t Count() const;
  // 1-based; a row or column outside the sheet raises "Invalid row/column index".
  auto Item(std::int32_t i) const;
  Variant GetHidden() const;
  void SetHidden(const Variant& v) const;

 private:
  std::shared_ptr<TXLSRange> r_;
};

using IXLSRange = XLSRangeHandle<RangeView::Range>;
using IXLSRowItemRange = XLSRangeHandle<RangeView::RowItem>;
using IXLSColsRange = XLSRangeHandle<RangeView::Columns>;
using IXLSRowsRange = XLSRangeHandle<RangeView::Rows>;

// Horizontal alignment constants of the interface.
constexpr std::int32_t kHAlignGeneral = 1;
constexpr std::int32_t kHAlignLeft = -4131;
constexpr std::int32_t kHAlignCenter = -4108;
constexpr std::int32_t kHAlignRight = -4152;
constexpr std::int32_t kHAlignFill = 5;
constexpr std::int32_t kHAlignJustify = -4130;
constexpr std::int32_t kHAlignCenterAcross = 7;
constexpr std::int32_t kHAlignDistributed = -4117;
constexpr std::int32_t kVAlignTop = -4160;
constexpr std::int32_t kVAlignCenter = -4108;
constexpr std::int32_t kVAlignBottom = -4107;
constexpr std::int32_t kVAlignJustify = -4130;
constexpr std::int32_t kVAlignDistributed = -4117;

// Border indexes of the border objects.
enum XLSBorderIndex : std::int32_t {
  kBorderDiagonalDown = 5,
  kBorderDiagonalUp = 6,
  kBorderLeft = 7,
  kBorderTop = 8,
  kBorderBottom = 9,
  kBorderRight = 10,
  kBorderInsideVertical = 11,
  kBorderInsideHorizontal = 12,
  kBorderOutline = 13,
  kBorderInside = 14,
};

class TXLSRange : public std::enable_shared_from_this<TXLSRange> {
 public:
  // A change of one XF attribute: (old XF, own flag) -> new XF, with the use moved (own) or
  // added (inherited format).
  using XFSetter = std::function<std::int32_t(std::int32_t oldXF, bool own)>;

  // Corners given as A1 texts, in either order; a text that does not parse counts as A1.
  static IXLSRange Create(IXLSWorksheet* sheet, const std::u16string& first,
                          const std::u16string& second);
  // 0-based corners, in either order; callers keep them inside the sheet.
  static IXLSRange CreateRC(IXLSWorksheet* sheet, std::int32_t row1, std::int32_t column1,
                            std::int32_t row2, std::int32_t column2);
  TXLSRange(IXLSWorksheet* sheet, std::int32_t row1, std::int32_t column1, std::int32_t row2,
            std::int32_t column2);

  // ----- addressing ----------------------------------------------------------------------
  // 1-based, relative to the top-left cell; need not lie inside the range.
  IXLSRange GetItem(std::int32_t row, std::int32_t column) const;
  IXLSRowItemRange GetRowItem(std::int32_t i) const;
  IXLSRange GetColumnItem(std::int32_t i) const;
  IXLSRowsRange GetEntireRow() const;
  IXLSColsRange GetEntireColumn() const;
  IXLSRowsRange GetRows() { return IXLSRowsRange(shared_from_this()); }
  IXLSColsRange GetColumns() { return IXLSColsRange(shared_from_this()); }
  IXLSRange GetCells() { return IXLSRange(shared_from_this()); }
  // A new range of the same size moved by the offsets; this range does not move.
  IXLSRange GetOffset(std::int32_t rowOffset, std::int32_t columnOffset) const;
  // Moves this range (0-based top-left), keeping its size; the whole range must stay inside.
  void SetPosition(std::int32_t row, std::int32_t column);
  std::int32_t GetRow() const { return firstRow_ + 1; }
  std::int32_t GetColumn() const { return firstCol_ + 1; }
  std::int32_t GetFirstRow() const { return firstRow_; }
  std::int32_t GetLastRow() const { return lastRow_; }
  std::int32_t GetFirstCol() const { return firstCol_; }
  std::int32_t GetLastCol() const { return lastCol_; }
  std::int32_t GetRowCount() const { return lastRow_ - firstRow_ + 1; }
  std::int32_t GetColumnCount() const { return lastCol_ - firstCol_ + 1; }
  std::int32_t GetCount() const { return GetRowCount() * GetColumnCount(); }
  IXLSWorksheet* GetWorksheet() const { return sheet_; }
  // The sheet's hyperlinks that touch this range (defined with the hyperlinks).
  std::shared_ptr<TXLSHyperLinks> GetHyperlinks();

  // ----- values --------------------------------------------------------------------------
  // Stores the value in every cell (arrays spread over the cells). Texts are literal after a
  // leading "'"; a text beginning with "=" is a formula, or text when it does not compile
  // (TXLSCellRef::SetValue). The result is 1.
  std::int32_t SetValue(const Variant& value);
  // One cell: its value (a date for numbers in a date format); a larger range: a 2-D array.
  Variant GetValue() const;
  Variant GetFormula() const;
  bool GetHasFormula() const;

  // ----- formats -------------------------------------------------------------------------
  IXLSFont GetFont();
  IXLSInterior GetInterior();
  IXLSBorders GetBorders();
  std::int32_t GetFirstCellXF() const;

  std::u16string GetNumberFormat() const;
  void SetNumberFormat(const std::u16string& format);
  Variant GetWrapText() const;
  void SetWrapText(const Variant& v);
  Variant GetOrientation() const;
  void SetOrientation(const Variant& v);
  bool GetLocked() const;
  void SetLocked(bool v);
  bool GetFormulaHidden() const;
  void SetFormulaHidden(bool v);
  bool GetShrinkToFit() const;
  void SetShrinkToFit(bool v);
  std::int32_t GetReadingOrder() const;
  void SetReadingOrder(std::uint8_t v);
  std::int32_t GetHorizontalAlignment() const;
  void SetHorizontalAlignment(std::int32_t v);
  std::int32_t GetVerticalAlignment() const;
  void SetVerticalAlignment(std::int32_t v);
  std::int32_t GetIndentLevel() const;
  void SetIndentLevel(std::int32_t v);
  std::int32_t GetInteriorColor() const;
  void SetInteriorColor(std::int32_t c);
  std::int32_t GetFillPattern() const;
  void SetFillPattern(std::int32_t p);
  std::int32_t GetPatternColor() const;
  void SetPatternColor(std::int32_t c);

  // Font attributes of the top-left cell, and setters over every cell.
  bool GetFontBold() const;
  std::u16string GetFontName() const;
  double GetFontSize() const;
  std::int32_t GetFontColor() const;
  bool GetFontItalic() const;
  bool GetFontStrikethrough() const;
  bool GetFontOutline() const;
  bool GetFontShadow() const;
  std::int32_t GetFontCharset() const;
  std::int32_t GetFontFamily() const;
  std::int32_t GetFontUnderline() const;
  bool GetFontSubscript() const;
  bool GetFontSuperscript() const;
  void SetFontBold(bool v);
  void SetFontName(const std::u16string& v);
  void SetFontSize(double v);
  void SetFontColor(std::int32_t v);
  void SetFontItalic(bool v);
  void SetFontStrikethrough(bool v);
  void SetFontOutline(bool v);
  void SetFontShadow(bool v);
  void SetFontCharset(std::uint8_t v);
  void SetFontFamily(std::uint8_t v);
  void SetFontUnderline(std::uint8_t v);
  void SetFontSubscript(bool v);
  void SetFontSuperscript(bool v);

  // Borders by border index; colour indexes as the XF list takes them.
  void SetBorderColor(std::int32_t index, std::int32_t color);
  void SetBorderLineStyle(std::int32_t index, std::int32_t style);
  void SetBorderWeight(std::int32_t index, std::int32_t weight);
  void SetAllBordersColor(std::int32_t color);
  void SetAllBordersLineStyle(std::int32_t style);
  void SetAllBordersWeight(std::int32_t weight);
  std::int32_t GetBorderColor(std::int32_t index) const;
  std::int32_t GetBorderLineStyle(std::int32_t index) const;
  std::int32_t GetBorderWeight(std::int32_t index) const;
  std::int32_t GetAllBordersColor() const;
  std::int32_t GetAllBordersLineStyle() const;
  std::int32_t GetAllBordersWeight() const;

  // ----- sizes ---------------------------------------------------------------------------
  Variant GetColumnWidth() const;
  void SetColumnWidth(const Variant& v);
  Variant GetRowHeight() const;
  void SetRowHeight(const Variant& v);
  double GetHeight() const;
  Variant GetColumnsHidden() const;
  void SetColumnsHidden(const Variant& v);
  Variant GetRowsHidden() const;
  void SetRowsHidden(const Variant& v);

  // ----- merged areas and clearing -------------------------------------------------------
  // Merges the range into one area (across: one area per row); areas it touches dissolve.
  void Merge(bool across = false);
  void MergeCells() { Merge(false); }
  // Merges the range as a file holds the area: the cells it covers keep what they hold.
  void MergeAsRead() { MergeArea(false, true); }
  // Dissolves every merged area that has a cell in the range.
  void UnMerge();
  bool GetMergeCells() const;
  void SetMergeCells(bool v) {
    if (v) Merge(false); else UnMerge();
  }
  // The merged area of the top-left cell, or this range when it is not merged.
  IXLSRange GetMergeArea();
  // Values only / values and formats.
  void ClearContents();
  void Clear();
  // Grows this range until its border cuts no merged area.
  void ExpandToMergedAreas();
  // Shrinks this range away from merged areas that reach over its border; a range that would
  // become empty stays as it is.
  void ShrinkToMergedAreas();
  // The sheet's selection becomes this range, grown over the merged areas it cuts.
  void Select();

  // ----- copying and moving --------------------------------------------------------------
  // Copies the source's cells into this range, repeating the source over a larger range; the
  // flags choose the parts (1 formats, 2 contents, 4 column widths, 8 number format alone,
  // 16 comments; 23 everything). Without keepSource the source cells outside this range are
  // cleared afterwards (a move).
  void CopyFrom(const TXLSRange& source, std::int32_t flags, bool keepSource);
  void CopyTo(const IXLSRange& destination, std::int32_t flags) { destination->CopyFrom(*this, flags, true); }
  void CutTo(const IXLSRange& destination, std::int32_t flags) { destination->CopyFrom(*this, flags, false); }
  void Copy(const IXLSRange& destination) { CopyTo(destination, 23); }
  void Cut(const IXLSRange& destination) { CutTo(destination, 23); }

  // ----- inserting and deleting ---------------------------------------------------------
  // Shift: -4121 down / -4161 right (insert), -4162 up / -4159 left (delete); without one,
  // whole rows and ordinary ranges shift down (up), whole columns right (left). Whole rows and
  // columns take their settings along; inserted positions take the format of the row above or
  // the column to the left. Nothing happens when the pushed content would leave the sheet.
  // Both return true.
  Variant Insert(const Variant& shift = Variant());
  Variant Delete(const Variant& shift = Variant());

  // ----- outline levels ------------------------------------------------------------------
  // One level more (Group) or less (Ungroup) for every row (rows) or column of the range;
  // levels stay within 1..8.
  void Group(bool rows);
  void Ungroup(bool rows);
  std::int32_t GetRowOutlineLevel() const;
  std::int32_t GetColumnOutlineLevel() const;
  void SetRowOutlineLevel(std::int32_t level);
  void SetColumnOutlineLevel(std::int32_t level);
  void ClearOutline();

  // ----- comments (carried out by the drawing layer, kv_xls_drawing: library_slots.h) ---
  // The comment of the top-left cell, or nullptr; made when missing; made and given the text;
  // every comment of the range removed.
  TXLSComment* GetComment();
  TXLSComment* GetOrCreateComment();
  TXLSComment* AddComment(const std::u16string& text);
  void ClearComments();
  // Switches the sheet's autofilter on over this range (header row first), with a drop-down
  // in each header cell, or off again when it is on (carried out by the drawing layer).
  void AutoFilter();

  // ----- saving and fitting (carried out by the exporters, kv_xls_export) ----------------
  // The range's values as CSV (format 5), TSV (6), CSV or TSV in UTF-16 (7, 8), or the range
  // as an HTML page (3): 1, or -1 for another format or a file or stream that cannot be
  // written (an existing file then keeps what it held).
  std::int32_t SaveAsCSV(const std::u16string& fileName);
  std::int32_t SaveAs(const std::u16string& fileName, std::int32_t format);
  std::int32_t SaveAsToStream(platform::ByteStream& stream, std::int32_t format);
  // Column widths (true) or row heights (false) fitted to the cells' formatted texts.
  void AutoFit(bool columns);
  void AutoFitColumns();
  void AutoFitRows();
  // The width of the range's columns on the screen that autofit measures for: the sum of the
  // columns' widths in pixels, and that sum in points rounded to 2 decimals.
  std::int32_t GetWidthPixels() const;
  double GetWidth() const;

  // One format change over every cell of the range (whole columns and rows carry it in their
  // styles); exposed for the border and font objects.
  void ApplyFormat(const XFSetter& setter);

 private:
  std::int32_t RangeKind() const;
  void MergeArea(bool across, bool keepValues);
  // The part of the range inside the sheet's used area; false when they do not meet.
  bool ClipToUsedArea(std::int32_t& r1, std::int32_t& c1, std::int32_t& r2, std::int32_t& c2) const;
  // memoOld/memoNew remember the last change (memoOld -1: none), so that runs of cells with
  // the same format call the setter once.
  void ApplyToCell(std::int32_t row, std::int32_t column, const XFSetter& setter,
                   std::int32_t& memoOld, std::int32_t& memoNew, bool skipMergedNonMaster);
  void ApplyEdges(std::int32_t r1, std::int32_t c1, std::int32_t r2, std::int32_t c2,
                  std::int32_t mask, bool neighbour,
                  const std::function<std::int32_t(std::int32_t, std::int32_t, bool)>& setter);
  void SetBorder(std::int32_t index,
                 const std::function<std::int32_t(std::int32_t, std::int32_t, bool)>& setter);
  void SetAllBorders(const std::function<std::int32_t(std::int32_t, std::int32_t, bool)>& setter);
  template <typename Read>
  std::int32_t ReadBorder(std::int32_t index, std::int32_t unequal, std::int32_t fallback,
                          Read read) const;
  std::int32_t ReadEdge(std::int32_t r1, std::int32_t c1, std::int32_t edge1, std::int32_t r2,
                        std::int32_t c2, std::int32_t edge2, int what) const;
  std::int32_t CommonEdgeCode() const;
  Variant ReadSizes(bool columns, bool hidden) const;
  void WriteSizes(bool columns, bool hidden, const Variant& v);
  void ClearCells(std::int32_t mask);
  void ShiftCells(bool insert, const Variant& shift);

  IXLSWorksheet* sheet_;
  std::uint16_t firstRow_, lastRow_;
  std::uint8_t firstCol_, lastCol_;
};

// ----- view operations --------------------------------------------------------------------

template <RangeView V>
std::int32_t XLSRangeHandle<V>::Count() const {
  if constexpr (V == RangeView::Range || V == RangeView::Rows) {
    return r_->GetRowCount();
  } else {
    return r_->GetColumnCount();
  }
}

template <RangeView V>
auto XLSRangeHandle<V>::Item(std::int32_t i) const {
  if constexpr (V == RangeView::Range || V == RangeView::Rows) {
    return r_->GetRowItem(i);
  } else {
    return r_->GetColumnItem(i);
  }
}

template <RangeView V>
Variant XLSRangeHandle<V>::GetHidden() const {
  if constexpr (V == RangeView::Range || V == RangeView::Columns) {
    return r_->GetColumnsHidden();
  } else {
    return r_->GetRowsHidden();
  }
}

template <RangeView V>
void XLSRangeHandle<V>::SetHidden(const Variant& v) const {
  if constexpr (V == RangeView::Range || V == RangeView::Columns) {
    r_->SetColumnsHidden(v);
  } else {
    r_->SetRowsHidden(v);
  }
}

}  // namespace xls
