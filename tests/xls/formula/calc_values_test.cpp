// Values as the format's own program calculates them where the first rules gave others: texts
// that read as dates or times in arithmetic, values given directly to the aggregates and to AND
// and OR, arguments left out, CEILING and FLOOR at their edges, comparisons of numbers that differ
// past the 15th digit, and SUMPRODUCT over a column and a row beyond the used cells.
// tests/xls/io/calc_interop_test.cpp checks these cases with LibreOffice and in the saved file.
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
  // Status and value of a formula calculated in cell Z1000.
  std::int32_t Eval(const std::string& formula, Variant& v) {
    Set("Z1000", Variant(Utf8ToWide("=" + formula)));
    EXPECT_NE(sheet_->GetCellFormula(999, 25), nullptr) << formula << " did not compile";
    bool outside = false;
    return book_->GetCellValue(1, 999, 25, outside, v);
  }
  // The value as text ("error 15" for a status other than 1).
  std::string Value(const std::string& formula) {
    Variant v;
    const std::int32_t st = Eval(formula, v);
    return st == 1 ? WideToUtf8(v.ToText()) : "error " + std::to_string(st);
  }
  double Num(const std::string& formula) {
    Variant v;
    EXPECT_EQ(Eval(formula, v), 1) << formula;
    return v.IsNumber() ? v.NumberValue() : NAN;
  }

  IXLSWorkbook book_;
  IXLSWorksheet* sheet_ = nullptr;
};

TEST_F(CalcValues, TextsThatReadAsDatesAndTimesConvert) {
  EXPECT_DOUBLE_EQ(Num("\"15:43:09\"+0"), (15 * 3600 + 43 * 60 + 9) / 86400.0);
  EXPECT_DOUBLE_EQ(Num("\"2024-03-01\"+0"), 45352);
  EXPECT_DOUBLE_EQ(Num("\"2024-03-01 15:43:09\"*1"), 45352 + (15 * 3600 + 43 * 60 + 9) / 86400.0);
  EXPECT_DOUBLE_EQ(Num("\"25:00\"+0"), 25 / 24.0);
  EXPECT_DOUBLE_EQ(Num("\"12:30 AM\"+0"), 0.5 / 24);
  EXPECT_DOUBLE_EQ(Num("\"12:00 pm\"+0"), 0.5);
  EXPECT_DOUBLE_EQ(Num("\" 9:5 \"+0"), (9 * 60 + 5) / 1440.0);
  EXPECT_DOUBLE_EQ(Num("\"3:43:09.5\"+0"), (3 * 3600 + 43 * 60 + 9.5) / 86400);
  EXPECT_DOUBLE_EQ(Num("DAY(\"2024-03-01\")"), 1);
  for (const char* text : {"2024-02-30", "10:61", "13:00 PM", "2024-03-01 25:00", "1:2:3:4", "2024-3", "1899-12-31",
                           "12:", ":30", "2024-03-01x"})
    EXPECT_EQ(Value("\"" + std::string(text) + "\"+0"), "error 15") << text;
}

// Texts and booleans given as arguments of their own count; in ranges they do not.
TEST_F(CalcValues, ValuesGivenDirectlyCountAsTheyRead) {
  Set("B8", Variant(1.0));
  Set("B9", Variant(2.0));
  Set("E17", Variant(u"x"));
  Set("C1", Variant(u"5"));
  Set("C2", Variant(true));
  EXPECT_EQ(Value("SUM(\"1\";\"1.1\";\"2.99999\")"), "5.09999");
  EXPECT_EQ(Value("MIN(\"-100\";E17)"), "-100");
  EXPECT_NEAR(Num("AVERAGE(\"1\";B8:B9)"), 4.0 / 3, 1e-15);
  EXPECT_EQ(Value("SUM(TRUE;1)&AVERAGE(TRUE;FALSE)&MAX(\"15:43:09\";0)"), "20.50.654965277777778");
  EXPECT_EQ(Value("SUM(C1:C2)&COUNT(C1:C2)&SUM(C1;C2)"), "000");
  EXPECT_EQ(Value("SUM(\"abc\";1)"), "error 15");
  EXPECT_EQ(Value("SUM(\"\";1)"), "error 15");
  EXPECT_EQ(Value("SUM(1/0;1)"), "error 7");
  EXPECT_EQ(Value("AND(\"1\";1)"), "TRUE");
  EXPECT_EQ(Value("OR(\"false\";0)"), "FALSE");
  EXPECT_EQ(Value("AND(\"abc\")"), "error 15");
  // COUNT passes over errors and texts that read as no number; COUNTA counts every value.
  EXPECT_EQ(Value("COUNT(2;\"A\";\"\";#REF!;#DIV/0!)"), "1");
  EXPECT_EQ(Value("COUNTA(2;\"A\";\"\";#REF!;#DIV/0!)"), "5");
  EXPECT_EQ(Value("COUNT(\"1\";TRUE;\"x\";1/0;NA())"), "2");
  EXPECT_EQ(Value("COUNTA(1/0;NA())"), "2");
}

TEST_F(CalcValues, ArgumentsLeftOutAndSignificances) {
  EXPECT_EQ(Value("AND(;TRUE)"), "FALSE");
  EXPECT_EQ(Value("OR(E26;)"), "FALSE");
  EXPECT_EQ(Value("OR(;TRUE)"), "TRUE");
  EXPECT_EQ(Value("CEILING(999999.99999;E5)"), "0");
  EXPECT_EQ(Value("FLOOR(5;E5)"), "error 7");
  EXPECT_EQ(Value("FLOOR(-5;2)"), "error 36");
  EXPECT_EQ(Value("CEILING(5;-2)"), "error 36");
  EXPECT_EQ(Value("FLOOR(-5;-2)"), "-4");
}

// Numbers that differ by less than 2^-48 of each compare equal (LibreOffice: 1 and 1 + 14 units
// in the last place are equal, 1 + 16 units are not); different integers never are.
TEST_F(CalcValues, NumbersEqualWithinFifteenDigitsCompareEqual) {
  Set("BD1", Variant(99.999999999999986));
  const double parts[] = {30.6, 38.22, 8.1, 23.08};  // adding up to 99.999999999999986
  for (int i = 0; i < 4; ++i) Set("BD" + std::to_string(11 + i), Variant(parts[i]));
  EXPECT_EQ(Value("(BD1=100)&(BD1<100)&(BD1<=100)&(BD1<>100)&(-BD1=-100)"), "TRUEFALSETRUEFALSETRUE");
  EXPECT_EQ(Value("IF(SUM(BD11:BD14)=100;\"\";\"off\")"), "");
  const double ulp = std::ldexp(1.0, -52);
  Set("BE1", Variant(1 + 14 * ulp));
  Set("BE2", Variant(1 + 16 * ulp));
  Set("BE3", Variant(1e15 + 1));
  Set("BE4", Variant(1e-300));
  EXPECT_EQ(Value("(BE1=1)&(BE2=1)&(BE2>1)&(BE3=10^15)&(BE4=0)&(BE4=BF1)"), "TRUEFALSETRUEFALSEFALSEFALSE");
}

// An operand of one row applied along a column (and one of one column along a row) varies in
// every row (column) of the result, also past the used cells: SUMPRODUCT((A1:A1000+1)*E1:G1)
// is (2+3+4+5+6 + 995) x (1+2+3), as LibreOffice calculates it.
TEST_F(CalcValues, SumProductOfAColumnAndARowPastTheUsedCells) {
  for (int r = 1; r <= 5; ++r) Set("A" + std::to_string(r), Variant(static_cast<double>(r)));
  for (int c = 0; c < 3; ++c) sheet_->GetRangeRC(1, 5 + c, 1, 5 + c)->SetValue(Variant(c + 1.0));  // E1:G1
  for (int c = 0; c < 5; ++c) sheet_->GetRangeRC(10, 10 + c, 10, 10 + c)->SetValue(Variant(c + 1.0));  // J10:N10
  Set("H1", Variant(u"=SUMPRODUCT((A1:A1000+1)*E1:G1)"));
  Set("H2", Variant(u"=SUMPRODUCT((J10:AI10+1)*E1:E3)"));  // E2:E3 blank: (15 + 26) x 1
  bool outside = false;
  Variant v;
  ASSERT_EQ(book_->GetCellValue(1, 0, 7, outside, v), 1);
  EXPECT_EQ(v.NumberValue(), 6090);
  ASSERT_EQ(book_->GetCellValue(1, 1, 7, outside, v), 1);
  EXPECT_EQ(v.NumberValue(), 41);
}

}  // namespace
}  // namespace xls
