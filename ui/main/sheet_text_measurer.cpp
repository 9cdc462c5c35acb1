#include "ui/main/sheet_text_measurer.h"

#include <QFont>
#include <QFontInfo>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QScreen>

namespace ui {

namespace {

QFont FontOf(const xls::TXLSMeasureFont& f) {
  QFont font(QString::fromStdU16String(f.name));
  font.setPointSize(f.size > 0 ? f.size : 1);
  font.setBold(f.bold);
  return font;
}

}  // namespace

std::int32_t TSheetTextMeasurer::PixelsPerInch() const {
  const QScreen* screen = QGuiApplication::primaryScreen();
  return screen ? static_cast<std::int32_t>(screen->logicalDotsPerInchY() + 0.5) : 96;
}

void TSheetTextMeasurer::LineExtent(const std::u16string& text, const xls::TXLSMeasureFont& font, std::int32_t& width,
                                    std::int32_t& height) {
  const QFontMetrics metrics(FontOf(font));
  width = metrics.horizontalAdvance(QString::fromStdU16String(text));
  height = metrics.height();
}

std::int32_t TSheetTextMeasurer::WrappedHeight(const std::u16string& text, const xls::TXLSMeasureFont& font,
                                               std::int32_t width) {
  const QFontMetrics metrics(FontOf(font));
  return metrics.boundingRect(QRect(0, 0, width > 0 ? width : 1, 0), Qt::TextWordWrap, QString::fromStdU16String(text))
      .height();
}

xls::TXLSFontMetrics TSheetTextMeasurer::Metrics(const xls::TXLSMeasureFont& font) {
  const QFont f = FontOf(font);
  const QFontMetrics metrics(f);
  const std::int32_t em = QFontInfo(f).pixelSize();
  return {metrics.height(), metrics.descent(), metrics.height() > em ? metrics.height() - em : 0};
}

void InstallSheetTextMeasurer() { xls::SetTextMeasurer(std::make_shared<TSheetTextMeasurer>()); }

}  // namespace ui
