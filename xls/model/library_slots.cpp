// The model's members that the libraries above it carry out, each forwarding to its library's
// slot (library_slots.h says how the slots are filled).
#include "xls/model/library_slots.h"

#include <cmath>
#include <stdexcept>

#include "xls/model/cell_value.h"
#include "xls/model/range.h"
#include "xls/model/row_col_info.h"
#include "xls/model/workbook.h"
#include "xls/model/worksheet.h"

namespace xls {

XLSLibrarySlots& LibrarySlots() {
  static XLSLibrarySlots slots;
  return slots;
}

namespace {

template <typename Library>
Library& Need(Library* library, const char* name) {
  if (!library) throw std::logic_error(std::string("the spreadsheet library ") + name + " is not linked");
  return *library;
}

TXLSFormulaLibrary& Formula() { return Need(LibrarySlots().formula, "kv_xls_formula"); }
TXLSReaderLibrary& Reader() { return Need(LibrarySlots().reader, "kv_xls_reader"); }
TXLSWriterLibrary& Writer() { return Need(LibrarySlots().writer, "kv_xls_io"); }
TXLSExportLibrary& Exporter() { return Need(LibrarySlots().exporter, "kv_xls_export"); }
TXLSDrawingLibrary& Drawing() { return Need(LibrarySlots().drawing, "kv_xls_drawing"); }

}  // namespace

// ----- formulas -----------------------------------------------------------------------------

std::unique_ptr<TXLSCellFormula> CompileCellFormula(IXLSWorksheet& sheet, const std::u16string& text) {
  TXLSFormulaLibrary* formula = LibrarySlots().formula;
  return formula ? formula->CompileCell(sheet, text) : nullptr;
}

void ShiftCellFormulas(IXLSWorksheet& sheet, int row, int column, int columnCount, int rowCount, int lastColumn,
                       int lastRow) {
  if (TXLSFormulaLibrary* formula = LibrarySlots().formula)
    formula->ShiftCells(sheet, row, column, columnCount, rowCount, lastColumn, lastRow);
}

TXLSWorkbookFormulas& TXLSWorkbook::Formulas() {
  if (!formulas_) formulas_ = Formula().MakeFormulas(*this);
  return *formulas_;
}

std::shared_ptr<TXLSNames> TXLSWorkbook::GetNames() { return Formula().Names(*this); }

std::int32_t TXLSWorkbook::Evaluate(const std::u16string& formula, Variant& value) {
  return Formula().Evaluate(*this, formula, value);
}

// ----- opening and saving -------------------------------------------------------------------

std::int32_t TXLSWorkbook::OpenWithPassword(const std::u16string& fileName, const std::u16string& password) {
  std::int32_t format = currentFormat_;
  readLosses_.clear();
  const int status = Reader().ReadFile(*this, fileName, password, format);
  if (status != 1) return status;
  currentFormat_ = format;
  fileName_ = fileName;
  return 1;
}

std::int32_t TXLSWorkbook::OpenStreamWithPassword(platform::ByteStream& stream, const std::u16string& password) {
  std::int32_t format = currentFormat_;
  readLosses_.clear();
  const int status = Reader().ReadStream(*this, stream, password, format);
  if (status != 1) return status;
  currentFormat_ = format;
  fileName_.clear();
  return 1;
}

TXLSVBAProject* TXLSWorkbook::GetVBAProject() {
  if (!vbaProject_ && vbaStorage_) vbaProject_ = Reader().ReadVBAProject(*vbaStorage_);
  return vbaProject_.get();
}

std::int32_t TXLSWorkbook::SaveAs(const std::u16string& fileName) {
  return Writer().SaveFile(*this, fileName, GetDefaultSaveFormat());
}

std::int32_t TXLSWorkbook::SaveAsFormat(const std::u16string& fileName, std::int32_t format) {
  return Writer().SaveFile(*this, fileName, format);
}

std::int32_t TXLSWorkbook::SaveToStream(platform::ByteStream& stream) {
  return Writer().SaveStream(*this, stream, GetDefaultSaveFormat());
}

std::int32_t TXLSWorkbook::SaveToStreamFormat(platform::ByteStream& stream, std::int32_t format) {
  return Writer().SaveStream(*this, stream, format);
}

std::int32_t TXLSWorkbook::Save() { return Writer().Save(*this); }

// ----- text exports and autofit -------------------------------------------------------------

std::int32_t TXLSWorkbook::SaveAsHTML(const std::u16string& fileName) {
  return Exporter().SaveBookAsHTML(*this, fileName);
}

std::int32_t TXLSWorkbook::SaveAsRTF(const std::u16string& fileName) {
  return Exporter().SaveBookAsRTF(*this, fileName);
}

std::int32_t TXLSWorkbook::SaveAsRTFToStream(platform::ByteStream& stream) {
  return Exporter().SaveBookAsRTFToStream(*this, stream);
}

std::int32_t IXLSWorksheet::SaveAs(const std::u16string& fileName, std::int32_t format) {
  return Exporter().SaveSheet(*this, fileName, format);
}

std::int32_t IXLSWorksheet::SaveToStream(platform::ByteStream& stream, std::int32_t format) {
  return Exporter().SaveSheetToStream(*this, stream, format);
}

std::int32_t TXLSRange::SaveAsCSV(const std::u16string& fileName) { return Exporter().SaveRangeAsCSV(*this, fileName); }

std::int32_t TXLSRange::SaveAs(const std::u16string& fileName, std::int32_t format) {
  return Exporter().SaveRange(*this, fileName, format);
}

std::int32_t TXLSRange::SaveAsToStream(platform::ByteStream& stream, std::int32_t format) {
  return Exporter().SaveRangeToStream(*this, stream, format);
}

void TXLSRange::AutoFit(bool columns) {
  if (columns) {
    AutoFitColumns();
  } else {
    AutoFitRows();
  }
}

void TXLSRange::AutoFitColumns() { Exporter().AutoFitColumns(*this); }
void TXLSRange::AutoFitRows() { Exporter().AutoFitRows(*this); }

std::int32_t TXLSRange::GetWidthPixels() const {
  TXLSExportLibrary& exporter = Exporter();
  std::int32_t pixels = 0;
  for (std::int32_t c = firstCol_; c <= lastCol_; ++c) pixels += exporter.CharsToPixels(sheet_->ColumnInfo().GetColumnWidth(c));
  return pixels;
}

double TXLSRange::GetWidth() const { return std::round(Exporter().PixelsToPoints(GetWidthPixels()) * 100) / 100; }

// ----- comments, pictures, chart sheets, autofilter -----------------------------------------

TXLSComment* TXLSRange::GetComment() { return Drawing().GetComment(*this); }
TXLSComment* TXLSRange::GetOrCreateComment() { return Drawing().GetOrCreateComment(*this); }
TXLSComment* TXLSRange::AddComment(const std::u16string& text) { return Drawing().AddComment(*this, text); }
void TXLSRange::ClearComments() { Drawing().ClearComments(*this); }
void TXLSRange::AutoFilter() { Drawing().AutoFilter(*this); }

TXLSShapes& IXLSWorksheet::GetShapes() { return Drawing().GetShapes(*this); }

void IXLSWorksheet::SetChart(std::unique_ptr<TXLSCustomChart> chart) { Drawing().SetChart(*this, chart); }

bool IXLSWorksheet::IsChartSheet() const { return Drawing().IsChartSheet(*this); }

}  // namespace xls
