// Conditional formats, data validations and the autofilter: rectangles cut and moved by deleted
// and inserted cells, records read and written back (LibreOffice's own records among them), the
// Boolean/error and top-10 percent forms of autofilter criteria, and where a save puts them.
#include <gtest/gtest.h>

#include <algorithm>

#include "../io/io_test_support.h"
#include "rules_test_support.h"
#include "xls/formula/calc/calculator.h"
#include "xls/formula/rules/sheet_rules.h"
#include "xls/formula/workbook_formulas.h"
#include "xls/io/drawing/sheet_drawing.h"
#include "xls/model/worksheet.h"
#include "xls/model/worksheets.h"

namespace xls {
namespace {

using test::Group;
using test::Hex;
using test::HexOf;

std::vector<TCondRange> R(std::initializer_list<std::array<int, 4>> list) {
  std::vector<TCondRange> out;
  for (const auto& r : list) out.emplace_back(r[0], r[1], r[2], r[3]);
  return out;
}

TEST(RuleRanges, DeletedAndShiftedBands) {
  const TRuleBand columnsCtoE{-1, 2, -1, 4};
  // Columns C..E out of A..H: the right piece first, then the left.
  EXPECT_EQ(CutBand(TCondRange(0, 0, 9, 7), columnsCtoE), R({{0, 5, 9, 7}, {0, 0, 9, 1}}));
  // Band starting at the range's first column: nothing on the left.
  EXPECT_EQ(CutBand(TCondRange(0, 2, 9, 7), columnsCtoE), R({{0, 5, 9, 7}}));
  // Corners are normalised; a band inside the range leaves four pieces in order.
  EXPECT_EQ(CutBand(TCondRange(9, 7, 0, 0), TRuleBand{3, 2, 5, 4}),
            R({{0, 0, 2, 7}, {3, 5, 9, 7}, {6, 0, 9, 4}, {3, 0, 5, 1}}));
  // Lists are taken from the last range; ranges outside the band stay whole.
  EXPECT_EQ(CutRanges(R({{0, 0, 9, 7}, {20, 3, 20, 3}}), columnsCtoE, false, 0, 0),
            R({{0, 5, 9, 7}, {0, 0, 9, 1}}));
  EXPECT_EQ(CutRanges(R({{0, 0, 0, 0}, {20, 1, 20, 1}}), columnsCtoE, false, 0, 0), R({{0, 0, 0, 0}, {20, 1, 20, 1}}));
  // Rows 0..3 deleted: what lay below moves up, a part reaching above row 0 starts at 0, one
  // that ends above row 0 goes.
  const TRuleBand below{4, -1, -1, -1};
  EXPECT_EQ(CutRanges(R({{2, 0, 5, 0}}), below, true, -4, 0), R({{2, 0, 3, 0}, {0, 0, 1, 0}}));
  EXPECT_EQ(CutRanges(R({{6, 0, 9, 0}}), TRuleBand{6, -1, -1, -1}, true, -8, 0), R({{0, 0, 1, 0}}));
  EXPECT_EQ(CutRanges(R({{6, 0, 7, 0}}), TRuleBand{6, -1, -1, -1}, true, -8, 0), R({}));
  // A row inserted into a range grows it (a whole column stays whole, on the sheet); one
  // inserted into part of its columns cuts it.
  EXPECT_EQ(CutRanges(R({{0, 0, 65535, 0}}), below, true, 1, 0), R({{0, 0, 65535, 0}}));
  EXPECT_EQ(CutRanges(R({{2, 0, 5, 1}}), TRuleBand{4, -1, -1, -1}, true, 2, 0), R({{2, 0, 7, 1}}));
  EXPECT_EQ(CutRanges(R({{2, 0, 5, 1}}), TRuleBand{4, 0, -1, 0}, true, 2, 0),
            R({{2, 0, 3, 1}, {4, 1, 5, 1}, {6, 0, 7, 0}}));
  EXPECT_EQ(CutRanges(R({{0, 2, 0, 5}}), TRuleBand{-1, 3, -1, -1}, true, 0, 1), R({{0, 2, 0, 6}}));
  // Columns inserted right after a range take its rule, as they take its format; cells inserted
  // beside part of it do not.
  EXPECT_EQ(CutRanges(R({{0, 1, 5, 1}, {9, 9, 9, 9}}), TRuleBand{-1, 2, -1, -1}, true, 0, 2),
            R({{9, 11, 9, 11}, {0, 1, 5, 3}}));
  EXPECT_EQ(CutRanges(R({{0, 1, 5, 1}}), TRuleBand{2, 2, 3, -1}, true, 0, 2), R({{0, 1, 5, 1}}));
  // Cells shifted right past column IV are clipped or go.
  EXPECT_EQ(CutRanges(R({{0, 250, 0, 255}}), TRuleBand{-1, 250, -1, -1}, true, 0, 10), R({}));
}

struct Sheet {
  IXLSWorkbook book = TXLSWorkbook::Create();
  IXLSWorksheet* sheet = book->GetWorksheets().Add();
  TXLSCalculator& calc = book->Formulas().Calculator();
  TXLSSheetRules& rules = SheetRules(*sheet);
};

// Records written by a rule object, as (id, body hex).
struct Sink {
  std::vector<std::pair<std::uint16_t, std::string>> records;
  TRuleRecordSink Get() {
    return [this](std::unique_ptr<TXLSBlob> b) {
      records.emplace_back(b->GetWord(0), HexOf(*b, 4));
      return 1;
    };
  }
};

// Formats without rules or ranges write nothing; a CF split by CONTINUE is passed over, one
// whose tokens do not decode or that comes before any CONDFMT is refused. (LibreOffice's own
// records are read and written back in the interop tests.)
TEST(CondFormats, WhatIsReadAndWritten) {
  Sheet s;
  TCondFormatter& cf = s.rules.CondFormats();
  EXPECT_EQ(cf.ReadRecord(kRecCF, *Group(test::CFBody(s.calc, 2, 0, u"A1>1"))), -1);
  ASSERT_EQ(cf.ReadRecord(kRecCondFmt, *Group(test::CondFmtBody(0, {{0, 3, 0, 0}}))), 1);
  ASSERT_EQ(cf.ReadRecord(kRecCondFmt, *Group(test::CondFmtBody(1, {}))), 1);
  ASSERT_EQ(cf.ReadRecord(kRecCF, *Group(test::CFBody(s.calc, 2, 0, u"A1>1"))), 1);
  Sink out;
  EXPECT_EQ(cf.Write(out.Get()), 0);
  EXPECT_TRUE(out.records.empty());
  ASSERT_EQ(cf.ReadRecord(kRecCondFmt, *Group(test::CondFmtBody(1, {{1, 4, 1, 1}}))), 1);
  EXPECT_EQ(cf.ReadRecord(kRecCF, *Group(test::CFBody(s.calc, 1, 3, u"5"), 1)), 1);
  EXPECT_EQ(cf.ReadRecord(kRecCF, *Group(Hex("01 03 01 00 00 00 ff ff 3f 20 00 00 00 04 0a 00 ff"))), -1);
  EXPECT_EQ(cf.ReadRecord(kRecCF, *Group(Hex("01 03 09 00"))), -1);
  ASSERT_EQ(cf.ReadRecord(kRecCF, *Group(test::CFBody(s.calc, 1, 3, u"5", u"$A$1"))), 1);
  EXPECT_EQ(cf.Item(2)->rules.size(), 1u);
  // Written with its bounds, the pattern block as read and the formulas' tokens.
  EXPECT_EQ(cf.Write(out.Get()), 4 + 22 + 4 + 12 + 4 + 9 + 5);
  ASSERT_EQ(out.records.size(), 2u);
  EXPECT_EQ(out.records[0].second, "01 00 01 00 01 00 04 00 01 00 01 00 01 00 01 00 04 00 01 00 01 00");
  EXPECT_EQ(out.records[1].second,
            "01 03 09 00 05 00 ff ff 3f 20 00 00 00 04 0a 00 1f 00 00 00 00 00 00 14 40 44 00 00 00 00");
}

TEST(CondFormats, FollowDeletedAndInsertedCells) {
  Sheet s;
  TCondFormatter& cf = s.rules.CondFormats();
  // A1:H10 and J1:J2 in one format, C5 in another.
  ASSERT_EQ(cf.ReadRecord(kRecCondFmt, *Group(test::CondFmtBody(1, {{0, 9, 0, 7}, {0, 1, 9, 9}}))), 1);
  ASSERT_EQ(cf.ReadRecord(kRecCF, *Group(test::CFBody(s.calc, 1, 3, u"5"))), 1);
  ASSERT_EQ(cf.ReadRecord(kRecCondFmt, *Group(test::CondFmtBody(1, {{4, 4, 2, 2}}))), 1);
  ASSERT_EQ(cf.ReadRecord(kRecCF, *Group(test::CFBody(s.calc, 1, 3, u"5"))), 1);
  // Columns C..E deleted: C5 goes with its format; A..H keeps A..B and F..H (now C..E, which
  // meet again as A..E), J moves to G.
  s.sheet->GetRange(u"C1", u"E1")->GetEntireColumn()->Delete();
  ASSERT_EQ(cf.Count(), 1);
  EXPECT_EQ(cf.Item(0)->ranges, R({{0, 0, 9, 4}, {0, 6, 1, 6}}));
  EXPECT_EQ(*cf.Item(0)->bounds, TCondRange(0, 0, 9, 6));
  // Two cells inserted at B3:B4 push column B down from row 3 (the sheet's cells reach row 10).
  s.sheet->GetRange(u"B10")->SetValue(Variant(1.0));
  s.sheet->GetRange(u"B3", u"B4")->Insert(Variant(-4121));
  EXPECT_EQ(cf.Item(0)->ranges, R({{0, 6, 1, 6}, {0, 0, 1, 4}, {2, 2, 9, 4}, {2, 0, 9, 0}, {4, 1, 11, 1}}));
  // Clearing the cells takes the rules with them.
  s.sheet->GetRange(u"A1", u"J20")->Clear();
  EXPECT_EQ(cf.Count(), 0);
}

// A row inserted right below a format's range takes its rule, as it takes the format of the
// row above it; one inserted further down does not.
TEST(CondFormats, GrowWithARowInsertedRightBelow) {
  Sheet s;
  TCondFormatter& cf = s.rules.CondFormats();
  ASSERT_EQ(cf.ReadRecord(kRecCondFmt, *Group(test::CondFmtBody(1, {{1, 5, 0, 1}}))), 1);
  ASSERT_EQ(cf.ReadRecord(kRecCF, *Group(test::CFBody(s.calc, 1, 3, u"5"))), 1);
  s.sheet->GetRange(u"A7")->GetEntireRow()->Insert();
  EXPECT_EQ(cf.Item(0)->ranges, R({{1, 0, 6, 1}}));
  s.sheet->GetRange(u"A9")->GetEntireRow()->Insert();
  EXPECT_EQ(cf.Item(0)->ranges, R({{1, 0, 6, 1}}));
}

TEST(DataValidations, RecordsAndTheirFormulaClasses) {
  Sheet s;
  TDataValidator& dv = s.rules.Validations();
  Sink none;
  EXPECT_EQ(dv.Write(none.Get()), 0);
  EXPECT_TRUE(none.records.empty());
  // LibreOffice's list of "red", "green", "blue" over F2:F6, its DVAL first.
  const std::string dval = "00 00 00 00 00 00 00 00 00 00 ff ff ff ff 03 00 00 00";
  const std::string list =
      "83 01 20 00 01 00 00 00 01 00 00 00 01 00 00 00 01 00 00 00 11 00 00 00 17 0e 00 72 65 64 00 67 72 65 65 6e 00 "
      "62 6c 75 65 03 00 00 00 1e 00 00 01 00 01 00 05 00 05 00 05 00";
  ASSERT_EQ(dv.ReadRecord(kRecDVal, *Group(Hex(dval))), 1);
  ASSERT_EQ(dv.ReadRecord(kRecDV, *Group(Hex(list))), 1);
  // The same list read from a range, and a whole-number rule against that range.
  ASSERT_EQ(dv.ReadRecord(kRecDV, *Group(test::DVBody(s.calc, 0x103, {u"", u"", u"Pick", u""}, u"$A$2:$A$6", u"", {{1, 5, 6, 6}}, 0))), 1);
  ASSERT_EQ(dv.ReadRecord(kRecDV, *Group(test::DVBody(s.calc, 0x101, {u"", u"", u"", u""}, u"$A$2:$A$6", u"", {{1, 5, 7, 7}}, 0))), 1);
  // A record that other programs split by CONTINUE (anywhere, byte for byte) is joined and read.
  const std::vector<std::uint8_t> whole = Hex(list);
  std::unique_ptr<TXLSBlobList> split = Group({whole.begin(), whole.begin() + 20});
  auto* rest = new TXLSBlob(static_cast<std::uint32_t>(whole.size() - 20));
  for (std::size_t i = 20; i < whole.size(); ++i) rest->AddByte(whole[i]);
  split->Add(rest);
  ASSERT_EQ(dv.ReadRecord(kRecDV, *split), 1);
  EXPECT_EQ(dv.ReadRecord(kRecDV, *Group(Hex("83 01 20 00 01 00"))), -1);
  EXPECT_EQ(dv.Count(), 4);

  Sink out;
  dv.Write(out.Get());
  ASSERT_EQ(out.records.size(), 5u);
  EXPECT_EQ(out.records[4].second, out.records[1].second);
  // (LibreOffice's DVAL and list come back as read in RulesInterop.LibreOfficeRecordsComeBackTheSame.)
  // Texts go out in UTF-16; an empty one as 01 00 00 00.
  EXPECT_EQ(out.records[2].second.substr(0, 71), "03 01 00 00 01 00 00 00 01 00 00 00 04 00 01 50 00 69 00 63 00 6b 00 01");
  // A list takes its range in reference class (ptgArea 0x25), any other type in value class (0x45).
  EXPECT_NE(out.records[2].second.find("09 00 00 00 25 01 00 05 00 00 00 00 00"), std::string::npos);
  EXPECT_NE(out.records[3].second.find("09 00 00 00 45 01 00 05 00 00 00 00 00"), std::string::npos);
  // Validations whose cells are deleted go.
  s.sheet->GetRange(u"F1", u"H1")->GetEntireColumn()->Delete();
  EXPECT_EQ(dv.Count(), 0);
}

TEST(Autofilter, BooleanErrorAndTopTenCriteria) {
  TXLSAutofilter filter;
  filter.SetRange(1, 1, 4, 10);
  // Column 0: TRUE or #N/A; column 1: top 10 percent; column 2: 12.5 or "x*".
  const std::string boolErr =
      "00 00 01 00 08 02 01 00 00 00 00 00 00 00 08 02 2a 01 00 00 00 00 00 00";
  const std::string top10 = "01 00 70 05 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00";
  const std::string mixed =
      "02 00 00 00 04 06 00 00 00 00 00 00 29 40 06 02 00 00 00 00 02 00 00 00 01 78 00 2a 00";
  for (const std::string& body : {boolErr, top10, mixed}) ASSERT_EQ(filter.ReadItem(*Group(Hex(body))->GetChunk(0), 0x0600), 1);
  const TXLSAutofilterItem* c0 = filter.Item(0);
  EXPECT_TRUE(c0->condition1->value.IsBoolean() && c0->condition1->value.BooleanValue());
  EXPECT_TRUE(c0->condition2->value.IsError());
  EXPECT_EQ(c0->condition2->value.ErrorCode(), 42);
  EXPECT_EQ(filter.Item(1)->top10Flags, 7);  // on, top, percent
  EXPECT_EQ(filter.Item(1)->top10Count, 10);
  EXPECT_EQ(filter.Item(2)->condition1->value.NumberValue(), 12.5);
  EXPECT_EQ(filter.Item(2)->condition2->value.TextValue(), u"x*");
  EXPECT_FALSE(filter.Item(3)->HasCriteria());
  EXPECT_EQ(filter.ReadItem(*Group(Hex("00 00 01 00"))->GetChunk(0), 0x0600), -1);
  EXPECT_EQ(filter.ReadItem(*Group(Hex("09 00" + std::string(66, ' ')))->GetChunk(0), 0x0600), -1);

  Sink biff8, biff5;
  std::int64_t bytes = 0;
  ASSERT_EQ(filter.WriteRecords(biff8.Get(), bytes, 2), 1);
  ASSERT_EQ(biff8.records.size(), 5u);
  EXPECT_EQ(biff8.records[0], (std::pair<std::uint16_t, std::string>{kRecFilterMode, ""}));
  EXPECT_EQ(biff8.records[1].second, "04 00");
  EXPECT_EQ(biff8.records[2].second, HexOf(Hex(boolErr)).replace(6, 2, "0d"));  // both simple equalities
  EXPECT_EQ(biff8.records[3].second, HexOf(Hex(top10)));
  EXPECT_EQ(biff8.records[4].second,
            "02 00 08 00 04 06 00 00 00 00 00 00 29 40 06 02 00 00 00 00 02 00 00 00 01 78 00 2a 00");
  EXPECT_EQ(bytes, 4 + 6 + 28 + 28 + 33);
  // BIFF5: no top-10 bits, 8-bit strings.
  ASSERT_EQ(filter.WriteItems(biff5.Get(), bytes, 1), 1);
  EXPECT_EQ(biff5.records[1].second.substr(0, 11), "01 00 00 00");
  EXPECT_EQ(biff5.records[2].second.substr(72), "78 2a");
}

// A damaged AUTOFILTERINFO count stops at the sheet's 256 columns: the filter keeps the
// criteria of its last column and writes the count it can hold.
TEST(Autofilter, ColumnCountStopsAtTheSheetsColumns) {
  TXLSAutofilter filter;
  filter.SetColumnCount(60000);
  EXPECT_EQ(filter.ColumnCount(), 256);
  EXPECT_EQ(filter.Item(256), nullptr);
  const std::string last = "ff 00 70 05 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00";
  ASSERT_EQ(filter.ReadItem(*Group(Hex(last))->GetChunk(0), 0x0600), 1);
  EXPECT_EQ(filter.Item(255)->top10Flags, 7);
  filter.SetColumnCount(-3);
  EXPECT_EQ(filter.ColumnCount(), 0);
  EXPECT_EQ(filter.Item(0), nullptr);

  filter.SetRange(1, 1, 4000, 10);
  Sink out;
  std::int64_t bytes = 0;
  ASSERT_EQ(filter.WriteRecords(out.Get(), bytes, 2), 1);
  ASSERT_EQ(out.records.size(), 1u);
  EXPECT_EQ(out.records[0].second, "00 01");
}

TEST(Autofilter, RangeSwitchMakesAndRemovesDropDowns) {
  Sheet s;
  TXLSAutofilter& filter = s.rules.Autofilter();
  s.sheet->GetRange(u"C2", u"F9")->AutoFilter();
  ASSERT_TRUE(filter.IsActive());
  EXPECT_EQ(filter.ColumnCount(), 4);
  // Without criteria only AUTOFILTERINFO is written.
  Sink out;
  std::int64_t bytes = 0;
  filter.WriteRecords(out.Get(), bytes, 2);
  ASSERT_EQ(out.records.size(), 1u);
  EXPECT_EQ(out.records[0].first, kRecAutofilterInfo);
  TMsoDrawing* drawing = FindDrawing(*s.sheet);
  ASSERT_NE(drawing, nullptr);
  ASSERT_EQ(drawing->ShapeCount(), 4u);
  for (int i = 0; i < 4; ++i) {
    auto* combo = dynamic_cast<TMSOShapeComboBox*>(drawing->Shape(static_cast<std::size_t>(i)));
    ASSERT_NE(combo, nullptr);
    EXPECT_EQ(combo->dropRow, 1);
    EXPECT_EQ(combo->dropColumn, 2 + i);
    EXPECT_EQ(filter.Item(i)->dropDown, combo);
  }
  std::int32_t r1, c1, r2, c2;
  ASSERT_TRUE(SheetFilterDatabase(*s.sheet, r1, c1, r2, c2));
  EXPECT_EQ(std::vector<int>({r1, c1, r2, c2}), std::vector<int>({1, 2, 8, 5}));
  s.sheet->GetRange(u"A1")->AutoFilter();
  EXPECT_FALSE(filter.IsActive());
  EXPECT_EQ(drawing->ShapeCount(), 0u);
  EXPECT_FALSE(SheetFilterDatabase(*s.sheet, r1, c1, r2, c2));
}

// The filter follows its cells: rows inserted above move it, rows inserted in its body lengthen
// it, columns deleted on its left move it, with its drop-downs; clearing the header keeps it,
// deleting rows past its end shortens it and deleting the header row switches it off.
TEST(Autofilter, FollowsInsertedAndDeletedCells) {
  Sheet s;
  TXLSAutofilter& filter = s.rules.Autofilter();
  s.sheet->GetRange(u"C2", u"F9")->AutoFilter();
  auto area = [&]() {
    std::int32_t r1 = -1, c1 = -1, r2 = -1, c2 = -1;
    SheetFilterDatabase(*s.sheet, r1, c1, r2, c2);
    return std::vector<int>({r1, c1, r2, c2});
  };
  auto combo = [&](int i) { return dynamic_cast<TMSOShapeComboBox*>(FindDrawing(*s.sheet)->Shape(static_cast<std::size_t>(i))); };
  s.sheet->GetRange(u"A1", u"A2")->GetEntireRow()->Insert();
  EXPECT_EQ(area(), std::vector<int>({3, 2, 10, 5}));
  EXPECT_EQ(combo(3)->dropRow, 3);
  s.sheet->GetRange(u"A7")->GetEntireRow()->Insert();
  EXPECT_EQ(area(), std::vector<int>({3, 2, 11, 5}));
  s.sheet->GetRange(u"A1", u"B1")->GetEntireColumn()->Delete();
  EXPECT_EQ(area(), std::vector<int>({3, 0, 11, 3}));
  EXPECT_EQ(combo(3)->dropColumn, 3);
  s.sheet->GetRange(u"A4", u"D4")->Clear();
  EXPECT_TRUE(filter.IsActive());
  s.sheet->GetRange(u"A10", u"A20")->GetEntireRow()->Delete();
  EXPECT_EQ(area(), std::vector<int>({3, 0, 8, 3}));
  s.sheet->GetRange(u"A4")->GetEntireRow()->Delete();
  EXPECT_FALSE(filter.IsActive());
  EXPECT_EQ(FindDrawing(*s.sheet)->ShapeCount(), 0u);
}

// Columns deleted inside a filter take their criteria and drop-downs and the filter shrinks;
// columns inserted inside widen it. It goes only with all of its columns.
TEST(Autofilter, ShrinksAndWidensWithItsColumns) {
  Sheet s;
  TXLSAutofilter& filter = s.rules.Autofilter();
  s.sheet->GetRange(u"A1", u"E6")->AutoFilter();
  // "x" in column A, the top 10 in column D.
  ASSERT_EQ(filter.ReadItem(*Group(Hex("00 00 04 00 06 02 00 00 00 00 01 00 00 00 " + std::string(20, '0') + " 01 78 00"))
                                 ->GetChunk(0), 0x0600), 1);
  ASSERT_EQ(filter.ReadItem(*Group(Hex("03 00 30 05" + std::string(60, '0')))->GetChunk(0), 0x0600), 1);
  // Per column from the first: its criteria (c or -) at the column its drop-down shows in.
  auto state = [&]() {
    std::int32_t r1 = -1, c1 = -1, r2 = -1, c2 = -1;
    SheetFilterDatabase(*s.sheet, r1, c1, r2, c2);
    std::string out = std::to_string(c1) + ".." + std::to_string(c2) + " rows " + std::to_string(r2) + ":";
    for (int i = 0; i < filter.ColumnCount(); ++i)
      out += std::string(" ") + (filter.Item(i)->HasCriteria() ? "c" : "-") +
             std::to_string(dynamic_cast<TMSOShapeComboBox*>(filter.Item(i)->dropDown)->dropColumn);
    return out;
  };
  s.sheet->GetRange(u"B1")->GetEntireColumn()->Delete();
  EXPECT_EQ(state(), "0..3 rows 5: c0 -1 c2 -3");
  EXPECT_EQ(filter.Item(0)->condition1->value.TextValue(), u"x");
  s.sheet->GetRange(u"B1", u"C1")->GetEntireColumn()->Insert();
  EXPECT_EQ(state(), "0..5 rows 5: c0 -1 -2 -3 c4 -5");
  // From in front of the filter into it: the columns left start where the band began.
  s.sheet->GetRange(u"A1", u"D1")->GetEntireColumn()->Delete();
  EXPECT_EQ(state(), "0..1 rows 5: c0 -1");
  EXPECT_EQ(FindDrawing(*s.sheet)->ShapeCount(), 2u);
  s.sheet->GetRange(u"A1", u"B1")->GetEntireColumn()->Delete();
  EXPECT_FALSE(filter.IsActive());
  EXPECT_EQ(FindDrawing(*s.sheet)->ShapeCount(), 0u);
}

// A column inserted right of the filter stays out of it: no new column, no new drop-down.
TEST(Autofilter, ColumnInsertedRightOfItStaysOut) {
  Sheet s;
  TXLSAutofilter& filter = s.rules.Autofilter();
  s.sheet->GetRange(u"A1", u"C5")->AutoFilter();
  s.sheet->GetRange(u"D1")->GetEntireColumn()->Insert();
  EXPECT_EQ(filter.ColumnCount(), 3);
  EXPECT_EQ(FindDrawing(*s.sheet)->ShapeCount(), 3u);
  s.sheet->GetRange(u"C1")->GetEntireColumn()->Insert();
  EXPECT_EQ(filter.ColumnCount(), 4);
}

// Offsets of exactly half the sheet (128 columns, 32,768 rows) are the most negative values the
// record's 8-bit and 16-bit fields hold: moved with their rule, they are written back as such,
// not as references that no longer fit (#REF!).
TEST(RuleFormulas, OffsetsOfHalfTheSheetWrapAsTheirFields) {
  Sheet s;
  TCondFormatter& cf = s.rules.CondFormats();
  // On A2: the cell 128 columns to the left and the one 32,768 rows above, compared.
  ASSERT_EQ(cf.ReadRecord(kRecCondFmt, *Group(test::CondFmtBody(1, {{1, 1, 0, 0}}))), 1);
  ASSERT_EQ(cf.ReadRecord(kRecCF, *Group(Hex("02 00 0b 00 00 00 ff ff 38 20 00 00 00 04 b1 05 "
                                             "4c 00 00 80 c0 4c 00 80 00 c0 0d"))),
            1);
  s.sheet->GetRange(u"A1")->GetEntireRow()->Insert();
  ASSERT_EQ(cf.Item(0)->ranges, R({{2, 0, 2, 0}}));
  Sink out;
  cf.Write(out.Get());
  ASSERT_EQ(out.records.size(), 2u);
  EXPECT_EQ(out.records[1].second.substr(out.records[1].second.size() - 32), "4c 00 00 80 c0 4c 00 80 00 c0 0d");
}

// Rule formulas follow the cells they refer to: relative references (offsets from the cell
// that uses the formula, as LibreOffice writes them) keep pointing at the same cells when the
// rule's own cells move, absolute ones move with their cells. Texts at the rule's first cell.
TEST(RuleFormulas, FollowMovedCells) {
  Sheet s;
  TDataValidator& dv = s.rules.Validations();
  TCondFormatter& cf = s.rules.CondFormats();
  // MOD(A2;2)=0 on C2:C6 as LibreOffice stores it (ptgRefN two columns to the left), a list
  // from $A$2:$A$6 on E2:E6, and $A4>B5 on D4:D5 and D7:D8 (ptgRefN from D4).
  ASSERT_EQ(dv.ReadRecord(kRecDV, *Group(Hex("07 01 00 00 01 00 00 00 01 00 00 00 01 00 00 00 "
                                             "01 00 00 00 0f 00 00 00 4c 00 00 fe c0 1e 02 00 41 27 00 1e 00 00 0b "
                                             "00 00 00 00 01 00 01 00 05 00 02 00 02 00"))),
            1);
  ASSERT_EQ(dv.ReadRecord(kRecDV, *Group(test::DVBody(s.calc, 0x103, {u"", u"", u"", u""}, u"$A$2:$A$6", u"",
                                                      {{1, 5, 4, 4}}, 0))),
            1);
  ASSERT_EQ(cf.ReadRecord(kRecCondFmt, *Group(test::CondFmtBody(1, {{3, 4, 3, 3}, {6, 7, 3, 3}}))), 1);
  ASSERT_EQ(cf.ReadRecord(kRecCF, *Group(Hex("02 00 0b 00 00 00 ff ff 38 20 00 00 00 04 b1 05 "
                                             "4c 00 00 00 80 4c 01 00 fe c0 0d"))),
            1);
  auto text = [&](const TXLSCompiledFormula& f, const std::vector<TCondRange>& ranges) {
    std::u16string out;
    s.calc.GetFormulaText(s.sheet->GetSheetId(), f, out, RangeBounds(ranges)->firstRow, RangeBounds(ranges)->firstColumn);
    return std::string(out.begin(), out.end());
  };
  auto state = [&]() {
    return text(*dv.Item(0)->formula1, dv.Item(0)->ranges.Ranges()) + " " +
           text(*dv.Item(1)->formula1, dv.Item(1)->ranges.Ranges()) + " " +
           text(*cf.Item(0)->rules[0]->formula1, cf.Item(0)->ranges);
  };
  ASSERT_EQ(state(), "=MOD(A2;2)=0 =$A$2:$A$6 =$A4>B5");
  s.sheet->GetRange(u"B1")->GetEntireColumn()->Delete();
  EXPECT_EQ(dv.Item(0)->ranges.Ranges(), R({{1, 1, 5, 1}}));
  EXPECT_EQ(state(), "=MOD(A2;2)=0 =$A$2:$A$6 =$A4>#REF!");
  s.sheet->GetRange(u"A3")->GetEntireRow()->Insert();
  EXPECT_EQ(dv.Item(0)->ranges.Ranges(), R({{1, 1, 6, 1}}));
  EXPECT_EQ(state(), "=MOD(A2;2)=0 =$A$2:$A$7 =$A5>#REF!");
  // The rule's first row goes: B3 moves up into its place, its formula still reading A3, now A2.
  s.sheet->GetRange(u"A2")->GetEntireRow()->Delete();
  EXPECT_EQ(dv.Item(0)->ranges.Ranges(), R({{1, 1, 5, 1}}));
  EXPECT_EQ(state(), "=MOD(A2;2)=0 =$A$2:$A$6 =$A4>#REF!");
  // Cells moved on another sheet change nothing here.
  s.book->GetWorksheets().Add()->GetRange(u"A1")->GetEntireColumn()->Insert();
  EXPECT_EQ(state(), "=MOD(A2;2)=0 =$A$2:$A$6 =$A4>#REF!");
}

// A sheet with one rule of each kind, as a save writes it and the reader reads it back.
TEST(SheetRules, SavedInTheirPlacesAndReadBack) {
  test::TempDir dir;
  const std::string path = dir.File("rules.xls");
  {
    Sheet s;
    s.sheet->GetRange(u"A1")->SetValue(Variant(u"Head"));
    s.sheet->GetRange(u"A5")->SetValue(Variant(3.0));
    ASSERT_EQ(s.rules.CondFormats().ReadRecord(kRecCondFmt, *Group(test::CondFmtBody(1, {{1, 4, 0, 0}}))), 1);
    ASSERT_EQ(s.rules.CondFormats().ReadRecord(kRecCF, *Group(test::CFBody(s.calc, 1, 1, u"1", u"10"))), 1);
    ASSERT_EQ(s.rules.Validations().ReadRecord(kRecDV, *Group(test::DVBody(s.calc, 0x101, {u"", u"", u"Number", u""}, u"5", u"", {{1, 4, 1, 1}}, 1))), 1);
    s.sheet->GetRange(u"A1", u"B5")->AutoFilter();
    ASSERT_EQ(s.rules.Autofilter().ReadItem(*Group(Hex("01 00 70 05" + std::string(60, '0')))->GetChunk(0), 0x0600), 1);
    const auto records = test::ParseRecords(test::SaveStream(*s.book, 2));
    const auto sheet = test::Substream(records, test::FindRecord(records, 0x0085)->DWord(0));
    const auto ids = test::Ids(sheet);
    auto at = [&ids](std::uint16_t id) { return std::find(ids.begin(), ids.end(), id) - ids.begin(); };
    EXPECT_EQ(at(0x009B), at(0x005F) + 1);  // FILTERMODE, AUTOFILTERINFO, AUTOFILTER after SAVERECALC
    EXPECT_EQ(at(0x009D), at(0x005F) + 2);
    EXPECT_EQ(at(0x009E), at(0x005F) + 3);
    EXPECT_EQ(at(0x01B0) + 1, at(0x01B1));  // CONDFMT, CF, DVAL, DV after SELECTION, before EOF
    EXPECT_EQ(at(0x01B2), at(0x01B1) + 1);
    EXPECT_EQ(at(0x01BE), at(0x01B2) + 1);
    EXPECT_GT(at(0x01B0), at(0x001D));
    EXPECT_EQ(at(0x000A), at(0x01BE) + 1);
    // The hidden filter database over A1:B5.
    bool found = false;
    for (const auto& r : records)
      if (r.id == 0x0018 && r.data.size() == 27 && r.data[15] == 0x0D) {
        found = true;
        EXPECT_EQ(r.Word(0), 0x0021);
        EXPECT_EQ(HexOf(std::vector<std::uint8_t>(r.data.begin() + 16, r.data.end())),
                  "3b 00 00 00 00 04 00 00 00 01 00");
      }
    EXPECT_TRUE(found);
    // BIFF5 keeps the autofilter (without top-10 bits) and has no CONDFMT or DV.
    const auto biff5 = test::ParseRecords(test::SaveStream(*s.book, 1));
    EXPECT_EQ(test::FindRecord(biff5, 0x009E)->Word(2), 0);
    EXPECT_EQ(test::FindRecord(biff5, 0x01B0), nullptr);
    ASSERT_EQ(s.book->SaveAs(std::u16string(path.begin(), path.end())), 1);
  }
  IXLSWorkbook book = TXLSWorkbook::Create();
  ASSERT_EQ(book->Open(std::u16string(path.begin(), path.end())), 1);
  TXLSSheetRules* rules = FindSheetRules(*book->GetWorksheets().GetItem(1));
  ASSERT_NE(rules, nullptr);
  ASSERT_EQ(rules->CondFormats().Count(), 1);
  EXPECT_EQ(rules->CondFormats().Item(0)->ranges, R({{1, 0, 4, 0}}));
  ASSERT_EQ(rules->Validations().Count(), 1);
  EXPECT_EQ(rules->Validations().Item(0)->promptText, u"Number");
  const TXLSAutofilter& filter = rules->Autofilter();
  ASSERT_TRUE(filter.IsActive());
  EXPECT_EQ(std::vector<int>({filter.HeaderRow(), filter.FirstColumn(), filter.LastColumn(), filter.LastRow()}),
            std::vector<int>({1, 1, 2, 5}));
  EXPECT_EQ(filter.Item(1)->top10Flags, 7);
  // The drop-downs came back as the drawing's shapes and belong to the filter.
  EXPECT_NE(filter.Item(0)->dropDown, nullptr);
  EXPECT_NE(filter.Item(1)->dropDown, nullptr);
}

}  // namespace
}  // namespace xls
