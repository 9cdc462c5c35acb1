// The spreadsheet library's autofit measures text through this measurer in the program: Qt's
// font metrics at the primary screen's resolution, so that fitted columns and rows match what
// the screen draws.
#pragma once

#include "xls/io/export/autofit.h"

namespace ui {

class TSheetTextMeasurer : public xls::TXLSTextMeasurer {
 public:
  std::int32_t PixelsPerInch() const override;
  void LineExtent(const std::u16string& text, const xls::TXLSMeasureFont& font, std::int32_t& width,
                  std::int32_t& height) override;
  std::int32_t WrappedHeight(const std::u16string& text, const xls::TXLSMeasureFont& font, std::int32_t width) override;
  xls::TXLSFontMetrics Metrics(const xls::TXLSMeasureFont& font) override;
};

// Installs a TSheetTextMeasurer as the library's measurer (after the application object exists).
void InstallSheetTextMeasurer();

}  // namespace ui
