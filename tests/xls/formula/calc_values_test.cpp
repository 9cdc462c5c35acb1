// What the calculator reads as a date or a time, and when two numbers are equal, beyond the
// cases tests/xls/io/calc_interop_test.cpp checks with LibreOffice and in the saved file.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "xls/formula/calc/calculator.h"
#include "xls/model/codepage.h"
#include "xls/model/range.h"
#include "xls/model/workbook.h"
#include "xls/model/worksheet.h"
#include "xls/model/worksheets.h"

namespace xls {
namespace {

class CalcValues : public ::testing::Test {
 protected:
  void SetUp() override {
    book_ = TXLSWorkbook::Create();
    sheet_ = book_->GetWorksheets().Add();
  }
  void Set(const std::string& cell, const Variant& v) { ASSERT_EQ(sheet_->GetRange(Utf8ToWide(cell))->SetValue(v), 1); }
  // The value of a formula calculated in cell Z1000 as text, or "error" and the status.
  std::string Value(const std::string& formula) {
    Set("Z1000", Variant(Utf8ToWide("=" + formula)));
    bool outside = false;
    Variant v;
    const std::int32_t st = book_->GetCellValue(1, 999, 25, outside, v);
    return st == 1 ? WideToUtf8(v.ToText()) : "error " + std::to_string(st);
  }

  IXLSWorkbook book_;
  IXLSWorksheet* sheet_ = nullptr;
};

// yyyy-mm-dd, h:mm[:ss[.f]] with hours past 24 or AM/PM, or both; 1440 x the value here.
TEST_F(CalcValues, TextsThatReadAsDatesAndTimes) {
  const std::pair<const char*, const char*> cases[] = {
      {"2024-03-01", "65306880"},   {"2024-03-01 15:43", "65307823"}, {"25:00", "1500"},
      {" 9:5 ", "545"},             {"12:30 AM", "30"},               {"12:00 pm", "720"},
      {"3:43:09.6", "223.16"},      {"2024-02-30", "error 15"},       {"10:61", "error 15"},
      {"13:00 PM", "error 15"},     {"2024-03-01 25:00", "error 15"}, {"1:2:3:4", "error 15"},
      {"2024-3", "error 15"},       {"1899-12-31", "error 15"},       {"12:", "error 15"},
      {"2024-03-01x", "error 15"}};
  for (const auto& [text, minutes] : cases)
    EXPECT_EQ(Value("ROUND(\"" + std::string(text) + "\"*1440;6)"), minutes) << text;
  EXPECT_EQ(Value("DAY(\"2024-03-01\")"), "1");
}

// Numbers compare as rounded to 15 significant digits, in operators, criteria and lookups alike
// (sorted and exact, the latter also from the index of their second lookup): 1 + 16 units in the
// last place is 1, 1 + 1e-14 is above it; 1e15 + 1 is 1e15 (a 16th digit); 1e-300 is not 0.
// (LibreOffice keeps 1 + 16 units and 1e15 + 1 apart from 1 and 1e15.)
TEST_F(CalcValues, NumbersEqualToFifteenDigits) {
  const double ulp = std::ldexp(1.0, -52);
  Set("A1", Variant(1 + 16 * ulp));
  Set("A2", Variant(1 + 1e-14));
  Set("A3", Variant(1e15 + 1));
  Set("A4", Variant(1e-300));
  Set("A5", Variant(-99.999999999999986));
  EXPECT_EQ(Value("(A1=1)&(A1>1)&(A2=1)&(A2>1)&(A3=10^15)&(A4=0)&(A4>0)&(A5>=-100)&(A5<>-100)"),
            "TRUEFALSEFALSETRUETRUEFALSETRUETRUEFALSE");
  EXPECT_EQ(Value("COUNTIF(A1:A5;1)&COUNTIF(A1:A5;\">1\")&COUNTIF(A1:A5;\"<=1\")&SUMIF(A1:A5;10^15)"),
            "1231E+15");
  Set("C1", Variant(0.5));
  Set("C2", Variant(1 + 16 * ulp));
  Set("C3", Variant(1 + 1e-14));
  Set("D1", Variant(u"a"));
  Set("D2", Variant(u"b"));
  Set("D3", Variant(u"c"));
  EXPECT_EQ(Value("VLOOKUP(1;C1:D3;2;0)&VLOOKUP(1;C1:D3;2;0)&VLOOKUP(1;C1:D3;2;1)&"
                  "VLOOKUP(1.00000000000001;C1:D3;2;0)"),
            "bbbc");
}

}  // namespace
}  // namespace xls
