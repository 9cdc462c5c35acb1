// Ranges: addressing and bounds, the four views, values and arrays, offsets, merged areas.
#include <gtest/gtest.h>

#include <stdexcept>

#include "model_test_util.h"
#include "xls/model/range.h"

namespace xls {
namespace {

using testing::ExpectBalancedUses;

class Range : public ::testing::Test {
 protected:
  IXLSWorkbook book = TXLSWorkbook::Create();
  IXLSWorksheet* sheet = book->GetWorksheets().Add();

  static void ExpectCorners(const IXLSRange& r, int r1, int c1, int r2, int c2) {
    EXPECT_EQ(r->GetFirstRow(), r1);
    EXPECT_EQ(r->GetFirstCol(), c1);
    EXPECT_EQ(r->GetLastRow(), r2);
    EXPECT_EQ(r->GetLastCol(), c2);
  }
};

TEST_F(Range, CornersAreOrdered) {
  ExpectCorners(sheet->GetRange(u"A1", u"B3"), 0, 0, 2, 1);
  ExpectCorners(sheet->GetRange(u"B3", u"A1"), 0, 0, 2, 1);
  ExpectCorners(sheet->GetRange(u"c2", u"a5"), 1, 0, 4, 2);
  ExpectCorners(sheet->GetRange(u"IV65536", u"A1"), 0, 0, 65535, 255);
  ExpectCorners(sheet->GetRange(u"nonsense", u"B2"), 0, 0, 1, 1);  // a bad text counts as A1
  ExpectCorners(sheet->GetRangeRC(0, 0, 70000, 300), 0, 0, 65535, 255);
  ExpectCorners(sheet->GetRangeRC(3, 4, 1, 2), 0, 1, 2, 3);
  ExpectCorners(sheet->GetCells(), 0, 0, 65535, 255);
  IXLSRange r = sheet->GetRange(u"B2", u"C4");
  EXPECT_EQ(r->GetRow(), 2);
  EXPECT_EQ(r->GetColumn(), 2);
  EXPECT_EQ(r->GetCount(), 6);
  EXPECT_EQ(r->GetWorksheet(), sheet);
}

TEST_F(Range, ItemAccessAndItsBounds) {
  IXLSRange r = sheet->GetRange(u"A1", u"B3");
  ExpectCorners(r->GetItem(1, 1), 0, 0, 0, 0);
  ExpectCorners(r->GetItem(5, 4), 4, 3, 4, 3);  // need not lie inside the range
  EXPECT_THROW(r->GetItem(0, 1), std::runtime_error);
  ExpectCorners(sheet->GetRange(u"B2")->GetItem(0, 0), 0, 0, 0, 0);
  IXLSRange all = sheet->GetCells();
  ExpectCorners(all->GetItem(65536, 256), 65535, 255, 65535, 255);
  try {
    all->GetItem(65537, 1);
    FAIL() << "no exception";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "Invalid row/column index");
  }
  // Mended: positions past the last row or column raise instead of wrapping to row 1 / A.
  EXPECT_THROW(all->GetItem(1, 257), std::runtime_error);
  EXPECT_THROW(sheet->GetRange(u"IV1")->GetItem(1, 2), std::runtime_error);
  EXPECT_THROW(sheet->GetRange(u"A1", u"A3").Item(70000), std::runtime_error);
  EXPECT_THROW(sheet->GetRange(u"A1", u"C1").Item(1).Item(300), std::runtime_error);
  EXPECT_THROW(sheet->GetRange(u"A65536")->GetOffset(1, 0), std::runtime_error);
  EXPECT_THROW(sheet->GetRange(u"A1", u"B2")->SetPosition(65535, 0), std::runtime_error);
  EXPECT_THROW(sheet->GetRangeRC(0, 0, 0, 0)->GetOffset(0, -1), std::runtime_error);
}

TEST_F(Range, FourViewsCountAndItem) {
  IXLSRange r = sheet->GetRange(u"B2", u"C4");  // 3 rows, 2 columns
  EXPECT_EQ(r.Count(), 3);
  EXPECT_EQ(r->GetRows().Count(), 3);
  EXPECT_EQ(r->GetColumns().Count(), 2);
  IXLSRowItemRange row2 = r.Item(2);
  EXPECT_EQ(row2.Count(), 2);
  ExpectCorners(IXLSRange(row2.Object()), 2, 1, 2, 2);
  ExpectCorners(row2.Item(2), 2, 2, 2, 2);  // cell (2, 2) of the range: C3
  ExpectCorners(r->GetColumns().Item(2), 1, 2, 3, 2);
  ExpectCorners(IXLSRange(r->GetRows().Item(3).Object()), 3, 1, 3, 2);
  EXPECT_EQ(r->GetRows().Object(), r.Object());  // the same object, another view
  EXPECT_EQ(r->GetCells().Object(), r.Object());
  ExpectCorners(IXLSRange(r->GetEntireRow().Object()), 1, 0, 3, 255);
  ExpectCorners(IXLSRange(r->GetEntireColumn().Object()), 0, 1, 65535, 2);
  EXPECT_EQ(r->GetEntireColumn().Count(), 2);
  EXPECT_EQ(r->GetEntireRow().Count(), 3);
}

TEST_F(Range, HiddenFlagFollowsTheView) {
  IXLSRange r = sheet->GetRange(u"B2", u"C3");
  r.SetHidden(Variant(true));  // IXLSRange: the columns
  EXPECT_TRUE(sheet->ColumnInfo().IsHidden(1));
  EXPECT_TRUE(sheet->ColumnInfo().IsHidden(2));
  EXPECT_FALSE(sheet->RowInfo().IsHidden(1));
  r->GetRows().SetHidden(Variant(true));
  EXPECT_TRUE(sheet->RowInfo().IsHidden(1));
  EXPECT_TRUE(sheet->RowInfo().IsHidden(2));
  Variant flags = r->GetColumns().GetHidden();
  ASSERT_TRUE(flags.IsArray());
  EXPECT_EQ(*flags.ArrayValue()->At(1), Variant(true));
  r->GetColumns().Item(1).SetHidden(Variant(false));
  EXPECT_FALSE(sheet->ColumnInfo().IsHidden(1));
  EXPECT_EQ(r->GetColumns().Item(2).GetHidden(), Variant(true));
}

TEST_F(Range, OffsetIsANewRangeEachTime) {
  IXLSRange r = sheet->GetRange(u"B2", u"C3");
  IXLSRange once = r->GetOffset(1, 0);
  IXLSRange twice = r->GetOffset(1, 0);
  EXPECT_NE(once.Object(), twice.Object());
  ExpectCorners(once, 2, 1, 3, 2);
  ExpectCorners(twice, 2, 1, 3, 2);
  ExpectCorners(r, 1, 1, 2, 2);
  ExpectCorners(r->GetOffset(-1, 2), 0, 3, 1, 4);
  ExpectCorners(once, 2, 1, 3, 2);  // an earlier result never moves
  r->SetPosition(10, 10);
  ExpectCorners(r, 10, 10, 11, 11);
}

TEST_F(Range, ScalarValueFillsEveryCell) {
  IXLSRange r = sheet->GetRange(u"A1", u"B2");
  r->SetValue(Variant());
  for (int i = 0; i < 2; ++i) {
    for (int j = 0; j < 2; ++j) EXPECT_NE(sheet->Cells().FindCell(i, j), nullptr);
  }
  r->SetValue(Variant(1.5));
  Variant v = r->GetValue();
  ASSERT_TRUE(v.IsArray());
  EXPECT_EQ(v.ArrayValue()->Dimensions(), 2);
  EXPECT_EQ(*v.ArrayValue()->At(1, 1), Variant(1.5));
  Variant sparse = sheet->GetRange(u"B2", u"C3")->GetValue();
  EXPECT_TRUE(sparse.ArrayValue()->At(1, 1)->IsEmpty());
  EXPECT_TRUE(sheet->GetRange(u"Z9")->GetValue().IsEmpty());
}

TEST_F(Range, OneDimensionalArraysRunAcrossColumns) {
  Variant a = Variant::Array1(3, 1);
  *a.ArrayValue()->At(1) = Variant(1.0);
  *a.ArrayValue()->At(2) = Variant(u"two");
  *a.ArrayValue()->At(3) = Variant(true);
  sheet->GetRange(u"A1", u"E2")->SetValue(a);
  for (const char16_t* row : {u"1", u"2"}) {
    auto at = [&](const char16_t* col) { return sheet->GetRange(std::u16string(col) + row)->GetValue(); };
    EXPECT_EQ(at(u"A"), Variant(1.0));
    EXPECT_EQ(at(u"B"), Variant(u"two"));
    EXPECT_EQ(at(u"C"), Variant(true));
    EXPECT_EQ(at(u"D"), Variant(u"#N/D"));
    EXPECT_EQ(at(u"E"), Variant(u"#N/D"));
  }
  Variant one = Variant::Array1(1);
  *one.ArrayValue()->At(0) = Variant(9.0);
  sheet->GetRange(u"G1", u"H3")->SetValue(one);
  EXPECT_EQ(sheet->GetRange(u"H3")->GetValue(), Variant(9.0));
}

TEST_F(Range, TwoDimensionalArraysAndOddShapes) {
  Variant a = Variant::Array2(2, 1);
  *a.ArrayValue()->At(0, 0) = Variant(u"r1");
  *a.ArrayValue()->At(1, 0) = Variant(u"r2");
  sheet->GetRange(u"A1", u"C3")->SetValue(a);
  EXPECT_EQ(sheet->GetRange(u"A1")->GetValue(), Variant(u"r1"));
  EXPECT_EQ(sheet->GetRange(u"C2")->GetValue(), Variant(u"r2"));
  EXPECT_EQ(sheet->GetRange(u"B3")->GetValue(), Variant(u"#N/D"));
  // Element texts follow the cell rules: a formula element is a formula, a quoted one text.
  Variant b = Variant::Array2(1, 2);
  *b.ArrayValue()->At(0, 0) = Variant(u"=A1");
  *b.ArrayValue()->At(0, 1) = Variant(u"'=A1");
  EXPECT_EQ(sheet->GetRange(u"E1", u"F1")->SetValue(b), 1);
  EXPECT_EQ(sheet->GetRange(u"F1")->GetValue(), Variant(u"=A1"));
  EXPECT_EQ(sheet->GetRange(u"E1")->GetFormula(), Variant(u"=A1"));
  EXPECT_EQ(sheet->GetRange(u"E1")->GetValue(), Variant(u"r1"));
  // Reading back a block gives the [row, column] array the block was written from.
  Variant block = Variant::Array2(2, 2);
  *block.ArrayValue()->At(0, 1) = Variant(2.0);
  *block.ArrayValue()->At(1, 0) = Variant(u"x");
  sheet->GetRange(u"H1", u"I2")->SetValue(block);
  EXPECT_EQ(sheet->GetRange(u"H1", u"I2")->GetValue(), block);
  ExpectBalancedUses(*book);
}

TEST_F(Range, UsedRange) {
  EXPECT_EQ(sheet->GetUsedRange()->GetCount(), 1);
  ExpectCorners(sheet->GetUsedRange(), 0, 0, 0, 0);
  sheet->GetRange(u"C5")->SetValue(Variant(1.0));
  ExpectCorners(sheet->GetUsedRange(), 4, 2, 4, 2);
  sheet->GetRange(u"E2")->SetValue(Variant(1.0));
  ExpectCorners(sheet->GetUsedRange(), 1, 2, 4, 4);
}

TEST_F(Range, MergedAreas) {
  IXLSRange area = sheet->GetRange(u"A1", u"B2");
  area->SetValue(Variant(u"v"));
  area->Merge();
  EXPECT_TRUE(area->GetMergeCells());
  EXPECT_EQ(sheet->GetRange(u"A1")->GetValue(), Variant(u"v"));
  EXPECT_TRUE(sheet->GetRange(u"B2")->GetValue().IsEmpty());  // not the master
  sheet->GetRange(u"B1")->SetValue(Variant(u"ignored"));
  EXPECT_TRUE(sheet->GetRange(u"B1")->GetValue().IsEmpty());
  ExpectCorners(sheet->GetRange(u"B2")->GetMergeArea(), 0, 0, 1, 1);
  ExpectCorners(sheet->GetRange(u"D4")->GetMergeArea(), 3, 3, 3, 3);
  // Formatting the area changes the master only.
  area->GetFont()->SetBold(true);
  EXPECT_TRUE(sheet->GetRange(u"A1")->GetFont()->GetBold());
  EXPECT_FALSE(sheet->GetRange(u"B1")->GetFont()->GetBold());
  // Merging a cell of an area grows to the whole area.
  IXLSRange b1 = sheet->GetRange(u"B1");
  b1->Merge();
  ExpectCorners(b1, 0, 0, 1, 1);
  sheet->GetRange(u"B2")->UnMerge();
  EXPECT_FALSE(area->GetMergeCells());
  ExpectBalancedUses(*book);
}

TEST_F(Range, ClearingTheMasterDissolvesTheArea) {
  IXLSRange area = sheet->GetRange(u"B2", u"C3");
  area->SetValue(Variant(u"v"));
  area->Merge();
  // Deleting the master frees it: no member may still point at it.
  sheet->Cells().DeleteCell(1, 1);
  EXPECT_FALSE(sheet->Cells().FindCell(2, 2)->Merged());
  EXPECT_TRUE(sheet->GetRange(u"C3")->GetValue().IsEmpty());
  sheet->GetRange(u"C3")->SetValue(Variant(1.0));  // an ordinary cell again
  EXPECT_EQ(sheet->GetRange(u"C3")->GetValue(), Variant(1.0));

  IXLSRange other = sheet->GetRange(u"E1", u"F1");
  other->Merge();
  sheet->GetRange(u"E1")->Clear();
  EXPECT_FALSE(sheet->Cells().FindCell(0, 5)->Merged());
  IXLSRange third = sheet->GetRange(u"H1", u"H2");
  third->Merge();
  sheet->GetRange(u"H1", u"H2")->ClearContents();  // contents only: the area stays
  EXPECT_TRUE(third->GetMergeCells());
  ExpectBalancedUses(*book);
}

TEST_F(Range, HasFormulaIsFalseWithoutFormulas) {
  sheet->GetRange(u"A1", u"C3")->SetValue(Variant(u"text"));
  EXPECT_FALSE(sheet->GetCells()->GetHasFormula());
  EXPECT_FALSE(sheet->GetRange(u"Q7")->GetHasFormula());
}

}  // namespace
}  // namespace xls

namespace xls {
namespace {

class RangeOps : public ::testing::Test {
 protected:
  IXLSWorkbook book = TXLSWorkbook::Create();
  IXLSWorksheet* sheet = book->GetWorksheets().Add();
  Variant At(const char16_t* a1) { return sheet->GetRange(a1)->GetValue(); }
};

TEST_F(RangeOps, CopyRepeatsTheSource) {
  sheet->GetRange(u"A1")->SetValue(Variant(1.0));
  sheet->GetRange(u"A2")->SetValue(Variant(u"two"));
  sheet->GetRange(u"A2")->GetFont()->SetBold(true);
  sheet->GetRange(u"A1", u"A2")->Copy(sheet->GetRange(u"C1", u"C6"));
  for (const char16_t* odd : {u"C1", u"C3", u"C5"}) EXPECT_EQ(At(odd), Variant(1.0));
  for (const char16_t* even : {u"C2", u"C4", u"C6"}) {
    EXPECT_EQ(At(even), Variant(u"two"));
    EXPECT_TRUE(sheet->GetRange(even)->GetFont()->GetBold());
  }
  EXPECT_EQ(At(u"A2"), Variant(u"two"));  // a copy keeps its source
  testing::ExpectBalancedUses(*book);
}

TEST_F(RangeOps, CutOverlappingToTheRight) {
  sheet->GetRange(u"A1")->SetValue(Variant(u"a"));
  sheet->GetRange(u"B1")->SetValue(Variant(u"b"));
  sheet->GetRange(u"A1", u"B1")->Cut(sheet->GetRange(u"B1", u"C1"));
  EXPECT_EQ(sheet->Cells().FindCell(0, 0), nullptr);
  EXPECT_EQ(At(u"B1"), Variant(u"a"));
  EXPECT_EQ(At(u"C1"), Variant(u"b"));
  // And back to the left, over the overlap the other way.
  sheet->GetRange(u"B1", u"C1")->Cut(sheet->GetRange(u"A1", u"B1"));
  EXPECT_EQ(At(u"A1"), Variant(u"a"));
  EXPECT_EQ(At(u"B1"), Variant(u"b"));
  EXPECT_EQ(sheet->Cells().FindCell(0, 2), nullptr);
  testing::ExpectBalancedUses(*book);
}

TEST_F(RangeOps, CuttingAMergedAreaMovesItWhole) {
  IXLSRange area = sheet->GetRange(u"A1", u"B2");
  area->SetValue(Variant(u"m"));
  area->Merge();
  area->Cut(sheet->GetRange(u"D4", u"E5"));
  // The source master went: nothing may refer to it, and the area lives on at D4.
  for (int r = 0; r < 2; ++r) {
    for (int c = 0; c < 2; ++c) EXPECT_EQ(sheet->Cells().FindCell(r, c), nullptr);
  }
  EXPECT_EQ(At(u"D4"), Variant(u"m"));
  EXPECT_TRUE(sheet->GetRange(u"D4", u"E5")->GetMergeCells());
  sheet->GetRange(u"E5")->SetValue(Variant(u"x"));  // a member takes no value
  EXPECT_TRUE(At(u"E5").IsEmpty());
  testing::ExpectBalancedUses(*book);
}

TEST_F(RangeOps, CopyBetweenWorkbooksWithWidths) {
  sheet->GetRange(u"B1")->SetValue(Variant(u"w"));
  sheet->ColumnInfo().SetColumnWidth(1, 20);
  IXLSWorkbook other = TXLSWorkbook::Create();
  IXLSWorksheet* dst = other->GetWorksheets().Add();
  sheet->GetRange(u"B1")->CopyTo(dst->GetRange(u"D2"), 23 | 4);
  EXPECT_EQ(dst->GetRange(u"D2")->GetValue(), Variant(u"w"));
  EXPECT_EQ(dst->ColumnInfo().GetColumnWidth(3), 20);
  testing::ExpectBalancedUses(*other);
}

TEST_F(RangeOps, ExpandShrinkAndSelect) {
  sheet->GetRange(u"B2", u"C3")->Merge();
  IXLSRange r = sheet->GetRange(u"C3", u"D4");
  r->ExpandToMergedAreas();
  EXPECT_EQ(r->GetFirstRow(), 1);
  EXPECT_EQ(r->GetFirstCol(), 1);
  IXLSRange s = sheet->GetRange(u"C3", u"E5");
  s->ShrinkToMergedAreas();
  EXPECT_EQ(s->GetFirstCol(), 3);  // moved right of the area
  EXPECT_EQ(s->GetFirstRow(), 2);
  IXLSRange inside = sheet->GetRange(u"C3");
  inside->ShrinkToMergedAreas();  // would become empty: unchanged
  EXPECT_EQ(inside->GetFirstCol(), 2);
  sheet->GetRange(u"C2")->Select();
  EXPECT_EQ(sheet->GetSelection()->GetFirstRow(), 1);
  EXPECT_EQ(sheet->GetSelection()->GetLastCol(), 2);
}

TEST_F(RangeOps, OutlineLevels) {
  IXLSRange rows = sheet->GetRange(u"A2", u"A4");
  rows->Group(true);
  EXPECT_EQ(rows->GetRowOutlineLevel(), 2);
  EXPECT_EQ(sheet->RowInfo().GetOutlineLevel(3), 2);
  rows->SetRowOutlineLevel(8);
  rows->Group(true);
  EXPECT_EQ(rows->GetRowOutlineLevel(), 8);
  rows->Ungroup(true);
  EXPECT_EQ(rows->GetRowOutlineLevel(), 7);
  rows->Group(false);
  EXPECT_EQ(rows->GetColumnOutlineLevel(), 2);
  rows->ClearOutline();
  EXPECT_EQ(rows->GetRowOutlineLevel(), 1);
  EXPECT_EQ(rows->GetColumnOutlineLevel(), 1);
}

}  // namespace
}  // namespace xls

namespace xls {
namespace {

class RangeShift : public ::testing::Test {
 protected:
  IXLSWorkbook book = TXLSWorkbook::Create();
  IXLSWorksheet* sheet = book->GetWorksheets().Add();
  Variant At(const char16_t* a1) { return sheet->GetRange(a1)->GetValue(); }
  void Put(const char16_t* a1, double v) { sheet->GetRange(a1)->SetValue(Variant(v)); }
};

TEST_F(RangeShift, InsertWholeRowsMovesCellsAndSettings) {
  Put(u"A1", 1);
  Put(u"A2", 2);
  Put(u"C3", 3);
  sheet->RowInfo().SetRowHeight(2, 30);
  sheet->GetRange(u"A1", u"IV1")->GetFont()->SetBold(true);  // row 1 gets a style
  EXPECT_EQ(sheet->GetRange(u"A2", u"IV2")->Insert(), Variant(true));
  EXPECT_EQ(At(u"A1"), Variant(1.0));
  EXPECT_TRUE(At(u"A2").IsEmpty());
  EXPECT_EQ(At(u"A3"), Variant(2.0));
  EXPECT_EQ(At(u"C4"), Variant(3.0));
  EXPECT_EQ(sheet->RowInfo().GetRowHeight(3), 30);  // the height went with its row
  EXPECT_EQ(sheet->RowInfo().GetRowHeight(2), 12.75);
  EXPECT_TRUE(sheet->GetRange(u"F2")->GetFont()->GetBold());  // the row above's style
  testing::ExpectBalancedUses(*book);
}

TEST_F(RangeShift, DeleteWholeRowsAndColumns) {
  Put(u"A1", 1);
  Put(u"A2", 2);
  Put(u"A3", 3);
  sheet->RowInfo().SetRowHeight(2, 30);
  sheet->GetRange(u"A2", u"IV2")->Delete();
  EXPECT_EQ(At(u"A2"), Variant(3.0));
  EXPECT_TRUE(At(u"A3").IsEmpty());
  EXPECT_EQ(sheet->RowInfo().GetRowHeight(1), 30);
  EXPECT_EQ(sheet->Cells().LastRow(), 1);
  Put(u"B1", 5);
  Put(u"C1", 6);
  sheet->ColumnInfo().SetColumnWidth(2, 20);
  sheet->GetRange(u"B1", u"B65536")->Delete();  // whole column: shifts left
  EXPECT_EQ(At(u"B1"), Variant(6.0));
  EXPECT_EQ(sheet->ColumnInfo().GetColumnWidth(1), 20);
  EXPECT_EQ(sheet->ColumnInfo().GetEntry(2), nullptr);
  testing::ExpectBalancedUses(*book);
}

TEST_F(RangeShift, CellsShiftInTheChosenDirection) {
  Put(u"A1", 1);
  Put(u"A3", 3);
  Put(u"B1", 10);
  Put(u"B3", 30);
  sheet->GetRange(u"A1", u"B2")->Delete();  // ordinary range: up
  EXPECT_EQ(At(u"A1"), Variant(3.0));
  EXPECT_EQ(At(u"B1"), Variant(30.0));
  sheet->GetRange(u"A1")->Insert(Variant(-4161));  // right
  EXPECT_TRUE(At(u"A1").IsEmpty());
  EXPECT_EQ(At(u"B1"), Variant(3.0));
  EXPECT_EQ(At(u"C1"), Variant(30.0));
  sheet->GetRange(u"A1")->Delete(Variant(-4159));  // left again
  EXPECT_EQ(At(u"A1"), Variant(3.0));
  sheet->GetRange(u"B1")->Insert(Variant(-4121));  // down in column B only
  EXPECT_EQ(At(u"B2"), Variant(30.0));
  EXPECT_EQ(At(u"A1"), Variant(3.0));
  testing::ExpectBalancedUses(*book);
}

TEST_F(RangeShift, NothingIsPushedOffTheSheet) {
  Put(u"A65536", 9);
  sheet->GetRange(u"A1", u"IV1")->Insert();
  EXPECT_EQ(At(u"A65536"), Variant(9.0));
  EXPECT_EQ(sheet->Cells().LastRow(), 65535);
  Put(u"IV1", 8);
  sheet->GetRange(u"A1", u"A65536")->Insert();
  EXPECT_EQ(At(u"IV1"), Variant(8.0));
}

TEST_F(RangeShift, MergedAreasTravelOrDissolve) {
  IXLSRange below = sheet->GetRange(u"B5", u"C6");
  below->SetValue(Variant(u"m"));
  below->Merge();
  IXLSRange across = sheet->GetRange(u"E1", u"E3");
  across->Merge();
  sheet->GetRange(u"A2", u"IV2")->Insert();
  EXPECT_TRUE(sheet->GetRange(u"B6", u"C7")->GetMergeCells());  // moved whole
  EXPECT_EQ(At(u"B6"), Variant(u"m"));
  EXPECT_FALSE(sheet->GetRange(u"E1")->GetMergeCells());  // cut by the new row
  EXPECT_FALSE(sheet->GetRange(u"E4")->GetMergeCells());
  testing::ExpectBalancedUses(*book);
}

}  // namespace
}  // namespace xls
