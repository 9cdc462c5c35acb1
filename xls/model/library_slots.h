// The members of the model that the libraries above it carry out: formulas and defined names
// (kv_xls_formula), opening (kv_xls_reader), saving (kv_xls_io), the text exports and autofit
// (kv_xls_export), comments, pictures, chart sheets and the autofilter (kv_xls_drawing).
//
// The model declares and defines those members; each forwards to its library's slot here. A
// library fills its slot when a program links it: its link interface names a symbol of the file
// that fills the slot (kv_xls_fill_slot in xls/CMakeLists.txt), so the linker always takes that
// file in. A member whose library the program does not link throws std::logic_error; formula
// text is then kept as text and no formula needs shifting, as there can be none.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace platform {
class ByteStream;
}

namespace xls {

class IXLSWorksheet;
class TXLSCellFormula;
class TXLSComment;
class TXLSCustomChart;
class TXLSFileStorage;
class TXLSNames;
class TXLSRange;
class TXLSShapes;
class TXLSVBAProject;
class TXLSWorkbook;
class TXLSWorkbookFormulas;
class Variant;

class TXLSFormulaLibrary {
 public:
  virtual ~TXLSFormulaLibrary() = default;
  // The workbook's defined names, external-reference table and formula compiler.
  virtual std::shared_ptr<TXLSWorkbookFormulas> MakeFormulas(TXLSWorkbook& book) = 0;
  virtual std::shared_ptr<TXLSNames> Names(TXLSWorkbook& book) = 0;
  virtual std::int32_t Evaluate(TXLSWorkbook& book, const std::u16string& formula, Variant& value) = 0;
  // CompileCellFormula and ShiftCellFormulas of cell_value.h.
  virtual std::unique_ptr<TXLSCellFormula> CompileCell(IXLSWorksheet& sheet, const std::u16string& text) = 0;
  virtual void ShiftCells(IXLSWorksheet& sheet, int row, int column, int columnCount, int rowCount, int lastColumn,
                          int lastRow) = 0;
};

class TXLSReaderLibrary {
 public:
  virtual ~TXLSReaderLibrary() = default;
  // Reads a file or stream into the emptied workbook; format receives the format read.
  virtual int ReadFile(TXLSWorkbook& book, const std::u16string& fileName, const std::u16string& password,
                       std::int32_t& format) = 0;
  virtual int ReadStream(TXLSWorkbook& book, platform::ByteStream& stream, const std::u16string& password,
                         std::int32_t& format) = 0;
  // The macro project of a kept VBA storage; nullptr when it holds no readable project.
  virtual std::shared_ptr<TXLSVBAProject> ReadVBAProject(const TXLSFileStorage& storage) = 0;
};

class TXLSWriterLibrary {
 public:
  virtual ~TXLSWriterLibrary() = default;
  virtual std::int32_t SaveFile(TXLSWorkbook& book, const std::u16string& fileName, std::int32_t format) = 0;
  virtual std::int32_t SaveStream(TXLSWorkbook& book, platform::ByteStream& stream, std::int32_t format) = 0;
  virtual std::int32_t Save(TXLSWorkbook& book) = 0;
};

class TXLSExportLibrary {
 public:
  virtual ~TXLSExportLibrary() = default;
  virtual std::int32_t SaveRangeAsCSV(TXLSRange& range, const std::u16string& fileName) = 0;
  virtual std::int32_t SaveRange(TXLSRange& range, const std::u16string& fileName, std::int32_t format) = 0;
  virtual std::int32_t SaveRangeToStream(TXLSRange& range, platform::ByteStream& stream, std::int32_t format) = 0;
  virtual void AutoFitColumns(TXLSRange& range) = 0;
  virtual void AutoFitRows(TXLSRange& range) = 0;
  // A column width in characters as pixels, and pixels as points, on autofit's screen.
  virtual std::int32_t CharsToPixels(double characters) = 0;
  virtual double PixelsToPoints(double pixels) = 0;
  virtual std::int32_t SaveSheet(IXLSWorksheet& sheet, const std::u16string& fileName, std::int32_t format) = 0;
  virtual std::int32_t SaveSheetToStream(IXLSWorksheet& sheet, platform::ByteStream& stream,
                                         std::int32_t format) = 0;
  virtual std::int32_t SaveBookAsHTML(TXLSWorkbook& book, const std::u16string& fileName) = 0;
  virtual std::int32_t SaveBookAsRTF(TXLSWorkbook& book, const std::u16string& fileName) = 0;
  virtual std::int32_t SaveBookAsRTFToStream(TXLSWorkbook& book, platform::ByteStream& stream) = 0;
};

class TXLSDrawingLibrary {
 public:
  virtual ~TXLSDrawingLibrary() = default;
  virtual TXLSComment* GetComment(TXLSRange& range) = 0;
  virtual TXLSComment* GetOrCreateComment(TXLSRange& range) = 0;
  virtual TXLSComment* AddComment(TXLSRange& range, const std::u16string& text) = 0;
  virtual void ClearComments(TXLSRange& range) = 0;
  virtual void AutoFilter(TXLSRange& range) = 0;
  virtual TXLSShapes& GetShapes(IXLSWorksheet& sheet) = 0;
  // Takes the chart out of the handle (a reference, so that the model never frees a chart).
  virtual void SetChart(IXLSWorksheet& sheet, std::unique_ptr<TXLSCustomChart>& chart) = 0;
  virtual bool IsChartSheet(const IXLSWorksheet& sheet) = 0;
};

// The slots, empty until the libraries fill them (before main, as their files are set up).
struct XLSLibrarySlots {
  TXLSFormulaLibrary* formula = nullptr;
  TXLSReaderLibrary* reader = nullptr;
  TXLSWriterLibrary* writer = nullptr;
  TXLSExportLibrary* exporter = nullptr;
  TXLSDrawingLibrary* drawing = nullptr;
};
XLSLibrarySlots& LibrarySlots();

}  // namespace xls
