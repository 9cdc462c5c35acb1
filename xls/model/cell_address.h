// A1 references, the 1900 date-serial adjustment, RK numbers and the unit conversions of row
// heights and column widths, shared by the model, the writer and the readers.
#pragma once

#include <cstdint>
#include <string>

namespace xls {

// Addresses: rows and columns 0-based unless stated.
std::string CellRefName(std::uint16_t row, std::uint8_t col);
std::string AreaRefName(std::uint16_t firstRow, std::uint8_t firstCol, std::uint16_t lastRow, std::uint8_t lastCol);
std::string ColumnName(int column1);  // 1-based; empty outside 1..256
// The 1-based column of the letters in text (other characters skipped); -1 without letters or
// when the letters name a column past IV.
int ColumnNumber(const std::string& text);
int ParseCellRef(const std::string& text, std::uint16_t& row, std::uint8_t& col);
int ParseAreaRef(const std::string& text, std::uint16_t& firstRow, std::uint8_t& firstCol, std::uint16_t& lastRow,
                 std::uint8_t& lastCol);
std::string RowsToAbsRef(int first, int last);  // 1-based: $1:$3
std::string ColsToAbsRef(int first, int last);  // 1-based: $A:$B
bool ParseRowRange(const std::string& text, int& first, int& last);
bool ParseColRange(const std::string& text, int& first, int& last);
void SwapInts(int& a, int& b);

// Rows (rowCount) or columns (columnCount) inserted (> 0) or deleted (< 0) at row `row` and
// column `column`: a row shift moves the cells of the columns column..lastColumn, a column shift
// those of the rows row..lastRow (0-based).
struct TXLSCellShift {
  int row, column, columnCount, rowCount, lastColumn, lastRow;
};
// What the shift makes of a reference to the cell (area false) or area r1,c1:r2,c2: it moves when
// all of its cells across the shift move, an area spanning the inserted lines grows and loses
// deleted ones, and whole rows (columns) stay through a column (row) shift. False when its cells
// are gone: a cell deleted, an area deleted whole or pushed off the sheet; the corners are then
// left as the shift made them.
bool ShiftReference(int& r1, int& c1, int& r2, int& c2, bool area, const TXLSCellShift& shift);

// Stored serials count 1900-01-01 as 1 and include the missing 1900-02-29 as 60; date values
// count 1899-12-30 as 0. From 1900-03-01 on both are equal.
double SerialToDateTime(double value);
double DateTimeToSerial(double value);

int PointsToTwips(double points);   // rounded to a quarter point
double TwipsToPoints(int twips);    // in quarter points
std::uint16_t CharsToColWidth(double characters);  // 1/256 of a character, with cell padding
double ColWidthToChars(int width);

bool IsRKValue(double value);
bool EncodeRK(std::uint32_t& rk, double value);
double DecodeRK(std::uint32_t rk);

std::u16string NormalizeLineBreaks(const std::u16string& text);  // CR LF and LF become CR
std::string FloatToDotStr(double value);                          // "#.#" with a dot
bool IsDirectory(const std::string& path);

}  // namespace xls
