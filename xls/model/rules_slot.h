// Where a sheet's cell rules (conditional formats, data validations, autofilter; library code in
// xls/formula/rules) are kept in the model. The model only holds and frees them and hands the
// rectangles of its range operations on, so that the rules follow inserted and deleted cells.
#pragma once

#include <cstdint>

namespace xls {

class TXLSSheetRulesBase {
 public:
  virtual ~TXLSSheetRulesBase() = default;
  // Rows and columns 0-based and inclusive; -1 leaves that side of the band unbounded.
  // Removes the rules' cells inside the band (cells cleared).
  virtual void DeleteRect(std::int32_t firstRow, std::int32_t firstColumn, std::int32_t lastColumn,
                          std::int32_t lastRow) = 0;
  // The same for cells deleted: the autofilter also goes with its header cells.
  virtual void DeleteCells(std::int32_t firstRow, std::int32_t firstColumn, std::int32_t lastColumn,
                           std::int32_t lastRow) = 0;
  // Moves the rules' cells inside the band by the deltas.
  virtual void ShiftCells(std::int32_t firstRow, std::int32_t firstColumn, std::int32_t lastRow,
                          std::int32_t lastColumn, std::int32_t rowDelta, std::int32_t columnDelta) = 0;
};

}  // namespace xls
