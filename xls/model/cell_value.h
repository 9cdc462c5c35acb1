// Clearing and copying single cells by mask, the steps that range clearing, copying and
// moving are built from.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace xls {

class IXLSWorksheet;
class TXLSCellFormula;

// Compiles formula text (without the leading "=") for a cell of the sheet; nullptr when it
// does not compile. Carried out by the calculator (library kv_xls_formula, see library_slots.h).
std::unique_ptr<TXLSCellFormula> CompileCellFormula(IXLSWorksheet& sheet, const std::u16string& text);
// Adjusts every formula of the workbook that refers to the sheet for rows (rowCount) or
// columns (columnCount) inserted at row/column (negative counts delete), limited to the
// columns column..lastColumn (rows moved) or rows row..lastRow (columns moved).
void ShiftCellFormulas(IXLSWorksheet& sheet, int row, int column, int columnCount, int rowCount,
                       int lastColumn, int lastRow);

// Parts of a cell: formats, contents, the number format alone, comments; 23 is everything.
enum XLSCellMask : std::int32_t {
  kMaskFormats = 1,
  kMaskContents = 2,
  kMaskNumberFormat = 8,
  kMaskComments = 16,
  kMaskAll = 23,
};

// Clears parts of one cell (0-based; nothing outside the sheet). A cell whose formats are
// cleared and that is the top-left cell of a merged area dissolves the area first. Without a
// cell, clearing formats creates one with XF 0 where the row or column would still show a
// format; mode tells which (2: a row style over another column format, 1: a column format
// under an unstyled row, others: any format other than the default).
void ClearCell(std::int32_t row, std::int32_t column, IXLSWorksheet& sheet, std::int32_t mask,
               std::int32_t mode);

// Copies parts of one cell to another place, possibly another sheet or workbook.
void CopyCell(std::int32_t srcRow, std::int32_t srcColumn, IXLSWorksheet& src,
              std::int32_t dstRow, std::int32_t dstColumn, IXLSWorksheet& dst, std::int32_t mask);

}  // namespace xls
