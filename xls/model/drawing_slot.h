// Where the drawing layer (library kv_xls_drawing) keeps its objects in the model: the workbook
// holds the drawing group, each sheet its drawing. The model only holds and frees them and hands
// the cell rectangles of its range operations on, so that comments and pictures move with
// inserted and deleted cells; everything else about them lives in the drawing library.
#pragma once

#include <cstdint>

namespace xls {

class IXLSWorksheet;

class TXLSSheetDrawingBase {
 public:
  virtual ~TXLSSheetDrawingBase() = default;
  // Removes the comments of the rectangle (rows and columns 0-based, inclusive).
  virtual void DeleteRect(std::int32_t firstRow, std::int32_t firstColumn, std::int32_t lastColumn,
                          std::int32_t lastRow) = 0;
  // Moves the comments and the anchors of the rectangle by the deltas.
  virtual void ShiftCells(std::int32_t firstRow, std::int32_t firstColumn, std::int32_t lastColumn,
                          std::int32_t lastRow, std::int32_t columnDelta, std::int32_t rowDelta) = 0;
  // Gives the destination cell the text of this sheet's comment at (row, column) as its comment,
  // or removes the destination's comment when there is none here.
  virtual void CopyComment(std::int32_t row, std::int32_t column, IXLSWorksheet& destination,
                           std::int32_t destinationRow, std::int32_t destinationColumn) = 0;
};

class TXLSDrawingGroupBase {
 public:
  virtual ~TXLSDrawingGroupBase() = default;
  // Forgets pictures and shape clusters when the workbook is emptied for a read.
  virtual void Clear() = 0;
};

}  // namespace xls
