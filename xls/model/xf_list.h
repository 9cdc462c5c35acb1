// The workbook's cell formats (XFs) and styles. Every XF is one 43-digit key string; a cell
// stores only an XF index. Formatting never edits an XF: each setter builds the changed key,
// interns it and returns the index to store, moving one use from the old XF to the new one.
//
// XF key, 1-based positions: 1-4 font, 5-8 number format, 9 protection (bit 0 locked, bit 1
// formula hidden, bit 2 style XF), 10-13 parent XF, 14-19 alignment (alignment byte, rotation,
// indent byte), 20-27 border word 1, 28-35 border word 2, 36-37 fill pattern, 38-41 pattern
// colours, 42-43 used-attribute bits.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "xls/model/blob.h"
#include "xls/model/font_list.h"
#include "xls/model/key_list.h"
#include "xls/model/num_format_list.h"
#include "xls/model/xls_constants.h"

namespace xls {

// The BIFF5 line style (0..7) that stands for a line style 0..13 (the nearest one BIFF5 has).
std::uint32_t Biff5LineStyle(std::uint32_t style);

class TXLSXFList;

// Used-attribute bits of an XF.
enum XFUsedBits : std::uint32_t {
  kUsedNumFormat = 0x01,
  kUsedFont = 0x02,
  kUsedAlignment = 0x04,
  kUsedBorder = 0x08,
  kUsedFill = 0x10,
  kUsedProtection = 0x20,
};

// Border edges selected by mask.
enum XFBorderEdge : std::int32_t {
  kEdgeLeft = 1,
  kEdgeRight = 2,
  kEdgeTop = 4,
  kEdgeBottom = 8,
  kEdgeDiagonalDown = 16,
  kEdgeDiagonalUp = 32,
};

// Line styles and weights of the automation interface.
constexpr std::int32_t kLineContinuous = 1;
constexpr std::int32_t kLineDash = -4115;
constexpr std::int32_t kLineDot = -4118;
constexpr std::int32_t kLineDouble = -4119;
constexpr std::int32_t kLineDashDot = 4;
constexpr std::int32_t kLineDashDotDot = 5;
constexpr std::int32_t kLineSlantDashDot = 13;
constexpr std::int32_t kWeightHairline = 1;
constexpr std::int32_t kWeightThin = 2;
constexpr std::int32_t kWeightMedium = -4138;
constexpr std::int32_t kWeightThick = 4;

struct TXLSStyleEntry : TXLSObjEntry {
  std::int32_t xfIndex = 0;
};

class TXLSStyles : public TXLSObjList {
 public:
  explicit TXLSStyles(TXLSXFList* owner);
  std::int32_t AddBuiltIn(std::int32_t id, std::int32_t xf);
  // Names longer than 255 characters are cut.
  std::int32_t AddUser(const std::u16string& name, std::int32_t xf);
  void AddDefaults();
  std::unique_ptr<TXLSBlob> BuildStyleRecord(std::int32_t i, int version, int codePage = 1252) const;

 private:
  TXLSXFList* owner_;
};

class TXLSXFList : public TXLSKeyList {
 public:
  static constexpr std::int32_t kDefaultCellXF = 15;
  static constexpr std::int32_t kFixedXFs = 21;

  TXLSXFList();
  ~TXLSXFList() override;

  void SetDefaults();
  void Clear();
  // The entries below 16 that a file left out, as SetDefaults makes them; those it gave stay.
  void AddMissingDefaults();

  TXLSStyles& Styles() { return *styles_; }
  TXLSNumFormatList& NumFormats() { return *numFormats_; }
  TXLSFontList& Fonts() { return *fonts_; }
  const TXLSFontList& Fonts() const { return *fonts_; }

  // Part getters, inherited from the parent style where the XF does not set the part.
  std::int32_t GetFontIndex(std::int32_t xf) const;
  std::int32_t GetNumFormat(std::int32_t xf) const;
  std::int32_t GetProtection(std::int32_t xf) const;
  std::u16string GetAlignmentKey(std::int32_t xf) const;  // 6 digits
  std::u16string GetBorderKey(std::int32_t xf) const;     // 16 digits
  std::u16string GetPatternKey(std::int32_t xf) const;    // 6 digits

  // Part setters: with move, one use moves from xf (15 when 0) to the result; without, the
  // result gains a use and nothing is released.
  std::int32_t SetFontIndex(std::int32_t xf, std::int32_t font, bool move);
  std::int32_t SetNumFormat(std::int32_t xf, std::int32_t format, bool move);
  std::int32_t SetProtection(std::int32_t xf, std::int32_t value, bool move);
  std::int32_t SetAlignmentKey(std::int32_t xf, const std::u16string& part, bool move);
  std::int32_t SetBorders(std::int32_t xf, const std::u16string& part, bool move);
  std::int32_t SetPattern(std::int32_t xf, const std::u16string& part, bool move);

  std::u16string GetFormatText(std::int32_t xf) const;
  std::int32_t SetFormatText(std::int32_t xf, const std::u16string& text, bool move);
  bool IsDateFormat(std::int32_t xf) const;
  // A date format whose first section counts elapsed time ([h], [m] or [s]): its numbers are
  // durations, not dates, and take no 1900 leap-day adjustment.
  bool IsElapsedFormat(std::int32_t xf) const;

  // Font attributes of a cell.
  bool GetFontBold(std::int32_t xf) const { return fonts_->GetBold(GetFontIndex(xf)); }
  bool GetFontItalic(std::int32_t xf) const { return fonts_->GetItalic(GetFontIndex(xf)); }
  bool GetFontStrikethrough(std::int32_t xf) const { return fonts_->GetStrikethrough(GetFontIndex(xf)); }
  bool GetFontOutline(std::int32_t xf) const { return fonts_->GetOutline(GetFontIndex(xf)); }
  bool GetFontShadow(std::int32_t xf) const { return fonts_->GetShadow(GetFontIndex(xf)); }
  bool GetFontSubscript(std::int32_t xf) const { return fonts_->GetSubscript(GetFontIndex(xf)); }
  bool GetFontSuperscript(std::int32_t xf) const { return fonts_->GetSuperscript(GetFontIndex(xf)); }
  std::int32_t GetFontUnderline(std::int32_t xf) const { return fonts_->GetUnderline(GetFontIndex(xf)); }
  std::int32_t GetFontColor(std::int32_t xf) const { return fonts_->GetColor(GetFontIndex(xf)); }
  std::int32_t GetFontFamily(std::int32_t xf) const { return fonts_->GetFamily(GetFontIndex(xf)); }
  std::int32_t GetFontCharset(std::int32_t xf) const { return fonts_->GetCharset(GetFontIndex(xf)); }
  double GetFontSize(std::int32_t xf) const { return fonts_->GetSize(GetFontIndex(xf)); }
  std::u16string GetFontName(std::int32_t xf) const { return fonts_->GetName(GetFontIndex(xf)); }

  std::int32_t SetFontBold(std::int32_t xf, bool v, bool move);
  std::int32_t SetFontItalic(std::int32_t xf, bool v, bool move);
  std::int32_t SetFontStrikethrough(std::int32_t xf, bool v, bool move);
  std::int32_t SetFontOutline(std::int32_t xf, bool v, bool move);
  std::int32_t SetFontShadow(std::int32_t xf, bool v, bool move);
  std::int32_t SetFontSubscript(std::int32_t xf, bool v, bool move);
  std::int32_t SetFontSuperscript(std::int32_t xf, bool v, bool move);
  std::int32_t SetFontUnderline(std::int32_t xf, std::int32_t v, bool move);
  std::int32_t SetFontColor(std::int32_t xf, std::int32_t v, bool move);
  std::int32_t SetFontFamily(std::int32_t xf, std::int32_t v, bool move);
  std::int32_t SetFontCharset(std::int32_t xf, std::int32_t v, bool move);
  std::int32_t SetFontSize(std::int32_t xf, double v, bool move);
  std::int32_t SetFontName(std::int32_t xf, const std::u16string& v, bool move);

  // Protection, alignment, borders and fills.
  bool GetLocked(std::int32_t xf) const { return GetProtection(xf) & 1; }
  std::int32_t SetLocked(std::int32_t xf, bool v, bool move);
  bool GetFormulaHidden(std::int32_t xf) const { return GetProtection(xf) & 2; }
  std::int32_t SetFormulaHidden(std::int32_t xf, bool v, bool move);

  std::int32_t GetHorizontalAlignment(std::int32_t xf) const { return AlignDigit(xf, 2) & 7; }
  std::int32_t SetHorizontalAlignment(std::int32_t xf, std::int32_t v, bool move);
  std::int32_t GetVerticalAlignment(std::int32_t xf) const { return AlignDigit(xf, 1) & 7; }
  std::int32_t SetVerticalAlignment(std::int32_t xf, std::int32_t v, bool move);
  bool GetWrapText(std::int32_t xf) const { return AlignDigit(xf, 2) & 8; }
  std::int32_t SetWrapText(std::int32_t xf, bool v, bool move);
  std::int32_t GetRotation(std::int32_t xf) const;
  std::int32_t SetRotation(std::int32_t xf, std::int32_t v, bool move);
  std::int32_t GetIndent(std::int32_t xf) const { return AlignDigit(xf, 6); }
  std::int32_t SetIndent(std::int32_t xf, std::int32_t v, bool move);
  bool GetShrinkToFit(std::int32_t xf) const { return AlignDigit(xf, 5) & 1; }
  std::int32_t SetShrinkToFit(std::int32_t xf, bool v, bool move);
  std::int32_t GetReadingOrder(std::int32_t xf) const { return (AlignDigit(xf, 5) >> 2) & 3; }
  std::int32_t SetReadingOrder(std::int32_t xf, std::int32_t v, bool move);

  std::int32_t GetBorderStyleCode(std::int32_t xf, std::int32_t mask) const;
  std::int32_t GetBorderLineStyle(std::int32_t xf, std::int32_t edge) const {
    return LineStyleFromCode(GetBorderStyleCode(xf, edge));
  }
  std::int32_t GetBorderWeight(std::int32_t xf, std::int32_t edge) const {
    return WeightFromCode(GetBorderStyleCode(xf, edge));
  }
  std::int32_t GetBorderColor(std::int32_t xf, std::int32_t edge) const;
  std::int32_t SetBorderLineStyle(std::int32_t xf, std::int32_t mask, bool move, std::int32_t style);
  std::int32_t SetBorderWeight(std::int32_t xf, std::int32_t mask, bool move, std::int32_t weight);
  std::int32_t SetBorderColor(std::int32_t xf, std::int32_t mask, bool move, std::int32_t color);
  bool HasOwnBorders(std::int32_t xf) const;
  static std::int32_t LineStyleFromCode(std::int32_t code);
  static std::int32_t WeightFromCode(std::int32_t code);
  enum class CodeMode { Style, Weight };
  static std::int32_t CodeFromStyleAndWeight(std::int32_t style, std::int32_t weight, CodeMode mode);

  std::int32_t GetFillPattern(std::int32_t xf) const;
  std::int32_t GetInteriorColor(std::int32_t xf) const;
  std::int32_t GetPatternColor(std::int32_t xf) const;
  std::int32_t SetFillPattern(std::int32_t xf, std::int32_t v, bool move);
  std::int32_t SetInteriorColor(std::int32_t xf, std::int32_t c, bool move);
  std::int32_t SetPatternColor(std::int32_t xf, std::int32_t c, bool move);

  // Save: number the XFs in use, recount and number the fonts (those of the XFs in use and the
  // positions that records outside the cell formats name, such as a chart's); then build the
  // records of the i-th XF and style in written order.
  void PackIndices(const std::vector<std::int32_t>& otherFontUses = {});
  std::unique_ptr<TXLSBlob> BuildXFRecord(std::int32_t i, int version) const;

  // Copy of a cell format between workbooks.
  std::u16string ExportPortableKey(std::int32_t xf) const;
  std::int32_t ImportPortableKey(const std::u16string& s);

 private:
  std::u16string KeyOf(std::int32_t xf) const { return GetKey(xf == 0 ? kDefaultCellXF : xf); }
  std::u16string ResolvedPart(std::int32_t xf, std::uint32_t bit, int pos, int width) const;
  std::int32_t InternChanged(std::int32_t xf, std::u16string key, std::uint32_t bit, bool move);
  std::int32_t AlignDigit(std::int32_t xf, int digit) const;
  std::int32_t SetAlignDigit(std::int32_t xf, int digit, std::int32_t value, bool move);
  template <typename Setter>
  std::int32_t ChangeFont(std::int32_t xf, bool move, Setter setter);
  std::int32_t ChangeFill(std::int32_t xf, std::uint32_t p, std::uint32_t f, std::uint32_t b,
                          std::uint32_t kept, bool move);

  std::unique_ptr<TXLSStyles> styles_;
  std::unique_ptr<TXLSNumFormatList> numFormats_;
  std::unique_ptr<TXLSFontList> fonts_;
};

}  // namespace xls
