// Walks over column widths and row heights, comment anchors and shape anchors.
#include <gtest/gtest.h>

#include <cmath>

#include "model_test_util.h"

namespace xls {
namespace {

class SheetGeometry : public ::testing::Test {
 protected:
  IXLSWorkbook book = TXLSWorkbook::Create();
  IXLSWorksheet* sheet = book->GetWorksheets().Add();
  std::int32_t reached = -1, offset = -1;
};

TEST_F(SheetGeometry, SizesInPoints) {
  EXPECT_DOUBLE_EQ(sheet->ColumnWidthPoints(0), 47.42);  // 8.43 characters
  EXPECT_DOUBLE_EQ(sheet->RowHeightPoints(0), 12.75);
  sheet->ColumnInfo().SetHidden(3, true);
  EXPECT_EQ(sheet->ColumnWidthPoints(3), 0);
}

TEST_F(SheetGeometry, WalksAcrossColumnsAndRows) {
  ASSERT_TRUE(sheet->WalkColumns(0, 10.5, reached, offset));
  EXPECT_EQ(reached, 1);
  EXPECT_EQ(offset, 227);
  ASSERT_TRUE(sheet->WalkColumns(0, 47.42, reached, offset));  // an exact fit to the right
  EXPECT_EQ(reached, 1);
  EXPECT_EQ(offset, 1024);
  ASSERT_TRUE(sheet->WalkColumns(2, -47.42, reached, offset));  // and to the left
  EXPECT_EQ(reached, 1);
  EXPECT_EQ(offset, 0);
  ASSERT_TRUE(sheet->WalkRows(1, -10.5, reached, offset));
  EXPECT_EQ(reached, 0);
  EXPECT_EQ(offset, 45);
  EXPECT_FALSE(sheet->WalkColumns(0, -1, reached, offset));
  EXPECT_FALSE(sheet->WalkColumns(255, 1, reached, offset));
  EXPECT_FALSE(sheet->WalkRows(65535, 1, reached, offset));
  sheet->ColumnInfo().SetHidden(1, true);  // hidden columns are stepped over
  ASSERT_TRUE(sheet->WalkColumns(0, 10.5, reached, offset));
  EXPECT_EQ(reached, 2);
}

TEST_F(SheetGeometry, CommentAnchorBesideTheCell) {
  XLSAnchor a = sheet->GetCommentAnchor(1, 1, 100, 50);  // B2
  EXPECT_EQ(a.column1, 2);
  EXPECT_EQ(a.columnOffset1, 227);
  EXPECT_EQ(a.column2, 4);
  EXPECT_EQ(a.columnOffset2, 338);
  EXPECT_EQ(a.row1, 0);
  EXPECT_EQ(a.rowOffset1, 45);
  EXPECT_EQ(a.row2, 4);
  EXPECT_EQ(a.rowOffset2, 25);
  XLSAnchor top = sheet->GetCommentAnchor(0, 0, 100, 50);  // A1: no room above, so below
  EXPECT_EQ(top.row1, 1);
  EXPECT_EQ(top.rowOffset1, 0);
  EXPECT_EQ(top.row2, 4);
  EXPECT_EQ(top.rowOffset2, 236);
  XLSAnchor right = sheet->GetCommentAnchor(0, 255, 100, 50);  // IV: no room right, so left
  EXPECT_EQ(right.column1, 252);
  EXPECT_EQ(right.columnOffset1, 686);
  EXPECT_EQ(right.column2, 254);
  EXPECT_EQ(right.columnOffset2, 797);
  XLSAnchor huge = sheet->GetCommentAnchor(0, 254, 1e6, 50);  // fits on neither side
  EXPECT_EQ(huge.column1, 253);
  EXPECT_EQ(huge.columnOffset1, 192);
  EXPECT_EQ(huge.column2, 254);
  EXPECT_EQ(huge.columnOffset2, 806);
  // A box lower than the gap above the cell (or of a negative size) never ends above its start.
  for (double height : {5.0, 0.0, -20.0}) {
    XLSAnchor low = sheet->GetCommentAnchor(3, 1, -4, height);
    EXPECT_TRUE(low.row2 > low.row1 || (low.row2 == low.row1 && low.rowOffset2 >= low.rowOffset1)) << height;
    EXPECT_TRUE(low.column2 > low.column1 || (low.column2 == low.column1 && low.columnOffset2 >= low.columnOffset1));
  }
}

TEST_F(SheetGeometry, AnchorsAndSizesRoundTrip) {
  XLSAnchor a;
  sheet->PositionToAnchor(a, 47.42 * 1.5, 12.75 * 2.5);
  EXPECT_EQ(a.column2, 1);
  EXPECT_EQ(a.columnOffset2, 512);
  EXPECT_EQ(a.row2, 2);
  EXPECT_EQ(a.rowOffset2, 128);
  double w = 0, h = 0;
  sheet->AnchorToSize(a, w, h);
  EXPECT_NEAR(w, 47.42 * 1.5, 1e-9);
  EXPECT_NEAR(h, 12.75 * 2.5, 1e-9);
  XLSAnchor inside;
  inside.column1 = 2;
  inside.columnOffset1 = 256;
  sheet->PositionToAnchor(inside, 10, 5);
  EXPECT_EQ(inside.column2, 2);
  EXPECT_EQ(inside.columnOffset2, 256 + static_cast<int>(std::lround(10 / 47.42 * 1024)));
  XLSAnchor wide;
  sheet->PositionToAnchor(wide, 1e7, 1e7);  // past the last column and row
  EXPECT_EQ(wide.column2, 255);
  EXPECT_EQ(wide.columnOffset2, 1024);
  EXPECT_EQ(wide.row2, 65534);
  XLSAnchor bad;
  bad.column1 = 5;
  bad.column2 = 4;
  sheet->AnchorToSize(bad, w, h);
  EXPECT_EQ(w, 10);
  EXPECT_EQ(h, 10);
  sheet->SetSelection(sheet->GetRange(u"D7", u"E9"));
  std::int32_t row = 0, column = 0;
  sheet->GetSelectionCell(row, column);
  EXPECT_EQ(row, 6);
  EXPECT_EQ(column, 3);
}

}  // namespace
}  // namespace xls
