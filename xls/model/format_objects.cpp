#include "xls/model/format_objects.h"

#include "xls/model/workbook.h"
#include "xls/model/worksheet.h"
#include "xls/model/xls_constants.h"

namespace xls {

namespace {

TXLSWorkbook& BookOf(const IXLSRange& r) { return *r->GetWorksheet()->Workbook(); }

struct Pair {
  std::int32_t constant;
  std::int32_t code;
};

constexpr Pair kUnderlines[] = {{kXlNone, 0}, {2, 1}, {-4119, 2}, {4, 0x21}, {5, 0x22}};
constexpr Pair kPatterns[] = {{kXlNone, 0}, {1, 1},     {-4125, 2}, {-4126, 3}, {-4124, 4},
                              {-4128, 5},   {-4166, 6}, {-4121, 7}, {-4162, 8}};

// Interior and pattern colours in the cell format: 8..63 palette, 64/65 automatic, 0 none.
std::int32_t FillColorFromCode(std::int32_t code) {
  if (code == 64 || code == 65) return kXlAutomatic;
  if (code == 0) return kXlNone;
  if (code < 8) return code;
  return code - 7;
}

// -1 when the value is none of the accepted ones.
std::int32_t FillCodeFromColor(std::int32_t index, std::int32_t automatic) {
  if (index >= 1 && index <= 56) return index + 7;
  if (index == 0 || index == kXlNone) return 0;
  if (index == kXlAutomatic) return automatic;
  return -1;
}

}  // namespace

// ----- font ---------------------------------------------------------------------------------

std::int32_t TXLSFont::GetColorIndex() const {
  std::int32_t c = range_->GetFontColor();
  if (c >= 8 && c <= 63) return c - 7;
  if (c == 0) return kXlNone;
  return c;
}

std::uint32_t TXLSFont::GetColor() const { return BookOf(range_).GetColor(GetColorIndex()); }

void TXLSFont::SetColorIndex(std::int32_t index) {
  if (index == kXlAutomatic) {
    range_->SetFontColor(kXlAutomatic);
  } else if (index == kXlNone || index == 0) {
    range_->SetFontColor(0);
  } else if (index >= 1 && index <= 56) {
    range_->SetFontColor(index + 7);
  }
}

void TXLSFont::SetColor(std::uint32_t rgb) { SetColorIndex(BookOf(range_).NearestColorIndex(rgb)); }

std::int32_t TXLSFont::GetUnderline() const {
  std::int32_t code = range_->GetFontUnderline();
  for (const Pair& p : kUnderlines) {
    if (p.code == code) return p.constant;
  }
  return kXlNone;
}

void TXLSFont::SetUnderline(std::int32_t v) {
  for (const Pair& p : kUnderlines) {
    if (p.constant == v) {
      range_->SetFontUnderline(static_cast<std::uint8_t>(p.code));
      return;
    }
  }
}

// ----- interior -----------------------------------------------------------------------------

void TXLSInterior::SetColorIndex(std::int32_t index) {
  std::int32_t code = FillCodeFromColor(index, 65);
  if (code >= 0) range_->SetInteriorColor(code);
}

void TXLSInterior::SetPatternColorIndex(std::int32_t index) {
  std::int32_t code = FillCodeFromColor(index, 64);
  if (code >= 0) range_->SetPatternColor(code);
}

std::int32_t TXLSInterior::GetColorIndex() const { return FillColorFromCode(range_->GetInteriorColor()); }
std::int32_t TXLSInterior::GetPatternColorIndex() const { return FillColorFromCode(range_->GetPatternColor()); }

void TXLSInterior::SetColor(std::uint32_t rgb) { SetColorIndex(BookOf(range_).NearestColorIndex(rgb)); }
std::uint32_t TXLSInterior::GetColor() const { return BookOf(range_).GetColor(GetColorIndex()); }
void TXLSInterior::SetPatternColor(std::uint32_t rgb) {
  SetPatternColorIndex(BookOf(range_).NearestColorIndex(rgb));
}
std::uint32_t TXLSInterior::GetPatternColor() const { return BookOf(range_).GetColor(GetPatternColorIndex()); }

void TXLSInterior::SetPattern(std::int32_t pattern) {
  std::int32_t code = 0;
  if (pattern == kXlAutomatic) {
    code = 1;
  } else if (pattern >= 9 && pattern <= 18) {
    code = pattern;
  } else {
    for (const Pair& p : kPatterns) {
      if (p.constant == pattern) code = p.code;
    }
  }
  range_->SetFillPattern(code);
}

std::int32_t TXLSInterior::GetPattern() const {
  std::int32_t code = range_->GetFillPattern();
  if (code >= 9 && code <= 18) return code;
  for (const Pair& p : kPatterns) {
    if (p.code == code) return p.constant;
  }
  return 0;
}

// ----- borders ------------------------------------------------------------------------------

std::uint32_t TXLSBorder::GetColor() const { return BookOf(range_).GetColor(GetColorIndex()); }
void TXLSBorder::SetColor(std::uint32_t rgb) { SetColorIndex(BookOf(range_).NearestColorIndex(rgb)); }
std::uint32_t TXLSBorders::GetColor() const { return BookOf(range_).GetColor(GetColorIndex()); }
void TXLSBorders::SetColor(std::uint32_t rgb) { SetColorIndex(BookOf(range_).NearestColorIndex(rgb)); }

// ----- the range's adapters ------------------------------------------------------------------

IXLSFont TXLSRange::GetFont() { return std::make_shared<TXLSFont>(IXLSRange(shared_from_this())); }
IXLSInterior TXLSRange::GetInterior() { return std::make_shared<TXLSInterior>(IXLSRange(shared_from_this())); }
IXLSBorders TXLSRange::GetBorders() { return std::make_shared<TXLSBorders>(IXLSRange(shared_from_this())); }

}  // namespace xls
