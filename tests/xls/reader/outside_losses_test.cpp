// Workbooks of gnumeric, LibreOffice and xlwt (tests/data/xls, gen_outside_losses.py) whose names
// without a formula, empty text results, outline flags and built-in names behind a macro sheet
// are kept through our saves, and whose tab colours and refused sheet names are listed.
#include <gtest/gtest.h>

#include "platform/byte_stream.h"
#include "xls/formula/names.h"
#include "xls/formula/rules/sheet_rules.h"
#include "xls/formula/workbook_formulas.h"
#include "xls/model/cell_store.h"
#include "xls/model/page_setup.h"
#include "xls/model/range.h"
#include "xls/model/row_col_info.h"
#include "xls/model/string_table.h"
#include "xls/model/workbook.h"
#include "xls/model/worksheet.h"
#include "xls/model/worksheets.h"

namespace xls::test {
namespace {

using Lines = std::vector<std::u16string>;

IXLSWorkbook Opened(const std::string& name) {
  const std::string path = std::string(KV_TEST_DATA) + "/xls/" + name;
  IXLSWorkbook book = TXLSWorkbook::Create();
  EXPECT_EQ(book->Open(std::u16string(path.begin(), path.end())), 1) << name;
  return book;
}

IXLSWorkbook SavedAndOpened(TXLSWorkbook& book, int format) {
  platform::MemoryStream saved;
  EXPECT_EQ(book.SaveToStreamFormat(saved, format), 1);
  platform::MemoryStream stream(saved.Bytes());
  IXLSWorkbook again = TXLSWorkbook::Create();
  EXPECT_EQ(again->OpenStream(stream), 1);
  return again;
}

IXLSWorksheet& SheetAt(TXLSWorkbook& book, int i) { return *book.GetWorksheets().GetItem(i); }

// gnumeric's =NOSUCHNAME keeps its name (a NAME record without a formula) and the cell its
// formula; the cell whose MIDB cannot be read keeps its empty text; "[Br]" and BIFF5's "????"
// become sheet names of ours, and the list says so. LibreOffice's two coloured tabs are listed.
TEST(OutsideLosses, NamesWithoutFormulaEmptyTextsRenamedSheetsAndTabColours) {
  const std::u16string unreadable =
      u"Sheet \"Names\": a formula that could not be read (its cell keeps the last result) was left out";
  const std::u16string br = u"Sheet \"Sheet2\": the name \"[Br]\", which the file format does not allow, was changed to \"Sheet2\"";
  IXLSWorkbook biff8 = Opened("gnumeric_names.xls");
  IXLSWorkbook biff5 = Opened("gnumeric_names_biff5.xls");
  EXPECT_EQ(biff8->GetReadLosses(), (Lines{br, unreadable}));
  EXPECT_EQ(biff5->GetReadLosses(),
            (Lines{br, u"Sheet \"Sheet3\": the name \"????\", which the file format does not allow, was changed to \"Sheet3\"",
                   unreadable}));
  EXPECT_EQ(Opened("lo_tab_colours.xls")->GetReadLosses(),
            (Lines{u"Sheet \"Red\": the tab colour was left out", u"Sheet \"Blue\": the tab colour was left out"}));
  for (const IXLSWorkbook& b : {biff8, biff5, SavedAndOpened(*biff8, 2), SavedAndOpened(*biff5, 2), SavedAndOpened(*biff5, 1)}) {
    IXLSWorksheet& sheet = SheetAt(*b, 1);
    const TXLSCustomName* name = b->Formulas().Names().FindByName(u"NOSUCHNAME");
    ASSERT_NE(name, nullptr);
    EXPECT_EQ(name->Formula(), nullptr);
    EXPECT_EQ(sheet.GetRange(u"A1")->GetFormula().TextValue(), u"=NOSUCHNAME");
    EXPECT_EQ(sheet.GetRange(u"A1")->GetValue().ToText(), u"#NAME?");
    const TXLSCellRef* a2 = sheet.Cells().FindCell(1, 0);
    ASSERT_TRUE(a2 && a2->Kind() == kCellString);
    EXPECT_EQ(b->StringTable().GetString(a2->StringIndex()), u"");
    EXPECT_EQ(sheet.GetRange(u"A3")->GetFormula().TextValue(), u"='Sheet2'!A1+1");
    EXPECT_EQ(SheetAt(*b, 2).GetName(), u"Sheet2");
  }
}

// xlwt's outline: rows 4-5 and column D at level 2 stay expanded, the collapsed marks of row 11
// and column E stay where they were, through BIFF8 and BIFF5 saves.
TEST(OutsideLosses, XlwtOutlineKeepsItsCollapsedMarks) {
  IXLSWorkbook book = Opened("xlwt_outline.xls");
  EXPECT_TRUE(book->GetReadLosses().empty());
  for (const IXLSWorkbook& b : {book, SavedAndOpened(*book, 2), SavedAndOpened(*book, 1)}) {
    const TXLSRowInfoList& rows = SheetAt(*b, 1).RowInfo();
    const TXLSColumnInfoList& columns = SheetAt(*b, 1).ColumnInfo();
    std::vector<int> collapsed, levels;
    for (int r = 0; r < 12; ++r) {
      if (rows.IsCollapsed(r)) collapsed.push_back(r);
      levels.push_back(rows.GetOutlineLevel(r));
    }
    EXPECT_EQ(collapsed, std::vector<int>{10});
    EXPECT_EQ(levels, (std::vector<int>{1, 1, 1, 2, 2, 1, 1, 1, 2, 2, 1, 1}));
    EXPECT_TRUE(rows.IsHidden(8) && rows.IsHidden(9) && !rows.IsHidden(3));
    EXPECT_EQ(columns.GetOutlineLevel(3), 2);
    EXPECT_FALSE(columns.IsCollapsed(3));
    EXPECT_TRUE(columns.IsCollapsed(4));
  }
}

// A macro sheet ahead of "Data" (LibreOffice's BIFF8 file and gnumeric's BIFF5 copy of it, the
// first sheet patched into a macro sheet): the print area, print titles and filter of "Data"
// stay on "Data", and "Other"'s reference to Data!B2 still reads "Data".
TEST(OutsideLosses, MacroSheetAheadOfBuiltInNames) {
  for (const char* file : {"lo_macro_sheet.xls", "gnumeric_biff5_macro_sheet.xls"}) {
    SCOPED_TRACE(file);
    IXLSWorkbook book = Opened(file);
    EXPECT_EQ(book->GetReadLosses(), Lines{u"Workbook: a macro sheet was left out"});
    for (const IXLSWorkbook& b : {book, SavedAndOpened(*book, 2), SavedAndOpened(*book, 1)}) {
      ASSERT_EQ(b->GetWorksheets().GetCount(), 2);
      IXLSWorksheet& data = SheetAt(*b, 1);
      IXLSWorksheet& other = SheetAt(*b, 2);
      EXPECT_EQ(data.GetName(), u"Data");
      const TXLSPageSetup& page = *data.GetPageSetup();
      EXPECT_EQ(std::vector<int>({page.PrintAreaFirstRow(), page.PrintAreaFirstColumn(), page.PrintAreaLastRow(),
                                  page.PrintAreaLastColumn()}),
                std::vector<int>({0, 0, 4, 2}));
      EXPECT_EQ(page.GetPrintTitleRows(), u"$1:$1");
      EXPECT_TRUE(SheetRules(data).Autofilter().IsActive());
      EXPECT_TRUE(other.GetPageSetup()->GetPrintArea().empty());
      EXPECT_TRUE(other.GetPageSetup()->GetPrintTitleRows().empty());
      EXPECT_FALSE(SheetRules(other).Autofilter().IsActive());
      EXPECT_EQ(other.GetRange(u"A1")->GetFormula().TextValue(), u"='Data'!B2*2");
      EXPECT_EQ(other.GetRange(u"A1")->GetValue().ToText(), u"20");
    }
  }
}

}  // namespace
}  // namespace xls::test
