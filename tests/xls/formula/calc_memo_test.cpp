// What the calculator keeps under a stamp to answer many formulas over the same cells: lookup
// vectors bisected by sorted lookups, exact indexes of the cells exact lookups have read, and
// running totals of long sums. Each must answer as the plain scan or walk does, be used (the
// calculator's counters show it), and be given up when cells or sheet positions change.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "xls/formula/calc/calculator.h"
#include "xls/formula/calc/evaluator.h"
#include "xls/formula/workbook_formulas.h"
#include "xls/model/cell_store.h"
#include "xls/model/range.h"
#include "xls/model/workbook.h"
#include "xls/model/worksheet.h"
#include "xls/model/worksheets.h"

namespace xls {
namespace {

std::u16string U(const std::string& s) { return std::u16string(s.begin(), s.end()); }

std::vector<std::string> Split(const std::string& text) {
  std::vector<std::string> out(1);
  for (char c : text) c == ',' ? (void)out.emplace_back() : out.back().push_back(c);
  return out;
}

class CalcMemoTest : public ::testing::Test {
 protected:
  void SetUp() override {
    book_ = TXLSWorkbook::Create();
    sheet_ = book_->GetWorksheets().Add();
    other_ = book_->GetWorksheets().Add();
    other_->SetName(u"Data");
  }
  TXLSCalculator& Calc() { return book_->Formulas().Calculator(); }
  void Set(IXLSWorksheet* s, const std::string& cell, const Variant& v) {
    ASSERT_EQ(s->GetRange(U(cell))->SetValue(v), 1) << cell;
  }
  // A cell of a test column: a number, TRUE or FALSE, a formula ("=..."), a text, or blank.
  void Cell(IXLSWorksheet* s, const std::string& cell, const std::string& v) {
    s->GetRange(U(cell))->ClearContents();
    if (v.empty()) return;
    if (v == "inf" || v == "nan") Set(s, cell, Variant(v == "inf" ? INFINITY : NAN));
    else if (v == "TRUE" || v == "FALSE") Set(s, cell, Variant(v == "TRUE"));
    else if (v[0] == '=' || !std::isdigit(static_cast<unsigned char>(v.back()))) Set(s, cell, Variant(U(v)));
    else Set(s, cell, Variant(std::stod(v)));
  }
  std::int32_t Value(IXLSWorksheet* s, int row, int column, Variant& v) {
    bool outside = false;
    return book_->GetCellValue(s->GetIndex(), row, column, outside, v);
  }
  // The formulas in Data!A1 down, calculated under a new stamp, give what Evaluate gives (it
  // calculates under no stamp, reading the cells one by one).
  void ExpectAsEvaluated(const std::vector<std::string>& formulas, const std::string& where) {
    for (std::size_t i = 0; i < formulas.size(); ++i) Cell(other_, "A" + std::to_string(i + 1), "=" + formulas[i]);
    book_->BumpRecalcStamp();
    for (std::size_t i = 0; i < formulas.size(); ++i) {
      Variant calculated, read;
      const std::int32_t st = book_->Evaluate(U("=" + formulas[i]), read);
      EXPECT_EQ(Value(other_, static_cast<int>(i), 0, calculated), st) << formulas[i] << where;
      EXPECT_EQ(calculated.ToText(), read.ToText()) << formulas[i] << where;
    }
  }

  IXLSWorkbook book_;
  IXLSWorksheet* sheet_ = nullptr;
  IXLSWorksheet* other_ = nullptr;
};

// Many exact lookups of one table under one stamp, in two orders (so that the index is read on
// by lookups that hit early, late and not at all), must each give what the scan over the cells
// gives (Evaluate calculates under no stamp, so it scans): numbers near one another, texts
// in other letter cases, blanks and the empty text, booleans, errors, a cell that does not
// calculate, an infinity and a NaN, and tables that reach past the used area.
TEST_F(CalcMemoTest, ExactLookupsFindWhatTheScanFinds) {
  const char* columns[] = {
      "5,2,1.99999999,2,2.00000001,7,a,B,b,A,,TRUE,FALSE,=1/0,=2+3,=\"\",0,-1",
      ",x,0.00000005,FALSE,=\"\",X,3,=OFFSET(A1;0;0),9,y",
      "TRUE,=NA(),abc,ABC,1E+300,-0.00000001,3,inf,4",
      "b,a,c,=\"a\",1,1,1,-0.00000001,,FALSE",
      "4,x,3,,0,nan,1",
  };
  const auto keys = Split(
      "0,1,2,2.00000005,1.99999995,5,5.00000002,3,9,4,-1,10^300,100,\"\",\"a\",\"A\",\"b\",\"B\",\"bb\",\"abc\","
      "\"x\",\"y\",TRUE,FALSE,Sheet1!Z1,1/0,Sheet1!H1");
  for (const char* column : columns) {
    const auto cells = Split(column);
    // The same cells down A1:A18 (beside B1:B18) and along A20:R20 (above A21:R21).
    for (int i = 0; i < 18; ++i) {
      const std::string v = i < static_cast<int>(cells.size()) ? cells[static_cast<std::size_t>(i)] : "";
      const std::string letter(1, static_cast<char>('A' + i));
      Cell(sheet_, "A" + std::to_string(i + 1), v);
      Cell(sheet_, letter + "20", v);
      Set(sheet_, "B" + std::to_string(i + 1), Variant(i + 1.0));
      Set(sheet_, letter + "21", Variant(100.0 + i));
    }
    Set(sheet_, "H1", Variant(INFINITY));
    // Lookups on the other sheet; the tables reach past the sheet's used rows and columns.
    std::vector<std::string> formulas;
    for (const std::string& key : keys) {
      formulas.push_back("VLOOKUP(" + key + ";Sheet1!A1:B40;2;FALSE)");
      formulas.push_back("HLOOKUP(" + key + ";Sheet1!A20:Z21;2;FALSE)");
      formulas.push_back("VLOOKUP(" + key + ";Sheet1!A1:B9;2;FALSE)");
    }
    for (std::size_t i = 0; i < formulas.size(); ++i)
      Cell(other_, "A" + std::to_string(i + 1), "=" + formulas[i]);
    const std::uint64_t indexed = Calc().Counters().exactIndexed;
    for (const bool reversed : {false, true}) {
      book_->BumpRecalcStamp();
      for (std::size_t j = 0; j < formulas.size(); ++j) {
        const std::size_t i = reversed ? formulas.size() - 1 - j : j;
        Variant scanned, indexedValue;
        const std::int32_t expected = book_->Evaluate(U("=" + formulas[i]), scanned);
        EXPECT_EQ(Value(other_, static_cast<int>(i), 0, indexedValue), expected) << formulas[i] << " over " << column;
        EXPECT_EQ(indexedValue.ToText(), scanned.ToText()) << formulas[i] << " over " << column;
      }
    }
    // The index answered every lookup but those of the error key and the infinite key and the
    // first of each table in each pass (that one scans), unless the lookups scan (once an
    // infinity or a NaN was read) or fail on the cell that does not calculate.
    const std::string text = column;
    if (text.find("inf") == std::string::npos && text.find("nan") == std::string::npos &&
        text.find("OFFSET") == std::string::npos) {
      EXPECT_EQ(Calc().Counters().exactIndexed - indexed, 2 * (formulas.size() - 6 - 3)) << column;
    }
  }
}

// Sorted lookups bisect, exact lookups take their hits from the index, and long sums come from
// running totals: 300 formulas of each kind over 2,000 rows read each cell about once (the
// first exact lookup of a table scans, the second reads into the index), where scanning or
// walking would read some 300,000.
TEST_F(CalcMemoTest, LookupsAndSumsReadEachCellOnce) {
  constexpr int n = 2000, formulas = 300;
  for (int r = 1; r <= n; ++r) {
    const std::string at = std::to_string(r);
    Set(sheet_, "A" + at, Variant(r * 2.0));
    Set(sheet_, "B" + at, Variant(r * 1.0));
    Set(sheet_, "C" + at, Variant(U("k" + std::to_string(r * 7919 % n))));  // each of 0..1999 once
    Set(sheet_, "D" + at, Variant(r * 1.0));
  }
  auto key = [](int i) { return i * 13 + 3; };
  for (int i = 0; i < formulas; ++i) {
    const std::string at = std::to_string(i + 1), k = std::to_string(key(i));
    Cell(other_, "A" + at, "=VLOOKUP(" + k + ";Sheet1!A1:B2000;2)");
    Cell(other_, "B" + at, "=VLOOKUP(" + k + ";Sheet1!A1:B2000;2;FALSE)");
    Cell(other_, "C" + at, "=VLOOKUP(\"K" + k + "\";Sheet1!C1:D2000;2;FALSE)");
    Cell(other_, "D" + at, "=SUM(Sheet1!A1:A" + std::to_string(40 + i * 6) + ")");
  }
  // The row each lookup finds (0: none) and each sum.
  auto expected = [&](int column, int i) {
    const int k = key(i), m = 40 + i * 6;
    switch (column) {
      case 0: return std::floor(k / 2.0);    // the last row whose number is not above the key
      case 1: return k % 2 ? 0.0 : k / 2.0;  // even keys only
      case 2:
        for (int r = 1; r <= n; ++r)
          if (r * 7919 % n == k) return r * 1.0;
        return 0.0;
      default: return m * (m + 1.0);          // 2 + 4 + ... + 2m
    }
  };
  struct Kind {
    int column;
    std::uint64_t TXLSCalcCounters::*used;
    std::uint64_t TXLSCalcCounters::*work;
  };
  const Kind kinds[] = {{0, &TXLSCalcCounters::bisections, &TXLSCalcCounters::cellsRead},
                        {1, &TXLSCalcCounters::exactIndexed, &TXLSCalcCounters::cellsRead},
                        {2, &TXLSCalcCounters::exactIndexed, &TXLSCalcCounters::cellsRead},
                        {3, &TXLSCalcCounters::totalsUsed, &TXLSCalcCounters::slotsWalked}};
  for (const Kind& kind : kinds) {
    const TXLSCalcCounters before = Calc().Counters();
    for (int i = 0; i < formulas; ++i) {
      Variant v;
      const double want = expected(kind.column, i);
      ASSERT_EQ(Value(other_, i, kind.column, v), want == 0 ? kErrNA : 1) << kind.column << " " << i;
      if (want != 0) {
        EXPECT_EQ(v.NumberValue(), want) << kind.column << " " << i;
      }
    }
    const TXLSCalcCounters after = Calc().Counters();
    const bool exact = kind.column == 1 || kind.column == 2;
    EXPECT_EQ(after.*kind.used - before.*kind.used, static_cast<std::uint64_t>(formulas - exact)) << kind.column;
    EXPECT_LE(after.*kind.work - before.*kind.work, static_cast<std::uint64_t>((1 + exact) * n + formulas))
        << kind.column;
  }
}

// Inserting a sheet moves the sheets behind it to new positions, and the memos are kept by
// position: the new sheet at position 1 must not be answered from what position 1 held. An
// edit must not be answered from memos of before it either, even under the same stamp.
TEST_F(CalcMemoTest, MemosFollowNewSheetsAndEdits) {
  for (int r = 1; r <= 40; ++r) {
    Set(sheet_, "A" + std::to_string(r), Variant(r * 1.0));
    Set(sheet_, "B" + std::to_string(r), Variant(U("v" + std::to_string(r))));
  }
  const char* texts[] = {"VLOOKUP(7;A1:B40;2)", "VLOOKUP(7;A1:B40;2;FALSE)", "SUM(A1:A40)"};
  auto calculate = [&](int sheetIndex, std::uint32_t stamp) {
    std::vector<std::u16string> results;
    for (const char* text : texts) {
      auto f = Calc().CompileText(U(text), sheet_->GetSheetId());
      Variant v;
      const std::int32_t st = Calc().CalculateCell(sheetIndex, *f, stamp, v, 25, 999);
      results.push_back(st == 1 ? v.ToText() : u"#" + U(std::to_string(st)));
    }
    return results;
  };
  const TXLSCalcCounters before = Calc().Counters();
  EXPECT_EQ(calculate(1, book_->GetRecalcStamp()), (std::vector<std::u16string>{u"v7", u"v7", u"820"}));
  EXPECT_EQ(calculate(1, book_->GetRecalcStamp()), (std::vector<std::u16string>{u"v7", u"v7", u"820"}));
  const TXLSCalcCounters after = Calc().Counters();
  EXPECT_EQ(after.bisections - before.bisections, 2u);
  EXPECT_EQ(after.exactIndexed - before.exactIndexed, 1u);  // the first scans
  EXPECT_EQ(after.totalsUsed - before.totalsUsed, 2u);
  ASSERT_NE(book_->GetWorksheets().Insert(1), nullptr);
  ASSERT_EQ(sheet_->GetIndex(), 2);
  // The new sheet's blank cells: no lookup lands on a blank.
  EXPECT_EQ(calculate(1, book_->GetRecalcStamp()), (std::vector<std::u16string>{u"#42", u"#42", u"0"}));
  EXPECT_EQ(calculate(1, 0), calculate(1, book_->GetRecalcStamp()));
  EXPECT_EQ(calculate(2, book_->GetRecalcStamp()), (std::vector<std::u16string>{u"v7", u"v7", u"820"}));
  // A caller's own stamp, kept across an edit: formulas calculated afresh read the cells as
  // they are now.
  EXPECT_EQ(calculate(2, 900), (std::vector<std::u16string>{u"v7", u"v7", u"820"}));
  Set(sheet_, "A7", Variant(70.0));
  EXPECT_EQ(calculate(2, 900), (std::vector<std::u16string>{u"v6", u"#42", u"883"}));
}

// A value stored into a cell directly, not through a range, is an edit too: plain formulas and
// the lookup memos give the new results.
TEST_F(CalcMemoTest, ValuesStoredIntoCellsCalculateAgain) {
  for (int r = 1; r <= 40; ++r) {
    Set(sheet_, "A" + std::to_string(r), Variant(r * 1.0));
    Set(sheet_, "B" + std::to_string(r), Variant(U("v" + std::to_string(r))));
  }
  Cell(other_, "A1", "=Sheet1!A7*2");
  Cell(other_, "A2", "=VLOOKUP(7;Sheet1!A1:B40;2)");
  Cell(other_, "A3", "=VLOOKUP(7;Sheet1!A1:B40;2;FALSE)");
  auto results = [&] {
    std::u16string out;
    for (int r = 0; r < 3; ++r) {
      Variant v;
      out += (Value(other_, r, 0, v) == 1 ? v.ToText() : u"#") + u" ";
    }
    return out;
  };
  EXPECT_EQ(results(), u"14 v7 v7 ");
  ASSERT_EQ(TXLSCellRef::SetValue(*sheet_->Cells().FindCell(6, 0), *sheet_, Variant(70.0)), 1);
  EXPECT_EQ(results(), u"140 v6 # ");
}

// A sorted lookup whose column holds, below the hit, a cell that does not calculate finds its
// hit as the scan does, which never reaches that cell; a key beyond it fails as the scan does.
TEST_F(CalcMemoTest, SortedLookupsScanPastCellsThatDoNotCalculate) {
  for (int r = 1; r <= 4; ++r) Set(sheet_, "A" + std::to_string(r), Variant(r * 1.0));
  Set(sheet_, "A5", Variant(U("=OFFSET(A1;0;0)")));
  for (int r = 1; r <= 5; ++r) Set(sheet_, "B" + std::to_string(r), Variant(U("b" + std::to_string(r))));
  const char* formulas[] = {"VLOOKUP(2;Sheet1!A1:B5;2)", "LOOKUP(3;Sheet1!A1:A5;Sheet1!B1:B5)",
                            "VLOOKUP(2.5;Sheet1!A1:B5;2)", "VLOOKUP(4.5;Sheet1!A1:B5;2)", "HLOOKUP(2;Sheet1!A1:B5;3)"};
  for (std::size_t i = 0; i < std::size(formulas); ++i)
    Cell(other_, "A" + std::to_string(i + 1), "=" + std::string(formulas[i]));
  const std::int32_t expected[] = {1, 1, 1, kCalcNotComputable, 1};
  const char* values[] = {"b2", "b3", "b2", "", "3"};
  for (std::size_t i = 0; i < std::size(formulas); ++i) {
    Variant v;
    EXPECT_EQ(Value(other_, static_cast<int>(i), 0, v), expected[i]) << formulas[i];
    EXPECT_EQ(v.ToText(), U(values[i])) << formulas[i];
  }
}

// Sorted lookups bisect a lookup vector as they bisect the cells read one by one (Evaluate
// calculates under no stamp), over cells of every kind in no order, down a column and along a
// row. By hand for 4: the middle (6th) is a text, the 5th (1), the 9th (3) and the 10th (3.5) are
// not above 4, the 11th is a text, the 12th (9) is: the 10th is the hit.
TEST_F(CalcMemoTest, SortedLookupsBisectTheVectorAsTheCells) {
  const auto cells = Split("2,x,,=1/0,1,t,10,TRUE,3,3.5,b,9");
  for (int i = 0; i < 12; ++i) {
    const std::string letter(1, static_cast<char>('A' + i));
    Cell(sheet_, "A" + std::to_string(i + 1), cells[static_cast<std::size_t>(i)]);
    Cell(sheet_, letter + "20", cells[static_cast<std::size_t>(i)]);
    Set(sheet_, "B" + std::to_string(i + 1), Variant(i + 1.0));
    Set(sheet_, letter + "21", Variant(i + 1.0));
  }
  const auto keys = Split("0,1,2.5,4,6,8,10,\"a\",\"c\",\"y\",TRUE,FALSE");
  std::vector<std::string> formulas;
  for (const std::string& key : keys) {
    formulas.push_back("VLOOKUP(" + key + ";Sheet1!A1:B12;2)");
    formulas.push_back("VLOOKUP(" + key + ";Sheet1!A1:B30;2)");
    formulas.push_back("HLOOKUP(" + key + ";Sheet1!A20:Z21;2;TRUE)");
  }
  const std::uint64_t bisections = Calc().Counters().bisections;
  ExpectAsEvaluated(formulas, "");
  EXPECT_EQ(Calc().Counters().bisections - bisections, formulas.size());
  Variant v;
  ASSERT_EQ(Value(other_, 9, 0, v), 1);  // VLOOKUP(4;Sheet1!A1:B12;2)
  EXPECT_EQ(v.ToText(), u"10");
}

// The run of equal keys after a sorted lookup's first equal key is passed in one step over a
// lookup vector, its cells of other kinds and numbers equal to 15 digits included, and the hit is
// the one the cells read one by one give.
TEST_F(CalcMemoTest, SortedLookupsPassRunsOfEqualKeysInOneStep) {
  for (int r = 1; r <= 300; ++r) {
    const std::string v = r % 37 == 0 ? "" : (r % 41 == 0 ? "t" : std::to_string(1 + (r - 1) / 100));
    Cell(sheet_, "A" + std::to_string(r), v);
    Set(sheet_, "B" + std::to_string(r), Variant(r * 1.0));
  }
  Set(sheet_, "A201", Variant(3 + 1e-15));
  std::vector<std::string> formulas;
  for (const char* key : {"1", "2", "2.5", "3", "0", "4", "\"t\""})
    formulas.push_back(std::string("VLOOKUP(") + key + ";Sheet1!A1:B300;2)");
  const std::uint64_t jumped = Calc().Counters().equalRunsJumped;
  ExpectAsEvaluated(formulas, "");
  EXPECT_GE(Calc().Counters().equalRunsJumped - jumped, 3u);
  Variant v;
  ASSERT_EQ(Value(other_, 1, 0, v), 1);  // VLOOKUP(2;...): the last 2
  EXPECT_EQ(v.ToText(), u"200");
}

// A NaN among sorted cells compares equal to every number, an infinity above every other number:
// sorted lookups over such cells find from the vector what they find in the cells read one by one.
TEST_F(CalcMemoTest, SortedLookupsOverNumbersThatAreNotFiniteScan) {
  const char* columns[] = {"1,nan,0.5", "1,2,inf,4,inf", "nan,1,2"};
  for (const char* column : columns) {
    const auto cells = Split(column);
    for (int r = 1; r <= 6; ++r) {
      Cell(sheet_, "A" + std::to_string(r), r <= static_cast<int>(cells.size()) ? cells[r - 1u] : "");
      Set(sheet_, "B" + std::to_string(r), Variant(r * 1.0));
    }
    std::vector<std::string> formulas;
    for (const char* key : {"0.7", "1", "3", "10", "0"}) formulas.push_back(std::string("VLOOKUP(") + key + ";Sheet1!A1:B6;2)");
    ExpectAsEvaluated(formulas, std::string(" over ") + column);
  }
}

}  // namespace
}  // namespace xls
