// Edits of a book read from a file (a seeded random sequence over EditBook), saved and read again:
// every saved result is what a fresh calculation gives, and every name, print area, title and
// filter database points where the edits moved it; then the faults those rules mend, one by one.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "edit_property.h"
#include "xls/model/cell_address.h"
#include "xls/model/hyperlinks.h"
#include "xls/model/page_setup.h"
#include "xls/model/range.h"
#include "xls/model/worksheet.h"
#include "xls/model/worksheets.h"

namespace xls::test {
namespace {

TEST(EditProperty, SavedResultsAreFreshCalculationsAndNamesFollowTheirCells) {
  for (std::uint32_t seed = 1; seed <= 60; ++seed) {
    const EditRun run = RunEdits(seed, 8);
    EXPECT_EQ(ResultsDifferingFromFreshCalculation(run.saved), std::vector<std::string>()) << seed << ": " << run.log;
    EXPECT_EQ(ResultsDifferingFromFreshCalculation(run.saved5), std::vector<std::string>()) << seed << ": " << run.log;
    EXPECT_EQ(SavedNames(run.saved), ExpectedNames(run)) << seed << ": " << run.log;
  }
}

// The faults mended: each case fails without its rule.
struct Fault {
  const char* what;
  bool date1904;
  std::function<void(IXLSWorksheet&)> edit;
  std::vector<std::pair<std::string, double>> results;  // cell, saved result (NaN: #REF!)
};

TEST(EditProperty, EachFaultOfEditedBooks) {
  const double ref = std::nan("");
  const std::vector<Fault> faults = {
      // A name follows an inserted row: D1:D3 move to D2:D4, Rate to A3 (its 5), Block to A4:B5.
      {"a row inserted above a name", false, [](IXLSWorksheet& s) { s.GetRangeRC(1, 1, 1, 256)->Insert(); },
       {{"D2", 10}, {"D3", 18}, {"D4", 10}}},
      // A name whose cells are deleted is #REF!, as a reference is (D1 =Rate*2, D2 the old
      // D3 =A2*2); an area loses the deleted row (D6, the old D7 =MAX(B2:B4), now of 4 and 9).
      {"a named cell deleted", false, [](IXLSWorksheet& s) { s.GetRangeRC(2, 1, 2, 256)->Delete(); },
       {{"D1", ref}, {"D2", ref}, {"D6", 9}}},
      // Date cells of a 1904 book count as their own serials (the third cell is D5's IF, 1).
      {"a 1904 book edited", true, [](IXLSWorksheet& s) { s.GetRange(u"H1")->SetValue(Variant(1.0)); },
       {{"D4", 60}, {"D5", 1}, {"D6", 7}, {"D7", 60}}},
      // Cells under a merged area are read: C6 = A6/(6-B1) with B1 = 13, and a range over them.
      {"an input of a merged area's cell changed", false,
       [](IXLSWorksheet& s) {
         s.GetRange(u"B1")->SetValue(Variant(13.0));
         s.GetRange(u"H1")->SetValue(Variant(std::u16string(u"=SUM(A6:C6)")));
       },
       {{"C6", 12.0 / -7}, {"H1", 12 - 7 + 12.0 / -7}}},
  };
  for (const Fault& f : faults) {
    IXLSWorkbook book = Open(EditBook(f.date1904));
    f.edit(*book->GetWorksheets().GetItem(1));
    Saved(*book, 1);  // BIFF5 saves it too
    const std::map<CellKey, CachedResult> saved = SavedResults(Saved(*book, 2));
    for (const auto& [a1, want] : f.results) {
      SCOPED_TRACE(std::string(f.what) + " " + a1);
      std::uint16_t row = 0;
      std::uint8_t column = 0;
      ASSERT_EQ(ParseCellRef(a1, row, column), 1);
      const auto found = saved.find({1, row, column});
      ASSERT_NE(found, saved.end());
      EXPECT_EQ(found->second.type, std::isnan(want) ? 2 : -1) << "code " << found->second.code;
      if (std::isnan(want)) EXPECT_EQ(found->second.code, 23);
      else EXPECT_NEAR(found->second.number, want, 1e-9);
    }
  }
}

// The date functions of a 1904 book count from its first day, 1904-01-01 (serial 0; 1462 in the
// 1900 system), and the 1900 book's from 1900-01-01.
TEST(EditProperty, DateFunctionsCountInTheBooksOwnSystem) {
  struct Case {
    const char16_t* formula;
    Variant in1900, in1904;
  };
  const std::vector<Case> cases = {
      {u"=DATE(2018;1;1)*1", Variant(43101.0), Variant(41639.0)},
      {u"=YEAR(A1)", Variant(1900), Variant(1904)},
      {u"=MONTH(A1+59)", Variant(2), Variant(2)},
      {u"=WEEKDAY(A1)", Variant(7), Variant(6)},  // serial 0: a Saturday in the 1900 system, 1904-01-01 a Friday
      {u"=TEXT(A1+1;\"yyyy-mm-dd\")", Variant(std::u16string(u"1900-01-01")), Variant(std::u16string(u"1904-01-02"))},
      {u"=DATE(1903;12;31)", Variant(1461.0), Variant::Error(36)},  // #NUM! before the first day
      {u"=TODAY()-DATE(2000;1;1)>0", Variant(true), Variant(true)},
      // Texts that read as dates count in the book's system too, in arithmetic, TEXT and criteria.
      {u"=\"2018-01-01\"+0", Variant(43101.0), Variant(41639.0)},
      {u"=SUM(\"18-Jan-2019\";0)", Variant(43483.0), Variant(42021.0)},
      {u"=TEXT(\"2018-01-01\";\"yyyy-mm-dd\")", Variant(std::u16string(u"2018-01-01")),
       Variant(std::u16string(u"2018-01-01"))},
      {u"=COUNTIF(A1;\"<1904-01-02\")", Variant(1), Variant(1)},
      {u"=\"1903-12-31\"+0", Variant(1461.0), Variant::Error(15)},  // #VALUE!: no such day
      {u"=\"12:00\"+0", Variant(0.5), Variant(0.5)},
  };
  for (bool date1904 : {false, true}) {
    IXLSWorkbook book = TXLSWorkbook::Create();
    IXLSWorksheet& sheet = *book->GetWorksheets().Add();
    book->SetDate1904(date1904);
    sheet.GetRange(u"A1")->SetValue(Variant(0.0));
    for (const Case& c : cases) {
      Variant v;
      const std::int32_t status = book->Evaluate(c.formula, v);
      const Variant& want = date1904 ? c.in1904 : c.in1900;
      SCOPED_TRACE(testing::Message() << "1904 " << date1904 << ", case " << &c - cases.data());
      EXPECT_EQ(status, want.Type() == VarType::Error ? want.ErrorCode() : 1);
      if (want.Type() == VarType::Error) continue;
      if (want.IsText()) EXPECT_EQ(v.TextValue(), want.TextValue());
      else if (want.IsBoolean()) EXPECT_EQ(v.BooleanValue(), want.BooleanValue());
      else EXPECT_EQ(v.NumberValue(), want.NumberValue());
    }
  }
}

// Print area, titles, filter database and hyperlinks move with their cells as references do,
// and a print area whose cells are all deleted is no more.
TEST(EditProperty, SheetAreasFollowTheirCells) {
  IXLSWorkbook book = Open(EditBook(false));
  IXLSWorksheet& sheet = *book->GetWorksheets().GetItem(1);
  sheet.Hyperlinks().Add(sheet.GetRange(u"B2", u"B4"), u"http://example.org/", u"", u"", u"");
  sheet.GetRangeRC(1, 1, 1, 256)->Insert();        // above everything
  sheet.GetRangeRC(1, 2, 65536, 2)->Insert();      // a column inside every area
  sheet.GetRangeRC(4, 1, 4, 256)->Delete();        // a row inside the areas
  EXPECT_EQ(sheet.GetPageSetup()->GetPrintArea(), u"A2:D8");
  EXPECT_EQ(sheet.GetPageSetup()->GetPrintTitleRows(), u"$2:$2");
  ASSERT_EQ(sheet.Hyperlinks().Count(), 1);
  const TXLSCustomHyperlink& link = *sheet.Hyperlinks().GetItem(1);
  EXPECT_EQ((std::vector<int>{link.firstRow, link.firstColumn, link.lastRow, link.lastColumn}),
            (std::vector<int>{2, 2, 3, 2}));  // C3:C4: B2:B4 down a row, right a column, less a row
  const std::map<std::string, std::string> names = SavedNames(Saved(*book, 2));
  EXPECT_EQ(names.at("builtin6@1"), "1:1,0:7,3");
  EXPECT_EQ(names.at("builtin7@1"), "1:1,0:1,255");
  EXPECT_EQ(names.at("builtin13@1"), "1:1,0:5,3");
  sheet.GetRangeRC(1, 1, 9, 256)->Delete();  // every printed row
  EXPECT_EQ(sheet.GetPageSetup()->GetPrintArea(), u"");
  EXPECT_EQ(sheet.GetPageSetup()->GetPrintTitleRows(), u"");
  EXPECT_EQ(sheet.Hyperlinks().Count(), 0);
}

}  // namespace
}  // namespace xls::test
