// Autofit with the fixed-metric measurer: Arial 10 at 96 dpi has an em of 13 pixels, 7-pixel
// characters (the width unit), 16-pixel lines with a descent and internal leading of 3.
#include <gtest/gtest.h>

#include "export_test_util.h"
#include "xls/io/export/autofit.h"

namespace xls {
namespace {

using testing::Book;

TEST(AutoFit, Conversions) {
  SetTextMeasurer(nullptr);
  EXPECT_EQ(TXLSAutoFit::WidthUnit(), 7);
  EXPECT_EQ(TXLSAutoFit::ScreenDpi(), 96);
  EXPECT_DOUBLE_EQ(TXLSAutoFit::PixelsToChars(12), 1.0);
  EXPECT_EQ(TXLSAutoFit::CharsToPixels(1), 12);
  EXPECT_EQ(TXLSAutoFit::CharsToPixels(8.43), 64);
  EXPECT_EQ(TXLSAutoFit::CharsToPixels(0.5), 6);
  EXPECT_DOUBLE_EQ(TXLSAutoFit::PixelsToChars(6), 0.5);
  EXPECT_DOUBLE_EQ(TXLSAutoFit::PixelsToChars(42), 5.29);
  EXPECT_EQ(TXLSAutoFit::PointsToPixels(12.75), 17);
  EXPECT_DOUBLE_EQ(TXLSAutoFit::PixelsToPoints(34), 25.5);
  // Another screen: the values are measured again.
  SetTextMeasurer(std::make_shared<TXLSFixedTextMeasurer>(120));
  EXPECT_EQ(TXLSAutoFit::ScreenDpi(), 120);
  EXPECT_EQ(TXLSAutoFit::WidthUnit(), 9);  // em 16: (176 + 10) / 20
  SetTextMeasurer(nullptr);
}

TEST(AutoFit, ColumnsFromWidestText) {
  SetTextMeasurer(nullptr);
  Book b;
  b.At(u"A1")->SetValue(Variant(u"Hello"));
  b.At(u"A2")->SetValue(Variant(u"Hi"));
  b.At(u"B1")->SetValue(Variant(u"x"));
  b.At(u"B1")->SetFontBold(true);
  b.At(u"B1")->SetFontSize(20);
  b.At(u"C3")->SetValue(Variant(u"wide merged text"));
  b.At(u"C3", u"D3")->Merge();
  b.At(u"E1")->SetValue(Variant(1234.5));
  b.At(u"E1")->SetNumberFormat(u"#,##0.00");
  const double before = b.At(u"C1")->GetColumnWidth().NumberValue();
  b.sheet->GetUsedRange()->AutoFit(true);
  // "Hello": 35 pixels + 5 + round(7 / 3) = 42 pixels = 5.29 characters.
  EXPECT_DOUBLE_EQ(b.At(u"A1")->GetColumnWidth().NumberValue(), 5.29);
  // Bold 20 points: em 26, 15 pixels a character; 15 + 5 + 5 = 25 pixels = 2.86 characters.
  EXPECT_DOUBLE_EQ(b.At(u"B1")->GetColumnWidth().NumberValue(), 2.86);
  // A merged area two columns wide leaves its columns as they were.
  EXPECT_DOUBLE_EQ(b.At(u"C1")->GetColumnWidth().NumberValue(), before);
  EXPECT_DOUBLE_EQ(b.At(u"D1")->GetColumnWidth().NumberValue(), before);
  // The rendered text counts: "1,234.50" is 8 characters, 56 + 5 + 2 = 63 pixels.
  EXPECT_DOUBLE_EQ(b.At(u"E1")->GetColumnWidth().NumberValue(), 8.29);
}

TEST(AutoFit, RowsFromTextHeight) {
  SetTextMeasurer(nullptr);
  Book b;
  b.At(u"A1")->SetValue(Variant(u"one line"));
  b.At(u"A2")->SetValue(Variant(u"aaa bbb ccc ddd"));
  b.At(u"A2")->SetWrapText(Variant(true));
  b.At(u"A3")->SetValue(Variant(u"x"));
  b.At(u"B3")->SetValue(Variant(u"big"));
  b.At(u"B3")->SetFontSize(20);
  b.At(u"A4")->SetValue(Variant(u"a\nb\nc"));  // a line feed turns wrapping on
  b.sheet->GetUsedRange()->AutoFit(false);
  // One line: (16 + 3 - 3 + 1) = 17 pixels = 12.75 points.
  EXPECT_DOUBLE_EQ(b.At(u"A1")->GetRowHeight().NumberValue(), 12.75);
  // Wrapped in 64 pixels: two words a line, two lines of 17 pixels = 25.5 points.
  EXPECT_DOUBLE_EQ(b.At(u"A2")->GetRowHeight().NumberValue(), 25.5);
  // The tallest cell of the row: 20 points, em 26, line 32 + 7 - 6 + 1 = 34 pixels.
  EXPECT_DOUBLE_EQ(b.At(u"A3")->GetRowHeight().NumberValue(), 25.5);
  EXPECT_DOUBLE_EQ(b.At(u"A4")->GetRowHeight().NumberValue(), 38.25);
}

TEST(AutoFit, NarrowestWrapWidth) {
  SetTextMeasurer(nullptr);
  Book b;
  b.At(u"A1")->SetValue(Variant(u"aaaa bbbb cccc dddd"));
  b.At(u"A1")->SetWrapText(Variant(true));
  b.At(u"A1")->SetRowHeight(Variant(36.0));  // 48 pixels: three lines of 16
  IXLSRange a1 = b.At(u"A1");
  TXLSAutoFit fit(*a1.Object());
  const TXLSMeasureFont arial{u"Arial", 10, false};
  // 19 characters, 133 pixels on one line; the search settles where three lines fit.
  const std::int32_t w = fit.TextWidth(u"aaaa bbbb cccc dddd", arial, 0, 48, true);
  EXPECT_LT(w, 133);
  EXPECT_LE(GetTextMeasurer().WrappedHeight(u"aaaa bbbb cccc dddd", arial, w), 48);
  EXPECT_EQ(fit.TextWidth(u"", arial, 0, 48, false), -1);
  EXPECT_EQ(fit.TextWidth(u"abc", arial, 0, 48, false), 21);
  EXPECT_EQ(fit.TextHeight(u"Wg", 64, false, arial), 17);
}

}  // namespace
}  // namespace xls
