// What the calculator reads as a number, a date, a time or a truth value, how it counts dates
// before March 1900, and when two numbers are equal, beyond the cases
// tests/xls/io/calc_interop_test.cpp checks with LibreOffice and in the saved file.
#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <unistd.h>

#include "xls/formula/calc/calculator.h"
#include "xls/formula/calc/compiled_formula.h"
#include "xls/formula/workbook_formulas.h"
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

// A deleted reference as files hold it (ptgRefErr) is an error value given to the function: COUNT
// passes over it and COUNTA counts it, SUM gives the error.
TEST_F(CalcValues, ADeletedReferenceCountsAsAnErrorValue) {
  TXLSCalculator& calc = book_->Formulas().Calculator();
  const std::pair<std::uint8_t, const char*> cases[] = {{0, "1"}, {169, "2"}, {4, "error 23"}};
  for (const auto& [function, value] : cases) {
    // ptgInt 2, ptgRefErr, ptgFuncVar with two arguments
    const std::uint8_t bytes[] = {0x1E, 2, 0, 0x2A, 0, 0, 0, 0, 0x22, 2, function, 0};
    ASSERT_EQ(sheet_->SetCellFormula(999, 25, calc.CompileBytes(bytes, sizeof bytes, 0, 0x600, sizeof bytes)), 1);
    bool outside = false;
    Variant v;
    const std::int32_t st = book_->GetCellValue(1, 999, 25, outside, v);
    EXPECT_EQ(st == 1 ? WideToUtf8(v.ToText()) : "error " + std::to_string(st), value) << int(function);
  }
}

// yyyy-mm-dd, h:mm[:ss[.f]] with hours past 24 or AM/PM, or both; dates with the month's English
// name (three letters or all), day first or month first; 1440 x the value here.
TEST_F(CalcValues, TextsThatReadAsDatesAndTimes) {
  const std::pair<const char*, const char*> cases[] = {
      {"18-Jan-2019", "62615520"},  {"18 january 2019", "62615520"}, {"JAN 18, 2019", "62615520"},
      {"January 18 2019", "62615520"}, {"18/jan/19", "62615520"},  {"Jan 18,2019 12:00", "62616240"},
      {"18-Jan-2019 12:00", "62616240"}, {"1 Sep 1900", "352800"}, {"31-Feb-2019", "error 15"},
      {"18-Janu-2019", "error 15"}, {"Jan", "error 15"},           {"18-Jan-219", "error 15"},
      {"Jan-18-2019", "error 15"},  {"18 Jan 2019 x", "error 15"}, {"18-Jan-2019-1", "error 15"},
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

// Texts where numbers or truth values are wanted: "," between groups of three digits and "$" as
// typed into a cell; dates in the locale's order (M/D/YYYY: the tests run in the C locale),
// two-digit years in 1930-2029; only TRUE and FALSE are truth values (AND and OR pass over other
// texts given to them); an empty text is no number. Dates before 1900-03-01 as the format's own
// program counts them; a date cell (of the proleptic calendar) enters sums and comparisons as its
// serial, also through the running totals of long ranges.
TEST_F(CalcValues, TextsAsNumbersAndTruthValuesAndEarlySerials) {
  const std::pair<const char*, const char*> typed[] = {
      {"-$1,000.5", "-1000.5"}, {"$-1,000", "-1000"},     {"1,234,567", "1234567"}, {" $12 ", "12"},
      {"1,00", "error 15"},     {"12,34", "error 15"},    {"1,0000", "error 15"},   {",100", "error 15"},
      {"$", "error 15"},        {"$$1", "error 15"},      {"1,000e3", "error 15"},  {"1/18/19", "43483"},
      {"2/29/1900", "60"},      {"2/29/2019", "error 15"}, {"13/1/2019", "error 15"}, {"1/18/219", "error 15"},
      {"1/18-2019", "error 15"}};
  for (const auto& [text, number] : typed) EXPECT_EQ(Value("VALUE(\"" + std::string(text) + "\")"), number) << text;
  Set("A1", Variant::Date(60.0));  // 1900-02-28, serial 59
  Set("A2", Variant::Date(62.0));  // 1900-03-02, serial 62
  const std::pair<const char*, const char*> cases[] = {
      {"ROUND(\"1/18/2019 10:00\"*24;6)", "1043602"}, {"NOT(\"true\")", "FALSE"}, {"NOT(\"1\")", "error 15"},
      {"IF(\"\";1;2)", "error 15"},   {"AND(\"abc\";1)", "TRUE"},  {"OR(\"0\";\"FALSE\")", "FALSE"},
      {"OR(\"abc\")", "error 15"},    {"-\"\"", "error 15"},       {"SUM(\"\";1)", "error 15"},
      {"DATE(1900;1;0)", "0"},       {"DATE(1900;2;30)", "61"},   {"DATE(1900;1;32)", "32"},  // 1900-02-01
      {"\"1900-02-29\"+0", "60"},     {"\"1900-01-01\"+0", "1"},    {"(A1+0)&A1", "5959"},
      {"SUM(A1:A2)&SUM(A1:A40)", "121121"},
      {"(A1=59)&(A1=DATE(1900;2;28))&(A2=DATE(1900;3;2))", "TRUETRUETRUE"}};
  for (const auto& [formula, value] : cases) EXPECT_EQ(Value(formula), value) << formula;
}

// Under a day-first locale (built from its source into a private folder) the order follows it,
// with its own separator or "/".
TEST_F(CalcValues, DatesInADayFirstLocale) {
  const std::string saved = std::setlocale(LC_TIME, nullptr);
  const std::string dir = "/tmp/kv_calc_locales_" + std::to_string(::getpid());
  ::setenv("LOCPATH", dir.c_str(), 1);
  std::system(("mkdir -p " + dir + " && localedef -i de_DE -f UTF-8 " + dir + "/de_DE.UTF-8 >/dev/null 2>&1").c_str());
  ASSERT_TRUE(std::setlocale(LC_TIME, "de_DE.UTF-8")) << "cannot build the locale de_DE.UTF-8";
  for (const auto& [text, number] : {std::pair{"18.01.2019", "43483"}, {"18/01/2019", "43483"},
                                     {"01/18/2019", "error 15"}, {"18.01/2019", "error 15"}})
    EXPECT_EQ(Value("\"" + std::string(text) + "\"+0"), number) << text;
  std::setlocale(LC_TIME, saved.c_str());
  ::unsetenv("LOCPATH");
  std::filesystem::remove_all(dir);
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
  const double keys[] = {0.5, 1 + 16 * ulp, 1 + 1e-14};
  for (int r = 1; r <= 3; ++r) {
    Set("C" + std::to_string(r), Variant(keys[r - 1]));
    Set("D" + std::to_string(r), Variant(std::u16string(1, u'a' + r - 1)));
  }
  EXPECT_EQ(Value("VLOOKUP(1;C1:D3;2;0)&VLOOKUP(1;C1:D3;2;0)&VLOOKUP(1;C1:D3;2;1)&"
                  "VLOOKUP(1.00000000000001;C1:D3;2;0)"),
            "bbbc");
}

}  // namespace
}  // namespace xls
