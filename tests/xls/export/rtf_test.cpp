// RTF documents: head tables and page layout, the table words of rows and cells, merged
// areas, escaping of texts, the fit-to-width scale and pictures.
#include <gtest/gtest.h>

#include <algorithm>

#include "export_test_util.h"
#include "xls/io/export/rtf_export.h"
#include "xls/io/export/rtf_styles.h"
#include "xls/model/page_setup.h"

namespace xls {
namespace {

using testing::Book;
using testing::Count;
using testing::Text;

std::string Document(IXLSWorksheet& sheet) {
  platform::MemoryStream m;
  EXPECT_EQ(sheet.SaveToStream(m, 4), 1);
  return Text(m);
}

TEST(RtfExport, HeadStylesAndTableWords) {
  Book b;
  IXLSRange a1 = b.At(u"A1");
  a1->SetValue(Variant(u"bold"));
  a1->GetFont()->SetBold(true);
  a1->GetFont()->SetColor(0x0000FF);
  b.At(u"B1")->SetValue(Variant(12.5));
  b.At(u"B1")->SetFontName(u"arial");
  b.At(u"B2")->GetBorders()->GetItem(kBorderTop)->SetLineStyle(kLineContinuous);
  b.At(u"B2")->GetBorders()->GetItem(kBorderTop)->SetColorIndex(1);
  b.At(u"A2")->SetValue(Variant(u"a\\b{c}\r\nd\te \u00e9\u0416\U0001F600"));
  b.At(u"A2")->SetRowHeight(Variant(15.0));
  b.At(u"A1")->SetColumnWidth(Variant(8.43));
  b.sheet->GetPageSetup()->SetPaperSize(9);
  b.sheet->GetPageSetup()->SetOrientation(2);
  const std::string doc = Document(*b.sheet);

  EXPECT_EQ(doc.find("{\\rtf1\\ansi\\ansicpg1252\n\r{\\fonttbl {\\f1 \\fnil Arial;}\r\n}\r\n"), 0u) << doc;
  EXPECT_NE(doc.find("{\\colortbl ;\\red255\\green0\\blue0;\\red0\\green0\\blue0;}\r\n"), std::string::npos) << doc;
  EXPECT_NE(doc.find("\\paperw16840\\paperh11908\\margl1080\\margr1080\\margt1440\\margb1440\\landscape\r\n"),
            std::string::npos);
  // Rows: exact heights (12.75 points -> 249 twips, 15 -> 292), cells ending at 36 + 960.
  EXPECT_NE(doc.find("\\trowd\\trql\\trleft36\\trrh-249\r\n\\clvertalb\\cellx996\r\n"), std::string::npos) << doc;
  EXPECT_NE(doc.find("\\trowd\\trql\\trleft36\\trrh-292\r\n"), std::string::npos);
  // Fonts met as "Arial" and "arial" share entry 1; the red font is colour 1, the black
  // border colour of the second row 2.
  EXPECT_NE(doc.find("\\pard\\intbl\\plain\r\n\\f1\\fs20\\b\\cf1\\li30 bold\\cell\r\n"), std::string::npos);
  EXPECT_NE(doc.find("\\clvertalb\\clbrdrt \\brdrs\\brdrw20\\brdrcf2 \\cellx"), std::string::npos);
  EXPECT_NE(doc.find("\\f1\\fs20\\qr\\ri30 12.5\\cell"), std::string::npos);
  EXPECT_NE(doc.find("\\li30 a\\\\b\\{c\\}\\line d\\tab e \\'e9\\u1046?\\u-10179?\\u-8704?\\cell"), std::string::npos)
      << doc;
  EXPECT_EQ(Count(doc, "\\row\r\n"), 2u);
  EXPECT_EQ(Count(doc, "\\page"), 0u);
  EXPECT_EQ(doc.back(), '}');
}

TEST(RtfExport, MergedAreasSheetsAndScale) {
  Book b;
  b.At(u"A1")->SetValue(Variant(u"top"));
  b.At(u"B1", u"C2")->Merge();
  b.At(u"B1")->SetValue(Variant(u"area"));
  b.At(u"D2")->SetValue(Variant(1.0));
  b.book->GetWorksheets().Add()->GetRange(u"A1")->SetValue(Variant(u"second"));
  platform::MemoryStream m;
  EXPECT_EQ(b.book->SaveToStreamFormat(m, 4), 1);
  const std::string doc = Text(m);
  // Each row defines A, the B:C area (one \cellx at C's right edge) and D.
  EXPECT_NE(doc.find("\\clvertalb\\cellx996\r\n\\clvmgf\\clvertalb\\cellx2916\r\n\\clvertalb\\cellx3876\r\n"),
            std::string::npos) << doc;
  EXPECT_NE(doc.find("\\clvmrg\\clvertalb\\cellx2916\r\n"), std::string::npos);
  EXPECT_EQ(Count(doc, "area"), 1u);
  EXPECT_EQ(Count(doc, "\\pard \\page \\par\r\n"), 1u);
  EXPECT_NE(doc.find("second"), std::string::npos);

  // Fit to one page wide: a table wider than the page shrinks fonts and widths.
  Book wide;
  wide.At(u"A1")->SetValue(Variant(u"x"));
  wide.At(u"A1", u"J1")->SetColumnWidth(Variant(20.0));
  wide.At(u"J1")->SetValue(Variant(u"y"));
  IXLSPageSetup setup = wide.sheet->GetPageSetup();
  setup->SetPaperSize(9);
  setup->SetFitToPagesWide(Variant(1));
  const std::string scaled = Document(*wide.sheet);
  // Page 11908 - 2 x 1080 = 9748 twips; table 10 x 20 characters = 205 pixels... = 3075 twips
  // each as one sum of 200 characters = 1405 pixels = 21075 twips: scale 0.4625.
  EXPECT_NE(scaled.find("\\fs9\\li14 x\\cell"), std::string::npos) << scaled;
  TXLSRTFStyles styles;
  EXPECT_EQ(TXLSRTFStyles::ColumnWidthTwips(8.43), 960);
  EXPECT_EQ(TXLSRTFStyles::ColumnWidthPixels(0.5), 6);
  styles.SetScale(1.0);
  EXPECT_EQ(styles.RowHeightTwips(15), 292);
  EXPECT_EQ(styles.BorderWords(kLineDouble, kWeightThin, 0), "\\brdrcf1");
  EXPECT_EQ(styles.BorderWords(kLineDouble, kWeightThick, 0), "\\brdrdb\\brdrw20\\brdrcf1");
  EXPECT_EQ(styles.BorderWords(kLineContinuous, kWeightHairline, 0xFF), "\\brdrhair\\brdrcf2");
}

TEST(RtfExport, Pictures) {
  TXLSRTFPicture png{1, 1, 6, testing::kBluePng};
  EXPECT_EQ(RtfPicture(png).substr(0, 77),
            "{\\pict\\pngblip\\picw12\\pich8\\picwgoal180\\pichgoal120\r\n89504E470D0A1A0A0000000D");
  EXPECT_EQ(RtfPicture(png).substr(RtfPicture(png).size() - 7), "6082}\r\n");
  // A bitmap of 254 bytes: line breaks before bytes 0 and 127 only; a top-down height counts
  // as its size; the shown size in points wins over the pixels.
  TXLSRTFPicture dib{0, 0, 7, std::vector<std::uint8_t>(254, 0xAB), 30, 15};
  dib.bytes[0] = 40;
  dib.bytes[1] = dib.bytes[2] = dib.bytes[3] = 0;
  const std::uint8_t size[8] = {3, 0, 0, 0, 0xFE, 0xFF, 0xFF, 0xFF};  // 3 x -2
  std::copy(size, size + 8, dib.bytes.begin() + 4);
  const std::string words = RtfPicture(dib);
  EXPECT_EQ(words.find("{\\pict\\dibitmap0\\picw3\\pich2\\picwgoal600\\pichgoal300\r\n28000000"), 0u);
  EXPECT_EQ(Count(words, "\r\n"), 3u);
  EXPECT_EQ(words.find("\r\n", words.find("\r\n") + 2), words.find("\r\n") + 2 + 254);
  // Bytes that tell no size: no size words; an unknown blip type: nothing.
  EXPECT_EQ(RtfPicture({0, 0, 5, {1, 2, 3}}), "{\\pict\\jpegblip\r\n010203}\r\n");
  EXPECT_EQ(RtfPicture({0, 0, 4, {1, 2, 3}}), "");

  Book b;
  b.At(u"A1")->SetValue(Variant(u"left"));
  b.At(u"B2")->SetValue(Variant(u"pictured"));
  TXLSRTFExport rtf;
  rtf.SetPictureSource([](IXLSWorksheet&) {
    return std::vector<TXLSRTFPicture>{{1, 1, 6, testing::kBluePng}, {1, 1, 7, {1}}, {9, 9, 6, testing::kBluePng}};
  });
  platform::MemoryStream m;
  ASSERT_EQ(rtf.SaveSheetToStream(*b.sheet, m), 1);
  const std::string doc = Text(m);
  EXPECT_NE(doc.find("\\li30 {\\pict\\pngblip"), std::string::npos);
  EXPECT_NE(doc.find("6082}\r\npictured\\cell"), std::string::npos);
  EXPECT_EQ(Count(doc, "\\pict"), 1u);  // one picture a cell; none outside the used range
}

}  // namespace
}  // namespace xls
