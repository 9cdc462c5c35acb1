// What the exporters and the autofit read of a sheet's cells: the value as a range hands it out
// (numbers in a date format as dates) and the look of a cell format in the interface's terms
// (alignment, underline and pattern constants, colours as 0x00BBGGRR), read once per format.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>

#include "xls/model/range.h"
#include "xls/model/variant.h"

namespace xls {

class IXLSWorksheet;
class TXLSWorkbook;
class TXLSXFList;

struct TXLSCellLook {
  std::u16string numberFormat;
  std::int32_t horizontal = kHAlignGeneral;  // kHAlign* constants
  std::int32_t vertical = kVAlignBottom;     // kVAlign* constants
  bool wrap = false;
  std::int32_t orientation = 0;  // degrees, -90..90, or 255 for stacked text
  std::u16string fontName;
  double fontSize = 10;
  bool bold = false, italic = false, strikethrough = false;
  std::int32_t underline = -4142;  // kUnderline* constants, -4142 none
  std::int32_t fontColorIndex = -4105;
  std::uint32_t fontColor = 0;
  bool filled = false;  // a fill pattern other than none
  std::int32_t interiorColorIndex = -4142;
  std::uint32_t interiorColor = 0;
};

class TXLSCellReader {
 public:
  explicit TXLSCellReader(IXLSWorksheet& sheet);

  IXLSWorksheet& Sheet() const { return sheet_; }
  TXLSXFList& XFs() const { return xfs_; }
  // 0-based positions.
  std::int32_t XF(std::int32_t row, std::int32_t column) const;
  Variant Value(std::int32_t row, std::int32_t column) const;
  const TXLSCellLook& Look(std::int32_t xf);
  // Colour of a palette index (1..56), automatic or none, as 0x00BBGGRR.
  std::uint32_t ColorOf(std::int32_t index) const;

 private:
  IXLSWorksheet& sheet_;
  TXLSWorkbook& book_;
  TXLSXFList& xfs_;
  std::unordered_map<std::int32_t, TXLSCellLook> looks_;
};

// Variant types shown right-aligned under general alignment: numbers and booleans.
bool IsRightAlignedType(const Variant& value);

}  // namespace xls
