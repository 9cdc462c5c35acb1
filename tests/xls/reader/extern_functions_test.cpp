// Formulas of other programs that call functions through external names of the add-in book
// (gnumeric's LOG2, IFNA, BITAND, XOR; LibreOffice's IMSINH) and read the cached cells of
// another workbook (SUPBOOK, XCT, CRN): read, saved as BIFF8 and BIFF5 and read again, they
// stay formulas with their cached results, and the other book's cached cells stay with it.
#include <gtest/gtest.h>

#include <algorithm>

#include "platform/byte_stream.h"
#include "reader_test_support.h"
#include "xls/model/codepage.h"
#include "xls/model/range.h"
#include "xls/model/workbook.h"
#include "xls/model/worksheet.h"
#include "xls/model/worksheets.h"

namespace xls::test {
namespace {

using Bytes = std::vector<std::uint8_t>;

std::u16string Data(const std::string& name) {
  const std::string path = std::string(KV_TEST_DATA) + "/xls/" + name;
  return std::u16string(path.begin(), path.end());
}

IXLSWorkbook Reopened(TXLSWorkbook& book, int format) {
  platform::MemoryStream saved;
  EXPECT_EQ(book.SaveToStreamFormat(saved, format), 1) << book.GetLastSaveError();
  platform::MemoryStream stream(saved.Bytes());
  IXLSWorkbook again = TXLSWorkbook::Create();
  EXPECT_EQ(again->OpenStream(stream), 1);
  return again;
}

// "=TEXT" and the value as text ("3", "TRUE", "#N/A", "ext text") of a cell.
std::string Cell(TXLSWorkbook& book, const std::u16string& cell) {
  IXLSRange range = book.GetWorksheets().GetItem(1)->GetRange(cell);
  const Variant formula = range->GetFormula();
  const Variant value = range->GetValue();
  std::string out = formula.IsText() ? WideToUtf8(formula.TextValue()) : "-";
  out += " | ";
  if (value.IsBoolean()) out += value.BooleanValue() ? "TRUE" : "FALSE";
  else if (value.IsNumber()) out += std::to_string(value.NumberValue()).substr(0, 4);
  else if (value.IsText()) out += WideToUtf8(value.TextValue());
  else out += "other";
  return out;
}

TEST(ExternFunctions, GnumericAddInNamesStayFormulasThroughBothFormats) {
  for (const char* file : {"gnumeric_addin_functions.xls", "gnumeric_addin_functions_biff5.xls"}) {
    SCOPED_TRACE(file);
    IXLSWorkbook book = TXLSWorkbook::Create();
    ASSERT_EQ(book->Open(Data(file)), 1);
    auto check = [](TXLSWorkbook& b, const char* what) {
      SCOPED_TRACE(what);
      EXPECT_EQ(Cell(b, u"B1"), "=LOG2(A1) | 3.00");
      EXPECT_EQ(Cell(b, u"B2"), "=IFNA(NA();5) | 5.00");
      EXPECT_EQ(Cell(b, u"B3"), "=BITAND(12;10) | 8.00");
      EXPECT_EQ(Cell(b, u"B4"), "=XOR(TRUE();FALSE()) | TRUE");
      EXPECT_EQ(Cell(b, u"C1"), "=B1*2 | 6.00");
    };
    check(*book, "opened");
    check(*Reopened(*book, 2), "saved as BIFF8");
    check(*Reopened(*book, 1), "saved as BIFF5");
  }
}

}  // namespace
}  // namespace xls::test
