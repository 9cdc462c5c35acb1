// The styles of one RTF document: fonts and colours numbered in the order the cells first use
// them, the control words of a cell's font, alignment, borders and shading, the unit
// conversions with the document's scale factor, and the head (font table, colour table, page
// size, margins and orientation).
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "xls/model/variant.h"

namespace xls {

class TXLSCellReader;
class TXLSPageSetup;
struct TXLSCellLook;

class TXLSRTFStyles {
 public:
  // 1-based numbers in the tables, adding what is new. Colours 0x00BBGGRR; font names are
  // compared without regard to letter case and kept as first met.
  std::int32_t ColorNumber(std::uint32_t rgb);
  std::int32_t FontNumber(const std::u16string& name);

  // \f, \fs, \i \b \strike, \cf, underline, alignment and space-before words of a cell with
  // this look holding this value.
  std::string CharacterStyle(const TXLSCellLook& look, const Variant& value);
  // Vertical alignment, borders (right edge from rightXF) and shading of a cell definition.
  std::string CellDefinition(TXLSCellReader& cells, std::int32_t xf, std::int32_t rightXF);
  // The words of one border: style and width, then \brdrcf and the colour's number.
  std::string BorderWords(std::int32_t lineStyle, std::int32_t weight, std::uint32_t rgb);

  // The font table, colour table and page layout, each with its line end.
  std::string Head() const;

  double GetScale() const { return scale_; }
  void SetScale(double scale) { scale_ = scale; }
  void SetPageSetup(const TXLSPageSetup* setup) { pageSetup_ = setup; }
  // The paper width (height in landscape) less the left and right margins, in twips; -1 for a
  // paper code without a known size.
  std::int32_t UsablePageWidth() const;

  // Row height in points to twips (19.5 to the point, with the scale); a column width in
  // characters (already scaled) to pixels and to twips.
  std::int32_t RowHeightTwips(double points) const;
  static std::int32_t ColumnWidthPixels(double characters);
  static std::int32_t ColumnWidthTwips(double characters);
  static std::int32_t InchesToTwips(double inches);

 private:
  std::vector<std::uint32_t> colors_;
  std::unordered_map<std::uint32_t, std::int32_t> colorIndex_;
  std::vector<std::u16string> fonts_;
  std::unordered_map<std::u16string, std::int32_t> fontIndex_;
  double scale_ = 1.0;
  const TXLSPageSetup* pageSetup_ = nullptr;
};

// Text as RTF carries it: \ { } escaped, line breaks as \line, tabs as \tab, characters
// beyond ASCII as \'hh in code page 1252 or \uN? for those that code page lacks.
std::string RtfEscape(const std::u16string& text);

}  // namespace xls
