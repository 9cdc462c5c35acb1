// One worksheet: its cell store, row and column settings, panes, protection, page setup and
// page breaks, window settings (zoom, scroll position, gridlines, visibility, selection), its
// name and ids, and the effective format of every position (cell, then row, then column).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "xls/model/cell_store.h"
#include "xls/model/drawing_slot.h"
#include "xls/model/format_objects.h"
#include "xls/model/hyperlinks.h"
#include "xls/model/page_setup.h"
#include "xls/model/panes.h"
#include "xls/model/protect.h"
#include "xls/model/range.h"
#include "xls/model/row_col_info.h"
#include "xls/model/rules_slot.h"
#include "xls/model/variant.h"

namespace platform {
class ByteStream;
}

namespace xls {

class TXLSWorkbook;
class TXLSCellFormula;
class TXLSShapes;
class TXLSCustomChart;

// Where a shape sits: its top-left and bottom-right cells with offsets in 1/1024 of the
// column's width and 1/256 of the row's height.
struct XLSAnchor {
  std::int32_t column1 = 0, columnOffset1 = 0, row1 = 0, rowOffset1 = 0;
  std::int32_t column2 = 0, columnOffset2 = 0, row2 = 0, rowOffset2 = 0;
};

// Where outline summaries sit: 1 right of / below the detail, 0 left of / above it.
class TXLSOutline {
 public:
  std::uint8_t GetSummaryColumn() const { return summaryColumn_; }
  std::uint8_t GetSummaryRow() const { return summaryRow_; }
  void SetSummaryColumn(std::int32_t v) {
    if (v == 0 || v == 1) summaryColumn_ = static_cast<std::uint8_t>(v);
  }
  void SetSummaryRow(std::int32_t v) {
    if (v == 0 || v == 1) summaryRow_ = static_cast<std::uint8_t>(v);
  }

 private:
  std::uint8_t summaryColumn_ = 1;
  std::uint8_t summaryRow_ = 1;
};

class IXLSWorksheet {
 public:
  IXLSWorksheet(TXLSWorkbook* workbook, std::int32_t sheetId);
  ~IXLSWorksheet();
  IXLSWorksheet(const IXLSWorksheet&) = delete;
  IXLSWorksheet& operator=(const IXLSWorksheet&) = delete;

  // Ranges. Texts in A1 style ("B3"); 1-based numbers clamped to the sheet.
  IXLSRange GetRange(const std::u16string& first, const std::u16string& second);
  IXLSRange GetRange(const std::u16string& cell) { return GetRange(cell, cell); }
  IXLSRange GetRangeRC(std::int32_t row1, std::int32_t column1, std::int32_t row2,
                       std::int32_t column2);
  IXLSRange GetCells() const { return cells_; }
  IXLSRange GetSelection() const { return selection_; }
  void SetSelection(IXLSRange range) { selection_ = std::move(range); }
  // From the first used cell to the last; A1 on an empty sheet.
  IXLSRange GetUsedRange();

  IXLSPageSetup GetPageSetup() const { return pageSetup_; }
  TXLSHPageBreaks& GetHPageBreaks() { return hBreaks_; }
  TXLSVPageBreaks& GetVPageBreaks() { return vBreaks_; }
  TXLSProtect& Protection() { return protect_; }
  TXLSPanes& GetPanes();
  bool HasPanes() const { return panes_ && panes_->HasPanes(); }
  // The sheet's hyperlinks (the store is made on first use).
  TXLSCustomHyperlinks& Hyperlinks();
  bool HasHyperlinks() const;
  std::shared_ptr<TXLSHyperLinks> GetHyperlinks();
  TXLSOutline& GetOutline();
  // The sheet's drawing (comments, pictures, shapes): made and used by the drawing library.
  TXLSSheetDrawingBase* DrawingSlot() const { return drawing_.get(); }
  void SetDrawingSlot(std::unique_ptr<TXLSSheetDrawingBase> drawing) { drawing_ = std::move(drawing); }
  // The drawing's pictures (carried out by the drawing layer, kv_xls_drawing: library_slots.h).
  TXLSShapes& GetShapes();
  // A chart sheet: its chart's records (the whole substream as read) replace the sheet's own;
  // the previous chart is freed. Carried out by the drawing layer.
  void SetChart(std::unique_ptr<TXLSCustomChart> chart);
  bool IsChartSheet() const;
  // The sheet's conditional formats, validations and autofilter: made and used by the cell
  // rules (xls/formula/rules).
  TXLSSheetRulesBase* RulesSlot() const { return rules_.get(); }
  void SetRulesSlot(std::unique_ptr<TXLSSheetRulesBase> rules) { rules_ = std::move(rules); }

  std::uint16_t GetIndex() const { return index_; }
  void SetIndex(std::uint16_t index) { index_ = index; }
  const std::u16string& GetName() const { return name_; }
  // Keeps the old name unless the collection's name rules accept the new one.
  bool SetName(const std::u16string& name);
  void SetNameUnchecked(const std::u16string& name) { name_ = name; }
  std::int32_t GetSheetId() const { return sheetId_; }
  const std::u16string& GetCodeName() const { return codeName_; }
  void SetCodeName(const std::u16string& name) { codeName_ = name; }

  // 1-based first visible row and column.
  std::int32_t GetScrollRow() const { return scrollRow_ + 1; }
  std::int32_t GetScrollColumn() const { return scrollColumn_ + 1; }
  void SetScrollRow(std::int32_t row);
  void SetScrollColumn(std::int32_t column);
  bool GetDisplayGridlines() const { return gridlines_; }
  void SetDisplayGridlines(bool v) { gridlines_ = v; }
  std::uint16_t GetZoom() const { return zoom_; }
  // True keeps the zoom, false sets 100; numbers 10..400 are taken.
  void SetZoom(const Variant& v);
  // 0 visible, 1 hidden, 2 very hidden.
  std::uint8_t GetVisible() const { return visibility_; }
  // True is visible, false hidden; the numbers 0, 1 and 2 are taken.
  void SetVisible(const Variant& v);
  bool GetShowZeros() const { return showZeros_; }
  void SetShowZeros(bool v) { showZeros_ = v; }
  bool GetRightToLeft() const { return rightToLeft_; }
  void SetRightToLeft(bool v) { rightToLeft_ = v; }
  // The window shows formulas instead of their values; row and column headings; outline symbols.
  bool GetDisplayFormulas() const { return displayFormulas_; }
  void SetDisplayFormulas(bool v) { displayFormulas_ = v; }
  bool GetDisplayHeadings() const { return displayHeadings_; }
  void SetDisplayHeadings(bool v) { displayHeadings_ = v; }
  bool GetDisplayOutline() const { return displayOutline_; }
  void SetDisplayOutline(bool v) { displayOutline_ = v; }
  bool GetSelected() const { return selected_; }
  void SetSelected(bool v) { selected_ = v; }
  void SetStandardHeight(double points) { rowInfo_.SetDefaultRowHeight(points); }
  void SetStandardWidth(double characters) { colInfo_.SetStandardWidth(characters); }

  // Format 4: the sheet as an RTF document; 3 and 5 to 8: its used range saves itself (HTML,
  // CSV, TSV); other formats -1. Carried out by the exporters (library kv_xls_export).
  std::int32_t SaveAs(const std::u16string& fileName, std::int32_t format);
  std::int32_t SaveToStream(platform::ByteStream& stream, std::int32_t format);

  void Activate();
  void Select(bool replace);
  std::int32_t MakeFirstVisibleTab();

  // Formats of positions (0-based): the cell's own XF, else the row's style, else the
  // column's XF (15 without settings). own is set when the cell holds an XF of its own.
  std::int32_t GetCellXF(std::int32_t row, std::int32_t column, bool* own = nullptr) const;
  std::int32_t GetColumnXF(std::int32_t column) const { return colInfo_.GetColumnXF(column); }
  std::int32_t GetRowXF(std::int32_t row) const { return rowInfo_.GetRowXF(row); }
  // Gives the position (created when missing) its own XF, moving one use.
  void SetCellXF(std::int32_t row, std::int32_t column, std::int32_t xf);
  // Formula cells (0-based): stores a compiled formula in place of what the cell held (nullptr
  // empties it; positions outside the sheet are refused with -2); reads it, nullptr unless the
  // cell is a formula cell.
  std::int32_t SetCellFormula(std::int32_t row, std::int32_t column, std::unique_ptr<TXLSCellFormula> formula);
  TXLSCellFormula* GetCellFormula(std::int32_t row, std::int32_t column) const;

  // Panes: frozen at whole columns and rows with the lower-right pane's first visible cell
  // (0-based); split at distances in points from the top-left visible cell.
  std::int32_t FreezePanes(std::int32_t columns, std::int32_t rows, std::int32_t topRow,
                           std::int32_t leftColumn);
  std::int32_t SplitPanes(double horizontalPoints, double verticalPoints);

  // Sizes in points of columns and rows, hidden ones 0.
  double ColumnWidthPoints(std::int32_t column) const;
  double RowHeightPoints(std::int32_t row) const;

  // Geometry for the drawing layer. A walk goes a distance in points from a column (row):
  // right (down) from the next one for a positive distance, left (up) for a negative one,
  // over visible columns (rows); it gives the column (row) reached and the offset in it. A
  // walk that passes the sheet's first or last column (row) fails.
  bool WalkColumns(std::int32_t column, double distance, std::int32_t& reached, std::int32_t& offset) const;
  bool WalkRows(std::int32_t row, double distance, std::int32_t& reached, std::int32_t& offset) const;
  // The anchor of a comment box of the given size beside the cell (0-based).
  XLSAnchor GetCommentAnchor(std::int32_t row, std::int32_t column, double width, double height) const;
  // The bottom-right corner of a shape from its top-left corner and its size in points.
  void PositionToAnchor(XLSAnchor& anchor, double width, double height) const;
  // A shape's size in points from its anchor (the first row's offset is not counted); 10 x 10
  // for an anchor that is inside out.
  void AnchorToSize(const XLSAnchor& anchor, double& width, double& height) const;
  // 0-based top-left cell of the selection.
  void GetSelectionCell(std::int32_t& row, std::int32_t& column) const;

  TXLSCellHeap& Cells() { return *heap_; }
  const TXLSCellHeap& Cells() const { return *heap_; }
  TXLSRowInfoList& RowInfo() { return rowInfo_; }
  const TXLSRowInfoList& RowInfo() const { return rowInfo_; }
  TXLSColumnInfoList& ColumnInfo() { return colInfo_; }
  const TXLSColumnInfoList& ColumnInfo() const { return colInfo_; }
  TXLSWorkbook* Workbook() const { return workbook_; }

 private:
  TXLSWorkbook* workbook_;
  std::int32_t sheetId_;
  TXLSColumnInfoList colInfo_;
  TXLSRowInfoList rowInfo_;
  std::unique_ptr<TXLSCellHeap> heap_;
  IXLSRange cells_;
  std::unique_ptr<TXLSPanes> panes_;
  std::unique_ptr<TXLSCustomHyperlinks> hyperlinks_;
  TXLSProtect protect_;
  IXLSRange selection_;
  IXLSPageSetup pageSetup_;
  TXLSHPageBreaks hBreaks_;
  TXLSVPageBreaks vBreaks_;
  bool gridlines_ = true;
  std::unique_ptr<TXLSOutline> outline_;
  std::uint16_t zoom_ = 100;
  bool showZeros_ = true;
  bool rightToLeft_ = false;
  bool displayFormulas_ = false;
  bool displayHeadings_ = true;
  bool displayOutline_ = true;
  std::uint16_t index_ = 0;
  std::u16string name_;
  std::uint16_t scrollRow_ = 0;
  std::uint16_t scrollColumn_ = 0;
  bool selected_ = false;
  std::uint8_t visibility_ = 0;
  std::u16string codeName_;
  std::unique_ptr<TXLSSheetDrawingBase> drawing_;
  std::unique_ptr<TXLSSheetRulesBase> rules_;
};

}  // namespace xls
