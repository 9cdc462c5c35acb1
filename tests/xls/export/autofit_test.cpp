// Autofit with the library's own measurer: Arial 10 at 96 dpi has an em of 13 pixels, a "0" of
// 7 pixels (the width unit), 16-pixel lines with a descent and internal leading of 3. The
// widths worked out below take the fonts' advance widths in units of 1/2048 em (those of Arial,
// Times New Roman and Courier New, which the Liberation fonts share), each rounded to pixels.
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
  SetTextMeasurer(std::make_shared<TXLSBuiltInTextMeasurer>(120));
  EXPECT_EQ(TXLSAutoFit::ScreenDpi(), 120);
  EXPECT_EQ(TXLSAutoFit::WidthUnit(), 9);  // em 17: 1139 x 17 / 2048 = 9.45
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
  // "Hello": H 1479, e 1139, l 455, o 1139 give 9 + 7 + 3 + 3 + 7 = 29 pixels; 29 + 5 +
  // round(7 / 3) = 36 pixels = 4.43 characters.
  EXPECT_DOUBLE_EQ(b.At(u"A1")->GetColumnWidth().NumberValue(), 4.43);
  // Bold 20 points: em 27, "x" and "0" 1139 = 15 pixels; 15 + 5 + 5 = 25 pixels = 2.86 characters.
  EXPECT_DOUBLE_EQ(b.At(u"B1")->GetColumnWidth().NumberValue(), 2.86);
  // A merged area two columns wide leaves its columns as they were.
  EXPECT_DOUBLE_EQ(b.At(u"C1")->GetColumnWidth().NumberValue(), before);
  EXPECT_DOUBLE_EQ(b.At(u"D1")->GetColumnWidth().NumberValue(), before);
  // The rendered text counts: "1,234.50" is six digits of 7 pixels and two marks of 569 = 4
  // pixels, 50 + 5 + 2 = 57 pixels.
  EXPECT_DOUBLE_EQ(b.At(u"E1")->GetColumnWidth().NumberValue(), 7.43);
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
  // Wrapped in 64 pixels: two words a line (21 + 4 + 21 pixels), two lines of 17 pixels = 25.5
  // points.
  EXPECT_DOUBLE_EQ(b.At(u"A2")->GetRowHeight().NumberValue(), 25.5);
  // The tallest cell of the row: 20 points, em 27, line 33 + 7 - 6 + 1 = 35 pixels.
  EXPECT_DOUBLE_EQ(b.At(u"A3")->GetRowHeight().NumberValue(), 26.25);
  EXPECT_DOUBLE_EQ(b.At(u"A4")->GetRowHeight().NumberValue(), 38.25);
}

TEST(AutoFit, NarrowestWrapWidth) {
  SetTextMeasurer(nullptr);
  Book b;
  b.At(u"A1")->SetValue(Variant(u"aaa bbb ccc ddd eee"));
  b.At(u"A1")->SetWrapText(Variant(true));
  b.At(u"A1")->SetRowHeight(Variant(36.0));  // 48 pixels: three lines of 16
  IXLSRange a1 = b.At(u"A1");
  TXLSAutoFit fit(*a1.Object());
  const TXLSMeasureFont arial{u"Arial", 10, false};
  // Five words of 21 pixels and four spaces of 4, 121 pixels on one line; three lines need 46.
  // The search probes 60, 0, 30, 45 and 52 and settles at 49 + 3, where three lines fit.
  const std::int32_t w = fit.TextWidth(u"aaa bbb ccc ddd eee", arial, 0, 48, true);
  EXPECT_EQ(w, 52);
  EXPECT_EQ(GetTextMeasurer().WrappedHeight(u"aaa bbb ccc ddd eee", arial, w), 48);
  EXPECT_EQ(GetTextMeasurer().WrappedHeight(u"aaa bbb ccc ddd eee", arial, 45), 80);
  EXPECT_EQ(fit.TextWidth(u"", arial, 0, 48, false), -1);
  EXPECT_EQ(fit.TextWidth(u"abc", arial, 0, 48, false), 21);
  EXPECT_EQ(fit.TextHeight(u"Wg", 64, false, arial), 17);
}

// Each letter its own width, in the face the font name stands for: autofit outside the program
// fits texts within 10 % of their width in the real font at 96 dpi (units x size x 96 / 72 /
// 2048 pixels, unrounded).
TEST(AutoFit, LettersMeasuredInTheirFace) {
  SetTextMeasurer(nullptr);
  TXLSTextMeasurer& m = GetTextMeasurer();
  auto width = [&](const std::u16string& text, const char16_t* face, bool bold = false) {
    std::int32_t w = 0, h = 0;
    m.LineExtent(text, TXLSMeasureFont{face, 10, bold}, w, h);
    return w;
  };
  EXPECT_EQ(width(u"WWWWWWWWWW", u"Arial"), 120);  // 1933: 12.27 pixels
  EXPECT_EQ(width(u"iiiiiiiiii", u"Arial"), 30);   // 455: 2.89
  EXPECT_EQ(width(u"Hello", u"Arial", true), 32);  // bold: H 1479, e 1139, l 569, o 1251
  EXPECT_EQ(width(u"Hello", u"Times New Roman"), 30);  // H 1479, e 909, l 569, o 1024
  EXPECT_EQ(width(u"Hello", u"Liberation Serif"), 30);
  EXPECT_EQ(width(u"Hello", u"Courier New"), 40);  // 1229 each: 7.8
  EXPECT_EQ(width(u"Hello", u"Microsoft Sans Serif"), 29);  // a sans-serif face
  EXPECT_EQ(width(u"\u0429", u"Arial"), 12);        // Cyrillic Shcha 1920
  EXPECT_EQ(width(u"\u4E2D\u6587", u"Arial"), 26);  // East Asian: an em each

  Book b;
  b.At(u"A1")->SetValue(Variant(u"WWWWWWWWWW"));
  b.At(u"B1")->SetValue(Variant(u"iiiiiiiiii"));
  b.sheet->GetUsedRange()->AutoFit(true);
  // 120 + 5 + 2 = 127 pixels = 17.43 characters; 30 + 7 = 37 pixels = 4.57 characters.
  EXPECT_DOUBLE_EQ(b.At(u"A1")->GetColumnWidth().NumberValue(), 17.43);
  EXPECT_DOUBLE_EQ(b.At(u"B1")->GetColumnWidth().NumberValue(), 4.57);
  const double realW = 1933 * 10 * 10 * 96 / 72.0 / 2048, realI = 455 * 10 * 10 * 96 / 72.0 / 2048;
  EXPECT_NEAR(TXLSAutoFit::CharsToPixels(17.43) - 7, realW, realW / 10);
  EXPECT_NEAR(TXLSAutoFit::CharsToPixels(4.57) - 7, realI, realI / 10);

  // The range's width: the columns' pixels, and those in points (72 / 96 of them).
  EXPECT_EQ(b.At(u"A1", u"B1")->GetWidthPixels(), 127 + 37);
  EXPECT_DOUBLE_EQ(b.At(u"A1", u"B1")->GetWidth(), 123.0);
  EXPECT_EQ(b.At(u"C1", u"D9")->GetWidthPixels(), 128);  // two columns of 8.43 characters
  EXPECT_DOUBLE_EQ(b.At(u"A1")->GetWidth(), 95.25);
  SetTextMeasurer(std::make_shared<TXLSBuiltInTextMeasurer>(120));
  EXPECT_EQ(b.At(u"C1")->GetWidthPixels(), 81);  // round(9 x 8.43) + 5
  EXPECT_DOUBLE_EQ(b.At(u"C1")->GetWidth(), 48.6);
  SetTextMeasurer(nullptr);
}

}  // namespace
}  // namespace xls
