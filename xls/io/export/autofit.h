// Fitting column widths and row heights to the cells' formatted texts as they would be drawn.
// Text is measured through a TXLSTextMeasurer: the program installs one over its GUI's font
// metrics, while the library (and its tests) uses TXLSBuiltInTextMeasurer, whose metrics come
// from a table of the advance widths of metric-compatible fonts, so that results are the same
// on every machine.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "xls/formula/cell_text/number_format.h"

namespace xls {

class TXLSCellReader;
class TXLSRange;

struct TXLSMeasureFont {
  std::u16string name;
  std::int32_t size = 10;  // whole points
  bool bold = false;
};

struct TXLSFontMetrics {
  std::int32_t height = 0;           // pixels, internal leading included
  std::int32_t descent = 0;
  std::int32_t internalLeading = 0;
};

class TXLSTextMeasurer {
 public:
  virtual ~TXLSTextMeasurer() = default;
  // Pixels per logical inch of the screen.
  virtual std::int32_t PixelsPerInch() const = 0;
  // One line of text: its width and the line's height in pixels.
  virtual void LineExtent(const std::u16string& text, const TXLSMeasureFont& font, std::int32_t& width,
                          std::int32_t& height) = 0;
  // The height of the text broken into lines at word boundaries (and at its own line
  // breaks) within the width; a word wider than that keeps a line of its own.
  virtual std::int32_t WrappedHeight(const std::u16string& text, const TXLSMeasureFont& font, std::int32_t width) = 0;
  virtual TXLSFontMetrics Metrics(const TXLSMeasureFont& font) = 0;
};

// The library's own metrics, at 96 pixels per inch unless given: the em is size x dpi / 72
// pixels, rounded; a character advances by its width in the Liberation font of the face that
// the font name stands for (Liberation Sans for Arial and other sans-serif faces, Liberation
// Serif for Times New Roman and other serif faces, Liberation Mono for Courier New and other
// fixed-pitch faces), regular or bold, scaled to the em and rounded to whole pixels as the
// screen's text functions do; East Asian characters are an em wide, others outside the table
// the font's average width. The internal leading and the descent are em / 4 and (em + 2) / 4,
// and a line is em plus its internal leading high. Arial 10 at 96 dpi: em 13, "0" 7 pixels
// wide, "W" 12 and "i" 3, lines 16 pixels high.
class TXLSBuiltInTextMeasurer : public TXLSTextMeasurer {
 public:
  explicit TXLSBuiltInTextMeasurer(std::int32_t dpi = 96) : dpi_(dpi) {}
  std::int32_t PixelsPerInch() const override { return dpi_; }
  void LineExtent(const std::u16string& text, const TXLSMeasureFont& font, std::int32_t& width,
                  std::int32_t& height) override;
  std::int32_t WrappedHeight(const std::u16string& text, const TXLSMeasureFont& font, std::int32_t width) override;
  TXLSFontMetrics Metrics(const TXLSMeasureFont& font) override;

 private:
  std::int32_t Em(const TXLSMeasureFont& font) const;
  std::int32_t dpi_;
};

// The measurer of the process (a TXLSBuiltInTextMeasurer until one is installed). Installing
// one measures the screen resolution and the width unit again.
void SetTextMeasurer(std::shared_ptr<TXLSTextMeasurer> measurer);
TXLSTextMeasurer& GetTextMeasurer();

class TXLSAutoFit {
 public:
  explicit TXLSAutoFit(TXLSRange& range);
  ~TXLSAutoFit();

  void AutoFitColumns();
  void AutoFitRows();

  // Unit conversions with the width unit u (the width of "0" in Arial 10) and the screen's
  // pixels per inch.
  static double PixelsToChars(double pixels);
  static std::int32_t CharsToPixels(double characters);
  static std::int32_t PointsToPixels(double points);
  static double PixelsToPoints(double pixels);
  static std::int32_t WidthUnit();
  static std::int32_t ScreenDpi();

  // Measurements in pixels, -1 when there is nothing to measure.
  std::int32_t TextWidth(const std::u16string& text, const TXLSMeasureFont& font, std::int32_t widest,
                         std::int32_t heightLimit, bool wrap);
  std::int32_t TextHeight(const std::u16string& text, std::int32_t width, bool wrap, const TXLSMeasureFont& font);

 private:
  std::int32_t NarrowestWrapWidth(const std::u16string& text, const TXLSMeasureFont& font, std::int32_t heightLimit,
                                  std::int32_t lineWidth, std::int32_t lineHeight, std::int32_t widest);
  std::int32_t CellWidth(TXLSCellReader& cells, std::int32_t row, std::int32_t column, std::int32_t widest);
  std::int32_t CellHeight(TXLSCellReader& cells, std::int32_t row, std::int32_t column);
  bool Rotated(TXLSCellReader& cells, std::int32_t row, std::int32_t column);
  TXLSMeasureFont FontOf(TXLSCellReader& cells, std::int32_t xf);
  std::u16string TextOf(TXLSCellReader& cells, std::int32_t row, std::int32_t column);

  TXLSRange& range_;
  TXLSFormater formater_;
  TXLSTextMeasurer& measurer_;
};

}  // namespace xls
