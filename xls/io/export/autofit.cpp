#include "xls/io/export/autofit.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <string>

#include "xls/io/export/export_cells.h"
#include "xls/io/export/font_widths.h"
#include "xls/model/range.h"
#include "xls/model/worksheet.h"

namespace xls {

namespace {

long long RoundEven(double v) { return std::llrint(v); }

// The measurer with the values measured once through it.
struct MeasurerState {
  std::shared_ptr<TXLSTextMeasurer> measurer = std::make_shared<TXLSBuiltInTextMeasurer>();
  std::int32_t dpi = -1;
  std::int32_t widthUnit = -1;
};

MeasurerState& State() {
  static MeasurerState state;
  return state;
}

}  // namespace

// ----- the built-in measurer --------------------------------------------------------------

namespace {

bool Has(const std::string& name, const char* part) { return name.find(part) != std::string::npos; }

// The widths of the face and weight that a font name stands for.
const TXLSFontWidths& WidthsOf(const TXLSMeasureFont& font) {
  std::string name;
  for (const char16_t c : font.name) name += c < 0x80 ? static_cast<char>(std::tolower(c)) : '?';
  int face = 0;  // sans-serif
  if (Has(name, "mono") || Has(name, "courier") || Has(name, "consol") || Has(name, "cousine") ||
      Has(name, "lucida console") || Has(name, "fixed")) {
    face = 2;
  } else if ((Has(name, "serif") && !Has(name, "sans")) || Has(name, "times") || Has(name, "roman") ||
             Has(name, "tinos") || Has(name, "georgia") || Has(name, "cambria") || Has(name, "garamond") ||
             Has(name, "palatino") || Has(name, "antiqua") || Has(name, "bookman") || Has(name, "century")) {
    face = 1;
  }
  return kFontWidths[face * 2 + (font.bold ? 1 : 0)];
}

bool EastAsian(char16_t c) {
  return (c >= 0x1100 && c <= 0x11FF) || (c >= 0x2E80 && c <= 0xA4CF) || (c >= 0xAC00 && c <= 0xD7A3) ||
         (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60) ||
         (c >= 0xFFE0 && c <= 0xFFE6) || (c >= 0xD800 && c <= 0xDBFF);  // a pair: mostly ideographs and symbols
}

// A character's advance in font units.
std::int32_t Units(const TXLSFontWidths& widths, char16_t c) {
  for (const TXLSFontWidthRange& r : kFontWidthRanges)
    if (c >= r.first && c <= r.last) return widths.widths[r.index + (c - r.first)];
  if (c < 0x20 || (c >= 0xDC00 && c <= 0xDFFF) || (c >= 0x200B && c <= 0x200F)) return 0;
  return EastAsian(c) ? widths.unitsPerEm : widths.average;
}

// The text's width in pixels at the em: each advance rounded, as hinted glyphs are.
std::int32_t TextPixels(const std::u16string& text, std::size_t from, std::size_t to, const TXLSFontWidths& widths,
                        std::int32_t em) {
  std::int32_t pixels = 0;
  for (std::size_t i = from; i < to; ++i) pixels += (Units(widths, text[i]) * em + widths.unitsPerEm / 2) / widths.unitsPerEm;
  return pixels;
}

}  // namespace

std::int32_t TXLSBuiltInTextMeasurer::Em(const TXLSMeasureFont& font) const {
  return static_cast<std::int32_t>(std::lround(static_cast<double>(font.size) * dpi_ / 72.0));
}

TXLSFontMetrics TXLSBuiltInTextMeasurer::Metrics(const TXLSMeasureFont& font) {
  const std::int32_t em = Em(font);
  return {em + em / 4, (em + 2) / 4, em / 4};
}

void TXLSBuiltInTextMeasurer::LineExtent(const std::u16string& text, const TXLSMeasureFont& font, std::int32_t& width,
                                         std::int32_t& height) {
  width = TextPixels(text, 0, text.size(), WidthsOf(font), Em(font));
  height = Metrics(font).height;
}

std::int32_t TXLSBuiltInTextMeasurer::WrappedHeight(const std::u16string& text, const TXLSMeasureFont& font,
                                                    std::int32_t width) {
  const TXLSFontWidths& widths = WidthsOf(font);
  const std::int32_t em = Em(font);
  const std::int32_t space = TextPixels(u" ", 0, 1, widths, em);
  std::int32_t lines = 0;
  std::size_t start = 0;
  while (true) {
    // One paragraph: up to the next CR LF, CR or LF.
    const std::size_t found = text.find_first_of(u"\r\n", start);
    const std::size_t end = found == std::u16string::npos ? text.size() : found;
    std::int32_t used = -1;  // pixels on the current line; -1 before its first word
    std::int32_t paragraphLines = 1;
    std::size_t i = start;
    while (i < end) {
      while (i < end && text[i] == u' ') ++i;
      if (i >= end) break;
      std::size_t j = i;
      while (j < end && text[j] != u' ') ++j;
      const std::int32_t word = TextPixels(text, i, j, widths, em);
      if (used < 0) {
        used = word;
      } else if (used + space + word <= width) {
        used += space + word;
      } else {
        ++paragraphLines;
        used = word;
      }
      i = j;
    }
    lines += paragraphLines;
    if (found == std::u16string::npos) break;
    start = found + (text[found] == u'\r' && found + 1 < text.size() && text[found + 1] == u'\n' ? 2 : 1);
  }
  return lines * Metrics(font).height;
}

void SetTextMeasurer(std::shared_ptr<TXLSTextMeasurer> measurer) {
  MeasurerState& s = State();
  s.measurer = measurer ? std::move(measurer) : std::make_shared<TXLSBuiltInTextMeasurer>();
  s.dpi = -1;
  s.widthUnit = -1;
}

TXLSTextMeasurer& GetTextMeasurer() { return *State().measurer; }

// ----- conversions ------------------------------------------------------------------------

std::int32_t TXLSAutoFit::ScreenDpi() {
  MeasurerState& s = State();
  if (s.dpi < 0) s.dpi = s.measurer->PixelsPerInch();
  return s.dpi;
}

std::int32_t TXLSAutoFit::WidthUnit() {
  MeasurerState& s = State();
  if (s.widthUnit < 0) {
    std::int32_t width = 0, height = 0;
    s.measurer->LineExtent(u"0", TXLSMeasureFont{u"Arial", 10, false}, width, height);
    s.widthUnit = width > 0 ? width : 1;
  }
  return s.widthUnit;
}

double TXLSAutoFit::PixelsToChars(double pixels) {
  const double u = WidthUnit();
  if (pixels < u + 5) return static_cast<double>(RoundEven(pixels * 100 / (u + 5))) / 100;
  return static_cast<double>(RoundEven((pixels - 5) * 100 / u)) / 100;
}

std::int32_t TXLSAutoFit::CharsToPixels(double characters) {
  const double u = WidthUnit();
  if (characters >= 1) return static_cast<std::int32_t>(RoundEven(u * characters) + 5);
  return static_cast<std::int32_t>(RoundEven((u + 5) * characters));
}

std::int32_t TXLSAutoFit::PointsToPixels(double points) {
  return static_cast<std::int32_t>(ScreenDpi() * points / 72);
}

double TXLSAutoFit::PixelsToPoints(double pixels) { return pixels * 72 / ScreenDpi(); }

// ----- measuring --------------------------------------------------------------------------

TXLSAutoFit::TXLSAutoFit(TXLSRange& range) : range_(range), measurer_(GetTextMeasurer()) { WidthUnit(); }
TXLSAutoFit::~TXLSAutoFit() = default;

std::int32_t TXLSAutoFit::NarrowestWrapWidth(const std::u16string& text, const TXLSMeasureFont& font,
                                             std::int32_t heightLimit, std::int32_t lineWidth,
                                             std::int32_t lineHeight, std::int32_t widest) {
  if (lineHeight <= 0 || heightLimit / lineHeight <= 1) return lineWidth;
  const std::int32_t lower = widest > 10 ? widest - 10 : widest;
  std::int32_t step = lineWidth - lower;
  std::int32_t probe = lower + step / 2;
  while (step > 3) {
    step /= 2;
    if (measurer_.WrappedHeight(text, font, probe) > heightLimit) {
      probe += step;
    } else {
      probe -= step;
    }
  }
  return probe + 3;
}

std::int32_t TXLSAutoFit::TextWidth(const std::u16string& text, const TXLSMeasureFont& font, std::int32_t widest,
                                    std::int32_t heightLimit, bool wrap) {
  std::int32_t width = 0, height = 0;
  measurer_.LineExtent(text, font, width, height);
  if (wrap && width > widest && heightLimit > height) {
    width = NarrowestWrapWidth(text, font, heightLimit, width, height, widest);
  }
  return width > 0 ? width : -1;
}

std::int32_t TXLSAutoFit::TextHeight(const std::u16string& text, std::int32_t width, bool wrap,
                                     const TXLSMeasureFont& font) {
  std::int32_t h = 0;
  if (wrap) {
    h = measurer_.WrappedHeight(text, font, width);
  } else {
    std::int32_t w = 0;
    measurer_.LineExtent(text, font, w, h);
  }
  if (h <= 0) return -1;
  const TXLSFontMetrics m = measurer_.Metrics(font);
  if (m.height <= 0) return -1;
  const std::int32_t lines = h / m.height;
  const std::int32_t line = m.height + m.descent - m.internalLeading + 1;
  std::int32_t result = line * lines;
  if (m.height <= 10) result += 1;
  if (line < 10) result += 2 * lines;
  return result;
}

TXLSMeasureFont TXLSAutoFit::FontOf(TXLSCellReader& cells, std::int32_t xf) {
  const TXLSCellLook& look = cells.Look(xf);
  return {look.fontName, static_cast<std::int32_t>(RoundEven(look.fontSize)), look.bold};
}

std::u16string TXLSAutoFit::TextOf(TXLSCellReader& cells, std::int32_t row, std::int32_t column) {
  const Variant value = cells.Value(row, column);
  if (value.IsEmptyOrNull()) return std::u16string();
  return formater_.FormatValue(value, cells.Look(cells.XF(row, column)).numberFormat);
}

bool TXLSAutoFit::Rotated(TXLSCellReader& cells, std::int32_t row, std::int32_t column) {
  const std::int32_t o = cells.Look(cells.XF(row, column)).orientation;
  return o == 90 || o == -90;
}

std::int32_t TXLSAutoFit::CellWidth(TXLSCellReader& cells, std::int32_t row, std::int32_t column, std::int32_t widest) {
  IXLSWorksheet& sheet = cells.Sheet();
  std::int32_t available = 0;
  const TXLSCellRef* cell = sheet.Cells().FindCell(row, column);
  if (cell && cell->Merged()) {
    if (!cell->IsMergeMaster() || cell->Merge()->columns != 1) return -1;
    for (std::int32_t r = row; r < row + cell->Merge()->rows && r <= 65535; ++r) {
      available += PointsToPixels(sheet.RowInfo().GetRowHeight(r));
    }
  } else {
    available = PointsToPixels(sheet.RowInfo().GetRowHeight(row));
  }
  if (available <= 0) return -1;
  const std::u16string text = TextOf(cells, row, column);
  if (text.empty()) return -1;
  const std::int32_t xf = cells.XF(row, column);
  const TXLSMeasureFont font = FontOf(cells, xf);
  const std::int32_t width = TextWidth(text, font, widest, available, cells.Look(xf).wrap);
  if (width <= 0) return -1;
  std::int32_t zero = 0, height = 0;
  measurer_.LineExtent(u"0", font, zero, height);
  return width + 5 + static_cast<std::int32_t>(RoundEven(zero / 3.0));
}

std::int32_t TXLSAutoFit::CellHeight(TXLSCellReader& cells, std::int32_t row, std::int32_t column) {
  IXLSWorksheet& sheet = cells.Sheet();
  std::int32_t available = 0;
  const TXLSCellRef* cell = sheet.Cells().FindCell(row, column);
  if (cell && cell->Merged()) {
    if (!cell->IsMergeMaster() || cell->Merge()->rows != 1) return -1;
    for (std::int32_t c = column; c < column + cell->Merge()->columns && c <= 255; ++c) {
      available += CharsToPixels(sheet.ColumnInfo().GetColumnWidth(c));
    }
  } else {
    available = CharsToPixels(sheet.ColumnInfo().GetColumnWidth(column));
  }
  if (available <= 0) return -1;
  std::u16string text = TextOf(cells, row, column);
  if (text.empty()) text = u"Wg";
  const std::int32_t xf = cells.XF(row, column);
  return TextHeight(text, available, cells.Look(xf).wrap, FontOf(cells, xf));
}

namespace {

// The part of the range that holds cells; false when it holds none.
bool CellsInRange(const TXLSRange& range, IXLSWorksheet& sheet, std::int32_t& r1, std::int32_t& r2,
                  std::int32_t& c1, std::int32_t& c2) {
  const TXLSCellHeap& heap = sheet.Cells();
  if (heap.Empty()) return false;
  r1 = std::max(range.GetFirstRow(), heap.FirstRow());
  r2 = std::min(range.GetLastRow(), heap.LastRow());
  c1 = std::max(range.GetFirstCol(), heap.FirstColumn());
  c2 = std::min(range.GetLastCol(), heap.LastColumn());
  return r1 <= r2 && c1 <= c2;
}

}  // namespace

void TXLSAutoFit::AutoFitColumns() {
  IXLSWorksheet& sheet = *range_.GetWorksheet();
  std::int32_t r1, r2, c1, c2;
  if (!CellsInRange(range_, sheet, r1, r2, c1, c2)) return;
  TXLSCellReader cells(sheet);
  for (std::int32_t c = c1; c <= c2; ++c) {
    std::int32_t widest = 0;
    for (std::int32_t r = r1; r <= r2; ++r) {
      const std::int32_t w = Rotated(cells, r, c) ? CellHeight(cells, r, c) : CellWidth(cells, r, c, widest);
      widest = std::max(widest, w);
    }
    if (widest > 0) sheet.ColumnInfo().SetColumnWidth(c, PixelsToChars(widest));
  }
}

void TXLSAutoFit::AutoFitRows() {
  IXLSWorksheet& sheet = *range_.GetWorksheet();
  std::int32_t r1, r2, c1, c2;
  if (!CellsInRange(range_, sheet, r1, r2, c1, c2)) return;
  TXLSCellReader cells(sheet);
  for (std::int32_t r = r1; r <= r2; ++r) {
    std::int32_t highest = 0;
    for (std::int32_t c = c1; c <= c2; ++c) {
      const std::int32_t h = Rotated(cells, r, c) ? CellWidth(cells, r, c, highest) : CellHeight(cells, r, c);
      highest = std::max(highest, h);
    }
    if (highest > 0) sheet.RowInfo().SetRowHeight(r, PixelsToPoints(highest));
  }
}

}  // namespace xls
