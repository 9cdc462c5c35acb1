// The attribute operations of the XF list: protection bits, alignment digits, border edges and
// fills, each change giving an interned XF.
#include "xls/model/key_text.h"
#include "xls/model/xf_list.h"

namespace xls {

namespace {

// Positions of an edge's line style and colour in the two border words.
struct EdgeBits {
  std::int32_t mask;
  int styleShift;   // in word 1
  int colourShift;  // in word 1 for left and right, word 2 for top and bottom
};
constexpr EdgeBits kEdges[] = {
    {kEdgeLeft, 0, 16}, {kEdgeRight, 4, 23}, {kEdgeTop, 8, 0}, {kEdgeBottom, 12, 7}};
constexpr std::uint32_t kDiagDownFlag = 1u << 30, kDiagUpFlag = 1u << 31;
constexpr int kDiagStyleShift = 21, kDiagColourShift = 14;

struct Borders {
  std::uint32_t w1, w2;
  std::uint32_t Style(const EdgeBits& e) const { return (w1 >> e.styleShift) & 0xF; }
  void SetStyle(const EdgeBits& e, std::uint32_t code) {
    w1 = (w1 & ~(0xFu << e.styleShift)) | ((code & 0xF) << e.styleShift);
  }
  std::uint32_t& ColourWord(const EdgeBits& e) { return (e.mask == kEdgeTop || e.mask == kEdgeBottom) ? w2 : w1; }
  std::uint32_t Colour(const EdgeBits& e) {
    return (ColourWord(e) >> e.colourShift) & 0x7F;
  }
  void SetColour(const EdgeBits& e, std::uint32_t c) {
    std::uint32_t& w = ColourWord(e);
    w = (w & ~(0x7Fu << e.colourShift)) | ((c & 0x7F) << e.colourShift);
  }
  std::uint32_t DiagStyle() const { return (w2 >> kDiagStyleShift) & 0xF; }
  void SetDiagStyle(std::uint32_t code) {
    w2 = (w2 & ~(0xFu << kDiagStyleShift)) | ((code & 0xF) << kDiagStyleShift);
  }
  std::uint32_t DiagColour() const { return (w2 >> kDiagColourShift) & 0x7F; }
  void SetDiagColour(std::uint32_t c) {
    w2 = (w2 & ~(0x7Fu << kDiagColourShift)) | ((c & 0x7F) << kDiagColourShift);
  }
  static std::uint32_t Flags(std::int32_t mask) {
    return ((mask & kEdgeDiagonalDown) ? kDiagDownFlag : 0) | ((mask & kEdgeDiagonalUp) ? kDiagUpFlag : 0);
  }
  std::u16string Key() const { return HexDigits(w1, 8) + HexDigits(w2, 8); }
  // A new diagonal code for the diagonals in mask: a line sets their flags, none clears them;
  // without any flag left the diagonal loses its style and colour.
  void SetDiagonals(std::int32_t mask, std::int32_t code) {
    if (code != 0) w2 |= Flags(mask);
    else w2 &= ~Flags(mask);
    if (!(w2 & (kDiagDownFlag | kDiagUpFlag))) {
      SetDiagStyle(0);
      SetDiagColour(0);
    } else if (code != 0) {
      SetDiagStyle(static_cast<std::uint32_t>(code));
      if (DiagColour() == 0) SetDiagColour(64);
    }
  }
};

Borders ReadBorders(const std::u16string& part) { return {HexField(part, 1, 8), HexField(part, 9, 8)}; }

constexpr std::int32_t kAllEdges = 63;

}  // namespace

// ----- protection -------------------------------------------------------------------------------

std::int32_t TXLSXFList::SetLocked(std::int32_t xf, bool v, bool move) {
  return SetProtection(xf, (GetProtection(xf) & ~1) | (v ? 1 : 0), move);
}

std::int32_t TXLSXFList::SetFormulaHidden(std::int32_t xf, bool v, bool move) {
  return SetProtection(xf, (GetProtection(xf) & ~2) | (v ? 2 : 0), move);
}

// ----- alignment --------------------------------------------------------------------------------

std::int32_t TXLSXFList::AlignDigit(std::int32_t xf, int digit) const {
  return static_cast<std::int32_t>(HexField(GetAlignmentKey(xf), digit, 1));
}

std::int32_t TXLSXFList::SetAlignDigit(std::int32_t xf, int digit, std::int32_t value, bool move) {
  std::u16string part = GetAlignmentKey(xf);
  part.replace(static_cast<std::size_t>(digit - 1), 1, HexDigits(static_cast<std::uint32_t>(value), 1));
  return SetAlignmentKey(xf, part, move);
}

std::int32_t TXLSXFList::SetHorizontalAlignment(std::int32_t xf, std::int32_t v, bool move) {
  std::u16string part = GetAlignmentKey(xf);
  std::uint32_t d2 = (HexField(part, 2, 1) & 8) | (static_cast<std::uint32_t>(v) & 7);
  part.replace(1, 1, HexDigits(d2, 1));
  std::uint32_t h = d2 & 7;
  // An indent belongs to left and right alignment only.
  if (h != 1 && h != 3 && HexField(part, 6, 1) > 0) part.replace(5, 1, u"0");
  return SetAlignmentKey(xf, part, move);
}

std::int32_t TXLSXFList::SetVerticalAlignment(std::int32_t xf, std::int32_t v, bool move) {
  return SetAlignDigit(xf, 1, (AlignDigit(xf, 1) & 8) | (v & 7), move);
}

std::int32_t TXLSXFList::SetWrapText(std::int32_t xf, bool v, bool move) {
  return SetAlignDigit(xf, 2, (AlignDigit(xf, 2) & 7) | (v ? 8 : 0), move);
}

std::int32_t TXLSXFList::GetRotation(std::int32_t xf) const {
  return static_cast<std::int32_t>(HexField(GetAlignmentKey(xf), 3, 2));
}

std::int32_t TXLSXFList::SetRotation(std::int32_t xf, std::int32_t v, bool move) {
  std::u16string part = GetAlignmentKey(xf);
  part.replace(2, 2, HexDigits(static_cast<std::uint32_t>(v) & 0xFF, 2));
  return SetAlignmentKey(xf, part, move);
}

std::int32_t TXLSXFList::SetIndent(std::int32_t xf, std::int32_t v, bool move) {
  std::u16string part = GetAlignmentKey(xf);
  part.replace(5, 1, HexDigits(static_cast<std::uint32_t>(v) & 0xF, 1));
  std::uint32_t d2 = HexField(part, 2, 1);
  std::uint32_t h = d2 & 7;
  if (v > 0 && h != 1 && h != 3) part.replace(1, 1, HexDigits((d2 & 8) | 1, 1));
  return SetAlignmentKey(xf, part, move);
}

std::int32_t TXLSXFList::SetShrinkToFit(std::int32_t xf, bool v, bool move) {
  return SetAlignDigit(xf, 5, (AlignDigit(xf, 5) & 0xE) | (v ? 1 : 0), move);
}

std::int32_t TXLSXFList::SetReadingOrder(std::int32_t xf, std::int32_t v, bool move) {
  return SetAlignDigit(xf, 5, (AlignDigit(xf, 5) & 3) | ((v & 3) << 2), move);
}

// ----- borders ----------------------------------------------------------------------------------

std::int32_t TXLSXFList::LineStyleFromCode(std::int32_t code) {
  switch (code) {
    case 1: case 2: case 5: case 7: return kLineContinuous;
    case 3: case 8: return kLineDash;
    case 4: return kLineDot;
    case 6: return kLineDouble;
    case 9: case 10: return kLineDashDot;
    case 11: case 12: return kLineDashDotDot;
    case 13: return kLineSlantDashDot;
    default: return kXlNone;
  }
}

std::int32_t TXLSXFList::WeightFromCode(std::int32_t code) {
  switch (code) {
    case 2: case 8: case 10: case 12: case 13: return kWeightMedium;
    case 5: case 6: return kWeightThick;
    case 7: return kWeightHairline;
    default: return kWeightThin;
  }
}

std::int32_t TXLSXFList::CodeFromStyleAndWeight(std::int32_t style, std::int32_t weight, CodeMode mode) {
  if (mode == CodeMode::Style) {
    switch (style) {
      case kLineContinuous:
        return weight == kWeightMedium ? 2 : weight == kWeightHairline ? 7 : weight == kWeightThick ? 5 : 1;
      case kLineDash: return weight == kWeightMedium ? 8 : 3;
      case kLineDot: return 4;
      case kLineDouble: return 6;
      case kLineDashDot: return weight == kWeightMedium ? 10 : 9;
      case kLineDashDotDot: return weight == kWeightMedium ? 12 : 11;
      case kLineSlantDashDot: return 13;
      default: return 0;
    }
  }
  switch (weight) {
    case kWeightMedium:
      return style == kLineDash ? 8 : style == kLineDashDot ? 10 : style == kLineDashDotDot ? 12
             : style == kLineSlantDashDot ? 13 : 2;
    case kWeightHairline: return 7;
    case kWeightThin:
      return style == kLineDot ? 4 : style == kLineDash ? 3 : style == kLineDashDot ? 9
             : style == kLineDashDotDot ? 11 : 1;
    case kWeightThick: return style == kLineDouble ? 6 : 5;
    default: return 0;
  }
}

std::int32_t TXLSXFList::GetBorderStyleCode(std::int32_t xf, std::int32_t mask) const {
  Borders b = ReadBorders(GetBorderKey(xf));
  for (const EdgeBits& e : kEdges)
    if (mask & e.mask) return static_cast<std::int32_t>(b.Style(e));
  if (mask & kEdgeDiagonalDown) return (b.w2 & kDiagDownFlag) ? static_cast<std::int32_t>(b.DiagStyle()) : 0;
  if (mask & kEdgeDiagonalUp) return (b.w2 & kDiagUpFlag) ? static_cast<std::int32_t>(b.DiagStyle()) : 0;
  return 0;
}

std::int32_t TXLSXFList::GetBorderColor(std::int32_t xf, std::int32_t edge) const {
  Borders b = ReadBorders(GetBorderKey(xf));
  std::uint32_t c = 0;
  bool found = false;
  for (const EdgeBits& e : kEdges) {
    if (edge & e.mask) {
      c = b.Colour(e);
      found = true;
      break;
    }
  }
  if (!found && (edge & (kEdgeDiagonalDown | kEdgeDiagonalUp))) {
    std::uint32_t flag = (edge & kEdgeDiagonalDown) ? kDiagDownFlag : kDiagUpFlag;
    c = (b.w2 & flag) ? b.DiagColour() : 0;
  }
  if (c == 0) return kXlNone;
  if (c == 64) return kXlAutomatic;
  if (c > 7) return static_cast<std::int32_t>(c) - 7;
  return static_cast<std::int32_t>(c);
}

bool TXLSXFList::HasOwnBorders(std::int32_t xf) const {
  return HexField(KeyOf(xf), 42, 2) & kUsedBorder;
}

std::int32_t TXLSXFList::SetBorderLineStyle(std::int32_t xf, std::int32_t mask, bool move, std::int32_t style) {
  if (!(mask & kAllEdges)) return xf;
  Borders b = ReadBorders(GetBorderKey(xf));
  std::uint32_t keep = style == kXlNone ? 0 : 127;
  for (const EdgeBits& e : kEdges) {
    if (!(mask & e.mask)) continue;
    std::int32_t code = CodeFromStyleAndWeight(style, WeightFromCode(static_cast<std::int32_t>(b.Style(e))), CodeMode::Style);
    if (keep == 127 && b.Colour(e) == 0) b.SetColour(e, 64);
    if (keep == 0) b.SetColour(e, 0);
    b.SetStyle(e, static_cast<std::uint32_t>(code));
  }
  if (mask & (kEdgeDiagonalDown | kEdgeDiagonalUp))
    b.SetDiagonals(mask, CodeFromStyleAndWeight(style, WeightFromCode(static_cast<std::int32_t>(b.DiagStyle())), CodeMode::Style));
  return SetBorders(xf, b.Key(), move);
}

std::int32_t TXLSXFList::SetBorderWeight(std::int32_t xf, std::int32_t mask, bool move, std::int32_t weight) {
  if (!(mask & kAllEdges)) return xf;
  Borders b = ReadBorders(GetBorderKey(xf));
  for (const EdgeBits& e : kEdges) {
    if (!(mask & e.mask)) continue;
    std::int32_t code = CodeFromStyleAndWeight(LineStyleFromCode(static_cast<std::int32_t>(b.Style(e))), weight, CodeMode::Weight);
    if (b.Colour(e) == 0) b.SetColour(e, 64);
    b.SetStyle(e, static_cast<std::uint32_t>(code));
  }
  if (mask & (kEdgeDiagonalDown | kEdgeDiagonalUp))
    b.SetDiagonals(mask, CodeFromStyleAndWeight(LineStyleFromCode(static_cast<std::int32_t>(b.DiagStyle())), weight, CodeMode::Weight));
  return SetBorders(xf, b.Key(), move);
}

std::int32_t TXLSXFList::SetBorderColor(std::int32_t xf, std::int32_t mask, bool move, std::int32_t color) {
  std::uint32_t c;
  if (color == kXlNone || color == 0) c = 0;
  else if (color == kXlAutomatic) c = 64;
  else if (color >= 1 && color <= 56) c = static_cast<std::uint32_t>(color) + 7;
  else return xf;
  Borders b = ReadBorders(GetBorderKey(xf));
  for (const EdgeBits& e : kEdges) {
    if (!(mask & e.mask)) continue;
    if (c != 0) {
      if (b.Style(e) == 0) b.SetStyle(e, 1);
      b.SetColour(e, c);
    } else {
      b.SetStyle(e, 0);
      b.SetColour(e, 0);
    }
  }
  if (mask & (kEdgeDiagonalDown | kEdgeDiagonalUp)) {
    if (c != 0) {
      if (b.DiagStyle() == 0) b.SetDiagStyle(1);
      b.SetDiagColour(c);
      b.w2 |= Borders::Flags(mask);
    } else {
      b.w2 &= ~Borders::Flags(mask);
      if (!(b.w2 & (kDiagDownFlag | kDiagUpFlag))) {
        b.SetDiagStyle(0);
        b.SetDiagColour(0);
      }
    }
  }
  return SetBorders(xf, b.Key(), move);
}

// ----- fills ------------------------------------------------------------------------------------

namespace {
struct Fill {
  std::uint32_t p, f, b, kept;
};
Fill ReadFill(const std::u16string& part) {
  std::uint32_t colours = HexField(part, 3, 4);
  return {HexField(part, 1, 2), colours & 0x7F, (colours >> 7) & 0x7F, colours & 0xC000};
}
}  // namespace

std::int32_t TXLSXFList::ChangeFill(std::int32_t xf, std::uint32_t p, std::uint32_t f, std::uint32_t b,
                                    std::uint32_t kept, bool move) {
  std::u16string part = HexDigits(p & 0xFF, 2) + HexDigits(kept | ((b & 0x7F) << 7) | (f & 0x7F), 4);
  return SetPattern(xf, part, move);
}

std::int32_t TXLSXFList::GetFillPattern(std::int32_t xf) const {
  return static_cast<std::int32_t>(ReadFill(GetPatternKey(xf)).p & 127);
}

std::int32_t TXLSXFList::GetInteriorColor(std::int32_t xf) const {
  Fill fill = ReadFill(GetPatternKey(xf));
  return static_cast<std::int32_t>(fill.p == 0 ? 0 : fill.p == 1 ? fill.f : fill.b);
}

std::int32_t TXLSXFList::GetPatternColor(std::int32_t xf) const {
  Fill fill = ReadFill(GetPatternKey(xf));
  return static_cast<std::int32_t>(fill.p == 0 ? 0 : fill.p == 1 ? fill.b : fill.f);
}

std::int32_t TXLSXFList::SetFillPattern(std::int32_t xf, std::int32_t v, bool move) {
  Fill fill = ReadFill(GetPatternKey(xf));
  if (v == 0) return ChangeFill(xf, 0, 64, 65, fill.kept, move);
  std::uint32_t np = static_cast<std::uint32_t>(v) & 127;
  // Solid fills keep their colour as the pattern colour, patterns as the background.
  if ((fill.p == 1) != (np == 1)) std::swap(fill.f, fill.b);
  return ChangeFill(xf, np, fill.f, fill.b, fill.kept, move);
}

std::int32_t TXLSXFList::SetInteriorColor(std::int32_t xf, std::int32_t c, bool move) {
  Fill fill = ReadFill(GetPatternKey(xf));
  std::uint32_t colour = static_cast<std::uint32_t>(c) & 127;
  if (colour == 0) return ChangeFill(xf, 0, 64, 65, fill.kept, move);
  if (fill.p == 1) fill.f = colour;
  else if (fill.p > 1) fill.b = colour;
  else {
    fill.p = 1;
    fill.b = fill.f;
    fill.f = colour;
  }
  return ChangeFill(xf, fill.p, fill.f, fill.b, fill.kept, move);
}

std::int32_t TXLSXFList::SetPatternColor(std::int32_t xf, std::int32_t c, bool move) {
  Fill fill = ReadFill(GetPatternKey(xf));
  std::uint32_t colour = static_cast<std::uint32_t>(c) & 127;
  if (colour == 0) return ChangeFill(xf, 0, 64, 65, fill.kept, move);
  if (fill.p > 1) fill.f = colour;
  else if (fill.p == 1) fill.b = colour;
  else {
    fill.p = 1;
    fill.f = fill.b;
    fill.b = colour;
  }
  return ChangeFill(xf, fill.p, fill.f, fill.b, fill.kept, move);
}

}  // namespace xls
