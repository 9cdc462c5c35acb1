// The cell store's page tree and bounds, cell values and their round trips, clearing and
// copying by mask, and the balance of format and string uses.
#include <gtest/gtest.h>

#include "model_test_util.h"
#include "xls/model/cell_address.h"
#include "xls/model/cell_value.h"
#include "xls/model/range.h"

namespace xls {
namespace {

using testing::ExpectBalancedUses;

class CellStore : public ::testing::Test {
 protected:
  IXLSWorkbook book = TXLSWorkbook::Create();
  IXLSWorksheet* sheet = book->GetWorksheets().Add();
  TXLSCellHeap& heap = sheet->Cells();

  void ExpectBounds(int r1, int c1, int r2, int c2) {
    EXPECT_EQ(heap.FirstRow(), r1);
    EXPECT_EQ(heap.FirstColumn(), c1);
    EXPECT_EQ(heap.LastRow(), r2);
    EXPECT_EQ(heap.LastColumn(), c2);
    EXPECT_EQ(heap.RowCount(), heap.Empty() ? 0 : r2 - r1 + 1);
    EXPECT_EQ(heap.ColumnCount(), heap.Empty() ? 0 : c2 - c1 + 1);
  }
};

TEST_F(CellStore, BoundsFollowEveryCellThatComesAndGoes) {
  EXPECT_EQ(heap.RowCount(), 0);
  heap.GetOrCreateCell(5, 3);
  ExpectBounds(5, 3, 5, 3);
  heap.GetOrCreateCell(9, 1);
  heap.GetOrCreateCell(7, 200);
  heap.GetOrCreateCell(65535, 255);
  ExpectBounds(5, 1, 65535, 255);
  EXPECT_EQ(sheet->RowInfo().Find(7)->firstUsedColumn, 200);
  heap.DeleteCell(65535, 255);
  ExpectBounds(5, 1, 9, 200);
  heap.DeleteCell(9, 1);
  ExpectBounds(5, 3, 7, 200);
  heap.DeleteCell(7, 200);
  ExpectBounds(5, 3, 5, 3);
  heap.DeleteCell(5, 3);
  ExpectBounds(0, 0, 0, 0);
  EXPECT_EQ(heap.RowCount(), 0);
  EXPECT_TRUE(sheet->RowInfo().Empty());  // plain rows leave no entries behind
  heap.DeleteCell(5, 3);                   // nothing there: nothing happens
}

TEST_F(CellStore, RowEndsAndColumnBoundsScanTheirNeighbours) {
  heap.GetOrCreateCell(0, 2);
  heap.GetOrCreateCell(0, 5);
  heap.GetOrCreateCell(0, 9);
  heap.GetOrCreateCell(1, 2);
  heap.DeleteCell(0, 2);
  EXPECT_EQ(sheet->RowInfo().Find(0)->firstUsedColumn, 5);
  EXPECT_EQ(heap.FirstColumn(), 2);  // row 1 still uses column 2
  heap.DeleteCell(0, 9);
  EXPECT_EQ(sheet->RowInfo().Find(0)->lastUsedColumn, 5);
  EXPECT_EQ(heap.LastColumn(), 5);
  heap.DeleteCell(1, 2);
  ExpectBounds(0, 5, 0, 5);
}

TEST_F(CellStore, RowWithSettingsKeepsItsEntryWhenItsLastCellGoes) {
  sheet->RowInfo().SetRowHeight(4, 30);
  heap.GetOrCreateCell(4, 4);
  heap.DeleteCell(4, 4);
  ASSERT_NE(sheet->RowInfo().Find(4), nullptr);
  EXPECT_EQ(sheet->RowInfo().Find(4)->firstUsedColumn, -1);
  EXPECT_EQ(sheet->RowInfo().Find(4)->lastUsedColumn, -1);
  EXPECT_EQ(sheet->RowInfo().GetRowHeight(4), 30);
}

TEST_F(CellStore, NewCellsTakeTheFormatTheyShowedAndCountIt) {
  TXLSXFList& xfs = book->XFList();
  std::int32_t bold = xfs.SetFontBold(15, true, false);
  sheet->RowInfo().SetRowXF(3, bold);  // the row's style counts one use
  EXPECT_EQ(xfs.GetUseCount(bold), 2);
  TXLSCellRef* cell = heap.GetOrCreateCell(3, 7);
  EXPECT_EQ(cell->XF(), bold);
  EXPECT_EQ(xfs.GetUseCount(bold), 3);
  heap.DeleteCell(3, 7);
  EXPECT_EQ(xfs.GetUseCount(bold), 2);
  EXPECT_EQ(heap.GetOrCreateCell(2, 7)->XF(), 15);
}

TEST_F(CellStore, PutCellReplacesAndDetachHandsOver) {
  TXLSCellRef* a = heap.GetOrCreateCell(1, 1);
  TXLSCellRef::SetValue(*a, *sheet, Variant(u"old"));
  std::int32_t index = a->StringIndex();
  auto fresh = std::make_unique<TXLSCellRef>(0, 0);
  fresh->SetKind(kCellNumber);
  fresh->SetNumber(4);
  heap.PutCell(1, 1, std::move(fresh));
  EXPECT_EQ(book->StringTable().GetUseCount(index), 0);  // the old cell's string went with it
  TXLSCellRef* now = heap.FindCell(1, 1);
  ASSERT_NE(now, nullptr);
  EXPECT_EQ(now->Row(), 1);
  EXPECT_EQ(now->Column(), 1);
  EXPECT_EQ(now->Value(), 4);
  std::unique_ptr<TXLSCellRef> taken = heap.DetachCell(1, 1);
  ASSERT_NE(taken, nullptr);
  EXPECT_EQ(taken->Value(), 4);
  EXPECT_EQ(heap.FindCell(1, 1), nullptr);
  EXPECT_EQ(heap.RowCount(), 0);
}

TEST_F(CellStore, MoveCellKeepsValueAndDropsPointlessBlanks) {
  TXLSCellRef* a = heap.GetOrCreateCell(0, 0);
  TXLSCellRef::SetValue(*a, *sheet, Variant(2.5));
  heap.MoveCell(0, 0, 10, 3, false);
  EXPECT_EQ(heap.FindCell(0, 0), nullptr);
  ASSERT_NE(heap.FindCell(10, 3), nullptr);
  EXPECT_EQ(heap.FindCell(10, 3)->Value(), 2.5);
  heap.GetOrCreateCell(1, 1);  // blank with the column's format
  heap.MoveCell(1, 1, 2, 1, false);
  EXPECT_EQ(heap.FindCell(1, 1), nullptr);
  EXPECT_EQ(heap.FindCell(2, 1), nullptr);
  ExpectBalancedUses(*book);
}

TEST_F(CellStore, ValuesRoundTripEveryKind) {
  IXLSRange a1 = sheet->GetRange(u"A1");
  const Variant values[] = {Variant(3.25),
                            Variant(u"text"),
                            Variant(true),
                            Variant(false),
                            Variant::Date(45292.5),
                            Variant::Error(7),
                            Variant::Error(42)};
  for (const Variant& v : values) {
    EXPECT_EQ(a1->SetValue(v), 1);
    EXPECT_EQ(a1->GetValue(), v) << static_cast<int>(v.Type());
  }
  a1->SetValue(Variant(7));  // integers of every width become numbers
  EXPECT_EQ(a1->GetValue(), Variant(7.0));
  a1->SetValue(Variant::FromInteger(-5, VarType::Int64));
  EXPECT_EQ(a1->GetValue(), Variant(-5.0));
  a1->SetValue(Variant::FromAnsi("ansi"));
  EXPECT_EQ(a1->GetValue(), Variant(u"ansi"));
  a1->SetValue(Variant());
  EXPECT_TRUE(a1->GetValue().IsEmpty());
  ASSERT_NE(heap.FindCell(0, 0), nullptr);  // a blank cell stays
  a1->SetValue(Variant::Null());
  EXPECT_TRUE(a1->GetValue().IsEmpty());
  ExpectBalancedUses(*book);
}

TEST_F(CellStore, EarlyDatesReadBackAsStored) {
  IXLSRange a1 = sheet->GetRange(u"A1");
  // 1899-12-30 (0), a time alone, 1899-12-31, 1900-01-01, 1900-02-28, 1900-03-01 and a
  // date before the serials begin.
  for (double d : {0.0, 0.75, 1.0, 2.0, 60.0, 60.5, 61.0, -10.25}) {
    a1->SetValue(Variant::Date(d));
    EXPECT_EQ(a1->GetValue(), Variant::Date(d)) << d;
  }
  // The number a file stores is the 1900-system serial.
  a1->SetValue(Variant::Date(2.0));
  EXPECT_EQ(heap.FindCell(0, 0)->SerialValue(), DateTimeToSerial(2.0));
  a1->SetValue(Variant::Date(45000.0));
  EXPECT_EQ(heap.FindCell(0, 0)->SerialValue(), 45000.0);
}

TEST_F(CellStore, NumbersInDateFormatsReadAsDates) {
  IXLSRange a1 = sheet->GetRange(u"A1");
  a1->SetNumberFormat(u"dd/mm/yyyy");
  a1->SetValue(Variant(45000.0));
  EXPECT_EQ(a1->GetValue(), Variant::Date(45000.0));
  EXPECT_EQ(a1->GetFormula(), Variant(45000.0));
  a1->SetValue(Variant(59.0));  // serial 59 is 1900-02-28, the date value 60
  EXPECT_EQ(a1->GetValue(), Variant::Date(60.0));
}

TEST_F(CellStore, TextRules) {
  IXLSRange a1 = sheet->GetRange(u"A1");
  a1->SetValue(Variant(u"'=literal"));
  EXPECT_EQ(a1->GetValue(), Variant(u"=literal"));
  // A text beginning with "=" is a formula; one that does not compile stays text.
  EXPECT_EQ(a1->SetValue(Variant(u"=1+2")), 1);
  EXPECT_EQ(a1->GetFormula(), Variant(u"=1+2"));
  EXPECT_EQ(a1->GetValue().NumberValue(), 3);
  EXPECT_EQ(a1->SetValue(Variant(u"=1+")), 1);
  EXPECT_EQ(a1->GetValue(), Variant(u"=1+"));
  a1->SetValue(Variant(u"'=literal"));
  EXPECT_FALSE(a1->GetWrapText().BooleanValue());
  a1->SetValue(Variant(u"two\nlines"));
  EXPECT_TRUE(a1->GetWrapText().BooleanValue());
  EXPECT_FALSE(sheet->GetRange(u"A2")->GetWrapText().BooleanValue());
  std::int32_t index = heap.FindCell(0, 0)->StringIndex();
  a1->SetValue(Variant(u""));
  EXPECT_EQ(heap.FindCell(0, 0)->Kind(), kCellBlank);
  EXPECT_EQ(book->StringTable().GetUseCount(index), 0);
  // Equal texts share one string.
  sheet->GetRange(u"B1", u"B3")->SetValue(Variant(u"same"));
  EXPECT_EQ(book->StringTable().GetUseCount(heap.FindCell(0, 1)->StringIndex()), 3);
  ExpectBalancedUses(*book);
}

TEST_F(CellStore, ClearCellByMask) {
  IXLSRange b2 = sheet->GetRange(u"B2");
  b2->SetValue(Variant(u"v"));
  b2->GetFont()->SetBold(true);
  ClearCell(1, 1, *sheet, kMaskContents, 0);
  EXPECT_TRUE(b2->GetValue().IsEmpty());
  EXPECT_TRUE(b2->GetFont()->GetBold());
  ClearCell(1, 1, *sheet, kMaskFormats, 0);
  EXPECT_EQ(heap.FindCell(1, 1)->XF(), 0);
  EXPECT_FALSE(b2->GetFont()->GetBold());
  b2->SetValue(Variant(1.0));
  ClearCell(1, 1, *sheet, kMaskAll, 0);
  EXPECT_EQ(heap.FindCell(1, 1), nullptr);
  ClearCell(70000, 1, *sheet, kMaskAll, 0);  // outside the sheet: nothing

  // Clearing the formats of a missing cell in a styled row leaves a cell with XF 0.
  sheet->RowInfo().SetRowXF(5, 20);
  ClearCell(5, 0, *sheet, kMaskFormats, 0);
  ASSERT_NE(heap.FindCell(5, 0), nullptr);
  EXPECT_EQ(heap.FindCell(5, 0)->XF(), 0);
  ClearCell(6, 0, *sheet, kMaskFormats, 0);  // nothing to hide there
  EXPECT_EQ(heap.FindCell(6, 0), nullptr);
  ExpectBalancedUses(*book);
}

TEST_F(CellStore, CopyCellWithinAndBetweenWorkbooks) {
  IXLSRange a1 = sheet->GetRange(u"A1");
  a1->SetValue(Variant(u"copied"));
  a1->GetFont()->SetItalic(true);
  CopyCell(0, 0, *sheet, 4, 4, *sheet, kMaskAll);
  IXLSRange e5 = sheet->GetRange(u"E5");
  EXPECT_EQ(e5->GetValue(), Variant(u"copied"));
  EXPECT_TRUE(e5->GetFont()->GetItalic());
  EXPECT_EQ(book->StringTable().GetUseCount(heap.FindCell(0, 0)->StringIndex()), 2);
  CopyCell(0, 0, *sheet, 4, 4, *sheet, kMaskAll);  // again: nothing doubles
  ExpectBalancedUses(*book);

  // Copying from an empty position clears the destination.
  CopyCell(9, 9, *sheet, 4, 4, *sheet, kMaskAll);
  EXPECT_TRUE(e5->GetValue().IsEmpty());
  ExpectBalancedUses(*book);

  IXLSWorkbook other = TXLSWorkbook::Create();
  IXLSWorksheet* dst = other->GetWorksheets().Add();
  CopyCell(0, 0, *sheet, 0, 0, *dst, kMaskAll);
  EXPECT_EQ(dst->GetRange(u"A1")->GetValue(), Variant(u"copied"));
  EXPECT_TRUE(dst->GetRange(u"A1")->GetFont()->GetItalic());
  ExpectBalancedUses(*other);
  ExpectBalancedUses(*book);
}

TEST_F(CellStore, UsesBalanceAfterSetCopyClearAndDelete) {
  IXLSRange block = sheet->GetRange(u"A1", u"D4");
  block->SetValue(Variant(u"x"));
  block->GetFont()->SetBold(true);
  sheet->GetRange(u"B2", u"C3")->GetInterior()->SetColorIndex(6);
  sheet->GetRange(u"C1", u"C65536")->SetNumberFormat(u"0.00");
  sheet->GetRange(u"A3", u"IV3")->GetFont()->SetItalic(true);
  ExpectBalancedUses(*book);
  for (int r = 0; r < 4; ++r) CopyCell(r, 0, *sheet, r + 10, 6, *sheet, kMaskAll);
  ExpectBalancedUses(*book);
  sheet->GetRange(u"A1", u"B2")->Clear();
  sheet->GetRange(u"C3", u"D4")->ClearContents();
  ExpectBalancedUses(*book);
  heap.DeleteCell(3, 3);
  heap.DeleteCell(12, 6);
  ExpectBalancedUses(*book);
}

}  // namespace
}  // namespace xls
