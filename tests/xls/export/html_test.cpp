// HTML pages: the table (merged areas, classes, alignment, sizes), the CSS rules of formats,
// escaping of every text, and the page set of a workbook with several sheets.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "export_test_util.h"
#include "xls/io/export/export_cells.h"
#include "xls/io/export/html_export.h"
#include "xls/model/xf_list.h"

namespace xls {
namespace {

using testing::Book;
using testing::Count;
using testing::Text;

std::string Page(const IXLSRange& range) {
  platform::MemoryStream m;
  EXPECT_EQ(range->SaveAsToStream(m, 3), 1);
  return Text(m);
}

TEST(HtmlExport, TableCellsClassesAndSizes) {
  Book b;
  b.At(u"A1")->SetValue(Variant(u"text"));
  b.At(u"B1")->SetValue(Variant(42.0));
  b.At(u"C1")->SetValue(Variant(u"same"));
  b.At(u"B2", u"D3")->Merge();
  b.At(u"B2")->SetValue(Variant(u"merged"));
  b.At(u"A4")->SetValue(Variant(u"<b>&\"x\"</b>\r\nnext"));
  b.At(u"A1")->SetColumnWidth(Variant(8.43));
  b.At(u"A2")->SetRowHeight(Variant(15.0));
  const std::string page = Page(b.sheet->GetUsedRange());

  // The merged area is one cell, the other five positions write nothing (Chromium reads the
  // spans and the alignment in export_interop_test.cpp); empty cells go right.
  EXPECT_EQ(Count(page, "<tr>"), 4u);
  EXPECT_EQ(Count(page, "<td "), 4u + 2u + 1u + 4u);
  EXPECT_NE(page.find("<td align=right  class=f15>&nbsp;</td>"), std::string::npos);
  // Cells of one format share one class whose rule is written once.
  EXPECT_EQ(Count(page, " td.f15 {"), 1u);
  // Values escaped, line breaks as <br>; no raw markup of the cell survives.
  EXPECT_NE(page.find("&lt;b&gt;&amp;&quot;x&quot;&lt;/b&gt;<br>next"), std::string::npos);
  // Widths: 8.43 characters -> 66 pixels, 49.5 points; the custom 15-point row.
  EXPECT_NE(page.find(" <col width=66 style='width:49.5pt' >\r\n"), std::string::npos) << page;
  EXPECT_NE(page.find("<td  height=20 style='height:15pt' align=right  class=f15>&nbsp;"), std::string::npos)
      << page;
  EXPECT_EQ(page.rfind("</table></body></html>"), page.size() - 22);
  EXPECT_EQ(page.find("<html><head>\r\n<meta http-equiv=Content-Type content=\"text/html; charset=utf-8\">"), 0u);
}

// Durations in an elapsed-time format are not dates: serials below 60 take no 1900 leap-day
// shift there (1.5 is 36 hours, not 60), in the page as in the range's value; dates still do.
TEST(HtmlExport, DurationsAreNotShiftedLikeDates) {
  Book b;
  b.At(u"A1")->SetValue(Variant(1.5));
  b.At(u"A2")->SetValue(Variant(1.0 / 24));
  b.At(u"A1", u"A2")->SetNumberFormat(u"[hh]:mm:ss");
  b.At(u"A3")->SetValue(Variant(1.0 / 24));
  b.At(u"A3")->SetNumberFormat(u"[Magenta][mm]:ss");
  b.At(u"A4")->SetValue(Variant(45.0));
  b.At(u"A4")->SetNumberFormat(u"dd/mm/yyyy");
  const std::string page = Page(b.sheet->GetUsedRange());
  for (const char* shown : {">36:00:00<", ">01:00:00<", ">60:00<", ">14/02/1900<"})
    EXPECT_NE(page.find(shown), std::string::npos) << shown << "\n" << page;
  EXPECT_EQ(b.At(u"A1")->GetValue().NumberValue(), 1.5);
  EXPECT_EQ(b.At(u"A4")->GetValue().NumberValue(), 46);
}

TEST(HtmlExport, CellStyleRules) {
  Book b;
  IXLSRange a1 = b.At(u"A1");
  a1->SetValue(Variant(u"x"));
  a1->GetFont()->SetBold(true);
  a1->GetFont()->SetColor(0x0000FF);
  a1->SetHorizontalAlignment(kHAlignRight);
  a1->SetVerticalAlignment(kVAlignTop);
  a1->GetInterior()->SetColor(0x00FFFF);
  a1->GetInterior()->SetPattern(kPatternSolid);
  a1->GetBorders()->GetItem(kBorderTop)->SetLineStyle(kLineContinuous);
  a1->GetBorders()->GetItem(kBorderTop)->SetWeight(kWeightThin);
  a1->GetBorders()->GetItem(kBorderTop)->SetColorIndex(1);
  a1->GetBorders()->GetItem(kBorderBottom)->SetWeight(kWeightMedium);
  a1->GetBorders()->GetItem(kBorderBottom)->SetLineStyle(kLineDouble);
  b.At(u"B1")->SetWrapText(Variant(true));
  TXLSCellReader cells(*b.sheet);
  const std::int32_t xf = a1->GetFirstCellXF();
  EXPECT_EQ(TXLSHTMLExport::GetCellStyle(cells, "7", xf, -1, -1),
            " td.f7 {font-family: Arial; font-size: 10pt; padding:1px; font-weight: bold; "
            "text-align: right; padding-left: 0;vertical-align: top; padding-bottom: 0;color: #FF0000; "
            "background-color: #FFFF00; white-space: nowrap; border-top: .5pt solid #000000; "
            "border-bottom: 3.5pt double #000000; }");
  const std::string wrapped = TXLSHTMLExport::GetCellStyle(cells, "8", b.At(u"B1")->GetFirstCellXF(), -1, -1);
  EXPECT_EQ(wrapped.find("nowrap"), std::string::npos);
  EXPECT_EQ(wrapped.find("background"), std::string::npos);
  EXPECT_EQ(TXLSHTMLExport::GetBorderWidth(kWeightHairline, kLineDot), ".1pt");
  EXPECT_EQ(TXLSHTMLExport::GetBorderStyleName(kLineDashDotDot), "dashed");
  EXPECT_EQ(TXLSHTMLExport::GetBorderStyleName(kXlNone), "");
  EXPECT_EQ(TXLSHTMLExport::GetAlignAttribute(Variant::Date(1.5)), "align=left ");
  EXPECT_EQ(TXLSHTMLExport::GetAlignAttribute(Variant(true)), "align=right ");

  // A font name that could end the style block is written as an escaped CSS string.
  b.At(u"C1")->SetFontName(u"</STYLE><script>");
  const std::string odd = TXLSHTMLExport::GetCellStyle(cells, "9", b.At(u"C1")->GetFirstCellXF(), -1, -1);
  EXPECT_NE(odd.find("font-family: \"\\3C /STYLE\\3E \\3C script\\3E \";"), std::string::npos) << odd;
}

// A stream that takes the first 100 bytes and then no more.
class ShortStream : public platform::ByteStream {
 public:
  std::size_t Read(void*, std::size_t) override { return 0; }
  std::size_t Write(const void*, std::size_t count) override {
    const std::size_t n = std::min<std::size_t>(count, 100 - std::min<std::size_t>(taken_, 100));
    taken_ += n;
    return n;
  }
  std::int64_t Seek(std::int64_t, platform::SeekOrigin) override { return 0; }

 private:
  std::size_t taken_ = 0;
};

TEST(HtmlExport, ShortWritesAreFailures) {
  Book b;
  b.At(u"A1")->SetValue(Variant(u"x"));
  ShortStream html, rtf, csv;
  EXPECT_EQ(b.sheet->GetUsedRange()->SaveAsToStream(html, 3), -1);
  EXPECT_EQ(b.book->SaveToStreamFormat(rtf, 4), -1);
  b.At(u"A1")->SetValue(Variant(std::u16string(200, u'y')));
  EXPECT_EQ(b.sheet->SaveToStream(csv, 5), -1);
}

TEST(HtmlExport, WorkbookPages) {
  const auto dir = std::filesystem::temp_directory_path() / ("kv_html_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  Book one;
  one.At(u"A1")->SetValue(Variant(1.0));
  EXPECT_EQ(one.book->SaveAsFormat(Utf8ToWide((dir / "one.htm").string()), 3), 1);
  EXPECT_TRUE(std::filesystem::exists(dir / "one.htm"));
  EXPECT_FALSE(std::filesystem::exists(dir / "one.files"));

  Book three(u"S<1>&");
  three.book->GetWorksheets().Add()->SetName(u"\u00dcbersicht");
  IXLSWorksheet* third = three.book->GetWorksheets().Add();
  third->GetRange(u"A1")->SetValue(Variant(u"third"));
  third->Activate();
  EXPECT_EQ(three.book->SaveAsHTML(Utf8ToWide((dir / "three book.htm").string())), 1);
  // The pages are in the subfolder of "three book.files" that this save made (a "v", eight
  // letters or digits, "-" and the page's mark of six), which the frameset page names.
  const std::string frames = testing::ReadFile((dir / "three book.htm").string());
  const std::string prefix = "<frame src=\"three%20book.files/";
  const std::size_t at = frames.find(prefix);
  ASSERT_NE(at, std::string::npos) << frames;
  const std::string version = frames.substr(at + prefix.size(), 16);
  EXPECT_TRUE(version[0] == 'v' && version[9] == '-') << version;
  EXPECT_NE(frames.find(prefix + version + "/Sheet003.htm\" name=\"frSheet\">\r\n"), std::string::npos) << frames;
  const auto folder = dir / "three book.files" / version;
  for (const char* page : {"tabstrip.htm", "Sheet001.htm", "Sheet002.htm", "Sheet003.htm"}) {
    EXPECT_TRUE(std::filesystem::exists(folder / page)) << page;
  }
  const std::string tabs = testing::ReadFile((folder / "tabstrip.htm").string());
  EXPECT_NE(tabs.find(">S&lt;1&gt;&amp;</font>"), std::string::npos) << tabs;
  EXPECT_NE(tabs.find(">\xc3\x9c" "bersicht</font>"), std::string::npos);
  EXPECT_EQ(tabs.find("S<1>"), std::string::npos);
  EXPECT_NE(testing::ReadFile((folder / "Sheet003.htm").string()).find(">third</td>"), std::string::npos);

  // A folder that cannot be made fails the save.
  EXPECT_EQ(three.book->SaveAsHTML(Utf8ToWide((dir / "one.htm" / "x.htm").string())), -1);
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace xls
