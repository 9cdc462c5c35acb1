// The calculator over a real workbook: formulas typed into cells, their values read back the
// way the writer and other formulas read them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "xls/formula/calc/calculator.h"
#include "xls/formula/calc/evaluator.h"
#include "xls/formula/workbook_formulas.h"
#include "xls/formula/names.h"
#include "xls/model/blob.h"
#include "xls/model/range.h"
#include "xls/model/workbook.h"
#include "xls/model/worksheet.h"
#include "xls/model/worksheets.h"

namespace xls {
namespace {

std::u16string U(const std::string& s) { return std::u16string(s.begin(), s.end()); }

class CalcTest : public ::testing::Test {
 protected:
  void SetUp() override {
    book_ = TXLSWorkbook::Create();
    sheet_ = book_->GetWorksheets().Add();
    other_ = book_->GetWorksheets().Add();
    other_->SetName(u"Data");
  }
  void Set(const std::string& cell, const Variant& v, IXLSWorksheet* s = nullptr) {
    ASSERT_EQ((s ? s : sheet_)->GetRange(U(cell))->SetValue(v), 1) << cell;
  }
  void Put(const std::string& cell, const std::string& text, IXLSWorksheet* s = nullptr) {
    Set(cell, Variant(U(text)), s);
  }
  // Status and value of a formula calculated in cell Z1000 of the first sheet.
  std::int32_t Eval(const std::string& formula, Variant& v) {
    Put("Z1000", "=" + formula);
    EXPECT_NE(sheet_->GetCellFormula(999, 25), nullptr) << formula << " did not compile";
    bool outside = false;
    return book_->GetCellValue(1, 999, 25, outside, v);
  }
  double Num(const std::string& formula) {
    Variant v;
    const std::int32_t st = Eval(formula, v);
    EXPECT_EQ(st, 1) << formula;
    EXPECT_TRUE(v.IsNumber()) << formula;
    return v.IsNumber() ? v.NumberValue() : NAN;
  }
  std::u16string Text(const std::string& formula) {
    Variant v;
    EXPECT_EQ(Eval(formula, v), 1) << formula;
    return v.ToText();
  }
  std::int32_t Status(const std::string& formula) {
    Variant v;
    return Eval(formula, v);
  }
  Variant CellValue(int row, int column, std::int32_t* status = nullptr) {
    bool outside = false;
    Variant v;
    const std::int32_t st = book_->GetCellValue(1, row, column, outside, v);
    if (status) *status = st;
    return v;
  }

  IXLSWorkbook book_;
  IXLSWorksheet* sheet_ = nullptr;
  IXLSWorksheet* other_ = nullptr;
};

TEST_F(CalcTest, OperatorsComparisonsAndConversions) {
  Set("A1", Variant(2.0));
  Put("A2", "abc");
  Set("A3", Variant(true));
  EXPECT_DOUBLE_EQ(Num("1+2*3^2-4/8"), 18.5);
  EXPECT_NE(Num("ABS(0.1+0.2-0.3)"), 0);              // an argument keeps its remainder
  EXPECT_EQ(Status("A2+1"), kErrValue);
  EXPECT_EQ(Status("\"\"+1"), kErrValue);  // an empty text is no number
  EXPECT_EQ(Status("0^-1"), kErrDiv0);
  EXPECT_EQ(Text("B9&\"x\""), u"x");
  EXPECT_EQ(Text("A1&\"\""), u"2");
  // Blank against "", 0 and FALSE is equal; case does not count; classes order number < text < boolean.
  EXPECT_EQ(Text("B9=\"\""), u"TRUE");
  EXPECT_EQ(Text("B9=0"), u"TRUE");
  EXPECT_EQ(Text("B9=FALSE"), u"TRUE");
  EXPECT_EQ(Text("\"a\"=\"A\""), u"TRUE");
  EXPECT_EQ(Text("\"1\">2"), u"TRUE");
  EXPECT_EQ(Text("A3>\"zzz\""), u"TRUE");
  // The workbook's own evaluation of text, on the active sheet.
  Variant e;
  EXPECT_EQ(book_->Evaluate(u"=A1*3", e), 1);
  EXPECT_EQ(e.NumberValue(), 6);
  EXPECT_EQ(book_->Evaluate(u"1/0", e), kErrDiv0);
  EXPECT_TRUE(e.IsEmpty());
  EXPECT_EQ(book_->Evaluate(u"1+", e), kCalcMalformed);
  // A reference to an empty cell is 0 at the calculator.
  Variant v;
  EXPECT_EQ(Eval("B9", v), 1);
  EXPECT_EQ(v.Type(), VarType::Byte);
  EXPECT_EQ(v.NumberValue(), 0);
}

TEST_F(CalcTest, ReferencesRangesAndSheets) {
  for (int r = 1; r <= 3; ++r) Set("B" + std::to_string(r), Variant(r * 10.0));
  Set("B2", Variant(20.0), other_);
  Set("C5", Variant(7.0), other_);
  EXPECT_DOUBLE_EQ(Num("SUM(B1:B3)"), 60);
  EXPECT_DOUBLE_EQ(Num("Data!B2+Data!C5"), 27);
  EXPECT_DOUBLE_EQ(Num("SUM(Sheet1:Data!B2)"), 40);
  // A rectangle used as one value: the cell in the formula's own row, else #VALUE!.
  Put("D2", "=B1:B3*2");
  EXPECT_DOUBLE_EQ(CellValue(1, 3).NumberValue(), 40);
  std::int32_t st = 0;
  Put("D7", "=B1:B3");
  CellValue(6, 3, &st);
  EXPECT_EQ(st, kErrValue);
  EXPECT_EQ(Status("B1:C3"), kErrValue);
  // An error in a cell reaches the formulas that read it; a circle is found.
  Put("E1", "=1/0");
  EXPECT_EQ(Status("E1+1"), kErrDiv0);
  EXPECT_EQ(Status("SUM(E1:E2)"), kErrDiv0);
  EXPECT_DOUBLE_EQ(Num("COUNTA(E1:E2)"), 1);
  Put("F1", "=F2+1");
  Put("F2", "=F1+1");
  CellValue(0, 5, &st);
  EXPECT_EQ(st, kCalcCircular);
  Put("F3", "=F3");
  CellValue(2, 5, &st);
  EXPECT_EQ(st, kCalcCircular);
}

TEST_F(CalcTest, MathAndRounding) {
  EXPECT_EQ(Num("INT(2.9999999999999996)"), 3);
  EXPECT_EQ(Num("ROUND(1234;-2)"), 1200);
  // Opposite signs are #NUM!; CEILING to a significance of 0 is 0, FLOOR to it #DIV/0!.
  EXPECT_EQ(Status("FLOOR(2.5;-1)"), kErrNum);
  EXPECT_EQ(Num("CEILING(2.5;0)"), 0);
  EXPECT_EQ(Status("FLOOR(2.5;0)"), kErrDiv0);
  // POWER and ^ are one rule: 0 to the power 0 is 1, to a negative power #DIV/0!.
  EXPECT_EQ(Num("POWER(0;0)"), 1);
  EXPECT_EQ(Num("0^0"), 1);
  EXPECT_EQ(Num("POWER(0;0.5)"), 0);
  EXPECT_EQ(Status("POWER(0;-1)"), kErrDiv0);
  EXPECT_EQ(Status("POWER(-8;1/3)"), kErrNum);
  EXPECT_NEAR(Num("NORMSINV(0.975)"), 1.959963985, 1e-8);
  EXPECT_EQ(Status("NORMSINV(0)"), kErrNum);
  EXPECT_EQ(Status("SQRT(-1)"), kErrNum);
  EXPECT_EQ(Status("LN(0)"), kErrNum);
  EXPECT_EQ(Num("SIGN(-0.5)"), -1);
  EXPECT_EQ(Status("OFFSET(A1;1;1)"), kCalcNotComputable);
}

TEST_F(CalcTest, AggregatesLogicAndCriteria) {
  Set("A1", Variant(1.0));
  Set("A2", Variant(2.0));
  Set("A3", Variant(4.0));
  Put("A4", "apple");
  Put("A5", "Avocado");
  Set("A6", Variant(true));
  Put("A7", "banana");
  EXPECT_NEAR(Num("AVERAGE(A1:A7)"), 7.0 / 3, 1e-15);
  EXPECT_EQ(Num("COUNT(A1:A7)"), 3);
  EXPECT_EQ(Num("COUNTA(A1:A9)"), 7);
  EXPECT_EQ(Num("MIN(A1:A7;-1)"), -1);
  EXPECT_EQ(Num("MAX(A4:A7)"), 0);
  EXPECT_EQ(Status("AVERAGE(C1:C5)"), kErrDiv0);
  EXPECT_EQ(Num("SUM(C1:C5)"), 0);
  // AND and OR walk their ranges (texts skipped) and have nothing to judge in an empty one.
  EXPECT_EQ(Text("AND(A1:A3)"), u"TRUE");
  EXPECT_EQ(Text("AND(A1:A6;0)"), u"FALSE");
  EXPECT_EQ(Text("OR(C1:C3;A6)"), u"TRUE");
  EXPECT_EQ(Status("AND(C1:C3)"), kErrValue);
  EXPECT_EQ(Status("OR()"), kErrValue);
  // Criteria: "2" matches the number 2 and the text "2"; "<>" every cell that is not blank,
  // "=" only the blank ones (E3, E6).
  Set("E1", Variant(2.0));
  Put("E2", "2");
  Put("E4", "x");
  Set("E5", Variant(3.0));
  EXPECT_EQ(Num("COUNTIF(E1:E6;\"2\")"), 2);
  EXPECT_EQ(Num("COUNTIF(E1:E6;\"<>\")"), 4);
  EXPECT_EQ(Num("COUNTIF(E1:E6;\"=\")"), 2);
  EXPECT_EQ(Num("SUMIF(E1:E6;\"<>\";A1:A6)"), 3);  // A1 and A2; the texts beside E4 and E5 add nothing
}

TEST_F(CalcTest, LookupsTextAndDates) {
  for (int r = 1; r <= 4; ++r) {
    Set("A" + std::to_string(r), Variant(r * 1.0));
    Put("B" + std::to_string(r), std::string(1, static_cast<char>('a' + r - 1)));
  }
  Set("D3", Variant(100.0));
  Set("E1", Variant(10.0));
  Set("F1", Variant(20.0));
  EXPECT_EQ(Text("VLOOKUP(3.5;A1:B4;2)"), u"c");
  EXPECT_EQ(Status("VLOOKUP(3.5;A1:B4;2;FALSE)"), kErrNA);
  EXPECT_EQ(Status("VLOOKUP(0;A1:B4;2)"), kErrNA);
  // Indexes below 1 are #VALUE!, indexes past the table (beyond any integer too) #REF!.
  for (const char* f : {"HLOOKUP(20;E1:F1;-1)", "VLOOKUP(1;A1:B4;0.5)"}) EXPECT_EQ(Status(f), kErrValue) << f;
  for (const char* f :
       {"VLOOKUP(1;A1:B4;3)", "HLOOKUP(20;E1:F1;2)", "VLOOKUP(1;A1:B4;10^300)", "HLOOKUP(20;E1:F1;-10^300)"})
    EXPECT_EQ(Status(f), kErrRef) << f;
  EXPECT_EQ(Status("WEEKDAY(10^300)"), kErrNum);
  EXPECT_EQ(Num("WEEKDAY(DATE(2024;3;3);10^300)"), 1);
  EXPECT_EQ(Num("HLOOKUP(20;E1:F1;1)"), 20);
  // LOOKUP takes the hit's position in the lookup vector into the result vector.
  EXPECT_EQ(Num("LOOKUP(3;A1:A4;D1:D4)"), 100);
  EXPECT_EQ(Text("LOOKUP(2;A1:B4)"), u"b");
  EXPECT_EQ(Status("LOOKUP(0;A1:A4)"), kErrNA);
  EXPECT_EQ(Num("ROW(C7)+COLUMN(C7)+ROWS(A1:B4)+COLUMNS(A1:B4)"), 7 + 3 + 4 + 2);
  EXPECT_EQ(Text("LEFT(\"abc\")&RIGHT(\"abc\";5)"), u"aabc");
  EXPECT_EQ(Num("LEN(\"h\xC3\xA4llo\")"), 6);  // the test source is UTF-8: two bytes here
  EXPECT_EQ(Text("CONCATENATE(\"a\";1;TRUE)"), u"a1TRUE");
  EXPECT_EQ(Text("ISTEXT(B1)&ISBLANK(C1)&ISBLANK(\"\")"), u"TRUETRUEFALSE");
  EXPECT_EQ(Text("ISTEXT(1/0)&ISBLANK(NA())"), u"FALSEFALSE");
  // Dates roll over (DATE(2024;13;1), DATE(99;12;31)...) as LibreOffice and gnumeric agree in
  // calc_interop_test.cpp, with the criteria, IF and text functions of the same cells there.
  EXPECT_GT(Num("NOW()"), Num("DATE(2020;1;1)"));
}

// A sorted lookup over a vector known to ascend bisects: it must hit exactly where the scan
// over the cells hits (Evaluate calculates under no stamp, so it scans), for keys between, on
// and beside the cells, with ties, numbers within the tolerance, texts, blanks and errors.
TEST_F(CalcTest, SortedLookupsBisectAsTheScanFinds) {
  auto split = [](const std::string& text) {
    std::vector<std::string> out(1);
    for (char c : text) c == ',' ? (void)out.emplace_back() : out.back().push_back(c);
    return out;
  };
  const char* columns[] = {"1,2,2,2,5,5.00000001,9,,,#DIV/0!,12,a,B,b,c,TRUE", ",3,3,4,x,y,Y,z,FALSE,TRUE",
                           "5,4,3,2,1" /* descending: scanned */, "-1,0,,1,a,,b",
                           "-1,0,0,1.99999999,2,#DIV/0!,2,a,b,B,c,FALSE,TRUE", "a,b,b,c"};
  const auto keys = split("0,1,2,2.00000005,3,4.9,5,5.00000002,100,-5,\"\",\"a\",\"b\",\"B\",\"bb\",\"zz\",TRUE,FALSE,"
                          "C1,1/0,-1");
  for (const char* column : columns) {
    const auto cells = split(column);
    for (int r = 1; r <= 16; ++r) {
      const std::string cell = "A" + std::to_string(r);
      sheet_->GetRange(U(cell))->ClearContents();
      Set("B" + std::to_string(r), Variant(r * 1.0));
      const std::string v = r <= static_cast<int>(cells.size()) ? cells[r - 1] : "";
      if (v.empty()) continue;
      if (v == "#DIV/0!") Put(cell, "=1/0");
      else if (v == "TRUE" || v == "FALSE") Set(cell, Variant(v == "TRUE"));
      else if (std::isdigit(static_cast<unsigned char>(v.back()))) Set(cell, Variant(std::stod(v)));
      else Put(cell, v);
    }
    for (const std::string& key : keys)
      for (const std::string& f : {"VLOOKUP(" + key + ";A1:B16;2)", "LOOKUP(" + key + ";A1:A16;B1:B16)"}) {
        Variant scanned, bisected;
        const std::int32_t a = book_->Evaluate(U("=" + f), scanned);
        EXPECT_EQ(Eval(f, bisected), a) << f << " over " << column;
        EXPECT_EQ(scanned.ToText(), bisected.ToText()) << f << " over " << column;
      }
  }
}

// Sorted lookups over random columns of numbers (with ties), texts, blanks and errors, ascending
// and in no order, hit where a reference walk of the rule hits, from the lookup vector (under a
// stamp) and from the cells read one by one (Evaluate): bisect with the lower middle, looking at
// the nearest cell of the key's class at or before it (else after it); the first equal cell met
// ends the bisection and the hit is the last of the equal cells of the key's class that follow
// it; otherwise the last cell looked at below the key. Over ascending numbers that is the last
// number not above the key.
TEST_F(CalcTest, SortedLookupsStopAtTheFirstEqualKeyTheyMeet) {
  struct Cell { int kind; double value; };  // kind 0 blank, 1 number, 2 text (value: its letter), 3 error
  auto reference = [](const std::vector<Cell>& cells, int kind, double key) {
    auto order = [&](int at) { return cells[at].value < key ? -1 : (cells[at].value > key ? 1 : 0); };
    const int n = static_cast<int>(cells.size());
    int lo = 0, hi = n - 1, hit = -1;
    while (lo <= hi) {
      const int mid = (lo + hi) / 2;
      int at = mid;
      while (at >= lo && cells[at].kind != kind) --at;
      const bool after = at < lo;
      for (at = after ? mid + 1 : at; after && at <= hi && cells[at].kind != kind;) ++at;
      if (at > hi || (after && order(at) > 0)) break;
      if (order(at) == 0) {
        for (hit = at++; at < n && (cells[at].kind != kind || order(at) == 0); ++at) hit = cells[at].kind == kind ? at : hit;
        return hit;
      }
      if (order(at) < 0) hit = at, lo = (after ? at : mid) + 1;
      else hi = at - 1;
    }
    return hit;
  };
  std::mt19937 random(70);
  for (int round = 0; round < 150; ++round) {
    const bool ascending = round % 2 == 0;
    const int n = 1 + static_cast<int>(random() % 24);
    std::vector<Cell> cells;
    double number = 0, letter = 0;
    for (int r = 1; r <= n; ++r) {
      const unsigned pick = random() % 10, step = random() % 3;
      const int kind = pick < 6 ? 1 : (pick < 8 ? 2 : (pick < 9 ? 0 : 3));
      double& v = kind == 2 ? letter : number;
      v = ascending ? v + (kind == 2 ? step % 2 : step) : static_cast<double>(random() % (kind == 2 ? 4 : 8));
      cells.push_back({kind, v});
      const std::string at = "A" + std::to_string(r);
      sheet_->GetRange(U(at))->ClearContents();
      if (kind == 1) Set(at, Variant(v));
      else if (kind >= 2) Put(at, kind == 3 ? "=1/0" : std::string(1, static_cast<char>('a' + v)));
      Set("B" + std::to_string(r), Variant(r * 1.0));
    }
    for (int k = 0; k < 12; ++k) {
      const bool isText = k >= 9;
      const double key = isText ? k - 9 + (ascending ? 2 : 0) : k * (ascending ? 2.5 : 1) - 1;
      const int hit = reference(cells, isText ? 2 : 1, key);
      const std::string f = "VLOOKUP(" + (isText ? "\"" + std::string(1, static_cast<char>('a' + key)) + "\""
                                                 : std::to_string(key)) + ";A1:B" + std::to_string(n) + ";2)";
      const std::string where = f + " round " + std::to_string(round), row = hit < 0 ? "" : std::to_string(hit + 1);
      Variant bisected, read;
      EXPECT_EQ(Eval(f, bisected), hit < 0 ? kErrNA : 1) << where;
      EXPECT_EQ(book_->Evaluate(U("=" + f), read), hit < 0 ? kErrNA : 1) << where;
      EXPECT_EQ(bisected.ToText() + u"|" + read.ToText(), U(row + "|" + row)) << where;
      int last = -1;  // over ascending numbers: the last number not above the key
      for (int i = 0; i < n; ++i) last = cells[i].kind == 1 && cells[i].value <= key ? i : last;
      if (ascending && !isText) { EXPECT_EQ(hit, last) << where; }
    }
  }
}

// Long columns are summed from running totals kept per stamp: the sums must be those of a walk
// over the cells, also after the column changes and when a formula or an error lies in it.
TEST_F(CalcTest, LongColumnSumsMatchTheWalk) {
  double walk = 0, from5 = 0;
  for (int r = 1; r <= 100; ++r) {
    Set("A" + std::to_string(r), Variant(r * 0.1));
    walk += r * 0.1;
    if (r >= 5) from5 += r * 0.1;
  }
  Put("A101", "text");
  EXPECT_EQ(Num("SUM(A1:A200)"), walk);
  // Two columns: row by row, columns inside, as the walk adds them.
  double rows = 0;
  for (int r = 1; r <= 100; ++r) {
    Set("B" + std::to_string(r), Variant(1.0 / r));
    rows += r * 0.1;
    rows += 1.0 / r;
  }
  EXPECT_EQ(Num("SUM(A1:B100)"), rows);
  EXPECT_EQ(Num("COUNT(A1:B150)"), 200);
  sheet_->GetRange(u"B1", u"B100")->ClearContents();
  EXPECT_EQ(Num("SUM(A5:A100)"), from5);
  EXPECT_EQ(Num("COUNT(A1:A300)"), 100);
  EXPECT_EQ(Num("AVERAGE(A1:A100)"), walk / 100);
  Set("A50", Variant(1000.0));  // a change is a new stamp
  EXPECT_EQ(Num("SUM(A1:A100)"), walk - 5.0 + 1000.0);
  Put("A60", "=A1*10");
  EXPECT_NEAR(Num("SUM(A1:A100)"), walk - 10.0 + 1000.0, 1e-9);
  Put("A70", "=1/0");
  EXPECT_EQ(Status("SUM(A1:A100)"), kErrDiv0);
  EXPECT_NEAR(Num("SUM(A1:A65)"), walk - 10.0 + 1000.0 - (66 + 67 + 68 + 69 + 70 + 71 + 72 + 73 + 74 + 75 + 76 + 77 +
                                                            78 + 79 + 80 + 81 + 82 + 83 + 84 + 85 + 86 + 87 + 88 + 89 +
                                                            90 + 91 + 92 + 93 + 94 + 95 + 96 + 97 + 98 + 99 + 100) * 0.1,
              1e-9);
}

TEST_F(CalcTest, StampCachesResultsAndFailures) {
  Put("A1", "=RAND()");
  const double first = CellValue(0, 0).NumberValue();
  EXPECT_EQ(CellValue(0, 0).NumberValue(), first);  // same stamp: the cached value
  book_->BumpRecalcStamp();
  EXPECT_NE(CellValue(0, 0).NumberValue(), first);
  // The calculator itself: stamp 0 calculates every time.
  TXLSCalculator& calc = book_->Formulas().Calculator();
  auto f = calc.CompileText(u"RAND()", sheet_->GetSheetId());
  Variant a, b;
  ASSERT_EQ(calc.CalculateCell(1, *f, 0, a, 0, 0), 1);
  ASSERT_EQ(calc.CalculateCell(1, *f, 0, b, 0, 0), 1);
  EXPECT_NE(a.NumberValue(), b.NumberValue());
  ASSERT_EQ(calc.CalculateCell(1, *f, 77, a, 0, 0), 1);
  ASSERT_EQ(calc.CalculateCell(1, *f, 77, b, 0, 0), 1);
  EXPECT_EQ(a.NumberValue(), b.NumberValue());
  // A failure is kept under its stamp while no input changes, with no value; once an input is
  // mended the same stamp calculates again.
  Put("B1", "x");
  auto g = calc.CompileText(u"1/B1", sheet_->GetSheetId());
  EXPECT_EQ(calc.CalculateCell(1, *g, 78, a, 0, 0), kErrValue);
  EXPECT_EQ(g->CachedStatus(), kErrValue);
  EXPECT_TRUE(g->CachedValue().IsEmpty());
  Set("B1", Variant(4.0));
  ASSERT_EQ(calc.CalculateCell(1, *g, 78, a, 0, 0), 1);
  EXPECT_EQ(a.NumberValue(), 0.25);
  Set("B1", Variant(0.0));  // a result, unlike a failure, stays for its stamp
  ASSERT_EQ(calc.CalculateCell(1, *g, 78, a, 0, 0), 1);
  EXPECT_EQ(a.NumberValue(), 0.25);
}

TEST_F(CalcTest, NamesRangesAndArrayFormulas) {
  for (int r = 1; r <= 3; ++r) Set("A" + std::to_string(r), Variant(r * 1.0));
  ASSERT_NE(book_->GetNames()->Add(u"Values", u"=Sheet1!$A$1:$A$3"), nullptr);
  EXPECT_EQ(Num("SUM(Values)*2"), 12);
  EXPECT_EQ(Num("ROWS(Values)"), 3);
  // A name naming a name stands for its range; names in a circle are circular; a changed name
  // is calculated again.
  IXLSNames names = book_->GetNames();
  ASSERT_NE(names->Add(u"Two", u"=Values"), nullptr);
  ASSERT_NE(names->Add(u"Three", u"=(Two)"), nullptr);
  EXPECT_EQ(Num("SUM(Three)+SUM(Two)"), 12);
  ASSERT_NE(names->Add(u"Ping", u"=Sheet1!$A$1"), nullptr);
  ASSERT_NE(names->Add(u"Pong", u"=Ping"), nullptr);
  EXPECT_EQ(Num("Pong*5"), 5);
  ASSERT_EQ(names->GetItem(Variant(u"Ping"))->SetRefersTo(u"=Pong"), 1);
  EXPECT_EQ(Status("SUM(Pong)"), kCalcCircular);
  EXPECT_EQ(Status("Ping"), kCalcCircular);
  TXLSCalculator& calc = book_->Formulas().Calculator();
  // A reference as a range list: one rectangle per sheet of its span.
  auto three = calc.CompileText(u"Sheet1:Data!B2:C4", sheet_->GetSheetId());
  Variant ranges;
  ASSERT_EQ(calc.CalculateName(1, *three, 0, ranges, 0, 0), 1);
  const TXLSCalcRangeList* list = GetRangeFromValue(ranges);
  ASSERT_NE(list, nullptr);
  ASSERT_EQ(list->Count(), 2);
  EXPECT_EQ(list->Item(2)->sheet, 2);
  EXPECT_EQ(list->Item(1)->lastColumn, 2);
  EXPECT_EQ(list->Item(3), nullptr);
  EXPECT_EQ(calc.EvaluateReferenceAsRanges(1, 0, ranges, three->Tree().get(), 0), 1);
  EXPECT_EQ(calc.EvaluateNameAsRanges(1, 0, ranges, three->Tree().get(), 0), kErrValue);
  // A reference in parentheses keeps the class its argument wants: SUM((A1:A3)) sums a range.
  auto paren = calc.CompileText(u"SUM((A1:A3))", sheet_->GetSheetId());
  std::unique_ptr<TXLSBlob> tokens;
  ASSERT_EQ(calc.GetFormulaBytes(*paren, tokens, 1, sheet_->GetSheetId(), 0, 0), 1);
  EXPECT_EQ(tokens->GetData()[2], 0x25);  // tAreaR, then tParen
  EXPECT_EQ(tokens->GetData()[11], 0x15);
  // An array formula over B1:B2: both cells are not computed here, and a member's FORMULA
  // tokens are the 7 bytes of a ptgExp pointing at the anchor.
  auto anchor = calc.CompileText(u"A1:A2*2", sheet_->GetSheetId());
  TXLSCompiledFormula* a = anchor.get();
  a->SetArrayFormula(TXLSArrayFormula::Create(0, 1, 1, 1, a));
  sheet_->SetCellFormula(0, 1, std::move(anchor));
  sheet_->SetCellFormula(1, 1, TXLSCompiledFormula::CreateArrayMember(TXLSArrayFormula::CreateMember(0, 1, a)));
  std::int32_t st = 0;
  CellValue(1, 1, &st);
  EXPECT_EQ(st, kCalcNotComputable);
  CellValue(0, 1, &st);
  EXPECT_EQ(st, kCalcNotComputable);
  auto* member = static_cast<TXLSCompiledFormula*>(sheet_->GetCellFormula(1, 1));
  std::unique_ptr<TXLSBlob> bytes;
  ASSERT_EQ(calc.GetCellFormulaBytes(*member, bytes, sheet_->GetSheetId(), 1, 1), 1);
  ASSERT_EQ(bytes->GetSize(), 7u);
  EXPECT_EQ(std::vector<std::uint8_t>(bytes->GetData(), bytes->GetData() + 7),
            (std::vector<std::uint8_t>{5, 0, 1, 0, 0, 1, 0}));
  EXPECT_EQ(sheet_->GetRange(u"B2")->GetFormula().TextValue(), u"{=A1:A2*2}");
  ASSERT_EQ(calc.GetArrayRecordBytes(*a, sheet_->GetSheetId(), bytes), 1);
  EXPECT_EQ(bytes->GetWord(0), 0u);
  EXPECT_EQ(bytes->GetWord(2), 1u);
  EXPECT_EQ(bytes->GetWord(6), 2u);
}

// Stored formulas keep their trees packed: what comes back equals what went in, field by field.
void ExpectSameTree(const TXLSSyntaxItem& a, const TXLSSyntaxItem& b, const std::string& where) {
  EXPECT_EQ(a.kind, b.kind) << where;
  EXPECT_EQ(a.text, b.text) << where;
  EXPECT_EQ(std::signbit(a.number), std::signbit(b.number)) << where;
  EXPECT_TRUE(a.number == b.number || (std::isnan(a.number) && std::isnan(b.number))) << where;
  EXPECT_EQ(a.value, b.value) << where;
  EXPECT_EQ(a.rawToken, b.rawToken) << where;
  ASSERT_EQ(!a.range, !b.range) << where;
  if (a.range) {
    const TXLSRangeItem &x = *a.range, &y = *b.range;
    EXPECT_EQ(std::vector<int>({x.firstRow, x.firstRowAbs, x.lastRow, x.lastRowAbs, x.firstCol, x.firstColAbs,
                                x.lastCol, x.lastColAbs, x.kind, x.externId, x.offset}),
              std::vector<int>({y.firstRow, y.firstRowAbs, y.lastRow, y.lastRowAbs, y.firstCol, y.firstColAbs,
                                y.lastCol, y.lastColAbs, y.kind, y.externId, y.offset}))
        << where;
  }
  EXPECT_EQ(a.Height(), b.Height()) << where;
  ASSERT_EQ(a.ChildCount(), b.ChildCount()) << where;
  for (int i = 1; i <= a.ChildCount(); ++i) {
    EXPECT_EQ(b.Child(i)->parent, &b) << where;
    ExpectSameTree(*a.Child(i), *b.Child(i), where + "/" + std::to_string(i));
  }
}

TEST_F(CalcTest, StoredTreesComeBackUnchanged) {
  TXLSCalculator& calc = book_->Formulas().Calculator();
  ASSERT_TRUE(book_->GetNames()->Add(u"Total", u"=Sheet1!$A$1:$A$3"));
  const std::string nested = std::string(200, '(') + "1" + std::string(200, ')');
  for (const std::string text :
       {"A1+1", "SUM(A3:A10;B6;$A:A;C$2:$D4)", "IF(A1;#DIV/0!;#REF!)", "{1;-2|\"a\";TRUE}", "-0.5%^2",
        "\"say \"\"hi\"\"\"&\"\"", "Data!B2+SUM(Sheet1:Data!A1:C5)", "SUM((A1,B2))", "SUM(A1:B2 B1:C3)",
        "Total*2", "0.000000000000000000001+123456789012345", nested.c_str()}) {
    auto f = calc.CompileText(U(text), sheet_->GetSheetId());
    ASSERT_TRUE(f) << text;
    auto original = book_->Formulas().Compiler().CompileText(U(text), sheet_->GetSheetId());
    ASSERT_TRUE(original) << text;
    ExpectSameTree(*original, *f->Tree(), text);
    ExpectSameTree(*original, *f->Copy()->Tree(), text);
  }
  // Fields no parsed text gives: a negative zero, texts beyond ASCII, flags read from files.
  TXLSSyntaxItem root(kNodeAdd);
  auto zero = std::make_unique<TXLSSyntaxItem>(kNodeNumber);
  zero->number = -0.0;
  zero->text = u"\u00FC\uFFFF\U0001F600";
  zero->value = -70000;
  zero->rawToken = 0x42;
  auto ref = std::make_unique<TXLSSyntaxItem>(kNodeReference);
  ref->range = std::make_unique<TXLSRangeItem>(TXLSRangeItem{-3, 1, 65535, 2, -1, 0, 255, 1, kRangeArea3d, 7, 1});
  root.AddChild(std::move(zero));
  root.AddChild(std::move(ref));
  TXLSPackedTree packed(&root);
  ExpectSameTree(root, *packed.Unpack(), "built");
  ExpectSameTree(root, *TXLSPackedTree(packed).Unpack(), "copied");
  EXPECT_LT(packed.Size(), 64u);
  EXPECT_FALSE(TXLSPackedTree(nullptr).Unpack());
}

// A shared formula's cells are moved, and offset references resolved, in the packed bytes: the
// result equals the tree changed node by node, and no tree is built on the way.
TEST_F(CalcTest, PackedTreesMovedAndResolvedWithoutTrees) {
  TXLSCalculator& calc = book_->Formulas().Calculator();
  ASSERT_TRUE(book_->GetNames()->Add(u"Total", u"=Sheet1!$A$1:$A$3"));
  std::vector<std::unique_ptr<TXLSCompiledFormula>> formulas;
  for (const char* text : {"A1+1", "SUM(A3:A10;B6;$A:A;C$2:$D4)", "Data!B2+SUM(Sheet1:Data!A1:C5)", "Total*B$1",
                           "IF(A1>0;\"x\";#REF!)", "1+2"}) {
    formulas.push_back(calc.CompileText(U(text), sheet_->GetSheetId()));
    ASSERT_TRUE(formulas.back()) << text;
  }
  // A node of `kind` over references to `ranges`.
  auto refs = [](std::int32_t kind, std::initializer_list<TXLSRangeItem> ranges, std::int32_t value) {
    auto node = std::make_unique<TXLSSyntaxItem>(kind);
    for (const TXLSRangeItem& r : ranges) {
      auto ref = std::make_unique<TXLSSyntaxItem>(kNodeReference);
      ref->value = value;
      ref->range = std::make_unique<TXLSRangeItem>(r);
      node->AddChild(std::move(ref));
    }
    return node;
  };
  // Flags a file may give (an absolute flag of 2 is stored apart), an offset reference (not
  // moved) and corners that a move puts in order, swapping their flags.
  formulas.push_back(std::make_unique<TXLSCompiledFormula>(
      refs(kNodeSub, {{5, 2, 1, 0, 3, 0, 1, 1, kRangeArea, 0, 0}, {-1, 0, -1, 0, 2, 0, 2, 0, kRangeCell, 0, 1}}, 0x44),
      nullptr));
  for (const auto& f : formulas) {
    const auto tree = f->Tree();
    for (const auto& [rows, columns] : {std::pair{3, 1}, std::pair{-4, 0}, std::pair{200, -1}}) {
      const std::uint64_t unpacked = TXLSPackedTree::UnpackCount();
      const auto moved = f->CopyMovedFormula(rows, columns);
      EXPECT_EQ(TXLSPackedTree::UnpackCount(), unpacked);
      ExpectSameTree(*tree->CopyMoved(rows, columns), *moved->Tree(), std::to_string(rows));
    }
    // No offset reference: nothing changes.
    auto resolved = f->Copy();
    resolved->ResolveOffsets(7, 7);
    if (tree->Child(2) && tree->Child(2)->range && tree->Child(2)->range->offset) continue;
    ExpectSameTree(*tree, *resolved->Tree(), "resolved");
  }
  // Offsets from row 1, column 0: -1 row is row 0, 2 columns column 2; an area 3 rows up wraps to
  // the grid's end, and its absolute column stays.
  TXLSCompiledFormula f(
      refs(kNodeAdd, {{-1, 0, -1, 0, 2, 0, 2, 0, kRangeCell, 0, 1}, {-3, 0, 4, 0, 9, 1, -1, 0, kRangeArea, 0, 1}}, 0),
      nullptr);
  const std::uint64_t unpacked = TXLSPackedTree::UnpackCount();
  f.ResolveOffsets(1, 0);
  EXPECT_EQ(TXLSPackedTree::UnpackCount(), unpacked);
  const auto tree = f.Tree();
  EXPECT_EQ(*tree->Child(1)->range, (TXLSRangeItem{0, 0, 0, 0, 2, 0, 2, 0, kRangeCell, 0, 0}));
  EXPECT_EQ(*tree->Child(2)->range, (TXLSRangeItem{65534, 0, 5, 0, 9, 1, 255, 0, kRangeArea, 0, 0}));
}

// SUMPRODUCT takes its arguments as arrays: comparisons, arithmetic, signs and functions of single
// values work element by element over ranges, also nested; the values are LibreOffice's.
TEST_F(CalcTest, SumProductOverArrayExpressions) {
  const char* const keys[] = {"k1", "k2", "x"};
  for (int r = 1; r <= 20; ++r) {
    Set("A" + std::to_string(r), Variant(static_cast<double>(r)));
    Put("B" + std::to_string(r), keys[(r - 1) % 3]);
  }
  Set("C1", Variant(1.0));
  Put("C2", "=1/0");
  Set("C3", Variant(3.0));
  Put("D1", "abc");
  Set("D2", Variant(-2.0));
  Set("D4", Variant(true));
  for (int c = 0; c < 3; ++c) Set(std::string(1, static_cast<char>('E' + c)) + "1", Variant(c + 1.0));
  EXPECT_EQ(Num("SUMPRODUCT((B1:B20=\"k1\")*(A1:A20))"), 70);
  EXPECT_EQ(Num("SUMPRODUCT(--(B1:B20=\"k1\");A1:A20)"), 70);
  EXPECT_EQ(Num("SUMPRODUCT(ISNUMBER(SEARCH(\"k\";B1:B20))*A1:A20)"), 147);
  EXPECT_EQ(Num("SUMPRODUCT(IF(A1:A5>2;A1:A5;0))"), 12);
  EXPECT_EQ(Num("SUMPRODUCT(ABS(A1:A3-10))"), 24);
  EXPECT_DOUBLE_EQ(Num("SUMPRODUCT(A1:A3%)"), 0.06);
  EXPECT_EQ(Num("SUMPRODUCT(A1:A3*{1|2|3})"), 14);
  EXPECT_EQ(Num("SUMPRODUCT((A1:A3&\"x\"=\"1x\")*1)"), 1);
  EXPECT_EQ(Num("SUMPRODUCT(ISNUMBER(C1:C4)*A1:A4)"), 4);
  EXPECT_EQ(Num("SUMPRODUCT(2;3)"), 6);
  // A column against a row makes a table; arrays of other sizes give the smaller one.
  EXPECT_EQ(Num("SUMPRODUCT(A1:A3*E1:G1)"), 36);
  EXPECT_EQ(Num("SUMPRODUCT(A1:A3+A1:A2)"), 6);
  // Blank cells beyond the used area compare equal, all 1,000 of them.
  EXPECT_EQ(Num("SUMPRODUCT((X1:X1000=Y1:Y1000)*1)"), 1000);
  EXPECT_EQ(Num("SUMPRODUCT((B:B=\"k1\")*1)"), 7);
  // Texts, booleans and blanks of an argument count 0; arithmetic turns booleans into numbers.
  EXPECT_EQ(Num("SUMPRODUCT(A1:A20;B1:B20)"), 0);
  EXPECT_EQ(Num("SUMPRODUCT(D1:D4)"), -2);
  EXPECT_EQ(Num("SUMPRODUCT(B1:B20=\"k1\")"), 0);
  // Sizes that differ, and errors inside the arrays.
  EXPECT_EQ(Status("SUMPRODUCT(A1:A3;A1:A2)"), kErrValue);
  EXPECT_EQ(Status("SUMPRODUCT(A1:A3;2)"), kErrValue);
  EXPECT_EQ(Status("SUMPRODUCT(C1:C3;A1:A3)"), kErrDiv0);
  EXPECT_EQ(Status("SUMPRODUCT((C1:C3>1)*1)"), kErrDiv0);
  EXPECT_EQ(Status("SUMPRODUCT(D1:D4*1)"), kErrValue);
  EXPECT_EQ(Status("SUMPRODUCT(SEARCH(\"x\";B1:B3))"), kErrValue);
  // Outside SUMPRODUCT a range is still one value: the cell in the formula's own row.
  EXPECT_EQ(Status("A1:A3*2"), kErrValue);
  // SEARCH: wildcards, no case, ~ before a wildcard character.
  EXPECT_EQ(Num("SEARCH(\"K?\";\"abk1\")"), 3);
  EXPECT_EQ(Num("SEARCH(\"b*\";\"abc\")"), 2);
  EXPECT_EQ(Num("SEARCH(\"~*\";\"a*b\")"), 2);
  EXPECT_EQ(Num("SEARCH(\"a\";\"abca\";2)"), 4);
  EXPECT_EQ(Status("SEARCH(\"z\";\"abc\")"), kErrValue);
  EXPECT_EQ(Num("SEARCH(\"\";\"abc\";2)"), 2);
  EXPECT_EQ(Status("SEARCH(\"c\";\"abc\";4)"), kErrValue);
}

// Chains of every aggregate (a range walked per link) calculate at 65,536 links, read from
// either end; so does a chain headed by an error, which reaches the far end. One test per
// function, so that the sanitizer run spreads them over its cores.
class FunctionChains : public CalcTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(FunctionChains, Calculate) {
  Set("B1", Variant(1.0));
  const std::string link = GetParam();
  auto text = [&](int previous) {
    std::string t = link;
    for (std::size_t at; (at = t.find("{}")) != std::string::npos;) t.replace(at, 2, std::to_string(previous));
    return "=" + t;
  };
  Set("A1", Variant(1.0));
  for (int r = 2; r <= 65536; ++r) Put("A" + std::to_string(r), text(r - 1));
  std::int32_t st = 0;
  EXPECT_EQ(CellValue(65535, 0, &st).NumberValue(), 65536) << link;
  EXPECT_EQ(st, 1) << link;
  Put("A1", "=1/0");
  const double last = CellValue(65535, 0, &st).NumberValue();
  // An error in SUMIF's criteria range passes nothing; the other links pass it on.
  EXPECT_EQ(link.rfind("SUMIF", 0) == 0 ? last : st, link.rfind("SUMIF", 0) == 0 ? 65535 : kErrDiv0) << link;
}

INSTANTIATE_TEST_SUITE_P(CalcTest, FunctionChains,
                         ::testing::Values("SUM(A{};1)", "MAX(A{};0)+1", "AVERAGE(A{};A{}+2)", "SUMIF(A{};\">0\")+1",
                                           "SUMPRODUCT(A{};B1)+1", "COUNT(A{})+A{}", "VLOOKUP(A{};A{};1)+1",
                                           "IF(A{}>0;A{}+1)"),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                           const std::string link = info.param;
                           return link.substr(0, link.find('('));  // the function's name
                         });

// The other way round, read from the top: each cell sums the one below.
TEST_F(CalcTest, FunctionChainsReadFromTheTop) {
  for (int r = 1; r < 65536; ++r) Put("C" + std::to_string(r), "=SUM(C" + std::to_string(r + 1) + ";1)");
  Set("C65536", Variant(1.0));
  EXPECT_EQ(CellValue(0, 2).NumberValue(), 65536);
  Put("C65536", "=SUM(C1)");
  std::int32_t st = 0;
  CellValue(0, 2, &st);
  EXPECT_EQ(st, kCalcCircular);
}

// 65,536 formulas each reading the next (or the previous) calculate without deep recursion.
TEST_F(CalcTest, LongChainsCalculate) {
  auto ref = [](int row) { return "A" + std::to_string(row); };
  for (int r = 1; r < 65536; ++r) Put(ref(r), "=" + ref(r + 1) + "+1");
  Set(ref(65536), Variant(1.0));
  EXPECT_EQ(CellValue(0, 0).NumberValue(), 65536);
  // Headed by an error: the error reaches the far end.
  book_->BumpRecalcStamp();
  Put(ref(65536), "=1/0");
  std::int32_t st = 0;
  CellValue(0, 0, &st);
  EXPECT_EQ(st, kErrDiv0);
  // The other direction, calculated from the far end.
  Put("B1", "=1");
  for (int r = 2; r <= 65536; ++r) Put("B" + std::to_string(r), "=B" + std::to_string(r - 1) + "+1");
  EXPECT_EQ(CellValue(65535, 1).NumberValue(), 65536);
  // A circle of 65,536 cells is found.
  Put(ref(65536), "=A1");
  book_->BumpRecalcStamp();
  CellValue(0, 0, &st);
  EXPECT_EQ(st, kCalcCircular);
  CellValue(40000, 0, &st);
  EXPECT_EQ(st, kCalcCircular);
}

TEST_F(CalcTest, FormulaCellsMoveWithTheirCells) {
  Set("A1", Variant(1.0));
  Set("A2", Variant(2.0));
  Put("C1", "=SUM(A1:A2)+A2");
  Put("C2", "=A$1*2");
  Put("C3", "=1+");                 // does not compile: kept as text
  Put("D1", "=Sheet1!A2", other_);  // on another sheet, to this one
  ASSERT_NE(sheet_->GetCellFormula(0, 2), nullptr);
  EXPECT_EQ(sheet_->GetRange(u"C1")->GetFormula().TextValue(), u"=SUM(A1:A2)+A2");
  EXPECT_EQ(sheet_->GetRange(u"C2")->GetFormula().TextValue(), u"=A$1*2");
  EXPECT_EQ(sheet_->GetRange(u"C3")->GetValue().TextValue(), u"=1+");
  EXPECT_TRUE(sheet_->GetRange(u"C1", u"C2")->GetHasFormula());
  // Two rows inserted above row 2: the references follow the cells they name.
  sheet_->GetRange(u"A2", u"A3")->GetEntireRow()->Insert();
  EXPECT_EQ(sheet_->GetRange(u"C1")->GetFormula().TextValue(), u"=SUM(A1:A4)+A4");
  EXPECT_EQ(sheet_->GetRange(u"C4")->GetFormula().TextValue(), u"=A$1*2");
  EXPECT_EQ(other_->GetRange(u"D1")->GetFormula().TextValue(), u"='Sheet1'!A4");
  book_->BumpRecalcStamp();
  EXPECT_EQ(sheet_->GetRange(u"C1")->GetValue().NumberValue(), 5);
  // A copy moves its relative references with it.
  sheet_->GetRange(u"E1")->CopyFrom(*sheet_->GetRange(u"C4"), 23, true);
  EXPECT_EQ(sheet_->GetRange(u"E1")->GetFormula().TextValue(), u"=C$1*2");
  // Deleting a row above moves references up.
  sheet_->GetRange(u"A2")->GetEntireRow()->Delete();
  EXPECT_EQ(other_->GetRange(u"D1")->GetFormula().TextValue(), u"='Sheet1'!A3");
  EXPECT_EQ(sheet_->GetRange(u"C1")->GetFormula().TextValue(), u"=SUM(A1:A3)+A3");
  // Deleting the row a reference names makes it #REF! (the area loses that row), here and on
  // the other sheet; the value is the error.
  sheet_->GetRange(u"A3")->GetEntireRow()->Delete();
  EXPECT_EQ(sheet_->GetRange(u"C1")->GetFormula().TextValue(), u"=SUM(A1:A2)+#REF!");
  EXPECT_EQ(other_->GetRange(u"D1")->GetFormula().TextValue(), u"='Sheet1'!#REF!");
  book_->BumpRecalcStamp();
  std::int32_t st = 0;
  CellValue(0, 2, &st);
  EXPECT_EQ(st, kErrRef);
  // Setting a value frees the formula.
  Set("C1", Variant(3.0));
  EXPECT_EQ(sheet_->GetCellFormula(0, 2), nullptr);
}

}  // namespace
}  // namespace xls
