// The small objects a range hands out for its font, its fill and its borders. They translate
// between the interface's values (palette colour indexes 1..56, -4105 automatic, -4142 none,
// line-style, weight, underline and pattern constants) and the cell format's own values.
// Setters change every cell of the range; getters read the range's top-left cell.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "xls/model/range.h"

namespace xls {

class TXLSFont {
 public:
  explicit TXLSFont(IXLSRange range) : range_(std::move(range)) {}

  std::u16string GetName() const { return range_->GetFontName(); }
  double GetSize() const { return range_->GetFontSize(); }
  std::int32_t GetColorIndex() const;
  std::uint32_t GetColor() const;
  bool GetBold() const { return range_->GetFontBold(); }
  bool GetItalic() const { return range_->GetFontItalic(); }
  bool GetStrikethrough() const { return range_->GetFontStrikethrough(); }
  bool GetOutline() const { return range_->GetFontOutline(); }
  bool GetShadow() const { return range_->GetFontShadow(); }
  std::int32_t GetUnderline() const;
  bool GetSubscript() const { return range_->GetFontSubscript(); }
  bool GetSuperscript() const { return range_->GetFontSuperscript(); }
  std::int32_t GetCharset() const { return range_->GetFontCharset(); }
  std::int32_t GetFamily() const { return range_->GetFontFamily(); }

  void SetSize(double points) { range_->SetFontSize(points); }
  void SetColorIndex(std::int32_t index);
  void SetColor(std::uint32_t rgb);
  void SetBold(bool v) { range_->SetFontBold(v); }
  void SetItalic(bool v) { range_->SetFontItalic(v); }
  void SetStrikethrough(bool v) { range_->SetFontStrikethrough(v); }
  void SetOutline(bool v) { range_->SetFontOutline(v); }
  void SetShadow(bool v) { range_->SetFontShadow(v); }
  void SetUnderline(std::int32_t v);
  void SetSubscript(bool v) { range_->SetFontSubscript(v); }
  void SetSuperscript(bool v) { range_->SetFontSuperscript(v); }
  void SetName(const std::u16string& name) { range_->SetFontName(name); }
  void SetCharset(std::int32_t v) { range_->SetFontCharset(static_cast<std::uint8_t>(v & 0xFF)); }
  void SetFamily(std::int32_t v) { range_->SetFontFamily(static_cast<std::uint8_t>(v & 0xFF)); }

 private:
  IXLSRange range_;
};

class TXLSInterior {
 public:
  explicit TXLSInterior(IXLSRange range) : range_(std::move(range)) {}

  void SetColor(std::uint32_t rgb);
  std::uint32_t GetColor() const;
  void SetPatternColor(std::uint32_t rgb);
  std::uint32_t GetPatternColor() const;
  void SetColorIndex(std::int32_t index);
  void SetPatternColorIndex(std::int32_t index);
  void SetPattern(std::int32_t pattern);
  std::int32_t GetColorIndex() const;
  std::int32_t GetPatternColorIndex() const;
  std::int32_t GetPattern() const;

 private:
  IXLSRange range_;
};

class TXLSBorder {
 public:
  TXLSBorder(IXLSRange range, std::int32_t edge) : range_(std::move(range)), edge_(edge) {}

  std::uint32_t GetColor() const;
  std::int32_t GetColorIndex() const { return range_->GetBorderColor(edge_); }
  std::int32_t GetLineStyle() const { return range_->GetBorderLineStyle(edge_); }
  void SetColor(std::uint32_t rgb);
  void SetColorIndex(std::int32_t index) { range_->SetBorderColor(edge_, index); }
  void SetLineStyle(std::int32_t style) { range_->SetBorderLineStyle(edge_, style); }
  std::int32_t GetWeight() const { return range_->GetBorderWeight(edge_); }
  void SetWeight(std::int32_t weight) { range_->SetBorderWeight(edge_, weight); }
  std::int32_t GetEdge() const { return edge_; }

 private:
  IXLSRange range_;
  std::int32_t edge_;
};

using IXLSBorder = std::shared_ptr<TXLSBorder>;

class TXLSBorders {
 public:
  explicit TXLSBorders(IXLSRange range) : range_(std::move(range)) {}

  std::uint32_t GetColor() const;
  std::int32_t GetColorIndex() const { return range_->GetAllBordersColor(); }
  std::int32_t GetLineStyle() const { return range_->GetAllBordersLineStyle(); }
  void SetColor(std::uint32_t rgb);
  void SetColorIndex(std::int32_t index) { range_->SetAllBordersColor(index); }
  void SetLineStyle(std::int32_t style) { range_->SetAllBordersLineStyle(style); }
  std::int32_t GetWeight() const { return range_->GetAllBordersWeight(); }
  void SetWeight(std::int32_t weight) { range_->SetAllBordersWeight(weight); }
  // One edge (border index 5..14) as its own object.
  IXLSBorder GetItem(std::int32_t edge) const { return std::make_shared<TXLSBorder>(range_, edge); }

 private:
  IXLSRange range_;
};

// Underline and pattern constants of the interface.
constexpr std::int32_t kUnderlineSingle = 2;
constexpr std::int32_t kUnderlineDouble = -4119;
constexpr std::int32_t kUnderlineSingleAccounting = 4;
constexpr std::int32_t kUnderlineDoubleAccounting = 5;
constexpr std::int32_t kPatternSolid = 1;

}  // namespace xls
