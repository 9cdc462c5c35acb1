// Range formatting through the XF list: inheritance, whole rows and columns, alignment,
// orientation, borders read from both sides, sizes, and the font, fill and border objects.
#include <gtest/gtest.h>

#include "model_test_util.h"
#include "xls/model/format_objects.h"

namespace xls {
namespace {

using testing::ExpectBalancedUses;

class RangeFormat : public ::testing::Test {
 protected:
  IXLSWorkbook book = TXLSWorkbook::Create();
  IXLSWorksheet* sheet = book->GetWorksheets().Add();
  TXLSXFList& xfs = book->XFList();
  IXLSRange At(const char16_t* a1) { return sheet->GetRange(a1); }
};

TEST_F(RangeFormat, InheritanceCellThenRowThenColumn) {
  At(u"C1")->GetEntireColumn()->GetFont()->SetItalic(true);
  EXPECT_TRUE(At(u"C9")->GetFont()->GetItalic());  // no cell: the column's style
  EXPECT_EQ(sheet->Cells().FindCell(8, 2), nullptr);
  At(u"A5")->GetEntireRow()->GetFont()->SetBold(true);
  EXPECT_TRUE(At(u"H5")->GetFont()->GetBold());  // the row's style wins over the column's
  EXPECT_TRUE(At(u"C5")->GetFont()->GetBold());
  // The row style would hide the column's italic in C5, so C5 got a cell with both.
  ASSERT_NE(sheet->Cells().FindCell(4, 2), nullptr);
  EXPECT_TRUE(At(u"C5")->GetFont()->GetItalic());
  EXPECT_FALSE(At(u"H5")->GetFont()->GetItalic());
  At(u"H5")->GetFont()->SetSize(14);  // the cell's own format wins over both
  EXPECT_EQ(At(u"H5")->GetFont()->GetSize(), 14);
  EXPECT_TRUE(At(u"H5")->GetFont()->GetBold());
  EXPECT_EQ(At(u"H6")->GetFont()->GetSize(), 10);
  bool own = true;
  EXPECT_EQ(sheet->GetCellXF(4, 9, &own), sheet->GetRowXF(4));
  EXPECT_FALSE(own);
  ExpectBalancedUses(*book);
}

TEST_F(RangeFormat, OneSetterCallForCellsThatShareAFormat) {
  IXLSRange r = At(u"A1");
  r = sheet->GetRange(u"A1", u"C3");
  std::int32_t before = xfs.Count();
  r->GetFont()->SetBold(true);
  EXPECT_EQ(xfs.Count(), before + 1);
  std::int32_t bold = sheet->GetCellXF(0, 0);
  EXPECT_EQ(xfs.GetUseCount(bold), 9);
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) EXPECT_EQ(sheet->GetCellXF(i, j), bold);
  }
  r->GetFont()->SetBold(true);  // no change: the same XF, the same count
  EXPECT_EQ(xfs.GetUseCount(bold), 9);
  r->GetFont()->SetBold(false);
  EXPECT_EQ(xfs.GetUseCount(bold), 0);
  ExpectBalancedUses(*book);
}

TEST_F(RangeFormat, WholeColumnOverAStyledRow) {
  sheet->GetRange(u"A5", u"IV5")->GetFont()->SetItalic(true);
  sheet->GetRange(u"B1", u"B65536")->GetFont()->SetBold(true);
  ASSERT_NE(sheet->Cells().FindCell(4, 1), nullptr);
  EXPECT_TRUE(At(u"B5")->GetFont()->GetBold());
  EXPECT_TRUE(At(u"B5")->GetFont()->GetItalic());
  EXPECT_EQ(sheet->Cells().FindCell(3, 1), nullptr);
  EXPECT_TRUE(At(u"B4")->GetFont()->GetBold());
  ExpectBalancedUses(*book);
}

TEST_F(RangeFormat, AlignmentConstants) {
  IXLSRange r = sheet->GetRange(u"A1", u"B2");
  r->SetHorizontalAlignment(2);  // not an interface constant
  EXPECT_EQ(sheet->Cells().FindCell(0, 0), nullptr);
  const std::int32_t horizontal[][2] = {{1, 0},  {-4131, 1}, {-4108, 2}, {-4152, 3},
                                        {5, 4},  {-4130, 5}, {7, 6},     {-4117, 7}};
  for (const auto& h : horizontal) {
    r->SetHorizontalAlignment(h[0]);
    EXPECT_EQ(xfs.GetHorizontalAlignment(sheet->GetCellXF(1, 1)), h[1]);
    EXPECT_EQ(r->GetHorizontalAlignment(), h[0]);
  }
  const std::int32_t vertical[][2] = {{-4160, 0}, {-4108, 1}, {-4107, 2}, {-4130, 3}, {-4117, 4}};
  for (const auto& v : vertical) {
    r->SetVerticalAlignment(v[0]);
    EXPECT_EQ(xfs.GetVerticalAlignment(sheet->GetCellXF(0, 1)), v[1]);
    EXPECT_EQ(r->GetVerticalAlignment(), v[0]);
  }
  r->SetVerticalAlignment(99);
  EXPECT_EQ(r->GetVerticalAlignment(), -4117);
  ExpectBalancedUses(*book);
}

TEST_F(RangeFormat, OrientationIndentAndOtherAttributes) {
  IXLSRange r = At(u"D4");
  r->SetOrientation(Variant(-45));
  EXPECT_EQ(xfs.GetRotation(sheet->GetCellXF(3, 3)), 135);
  EXPECT_EQ(r->GetOrientation(), Variant(-45));
  r->SetOrientation(Variant(200));
  EXPECT_EQ(r->GetOrientation(), Variant(-45));
  r->SetOrientation(Variant(255));
  EXPECT_EQ(r->GetOrientation(), Variant(255));
  r->SetIndentLevel(3);
  EXPECT_EQ(r->GetIndentLevel(), 3);
  r->SetIndentLevel(16);
  EXPECT_EQ(r->GetIndentLevel(), 3);
  r->SetNumberFormat(u"0.000");
  EXPECT_EQ(r->GetNumberFormat(), u"0.000");
  EXPECT_EQ(At(u"D5")->GetNumberFormat(), u"General");
  r->SetLocked(false);
  EXPECT_FALSE(r->GetLocked());
  EXPECT_TRUE(At(u"D5")->GetLocked());
  r->SetFormulaHidden(true);
  r->SetShrinkToFit(true);
  r->SetReadingOrder(2);
  r->SetWrapText(Variant(true));
  EXPECT_TRUE(r->GetFormulaHidden() && r->GetShrinkToFit() && !r->GetLocked());
  EXPECT_EQ(r->GetReadingOrder(), 2);
  EXPECT_EQ(r->GetWrapText(), Variant(true));
  ExpectBalancedUses(*book);
}

TEST_F(RangeFormat, FontObject) {
  IXLSRange r = sheet->GetRange(u"A1", u"A2");
  IXLSFont f = r->GetFont();
  EXPECT_EQ(f->GetName(), u"Arial");
  EXPECT_EQ(f->GetSize(), 10);
  f->SetColorIndex(3);
  EXPECT_EQ(r->GetFontColor(), 10);
  EXPECT_EQ(f->GetColorIndex(), 3);
  EXPECT_EQ(f->GetColor(), 0x0000FFu);
  f->SetColorIndex(57);
  EXPECT_EQ(f->GetColorIndex(), 3);
  f->SetColorIndex(kXlNone);
  EXPECT_EQ(r->GetFontColor(), 0);
  EXPECT_EQ(f->GetColorIndex(), kXlNone);
  f->SetColor(0x00FF00);  // green is index 4
  EXPECT_EQ(f->GetColorIndex(), 4);
  f->SetUnderline(4);
  EXPECT_EQ(r->GetFontUnderline(), 0x21);
  EXPECT_EQ(f->GetUnderline(), 4);
  f->SetUnderline(3);
  EXPECT_EQ(f->GetUnderline(), 4);
  f->SetUnderline(kXlNone);
  EXPECT_EQ(f->GetUnderline(), kXlNone);
  f->SetName(u"Courier New");
  f->SetItalic(true);
  f->SetStrikethrough(true);
  f->SetSuperscript(true);
  EXPECT_EQ(f->GetName(), u"Courier New");
  EXPECT_TRUE(f->GetItalic());
  EXPECT_TRUE(f->GetStrikethrough());
  EXPECT_TRUE(f->GetSuperscript());
  EXPECT_FALSE(At(u"A3")->GetFont()->GetItalic());
  ExpectBalancedUses(*book);
}

TEST_F(RangeFormat, InteriorObject) {
  IXLSInterior in = sheet->GetRange(u"B2", u"C2")->GetInterior();
  in->SetColorIndex(kXlAutomatic);
  EXPECT_EQ(sheet->GetRange(u"B2")->GetInteriorColor(), 65);
  EXPECT_EQ(in->GetColorIndex(), kXlAutomatic);
  in->SetColorIndex(6);
  EXPECT_EQ(in->GetColorIndex(), 6);
  EXPECT_EQ(in->GetPattern(), 1);
  in->SetPattern(-4125);
  EXPECT_EQ(sheet->GetRange(u"C2")->GetFillPattern(), 2);
  EXPECT_EQ(in->GetPattern(), -4125);
  in->SetPattern(12);
  EXPECT_EQ(in->GetPattern(), 12);
  in->SetPattern(kXlNone);
  EXPECT_EQ(in->GetPattern(), kXlNone);
  in->SetColorIndex(999);  // ignored
  ExpectBalancedUses(*book);
}

TEST_F(RangeFormat, BordersFromBothSides) {
  IXLSBorders borders = sheet->GetRange(u"B2", u"C3")->GetBorders();
  IXLSBorder left = borders->GetItem(kBorderLeft);
  left->SetLineStyle(kLineContinuous);
  left->SetColorIndex(3);
  EXPECT_EQ(left->GetLineStyle(), kLineContinuous);
  EXPECT_EQ(left->GetColorIndex(), 3);
  EXPECT_EQ(left->GetColor(), 0x0000FFu);
  EXPECT_TRUE(xfs.HasOwnBorders(sheet->GetCellXF(2, 1)));
  EXPECT_FALSE(xfs.HasOwnBorders(sheet->GetCellXF(1, 2)));  // C2 is no left cell
  EXPECT_EQ(sheet->Cells().FindCell(1, 0), nullptr);       // the neighbour is not created
  // The same edge seen from the other side.
  EXPECT_EQ(sheet->GetRange(u"A2")->GetBorders()->GetItem(kBorderRight)->GetLineStyle(), kLineContinuous);
  EXPECT_EQ(sheet->GetRange(u"A2")->GetBorders()->GetItem(kBorderRight)->GetColorIndex(), 3);

  // A bottom border on B1 reads as the top border of B2 (which has none of its own there).
  IXLSRange b1 = At(u"B1");
  b1->GetBorders()->GetItem(kBorderBottom)->SetLineStyle(kLineDouble);
  EXPECT_EQ(At(u"B2")->GetBorders()->GetItem(kBorderTop)->GetLineStyle(), kLineDouble);

  // A right border on A4 loses its edge when B4 gets a left border.
  At(u"A4")->GetBorders()->GetItem(kBorderRight)->SetLineStyle(kLineDash);
  At(u"B4")->GetBorders()->GetItem(kBorderLeft)->SetLineStyle(kLineContinuous);
  EXPECT_EQ(xfs.GetBorderLineStyle(sheet->GetCellXF(3, 0), kEdgeRight), kXlNone);
  EXPECT_EQ(At(u"A4")->GetBorders()->GetItem(kBorderRight)->GetLineStyle(), kLineContinuous);

  EXPECT_EQ(sheet->GetRange(u"B2", u"B3")->GetBorderLineStyle(kBorderInsideVertical), -1);
  EXPECT_EQ(sheet->GetRange(u"B2", u"B3")->GetBorderColor(kBorderInsideVertical), 0);
  EXPECT_EQ(At(u"Z9")->GetBorderLineStyle(99), kXlNone);
  EXPECT_EQ(At(u"Z9")->GetBorderWeight(99), kWeightThin);
  ExpectBalancedUses(*book);
}

TEST_F(RangeFormat, AllBordersAndTheRightEdgeOfTheSheet) {
  IXLSRange r = sheet->GetRange(u"IU1", u"IV2");
  r->GetBorders()->SetLineStyle(kLineContinuous);
  EXPECT_EQ(r->GetBorders()->GetLineStyle(), kLineContinuous);
  EXPECT_EQ(r->GetBorders()->GetWeight(), kWeightThin);
  r->GetBorders()->SetWeight(kWeightThick);
  EXPECT_EQ(r->GetBorders()->GetWeight(), kWeightThick);
  r->GetBorders()->SetColorIndex(5);
  EXPECT_EQ(r->GetBorders()->GetColorIndex(), 5);
  r->GetBorders()->GetItem(kBorderRight)->SetLineStyle(kLineDash);  // no neighbour past IV
  EXPECT_EQ(r->GetBorders()->GetItem(kBorderRight)->GetLineStyle(), kLineDash);
  EXPECT_EQ(At(u"IV1")->GetBorders()->GetLineStyle(), -1);  // its four edges differ now
  EXPECT_EQ(At(u"IU1")->GetBorders()->GetLineStyle(), kLineContinuous);
  EXPECT_EQ(At(u"A1")->GetBorders()->GetLineStyle(), kXlNone);
  EXPECT_EQ(At(u"A1")->GetBorders()->GetColorIndex(), kXlNone);
  IXLSRange grid = sheet->GetRange(u"B5", u"D7");
  grid->GetBorders()->GetItem(kBorderInside)->SetLineStyle(kLineDot);
  EXPECT_EQ(grid->GetBorderLineStyle(kBorderInside), kLineDot);
  EXPECT_EQ(grid->GetBorderLineStyle(kBorderInsideHorizontal), kLineDot);
  EXPECT_EQ(grid->GetBorderLineStyle(kBorderTop), kXlNone);
  grid->GetBorders()->GetItem(kBorderOutline)->SetLineStyle(kLineContinuous);
  EXPECT_EQ(grid->GetBorderLineStyle(kBorderBottom), kLineContinuous);
  EXPECT_EQ(grid->GetBorderLineStyle(kBorderRight), kLineContinuous);
  ExpectBalancedUses(*book);
}

TEST_F(RangeFormat, Sizes) {
  IXLSRange cols = sheet->GetRange(u"B1", u"D1");
  cols->SetColumnWidth(Variant(300.0));
  EXPECT_EQ(sheet->ColumnInfo().GetColumnWidth(2), 255);
  Variant widths = Variant::Array1(2);
  *widths.ArrayValue()->At(0) = Variant(12.0);
  *widths.ArrayValue()->At(1) = Variant(20.0);
  cols->SetColumnWidth(widths);
  Variant got = cols->GetColumnWidth();
  ASSERT_TRUE(got.IsArray());
  EXPECT_EQ(*got.ArrayValue()->At(0), Variant(12.0));
  EXPECT_EQ(*got.ArrayValue()->At(1), Variant(20.0));
  EXPECT_EQ(*got.ArrayValue()->At(2), Variant(255.0));  // beyond the array: unchanged
  EXPECT_EQ(At(u"A1")->GetColumnWidth(), Variant(8.43));
  IXLSRange rows = sheet->GetRange(u"A2", u"A3");
  rows->SetRowHeight(Variant(20.0));
  EXPECT_EQ(rows->GetHeight(), 40);
  // Mended: heights are clamped to what the height field holds, 409.5 points.
  rows->SetRowHeight(Variant(1000.0));
  EXPECT_EQ(At(u"A2")->GetRowHeight(), Variant(409.5));
  rows->SetRowHeight(Variant(-3.0));
  EXPECT_EQ(At(u"A3")->GetRowHeight(), Variant(0.0));
  rows->SetRowHeight(Variant(u"not a number"));
  EXPECT_EQ(At(u"A3")->GetRowHeight(), Variant(0.0));
}

}  // namespace
}  // namespace xls
