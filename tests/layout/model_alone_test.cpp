// A program that links the workbook model alone (no formula, reader, writer, export or drawing
// library): it links, builds workbooks, and the members the libraries above carry out say that
// their library is missing instead of acting.
#include <gtest/gtest.h>

#include <stdexcept>

#include "xls/model/library_slots.h"
#include "xls/model/page_setup.h"
#include "xls/model/range.h"
#include "xls/model/workbook.h"
#include "xls/model/worksheet.h"
#include "xls/model/worksheets.h"

namespace xls {
namespace {

TEST(ModelAlone, BuildsWorkbooksAndRefusesWhatItsLibrariesDo) {
  const XLSLibrarySlots& slots = LibrarySlots();
  EXPECT_EQ(slots.formula, nullptr);
  EXPECT_EQ(slots.reader, nullptr);
  EXPECT_EQ(slots.writer, nullptr);
  EXPECT_EQ(slots.exporter, nullptr);
  EXPECT_EQ(slots.drawing, nullptr);

  IXLSWorkbook book = TXLSWorkbook::Create();
  IXLSWorksheet* sheet = book->GetWorksheets().Add();
  ASSERT_NE(sheet, nullptr);
  IXLSRange a1 = sheet->GetRange(u"A1");
  ASSERT_EQ(a1->SetValue(Variant(2.5)), 1);
  EXPECT_TRUE(a1->GetValue().IsNumber());

  // Formula text stays text without the formula library, and moving cells has no formula to fix.
  IXLSRange b1 = sheet->GetRange(u"B1");
  ASSERT_EQ(b1->SetValue(Variant(std::u16string(u"=A1*2"))), 1);
  EXPECT_TRUE(b1->GetValue().IsText());
  sheet->GetPageSetup()->SetPrintAreaText(u"A1:B2");
  sheet->GetRange(u"A1", u"B1")->Insert();
  EXPECT_EQ(sheet->GetRange(u"A2")->GetValue().NumberValue(), 2.5);
  EXPECT_EQ(sheet->GetPageSetup()->GetPrintArea(), u"A2:B3");  // the model moves what it holds
  EXPECT_EQ(sheet->GetRange(u"B2")->GetValue().TextValue(), u"=A1*2");

  EXPECT_THROW(book->SaveAs(u"never.xls"), std::logic_error);
  EXPECT_THROW(book->Open(u"never.xls"), std::logic_error);
  EXPECT_THROW(book->SaveAsHTML(u"never.html"), std::logic_error);
  EXPECT_THROW(a1->GetComment(), std::logic_error);
  EXPECT_THROW(book->Formulas(), std::logic_error);
}

}  // namespace
}  // namespace xls
