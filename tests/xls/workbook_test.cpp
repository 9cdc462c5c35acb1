// The workbook, its sheet collection and the calls that the export command makes, in memory.
#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <vector>

#include "xls/model/format_objects.h"
#include "xls/model/string_table.h"
#include "xls/model/workbook.h"
#include "xls/model/worksheet.h"
#include "xls/model/worksheets.h"
#include "xls/model/xf_list.h"

namespace xls {
namespace {

TEST(WorkbookTest, ExportRoadInMemory) {
  IXLSWorkbook book = TXLSWorkbook::Create();
  EXPECT_EQ(book->GetWorksheets().GetCount(), 0);
  EXPECT_EQ(book->GetCodePage(), 1252);
  EXPECT_EQ(book->GetDefaultSaveFormat(), 2);
  IXLSWorksheet* sheet = book->GetWorksheets().Add();
  ASSERT_NE(sheet, nullptr);
  EXPECT_EQ(sheet->GetName(), u"Sheet1");
  EXPECT_EQ(book->GetActiveSheet(), sheet);
  EXPECT_TRUE(sheet->SetName(u"Parameters"));
  EXPECT_EQ(sheet->GetName(), u"Parameters");

  IXLSRange area = sheet->GetRange(u"A1", u"B3");
  area->SetHorizontalAlignment(kHAlignCenter);

  IXLSRange cells = sheet->GetCells();
  EXPECT_EQ(cells->GetItem(1, 1)->SetValue(Variant(u"Code")), 1);
  EXPECT_EQ(cells->GetItem(1, 2)->SetValue(Variant(u"Value")), 1);
  EXPECT_EQ(cells->GetItem(2, 1)->SetValue(Variant(u"P0.01")), 1);
  EXPECT_EQ(cells->GetItem(2, 2)->SetValue(Variant(u"50.00")), 1);
  EXPECT_EQ(cells->GetItem(3, 2)->SetValue(Variant(12.5)), 1);
  for (int c = 1; c <= 2; ++c) cells->GetItem(1, c)->GetFont()->SetBold(true);

  EXPECT_EQ(cells->GetItem(1, 1)->GetValue(), Variant(u"Code"));
  EXPECT_EQ(cells->GetItem(3, 2)->GetValue(), Variant(12.5));
  EXPECT_TRUE(cells->GetItem(1, 2)->GetFont()->GetBold());
  EXPECT_FALSE(cells->GetItem(2, 2)->GetFont()->GetBold());
  EXPECT_EQ(cells->GetItem(1, 1)->GetHorizontalAlignment(), kHAlignCenter);
  EXPECT_EQ(cells->GetItem(3, 1)->GetHorizontalAlignment(), kHAlignCenter);
  EXPECT_EQ(cells->GetItem(4, 1)->GetHorizontalAlignment(), 1);  // outside the centred range
  TXLSXFList& xfs = book->XFList();
  EXPECT_EQ(xfs.GetHorizontalAlignment(sheet->GetCellXF(0, 0)), 2);
  EXPECT_TRUE(xfs.GetFontBold(sheet->GetCellXF(0, 1)));
  EXPECT_EQ(book->Close(), 1);
  EXPECT_EQ(sheet->GetName(), u"Parameters");  // closing changes nothing
}

TEST(WorkbookTest, DefaultNamesIdsAndPositions) {
  IXLSWorkbook book = TXLSWorkbook::Create();
  IXLSWorkSheets& sheets = book->GetWorksheets();
  IXLSWorksheet* s1 = sheets.Add();
  IXLSWorksheet* s2 = sheets.Add();
  IXLSWorksheet* s3 = sheets.Add();
  EXPECT_EQ(s2->GetName(), u"Sheet2");
  EXPECT_EQ(s3->GetName(), u"Sheet3");
  EXPECT_EQ(sheets.GetActive(), s1);
  EXPECT_TRUE(s1->GetSelected());
  EXPECT_FALSE(s2->GetSelected());
  EXPECT_EQ(s1->GetSheetId(), 1);
  EXPECT_EQ(s3->GetSheetId(), 3);
  IXLSWorksheet* first = sheets.Insert(1);
  EXPECT_EQ(first->GetSheetId(), 4);
  EXPECT_EQ(first->GetName(), u"Sheet4");
  EXPECT_EQ(first->GetIndex(), 1);
  EXPECT_EQ(s1->GetIndex(), 2);
  EXPECT_EQ(sheets.GetItem(2), s1);
  EXPECT_EQ(sheets.GetItem(0), nullptr);
  EXPECT_EQ(sheets.GetItem(5), nullptr);
  EXPECT_EQ(sheets.Insert(0), nullptr);
  EXPECT_EQ(sheets.Insert(7), nullptr);
  EXPECT_EQ(sheets.IndexOfId(3), 4);
  EXPECT_EQ(sheets.IndexOfId(99), -1);
  EXPECT_EQ(sheets.IdOfName(u"sheet2"), 2);
  std::int32_t id = 0, index = 0;
  EXPECT_EQ(book->GetSheetIdByName(u"Sheet3", id), 1);
  EXPECT_EQ(id, 3);
  EXPECT_EQ(book->GetSheetIndexById(4, index), 1);
  EXPECT_EQ(index, 1);
  EXPECT_EQ(book->GetNextSheetIndex(), 5);
}

TEST(WorkbookTest, DefaultNameSkipsNamesInUse) {
  IXLSWorkbook book = TXLSWorkbook::Create();
  IXLSWorksheet* only = book->GetWorksheets().Add();
  ASSERT_TRUE(only->SetName(u"Sheet2"));
  EXPECT_EQ(book->GetWorksheets().Add()->GetName(), u"Sheet3");
}

TEST(WorkbookTest, SheetNameRules) {
  IXLSWorkbook book = TXLSWorkbook::Create();
  IXLSWorkSheets& sheets = book->GetWorksheets();
  IXLSWorksheet* a = sheets.Add();
  IXLSWorksheet* b = sheets.Add();
  EXPECT_TRUE(sheets.IsValidName(0, std::u16string(31, u'x')));
  EXPECT_FALSE(sheets.IsValidName(0, std::u16string(32, u'x')));
  for (const char16_t* bad : {u"a:b", u"a[b", u"a]b", u"a*b", u"a?b", u"a/b", u"a\\b"}) {
    EXPECT_FALSE(sheets.IsValidName(0, bad)) << static_cast<int>(bad[1]);
  }
  EXPECT_FALSE(sheets.IsValidName(2, u"Sheet1"));
  EXPECT_TRUE(sheets.IsValidName(1, u"Sheet1"));
  // Mended: the empty name is refused, and names differing only in case are the same name.
  EXPECT_FALSE(sheets.IsValidName(0, u""));
  EXPECT_FALSE(b->SetName(u""));
  EXPECT_FALSE(b->SetName(u"SHEET1"));
  EXPECT_FALSE(b->SetName(u"sheet1"));
  EXPECT_TRUE(a->SetName(u"Daten\u00E4"));
  EXPECT_FALSE(b->SetName(u"DATEN\u00C4"));
  EXPECT_EQ(b->GetName(), u"Sheet2");
  EXPECT_TRUE(a->SetName(u"SHEET1"));  // its own name in another case
  EXPECT_FALSE(b->SetName(u"bad/name"));
}

TEST(WorkbookTest, PaletteAndNearestColour) {
  IXLSWorkbook book = TXLSWorkbook::Create();
  EXPECT_EQ(book->GetColor(0), 0u);
  EXPECT_EQ(book->GetColor(1), 0x000000u);
  EXPECT_EQ(book->GetColor(3), 0x0000FFu);   // red
  EXPECT_EQ(book->GetColor(56), 0x333333u);  // dark grey
  EXPECT_EQ(book->GetColor(57), 0u);
  EXPECT_EQ(book->GetColor(80), 0xE1FFFFu);
  book->SetPaletteColor(0, 0x123456);
  book->SetPaletteColor(57, 0x123456);
  book->SetPaletteColor(100, 0x123456);
  EXPECT_EQ(book->GetColor(57), 0u);
  book->SetPaletteColor(1, 0xFF123456);
  EXPECT_EQ(book->GetColor(1), 0x123456u);
  EXPECT_EQ(book->NearestColorIndex(0x123456), 1);
  EXPECT_EQ(book->ResetPalette(), 1);
  EXPECT_EQ(book->NearestColorIndex(0x000000), 1);
  EXPECT_EQ(book->NearestColorIndex(0x0000FF), 3);
  EXPECT_EQ(book->NearestColorIndex(0x0000FE), 3);
  // Exactly between black (1) and the 0x000080 of index 9: the lower index wins.
  EXPECT_EQ(book->NearestColorIndex(0x000040), 1);
}

TEST(WorkbookTest, ProtectionAndFlags) {
  IXLSWorkbook book = TXLSWorkbook::Create();
  EXPECT_FALSE(book->GetProtected());
  EXPECT_TRUE(book->ProtectWithPassword("secret"));
  EXPECT_TRUE(book->GetProtected());
  EXPECT_FALSE(book->UnprotectWithPassword("wrong"));
  EXPECT_TRUE(book->GetProtected());
  EXPECT_TRUE(book->UnprotectWithPassword2("secret"));
  EXPECT_FALSE(book->GetProtected());
  book->SetRefModeA1(5);
  EXPECT_EQ(book->GetRefModeA1(), 1);
  book->SetRefModeA1(0);
  EXPECT_EQ(book->GetRefModeA1(), 0);
  EXPECT_EQ(book->SetCodePage(850), 1);
  EXPECT_EQ(book->GetCodePage(), 850);
}

TEST(WorkbookTest, RecalcStampNeverBecomesZero) {
  IXLSWorkbook book = TXLSWorkbook::Create();
  EXPECT_EQ(book->GetRecalcStamp(), 1u);
  IXLSWorksheet* sheet = book->GetWorksheets().Add();  // a new sheet moves what positions hold
  EXPECT_EQ(book->GetRecalcStamp(), 2u);
  sheet->GetRange(u"A1")->SetValue(Variant(1.0));
  EXPECT_EQ(book->GetRecalcStamp(), 3u);
  book->SetRecalcStamp(0xFFFFFFFFu);
  book->BumpRecalcStamp();
  EXPECT_EQ(book->GetRecalcStamp(), 1u);
}

TEST(WorkbookTest, CellValueSourceForFormulas) {
  IXLSWorkbook book = TXLSWorkbook::Create();
  IXLSWorksheet* sheet = book->GetWorksheets().Add();
  sheet->GetRange(u"B2")->SetValue(Variant(u"x"));
  bool outside = false;
  Variant v;
  EXPECT_EQ(book->GetCellValue(1, 1, 1, outside, v), 1);
  EXPECT_EQ(v, Variant(u"x"));
  EXPECT_FALSE(outside);
  EXPECT_EQ(book->GetCellValue(1, 5, 0, outside, v), 1);
  EXPECT_TRUE(outside);
  EXPECT_TRUE(v.IsEmpty());
  EXPECT_EQ(book->GetCellValue(2, 0, 0, outside, v), -1);
  EXPECT_EQ(book->GetCellValue(1, 65536, 0, outside, v), -1);
  EXPECT_EQ(book->GetCellValue(1, 0, 256, outside, v), -1);
}

TEST(WorkbookTest, ClearEmptiesTheWorkbookForAFileToBeRead) {
  IXLSWorkbook book = TXLSWorkbook::Create();
  IXLSWorksheet* sheet = book->GetWorksheets().Add();
  sheet->GetRange(u"A1")->SetValue(Variant(u"gone"));
  book->Protect();
  book->SetRefModeA1(0);
  book->Clear();
  EXPECT_EQ(book->GetWorksheets().GetCount(), 0);
  EXPECT_EQ(book->GetActiveSheet(), nullptr);
  EXPECT_EQ(book->StringTable().TotalUses(), 0);
  EXPECT_FALSE(book->GetProtected());
  EXPECT_EQ(book->GetRefModeA1(), 1);
  EXPECT_EQ(book->XFList().Count(), 0);
  // Sheet ids start again with the new collection.
  EXPECT_EQ(book->GetWorksheets().Add()->GetSheetId(), 1);
}

TEST(WorkbookTest, FreeingTheWorkbookReleasesEveryUse) {
  // Sheets in a collection of their own on a live workbook: freeing them must give back every
  // use they count in the string table and the XF list, which outlive them.
  IXLSWorkbook book = TXLSWorkbook::Create();
  auto xfUses = [&] {
    std::vector<std::int32_t> uses;
    for (std::int32_t i = 0; i < book->XFList().Count(); ++i) uses.push_back(book->XFList().GetUseCount(i));
    return uses;
  };
  const auto before = xfUses();
  auto sheets = std::make_unique<IXLSWorkSheets>(book.get());
  for (int n = 0; n < 2; ++n) {
    IXLSWorksheet* sheet = sheets->Add();
    IXLSRange r = sheet->GetRange(u"A1", u"C3");
    r->SetValue(Variant(u"text"));
    r->GetFont()->SetItalic(true);
    sheet->GetRange(u"E1", u"E65536")->GetFont()->SetBold(true);  // a column style
    sheet->GetRange(u"A7", u"IV7")->GetFont()->SetBold(true);      // a row style
    sheet->GetRange(u"B9", u"B9")->SetValue(Variant(u"other"));
  }
  EXPECT_EQ(book->StringTable().TotalUses(), 20);
  EXPECT_NE(xfUses(), before);
  sheets.reset();
  EXPECT_EQ(book->StringTable().TotalUses(), 0);
  EXPECT_EQ(book->StringTable().DistinctStrings(), 0);
  auto after = xfUses();
  after.resize(before.size());  // entries made for the sheets stay, without uses
  EXPECT_EQ(after, before);
  for (std::int32_t i = static_cast<std::int32_t>(before.size()); i < book->XFList().Count(); ++i)
    EXPECT_EQ(book->XFList().GetUseCount(i), 0) << i;

  // The workbook's own sheets go before its lists (the sanitizer build sees any late release).
  IXLSWorksheet* own = book->GetWorksheets().Add();
  own->GetRange(u"A1", u"C3")->SetValue(Variant(u"text"));
  own->GetRange(u"E1", u"E65536")->GetFont()->SetBold(true);
  book.reset();
}

}  // namespace
}  // namespace xls
